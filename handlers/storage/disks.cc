// Disks and RAID arrays: the disk list, a disk's property and group, format, RAID create, delete
// and rebuild, hot spares, self-evaluation, removal of a device and the RAID mode switch.
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "common/json_fields.h"
#include "common/record_json.h"
#include "platform/zvstd/url_coding.h"
#include "handlers/storage/storage_internal.h"
#include "common/request_table.h"

namespace {

constexpr int kDiskStateConfigured = 2;  // configured, not reported by the core
constexpr size_t kShortTextChars = 63;   // vendor and address as the list prints them
constexpr size_t kDirectoryChars = 127;

// Sizes as the list prints them: MiB, cut to 32 bits.
uint32_t mebibytes(uint64_t bytes) { return static_cast<uint32_t>(bytes >> 20); }

template <size_t N, size_t M>
void copy_bounded(char (&to)[N], const char (&from)[M], size_t chars) {
  std::memset(to, 0, N);
  const size_t n = std::min({strnlen(from, M), chars, N - 1});
  std::memcpy(to, from, n);
}

// The texts of a configured network disk over the core's record.
void take_row_texts(DiskInfo& slot, const DiskConfig& row) {
  copy_bounded(slot.vendor, row.vendor, kShortTextChars);
  copy_bounded(slot.address, row.address, kShortTextChars);
  copy_bounded(slot.directory, row.directory, kDirectoryChars);
}

// The member ports of an array as a bit set: ports 1..31 of the first member_count (at most 16)
// entries.
int64_t member_bits(const DiskInfo& d) {
  const int count = std::clamp<int32_t>(d.raid_member_count, 0, kRaidMembers);
  int64_t bits = 0;
  for (int i = 0; i < count; ++i) {
    if (d.raid_members[i] >= 1 && d.raid_members[i] <= 31) bits |= int64_t{1} << d.raid_members[i];
  }
  return bits;
}

void write_disk_entry(JsonWriter& w, const DiskInfo& d) {
  char user[128];
  char password[128];
  char raw[34] = {};
  copy_bounded(raw, d.user_name, 32);
  url_encode_component(raw, user, sizeof user);
  copy_bounded(raw, d.password, 32);
  url_encode_component(raw, password, sizeof password);
  w.begin_object();
  w.key("portId").value(d.port);
  w.key("vendorName").field(d.vendor, kShortTextChars);
  w.key("address").field(d.address, kShortTextChars);
  w.key("directory").field(d.directory, kDirectoryChars);
  w.key("totalSize").value(mebibytes(d.total_bytes));
  w.key("usedSize").value(mebibytes(d.used_bytes));
  w.key("freeSize").value(mebibytes(d.free_bytes));
  w.key("hddType").value(d.type).key("state").value(d.state);
  w.key("group").value(d.group).key("property").value(d.property).key("bUsable").value(d.usable);
  w.key("raid_id").value(d.port).key("raid_level").value(d.raid_level);
  w.key("raid_state").value(d.raid_state).key("raid_progress").value(d.raid_progress);
  w.key("raid_sata_cnt").value(std::clamp<int32_t>(d.raid_member_count, 0, kRaidMembers));
  w.key("raid_task").value(d.raid_progress);
  w.key("userName").value(user).key("password").value(password);
  w.key("raid_sata_port").value(member_bits(d));
  w.end_object();
}

// {"port": n, "<key>": n} members of a request, both required.
bool read_two(const char* argument, const char* first, int32_t* a, const char* second, int32_t* b) {
  JsonPtr request = parse_request(argument);
  return request && read_json_members(request.get(), {int_member(first, a).required(), int_member(second, b).required()});
}

}  // namespace

