#include "handlers/system/translation.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_map>

#include "common/web_utils.h"
#include "platform/zvstd/zvstd.h"

namespace {

constexpr const char kDeviceDir[] = "/opt/app/lang";
#ifdef ZV_TRANS_SOURCE_DIR
constexpr const char kSourceDir[] = ZV_TRANS_SOURCE_DIR;
#else
constexpr const char kSourceDir[] = "";
#endif
constexpr size_t kLanguageMax = 31;

std::unordered_map<int, std::string>* g_catalogue = nullptr;

// Parses "id=text" lines into the catalogue.
void parse_catalogue(const char* text, std::unordered_map<int, std::string>* out) {
  const char* line = text;
  while (*line != '\0') {
    const char* end = strchr(line, '\n');
    const size_t length = end != nullptr ? static_cast<size_t>(end - line) : strlen(line);
    if (length > 0 && line[0] != '#') {
      char* after = nullptr;
      const long id = strtol(line, &after, 10);
      if (after != line && after < line + length && *after == '=') {
        size_t text_length = length - static_cast<size_t>(after + 1 - line);
        if (text_length > 0 && after[text_length] == '\r') --text_length;
        (*out)[static_cast<int>(id)] = std::string(after + 1, text_length);
      }
    }
    if (end == nullptr) break;
    line = end + 1;
  }
}

bool load(const char* dir, const char* language) {
  if (*dir == '\0') return false;
  char path[256];
  snprintf(path, sizeof path, "%s/%s.lang", dir, language);
  size_t length = 0;
  void* data = read_whole_file(path, &length);
  if (data == nullptr) return false;
  auto* catalogue = new std::unordered_map<int, std::string>();
  catalogue->reserve(256);
  parse_catalogue(static_cast<const char*>(data), catalogue);
  __zv_free(data, "trans", __LINE__);
  g_catalogue = catalogue;
  return true;
}

}  // namespace

int trans_init(const char* language) {
  trans_deinit();
  char name[kLanguageMax + 1] = "en";
  if (language != nullptr && language_name_ok(language, kLanguageMax)) {
    for (size_t i = 0; language[i] != '\0'; ++i) {
      name[i] = static_cast<char>(tolower(static_cast<unsigned char>(language[i])));
      name[i + 1] = '\0';
    }
  }
  // A language with a region ("de-DE", the cookie's form) falls back to its language ("de"), then
  // to English.
  char base[kLanguageMax + 1];
  std::memcpy(base, name, sizeof base);
  base[std::strcspn(base, "-_")] = '\0';
  for (const char* lang : {static_cast<const char*>(name), static_cast<const char*>(base), "en"}) {
    if (load(kDeviceDir, lang) || load(kSourceDir, lang)) return 0;
  }
  return -1;
}

int trans_get_value(int id, char* buffer, size_t size) {
  if (buffer == nullptr || size == 0) return -1;
  buffer[0] = '\0';
  if (g_catalogue == nullptr) return -1;
  auto it = g_catalogue->find(id);
  if (it == g_catalogue->end()) return -1;
  snprintf(buffer, size, "%s", it->second.c_str());
  return 0;
}

void trans_deinit() {
  delete g_catalogue;
  g_catalogue = nullptr;
}

bool language_name_ok(std::string_view name, size_t max_chars) {
  if (name.empty() || name.size() > max_chars) return false;
  for (char c : name) {
    if (!isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_') return false;
  }
  return true;
}
