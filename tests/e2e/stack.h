// The demo stack for end-to-end tests: tools/demo-stack started inside this test program's
// sandbox on a free port, driven with curl, with the core simulator's message log readable.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/harness.h"

namespace zvtest {

struct CoreMessage {
  int client = 0;
  int32_t id = 0;
  std::string payload;  // raw bytes
};

struct HttpReply {
  std::string headers;  // status line and header lines as curl printed them
  std::string body;
};

class DemoStack {
 public:
  // Starts the stack with a fresh device state; `core_script` (file contents) is handed to the
  // simulator as its canned replies when not empty.
  // `env` is added to the stack's environment (the simulator's settings such as
  // ZVSIM_DOWNLOAD_SPEED).
  explicit DemoStack(const std::string& core_script = "",
                     const std::map<std::string, std::string>& env = {});
  ~DemoStack();

  bool ready() const { return ready_; }
  std::string url(const std::string& path) const;

  HttpReply get(const std::string& path, const std::vector<std::string>& curl_args = {});
  HttpReply post_json(const std::string& path, const std::string& body,
                      const std::vector<std::string>& curl_args = {});

  // Every message the simulator has logged so far (waits briefly for fire-and-forget messages).
  std::vector<CoreMessage> messages(size_t at_least = 0);

 private:
  int port_ = 0;
  bool ready_ = false;
  std::string log_dir_ = "/tmp/e2e";
  std::unique_ptr<BackgroundProcess> process_;
};

int32_t le_i32(const std::string& bytes, size_t offset);
int64_t le_i64(const std::string& bytes, size_t offset);
std::string fixed_text(const std::string& bytes, size_t offset, size_t width);

}  // namespace zvtest