static void disk_list_handler(const char* /*argument*/) {
  std::optional<CoreReply> reply = core_ask(kDiskList, REPLY_JSON);
  if (!reply) return;
  const PayloadReader payload = reply->reader();
  const size_t received = payload.record_count<DiskInfo>();
  auto slots = std::make_unique<DiskInfo[]>(kDiskPositions);
  auto record = std::make_unique<DiskInfo>();
  for (size_t i = 0; i < received; ++i) {
    if (payload.record(i, record.get()) && record->port >= 1 && record->port <= kDiskPositions) {
      slots[record->port - 1] = *record;
    }
  }
  auto rows = std::make_unique<DiskConfig[]>(kDiskPositions);
  int count = kDiskPositions;
  if (read_disks(kZvdbPath, rows.get(), &count) != 0) count = 0;
  for (int i = 0; i < count; ++i) {
    const DiskConfig& row = rows[i];
    if (row.enable != 1 || row.port != i + 1) continue;
    DiskInfo& slot = slots[i];
    if (slot.port != 0) {
      if (!is_network_disk(slot.type)) continue;
      take_row_texts(slot, row);
    } else {
      slot.port = row.port;
      slot.type = row.type;
      slot.group = row.group;
      slot.property = row.property;
      take_row_texts(slot, row);
      slot.state = kDiskStateConfigured;
    }
    copy_bounded(slot.user_name, row.user_name, 32);
    copy_bounded(slot.password, row.password, 32);
  }
  int built = 0;
  for (int i = 0; i < kDiskPositions; ++i) built += slots[i].port != 0 ? 1 : 0;
  JsonWriter w(1024 + 900 * static_cast<size_t>(built));
  w.begin_object();
  w.key("resultString").value(received > 0 || built > 0 ? "OK" : "NO");
  w.key("esataType").value(get_param_int(kZvdbPath, "esata_type", 0));
  w.key("HDD").begin_array();
  for (int i = 0; i < kDiskPositions; ++i) {
    if (slots[i].port != 0) write_disk_entry(w, slots[i]);
  }
  w.end_array();
  w.key("maxDiskNum").value(kDiskPositions);
  w.end_object();
  reply_json(w);
}

static void disk_property_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  int32_t port = 0, property = 0, group = 0;
  bool has_group = false;
  if (!request || !read_json_members(request.get(), {
                      int_member("portId", &port).required().range(0, kDiskPositions),
                      int_member("property", &property).required().range(0, 1),
                      int_member("group", &group).keep_if_absent().present(&has_group),
                  })) {
    return;
  }
  DiskConfig row{};
  {
    SettingsWrite write;
    row.port = port;
    read_disk(kZvdbPath, &row);
    row.port = port;
    row.property = property;
    if (has_group) row.group = group;
    write.check(write_disk(kZvdbPath, &row));
    if (!write.commit()) return (void)reply_cgi_error(REPLY_TEXT);
  }
  core_tell(kDiskProperty, DiskPropertyChange{port, property, row.group, 0});
  storage_log(kLogDiskProperty, kLogParamDisk, port);
  reply_ok();
}

static void disk_format_handler(const char* argument) {
  int32_t port = 0;
  if (!parse_decimal(argument, &port) || port < 0 || port > kDiskPositions) return;
  bool formatted = false;
  if (std::optional<CoreReply> reply = core_ask(kDiskFormat, port, REPLY_JSON)) {
    int32_t result = -1;
    reply->first(&result);
    formatted = result == 0;
    reply_text(result == 0 ? "OK" : result == 1 ? "USING" : result == -3 ? "NAS LOW CAP" : "ERROR FORMAT");
  }
  // Detail: the port at bytes 64..67, 1 (formatted) or -1 at 68..71.
  unsigned char detail[72] = {};
  const int32_t outcome = formatted ? 1 : -1;
  std::memcpy(detail + 64, &port, sizeof port);
  std::memcpy(detail + 68, &outcome, sizeof outcome);
  storage_log(kLogDiskFormat, kLogParamStorage, port, 102, detail, sizeof detail);
}

static void disk_check_handler(const char* argument) {
  int32_t number = 0;
  if (!parse_decimal(argument, &number) || number < 0 || number > 16) return;
  reply_ok();
}

static void raid_create_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  RaidRequest raid{};
  int32_t ports = 0;
  if (!request || !read_record(request.get(), &raid) ||
      !read_json_members(request.get(), {int_member("sata_port", &ports).required().min(0)})) {
    return;
  }
  int members = 0;
  for (int bit = 0; bit < kRaidMembers; ++bit) {
    if ((ports >> bit) & 1) raid.members[members++] = bit;
  }
  reply_result_text(core_ask(kRaidCreate, raid, REPLY_TEXT));
}

static void raid_delete_handler(const char* argument) {
  int32_t id = 0;
  if (!parse_decimal(argument, &id) || id < 10 || id > 16) return;
  RaidRequest raid{};
  raid.id = id;
  reply_result_text(core_ask(kRaidDelete, raid, REPLY_TEXT));
}

