// OEM customisation: the encrypted OEM package upload ("/oem") and the package's user list
// ("/6074").
//
// A package is checked before anything is unpacked: decrypted with the client's key, its zip
// directory read, and refused when an entry is absolute, has a ".." component or a backslash, or
// is a symbolic link. It is unpacked into a fresh directory beside the OEM directory and only then
// moved into place, file by file, replaced files kept aside until the last one is in, so any
// failure leaves "/mnt/nand2" as it was, and nothing is ever written through a link.
#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/json_fields.h"
#include "common/path_check.h"
#include "common/record_json.h"
#include "common/reply.h"
#include "common/request.h"
#include "common/tool_runner.h"
#include "common/web_utils.h"
#include "handlers/system/admin_common.h"
#include "handlers/system/oem_crypt.h"
#include "common/request_table.h"
#include "platform/zvdb/admin_tables.h"
#include "platform/zvdb/zvdb.h"
#include "platform/zvstd/zvstd.h"

namespace {

constexpr const char kOemDir[] = "/mnt/nand2";
constexpr const char kOemMarker[] = "/mnt/nand2/oem_upload";
constexpr size_t kKeyChars = 32;
constexpr size_t kUploadPathChars = 63;
constexpr off_t kPackageMax = 64 * 1024 * 1024;

uint32_t le16(const unsigned char* p) { return uint32_t{p[0]} | (uint32_t{p[1]} << 8); }
uint32_t le32(const unsigned char* p) { return le16(p) | (le16(p + 2) << 16); }

bool entry_name_safe(std::string_view name) {
  if (name.empty() || name[0] == '/' || name.find('\\') != std::string_view::npos ||
      name.find('\0') != std::string_view::npos || (name.size() >= 2 && name[1] == ':')) {
    return false;
  }
  size_t at = 0;
  while (at <= name.size()) {
    size_t slash = name.find('/', at);
    if (slash == std::string_view::npos) slash = name.size();
    if (name.substr(at, slash - at) == "..") return false;
    at = slash + 1;
  }
  return true;
}

// Reads the archive's central directory: true when it is a zip archive whose every entry is a
// plain file or directory with a safe relative name.
bool archive_safe(const std::vector<unsigned char>& zip) {
  constexpr size_t kEndBytes = 22;
  if (zip.size() < kEndBytes) return false;
  size_t end = std::string::npos;
  const size_t lowest = zip.size() > kEndBytes + 65535 ? zip.size() - kEndBytes - 65535 : 0;
  for (size_t i = zip.size() - kEndBytes + 1; i-- > lowest;) {
    if (le32(&zip[i]) == 0x06054b50) {
      end = i;
      break;
    }
  }
  if (end == std::string::npos) return false;
  const uint32_t entries = le16(&zip[end + 10]);
  const uint32_t directory_size = le32(&zip[end + 12]);
  const uint32_t offset = le32(&zip[end + 16]);
  if (entries == 0 || entries == 0xffff || offset == 0xffffffffu || offset > end || directory_size > end - offset) {
    return false;
  }
  size_t at = offset;
  for (uint32_t i = 0; i < entries; ++i) {
    if (at + 46 > end || le32(&zip[at]) != 0x02014b50) return false;
    const uint32_t name_length = le16(&zip[at + 28]);
    const uint32_t extra_length = le16(&zip[at + 30]);
    const uint32_t comment_length = le16(&zip[at + 32]);
    const uint32_t attributes = le32(&zip[at + 38]);
    if (at + 46 + name_length > end) return false;
    const std::string_view name(reinterpret_cast<const char*>(&zip[at + 46]), name_length);
    if (!entry_name_safe(name)) return false;
    // The mode is checked whatever host made the archive: unzip makes links of VMS, Atari and
    // BeOS entries as well as of Unix ones.
    const uint32_t mode = attributes >> 16;
    if ((mode & S_IFMT) != 0 && (mode & S_IFMT) != S_IFREG && (mode & S_IFMT) != S_IFDIR) {
      return false;  // a link, device or FIFO
    }
    at += 46 + name_length + extra_length + comment_length;
  }
  return true;
}

int remove_entry(const char* path, const struct stat*, int type, struct FTW*) {
  return type == FTW_DP ? rmdir(path) : unlink(path);
}

void remove_tree(const std::string& dir) { nftw(dir.c_str(), remove_entry, 16, FTW_DEPTH | FTW_PHYS); }

// Visits every entry of the staged directory `from` with its place in `to`:
// visit(source, target, lstat of source, lstat of target or null when nothing is there). False
// when the directory cannot be read, an entry cannot be examined or a visit is false; every
// entry is visited even after a failure.
template <class Visit>
bool each_entry(const std::string& from, const std::string& to, Visit&& visit) {
  DIR* d = opendir(from.c_str());
  if (d == nullptr) return false;
  bool ok = true;
  while (dirent* e = readdir(d)) {
    if (strcmp(e->d_name, ".") == 0 || strcmp(e->d_name, "..") == 0) continue;
    const std::string source = from + "/" + e->d_name;
    const std::string target = to + "/" + e->d_name;
    struct stat st {};
    struct stat existing {};
    const bool present = lstat(target.c_str(), &existing) == 0;
    ok = lstat(source.c_str(), &st) == 0 && visit(source, target, st, present ? &existing : nullptr) && ok;
  }
  closedir(d);
  return ok;
}

// True when every entry of the staged tree `from` can take its place in `to`: a directory where
// `to` has a real directory or nothing, a regular file where it has no directory. Checked before
// anything moves, so a package that cannot go in whole leaves the OEM directory as it was.
bool tree_fits(const std::string& from, const std::string& to) {
  return each_entry(from, to, [](const std::string& source, const std::string& target, const struct stat& st,
                                 const struct stat* existing) {
    if (S_ISDIR(st.st_mode)) return (existing == nullptr || S_ISDIR(existing->st_mode)) && tree_fits(source, target);
    return S_ISREG(st.st_mode) && !(existing != nullptr && S_ISDIR(existing->st_mode));
  });
}

// Moves a staged tree into place so that it goes in whole or not at all: every file it replaces
// is first moved aside into `backups`, and a failure puts back what was there (replaced files
// return, new files and directories go). Targets of the tree are real directories or files (see
// tree_fits); a file replaces what is there (a link itself, never what it points to).
class TreeMove {
 public:
  explicit TreeMove(std::string backups) : backups_(std::move(backups)) {}

