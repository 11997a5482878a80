#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>

#include "platform/zvsocket/wire.h"
#include "platform/zvsocket/zvsocket_server.h"

namespace {
// A client that lets this much wait unread is dropped rather than growing the core's memory.
constexpr size_t kMaxQueuedBytes = 256u * 1024u * 1024u;
constexpr size_t kReadChunk = 256u * 1024u;
}  // namespace

struct ZvSockServer::Peer {
  int fd = -1;
  std::vector<unsigned char> in;   // receive buffer; the first `filled` bytes are not yet parsed
  size_t filled = 0;
  std::deque<std::vector<unsigned char>> out;  // whole messages waiting to be written
  size_t out_offset = 0;           // bytes of out.front() already written
  size_t queued = 0;               // bytes in `out`
  bool write_closed = false;       // the client reads no more: drop what is sent to it
  bool closing = false;            // disconnect() asked for
};

struct ZvSockServer::Delayed {
  PeerId peer;
  std::vector<unsigned char> bytes;
};

ZvSockServer::ZvSockServer() = default;
ZvSockServer::~ZvSockServer() { stop(); }

bool ZvSockServer::start(const std::string& path, MessageHandler handler, std::string* error) {
  auto fail = [&](const std::string& why) {
    if (error != nullptr) *error = why;
    if (listen_fd_ >= 0) close(listen_fd_);
    if (wake_fd_ >= 0) close(wake_fd_);
    listen_fd_ = wake_fd_ = -1;
    return false;
  };
  if (thread_.joinable()) return fail("already started");
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof address.sun_path) return fail("bad socket path");
  memcpy(address.sun_path, path.c_str(), path.size() + 1);

  struct stat st{};
  if (lstat(path.c_str(), &st) == 0) {
    if (!S_ISSOCK(st.st_mode)) return fail(path + " exists and is not a socket");
    int probe = zvsock::connect_unix(path.c_str());
    if (probe >= 0) {
      close(probe);
      return fail("a server already listens on " + path);
    }
    unlink(path.c_str());
  }
  listen_fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (listen_fd_ < 0) return fail(std::string("socket: ") + strerror(errno));
  if (bind(listen_fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    return fail("bind " + path + ": " + strerror(errno));
  }
  if (listen(listen_fd_, 128) != 0) return fail(std::string("listen: ") + strerror(errno));
  if (stat(path.c_str(), &st) == 0) socket_inode_ = st.st_ino;
  wake_fd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wake_fd_ < 0) return fail(std::string("eventfd: ") + strerror(errno));
  path_ = path;
  handler_ = std::move(handler);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = false;
  }
  thread_ = std::thread([this] { run(); });
  return true;
}

void ZvSockServer::stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopping_ && !thread_.joinable()) return;
    stopping_ = true;
  }
  wake();
  if (thread_.joinable()) thread_.join();
  std::lock_guard<std::mutex> lock(mutex_);
  for (auto& [id, peer] : peers_) close(peer->fd);
  peers_.clear();
  delayed_.clear();
  if (listen_fd_ >= 0) {
    close(listen_fd_);
    listen_fd_ = -1;
    // Remove the socket file only when it is still ours (not a successor's).
    struct stat st{};
    if (!path_.empty() && stat(path_.c_str(), &st) == 0 && st.st_ino == socket_inode_) {
      unlink(path_.c_str());
    }
  }
  if (wake_fd_ >= 0) {
    close(wake_fd_);
    wake_fd_ = -1;
  }
}

void ZvSockServer::wake() {
  if (wake_fd_ < 0) return;
  uint64_t one = 1;
  ssize_t ignored = write(wake_fd_, &one, sizeof one);
  (void)ignored;
}

