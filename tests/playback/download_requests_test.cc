// The record download ("/4013") through the real front end and a fake core that streams chunks:
// headers and file name, the 1173 payload, the busy marker, and the AVI file that comes out of
// good, odd and broken streams.
#include <string>
#include <vector>

#include "common/messages/playback.h"
#include "tests/playback/avi_check.h"
#include "tests/playback/playback_fixture.h"

namespace zvtest {
namespace {

using namespace playback;

const char* const kDownload =
    R"({"id":3,"streamType":1,"startTime":"2024-01-02T03:04:05Z","endTime":"2024-01-02T03:05:05Z"})";

Bytes chunk(int32_t frame_size, int32_t continuation, int32_t length, const std::string& data) {
  DownloadChunkHead head{};
  const ZvAviFrameHeader header = test_frame_header(frame_size);
  memcpy(head.frame_header, &header, sizeof header);
  head.continuation = continuation;
  head.length = length;
  // One allocation of the final size: GCC 12 reports a false out-of-bounds copy when the data is
  // appended to the head's bytes at -O2 and above.
  Bytes out(sizeof head + data.size());
  memcpy(out.data(), &head, sizeof head);
  if (!data.empty()) memcpy(out.data() + sizeof head, data.data(), data.size());
  return out;
}
FakeReply first(int32_t size, const std::string& data, int delay_ms = 0) {
  return {.id = playback::kDownload.reply_id, .payload = chunk(size, 0, static_cast<int32_t>(data.size()), data), .delay_ms = delay_ms};
}
FakeReply more(const std::string& data, int delay_ms = 0) {
  return {.id = playback::kDownload.reply_id, .payload = chunk(0, 1, static_cast<int32_t>(data.size()), data), .delay_ms = delay_ms};
}
FakeReply raw(int32_t size, int32_t continuation, int32_t length, const std::string& data) {
  return {.id = playback::kDownload.reply_id, .payload = chunk(size, continuation, length, data)};
}
FakeReply end_marker(int delay_ms = 0) {
  return {.id = playback::kDownload.reply_id, .payload = chunk(0, 0, kChunkEnd, ""), .delay_ms = delay_ms};
}
FakeReply abort_marker(int delay_ms = 0) {
  return {.id = playback::kDownload.reply_id, .payload = chunk(0, 0, kChunkAbort, ""), .delay_ms = delay_ms};
}

TEST_F(PlaybackTest, DownloadHeadersPayloadAndLog) {
  core_->reply_with(1173, {first(5, "hello"), end_marker()});
  RunResult r = post("/4013", kDownload);
  EXPECT_EQ(download_headers(r.out),
            "Content-Type:application/octet-stream\r\n"
            "Content-Disposition: attachment; filename= "
            "8DDD2024_1_2_3_4_5_1704164645-2024_1_2_3_5_5_1704164705_3.avi\r\n\r\n");
  const AviFile avi = parse_avi(download_body(r.out));
  ASSERT_TRUE(avi.valid) << avi.error;
  EXPECT_EQ(avi.frames, std::vector<std::string>{"hello"});

  DownloadRequest expected{};
  expected.channel = 3;
  expected.stream_type = 1;
  put_text(expected.start, "2024-1-2 3:4:5");
  put_text(expected.end, "2024-1-2 3:5:5");
  const auto all = messages(2);
  ASSERT_EQ(all.size(), 2u);
  EXPECT_EQ(all[0].id, 1173);
  EXPECT_EQ(all[0].payload, bytes_of(expected));
  EXPECT_EQ(all[1].id, 3485);  // logged once the core has taken the download
  const OpLogRecord log = record_from<OpLogRecord>(all[1].payload);
  EXPECT_EQ(log.sub_type, 209);
  EXPECT_EQ(log.param_type, 900);
  EXPECT_EQ(log.channel, 4);
}

// The core refuses a download (another one started a moment earlier): "BUSY NOW", no file and
// no log record. A core that never answers: the error reply, and the core is told to stop.
TEST_F(PlaybackTest, DownloadRefusedOrUnansweredByTheCore) {
  core_->reply_with(1173, {abort_marker()});
  RunResult r = post("/4013", kDownload);
  EXPECT_EQ(r.out, kTextHeader + "BUSY NOW");
  settle();
  EXPECT_EQ(received_ids(*core_), std::vector<int32_t>{1173});

  core_->clear_received();
  core_->no_reply(1173);
  r = post("/4013", kDownload);
  EXPECT_EQ(r.out, kCgiErrorText);
  settle();
  EXPECT_EQ(received_ids(*core_), (std::vector<int32_t>{1173, 1178}));
  // Each of the span's two times left out: refused before the core is asked.
  expect_required("/4013", kDownload, {"startTime", "endTime"});
}

TEST_F(PlaybackTest, DownloadRefusedWhileAnotherRuns) {
  write_file("/tmp/pbdownload", "");
  RunResult r = post("/4013", kDownload);
  EXPECT_EQ(r.out, kTextHeader + "BUSY NOW");
  EXPECT_TRUE(messages(0).empty());
}

struct StreamCase {
  const char* name;
  std::vector<FakeReply> replies;
  std::vector<std::string> frames;
};

class DownloadStreamTest : public PlaybackTest, public ::testing::WithParamInterface<StreamCase> {};

TEST_P(DownloadStreamTest, FileHoldsTheseFrames) {
  const StreamCase& c = GetParam();
  core_->reply_with(1173, c.replies);
  RunResult r = post("/4013", kDownload);
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_FALSE(r.timed_out);
  const AviFile avi = parse_avi(download_body(r.out));
  ASSERT_TRUE(avi.valid) << avi.error;
  EXPECT_EQ(avi.frames, c.frames);
}

const std::string kLarge = test_picture(3, 614400);

INSTANTIATE_TEST_SUITE_P(
    Streams, DownloadStreamTest,
    ::testing::Values(
        StreamCase{"FramesInSeveralChunks",
                   {first(6, "abc"), more("def"), first(4, "wx"), more("y"), more("z"), end_marker()},
                   {"abcdef", "wxyz"}},
        StreamCase{"FullSizeChunks",
                   {first(614401, kLarge), more("!"), end_marker()}, {kLarge + "!"}},
        StreamCase{"ContinuationFirstIgnored", {more("zzz"), first(2, "ok"), end_marker()}, {"ok"}},
        StreamCase{"FirstChunkClippedAndQueuedAtOnce", {first(3, "abcdef"), end_marker()}, {"abc"}},
        StreamCase{"NegativeLengthIgnored", {first(4, "ab"), raw(0, 1, -7, "zz"), more("cd"), end_marker()}, {"abcd"}},
        StreamCase{"OversizedLengthClippedToPayload", {raw(4, 0, 614500, "abcd"), end_marker()}, {"abcd"}},
        StreamCase{"FrameSizeNotPositiveDropped", {first(0, "abc"), first(-2, "abc"), first(1, "q"), end_marker()}, {"q"}},
        // The frame before the abort had time to be written; the file is closed as it stands.
        StreamCase{"Abort", {first(3, "abc"), abort_marker(300), first(3, "xyz", 350)}, {"abc"}},
        // The core stops sending: the writer's idle limit ends the download with what came.
        StreamCase{"CoreStopsMidDownload", {first(3, "abc"), first(4, "defg"), first(5, "hi")}, {"abc", "defg"}},
        StreamCase{"NoFrameAtAll", {end_marker()}, {}}),
    [](const ::testing::TestParamInfo<StreamCase>& info) { return std::string(info.param.name); });

// The index marks key frames: every MJPEG picture, and H.264 units whose header says so.
TEST_F(PlaybackTest, DownloadIndexFlagsFollowKeyFrames) {
  auto h264 = [](int32_t key, const std::string& data) {
    FakeReply reply = first(static_cast<int32_t>(data.size()), data);
    ZvAviFrameHeader header = test_frame_header(static_cast<int32_t>(data.size()));
    header.codec = kZvAviCodecH264;
    header.key_frame = key;
    memcpy(reply.payload.data(), &header, sizeof header);
    return reply;
  };
  core_->reply_with(1173, {h264(1, "key"), h264(0, "delta"), h264(1, "key2"), end_marker()});
  AviFile avi = parse_avi(download_body(post("/4013", kDownload).out));
  ASSERT_TRUE(avi.valid) << avi.error;
  EXPECT_EQ(avi.frames, (std::vector<std::string>{"key", "delta", "key2"}));
  EXPECT_EQ(avi.flags, (std::vector<uint32_t>{0x10, 0, 0x10}));
  core_->reply_with(1173, {first(2, "j1"), first(2, "j2"), end_marker()});
  avi = parse_avi(download_body(post("/4013", kDownload).out));
  EXPECT_EQ(avi.flags, (std::vector<uint32_t>{0x10, 0x10}));
}

}  // namespace
}  // namespace zvtest
