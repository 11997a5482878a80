// The P2P registration service as the device sees it, on loopback: it reads one request (the
// 40-byte header and the body it announces) per connection and answers as told.
#pragma once

#include <cstdint>
#include <string>

struct P2pStandinAnswer {
  enum Kind { kText, kStatus, kSilent } kind = kText;
  int32_t status = 0;      // kStatus: the answer header's status
  std::string text;        // kText: status 0 and this body (128 bytes, NUL-padded)
};

// A listening TCP socket on 127.0.0.1:port (0: any free port); -1 on failure. *bound gets the port.
int p2p_standin_listen(int port, int* bound);

// Serves one connection of the listening socket. Returns the request's body bytes received
// (-1 when the connection failed before a whole request came).
int p2p_standin_serve_one(int listener, const P2pStandinAnswer& answer, std::string* body = nullptr);
