// The four JSON forms of a weekly plan.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "handlers/video/schedule_json.h"
#include "common/request.h"
#include "tests/video/video_fixture.h"

namespace {

using zvtest::schedule_input;
using zvtest::text_of;

using zvtest::parse;
using zvtest::written;

std::unique_ptr<Schedule> parsed(const std::string& body, bool flagged = false, int* rc = nullptr) {
  auto s = std::make_unique<Schedule>();
  std::memset(s.get(), 0x5a, sizeof *s);  // garbage that a successful parse must clear
  JsonPtr o = parse(body);
  const int result = flagged ? schedule_from_json_flagged(o.get(), "effective", s.get())
                             : schedule_from_json(o.get(), "effective", s.get());
  if (rc != nullptr) *rc = result;
  return s;
}

TEST(ScheduleJson, InputFormFillsTwelveRangesOfEightDays) {
  const std::string body = "{\"effective\": " +
                           schedule_input({{{0, 0}, R"(["08:00","12:30",1])"},
                                           {{7, 11}, R"(["23:00","24:00",3])"}}) +
                           "}";
  int rc = -1;
  auto s = parsed(body, false, &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_EQ(text_of(s->days[0].ranges[0].start_time), "08:00");
  EXPECT_EQ(text_of(s->days[0].ranges[0].end_time), "12:30");
  EXPECT_EQ(s->days[0].ranges[0].action_type, 1);
  EXPECT_EQ(text_of(s->days[7].ranges[11].start_time), "23:00");
  EXPECT_EQ(s->days[7].ranges[11].action_type, 3);
  // Everything else is cleared, the 36 slots the pages never see and the day words included.
  EXPECT_EQ(text_of(s->days[3].ranges[5].start_time), "");
  EXPECT_EQ(s->days[3].ranges[47].action_type, 0);
  EXPECT_EQ(s->days[3].day_flag, 0);
  EXPECT_EQ(s->days[3].day_word, 0);
}

TEST(ScheduleJson, TextsLongerThanThirtyOneAreCut) {
  const std::string longer(40, '7');
  auto s = parsed("{\"effective\": " + schedule_input({{{2, 3}, "[\"" + longer + "\",\"" + longer + "\",2]"}}) + "}");
  EXPECT_EQ(text_of(s->days[2].ranges[3].start_time), std::string(31, '7'));
  EXPECT_EQ(text_of(s->days[2].ranges[3].end_time), std::string(31, '7'));
}

TEST(ScheduleJson, ShortOrMistypedInputStoresEmptyRanges) {
  // Two days only, the second not an array; a range with wrong element types; a short range.
  auto s = parsed(R"({"effective": [[["01:00", 5, "x"], ["02:00"], 7], {"a": 1}]})");
  EXPECT_EQ(text_of(s->days[0].ranges[0].start_time), "01:00");
  EXPECT_EQ(text_of(s->days[0].ranges[0].end_time), "");
  EXPECT_EQ(s->days[0].ranges[0].action_type, 0);
  EXPECT_EQ(text_of(s->days[0].ranges[1].start_time), "02:00");
  EXPECT_EQ(text_of(s->days[0].ranges[2].start_time), "");
  for (int d = 1; d < kScheduleDays; ++d) EXPECT_EQ(text_of(s->days[d].ranges[0].start_time), "");
}

TEST(ScheduleJson, MissingOrWrongTypedKeyLeavesTheBufferAlone) {
  for (const char* body : {R"({})", R"({"effective": 5})", R"({"effective": "x"})",
                           R"({"effective": {"0": []}})"}) {
    SCOPED_TRACE(body);
    int rc = 0;
    auto s = parsed(body, false, &rc);
    EXPECT_EQ(rc, -1);
    EXPECT_EQ(s->days[0].day_flag, 0x5a5a5a5a);
  }
  Schedule s{};
  EXPECT_EQ(schedule_from_json(nullptr, "effective", &s), -1);
  JsonPtr o = parse(R"({"effective": []})");
  EXPECT_EQ(schedule_from_json(o.get(), "effective", nullptr), -1);
}

// A text that is not UTF-8 anywhere in the member (of any type, where no range is read too), or
// nesting deeper than 8, refuses the plan with the buffer left alone; the flagged form alike.
TEST(ScheduleJson, ATextThatIsNotUtf8RefusesThePlan) {
  const std::string nine = std::string(9, '[') + "\"a\"" + std::string(9, ']');
  for (const std::string& member : {std::string("[[[\"01:00\", \"\xff\", 1]]]"), std::string("\"\xc3\""),
                                    std::string("[[], [], [], [], [], [], [], [], [[\"\xed\xa0\x80\"]]]"), nine}) {
    SCOPED_TRACE(member);
    for (bool flagged : {false, true}) {
      int rc = 0;
      auto s = parsed("{\"effective\": " + member + "}", flagged, &rc);
      EXPECT_EQ(rc, kInvalidText);
      EXPECT_EQ(s->days[0].day_flag, 0x5a5a5a5a);
    }
  }
  int rc = -1;
  parsed("{\"effective\": " + std::string(8, '[') + "\"a\"" + std::string(8, ']') + "}", false, &rc);
  EXPECT_EQ(rc, 0) << "8 deep is read";
}

TEST(ScheduleJson, FlaggedInputSetsEveryDayFlag) {
  int rc = -1;
  auto s = parsed(R"({"effective": []})", true, &rc);
  ASSERT_EQ(rc, 0);
  for (const ScheduleDay& day : s->days) {
    EXPECT_EQ(day.day_flag, 1);
    EXPECT_EQ(day.day_word, 0);
  }
}

TEST(ScheduleJson, OutputOfAnEmptyPlanIsEightTimesTwelveEmptyRanges) {
  auto empty = std::make_unique<Schedule>();
  *empty = Schedule{};
  JsonPtr out = written([&](JsonWriter& w) { write_schedule(w, *empty); });
  ASSERT_EQ(json_object_array_length(out.get()), 8u);
  for (size_t d = 0; d < 8; ++d) {
    json_object* day = json_object_array_get_idx(out.get(), d);
    ASSERT_EQ(json_object_array_length(day), 12u);
    for (size_t r = 0; r < 12; ++r) {
      EXPECT_STREQ(json_object_to_json_string(json_object_array_get_idx(day, r)),
                   R"({ "startTime": "", "endTime": "", "actionType": 0 })");
    }
  }
}

TEST(ScheduleJson, FlaggedOutputShowsUnflaggedDaysAsMidnight) {
  auto s = std::make_unique<Schedule>();
  *s = Schedule{};
  std::strcpy(s->days[0].ranges[0].start_time, "08:00");
  std::strcpy(s->days[0].ranges[0].end_time, "09:00");
  s->days[0].ranges[0].action_type = 2;
  std::strcpy(s->days[1].ranges[0].start_time, "10:00");
  s->days[1].day_flag = 1;
  JsonPtr flagged = written([&](JsonWriter& w) { write_schedule_flagged(w, *s); });
  EXPECT_STREQ(json_object_to_json_string(json_object_array_get_idx(json_object_array_get_idx(flagged.get(), 0), 0)),
               R"({ "startTime": "00:00", "endTime": "00:00", "actionType": 0 })");
  EXPECT_STREQ(json_object_to_json_string(json_object_array_get_idx(json_object_array_get_idx(flagged.get(), 1), 0)),
               R"({ "startTime": "10:00", "endTime": "", "actionType": 0 })");
  JsonPtr plain = written([&](JsonWriter& w) { write_schedule(w, *s); });
  EXPECT_STREQ(json_object_to_json_string(json_object_array_get_idx(json_object_array_get_idx(plain.get(), 0), 0)),
               R"({ "startTime": "08:00", "endTime": "09:00", "actionType": 2 })");
}

TEST(ScheduleJson, OutputReadsOnlyTheTwelveWebRangesAndBoundsTexts) {
  auto s = std::make_unique<Schedule>();
  std::memset(s.get(), 'A', sizeof *s);  // no terminators anywhere
  for (ScheduleDay& day : s->days) {
    for (ScheduleRange& r : day.ranges) r.action_type = 4;
  }
  JsonPtr out = written([&](JsonWriter& w) { write_schedule(w, *s); });
  json_object* range = json_object_array_get_idx(json_object_array_get_idx(out.get(), 7), 11);
  json_object* start = nullptr;
  ASSERT_TRUE(json_object_object_get_ex(range, "startTime", &start));
  EXPECT_EQ(std::string(json_object_get_string(start)), std::string(32, 'A'));
  EXPECT_EQ(json_object_array_length(json_object_array_get_idx(out.get(), 0)), 12u);
}

TEST(ScheduleJson, RoundTrip) {
  const std::string input = schedule_input({{{4, 6}, R"(["06:15","07:45",9])"}});
  auto s = parsed("{\"effective\": " + input + "}");
  JsonPtr out = written([&](JsonWriter& w) { write_schedule(w, *s); });
  json_object* range = json_object_array_get_idx(json_object_array_get_idx(out.get(), 4), 6);
  EXPECT_STREQ(json_object_to_json_string(range),
               R"({ "startTime": "06:15", "endTime": "07:45", "actionType": 9 })");
}

}  // namespace
