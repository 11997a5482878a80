// The multipart/form-data reader of uploads: a byte reader with a put-back buffer in front of the
// request body, the part-header routines, the read up to the next boundary, and the parse into a
// list of form entries (plain fields in memory, file parts in temporary files under /tmp).
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

// Results of the multipart parse.
enum ParseResult : int {
  PARSE_SUCCESS = 0,
  PARSE_MEMORY = 1,  // an allocation failed (nothing half-built is kept)
  PARSE_IO = 2,      // the input ended early, or a temporary file could not be made or written
};

// Results of form_file_name().
enum FormResult : int {
  FORM_SUCCESS = 0,
  FORM_TRUNCATED = 1,
  FORM_NOT_FOUND = 4,
  FORM_NO_FILE_NAME = 8,
};

// Where the reader's bytes come from.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Reads up to n bytes into buf: > 0 bytes read, 0 at end of input, < 0 on error.
  virtual ssize_t read(unsigned char* buf, size_t n) = 0;
};

// A file descriptor (standard input for a request).
class FdSource final : public ByteSource {
 public:
  explicit FdSource(int fd) : fd_(fd) {}
  ssize_t read(unsigned char* buf, size_t n) override;

 private:
  int fd_;
};

// A block of memory that must outlive the source.
class MemorySource final : public ByteSource {
 public:
  MemorySource(const void* data, size_t size)
      : data_(static_cast<const unsigned char*>(data)), size_(size) {}
  ssize_t read(unsigned char* buf, size_t n) override;

 private:
  const unsigned char* data_;
  size_t size_;
  size_t pos_ = 0;
};

// Allocator for in-memory part values; fault tests replace it to make growth fail.
using ValueRealloc = void* (*)(void* block, size_t size);

// The byte reader of the multipart parser. Bytes put back are read again before any other byte,
// in the order they were given (stack order in front of the unread stream). At most `limit` bytes
// (CONTENT_LENGTH) are ever taken from the source, counted as they are taken and never given back
// by a put-back, so a client that keeps the pipe open cannot make the reader wait for more.
class MultipartReader {
 public:
  // `put_back_capacity` is the most bytes that may wait to be read again at once.
  MultipartReader(ByteSource& source, int64_t limit, size_t put_back_capacity);
  MultipartReader(const MultipartReader&) = delete;
  MultipartReader& operator=(const MultipartReader&) = delete;

  // The next byte (0..255), or -1 at the end of the input or the limit.
  int get();
  // Puts n bytes back in front of everything unread; false (nothing put back) when they do not
  // fit in the capacity.
  bool put_back(const unsigned char* bytes, size_t n);

  int64_t limit() const { return limit_; }
  int64_t taken() const { return taken_; }  // bytes taken from the source so far
  size_t put_back_capacity() const { return put_back_capacity_; }

  ValueRealloc value_realloc() const { return value_realloc_; }
  void set_value_realloc(ValueRealloc fn) { value_realloc_ = fn; }

  // The bytes that plain fields of this body may still hold in memory (kMaxFieldMemory in all).
  // Takes n of them; false when they are not there (the parse then ends as a memory failure).
  bool take_field_bytes(size_t n) {
    if (n > field_bytes_left_) return false;
    field_bytes_left_ -= n;
    return true;
  }

 private:
  ByteSource& source_;
  const int64_t limit_;
  int64_t taken_ = 0;
  const size_t put_back_capacity_;
  std::vector<unsigned char> put_back_;  // top of the stack = next byte
  std::unique_ptr<unsigned char[]> buffer_;
  size_t buffer_pos_ = 0;
  size_t buffer_len_ = 0;
  bool source_ended_ = false;
  ValueRealloc value_realloc_;
  size_t field_bytes_left_;
};

// What one request body may hold: the pages send a few parts, a few kilobytes of plain fields and
// one file. Beyond these the parse ends as PARSE_MEMORY (nothing is dispatched) and every
// temporary file made so far is removed with the entries.
inline constexpr size_t kMaxFormParts = 32;
inline constexpr size_t kMaxFieldMemory = 1 << 20;

// The put-back capacity the parse needs for a boundary: a whole delimiter ("\r\n--" + boundary)
// plus the two look-ahead bytes after it.
size_t put_back_capacity_for(const char* boundary);

struct FreeDeleter {
  void operator()(void* block) const { free(block); }
};
using MallocText = std::unique_ptr<char, FreeDeleter>;

