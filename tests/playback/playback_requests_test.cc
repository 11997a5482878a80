// Playback requests through the real front end and a fake core: exact replies, exact payloads and
// message order, operation-log records, refusals and silent cores.
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "common/messages/playback.h"
#include "platform/zvdb/zvdb.h"
#include "platform/zvfs/zvfs.h"
#include "tests/playback/playback_fixture.h"

namespace zvtest {
namespace {

using namespace playback;

Bytes i32(int32_t v) { return int32s({v}); }

Bytes session_list(const std::vector<int32_t>& sids, bool fill_count, const std::vector<int32_t>& speeds = {}) {
  SessionList list{};
  for (size_t i = 0; i < sids.size(); ++i) list.sid[i] = sids[i];
  for (size_t i = 0; i < speeds.size(); ++i) list.speed[i] = speeds[i];
  list.count = fill_count ? static_cast<int32_t>(sids.size()) : 0;
  return bytes_of(list);
}

Bytes mask_request(const std::vector<int>& ones, int32_t speed, int32_t single) {
  MaskRequest mask{};
  memset(mask.mask, '0', sizeof mask.mask);
  for (int i : ones) mask.mask[i] = '1';
  mask.speed = speed;
  mask.single_fast = single;
  return bytes_of(mask);
}

std::string int_list(int from, int count) {
  std::string text = "[";
  for (int i = 0; i < count; ++i) text += (i > 0 ? "," : "") + std::to_string(from + i);
  return text + "]";
}

std::vector<int32_t> ids_from(int from, int count) {
  std::vector<int32_t> v;
  for (int i = 0; i < count; ++i) v.push_back(from + i);
  return v;
}

std::vector<int32_t> range_ids(int count) {
  std::vector<int32_t> v;
  for (int i = 0; i < count; ++i) v.push_back(i);
  return v;
}

// Messages other than operation-log records, in arrival order.
std::vector<std::pair<int32_t, Bytes>> without_logs(const std::vector<ReceivedMessage>& all) {
  std::vector<std::pair<int32_t, Bytes>> out;
  for (const ReceivedMessage& m : all) {
    if (m.id != 3485) out.emplace_back(m.id, m.payload);
  }
  return out;
}

std::vector<OpLogRecord> logs_of(const std::vector<ReceivedMessage>& all) {
  std::vector<OpLogRecord> out;
  for (const ReceivedMessage& m : all) {
    if (m.id == 3485) out.push_back(record_from<OpLogRecord>(m.payload));
  }
  return out;
}

// ---- Requests answered at once: the notices they send ----

struct NoticeCase {
  const char* name;
  const char* id;
  std::string argument;
  bool get;
  std::vector<std::pair<int32_t, Bytes>> sent;
  std::string out;
};

class NoticeRequestTest : public PlaybackTest, public ::testing::WithParamInterface<NoticeCase> {};

TEST_P(NoticeRequestTest, SendsExactlyThis) {
  const NoticeCase& c = GetParam();
  RunResult r = c.get ? get(c.id, c.argument) : post(c.id, c.argument);
  EXPECT_EQ(r.out, c.out);
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(without_logs(messages(c.sent.size())), c.sent);
}

const std::string kImageReset = kJsonHeader +
    "{ \"ChannelId\": 3, \"Brightness\": 128, \"Contrast\": 128, \"Saturation\": 128, \"Sharpness\": 128, "
    "\"NoiseReduction\": 128 }";

INSTANTIATE_TEST_SUITE_P(
    Notices, NoticeRequestTest,
    ::testing::Values(
        NoticeCase{"StopAndClose", "/4003", R"({"close":1,"num":2,"sid":[3,-1]})", false,
                   {{1903, i32(3)}, {1164, session_list({3, -1}, true)}, {1160, session_list({3, -1}, true)}}, kOk},
        NoticeCase{"StopWithoutClose", "/4003", R"({"close":0,"num":1,"sid":[3]})", false,
                   {{1903, i32(3)}, {1164, session_list({3}, true)}}, kOk},
        NoticeCase{"StopListCutAtArrayLength", "/4003", R"({"close":1,"num":5,"sid":[4]})", false,
                   {{1903, i32(4)}, {1164, session_list({4}, true)}, {1160, session_list({4}, true)}}, kOk},
        NoticeCase{"Pause", "/4004", R"({"num":2,"sid":[4,5]})", false, {{1165, session_list({4, 5}, true)}}, kOk},
        NoticeCase{"PauseCutAt64", "/4004", R"({"num":100,"sid":)" + int_list(0, 70) + "}", false,
                   {{1165, session_list(range_ids(64), true)}}, kOk},
        NoticeCase{"PauseListEndsAtNonNumber", "/4004", R"({"num":3,"sid":[4,"x",6]})", false,
                   {{1165, session_list({4}, true)}}, kOk},
        NoticeCase{"PauseCountOfTwoBillion", "/4004", R"({"num":2000000000,"sid":[1]})", false,
                   {{1165, session_list({1}, true)}}, kOk},
        NoticeCase{"Direction", "/4005", R"({"sid":7,"direction":1})", false, {{1166, int32s({7, 1})}}, kOk},
        NoticeCase{"Step", "/4006", R"({"num":1,"sid":[8]})", false, {{1170, session_list({8}, true)}}, kOk},
        NoticeCase{"Speeds", "/4007", R"({"num":2,"sessionId":[1,2],"speed":[3,-2]})", false,
                   {{1112, session_list({1, 2}, true, {3, -2})}}, kOk},
        NoticeCase{"SpeedsShortSpeedList", "/4007", R"({"num":2,"sessionId":[1,2],"speed":[3]})", false,
                   {{1112, session_list({1}, true, {3})}}, kOk},
        NoticeCase{"SpeedByChannelSkipsChannel70", "/4008", R"({"num":3,"speed":2,"chind":[0,70,63]})", false,
                   {{1149, mask_request({0, 63}, 2, 0)}}, kOk},
        NoticeCase{"SpeedByChannelSkipsNegative", "/4008", R"({"num":2,"speed":1,"chind":[-1,5]})", false,
                   {{1149, mask_request({5}, 1, 0)}}, kOk},
        NoticeCase{"SpeedBySessionSingleFast", "/4022", R"({"num":1,"sid":[5],"speed":2})", false,
                   {{1167, mask_request({5}, 2, 1)}}, kOk},
        NoticeCase{"SpeedBySessionTwo", "/4022", R"({"num":2,"sid":[5,6],"speed":2})", false,
                   {{1167, mask_request({5, 6}, 2, 0)}}, kOk},
        NoticeCase{"SpeedBySessionNumAboveList", "/4022", R"({"num":1,"sid":[],"speed":2})", false,
                   {{1167, mask_request({}, 2, 0)}}, kOk},
        NoticeCase{"Resume", "/3003", R"({"sessionId":[9,10]})", false, {{1113, session_list({9, 10}, false)}}, kOk},
        NoticeCase{"LiveStart", "/4011", R"({"id":2,"streamType":1,"streamFrom":1})", false,
                   {{1901, int32s({2, 1, 0})}}, kOk},
        NoticeCase{"LiveStop", "/4012", "", true, {{1902, {}}}, kOk},
        NoticeCase{"ImageReset", "/3002", "3", true, {{1205, int32s({3, 128, 128, 128, 128, 128, 0})}}, kImageReset},
        NoticeCase{"ChannelOk4015", "/4015", "1", true, {}, kOk},
        NoticeCase{"LiveStartLastValues", "/4011", R"({"id":7,"streamType":1,"streamFrom":1})", false,
                   {{1901, int32s({7, 1, 0})}}, kOk},
        NoticeCase{"LiveStartFirstValues", "/4011", R"({"id":0,"streamType":0,"streamFrom":0})", false,
                   {{1901, int32s({0, 0, 0})}}, kOk},
        NoticeCase{"ResumeCutAt64", "/3003", R"({"sessionId":)" + int_list(1, 65) + "}", false,
                   {{1113, session_list(ids_from(1, 64), false)}}, kOk},
        NoticeCase{"SpeedsCutAt64", "/4007",
                   R"({"num":65,"sessionId":)" + int_list(0, 65) + R"(,"speed":)" + int_list(100, 65) + "}", false,
                   {{1112, session_list(range_ids(64), true, ids_from(100, 64))}}, kOk},
        NoticeCase{"SpeedBySessionSkips64", "/4022", R"({"num":2,"sid":[63,64],"speed":1})", false,
                   {{1167, mask_request({63}, 1, 0)}}, kOk},
        NoticeCase{"ImageResetLastChannel", "/3002", "7", true, {{1205, int32s({7, 128, 128, 128, 128, 128, 0})}},
                   kJsonHeader + "{ \"ChannelId\": 7, \"Brightness\": 128, \"Contrast\": 128, \"Saturation\": 128, "
                                 "\"Sharpness\": 128, \"NoiseReduction\": 128 }"},
        NoticeCase{"ChannelOk4016", "/4016", "7", true, {}, kOk}),
    [](const ::testing::TestParamInfo<NoticeCase>& info) { return std::string(info.param.name); });

// ---- Refused requests: no reply (or the JSON error), nothing sent ----

struct RefusedCase {
  const char* id;
  std::string argument;
  bool get;
  std::string out;
};

class RefusedRequestTest : public PlaybackTest, public ::testing::WithParamInterface<RefusedCase> {};

TEST_P(RefusedRequestTest, NothingSent) {
  const RefusedCase& c = GetParam();
  RunResult r = c.get ? get(c.id, c.argument) : post(c.id, c.argument);
  EXPECT_EQ(r.out, c.out);
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_TRUE(messages(0).empty());
}

const char* const kGoodSearch = R"("sid":-1,"streamType":0,"time":"2024-01-02 00:00:00","endTime":"2024-01-02 23:59:59")";

INSTANTIATE_TEST_SUITE_P(
    Refused, RefusedRequestTest,
    ::testing::Values(
        RefusedCase{"/4000", "not json", false, ""},
        RefusedCase{"/4000", R"({"channelId":0,"sid":-1,"streamType":0,"time":"2024-01-02 00:00:00"})", false, ""},
        RefusedCase{"/4000", std::string("{") + R"("channelId":"zero",)" + kGoodSearch + "}", false, ""},
        RefusedCase{"/4000", R"({"channelId":0,"streamType":0,"time":"2024-01-02 00:00:00","endTime":"2024-01-02 23:59:59"})",
                    false, ""},
        RefusedCase{"/4000", R"({"channelId":0,"sid":-1,"time":"2024-01-02 00:00:00","endTime":"2024-01-02 23:59:59"})",
                    false, ""},
        RefusedCase{"/4000", std::string("{") + kGoodSearch + "}", false, ""},
        RefusedCase{"/4023", R"({"sid":7})", false, ""},
        RefusedCase{"/4001", R"({"channelId":8,"sid":1,"startTime":"a","endTime":"b","playTime":"c"})", false, ""},
        RefusedCase{"/4001", R"({"channelId":0,"sid":1,"startTime":"a","endTime":"b"})", false, ""},
        RefusedCase{"/4001", R"({"sid":1,"startTime":"a","endTime":"b","playTime":"c"})", false, ""},
        RefusedCase{"/4001", R"({"channelId":0,"startTime":"a","endTime":"b","playTime":"c"})", false, ""},
        RefusedCase{"/4001", R"({"channelId":0,"sid":1,"endTime":"b","playTime":"c"})", false, ""},
        RefusedCase{"/4001", R"({"channelId":0,"sid":1,"startTime":"a","playTime":"c"})", false, ""},
        RefusedCase{"/4002", "abc", true, ""},
        RefusedCase{"/4002", "-3", true, ""},
        RefusedCase{"/4003", "[1,2]", false, ""},
        RefusedCase{"/4007", R"({"num":2,"sessionId":[1,2]})", false, ""},
        RefusedCase{"/4007", R"({"num":1,"sessionId":[1],"speed":3})", false, ""},
        RefusedCase{"/4008", R"({"num":1,"speed":1})", false, ""},
        RefusedCase{"/4008", R"({"num":1,"speed":1,"chind":5})", false, ""},
        RefusedCase{"/4009", R"({"num":1,"sid":[1],"chnid":[0]})", false, ""},
        RefusedCase{"/4009", R"({"num":1,"chnid":[0],"jumpTime":"2024-01-02 05:00:00"})", false, ""},
        RefusedCase{"/4009", R"({"num":1,"sid":[1],"jumpTime":"2024-01-02 05:00:00"})", false, ""},
        RefusedCase{"/4009", R"({"sid":[1],"chnid":[0],"jumpTime":"2024-01-02 05:00:00"})", false, ""},
        RefusedCase{"/4009", R"({"num":0,"sid":[1],"chnid":[0],"jumpTime":"2024-01-02 05:00:00"})", false, kCgiErrorJson},
        RefusedCase{"/4009", R"({"num":2,"sid":[],"chnid":[0],"jumpTime":"2024-01-02 05:00:00"})", false, kCgiErrorJson},
        RefusedCase{"/4010", R"({"id":0,"streamType":2,"streamFrom":0})", false, ""},
        RefusedCase{"/4010", R"({"id":8,"streamType":0,"streamFrom":0})", false, ""},
        RefusedCase{"/4011", R"({"id":-1,"streamType":0,"streamFrom":0})", false, ""},
        RefusedCase{"/4011", R"({"id":1,"streamType":0})", false, ""},
        RefusedCase{"/4025", R"({"ch":0,"sid":7,"trancodingmode":1,"framesize":2,"bitrate":512})", false, kCgiErrorJson},
        RefusedCase{"/4025", "", false, kCgiErrorJson},
        RefusedCase{"/4026", R"({"ch":0})", false, kCgiErrorJson},
        RefusedCase{"/4024", "8", true, ""},
        RefusedCase{"/4024", "-1", true, ""},
        RefusedCase{"/4014", "x", true, ""},
        RefusedCase{"/4015", "8", true, ""},
        RefusedCase{"/4017", "", true, ""},
        RefusedCase{"/3000", R"({"chnid":8})", false, ""},
        RefusedCase{"/3001", R"({"id":0,"brightness":256,"contrast":1,"saturation":1})", false, ""},
        RefusedCase{"/3001", R"({"id":0,"brightness":1,"contrast":1})", false, ""},
        RefusedCase{"/3002", "9", true, ""},
        RefusedCase{"/2013", R"({"time":"2024-02-10 08:00:00","chnid":64,"streamType":0})", false, ""},
        RefusedCase{"/2013", R"({"time":"yesterday","chnid":1,"streamType":0})", false, ""},
        RefusedCase{"/2013", R"({"time":"2024-02-10 08:00:00","chnid":1})", false, ""},
        RefusedCase{"/4020", R"({"mask0":1,"mask1":0,"mask2":0,"mask4":0,"mask5":0,"mask6":0,"mask7":0,"playTime":"2024-01-02 03:04:05"})", false, ""},
        RefusedCase{"/4020", R"({"mask0":1,"mask1":0,"mask2":0,"mask3":0,"mask4":0,"mask5":0,"mask6":0,"mask7":0,"playTime":"2024-01-02"})", false, ""},
        RefusedCase{"/4020", R"({"mask0":1,"mask1":0,"mask2":0,"mask3":0,"mask4":0,"mask5":0,"mask6":0,"mask7":0})", false, ""},
        RefusedCase{"/4013", R"({"id":8,"streamType":0,"startTime":"2024-01-02T03:04:05Z","endTime":"2024-01-02T03:05:05Z"})", false, ""},
        RefusedCase{"/4013", R"({"id":1,"streamType":0,"startTime":"2024-01-02 03:04:05","endTime":"2024-01-02T03:05:05Z"})", false, ""},
        RefusedCase{"/4013", R"({"id":1,"streamType":0,"startTime":"2024-01-02T03:04:05Z"})", false, ""}));

// The first value outside every range, on both sides, and numbers beyond int32: refused, nothing sent.
INSTANTIATE_TEST_SUITE_P(
    RangeEdges, RefusedRequestTest,
    ::testing::Values(
        RefusedCase{"/4001", R"({"channelId":-1,"sid":1,"startTime":"a","endTime":"b","playTime":"c"})", false, ""},
        RefusedCase{"/4010", R"({"id":-1,"streamType":0,"streamFrom":0})", false, ""},
        RefusedCase{"/4010", R"({"id":0,"streamType":-1,"streamFrom":0})", false, ""},
        RefusedCase{"/4010", R"({"id":0,"streamType":0,"streamFrom":-1})", false, ""},
        RefusedCase{"/4010", R"({"id":0,"streamType":0,"streamFrom":2})", false, ""},
        RefusedCase{"/4011", R"({"id":8,"streamType":0,"streamFrom":0})", false, ""},
        RefusedCase{"/4011", R"({"id":0,"streamType":2,"streamFrom":0})", false, ""},
        RefusedCase{"/4011", R"({"id":0,"streamType":0,"streamFrom":2})", false, ""},
        RefusedCase{"/3000", R"({"chnid":-1})", false, ""},
        RefusedCase{"/3000", R"({"id":1})", false, ""},
        RefusedCase{"/3001", R"({"id":-1,"brightness":1,"contrast":1,"saturation":1})", false, ""},
        RefusedCase{"/3001", R"({"id":8,"brightness":1,"contrast":1,"saturation":1})", false, ""},
        RefusedCase{"/3001", R"({"id":0,"brightness":-1,"contrast":1,"saturation":1})", false, ""},
        RefusedCase{"/3001", R"({"id":0,"brightness":1,"contrast":-1,"saturation":1})", false, ""},
        RefusedCase{"/3001", R"({"id":0,"brightness":1,"contrast":256,"saturation":1})", false, ""},
        RefusedCase{"/3001", R"({"id":0,"brightness":1,"contrast":1,"saturation":-1})", false, ""},
        RefusedCase{"/3001", R"({"id":0,"brightness":1,"contrast":1,"saturation":256})", false, ""},
        RefusedCase{"/3001", R"({"id":0,"brightness":1,"contrast":1,"saturation":1,"Sharpness":2147483648})", false, ""},
        RefusedCase{"/2013", R"({"time":"2024-02-10 08:00:00","chnid":-1,"streamType":0})", false, ""},
        RefusedCase{"/4013", R"({"id":-1,"streamType":0,"startTime":"2024-01-02T03:04:05Z","endTime":"2024-01-02T03:05:05Z"})", false, ""},
        RefusedCase{"/4023", R"({"sid":4,"page":2147483648})", false, ""},
        RefusedCase{"/4002", "2147483648", true, ""},
        RefusedCase{"/4014", "-1", true, ""}, RefusedCase{"/4014", "8", true, ""},
        RefusedCase{"/4017", "-1", true, ""}, RefusedCase{"/4017", "8", true, ""},
        RefusedCase{"/4015", "-1", true, ""}, RefusedCase{"/4016", "8", true, ""},
        RefusedCase{"/3002", "-1", true, ""}, RefusedCase{"/3002", "8", true, ""},
        // The play time's seconds must fit the core's int32 (local time is UTC here).
        RefusedCase{"/4020", R"({"mask0":1,"mask1":0,"mask2":0,"mask3":0,"mask4":0,"mask5":0,"mask6":0,"mask7":0,"playTime":"1969-12-31 23:59:59"})", false, ""},
        RefusedCase{"/4020", R"({"mask0":1,"mask1":0,"mask2":0,"mask3":0,"mask4":0,"mask5":0,"mask6":0,"mask7":0,"playTime":"2038-01-19 03:14:08"})", false, ""}));

// ---- Requests that wait for the core ----

struct ReplyCase {
  const char* name;
  const char* id;
  std::string argument;
  bool get;
  int32_t request_id;
  Bytes request_payload;
  std::vector<FakeReply> replies;
  std::string out;
};

class ReplyRequestTest : public PlaybackTest, public ::testing::WithParamInterface<ReplyCase> {};

TEST_P(ReplyRequestTest, PrintsTheCoreReply) {
  const ReplyCase& c = GetParam();
  core_->reply_with(c.request_id, c.replies);
  RunResult r = c.get ? get(c.id, c.argument) : post(c.id, c.argument);
  EXPECT_EQ(r.out, c.out);
  EXPECT_EQ(r.exit_code, 0);
  const auto sent = without_logs(messages(1));
  ASSERT_FALSE(sent.empty());
  EXPECT_EQ(sent.front().first, c.request_id);
  EXPECT_EQ(sent.front().second, c.request_payload);
}

Bytes search_payload(int channel, int sub, const std::string& from, const std::string& to) {
  SearchRequest s{};
  for (int i = 0; i < 32; ++i) s.channel_mask[i] = i == channel ? '1' : '0';  // factory: 32 channels
  s.one = 1;
  s.sub_stream = sub;
  s.minus_one_a = s.minus_one_b = -1;
  put_text(s.start, from);
  put_text(s.end, to);
  return bytes_of(s);
}

Bytes search_records(std::initializer_list<SearchRecord> records) {
  Bytes out;
  for (const SearchRecord& r : records) {
    Bytes one = bytes_of(r);
    out.insert(out.end(), one.begin(), one.end());
  }
  return out;
}

SearchRecord record(int cam, int sid, int lock, int type, const std::string& from, const std::string& to) {
  SearchRecord r{};
  r.cam_id = cam;
  r.sid = sid;
  r.lock = lock;
  r.record_type = type;
  put_text(r.start_time, from);
  put_text(r.end_time, to);
  return r;
}

SearchRecord unterminated() {
  SearchRecord r = record(1, 4, 0, 0, "", "");
  memset(r.start_time, 'A', sizeof r.start_time);  // no NUL: the text stops at the field's end
  memset(r.end_time, 'B', sizeof r.end_time);
  return r;
}

const std::string kTwoSections = kJsonHeader +
    "{ \"status\": \"OK\", \"camId\": 3, \"sectionNum\": 2, \"sid\": 7, \"section\": [ "
    "{ \"startTime\": \"2024-01-02 00:00:00\", \"endTime\": \"2024-01-02 07:59:59\", \"recordType\": 0, \"lock\": 0 }, "
    "{ \"startTime\": \"2024-01-02 12:30:00\", \"endTime\": \"2024-01-02 12:44:59\", \"recordType\": 2, \"lock\": 1 } ] }";

LiveSourceReply live_reply(int32_t result) {
  LiveSourceReply live{};
  live.channel = 1;
  live.port = 554;
  live.direct = 1;
  live.result = result;
  put_text(live.rtsp_addr, "rtsp://10.0.0.2:554/ch2/main");
  put_text(live.res_path, "/ch2/main");
  return live;
}

// Every text of the reply filled to its width, without a NUL.
LiveSourceReply unterminated_live() {
  LiveSourceReply live = live_reply(0);
  memset(live.rtsp_addr, 'r', sizeof live.rtsp_addr);
  memset(live.res_path, 'p', sizeof live.res_path);
  return live;
}

Bytes calendar(std::initializer_list<int> days_with_value) {
  CalendarReply reply{};
  for (int d : days_with_value) reply.day[d - 1] = 7;
  return bytes_of(reply);
}

Bytes calendar_request() {
  CalendarRequest c{};
  c.sub_stream = 1;
  c.year = 2024;
  c.month = 2;
  memset(c.channel_mask, '0', sizeof c.channel_mask);
  c.channel_mask[5] = '1';
  return bytes_of(c);
}

StreamAddressRecord address_record() {
  StreamAddressRecord r{};
  put_text(r.main_rtsp, "rtsp://a/main");
  put_text(r.sub_rtsp, "rtsp://a/sub");
  r.main_ports = {554, 10554, 20554, 10080, 20080};
  r.sub_ports = {555, 10555, 20555, 10081, 20081};
  put_text(r.main_account.username, "admin");
  put_text(r.main_account.password, "pw1");
  put_text(r.main_account.res_path, "/m");
  put_text(r.sub_account.username, "guest");
  put_text(r.sub_account.password, "pw2");
  put_text(r.sub_account.res_path, "/s");
  return r;
}

const std::string kAddresses = kJsonHeader +
    "{ \"rtspaddr\": [ { \"ipc\": { \"main\": \"rtsp:\\/\\/a\\/main\", \"sub\": \"rtsp:\\/\\/a\\/sub\" }, \"nvr\": { "
    "\"mainUsername\": \"admin\", \"mainPassword\": \"pw1\", \"mainPort\": 554, \"mainExternalPort\": 10554, "
    "\"mainDDNSPort\": 20554, \"mainResPath\": \"\\/m\", \"mainExternalHttpPort\": 10080, \"mainDDNSHttpPort\": 20080, "
    "\"subUsername\": \"guest\", \"subPassword\": \"pw2\", \"subPort\": 555, \"subExternalPort\": 10555, "
    "\"subDDNSPort\": 20555, \"subResPath\": \"\\/s\", \"subExternalHttpPort\": 10081, \"subDDNSHttpPort\": 20081 } } ] }";

Bytes jump_payload(std::vector<int32_t> channels, std::vector<int32_t> sids, const std::string& when) {
  JumpRequest j{};
  for (size_t i = 0; i < sids.size(); ++i) {
    j.sid[i] = sids[i];
    j.chnid[i] = channels[i];
  }
  j.count = static_cast<int32_t>(sids.size());
  put_text(j.jump_time, when);
  return bytes_of(j);
}

const char* const kJump = R"({"num":2,"sid":[7,8],"chnid":[1,2],"jumpTime":"2024-01-02 05:00:00"})";

INSTANTIATE_TEST_SUITE_P(
    Replies, ReplyRequestTest,
    ::testing::Values(
        ReplyCase{"Search", "/4000", R"({"channelId":2,"sid":-1,"streamType":1,"time":"2024-01-02 00:00:00","endTime":"2024-01-02 23:59:59"})",
                  false, 1159, search_payload(2, 1, "2024-01-02 00:00:00", "2024-01-02 23:59:59"),
                  {{.payload = search_records({record(2, 7, 0, 0, "2024-01-02 00:00:00", "2024-01-02 07:59:59"),
                                               record(3, 9, 1, 2, "2024-01-02 12:30:00", "2024-01-02 12:44:59")})}},
                  kTwoSections},
        ReplyCase{"SearchNoMatches", "/4000", std::string("{\"channelId\":40,") + kGoodSearch + "}", false, 1159,
                  search_payload(40, 0, "2024-01-02 00:00:00", "2024-01-02 23:59:59"), {{.payload = {}}},
                  kJsonHeader + "{ \"status\": \"NO MATCHES\" }"},
        ReplyCase{"SearchShortReplyIsNoMatch", "/4000", std::string("{\"channelId\":0,") + kGoodSearch + "}", false, 1159,
                  search_payload(0, 0, "2024-01-02 00:00:00", "2024-01-02 23:59:59"), {{.payload = Bytes(103, 1)}},
                  kJsonHeader + "{ \"status\": \"NO MATCHES\" }"},
        ReplyCase{"PageUnterminatedTexts", "/4023", R"({"sid":4,"page":2})", false, 1161, int32s({4, 2}),
                  {{.payload = search_records({unterminated()})}},
                  kJsonHeader + "{ \"status\": \"OK\", \"camId\": 1, \"sectionNum\": 1, \"sid\": 4, \"section\": [ { \"startTime\": \"" +
                      std::string(32, 'A') + "\", \"endTime\": \"" + std::string(32, 'B') +
                      "\", \"recordType\": 0, \"lock\": 0 } ] }"},
        ReplyCase{"CurrentTime", "/4002", "7", true, 1153, i32(7), {{.payload = i32(1704164645)}},
                  kJsonHeader + "{ \"status\": \"OK\", \"curPlayTime\": \"2024-01-02 03:04:05\" }"},
        ReplyCase{"CurrentTimeZero", "/4002", "7", true, 1153, i32(7), {{.payload = i32(0)}}, kCgiErrorJson},
        ReplyCase{"Jump", "/4009", kJump, false, 1171, jump_payload({1, 2}, {7, 8}, "2024-01-02 05:00:00"),
                  {{.payload = i32(0)}}, kJsonHeader + "{ \"status\": \"OK\" }"},
        ReplyCase{"JumpRefusedByCore", "/4009", kJump, false, 1171, jump_payload({1, 2}, {7, 8}, "2024-01-02 05:00:00"),
                  {{.payload = i32(3)}}, kJsonHeader + "{ \"status\": \"ERROR\" }"},
        ReplyCase{"JumpCutAtShortestList", "/4009", R"({"num":3,"sid":[7],"chnid":[1,2],"jumpTime":"t"})", false, 1171,
                  jump_payload({1}, {7}, "t"), {{.payload = i32(0)}}, kJsonHeader + "{ \"status\": \"OK\" }"},
        ReplyCase{"Transcode", "/4025", R"({"ch":0,"sid":7,"trancodingmode":1,"framesize":2,"bitrate":512,"framerate":10})",
                  false, 1176, int32s({0, 7, 1, 2, 512, 10}), {{.payload = int32s({0, 7, 1})}},
                  kJsonHeader + "{ \"ch\": 0, \"sid\": 7, \"state\": 1, \"status\": \"OK\" }"},
        ReplyCase{"TranscodeState", "/4026", R"({"ch":0,"sid":7})", false, 1177, int32s({0, 7}),
                  {{.payload = int32s({0, 7, 0})}}, kJsonHeader + "{ \"ch\": 0, \"sid\": 7, \"state\": 0 }"},
        ReplyCase{"LiveSource", "/4010", R"({"id":1,"streamType":0,"streamFrom":1})", false, 3500, int32s({1, 0, 1}),
                  {{.payload = bytes_of(live_reply(0))}},
                  kJsonHeader + "{ \"status\": \"OK\", \"port\": 554, \"direct\": 1, \"rtspAddr\": "
                                "\"rtsp:\\/\\/10.0.0.2:554\\/ch2\\/main\", \"resPath\": \"\\/ch2\\/main\" }"},
        ReplyCase{"LiveSourceError", "/4010", R"({"id":1,"streamType":0,"streamFrom":1})", false, 3500,
                  int32s({1, 0, 1}), {{.payload = bytes_of(live_reply(-1))}}, kJsonHeader + "{ \"status\": \"ERROR\" }"},
        ReplyCase{"ImageRead", "/3000", R"({"chnid":2})", false, 3002, i32(2),
                  {{.payload = int32s({2, 10, 20, 30, 40, 50, 1, 0})}},
                  kJsonHeader + "{ \"status\": \"OK\", \"brightness\": 10, \"contrast\": 20, \"saturation\": 30, "
                                "\"Sharpness\": 40, \"NoiseReduction\": 50, \"i2ddnr\": 1 }"},
        ReplyCase{"ImageReadError", "/3000", R"({"chnid":2})", false, 3002, i32(2),
                  {{.payload = int32s({2, 10, 20, 30, 40, 50, 1, -1})}}, kJsonHeader + "{ \"status\": \"ERROR\" }"},
        ReplyCase{"Busy", "/3004", "", true, 4011, {}, {{.payload = i32(1)}}, kJsonHeader + "{ \"status\": \"BUSY\" }"},
        ReplyCase{"NotBusy", "/3004", "", true, 4011, {}, {{.payload = i32(0)}}, kJsonHeader + "{ \"status\": \"OK\" }"},
        ReplyCase{"ExternalPorts", "/4021", "", true, 3506, {}, {{.payload = int32s({8554, 9554})}},
                  kJsonHeader + "{ \"upnp_extern_port\": 8554, \"ddns_extern_port\": 9554 }"},
        ReplyCase{"Addresses", "/4018", "", true, 3503, {}, {{.payload = bytes_of(address_record())}}, kAddresses},
        ReplyCase{"AddressesEmpty", "/4018", "", true, 3503, {}, {{.payload = {}}}, ""},
        // Texts one character above their fields are cut to the width less one.
        ReplyCase{"SearchTimesCutAt31", "/4000",
                  R"({"channelId":0,"sid":-1,"streamType":0,"time":")" + std::string(32, 't') + R"(","endTime":")" +
                      std::string(40, 'e') + R"("})",
                  false, 1159, search_payload(0, 0, std::string(31, 't'), std::string(31, 'e')), {{.payload = {}}},
                  kJsonHeader + "{ \"status\": \"NO MATCHES\" }"},
        ReplyCase{"JumpTimeCutAt63", "/4009", R"({"num":1,"sid":[7],"chnid":[1],"jumpTime":")" + std::string(64, 'j') + R"("})",
                  false, 1171, jump_payload({1}, {7}, std::string(63, 'j')), {{.payload = i32(0)}},
                  kJsonHeader + "{ \"status\": \"OK\" }"},
        ReplyCase{"LiveSourceTextsFillTheirFields", "/4010", R"({"id":7,"streamType":1,"streamFrom":0})", false, 3500,
                  int32s({7, 1, 0}), {{.payload = bytes_of(unterminated_live())}},
                  kJsonHeader + "{ \"status\": \"OK\", \"port\": 554, \"direct\": 1, \"rtspAddr\": \"" +
                      std::string(128, 'r') + "\", \"resPath\": \"" + std::string(128, 'p') + "\" }"},
        ReplyCase{"ImageReadLastChannel", "/3000", R"({"chnid":7})", false, 3002, i32(7),
                  {{.payload = int32s({7, -1, 256, 3, 4, 5, 6, 0})}},
                  kJsonHeader + "{ \"status\": \"OK\", \"brightness\": -1, \"contrast\": 256, \"saturation\": 3, "
                                "\"Sharpness\": 4, \"NoiseReduction\": 5, \"i2ddnr\": 6 }"},
        // A reply one byte shorter than its record is not taken: the wait runs out.
        ReplyCase{"BusyShortReply", "/3004", "", true, 4011, {}, {{.payload = Bytes(3, 1)}}, kCgiErrorJson},
        ReplyCase{"PortsShortReply", "/4021", "", true, 3506, {}, {{.payload = Bytes(7, 1)}}, kCgiErrorJson},
        ReplyCase{"CalendarShortReply", "/2013", R"({"time":"2024-02-10 08:00:00","chnid":5,"streamType":1})", false,
                  3493, calendar_request(), {{.payload = Bytes(131, 1)}}, kCgiErrorJson},
        ReplyCase{"TranscodeShortReply", "/4026", R"({"ch":0,"sid":7})", false, 1177, int32s({0, 7}),
                  {{.payload = Bytes(11, 1)}}, kCgiErrorJson},
        ReplyCase{"ImageShortReply", "/3000", R"({"chnid":1})", false, 3002, i32(1), {{.payload = Bytes(31, 1)}},
                  kCgiErrorJson},
        ReplyCase{"Calendar", "/2013", R"({"time":"2024-02-10 08:00:00","chnid":5,"streamType":1})", false, 3493,
                  calendar_request(), {{.payload = calendar({1, 3, 31})}},
                  kJsonHeader + "[ 1, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1 ]"}),
    [](const ::testing::TestParamInfo<ReplyCase>& info) { return std::string(info.param.name); });

