// Descriptors of this library's own tables, and the factory settings.
//
// Adding a table: declare the record under records/ with its ZV_SCHEMA (platform/zvrecord), and
// give it one TableDesc whose fields are the schema's, e.g.
//   const TableDesc kOsdTable{.name = "osd", .record_size = sizeof(OsdRecord),
//                             .key = {.a = offsetof(OsdRecord, cam_id)}, .key_a_count = 64,
//                             .fields = zvrec::schema_of<OsdRecord>().fields,
//                             .default_rows = 64, .make_default = ...};
// (table_forms.h has the usual forms: keyed_table, one_row_table, plan_table, factory_row)
// and write each named call as one line over the generic operations (or Table<T>). A settings
// area keeps its descriptors next to its calls (video_tables.cc) and adds its group to the list
// in tables.cc, which `zvdb tables/dump` and the factory defaults walk.
#pragma once

#include <string_view>

#include "platform/zvdb/engine.h"
#include "platform/zvdb/records/user_record.h"

namespace zvdb {

// Lower-case hex MD5 digest of "admin", the factory password of the administrator.
inline constexpr const char* kAdminPasswordDigest = "21232f297a57a5a743894a0e4a801fc3";

void make_default_user(void* record, int32_t index);

// Users: keyed by id 0..99; the factory row is the administrator (id 0).
inline constexpr TableDesc kUserTable{.name = "user", .record_size = sizeof(UserRecord),
                                      .key = {.a = offsetof(UserRecord, id)},
                                      .key_a_count = kMaxUsers,
                                      .fields = zvrec::schema_of<UserRecord>().fields,
                                      .default_rows = 1, .make_default = &make_default_user};
inline constexpr Table<UserRecord> kUsers{kUserTable};

// Factory key=value settings.
struct SettingDefault {
  std::string_view key;
  std::string_view value;
};
inline constexpr SettingDefault kSettingDefaults[] = {
    {"max_cameras", "32"},
    {"max_poe_num", "0"},
    {"group_mode", "0"},
    {"failover_mode", "0"},
    {"same_channel_exist", "0"},
    {"oem_type", "0"},
    {"alarm_in", "16"},
    {"alarm_out", "4"},
    {"access_filter_enable", "0"},
    {"access_filter_type", "1"},
    {"homologous", "1"},
    {"httpsenable", "0"},
    {"hardware_version", "V1.1"},
    {"software_version", "7x.7.0.9"},
    {"model", ""},
    {"plugin_version", "1.0"},
    {"mplugin_version", "1.0"},
    {"zvfs_dbup", "0"},
    {"transport_protocol", "0"},
    {"stream_information", "0"},
    {"oemupdateonline", "0"},
    {"company", "Zarvonite"},
    {"display_mode", "0"},
    {"hdmihotplug", "1"},
    {"deviceid", "255"},
    {"wizard_enable", "0"},
    {"quick_screen", "0"},
    {"local_auth_enable", "0"},
};

// Adds to the file every setting of `settings` and every default row of `tables` that is not
// stored yet (creating the file and its directory when missing); what is stored is kept. With a
// `done_key`, that setting becomes "1" in the same transaction.
int init_defaults(const char* path, std::span<const TableDesc* const> tables,
                  std::span<const SettingDefault> settings, const char* done_key = nullptr);

}  // namespace zvdb
