// libavilib: writes recorded frames as an AVI file (RIFF "AVI ", one video stream) to an open
// stdio stream, which may be a pipe (the record download writes to standard output).
//
// Input: the frames exactly as the core streams them, each one an 88-byte ZvAviFrameHeader
// followed by `size` bytes of compressed picture data. zv_avi_write_fp_ex takes that byte stream
// in pieces of any length (a header alone, then the data; or header and data together; or several
// frames at once). Picture data is passed straight through to the stream; the writer keeps only
// the 16-byte index entry of each frame, never the file.
//
// Output layout:
//   RIFF 'AVI '
//     LIST 'hdrl'  avih, LIST 'strl' (strh 'vids', strf BITMAPINFOHEADER)
//     LIST 'movi'  '00dc' chunk per frame (odd sizes padded to even)
//     idx1         one entry per complete frame, offsets relative to the 'movi' tag
// The headers are written when the first frame header arrives (its codec, width, height and frame
// rate describe the stream). They hold sizes and counts that a pipe cannot go back to fix, so:
//   - planned stream: the first frame header announces the stream's frame count and picture bytes
//     (stream_frames, stream_bytes). The headers are written for exactly that file; when every
//     announced frame arrives with the announced bytes, a JUNK chunk at the end of movi keeps
//     every size true; frames beyond the announcement are refused. Frames that carry fewer bytes
//     than announced are not padded to it: the file ends as a stream cut short does. A stream that ends early (aborted, cut) ends after the
//     frames received and their index, with no padding: its header sizes are then upper bounds,
//     which readers take as a file cut short, and they read exactly the frames in it. A stream
//     announced beyond what one file can hold announces its frame count and rate all the same,
//     with the largest sizes an AVI 1.0 file can have.
//   - open stream (nothing announced): the sizes are written as 0 ("to the end of the file") and
//     the counts as 0; players still read every frame, but may not know the duration.
// A frame is written only once its whole picture has arrived, so a frame cut short is not in the
// file at all (the writer holds one picture, at most kZvAviMaxFrameBytes).
// On a stream that can seek (a regular file) zv_avi_close_fp also goes back and writes the real
// frame counts, and in an open stream the real sizes.
//
// An AVI 1.0 file holds at most 4 GiB: a frame that would take the file past kZvAviMaxFileBytes
// is refused (zv_avi_write_fp_ex returns -1) and the file stays valid as it is.
#pragma once

#include "platform/zvrecord/schema.h"
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

// Codecs of ZvAviFrameHeader::codec.
constexpr int32_t kZvAviCodecMjpeg = 1;  // JPEG pictures ('MJPG')
constexpr int32_t kZvAviCodecH264 = 2;   // H.264 access units ('H264')
constexpr int32_t kZvAviCodecH265 = 3;   // H.265 access units ('HEVC')

constexpr uint32_t kZvAviFrameMagic = 0x48465a56u;  // "VZFH" in memory order
constexpr int32_t kZvAviDefaultFrameRate = 25;
// Largest picture the writer accepts in one frame.
constexpr int32_t kZvAviMaxFrameBytes = 16 * 1024 * 1024;
constexpr uint64_t kZvAviMaxFileBytes = 0xFFFFFFFFull - 64ull * 1024ull * 1024ull;

// The frame header the core puts in front of every recorded frame (88 bytes, little-endian).
struct ZvAviFrameHeader {
  uint32_t magic;        // kZvAviFrameMagic
  int32_t codec;         // kZvAviCodec*
  int32_t width;         // pixels
  int32_t height;        // pixels
  int32_t frame_rate;    // frames per second of the recording (<= 0: kZvAviDefaultFrameRate)
  int32_t key_frame;     // 1 for a picture that decodes on its own
  int64_t timestamp_us;  // capture time, microseconds since the epoch (UTC)
  int32_t channel;       // camera channel 0..63
  int32_t sequence;      // frame number within the stream
  int32_t size;          // bytes of picture data that follow the header
  int32_t stream_type;   // 0 main stream, 1 sub stream
  // What the whole stream will carry, when the sender knows it in advance (a recording read from
  // its index): the number of frames and the sum of their picture sizes. 0 = unknown. Only the
  // first frame's values are used.
  uint32_t stream_frames;
  uint32_t reserved0;
  uint64_t stream_bytes;
  uint8_t reserved[24];  // zero
};
ZV_SCHEMA(ZvAviFrameHeader, ZV_INTERNAL(magic), ZV_INTERNAL(codec), ZV_INTERNAL(width),
          ZV_INTERNAL(height), ZV_INTERNAL(frame_rate), ZV_INTERNAL(key_frame),
          ZV_INTERNAL(timestamp_us), ZV_INTERNAL(channel), ZV_INTERNAL(sequence), ZV_INTERNAL(size),
          ZV_INTERNAL(stream_type), ZV_INTERNAL(stream_frames), ZV_RESERVED(reserved0),
          ZV_INTERNAL(stream_bytes), ZV_RESERVED(reserved));
static_assert(sizeof(ZvAviFrameHeader) == 88);
constexpr size_t kZvAviFrameHeaderBytes = sizeof(ZvAviFrameHeader);

struct ZvAviWriter;  // opaque

// Opens a writer on `stream` (not closed by the writer). Writes nothing yet. Returns the handle,
// also stored in *handle when `handle` is not null; null when `stream` is null.
ZvAviWriter* zv_avi_open_fp(FILE* stream, ZvAviWriter** handle);

// Appends `length` bytes of frame stream (headers and picture data, see above). Returns 0, or -1
// when the handle or data is null, a frame header is invalid (wrong magic, codec, negative or
// oversized size, dimensions outside 1..16384), the 4 GiB limit would be passed, or the stream
// failed. After -1 the writer accepts nothing more; zv_avi_close_fp still finishes the file.
int zv_avi_write_fp_ex(ZvAviWriter* handle, const void* data, uint32_t length);

// Finishes the file (a frame cut short is left out; idx1; header values when the stream can seek), flushes the stream and frees the handle. With no frame written, a
// complete empty file is written. Returns 0, or -1 when the handle is null or a write failed (the
// handle is freed all the same).
int zv_avi_close_fp(ZvAviWriter* handle);

// Owning pointer for C++ callers: closes the writer when it goes away.
struct ZvAviCloser {
  void operator()(ZvAviWriter* handle) const { zv_avi_close_fp(handle); }
};
using ZvAviWriterPtr = std::unique_ptr<ZvAviWriter, ZvAviCloser>;
