// Every settings writer on a full flash: the request answers with its failure form, the core is
// told nothing (no change notice, no operation-log record), and once there is room again the
// database holds exactly what it held before. The flash is this program's own small file system
// (tools/sandbox --nand-size), filled to the last byte before each request.
#include <fcntl.h>
#include <sys/statvfs.h>
#include <sys/stat.h>
#include <sqlite3.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/support/request_fixture.h"
#include "tests/support/writer_table.h"

namespace zvtest {
namespace {

constexpr const char* kFiller = "/mnt/nand/filler";

class FullFlash : public RequestTest {
 protected:
  void SetUp() override {
    RequestTest::SetUp();
    // Writers that wait for the core's answer after storing (default route, multicast, P2P off, a
    // disk's removal, which puts the disk's row back unless the core answers that it is gone).
    for (int32_t id : {1724, 1729, 3701, 3496}) core_->reply(id, int32s({0}));
  }
  void TearDown() override {
    sqlite3_close(holder_);
    RequestTest::TearDown();
  }
  // Keeps the database open as the core does (its log and shared index stay in place), empties
  // the log into the file (so the next commit needs new blocks), then fills the flash until a
  // write fails.
  void fill_flash() {
    // Only a small flash of its own is filled: run outside ctest (without the sandbox's small
    // /mnt/nand) this would fill the machine's disk.
    struct statvfs fs {};
    ASSERT_EQ(statvfs("/mnt/nand", &fs), 0);
    ASSERT_LE(static_cast<uint64_t>(fs.f_blocks) * fs.f_frsize, 64u << 20)
        << "/mnt/nand is not a small flash: run this test through ctest (tools/sandbox --nand-size)";
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

// Clearing a tour needs a stored tour first (an empty one is left as it is by any writer).
TEST_F(FullFlash, TourClearRefusesAndTellsTheCoreNothing) {
  ASSERT_EQ(post("/6055", R"({"chn":3,"tourid":2,"rowsize":1,"path":[{"preset":4,"speed":5,"time":6}]})").out, kOk);
  settle();
  core_->clear_received();
  const std::string before = dump();
  fill_flash();
  const RunResult r = post("/6057", R"({"chn":3,"tourid":2})");
  settle();
  make_room();
  EXPECT_EQ(r.out, kCgiErrorText);
  EXPECT_TRUE(core_->received().empty());
  EXPECT_EQ(dump(), before);
  EXPECT_EQ(post("/6057", R"({"chn":3,"tourid":2})").out, kOk);
  EXPECT_NE(dump(), before);
}

// The HTTPS switch stores only with a certificate in place, and the certificate page switches
// HTTPS off only when the certificate has gone: both need their file set up first.
TEST_F(FullFlash, HttpsSwitchesRefuseAndTellTheCoreNothing) {
  constexpr const char* kCert = "/mnt/nand/ssl/ssl_cert.pem";
  mkdir("/mnt/nand/ssl", 0755);
  write_file(kCert, "certificate");
  const struct {
    const char* id;
    const char* body;
    bool with_cert;
    std::string failure, stored;
  } rows[] = {
      {"/7086", R"({"httpsenable":1})", true, kCgiErrorText, kOk},
      {"/7081", "", false, kCgiErrorJson, kJsonHeader + R"({ "enable": 0, "checkfile": "NOFILE" })"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.id);
    if (!r.with_cert) unlink(kCert);
    settle();
    core_->clear_received();
    const std::string before = dump();
    fill_flash();
    const RunResult refused = post(r.id, r.body);
    settle();
    make_room();
    EXPECT_EQ(refused.out, r.failure);
    EXPECT_TRUE(core_->received().empty());
    EXPECT_EQ(dump(), before);
    EXPECT_EQ(post(r.id, r.body).out, r.stored);
    EXPECT_NE(dump(), before);
  }
}

}  // namespace
}  // namespace zvtest
