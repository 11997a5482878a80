// The local set-up switches: what each stores, the notices without waiting, refusals that leave
// the database as it was.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/messages/camera.h"
#include "common/messages/local.h"
#include "common/messages/network.h"
#include "platform/zvdb/camera_tables.h"
#include "platform/zvdb/network_tables.h"
#include "platform/zvdb/record_tables.h"
#include "tests/support/held_lock.h"
#include "tests/support/request_fixture.h"

namespace zvtest {
namespace {

class LocalTest : public RequestTest {
 protected:
  CameraRecord camera(int id) {
    CameraRecord c{};
    EXPECT_EQ(read_camera(kZvdbPath, &c, id), 0);
    zvdb_close_all();
    return c;
  }
  int setting(const char* key) {
    const int value = get_param_int(kZvdbPath, key, -99);
    zvdb_close_all();
    return value;
  }
};

TEST_F(LocalTest, SshSwitchKeepsTheOtherPorts) {
  EXPECT_EQ(post("/3300", R"({"sshEnable": 1})").out, kOk);
  PortConfig ports{};
  kPorts.read(kZvdbPath, &ports, kNetworkRow);
  zvdb_close_all();
  EXPECT_EQ(ports.enable_ssh, 1);
  EXPECT_EQ(ports.ssh_port, 22);
  EXPECT_EQ(ports.http_port, 80);
  settle();
  EXPECT_EQ(only_message(*core_, kNetworkChanged.id).payload, text_field("more", 32));
  for (const char* body : {R"({"sshEnable": 2})", R"({"sshEnable": -1})", "", "[1]"}) expect_refused("/3300", body);
}

TEST_F(LocalTest, SettingSwitchesStoreTheirValue) {
  struct Row {
    const char* id;
    const char* key;
    const char* setting;
  } rows[] = {{"/3301", "autoLoginEnable", "local_auth_enable"}, {"/3303", "wizardEnable", "wizard_enable"}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.id);
    EXPECT_EQ(post(r.id, std::string("{\"") + r.key + "\": 1}").out, kOk);
    EXPECT_EQ(setting(r.setting), 1);
    EXPECT_EQ(post(r.id, "{}").out, kOk);
    EXPECT_EQ(setting(r.setting), 1) << "an absent member keeps the stored value";
    expect_refused(r.id, std::string("{\"") + r.key + "\": 2}");
    expect_refused(r.id, std::string("{\"") + r.key + "\": -1}");
    expect_refused(r.id, "x");
  }
  settle();
  EXPECT_TRUE(core_->received().empty());
}

TEST_F(LocalTest, RecordModeGoesToEverySixtyFourRowsBeforeTheNotices) {
  EXPECT_EQ(post("/3302", R"({"recordMode": 2})").out, kOk);
  ASSERT_TRUE(core_->wait_for(kRecordChanged.id, 64));
  settle();
  const auto notices = core_->received(kRecordChanged.id);
  ASSERT_EQ(notices.size(), 64u);
  for (int32_t c = 0; c < 64; ++c) {
    RecordConfig row{};
    kRecordConfigs.read(kZvdbPath, &row, {c});
    EXPECT_EQ(row.id, c);
    EXPECT_EQ(row.mode, 2);
    EXPECT_EQ(row.post_record_duration, 30) << "the other fields are kept";
    EXPECT_EQ(notices[static_cast<size_t>(c)].payload, int32s({c}));
  }
  zvdb_close_all();
  for (const char* body : {R"({"recordMode": 3})", R"({"recordMode": -1})", "{}"}) expect_refused("/3302", body);
}

TEST_F(LocalTest, CameraQuickEditSetsTheFieldsItNamesAndKeepsCredentials) {
  CameraRecord stored = camera(3);
  std::strcpy(stored.user_name, "keep");
  std::strcpy(stored.password, "secret");
  stored.cam_protocol = 5;
  ASSERT_EQ(write_camera(kZvdbPath, &stored), 0);
  zvdb_close_all();
  EXPECT_EQ(post("/3304", R"({"id": 3, "enable": 1, "ipAddr": ")" + std::string(63, '1') +
                              R"(", "managePort": 8080, "password": "new"})")
                .out,
            kOk);
  const CameraRecord edited = camera(3);
  EXPECT_EQ(edited.enable, 1);
  EXPECT_EQ(text_of(edited.ip_addr), std::string(63, '1'));
  EXPECT_EQ(edited.manage_port, 8080);
  EXPECT_EQ(edited.cam_protocol, 0) << "the word at offset 748 is cleared";
  EXPECT_EQ(text_of(edited.user_name), "keep");
  EXPECT_EQ(text_of(edited.password), "new");
  EXPECT_EQ(edited.main_rtsp_port, stored.main_rtsp_port);
  EXPECT_EQ(post("/3304", R"({"id": 64, "enable": 0, "ipAddr": "10.0.0.9", "managePort": 0})").out, kOk);
  EXPECT_EQ(text_of(camera(64).ip_addr), "10.0.0.9");
  settle();
  EXPECT_EQ(received_ids(*core_), (std::vector<int32_t>{1201, 1202}));
  EXPECT_EQ(core_->received(kCameraAdded.id)[0].payload, int32s({3}));
  EXPECT_EQ(core_->received(kCameraDeleted.id)[0].payload, int32s({64}));
  for (const char* body : {
           R"({"id": 65, "enable": 1, "ipAddr": "1.2.3.4", "managePort": 80})",
           R"({"id": -1, "enable": 1, "ipAddr": "1.2.3.4", "managePort": 80})",
           R"({"enable": 1, "ipAddr": "1.2.3.4", "managePort": 80})",
           R"({"id": 1, "enable": 2, "ipAddr": "1.2.3.4", "managePort": 80})",
           R"({"id": 1, "enable": -1, "ipAddr": "1.2.3.4", "managePort": 80})",
           R"({"id": 1, "enable": 1, "ipAddr": "", "managePort": 80})",
           R"({"id": 1, "enable": 1, "managePort": 80})",
           R"({"id": 1, "enable": 1, "ipAddr": "1.2.3.4"})",
           R"({"id": 1, "enable": 1, "ipAddr": "1.2.3.4", "managePort": -1})",
           R"({"id": 1, "enable": 1, "ipAddr": "1.2.3.4", "managePort": 65536})",
       }) {
    expect_refused("/3304", body);
  }
  // An address one character above the 63 it may have: refused, not stored cut as another.
  expect_refused("/3304", R"({"id": 3, "enable": 1, "ipAddr": ")" + std::string(64, '1') + R"(", "managePort": 80})");
  // A password one character above its 63: refused, not stored cut as a login nobody chose.
  expect_refused("/3304", R"({"id": 3, "enable": 1, "ipAddr": "1.2.3.4", "managePort": 80, "password": ")" +
                              std::string(64, 'p') + "\"}");
}

