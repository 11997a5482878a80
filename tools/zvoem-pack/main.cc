// zvoem-pack: builds an OEM package from a directory.
//
//   zvoem-pack DIR KEY OUTPUT
//
// Zips the contents of DIR (its files and sub-directories under relative names; a symbolic link is
// stored as a link, which the device refuses), encrypts the archive with KEY (the text the installer types into the upload page; at
// most 32 characters are used, as the device does) and writes the package, Base64 text, to
// OUTPUT. Exit status 0 on success; 1 with a message on standard error otherwise.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/tool_runner.h"
#include "common/web_utils.h"
#include "handlers/system/oem_crypt.h"
#include "platform/zvstd/zvstd.h"

namespace {

int fail(const std::string& message) {
  fprintf(stderr, "zvoem-pack: %s\n", message.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) return fail("usage: zvoem-pack DIR KEY OUTPUT");
  const std::string dir = argv[1];
  const std::string key = std::string(argv[2]).substr(0, 32);
  const std::string output = argv[3];
  char zip_dir[] = "/tmp/zvoem-pack-XXXXXX";
  if (mkdtemp(zip_dir) == nullptr) return fail("cannot make a temporary directory");
  const std::string zip_path = std::string(zip_dir) + "/package.zip";

  // zip runs inside DIR so that the archive holds relative names only.
  const std::string cd_and_zip = "cd \"$1\" && exec zip -q -r -y \"$2\" .";
  ToolOptions options;
  options.time_limit_ms = 120000;
  const ToolResult zipped = run_tool({"sh", "-c", cd_and_zip.c_str(), "zvoem-pack", dir.c_str(), zip_path.c_str()}, options);
  size_t length = 0;
  void* archive = zipped.succeeded() ? read_whole_file(zip_path.c_str(), &length) : nullptr;
  unlink(zip_path.c_str());
  rmdir(zip_dir);
  if (archive == nullptr) return fail("cannot zip " + dir);
  const std::vector<unsigned char> sealed =
      aes_encrypt_web(static_cast<const unsigned char*>(archive), length, key.c_str());
  __zv_free(archive, "zvoem-pack", __LINE__);
  if (sealed.empty()) return fail("encryption failed");
  const std::string text = zv_base64_encode(sealed.data(), sealed.size());
  if (write_whole_file(output.c_str(), text.data(), text.size()) != 0) return fail("cannot write " + output);
  return 0;
}
