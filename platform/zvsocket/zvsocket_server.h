// Server half of libzvsocket: what the core daemon (and its stand-ins, the core simulator and the
// fake core of the tests) runs on "/var/run/zvsocket". It speaks the wire format documented in
// zvsocket.h, serves any number of clients from one thread, and sends replies that may be queued
// from any thread, at once or after a delay.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/zvsocket/zvsocket.h"

class ZvSockServer {
 public:
  using PeerId = uint64_t;  // one per accepted connection, never reused within a server
  // Runs on the server thread for every complete message of a client. `payload` holds
  // header.length bytes, or is null when the length is 0. The handler may call send().
  using MessageHandler =
      std::function<void(PeerId peer, const ZvMsgHeader& header, const unsigned char* payload)>;

  ZvSockServer();
  ~ZvSockServer();
  ZvSockServer(const ZvSockServer&) = delete;
  ZvSockServer& operator=(const ZvSockServer&) = delete;

  // Listens on `path` and starts the server thread. A socket file left behind by a server that is
  // gone is replaced; a path where a server still listens, or that is not a socket, is refused.
  // Returns false (with a reason in *error when given) on failure.
  bool start(const std::string& path, MessageHandler handler, std::string* error = nullptr);

  // Closes every client, stops the thread and removes the socket file. Idempotent.
  void stop();

  // Queues one message (sender kZvClientCore) to `peer`, sent after `delay_ms` milliseconds when
  // that is positive. Thread-safe. Returns false when the peer is gone or the server stopped.
  // A peer that no longer reads (a send-only client) silently loses what is sent to it.
  bool send(PeerId peer, int32_t msg_id, const void* payload, uint32_t length, int delay_ms = 0);

  // Closes one client's connection (as a core that hangs up would). Thread-safe.
  void disconnect(PeerId peer);
  // Closes every client's connection. Thread-safe.
  void disconnect_all();

  size_t peer_count() const;
  // No client is connected and none waits to be accepted: every message of every client that
  // has gone away has been handed to the handler.
  bool idle() const;

 private:
  struct Peer;
  struct Delayed;
  void run();
  void accept_clients();
  bool read_peer(Peer& peer, std::vector<std::pair<ZvMsgHeader, std::vector<unsigned char>>>& out);
  bool flush_peer(Peer& peer);
  void drop_peer_locked(PeerId id);
  void wake();

  std::string path_;
  MessageHandler handler_;
  int listen_fd_ = -1;
  int wake_fd_ = -1;
  ino_t socket_inode_ = 0;
  std::thread thread_;
  mutable std::mutex mutex_;  // guards everything below
  bool stopping_ = false;
  PeerId next_id_ = 1;
  std::map<PeerId, std::unique_ptr<Peer>> peers_;
  std::multimap<std::chrono::steady_clock::time_point, std::unique_ptr<Delayed>> delayed_;
};
