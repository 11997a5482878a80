#include <json-c/json.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "tests/system/system_fixture.h"

namespace zvtest {
namespace {

using UsersTest = SystemRequestTest;

const std::string kDigest = "0cc175b9c0f1b6a831c399e269772661";

std::string add_body(const std::string& name, int permission = 0, const std::string& extra = "") {
  return R"({"name":")" + name + R"(","password":")" + kDigest +
         R"(","type":1,"permission":)" + std::to_string(permission) +
         R"(,"remotePermission":2)" + extra + "}";
}

size_t listed_users(const std::string& reply) {
  json_object* list = json_tokener_parse(body_of(reply).c_str());
  size_t n = list != nullptr ? json_object_array_length(list) : 0;
  json_object_put(list);
  return n;
}

TEST_F(UsersTest, ListShowsEnabledUsersWithEveryKeyInOrder) {
  store_user(7, "deleted", kDigest, 1);
  UserRecord gone = stored_user(7);
  gone.enable = 0;
  write_user(kZvdbPath, &gone);
  zvdb_close_all();

  RunResult r = get("/6070");
  ASSERT_EQ(r.out.compare(0, kJsonHeader.size(), kJsonHeader), 0) << r.out;
  json_object* list = json_tokener_parse(body_of(r.out).c_str());
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(json_object_array_length(list), 1u) << "deleted users are not listed";
  std::vector<std::string> keys;
  json_object_object_foreach(json_object_array_get_idx(list, 0), key, value) {
    (void)value;
    keys.emplace_back(key);
  }
  json_object_put(list);
  const std::vector<std::string> expected = {
      "id", "enable", "name", "password", "type", "permission", "localLiveView", "localPlayback",
      "localRetrieve", "localSmartAnalysis", "localEvent", "localCamera", "localStorage",
      "localSettings", "localStatus", "localShutdown", "localliveview", "localplayback",
      "remotePermission", "remoteLiveView", "remotePlayback", "remoteRetrieve",
      "remoteSmartAnalysis", "remoteEvent", "remoteCamera", "remoteStorage", "remoteSettings",
      "remoteStatus", "remoteShutdown", "remoteliveview", "remoteplayback"};
  EXPECT_EQ(keys, expected);
}

TEST_F(UsersTest, ListPrintsEscapedTextsOfEveryLengthAndIntegerExtremes) {
  UserRecord admin{};  // the factory admin is deleted: user 5 is the whole list
  write_user(kZvdbPath, &admin);
  UserRecord u{};
  u.id = 5;
  u.enable = 1;
  std::memcpy(u.name, "</b>\"\\\t\x01\xe9", 9);
  std::memset(u.password, 'p', sizeof u.password - 1);  // texts as long as their fields hold
  std::memset(u.local_liveview, '1', sizeof u.local_liveview - 1);
  std::memcpy(u.local_playback, "01", 2);
  u.type = 3;
  u.permission = -1;
  u.local_rights[0] = 1;
  u.local_rights[9] = -7;
  u.remote_rights[4] = 2147483647;
  u.remote_rights[5] = -2147483647 - 1;
  ASSERT_EQ(write_user(kZvdbPath, &u), 0);
  zvdb_close_all();

  const std::string expected =
      kJsonHeader + R"([ { "id": 5, "enable": 1, "name": "<\/b>\"\\\t\u0001)" + "\xe9" +
      R"(", "password": ")" + std::string(35, 'p') +
      R"(", "type": 3, "permission": -1, "localLiveView": 1, "localPlayback": 0, "localRetrieve": 0, )"
      R"("localSmartAnalysis": 0, "localEvent": 0, "localCamera": 0, "localStorage": 0, )"
      R"("localSettings": 0, "localStatus": 0, "localShutdown": -7, "localliveview": ")" +
      std::string(64, '1') +
      R"(", "localplayback": "01", "remotePermission": 0, "remoteLiveView": 0, "remotePlayback": 0, )"
      R"("remoteRetrieve": 0, "remoteSmartAnalysis": 0, "remoteEvent": 2147483647, )"
      R"("remoteCamera": -2147483648, "remoteStorage": 0, "remoteSettings": 0, "remoteStatus": 0, )"
      R"("remoteShutdown": 0, "remoteliveview": "", "remoteplayback": "" } ])";
  EXPECT_EQ(get("/6070").out, expected);
}

