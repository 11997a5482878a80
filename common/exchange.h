// Typed messages to the core. Every message is declared once, next to its payload records, as
//
//   inline constexpr Notice<OsdChange> kOsdChanged{1007, "osd changed"};         // no reply
//   inline constexpr Exchange<int32_t, CameraOsd> kCameraOsdRead{3211, 8211, "camera osd"};
//
// and the declaration is shared by the handler that sends it, the core simulator that answers it
// and the tests that check its bytes, so an id, a payload size or a reply id cannot drift between
// the two ends.
//
// A handler sends a notice with `core_tell(kOsdChanged, payload)` and asks with
//
//   std::optional<CoreReply> reply = core_ask(kCameraOsdRead, channel, REPLY_TEXT);
//   if (!reply) return;                 // no reply in the budget: the error reply is written
//   CameraOsd osd;
//   reply->first(&osd);                 // or reply->reader() for records of any count
//
// The reply callback only copies the bytes of the awaited reply id (at least min_reply bytes) and
// claims the request's reply; the handler prints on its own thread once core_ask returned. When
// the budget runs out first, the handler claims the reply and writes the error form; a reply that
// arrives after that is dropped. So exactly one writer ever answers a request.
//
// Messages without payload bytes use the payload type NoPayload (core_tell(kX), core_ask(kX, kind)).
// A reply of any count of records declares min_reply 0: an empty reply is then taken too.
// A reply that comes as a stream of messages (a record download) goes to a sink: see CoreStream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <type_traits>
#include <vector>

#include "common/payload_reader.h"

// The payload type of a message that carries no bytes.
struct NoPayload {};
template <class P>
constexpr uint32_t payload_size_of() {
  return std::is_same_v<P, NoPayload> ? 0 : sizeof(P);
}

// A message without a reply (the core rereads the database, or just takes note).
template <class Payload>
struct Notice {
  static_assert(std::is_trivially_copyable_v<Payload>);
  using payload_type = Payload;
  int32_t id;
  const char* name;
};

// A message the core answers with `reply_id`; a reply shorter than `min_reply` bytes is not taken
// (the handler runs out its budget and answers with its error form). `alt_reply_id` (non-zero) is
// a second reply id the core may answer with instead, taken the same way.
template <class Payload, class Reply>
struct Exchange {
  static_assert(std::is_trivially_copyable_v<Payload>);
  using payload_type = Payload;
  using reply_type = Reply;
  int32_t id;
  int32_t reply_id;
  const char* name;
  uint32_t min_reply = sizeof(Reply);
  int32_t alt_reply_id = 0;
};

// A description of any declared message, for the lists the tests walk (each header's declarations,
// found by the build: tests/support/declared_messages.h).
struct MessageInfo {
  int32_t id;
  int32_t reply_id;  // 0: a notice
  uint32_t payload_size;
  uint32_t reply_size;
  const char* name;
};
template <class P>
constexpr MessageInfo info(const Notice<P>& n) {
  return {n.id, 0, payload_size_of<P>(), 0, n.name};
}
template <class P, class R>
constexpr MessageInfo info(const Exchange<P, R>& x) {
  return {x.id, x.reply_id, payload_size_of<P>(), sizeof(R), x.name};
}

// The bytes of a reply, copied out of the socket library's buffer.
class CoreReply {
 public:
  explicit CoreReply(std::vector<unsigned char> bytes) : bytes_(std::move(bytes)) {}
  PayloadReader reader() const { return PayloadReader(bytes_.data(), bytes_.size()); }
  size_t size() const { return bytes_.size(); }
  const unsigned char* data() const { return bytes_.data(); }
  // The first record of the reply; false (out untouched) when the reply holds no whole record.
  template <class T>
  bool first(T* out) const {
    return reader().record(0, out);
  }

 private:
  std::vector<unsigned char> bytes_;
};

// Sends `length` bytes of `payload` as message `id` and waits for reply `reply_id` (or
// `alt_reply_id` when non-zero) of at least `min_reply` bytes. The reply, or nullopt when it did
// not come in the budget of `id`: then reply_cgi_error(error_kind) has been written (error_kind < 0
// writes nothing).
std::optional<CoreReply> core_ask(int32_t id, const void* payload, uint32_t length, int32_t reply_id,
                                  size_t min_reply, int error_kind, int32_t alt_reply_id = 0);

template <class P, class R>
std::optional<CoreReply> core_ask(const Exchange<P, R>& x, const P& payload, int error_kind) {
  return core_ask(x.id, &payload, sizeof payload, x.reply_id, x.min_reply, error_kind, x.alt_reply_id);
}
template <class R>
std::optional<CoreReply> core_ask(const Exchange<NoPayload, R>& x, int error_kind) {
  return core_ask(x.id, nullptr, 0, x.reply_id, x.min_reply, error_kind, x.alt_reply_id);
}

// Sends a notice (no reply awaited).
void core_tell(int32_t id, const void* payload, uint32_t length);
template <class P>
void core_tell(const Notice<P>& n, const P& payload) {
  core_tell(n.id, &payload, sizeof payload);
}
// Sends a notice without its payload (0 bytes), for notices whose payload is optional (e.g.
// "the whole table changed" where the payload would name one row).
template <class P>
void core_tell_bare(const Notice<P>& n) {
  core_tell(n.id, nullptr, 0);
}
inline void core_tell(const Notice<NoPayload>& n) { core_tell(n.id, nullptr, 0); }

// A reply that comes as a stream of messages of one reply id (the record download). Constructing
// sends the message and waits, within the budget of its id, for the first message of the stream.
// Every message of the stream (at least min_reply bytes) goes to `sink` on the socket library's
// reader thread, in order. The first one claims the request's reply, once, here (the sink's owner
// has usually written its reply's head already; the claim keeps a timed-out writer out) and ends
// the wait; messages are handed on only while that claim holds. A stream whose first message comes
// after the wait still claims and flows. close() (or the destructor) ends the connection: no sink
// call runs after it returns. Nothing is ever written here.
class CoreStream {
 public:
  using Sink = std::function<void(const unsigned char* bytes, size_t length)>;
  CoreStream(int32_t id, const void* payload, uint32_t length, int32_t reply_id, size_t min_reply, Sink sink);
  template <class P, class R>
  CoreStream(const Exchange<P, R>& x, const P& payload, Sink sink)
      : CoreStream(x.id, &payload, sizeof payload, x.reply_id, x.min_reply, std::move(sink)) {}
  ~CoreStream();
  CoreStream(const CoreStream&) = delete;
  CoreStream& operator=(const CoreStream&) = delete;

  // True once the first message of the stream has come (and claimed the reply).
  bool started() const;
  // Sends a notice over the stream's own connection while it is open (telling the core to stop
  // the stream before the connection closes). False when it could not be sent. While a stream is
  // open every message goes this way: core_tell would open a connection of its own and end the
  // stream's.
  bool tell(int32_t id, const void* payload, uint32_t length);
  template <class P>
  bool tell(const Notice<P>& n) {
    return tell(n.id, nullptr, 0);
  }
  template <class P>
  bool tell(const Notice<P>& n, const P& payload) {
    return tell(n.id, &payload, sizeof payload);
  }
  // For a stream that has not started: claims the request's reply and writes
  // reply_cgi_error(error_kind). False (nothing written) when a message of the stream has claimed
  // it first.
  bool fail(int error_kind);
  void close();

 private:
  struct State;
  std::unique_ptr<State> state_;
  int send_result_ = 0;
  bool open_ = true;
};
