// The device log: page-by-page search, one entry's detail, the CSV export and its running
// marker, the type catalogue with translated names, and the log retention settings.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/json_fields.h"
#include "common/oplog.h"
#include "common/reply.h"
#include "common/request.h"
#include "common/web_utils.h"
#include "handlers/system/admin_common.h"
#include "common/messages/admin.h"
#include "common/request_table.h"
#include "handlers/system/translation.h"
#include "platform/zvdb/admin_tables.h"
#include "platform/zvdb/zvdb.h"
#include "platform/zvfs/zvfs.h"
#include "platform/zvnet/netif6.h"

namespace {

constexpr const char kExportMarkerDir[] = "/tmp/log";
constexpr const char kExportMarker[] = "/tmp/log/log_web";
constexpr size_t kTransText = 128;

// The main types in the pages' order; a type's position (1..6) is the translation id of its name.
constexpr int32_t kMainTypes[] = {1, 2, 4, 8, 32, 64};

int main_type_index(int32_t main_type) {
  const auto* at = std::find(std::begin(kMainTypes), std::end(kMainTypes), main_type);
  return at == std::end(kMainTypes) ? -1 : static_cast<int>(at - std::begin(kMainTypes)) + 1;
}

const char* export_label(int32_t main_type) {
  static constexpr const char* kLabels[] = {"All", "All", "Event", "Operation", "Information", "Exception", "Debug"};
  return kLabels[std::max(main_type_index(main_type), 0)];
}

// The translation is open for the scope of one reply.
class Translation {
 public:
  explicit Translation(const char* language) { trans_init(language); }
  ~Translation() { trans_deinit(); }
  Translation(const Translation&) = delete;
  Translation& operator=(const Translation&) = delete;
  std::string text(int64_t id) const {
    char buffer[kTransText];
    if (id < INT32_MIN || id > INT32_MAX) return "";
    trans_get_value(static_cast<int>(id), buffer, sizeof buffer);
    return buffer;
  }
  // The name of a main type ("" for a type that is not one).
  std::string main_name(int32_t main_type) const {
    const int index = main_type_index(main_type);
    return index < 0 ? std::string() : text(index);
  }
};

// Local time text in `format` as seconds; false when it does not parse.
bool parse_local_time(const char* text, const char* format, int32_t* out) {
  struct tm tm {};
  const char* end = strptime(text, format, &tm);
  if (end == nullptr || *end != '\0') return false;
  tm.tm_isdst = -1;
  const time_t t = mktime(&tm);
  if (t == static_cast<time_t>(-1) || t < 0 || t > INT32_MAX) return false;
  *out = static_cast<int32_t>(t);
  return true;
}

// The members both the search and the export read.
struct QueryForm {
  char language[32];
  char start[32];
  char end[32];
  char channels[65];
  int32_t main_type = 0;
  int32_t page = 0;
  json_object* sub_types = nullptr;  // valid while read_query runs
  int64_t operation_masks[3] = {};   // elements 0..2 by position (0 for one that is not a number)
};

// Where the search and the export differ: the time format, the member with the channel mask (and
// its text when absent) and the no-channel switch.
struct QueryKeys {
  const char* time_format;
  const char* mask;
  const char* mask_absent;
  const char* no_channel;
};

// The common check: "language", "mainType" 1..64, "subTypeArr" with a first element above 9,
// the two times and "curPageNum" all present. Fills the query's times, main type, sub types and
// no-channel switch, and the form's channel mask text.
bool read_query(const char* argument, const QueryKeys& keys, QueryForm* form, LogQuery* query) {
  JsonPtr request = parse_request(argument);
  if (!request || !read_json_members(request.get(), {
                      text_member("language", form->language).required(),
                      int_member("mainType", &form->main_type).required().range(1, 64),
                      array_member("subTypeArr", &form->sub_types).required(),
                      text_member("startTime", form->start).required(),
                      text_member("endTime", form->end).required(),
                      int_member("curPageNum", &form->page).required(),
                      text_member(keys.mask, form->channels).absent_text(keys.mask_absent),
                      int_member(keys.no_channel, &query->no_channel),
                  })) {
    return false;
  }
  int64_t first = 0;
  if (!json_value_int64(json_array_at(form->sub_types, 0), &first) || first <= 9) return false;
  if (!parse_local_time(form->start, keys.time_format, &query->start_time) ||
      !parse_local_time(form->end, keys.time_format, &query->end_time)) {
    return false;
  }
  query->main_type = form->main_type;
  const size_t n = std::min(json_array_size(form->sub_types), static_cast<size_t>(kLogSubTypesMax));
  int count = 0;
  for (size_t i = 0; i < n; ++i) {
    int64_t value = 0;
    if (!json_value_int64(json_array_at(form->sub_types, i), &value)) continue;
    query->sub_types[count++] = value;
    if (i < std::size(form->operation_masks)) form->operation_masks[i] = value;
  }
  query->sub_type_count = count;
  return true;
}

// A CSV field: as it is when it holds no separator, quote or line break, else quoted with
// embedded quotes doubled. A text a spreadsheet would run as a formula (starting with '=', '+',
// '-', '@', a tab or a carriage return) gets a leading apostrophe inside the quotes: the user
// column is whatever name the client's cookie gave.
std::string csv_field(const std::string& text, bool always_quote = false) {
  const bool formula = !text.empty() && std::string_view("=+-@\t\r").find(text[0]) != std::string_view::npos;
  if (!always_quote && !formula && text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string out = formula ? "\"'" : "\"";
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

void write_detail2(JsonWriter& w, const char (&detail)[kOpLogDetailBytes]) {
  w.begin_array();
  for (size_t i = 0; i < kOpLogDetailBytes / 4; ++i) {
    const auto* b = reinterpret_cast<const unsigned char*>(detail + 4 * i);
    const uint32_t word = (uint32_t{b[0]} << 24) | (uint32_t{b[1]} << 16) | (uint32_t{b[2]} << 8) | b[3];
    w.value(static_cast<int32_t>(word));
  }
  w.end_array();
}

void write_entry(JsonWriter& w, const Translation& trans, int index, const OpLogRecord& e) {
  w.begin_object();
  w.key("no").value(index);
  w.key("mainTypeValue").value(e.main_type);
  w.key("mainType").value(trans.main_name(e.main_type));
  w.key("subTypeValue").value(e.sub_type);
  w.key("subType").value(trans.text(e.sub_type));
  w.key("pts").value(e.time);
  w.key("ptc").value(local_time_text(e.time));
  w.key("parameterValue").value(e.param_type);
  w.key("parameter").value(trans.text(e.param_type));
  w.key("remote").value(e.remote);
  w.key("chanNo").value(e.channel);
  w.key("disk").value(log_channo_is_disk(e.main_type, e.sub_type));
  w.key("size").value(e.detail_size);
  w.key("detail").field(e.detail);
  w.key("detail2");
  write_detail2(w, e.detail);
  w.key("ip").value(display_address(e.remote_address, sizeof e.remote_address));
  w.key("user").field(e.user);
  w.end_object();
}

// Device MAC as hexadecimal digits: the configured address (its letters and digits), or the first
// interface's when none is configured.
std::string mac_digits() {
  char conf[64];
  std::string configured;
  if (read_mac_conf(conf, sizeof conf) == 0) {
    for (const char* p = conf; *p != '\0'; ++p) {
      if (std::isalnum(static_cast<unsigned char>(*p))) configured += *p;
    }
  }
  if (!configured.empty()) return configured;
  char mac[18];
  interface_mac_address("eth0", mac, kDefaultMacEth0);
  std::string digits;
  for (const char* p = mac; *p != '\0'; ++p) {
    if (*p != ':') digits += *p;
  }
  return digits;
}

// The export file the core wrote: an absolute path without "..", a regular file, not a link.
bool core_file_acceptable(const char* path) {
  if (path[0] != '/' || strstr(path, "/../") != nullptr) return false;
  const size_t n = strlen(path);
  if (n >= 3 && strcmp(path + n - 3, "/..") == 0) return false;
  struct stat st {};
  return lstat(path, &st) == 0 && S_ISREG(st.st_mode);
}

void write_csv_rows(FILE* in, const Translation& trans) {
  int32_t count = 0;
  if (fread(&count, sizeof count, 1, in) != 1) return;
  auto entry = std::make_unique<OpLogRecord>();
  auto detail = std::make_unique<char[]>(kLogExportDetailBytes);
  for (int32_t i = 0; i < count; ++i) {
    if (fread(entry.get(), sizeof *entry, 1, in) != 1 ||
        fread(detail.get(), kLogExportDetailBytes, 1, in) != 1) {
      break;
    }
    std::string parameter = trans.text(entry->param_type);
    if (parameter.empty()) parameter = "N/A";
    std::string text(detail.get(), strnlen(detail.get(), kLogExportDetailBytes));
    if (text.empty()) text = "N/A";
    std::string row = std::to_string(i + 1) + "," + local_time_text(entry->time) + ",";
    row += csv_field(trans.main_name(entry->main_type)) + ",";
    row += csv_field(trans.text(entry->sub_type)) + ",";
    row += csv_field(parameter) + ",";
    row += csv_field(std::string(entry->user, strnlen(entry->user, sizeof entry->user))) + ",";
    row += csv_field(display_address(entry->remote_address, sizeof entry->remote_address)) + ",";
    row += std::to_string(entry->channel) + ",";
    row += csv_field(text, true) + ",\r\n";
    fwrite(row.data(), 1, row.size(), stdout);
    fflush(stdout);
  }
}

}  // namespace

static void log_search_handler(const char* argument) {
  auto query = std::make_unique<LogQuery>();
  QueryForm form;
  if (!read_query(argument, {"%Y-%m-%d %H:%M:%S", "chnMask", "", "searchNoChn"}, &form, query.get())) {
    return (void)reply_cgi_error(REPLY_JSON);
  }
  query->page = form.page;
  query->channel_mask = mask_of_text(form.channels, 64);
  std::optional<CoreReply> reply = core_ask(kLogSearch, *query, REPLY_JSON);
  if (!reply) return;
  const PayloadReader payload = reply->reader();
  const int32_t total = payload.int32_at(0);
  const int32_t num = payload.int32_at(4);
  const size_t held = payload.length() > 8 ? (payload.length() - 8) / sizeof(OpLogRecord) : 0;
  const size_t count = std::min({static_cast<size_t>(std::max(num, 0)), held, size_t{kLogPageEntries}});
  if (count == 0) return (void)write_reply(REPLY_JSON, "ERROR");

  const Translation trans(form.language);
  JsonWriter w(count * 3072 + 256);
  // "num" is what the page lists: the core's count, but never more than its reply holds.
  w.begin_object().key("count").value(total).key("num").value(static_cast<int32_t>(count));
  w.key("curPageNum").value(form.page);
  w.key("log").begin_array();
  auto entry = std::make_unique<OpLogRecord>();
  for (size_t i = 0; i < count; ++i) {
    if (!payload.read(8 + i * sizeof(OpLogRecord), entry.get())) break;
    write_entry(w, trans, static_cast<int>(i), *entry);
  }
  w.end_array().end_object();
  reply_json(w);
}

static void log_detail_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  if (!request) return;
  OpLogRecord entry{};
  int64_t sub_type = 0;
  int32_t size = 0;
  json_object* words = nullptr;
  if (!read_json_members(request.get(), {
          int_member("mainTypeValue", &entry.main_type),
          int64_member("subTypeValue", &sub_type),
          int_member("pts", &entry.time),
          int_member("parameterValue", &entry.param_type),
          int_member("remote", &entry.remote),
          int_member("chanNo", &entry.channel),
          int_member("size", &size).range(0, kOpLogDetailBytes),
          array_member("detail2", &words),
          text_member("ip", entry.remote_address).max_chars(45).absent_text(""),
          text_member("user", entry.user).max_chars(63).absent_text(""),
      })) {
    return;
  }
  entry.sub_type = sub_type;
  entry.detail_size = static_cast<uint32_t>(size);
  int32_t values[kOpLogDetailBytes / 4] = {};
  const size_t n = std::min(json_array_size(words), std::size(values));
  for (size_t i = 0; i < n; ++i) {
    int64_t v = 0;
    if (!json_value_int64(json_array_at(words, i), &v)) continue;
    const auto word = static_cast<uint32_t>(v);
    auto* b = reinterpret_cast<unsigned char*>(entry.detail + 4 * i);
    b[0] = static_cast<unsigned char>(word >> 24);
    b[1] = static_cast<unsigned char>(word >> 16);
    b[2] = static_cast<unsigned char>(word >> 8);
    b[3] = static_cast<unsigned char>(word);
  }
  std::optional<CoreReply> reply = core_ask(kLogDetail, entry, REPLY_TEXT);
  if (!reply) return;
  const auto* text = reinterpret_cast<const char*>(reply->data());
  const std::string shown(text, reply->size() > 0 ? strnlen(text, reply->size()) : 0);
  reply_text(shown.empty() ? "N/A" : shown.c_str());
}

namespace {
// The export marker lists the processes of the exports that wait for the core, one decimal id a
// line, and exists while one of them is alive. Every export adds itself and takes only itself out
// (under the request lock, so that two exports never lose each other's line): the marker stays
// while any export still waits. An export killed while it waits (the web server ends the program
// when its client goes away) leaves a line that names no live process, which reads as not running.
bool process_alive(pid_t pid) { return pid > 0 && (kill(pid, 0) == 0 || errno == EPERM); }

std::vector<pid_t> live_exporters() {
  std::vector<pid_t> pids;
  const int fd = open(kExportMarker, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return pids;
  char text[1024] = {};
  const ssize_t n = read(fd, text, sizeof text - 1);
  close(fd);
  if (n <= 0) return pids;
  text[n] = '\0';
  for (char* line = strtok(text, "\n"); line != nullptr; line = strtok(nullptr, "\n")) {
    int32_t pid = 0;
    if (parse_decimal(line, &pid) && process_alive(pid) &&
        std::find(pids.begin(), pids.end(), pid) == pids.end()) {
      pids.push_back(pid);
    }
  }
  return pids;
}

// Replaces the marker with the list (a new file renamed over it, never written through a link);
// no marker when the list is empty.
bool store_exporters(const std::vector<pid_t>& pids) {
  if (pids.empty()) return unlink(kExportMarker) == 0 || errno == ENOENT;
  std::string text;
  for (pid_t pid : pids) text += std::to_string(pid) + "\n";
  const std::string part = std::string(kExportMarker) + "." + std::to_string(getpid());
  if (write_new_file(part.c_str(), text.data(), text.size(), 0644) && rename(part.c_str(), kExportMarker) == 0) {
    return true;
  }
  unlink(part.c_str());
  return false;
}

bool mark_export() {
  LockFile lock;
  mkdir(kExportMarkerDir, 0755);
  std::vector<pid_t> pids = live_exporters();
  pids.push_back(getpid());
  return store_exporters(pids);
}

void unmark_export() {
  LockFile lock;
  std::vector<pid_t> pids = live_exporters();
  std::erase(pids, getpid());
  store_exporters(pids);
}
}  // namespace

static void log_export_handler(const char* argument) {
  auto query = std::make_unique<LogQuery>();
  QueryForm form;
  if (!read_query(argument, {"%Y-%m-%dT%H:%M:%S", "ch", "0", "na"}, &form, query.get())) return;
  // "ch": the channel mask as a decimal number.
  char* end = nullptr;
  errno = 0;
  const unsigned long long mask = strtoull(form.channels, &end, 10);
  if (form.channels[0] == '-' || end == form.channels || *end != '\0' || errno != 0) return;
  query->channel_mask = mask;
  query->page = 1;
  // Operation logs: the first three sub types are masks of the local, the web and the remote
  // operations (bit q of value - 10 selects base + q).
  if (query->main_type == kOpLogMainOperation && query->sub_types[0] != 10) {
    static constexpr int64_t kBases[] = {101, 131, 200};
    int64_t list[kLogSubTypesMax] = {};
    int count = 0;
    // By position in the request: an element that is not a number selects nothing of its kind.
    for (int k = 0; k < 3; ++k) {
      if (form.operation_masks[k] < 10) continue;
      const int64_t bits = form.operation_masks[k] - 10;
      for (int q = 0; q < 30; ++q) {
        if ((bits >> q) & 1) list[count++] = kBases[k] + q;
      }
    }
    std::memcpy(query->sub_types, list, sizeof list);
    query->sub_type_count = count;
  }

  const bool marked = mark_export();
  std::optional<CoreReply> reply = core_ask(kLogExport, *query, REPLY_JSON);
  if (marked) unmark_export();
  LogExportReply answer{};
  if (!reply || !reply->first(&answer)) return;
  // A failed export names no file of this export: whatever lies at its path is not served.
  if (answer.status < 0) return (void)reply_cgi_error(REPLY_JSON);
  answer.path[sizeof answer.path - 1] = '\0';

  // The file is named after the log type, the device and the local time as digits.
  std::string stamp = local_time_text(time(nullptr));
  std::erase_if(stamp, [](char c) { return c < '0' || c > '9'; });
  print_attachment_headers(std::string(export_label(query->main_type)) + "_log_" + mac_digits() + "_" + stamp +
                           ".csv");
  printf("Number,Time,Main,Sub,Parameter,User,Ip,Channel,Log information,\r\n");
  fflush(stdout);
  if (!core_file_acceptable(answer.path)) return;
  const int fd = open(answer.path, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  FILE* in = fd >= 0 ? fdopen(fd, "rb") : nullptr;
  if (in == nullptr) {
    if (fd >= 0) close(fd);
    return;
  }
  {
    const Translation trans(form.language);
    write_csv_rows(in, trans);
  }
  fclose(in);
  unlink_regular(answer.path);
}

static void log_export_running_handler(const char* /*argument*/) {
  reply_text(live_exporters().empty() ? "NO" : "OK");
}

static void log_types_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  char language[16];
  if (!request || !read_json_members(request.get(), {text_member("lan", language)})) {
    return (void)reply_cgi_error(REPLY_JSON);
  }
  // The sub types each main type lists, in order (the gaps are not listed); 15 and 16 only on OEM 90.
  struct Range {
    int32_t main_type;
    int first;
    int last;
    bool oem90_only = false;
  };
  static constexpr Range kRanges[] = {
      {2, 11, 14},   {2, 15, 16, true}, {2, 17, 30},   {2, 33, 36},   {2, 38, 41},   {4, 101, 143}, {4, 200, 225},
      {8, 500, 506}, {8, 511, 519},     {32, 400, 407}, {32, 409, 411}, {64, 600, 603},
  };
  const bool oem90 = get_param_int(kZvdbPath, "oem_type", 0) == 90;
  const Translation trans(language);
  JsonWriter w(16384);
  w.begin_object().key("mainType").begin_array();
  for (int32_t type : kMainTypes) {
    w.begin_object().key("key").value(type).key("name").value(trans.main_name(type)).end_object();
  }
  w.end_array().key("subType").begin_array();
  for (int32_t type : kMainTypes) {
    w.begin_array();
    w.begin_object().key("key").value(10).key("name").value(trans.text(10)).end_object();
    for (const Range& r : kRanges) {
      if (r.main_type != type || (r.oem90_only && !oem90)) continue;
      for (int sub = r.first; sub <= r.last; ++sub) {
        w.begin_object().key("key").value(sub).key("name").value(trans.text(sub)).end_object();
      }
    }
    w.end_array();
  }
  w.end_array().end_object();
  reply_json(w);
}

static void log_retention_set_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  if (!request) return;
  auto valid = [](int32_t v) { return v == -1 || v == 0 || v == 1 || (v >= 2 && v <= 12 && v % 2 == 0); };
  {
    SettingsWrite write;
    DiskMaintainInfo info{};
    kDiskMaintain.read(kZvdbPath, &info, {});
    if (!read_record(request.get(), &info) || !valid(info.log_retention) || !valid(info.photo_retention)) return;
    write.check(kDiskMaintain.write(kZvdbPath, &info));
    if (!write.commit()) return (void)reply_cgi_error(REPLY_TEXT);
  }
  core_tell(kRetentionChanged);
  reply_ok();
}

ZV_REQUESTS(kLogsRequests, "system",
    {"/1002", log_search_handler},
    {"/1021", log_detail_handler},
    {"/1003", log_export_handler},
    {"/1022", log_export_running_handler},
    {"/1015", log_types_handler},
    {"/1017", log_retention_set_handler});
