// Date, time and NTP: the interval index, the manual time payload and when it is sent, and the
// single reply whatever the core does.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "common/messages/network.h"
#include "platform/zvdb/network_tables.h"
#include "tests/device/device_fixture.h"

namespace zvtest {
namespace {

using TimeTest = DeviceTest;

std::string time_body(const std::string& extra) {
  return R"({"ntpEnable": 0, "dstEnable": 1, "timeZone": "GMT+08:00", "timeZoneName": "Asia/Taipei",
             "syncEnable": 1, "syncInterval": 2, "syncPc": 0)" + extra + "}";
}

TEST_F(TimeTest, ReadShowsTheClockThenTheSettings) {
  const std::string out = get("/7000").out;
  // The clock's digits vary: every digit is compared as 'D'.
  std::string shape = out;
  for (char& c : shape) {
    if (c >= '0' && c <= '9') c = 'D';
  }
  EXPECT_EQ(shape, "Content-type: application/json\r\n\r\n{ \"dateYear\": \"DDDD\", \"dateMon\": \"DD\", "
                   "\"dateDay\": \"DD\", \"dateHour\": \"DD\", \"dateMin\": \"DD\", \"dateSec\": \"DD\", "
                   "\"serverTime\": \"DDDD-DD-DD DD:DD:DD\", \"ntpEnable\": D, \"dstEnable\": D, "
                   "\"timeZone\": \"UTC\", \"timeZoneName\": \"UTC\", \"ntpServer\": \"pool.ntp.org\", "
                   "\"syncEnable\": D, \"syncInterval\": D, \"syncPc\": D }")
      << out;
}

TEST_F(TimeTest, ManualTimeIsQuotedCutAndAppliedOnceTheCoreAnswers) {
  core_->reply(kTimeSet.id, {});
  EXPECT_EQ(post("/7001", time_body(R"(, "manualTime": "2026-12-09 01:02:03.000000000001111",
                                       "ntpServer": "ntp.example")")).out,
            kOk);
  EXPECT_EQ(ids(), (std::vector<int32_t>{1701, 1711, 3485}));
  EXPECT_EQ(only_message(*core_, kTimeSet.id).payload, text_field("\"2026-12-09 01:02:03.000000000\"", 32));
  EXPECT_EQ(only_message(*core_, 3485).payload, expected_log(225, 900));
  const TimeConfig stored = row(kTime);
  EXPECT_EQ(text_of(stored.time_zone_name), "Asia/Taipei");
  EXPECT_EQ(text_of(stored.ntp_server), "ntp.example");
  EXPECT_EQ(stored.sync_interval, 300);
  // The ISO form, with 'T' between date and time, is taken too.
  core_->clear_received();
  EXPECT_EQ(post("/7001", time_body(R"(, "manualTime": "2026-01-02T03:04:05")")).out, kOk);
  EXPECT_EQ(only_message(*core_, kTimeSet.id).payload, text_field("\"2026-01-02T03:04:05\"", 32));
}

TEST_F(TimeTest, NoManualTimeWithNtpOrFailoverAndNoSecondReplyWithoutTheCore) {
  for (const char* extra : {R"(, "manualTime": "2026-01-01 00:00:00", "failoverMode": 2)", ""}) {
    core_->clear_received();
    EXPECT_EQ(post("/7001", time_body(extra)).out, kOk) << "no answer from the core: the OK stays alone";
    EXPECT_EQ(only_message(*core_, kTimeSet.id).payload, Bytes(32, 0));
    EXPECT_EQ(ids(), (std::vector<int32_t>{1701, 3485}));
  }
  std::string ntp = time_body(R"(, "manualTime": "2026-01-01 00:00:00")");
  ntp.replace(ntp.find("\"ntpEnable\": 0"), 14, "\"ntpEnable\": 1");
  core_->clear_received();
  EXPECT_EQ(post("/7001", ntp).out, kOk);
  EXPECT_EQ(only_message(*core_, kTimeSet.id).payload, Bytes(32, 0));
}

TEST_F(TimeTest, SetRefusesEachRequiredMemberLeftOut) {
  expect_required("/7001", time_body(""),
                  {"ntpEnable", "dstEnable", "timeZone", "timeZoneName", "syncEnable", "syncInterval", "syncPc"});
}

TEST_F(TimeTest, IntervalIndexOutsideTheTableIsStoredAsADay) {
  core_->reply(kTimeSet.id, {});
  for (const char* index : {"4", "9", "-1"}) {
    std::string body = time_body("");
    body.replace(body.find("\"syncInterval\": 2"), 17, std::string("\"syncInterval\": ") + index);
    EXPECT_EQ(post("/7001", body).out, kOk);
    EXPECT_EQ(row(kTime).sync_interval, 1440) << index;
  }
  EXPECT_NE(get("/7000").out.find(R"("syncInterval": 4, )"), std::string::npos);
  EXPECT_EQ(post("/7001", time_body("")).out, kOk);
  EXPECT_NE(get("/7000").out.find(R"("syncInterval": 2, )"), std::string::npos);
  // Index 0 is the table's first interval.
  std::string first = time_body("");
  first.replace(first.find("\"syncInterval\": 2"), 17, "\"syncInterval\": 0");
  EXPECT_EQ(post("/7001", first).out, kOk);
  EXPECT_EQ(row(kTime).sync_interval, kSyncIntervals[0]);
  EXPECT_NE(get("/7000").out.find(R"("syncInterval": 0, )"), std::string::npos);
}

TEST_F(TimeTest, RefusedRequestsStoreAndSendNothing) {
  const char* cases[][2] = {
      {"\"ntpEnable\": 0", "\"ntpEnable\": 2"}, {"\"ntpEnable\": 0", "\"ntpEnable\": -1"},
      {"\"dstEnable\": 1", "\"dstEnable\": 2"}, {"\"timeZone\": \"GMT+08:00\",", ""},
      {"\"timeZoneName\": \"Asia/Taipei\",", ""}, {"\"syncEnable\": 1,", ""}, {"\"syncPc\": 0", "\"syncPc\": 2"},
      {"\"syncInterval\": 2,", ""},
  };
  for (const auto& c : cases) {
    std::string body = time_body("");
    body.replace(body.find(c[0]), std::strlen(c[0]), c[1]);
    expect_refused("/7001", body);
  }
  // A manual time to apply holds only digits, blanks and date separators.
  expect_refused("/7001", time_body(R"(, "manualTime": "2026-01-01\"; reboot")"));
  expect_refused("/7001", time_body(R"x(, "manualTime": "2026-01-01 $(id)")x"));
  // The texts the core hands on to its clock scripts hold no shell characters.
  expect_refused("/7001", time_body(R"x(, "ntpServer": "pool.ntp.org$(reboot)")x"));
}

}  // namespace
}  // namespace zvtest
