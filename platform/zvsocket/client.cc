// Client half of libzvsocket: one connection per process, a reader thread per connection (or the
// caller reading, kZvSockCallerReads).
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/zvsocket/wire.h"
#include "platform/zvsocket/zvsocket.h"

namespace {

// A sender blocked this long on a core that does not read gives the message up.
constexpr int kSendTimeoutSeconds = 10;

// One connected socket. The descriptor is closed only when the last user lets go of the link, so
// a reader still inside recv() never sees its descriptor number reused by another open.
struct Link {
  explicit Link(int descriptor) : fd(descriptor) {}
  ~Link() { close(fd); }
  Link(const Link&) = delete;
  Link& operator=(const Link&) = delete;
  const int fd;
};

class Connection : public std::enable_shared_from_this<Connection> {
 public:
  Connection(ZvSockCallback callback, int client, std::string path, bool caller_reads)
      : callback_(callback), client_(client), path_(std::move(path)), caller_reads_(caller_reads) {}
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;
  ~Connection() { stop(); }

  // Connects once and starts the reader (a send-only client has none). True when connected.
  bool start() {
    bool connected = connect_link() != nullptr;
    if (callback_ != nullptr && !caller_reads_) {
      reader_ = std::thread([self = shared_from_this()] { self->read_loop(); });
    }
    return connected;
  }

  // One whole message by `deadline_ms` to the callback, on the caller's thread (zv_sock_pump).
  int pump(int64_t deadline_ms) {
    std::shared_ptr<Link> link;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (stopping_ || !caller_reads_) return -1;
      link = link_;
    }
    if (!link) return -1;
    ZvMsgHeader header{};
    const int got = recv_by(link->fd, &header, sizeof header, deadline_ms, true);
    if (got == 0) return 0;
    if (got < 0) return drop(link);
    if (!zvsock::header_valid(header)) return drop(link);
    if (payload_.size() < header.length) payload_.resize(header.length);
    if (header.length > 0 && recv_by(link->fd, payload_.data(), header.length, deadline_ms, false) <= 0) {
      return drop(link);
    }
    if (callback_ != nullptr) callback_(header.client, &header, header.length > 0 ? payload_.data() : nullptr);
    return 1;
  }

  int send(int dest, int32_t msg_id, const void* payload, uint32_t length) {
    std::lock_guard<std::mutex> sending(send_mutex_);
    ZvMsgHeader header = zvsock::make_header(client_, msg_id, dest, length);
    // A socket that broke since the last message (the core restarted) is found out by this send;
    // the message then goes once more on a fresh connection.
    for (int round = 0; round < 2; ++round) {
      std::shared_ptr<Link> link;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        if (stopping_) return -1;
        link = link_;
      }
      bool fresh = false;
      if (!link) {
        link = connect_link();
        if (!link) return -1;
        fresh = true;
      }
      if (zvsock::send_all(link->fd, &header, sizeof header, payload, length)) return 0;
      // A broken or half-written stream cannot carry further messages: drop it. The server
      // discards the partial message of a connection that ends.
      shutdown(link->fd, SHUT_RDWR);
      {
        std::lock_guard<std::mutex> lock(mutex_);
        if (link_ == link) link_.reset();
      }
      if (fresh) return -1;
    }
    return -1;
  }

  // Stops the reader and closes the socket. Idempotent.
  void stop() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
      if (link_) shutdown(link_->fd, SHUT_RDWR);
      link_.reset();
    }
    changed_.notify_all();
    if (reader_.joinable()) {
      if (reader_.get_id() == std::this_thread::get_id()) {
        reader_.detach();  // called from our own callback: the loop ends after it returns
      } else {
        reader_.join();
      }
    }
  }

 private:
  std::shared_ptr<Link> connect_link() {
    int fd = zvsock::connect_unix(path_.c_str(), kSendTimeoutSeconds);
    if (fd < 0) return nullptr;
    // A send-only client wants no replies: the server's writes then fail instead of piling up.
    if (callback_ == nullptr) shutdown(fd, SHUT_RD);
    auto link = std::make_shared<Link>(fd);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (stopping_) return nullptr;
      if (link_) shutdown(link_->fd, SHUT_RDWR);
      link_ = link;
    }
    changed_.notify_all();
    return link;
  }

  void read_loop() {
    std::vector<unsigned char> payload;
    for (;;) {
      std::shared_ptr<Link> link;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return stopping_ || link_ != nullptr; });
        if (stopping_) return;
        link = link_;
      }
      read_link(*link, payload);
      // This socket is done: forget it unless a sender has already put a new one in its place.
      std::lock_guard<std::mutex> lock(mutex_);
      if (link_ == link) link_.reset();
    }
  }

  // Delivers messages from one socket until it ends or the connection stops.
  void read_link(const Link& link, std::vector<unsigned char>& payload) {
    for (;;) {
      ZvMsgHeader header{};
      if (!zvsock::recv_all(link.fd, &header, sizeof header)) return;
      if (!zvsock::header_valid(header)) return;
      if (payload.size() < header.length) payload.resize(header.length);
      if (header.length > 0 && !zvsock::recv_all(link.fd, payload.data(), header.length)) return;
      if (stopping_flag()) return;
      if (callback_ != nullptr) {
        callback_(header.client, &header, header.length > 0 ? payload.data() : nullptr);
      }
    }
  }

  static int64_t now_ms() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<int64_t>(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
  }

  // Receives exactly `size` bytes by `deadline_ms`: 1 done, -1 the stream ended or broke. When
  // nothing at all has come by the deadline and `may_time_out`, 0 (the stream is still whole);
  // a message cut off at the deadline is -1.
  static int recv_by(int fd, void* buffer, size_t size, int64_t deadline_ms, bool may_time_out) {
    auto* out = static_cast<char*>(buffer);
    size_t done = 0;
    while (done < size) {
      const int64_t left = deadline_ms - now_ms();
      if (left <= 0) return done == 0 && may_time_out ? 0 : -1;
      pollfd readable{fd, POLLIN, 0};
      const int ready = poll(&readable, 1, static_cast<int>(std::min<int64_t>(left, 60000)));
      if (ready < 0 && errno != EINTR) return -1;
      if (ready <= 0) continue;
      const ssize_t got = recv(fd, out + done, size - done, MSG_DONTWAIT);
      if (got == 0) return -1;
      if (got < 0) {
        if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
        return -1;
      }
      done += static_cast<size_t>(got);
    }
    return 1;
  }

  // A stream that broke or was cut off carries nothing more: forget it.
  int drop(const std::shared_ptr<Link>& link) {
    shutdown(link->fd, SHUT_RDWR);
    std::lock_guard<std::mutex> lock(mutex_);
    if (link_ == link) link_.reset();
    return -1;
  }

  bool stopping_flag() {
    std::lock_guard<std::mutex> lock(mutex_);
    return stopping_;
  }

  const ZvSockCallback callback_;
  const int client_;
  const std::string path_;
  const bool caller_reads_;
  std::vector<unsigned char> payload_;  // caller_reads_: the message being delivered
  std::mutex send_mutex_;  // one message at a time on the stream
  std::mutex mutex_;       // guards the fields below
  std::condition_variable changed_;
  bool stopping_ = false;
  std::shared_ptr<Link> link_;  // the connected socket, null while disconnected
  std::thread reader_;
};

