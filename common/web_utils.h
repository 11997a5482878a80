// Small helpers every handler uses: the logged-in user, constant shell commands, the lock file,
// JSON and whole-file access, and the hardware addresses.
#pragma once

#include <json-c/json.h>

#include <cstddef>

// The user name of the "userName" cookie in HTTP_COOKIE, cut to 63 characters (and to size - 1):
// the text after "userName" and the one character that follows it (the '='), up to the next ';'
// or the end; when that text holds a '=', only what follows its first '=' is kept. Returns 0, or
// -1 when buffer is null, size is 0, or there is no cookie or no "userName" (buffer then "").
int cookie_user_name(char* buffer, size_t size);

// Runs `command` through the shell (zv_system). 0 when it exited with status 0; -1 when it is
// null, the shell could not be run, it was ended by a signal or exited with another status.
// Only for command texts made of constants: never put request text or a stored setting in
// `command`. A program with such arguments runs through run_tool (common/tool_runner.h), with an
// argument vector, a time limit and no shell.
int run_command(const char* command);

// Opens (creating when missing) `path` read-write and takes an exclusive lockf lock, blocking
// until it is free. Returns the descriptor; negative when the open or the lock failed (no lock then).
int lock_file_acquire(const char* path);
// For a descriptor >= 0: releases the lock and closes it.
void lock_file_release(int fd);

constexpr const char kCgiLockFile[] = "/tmp/cgilockfile";
// The certificate steps' own lock: one step at a time in the certificate directory, without
// holding up every settings save while the core answers (up to its whole budget).
constexpr const char kCertLockFile[] = "/tmp/certlockfile";

// Holds the advisory lock that serialises webreq processes rewriting a shared file, for the
// lifetime of the object. Not copyable.
class LockFile {
 public:
  explicit LockFile(const char* path = kCgiLockFile) : fd_(lock_file_acquire(path)) {}
  ~LockFile() { lock_file_release(fd_); }
  LockFile(const LockFile&) = delete;
  LockFile& operator=(const LockFile&) = delete;
  bool locked() const { return fd_ >= 0; }
  // Lets the lock go before the scope ends.
  void release() {
    lock_file_release(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
};

// Parses `text`; null when text is null or not valid JSON. The caller releases the result with
// json_object_put.
json_object* parse_json_text(const char* text);

// Parses `text` and reads the integer member `key` into *out. 0, or -1 when an argument is null,
// the text is not JSON or the key is missing.
int json_text_get_int(const char* text, const char* key, int* out);

// Reads the integer member `key`. 0, or -1 when an argument is null or the key is missing (a
// member whose value is null counts as missing).
int json_get_int(json_object* object, const char* key, int* out);

// Copies the text form of member `key` (strings as they are, other values as JSON), cut to
// size - 1. 0, or -1 when an argument is null, size is 0 or the key is missing (or null); the
// buffer is then "" when it can be written.
int json_get_text(json_object* object, const char* key, char* buffer, size_t size);

// The whole file in a buffer of the tracked allocator (source name "web_utils"; free it with
// __zv_free), with *length its size. One NUL byte follows the data (not counted), so a text file
// can be read as a C string. Null with *length 0 when path is null, the file cannot be read or
// memory runs out.
void* read_whole_file(const char* path, size_t* length);

// Replaces the file with `length` bytes of `data`: written to a temporary file beside it and
// renamed over it, so a reader or a power cut sees the old or the new content, never a part.
// (A path that names an existing non-regular file or a symbolic link is written in place.) Returns
// 0, or -1 when the file cannot be written completely (the old content then stays).
int write_whole_file(const char* path, const void* data, size_t length);
// Writes all of `data` to `fd` (again after an interrupted write); false on any failure.
bool write_all(int fd, const void* data, size_t length);
// Makes `path` a new regular file holding `length` bytes of `data` with `mode`: whatever was there
// (a file, a link) is removed first, never followed or written through. False, with nothing left
// at `path`, when the file cannot be written whole.
bool write_new_file(const char* path, const void* data, size_t length, unsigned mode);

// The hardware addresses of "eth0" and "eth1" as "%02X:%02X:%02X:%02X:%02X:%02X". An interface
// that cannot be read gives the default address (kDefaultMacEth0 / kDefaultMacEth1). Returns 0,
// or -1 when a buffer is null.
int get_mac_addresses(char eth0[18], char eth1[18]);
constexpr const char kDefaultMacEth0[] = "00:1E:5A:00:00:01";
constexpr const char kDefaultMacEth1[] = "00:1E:5A:00:00:02";

// One interface's address as above; `fallback` (copied, cut to 17 characters) when it cannot be
// read. Returns 0 when read, -1 when the fallback was used.
int interface_mac_address(const char* interface_name, char out[18], const char* fallback);
