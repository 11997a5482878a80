// Diagnostics export and download, batch camera addresses and the switched-off download entry.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "common/messages/device.h"
#include "platform/zvdb/camera_tables.h"
#include "tests/device/device_fixture.h"

namespace zvtest {
namespace {

using DiagnosticsTest = DeviceTest;

const std::string kAttachmentHead = "Content-Type:application/octet-stream\r\nContent-Disposition: attachment; filename= ";

TEST_F(DiagnosticsTest, ExportAnswersThePackagePathPercentEncoded) {
  write_file("/tmp/diag \xc3\xbc.tar", "package");
  write_file("/tmp/p", "package");
  core_->reply(kDiagnosticsExport.id, concat({int32s({0, 0}), text_field("/tmp/diag \xc3\xbc.tar", 256)}));
  EXPECT_EQ(get("/6310").out, kTextHeader + "OK//tmp/diag%20%C3%BC.tar\r\n");
  EXPECT_EQ(only_message(*core_, kDiagnosticsExport.id).payload, text_field("/tmp", 64));
  // A path up to the payload's end (no terminator), a failed status, no answer.
  core_->reply(kDiagnosticsExport.id, concat({int32s({0, 1}), Bytes{'/', 't', 'm', 'p', '/', 'p'}}));
  EXPECT_EQ(get("/6310").out, kTextHeader + "OK//tmp/p\r\n");
  // A package the download could not send is not offered, and the one offered before is dropped:
  // in a directory of its own, missing, or encoded longer than the download's 255 characters.
  std::string long_name = "/tmp/";
  for (int i = 0; i < 84; ++i) long_name += "\xc3\xbc";
  write_file(long_name, "package");
  for (const std::string& path : {std::string("/tmp/sub/x.tar"), std::string("/tmp/missing.tar"), long_name}) {
    core_->reply(kDiagnosticsExport.id, concat({int32s({0, 0}), text_field(path, 256)}));
    EXPECT_EQ(get("/6310").out, kTextHeader + "Failed") << path;
  }
  EXPECT_EQ(get("/6311", "/tmp/p").out, "");
  EXPECT_EQ(read_file("/tmp/p"), "package");
  core_->reply(kDiagnosticsExport.id, int32s({0, -1}));
  EXPECT_EQ(get("/6310").out, kTextHeader + "Failed");
  core_->no_reply(kDiagnosticsExport.id);
  EXPECT_EQ(get("/6310").out, kTextHeader + "Failed");
  // An export already running: the core is not asked.
  write_file("/tmp/tmp_diagnostic", "");
  core_->clear_received();
  EXPECT_EQ(get("/6310").out, kTextHeader + "Failed");
  EXPECT_TRUE(ids().empty());
}

TEST_F(DiagnosticsTest, DownloadSendsThePackageOnceThenRemovesIt) {
  write_file("/tmp/diag 1.tar", std::string("tar\0bytes", 9));
  // Only the package the export reported is sent: before the export, nothing.
  EXPECT_EQ(get("/6311", "%2Ftmp%2Fdiag%201.tar").out, "");
  core_->reply(kDiagnosticsExport.id, concat({int32s({0, 0}), text_field("/tmp/diag 1.tar", 256)}));
  ASSERT_EQ(get("/6310").out, kTextHeader + "OK//tmp/diag%201.tar\r\n");
  write_file("/tmp/other.tar", "other");
  EXPECT_EQ(get("/6311", "/tmp/other.tar").out, "");
  EXPECT_EQ(read_file("/tmp/other.tar"), "other");
  EXPECT_EQ(get("/6311", "%2Ftmp%2Fdiag%201.tar").out, kAttachmentHead + "diag 1.tar\r\n\r\n" + std::string("tar\0bytes", 9));
  EXPECT_FALSE(file_exists("/tmp/diag 1.tar"));
  write_file("/tmp/diag 1.tar", "again");
  EXPECT_EQ(get("/6311", "/tmp/diag%201.tar").out, "") << "once";
}

TEST_F(DiagnosticsTest, HostileDownloadPathsWriteAndRemoveNothing) {
  write_file("/tmp/canary", "c");
  write_file("/tmp/.hidden", "c");
  write_file("/tmp/cgilockfile", "");
  write_file("/tmp/zvcore", "");
  write_file("/mnt/nand/canary", "c");
  ASSERT_EQ(symlink("/mnt/nand/canary", "/tmp/link"), 0);
  const std::vector<std::string> before = list_dir("/tmp");
  for (const char* path : {"/tmp/../mnt/nand/canary", "%2Ftmp%2F..%2Fmnt%2Fnand%2Fcanary", "/mnt/nand/canary",
                           "/tmp/.hidden", "/tmp/cgilockfile", "/tmp/zvcore", "/tmp/link", "/tmp/", "/tmp",
                           "/tmp/canary%00x", "tmp/canary", "/tmp/%2e%2e/mnt/nand/canary"}) {
    SCOPED_TRACE(path);
    EXPECT_EQ(get("/6311", path).out, "");
  }
  // Above the 255 characters the download keeps: cut, and no such file.
  EXPECT_EQ(get("/6311", "/tmp/canary" + std::string(300, 'x')).out, "");
  EXPECT_EQ(list_dir("/tmp"), before);
  EXPECT_EQ(read_file("/mnt/nand/canary"), "c");
  EXPECT_EQ(read_file("/tmp/canary"), "c");
}

class CameraAddressTest : public DeviceTest {
 protected:
  std::string address(int slot) {
    CameraRecord camera{};
    read_camera(kZvdbPath, &camera, slot);
    zvdb_close_all();
    return text_of(camera.ip_addr);
  }
};

TEST_F(CameraAddressTest, GroupsOfSlotsShareOneAddress) {
  EXPECT_EQ(post("/ipc", R"({"startip": "192.168.1.10", "chnNum": 2, "chnFre": 4})").out, kOk);
  for (int slot = 0; slot < 8; ++slot) EXPECT_EQ(address(slot), slot < 4 ? "192.168.1.10" : "192.168.1.11") << slot;
  EXPECT_EQ(address(8), "");
  EXPECT_TRUE(ids().empty());
  // The last octet wraps without carry.
  EXPECT_EQ(post("/ipc", R"({"startip": "10.0.0.255", "chnNum": 2, "chnFre": 1})").out, kOk);
  EXPECT_EQ(address(1), "10.0.0.0");
}

TEST_F(CameraAddressTest, LoopsEndAtTheCameraLimit) {
  set_param_int(kZvdbPath, "max_cameras", 3);
  zvdb_close_all();
  EXPECT_EQ(post("/ipc", R"({"startip": "1.1.1.1", "chnNum": 2147483647, "chnFre": 2})").out, kOk);
  EXPECT_EQ(address(2), "1.1.1.2");
  EXPECT_EQ(address(3), "");
  set_param_int(kZvdbPath, "max_cameras", 100);
  zvdb_close_all();
  EXPECT_EQ(post("/ipc", R"({"startip": "2.2.2.2", "chnNum": 1, "chnFre": 2147483647})").out, kOk);
  EXPECT_EQ(address(63), "2.2.2.2");
  CameraRecord beyond{};
  EXPECT_NE(read_camera(kZvdbPath, &beyond, 64), 0) << "never past 64 slots";
  zvdb_close_all();
  EXPECT_EQ(post("/ipc", R"({"startip": "3.3.3.3", "chnNum": 2147483647, "chnFre": 0})").out, kOk);
}

TEST_F(CameraAddressTest, AStartThatIsNotAnAddressWritesNothing) {
  for (const char* start : {"192.168.1", "192.168.1.256", "192.168.1.1x", "-1.2.3.4", "1..2.3", "", "1.2.3.4.5"}) {
    expect_refused("/ipc", std::string(R"({"chnNum": 1, "chnFre": 1, "startip": ")") + start + "\"}");
  }
  expect_refused("/ipc", R"({"chnNum": 1, "chnFre": 1})");
  EXPECT_EQ(get("/dw.cgi", "anything").out, kTextHeader + "NG download");
}

}  // namespace
}  // namespace zvtest
