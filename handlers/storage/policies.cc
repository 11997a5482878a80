// Storage policies: per-channel quotas, disk groups, and the automatic backup onto the external
// device with its progress and device queries.
#include <json-c/json.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

#include "common/json_fields.h"
#include "handlers/storage/storage_internal.h"
#include "common/request_table.h"

namespace {

constexpr size_t kGroupTextChars = 64;

// A quota entry as a page sends it, and as the quota list prints it.
constexpr auto kQuotaRequestForm = ZV_FIELDS(QuotaEntry, ZV_SCHEMA_FIELD(channel), ZV_SCHEMA_FIELD(video_quota),
                                             ZV_SCHEMA_FIELD(picture_quota));
constexpr auto kQuotaReplyForm =
    ZV_FIELDS(QuotaEntry, ZV_SCHEMA_FIELD(channel), ZV_SCHEMA_FIELD(video_used), ZV_SCHEMA_FIELD(video_quota),
              ZV_SCHEMA_FIELD(picture_used), ZV_SCHEMA_FIELD(picture_quota));
// The backup settings in the order the page reads them.
constexpr auto kBackupReplyForm =
    ZV_FIELDS(AutoBackupConfig, ZV_SCHEMA_FIELD(enable), ZV_SCHEMA_FIELD(stream_type), ZV_SCHEMA_FIELD(file_type),
              ZV_SCHEMA_FIELD(recycle), ZV_SCHEMA_FIELD(channel), ZV_SCHEMA_FIELD(backup_time),
              ZV_SCHEMA_FIELD(device), ZV_SCHEMA_FIELD(port));

// The group members shared by the quota list and the group page: the 16 groups' channel texts,
// each configured position's group + 1 (0 when not configured), the channel count and the mode.
void write_group_view(JsonWriter& w) {
  DiskGroup groups[kDiskGroups];
  read_groups(kZvdbPath, groups);
  auto disks = std::make_unique<DiskConfig[]>(kDiskPositions);
  int count = kDiskPositions;
  if (read_disks(kZvdbPath, disks.get(), &count) != 0) count = 0;
  w.key("channel").begin_array();
  for (const DiskGroup& g : groups) w.field(g.channels);
  w.end_array().key("disk").begin_array();
  // The stored group is whatever the property page sent: widened so that its successor cannot overflow.
  for (int i = 0; i < kDiskPositions; ++i) {
    w.value(i < count && disks[i].enable != 0 ? int64_t{disks[i].group} + 1 : int64_t{0});
  }
  w.end_array();
  w.key("max_chan").value(std::clamp(get_param_int(kZvdbPath, "max_cameras", 32), 0, 64));
  w.key("group_enable").value(get_param_int(kZvdbPath, "group_mode", 0));
}

}  // namespace

static void quota_read_handler(const char* /*argument*/) {
  std::optional<CoreReply> reply = core_ask(kQuotaRead, REPLY_JSON);
  QuotaHead head{};
  if (!reply || !reply->first(&head)) return;
  const PayloadReader payload = reply->reader();
  const size_t room = (payload.length() - sizeof head) / sizeof(QuotaEntry);
  const size_t count = std::min(static_cast<size_t>(std::max(head.count, 0)), room);
  JsonWriter w(1024 + count * 120);
  w.begin_object().key("quota_array").begin_array();
  for (size_t i = 0; i < count; ++i) {
    QuotaEntry entry{};
    payload.read(sizeof head + i * sizeof entry, &entry);
    write_object(w, kQuotaReplyForm.schema(), &entry);
  }
  w.end_array().key("enable").value(head.enable);
  write_group_view(w);
  w.end_object();
  reply_json(w);
}

static void quota_set_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  QuotaSet set{};
  json_object* entries = nullptr;
  if (!request || !read_json_members(request.get(), {int_member("enable", &set.enable).required(),
                                                     array_member("quota_array", &entries)})) {
    return;
  }
  // "count" is the number of quota objects given (the core reads the first kQuotaEntries); an
  // element that is not an object is skipped, one with a value out of range refuses the request.
  size_t count = 0;
  for (size_t i = 0; i < json_array_size(entries); ++i) {
    json_object* element = json_array_at(entries, i);
    if (!json_object_is_type(element, json_type_object)) continue;
    QuotaEntry entry{};
    if (!read_record(element, kQuotaRequestForm.schema(), &entry)) return;
    if (count < kQuotaEntries) set.entries[count] = entry;
    ++count;
  }
  set.count = static_cast<int32_t>(std::min<size_t>(count, INT32_MAX));
  reply_result_text(core_ask(kQuotaSet, set, REPLY_TEXT));
}

