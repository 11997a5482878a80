// The one check for every file a request names. Such a file lives directly in /tmp: "/tmp/" and
// one base name, never a path of the client's choosing elsewhere, never one of the program's own
// files in /tmp, never a symbolic link. Three forms:
//   check_tmp_path         "/tmp/<name>"           a file the request names by its path
//   check_tmp_name         "<name>"                an identifier that is a base name alone
//                                                  (the file is "/tmp/<name>")
//   check_temp_upload_path "/tmp/cgicXXXXXX"       the front end's temporary upload (exactly
//                                                  "cgic" and 6 letters or digits, as mkstemp
//                                                  makes them from front/multipart.cc's template)
// The first two refuse the temporary-upload names; only the third takes them. They refuse the
// program's own files too, among them those named by a prefix and a varying tail ("zvconfig_..."
// exports); check_own_tmp_path is the program's form for one of those, never a request's.
#pragma once

#include <cstddef>
#include <string_view>

// Longest base name accepted, in bytes (the front end keeps upload names in 128-byte buffers).
inline constexpr size_t kTmpNameMax = 127;

// Why a name is refused; kAccepted when it is not. Checked in this order, so a name refused for
// several reasons reports the first.
enum class PathVerdict {
  kAccepted = 0,
  kNotInTmp,        // a path form that does not start with "/tmp/"
  kEmpty,           // no base name
  kTooLong,         // a base name above kTmpNameMax bytes
  kSlash,           // a '/' in the base name: a sub-directory, or ".." leading out
  kDotName,         // ".", "..", or a hidden name starting with '.'
  kBadCharacter,    // a control character (below 0x20, or 0x7f), or '"', '`', '$', '\'
  kTempUploadName,  // "cgic" and 6 characters: a temporary upload (only its own form takes it)
  kReservedName,    // one of the program's own files in /tmp ("cgilockfile", "zvcore", ...)
  kNotTempUpload,   // check_temp_upload_path: not "/tmp/cgic" and 6 letters or digits
  kMissing,         // FileNeed::kRegularFile: lstat fails (no such file)
  kSymbolicLink,    // FileNeed::kRegularFile: a symbolic link (whatever it points to)
  kNotRegular,      // FileNeed::kRegularFile: a directory, FIFO, socket or device
};

// Whether the named file must exist. A name-only check suits a file the request is about to
// create; kRegularFile checks it with lstat (without following a symbolic link). A caller that
// then opens the file should still pass O_NOFOLLOW: the check and the open are two steps.
enum class FileNeed { kNameOnly, kRegularFile };

PathVerdict check_tmp_path(std::string_view path, FileNeed need = FileNeed::kNameOnly);
PathVerdict check_tmp_name(std::string_view name, FileNeed need = FileNeed::kNameOnly);
PathVerdict check_temp_upload_path(std::string_view path, FileNeed need = FileNeed::kNameOnly);
// Whether `name` starts like one of the program's own files named by a prefix ("zvconfig_").
bool has_reserved_prefix(std::string_view name);
// "/tmp/" + a name starting with `prefix`, one of the reserved prefixes ("zvconfig_"), with every
// other rule of check_tmp_path.
PathVerdict check_own_tmp_path(std::string_view path, std::string_view prefix, FileNeed need = FileNeed::kNameOnly);

// A short English text for logs: "accepted", "not in /tmp", "empty name", ...
const char* path_verdict_text(PathVerdict verdict);