  bool move(const std::string& from, const std::string& to) {
    return each_entry(from, to, [this](const std::string& source, const std::string& target, const struct stat& st,
                                       const struct stat* existing) {
      if (S_ISDIR(st.st_mode)) {
        if (existing == nullptr) {
          if (mkdir(target.c_str(), 0755) != 0) return false;
          made_.push_back(target);
        }
        return move(source, target);
      }
      std::string backup;
      if (existing != nullptr) {
        backup = backups_ + "/" + std::to_string(placed_.size());
        if (rename(target.c_str(), backup.c_str()) != 0) return false;
      }
      if (rename(source.c_str(), target.c_str()) != 0) {
        if (!backup.empty()) rename(backup.c_str(), target.c_str());
        return false;
      }
      placed_.push_back({target, backup});
      return true;
    });
  }

  // Puts back what the tree replaced; false when something could not be (its backup stays).
  bool undo() {
    bool whole = true;
    for (auto p = placed_.rbegin(); p != placed_.rend(); ++p) {
      whole = (p->backup.empty() ? unlink(p->target.c_str()) : rename(p->backup.c_str(), p->target.c_str())) == 0 &&
              whole;
    }
    for (auto d = made_.rbegin(); d != made_.rend(); ++d) whole = rmdir(d->c_str()) == 0 && whole;
    return whole;
  }

