// Checks of the files a request names: "/tmp/" and one base name.
#include "common/path_check.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>

namespace {

constexpr std::string_view kTmpDir = "/tmp/";
constexpr std::string_view kTempUploadPrefix = "cgic";  // front/multipart.cc: "/tmp/cgicXXXXXX"
constexpr size_t kTempUploadSuffixLength = 6;

// Files the program itself keeps in /tmp: a request must never name them.
constexpr std::string_view kReservedNames[] = {"cgilockfile",    "certlockfile", "pbdownload", "zvcore",
                                               "tmp_diagnostic", "chipinfo.txt", "oem.zip",    "port",
                                               "log"};
// Names the program gives its own files in /tmp with a varying tail: configuration exports
// ("zvconfig_<time>.db") and the P2P service's key file ("p2pkeyXXXXXX"). Only the program's own
// form (check_own_tmp_path) takes them.
constexpr std::string_view kReservedPrefixes[] = {"zvconfig_", "p2pkey"};

bool is_temp_upload_name(std::string_view name) {
  return name.size() == kTempUploadPrefix.size() + kTempUploadSuffixLength &&
         name.starts_with(kTempUploadPrefix);
}

bool is_letter_or_digit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

PathVerdict check_base_name(std::string_view name, bool temp_upload, std::string_view own_prefix = {}) {
  if (name.empty()) return PathVerdict::kEmpty;
  if (name.size() > kTmpNameMax) return PathVerdict::kTooLong;
  if (name.find('/') != std::string_view::npos) return PathVerdict::kSlash;
  if (name.front() == '.') return PathVerdict::kDotName;  // ".", ".." and hidden names
  for (const char ch : name) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 0x20 || c == 0x7f || c == '"' || c == '`' || c == '$' || c == '\\') {
      return PathVerdict::kBadCharacter;
    }
  }
  if (!temp_upload && is_temp_upload_name(name)) return PathVerdict::kTempUploadName;
  if (std::find(std::begin(kReservedNames), std::end(kReservedNames), name) !=
      std::end(kReservedNames)) {
    return PathVerdict::kReservedName;
  }
  for (std::string_view prefix : kReservedPrefixes) {
    if (name.starts_with(prefix) && prefix != own_prefix) return PathVerdict::kReservedName;
  }
  return PathVerdict::kAccepted;
}

// "/tmp/" + an accepted base name (no NUL in it, at most kTmpNameMax bytes).
PathVerdict check_file(std::string_view name) {
  char path[kTmpDir.size() + kTmpNameMax + 1];
  memcpy(path, kTmpDir.data(), kTmpDir.size());
  memcpy(path + kTmpDir.size(), name.data(), name.size());
  path[kTmpDir.size() + name.size()] = '\0';
  struct stat st;
  if (lstat(path, &st) != 0) return PathVerdict::kMissing;
  if (S_ISLNK(st.st_mode)) return PathVerdict::kSymbolicLink;
  if (!S_ISREG(st.st_mode)) return PathVerdict::kNotRegular;
  return PathVerdict::kAccepted;
}

PathVerdict with_file(PathVerdict verdict, std::string_view name, FileNeed need) {
  if (verdict != PathVerdict::kAccepted || need == FileNeed::kNameOnly) return verdict;
  return check_file(name);
}

}  // namespace

PathVerdict check_tmp_name(std::string_view name, FileNeed need) {
  return with_file(check_base_name(name, false), name, need);
}

PathVerdict check_tmp_path(std::string_view path, FileNeed need) {
  if (!path.starts_with(kTmpDir)) return PathVerdict::kNotInTmp;
  return check_tmp_name(path.substr(kTmpDir.size()), need);
}

bool has_reserved_prefix(std::string_view name) {
  return std::any_of(std::begin(kReservedPrefixes), std::end(kReservedPrefixes),
                     [name](std::string_view prefix) { return name.starts_with(prefix); });
}

PathVerdict check_own_tmp_path(std::string_view path, std::string_view prefix, FileNeed need) {
  if (!path.starts_with(kTmpDir)) return PathVerdict::kNotInTmp;
  const std::string_view name = path.substr(kTmpDir.size());
  if (!name.starts_with(prefix)) return PathVerdict::kReservedName;
  return with_file(check_base_name(name, false, prefix), name, need);
}

PathVerdict check_temp_upload_path(std::string_view path, FileNeed need) {
  if (!path.starts_with(kTmpDir)) return PathVerdict::kNotInTmp;
  const std::string_view name = path.substr(kTmpDir.size());
  PathVerdict verdict = check_base_name(name, true);
  if (verdict == PathVerdict::kAccepted &&
      (!is_temp_upload_name(name) ||
       !std::all_of(name.begin() + kTempUploadPrefix.size(), name.end(), is_letter_or_digit))) {
    verdict = PathVerdict::kNotTempUpload;
  }
  return with_file(verdict, name, need);
}

const char* path_verdict_text(PathVerdict verdict) {
  switch (verdict) {
    case PathVerdict::kAccepted:
      return "accepted";
    case PathVerdict::kNotInTmp:
      return "not in /tmp";
    case PathVerdict::kEmpty:
      return "empty name";
    case PathVerdict::kTooLong:
      return "name too long";
    case PathVerdict::kSlash:
      return "slash in the name";
    case PathVerdict::kDotName:
      return "name starting with a dot";
    case PathVerdict::kBadCharacter:
      return "forbidden character";
    case PathVerdict::kTempUploadName:
      return "temporary upload name";
    case PathVerdict::kReservedName:
      return "reserved name";
    case PathVerdict::kNotTempUpload:
      return "not a temporary upload";
    case PathVerdict::kMissing:
      return "no such file";
    case PathVerdict::kSymbolicLink:
      return "symbolic link";
    case PathVerdict::kNotRegular:
      return "not a regular file";
  }
  return "unknown";
}