// Reads one part header line up to CR or LF (CR LF counts as one end; another byte after a CR is
// put back). The non-blank characters before the first ':' form the name; after that ':' (once
// the name is not empty) leading blanks are skipped and the rest is the value, every further ':'
// being dropped with the blanks after it. Each is cut to its buffer size less one. Returns true
// only when both are non-empty (so the empty line ending the headers, or input ending inside a
// line, returns false).
bool read_part_header_line(MultipartReader& reader, char* name, size_t name_size, char* value,
                           size_t value_size);

// A parameter wanted from a header value, and where its value goes.
struct HeaderParam {
  const char* name;  // compared without regard to case
  char* value;       // receives the value, cut to min(size, 1024) - 1; untouched when absent
  size_t size;
};

// Splits a header value such as `form-data; name="file"; filename="a.bin"`: the main value (up to
// the first ';', or the text inside leading double quotes) goes to `main`; then each parameter
// "name=value" (value bare up to ';' or inside double quotes) whose name is one of `params` is
// stored there. Parsing stops at a parameter without '='.
void split_header_value(const char* text, char* main, size_t main_size, const HeaderParam* params,
                        size_t param_count);

// Reads up to the next delimiter "\r\n--" + boundary (without the leading "\r\n" when `first`).
// The bytes before it go to `file` when it is not null, else into a NUL-terminated memory value
// (when `value` is not null; with both null they are dropped). After the delimiter, "\r\n" is
// consumed, and two bytes beginning with '-' are put back for the caller to see the closing "--".
// Returns PARSE_SUCCESS with *length = bytes before the delimiter; PARSE_IO (no value, length 0)
// when the input ends first or the file write fails; PARSE_MEMORY (no value) when the memory
// value cannot grow.
int read_until_boundary(MultipartReader& reader, const char* boundary, FILE* file,
                        MallocText* value, int32_t* length, bool first);

// One parsed part of a multipart body.
struct FormEntry {
  FormEntry() = default;
  FormEntry(const FormEntry&) = delete;
  FormEntry& operator=(const FormEntry&) = delete;
  // Removes the temporary file when this entry still owns it.
  ~FormEntry();

  // The part's body for a plain field (NUL-terminated, may hold NULs); "" for a file part.
  const char* value() const { return value_text != nullptr ? value_text.get() : ""; }
  // The temporary file is no longer ours to remove (it was moved away).
  void release_temp_file() { owns_temp_file = false; }

  std::string name;          // the `name` parameter of Content-Disposition
  MallocText value_text;     // see value()
  int32_t value_length = 0;  // body bytes (for a file part: bytes written to the file)
  std::string file_name;     // the `filename` parameter as the client sent it; "" for a field
  std::string content_type;  // the part's Content-Type without parameters, "" if none
  std::string temp_path;     // the file holding a file part's body; "" for a field
  bool owns_temp_file = false;
  const FormEntry* next = nullptr;  // next entry in arrival order, or null
};

// Form entries in arrival order.
class FormEntryList {
 public:
  FormEntryList() = default;
  FormEntryList(const FormEntryList&) = delete;
  FormEntryList& operator=(const FormEntryList&) = delete;
  ~FormEntryList() { clear(); }

  const FormEntry* head() const { return entries_.empty() ? nullptr : entries_.front().get(); }
  size_t size() const { return entries_.size(); }
  // Appends (throws std::bad_alloc when the list cannot grow; the entry is then destroyed).
  void append(std::unique_ptr<FormEntry> entry);
  // The first entry whose name equals `name` exactly, or null.
  FormEntry* find(const char* name) const;
  // Frees every entry, removing the temporary files that are still ours.
  void clear();

 private:
  std::vector<std::unique_ptr<FormEntry>> entries_;
};

// Parses a multipart body from `reader` into `entries` (appended in arrival order); more than
// kMaxFormParts parts or kMaxFieldMemory bytes of plain fields end it as PARSE_MEMORY. A limit of 0
// is an empty body (success, no entries), and so is a body without any boundary. An empty
// boundary is refused (PARSE_IO). On failure the entries parsed so far stay in `entries` for the
// caller to free.
int parse_multipart(MultipartReader& reader, const char* boundary, FormEntryList& entries);

// The request's form entries (filled by the front end from the request body).
extern FormEntryList form_entries;

// The first request form entry named `name` (exact, case-sensitive), or null.
const FormEntry* form_entry_find(const char* name);
// Copies the entry's file name into buffer (cut to size - 1). Returns FORM_NOT_FOUND (buffer "")
// when there is no such entry, FORM_NO_FILE_NAME when its file name is empty, FORM_TRUNCATED when
// the name did not fit, else FORM_SUCCESS.
int form_file_name(const char* name, char* buffer, size_t size);
// Frees the request's form entries, removing each temporary file that was not moved away.
void free_form_entries();
