#include "platform/zvavi/zvavi.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

constexpr uint32_t fourcc(const char (&text)[5]) {
  return static_cast<uint32_t>(static_cast<uint8_t>(text[0])) |
         static_cast<uint32_t>(static_cast<uint8_t>(text[1])) << 8 |
         static_cast<uint32_t>(static_cast<uint8_t>(text[2])) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(text[3])) << 24;
}

// Header flags and index flags of the AVI format.
constexpr uint32_t kAvifHasIndex = 0x10;
constexpr uint32_t kAvifIsInterleaved = 0x100;
constexpr uint32_t kAviifKeyFrame = 0x10;

// Byte sizes of the fixed part written before the first frame.
constexpr uint32_t kAvihBytes = 56;
constexpr uint32_t kStrhBytes = 56;
constexpr uint32_t kStrfBytes = 40;
constexpr uint32_t kStrlListBytes = 4 + (8 + kStrhBytes) + (8 + kStrfBytes);
constexpr uint32_t kHdrlListBytes = 4 + (8 + kAvihBytes) + (8 + kStrlListBytes);
// File offsets of the fields that close patches on a seekable stream.
constexpr uint32_t kRiffSizeAt = 4;
constexpr uint32_t kAvihAt = 12 + 12 + 8;             // avih data
constexpr uint32_t kAvihTotalFramesAt = kAvihAt + 16;
constexpr uint32_t kAvihBufferSizeAt = kAvihAt + 28;
constexpr uint32_t kStrhAt = kAvihAt + kAvihBytes + 12 + 8;  // strh data
constexpr uint32_t kStrhLengthAt = kStrhAt + 32;
constexpr uint32_t kStrhBufferSizeAt = kStrhAt + 36;
constexpr uint32_t kMoviSizeAt = 12 + 8 + kHdrlListBytes + 4;
constexpr uint32_t kMoviTagAt = kMoviSizeAt + 4;  // the 'movi' fourcc; index offsets count from it
constexpr uint32_t kHeaderBytes = kMoviTagAt + 4;
static_assert(kHeaderBytes == 224);

// Open stream on a pipe: the RIFF and movi sizes are written as 0, which readers take as "up to
// the end of the file", and the frame counts as 0 ("unknown").
constexpr uint32_t kOpenSize = 0;
constexpr uint32_t kOpenCount = 0;
constexpr uint32_t kChunkHeaderBytes = 8;
constexpr uint32_t kIndexEntryBytes = 16;

struct IndexEntry {
  uint32_t offset;  // of the chunk header, from the 'movi' fourcc
  uint32_t size;    // picture bytes
  uint32_t flags;
};

class Bytes {
 public:
  void u32(uint32_t v) {
    for (int i = 0; i < 4; ++i) data_.push_back(static_cast<uint8_t>(v >> (8 * i)));
  }
  void u16(uint16_t v) {
    data_.push_back(static_cast<uint8_t>(v));
    data_.push_back(static_cast<uint8_t>(v >> 8));
  }
  void tag(const char (&text)[5]) { u32(fourcc(text)); }
  const std::vector<uint8_t>& data() const { return data_; }

 private:
  std::vector<uint8_t> data_;
};

uint32_t codec_fourcc(int32_t codec) {
  switch (codec) {
    case kZvAviCodecH264: return fourcc("H264");
    case kZvAviCodecH265: return fourcc("HEVC");
    default: return fourcc("MJPG");
  }
}

void put_u32(uint8_t* at, uint32_t v) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

struct ZvAviWriter {
  FILE* stream = nullptr;
  bool failed = false;
  bool header_written = false;
  bool seekable = false;
  off_t start = 0;          // stream position of the RIFF tag (seekable streams)
  uint64_t written = 0;     // bytes of the file written so far

  // Stream description, from the first frame header.
  int32_t codec = kZvAviCodecMjpeg;
  int32_t width = 0;
  int32_t height = 0;
  int32_t frame_rate = kZvAviDefaultFrameRate;

  // Planned stream: what the first header announced and where movi ends when every announced
  // frame arrives (with `exact`, the sizes in the headers are those of the complete file; without,
  // the announcement did not fit an AVI 1.0 file and they are the largest such a file can have).
  bool planned = false;
  bool exact = false;
  uint32_t planned_frames = 0;
  uint64_t planned_movi_end = 0;  // file offset just after the movi list

