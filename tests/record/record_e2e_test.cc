// Recording settings through the demo stack: one request sets the plan of channels 0-7
// (continuous on weekdays, motion at weekends), a channel reads it back, the core simulator's
// recording state follows the plans and modes it is told about, and a holiday is added.
#include <gtest/gtest.h>

#include <string>

#include "tests/e2e/stack.h"
#include "tests/record/week_plan.h"

namespace zvtest {
namespace {

TEST(EndToEndRecord, WeekPlanForEightChannelsModesAndAHoliday) {
  DemoStack stack;
  ASSERT_TRUE(stack.ready());
  EXPECT_EQ(stack.post_json("/6047", "{}").body, R"({ "primary": [ ], "secondary": [ ], "size": 0 })");

  EXPECT_EQ(stack.post_json("/6041", week_plan("[0,1,2,3,4,5,6,7]", 8, 0)).body, "OK");
  const std::string read = stack.get("/6040?5").body;
  const std::string head = R"({ "id": 5, "schedule": [ { "wholedayEnable": 0, "wholedayActionType": 0, "plans": [ { )";
  EXPECT_EQ(read.substr(0, head.size()), head);
  EXPECT_NE(read.find(R"({ "wholedayEnable": 1, "wholedayActionType": 1, "plans": [ { "startTime": "", )"), std::string::npos);
  EXPECT_NE(read.find(R"({ "startTime": "00:00", "endTime": "24:00", "actionType": 2 })"), std::string::npos);
  // Every day of the week is covered: all eight channels record now.
  EXPECT_EQ(stack.post_json("/6047", "{}").body,
            R"({ "primary": [ 0, 1, 2, 3, 4, 5, 6, 7 ], "secondary": [ 0, 0, 0, 0, 0, 0, 0, 0 ], "size": 8 })");
  // Channel 0 set to mode 2 (never, in the simulator) stops; the others keep mode 0.
  EXPECT_EQ(stack.post_json("/6043", R"({"records":[{"id":0,"mode":2}]})").body, "OK");
  EXPECT_EQ(stack.post_json("/6047", "{}").body,
            R"({ "primary": [ 1, 2, 3, 4, 5, 6, 7 ], "secondary": [ 0, 0, 0, 0, 0, 0, 0 ], "size": 7 })");

  EXPECT_EQ(stack.post_json("/6031", R"({"id":2,"name":"Harvest","enable":1,"type":0,"startMon":9,"startMDay":20,)"
                                     R"("endMon":9,"endMDay":21})").body,
            "OK");
  EXPECT_NE(stack.get("/6030").body.find(R"({ "id": 2, "enable": 1, "name": "Harvest", "type": 0, "startYear": 0, "startMon": 9, "startMDay": 20, )"),
            std::string::npos);
}

}  // namespace
}  // namespace zvtest