// A switch stored while another request stores the same row: the other request's change stays.
TEST_F(LocalTest, SwitchesKeepWhatAnotherRequestStoredMeanwhile) {
  const RunResult ssh = while_lock_held([&] { return post("/3300", R"({"sshEnable": 1})"); }, [&] {
    PortConfig ports{};
    ASSERT_EQ(kPorts.read(kZvdbPath, &ports, kNetworkRow), 0);
    ports.http_port = 8081;
    ASSERT_EQ(kPorts.write(kZvdbPath, &ports), 0);
    zvdb_close_all();
  });
  EXPECT_EQ(ssh.out, kOk);
  PortConfig ports{};
  ASSERT_EQ(kPorts.read(kZvdbPath, &ports, kNetworkRow), 0);
  zvdb_close_all();
  EXPECT_EQ(ports.enable_ssh, 1);
  EXPECT_EQ(ports.http_port, 8081);

  const RunResult edit = while_lock_held(
      [&] { return post("/3304", R"({"id": 3, "enable": 1, "ipAddr": "10.0.0.3", "managePort": 80})"); }, [&] {
        CameraRecord c = camera(3);
        std::strcpy(c.user_name, "meanwhile");
        ASSERT_EQ(write_camera(kZvdbPath, &c), 0);
        zvdb_close_all();
      });
  EXPECT_EQ(edit.out, kOk);
  EXPECT_EQ(text_of(camera(3).user_name), "meanwhile");
}

}  // namespace
}  // namespace zvtest
