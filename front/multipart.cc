// Multipart/form-data parsing of upload requests.
#include "front/multipart.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <optional>

#include "front/cgi.h"

FormEntryList form_entries;

namespace {

constexpr size_t kReadChunk = 16384;
constexpr size_t kHeaderTextSize = 1024;  // header names, values and their parameters
constexpr size_t kParamValueMax = 1023;   // parameter names and values are cut here
constexpr size_t kFirstValueSize = 256;   // a memory value starts here and doubles
constexpr char kTempTemplate[] = "/tmp/cgicXXXXXX";

inline bool is_space(int c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
inline bool is_alnum(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

void* default_realloc(void* block, size_t size) { return realloc(block, size); }

// Appends c to a bounded text, dropping it when the buffer is full.
inline void append_bounded(char* buf, size_t size, size_t& len, char c) {
  if (buf == nullptr || size == 0) return;
  if (len + 1 < size) {
    buf[len++] = c;
    buf[len] = '\0';
  }
}

void set_empty(char* buf, size_t size) {
  if (buf != nullptr && size > 0) buf[0] = '\0';
}

// The delimiter and its prefix function: matching never looks back at input, so it costs one step
// per byte however the delimiter repeats itself (boundaries made of dashes are common).
class DelimiterMatcher {
 public:
  DelimiterMatcher(const char* boundary, bool first) {
    if (!first) text_ = "\r\n";
    text_ += "--";
    text_ += boundary;
    fail_.assign(text_.size(), 0);
    for (size_t i = 1, k = 0; i < text_.size(); ++i) {
      while (k > 0 && text_[i] != text_[k]) k = fail_[k - 1];
      if (text_[i] == text_[k]) ++k;
      fail_[i] = k;
    }
  }
  const std::string& text() const { return text_; }
  size_t fallback(size_t matched) const { return fail_[matched - 1]; }

 private:
  std::string text_;
  std::vector<size_t> fail_;
};

// Where the bytes before a delimiter go.
class Sink {
 public:
  Sink(FILE* file, bool keep_in_memory, MultipartReader& reader)
      : file_(file), memory_(file == nullptr && keep_in_memory), grow_(reader.value_realloc()),
        reader_(reader) {}
  Sink(const Sink&) = delete;
  Sink& operator=(const Sink&) = delete;
  ~Sink() { free(data_); }

  // False when the memory value cannot grow.
  bool put(const char* bytes, size_t n) {
    length_ += n;
    if (file_ != nullptr) {
      // Bytes arrive one or a few at a time: gather them and write in blocks.
      if (pending_ + n > sizeof block_) flush();
      if (n > sizeof block_) {
        if (fwrite(bytes, 1, n, file_) != n) write_failed_ = true;
      } else {
        memcpy(block_ + pending_, bytes, n);
        pending_ += n;
      }
      return true;
    }
    if (!memory_) return true;
    if (!reader_.take_field_bytes(n)) return false;
    const size_t used = length_ - n;
    if (used + n + 1 > capacity_) {
      size_t capacity = capacity_ == 0 ? kFirstValueSize : capacity_;
      while (used + n + 1 > capacity) capacity *= 2;
      void* grown = grow_(data_, capacity);
      if (grown == nullptr) return false;
      data_ = static_cast<char*>(grown);
      capacity_ = capacity;
    }
    memcpy(data_ + used, bytes, n);
    return true;
  }

  // Writes the gathered file bytes.
  void flush() {
    if (file_ != nullptr && pending_ > 0 && fwrite(block_, 1, pending_, file_) != pending_) {
      write_failed_ = true;
    }
    pending_ = 0;
  }

  size_t length() const { return length_; }
  bool write_failed() const { return write_failed_; }

  // The NUL-terminated value, shrunk to its length + 1; null when it cannot be allocated.
  MallocText take_value() {
    if (data_ == nullptr) {
      data_ = static_cast<char*>(grow_(nullptr, 1));
      if (data_ == nullptr) return nullptr;
      capacity_ = 1;
    }
    data_[length_] = '\0';
    if (capacity_ > length_ + 1) {
      if (void* shrunk = grow_(data_, length_ + 1); shrunk != nullptr) {
        data_ = static_cast<char*>(shrunk);
      }
    }
    MallocText value(data_);
    data_ = nullptr;
    return value;
  }

 private:
  FILE* file_;
  bool memory_;
  ValueRealloc grow_;
  MultipartReader& reader_;
  char* data_ = nullptr;
  size_t capacity_ = 0;
  size_t length_ = 0;
  bool write_failed_ = false;
  char block_[8192];
  size_t pending_ = 0;
};

// A part's temporary file, removed again unless handed over to its entry.
class TempUpload {
 public:
  TempUpload() = default;
  TempUpload(const TempUpload&) = delete;
  TempUpload& operator=(const TempUpload&) = delete;
  ~TempUpload() {
    if (file_ != nullptr) fclose(file_);
    if (path_[0] != '\0') unlink(path_);
  }

  // mkstemp, owner-only mode, then a stream on the same descriptor (never reopened by name).
  bool create() {
    snprintf(path_, sizeof path_, "%s", kTempTemplate);
    const int fd = mkostemp(path_, O_CLOEXEC);
    if (fd < 0) {
      path_[0] = '\0';
      return false;
    }
    if (fchmod(fd, 0600) != 0) {
      close(fd);
      return false;
    }
    file_ = fdopen(fd, "w+b");
    if (file_ == nullptr) {
      close(fd);
      return false;
    }
    return true;
  }

  FILE* file() const { return file_; }
  const char* path() const { return path_; }

  // Flushes and closes the stream; false when data could not be written.
  bool finish() {
    FILE* file = file_;
    file_ = nullptr;
    const bool failed = ferror(file) != 0;
    return fclose(file) == 0 && !failed;
  }
  // The file now belongs to someone else.
  void release() { path_[0] = '\0'; }

 private:
  char path_[sizeof kTempTemplate] = "";
  FILE* file_ = nullptr;
};

// Drops the body of a part up to the next delimiter.
int skip_part_body(MultipartReader& reader, const char* boundary) {
  int32_t length = 0;
  return read_until_boundary(reader, boundary, nullptr, nullptr, &length, false);
}

}  // namespace

ssize_t FdSource::read(unsigned char* buf, size_t n) {
  for (;;) {
    const ssize_t got = ::read(fd_, buf, n);
    if (got < 0 && errno == EINTR) continue;
    return got;
  }
}

ssize_t MemorySource::read(unsigned char* buf, size_t n) {
  const size_t count = std::min(n, size_ - pos_);
  if (count > 0) memcpy(buf, data_ + pos_, count);
  pos_ += count;
  return static_cast<ssize_t>(count);
}

MultipartReader::MultipartReader(ByteSource& source, int64_t limit, size_t put_back_capacity)
    : source_(source),
      limit_(limit > 0 ? limit : 0),
      put_back_capacity_(put_back_capacity),
      value_realloc_(&default_realloc),
      field_bytes_left_(kMaxFieldMemory) {
  put_back_.reserve(put_back_capacity_);
}

int MultipartReader::get() {
  if (!put_back_.empty()) {
    const unsigned char c = put_back_.back();
    put_back_.pop_back();
    return c;
  }
  if (buffer_pos_ == buffer_len_) {
    if (source_ended_ || taken_ >= limit_) return -1;
    if (buffer_ == nullptr) {
      buffer_.reset(new (std::nothrow) unsigned char[kReadChunk]);
      if (buffer_ == nullptr) return -1;
    }
    const size_t want = static_cast<size_t>(std::min<int64_t>(kReadChunk, limit_ - taken_));
    const ssize_t got = source_.read(buffer_.get(), want);
    if (got <= 0) {
      source_ended_ = true;
      return -1;
    }
    taken_ += got;
    buffer_pos_ = 0;
    buffer_len_ = static_cast<size_t>(got);
  }
  return buffer_[buffer_pos_++];
}

bool MultipartReader::put_back(const unsigned char* bytes, size_t n) {
  if (n > put_back_capacity_ - put_back_.size()) return false;
  for (size_t i = n; i > 0; --i) put_back_.push_back(bytes[i - 1]);
  return true;
}

size_t put_back_capacity_for(const char* boundary) {
  return strlen("\r\n--") + (boundary != nullptr ? strlen(boundary) : 0) + 2;
}

bool read_part_header_line(MultipartReader& reader, char* name, size_t name_size, char* value,
                           size_t value_size) {
  set_empty(name, name_size);
  set_empty(value, value_size);
  size_t name_len = 0, value_len = 0;
  bool name_seen = false, value_seen = false;
  enum { kName, kSkipBlanks, kValue } state = kName;
  for (;;) {
    const int c = reader.get();
    if (c < 0) return false;  // the input ended inside the line
    if (c == '\r') {
      const int next = reader.get();
      if (next >= 0 && next != '\n') {
        const unsigned char back = static_cast<unsigned char>(next);
        reader.put_back(&back, 1);
      }
      break;
    }
    if (c == '\n') break;
    switch (state) {
      case kName:
        if (c == ':') {
          if (name_seen) state = kSkipBlanks;
        } else if (!is_space(c)) {
          append_bounded(name, name_size, name_len, static_cast<char>(c));
          name_seen = true;
        }
        break;
      case kSkipBlanks:
        if (is_space(c)) break;
        state = kValue;
        [[fallthrough]];
      case kValue:
        if (c == ':') {
          state = kSkipBlanks;
        } else {
          append_bounded(value, value_size, value_len, static_cast<char>(c));
          value_seen = true;
        }
        break;
    }
  }
  return name_seen && value_seen && name_len > 0 && value_len > 0;
}

void split_header_value(const char* text, char* main, size_t main_size, const HeaderParam* params,
                        size_t param_count) {
  set_empty(main, main_size);
  if (text == nullptr) return;
  const char* p = text;
  while (is_space(static_cast<unsigned char>(*p))) ++p;
  size_t main_len = 0;
  if (*p == '"') {
    for (++p; *p != '\0' && *p != '"'; ++p) append_bounded(main, main_size, main_len, *p);
    while (*p != '\0' && *p != ';') ++p;
  } else {
    for (; *p != '\0' && *p != ';'; ++p) append_bounded(main, main_size, main_len, *p);
  }

  char param_name[kParamValueMax + 1];
  char param_value[kParamValueMax + 1];
  while (*p == ';') {
    ++p;
    while (is_space(static_cast<unsigned char>(*p))) ++p;
    size_t name_len = 0;
    param_name[0] = '\0';
    for (; is_alnum(*p); ++p) append_bounded(param_name, sizeof param_name, name_len, *p);
    while (is_space(static_cast<unsigned char>(*p))) ++p;
    if (*p != '=') return;
    ++p;
    while (is_space(static_cast<unsigned char>(*p))) ++p;
    size_t value_len = 0;
    param_value[0] = '\0';
    if (*p == '"') {
      for (++p; *p != '\0' && *p != '"'; ++p) {
        append_bounded(param_value, sizeof param_value, value_len, *p);
      }
      while (*p != '\0' && *p != ';') ++p;
    } else {
      for (; *p != '\0' && *p != ';'; ++p) {
        append_bounded(param_value, sizeof param_value, value_len, *p);
      }
    }
    for (size_t i = 0; i < param_count; ++i) {
      if (params[i].value != nullptr && params[i].size > 0 &&
          text_equal_nocase(param_name, params[i].name)) {
        snprintf(params[i].value, params[i].size, "%s", param_value);
      }
    }
  }
}

int read_until_boundary(MultipartReader& reader, const char* boundary, FILE* file,
                        MallocText* value, int32_t* length, bool first) {
  if (value != nullptr) value->reset();
  if (length != nullptr) *length = 0;
  std::optional<DelimiterMatcher> delimiter;
  try {
    delimiter.emplace(boundary != nullptr ? boundary : "", first);
  } catch (const std::bad_alloc&) {
    return PARSE_MEMORY;
  }
  const std::string& d = delimiter->text();
  Sink sink(file, value != nullptr, reader);

  size_t matched = 0;
  while (matched < d.size()) {
    const int c = reader.get();
    if (c < 0) return PARSE_IO;
    while (matched > 0 && static_cast<char>(c) != d[matched]) {
      // The first bytes of the partial match can no longer start the delimiter: emit them and
      // keep the longest matched tail that is still a beginning of the delimiter.
      const size_t keep = delimiter->fallback(matched);
      if (!sink.put(d.data(), matched - keep)) return PARSE_MEMORY;
      matched = keep;
    }
    if (static_cast<char>(c) == d[matched]) {
      ++matched;
    } else {
      const char byte = static_cast<char>(c);
      if (!sink.put(&byte, 1)) return PARSE_MEMORY;
    }
  }

  // After the delimiter: CR LF ends it; "--" (the closing delimiter) is left for the part loop.
  const int c1 = reader.get();
  const int c2 = reader.get();
  if (c1 == '-') {
    const unsigned char back[2] = {static_cast<unsigned char>(c1), static_cast<unsigned char>(c2)};
    if (!reader.put_back(back, c2 >= 0 ? 2 : 1)) return PARSE_IO;
  }

  sink.flush();
  if (sink.write_failed()) return PARSE_IO;
  if (sink.length() > static_cast<size_t>(INT32_MAX)) return PARSE_IO;
  if (value != nullptr && file == nullptr) {
    *value = sink.take_value();
    if (*value == nullptr) return PARSE_MEMORY;
  }
  if (length != nullptr) *length = static_cast<int32_t>(sink.length());
  return PARSE_SUCCESS;
}

FormEntry::~FormEntry() {
  if (owns_temp_file && !temp_path.empty()) unlink(temp_path.c_str());
}

void FormEntryList::append(std::unique_ptr<FormEntry> entry) {
  FormEntry* added = entry.get();
  entries_.push_back(std::move(entry));
  if (entries_.size() > 1) entries_[entries_.size() - 2]->next = added;
}

FormEntry* FormEntryList::find(const char* name) const {
  if (name == nullptr) return nullptr;
  for (const auto& entry : entries_) {
    if (entry->name == name) return entry.get();
  }
  return nullptr;
}

void FormEntryList::clear() { entries_.clear(); }

int parse_multipart(MultipartReader& reader, const char* boundary, FormEntryList& entries) {
  if (reader.limit() == 0) return PARSE_SUCCESS;
  if (boundary == nullptr || boundary[0] == '\0') return PARSE_IO;
  if (reader.put_back_capacity() < put_back_capacity_for(boundary)) return PARSE_IO;

  // Everything before the first delimiter is preamble; a body without one is an empty form.
  {
    int32_t preamble = 0;
    if (read_until_boundary(reader, boundary, nullptr, nullptr, &preamble, true) !=
        PARSE_SUCCESS) {
      return PARSE_SUCCESS;
    }
  }

  char header_name[kHeaderTextSize];
  char header_value[kHeaderTextSize];
  char disposition[kHeaderTextSize];
  char field_name[kHeaderTextSize];
  char file_name[kHeaderTextSize];
  char content_type[kHeaderTextSize];
  for (;;) {
    const int c1 = reader.get();
    const int c2 = reader.get();
    if (c1 < 0 || c2 < 0) return PARSE_SUCCESS;
    if (c1 == '-' && c2 == '-') return PARSE_SUCCESS;
    const unsigned char back[2] = {static_cast<unsigned char>(c1), static_cast<unsigned char>(c2)};
    if (!reader.put_back(back, 2)) return PARSE_IO;

    disposition[0] = field_name[0] = file_name[0] = content_type[0] = '\0';
    while (read_part_header_line(reader, header_name, sizeof header_name, header_value,
                                 sizeof header_value)) {
      if (text_equal_nocase(header_name, "Content-Disposition")) {
        const HeaderParam params[] = {{"name", field_name, sizeof field_name},
                                      {"filename", file_name, sizeof file_name}};
        split_header_value(header_value, disposition, sizeof disposition, params, 2);
      } else if (text_equal_nocase(header_name, "Content-Type")) {
        split_header_value(header_value, content_type, sizeof content_type, nullptr, 0);
      }
    }

    if (!text_equal_nocase(disposition, "form-data")) {
      if (const int r = skip_part_body(reader, boundary); r != PARSE_SUCCESS) return r;
      continue;
    }

    if (entries.size() >= kMaxFormParts) return PARSE_MEMORY;
    TempUpload upload;
    const bool is_file = file_name[0] != '\0';
    if (is_file && !upload.create()) return PARSE_IO;

    MallocText value;
    int32_t length = 0;
    const int r = read_until_boundary(reader, boundary, is_file ? upload.file() : nullptr,
                                      is_file ? nullptr : &value, &length, false);
    if (r != PARSE_SUCCESS) return r;
    if (is_file && !upload.finish()) return PARSE_IO;

    try {
      auto entry = std::make_unique<FormEntry>();
      entry->name = field_name;
      entry->value_text = std::move(value);
      entry->value_length = length;
      entry->file_name = file_name;
      entry->content_type = content_type;
      if (is_file) {
        // The entry owns the file from now on (and removes it if appending fails).
        entry->temp_path = upload.path();
        entry->owns_temp_file = true;
        upload.release();
      }
      entries.append(std::move(entry));
    } catch (const std::bad_alloc&) {
      return PARSE_MEMORY;
    }
  }
}

const FormEntry* form_entry_find(const char* name) { return form_entries.find(name); }

int form_file_name(const char* name, char* buffer, size_t size) {
  set_empty(buffer, size);
  const FormEntry* entry = form_entry_find(name);
  if (entry == nullptr) return FORM_NOT_FOUND;
  if (entry->file_name.empty()) return FORM_NO_FILE_NAME;
  if (buffer == nullptr || size == 0) return FORM_TRUNCATED;
  snprintf(buffer, size, "%s", entry->file_name.c_str());
  return entry->file_name.size() >= size ? FORM_TRUNCATED : FORM_SUCCESS;
}

void free_form_entries() { form_entries.clear(); }
