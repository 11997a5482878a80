#include "tests/admin/admin_fixture.h"

namespace zvtest {

Upload multipart_upload(const std::string& file_name, const std::string& content, const std::string& query) {
  Upload u;
  u.body = "--ZvBoundary\r\nContent-Disposition: form-data; name=\"file\"; filename=\"" + file_name +
           "\"\r\nContent-Type: application/octet-stream\r\n\r\n" + content + "\r\n--ZvBoundary--\r\n";
  u.env = {{"CONTENT_TYPE", "multipart/form-data; boundary=ZvBoundary"}, {"QUERY_STRING", query}};
  return u;
}

bool make_oem_package(const std::string& dir, const std::string& key, const std::string& output) {
  RunOptions options;
  options.args = {dir, key, output};
  return run_program(bin_path("zvoem-pack"), options).exit_code == 0;
}

}  // namespace zvtest
