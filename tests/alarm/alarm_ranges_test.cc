// Every ranged member of the alarm, video-loss, snapshot, PTZ-entry and camera-alarm sets: the
// first invalid value on both sides refused as the request refuses (nothing stored, nothing sent),
// the last valid ones taken.
#include <gtest/gtest.h>

#include <string>

#include "tests/alarm/alarm_fixture.h"

namespace zvtest {
namespace {

class AlarmRangeTest : public AlarmTest {};

TEST_F(AlarmRangeTest, FirstInvalidValueOnBothSidesIsRefused) {
  const std::string video_loss = R"({"camId": 1, "enable": 1, "triAlarms": 0, "interval": 0})";
  const std::string ptz = R"({"type": 1, "chn_id": 1, "acto_ptz_channel": 1, "acto_ptz_type": 1})";
  const std::string io = R"({"camId": 1, "enable": 1, "type": 0, "triActions": 0, "triChannels": "1"})";
  const std::string audio = R"({"camId": 1, "enable": 1, "type": 0, "volume": 0, "duration": 0, "onEvent": 0,
      "offEvent": 0, "ongoingEvent": 0, "triActions": 0, "triChannels": "1"})";
  const std::string list = R"({"cnt": 1, "chnid": [1]})";
  const RangeCase cases[] = {
      {"/6022", R"({"alarmId": 1})", "alarmId", "-1", "0", "3", "4", kCgiErrorText},
      {"/6022", R"({"alarmId": 1})", "enable", "-1", "0", "2", "3", kCgiErrorText},
      {"/6022", R"({"alarmId": 1})", "durationTime", "-1", "0", nullptr, nullptr, kCgiErrorText},
      {"/6023", R"({"id": 1, "enable": 1})", "id", "-1", "0", "3", "4", ""},
      {"/6027", R"({"alarmId": 1})", "alarmId", "-1", "0", "15", "16", kCgiErrorJson},
      {"/6027", R"({"alarmId": 1})", "alarmType", "-1", "0", "1", "2", kCgiErrorJson},
      {"/6025", R"({"chnid": 1, "alarmCnt": 0})", "chnid", "-1", "0", "63", "64", kCgiErrorJson},
      {"/6029", R"({"chnid": 1, "alarmCnt": 0})", "chnid", "-1", "0", "63", "64", kCgiErrorJson},
      {"/6033", R"({"chnid": 1, "alarmId": 0, "state": 1})", "chnid", "-1", "0", "63", "64", kCgiErrorText},
      {"/6033", R"({"chnid": 1, "alarmId": 0, "state": 1})", "alarmId", "-1", "0", "1", "2", kCgiErrorText},
      {"/6016", video_loss, "camId", "-1", "0", "63", "64", ""},
      {"/6016", video_loss, "enable", "-1", "0", "2", "3", ""},
      {"/6016", video_loss, "triAlarms", "-1", "0", nullptr, nullptr, ""},
      {"/6016", video_loss, "interval", "-1", "0", nullptr, nullptr, ""},
      {"/6017", R"({"camId": 1})", "camId", "-1", "0", "63", "64", ""},
      {"/6017", R"({"camId": 1})", "enable", "-1", "0", "2", "3", ""},
      {"/6095", R"({"chnid": 1})", "chnid", "-1", "0", "63", "64", kCgiErrorJson},
      {"/6121", list, "enable", "-1", "0", "2", "3", ""},
      {"/6122", list, "interval", "-1", "0", nullptr, nullptr, ""},
      {"/6123", R"({"cnt": 1, "chnid": [1], "triAlarms": 1})", "triAlarms", "-1", "0", nullptr, nullptr, ""},
      {"/6125", list, "enable", "-1", "0", "2", "3", ""},
      {"/6127", R"({"camId": 1, "type": 1, "triAlarms": 0, "cnt": 1, "chnid": [2]})", "camId", "-1", "0", "15", "16",
       kCgiErrorText},
      {"/6127", R"({"camId": 1, "type": 1, "triAlarms": 0, "cnt": 1, "chnid": [2]})", "triAlarms", "-1", "0", nullptr,
       nullptr, ""},
      {"/6163", R"({"type": 1, "chn_id": 1, "old_chn_id": 1, "acto_ptz_channel": 1, "acto_ptz_type": 1})", "old_chn_id", "-1", nullptr, nullptr, "64", kCgiErrorText},
      {"/6165", R"({"camId": 1, "cnt": 1, "chnid": [2]})", "camId", "-1", "0", "63", "64", kCgiErrorText},
      {"/6167", R"({"camId": 1, "cnt": 1, "chnid": [2]})", "camId", "-1", "0", "15", "16", kCgiErrorText},
      {"/6170", R"({"camId": 1, "schedule": []})", "camId", "-1", "0", "15", "16", ""},
      {"/6177", list, "quality", "-1", "0", nullptr, nullptr, kCgiErrorText},
      {"/6177", list, "expiration_date", "-1", "0", nullptr, nullptr, kCgiErrorText},
      {"/6160", ptz, "type", "-1", "0", "26", "27", kCgiErrorText},
      {"/6160", ptz, "chn_id", "-1", "0", "63", "64", kCgiErrorText},
      {"/6160", ptz, "acto_ptz_channel", "0", "1", nullptr, nullptr, kCgiErrorText},
      {"/6160", ptz, "acto_ptz_type", "0", "1", "3", "4", kCgiErrorText},
      {"/6091", io, "camId", "-1", "0", "63", "64", ""},
      {"/6091", io, "enable", "-1", "0", "1", "2", ""},
      {"/6091", io, "type", "-1", "0", nullptr, nullptr, ""},
      {"/6091", io, "triActions", "-1", "0", nullptr, nullptr, ""},
      {"/6093", audio, "enable", "-1", "0", "1", "2", ""},
      {"/6093", audio, "volume", "-1", "0", nullptr, nullptr, ""},
      {"/6093", audio, "ongoingEvent", "-1", "0", nullptr, nullptr, ""},
      {"/6093", audio, "camId", "-1", "0", "63", "64", ""},
      {"/6093", audio, "type", "-1", "0", nullptr, nullptr, ""},
      {"/6093", audio, "duration", "-1", "0", nullptr, nullptr, ""},
      {"/6093", audio, "onEvent", "-1", "0", nullptr, nullptr, ""},
      {"/6093", audio, "offEvent", "-1", "0", nullptr, nullptr, ""},
      {"/6093", audio, "triActions", "-1", "0", nullptr, nullptr, ""},
  };
  expect_ranges(cases);
  expect_required("/6091", io, {"camId", "enable", "type", "triActions", "triChannels"});
  expect_required("/6093", audio, {"camId", "enable", "type", "volume", "duration", "onEvent", "offEvent",
                                   "ongoingEvent", "triActions", "triChannels"});
  expect_required("/6016", video_loss, {"camId", "enable", "triAlarms", "interval"});
  // The action type picks the value key: without it there is none to read.
  expect_required("/6160", ptz, {"type", "chn_id", "acto_ptz_channel", "acto_ptz_type"}, kCgiErrorText);
}

}  // namespace
}  // namespace zvtest