TEST_F(UsersTest, AddStoresTheUserNotifiesAndLogs) {
  const std::string forty_ones(40, '1');
  RunResult r = post("/6071", add_body("op", 0,
                                       R"(,"localliveview":")" + forty_ones +
                                           R"(","localplayback":"0101","remoteLiveView":1,"remoteShutdown":1)"));
  EXPECT_EQ(r.out, kTextHeader + "id=1");
  UserRecord u = stored_user(1);
  EXPECT_EQ(u.enable, 1);
  EXPECT_STREQ(u.name, "op");
  EXPECT_STREQ(u.password, kDigest.c_str());
  EXPECT_EQ(u.type, 1);
  EXPECT_EQ(u.permission, 0);
  EXPECT_EQ(u.remote_permission, 2);
  EXPECT_EQ(std::string(u.local_liveview), forty_ones);
  EXPECT_EQ(u.local_liveview_mask, 0xFFFFFFFFu) << "only the first 32 channels reach the mask";
  EXPECT_EQ(u.local_playback_mask, 0xAu);
  EXPECT_STREQ(u.remote_liveview, "(null)") << "an absent text is stored as (null)";
  EXPECT_EQ(u.remote_liveview_mask, 0u);
  EXPECT_EQ(u.remote_rights[0], 1);
  EXPECT_EQ(u.remote_rights[9], 1);
  EXPECT_EQ(u.local_rights[0], 0) << "absent rights are 0";
  EXPECT_STREQ(u.added_flag, "0");

  ASSERT_TRUE(core_->wait_for(3485, 1));
  ASSERT_EQ(core_->received(3505).size(), 1u);
  EXPECT_TRUE(core_->received(3505)[0].payload.empty());
  const Bytes log = core_->received(3485)[0].payload;
  EXPECT_EQ(int32_at(log, 8), 204);
  EXPECT_EQ(int32_at(log, 24), 921);
}

TEST_F(UsersTest, RefusedAddsWriteNothing) {
  struct Case {
    const char* what;
    std::string body;
  } cases[] = {
      {"invalid JSON", "{\"name\":"},
      {"permission -2", add_body("a", -2)},
      {"type 4", R"({"name":"a","password":"x","type":4,"permission":0,"remotePermission":0})"},
      {"no type", R"({"name":"a","password":"x","permission":0,"remotePermission":0})"},
      {"remotePermission -5", R"({"name":"a","password":"x","type":1,"permission":0,"remotePermission":-5})"},
      {"no name", R"({"password":"x","type":1,"permission":0,"remotePermission":0})"},
      {"empty name", R"({"name":"","password":"x","type":1,"permission":0,"remotePermission":0})"},
      {"no password", R"({"name":"a","type":1,"permission":0,"remotePermission":0})"},
      {"name of the wrong kind", R"({"name":{"x":1},"password":"x","type":1,"permission":0,"remotePermission":0})"},
  };
  for (const auto& c : cases) {
    RunResult r = post("/6071", c.body);
    EXPECT_EQ(r.out, "") << c.what;
  }
  EXPECT_EQ(read_user_count(kZvdbPath), 1);
  zvdb_close_all();
  EXPECT_TRUE(core_->received(3505).empty());
}

TEST_F(UsersTest, AddRefusesADuplicateNameAndAFullTable) {
  EXPECT_EQ(post("/6071", add_body("admin")).out, kTextHeader + "SAMEUSER");
  for (int id = 1; id < kMaxUsers; ++id) store_user(id, "u" + std::to_string(id), kDigest, 1);
  // The 101st user is refused before the request is even parsed.
  EXPECT_EQ(post("/6071", "not json").out, kTextHeader + "FAILED_FULL");
  EXPECT_TRUE(core_->received(3505).empty());
}

