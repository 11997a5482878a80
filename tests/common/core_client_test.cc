// The core client (send, wait, budgets, the reply flag and claim), the reply writers and the
// operation-log record, in-process against the fake core.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "common/core_client.h"
#include "common/exchange.h"
#include "common/oplog.h"
#include "common/payload_reader.h"
#include "common/reply.h"
#include "tests/common/stdout_capture.h"
#include "tests/fake_core/fake_core.h"

namespace {

using zvtest::FakeCore;
using zvtest::StdoutCapture;

const std::string kText = "Content-type: text/plain\r\n\r\n";
const std::string kJson = "Content-type: application/json\r\n\r\n";

// A module callback as handlers write them: one int32 status, printed through reply_status_json.
void status_callback(int, ZvMsgHeader* header, void* payload) {
  PayloadReader reader(header, payload);
  if (header->msg_id == 6153 || header->msg_id == 8201 || header->msg_id == 6485) {
    reply_status_json(static_cast<int>(reader.record_count(4)), payload);
  }
}

// A callback that writes its own text reply under the claim.
void text_callback(int, ZvMsgHeader* header, void*) {
  if (header->msg_id != 6000) return;
  if (reply_claim()) write_reply(REPLY_TEXT, "REPLY");
  reply_flag_set(1);
}

void ignore_callback(int, ZvMsgHeader*, void*) {}

// Clears the reply claim the way every core_send does (no core listens here: one quick attempt).
void g_reply_claim_reset() {
  CoreTiming saved = core_timing();
  core_set_timing({1, 0, 1});
  core_close(core_send(ignore_callback, 1, 0, nullptr, 1));
  core_set_timing(saved);
}

class CoreClientTest : public ::testing::Test {
 protected:
  void SetUp() override { core_set_timing({3, 1000, 1000}); }  // 3 attempts, 1 ms pause, 1 ms polls
};

TEST(CoreBudget, FollowsTheBudgetTable) {
  struct Case {
    int32_t id;
    int polls;
  } cases[] = {{3700, 1500}, {3702, 1500}, {1153, 3000}, {1171, 3000}, {3102, 3000}, {3535, 3000},
               {3365, 3000}, {1701, 6000}, {1713, 6000}, {3201, 6000}, {3205, 6000}, {3440, 6000},
               {3528, 6000}, {3230, 15000}, {3350, 15000}, {3494, 15000}, {3495, 15000},
               {3485, 1000}, {3504, 1000}, {0, 1000},   {-1, 1000},    {3701, 1000}, {99999, 1000}};
  for (const auto& c : cases) EXPECT_EQ(core_wait_budget(c.id), c.polls) << c.id;
}

TEST(CoreTiming, ParsesTheEnvironmentText) {
  struct Case {
    const char* text;
    CoreTiming expected;
  } cases[] = {
      {nullptr, {3000, 10000, 40000}},
      {"", {3000, 10000, 40000}},
      {"attempts=3,pause_us=1000,poll_us=500", {3, 1000, 500}},
      {"poll_us=7", {3000, 10000, 7}},
      {"attempts=0,pause_us=-5,poll_us=x,bogus=1,poll_us", {3000, 10000, 40000}},
      {"attempts=12abc,pause_us=99999999999", {3000, 10000, 40000}},
  };
  for (const auto& c : cases) {
    CoreTiming got = core_timing_parse(c.text, kCoreDefaultTiming);
    EXPECT_EQ(got.send_attempts, c.expected.send_attempts) << (c.text ? c.text : "null");
    EXPECT_EQ(got.pause_us, c.expected.pause_us) << (c.text ? c.text : "null");
    EXPECT_EQ(got.poll_us, c.expected.poll_us) << (c.text ? c.text : "null");
  }
}

TEST_F(CoreClientTest, NullCallbackSendsNothing) {
  FakeCore core;
  EXPECT_EQ(core_send(nullptr, 1153, 0, nullptr, 0), -1);
  EXPECT_EQ(core_close(-1), 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_TRUE(core.received().empty());
}

TEST_F(CoreClientTest, CoreNotRunningGivesUpWithTheFlagClear) {
  for (int no_wait : {0, 1}) {
    reply_flag_set(9);
    EXPECT_EQ(core_send(status_callback, 1153, 0, nullptr, no_wait), 0);
    EXPECT_EQ(reply_flag_get(), 0) << "cleared before sending, no_wait " << no_wait;
    EXPECT_EQ(core_close(0), 0);
  }
  StdoutCapture capture;
  EXPECT_EQ(core_request(status_callback, 1153, 0, nullptr, REPLY_JSON), 0);
  EXPECT_EQ(capture.finish(), kJson + "{status:\"CGI ERROR\"}");
}

TEST_F(CoreClientTest, ReachesACoreThatStartsDuringTheRetries) {
  core_set_timing({2000, 1000, 1000});
  std::unique_ptr<FakeCore> core;
  std::thread starter([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    core = std::make_unique<FakeCore>();
    core->reply(1153, zvtest::int32s({4}));
  });
  StdoutCapture capture;
  int32_t flag = core_request(status_callback, 1153, 0, nullptr, REPLY_JSON);
  starter.join();
  EXPECT_EQ(flag, 1);
  EXPECT_EQ(capture.finish(), kJson + "{ \"status\": 4 }");
}

TEST_F(CoreClientTest, AReplyThatComesAtOnceEndsTheWait) {
  core_set_timing({3, 1000, 60000});  // a missed reply would wait a full minute
  FakeCore core;
  core.reply(1153, zvtest::int32s({0}));
  StdoutCapture capture;
  reply_flag_set(5);
  EXPECT_EQ(core_send(status_callback, 1153, 4, "abcd", 0), 0);
  EXPECT_EQ(reply_flag_get(), 1);
  EXPECT_FALSE(core_last_wait_expired());
  core_close(0);
  EXPECT_EQ(capture.finish(), kJson + "{ \"status\": 0 }");
  auto got = core.received(1153);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].client, 3);
  EXPECT_EQ(got[0].payload, zvtest::Bytes({'a', 'b', 'c', 'd'}));
}

