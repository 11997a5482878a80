// Device settings through the whole stack (lighttpd, webreq, the core simulator): a WAV file
// uploaded as a browser does, named, listed, played and deleted; a diagnostics package exported,
// downloaded and opened with tar; the time zone and NTP set and read back.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/e2e/stack.h"

namespace zvtest {
namespace {

const std::vector<std::string> kAsAdmin = {"-H", "Cookie: userName=admin"};
const std::string kWave = std::string("RIFF\x24\0\0\0WAVEfmt ", 16) + std::string(28, '\0');

TEST(EndToEndDevice, AlarmAudioFileLifecycle) {
  DemoStack stack;
  ASSERT_TRUE(stack.ready());
  write_file("/run/Door bell.wav", kWave);
  HttpReply r = stack.get("/6321", {"-F", "file=@/run/Door bell.wav;type=audio/wav"});
  ASSERT_EQ(r.body, "CGI OK status:[0], data:[RG9vciBiZWxsLndhdg]") << r.headers;
  EXPECT_EQ(stack.post_json("/6322", R"({"uploadName": "RG9vciBiZWxsLndhdg", "name": "Door bell"})", kAsAdmin).body,
            R"({ "status": 0 })");
  EXPECT_EQ(stack.get("/6320").body, R"({ "audioFileList": [ { "id": 0, "enable": 1, "name": "Door bell" } ], "status": 0 })");
  EXPECT_EQ(stack.post_json("/6325", R"({"id": 0})").body, R"({ "status": 0 })");
  EXPECT_EQ(stack.post_json("/6323", R"({"idMask": 1})", kAsAdmin).body, R"({ "status": 0 })");
  EXPECT_EQ(stack.get("/6320").body, R"({ "audioFileList": [ ], "status": 0 })");
  const RunResult state = shell(bin_path("zvcore-sim") + " ctl --control /var/run/zvcore-sim.ctl device state");
  EXPECT_NE(state.out.find(" plays 1,0,"), std::string::npos) << state.out;
}

TEST(EndToEndDevice, DiagnosticsPackageDownloadsOnceAndOpensWithTar) {
  DemoStack stack;
  ASSERT_TRUE(stack.ready());
  const std::string reply = stack.get("/6310").body;
  ASSERT_EQ(reply.rfind("OK/", 0), 0u) << reply;
  const std::string encoded = reply.substr(3, reply.size() - 5);
  HttpReply download = stack.get("/6311?" + encoded, {"-o", "/tmp/package.tar"});
  EXPECT_NE(download.headers.find("Content-Disposition: attachment; filename= diagnostic-"), std::string::npos)
      << download.headers;
  const RunResult listing = shell("tar -tf /tmp/package.tar");
  EXPECT_EQ(listing.out, "cgi_log.txt\nsettings.txt\ntables.txt\nsimulator.txt\n");
  const RunResult settings = shell("tar -xOf /tmp/package.tar settings.txt");
  EXPECT_NE(settings.out.find("max_cameras=32\n"), std::string::npos);
  EXPECT_FALSE(file_exists(encoded)) << "the package is sent once";
  EXPECT_EQ(stack.get("/6311?" + encoded).headers.find("Content-Disposition"), std::string::npos);
}

TEST(EndToEndDevice, TimeZoneAndNtpReadBack) {
  DemoStack stack;
  ASSERT_TRUE(stack.ready());
  EXPECT_EQ(stack.post_json("/7001", R"({"ntpEnable": 1, "dstEnable": 0, "timeZone": "GMT-05:00",
                                         "timeZoneName": "America/New_York", "ntpServer": "time.example",
                                         "syncEnable": 1, "syncInterval": 6, "syncPc": 1})",
                            kAsAdmin)
                .body,
            "OK");
  const std::string read = stack.get("/7000").body;
  EXPECT_NE(read.find(R"("ntpEnable": 1, "dstEnable": 0, "timeZone": "GMT-05:00", "timeZoneName": "America\/New_York", )"
                      R"("ntpServer": "time.example", "syncEnable": 1, "syncInterval": 6, "syncPc": 1 })"),
            std::string::npos)
      << read;
  std::vector<int32_t> order;
  for (const auto& m : stack.messages(3)) {
    if (m.id == 1701 || m.id == 1711 || m.id == 3485) order.push_back(m.id);
  }
  EXPECT_EQ(order, (std::vector<int32_t>{1701, 1711, 3485}));
}

}  // namespace
}  // namespace zvtest