TEST_F(UsersTest, EditRenamesKeepsPermissionsAndNotifiesWithTheId) {
  store_user(3, "op", kDigest, 1);
  store_user(4, "other", kDigest, 1);
  UserRecord before = stored_user(3);

  EXPECT_EQ(post("/6072", R"({"id":3,"name":"op"})").out, kTextHeader + "OK") << "own name";
  EXPECT_EQ(post("/6072", R"({"id":3,"name":"other"})").out, kTextHeader + "SAMEUSER");
  EXPECT_EQ(post("/6072", R"({"id":3,"name":"op2","type":2,"permission":9,"localEvent":1,)"
                          R"("remoteliveview":"11"})").out,
            kTextHeader + "OK");
  UserRecord after = stored_user(3);
  EXPECT_STREQ(after.name, "op2");
  EXPECT_EQ(after.type, 2);
  EXPECT_EQ(after.permission, before.permission) << "permission is not edited here";
  EXPECT_EQ(after.local_rights[4], 1);
  EXPECT_STREQ(after.remote_liveview, "11");
  EXPECT_EQ(after.remote_liveview_mask, 0x3u) << "the mask follows its edited string";

  ASSERT_TRUE(core_->wait_for(3505, 2));
  auto notices = core_->received(3505);
  ASSERT_EQ(notices.size(), 2u);
  EXPECT_EQ(notices[0].payload, int32s({3}));
  EXPECT_TRUE(core_->received(3485).empty()) << "edits are not logged";
}