  // Frame stream parsing. A frame's picture is collected whole before its chunk is written, so
  // that a stream cut inside a frame leaves nothing of that frame in the file.
  uint8_t header[kZvAviFrameHeaderBytes] = {};
  size_t header_fill = 0;
  std::vector<uint8_t> picture;
  size_t picture_fill = 0;
  bool in_frame = false;
  uint32_t current_flags = 0;

  std::vector<IndexEntry> index;
  uint32_t max_chunk = 0;

  bool put(const void* data, size_t length) {
    if (failed) return false;
    if (length > 0 && fwrite(data, 1, length, stream) != length) {
      failed = true;
      return false;
    }
    written += length;
    return true;
  }

  bool put_zeros(uint64_t length) {
    static const uint8_t zeros[4096] = {};
    while (length > 0 && !failed) {
      size_t n = static_cast<size_t>(std::min<uint64_t>(length, sizeof zeros));
      put(zeros, n);
      length -= n;
    }
    return !failed;
  }

  // A JUNK chunk that takes exactly `total` bytes (total >= 8, even).
  bool put_junk(uint64_t total) {
    Bytes b;
    b.tag("JUNK");
    b.u32(static_cast<uint32_t>(total - kChunkHeaderBytes));
    return put(b.data().data(), b.data().size()) && put_zeros(total - kChunkHeaderBytes);
  }

  // Writes the fixed part up to and including the 'movi' fourcc.
  bool write_headers(uint32_t riff_size, uint32_t movi_size, uint32_t frames, uint32_t buffer_size) {
    const uint32_t rate = static_cast<uint32_t>(frame_rate);
    Bytes b;
    b.tag("RIFF");
    b.u32(riff_size);
    b.tag("AVI ");
    b.tag("LIST");
    b.u32(kHdrlListBytes);
    b.tag("hdrl");
    b.tag("avih");
    b.u32(kAvihBytes);
    b.u32(1000000u / rate);            // microseconds per frame
    b.u32(buffer_size * rate);         // maximum bytes per second (estimate)
    b.u32(0);                          // padding granularity
    b.u32(kAvifHasIndex | kAvifIsInterleaved);
    b.u32(frames);                     // total frames
    b.u32(0);                          // initial frames
    b.u32(1);                          // streams
    b.u32(buffer_size);                // suggested buffer size
    b.u32(static_cast<uint32_t>(width));
    b.u32(static_cast<uint32_t>(height));
    for (int i = 0; i < 4; ++i) b.u32(0);  // reserved
    b.tag("LIST");
    b.u32(kStrlListBytes);
    b.tag("strl");
    b.tag("strh");
    b.u32(kStrhBytes);
    b.tag("vids");
    b.u32(codec_fourcc(codec));
    b.u32(0);                          // flags
    b.u16(0);                          // priority
    b.u16(0);                          // language
    b.u32(0);                          // initial frames
    b.u32(1);                          // scale
    b.u32(rate);                       // rate: rate / scale = frames per second
    b.u32(0);                          // start
    b.u32(frames);                     // length in frames
    b.u32(buffer_size);                // suggested buffer size
    b.u32(0xFFFFFFFFu);                // quality: default
    b.u32(0);                          // sample size: varies
    b.u16(0);                          // frame rectangle
    b.u16(0);
    b.u16(static_cast<uint16_t>(width));
    b.u16(static_cast<uint16_t>(height));
    b.tag("strf");
    b.u32(kStrfBytes);
    b.u32(kStrfBytes);                 // BITMAPINFOHEADER size
    b.u32(static_cast<uint32_t>(width));
    b.u32(static_cast<uint32_t>(height));
    b.u16(1);                          // planes
    b.u16(24);                         // bits per pixel
    b.u32(codec_fourcc(codec));        // compression
    b.u32(static_cast<uint32_t>(width) * static_cast<uint32_t>(height) * 3u);
    for (int i = 0; i < 4; ++i) b.u32(0);  // resolution, colours
    b.tag("LIST");
    b.u32(movi_size);
    b.tag("movi");
    if (b.data().size() != kHeaderBytes) {
      failed = true;
      return false;
    }
    header_written = true;
    return put(b.data().data(), b.data().size());
  }

