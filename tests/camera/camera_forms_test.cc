// The camera requests' forms: every ranged member refused one step outside its range on both
// sides (nothing stored, nothing sent) and taken at its limits; every member an add, login or
// transport set stores read back by "/2000", also when it is one character longer than its
// field; and a settings write that cannot be stored answered with the failure form, no notice.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tests/camera/camera_fixture.h"

namespace zvtest {
namespace {

class CameraFormTest : public CameraTest {
 protected:
  void SetUp() override {
    CameraTest::SetUp();
    // Accepted camera-side requests get a reply of the size they wait for.
    core_->reply(kStreamSet.id, Bytes(8, 0));
    core_->reply(kStreamRead.id, Bytes(sizeof(StreamDescription), 0));
    core_->reply(kExtraStreamRead.id, Bytes(sizeof(ExtraStream), 0));
    core_->reply(kExtraStreamSet.id, Bytes(4, 0));
    core_->reply(kAudioRead.id, Bytes(sizeof(AudioDescription), 0));
    core_->reply(kAudioSet.id, Bytes(4, 0));
    core_->reply(kAudioSupport.id, Bytes(sizeof(AudioSupport), 0));
  }
};

using Members = std::vector<std::pair<std::string, std::string>>;

std::string quoted(const std::string& text) { return "\"" + text + "\""; }

// A request body: the members, with `key` (when given) set to `value` in the last place.
std::string object(const Members& members, const std::string& key = "", const std::string& value = "") {
  std::string out = "{";
  auto add = [&out](const std::string& k, const std::string& v) {
    out += (out.size() > 1 ? ", " : "") + quoted(k) + ": " + v;
  };
  for (const auto& [k, v] : members) {
    if (k != key) add(k, v);
  }
  if (!key.empty()) add(key, value);
  return out + "}";
}

const Members kAdd = {{"id", "6"}, {"name", "\"Gate\""}, {"enable", "1"}, {"ipAddr", "\"10.0.0.6\""},
                      {"managePort", "80"}, {"camProtocol", "0"}, {"transmitProtocol", "0"}};
const Members kRtspAdd = {{"id", "6"}, {"name", "\"Gate\""}, {"enable", "1"}, {"ipAddr", "\"10.0.0.6\""},
                          {"managePort", "80"}, {"camProtocol", "1"}, {"transmitProtocol", "0"}};
const Members kStream = {{"id", "1"}, {"mainFramerate", "25"}, {"mainBitrate", "2048"}, {"subEnable", "1"},
                         {"audioEnable", "0"}, {"mainResWidth", "1920"}, {"mainResHeight", "1080"}};
const Members kChannel = {{"chnid", "1"}};

struct Ranged {
  const char* path;
  const Members* others;  // the request's other members
  const char* key;
  int64_t lo;
  std::optional<int64_t> hi;
  std::string refusal;
};

TEST_F(CameraFormTest, RangedMembersAreRefusedOneStepOutsideAndTakenAtTheirLimits) {
  const Members login = {{"id", "5"}, {"userName", "\"u\""}, {"password", "\"p\""}};
  const Members transport = {{"id", "5"}, {"transmitProtocol", "1"}};
  const Ranged rows[] = {
      {"/2004", &kAdd, "id", 0, 64, ""},
      {"/2003", &kAdd, "id", 0, 64, ""},
      {"/2004", &kAdd, "enable", 0, 1, ""},
      {"/2003", &kAdd, "enable", 0, 1, ""},
      {"/2004", &kAdd, "camProtocol", 0, 7, ""},
      {"/2003", &kAdd, "camProtocol", 0, 7, ""},
      {"/2004", &kAdd, "transmitProtocol", 0, 2, ""},
      {"/2003", &kAdd, "transmitProtocol", 0, 2, ""},
      {"/2004", &kAdd, "managePort", 0, std::nullopt, ""},
      {"/2004", &kRtspAdd, "mainRtspPort", 0, 65535, ""},
      {"/2003", &kRtspAdd, "mainRtspPort", 0, 65535, ""},
      {"/2004", &kRtspAdd, "subRtspPort", 0, 65535, ""},
      {"/2003", &kRtspAdd, "subRtspPort", 0, 65535, ""},
      {"/2017", &login, "id", 0, 64, ""},
      {"/2031", &transport, "id", 0, 64, ""},
      {"/2031", &transport, "transmitProtocol", 0, 2, ""},
      {"/2010", &kStream, "id", 0, 63, ""},
      {"/2010", &kStream, "audioEnable", 0, 1, ""},
      {"/2010", &kStream, "mainFramerate", 0, std::nullopt, ""},
      {"/2010", &kStream, "mainBitrate", 0, std::nullopt, ""},
      {"/2010", &kStream, "mainResWidth", 0, std::nullopt, ""},
      {"/2010", &kStream, "mainResHeight", 0, std::nullopt, ""},
      {"/2060", &kChannel, "chnid", 0, 63, kCgiErrorJson},
      {"/2061", &kChannel, "chnid", 0, 63, kCgiErrorJson},
      {"/2063", &kChannel, "chnid", 0, 63, kCgiErrorJson},
      {"/2064", &kChannel, "chnid", 0, 63, kCgiErrorJson},
      {"/2065", &kChannel, "chnid", 0, 63, kCgiErrorJson},
      {"/2000", &kChannel, "chnid", 0, 7, kCgiErrorJson},
      {"/2005", &kChannel, "chnid", 0, 7, kCgiErrorJson},
      {"/2009", &kChannel, "chnid", 0, 7, kCgiErrorJson},
  };
  for (const Ranged& r : rows) {
    SCOPED_TRACE(std::string(r.path) + " " + r.key);
    expect_refused(r.path, object(*r.others, r.key, std::to_string(r.lo - 1)), r.refusal);
    if (r.hi) expect_refused(r.path, object(*r.others, r.key, std::to_string(*r.hi + 1)), r.refusal);
    for (const std::optional<int64_t>& limit : {std::optional<int64_t>(r.lo), r.hi}) {
      if (!limit) continue;
      const std::string reply = post(r.path, object(*r.others, r.key, std::to_string(*limit))).out;
      EXPECT_NE(reply, r.refusal) << *limit;
      EXPECT_EQ(body_of(reply).find("CGI ERROR"), std::string::npos) << *limit;
    }
  }
}

TEST_F(CameraFormTest, AddAndEditRefuseEachRequiredMemberLeftOut) {
  for (const char* path : {"/2004", "/2003"}) {
    expect_required(path, object(kAdd), {"id", "enable", "camProtocol", "transmitProtocol"});
  }
  for (const char* path : {"/2060", "/2061", "/2063", "/2064", "/2065"}) {
    expect_required(path, object(kChannel), {"chnid"}, kCgiErrorJson);
  }
}

TEST_F(CameraFormTest, StreamSetRefusesEachRequiredMemberLeftOut) {
  for (const char* key : {"id", "subEnable", "mainResWidth", "mainResHeight", "mainFramerate", "mainBitrate"}) {
    Members rest;
    for (const auto& member : kStream) {
      if (member.first != key) rest.push_back(member);
    }
    expect_refused("/2010", object(rest));
  }
}

// One member of an add and where "/2000" prints it: request key (null: not sent), reply key,
// the value sent and the value printed.
struct Member {
  const char* request_key;
  const char* reply_key;
  std::string sent;
  std::string printed;
};

// The add request and the "/2000" reply of `members` (in the reply's order).
std::pair<std::string, std::string> add_and_read(const std::vector<Member>& members) {
  Members request = {{"enable", "1"}, {"otherPoe", "0"}};
  std::string reply = "{ ";
  for (const Member& m : members) {
    if (m.request_key != nullptr) request.emplace_back(m.request_key, m.sent);
    reply += std::string(reply.size() > 2 ? ", " : "") + quoted(m.reply_key) + ": " + m.printed;
  }
  return {object(request), kJsonHeader + reply + " }"};
}

std::vector<Member> rtsp_camera(const std::string& text_suffix, size_t long_text) {
  // A text member sent as `long_text` characters (0: a short text of its own) and printed as
  // the field keeps it. A text that names something (all but the camera's name) or is a password
  // is sent at the longest it may be: one character more is refused (NamingTextsOneAboveTheirWidth).
  auto text = [&](const char* request_key, const char* reply_key, const std::string& own, size_t width) -> Member {
    if (long_text == 0) return {request_key, reply_key, quoted(own + text_suffix), quoted(own + text_suffix)};
    const bool cut = std::string_view(request_key) == "name";
    return {request_key, reply_key, quoted(std::string(cut ? width : width - 1, 'x')), quoted(std::string(width - 1, 'x'))};
  };
  return {
      {"id", "id", "6", "6"},
      text("name", "name", "Gate", 64),
      text("ipAddr", "ipAddr", "10.0.0.", 64),
      {"managePort", "managePort", "8006", "8006"},
      {nullptr, "protocol", "", "1"},  // the protocol of model 1
      {"camProtocol", "model", "1", "1"},
      text("userName", "userName", "user", 64),
      text("password", "password", "secret", 64),
      {"transmitProtocol", "transmitProtocol", "2", "2"},
      {"mainRtspPort", "mainRtspPort", "1554", "1554"},
      text("mainSourcePath", "mainSourcePath", "main", 256),
      {"enableSubStream", "subRtspEnable", "0", "0"},
      {"subRtspPort", "subRtspPort", "1555", "1555"},
      text("subSourcePath", "subSourcePath", "sub", 256),
      {"syncTime", "syncTime", "0", "0"},
      text("mainrtspurl", "mainRtspUrl", "rtspmain", 256),
      text("subrtspurl", "subRtspUrl", "rtspsub", 256),
      {"physicalport", "physicalport", "4", "4"},
      {"poechannel", "poechannel", "3", "3"},
      text("mac_addr", "mac_addr", "02:00:00:00:00:0", 32),
      {"minorid", "minorid", "9", "9"},
      text("ddns", "ddns", "gate.example", 64),
  };
}

TEST_F(CameraFormTest, EveryMemberAnAddStoresIsReadBackAlsoWhenOneCharacterTooLong) {
  for (size_t long_text : {0, 1}) {
    SCOPED_TRACE(long_text);
    const auto [request, expected] = add_and_read(rtsp_camera("6", long_text));
    ASSERT_EQ(post("/2004", request).out, kOk) << request;
    EXPECT_EQ(post("/2000", R"({"chnid": 6})").out, expected);
    EXPECT_EQ(camera(6).enable, 1);
  }
}

// An address, user, path, URL or MAC one character above its field is refused, not stored cut
// (as a name the page never sent).
TEST_F(CameraFormTest, NamingTextsOneAboveTheirWidthAreRefused) {
  const std::pair<const char*, size_t> rows[] = {{"ipAddr", 64},          {"userName", 64},    {"password", 64},
                                                 {"mainSourcePath", 256}, {"subSourcePath", 256},
                                                 {"mainrtspurl", 256},    {"subrtspurl", 256}, {"mac_addr", 32},
                                                 {"ddns", 64}};
  for (const auto& [key, width] : rows) {
    std::vector<Member> members = rtsp_camera("6", 0);
    for (Member& m : members) {
      if (m.request_key != nullptr && std::string_view(m.request_key) == key) m.sent = quoted(std::string(width, 'x'));
    }
    expect_refused("/2004", add_and_read(members).first);
  }
}

TEST_F(CameraFormTest, LoginAndTransportSetsAreReadBackAndNoticeTheChannel) {
  ASSERT_EQ(post("/2004", add_and_read(rtsp_camera("6", 0)).first).out, kOk);
  core_->clear_received();
  expect_refused("/2017", R"({"id": 6, "userName": ")" + std::string(64, 'u') + R"(", "password": "pw2"})");
  ASSERT_EQ(post("/2017", R"({"id": 6, "userName": ")" + std::string(63, 'u') + R"(", "password": "pw2"})").out, kOk);
  ASSERT_EQ(post("/2031", R"({"id": 6, "transmitProtocol": 1, "syncTime": 1})").out, kOk);
  const std::string read = post("/2000", R"({"chnid": 6})").out;
  EXPECT_NE(read.find(R"("userName": ")" + std::string(63, 'u') + R"(", "password": "pw2", "transmitProtocol": 1,)"),
            std::string::npos)
      << read;
  EXPECT_NE(read.find(R"("syncTime": 1,)"), std::string::npos) << read;
  core_->wait_for(kMsgOpLog, 2);
  const auto changed = core_->received(kCameraChanged.id);
  ASSERT_EQ(changed.size(), 2u);
  EXPECT_EQ(changed[0].payload, int32s({6}));
  EXPECT_EQ(changed[1].payload, int32s({6}));
  EXPECT_TRUE(core_->received(kCameraPoe.id).empty()) << "only adds and deletes tell the PoE switch";
}

TEST_F(CameraFormTest, DeletedCameraReadsBackEmptyWithTheFactoryName) {
  ASSERT_EQ(post("/2004", add_and_read(rtsp_camera("6", 0)).first).out, kOk);
  ASSERT_EQ(post("/2005", R"({"chnid": 6})").out, kOk);
  EXPECT_EQ(post("/2000", R"({"chnid": 6})").out,
            kJsonHeader + R"({ "id": 6, "name": "CAM7", "ipAddr": "", "managePort": 0, "protocol": 0, "model": 0, )"
                          R"("userName": "", "password": "", "transmitProtocol": 0, "mainRtspPort": 0, )"
                          R"("mainSourcePath": "", "subRtspEnable": 0, "subRtspPort": 0, "subSourcePath": "", )"
                          R"("syncTime": 0, "mainRtspUrl": "", "subRtspUrl": "", "physicalport": 0, "poechannel": 0, )"
                          R"("mac_addr": "", "minorid": 0, "ddns": "" })");
}

TEST_F(CameraFormTest, AWriteThatCannotBeStoredIsAnsweredWithTheFailureFormAndNoNotice) {
  ASSERT_EQ(unlink(kZvdbPath), 0);
  ASSERT_EQ(mkdir(kZvdbPath, 0755), 0);
  const std::pair<const char*, std::string> rows[] = {
      {"/2003", object(kAdd, "type", "0")},
      {"/2031", R"({"id": 5, "transmitProtocol": 1})"},
  };
  for (const auto& [path, body] : rows) EXPECT_EQ(post(path, body).out, kCgiErrorText) << path;
  EXPECT_TRUE(core_->received().empty());
}

}  // namespace
}  // namespace zvtest