// A core that does not answer: every waiting request prints the JSON error once.
class SilentCoreTest : public PlaybackTest, public ::testing::WithParamInterface<std::pair<const char*, std::string>> {};

TEST_P(SilentCoreTest, JsonError) {
  const auto& [id, argument] = GetParam();
  RunResult r = argument.empty() || argument[0] != '{' ? get(id, argument) : post(id, argument);
  EXPECT_EQ(r.out, kCgiErrorJson);
}

INSTANTIATE_TEST_SUITE_P(
    Silent, SilentCoreTest,
    ::testing::Values(
        std::make_pair("/4000", std::string("{\"channelId\":0,") + kGoodSearch + "}"),
        std::make_pair("/4023", std::string(R"({"sid":1,"page":0})")), std::make_pair("/4002", std::string("1")),
        std::make_pair("/4009", std::string(kJump)),
        std::make_pair("/4001", std::string(R"({"channelId":0,"sid":1,"startTime":"a","endTime":"b","playTime":"c"})")),
        std::make_pair("/4025", std::string(R"({"ch":0,"sid":7,"trancodingmode":1,"framesize":2,"bitrate":512,"framerate":10})")),
        std::make_pair("/4026", std::string(R"({"ch":0,"sid":7})")),
        std::make_pair("/4010", std::string(R"({"id":1,"streamType":0,"streamFrom":1})")),
        std::make_pair("/3000", std::string(R"({"chnid":1})")), std::make_pair("/3004", std::string("")),
        std::make_pair("/4018", std::string("")), std::make_pair("/4021", std::string("")),
        std::make_pair("/2013", std::string(R"({"time":"2024-02-10 08:00:00","chnid":5,"streamType":1})")),
        std::make_pair("/4020", std::string(R"({"mask0":1,"mask1":0,"mask2":0,"mask3":0,"mask4":0,"mask5":0,"mask6":0,"mask7":0,"playTime":"2024-01-02 03:04:05"})"))));