// The process's connection. Replaced under the mutex, closed outside it (closing joins the
// reader, whose callback may itself call into this library).
struct Current {
  std::mutex mutex;
  std::shared_ptr<Connection> connection;
  ~Current() {
    std::shared_ptr<Connection> last;
    {
      std::lock_guard<std::mutex> lock(mutex);
      last.swap(connection);
    }
    if (last) last->stop();
  }
};

Current& current() {
  static Current instance;
  return instance;
}

std::shared_ptr<Connection> take_current() {
  std::lock_guard<std::mutex> lock(current().mutex);
  std::shared_ptr<Connection> taken;
  taken.swap(current().connection);
  return taken;
}

}  // namespace

int zv_sock_init(ZvSockCallback callback, int flags, int client, const char* path) {
  if ((flags != 0 && flags != kZvSockCallerReads) || client < 1 || client > 1023 || path == nullptr ||
      path[0] == '\0') {
    return -2;
  }
  if (auto old = take_current()) old->stop();
  auto connection = std::make_shared<Connection>(callback, client, path, flags == kZvSockCallerReads);
  bool connected = connection->start();
  std::shared_ptr<Connection> displaced;
  {
    std::lock_guard<std::mutex> lock(current().mutex);
    displaced.swap(current().connection);
    current().connection = connection;
  }
  if (displaced) displaced->stop();
  return connected ? 0 : -1;
}

int zv_sock_send_msg(int dest, int32_t msg_id, const void* payload, uint32_t length, uint64_t reserved) {
  if (reserved != 0 || (payload == nullptr && length > 0) || length > kZvMsgMaxPayload) return -2;
  std::shared_ptr<Connection> connection;
  {
    std::lock_guard<std::mutex> lock(current().mutex);
    connection = current().connection;
  }
  if (!connection) return -1;
  return connection->send(dest, msg_id, payload, length);
}

int zv_sock_pump(int64_t deadline_ms) {
  std::shared_ptr<Connection> connection;
  {
    std::lock_guard<std::mutex> lock(current().mutex);
    connection = current().connection;
  }
  return connection ? connection->pump(deadline_ms) : -1;
}

int zv_sock_uninit(int /*value*/) {
  if (auto connection = take_current()) connection->stop();
  return 0;
}
