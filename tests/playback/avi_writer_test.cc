// The AVI writer on a pipe (cannot seek) and on a file: structure, sizes, index, announced
// streams that end short or overrun, frames given in pieces, refused headers, cut frames.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/zvavi/zvavi.h"
#include "tests/playback/avi_check.h"

namespace zvtest {
namespace {

// Runs `body` with a writer on a pipe (seekable = false) or a temporary file, and returns every
// byte written, with the result of zv_avi_close_fp.
std::string write_avi(bool seekable, const std::function<void(ZvAviWriter*)>& body, int* close_result = nullptr) {
  std::string out;
  int result = 0;
  if (seekable) {
    FILE* file = tmpfile();
    EXPECT_NE(file, nullptr);
    ZvAviWriter* writer = zv_avi_open_fp(file, nullptr);
    body(writer);
    result = zv_avi_close_fp(writer);
    rewind(file);
    char buffer[65536];
    size_t n = 0;
    while ((n = fread(buffer, 1, sizeof buffer, file)) > 0) out.append(buffer, n);
    fclose(file);
  } else {
    int fds[2];
    EXPECT_EQ(pipe(fds), 0);
    std::thread reader([&] {
      char buffer[65536];
      ssize_t n = 0;
      while ((n = read(fds[0], buffer, sizeof buffer)) > 0) out.append(buffer, static_cast<size_t>(n));
      close(fds[0]);
    });
    FILE* stream = fdopen(fds[1], "w");
    ZvAviWriter* writer = zv_avi_open_fp(stream, nullptr);
    body(writer);
    result = zv_avi_close_fp(writer);
    fclose(stream);
    reader.join();
  }
  if (close_result != nullptr) *close_result = result;
  return out;
}

int put_frame(ZvAviWriter* writer, const ZvAviFrameHeader& header, const std::string& picture) {
  if (zv_avi_write_fp_ex(writer, &header, sizeof header) != 0) return -1;
  return zv_avi_write_fp_ex(writer, picture.data(), static_cast<uint32_t>(picture.size()));
}

// Frame sizes of a stream; odd sizes exercise the padding.
const std::vector<size_t> kSizes = {1000, 2501, 17, 64000, 3, 800};

uint64_t total(const std::vector<size_t>& sizes) {
  uint64_t sum = 0;
  for (size_t s : sizes) sum += s;
  return sum;
}

struct StreamCase {
  const char* name;
  bool seekable;
  uint64_t announced_bytes;  // the first header's stream_bytes with 6 frames; 0 = nothing announced
  size_t frames_sent;        // of kSizes
  // What the headers must say.
  bool sizes_open;
  uint32_t header_frames;
  bool ended_early;  // the file stops after its index, shorter than its header sizes
};

class AviStreamTest : public ::testing::TestWithParam<StreamCase> {};

TEST_P(AviStreamTest, StructureSizesAndIndex) {
  const StreamCase& c = GetParam();
  int close_result = -1;
  const std::string file = write_avi(c.seekable, [&](ZvAviWriter* writer) {
    for (size_t i = 0; i < c.frames_sent; ++i) {
      const ZvAviFrameHeader h = test_frame_header(static_cast<int32_t>(kSizes[i]),
                                                   c.announced_bytes != 0 ? static_cast<uint32_t>(kSizes.size()) : 0,
                                                   c.announced_bytes);
      ASSERT_EQ(put_frame(writer, h, test_picture(static_cast<int>(i), kSizes[i])), 0) << i;
    }
  }, &close_result);
  EXPECT_EQ(close_result, 0);
  const AviFile avi = parse_avi(file);
  ASSERT_TRUE(avi.valid) << avi.error;
  EXPECT_EQ(avi.handler, "MJPG");
  EXPECT_EQ(avi.width, 352u);
  EXPECT_EQ(avi.height, 288u);
  EXPECT_EQ(avi.rate, 10u);
  EXPECT_EQ(avi.riff_size == 0, c.sizes_open);
  EXPECT_EQ(avi.movi_size == 0, c.sizes_open);
  EXPECT_EQ(avi.avih_frames, c.header_frames);
  EXPECT_EQ(avi.strh_length, c.header_frames);
  EXPECT_EQ(avi.ended_early, c.ended_early);
  EXPECT_EQ(avi.movi_chunks, c.frames_sent);
  ASSERT_EQ(avi.frames.size(), c.frames_sent);
  for (size_t i = 0; i < c.frames_sent; ++i) {
    EXPECT_EQ(avi.frames[i], test_picture(static_cast<int>(i), kSizes[i])) << i;
  }
  if (c.ended_early) {
    // Headers, the frames' chunks and their index: not one byte of padding.
    size_t bytes = 224 + 8 + 16 * c.frames_sent;
    for (size_t i = 0; i < c.frames_sent; ++i) bytes += 8 + kSizes[i] + (kSizes[i] & 1);
    EXPECT_EQ(file.size(), bytes);
    EXPECT_EQ(avi.junk_chunks, 0u);
  }
  // Fewer bytes than announced are never made up with padding.
  if (c.announced_bytes > total(kSizes)) {
    EXPECT_EQ(avi.junk_chunks, 0u);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Streams, AviStreamTest,
    ::testing::Values(
        // Nothing announced on a pipe: open sizes and counts, the index still lists every frame.
        StreamCase{"OpenPipe", false, 0, 6, true, 0, false},
        // Announced on a pipe: every size and count true without going back.
        StreamCase{"PlannedPipe", false, total(kSizes), 6, false, 6, false},
        // Announced, but the stream ends after 4 frames: the file ends after their index.
        StreamCase{"PlannedPipeShort", false, total(kSizes), 4, false, 6, true},
        // Announced beyond one AVI file: the frame count still announced, the sizes the largest.
        StreamCase{"BeyondOneFilePipe", false, uint64_t{5} << 30, 6, false, 6, true},
        // A file: the counts (and sizes) are written back at the end.
        StreamCase{"OpenFile", true, 0, 6, false, 6, false},
        StreamCase{"PlannedFileShort", true, total(kSizes), 4, false, 4, false},
        // Every announced frame, with a MiB less than announced: not padded with the MiB.
        StreamCase{"OverAnnouncedPipe", false, total(kSizes) + (1u << 20), 6, false, 6, true},
        StreamCase{"OverAnnouncedFile", true, total(kSizes) + (1u << 20), 6, false, 6, false}),
    [](const ::testing::TestParamInfo<StreamCase>& info) { return std::string(info.param.name); });

TEST(AviWriterTest, PiecesOfAnyLengthGiveTheSameFile) {
  std::string stream;
  for (size_t i = 0; i < kSizes.size(); ++i) {
    const ZvAviFrameHeader h = test_frame_header(static_cast<int32_t>(kSizes[i]), 6, total(kSizes));
    stream.append(reinterpret_cast<const char*>(&h), sizeof h);
    stream += test_picture(static_cast<int>(i), kSizes[i]);
  }
  const std::string whole = write_avi(false, [&](ZvAviWriter* w) {
    ASSERT_EQ(zv_avi_write_fp_ex(w, stream.data(), static_cast<uint32_t>(stream.size())), 0);
  });
  for (size_t piece : {1u, 7u, 88u, 89u, 4096u}) {
    const std::string pieces = write_avi(false, [&](ZvAviWriter* w) {
      for (size_t at = 0; at < stream.size(); at += piece) {
        const size_t n = std::min(piece, stream.size() - at);
        ASSERT_EQ(zv_avi_write_fp_ex(w, stream.data() + at, static_cast<uint32_t>(n)), 0);
      }
    });
    EXPECT_EQ(pieces, whole) << "pieces of " << piece;
  }
  EXPECT_TRUE(parse_avi(whole).valid);
}

TEST(AviWriterTest, RefusedFramesLeaveAValidFile) {
  struct Case {
    const char* name;
    ZvAviFrameHeader bad;
  };
  ZvAviFrameHeader magic = test_frame_header(10);
  magic.magic = 0;
  ZvAviFrameHeader codec = test_frame_header(10);
  codec.codec = 9;
  ZvAviFrameHeader negative = test_frame_header(-1);
  ZvAviFrameHeader huge = test_frame_header(kZvAviMaxFrameBytes + 1);
  ZvAviFrameHeader width = test_frame_header(10);
  width.width = 0;
  // Announced 1 frame of 100 bytes: a second frame, or a bigger first one, does not fit.
  ZvAviFrameHeader overrun = test_frame_header(100, 1, 100);
  for (const Case& c : {Case{"magic", magic}, Case{"codec", codec}, Case{"negative size", negative},
                        Case{"huge", huge}, Case{"width", width}, Case{"overrun", overrun}}) {
    SCOPED_TRACE(c.name);
    int close_result = 0;
    const std::string file = write_avi(false, [&](ZvAviWriter* w) {
      ASSERT_EQ(put_frame(w, test_frame_header(100, 1, 100), test_picture(1, 100)), 0);
      EXPECT_EQ(zv_avi_write_fp_ex(w, &c.bad, sizeof c.bad), -1);
      EXPECT_EQ(zv_avi_write_fp_ex(w, "x", 1), -1);  // nothing more after a refusal
    }, &close_result);
    EXPECT_EQ(close_result, -1);
    const AviFile avi = parse_avi(file);
    ASSERT_TRUE(avi.valid) << avi.error;
    ASSERT_EQ(avi.frames.size(), 1u);
    EXPECT_EQ(avi.frames[0], test_picture(1, 100));
  }
}

// The last value each limit takes and the first it refuses: 1000 frames per second (1001 falls
// back to the default 25), a first frame of kZvAviMaxFrameBytes, and an announced stream that
// arrives exactly as announced, which is padded to its announced size.
TEST(AviWriterTest, EdgesOfRateFrameSizeAndPadding) {
  for (const auto& [rate, shown] : {std::pair{1000, 1000u}, std::pair{1001, 25u}}) {
    ZvAviFrameHeader h = test_frame_header(10);
    h.frame_rate = rate;
    EXPECT_EQ(parse_avi(write_avi(false, [&](ZvAviWriter* w) { put_frame(w, h, test_picture(0, 10)); })).rate, shown);
  }
  for (const auto& [size, result] : {std::pair{kZvAviMaxFrameBytes, 0}, std::pair{kZvAviMaxFrameBytes + 1, -1}}) {
    const ZvAviFrameHeader h = test_frame_header(size);
    write_avi(false, [&](ZvAviWriter* w) { EXPECT_EQ(zv_avi_write_fp_ex(w, &h, sizeof h), result) << size; });
  }
  const std::string file = write_avi(true, [](ZvAviWriter* w) { put_frame(w, test_frame_header(2, 1, 2), "ab"); });
  const AviFile avi = parse_avi(file);
  EXPECT_EQ(file.size(), 268u);
  EXPECT_EQ(avi.riff_size, 260u);
  EXPECT_EQ(avi.junk_chunks, 1u);
}

TEST(AviWriterTest, FrameCutShortIsLeftOut) {
  for (bool announce : {false, true}) {
    const std::string file = write_avi(false, [&](ZvAviWriter* w) {
      ASSERT_EQ(put_frame(w, test_frame_header(50, announce ? 2 : 0, 150), test_picture(0, 50)), 0);
      const ZvAviFrameHeader h = test_frame_header(100, announce ? 2 : 0, 150);
      ASSERT_EQ(zv_avi_write_fp_ex(w, &h, sizeof h), 0);
      ASSERT_EQ(zv_avi_write_fp_ex(w, test_picture(1, 40).data(), 40), 0);
    });
    const AviFile avi = parse_avi(file);
    ASSERT_TRUE(avi.valid) << avi.error;
    EXPECT_EQ(avi.ended_early, announce);
    EXPECT_EQ(avi.movi_chunks, 1u);
    ASSERT_EQ(avi.frames.size(), 1u);
    EXPECT_EQ(avi.frames[0], test_picture(0, 50));
    EXPECT_EQ(file.size(), 224u + 8 + 50 + 8 + 16);
  }
}

TEST(AviWriterTest, NoFrameGivesACompleteEmptyFile) {
  for (bool seekable : {false, true}) {
    int close_result = -1;
    const AviFile avi = parse_avi(write_avi(seekable, [](ZvAviWriter*) {}, &close_result));
    EXPECT_EQ(close_result, 0);
    ASSERT_TRUE(avi.valid) << avi.error;
    EXPECT_NE(avi.riff_size, 0u);
    EXPECT_TRUE(avi.frames.empty());
  }
}

TEST(AviWriterTest, BrokenStreamAndBadArguments) {
  EXPECT_EQ(zv_avi_open_fp(nullptr, nullptr), nullptr);
  EXPECT_EQ(zv_avi_write_fp_ex(nullptr, "x", 1), -1);
  EXPECT_EQ(zv_avi_close_fp(nullptr), -1);
  // A reader that went away: the write reports the failure instead of ending the process.
  signal(SIGPIPE, SIG_IGN);
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  close(fds[0]);
  FILE* stream = fdopen(fds[1], "w");
  setvbuf(stream, nullptr, _IONBF, 0);
  ZvAviWriter* w = zv_avi_open_fp(stream, nullptr);
  EXPECT_EQ(put_frame(w, test_frame_header(100), test_picture(0, 100)), -1);
  EXPECT_EQ(zv_avi_close_fp(w), -1);
  fclose(stream);
}

}  // namespace
}  // namespace zvtest
