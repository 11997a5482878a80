// The P2P registration service as the device sees it, on loopback: it reads one sealed request
// (the 40-byte header and the 568-byte body it announces) per connection, opens it with the
// service's key, checks it, and answers as told, sealed for the device.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

struct P2pStandinAnswer {
  enum Kind { kText, kStatus, kSilent } kind = kText;
  int32_t status = 0;      // kStatus: the answer header's status
  std::string text;        // kText: status 0 and this body (128 bytes, NUL-padded)
};

// A listening TCP socket on 127.0.0.1:port (0: any free port); -1 on failure. *bound gets the port.
int p2p_standin_listen(int port, int* bound);

// Serves one connection of the listening socket. Returns the size of the opened body (568), or -1
// when no whole request came, it did not open with the service's key, or its header is not a
// registration's (version 2, kind 1, status 0, the body's sealed size); then nothing is answered.
// *body gets the opened body; `on_request` runs once a request is read, before the answer.
int p2p_standin_serve_one(int listener, const P2pStandinAnswer& answer, std::string* body = nullptr,
                          const std::function<void()>& on_request = {});