 private:
  struct Placed {
    std::string target;
    std::string backup;  // empty: nothing was there
  };
  std::string backups_;
  std::vector<Placed> placed_;
  std::vector<std::string> made_;
};

// Moves the staged tree into the OEM directory whole, or leaves the directory as it was.
bool install_tree(const std::string& stage) {
  if (!tree_fits(stage, kOemDir)) return false;
  char backups[] = "/mnt/nand2/.oem-old-XXXXXX";
  if (mkdtemp(backups) == nullptr) return false;
  TreeMove tree(backups);
  const bool moved = tree.move(stage, kOemDir);
  // The replaced files are dropped once the tree is in, or once they are all back.
  if (moved || tree.undo()) remove_tree(backups);
  return moved;
}

// The archive in a file of its own, made new (never one that a link or an earlier file holds the
// name of): its path, or "" when it could not be written.
std::string write_archive(const std::vector<unsigned char>& zip) {
  char path[] = "/tmp/oem-XXXXXX.zip";
  const int fd = mkostemps(path, 4, O_CLOEXEC);
  if (fd < 0) return {};
  const bool written = write_all(fd, zip.data(), zip.size());
  if (close(fd) != 0 || !written) {
    unlink(path);
    return {};
  }
  return path;
}

bool install_package(const std::vector<unsigned char>& zip) {
  if (!archive_safe(zip)) return false;
  const std::string archive = write_archive(zip);
  if (archive.empty()) return false;
  char stage[] = "/mnt/nand2/.oem-stage-XXXXXX";
  if (mkdtemp(stage) == nullptr) {
    unlink(archive.c_str());
    return false;
  }
  ToolOptions options;
  options.time_limit_ms = 60000;
  options.discard_errors = true;
  const bool unpacked = run_tool({"unzip", "-o", "-qq", archive.c_str(), "-d", stage}, options).succeeded();
  unlink(archive.c_str());
  const bool moved = unpacked && install_tree(stage);
  remove_tree(stage);
  return moved;
}

}  // namespace

static void oem_upload_handler(const char* argument) {
  if (argument == nullptr) return (void)reply_text("ERROR");
  LockFile lock;
  const std::string upload = upload_path_of(argument, kUploadPathChars);
  const char* aes = strstr(argument, "aes=");
  if (aes == nullptr) return (void)reply_text("ERROR");
  char key[kKeyChars + 1];
  copy_text_field(key, aes + 4, kKeyChars);
  if (!request_is_upload() || check_temp_upload_path(upload, FileNeed::kRegularFile) != PathVerdict::kAccepted) {
    return (void)reply_text("ERROR");
  }
  struct stat st {};
  if (lstat(upload.c_str(), &st) != 0 || st.st_size > kPackageMax) return (void)reply_text("ERROR");
  size_t length = 0;
  void* text = read_whole_file(upload.c_str(), &length);
  if (text == nullptr) return (void)reply_text("ERROR");
  std::vector<unsigned char> sealed(length + 1);
  const int sealed_length = zv_base64_decode(static_cast<const char*>(text), sealed.data(), static_cast<int>(length));
  __zv_free(text, "OnSystem", __LINE__);
  std::vector<unsigned char> plain(length + 1);
  const int plain_length = sealed_length > 0 ? aesDecryWeb(sealed.data(), key, plain.data(), sealed_length) : -1;
  if (plain_length <= 0) return (void)reply_text("ERROR");
  plain.resize(static_cast<size_t>(plain_length));

  if (!install_package(plain)) return (void)reply_text("ERROR");
  unlink_regular(upload.c_str());
  // The start-up scripts apply the package only where they find the marker: one that cannot be
  // made is a failed upload. A link in its place is replaced, never followed.
  if (!write_new_file(kOemMarker, "", 0, 0644)) return (void)reply_text("ERROR");
  reply_ok();
}

static void oem_users_handler(const char* /*argument*/) {
  struct stat st {};
  if (lstat(kOemDbPath, &st) != 0 || !S_ISREG(st.st_mode)) return;
  auto users = std::make_unique<OemUserRecord[]>(kMaxOemUsers);
  int count = kMaxOemUsers;
  if (kOemUsers.read_all(kOemDbPath, users.get(), &count) != 0) count = 0;
  JsonWriter w(4096);
  w.begin_array();
  for (int i = 0; i < count && i < kMaxOemUsers; ++i) {
    if (users[i].enable != 0) write_object(w, users[i]);
  }
  w.end_array();
  reply_json(w);
}

ZV_REQUESTS(kOemRequests, "system",
    {"/oem", oem_upload_handler},
    {"/6074", oem_users_handler});
