#include "common/core_client.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string_view>
#include <thread>

#include "common/reply.h"

namespace {

std::atomic<int32_t> g_reply_flag{0};
std::atomic<int32_t> g_reply_claimed{0};
std::atomic<bool> g_last_wait_expired{false};
// The waiting handler sleeps on this pair; reply_flag_set notifies under the mutex so that a
// store between the waiter's test and its sleep is never missed.
std::mutex g_wait_mutex;
std::condition_variable g_wait_changed;

std::atomic<int> g_send_attempts{-1};  // -1: not yet read from the environment
std::atomic<int> g_pause_us{0};
std::atomic<int> g_poll_us{0};
std::once_flag g_timing_once;

void load_timing() {
  std::call_once(g_timing_once, [] {
    if (g_send_attempts.load() >= 0) return;  // set by core_set_timing first
    CoreTiming timing = core_timing_parse(getenv("ZV_CORE_TIMING"), kCoreDefaultTiming);
    g_pause_us.store(timing.pause_us);
    g_poll_us.store(timing.poll_us);
    g_send_attempts.store(timing.send_attempts);
  });
}

void ignore_reply(int, ZvMsgHeader*, void*) {}

struct Budget {
  int polls;
  int32_t ids[16];
};

// Wait budgets in polls; every id not listed waits kDefaultBudget polls.
constexpr int kDefaultBudget = 1000;
constexpr Budget kBudgets[] = {
    {1500, {3700, 3702}},
    {3000, {1153, 1171, 3102, 3104, 3223, 3259, 3263, 3360, 3365, 3401, 3535}},
    {6000, {1701, 1713, 1716, 3200, 3201, 3202, 3203, 3204, 3205, 3227, 3379, 3402, 3409, 3420, 3440, 3528}},
    {15000, {3230, 3350, 3434, 3494, 3495}},
};

}  // namespace

CoreTiming core_timing_parse(const char* text, CoreTiming base) {
  if (text == nullptr) return base;
  std::string_view rest(text);
  while (!rest.empty()) {
    size_t comma = rest.find(',');
    std::string_view item = rest.substr(0, comma);
    rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
    size_t equals = item.find('=');
    if (equals == std::string_view::npos) continue;
    std::string_view name = item.substr(0, equals);
    std::string value(item.substr(equals + 1));
    char* end = nullptr;
    errno = 0;
    long number = strtol(value.c_str(), &end, 10);
    if (value.empty() || *end != '\0' || errno != 0 || number < 0 || number > INT_MAX) continue;
    int n = static_cast<int>(number);
    if (name == "attempts" && n >= 1) {
      base.send_attempts = n;
    } else if (name == "pause_us") {
      base.pause_us = n;
    } else if (name == "poll_us") {
      base.poll_us = n;
    }
  }
  return base;
}

CoreTiming core_timing() {
  load_timing();
  return {g_send_attempts.load(), g_pause_us.load(), g_poll_us.load()};
}

void core_set_timing(const CoreTiming& timing) {
  g_pause_us.store(timing.pause_us);
  g_poll_us.store(timing.poll_us);
  g_send_attempts.store(timing.send_attempts > 0 ? timing.send_attempts : 1);
  load_timing();  // marks the environment as read: it no longer overrides this
}

int core_wait_budget(int32_t msg_id) {
  for (const Budget& budget : kBudgets) {
    for (int32_t id : budget.ids) {
      if (id != 0 && id == msg_id) return budget.polls;
    }
  }
  return kDefaultBudget;
}

int32_t reply_flag_get() { return g_reply_flag.load(std::memory_order_acquire); }

void reply_flag_set(int32_t value) {
  g_reply_flag.store(value, std::memory_order_release);
  std::lock_guard<std::mutex> lock(g_wait_mutex);
  g_wait_changed.notify_all();
}

bool reply_claim() {
  int32_t expected = 0;
  return g_reply_claimed.compare_exchange_strong(expected, 1, std::memory_order_acq_rel);
}

namespace {

// How a message's replies reach the callback.
enum class Delivery {
  kNone,          // sent without waiting: no reader at all
  kReaderThread,  // the socket library's reader thread (a stream, read while the handler writes)
  kCaller,        // this thread, while it waits (one reply: no thread to start and hand over)
};

int send_message(CoreCallback callback, int32_t msg_id, uint32_t length, const void* payload, Delivery delivery) {
  if (callback == nullptr) return -1;
  CoreTiming timing = core_timing();
  // A message sent without waiting is followed at once by core_close, so no reply could be
  // delivered in between: such a connection is opened send-only and starts no reader thread.
  zv_sock_init(delivery == Delivery::kNone ? nullptr : callback, delivery == Delivery::kCaller ? kZvSockCallerReads : 0,
               kCoreClientNumber, kCoreSocketPath);
  // Cleared before sending, so that a reply that comes back at once is still seen.
  g_reply_claimed.store(0, std::memory_order_release);
  g_reply_flag.store(0, std::memory_order_release);

  g_last_wait_expired.store(false);
  bool sent = false;
  for (int attempt = 0; attempt < timing.send_attempts; ++attempt) {
    if (zv_sock_send_msg(kZvDestCore, msg_id, payload, length, 0) == 0) {
      sent = true;
      break;
    }
    if (attempt + 1 < timing.send_attempts) {
      std::this_thread::sleep_for(std::chrono::microseconds(timing.pause_us));
    }
  }
  if (delivery == Delivery::kNone || !sent) return 0;

  auto budget = std::chrono::microseconds(static_cast<int64_t>(core_wait_budget(msg_id)) * timing.poll_us);
  if (delivery == Delivery::kCaller) {
    // steady_clock is CLOCK_MONOTONIC, the clock of zv_sock_pump's deadline.
    const int64_t deadline_ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(
            (std::chrono::steady_clock::now() + budget).time_since_epoch()).count() + 1;
    while (reply_flag_get() == 0 && zv_sock_pump(deadline_ms) == 1) {
    }
    g_last_wait_expired.store(reply_flag_get() == 0);
    return 0;
  }
  auto deadline = std::chrono::steady_clock::now() + budget;
  std::unique_lock<std::mutex> lock(g_wait_mutex);
  bool replied = g_wait_changed.wait_until(lock, deadline, [] { return reply_flag_get() != 0; });
  g_last_wait_expired.store(!replied);
  return 0;
}

}  // namespace

int core_send(CoreCallback callback, int32_t msg_id, uint32_t length, const void* payload, int no_wait) {
  return send_message(callback, msg_id, length, payload, no_wait == 1 ? Delivery::kNone : Delivery::kReaderThread);
}

bool core_last_wait_expired() { return g_last_wait_expired.load(); }

int core_close(int value) {
  zv_sock_uninit(value);
  return 0;
}

int32_t core_request(CoreCallback callback, int32_t msg_id, uint32_t length, const void* payload,
                     int error_kind) {
  int result = send_message(callback, msg_id, length, payload, Delivery::kCaller);
  if (reply_flag_get() == 0) {
    // No callback may start writing after the connection is closed; one that claimed the reply
    // before that has written it (or is finishing it) and the error reply is skipped.
    core_close(result);
    if (reply_claim()) reply_cgi_error(error_kind);
  } else {
    core_close(result);
  }
  return reply_flag_get();
}

void core_notify(int32_t msg_id, uint32_t length, const void* payload) {
  core_close(core_send(ignore_reply, msg_id, length, payload, 1));
}