// ---- Sequences ----

TEST_F(PlaybackTest, SearchClosesTheNamedSessionFirst) {
  core_->reply(1159, {});
  RunResult r = post("/4000", std::string("{\"channelId\":1,\"sid\":5,") +
                                  R"("streamType":0,"time":"2024-01-02 00:00:00","endTime":"2024-01-02 23:59:59"})");
  EXPECT_EQ(r.out, kJsonHeader + "{ \"status\": \"NO MATCHES\" }");
  const std::vector<std::pair<int32_t, Bytes>> expected = {
      {1160, session_list({5}, true)},
      {1903, i32(5)},
      {1159, search_payload(1, 0, "2024-01-02 00:00:00", "2024-01-02 23:59:59")}};
  EXPECT_EQ(without_logs(messages(3)), expected);

  // Session 0 is a session like any other.
  core_->clear_received();
  post("/4000", std::string("{\"channelId\":1,\"sid\":0,") +
                    R"("streamType":0,"time":"2024-01-02 00:00:00","endTime":"2024-01-02 23:59:59"})");
  const std::vector<std::pair<int32_t, Bytes>> first = {
      {1160, session_list({0}, true)},
      {1903, i32(0)},
      {1159, search_payload(1, 0, "2024-01-02 00:00:00", "2024-01-02 23:59:59")}};
  EXPECT_EQ(without_logs(messages(3)), first);
}