bool ZvSockServer::send(PeerId id, int32_t msg_id, const void* payload, uint32_t length, int delay_ms) {
  if ((payload == nullptr && length > 0) || length > kZvMsgMaxPayload) return false;
  std::vector<unsigned char> bytes(sizeof(ZvMsgHeader) + length);
  ZvMsgHeader header = zvsock::make_header(kZvClientCore, msg_id, 0, length);
  memcpy(bytes.data(), &header, sizeof header);
  if (length > 0) memcpy(bytes.data() + sizeof header, payload, length);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopping_) return false;
    auto found = peers_.find(id);
    if (found == peers_.end() || found->second->closing) return false;
    if (delay_ms > 0) {
      auto due = std::chrono::steady_clock::now() + std::chrono::milliseconds(delay_ms);
      delayed_.emplace(due, std::make_unique<Delayed>(Delayed{id, std::move(bytes)}));
    } else {
      Peer& peer = *found->second;
      if (peer.write_closed) return true;
      peer.queued += bytes.size();
      peer.out.push_back(std::move(bytes));
      if (peer.queued > kMaxQueuedBytes) {
        peer.closing = true;
      } else if (peer.out.size() == 1 && !flush_peer(peer)) {
        peer.closing = true;
      }
    }
  }
  // The server thread waits in poll(): tell it about new output interest or a new timer.
  wake();
  return true;
}

void ZvSockServer::disconnect(PeerId id) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = peers_.find(id);
    if (found == peers_.end()) return;
    found->second->closing = true;
  }
  wake();
}

void ZvSockServer::disconnect_all() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto& [id, peer] : peers_) peer->closing = true;
  }
  wake();
}

size_t ZvSockServer::peer_count() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return peers_.size();
}

bool ZvSockServer::idle() const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!peers_.empty()) return false;
  pollfd pending{listen_fd_, POLLIN, 0};
  return poll(&pending, 1, 0) == 0;
}

// Writes as much of the peer's queue as the socket takes. False when the connection failed.
bool ZvSockServer::flush_peer(Peer& peer) {
  while (!peer.out.empty()) {
    auto& front = peer.out.front();
    ssize_t sent = ::send(peer.fd, front.data() + peer.out_offset, front.size() - peer.out_offset,
                          MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) return true;
      if (errno == EPIPE) {
        // The client shut its reading side (a send-only client): keep reading its messages.
        peer.write_closed = true;
        peer.out.clear();
        peer.out_offset = 0;
        peer.queued = 0;
        return true;
      }
      return false;
    }
    peer.out_offset += static_cast<size_t>(sent);
    if (peer.out_offset == front.size()) {
      peer.queued -= front.size();
      peer.out.pop_front();
      peer.out_offset = 0;
    }
  }
  return true;
}

void ZvSockServer::drop_peer_locked(PeerId id) {
  auto found = peers_.find(id);
  if (found == peers_.end()) return;
  close(found->second->fd);
  peers_.erase(found);
}

void ZvSockServer::accept_clients() {
  for (;;) {
    // Accepted and listed under one lock, so that idle() never sees a client in neither place.
    std::lock_guard<std::mutex> lock(mutex_);
    int fd = accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) {
      if (errno == EINTR) continue;
      return;  // EAGAIN, or a transient failure (EMFILE ...): try again on the next poll
    }
    auto peer = std::make_unique<Peer>();
    peer->fd = fd;
    peers_.emplace(next_id_++, std::move(peer));
  }
}

