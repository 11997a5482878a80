// The download writer in-process: frame assembly from chunks (clipping, orphans, bad lengths and
// sizes), the drain at the end, abort, the full queue and the idle limit.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "common/messages/playback.h"
#include "handlers/playback/remote_backup.h"
#include "tests/playback/avi_check.h"

namespace zvtest {
namespace {

using playback::DownloadChunkHead;
using playback::RemoteBackup;

std::string chunk(const ZvAviFrameHeader& header, int32_t continuation, int32_t length, const std::string& data) {
  DownloadChunkHead head{};
  memcpy(head.frame_header, &header, sizeof header);
  head.continuation = continuation;
  head.length = length;
  return std::string(reinterpret_cast<const char*>(&head), sizeof head) + data;
}
std::string first(int32_t size, const std::string& data) {
  return chunk(test_frame_header(size), 0, static_cast<int32_t>(data.size()), data);
}
std::string more(const std::string& data) {
  return chunk(test_frame_header(0), 1, static_cast<int32_t>(data.size()), data);
}
std::string marker(int32_t length) { return chunk(test_frame_header(0), 0, length, ""); }

void feed(RemoteBackup& backup, const std::string& c) { backup.on_chunk(c.data(), c.size()); }

// The writer's output: a pipe whose reader starts only when release() is called, so that frames
// stay queued while the test wants them to.
class HeldPipe {
 public:
  HeldPipe() {
    signal(SIGPIPE, SIG_IGN);
    int fds[2];
    EXPECT_EQ(pipe(fds), 0);
    read_fd_ = fds[0];
    stream_ = fdopen(fds[1], "w");
    reader_ = std::thread([this] {
      released_.get_future().wait();
      char buffer[65536];
      ssize_t n = 0;
      while ((n = read(read_fd_, buffer, sizeof buffer)) > 0) out_.append(buffer, static_cast<size_t>(n));
      close(read_fd_);
    });
  }
  ~HeldPipe() {
    if (!released) release();
    if (stream_ != nullptr) fclose(stream_);
    if (reader_.joinable()) reader_.join();
  }
  FILE* stream() { return stream_; }
  void release() {
    released = true;
    released_.set_value();
  }
  // Closes the writing end and returns everything read.
  std::string finish() {
    if (!released) release();
    fclose(stream_);
    stream_ = nullptr;
    reader_.join();
    return out_;
  }

