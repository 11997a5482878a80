// The core client: how a handler sends a numbered message to the core daemon over
// "/var/run/zvsocket" and waits for the reply that its module's callback handles.
//
// Reply callbacks run on the socket library's reader thread while the handler's thread waits in
// core_send. A callback that answers the request:
//   1. copies the reply records it needs (through PayloadReader, common/payload_reader.h),
//   2. calls reply_claim() and writes the reply only when that returns true,
//   3. calls reply_flag_set(value) last (1 for handled, or the status the handler reads).
// Data written before reply_flag_set is visible to the handler once it sees the flag non-zero.
//
// Timing for tests and diagnosis: the environment variable ZV_CORE_TIMING, read once per process,
// shortens (or lengthens) the send retries and the wait budgets without changing their counts'
// meaning. Syntax: comma-separated NAME=VALUE pairs, every one optional:
//   attempts=N   send attempts before a message is given up      (default 3000)
//   pause_us=N   pause between two failed send attempts, in us    (default 10000)
//   poll_us=N    length of one wait poll of the budget table, in us (default 40000)
// e.g. ZV_CORE_TIMING="attempts=3,pause_us=1000,poll_us=1000" makes a core that never answers
// cost 3 ms of retries and core_wait_budget(id) milliseconds of waiting. Unknown names and bad
// values are ignored (the default stays).
#pragma once

#include <cstdint>

#include "platform/zvsocket/zvsocket.h"

using CoreCallback = ZvSockCallback;

constexpr const char* kCoreSocketPath = "/var/run/zvsocket";
constexpr int kCoreClientNumber = kZvClientWebreq;
constexpr int32_t kCoreReplyOffset = 5000;  // the core answers message N with N + 5000

// Connects, clears the reply flag and the reply claim, sends the message (retrying while the core
// does not take it) and, unless no_wait is 1, waits until a callback sets the reply flag or the
// budget of msg_id runs out. The wait ends as soon as the flag is set. When the message could not
// be sent at all there is nothing to wait for and the call returns after the retries. Returns 0,
// or -1 when the callback is null (nothing is sent). The caller reads reply_flag_get() afterwards
// and always calls core_close on the result.
int core_send(CoreCallback callback, int32_t msg_id, uint32_t length, const void* payload, int no_wait);

// Ends the connection of the last core_send; no callback runs after it returns. Returns 0.
int core_close(int value);

// The number of 40 ms polls to wait for the reply to msg_id.
int core_wait_budget(int32_t msg_id);

int32_t reply_flag_get();            // acquire load
void reply_flag_set(int32_t value);  // release store; wakes the waiting core_send

// The one compare-exchange that grants the right to write the reply of the current core_send
// (cleared by core_send): true for the first caller only, callback or timed-out handler.
bool reply_claim();

// Request/reply in one call: core_send (waiting), then, when the flag is still 0, closes the
// connection first and writes reply_cgi_error(error_kind) only when reply_claim() succeeds;
// otherwise just closes. Returns the reply flag.
int32_t core_request(CoreCallback callback, int32_t msg_id, uint32_t length, const void* payload,
                     int error_kind);

// Fire and forget: sends without waiting through a callback that ignores every reply, then closes.
void core_notify(int32_t msg_id, uint32_t length, const void* payload);

// Diagnostic: true when the last waiting core_send ran out its budget without the reply flag
// being set; false when the flag ended the wait (or the last call did not wait).
bool core_last_wait_expired();

// The send and wait timing in force (ZV_CORE_TIMING applied to the defaults).
struct CoreTiming {
  int send_attempts;  // 3000
  int pause_us;       // 10000
  int poll_us;        // 40000
};
CoreTiming core_timing();
// Replaces the timing for this process (tests that run the client in-process).
void core_set_timing(const CoreTiming& timing);
// Parses a ZV_CORE_TIMING text over `base`; unknown names and bad values leave base's value.
CoreTiming core_timing_parse(const char* text, CoreTiming base);
constexpr CoreTiming kCoreDefaultTiming{3000, 10000, 40000};
