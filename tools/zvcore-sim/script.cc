#include "tools/zvcore-sim/script.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace {

bool parse_long(const std::string& word, long min, long max, long* out) {
  if (word.empty()) return false;
  char* end = nullptr;
  errno = 0;
  long value = strtol(word.c_str(), &end, 10);
  if (*end != '\0' || errno != 0 || value < min || value > max) return false;
  *out = value;
  return true;
}

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool parse_line(const std::string& line, Script* script, std::string* reason) {
  std::istringstream words(line.substr(0, line.find('#')));
  std::string word;
  if (!(words >> word)) return true;  // blank or comment
  long id;
  if (!parse_long(word, INT32_MIN, INT32_MAX, &id)) {
    *reason = "bad message id '" + word + "'";
    return false;
  }
  ScriptReply reply;
  std::string kind;
  for (;;) {
    if (!(words >> kind)) {
      *reason = "missing reply kind";
      return false;
    }
    if (kind != "as" && kind != "after") break;
    std::string value;
    long number;
    if (!(words >> value) || !parse_long(value, kind == "as" ? INT32_MIN : 0, kind == "as" ? INT32_MAX : 3600000, &number)) {
      *reason = "bad value for '" + kind + "'";
      return false;
    }
    if (kind == "as") {
      reply.reply_id = static_cast<int32_t>(number);
    } else {
      reply.delay_ms = static_cast<int>(number);
    }
  }
  auto& replies = script->rules[static_cast<int32_t>(id)];
  if (kind == "none") {
    // nothing to add: the id is scripted without a reply
  } else if (kind == "empty") {
    replies.push_back(reply);
  } else if (kind == "hex") {
    std::string hex;
    if (!(words >> hex) || hex.size() % 2 != 0) {
      *reason = "hex payload needs pairs of hex digits";
      return false;
    }
    for (size_t i = 0; i < hex.size(); i += 2) {
      int high = hex_digit(hex[i]), low = hex_digit(hex[i + 1]);
      if (high < 0 || low < 0) {
        *reason = "bad hex digit";
        return false;
      }
      reply.payload.push_back(static_cast<unsigned char>(high * 16 + low));
    }
    replies.push_back(reply);
  } else if (kind == "int32") {
    std::string value;
    long number;
    bool any = false;
    while (words >> value) {
      if (!parse_long(value, INT32_MIN, INT32_MAX, &number)) {
        *reason = "bad int32 '" + value + "'";
        return false;
      }
      auto word32 = static_cast<int32_t>(number);
      const auto* bytes = reinterpret_cast<const unsigned char*>(&word32);
      reply.payload.insert(reply.payload.end(), bytes, bytes + 4);
      any = true;
    }
    if (!any) {
      *reason = "int32 needs at least one value";
      return false;
    }
    replies.push_back(reply);
    return true;
  } else {
    *reason = "unknown reply kind '" + kind + "'";
    return false;
  }
  if (words >> word) {
    *reason = "unexpected '" + word + "'";
    return false;
  }
  return true;
}

}  // namespace

bool parse_script(const std::string& text, Script* script, std::string* error) {
  Script parsed;
  std::istringstream lines(text);
  std::string line;
  int number = 0;
  while (std::getline(lines, line)) {
    ++number;
    std::string reason;
    if (!parse_line(line, &parsed, &reason)) {
      if (error != nullptr) *error = "line " + std::to_string(number) + ": " + reason;
      return false;
    }
  }
  *script = std::move(parsed);
  return true;
}

bool load_script(const std::string& path, Script* script, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    if (error != nullptr) *error = "cannot read " + path + ": " + strerror(errno);
    return false;
  }
  std::ostringstream text;
  text << in.rdbuf();
  return parse_script(text.str(), script, error);
}