 private:
  int read_fd_ = -1;
  FILE* stream_ = nullptr;
  bool released = false;
  std::promise<void> released_;
  std::thread reader_;
  std::string out_;
};

playback::DownloadTiming fast_timing() {
  playback::DownloadTiming timing;
  timing.step_us = 1000;
  timing.idle_rounds = 2000;
  return timing;
}

struct AssemblyCase {
  const char* name;
  std::vector<std::string> chunks;  // before the end marker
  std::vector<std::string> frames;  // what the file must hold
};

class ChunkAssemblyTest : public ::testing::TestWithParam<AssemblyCase> {};

TEST_P(ChunkAssemblyTest, FramesInTheFile) {
  const AssemblyCase& c = GetParam();
  HeldPipe out;
  out.release();
  RemoteBackup backup(fast_timing());
  ASSERT_TRUE(backup.start(out.stream()));
  for (const std::string& piece : c.chunks) feed(backup, piece);
  feed(backup, marker(playback::kChunkEnd));
  EXPECT_TRUE(backup.done());
  EXPECT_EQ(backup.finish(), 0);
  const AviFile avi = parse_avi(out.finish());
  ASSERT_TRUE(avi.valid) << avi.error;
  EXPECT_EQ(avi.frames, c.frames);
}

const std::string kBig = test_picture(7, 614410);

INSTANTIATE_TEST_SUITE_P(
    Chunks, ChunkAssemblyTest,
    ::testing::Values(
        AssemblyCase{"SplitFrames",
                     {first(6, "abc"), more("def"), first(4, "wx"), more("y"), more("z")},
                     {"abcdef", "wxyz"}},
        AssemblyCase{"ContinuationFirstIsIgnored", {more("zzz"), first(5, "hello")}, {"hello"}},
        AssemblyCase{"FirstChunkClippedToTheFrame", {first(4, "abcdefgh"), first(2, "xy")}, {"abcd", "xy"}},
        AssemblyCase{"NegativeLengthIgnored",
                     {first(6, "abc"), chunk(test_frame_header(0), 1, -5, "zzz"), more("def")},
                     {"abcdef"}},
        AssemblyCase{"LengthBeyondPayloadClipped",
                     {chunk(test_frame_header(6), 0, 700000, "abcdef")},
                     {"abcdef"}},
        AssemblyCase{"LengthAboveChunkMaximumClipped",
                     {chunk(test_frame_header(614401), 0, 614410, kBig), more("!")},
                     {kBig.substr(0, 614400) + "!"}},
        AssemblyCase{"FrameSizeZeroOrNegativeDropped",
                     {first(0, "abc"), more("def"), first(-3, "abc"), first(2, "xy")},
                     {"xy"}},
        AssemblyCase{"HalfBuiltFrameDroppedByNextFirst", {first(10, "abc"), first(3, "xyz")}, {"xyz"}},
        AssemblyCase{"ShortPayloadIgnored", {std::string(50, '\0'), first(1, "q")}, {"q"}}),
    [](const ::testing::TestParamInfo<AssemblyCase>& info) { return std::string(info.param.name); });

// Frames still queued when the end marker comes are all written before the file is closed.
TEST(RemoteBackupTest, EndMarkerDrainsQueuedFrames) {
  HeldPipe out;
  RemoteBackup backup(fast_timing());
  ASSERT_TRUE(backup.start(out.stream()));
  const int kFrames = 40;
  for (int i = 0; i < kFrames; ++i) feed(backup, first(20000, test_picture(i, 20000)));
  feed(backup, marker(playback::kChunkEnd));
  EXPECT_TRUE(backup.done());
  EXPECT_GT(backup.queued_bytes(), 0u);  // the pipe is full: frames wait in the queue
  std::thread release([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    out.release();
  });
  EXPECT_EQ(backup.finish(), 0);
  release.join();
  const AviFile avi = parse_avi(out.finish());
  ASSERT_TRUE(avi.valid) << avi.error;
  ASSERT_EQ(avi.frames.size(), static_cast<size_t>(kFrames));
  for (int i = 0; i < kFrames; ++i) EXPECT_EQ(avi.frames[static_cast<size_t>(i)], test_picture(i, 20000));
  EXPECT_EQ(backup.frames_dropped(), 0u);
}

// An abort stops the writer and drops what is queued; the file is closed as it stands.
TEST(RemoteBackupTest, AbortDropsQueuedFrames) {
  HeldPipe out;
  RemoteBackup backup(fast_timing());
  ASSERT_TRUE(backup.start(out.stream()));
  for (int i = 0; i < 40; ++i) feed(backup, first(20000, test_picture(i, 20000)));
  feed(backup, marker(playback::kChunkAbort));
  EXPECT_TRUE(backup.done());
  EXPECT_FALSE(backup.running());
  feed(backup, first(3, "late"));  // after the abort nothing is queued
  std::thread release([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    out.release();
  });
  backup.finish();
  release.join();
  const AviFile avi = parse_avi(out.finish());
  ASSERT_TRUE(avi.valid) << avi.error;
  EXPECT_LT(avi.frames.size(), 40u);
  EXPECT_EQ(avi.frames.size() + backup.frames_dropped(), 40u);
}

// A queue that stays full: the producer waits its steps, then drops the frame and goes on.
TEST(RemoteBackupTest, FullQueueDropsFrames) {
  HeldPipe out;
  playback::DownloadTiming timing = fast_timing();
  timing.queue_limit = 60000;
  timing.queue_tries = 3;
  RemoteBackup backup(timing);
  ASSERT_TRUE(backup.start(out.stream()));
  const auto started = std::chrono::steady_clock::now();
  for (int i = 0; i < 30; ++i) feed(backup, first(20000, test_picture(i, 20000)));
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
  EXPECT_GT(backup.frames_dropped(), 0u);
  EXPECT_LE(backup.queued_bytes(), 60000u + 20000u);
  feed(backup, marker(playback::kChunkEnd));
  out.release();
  backup.finish();
  const AviFile avi = parse_avi(out.finish());
  ASSERT_TRUE(avi.valid) << avi.error;
  EXPECT_EQ(avi.frames.size() + backup.frames_dropped(), 30u);
  EXPECT_EQ(avi.frames.size(), backup.frames_written());
}

// A frame larger than the whole queue's limit is written, not dropped; one larger than any AVI
// file holds is dropped.
TEST(RemoteBackupTest, FrameAboveTheQueueLimitIsWritten) {
  HeldPipe out;
  playback::DownloadTiming timing = fast_timing();
  timing.queue_limit = 60000;
  RemoteBackup backup(timing);
  ASSERT_TRUE(backup.start(out.stream()));
  feed(backup, first(60001, test_picture(1, 60001)));
  feed(backup, first(kZvAviMaxFrameBytes + 1, test_picture(2, 1000)));
  feed(backup, marker(playback::kChunkEnd));
  out.release();
  EXPECT_EQ(backup.finish(), 0);
  const AviFile avi = parse_avi(out.finish());
  ASSERT_TRUE(avi.valid) << avi.error;
  ASSERT_EQ(avi.frames.size(), 1u);
  EXPECT_EQ(avi.frames[0], test_picture(1, 60001));
  EXPECT_EQ(backup.frames_dropped(), 1u);
}

// A core that stops sending: the writer gives up after its idle limit and the download ends.
TEST(RemoteBackupTest, IdleWriterEndsTheDownload) {
  HeldPipe out;
  out.release();
  playback::DownloadTiming timing = fast_timing();
  timing.idle_rounds = 30;
  RemoteBackup backup(timing);
  ASSERT_TRUE(backup.start(out.stream()));
  feed(backup, first(3, "abc"));
  backup.wait_until_finished();  // returns once the writer has left
  EXPECT_FALSE(backup.running());
  EXPECT_FALSE(backup.done());
  EXPECT_EQ(backup.finish(), 0);
  const AviFile avi = parse_avi(out.finish());
  ASSERT_TRUE(avi.valid) << avi.error;
  EXPECT_EQ(avi.frames, std::vector<std::string>{"abc"});
}

TEST(RemoteBackupTest, ChunkWithoutWriterEndsTheWait) {
  RemoteBackup backup(fast_timing());
  feed(backup, first(3, "abc"));
  EXPECT_TRUE(backup.done());
  EXPECT_EQ(backup.finish(), -1);
}

}  // namespace
}  // namespace zvtest
