// Network disks (NFS and SMB/CIFS shares kept as storage positions) and the eSATA port: add, edit,
// remove, the shares a server offers, and the eSATA mode.
#include <algorithm>
#include <memory>

#include "common/json_fields.h"
#include "common/reply_forms.h"
#include "platform/zvstd/url_coding.h"
#include "handlers/storage/storage_internal.h"
#include "common/request_table.h"

namespace {

constexpr int32_t kLogDetailNasChange = 101;
constexpr int32_t kLogDetailNasEdit = 110;
constexpr size_t kCredentialChars = 32;

// The detail block of a network-disk log record.
struct NasLogDetail {
  char protocol[16];
  char address[64];
  char directory[128];
};
static_assert(sizeof(NasLogDetail) == 208);

void log_nas(int64_t sub_type, int32_t detail_kind, const DiskConfig& row, const char* protocol) {
  NasLogDetail detail{};
  copy_text_field(detail.protocol, protocol);
  copy_field_text(detail.address, sizeof detail.address, row.address);
  copy_field_text(detail.directory, sizeof detail.directory, row.directory);
  storage_log(sub_type, 0, row.port, detail_kind, &detail, sizeof detail);
}

const char* protocol_of(int32_t type) { return type == kDiskTypeNfs ? "NFS" : "SMB/CIFS"; }

void reply_status_res(int32_t result) {
  JsonWriter w;
  w.begin_object().key("status").value(0).key("res").value(result).end_object();
  reply_json(w);
}

// A user name or password comes percent-encoded: up to three characters a byte of the field.
constexpr size_t kEncodedCredential = 3 * kCredentialChars + 1;

// Decodes `raw` (in place) into `field`; false when the decoded text is longer than the field
// keeps: it is refused, never stored cut as another credential.
bool take_credential(char (&field)[kCredentialChars + 1], char* raw) {
  if (get_url_decode(raw) > kCredentialChars) return false;
  copy_text_field(field, raw);
  return true;
}

}  // namespace

namespace {

// A port the request listed before: each position is removed, stored, told and logged once.
bool listed(const NasPortList& list, int32_t port) {
  return std::find(list.ports, list.ports + list.count, port) != list.ports + list.count;
}

}  // namespace

static void nas_remove_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  int32_t num = 0;
  json_object* ports = nullptr;
  if (!request || !read_json_members(request.get(), {int_member("num", &num).required(),
                                                     array_member("port", &ports).required()})) {
    return;
  }
  int32_t given[kNasPortsPerRequest];
  const size_t n = read_int_list(ports, static_cast<size_t>(std::max(num, 0)), given, kNasPortsPerRequest);
  NasPortList list{};
  auto rows = std::make_unique<DiskConfig[]>(kNasPortsPerRequest);
  for (size_t i = 0; i < n; ++i) {
    if (given[i] < 1 || given[i] > kDiskPositions || listed(list, given[i])) continue;
    DiskConfig& row = rows[list.count];
    row.port = given[i];
    read_disk(kZvdbPath, &row);
    list.ports[list.count++] = given[i];
  }
  std::optional<CoreReply> reply = core_ask(kNasRemove, list, REPLY_TEXT);
  if (!reply) return;
  reply_result_text(reply);
  for (int i = 0; i < list.count; ++i) {
    if (rows[i].enable != 0) log_nas(kLogNasRemove, kLogDetailNasChange, rows[i], protocol_of(rows[i].type));
  }
}

static void nas_add_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  int32_t num = 0, type = 0;
  json_object* ports = nullptr;
  json_object* texts[5] = {};
  if (!request || !read_json_members(request.get(), {
                      int_member("num", &num).required(),
                      int_member("type", &type).absent_value(kDiskTypeNfs),
                      array_member("port", &ports).required(),
                      array_member("vendor", &texts[0]),
                      array_member("address", &texts[1]),
                      array_member("directory", &texts[2]),
                      array_member("userName", &texts[3]),
                      array_member("password", &texts[4]),
                  })) {
    return;
  }
  // Entries pair up by position: never past the shortest array the page sent.
  size_t entries = std::min<size_t>(static_cast<size_t>(std::max(num, 0)), kNasPortsPerRequest);
  entries = std::min(entries, json_array_size(ports));
  for (json_object* array : texts) {
    if (array != nullptr) entries = std::min(entries, json_array_size(array));
  }
  auto rows = std::make_unique<DiskConfig[]>(kNasPortsPerRequest);
  NasPortList list{};
  {
    SettingsWrite write;  // stored rows are read and rewritten under the request lock
    for (size_t i = 0; i < entries; ++i) {
      int32_t port = 0;
      if (!json_value_int(json_array_at(ports, i), &port) || port < 1 || port > kDiskPositions ||
          listed(list, port)) {
        continue;
      }
      DiskConfig& row = rows[list.count];
      row.port = port;
      read_disk(kZvdbPath, &row);
      row.port = port;
      row.enable = 1;
      row.type = type;
      row.property = 1;
      char vendor[64], address[64], directory[128], user[kEncodedCredential], password[kEncodedCredential];
      bool present[5] = {};
      if (!array_text(texts[0], i, vendor, sizeof vendor, &present[0]) ||
          !array_text(texts[1], i, address, sizeof address, &present[1], true) ||
          !array_text(texts[2], i, directory, sizeof directory, &present[2], true) ||
          !array_text(texts[3], i, user, sizeof user, &present[3], true) ||
          !array_text(texts[4], i, password, sizeof password, &present[4], true) ||
          (present[3] && !take_credential(row.user_name, user)) ||
          (present[4] && !take_credential(row.password, password))) {
        return;
      }
      if (present[0]) copy_text_field(row.vendor, vendor);
      if (present[1]) copy_text_field(row.address, address);
      if (present[2]) copy_text_field(row.directory, directory);
      list.ports[list.count++] = port;
    }
    for (int i = 0; i < list.count; ++i) write.check(write_disk(kZvdbPath, &rows[i]));
    if (!write.commit()) return (void)reply_cgi_error(REPLY_JSON);
  }
  std::optional<CoreReply> reply = core_ask(kNasAdd, list, REPLY_TEXT);
  if (!reply) return;
  int32_t result = -1;
  reply->first(&result);
  reply_status_res(result);
  for (int i = 0; i < list.count; ++i) log_nas(kLogNasAdd, kLogDetailNasChange, rows[i], protocol_of(type));
}