TEST_F(PlaybackTest, SearchWithoutSessionSendsOnlyTheSearch) {
  core_->reply(1159, {});
  post("/4000", std::string("{\"channelId\":1,") + kGoodSearch + "}");
  EXPECT_EQ(ids(1), std::vector<int32_t>{1159});
}

TEST_F(PlaybackTest, SearchMaskFollowsTheDeviceChannelCount) {
  ASSERT_EQ(set_param_int(kZvdbPath, "max_cameras", 8), 0);
  zvdb_close_all();
  core_->reply(1159, {});
  post("/4000", std::string("{\"channelId\":3,") + kGoodSearch + "}");
  const SearchRequest sent = record_from<SearchRequest>(messages(1).at(0).payload);
  EXPECT_EQ(std::string(sent.channel_mask, 9), std::string("00010000") + '\0');
}

const char* const kStart =
    R"({"channelId":1,"sid":7,"startTime":"2024-01-02 00:00:00","endTime":"2024-01-02 23:59:59","playTime":"2024-01-02 01:00:00"})";

SessionSource session_source() {
  SessionSource s{};
  s.session_id = 7;
  s.port = 554;
  s.external_port = 10554;
  s.external_http_port = 10080;
  s.ddns_port = 30554;
  s.ddns_http_port = 30080;
  put_text(s.source_path, "/playback/7");
  return s;
}

