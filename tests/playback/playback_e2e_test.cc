// End to end without the web server: the real webreq against the core simulator in the sandbox.
// A playback session is searched, started, read, sped up, jumped and closed; two minutes of a
// channel are downloaded and ffprobe reads the file as MJPEG with the expected frames and length.
#include <gtest/gtest.h>
#include <json-c/json.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <future>
#include <memory>
#include <set>
#include <string>

#include "common/messages/playback.h"
#include "tests/playback/avi_check.h"
#include "tests/support/harness.h"
#include "tests/support/declared_messages.h"
#include "tools/zvcore-sim/simulator.h"

namespace zvtest {
namespace {

class PlaybackEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TZ", "UTC", 1);
    tzset();
    reset_device_state();
    // Yesterday is fully recorded in the simulator's index.
    const time_t yesterday = time(nullptr) - 86400;
    struct tm t{};
    gmtime_r(&yesterday, &t);
    char text[16];
    strftime(text, sizeof text, "%Y-%m-%d", &t);
    day_ = text;
  }

  void start_core(std::map<std::string, std::string> env = {}) {
    env["TZ"] = "UTC";
    core_ = std::make_unique<BackgroundProcess>(bin_path("zvcore-sim"), std::vector<std::string>{}, env);
    ASSERT_TRUE(wait_for_file("/tmp/zvcore"));
  }

  RunResult request(const std::string& id, const std::string& body, int timeout_ms = 20000) {
    std::map<std::string, std::string> env = {{"TZ", "UTC"},
                                              {"REMOTE_ADDR", "127.0.0.1"},
                                              {"HTTP_COOKIE", "userName=admin"},
                                              {"PATH_INFO", id}};
    const bool post = !body.empty() && body[0] == '{';
    if (post) {
      env["REQUEST_METHOD"] = "POST";
      env["CONTENT_TYPE"] = "application/json";
      env["CONTENT_LENGTH"] = std::to_string(body.size());
      env["QUERY_STRING"] = "";
    } else {
      env["REQUEST_METHOD"] = "GET";
      env["QUERY_STRING"] = body;
    }
    RunOptions options;
    options.env = env;
    options.stdin_data = post ? body : "";
    options.timeout_ms = timeout_ms;
    return run_program(bin_path("webreq"), options);
  }

  // The reply's JSON member as text ("" when absent).
  std::string member(const RunResult& r, const char* key) {
    json_object* object = json_tokener_parse(body_of(r.out).c_str());
    json_object* value = nullptr;
    std::string text;
    if (object != nullptr && json_object_object_get_ex(object, key, &value)) text = json_object_get_string(value);
    json_object_put(object);
    return text;
  }

  // ffprobe's view of a file: "codec,width,height,frames read,duration".
  std::string probe(const std::string& path) {
    RunOptions options;
    options.args = {"-v", "error", "-count_frames", "-select_streams", "v:0", "-show_entries",
                    "stream=codec_name,width,height,nb_read_frames:format=duration", "-of", "csv=p=0:s=,", path};
    RunResult r = run_program("/usr/bin/ffprobe", options);
    std::string out = r.out;
    for (char& c : out) {
      if (c == '\n') c = ',';
    }
    while (!out.empty() && out.back() == ',') out.pop_back();
    return out;
  }

  std::string day_;
  std::unique_ptr<BackgroundProcess> core_;
};

