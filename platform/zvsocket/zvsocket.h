// libzvsocket: the local message transport between the device's programs and the core daemon.
//
// Wire format on the stream socket (every integer little-endian): each message is one 24-byte
// ZvMsgHeader followed by exactly `length` payload bytes. Both directions use the same framing.
//
//   offset  size  field
//   0       4     magic    kZvMsgMagic ("ZVSM"); a peer that sends anything else is dropped
//   4       2     version  kZvMsgVersion
//   6       2     flags    0 (reserved)
//   8       4     client   the sender's client number (3 = webreq, 11 = zvjs; the core sends 1)
//   12      4     msg_id   the message id (int32, signed)
//   16      4     dest     the destination the sender named (1 = the core)
//   20      4     length   payload length in bytes (uint32), at most kZvMsgMaxPayload
//
// Client side (this header's three calls): a process holds at most one connection at a time.
// zv_sock_init opens it, zv_sock_send_msg sends on it, zv_sock_uninit closes it. Replies are
// delivered on a reader thread of the library through the callback; the callback of one
// connection never runs concurrently with itself, and never after zv_sock_uninit has returned.
// Server side: platform/zvsocket/zvsocket_server.h.
#pragma once

#include "platform/zvrecord/schema.h"
#include <bit>
#include <cstddef>
#include <cstdint>

static_assert(std::endian::native == std::endian::little,
              "the message header is sent in host order, which must be little-endian");

constexpr uint32_t kZvMsgMagic = 0x4d53565au;  // "ZVSM" in memory order
constexpr uint16_t kZvMsgVersion = 1;
// Largest payload either side accepts (a download chunk is 614 496 bytes).
constexpr uint32_t kZvMsgMaxPayload = 16u * 1024u * 1024u;
// Client numbers the device's programs use.
constexpr int kZvClientCore = 1;
constexpr int kZvClientWebreq = 3;
constexpr int kZvClientJoystick = 11;
// Destination named by every sender that talks to the core.
constexpr int kZvDestCore = 1;

struct ZvMsgHeader {
  uint32_t magic;
  uint16_t version;
  uint16_t flags;
  int32_t client;
  int32_t msg_id;
  int32_t dest;
  uint32_t length;
};
ZV_SCHEMA(ZvMsgHeader, ZV_INTERNAL(magic), ZV_INTERNAL(version), ZV_INTERNAL(flags),
          ZV_INTERNAL(client), ZV_INTERNAL(msg_id), ZV_INTERNAL(dest), ZV_INTERNAL(length));
static_assert(sizeof(ZvMsgHeader) == 24);

// Reply callback: (sender's client number, the reply header, the payload). The payload is null
// when the reply has no payload bytes; otherwise it holds header->length bytes and stays valid
// only during the call.
using ZvSockCallback = void (*)(int, ZvMsgHeader* header, void* payload);

// zv_sock_init flag: no reader thread; the caller receives by zv_sock_pump (a request that waits
// for one reply then costs neither a thread nor the hand-over from it).
constexpr int kZvSockCallerReads = 1;

// Opens this process's connection to the server listening on the Unix socket `path`, replacing
// (closing) any connection the process still holds. `callback` may be null for a send-only client
// (the joystick daemon); `flags` is 0 or kZvSockCallerReads; `client` is the sender number written into every
// message (1..1023). Returns 0 when connected; -1 when nothing listens yet (the connection is
// still kept: zv_sock_send_msg connects on a later attempt); -2 for invalid arguments (nothing
// kept).
int zv_sock_init(ZvSockCallback callback, int flags, int client, const char* path);

// Sends one message on the connection of zv_sock_init. Returns 0 only when the whole message has
// been handed to the kernel; non-zero when there is no connection, nothing listens (the next call
// tries to connect again), the connection broke, or the arguments are invalid (payload null with
// a non-zero length, length above kZvMsgMaxPayload). Never raises SIGPIPE. `reserved` must be 0.
int zv_sock_send_msg(int dest, int32_t msg_id, const void* payload, uint32_t length, uint64_t reserved);

// With kZvSockCallerReads: waits until `deadline_ms` (CLOCK_MONOTONIC milliseconds) for one whole
// message and calls the callback with it on this thread. 1 delivered, 0 nothing by the deadline,
// -1 no connection, the connection ended, or a message was cut off at the deadline (the
// connection is then of no further use).
int zv_sock_pump(int64_t deadline_ms);

// Closes the connection of zv_sock_init, if any; `value` is not consulted (callers pass on what
// their send routine returned). When it returns, no callback runs any more. Called from inside
// the connection's own callback it stops the delivery after that callback. Returns 0.
int zv_sock_uninit(int value);
