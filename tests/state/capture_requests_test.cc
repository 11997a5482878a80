// Packet capture through the real front end: the exact argument vectors of tcpdump, killall and
// the watchdog (recording stand-ins first on PATH), every refused name with a canary proving that
// nothing ran and nothing was removed, the download's archive, and a real capture on the loopback.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/request_fixture.h"
#include "tests/support/sockets.h"

namespace zvtest {
namespace {

constexpr char kLog[] = "/tmp/recorded.log";
constexpr char kDir[] = "/tmp/cap";
constexpr char kCanary[] = "/tmp/canary";

std::string self_user() {
  const passwd* p = getpwuid(geteuid());
  return p != nullptr ? p->pw_name : "root";
}

std::string sandbox_path() {
  const char* p = getenv("PATH");
  return p != nullptr ? p : "/usr/bin:/bin";
}

class CaptureTest : public RequestTest {
 protected:
  void SetUp() override {
    RequestTest::SetUp();
    mkdir("/tmp/rec", 0755);
    // One write per call: the capture and its watchdog start side by side and record together.
    const std::string recorder =
        "#!/bin/sh\nline=${0##*/}; for a in \"$@\"; do line=\"$line [$a]\"; done\n"
        "printf '%s\\n' \"$line\" >> " + std::string(kLog) + "\n";
    for (const char* tool : {"tcpdump", "killall", "tar"}) install("/tmp/rec/" + std::string(tool), recorder);
    install("/www/webmonitor", recorder);
    mkdir(kDir, 0755);
    write_file(kCanary, "canary");
    write_file(std::string(kDir) + "/rvpcap-20260101000000", "earlier");
    write_file(std::string(kDir) + "/keep.txt", "kept");
    cgi_env_["PATH"] = "/tmp/rec:" + sandbox_path();
  }
  static void install(const std::string& path, const std::string& script) {
    write_file(path, script);
    chmod(path.c_str(), 0755);
  }
  // The recorded calls once `lines` of them are there (the capture runs on after the request).
  static std::vector<std::string> recorded(size_t lines) {
    std::vector<std::string> calls;
    for (int i = 0; i < 500; ++i) {
      calls.clear();
      const std::string text = read_file(kLog);
      for (size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
        calls.push_back(text.substr(at, end - at));
      }
      if (calls.size() >= lines) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return calls;
  }
  // Nothing ran and nothing went.
  void expect_untouched(const std::string& what) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(file_exists(kLog)) << what << ": " << read_file(kLog);
    EXPECT_EQ(read_file(kCanary), "canary") << what;
    EXPECT_EQ(list_dir(kDir), (std::vector<std::string>{"keep.txt", "rvpcap-20260101000000"})) << what;
  }
};

TEST_F(CaptureTest, StartRunsTheCaptureAndItsWatchdogWithArgumentVectors) {
  // A link named like a capture goes (the link, not what it points to).
  write_file("/tmp/victim", "v");
  ASSERT_EQ(symlink("/tmp/victim", (std::string(kDir) + "/rvpcap-209912310000000").c_str()), 0);
  const std::string out = post("/8005", R"({"nic": "lo", "ip": "10.1.2.3", "port": "65535", "mntPath": "/tmp/cap"})").out;
  const std::string head = kJsonHeader + R"({ "dirPath": "\/tmp\/cap", "fileName": "rvpcap-)";
  ASSERT_EQ(out.compare(0, head.size(), head), 0) << out;
  const std::string base = out.substr(head.size() - 7, 21);
  EXPECT_EQ(out, head + base.substr(7) + "\" }");
  EXPECT_EQ(base.find_first_not_of("0123456789", 7), std::string::npos);
  const std::vector<std::string> calls = recorded(4);
  ASSERT_EQ(calls.size(), 4U);
  EXPECT_EQ(calls[0], "killall [tcpdump]");
  EXPECT_EQ(calls[1], "killall [webmonitor]");
  // Started on their own: either may come first.
  const std::string capture = "tcpdump [-i] [lo] [-s0] [-W] [1] [-C] [10] [-Z] [" + self_user() +
                              "] [-w] [/tmp/cap/" + base + "] [host 127.0.0.1 && host 10.1.2.3 && port 65535]";  // the last port
  const std::vector<std::string> started{calls[2], calls[3]};
  EXPECT_TRUE((started == std::vector<std::string>{capture, "webmonitor [tcpdump] [300]"}) ||
              (started == std::vector<std::string>{"webmonitor [tcpdump] [300]", capture}))
      << calls[2] << "\n" << calls[3];
  // The earlier capture went; nothing else did.
  EXPECT_EQ(list_dir(kDir), std::vector<std::string>{"keep.txt"});
  EXPECT_EQ(read_file("/tmp/victim"), "v");
}

TEST_F(CaptureTest, StartWithoutFiltersCapturesTheInterfaceAddressOnly) {
  const std::string dir127 = "/tmp/" + std::string(122, 'd');  // 127 characters: the longest
  ASSERT_NE(post("/8005", R"({"nic": "lo", "mntPath": ")" + dir127 + "\"}").out, "");
  const std::vector<std::string> calls = recorded(4);
  ASSERT_EQ(calls.size(), 4U);
  for (const std::string& call : {calls[2], calls[3]}) {
    if (call.rfind("tcpdump", 0) == 0) {
      EXPECT_NE(call.find("] [host 127.0.0.1]"), std::string::npos) << call;
    }
  }
  EXPECT_EQ(list_dir(kDir).size(), 2U);  // another directory: nothing removed here
}

