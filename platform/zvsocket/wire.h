// Socket helpers shared by the client and the server half of libzvsocket.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>

#include "platform/zvsocket/zvsocket.h"

namespace zvsock {

// Fills a header for a message of `length` payload bytes.
ZvMsgHeader make_header(int32_t client, int32_t msg_id, int32_t dest, uint32_t length);

// True when the header is one this library may accept (magic, version, length bound).
bool header_valid(const ZvMsgHeader& header);

// Writes all `size` bytes of both blocks (header then payload) with one gathered send per round,
// never raising SIGPIPE. Returns true when everything was written.
bool send_all(int fd, const void* first, size_t first_size, const void* second, size_t second_size);

// Reads exactly `size` bytes; false on end of stream or error.
bool recv_all(int fd, void* buffer, size_t size);

// Opens a stream Unix socket connected to `path`; -1 when nothing listens there, or when the
// listener's queue stays full for `send_timeout_seconds` (a hung server that accepts nobody). The
// timeout stays on the socket for its sends.
int connect_unix(const char* path, int send_timeout_seconds = 10);

}  // namespace zvsock
