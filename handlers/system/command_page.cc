// The command page ("/vb.htm": service and factory commands as name=value pairs), the language
// page blocks ("/json") and the language list ("/1001").
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/json_fields.h"
#include "common/reply.h"
#include "common/request.h"
#include "common/tool_runner.h"
#include "common/web_utils.h"
#include "handlers/system/admin_common.h"
#include "common/messages/admin.h"
#include "common/request_table.h"
#include "handlers/system/translation.h"
#include "platform/zvdb/zvdb.h"

namespace {

constexpr size_t kArgumentLimit = 64;  // a name or value reaching position 64 is malformed
constexpr size_t kCountWindow = 255;   // '=' characters are counted in this many characters
constexpr size_t kIdentityChars = 32;
constexpr const char kOemDir[] = "/mnt/nand2";
constexpr const char kAppBin[] = "/opt/app/bin";
constexpr const char kWebDir[] = "/opt/app/www";
constexpr const char kMarkerDir[] = "/mnt/nand/app";
constexpr const char kLanguageDir[] = "/opt/app/www/webfile/json";
constexpr size_t kPageOutputMax = 307200;

struct Slot {
  std::string name;
  std::string value;
};

bool alnum_only(std::string_view text) {
  for (char c : text) {
    if (!isalnum(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

// The chip identity as the tool reports it on its "Read old:" line, cut to size - 1 characters.
// Read through a pipe; false when the tool fails or prints no such line.
bool read_chip_identity(std::string* identity, size_t size) {
  ToolOptions options;
  options.capture_output = true;
  options.output_limit = 4096;
  options.time_limit_ms = 5000;
  const ToolResult r = run_tool({"zvchip_update", "-r", "32"}, options);
  if (!r.succeeded()) return false;
  constexpr std::string_view kTag = "Read old:";
  size_t start = 0;
  while (start < r.output.size()) {
    size_t end = r.output.find('\n', start);
    if (end == std::string::npos) end = r.output.size();
    std::string_view line(r.output.data() + start, std::min<size_t>(end - start, 127));
    if (size_t at = line.find(kTag); at != std::string_view::npos) {
      std::string_view text = line.substr(at + kTag.size());
      while (!text.empty() && (text.back() == '\r' || text.back() == ' ')) text.remove_suffix(1);
      *identity = std::string(text.substr(0, size - 1));
      return true;
    }
    start = end + 1;
  }
  return false;
}

bool write_chip_identity(const std::string& identity) {
  ToolOptions options;
  options.time_limit_ms = 5000;
  return run_tool({"zvchip_update", identity.c_str()}, options).succeeded();
}

bool store_setting(const char* key, const std::string& value) {
  if (!valid_request_text(value.data(), value.size())) return false;
  SettingsWrite write;
  write.check(set_param_value(kZvdbPath, key, value.c_str()));
  return write.commit();
}

void touch(const char* dir, const char* name) {
  const std::string path = std::string(dir) + "/" + name;
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd >= 0) close(fd);
}

// Removes the files directly in `dir` (not its sub-directories, not hidden names).
void remove_files_in(const char* dir) {
  DIR* d = opendir(dir);
  if (d == nullptr) return;
  while (dirent* e = readdir(d)) {
    if (e->d_name[0] == '.') continue;
    struct stat st {};
    if (fstatat(dirfd(d), e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISDIR(st.st_mode)) {
      unlinkat(dirfd(d), e->d_name, 0);
    }
  }
  closedir(d);
}

void run_quietly(std::initializer_list<const char*> argv) {
  ToolOptions options;
  options.time_limit_ms = 60000;
  options.discard_errors = true;
  run_tool(argv, options);
}

// ---- Commands ----

void cmd_setlang(const Slot& slot) {
  const long value = strtol(slot.value.c_str(), nullptr, 10);
  core_tell(kLanguageSet, static_cast<int32_t>(std::clamp<long>(value, INT32_MIN, INT32_MAX)));
  reply_ok();
}

void cmd_setdefault(const Slot&) {}

void cmd_decode(const Slot& slot) { reply_text(store_setting("decode", slot.value) ? "OK" : "ERROR"); }

void cmd_hotplug(const Slot& slot) { reply_text(store_setting("hdmihotplug", slot.value) ? "OK" : "ERROR"); }

// Restores the recorder's own look: the saved logo and interface resources go back, the OEM
// directory is emptied, the web pages are unpacked again, and the start-up scripts are told (by
// marker files) to clear the network and user settings. The OEM type goes back first: when it
// cannot be stored nothing else is touched (the OEM files are not lost) and the page is told so.
void cmd_oemclean(const Slot&) {
  {
    SettingsWrite write;
    write.check(set_param_int(kZvdbPath, "oem_type", 0));
    if (!write.commit()) return (void)reply_text("ERROR");
  }
  const std::string logo_backup = std::string(kOemDir) + "/logo.jpg_bk";
  const std::string gui_backup = std::string(kOemDir) + "/gui.rcc_bk";
  const std::string logo = std::string(kAppBin) + "/logo.jpg";
  const std::string gui = std::string(kAppBin) + "/gui.rcc";
  const std::string web_archive = std::string(kWebDir) + "/web.tar.gz";
  const std::string web_dir = std::string(kWebDir) + "/";
  run_quietly({"cp", logo_backup.c_str(), logo.c_str()});
  run_quietly({"cp", gui_backup.c_str(), gui.c_str()});
  remove_files_in(kOemDir);
  run_quietly({"tar", "-zxf", web_archive.c_str(), "-C", web_dir.c_str()});
  touch(kMarkerDir, "eraseip");
  touch(kMarkerDir, "eraseuser");
  touch(kMarkerDir, "eraseall");
  sync();
  reply_ok();
}

void cmd_paratest(const Slot& slot) {
  if (slot.value != "chipinfo") return (void)reply_text("Param ERROR");
  std::string identity;
  if (!read_chip_identity(&identity, 64)) return (void)reply_text("ERROR");
  // The identity is shown with its first 32 characters, ended by a carriage return.
  if (identity.size() >= kIdentityChars) identity = identity.substr(0, kIdentityChars) + "\r";
  reply_text(("OK chipinfo=" + identity + "\n").c_str());
}

// Replaces `count` identity characters at `to` with value characters from `from`; false when
// either is too short.
bool splice(std::string* identity, size_t to, const std::string& value, size_t from, size_t count) {
  if (value.size() < from + count || identity->size() < to + count) return false;
  identity->replace(to, count, value, from, count);
  return true;
}

// A part of the identity that a value starting with `letter` replaces: `length` characters at `at`.
struct IdentityField {
  char letter;
  size_t length;
  size_t at;
};

const IdentityField* field_for(std::span<const IdentityField> fields, const std::string& value) {
  for (const IdentityField& f : fields) {
    if (!value.empty() && value[0] == f.letter) return &f;
  }
  return nullptr;
}

// The value's characters after its letter go into the identity; "ZVN..." is a whole identity.
void cmd_chipupdate(const Slot& slot) {
  static constexpr IdentityField kFields[] = {{'N', 6, 3}, {'H', 2, 9}, {'E', 7, 12}, {'S', 11, 20}};
  std::string value = slot.value.substr(0, 63);
  std::string identity;
  if (value.empty() || !alnum_only(value) || !read_chip_identity(&identity, 64)) {
    return (void)reply_text("NG chipupdate");
  }
  if (value.size() >= 21 && value.size() < kIdentityChars) value.append(kIdentityChars - value.size(), '0');
  bool ok = value.size() <= kIdentityChars;
  if (ok && value.compare(0, 3, "ZVN") == 0) {
    ok = value.size() == kIdentityChars;
    identity = value;
  } else if (ok) {
    const IdentityField* field = field_for(kFields, value);
    ok = field != nullptr && splice(&identity, field->at, value, 1, field->length);
  }
  if (!ok || !write_chip_identity(identity)) return (void)reply_text("NG chipupdate");
  reply_text("OK chipupdate");
}

// The value, letter included and padded with '0' to the field's length, goes into the identity.
void cmd_modelupdate(const Slot& slot) {
  static constexpr IdentityField kFields[] = {{'N', 7, 2}, {'H', 3, 9}, {'E', 8, 12}, {'S', 12, 20}};
  std::string value = slot.value.substr(0, 63);
  std::string identity;
  const IdentityField* field = field_for(kFields, value);
  if (field == nullptr || value.size() > field->length || !alnum_only(value) ||
      !read_chip_identity(&identity, 64)) {
    return (void)reply_text("NG modelupdate");
  }
  value.append(field->length - value.size(), '0');
  if (!splice(&identity, field->at, value, 0, field->length) || !write_chip_identity(identity)) {
    return (void)reply_text("NG modelupdate");
  }
  reply_text("OK modelupdate");
}

void cmd_softversion(const Slot&) {
  char version[64];
  get_param_value(kZvdbPath, "software_version", version, sizeof version, "7x.7.0.9");
  reply_text(version);
}

struct Command {
  const char* name;
  void (*run)(const Slot&);
};
constexpr Command kCommands[] = {
    {"setlang", cmd_setlang},       {"setdefault", cmd_setdefault}, {"decode", cmd_decode},
    {"hotplug", cmd_hotplug},       {"oemclean", cmd_oemclean},     {"paratest", cmd_paratest},
    {"chipupdate", cmd_chipupdate}, {"modelupdate", cmd_modelupdate}, {"softversion", cmd_softversion},
};

// The slots of an argument; false when it is malformed.
bool parse_slots(std::string_view argument, std::vector<Slot>* slots) {
  for (const char* word : {"oemclean", "debug", "softversion"}) {
    if (argument == word) {
      slots->push_back({word, "1"});
      return true;
    }
  }
  const size_t pairs = static_cast<size_t>(std::count(argument.begin(),
                                                      argument.begin() + std::min(argument.size(), kCountWindow), '='));
  if (pairs == 0) return false;
  size_t at = 0;
  for (size_t i = 0; i < pairs; ++i) {
    size_t name_end = argument.find('=', at);
    if (name_end == std::string_view::npos) name_end = argument.size();
    size_t value_start = std::min(name_end + 1, argument.size());
    size_t value_end = argument.find('&', value_start);
    if (value_end == std::string_view::npos) value_end = argument.size();
    if ((name_end > at && name_end > kArgumentLimit) || (value_end > value_start && value_end > kArgumentLimit)) {
      return false;
    }
    slots->push_back({std::string(argument.substr(at, name_end - at)),
                      std::string(argument.substr(value_start, value_end - value_start))});
    at = std::min(value_end + 1, argument.size());
  }
  return true;
}

// The value of `key` in a query: from after "key" (at the start or after '&') to the next '&'.
std::string query_value(std::string_view query, std::string_view key, size_t max_chars) {
  size_t at = 0;
  while (at <= query.size()) {
    if (query.compare(at, key.size(), key) == 0) {
      std::string_view rest = query.substr(at + key.size());
      return std::string(rest.substr(0, std::min(rest.find('&'), max_chars)));
    }
    const size_t amp = query.find('&', at);
    if (amp == std::string_view::npos) break;
    at = amp + 1;
  }
  return {};
}

}  // namespace

static void command_page_handler(const char* argument) {
  if (argument == nullptr) return (void)reply_text("ERROR");
  std::vector<Slot> slots;
  if (!parse_slots(argument, &slots)) return (void)reply_text("PARAM ERROR");
  for (const Slot& slot : slots) {
    const Command* command = nullptr;
    for (const Command& c : kCommands) {
      if (slot.name == c.name) command = &c;
    }
    if (command == nullptr) return (void)reply_text("ERROR");
    command->run(slot);
  }
}

static void language_page_handler(const char* argument) {
  const std::string_view query = argument != nullptr ? argument : "";
  const std::string lang = query_value(query, "lang=", 63);
  const std::string page = query_value(query, "page=", 127);
  const std::string sub = query_value(query, "sub=", 127);
  if (page.empty()) return (void)reply_text("ERROR PAGE.");
  if (!language_name_ok(lang)) return (void)reply_text("ERROR LANG.");
  const std::string marker = sub.empty() ? page + ".json" : page + "=" + sub + ".json";
  const std::string start = "{//" + marker;
  const std::string end = "}//" + marker;
  const std::string path = std::string(kLanguageDir) + "/" + lang + ".json";
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  FILE* in = fd >= 0 ? fdopen(fd, "r") : nullptr;
  if (in == nullptr) {
    if (fd >= 0) close(fd);
    return (void)reply_text("ERROR LANG.");
  }
  std::string out;
  bool copying = false;
  char line[1024];
  while (fgets(line, sizeof line, in) != nullptr) {
    std::string_view text(line);
    if (!copying) {
      if (text.find(start) != std::string_view::npos) {
        copying = true;
        out += "{\n";
      }
      continue;
    }
    if (text.find(end) != std::string_view::npos) {
      out += "\n}";
      break;
    }
    out.append(text.substr(0, kPageOutputMax - std::min(out.size(), kPageOutputMax)));
  }
  fclose(in);
  if (out.size() > kPageOutputMax) out.resize(kPageOutputMax);
  write_reply(REPLY_JSON, out.c_str());
}

static void language_list_handler(const char* argument) {
  // No content (a bare GET) is no list: the stored one stays.
  if (argument == nullptr || argument[0] == '\0') return;
  const std::string temp = std::string(kLanguageDir) + "/languages_bak.json";
  const std::string list = std::string(kLanguageDir) + "/languages.json";
  LockFile lock;
  const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) return;
  std::string content = std::string(argument) + "\n";
  size_t done = 0;
  while (done < content.size()) {
    const ssize_t n = write(fd, content.data() + done, content.size() - done);
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  const bool written = done == content.size() && fsync(fd) == 0;
  if (close(fd) != 0 || !written || rename(temp.c_str(), list.c_str()) != 0) {
    unlink(temp.c_str());
    return;
  }
  reply_ok();
}

ZV_REQUESTS(kCommandPageRequests, "system",
    {"/vb.htm", command_page_handler},
    {"/json", language_page_handler},
    {"/1001", language_list_handler});
