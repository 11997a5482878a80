// Motion settings through the whole stack: a save with a copy to two channels, read back through
// the web server, and the notices the core received in the order the recorder relies on.
#include <gtest/gtest.h>
#include <json-c/json.h>

#include <string>
#include <vector>

#include "tests/e2e/stack.h"

namespace zvtest {
namespace {

int sensitivity_of(const std::string& body) {
  json_object* o = json_tokener_parse(body.c_str());
  json_object* v = nullptr;
  int result = -1;
  if (o != nullptr && json_object_object_get_ex(o, "sensitivity", &v)) result = json_object_get_int(v);
  json_object_put(o);
  return result;
}

TEST(EndToEndMotion, SaveWithCopyReadsBackOnBothTargetsAndNotifiesInOrder) {
  DemoStack stack;
  ASSERT_TRUE(stack.ready());
  const std::vector<std::string> as_admin = {"-H", "Cookie: userName=admin"};
  const int source_before = sensitivity_of(stack.post_json("/6010", R"({"chnid":0})").body);

  HttpReply r = stack.post_json(
      "/6112", R"({"chnid":0,"sensitivity":5,"enableZV":0,"motionTable":"ffff00","copyChn":[1,2],"copyCnt":2,)"
      R"("dialog":{"chnid":0,"interval":10,"triChannels":"0110"}})",
      as_admin);
  EXPECT_EQ(r.body, "OK");

  EXPECT_EQ(sensitivity_of(stack.post_json("/6010", R"({"chnid":1})").body), 5);
  EXPECT_EQ(sensitivity_of(stack.post_json("/6010", R"({"chnid":2})").body), 5);
  EXPECT_EQ(sensitivity_of(stack.post_json("/6010", R"({"chnid":0})").body), source_before)
      << "the source channel's own sensitivity is the camera's, not stored by this request";

  std::vector<int32_t> order;
  for (const auto& m : stack.messages(5)) {
    for (int32_t id : {1403, 3509, 3251, 1410, 3212}) {
      if (m.id == id) order.push_back(id);
    }
  }
  EXPECT_EQ(order, (std::vector<int32_t>{1403, 3509, 3251, 1410, 3212}));
  for (const auto& m : stack.messages(5)) {
    if (m.id == 1410) {
      ASSERT_GE(m.payload.size(), 8u);
      EXPECT_EQ(le_i32(m.payload, 0), 0b110) << "the changed-channel mask names channels 1 and 2";
    }
    EXPECT_NE(m.id, 3252) << "no camera-side detection requested";
  }
}

}  // namespace
}  // namespace zvtest