// With 1 ms polls, 3485 waits 1 s and 3201 waits 6 s: a reply after 2 s reaches only 3201.
TEST_F(CoreClientTest, EachMessageWaitsItsOwnBudget) {
  FakeCore core;
  core.reply(3485, zvtest::int32s({0}), 2000);
  core.reply(3201, zvtest::int32s({0}), 2000);
  StdoutCapture capture;
  core_send(status_callback, 3485, 0, nullptr, 0);
  EXPECT_EQ(reply_flag_get(), 0);
  EXPECT_TRUE(core_last_wait_expired());
  core_close(0);
  core_send(status_callback, 3201, 0, nullptr, 0);
  EXPECT_EQ(reply_flag_get(), 1);
  EXPECT_FALSE(core_last_wait_expired());
  core_close(0);
  EXPECT_EQ(capture.finish(), kJson + "{ \"status\": 0 }");
}

TEST_F(CoreClientTest, UnknownOrEmptyRepliesLeaveTheFlag) {
  FakeCore core;
  core.reply_with(1153, {{9999, zvtest::int32s({1}), 0},  // an id the callback does not know
                         {6153, {}, 0},                   // the right id without payload
                         {6153, {1, 2, 3}, 0}});          // a payload shorter than one record
  StdoutCapture capture;
  EXPECT_EQ(core_request(status_callback, 1153, 0, nullptr, REPLY_TEXT), 0);
  EXPECT_EQ(capture.finish(), kText + "CGI ERROR");
}

// A reply that arrives right around the end of the budget: whichever side wins, the client gets
// exactly one reply.
TEST_F(CoreClientTest, LateReplyRacingTheTimeoutGivesExactlyOneReply) {
  core_set_timing({3, 1000, 20});  // 1000 polls of 20 us: a 20 ms budget
  FakeCore core;
  int replies = 0, errors = 0;
  for (int round = 0; round < 40; ++round) {
    core.reply(1000, zvtest::int32s({1}), 15 + round % 11);
    StdoutCapture capture;
    core_request(text_callback, 1000, 0, nullptr, REPLY_TEXT);
    std::string out = capture.finish();
    if (out == kText + "REPLY") {
      ++replies;
    } else if (out == kText + "CGI ERROR") {
      ++errors;
    } else {
      ADD_FAILURE() << "round " << round << " wrote: " << out;
    }
  }
  EXPECT_EQ(replies + errors, 40);
}