TEST_F(UsersTest, RefusedEditsChangeNothing) {
  store_user(3, "op", kDigest, 1);
  UserRecord deleted{};
  deleted.id = 8;
  write_user(kZvdbPath, &deleted);
  zvdb_close_all();
  struct Case {
    const char* what;
    const char* body;
  } cases[] = {
      {"no id", R"({"name":"x"})"},
      {"id 100", R"({"id":100,"name":"x"})"},
      {"negative id", R"({"id":-1,"name":"x"})"},
      {"id never used", R"({"id":50,"name":"x"})"},
      {"deleted id", R"({"id":8,"name":"x"})"},
      {"type 4", R"({"id":3,"type":4})"},
      {"empty password", R"({"id":3,"password":""})"},
      {"invalid JSON", R"({"id":3,)"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(post("/6072", c.body).out, "") << c.what;
  }
  EXPECT_STREQ(stored_user(3).name, "op");
  EXPECT_EQ(stored_user(50).id, -1) << "no row appears for an unused id";
  EXPECT_EQ(stored_user(8).enable, 0);
  EXPECT_TRUE(core_->received(3505).empty());
}

TEST_F(UsersTest, DeleteDisablesTheUser) {
  store_user(3, "op", kDigest, 1);
  for (const char* refused : {R"({"id":100,"type":1})", R"({"id":3})", R"({"id":3,"type":9})", "x"}) {
    EXPECT_EQ(post("/6073", refused).out, "") << refused;
  }
  EXPECT_EQ(stored_user(3).enable, 1);

  EXPECT_EQ(post("/6073", R"({"id":3,"type":1})").out, kTextHeader + "OK");
  EXPECT_EQ(stored_user(3).enable, 0);
  EXPECT_EQ(listed_users(get("/6070").out), 1u);
  ASSERT_TRUE(core_->wait_for(3485, 1));
  EXPECT_EQ(core_->received(3505)[0].payload, int32s({3}));
  const Bytes log = core_->received(3485)[0].payload;
  EXPECT_EQ(int32_at(log, 8), 204);
  EXPECT_EQ(int32_at(log, 24), 922);
}

TEST_F(UsersTest, NoticesAndPermissionUpdate) {
  EXPECT_EQ(get("/6077").out, kTextHeader + "OK");
  ASSERT_TRUE(core_->wait_for(3505, 1));  // the notice may still be on its way when webreq exits
  ASSERT_EQ(core_->received(3505).size(), 1u);
  EXPECT_TRUE(core_->received(3505)[0].payload.empty());

  EXPECT_EQ(get("/1024").out, kTextHeader + "OK");
  char value[16] = "";
  get_param_value(kZvdbPath, "permission_update", value, sizeof value, "missing");
  EXPECT_STREQ(value, "0");
  set_param_value(kZvdbPath, "permission_update", "1");
  zvdb_close_all();
  EXPECT_EQ(get("/1024").out, kTextHeader + "OK");
  get_param_value(kZvdbPath, "permission_update", value, sizeof value, "missing");
  EXPECT_STREQ(value, "0");
}

TEST_F(UsersTest, ConcurrentAddsNeverShareAnId) {
  // Eight adds at once, each a webreq process of its own: each gets its own id, none is lost.
  // (Started from threads: a process forked from this one while the fake core's threads run
  // could inherit a lock held for ever.)
  std::vector<std::thread> adds;
  std::atomic<int> added{0};
  for (int i = 0; i < 8; ++i) {
    adds.emplace_back([&, i] {
      RunResult r = cgi_post("/6071", "application/json", add_body("c" + std::to_string(i)),
                             {{"ZV_CORE_TIMING", "attempts=3,pause_us=1000,poll_us=200"}});
      if (r.out.find("id=") != std::string::npos) ++added;
    });
  }
  for (std::thread& add : adds) add.join();
  EXPECT_EQ(added, 8);
  EXPECT_EQ(read_user_count(kZvdbPath), 9);
  zvdb_close_all();
}

// A request body from members given as raw JSON values; `changes` replaces or adds members
// (an empty value drops the member).
std::string body_of_members(std::map<std::string, std::string> members,
                            const std::map<std::string, std::string>& changes) {
  for (const auto& [key, value] : changes) {
    if (value.empty()) members.erase(key);
    else members[key] = value;
  }
  std::string body = "{";
  for (const auto& [key, value] : members) body += (body.size() > 1 ? "," : "") + ("\"" + key + "\":" + value);
  return body + "}";
}

const std::map<std::string, std::string> kAddMembers = {
    {"name", "\"a\""}, {"password", "\"" + kDigest + "\""}, {"type", "1"}, {"permission", "0"},
    {"remotePermission", "0"}};

const char* const kRightKeys[] = {"LiveView", "Playback", "Retrieve", "SmartAnalysis", "Event",
                                  "Camera",   "Storage",  "Settings", "Status",        "Shutdown"};

// Members setting every right: local ones to base + i, remote ones to base + 10 + i.
std::map<std::string, std::string> every_right(int base) {
  std::map<std::string, std::string> m;
  for (int i = 0; i < kUserRightsCount; ++i) {
    m[std::string("local") + kRightKeys[i]] = std::to_string(base + i);
    m[std::string("remote") + kRightKeys[i]] = std::to_string(base + 10 + i);
  }
  return m;
}

// The "/6070" element of a user, with the rights of every_right(base).
std::string listed_user(int id, const std::string& name, const std::string& password, int type,
                        int permission, int remote_permission, int base,
                        const std::string (&texts)[4]) {
  std::string out = "{ \"id\": " + std::to_string(id) + ", \"enable\": 1, \"name\": \"" + name +
                    "\", \"password\": \"" + password + "\", \"type\": " + std::to_string(type) +
                    ", \"permission\": " + std::to_string(permission);
  for (int i = 0; i < kUserRightsCount; ++i) {
    out += std::string(", \"local") + kRightKeys[i] + "\": " + std::to_string(base + i);
  }
  out += ", \"localliveview\": \"" + texts[0] + "\", \"localplayback\": \"" + texts[1] +
         "\", \"remotePermission\": " + std::to_string(remote_permission);
  for (int i = 0; i < kUserRightsCount; ++i) {
    out += std::string(", \"remote") + kRightKeys[i] + "\": " + std::to_string(base + 10 + i);
  }
  return out + ", \"remoteliveview\": \"" + texts[2] + "\", \"remoteplayback\": \"" + texts[3] + "\" }";
}

TEST_F(UsersTest, AddRangesRefuseTheFirstInvalidValueOnBothSides) {
  const std::map<std::string, std::string> refused[] = {
      {{"type", "-1"}}, {{"type", "4"}},
      {{"permission", "-2"}}, {{"permission", "2147483648"}},
      {{"remotePermission", "-2"}}, {{"remotePermission", "2147483648"}},
      {{"localLiveView", "2147483648"}}, {{"remoteShutdown", "-2147483649"}},
      // A name one character above its 31: refused, not stored cut as another user's name.
      {{"name", "\"" + std::string(32, 'n') + "\""}},
      {{"password", "\"\""}},
      // Each required member left out.
      {{"name", ""}}, {{"password", ""}}, {{"type", ""}}, {{"permission", ""}}, {{"remotePermission", ""}},
  };
  for (const auto& changes : refused) expect_refused("/6071", body_of_members(kAddMembers, changes));

  struct Accepted {
    std::map<std::string, std::string> changes;
    int id;
  } accepted[] = {
      {{{"name", "\"t0\""}, {"type", "0"}, {"permission", "-1"}, {"remotePermission", "-1"}}, 1},
      {{{"name", "\"t3\""}, {"type", "3"}, {"permission", "2147483647"}}, 2},
  };
  for (const auto& a : accepted) {
    EXPECT_EQ(post("/6071", body_of_members(kAddMembers, a.changes)).out,
              kTextHeader + "id=" + std::to_string(a.id));
  }
  EXPECT_EQ(stored_user(1).type, 0);
  EXPECT_EQ(stored_user(1).permission, -1);
  EXPECT_EQ(stored_user(1).remote_permission, -1);
  EXPECT_EQ(stored_user(2).type, 3);
  EXPECT_EQ(stored_user(2).permission, 2147483647);
}

TEST_F(UsersTest, AddStoresEveryMemberAndTheListShowsIt) {
  // The longest name (31), and texts one character longer than their fields keep: password 32,
  // channels 64.
  const std::string texts[4] = {"1010", "0110", std::string(64, '1'), "0001"};
  auto members = every_right(40);
  members["name"] = "\"" + std::string(31, 'n') + "\"";
  members["password"] = "\"" + std::string(33, 'p') + "\"";
  members["type"] = "2";
  members["permission"] = "7";
  members["remotePermission"] = "9";
  members["localliveview"] = "\"" + texts[0] + "\"";
  members["localplayback"] = "\"" + texts[1] + "\"";
  members["remoteliveview"] = "\"" + texts[2] + "1\"";
  members["remoteplayback"] = "\"" + texts[3] + "\"";
  ASSERT_EQ(post("/6071", body_of_members(members, {})).out, kTextHeader + "id=1");

  const std::string list = get("/6070").out;
  const std::string expected =
      listed_user(1, std::string(31, 'n'), std::string(32, 'p'), 2, 7, 9, 40, texts);
  EXPECT_NE(list.find(expected), std::string::npos) << list << "\nwanted\n" << expected;
  const UserRecord u = stored_user(1);
  EXPECT_EQ(u.local_liveview_mask, 0x5u);
  EXPECT_EQ(u.local_playback_mask, 0x6u);
  EXPECT_EQ(u.remote_liveview_mask, 0xFFFFFFFFu);
  EXPECT_EQ(u.remote_playback_mask, 0x8u);

  ASSERT_TRUE(core_->wait_for(3485, 1));
  EXPECT_EQ(only_message(*core_, 3485).payload, bytes_of(expected_log(204, 921)));
}

TEST_F(UsersTest, EditStoresEveryMemberAndRefusesTheFirstInvalidValues) {
  store_user(3, "op", kDigest, 1);
  const UserRecord before = stored_user(3);
  const std::map<std::string, std::string> refused[] = {
      {{"id", "-1"}}, {{"id", "100"}}, {{"id", "99"}}, {{"type", "-1"}}, {{"type", "4"}},
      {{"name", "\"\""}}, {{"localEvent", "2147483648"}}, {{"remoteEvent", "-2147483649"}},
      {{"name", "\"" + std::string(32, 'n') + "\""}},
      {{"password", "\"\""}}, {{"id", ""}},
  };
  for (const auto& changes : refused) {
    expect_refused("/6072", body_of_members({{"id", "3"}, {"name", "\"x\""}}, changes));
  }

  const std::string texts[4] = {"11", "0", "0101", std::string(64, '0')};
  auto members = every_right(-30);
  members["id"] = "3";
  members["password"] = "\"" + std::string(40, 'q') + "\"";
  members["type"] = "3";
  members["localliveview"] = "\"" + texts[0] + "\"";
  members["localplayback"] = "\"" + texts[1] + "\"";
  members["remoteliveview"] = "\"" + texts[2] + "\"";
  members["remoteplayback"] = "\"" + texts[3] + "0\"";
  ASSERT_EQ(post("/6072", body_of_members(members, {})).out, kOk);
  const std::string list = get("/6070").out;
  const std::string expected = listed_user(3, "op", std::string(32, 'q'), 3, before.permission,
                                           before.remote_permission, -30, texts);
  EXPECT_NE(list.find(expected), std::string::npos) << list << "\nwanted\n" << expected;
  const UserRecord edited = stored_user(3);
  EXPECT_EQ(edited.local_liveview_mask, 0x3u) << "the masks follow the edited strings";
  EXPECT_EQ(edited.local_playback_mask, 0u);
  EXPECT_EQ(edited.remote_liveview_mask, 0xAu);
  EXPECT_EQ(edited.remote_playback_mask, 0u);
  ASSERT_TRUE(core_->wait_for(3505, 1));
  EXPECT_EQ(only_message(*core_, 3505).payload, int32s({3}));
  // An edit that carries the id alone keeps every stored member.
  ASSERT_EQ(post("/6072", R"({"id": 3})").out, kOk);
  EXPECT_EQ(bytes_of(stored_user(3)), bytes_of(edited));
}

// The only administrator keeps its type (another type would lock everyone out, as deleting it
// would); with a second administrator it may change.
TEST_F(UsersTest, EditRefusesToDemoteTheLastAdministrator) {
  for (const char* type : {"1", "3"}) expect_refused("/6072", std::string(R"({"id":0,"type":)") + type + "}");
  store_user(4, "boss", kDigest, 0);
  EXPECT_EQ(post("/6072", R"({"id":0,"type":1})").out, kOk);
  EXPECT_EQ(stored_user(0).type, 1);
  expect_refused("/6072", R"({"id":4,"type":2})");
}

TEST_F(UsersTest, DeleteRefusesInvalidValuesAndTheLastAdministrator) {
  store_user(3, "op", kDigest, 1);
  for (const char* body : {R"({"id":-1,"type":1})", R"({"id":3,"type":-1})", R"({"id":3,"type":4})",
                           R"({"id":0,"type":0})", R"({"id":0,"type":1})"}) {
    expect_refused("/6073", body);
  }
  // A second administrator: the first one may go, and then the second is the last.
  store_user(4, "boss", kDigest, 0);
  EXPECT_EQ(post("/6073", R"({"id":0,"type":0})").out, kOk);
  EXPECT_EQ(stored_user(0).enable, 0);
  expect_refused("/6073", R"({"id":4,"type":0})");
  // An id that was never used: nothing to find, a disabled row is written all the same.
  EXPECT_EQ(post("/6073", R"({"id":60,"type":1})").out, kOk);
  EXPECT_EQ(read_user_count(kZvdbPath), 2);
  zvdb_close_all();
  ASSERT_TRUE(core_->wait_for(3485, 1));
  EXPECT_EQ(only_message(*core_, 3485).payload, bytes_of(expected_log(204, 922)));
}

TEST_F(UsersTest, FailedWritesAnswerTheFailureAndTellNobody) {
  store_user(3, "op", kDigest, 1);
  refuse_database_writes();
  expect_refused("/6071", add_body("new"), kTextHeader + "FAILED_FULL");
  expect_refused("/6072", R"({"id":3,"name":"x"})", kCgiErrorText);
  expect_refused("/6073", R"({"id":3,"type":1})", kCgiErrorText);
  expect_refused("/1024", "", kCgiErrorText);
}

}  // namespace
}  // namespace zvtest