TEST_F(PlaybackEndToEnd, SessionSearchStartSpeedJumpClose) {
  start_core();
  RunResult r = request("/4000", R"({"channelId":0,"sid":-1,"streamType":0,"time":")" + day_ +
                                     R"( 00:00:00","endTime":")" + day_ + R"( 23:59:59"})");
  ASSERT_EQ(member(r, "status"), "OK") << r.out;
  EXPECT_EQ(member(r, "sectionNum"), "5");
  const std::string sid = member(r, "sid");

  r = request("/4001", R"({"channelId":0,"sid":)" + sid + R"(,"startTime":")" + day_ + R"( 00:00:00","endTime":")" +
                           day_ + R"( 23:59:59","playTime":")" + day_ + R"( 01:00:00"})");
  EXPECT_EQ(member(r, "status"), "OK") << r.out;
  EXPECT_EQ(member(r, "realPlayTime"), day_ + " 01:00:00");
  EXPECT_EQ(member(r, "sessionId"), sid);

  r = request("/4002", sid);
  const std::string first = member(r, "curPlayTime");
  EXPECT_EQ(first.substr(0, 16), day_ + " 01:00") << r.out;

  EXPECT_EQ(body_of(request("/4007", R"({"num":1,"sessionId":[)" + sid + R"(],"speed":[8]})").out), "OK");
  usleep(1000000);
  const std::string later = member(request("/4002", sid), "curPlayTime");
  EXPECT_GE(later, day_ + " 01:00:07");  // eight times faster for a second

  r = request("/4009", R"({"num":1,"sid":[)" + sid + R"(],"chnid":[0],"jumpTime":")" + day_ + R"( 05:00:00"})");
  EXPECT_EQ(member(r, "status"), "OK") << r.out;
  EXPECT_EQ(member(request("/4002", sid), "curPlayTime").substr(0, 16), day_ + " 05:00");
  // A time past what the core's 32-bit play time holds is refused and the session stays put.
  r = request("/4009", R"({"num":1,"sid":[)" + sid + R"(],"chnid":[0],"jumpTime":"2038-01-19 03:14:08"})");
  EXPECT_EQ(member(r, "status"), "ERROR") << r.out;
  EXPECT_EQ(member(request("/4002", sid), "curPlayTime").substr(0, 16), day_ + " 05:00");

  EXPECT_EQ(body_of(request("/4003", R"({"close":1,"num":1,"sid":[)" + sid + "]}").out), "OK");
  EXPECT_EQ(body_of(request("/4002", sid).out), "{status:\"CGI ERROR\"}");  // the session is gone

  r = request("/2013", R"({"time":")" + day_ + R"( 00:00:00","chnid":0,"streamType":0})");
  json_object* days = json_tokener_parse(body_of(r.out).c_str());
  ASSERT_NE(days, nullptr) << r.out;
  ASSERT_EQ(json_object_array_length(days), 31u);
  EXPECT_EQ(json_object_get_int(json_object_array_get_idx(days, static_cast<size_t>(std::stoi(day_.substr(8)) - 1))), 1);
  json_object_put(days);
}

TEST_F(PlaybackEndToEnd, TwoMinuteDownloadIsAPlayableMjpegFile) {
  if (access("/usr/bin/ffprobe", X_OK) != 0) GTEST_SKIP() << "ffprobe is not installed (scripts/setup)";
  start_core({{"ZVSIM_DOWNLOAD_SPEED", "40"}});
  RunResult r = request("/4013", R"({"id":0,"streamType":0,"startTime":")" + day_ + R"(T01:00:00Z","endTime":")" +
                                     day_ + R"(T01:02:00Z"})", 180000);
  ASSERT_FALSE(r.timed_out);
  struct tm t{};
  strptime((day_ + " 01:00:00").c_str(), "%Y-%m-%d %H:%M:%S", &t);
  const long long from = static_cast<long long>(timegm(&t));
  char name[160];
  snprintf(name, sizeof name, "1DDD%d_%d_%d_1_0_0_%lld-%d_%d_%d_1_2_0_%lld_0.avi", t.tm_year + 1900, t.tm_mon + 1,
           t.tm_mday, from, t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, from + 120);
  EXPECT_EQ(download_headers(r.out), std::string("Content-Type:application/octet-stream\r\n"
                                                 "Content-Disposition: attachment; filename= ") + name + "\r\n\r\n");
  const std::string file = download_body(r.out);
  const AviFile avi = parse_avi(file);
  ASSERT_TRUE(avi.valid) << avi.error;
  EXPECT_EQ(avi.frames.size(), 1200u);
  EXPECT_EQ(avi.strh_length, 1200u);  // announced by the core, true on a pipe
  EXPECT_EQ(std::count(avi.flags.begin(), avi.flags.end(), 0x10u), 1200);  // every picture a key frame
  write_file("/tmp/download.avi", file);
  EXPECT_EQ(probe("/tmp/download.avi"), "mjpeg,640,360,1200,120.000000");
  EXPECT_FALSE(file_exists("/tmp/pbdownload"));  // the core removed its marker at the end
  EXPECT_EQ(body_of(request("/4019", "").out), "{ \"isOK\": 1 }");
}

