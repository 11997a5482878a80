// Playback and download through the whole stack, as the playback page drives it with curl.
#include <sys/stat.h>

#include <gtest/gtest.h>
#include <json-c/json.h>
#include <unistd.h>

#include <ctime>
#include <string>

#include "tests/e2e/stack.h"

namespace zvtest {
namespace {

std::string member(const std::string& body, const char* key) {
  json_object* o = json_tokener_parse(body.c_str());
  json_object* v = nullptr;
  std::string text;
  if (o != nullptr && json_object_object_get_ex(o, key, &v)) text = json_object_get_string(v);
  json_object_put(o);
  return text;
}

// Yesterday (local time) is fully recorded in the simulator's index.
std::string yesterday() {
  const time_t t = time(nullptr) - 86400;
  struct tm local{};
  localtime_r(&t, &local);
  char text[16];
  strftime(text, sizeof text, "%Y-%m-%d", &local);
  return text;
}

TEST(EndToEndPlayback, SearchStartReadSpeedJumpClose) {
  DemoStack stack;
  ASSERT_TRUE(stack.ready());
  const std::string day = yesterday();
  HttpReply r = stack.post_json("/4000", R"({"channelId":0,"sid":-1,"streamType":0,"time":")" + day +
                                             R"( 00:00:00","endTime":")" + day + R"( 23:59:59"})");
  ASSERT_EQ(member(r.body, "status"), "OK") << r.body;
  const std::string sid = member(r.body, "sid");

  r = stack.post_json("/4001", R"({"channelId":0,"sid":)" + sid + R"(,"startTime":")" + day +
                                   R"( 00:00:00","endTime":")" + day + R"( 23:59:59","playTime":")" + day +
                                   R"( 01:00:00"})");
  EXPECT_EQ(member(r.body, "status"), "OK") << r.body;
  EXPECT_EQ(member(stack.get("/4002?" + sid).body, "curPlayTime").substr(0, 16), day + " 01:00");

  EXPECT_EQ(stack.post_json("/4007", R"({"num":1,"sessionId":[)" + sid + R"(],"speed":[8]})").body, "OK");
  r = stack.post_json("/4009", R"({"num":1,"sid":[)" + sid + R"(],"chnid":[0],"jumpTime":")" + day +
                                   R"( 05:00:00"})");
  EXPECT_EQ(member(r.body, "status"), "OK") << r.body;
  EXPECT_EQ(member(stack.get("/4002?" + sid).body, "curPlayTime").substr(0, 16), day + " 05:00");
  EXPECT_EQ(stack.post_json("/4003", R"({"close":1,"num":1,"sid":[)" + sid + "]}").body, "OK");
}

TEST(EndToEndPlayback, TwoMinuteDownloadWithCurlPlaysAsMjpeg) {
  if (access("/usr/bin/ffprobe", X_OK) != 0) GTEST_SKIP() << "ffprobe is not installed (scripts/setup)";
  DemoStack stack("", {{"ZVSIM_DOWNLOAD_SPEED", "40"}});
  ASSERT_TRUE(stack.ready());
  const std::string day = yesterday();
  HttpReply r = stack.post_json("/4013", R"({"id":0,"streamType":0,"startTime":")" + day +
                                             R"(T01:00:00Z","endTime":")" + day + R"(T01:02:00Z"})",
                                {"-o", "/tmp/download.avi"});
  // The name is built from the local time fields and seconds of both ends, then the channel.
  struct tm t{};
  strptime((day + " 01:00:00").c_str(), "%Y-%m-%d %H:%M:%S", &t);
  t.tm_isdst = -1;
  const long long from = static_cast<long long>(mktime(&t));
  char name[160];
  snprintf(name, sizeof name, "1DDD%d_%d_%d_1_0_0_%lld-%d_%d_%d_1_2_0_%lld_0.avi", t.tm_year + 1900,
           t.tm_mon + 1, t.tm_mday, from, t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, from + 120);
  EXPECT_NE(r.headers.find(std::string("Content-Disposition: attachment; filename= ") + name),
            std::string::npos)
      << r.headers;
  RunOptions probe;
  probe.args = {"-v", "error", "-count_frames", "-select_streams", "v:0", "-show_entries",
                "stream=codec_name,nb_read_frames:format=duration", "-of", "csv=p=0:s=,",
                "/tmp/download.avi"};
  RunResult p = run_program("/usr/bin/ffprobe", probe);
  EXPECT_EQ(p.out, "mjpeg,1200\n120.000000\n") << p.err;
}

// A long download streams: its first bytes reach the client long before the span is produced
// (ten minutes at eight times real time would take 75 s).
TEST(EndToEndPlayback, ALongDownloadStartsArrivingAtOnce) {
  DemoStack stack;
  ASSERT_TRUE(stack.ready());
  const std::string day = yesterday();
  stack.post_json("/4013", R"({"id":0,"streamType":0,"startTime":")" + day +
                              R"(T02:00:00Z","endTime":")" + day + R"(T02:10:00Z"})",
                  {"-o", "/tmp/long.avi", "--max-time", "3"});
  struct stat st {};
  ASSERT_EQ(stat("/tmp/long.avi", &st), 0);
  EXPECT_GT(st.st_size, 100 * 1024) << "bytes received in the first 3 s";
}

// A client that leaves in the middle of a download ends it in the core at once (1178), so the
// next download is not refused as busy while the core streams the rest of the span to nobody.
TEST(EndToEndPlayback, ADownloadWhoseClientLeavesIsEndedInTheCore) {
  DemoStack stack;
  ASSERT_TRUE(stack.ready());
  const std::string day = yesterday();
  const std::string span = R"({"id":0,"streamType":0,"startTime":")" + day + R"(T02:00:00Z","endTime":")" +
                           day + R"(T02:10:00Z"})";
  stack.post_json("/4013", span, {"-o", "/tmp/left.avi", "--max-time", "2"});
  bool ended = false;
  for (int i = 0; i < 50 && !ended; ++i) {
    for (const CoreMessage& m : stack.messages()) ended = ended || m.id == 1178;
    if (!ended) usleep(100000);
  }
  EXPECT_TRUE(ended) << "no 1178 within 5 s of the client leaving";
  bool free_again = false;
  for (int i = 0; i < 50 && !free_again; ++i) {
    free_again = access("/tmp/pbdownload", F_OK) != 0;
    if (!free_again) usleep(100000);
  }
  EXPECT_TRUE(free_again) << "the download marker stayed";
  HttpReply next = stack.post_json("/4013", span, {"-o", "/tmp/next.avi", "--max-time", "1"});
  EXPECT_NE(zvtest::read_file("/tmp/next.avi").substr(0, 4), "BUSY");
}

}  // namespace
}  // namespace zvtest