const std::string kSource = kJsonHeader +
    "{ \"sessionId\": 7, \"sourcePath\": \"\\/playback\\/7\", \"port\": 554, \"status\": \"OK\", \"realPlayTime\": "
    "\"2024-01-02 01:00:00\", \"external_port\": 10554, \"external_http_port\": 10080, \"ddns_port\": 30554, "
    "\"ddns_http_port\": 30080 }";

TEST_F(PlaybackTest, StartSessionPrintsItsSourceAndLogs) {
  core_->reply(1162, i32(0));
  core_->reply(3502, bytes_of(session_source()));
  RunResult r = post("/4001", kStart);
  EXPECT_EQ(r.out, kSource);
  StartRequest start{};
  start.channel = 1;
  start.sid = 7;
  put_text(start.start_time, "2024-01-02 00:00:00");
  put_text(start.end_time, "2024-01-02 23:59:59");
  put_text(start.play_time, "2024-01-02 01:00:00");
  const auto all = messages(3);
  const std::vector<std::pair<int32_t, Bytes>> expected = {{1162, bytes_of(start)}, {3502, i32(7)}};
  EXPECT_EQ(without_logs(all), expected);
  const auto logs = logs_of(all);
  ASSERT_EQ(logs.size(), 1u);
  EXPECT_EQ(logs[0].main_type, 4);
  EXPECT_EQ(logs[0].sub_type, 209);
  EXPECT_EQ(logs[0].param_type, 900);
  EXPECT_EQ(logs[0].channel, 2);
  EXPECT_STREQ(logs[0].user, "admin");
}

