// Status pages and a packet capture through the whole stack (lighttpd + webreq + zvcore-sim +
// database): every page answers from the simulated device's real state, and a capture on the
// loopback comes back as a tar holding the test's datagrams.
#include <gtest/gtest.h>
#include <json-c/json.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/e2e/reply_json.h"
#include "tests/e2e/stack.h"
#include "tests/support/sockets.h"

namespace zvtest {
namespace {


std::string control(const std::vector<std::string>& words) {
  RunOptions options;
  options.args = {"ctl"};
  options.args.insert(options.args.end(), words.begin(), words.end());
  return run_program(bin_path("zvcore-sim"), options).out;
}

TEST(EndToEndState, EveryStatusPageAnswersFromTheDevice) {
  DemoStack stack;
  ASSERT_TRUE(stack.ready());

  Json netif = parse(stack.get("/8000").body);
  ASSERT_NE(netif.get(), nullptr);
  bool loopback = false;
  json_object* list = at(netif.get(), "netif");
  for (size_t i = 0; i < json_object_array_length(list); ++i) {
    json_object* n = json_object_array_get_idx(list, i);
    if (text_at(n, "ifname") != "lo") continue;
    loopback = true;
    EXPECT_EQ(text_at(n, "ipAddr"), "127.0.0.1");
    EXPECT_EQ(text_at(n, "netmask"), "255.0.0.0");
    EXPECT_GT(int_at(n, "mtu"), 0);
  }
  EXPECT_TRUE(loopback);
  Json speed = parse(stack.get("/8001").body);
  ASSERT_NE(speed.get(), nullptr);
  EXPECT_EQ(json_object_array_length(at(speed.get(), "netif")), json_object_array_length(list));

  Json cameras = parse(stack.get("/8002").body);
  ASSERT_NE(cameras.get(), nullptr);
  EXPECT_EQ(json_object_array_length(at(cameras.get(), "IPC")), 32U);

  EXPECT_EQ(control({"alarm", "raise", "in", "2"}), "ok input 2 raised\n");
  EXPECT_EQ(control({"alarm", "raise", "camera", "1", "0"}), "ok camera 1 input 0 raised\n");
  Json events = parse(stack.get("/8003").body);
  ASSERT_NE(events.get(), nullptr);
  json_object* inputs = at(events.get(), "alarmIn");
  ASSERT_EQ(json_object_array_length(inputs), 16U);
  EXPECT_EQ(int_at(json_object_array_get_idx(inputs, 2), "state"), 1);
  EXPECT_EQ(int_at(json_object_array_get_idx(inputs, 3), "state"), 0);
  EXPECT_EQ(json_object_array_length(at(events.get(), "alarmOut")), 4U);
  json_object* event_cameras = at(events.get(), "cameras");
  ASSERT_EQ(json_object_array_length(event_cameras), 32U);
  EXPECT_EQ(int_at(json_object_array_get_idx(event_cameras, 1), "AlarmInState0"), 1);
  EXPECT_EQ(int_at(json_object_array_get_idx(event_cameras, 0), "AlarmInState0"), 0);

  // Nothing printed: the web server answers that itself.
  const HttpReply unused = stack.get("/8004");
  EXPECT_NE(unused.headers.find(" 500"), std::string::npos) << unused.headers;
  EXPECT_EQ(unused.body.find('{'), std::string::npos);
  Json memory = parse(stack.get("/8008").body);
  ASSERT_NE(memory.get(), nullptr);
  EXPECT_GT(int_at(memory.get(), "total"), 0);
  EXPECT_EQ(int_at(memory.get(), "used") + int_at(memory.get(), "free"), int_at(memory.get(), "total"));
  Json support = parse(stack.get("/8009").body);
  ASSERT_NE(support.get(), nullptr);
  EXPECT_EQ(text_at(support.get(), "support").size(), 64U);
  EXPECT_EQ(text_at(support.get(), "type").size(), 64U);

  ASSERT_NE(stack.post_json("/1000", R"({"userName":"admin","md5":"21232f297a57a5a743894a0e4a801fc3"})")
                .body.find("sessionId"),
            std::string::npos);
  stack.messages(1);
  Json users = parse(stack.get("/8011").body);
  ASSERT_NE(users.get(), nullptr);
  ASSERT_EQ(json_object_array_length(users.get()), 1U);
  EXPECT_EQ(text_at(json_object_array_get_idx(users.get(), 0), "userName"), "admin");
  EXPECT_EQ(text_at(json_object_array_get_idx(users.get(), 0), "ipaddr"), "127.0.0.1");
}

TEST(EndToEndState, CaptureOnTheLoopbackComesBackAsATar) {
  DemoStack stack;
  ASSERT_TRUE(stack.ready());
  ASSERT_EQ(mkdir("/tmp/e2ecap", 0755), 0);
  const int port = 20000 + static_cast<int>((getpid() + 7) % 20000);
  Json started = parse(
      stack.post_json("/8005", R"({"nic": "lo", "port": ")" + std::to_string(port) + R"(", "mntPath": "/tmp/e2ecap"})")
          .body);
  ASSERT_NE(started.get(), nullptr);
  EXPECT_EQ(text_at(started.get(), "dirPath"), "/tmp/e2ecap");
  const std::string path = "/tmp/e2ecap/" + text_at(started.get(), "fileName");
  ASSERT_TRUE(wait_for_file(path, 5000)) << "tcpdump did not start";
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const std::string probe = "zv-e2e-probe";
  ASSERT_TRUE(send_loopback_datagrams(port, probe, 3));
  // Stopped and packed at once: the stop returns once tcpdump has written all it saw.
  EXPECT_EQ(stack.get("/8006").body, "OK");

  const HttpReply archive = stack.get("/8007?" + path);
  EXPECT_NE(archive.headers.find("filename= packet.tar"), std::string::npos) << archive.headers;
  ASSERT_GT(archive.body.size(), 1024U);
  EXPECT_EQ(archive.body.compare(0, path.size() - 12 + 5, path.substr(12) + ".pcap"), 0) << "the pcap member";
  size_t seen = 0;
  for (size_t at = archive.body.find(probe); at != std::string::npos; at = archive.body.find(probe, at + 1)) ++seen;
  EXPECT_EQ(seen, 3U);
  EXPECT_TRUE(list_dir("/tmp/e2ecap").empty());
}

}  // namespace
}  // namespace zvtest