  // First frame: the stream description and, when announced, the plan of the whole file.
  bool begin_file(const ZvAviFrameHeader& h) {
    codec = h.codec;
    width = h.width;
    height = h.height;
    frame_rate = h.frame_rate > 0 && h.frame_rate <= 1000 ? h.frame_rate : kZvAviDefaultFrameRate;
    struct stat st{};
    int fd = fileno(stream);
    if (fd >= 0 && fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
      off_t at = ftello(stream);
      if (at >= 0 && fseeko(stream, at, SEEK_SET) == 0) {
        seekable = true;
        start = at;
      }
    }
    if (h.stream_frames > 0 && h.stream_bytes > 0) {
      const uint64_t frames = h.stream_frames;
      // Each frame: chunk header, picture, a pad byte at most; then room for the closing JUNK.
      const uint64_t bytes = std::min<uint64_t>(h.stream_bytes, kZvAviMaxFileBytes);
      uint64_t movi = 4 + frames * (kChunkHeaderBytes + 1) + bytes + kChunkHeaderBytes;
      movi += movi & 1u;
      uint64_t riff = (kMoviTagAt - 8) + movi + kChunkHeaderBytes + frames * kIndexEntryBytes;
      planned = true;
      exact = 8 + riff <= kZvAviMaxFileBytes;
      if (!exact) {
        // Too long for one file: the frames and rate are still announced so that players show
        // the duration; the sizes are the largest the file can reach, and it ends before them.
        riff = kZvAviMaxFileBytes - 8;
        movi = riff - (kMoviTagAt - 8);
        movi -= movi & 1u;
      }
      planned_frames = h.stream_frames;
      planned_movi_end = kMoviTagAt + movi;
      uint64_t average = h.stream_bytes / frames + 1;
      uint32_t buffer = static_cast<uint32_t>(std::min<uint64_t>(average * 2, 0x7FFFFFFFu / 1000u));
      return write_headers(static_cast<uint32_t>(riff), static_cast<uint32_t>(movi), planned_frames,
                           buffer);
    }
    return write_headers(kOpenSize, kOpenSize, kOpenCount, 0);
  }

  // A complete frame header has arrived: check it and open the frame's chunk.
  bool begin_frame() {
    ZvAviFrameHeader h;
    memcpy(&h, header, sizeof h);
    header_fill = 0;
    if (h.magic != kZvAviFrameMagic || h.codec < kZvAviCodecMjpeg || h.codec > kZvAviCodecH265 ||
        h.size < 0 || h.size > kZvAviMaxFrameBytes || h.width < 1 || h.width > 16384 ||
        h.height < 1 || h.height > 16384) {
      failed = true;
      return false;
    }
    if (!header_written && !begin_file(h)) return false;
    const uint32_t size = static_cast<uint32_t>(h.size);
    const uint64_t chunk_end = written + kChunkHeaderBytes + size + (size & 1u);
    // The frame fits the file with its index entry (and an announced file keeps room for its
    // closing JUNK chunk).
    if ((planned && (index.size() >= planned_frames || chunk_end + kChunkHeaderBytes > planned_movi_end)) ||
        chunk_end + kChunkHeaderBytes + (index.size() + 1) * kIndexEntryBytes > kZvAviMaxFileBytes) {
      failed = true;
      return false;
    }
    current_flags = h.key_frame == 1 || h.codec == kZvAviCodecMjpeg ? kAviifKeyFrame : 0u;
    picture.resize(size);
    picture_fill = 0;
    in_frame = true;
    if (size == 0) return end_frame();
    return true;
  }

  // The whole picture is there: its chunk (padded to even) and its index entry.
  bool end_frame() {
    in_frame = false;
    const uint32_t size = static_cast<uint32_t>(picture.size());
    Bytes b;
    b.tag("00dc");
    b.u32(size);
    const IndexEntry entry{static_cast<uint32_t>(written - kMoviTagAt), size, current_flags};
    const uint8_t pad = 0;
    if (!put(b.data().data(), b.data().size()) || !put(picture.data(), size) ||
        ((size & 1u) != 0 && !put(&pad, 1))) {
      return false;
    }
    index.push_back(entry);
    if (size > max_chunk) max_chunk = size;
    return true;
  }

  int write(const uint8_t* data, uint32_t length) {
    while (length > 0) {
      if (failed) return -1;
      if (!in_frame) {
        size_t take = std::min<size_t>(length, sizeof header - header_fill);
        memcpy(header + header_fill, data, take);
        header_fill += take;
        data += take;
        length -= static_cast<uint32_t>(take);
        if (header_fill == sizeof header && !begin_frame()) return -1;
        continue;
      }
      const size_t take = std::min<size_t>(length, picture.size() - picture_fill);
      memcpy(picture.data() + picture_fill, data, take);
      picture_fill += take;
      data += take;
      length -= static_cast<uint32_t>(take);
      if (picture_fill == picture.size() && !end_frame()) return -1;
    }
    return failed ? -1 : 0;
  }