TEST_F(CaptureTest, HostileStartsRunAndRemoveNothing) {
  ASSERT_EQ(symlink(kDir, "/tmp/caplink"), 0);
  const std::string long_dir = "/tmp/" + std::string(123, 'd');  // 128 characters
  const char* bodies[] = {
      R"({"nic": "", "mntPath": "/tmp/cap"})",
      R"({"mntPath": "/tmp/cap"})",
      R"({"nic": "eth0eth0", "mntPath": "/tmp/cap"})",
      R"({"nic": "lo;id", "mntPath": "/tmp/cap"})",
      R"({"nic": "nosuch", "mntPath": "/tmp/cap"})",  // no address to filter on
      R"x({"nic": "$(id)", "mntPath": "/tmp/cap"})x",
      R"({"nic": "lo", "ip": "1.2.3.4 or 1", "mntPath": "/tmp/cap"})",
      R"({"nic": "lo", "ip": "a'b", "mntPath": "/tmp/cap"})",
      R"({"nic": "lo", "port": "0", "mntPath": "/tmp/cap"})",
      R"({"nic": "lo", "port": "65536", "mntPath": "/tmp/cap"})",
      R"({"nic": "lo", "port": "-1", "mntPath": "/tmp/cap"})",
      R"({"nic": "lo", "port": "+80", "mntPath": "/tmp/cap"})",
      R"({"nic": "lo", "port": "80 or 1", "mntPath": "/tmp/cap"})",
      R"({"nic": "lo", "port": "000080", "mntPath": "/tmp/cap"})",
      R"({"nic": "lo", "port": 80, "mntPath": "/tmp/cap"})",
      R"({"nic": "lo", "mntPath": ""})",
      R"({"nic": "lo"})",
      R"({"nic": "lo", "mntPath": "tmp/cap"})",
      R"({"nic": "lo", "mntPath": "/tmp/cap/.."})",
      R"({"nic": "lo", "mntPath": "/tmp/../tmp/cap"})",
      R"({"nic": "lo", "mntPath": "/tmp/cap;rm -rf \/tmp"})",
      R"({"nic": "lo", "mntPath": "/tmp/cap/*"})",
      // The device's own flash, a directory outside /tmp and /mnt, a way through a link.
      R"({"nic": "lo", "mntPath": "/mnt/nand"})",
      R"({"nic": "lo", "mntPath": "/mnt/nand2/oem"})",
      R"({"nic": "lo", "mntPath": "/mnt/./nand"})",
      R"({"nic": "lo", "mntPath": "/mnt//nand2"})",
      R"({"nic": "lo", "mntPath": "/tmp/cap\u0000/x"})",
      R"({"nic": "lo", "mntPath": "/var/cap"})",
      R"({"nic": "lo", "mntPath": "/tmp/caplink"})",
      R"({"nic": "lo", "mntPath": "/tmp/caplink/sub"})",
      "[1]",
      "{",
  };
  for (const char* body : bodies) {
    EXPECT_EQ(post("/8005", body).out, "") << body;
    expect_untouched(body);
  }
  const std::string ip64 = std::string(64, '1');
  EXPECT_EQ(post("/8005", R"({"nic": "lo", "ip": ")" + ip64 + R"(", "mntPath": "/tmp/cap"})").out, "");
  EXPECT_EQ(post("/8005", R"({"nic": "lo", "mntPath": ")" + long_dir + "\"}").out, "");
  EXPECT_EQ(cgi_get("/8005", "", {{"PATH", "/tmp/rec:" + sandbox_path()}}).out, "");
  expect_untouched("long texts");
}

TEST_F(CaptureTest, StartWithoutTcpdumpNamesNoFile) {
  unlink("/tmp/rec/tcpdump");
  cgi_env_["PATH"] = "/tmp/rec";
  EXPECT_EQ(post("/8005", R"({"nic": "lo", "mntPath": "/tmp/cap"})").out, "");
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(recorded(2), (std::vector<std::string>{"killall [tcpdump]", "killall [webmonitor]"}));
}

TEST_F(CaptureTest, StopEndsTheCapture) {
  EXPECT_EQ(post("/8006", "").out, kOk);
  EXPECT_EQ(recorded(1), std::vector<std::string>{"killall [tcpdump]"});
}

TEST_F(CaptureTest, HostileDownloadsRunAndRemoveNothing) {
  const char* paths[] = {
      "/tmp/cap/../cap/rvpcap-20260101000000", "/tmp/cap/rvpcap-2026010100000",  "/tmp/cap/rvpcap-202601010000000",
      "rvpcap-20260101000000",                 "/tmp/cap/rvpcap-2026010100000x", "/tmp/cap/other-20260101000000",
      "tmp/cap/rvpcap-20260101000000",         "/tmp/c;p/rvpcap-20260101000000", "/rvpcap-20260101000000",
      "/mnt/nand/rvpcap-20260101000000",       "/tmp/caplink/rvpcap-20260101000000",
      "/mnt/./nand/rvpcap-20260101000000",     "/mnt//nand/rvpcap-20260101000000",
  };
  ASSERT_EQ(symlink(kDir, "/tmp/caplink"), 0);
  write_file("/mnt/nand/x.pcap", "flash");
  for (const char* path : paths) {
    EXPECT_EQ(get("/8007", path).out, "") << path;
    expect_untouched(path);
  }
  EXPECT_EQ(get("/8007", "").out, kCgiErrorText);
  expect_untouched("empty");
  EXPECT_EQ(read_file("/mnt/nand/x.pcap"), "flash");
}

// The tar archive's member names (ustar headers of 512 bytes, data padded to 512).
std::vector<std::string> members_of(const std::string& tar) {
  std::vector<std::string> names;
  for (size_t at = 0; at + 512 <= tar.size() && tar[at] != '\0';) {
    names.emplace_back(tar.c_str() + at);
    const size_t size = std::strtoul(tar.substr(at + 124, 12).c_str(), nullptr, 8);
    at += 512 + (size + 511) / 512 * 512;
  }
  return names;
}

TEST_F(CaptureTest, DownloadPacksTheCaptureFilesAndRemovesThem) {
  cgi_env_.erase("PATH");  // the real tar
  const std::string base = std::string(kDir) + "/rvpcap-20260102030405";
  write_file(base + "0", "first");
  write_file(base + "1", "second");
  write_file(std::string(kDir) + "/older.pcap", "older");
  write_file(std::string(kDir) + "/packet.tar", "stale");
  write_file(std::string(kDir) + "/-v.pcap", "would read as an option");
  const std::string out = get("/8007", base).out;
  const std::string head =
      "Content-Type:application/octet-stream\r\nContent-Disposition: attachment; filename= packet.tar\r\n\r\n";
  ASSERT_EQ(out.compare(0, head.size(), head), 0) << out.substr(0, 200);
  const std::string tar = out.substr(head.size());
  EXPECT_EQ(members_of(tar), (std::vector<std::string>{"older.pcap", "rvpcap-202601020304050.pcap",
                                                       "rvpcap-202601020304051.pcap"}));
  EXPECT_NE(tar.find("second"), std::string::npos);
  EXPECT_EQ(list_dir(kDir), (std::vector<std::string>{"-v.pcap", "keep.txt", "rvpcap-20260101000000"}));
  EXPECT_NE(read_file("/mnt/nand/cgi_log.txt").find("OnState:654 in : real_name:" + std::string(kDir) + "/packet.tar\n"),
            std::string::npos);

  // No capture files: an archive of no member.
  const std::string empty = get("/8007", base).out;
  ASSERT_EQ(empty.compare(0, head.size(), head), 0);
  EXPECT_TRUE(members_of(empty.substr(head.size())).empty());
  EXPECT_GE(empty.size() - head.size(), 1024U);
  EXPECT_FALSE(file_exists(std::string(kDir) + "/packet.tar"));
  // A directory that does not exist: nothing to send.
  EXPECT_EQ(get("/8007", "/tmp/none/rvpcap-20260102030405").out, "");
}

// Only what went into a sent archive is removed: a failed pack (a half-written archive) sends
// nothing and keeps every capture; files tar did not take ("*.pcapng", hidden) stay after a send.
TEST_F(CaptureTest, DownloadRemovesOnlyWhatItSent) {
  const std::string base = std::string(kDir) + "/rvpcap-20260102030405";
  write_file(base + "0", "first");
  write_file(std::string(kDir) + "/trace.pcapng", "other tool");
  write_file(std::string(kDir) + "/.hidden.pcap", "hidden");
  install("/tmp/rec/tar", "#!/bin/sh\necho \"$@\" > /tmp/rec/tar.args\nprintf half > " + std::string(kDir) +
                             "/packet.tar\nexit 2\n");
  EXPECT_EQ(get("/8007", base).out, "");
  // Plain options any tar takes, the names as arguments.
  EXPECT_EQ(read_file("/tmp/rec/tar.args"),
            "-cf " + std::string(kDir) + "/packet.tar -C " + kDir + " rvpcap-202601020304050.pcap\n");
  EXPECT_EQ(list_dir(kDir), (std::vector<std::string>{".hidden.pcap", "keep.txt", "rvpcap-20260101000000",
                                                      "rvpcap-202601020304050.pcap", "trace.pcapng"}));
  cgi_env_.erase("PATH");  // the real tar
  ASSERT_NE(get("/8007", base).out, "");
  EXPECT_EQ(list_dir(kDir),
            (std::vector<std::string>{".hidden.pcap", "keep.txt", "rvpcap-20260101000000", "trace.pcapng"}));
}

// A real capture on the loopback: tcpdump runs on after the request, sees the test's datagrams,
// stops on "/8006" sent right after them; the download's archive holds a pcap file with them all.
TEST_F(CaptureTest, RealCaptureOnTheLoopback) {
  cgi_env_.erase("PATH");
  install("/www/webmonitor", read_file(ZV_DEVICE_BIN "/webmonitor"));
  const int port = 20000 + static_cast<int>(getpid() % 20000);
  const std::string out =
      post("/8005", R"({"nic": "lo", "ip": "127.0.0.1", "port": ")" + std::to_string(port) + R"(", "mntPath": "/tmp/cap"})").out;
  const size_t at = out.find("rvpcap-");
  ASSERT_NE(at, std::string::npos) << out;
  const std::string base = std::string(kDir) + "/" + out.substr(at, 21);
  // tcpdump creates its file once it listens.
  bool listening = false;
  for (int i = 0; i < 500 && !listening; ++i) {
    for (const std::string& name : list_dir(kDir)) listening |= name.rfind("rvpcap-", 0) == 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_TRUE(listening) << "tcpdump did not start";
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const char datagram[] = "zv-capture-probe";
  ASSERT_TRUE(send_loopback_datagrams(port, datagram, 3));
  // Stopped at once and packed at once: the stop lets tcpdump take and write every packet sent
  // before it, and returns only when the capture has ended.
  EXPECT_EQ(post("/8006", "").out, kOk);
  bool ended = true;
  for (const std::string& name : list_dir("/proc")) {
    ended &= name.find_first_not_of("0123456789") != std::string::npos ||
             read_file("/proc/" + name + "/comm") != "tcpdump\n" ||
             read_file("/proc/" + name + "/stat").find(") Z") != std::string::npos;
  }
  EXPECT_TRUE(ended) << "a capture still runs after the stop";

  const std::string reply = get("/8007", base).out;
  const size_t body = reply.find("\r\n\r\n");
  ASSERT_NE(body, std::string::npos);
  const std::string tar = reply.substr(body + 4);
  const std::vector<std::string> members = members_of(tar);
  ASSERT_EQ(members.size(), 1U);
  EXPECT_EQ(members[0].rfind("rvpcap-", 0), 0U);
  // The pcap file: its global header, then three records holding the datagram.
  const std::string pcap = tar.substr(512);
  uint32_t magic = 0;
  std::memcpy(&magic, pcap.data(), 4);
  EXPECT_TRUE(magic == 0xa1b2c3d4 || magic == 0xa1b23c4d) << std::hex << magic;
  size_t packets = 0;
  for (size_t p = 24; p + 16 <= pcap.size();) {
    uint32_t captured = 0;
    std::memcpy(&captured, pcap.data() + p + 8, 4);
    if (captured == 0 || p + 16 + captured > pcap.size()) break;
    if (pcap.substr(p + 16, captured).find(datagram) != std::string::npos) ++packets;
    p += 16 + captured;
  }
  EXPECT_EQ(packets, 3U);
  EXPECT_EQ(list_dir(kDir), std::vector<std::string>{"keep.txt"});
}

}  // namespace
}  // namespace zvtest
