#include "tests/admin/admin_fixture.h"

namespace zvtest {

bool make_oem_package(const std::string& dir, const std::string& key, const std::string& output) {
  RunOptions options;
  options.args = {dir, key, output};
  return run_program(bin_path("zvoem-pack"), options).exit_code == 0;
}

}  // namespace zvtest