// Reads what is available and cuts complete messages. False when the peer hung up or broke the
// framing (it is then dropped).
bool ZvSockServer::read_peer(Peer& peer,
                             std::vector<std::pair<ZvMsgHeader, std::vector<unsigned char>>>& out) {
  bool open = true;
  // At most 16 chunks per wake-up, so that one busy client cannot hold the loop (poll reports the
  // rest again).
  for (int round = 0; round < 16; ++round) {
    // The buffer only grows (filled once, reused): no per-read clearing of a fresh block.
    if (peer.in.size() < peer.filled + kReadChunk) peer.in.resize(peer.filled + kReadChunk);
    ssize_t got = recv(peer.fd, peer.in.data() + peer.filled, kReadChunk, MSG_DONTWAIT);
    if (got > 0) {
      peer.filled += static_cast<size_t>(got);
      continue;
    }
    if (got < 0 && errno == EINTR) continue;
    if (got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) open = false;
    break;
  }
  size_t offset = 0;
  while (peer.filled - offset >= sizeof(ZvMsgHeader)) {
    ZvMsgHeader header;
    memcpy(&header, peer.in.data() + offset, sizeof header);
    if (!zvsock::header_valid(header)) return false;
    if (peer.filled - offset - sizeof header < header.length) break;
    const unsigned char* start = peer.in.data() + offset + sizeof header;
    out.emplace_back(header, std::vector<unsigned char>(start, start + header.length));
    offset += sizeof header + header.length;
  }
  if (offset > 0) {
    memmove(peer.in.data(), peer.in.data() + offset, peer.filled - offset);
    peer.filled -= offset;
  }
  // A peer that sent one huge message gives its memory back once it is handled.
  if (peer.filled == 0 && peer.in.size() > 4 * kReadChunk) {
    peer.in.clear();
    peer.in.shrink_to_fit();
  }
  return open;
}

void ZvSockServer::run() {
  std::vector<pollfd> fds;
  std::vector<PeerId> ids;
  std::vector<std::pair<ZvMsgHeader, std::vector<unsigned char>>> messages;
  for (;;) {
    int timeout_ms = -1;
    fds.clear();
    ids.clear();
    fds.push_back({wake_fd_, POLLIN, 0});
    fds.push_back({listen_fd_, POLLIN, 0});
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (stopping_) return;
      auto now = std::chrono::steady_clock::now();
      // Due delayed messages join their peer's queue.
      while (!delayed_.empty() && delayed_.begin()->first <= now) {
        auto node = delayed_.extract(delayed_.begin());
        auto found = peers_.find(node.mapped()->peer);
        if (found == peers_.end() || found->second->write_closed) continue;
        Peer& peer = *found->second;
        peer.queued += node.mapped()->bytes.size();
        peer.out.push_back(std::move(node.mapped()->bytes));
        if (!flush_peer(peer)) peer.closing = true;
      }
      if (!delayed_.empty()) {
        auto wait = std::chrono::ceil<std::chrono::milliseconds>(delayed_.begin()->first - now);
        timeout_ms = static_cast<int>(std::max<long long>(0, wait.count()));
      }
      for (auto it = peers_.begin(); it != peers_.end();) {
        if (it->second->closing) {
          close(it->second->fd);
          it = peers_.erase(it);
          continue;
        }
        short events = POLLIN;
        if (!it->second->out.empty()) events |= POLLOUT;
        fds.push_back({it->second->fd, events, 0});
        ids.push_back(it->first);
        ++it;
      }
    }
    int ready = poll(fds.data(), fds.size(), timeout_ms);
    if (ready < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[0].revents & POLLIN) {
      uint64_t count;
      ssize_t ignored = read(wake_fd_, &count, sizeof count);
      (void)ignored;
    }
    if (fds[1].revents & POLLIN) accept_clients();
    for (size_t i = 2; i < fds.size(); ++i) {
      if (fds[i].revents == 0) continue;
      PeerId id = ids[i - 2];
      messages.clear();
      {
        std::lock_guard<std::mutex> lock(mutex_);
        auto found = peers_.find(id);
        if (found == peers_.end()) continue;
        Peer& peer = *found->second;
        bool keep = true;
        if (fds[i].revents & POLLOUT) keep = flush_peer(peer);
        if (keep && (fds[i].revents & (POLLIN | POLLHUP | POLLERR))) keep = read_peer(peer, messages);
        if (!keep && messages.empty()) {
          drop_peer_locked(id);
          continue;
        }
        if (!keep) peer.closing = true;  // deliver what came before the hang-up, then drop
      }
      for (auto& [header, payload] : messages) {
        handler_(id, header, header.length > 0 ? payload.data() : nullptr);
      }
    }
  }
}