// A callback that claims the reply and writes it but never raises the flag: the handler runs out
// its budget and must not write anything more (deterministic: no race with a late reply).
void claim_without_flag_callback(int, ZvMsgHeader* header, void*) {
  if (header->msg_id == 6000 && reply_claim()) write_reply(REPLY_TEXT, "CLAIMED");
}

TEST_F(CoreClientTest, ClaimWithoutFlagMeansTheHandlerWritesNothingMore) {
  FakeCore core;
  core.reply(1000, zvtest::int32s({1}));
  StdoutCapture capture;
  EXPECT_EQ(core_request(claim_without_flag_callback, 1000, 0, nullptr, REPLY_TEXT), 0);
  EXPECT_EQ(capture.finish(), kText + "CLAIMED");
  EXPECT_TRUE(core_last_wait_expired());
}

struct AskedRecord {
  int32_t channel;
  int32_t value;
};
constexpr Exchange<int32_t, AskedRecord> kAsk{1500, 6500, "test ask"};
constexpr Exchange<int32_t, AskedRecord> kAskShortOk{1501, 6501, "test ask, 4 bytes enough", 4};

TEST_F(CoreClientTest, AskCopiesTheAwaitedReplyAndTheHandlerPrints) {
  FakeCore core;
  const AskedRecord sent{3, 77};
  core.reply_with(1500, {{.id = 6999, .payload = zvtest::int32s({9, 9})},  // another id: ignored
                         {.id = 6500, .payload = zvtest::bytes_of(sent)}});
  StdoutCapture capture;
  std::optional<CoreReply> reply = core_ask(kAsk, int32_t{3}, REPLY_TEXT);
  EXPECT_EQ(capture.finish(), "") << "the callback writes nothing";
  ASSERT_TRUE(reply.has_value());
  AskedRecord got{};
  ASSERT_TRUE(reply->first(&got));
  EXPECT_EQ(got.channel, 3);
  EXPECT_EQ(got.value, 77);
  ASSERT_TRUE(core.wait_for(1500, 1));
  EXPECT_EQ(core.received(1500)[0].payload, zvtest::int32s({3}));
}

TEST_F(CoreClientTest, AskRefusesShortRepliesAndWritesTheErrorOnce) {
  FakeCore core;
  core.reply(1500, zvtest::int32s({1}));  // 4 bytes where 8 are needed
  core.reply(1501, zvtest::int32s({1}));
  {
    StdoutCapture capture;
    EXPECT_FALSE(core_ask(kAsk, int32_t{0}, REPLY_JSON).has_value());
    EXPECT_EQ(capture.finish(), kJson + "{status:\"CGI ERROR\"}");
  }
  {
    StdoutCapture capture;
    std::optional<CoreReply> reply = core_ask(kAskShortOk, int32_t{0}, REPLY_JSON);
    EXPECT_EQ(capture.finish(), "");
    ASSERT_TRUE(reply.has_value());
    EXPECT_EQ(reply->size(), 4u);
    AskedRecord whole{};
    EXPECT_FALSE(reply->first(&whole)) << "no whole record in 4 bytes";
  }
  {
    StdoutCapture capture;  // error_kind < 0: the caller answers on its own
    EXPECT_FALSE(core_ask(kAsk, int32_t{0}, -1).has_value());
    EXPECT_EQ(capture.finish(), "");
  }
}

TEST_F(CoreClientTest, NotifySendsWithoutWaitingAndIgnoresReplies) {
  FakeCore core;
  core.reply(1410, zvtest::int32s({1}));
  int64_t mask = (1ll << 63) | 1;
  StdoutCapture capture;
  core_notify(1410, sizeof mask, &mask);
  EXPECT_EQ(capture.finish(), "");
  ASSERT_TRUE(core.wait_for(1410, 1));
  auto got = core.received(1410);
  EXPECT_EQ(got[0].payload, zvtest::bytes_of(mask));
}