static void nas_edit_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  int32_t port = 0;
  if (!request || !read_json_members(request.get(), {int_member("port", &port).required().range(1, kDiskPositions)})) {
    return;
  }
  DiskConfig row{};
  int32_t type = kDiskTypeNfs;
  {
    SettingsWrite write;  // the stored row is read and rewritten under the request lock
    row.port = port;
    read_disk(kZvdbPath, &row);
    type = is_network_disk(row.type) ? row.type : kDiskTypeNfs;
    char user[kEncodedCredential], password[kEncodedCredential];
    bool has_user = false, has_password = false;
    if (!read_json_members(request.get(), {
            int_member("type", &type).keep_if_absent(),
            text_member("vendor", row.vendor).keep_if_absent(),
            text_member("address", row.address).whole().keep_if_absent(),
            text_member("directory", row.directory).whole().keep_if_absent(),
            text_member("userName", user).whole().present(&has_user),
            text_member("password", password).whole().present(&has_password),
        })) {
      return;
    }
    row.port = port;
    row.enable = 1;
    row.property = 1;
    row.type = type;
    if ((has_user && !take_credential(row.user_name, user)) ||
        (has_password && !take_credential(row.password, password))) {
      return;
    }
    write.check(write_disk(kZvdbPath, &row));
    if (!write.commit()) return (void)reply_cgi_error(REPLY_JSON);
  }
  std::optional<CoreReply> reply = core_ask(kNasEdit, port, REPLY_TEXT);
  if (!reply) return;
  int32_t result = -1;
  reply->first(&result);
  reply_status_res(result);
  log_nas(kLogNasEdit, kLogDetailNasEdit, row, type == kDiskTypeNfs ? "NFS" : type == kDiskTypeSmb ? "SMB/CIFS" : "");
}

static void share_search_handler(const char* argument) {
  ShareSearch search{};
  if (!read_request(argument, &search)) return;
  std::optional<CoreReply> reply = core_ask(kShareSearch, search, REPLY_JSON);
  if (!reply) return;
  const PayloadReader payload = reply->reader();
  const size_t room = payload.length() >= sizeof(int32_t) ? (payload.length() - sizeof(int32_t)) / kSharePathSize : 0;
  const auto count = static_cast<size_t>(std::clamp<int32_t>(payload.int32_at(0), 0, kShareListPaths));
  const size_t shown = std::min(count, room);
  JsonWriter w(256 + shown * 300);
  w.begin_object().key("resultString").value(shown > 0 ? "OK" : "NO").key("NAS").begin_array();
  for (size_t i = 0; i < shown; ++i) {
    w.begin_object().key("filePath").value(payload.text(sizeof(int32_t) + i * kSharePathSize, kSharePathSize));
    w.end_object();
  }
  w.end_array().end_object();
  reply_json(w);
}

static void esata_mode_set_handler(const char* argument) {
  EsataMode mode{};
  if (!read_request(argument, &mode)) return;
  if (core_ask(kEsataModeSet, mode, REPLY_JSON)) reply_text_member("status", "OK");
}

static void esata_mode_read_handler(const char* /*argument*/) {
  reply_core_record<EsataMode>(core_ask(kEsataModeRead, int32_t{0}, REPLY_JSON));
}

ZV_REQUESTS(kNetworkRequests, "storage",
    {"/6200", nas_remove_handler},
    {"/6201", nas_add_handler},
    {"/6202", share_search_handler},
    {"/6203", nas_edit_handler},
    {"/6204", esata_mode_set_handler},
    {"/6205", esata_mode_read_handler});