TEST_F(PlaybackTest, StartRefusedByTheCoreStops) {
  core_->reply(1162, i32(-4));
  RunResult r = post("/4001", kStart);
  EXPECT_EQ(r.out, kCgiErrorJson);
  EXPECT_EQ(ids(0), std::vector<int32_t>{1162});
}

MultiPlayReply multi_reply(int32_t failed) {
  MultiPlayReply m{};
  m.sid = 7;
  put_text(m.play_text, "2024-01-02 01:00:00");
  m.failed = failed;
  return m;
}

TEST_F(PlaybackTest, MultiPlayAcceptsBothReplyIds) {
  for (int32_t reply_id : {8103, 8109}) {
    SCOPED_TRACE(reply_id);
    core_->clear_received();
    core_->reply_with(3109, {{.id = reply_id, .payload = bytes_of(multi_reply(0))}});
    core_->reply(3502, bytes_of(session_source()));
    RunResult r = post("/4020", R"({"mask0":1,"mask1":2,"mask2":0,"mask3":0,"mask4":0,"mask5":0,"mask6":0,"mask7":-1,"playTime":"2024-01-02 03:04:05"})");
    EXPECT_EQ(r.out, kSource);
    MultiPlayRequest play{};
    play.play_time = 1704164645;
    put_text(play.play_text, "2024-01-02 03:04:05");
    play.mask[0] = 1;
    play.mask[1] = 2;
    play.mask[7] = -1;
    const auto all = messages(3);
    const std::vector<std::pair<int32_t, Bytes>> expected = {{3109, bytes_of(play)}, {3502, i32(7)}};
    EXPECT_EQ(without_logs(all), expected);
    const auto logs = logs_of(all);
    ASSERT_EQ(logs.size(), 1u);
    EXPECT_EQ(logs[0].sub_type, 209);
    EXPECT_EQ(logs[0].channel, 0);
  }
}