TEST_F(PlaybackEndToEnd, FramesSplitIntoManyChunks) {
  if (access("/usr/bin/ffprobe", X_OK) != 0) GTEST_SKIP() << "ffprobe is not installed (scripts/setup)";
  start_core({{"ZVSIM_DOWNLOAD_SPEED", "0"}, {"ZVSIM_CHUNK_BYTES", "3000"}});
  RunResult r = request("/4013", R"({"id":5,"streamType":1,"startTime":")" + day_ + R"(T10:00:00Z","endTime":")" +
                                     day_ + R"(T10:00:05Z"})");
  write_file("/tmp/download.avi", download_body(r.out));
  EXPECT_EQ(probe("/tmp/download.avi"), "mjpeg,352,288,50,5.000000");
}

// Every declared playback message has exactly one simulator rule, of the playback module.
TEST(PlaybackSimRules, CoverEveryDeclaredMessageOnce) {
  Simulator sim(SimOptions{});
  EXPECT_TRUE(sim.rules().conflicts().empty());
  std::set<int32_t> ids;
  for (const MessageInfo& m : declared_messages("playback")) {
    SCOPED_TRACE(m.name);
    EXPECT_TRUE(ids.insert(m.id).second) << "declared twice";
    ASSERT_EQ(sim.rules().rules().count(m.id), 1u);
    EXPECT_EQ(sim.rules().rules().find(m.id)->second.module, "playback");
  }
}

// The simulator in this process: its download stream ended or aborted by a control command.
TEST_F(PlaybackEndToEnd, ControlCommandsEndOrAbortTheDownload) {
  setenv("ZVSIM_DOWNLOAD_SPEED", "1", 1);  // a minute of recording takes a minute
  Simulator sim(SimOptions{});
  std::string error;
  ASSERT_TRUE(sim.start(&error)) << error;
  SimModule* playback = sim.module("playback");
  ASSERT_NE(playback, nullptr);
  std::string answer;
  EXPECT_TRUE(playback->control({"end-download"}, &answer));
  EXPECT_EQ(answer, "no download");
  EXPECT_FALSE(playback->control({"rewind"}, &answer));
  for (const char* command : {"end-download", "abort-download"}) {
    SCOPED_TRACE(command);
    auto download = std::async(std::launch::async, [&] {
      return request("/4013", R"({"id":2,"streamType":1,"startTime":")" + day_ + R"(T02:00:00Z","endTime":")" + day_ +
                                  R"(T02:01:00Z"})");
    });
    ASSERT_TRUE(wait_for_file("/tmp/pbdownload"));
    usleep(500000);
    EXPECT_TRUE(playback->control({command}, &answer));
    EXPECT_EQ(answer, "ok");
    const RunResult r = download.get();
    EXPECT_FALSE(r.timed_out);
    const AviFile avi = parse_avi(download_body(r.out));
    ASSERT_TRUE(avi.valid) << avi.error;
    EXPECT_LT(avi.frames.size(), 600u);
    if (std::string(command) == "end-download") {
      // Ended early: the file stops after the frames received and their index, and players read
      // and decode exactly those frames.
      ASSERT_GT(avi.frames.size(), 0u);
      EXPECT_TRUE(avi.ended_early);
      EXPECT_EQ(avi.junk_chunks, 0u);
      if (access("/usr/bin/ffprobe", X_OK) == 0) {
        write_file("/tmp/ended.avi", download_body(r.out));
        char duration[32];  // 10 frames a second: the duration of what arrived
        snprintf(duration, sizeof duration, "%.6f", static_cast<double>(avi.frames.size()) / 10.0);
        EXPECT_EQ(probe("/tmp/ended.avi"), "mjpeg,352,288," + std::to_string(avi.frames.size()) + "," + duration);
        RunOptions decode;
        decode.args = {"-v", "error", "-i", "/tmp/ended.avi", "-f", "null", "-"};
        const RunResult d = run_program("/usr/bin/ffmpeg", decode);
        EXPECT_EQ(d.exit_code, 0);
        EXPECT_EQ(d.out + d.err, "");
      }
    }
    EXPECT_FALSE(file_exists("/tmp/pbdownload"));
  }
  unsetenv("ZVSIM_DOWNLOAD_SPEED");
}

}  // namespace
}  // namespace zvtest
