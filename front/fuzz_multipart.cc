// libFuzzer entry for the multipart parser. The input's first line is the boundary (cut to 70
// bytes), the rest is the body; the body length is the declared content length. Temporary files
// land in /tmp (run it inside tools/sandbox) and are removed with the entries.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "front/multipart.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto* newline = static_cast<const uint8_t*>(memchr(data, '\n', size < 71 ? size : 71));
  if (newline == nullptr) return 0;
  const std::string boundary(reinterpret_cast<const char*>(data),
                             static_cast<size_t>(newline - data));
  if (boundary.find('\0') != std::string::npos) return 0;
  const uint8_t* body = newline + 1;
  const size_t body_size = size - static_cast<size_t>(body - data);

  MemorySource source(body, body_size);
  MultipartReader reader(source, static_cast<int64_t>(body_size),
                         put_back_capacity_for(boundary.c_str()));
  FormEntryList entries;
  const int result = parse_multipart(reader, boundary.c_str(), entries);
  if (result == PARSE_SUCCESS) {
    for (const FormEntry* e = entries.head(); e != nullptr; e = e->next) {
      if (e->value_length < 0) __builtin_trap();
      if (e->temp_path.empty() && strlen(e->value()) > static_cast<size_t>(e->value_length)) {
        __builtin_trap();
      }
    }
  }
  entries.clear();
  return 0;
}