  int finish() {
    const bool had_failed = failed;
    if (!header_written) {
      // Nothing streamed: every size is known, write the complete empty file.
      failed = false;
      const uint32_t riff = (kMoviTagAt - 8) + 4 + kChunkHeaderBytes;
      write_headers(riff, 4, 0, 0);
      Bytes idx;
      idx.tag("idx1");
      idx.u32(0);
      put(idx.data().data(), idx.data().size());
      if (fflush(stream) != 0) failed = true;
      return failed || had_failed ? -1 : 0;
    }
    // Once the headers are out the structure is finished even after a refused frame; only a
    // failed stream ends everything.
    const bool stream_broken = had_failed && ferror(stream) != 0;
    failed = stream_broken;
    // A frame cut short was never written: it is simply not in the file.
    in_frame = false;
    // Every announced frame arrived with the announced picture bytes: a JUNK chunk fills movi to
    // its announced size (what the plan kept for pad bytes and the closing chunk), so that every
    // size in the headers is true. A stream that ended early ends here instead, after the frames
    // received and their index: the headers' sizes are then upper bounds that readers take as a
    // file cut short, and nothing is padded. So does a stream whose frames carried fewer bytes
    // than it announced: padding the difference would send up to 4 GiB of zeros.
    const bool complete = planned && exact && index.size() == planned_frames &&
                          planned_movi_end - written <= uint64_t{planned_frames} + kChunkHeaderBytes + 1;
    if (complete && written < planned_movi_end) put_junk(planned_movi_end - written);
    const uint64_t movi_end = written;
    Bytes idx;
    idx.tag("idx1");
    idx.u32(static_cast<uint32_t>(index.size() * kIndexEntryBytes));
    for (const IndexEntry& e : index) {
      idx.tag("00dc");
      idx.u32(e.flags);
      idx.u32(e.offset);
      idx.u32(e.size);
    }
    put(idx.data().data(), idx.data().size());
    if (!failed && seekable) patch_headers(movi_end, !complete);
    if (fflush(stream) != 0) failed = true;
    return failed || had_failed ? -1 : 0;
  }

  // Seekable stream: the real counts (and, unless the file is exactly as announced, the real
  // sizes) replace what the headers announced.
  void patch_headers(uint64_t movi_end, bool sizes) {
    const uint32_t frames = static_cast<uint32_t>(index.size());
    const uint32_t rate = static_cast<uint32_t>(frame_rate);
    struct Patch {
      uint32_t at;
      uint32_t value;
    };
    std::vector<Patch> patches = {
        {kAvihAt + 4, static_cast<uint32_t>(std::min<uint64_t>(uint64_t{max_chunk} * rate, 0xFFFFFFFFu))},
        {kAvihTotalFramesAt, frames},
        {kAvihBufferSizeAt, max_chunk},
        {kStrhLengthAt, frames},
        {kStrhBufferSizeAt, max_chunk},
    };
    if (sizes) {
      patches.push_back({kRiffSizeAt, static_cast<uint32_t>(written - 8)});
      patches.push_back({kMoviSizeAt, static_cast<uint32_t>(movi_end - kMoviTagAt)});
    }
    const off_t end = ftello(stream);
    for (const Patch& p : patches) {
      uint8_t bytes[4];
      put_u32(bytes, p.value);
      if (fseeko(stream, start + static_cast<off_t>(p.at), SEEK_SET) != 0 ||
          fwrite(bytes, 1, sizeof bytes, stream) != sizeof bytes) {
        failed = true;
        break;
      }
    }
    if (end >= 0 && fseeko(stream, end, SEEK_SET) != 0) failed = true;
  }
};

ZvAviWriter* zv_avi_open_fp(FILE* stream, ZvAviWriter** handle) {
  if (handle != nullptr) *handle = nullptr;
  if (stream == nullptr) return nullptr;
  auto writer = std::make_unique<ZvAviWriter>();
  writer->stream = stream;
  ZvAviWriter* raw = writer.release();
  if (handle != nullptr) *handle = raw;
  return raw;
}

int zv_avi_write_fp_ex(ZvAviWriter* handle, const void* data, uint32_t length) {
  if (handle == nullptr || (data == nullptr && length > 0)) return -1;
  return handle->write(static_cast<const uint8_t*>(data), length);
}

int zv_avi_close_fp(ZvAviWriter* handle) {
  if (handle == nullptr) return -1;
  std::unique_ptr<ZvAviWriter> owned(handle);
  return owned->finish();
}

