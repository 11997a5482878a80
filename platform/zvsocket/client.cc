// Client half of libzvsocket: one connection per process, a reader thread per connection.
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
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
  Connection(ZvSockCallback callback, int client, std::string path)
      : callback_(callback), client_(client), path_(std::move(path)) {}
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;
  ~Connection() { stop(); }

  // Connects once and starts the reader (a send-only client has none). True when connected.
  bool start() {
    bool connected = connect_link() != nullptr;
    if (callback_ != nullptr) reader_ = std::thread([self = shared_from_this()] { self->read_loop(); });
    return connected;
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
    int fd = zvsock::connect_unix(path_.c_str());
    if (fd < 0) return nullptr;
    timeval timeout{kSendTimeoutSeconds, 0};
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
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

  bool stopping_flag() {
    std::lock_guard<std::mutex> lock(mutex_);
    return stopping_;
  }

  const ZvSockCallback callback_;
  const int client_;
  const std::string path_;
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
  if (flags != 0 || client < 1 || client > 1023 || path == nullptr || path[0] == '\0') return -2;
  if (auto old = take_current()) old->stop();
  auto connection = std::make_shared<Connection>(callback, client, path);
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

int zv_sock_uninit(int /*value*/) {
  if (auto connection = take_current()) connection->stop();
  return 0;
}
