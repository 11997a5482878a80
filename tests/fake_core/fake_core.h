// A scriptable stand-in for the core daemon, for tests. It listens on "/var/run/zvsocket" of the
// test's sandbox on a thread of the test program, records every message it receives, and answers
// each message id the way the test programmed it. Messages of ids that were not programmed get no
// reply (the client then runs out its wait budget).
//
//   zvtest::FakeCore core;                                  // listening from here on
//   core.reply(3504, zvtest::int32s({0}));                  // 3504 -> 8504 with int32 0
//   core.reply_with(3109, {{.id = 8103, .payload = bytes}}); // another reply id
//   core.reply_with(1173, {{.payload = chunk1}, {.payload = chunk2}});  // several replies
//   core.reply(3201, zvtest::int32s({0}), /*delay_ms=*/2000);
//   core.no_reply(3201);                                    // back to silence
//   auto result = zvtest::cgi_get("/1018", "x", {{"ZV_CORE_TIMING", "attempts=3,poll_us=1000"}});
//   core.wait_for(3485, 1);                                 // fire-and-forget messages land late
//   auto logs = core.received(3485);                        // client, id and exact payload bytes
//
// A short or oversized payload is just a payload of that many bytes. Everything is thread-safe.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <initializer_list>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/zvsocket/zvsocket_server.h"

namespace zvtest {

using Bytes = std::vector<unsigned char>;

struct ReceivedMessage {
  int32_t client = 0;  // the sender number in the header (3 for webreq, 11 for zvjs)
  int32_t id = 0;
  Bytes payload;
};

struct FakeReply {
  int32_t id = 0;      // the reply's message id; 0 means request id + 5000
  Bytes payload;       // may be empty (the client's callback then gets a null payload)
  int delay_ms = 0;    // sent this long after the request arrived
};

class FakeCore {
 public:
  // Starts listening on `path`; a failure fails the current test (ADD_FAILURE).
  explicit FakeCore(const std::string& path = "/var/run/zvsocket");
  ~FakeCore();
  FakeCore(const FakeCore&) = delete;
  FakeCore& operator=(const FakeCore&) = delete;

  bool listening() const { return listening_; }

  // Every message `id` from now on is answered with one reply id + 5000 carrying `payload`.
  void reply(int32_t id, Bytes payload, int delay_ms = 0);
  // Every message `id` is answered with these replies, in this order (each with its own id, delay
  // and payload).
  void reply_with(int32_t id, std::vector<FakeReply> replies);
  // Message `id` gets no reply (the default).
  void no_reply(int32_t id);
  // Forgets every programmed reply.
  void clear_replies();

  // Messages received so far, oldest first (all, or those of one id).
  std::vector<ReceivedMessage> received() const;
  std::vector<ReceivedMessage> received(int32_t id) const;
  // Waits until at least `count` messages of `id` were received; false after timeout_ms.
  bool wait_for(int32_t id, size_t count, int timeout_ms = 5000) const;
  // Forgets the received messages.
  void clear_received();

  // Hangs up on every connected client (as a core that closes the connection).
  void disconnect_all();
  size_t connections() const { return server_.peer_count(); }
  // Waits until every client has gone and all it sent has been received (a request process
  // that exited may still have messages on their way). False after `timeout_ms`.
  bool wait_idle(int timeout_ms = 2000) const;

 private:
  void on_message(ZvSockServer::PeerId peer, const ZvMsgHeader& header, const unsigned char* payload);

  ZvSockServer server_;
  bool listening_ = false;
  mutable std::mutex mutex_;
  mutable std::condition_variable arrived_;
  std::map<int32_t, std::vector<FakeReply>> replies_;
  std::vector<ReceivedMessage> received_;
};

// Payload builders: little-endian int32 words; a fixed-width NUL-padded text field; raw bytes of
// a trivially copyable record; appending one payload to another.
Bytes int32s(std::initializer_list<int32_t> words);
Bytes text_field(std::string_view text, size_t width);
template <class T>
Bytes bytes_of(const T& record) {
  const auto* start = reinterpret_cast<const unsigned char*>(&record);
  return Bytes(start, start + sizeof(T));
}
Bytes concat(std::initializer_list<Bytes> parts);
// Reads the little-endian int32 at `offset` of a received payload (0 when out of range).
int32_t int32_at(const Bytes& payload, size_t offset);

}  // namespace zvtest