TEST_F(CoreClientTest, ClaimIsGrantedOncePerSend) {
  FakeCore core;
  core_send(status_callback, 1234, 0, nullptr, 1);
  core_close(0);
  EXPECT_TRUE(reply_claim());
  EXPECT_FALSE(reply_claim());
  StdoutCapture capture;
  reply_status_text(0, "late");
  reply_status_json(1, "\1\0\0\0");
  EXPECT_EQ(capture.finish(), "") << "the reply was claimed already";
  EXPECT_EQ(reply_flag_get(), 1);
}

TEST_F(CoreClientTest, ReplyWritersWriteTheExactBytes) {
  struct Case {
    const char* name;
    void (*write)();
    std::string expected;
  } cases[] = {
      {"text", [] { write_reply(REPLY_TEXT, "OK"); }, kText + "OK"},
      {"json", [] { write_reply(REPLY_JSON, "[1]"); }, kJson + "[1]"},
      {"empty json object", [] { write_reply(REPLY_JSON, "{}"); }, kJson + "{}"},
      {"other kind: bare body", [] { write_reply(7, "Location: x\r\n\r\n"); }, "Location: x\r\n\r\n"},
      {"null text", [] { EXPECT_EQ(write_reply(REPLY_TEXT, nullptr), -1); }, ""},
      {"format characters are text", [] { write_reply(REPLY_TEXT, "%s%n%d"); }, kText + "%s%n%d"},
      {"cgi error text", [] { reply_cgi_error(REPLY_TEXT); }, kText + "CGI ERROR"},
      {"cgi error json", [] { reply_cgi_error(REPLY_JSON); }, kJson + "{status:\"CGI ERROR\"}"},
      {"cgi error other", [] { reply_cgi_error(2); }, ""},
      {"status -3", [] { reply_status_text(-3, nullptr); }, kText + "CGI ERROR status:[-3]"},
      {"status 0 with data", [] { reply_status_text(0, "x=1"); }, kText + "CGI OK status:[0], data:[x=1]"},
      {"status json", [] { reply_status_json(2, "\xfe\xff\xff\xff\1\0\0\0"); }, kJson + "{ \"status\": -2 }"},
      {"status json without records", [] { reply_status_json(0, "\1\0\0\0"); }, ""},
      {"status json without payload", [] { reply_status_json(1, nullptr); }, ""},
      {"status text cut to 255",
       [] { reply_status_text(5, std::string(300, 'a').c_str()); },
       kText + ("CGI OK status:[5], data:[" + std::string(300, 'a')).substr(0, 255)},
  };
  for (const auto& c : cases) {
    g_reply_claim_reset();
    StdoutCapture capture;
    c.write();
    EXPECT_EQ(capture.finish(), c.expected) << c.name;
  }
  EXPECT_EQ(kText.size(), 28u);
  EXPECT_EQ(kJson.size(), 34u);
}

TEST(OpLog, InitFillsTheWebFieldsAndZeroesTheRest) {
  setenv("HTTP_COOKIE", "language=en; userName=operator; sessionId=77", 1);
  setenv("REMOTE_ADDR", "2001:db8:1111:2222:3333:4444:5555:6666%eth0-long-zone-suffix", 1);
  OpLogRecord record;
  memset(&record, 0xAB, sizeof record);
  ASSERT_EQ(op_log_init(&record), 0);
  EXPECT_EQ(record.main_type, 4);
  EXPECT_EQ(record.remote, 1);
  EXPECT_EQ(record.sub_type, 0);
  EXPECT_EQ(record.time, 0);
  EXPECT_STREQ(record.user, "operator");
  EXPECT_EQ(std::string(record.remote_address),
            std::string("2001:db8:1111:2222:3333:4444:5555:6666%eth0-long-zone-suffix").substr(0, 45));
  EXPECT_EQ(record.detail_size, 0u);
  for (unsigned char byte : zvtest::Bytes(reinterpret_cast<unsigned char*>(record.detail),
                                          reinterpret_cast<unsigned char*>(record.detail) + 512)) {
    ASSERT_EQ(byte, 0);
  }
  EXPECT_EQ(op_log_init(nullptr), -1);

  op_log_set_user(&record, std::string(80, 'u').c_str());
  EXPECT_EQ(std::string(record.user), std::string(63, 'u'));
  unsetenv("HTTP_COOKIE");
  unsetenv("REMOTE_ADDR");
  ASSERT_EQ(op_log_init(&record), 0);
  EXPECT_STREQ(record.user, "");
  EXPECT_STREQ(record.remote_address, "");
}