TEST_F(PlaybackTest, MultiPlayPrintsAtMost31CharactersOfTheCorePlayTime) {
  MultiPlayReply reply = multi_reply(0);
  memset(reply.play_text, 'x', sizeof reply.play_text);  // no NUL
  core_->reply_with(3109, {{.id = 8103, .payload = bytes_of(reply)}});
  core_->reply(3502, bytes_of(session_source()));
  RunResult r = post("/4020", R"({"mask0":0,"mask1":0,"mask2":0,"mask3":0,"mask4":0,"mask5":0,"mask6":0,"mask7":128,"playTime":"2024-01-02 03:04:05"})");
  EXPECT_NE(r.out.find("\"realPlayTime\": \"" + std::string(31, 'x') + "\", "), std::string::npos) << r.out;
}

TEST_F(PlaybackTest, MultiPlayOtherReplyIdIsNotTaken) {
  core_->reply_with(3109, {{.id = 8110, .payload = bytes_of(multi_reply(0))}});
  EXPECT_EQ(post("/4020", R"({"mask0":1,"mask1":0,"mask2":0,"mask3":0,"mask4":0,"mask5":0,"mask6":0,"mask7":0,"playTime":"2024-01-02 03:04:05"})").out,
            kCgiErrorJson);
  EXPECT_EQ(ids(0), std::vector<int32_t>{3109});
}

