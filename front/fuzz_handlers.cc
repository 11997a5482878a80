// libFuzzer entry for every registered request handler, in-process, with the core simulator
// answering on the sandbox's socket and the factory database under /mnt/nand (run it inside
// tools/sandbox). An input is "<identifier>\n<argument>": the identifier picks the handler (the
// fuzzer learns them from the dictionary), the rest is the argument text as the front end would
// build it. Replies go to /dev/null; a crash, a sanitizer report or a hang is the finding.
#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "common/core_client.h"
#include "front/registry.h"
#include "front/webreq.h"
#include "platform/zvdb/zvdb.h"
#include "tools/zvcore-sim/simulator.h"

namespace {

std::unique_ptr<Simulator> g_core;

// Identifiers whose handlers stream for as long as the core sends (a record download of hours),
// and the packet capture's start, whose capture and watchdog run on after the request (a
// long-lived fuzzer would gather them): not useful to fuzz in-process.
bool skipped(const std::string& id) { return id == "/4013" || id == "/4027" || id == "/8005"; }

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  const char* sandboxed = getenv("ZV_SANDBOX");
  if (sandboxed == nullptr || strcmp(sandboxed, "1") != 0) {
    fprintf(stderr, "fuzz_handlers: run me inside tools/sandbox\n");
    abort();
  }
  if (zvdb_init_defaults(kZvdbPath) != 0) abort();
  SimOptions options;
  options.reboot_ms = 10;
  g_core = std::make_unique<Simulator>(options);
  std::string error;
  if (!g_core->start(&error)) {
    fprintf(stderr, "fuzz_handlers: core simulator: %s\n", error.c_str());
    abort();
  }
  // A message the simulator does not answer costs a few milliseconds, not the device's budget.
  core_set_timing({2, 100, 100});
  const int null_fd = open("/dev/null", O_WRONLY);
  if (null_fd >= 0) dup2(null_fd, STDOUT_FILENO);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto* newline = static_cast<const uint8_t*>(memchr(data, '\n', size < 16 ? size : 16));
  if (newline == nullptr) return 0;
  const std::string id(reinterpret_cast<const char*>(data), static_cast<size_t>(newline - data));
  if (id.find('\0') != std::string::npos || skipped(id) || !request_registered(id.c_str())) return 0;
  const size_t rest = size - static_cast<size_t>(newline + 1 - data);
  // The argument as the front end hands it over: NUL-terminated, at most a POST body's size.
  std::string argument(reinterpret_cast<const char*>(newline + 1),
                       rest < kPostBodySize - 1 ? rest : kPostBodySize - 1);
  dispatch_request(id.c_str(), argument.c_str());
  fflush(stdout);
  return 0;
}
