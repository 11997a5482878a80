#include "tests/playback/avi_check.h"

#include <cstring>

namespace zvtest {

namespace {

uint32_t u32(const std::string& b, size_t at) {
  if (at + 4 > b.size()) return 0;
  return static_cast<uint32_t>(static_cast<uint8_t>(b[at])) | static_cast<uint32_t>(static_cast<uint8_t>(b[at + 1])) << 8 |
         static_cast<uint32_t>(static_cast<uint8_t>(b[at + 2])) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(b[at + 3])) << 24;
}

std::string tag(const std::string& b, size_t at) { return at + 4 <= b.size() ? b.substr(at, 4) : ""; }

AviFile fail(AviFile avi, const std::string& why) {
  avi.valid = false;
  avi.error = why;
  return avi;
}

}  // namespace

AviFile parse_avi(const std::string& b) {
  AviFile avi;
  if (tag(b, 0) != "RIFF" || tag(b, 8) != "AVI ") return fail(avi, "no RIFF AVI header");
  avi.riff_size = u32(b, 4);
  // A file that ended early is shorter than its announced RIFF size (and then ends right after its
  // index); a longer one is never valid.
  avi.ended_early = avi.riff_size != 0 && avi.riff_size + 8ull > b.size();
  if (avi.riff_size != 0 && avi.riff_size + 8ull < b.size()) {
    return fail(avi, "RIFF size " + std::to_string(avi.riff_size) + " for a file of " + std::to_string(b.size()));
  }
  // hdrl
  if (tag(b, 12) != "LIST" || tag(b, 20) != "hdrl") return fail(avi, "no hdrl list");
  const size_t hdrl_end = 20 + u32(b, 16);
  if (tag(b, 24) != "avih" || u32(b, 28) != 56) return fail(avi, "no avih");
  avi.avih_frames = u32(b, 32 + 16);
  size_t at = 32 + 56;
  if (tag(b, at) != "LIST" || tag(b, at + 8) != "strl") return fail(avi, "no strl list");
  if (tag(b, at + 12) != "strh" || u32(b, at + 16) != 56) return fail(avi, "no strh");
  const size_t strh = at + 20;
  if (tag(b, strh) != "vids") return fail(avi, "not a video stream");
  avi.handler = tag(b, strh + 4);
  const uint32_t scale = u32(b, strh + 20);
  avi.rate = scale != 0 ? u32(b, strh + 24) / scale : 0;
  avi.strh_length = u32(b, strh + 32);
  const size_t strf = strh + 56;
  if (tag(b, strf) != "strf" || u32(b, strf + 4) != 40) return fail(avi, "no strf");
  avi.width = u32(b, strf + 12);
  avi.height = u32(b, strf + 16);
  if (strf + 48 != hdrl_end) return fail(avi, "hdrl size does not match its contents");
  // movi
  if (tag(b, hdrl_end) != "LIST" || tag(b, hdrl_end + 8) != "movi") return fail(avi, "no movi list");
  avi.movi_size = u32(b, hdrl_end + 4);
  const size_t movi_tag = hdrl_end + 8;
  at = movi_tag + 4;
  const size_t movi_end = avi.movi_size != 0 && !avi.ended_early ? movi_tag + avi.movi_size : SIZE_MAX;
  while (at < movi_end) {
    const std::string t = tag(b, at);
    if (movi_end == SIZE_MAX && t == "idx1") break;  // open or ended early: movi ends at the index
    if (t.empty() || at + 8 > b.size()) return fail(avi, "movi runs past the end of the file");
    const uint32_t size = u32(b, at + 4);
    if (t == "00dc") {
      ++avi.movi_chunks;
    } else if (t == "JUNK") {
      ++avi.junk_chunks;
    } else {
      return fail(avi, "unexpected chunk " + t + " in movi");
    }
    at += 8ull + size + (size & 1u);
  }
  if (movi_end != SIZE_MAX && at != movi_end) return fail(avi, "movi size does not match its chunks");
  if (avi.ended_early && at >= movi_tag + avi.movi_size) return fail(avi, "movi not shorter than announced");
  // idx1, then nothing but JUNK
  if (tag(b, at) != "idx1") return fail(avi, "no idx1 after movi");
  const uint32_t index_size = u32(b, at + 4);
  if (index_size % 16 != 0 || at + 8 + index_size > b.size()) return fail(avi, "bad idx1 size");
  for (size_t e = at + 8; e < at + 8 + index_size; e += 16) {
    const uint32_t offset = u32(b, e + 8);
    const uint32_t size = u32(b, e + 12);
    const size_t chunk = movi_tag + offset;
    if (tag(b, e) != "00dc" || tag(b, chunk) != "00dc" || u32(b, chunk + 4) != size || chunk + 8 + size > b.size()) {
      return fail(avi, "index entry does not point at its chunk");
    }
    avi.frames.push_back(b.substr(chunk + 8, size));
    avi.flags.push_back(u32(b, e + 4));
  }
  at += 8 + index_size;
  if (avi.ended_early && at != b.size()) return fail(avi, "a file that ended early has data after its index");
  while (at < b.size()) {
    if (tag(b, at) != "JUNK") return fail(avi, "unexpected data after idx1");
    ++avi.junk_chunks;
    at += 8ull + u32(b, at + 4);
  }
  if (at != b.size()) return fail(avi, "trailing chunk runs past the end");
  avi.valid = true;
  return avi;
}

ZvAviFrameHeader test_frame_header(int32_t size, uint32_t stream_frames, uint64_t stream_bytes) {
  ZvAviFrameHeader h{};
  h.magic = kZvAviFrameMagic;
  h.codec = kZvAviCodecMjpeg;
  h.width = 352;
  h.height = 288;
  h.frame_rate = 10;
  h.key_frame = 1;
  h.size = size;
  h.stream_frames = stream_frames;
  h.stream_bytes = stream_bytes;
  return h;
}

std::string test_picture(int n, size_t size) {
  std::string picture(size, '\0');
  for (size_t i = 0; i < size; ++i) picture[i] = static_cast<char>((n * 31 + static_cast<int>(i) * 7) & 0xFF);
  return picture;
}

std::string download_body(const std::string& out) {
  const size_t end = out.find("\r\n\r\n");
  return end == std::string::npos ? "" : out.substr(end + 4);
}

std::string download_headers(const std::string& out) {
  const size_t end = out.find("\r\n\r\n");
  return end == std::string::npos ? out : out.substr(0, end + 4);
}

}  // namespace zvtest
