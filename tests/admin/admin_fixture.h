// Helpers of the administration tests: files of the sandboxed device, multipart uploads, and
// OEM packages made with the project's packing tool.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "tests/support/harness.h"

namespace zvtest {

// The body and CGI variables of a multipart upload of `content` as the form field "file".
struct Upload {
  std::string body;
  std::map<std::string, std::string> env;
};
Upload multipart_upload(const std::string& file_name, const std::string& content, const std::string& query = "");

// Packs `dir` with zvoem-pack under `key` into `output`; true on success.
bool make_oem_package(const std::string& dir, const std::string& key, const std::string& output);

}  // namespace zvtest