TEST(OpLog, DetailIsPackedWithinTheRecord) {
  OpLogRecord record{};
  int32_t percent[5] = {50, 50, 50, 100, 0};
  ASSERT_EQ(zvfs_log_pack_detail(&record, 107, percent, sizeof percent), 0);
  EXPECT_EQ(record.detail_size, 28u);
  int32_t kind = 0;
  int32_t back[5] = {};
  EXPECT_EQ(zvfs_log_unpack_detail(&record, &kind, back, sizeof back), 20);
  EXPECT_EQ(kind, 107);
  EXPECT_EQ(memcmp(back, percent, sizeof percent), 0);
  int32_t short_back[5] = {-1, -1, -1, -1, -1};
  EXPECT_EQ(zvfs_log_unpack_detail(&record, &kind, short_back, 12), 20) << "copied only up to the capacity";
  EXPECT_EQ(short_back[2], 50);
  EXPECT_EQ(short_back[3], -1);
  const uint32_t too_long = 21;  // one byte more than the detail holds
  OpLogRecord corrupt = record;
  memcpy(corrupt.detail + 4, &too_long, sizeof too_long);
  EXPECT_EQ(zvfs_log_unpack_detail(&corrupt, &kind, back, sizeof back), -1);

  zvtest::Bytes big(600, 7);
  ASSERT_EQ(zvfs_log_pack_detail(&record, 101, big.data(), 600), 0);
  EXPECT_EQ(record.detail_size, 512u) << "capped at the detail field";
  EXPECT_EQ(record.reserved3[0], 0) << "nothing written past the detail";
  EXPECT_EQ(zvfs_log_pack_detail(nullptr, 1, big.data(), 1), -1);
  EXPECT_EQ(zvfs_log_pack_detail(&record, 1, nullptr, 4), -1);
  record.detail_size = 600;
  EXPECT_EQ(zvfs_log_unpack_detail(&record, &kind, nullptr, 0), -1) << "a corrupt size is refused";
  EXPECT_EQ(log_channo_is_disk(4, 207), 1);
  EXPECT_EQ(log_channo_is_disk(4, 204), 0);
  EXPECT_EQ(log_channo_is_disk(8, 207), 0);
}

TEST_F(CoreClientTest, OpLogSendDeliversTheRecordByteForByte) {
  FakeCore core;
  setenv("HTTP_COOKIE", "userName=admin", 1);
  setenv("REMOTE_ADDR", "192.168.1.20", 1);
  OpLogRecord record;
  op_log_init(&record);
  record.sub_type = 201;
  record.param_type = 900;
  record.channel = 3;
  op_log_send(record);
  ASSERT_TRUE(core.wait_for(3485, 1));
  auto got = core.received(3485);
  ASSERT_EQ(got[0].payload.size(), 672u);
  EXPECT_EQ(got[0].payload, zvtest::bytes_of(record));
  EXPECT_EQ(zvtest::int32_at(got[0].payload, 0), 4);
  EXPECT_EQ(zvtest::int32_at(got[0].payload, 8), 201);
  EXPECT_EQ(zvtest::int32_at(got[0].payload, 24), 900);
  EXPECT_EQ(zvtest::int32_at(got[0].payload, 28), 1);
  EXPECT_EQ(zvtest::int32_at(got[0].payload, 32), 3);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(got[0].payload.data()) + 36), "192.168.1.20");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(got[0].payload.data()) + 82), "admin");
  unsetenv("HTTP_COOKIE");
  unsetenv("REMOTE_ADDR");
}

}  // namespace
