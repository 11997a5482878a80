// Helpers of the administration tests: files of the sandboxed device, multipart uploads, and
// OEM packages made with the project's packing tool.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "tests/support/harness.h"
#include "tests/support/request_fixture.h"

namespace zvtest {

// Packs `dir` with zvoem-pack under `key` into `output`; true on success.
bool make_oem_package(const std::string& dir, const std::string& key, const std::string& output);

}  // namespace zvtest
