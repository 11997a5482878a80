// Counters the scripted input layer (input_shim.cc, preloaded into zvjs) publishes in a shared
// file so that the test can follow the daemon from outside. The file named by ZVJS_SHIM_STATS is
// mapped by both processes; the shim keeps no descriptor of it open.
#pragma once

#include <atomic>
#include <cstdint>

namespace zvjs::test {

struct ShimStats {
  std::atomic<int64_t> js_opens;            // successful opens of "/dev/input/js0"
  std::atomic<int64_t> js_open_attempts;    // including refused ones
  std::atomic<int64_t> js_name_queries;     // JSIOCGNAME calls
  std::atomic<int64_t> event_opens;         // successful opens of "/dev/input/eventN"
  std::atomic<int64_t> event_name_queries;  // EVIOCGNAME calls
  std::atomic<int64_t> fake_fds_open;       // device descriptors currently open
  std::atomic<int64_t> events_read;         // input events handed out
  std::atomic<int64_t> steps_done;          // script steps completed
  std::atomic<int64_t> steps_total;
  std::atomic<int64_t> access_checks;       // access() calls on the device paths
};
static_assert(std::atomic<int64_t>::is_always_lock_free, "counters are shared between processes");

}  // namespace zvjs::test