TEST_F(PlaybackTest, MultiPlayFailureWordIsTheJsonError) {
  core_->reply_with(3109, {{.id = 8103, .payload = bytes_of(multi_reply(1))}});
  RunResult r = post("/4020", R"({"mask0":1,"mask1":0,"mask2":0,"mask3":0,"mask4":0,"mask5":0,"mask6":0,"mask7":0,"playTime":"2024-01-02 03:04:05"})");
  EXPECT_EQ(r.out, kCgiErrorJson);
  EXPECT_EQ(ids(0), std::vector<int32_t>{3109});
}

TEST_F(PlaybackTest, ImageAdjustSendsValuesAndLogsPercentages) {
  RunResult r = post("/3001", R"({"id":2,"brightness":255,"contrast":0,"saturation":128,"Sharpness":2147483647,"NoiseReduction":-255,"i2ddnr":1})");
  EXPECT_EQ(r.out, kOk);
  const auto all = messages(2);
  const std::vector<std::pair<int32_t, Bytes>> expected = {{1205, int32s({2, 255, 0, 128, 2147483647, -255, 1})}};
  EXPECT_EQ(without_logs(all), expected);
  const auto logs = logs_of(all);
  ASSERT_EQ(logs.size(), 1u);
  EXPECT_EQ(logs[0].sub_type, 217);
  EXPECT_EQ(logs[0].param_type, 900);
  EXPECT_EQ(logs[0].channel, 3);
  int32_t kind = 0;
  int32_t percent[5] = {};
  ASSERT_EQ(zvfs_log_unpack_detail(&logs[0], &kind, percent, sizeof percent), 20);
  EXPECT_EQ(kind, 107);
  // 255 -> 100, 0 -> 0, 128 -> 50.2 -> 50, INT32_MAX in 64 bits, -255 -> -100.
  EXPECT_EQ(std::vector<int32_t>(percent, percent + 5), (std::vector<int32_t>{100, 0, 50, 842150450, -100}));
}

TEST_F(PlaybackTest, LogOnlyRequests) {
  struct Case {
    const char* id;
    const char* channel;
    int64_t sub_type;
    int32_t logged_channel;
  };
  for (const Case& c : {Case{"/4024", "3", 208, 4}, Case{"/4014", "2", 205, 3}, Case{"/4017", "0", 218, 1}}) {
    SCOPED_TRACE(c.id);
    core_->clear_received();
    EXPECT_EQ(get(c.id, c.channel).out, kOk);
    const auto all = messages(1);
    ASSERT_EQ(all.size(), 1u);
    const OpLogRecord log = record_from<OpLogRecord>(all[0].payload);
    EXPECT_EQ(log.sub_type, c.sub_type);
    EXPECT_EQ(log.param_type, 900);
    EXPECT_EQ(log.channel, c.logged_channel);
  }
}

TEST_F(PlaybackTest, LiveSourceLogsOnlyAnAcceptedSource) {
  core_->reply(3500, bytes_of(live_reply(0)));
  post("/4010", R"({"id":1,"streamType":0,"streamFrom":1})");
  auto logs = logs_of(messages(2));
  ASSERT_EQ(logs.size(), 1u);
  EXPECT_EQ(logs[0].sub_type, 208);
  EXPECT_EQ(logs[0].channel, 2);
  core_->clear_received();
  core_->reply(3500, bytes_of(live_reply(-1)));
  post("/4010", R"({"id":1,"streamType":0,"streamFrom":1})");
  EXPECT_TRUE(logs_of(messages(0)).empty());
  // A channel word the core filled with anything: the entry still names the requested channel.
  core_->clear_received();
  LiveSourceReply odd = live_reply(0);
  odd.channel = 2147483647;
  core_->reply(3500, bytes_of(odd));
  post("/4010", R"({"id":6,"streamType":0,"streamFrom":1})");
  logs = logs_of(messages(2));
  ASSERT_EQ(logs.size(), 1u);
  EXPECT_EQ(logs[0].channel, 7);
}

TEST_F(PlaybackTest, DownloadStateAndEnd) {
  EXPECT_EQ(get("/4019").out, kTextHeader + "{ \"isOK\": 1 }");
  write_file("/tmp/pbdownload", "");
  EXPECT_EQ(get("/4019").out, kTextHeader + "{ \"isOK\": 0 }");
  EXPECT_EQ(get("/4027").out, kOk);
  EXPECT_FALSE(file_exists("/tmp/pbdownload"));
  const std::vector<std::pair<int32_t, Bytes>> expected = {{1178, {}}};
  EXPECT_EQ(without_logs(messages(1)), expected);
  EXPECT_EQ(get("/4019").out, kTextHeader + "{ \"isOK\": 1 }");
}

}  // namespace
}  // namespace zvtest
