// Every settings writer on a full flash: the request answers with its failure form, the core is
// told nothing (no change notice, no operation-log record), and once there is room again the
// database holds exactly what it held before. The flash is this program's own small file system
// (tools/sandbox --nand-size), filled to the last byte before each request.
#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/support/request_fixture.h"

namespace zvtest {
namespace {

constexpr const char* kFiller = "/mnt/nand/filler";

class FullFlash : public RequestTest {
 protected:
  void TearDown() override {
    sqlite3_close(holder_);
    RequestTest::TearDown();
  }
  // Keeps the database open as the core does (its log and shared index stay in place), empties
  // the log into the file (so the next commit needs new blocks), then fills the flash until a
  // write fails.
  void fill_flash() {
    if (holder_ == nullptr) {
      ASSERT_EQ(sqlite3_open(kZvdbPath, &holder_), SQLITE_OK);
    }
    ASSERT_EQ(sqlite3_exec(holder_, "SELECT COUNT(*) FROM settings; PRAGMA wal_checkpoint(TRUNCATE)",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    const int fd = open(kFiller, O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    const std::vector<char> block(4096, 'f');
    while (write(fd, block.data(), block.size()) > 0) {
    }
    while (write(fd, block.data(), 1) > 0) {
    }
    close(fd);
  }
  void make_room() { unlink(kFiller); }

  sqlite3* holder_ = nullptr;
};

struct Writer {
  const char* id;
  const char* body;
  const char* reply;  // the failure form, without its header
  bool json;          // the reply's header
};

const Writer kWriters[] = {
    {"/6001",
     R"({"camId":2,"camName":"Yard","showName":1,"showDate":0,"showWeek":1,"dateFormat":2,)"
     R"("timeFormat":1,"datePosX":0.5,"datePosY":0.25,"namePosX":0.1,"namePosY":0.9,"alpha":3})",
     "CGI ERROR", false},
    {"/6071",
     R"({"name":"guest","password":"0123456789abcdef0123456789abcdef","type":2,"permission":0,)"
     R"("remotePermission":0})",
     "CGI ERROR", false},
    {"/6072",
     R"({"id":0,"name":"admin","password":"00000000000000000000000000000000","type":0,)"
     R"("permission":-1,"remotePermission":-1})",
     "CGI ERROR", false},
    {"/1024", "", "CGI ERROR", false},
    {"/6012",
     R"({"camId":4,"enable":1,"sensitivity":5,"triChannels":"0101","triAlarms":6,"interval":7,)"
     R"("enableZV":1,"motionTable":"gggg"})",
     "CGI ERROR", false},
    {"/6112",
     R"({"chnid":2,"sensitivity":6,"enableZV":0,"motionTable":"abc","copyCnt":2,"copyChn":[3,1],)"
     R"("dialog":{"chnid":2,"interval":33,"enable":1,"ptzChnId":2,"ptzType":1,)"
     R"("ptzParams":[{"acto_ptz_channel":5,"acto_ptz_type":1}]}})",
     "CGI ERROR", false},
    {"/2003",
     R"({"id":5,"name":"Gate","minorid":3,"enable":1,"ipAddr":"192.168.1.64","managePort":8080,)"
     R"("camProtocol":0,"userName":"cam","password":"secret","transmitProtocol":1,"enableSubStream":1,)"
     R"("syncTime":1,"mainRtspPort":1554,"mainSourcePath":"/main"})",
     "CGI ERROR", false},
    {"/2005", R"({"chnid":0})", "CGI ERROR", false},
    {"/6081",
     R"({"mainResolution":2,"audioOutputOn":1,"audioVolume":70,"hdmiAudioOn":1,"subResolution":1,)"
     R"("wizardEnable":0,"hostname":"Yard","deviceId":9,"displayMode":1,"subEnable":0})",
     "CGI ERROR", false},
    {"/1012", R"({"hostName":"Gate","deviceId":8})", "CGI ERROR", false},
    {"/1033", R"({"enable":1,"hour":4})", "CGI ERROR", false},
    {"/6301", R"({"filterEnable":1,"filterList":[{"address_type":0,"address":"10.0.0.1"}]})", "CGI ERROR", false},
    {"/7001",
     R"({"ntpEnable":1,"dstEnable":1,"timeZone":"GMT+01:00","timeZoneName":"Europe/Paris","syncEnable":1,)"
     R"("syncInterval":3,"syncPc":1})",
     "CGI ERROR", false},
    {"/3300", R"({"sshEnable":1})", "CGI ERROR", false},
    {"/3301", R"({"autoLoginEnable":1})", "CGI ERROR", false},
    {"/3302", R"({"recordMode":1})", "CGI ERROR", false},
    {"/3303", R"({"wizardEnable":1})", "CGI ERROR", false},
    {"/3304", R"({"id":2,"enable":1,"ipAddr":"10.1.1.2","managePort":81})", "CGI ERROR", false},
    {"/ipc", R"({"startip":"10.2.2.2","chnNum":1,"chnFre":2})", "CGI ERROR", false},
};

TEST_F(FullFlash, EveryWriterRefusesAndTellsTheCoreNothing) {
  for (const Writer& w : kWriters) {
    SCOPED_TRACE(w.id);
    const std::string before = dump();
    fill_flash();
    const RunResult r = post(w.id, w.body);
    settle();
    make_room();
    EXPECT_EQ(r.out, (w.json ? kJsonHeader : kTextHeader) + w.reply);
    EXPECT_TRUE(core_->received().empty()) << "first message: " << core_->received()[0].id;
    EXPECT_EQ(dump(), before);
    core_->clear_received();
  }
}

// The same requests with room to spare store and notify (the table above is not vacuous).
TEST_F(FullFlash, WithRoomEveryWriterStores) {
  for (const Writer& w : kWriters) {
    SCOPED_TRACE(w.id);
    const std::string before = dump();
    const RunResult r = post(w.id, w.body);
    settle();
    EXPECT_NE(r.out, (w.json ? kJsonHeader : kTextHeader) + w.reply);
    EXPECT_NE(dump(), before);
  }
}

}  // namespace
}  // namespace zvtest
