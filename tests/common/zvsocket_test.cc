// The message transport: client calls against the server half (through the fake core), framing,
// reconnection, large and many replies, shutdown without late callbacks, and hostile peers.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/zvsocket/wire.h"
#include "platform/zvsocket/zvsocket.h"
#include "tests/fake_core/fake_core.h"

namespace {

constexpr const char* kPath = "/var/run/zvsocket";

struct Delivered {
  int32_t id;
  uint32_t length;
  bool null_payload;
  std::vector<unsigned char> payload;
};

std::mutex g_mutex;
std::condition_variable g_changed;
std::vector<Delivered> g_delivered;
std::atomic<int> g_callbacks{0};

void record(int, ZvMsgHeader* header, void* payload) {
  Delivered d{header->msg_id, header->length, payload == nullptr, {}};
  if (payload != nullptr) {
    auto* bytes = static_cast<unsigned char*>(payload);
    d.payload.assign(bytes, bytes + header->length);
  }
  g_callbacks.fetch_add(1);
  std::lock_guard<std::mutex> lock(g_mutex);
  g_delivered.push_back(std::move(d));
  g_changed.notify_all();
}

bool wait_delivered(size_t count, int timeout_ms = 10000) {
  std::unique_lock<std::mutex> lock(g_mutex);
  return g_changed.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                            [&] { return g_delivered.size() >= count; });
}

class TransportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_delivered.clear();
    g_callbacks = 0;
  }
  void TearDown() override { zv_sock_uninit(0); }
};

TEST_F(TransportTest, RefusesInvalidArguments) {
  struct Case {
    int flags, client;
    const char* path;
  } cases[] = {{2, 3, kPath}, {-1, 3, kPath}, {0, 0, kPath}, {0, -3, kPath}, {0, 1024, kPath}, {0, 3, nullptr}, {0, 3, ""}};
  for (const auto& c : cases) EXPECT_EQ(zv_sock_init(record, c.flags, c.client, c.path), -2);
  EXPECT_NE(zv_sock_send_msg(1, 1, nullptr, 0, 0), 0) << "no connection was kept";

  zvtest::FakeCore core;
  ASSERT_EQ(zv_sock_init(record, 0, 3, kPath), 0);
  EXPECT_EQ(zv_sock_send_msg(1, 1, nullptr, 4, 0), -2) << "null payload with a length";
  EXPECT_EQ(zv_sock_send_msg(1, 1, "x", kZvMsgMaxPayload + 1, 0), -2);
  EXPECT_EQ(zv_sock_send_msg(1, 1, "x", 1, 7), -2) << "reserved must be 0";
  EXPECT_EQ(zv_sock_send_msg(1, 1, nullptr, 0, 0), 0);
}

TEST_F(TransportTest, WithoutServerSendFailsThenReachesACoreThatStartsLater) {
  EXPECT_EQ(zv_sock_init(record, 0, 3, kPath), -1);
  int32_t word = 42;
  EXPECT_NE(zv_sock_send_msg(1, 1153, &word, 4, 0), 0);
  zvtest::FakeCore core;
  core.reply(1153, zvtest::int32s({7}));
  EXPECT_EQ(zv_sock_send_msg(1, 1153, &word, 4, 0), 0);
  ASSERT_TRUE(wait_delivered(1));
  auto got = core.received(1153);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].client, 3);
  EXPECT_EQ(got[0].payload, zvtest::int32s({42}));
  EXPECT_EQ(g_delivered[0].id, 6153);
  EXPECT_EQ(g_delivered[0].payload, zvtest::int32s({7}));
}

TEST_F(TransportTest, DeliversEmptyLargeAndManyRepliesIntact) {
  zvtest::FakeCore core;
  zvtest::Bytes chunk(614496);
  for (size_t i = 0; i < chunk.size(); ++i) chunk[i] = static_cast<unsigned char>(i * 31 + 7);
  std::vector<zvtest::FakeReply> stream;
  stream.push_back({0, {}, 0});        // no payload
  stream.push_back({0, chunk, 0});     // a download chunk
  for (int i = 0; i < 3000; ++i) stream.push_back({9173, zvtest::int32s({i}), 0});
  core.reply_with(1173, stream);

  ASSERT_EQ(zv_sock_init(record, 0, 3, kPath), 0);
  ASSERT_EQ(zv_sock_send_msg(1, 1173, nullptr, 0, 0), 0);
  ASSERT_TRUE(wait_delivered(3002));
  std::lock_guard<std::mutex> lock(g_mutex);
  EXPECT_EQ(g_delivered[0].id, 6173);
  EXPECT_EQ(g_delivered[0].length, 0u);
  EXPECT_TRUE(g_delivered[0].null_payload);
  EXPECT_EQ(g_delivered[1].length, chunk.size());
  EXPECT_TRUE(g_delivered[1].payload == chunk);
  for (int i = 0; i < 3000; ++i) {
    ASSERT_EQ(g_delivered[2 + i].id, 9173);
    ASSERT_EQ(zvtest::int32_at(g_delivered[2 + i].payload, 0), i) << "replies keep their order";
  }
}

