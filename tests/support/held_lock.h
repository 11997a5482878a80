// Two requests storing at once, made deterministic: the test holds the request lock, starts a
// request on a thread of its own, and once that request waits for the lock stores a change of its
// own (as another request would), then lets the request go on. A request that read what it keeps
// before it took the lock writes the old values back over that change.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>

#include "common/web_utils.h"
#include "tests/support/harness.h"

namespace zvtest {

// True when some process waits for a lock (a "->" line of /proc/locks).
inline bool lock_waiter_present() {
  std::ifstream locks("/proc/locks");
  std::string line;
  while (std::getline(locks, line)) {
    if (line.find("->") != std::string::npos) return true;
  }
  return false;
}

// Runs `request` while this process holds the request lock and `meanwhile` once the request
// waits for it; the request's result.
template <class Request, class Meanwhile>
RunResult while_lock_held(Request request, Meanwhile meanwhile) {
  // The lock as the requests take it (common/web_utils.cc): lockf on the lock file.
  const int fd = open(kCgiLockFile, O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0 || lockf(fd, F_LOCK, 0) != 0) return {};
  RunResult result;
  std::thread runner([&] { result = request(); });
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!lock_waiter_present() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  meanwhile();
  lockf(fd, F_ULOCK, 0);
  close(fd);
  runner.join();
  return result;
}

}  // namespace zvtest