static void hot_spare_handler(const char* argument) {
  int32_t port = 0, flag = 0;
  if (!read_two(argument, "port", &port, "hotflag", &flag)) return;
  reply_result_text(core_ask(flag != 0 ? kHotSpareMark : kHotSpareClear, port, REPLY_TEXT));
}

static void raid_rebuild_handler(const char* argument) {
  RaidRebuild rebuild{};
  if (!read_request(argument, &rebuild)) return;
  reply_result_text(core_ask(kRaidRebuild, rebuild, REPLY_TEXT));
}

static void raid_mode_read_handler(const char* /*argument*/) {
  reply_text(std::to_string(get_param_int(kZvdbPath, "raidmode", 0)).c_str());
}

static void raid_mode_set_handler(const char* argument) {
  int32_t mode = 0;
  if (!parse_decimal(argument, &mode)) return;
  {
    SettingsWrite write;
    write.check(set_param_int(kZvdbPath, "raidmode", mode == 1 ? 1 : 0));
    if (!write.commit()) return (void)reply_cgi_error(REPLY_TEXT);
  }
  reply_ok();
}

static void self_evaluation_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  int32_t num = 0;
  json_object* list = nullptr;
  if (!request || !read_json_members(request.get(), {int_member("num", &num).required(),
                                                     array_member("port", &list).required()})) {
    return;
  }
  int32_t ports[kDiskPositions];
  const size_t taken = read_int_list(list, static_cast<size_t>(std::max(num, 0)), ports, std::size(ports));
  if (taken == 0) return;
  std::optional<CoreReply> reply = core_ask(kSelfEvaluation, ports[taken - 1], REPLY_JSON);
  if (!reply) return;
  const PayloadReader payload = reply->reader();
  // The report is a text: it ends at its NUL (what follows may be an older report's bytes).
  std::string_view report;
  if (payload.length() > kSelfEvaluationTextOffset) {
    report = payload.text(kSelfEvaluationTextOffset, payload.length() - kSelfEvaluationTextOffset);
  }
  reply_int_member("selfEvaluation", report.find("PASSED") != std::string_view::npos ? 1 : 0);
}

static void device_remove_handler(const char* argument) {
  int32_t port = 0, type = 0;
  if (!read_two(argument, "port", &port, "hddType", &type)) return;
  std::optional<CoreReply> reply;
  if (type == kDiskTypeRaid) {
    RaidRequest raid{};
    raid.id = port;
    reply = core_ask(kRaidDelete, raid, REPLY_TEXT);
  } else if (is_network_disk(type)) {
    NasPortList list{};
    list.count = 1;
    list.ports[0] = port;
    reply = core_ask(kNasRemove, list, REPLY_TEXT);
  } else {
    // The position's row is emptied before the core is told. A removal the core refuses, or does
    // not answer, puts the disk's settings back (the disk stays, and so does what was set for it)
    // unless another request stored the row meanwhile: its change is newer and stays.
    const bool stored_position = port >= 1 && port <= kDiskPositions;
    DiskConfig kept{};
    DiskConfig empty{};
    empty.port = port;
    empty.property = 1;
    if (stored_position) {
      SettingsWrite write;
      kept.port = port;
      read_disk(kZvdbPath, &kept);
      write.check(write_disk(kZvdbPath, &empty));
      if (!write.commit()) return (void)reply_text("Error");
    }
    reply = core_ask(kDeviceRemove, port, REPLY_TEXT);
    int32_t status = 0;
    if (stored_position && !(reply && reply->first(&status) && status == 0)) {
      SettingsWrite write;
      DiskConfig now{};
      now.port = port;
      if (read_disk(kZvdbPath, &now) == 0 && std::memcmp(&now, &empty, sizeof now) == 0) {
        write.check(write_disk(kZvdbPath, &kept));
      }
      (void)write.commit();  // the answer is a failure either way
    }
  }
  reply_result_text(reply);
  storage_log(kLogDeviceRemove, kLogParamStorage, port);
}

ZV_REQUESTS(kDisksRequests, "storage",
    {"/6100", disk_list_handler},
    {"/6101", disk_property_handler},
    {"/6102", disk_format_handler},
    {"/6103", disk_check_handler},
    {"/6104", raid_create_handler},
    {"/6105", raid_delete_handler},
    {"/6106", hot_spare_handler},
    {"/6107", raid_rebuild_handler},
    {"/6108", raid_mode_read_handler},
    {"/6109", raid_mode_set_handler},
    {"/6206", self_evaluation_handler},
    {"/6207", device_remove_handler});
