// A strict reader of the AVI files the download writes, for tests: walks every chunk, checks that
// every size adds up, and returns the frames as the idx1 index lists them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/zvavi/zvavi.h"

namespace zvtest {

struct AviFile {
  bool valid = false;
  std::string error;           // why it is not valid
  uint32_t riff_size = 0;      // as written (0 = open)
  uint32_t movi_size = 0;      // as written (0 = open)
  bool ended_early = false;    // shorter than announced: the sizes are upper bounds
  uint32_t avih_frames = 0;
  uint32_t strh_length = 0;
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t rate = 0;           // frames per second (strh rate / scale)
  std::string handler;         // strh codec fourcc ("MJPG")
  uint32_t movi_chunks = 0;    // '00dc' chunks found walking movi
  uint32_t junk_chunks = 0;    // JUNK chunks anywhere
  std::vector<std::string> frames;  // picture bytes of every index entry, in index order
  std::vector<uint32_t> flags;      // index flags of every entry (0x10: key frame)
};

AviFile parse_avi(const std::string& bytes);

// A frame header for tests: MJPEG 352x288 at 10 frames per second, `size` picture bytes.
ZvAviFrameHeader test_frame_header(int32_t size, uint32_t stream_frames = 0, uint64_t stream_bytes = 0);
// Deterministic picture bytes of frame `n`.
std::string test_picture(int n, size_t size);

// The body of a download reply (after the blank line ending the headers), and the headers.
std::string download_body(const std::string& out);
std::string download_headers(const std::string& out);

}  // namespace zvtest