TEST_F(TransportTest, NoCallbackRunsAfterUninitReturns) {
  zvtest::FakeCore core;
  std::vector<zvtest::FakeReply> flood;
  for (int i = 0; i < 2000; ++i) flood.push_back({0, zvtest::Bytes(1000, 1), i % 50});
  core.reply_with(3201, flood);
  ASSERT_EQ(zv_sock_init(record, 0, 3, kPath), 0);
  ASSERT_EQ(zv_sock_send_msg(1, 3201, nullptr, 0, 0), 0);
  ASSERT_TRUE(wait_delivered(1));
  zv_sock_uninit(0);
  int after_close = g_callbacks.load();
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(g_callbacks.load(), after_close);
}

TEST_F(TransportTest, SurvivesACoreThatHangsUpAndReconnects) {
  zvtest::FakeCore core;
  core.reply(1000, zvtest::int32s({1}));
  ASSERT_EQ(zv_sock_init(record, 0, 3, kPath), 0);
  ASSERT_EQ(zv_sock_send_msg(1, 1000, nullptr, 0, 0), 0);
  ASSERT_TRUE(wait_delivered(1));
  core.disconnect_all();
  // The first sends after the hang-up may fail (the stream is found broken); a retry reconnects.
  // Without MSG_NOSIGNAL one of them would kill this process with SIGPIPE.
  int accepted = 0;
  for (int attempt = 0; attempt < 200 && accepted < 3; ++attempt) {
    if (zv_sock_send_msg(1, 1000, nullptr, 0, 0) == 0) ++accepted;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_EQ(accepted, 3);
  EXPECT_TRUE(wait_delivered(2));
}

TEST_F(TransportTest, ReplyToAClosedClientHarmsNobody) {
  zvtest::FakeCore core;
  core.reply(3201, zvtest::int32s({1}), 100);  // answered after the client is gone
  ASSERT_EQ(zv_sock_init(record, 0, 3, kPath), 0);
  ASSERT_EQ(zv_sock_send_msg(1, 3201, nullptr, 0, 0), 0);
  zv_sock_uninit(0);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(g_callbacks.load(), 0);
  core.reply(1000, zvtest::int32s({5}));
  ASSERT_EQ(zv_sock_init(record, 0, 3, kPath), 0);
  ASSERT_EQ(zv_sock_send_msg(1, 1000, nullptr, 0, 0), 0);
  ASSERT_TRUE(wait_delivered(1));
  EXPECT_EQ(g_delivered[0].id, 6000);
}

TEST_F(TransportTest, SendOnlyClientIsServedAndIgnoresReplies) {
  zvtest::FakeCore core;
  core.reply(4002, zvtest::Bytes(100000, 9));  // a core that answers anyway
  ASSERT_EQ(zv_sock_init(nullptr, 0, 11, kPath), 0);
  char text[100] = "Dir_Nvr_Left_5_0";
  for (int i = 0; i < 50; ++i) ASSERT_EQ(zv_sock_send_msg(1, 4002, text, sizeof text, 0), 0) << i;
  ASSERT_TRUE(core.wait_for(4002, 50));
  auto got = core.received(4002);
  EXPECT_EQ(got[0].client, 11);
  EXPECT_EQ(got[0].payload, zvtest::Bytes(text, text + sizeof text));
  EXPECT_EQ(core.connections(), 1u) << "one connection for all the messages";
}

// The joystick daemon connects once and sends one message per command: a core that restarted
// in between still gets the next command.
TEST_F(TransportTest, SendOnlyClientReachesARestartedCore) {
  auto core = std::make_unique<zvtest::FakeCore>();
  ASSERT_EQ(zv_sock_init(nullptr, 0, 11, kPath), 0);
  char text[100] = "Enter";
  ASSERT_EQ(zv_sock_send_msg(1, 4002, text, sizeof text, 0), 0);
  ASSERT_TRUE(core->wait_for(4002, 1));
  core.reset();
  core = std::make_unique<zvtest::FakeCore>();
  EXPECT_EQ(zv_sock_send_msg(1, 4002, text, sizeof text, 0), 0);
  EXPECT_TRUE(core->wait_for(4002, 1));
}

TEST_F(TransportTest, ServerDropsABadlyFramedClientAndServesOthers) {
  zvtest::FakeCore core;
  int raw = zvsock::connect_unix(kPath);
  ASSERT_GE(raw, 0);
  ZvMsgHeader bad = zvsock::make_header(3, 1000, 1, kZvMsgMaxPayload + 1);  // length beyond the cap
  ASSERT_EQ(send(raw, &bad, sizeof bad, MSG_NOSIGNAL), static_cast<ssize_t>(sizeof bad));
  char byte;
  EXPECT_EQ(recv(raw, &byte, 1, 0), 0) << "the server hangs up";
  close(raw);
  core.reply(1000, zvtest::int32s({1}));
  ASSERT_EQ(zv_sock_init(record, 0, 3, kPath), 0);
  ASSERT_EQ(zv_sock_send_msg(1, 1000, nullptr, 0, 0), 0);
  EXPECT_TRUE(wait_delivered(1));
  EXPECT_TRUE(core.received(1000).size() == 1) << "the bad message was not taken as a message";
}

// A server that hangs without accepting anyone: once its queue is full, a connect gives up after
// the send timeout instead of waiting for ever (every request would hang with it).
TEST(Wire, ConnectToAFullQueueGivesUpAfterTheTimeout) {
  const char* const path = "/tmp/zvsocket_full_queue";
  unlink(path);
  const int listener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strcpy(address.sun_path, path);
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(listen(listener, 0), 0);
  std::vector<int> queued;
  int fd = 0;
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 4 && (fd = zvsock::connect_unix(path, 1)) >= 0; ++i) queued.push_back(fd);
  EXPECT_LT(fd, 0) << "the queue never filled";
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
  for (int q : queued) close(q);
  close(listener);
  unlink(path);
}

