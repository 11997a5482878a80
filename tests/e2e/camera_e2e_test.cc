// The camera list through the whole stack: add, live status, edit, read back, names, delete; the
// core learns of each change and logs it with the camera's protocol and transport.
#include <gtest/gtest.h>
#include <json-c/json.h>

#include <string>
#include <vector>

#include "tests/e2e/stack.h"

namespace zvtest {
namespace {

// The first camera object of a /2001 reply whose "id" is `id`, as text; "" when absent.
std::string status_of(const std::string& body, int id) {
  json_object* o = json_tokener_parse(body.c_str());
  json_object* list = nullptr;
  std::string found;
  if (o != nullptr && json_object_object_get_ex(o, "IPC", &list) &&
      json_object_is_type(list, json_type_array)) {
    for (size_t i = 0; i < json_object_array_length(list); ++i) {
      json_object* cam = json_object_array_get_idx(list, i);
      json_object* v = nullptr;
      if (json_object_object_get_ex(cam, "id", &v) && json_object_get_int(v) == id) {
        found = json_object_to_json_string(cam);
      }
    }
  }
  json_object_put(o);
  return found;
}

TEST(EndToEndCamera, AddStatusEditReadNamesDelete) {
  DemoStack stack;
  ASSERT_TRUE(stack.ready());
  const std::vector<std::string> as_admin = {"-H", "Cookie: userName=admin"};
  const std::string add =
      R"({"id": 2, "name": "Gate", "minorid": 0, "enable": 1, "ipAddr": "198.51.100.20",)"
      R"( "managePort": 80, "camProtocol": 0, "userName": "cam", "password": "pw",)"
      R"( "transmitProtocol": 1, "enableSubStream": 1, "syncTime": 1, "ddns": "", "mac_addr": "",)"
      R"( "poechannel": 0, "physicalport": 0, "otherPoe": 0})";
  EXPECT_EQ(stack.post_json("/2004", add, as_admin).body, "OK");

  HttpReply status = stack.get("/2001");
  const std::string cam = status_of(status.body, 2);
  ASSERT_FALSE(cam.empty()) << status.body;
  EXPECT_NE(cam.find("\"ipAddr\": \"198.51.100.20\""), std::string::npos) << cam;
  EXPECT_NE(cam.find("\"name\": \"Gate\""), std::string::npos) << cam;

  std::string edit = add;
  edit.replace(edit.find("198.51.100.20"), 13, "198.51.100.21");
  EXPECT_EQ(stack.post_json("/2003", edit, as_admin).body, "OK");
  HttpReply read = stack.post_json("/2000", R"({"chnid": 2})");
  EXPECT_NE(read.body.find("198.51.100.21"), std::string::npos) << read.body;

  HttpReply names = stack.get("/2012");
  EXPECT_NE(names.body.find("Gate"), std::string::npos) << names.body;

  EXPECT_EQ(stack.post_json("/2005", R"({"chnid": 2})", as_admin).body, "OK");
  status = stack.get("/2001");
  EXPECT_EQ(status_of(status.body, 2).find("198.51.100.21"), std::string::npos) << status.body;

  std::vector<int32_t> changes;
  int logged_with_protocol = 0;
  for (const auto& m : stack.messages(8)) {
    if (m.id == 1201 || m.id == 1206 || m.id == 1203 || m.id == 1202) changes.push_back(m.id);
    if (m.id == 3485 && m.payload.find("ONVIF") != std::string::npos &&
        m.payload.find("TCP") != std::string::npos) {
      ++logged_with_protocol;
    }
  }
  EXPECT_EQ(changes, (std::vector<int32_t>{1201, 1206, 1203, 1202, 1206}));
  EXPECT_GE(logged_with_protocol, 2) << "add and edit are logged with protocol and transport";
}

}  // namespace
}  // namespace zvtest