static void groups_set_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  int32_t enable = 0;
  json_object* texts = nullptr;
  if (!request || !read_json_members(request.get(), {int_member("group_enable", &enable).required(),
                                                     array_member("channel", &texts)})) {
    return;
  }
  // Every text is checked before anything is stored or sent.
  char channels[kDiskGroups][kGroupTextChars + 1] = {};
  bool given[kDiskGroups] = {};
  for (size_t i = 0; i < std::min<size_t>(json_array_size(texts), kDiskGroups); ++i) {
    if (!array_text(texts, i, channels[i], sizeof channels[i], &given[i])) return;
  }
  bool tell_mode = false;
  int32_t mode = 0;
  {
    SettingsWrite write;
    if (enable == 0) {
      tell_mode = true;
      write.check(set_param_int(kZvdbPath, "group_mode", 0));
    } else if (get_param_int(kZvdbPath, "group_mode", 0) == 0) {
      tell_mode = true;
      mode = enable;
      write.check(set_param_int(kZvdbPath, "group_mode", enable));
    }
    if (!write.commit()) return (void)reply_cgi_error(REPLY_TEXT);
  }
  if (tell_mode) core_tell(kGroupMode, mode);
  if (enable != 0) {
    DiskGroup groups[kDiskGroups];
    read_groups(kZvdbPath, groups);
    for (int i = 0; i < kDiskGroups; ++i) {
      if (!given[i]) continue;
      GroupChange change{};
      change.id = groups[i].id;
      copy_text_field(change.channels, channels[i]);
      copy_field_text(change.stored, sizeof change.stored, groups[i].channels);
      core_tell(kGroupChange, change);
    }
    core_tell(kGroupsApply);
  }
  reply_ok();
}

static void groups_read_handler(const char* /*argument*/) {
  JsonWriter w(2048);
  w.begin_object();
  write_group_view(w);
  w.end_object();
  reply_json(w);
}

static void auto_backup_read_handler(const char* /*argument*/) {
  AutoBackupConfig row{};
  kAutoBackup.read(kZvdbPath, &row, {0});
  JsonWriter w(512);
  write_object(w, kBackupReplyForm.schema(), &row);
  reply_json(w);
}

static void auto_backup_set_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  int32_t stop = 0;
  if (!request || !read_json_members(request.get(), {int_member("stopBackup", &stop).required()})) return;
  if (stop == 0) {
    SettingsWrite write;
    AutoBackupConfig row{};
    kAutoBackup.read(kZvdbPath, &row, {0});
    if (!read_record(request.get(), &row)) return;
    row.reserved0 = 0;
    write.check(kAutoBackup.write_at(kZvdbPath, &row, {0}));
    if (!write.commit()) return reply_int_member("result", -1);
  }
  reply_int_member("result", core_ask(kAutoBackupRun, stop, REPLY_JSON));
}

static void auto_backup_progress_handler(const char* /*argument*/) {
  std::optional<CoreReply> reply = core_ask(kAutoBackupProgress, REPLY_JSON);
  BackupProgress progress{};
  if (!reply || !reply->first(&progress)) return;
  // A percent that is not a finite number would not be JSON: it reads as 0.
  const double percent = std::isfinite(progress.percent) ? progress.percent : 0.0;
  char percent_text[64];
  std::snprintf(percent_text, sizeof percent_text, "%.1f", percent);
  JsonPtr out(json_object_new_object());
  json_object_object_add(out.get(), "status", json_object_new_int(progress.status));
  json_object_object_add(out.get(), "percent", json_object_new_double_s(percent, percent_text));
  json_object_object_add(out.get(), "last_time", json_text_field(progress.last_time));
  json_object_object_add(out.get(), "capacity", json_object_new_int(progress.capacity));
  reply_json(out.get());
}

static void backup_device_handler(const char* /*argument*/) {
  std::optional<CoreReply> reply = core_ask(kBackupDevices, REPLY_JSON);
  if (!reply) return;
  const PayloadReader payload = reply->reader();
  auto device = std::make_unique<BackupDevice>();
  for (size_t i = 0; i < payload.record_count<BackupDevice>(); ++i) {
    if (payload.record(i, device.get()) && device->kind == kBackupDeviceKind) {
      JsonWriter w;
      w.begin_object().key("port").value(device->port).key("result").value(0).end_object();
      return reply_json(w);
    }
  }
  reply_int_member("result", -1);
}

static void device_backup_start_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  int32_t port = 0;
  if (!request ||
      !read_json_members(request.get(), {int_member("port", &port).required().range(0, kDiskPositions)})) {
    return (void)reply_cgi_error(REPLY_JSON);
  }
  reply_int_member("result", core_ask(kDeviceBackupStart, port, REPLY_JSON));
}

static void device_backup_status_handler(const char* /*argument*/) {
  reply_int_member("status", core_ask(kDeviceBackupStatus, REPLY_JSON));
}

static void device_backup_stop_handler(const char* /*argument*/) {
  reply_int_member("result", core_ask(kDeviceBackupStop, REPLY_JSON));
}

static void device_backup_progress_handler(const char* /*argument*/) {
  std::optional<CoreReply> reply = core_ask(kDeviceBackupProgress, REPLY_JSON);
  DeviceBackupProgress progress{};
  if (!reply || !reply->first(&progress)) return;
  JsonWriter w;
  w.begin_object().key("status").value(progress.status).key("port").value(progress.port);
  w.key("type").value(progress.type).key("percent").value(progress.percent).end_object();
  reply_json(w);
}

ZV_REQUESTS(kPoliciesRequests, "storage",
    {"/6208", quota_read_handler},
    {"/6209", quota_set_handler},
    {"/6210", groups_set_handler},
    {"/6220", auto_backup_read_handler},
    {"/6221", auto_backup_set_handler},
    {"/6222", auto_backup_progress_handler},
    {"/6223", backup_device_handler},
    {"/6224", device_backup_start_handler},
    {"/6225", device_backup_status_handler},
    {"/6226", device_backup_stop_handler},
    {"/6227", device_backup_progress_handler},
    {"/8010", groups_read_handler});