int64_t in_ms(int ms) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             (std::chrono::steady_clock::now() + std::chrono::milliseconds(ms)).time_since_epoch())
      .count();
}

// Without a reader thread the caller's pump delivers each message before it returns, waits no
// longer than its deadline, and gives up a connection whose message was cut off.
TEST_F(TransportTest, CallerReadsOneMessagePerPumpUntilItsDeadline) {
  zvtest::FakeCore core;
  core.reply_with(1000, {{.payload = zvtest::int32s({1})}, {.payload = zvtest::int32s({2}), .delay_ms = 300}});
  ASSERT_EQ(zv_sock_init(record, kZvSockCallerReads, 3, kPath), 0);
  EXPECT_EQ(zv_sock_pump(in_ms(20)), 0) << "nothing sent, nothing comes";
  ASSERT_EQ(zv_sock_send_msg(1, 1000, nullptr, 0, 0), 0);
  ASSERT_EQ(zv_sock_pump(in_ms(5000)), 1);
  EXPECT_EQ(g_callbacks.load(), 1) << "delivered on this thread, before the pump returned";
  EXPECT_EQ(zv_sock_pump(in_ms(50)), 0) << "the second reply is 300 ms away";
  ASSERT_EQ(zv_sock_pump(in_ms(5000)), 1);
  std::lock_guard<std::mutex> lock(g_mutex);
  ASSERT_EQ(g_delivered.size(), 2U);
  EXPECT_EQ(zvtest::int32_at(g_delivered[1].payload, 0), 2);
}

TEST_F(TransportTest, CallerReadsGivesUpAMessageCutOffAtTheDeadline) {
  unlink(kPath);
  const int listener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, kPath, sizeof address.sun_path - 1);
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(listen(listener, 4), 0);
  ASSERT_EQ(zv_sock_init(record, kZvSockCallerReads, 3, kPath), 0);
  const int peer = accept(listener, nullptr, nullptr);
  ASSERT_GE(peer, 0);
  ZvMsgHeader header = zvsock::make_header(1, 6000, 3, 8);
  ASSERT_EQ(send(peer, &header, sizeof header, MSG_NOSIGNAL), static_cast<ssize_t>(sizeof header));
  ASSERT_EQ(send(peer, "half", 4, MSG_NOSIGNAL), 4);  // 4 of the 8 payload bytes
  EXPECT_EQ(zv_sock_pump(in_ms(100)), -1);
  EXPECT_EQ(zv_sock_pump(in_ms(100)), -1) << "the cut stream is dropped";
  EXPECT_EQ(g_callbacks.load(), 0);
  close(peer);
  close(listener);
  unlink(kPath);
}

// Several processes at once, as concurrent webreq requests are: every one gets its own replies.
// The children are forked before the fake core starts its threads: a child forked while one of
// them held a lock (the sanitizer's allocator's, say) would wait for it for ever. They start
// when the core listens, at the closing of `go`.
TEST_F(TransportTest, ServesConcurrentClientProcesses) {
  constexpr int kProcesses = 8, kRounds = 50;
  int go[2];
  ASSERT_EQ(pipe(go), 0);
  std::vector<pid_t> children;
  for (int p = 0; p < kProcesses; ++p) {
    pid_t pid = fork();
    if (pid == 0) {
      close(go[1]);
      char byte;
      if (read(go[0], &byte, 1) != 0) _exit(4);
      for (int round = 0; round < kRounds; ++round) {
        if (zv_sock_init(record, 0, 3, kPath) != 0) _exit(1);
        int32_t word = p * 1000 + round;
        if (zv_sock_send_msg(1, 1000, &word, 4, 0) != 0) _exit(2);
        if (!wait_delivered(static_cast<size_t>(round + 1))) _exit(3);
        zv_sock_uninit(0);
      }
      _exit(0);
    }
    children.push_back(pid);
  }
  close(go[0]);
  zvtest::FakeCore core;
  core.reply(1000, zvtest::int32s({1}));
  close(go[1]);
  for (pid_t pid : children) {
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  }
  EXPECT_EQ(core.received(1000).size(), static_cast<size_t>(kProcesses * kRounds));
}

}  // namespace
