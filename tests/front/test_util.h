// Helpers of the front-end tests: text shape checks (std::regex trips GCC 12 warnings in optimised
// sanitizer builds, and these shapes are simple) and the files an upload left in /tmp.
#pragma once

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/harness.h"

namespace fronttest {

// True when `text` has the shape: in `shape`, '9' stands for a digit, 'A' for a letter or digit,
// every other character for itself.
inline bool has_shape(const std::string& text, const std::string& shape) {
  if (text.size() != shape.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const bool digit = c >= '0' && c <= '9';
    const bool alnum = digit || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    if (shape[i] == '9' ? !digit : shape[i] == 'A' ? !alnum : c != shape[i]) return false;
  }
  return true;
}

// A trace-log line: "[tavro debug] <YYYY-MM-DD hh:mm:ss>  " followed by `rest`.
inline bool is_trace_line(const std::string& line, const std::string& rest) {
  const std::string head = "[tavro debug] 9999-99-99 99:99:99  ";
  return line.size() == head.size() + rest.size() && has_shape(line.substr(0, head.size()), head) &&
         line.compare(head.size(), std::string::npos, rest) == 0;
}

// A temporary upload path "/tmp/cgic" + six letters or digits.
inline bool is_temp_upload_path(const std::string& path) {
  return has_shape(path, "/tmp/cgicAAAAAA");
}

// The names in /tmp, without the directories that only hold the checkout, the build or the
// sandbox's own state (visible at their host paths when those live below /tmp).
inline std::vector<std::string> tmp_files() {
  std::vector<std::string> names;
  const char* state = getenv("ZV_SANDBOX_STATE");
  for (const auto& name : zvtest::list_dir("/tmp")) {
    const std::string dir = "/tmp/" + name + "/";
    bool holds_ours = false;
    for (const std::string& ours : {std::string(ZV_SOURCE_DIR), std::string(ZV_BINARY_DIR),
                                    std::string(state != nullptr ? state : "")}) {
      if (!ours.empty() && ((ours + "/").rfind(dir, 0) == 0)) holds_ours = true;
    }
    if (!holds_ours) names.push_back(name);
  }
  return names;
}

}  // namespace fronttest
