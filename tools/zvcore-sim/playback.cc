// Playback module: a synthetic recording index per channel, playback sessions with a play time
// that advances while they play, search and paging, speed, direction, pause, step and jump,
// transcoding state, live and session RTSP sources, playback image adjustments, the month
// calendar, multi-channel play (3109 -> 8103), and the record download: on 1173 the core creates
// "/tmp/pbdownload" and streams the recorded frames of the span as 6173 chunks, MJPEG pictures of
// a moving test pattern with the channel and the recording time drawn in, then the end chunk
// (length -1), and removes the marker (also on 1178).
//
// The recording index: every channel records from 40 days before the simulator started until
// now, each day in five recordings (local time): 00:00-07:59:59 and 10:00-11:59:59 and
// 13:00-23:59:59 continuous (record type 0), a motion recording of 23 minutes between 08:00 and
// 08:53 (type 1), and an alarm recording of 15 minutes from 12:30 plus the channel number in
// minutes (type 2, locked). Channels 3, 7, 11 ... have no recordings on days 5, 10, 15 ... of
// the month. Channels 0..63, both streams.
//
// Speeds (1112, 1149, 1167): 0 plays at normal speed, n > 0 at n times, n < 0 at 1/|n|.
// Direction (1166): 0 forward, otherwise backward. Pause (1165) and resume (1113) by session;
// step (1170) moves one frame and pauses.
//
// Download stream: 10 frames per second; the main stream (streamType 0) is 640x360, the sub
// stream 352x288. Every picture is padded (JPEG comment segments) to one size per stream, so the
// first frame header can announce the stream's frame count and bytes. The stream runs at
// ZVSIM_DOWNLOAD_SPEED times real time (default 8; 0 = as fast as possible), in chunks of at most
// ZVSIM_CHUNK_BYTES picture bytes (default and maximum 614400; tests set it lower to split frames).
#include <unistd.h>

#include <cstddef>
#include <cstdio>
// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "handlers/playback/playback_records.h"
#include "platform/zvavi/zvavi.h"
#include "tools/zvcore-sim/simulator.h"

using namespace playback;

namespace {

constexpr const char kMarker[] = "/tmp/pbdownload";
constexpr int kChannels = 64;
constexpr int kPageRecords = 16;
constexpr int kDownloadFps = 10;
constexpr int kHistoryDays = 40;
constexpr int kTickMs = 10;

// ---- Time helpers (local time, as the device keeps it) ----

time_t day_start(time_t when) {
  struct tm t{};
  localtime_r(&when, &t);
  t.tm_hour = t.tm_min = t.tm_sec = 0;
  t.tm_isdst = -1;
  return mktime(&t);
}

time_t at_time_of_day(time_t day, int hour, int minute, int second) {
  struct tm t{};
  localtime_r(&day, &t);
  t.tm_hour = hour;
  t.tm_min = minute;
  t.tm_sec = second;
  t.tm_isdst = -1;
  return mktime(&t);
}

time_t next_day(time_t day) {
  struct tm t{};
  localtime_r(&day, &t);
  t.tm_mday += 1;
  t.tm_hour = t.tm_min = t.tm_sec = 0;
  t.tm_isdst = -1;
  return mktime(&t);
}

// "2024-01-02 03:04:05", "2024-01-02T03:04:05Z" or "2024-1-2 3:4:5" as local time; -1 when none.
time_t parse_time(const char* field, size_t width) {
  std::string text(field, strnlen(field, width));
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
  char sep = 0;
  if (sscanf(text.c_str(), "%d-%d-%d%c%d:%d:%d", &y, &mo, &d, &sep, &h, &mi, &s) != 7) return -1;
  if (sep != ' ' && sep != 'T') return -1;
  struct tm t{};
  t.tm_year = y - 1900;
  t.tm_mon = mo - 1;
  t.tm_mday = d;
  t.tm_hour = h;
  t.tm_min = mi;
  t.tm_sec = s;
  t.tm_isdst = -1;
  return mktime(&t);
}

template <size_t N>
void format_time(char (&field)[N], time_t when) {
  struct tm t{};
  localtime_r(&when, &t);
  strftime(field, N, "%Y-%m-%d %H:%M:%S", &t);
}

template <size_t N>
void set_text(char (&field)[N], const std::string& text) {
  snprintf(field, N, "%s", text.c_str());
}

// ---- The synthetic recording index ----

struct Recording {
  time_t start;
  time_t end;  // inclusive last second
  int32_t type;
  int32_t lock;
};

const time_t g_disk_start = day_start(time(nullptr)) - static_cast<time_t>(kHistoryDays) * 86400;

std::vector<Recording> recordings_of_day(int channel, time_t day) {
  std::vector<Recording> list;
  struct tm t{};
  localtime_r(&day, &t);
  if (channel % 4 == 3 && t.tm_mday % 5 == 0) return list;
  const int motion_minute = (channel * 7) % 30;
  list.push_back({at_time_of_day(day, 0, 0, 0), at_time_of_day(day, 7, 59, 59), 0, 0});
  list.push_back({at_time_of_day(day, 8, motion_minute, 0), at_time_of_day(day, 8, motion_minute + 22, 59), 1, 0});
  list.push_back({at_time_of_day(day, 10, 0, 0), at_time_of_day(day, 11, 59, 59), 0, 0});
  list.push_back({at_time_of_day(day, 12, 30 + channel % 30, 0), at_time_of_day(day, 12, 44 + channel % 30, 59), 2, 1});
  list.push_back({at_time_of_day(day, 13, 0, 0), at_time_of_day(day, 23, 59, 59), 0, 0});
  return list;
}

// Recordings of `channel` overlapping [from, to], clipped to that span and to what was recorded
// (from the disk start until now).
std::vector<Recording> find_recordings(int channel, time_t from, time_t to) {
  std::vector<Recording> found;
  const time_t now = time(nullptr);
  from = std::max(from, g_disk_start);
  to = std::min(to, now);
  if (channel < 0 || channel >= kChannels || from > to) return found;
  for (time_t day = day_start(from); day <= to && found.size() < 10000; day = next_day(day)) {
    for (Recording r : recordings_of_day(channel, day)) {
      if (r.end < from || r.start > to) continue;
      r.start = std::max(r.start, from);
      r.end = std::min(r.end, to);
      found.push_back(r);
    }
  }
  return found;
}

// ---- Sessions ----

double speed_factor(int32_t speed) {
  if (speed > 0) return speed;
  if (speed < 0) return 1.0 / -static_cast<double>(speed);
  return 1.0;
}

struct Session {
  int channel = 0;
  int stream_type = 0;
  std::vector<SearchRecord> results;
  bool playing = false;
  int32_t speed = 0;
  int32_t direction = 0;
  double position = 0;  // play time, seconds since the epoch
  std::chrono::steady_clock::time_point since{};
  int32_t transcode_state = 0;

  // Brings the play time up to now.
  void advance() {
    const auto now = std::chrono::steady_clock::now();
    if (playing) {
      const double elapsed = std::chrono::duration<double>(now - since).count();
      position += elapsed * speed_factor(speed) * (direction == 0 ? 1 : -1);
    }
    since = now;
  }
};

struct Download {
  ZvSockServer::PeerId peer = 0;
  SimRequest request{};                 // peer and client of the 1173 (payload not kept)
  int channel = 0;
  int stream_type = 0;
  std::vector<time_t> frame_times;      // capture second of every frame, 10 per second
  uint32_t frame_bytes = 0;             // every padded picture's size
  uint32_t next = 0;
  std::chrono::steady_clock::time_point started{};
  std::atomic<bool> cancelled{false};
};

class PlaybackCore {
 public:
  std::mutex mutex;
  std::map<int32_t, Session> sessions;
  int32_t next_sid = 1;
  ImageAdjustment images[kPlaybackChannels] = {};
  std::shared_ptr<Download> download;  // the stream in progress

  PlaybackCore() {
    for (int i = 0; i < kPlaybackChannels; ++i) images[i] = {i, 128, 128, 128, 128, 128, 0};
  }

  int32_t new_session(int channel, int stream_type) {
    if (sessions.size() >= 256) sessions.erase(sessions.begin());  // the oldest goes
    int32_t sid = next_sid++;
    if (next_sid > 1000000) next_sid = 1;
    Session& session = sessions[sid];
    session.channel = channel;
    session.stream_type = stream_type;
    session.since = std::chrono::steady_clock::now();
    return sid;
  }

  Session* find(int32_t sid) {
    auto found = sessions.find(sid);
    return found == sessions.end() ? nullptr : &found->second;
  }
};

PlaybackCore& core() {
  static PlaybackCore instance;
  return instance;
}

// The session ids of a session-list payload (count word, or all non-zero entries for 1113).
std::vector<int32_t> list_sids(const SimRequest& request, bool counted) {
  SessionList list{};
  std::vector<int32_t> sids;
  if (!payload_as(request, &list, true)) return sids;
  int n = counted ? std::clamp(list.count, 0, kMaxSessions) : kMaxSessions;
  for (int i = 0; i < n; ++i) {
    if (!counted && list.sid[i] == 0) continue;
    sids.push_back(list.sid[i]);
  }
  return sids;
}

void each_listed(const SimRequest& request, bool counted, void (*apply)(Session&, const SessionList&, int)) {
  SessionList list{};
  if (!payload_as(request, &list, true)) return;
  std::vector<int32_t> sids = list_sids(request, counted);
  std::lock_guard<std::mutex> lock(core().mutex);
  for (size_t i = 0; i < sids.size(); ++i) {
    if (Session* session = core().find(sids[i])) {
      session->advance();
      apply(*session, list, static_cast<int>(i));
    }
  }
}

// ---- Test pattern pictures ----

// 5x7 glyphs, one byte per row, bit 4 = leftmost column.
struct Glyph {
  char c;
  uint8_t rows[7];
};
constexpr Glyph kFont[] = {
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}}, {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}}, {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}}, {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}}, {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}}, {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {'-', {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00}}, {':', {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x0C, 0x00}},
    {'C', {0x0E, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0E}}, {'A', {0x0E, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}},
    {'M', {0x11, 0x1B, 0x15, 0x15, 0x11, 0x11, 0x11}}, {'S', {0x0F, 0x10, 0x10, 0x0E, 0x01, 0x01, 0x1E}},
    {'U', {0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}}, {'B', {0x1E, 0x11, 0x11, 0x1E, 0x11, 0x11, 0x1E}},
    {'I', {0x0E, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E}}, {'N', {0x11, 0x19, 0x15, 0x13, 0x11, 0x11, 0x11}},
};

class Picture {
 public:
  Picture(int width, int height) : width_(width), height_(height), rgb_(static_cast<size_t>(width) * height * 3) {}

  void fill(int x0, int y0, int w, int h, uint8_t r, uint8_t g, uint8_t b) {
    const int x_begin = std::max(0, x0);
    const int x_end = std::min(width_, x0 + w);
    if (x_begin >= x_end) return;
    const size_t span = static_cast<size_t>(x_end - x_begin) * 3;
    for (int y = std::max(0, y0); y < std::min(height_, y0 + h); ++y) {
      uint8_t* row = &rgb_[(static_cast<size_t>(y) * width_ + x_begin) * 3];
      if (y == std::max(0, y0)) {
        for (size_t i = 0; i < span; i += 3) {
          row[i] = r;
          row[i + 1] = g;
          row[i + 2] = b;
        }
      } else {
        memcpy(row, &rgb_[(static_cast<size_t>(std::max(0, y0)) * width_ + x_begin) * 3], span);
      }
    }
  }

  void text(int x, int y, int scale, const char* s) {
    for (; *s != '\0'; ++s, x += 6 * scale) {
      for (const Glyph& glyph : kFont) {
        if (glyph.c != *s) continue;
        for (int row = 0; row < 7; ++row) {
          for (int col = 0; col < 5; ++col) {
            if ((glyph.rows[row] >> (4 - col)) & 1) fill(x + col * scale, y + row * scale, scale, scale, 255, 255, 255);
          }
        }
      }
    }
  }

  // Colour bars that drift, a box that bounces, and the caption band.
  void draw(int channel, int stream_type, time_t when, uint32_t frame) {
    static const uint8_t bars[8][3] = {{235, 235, 235}, {235, 235, 16}, {16, 235, 235}, {16, 235, 16},
                                       {235, 16, 235},  {235, 16, 16},  {16, 16, 235},  {16, 16, 16}};
    const int shift = static_cast<int>(frame * 4 % static_cast<uint32_t>(width_));
    const size_t row_bytes = static_cast<size_t>(width_) * 3;
    for (int x = 0; x < width_; ++x) {
      const uint8_t* c = bars[((x + shift) % width_) * 8 / width_];
      memcpy(&rgb_[static_cast<size_t>(x) * 3], c, 3);
    }
    for (int y = 1; y < height_; ++y) memcpy(&rgb_[static_cast<size_t>(y) * row_bytes], rgb_.data(), row_bytes);
    const int box = height_ / 5;
    const int span_x = std::max(1, width_ - box);
    const int span_y = std::max(1, height_ - box);
    int bx = static_cast<int>(frame * 7 % static_cast<uint32_t>(2 * span_x));
    int by = static_cast<int>(frame * 5 % static_cast<uint32_t>(2 * span_y));
    if (bx >= span_x) bx = 2 * span_x - bx;
    if (by >= span_y) by = 2 * span_y - by;
    fill(bx, by, box, box, 255, 128, 0);
    const int scale = width_ >= 600 ? 3 : 2;
    fill(0, 0, width_, 9 * scale * 2 + 4 * scale, 0, 0, 0);
    char caption[64];
    snprintf(caption, sizeof caption, "CAM%d %s", channel + 1, stream_type == 1 ? "SUB" : "MAIN");
    text(2 * scale, 2 * scale, scale, caption);
    struct tm t{};
    localtime_r(&when, &t);
    char stamp[32];
    strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &t);
    text(2 * scale, 2 * scale + 9 * scale, scale, stamp);
  }

  int width() const { return width_; }
  int height() const { return height_; }
  const uint8_t* row(int y) const { return &rgb_[static_cast<size_t>(y) * width_ * 3]; }

 private:
  int width_;
  int height_;
  std::vector<uint8_t> rgb_;
};

struct JpegError {
  jpeg_error_mgr manager;
  jmp_buf jump;
};

void jpeg_fail(j_common_ptr info) {
  longjmp(reinterpret_cast<JpegError*>(info->err)->jump, 1);
}

// JPEG of the picture at `quality`; empty on failure. No C++ object with a destructor lives
// between setjmp and the library calls.
std::vector<uint8_t> encode_jpeg(const Picture& picture, int quality) {
  std::vector<uint8_t> result;
  jpeg_compress_struct info{};
  JpegError error{};
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  info.err = jpeg_std_error(&error.manager);
  error.manager.error_exit = jpeg_fail;
  if (setjmp(error.jump) != 0) {
    jpeg_destroy_compress(&info);
    free(buffer);
    return result;
  }
  jpeg_create_compress(&info);
  jpeg_mem_dest(&info, &buffer, &size);
  info.image_width = static_cast<JDIMENSION>(picture.width());
  info.image_height = static_cast<JDIMENSION>(picture.height());
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, quality, TRUE);
  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < info.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(picture.row(static_cast<int>(info.next_scanline)));
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  if (buffer != nullptr) result.assign(buffer, buffer + size);
  free(buffer);
  return result;
}

// Pads a JPEG to exactly `size` bytes with comment segments after its start marker. False when
// it is too big for that.
bool pad_jpeg(std::vector<uint8_t>* jpeg, uint32_t size) {
  if (jpeg->size() < 4 || (*jpeg)[0] != 0xFF || (*jpeg)[1] != 0xD8) return false;
  if (jpeg->size() == size) return true;
  if (jpeg->size() + 4 > size) return false;
  size_t pad = size - jpeg->size();
  std::vector<uint8_t> segments;
  while (pad > 0) {
    size_t segment = std::min<size_t>(pad, 65537);  // marker, length word, 65533 bytes
    if (pad - segment > 0 && pad - segment < 4) segment = pad - 4;
    const size_t length = segment - 2;
    segments.push_back(0xFF);
    segments.push_back(0xFE);
    segments.push_back(static_cast<uint8_t>(length >> 8));
    segments.push_back(static_cast<uint8_t>(length));
    segments.insert(segments.end(), segment - 4, ' ');
    pad -= segment;
  }
  jpeg->insert(jpeg->begin() + 2, segments.begin(), segments.end());
  return jpeg->size() == size;
}

void stream_size(int stream_type, int* width, int* height) {
  *width = stream_type == 1 ? 352 : 640;
  *height = stream_type == 1 ? 288 : 360;
}

// The picture of one frame, padded to the stream's frame size; empty when it cannot be made.
std::vector<uint8_t> frame_picture(const Download& d, uint32_t index) {
  int width = 0, height = 0;
  stream_size(d.stream_type, &width, &height);
  Picture picture(width, height);
  picture.draw(d.channel, d.stream_type, d.frame_times[index], index);
  for (int quality = 80; quality >= 20; quality -= 20) {
    std::vector<uint8_t> jpeg = encode_jpeg(picture, quality);
    if (pad_jpeg(&jpeg, d.frame_bytes)) return jpeg;
  }
  return {};
}

int env_int(const char* name, int fallback, int lo, int hi) {
  const char* text = getenv(name);
  if (text == nullptr || *text == '\0') return fallback;
  char* end = nullptr;
  long value = strtol(text, &end, 10);
  if (*end != '\0' || value < lo || value > hi) return fallback;
  return static_cast<int>(value);
}

// ---- Download stream ----

void send_chunk(Simulator& sim, const SimRequest& request, const uint8_t* frame_header, int32_t continuation,
                int32_t length, const uint8_t* data, uint32_t data_length) {
  std::vector<uint8_t> chunk(sizeof(DownloadChunkHead) + data_length);
  DownloadChunkHead head{};
  if (frame_header != nullptr) memcpy(head.frame_header, frame_header, sizeof head.frame_header);
  head.continuation = continuation;
  head.length = length;
  memcpy(chunk.data(), &head, sizeof head);
  if (data_length > 0) memcpy(chunk.data() + sizeof head, data, data_length);
  sim.reply(request, chunk.data(), static_cast<uint32_t>(chunk.size()), kReplyDownloadChunk);
}

void end_download(const std::shared_ptr<Download>& d) {
  std::lock_guard<std::mutex> lock(core().mutex);
  if (core().download == d) {
    core().download.reset();
    unlink(kMarker);
  }
}

// One tick of the stream: sends the frames that are due, then schedules the next tick.
void stream_tick(Simulator& sim, const std::shared_ptr<Download>& d) {
  const int speed = env_int("ZVSIM_DOWNLOAD_SPEED", 8, 0, 10000);
  const uint32_t chunk_bytes = static_cast<uint32_t>(env_int("ZVSIM_CHUNK_BYTES", kChunkDataMax, 1, kChunkDataMax));
  const uint32_t total = static_cast<uint32_t>(d->frame_times.size());
  uint32_t due = total;
  if (speed > 0) {
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - d->started).count();
    due = std::min<uint32_t>(total, static_cast<uint32_t>(elapsed * kDownloadFps * speed) + 1);
  }
  int width = 0, height = 0;
  stream_size(d->stream_type, &width, &height);
  // At most a few frames per tick, so that a cancel or a stop is seen soon.
  for (int sent = 0; d->next < due && sent < 32 && !d->cancelled.load(); ++sent) {
    const uint32_t index = d->next++;
    std::vector<uint8_t> picture = frame_picture(*d, index);
    if (picture.empty()) {
      send_chunk(sim, d->request, nullptr, 0, kChunkAbort, nullptr, 0);
      end_download(d);
      return;
    }
    ZvAviFrameHeader header{};
    header.magic = kZvAviFrameMagic;
    header.codec = kZvAviCodecMjpeg;
    header.width = width;
    header.height = height;
    header.frame_rate = kDownloadFps;
    header.key_frame = 1;
    header.timestamp_us = static_cast<int64_t>(d->frame_times[index]) * 1000000 +
                          static_cast<int64_t>(index % kDownloadFps) * (1000000 / kDownloadFps);
    header.channel = d->channel;
    header.sequence = static_cast<int32_t>(index);
    header.size = static_cast<int32_t>(picture.size());
    header.stream_type = d->stream_type;
    header.stream_frames = total;
    header.stream_bytes = static_cast<uint64_t>(total) * d->frame_bytes;
    uint8_t raw[sizeof header];
    memcpy(raw, &header, sizeof header);
    for (uint32_t offset = 0; offset < picture.size(); offset += chunk_bytes) {
      const uint32_t n = std::min<uint32_t>(chunk_bytes, static_cast<uint32_t>(picture.size()) - offset);
      send_chunk(sim, d->request, raw, offset == 0 ? kChunkFirst : 1, static_cast<int32_t>(n),
                 picture.data() + offset, n);
    }
  }
  if (d->cancelled.load()) {
    // Ended by 1178: the file closes with what was sent.
    send_chunk(sim, d->request, nullptr, 0, kChunkEnd, nullptr, 0);
    end_download(d);
    return;
  }
  if (d->next >= total) {
    send_chunk(sim, d->request, nullptr, 0, kChunkEnd, nullptr, 0);
    end_download(d);
    return;
  }
  sim.after(kTickMs, [&sim, d] { stream_tick(sim, d); });
}

void start_download(Simulator& sim, const SimRequest& request) {
  DownloadRequest ask{};
  if (!payload_as(request, &ask, true)) return;
  auto d = std::make_shared<Download>();
  d->request = request;
  d->request.payload = nullptr;
  d->request.length = 0;
  d->channel = ask.channel;
  d->stream_type = ask.stream_type == 1 ? 1 : 0;
  {
    std::lock_guard<std::mutex> lock(core().mutex);
    if (core().download != nullptr) {  // one download at a time
      send_chunk(sim, request, nullptr, 0, kChunkAbort, nullptr, 0);
      return;
    }
    core().download = d;
    FILE* marker = fopen(kMarker, "w");
    if (marker != nullptr) fclose(marker);
  }
  const time_t from = parse_time(ask.start, sizeof ask.start);
  const time_t to = parse_time(ask.end, sizeof ask.end);
  if (from >= 0 && to >= from) {
    // Frames of the recorded seconds [start, end) of every recording in the span.
    for (const Recording& r : find_recordings(d->channel, from, to)) {
      const time_t stop = std::min(r.end + 1, to);
      for (time_t second = r.start; second < stop && d->frame_times.size() < 3600u * 24u * kDownloadFps; ++second) {
        for (int i = 0; i < kDownloadFps; ++i) d->frame_times.push_back(second);
      }
    }
  }
  if (!d->frame_times.empty()) {
    // One padded size for the stream: the first picture's size with room to spare.
    int width = 0, height = 0;
    stream_size(d->stream_type, &width, &height);
    Picture probe(width, height);
    probe.draw(d->channel, d->stream_type, d->frame_times[0], 0);
    const size_t probe_size = encode_jpeg(probe, 80).size();
    d->frame_bytes = static_cast<uint32_t>(probe_size + probe_size / 2 + 4096);
  }
  d->started = std::chrono::steady_clock::now();
  sim.after(0, [&sim, d] { stream_tick(sim, d); });
}

// ---- Message handlers ----

void on_search(Simulator& sim, const SimRequest& request) {
  SearchRequest search{};
  if (!payload_as(request, &search, true)) {
    sim.reply(request, nullptr, 0);
    return;
  }
  const char* one = static_cast<const char*>(memchr(search.channel_mask, '1', sizeof search.channel_mask));
  const int channel = one != nullptr ? static_cast<int>(one - search.channel_mask) : -1;
  const time_t from = parse_time(search.start, sizeof search.start);
  const time_t to = parse_time(search.end, sizeof search.end);
  std::vector<SearchRecord> page;
  {
    std::lock_guard<std::mutex> lock(core().mutex);
    if (channel >= 0 && from >= 0 && to >= from) {
      std::vector<Recording> found = find_recordings(channel, from, to);
      if (!found.empty()) {
        const int32_t sid = core().new_session(channel, search.sub_stream);
        Session& session = *core().find(sid);
        for (const Recording& r : found) {
          SearchRecord record{};
          record.cam_id = channel;
          record.sid = sid;
          record.lock = r.lock;
          record.record_type = r.type;
          format_time(record.start_time, r.start);
          format_time(record.end_time, r.end);
          session.results.push_back(record);
        }
        session.position = static_cast<double>(found.front().start);
        const size_t n = std::min<size_t>(session.results.size(), kPageRecords);
        page.assign(session.results.begin(), session.results.begin() + static_cast<long>(n));
      }
    }
  }
  sim.reply(request, page.data(), static_cast<uint32_t>(page.size() * sizeof(SearchRecord)));
}

void on_search_page(Simulator& sim, const SimRequest& request) {
  SearchPageRequest ask{};
  std::vector<SearchRecord> page;
  if (payload_as(request, &ask, true) && ask.page >= 0) {
    std::lock_guard<std::mutex> lock(core().mutex);
    if (Session* session = core().find(ask.sid)) {
      const size_t first = static_cast<size_t>(ask.page) * kPageRecords;
      if (first < session->results.size()) {
        const size_t n = std::min<size_t>(session->results.size() - first, kPageRecords);
        page.assign(session->results.begin() + static_cast<long>(first),
                    session->results.begin() + static_cast<long>(first + n));
      }
    }
  }
  sim.reply(request, page.data(), static_cast<uint32_t>(page.size() * sizeof(SearchRecord)));
}

void on_start(Simulator& sim, const SimRequest& request) {
  StartRequest start{};
  int32_t result = -1;
  if (payload_as(request, &start, true)) {
    const time_t at = parse_time(start.play_time, sizeof start.play_time);
    std::lock_guard<std::mutex> lock(core().mutex);
    Session* session = core().find(start.sid);
    if (session == nullptr && start.sid < 0 && start.channel >= 0 && start.channel < kChannels) {
      session = core().find(core().new_session(start.channel, 0));
    }
    if (session != nullptr && at >= 0) {
      session->advance();
      session->channel = start.channel;
      session->position = static_cast<double>(at);
      session->playing = true;
      session->speed = 0;
      session->direction = 0;
      result = 0;
    }
  }
  sim.reply_int32(request, result);
}

void on_session_source(Simulator& sim, const SimRequest& request) {
  int32_t sid = -1;
  payload_as(request, &sid, true);
  SessionSource source{};
  source.session_id = sid;
  source.port = 554;
  source.external_port = 10554;
  source.external_http_port = 10080;
  source.ddns_port = 0;
  source.ddns_http_port = 0;
  set_text(source.source_path, "/playback/session" + std::to_string(sid));
  sim.reply(request, &source, sizeof source);
}

void on_current_time(Simulator& sim, const SimRequest& request) {
  int32_t sid = -1;
  int32_t seconds = 0;
  if (payload_as(request, &sid, true)) {
    std::lock_guard<std::mutex> lock(core().mutex);
    if (Session* session = core().find(sid)) {
      session->advance();
      seconds = static_cast<int32_t>(session->position);
    }
  }
  sim.reply_int32(request, seconds);
}

void on_jump(Simulator& sim, const SimRequest& request) {
  JumpRequest jump{};
  int32_t result = 1;
  if (payload_as(request, &jump, true)) {
    const time_t at = parse_time(jump.jump_time, sizeof jump.jump_time);
    const int n = std::clamp(jump.count, 0, kMaxSessions);
    std::lock_guard<std::mutex> lock(core().mutex);
    if (at >= 0 && n > 0) {
      result = 0;
      for (int i = 0; i < n; ++i) {
        Session* session = core().find(jump.sid[i]);
        if (session == nullptr) {
          result = 1;
          continue;
        }
        session->advance();
        session->position = static_cast<double>(at);
      }
    }
  }
  sim.reply_int32(request, result);
}

void on_transcode(Simulator& sim, const SimRequest& request, bool set) {
  TranscodeState state{};
  if (set) {
    TranscodeRequest ask{};
    if (!payload_as(request, &ask, true)) return;
    state = {ask.ch, ask.sid, ask.mode != 0 ? 1 : 0};
    std::lock_guard<std::mutex> lock(core().mutex);
    if (Session* session = core().find(ask.sid)) session->transcode_state = state.state;
  } else {
    TranscodeQuery ask{};
    if (!payload_as(request, &ask, true)) return;
    state = {ask.ch, ask.sid, 0};
    std::lock_guard<std::mutex> lock(core().mutex);
    if (Session* session = core().find(ask.sid)) state.state = session->transcode_state;
  }
  sim.reply(request, &state, sizeof state);
}

void on_live_source(Simulator& sim, const SimRequest& request) {
  LiveSourceRequest ask{};
  if (!payload_as(request, &ask, true)) return;
  LiveSourceReply live{};
  live.channel = ask.id;
  live.port = 554;
  live.direct = ask.stream_from;
  live.result = ask.id >= 0 && ask.id < kChannels ? 0 : -1;
  const std::string path = "/ch" + std::to_string(ask.id + 1) + (ask.stream_type == 1 ? "/sub" : "/main");
  set_text(live.rtsp_addr, "rtsp://127.0.0.1:554" + path);
  set_text(live.res_path, path);
  sim.reply(request, &live, sizeof live);
}

void on_image_read(Simulator& sim, const SimRequest& request) {
  int32_t channel = -1;
  payload_as(request, &channel, true);
  ImageAdjustReply reply{};
  reply.channel = channel;
  reply.result = -1;
  if (channel >= 0 && channel < kPlaybackChannels) {
    std::lock_guard<std::mutex> lock(core().mutex);
    const ImageAdjustment& image = core().images[channel];
    reply = {channel, image.brightness, image.contrast, image.saturation, image.sharpness,
             image.noise_reduction, image.i2ddnr, 0};
  }
  sim.reply(request, &reply, sizeof reply);
}

void on_image_set(Simulator&, const SimRequest& request) {
  ImageAdjustment image{};
  if (!payload_as(request, &image, true) || image.channel < 0 || image.channel >= kPlaybackChannels) return;
  std::lock_guard<std::mutex> lock(core().mutex);
  core().images[image.channel] = image;
}

void on_stream_addresses(Simulator& sim, const SimRequest& request) {
  std::vector<StreamAddressRecord> records(kPlaybackChannels);
  for (int ch = 0; ch < kPlaybackChannels; ++ch) {
    StreamAddressRecord& r = records[static_cast<size_t>(ch)];
    r.channel = ch;
    const std::string base = "rtsp://192.168.1." + std::to_string(100 + ch) + ":554";
    set_text(r.main_rtsp, base + "/main");
    set_text(r.sub_rtsp, base + "/sub");
    for (StreamPorts* ports : {&r.main_ports, &r.sub_ports}) *ports = {554, 10554 + ch, 0, 10080, 0};
    for (StreamAccount* account : {&r.main_account, &r.sub_account}) {
      set_text(account->username, "admin");
      set_text(account->password, "admin");
    }
    set_text(r.main_account.res_path, "/ch" + std::to_string(ch + 1) + "/main");
    set_text(r.sub_account.res_path, "/ch" + std::to_string(ch + 1) + "/sub");
  }
  sim.reply(request, records.data(), static_cast<uint32_t>(records.size() * sizeof(StreamAddressRecord)));
}

void on_calendar(Simulator& sim, const SimRequest& request) {
  CalendarRequest ask{};
  CalendarReply reply{};
  if (payload_as(request, &ask, true) && ask.month >= 1 && ask.month <= 12 && ask.year >= 1970 && ask.year < 2100) {
    for (int day = 1; day <= 31; ++day) {
      struct tm t{};
      t.tm_year = ask.year - 1900;
      t.tm_mon = ask.month - 1;
      t.tm_mday = day;
      t.tm_hour = 12;
      t.tm_isdst = -1;
      const time_t noon = mktime(&t);
      if (t.tm_mon != ask.month - 1) break;  // past the month's last day
      const time_t from = day_start(noon);
      for (int ch = 0; ch < kChannels && reply.day[day - 1] == 0; ++ch) {
        if (ask.channel_mask[ch] == '1' && !find_recordings(ch, from, from + 86399).empty()) reply.day[day - 1] = 1;
      }
    }
  }
  sim.reply(request, &reply, sizeof reply);
}

void on_multi_play(Simulator& sim, const SimRequest& request) {
  MultiPlayRequest ask{};
  MultiPlayReply reply{};
  reply.sid = -1;
  reply.failed = 1;
  if (payload_as(request, &ask, true)) {
    memcpy(reply.play_text, ask.play_text, sizeof reply.play_text);
    int channel = -1;
    for (int word = 0; word < 8 && channel < 0; ++word) {
      for (int bit = 0; bit < 8 && channel < 0; ++bit) {
        if ((ask.mask[word] >> bit) & 1) channel = word * 8 + bit;
      }
    }
    if (channel >= 0) {
      std::lock_guard<std::mutex> lock(core().mutex);
      reply.sid = core().new_session(channel, 0);
      Session& session = *core().find(reply.sid);
      session.position = static_cast<double>(ask.play_time);
      session.playing = true;
      reply.failed = 0;
    }
  }
  sim.reply(request, &reply, sizeof reply, kReplyMultiPlay);
}

}  // namespace

void install_playback_module(Simulator& simulator) {
  simulator.on(kMsgSearch, on_search);
  simulator.on(kMsgSearchPage, on_search_page);
  simulator.on(kMsgStart, on_start);
  simulator.on(kMsgSessionSource, on_session_source);
  simulator.on(kMsgCurrentTime, on_current_time);
  simulator.on(kMsgJump, on_jump);
  simulator.on(kMsgTranscode, [](Simulator& sim, const SimRequest& r) { on_transcode(sim, r, true); });
  simulator.on(kMsgTranscodeState, [](Simulator& sim, const SimRequest& r) { on_transcode(sim, r, false); });
  simulator.on(kMsgLiveSource, on_live_source);
  simulator.on(kMsgImageRead, on_image_read);
  simulator.on(kMsgImageAdjust, on_image_set);
  simulator.on(kMsgStreamAddresses, on_stream_addresses);
  simulator.on(kMsgExternalPorts, [](Simulator& sim, const SimRequest& r) {
    const ExternalPorts ports{10554, 0};
    sim.reply(r, &ports, sizeof ports);
  });
  simulator.on(kMsgMonthCalendar, on_calendar);
  simulator.on(kMsgMultiPlay, on_multi_play);
  simulator.on(kMsgPlaybackBusy, [](Simulator& sim, const SimRequest& r) {
    bool busy = false;
    {
      std::lock_guard<std::mutex> lock(core().mutex);
      busy = core().download != nullptr;
    }
    sim.reply_int32(r, busy ? 1 : 0);
  });

  // Session steering: notices without a reply.
  simulator.on(kMsgCloseSessions, [](Simulator&, const SimRequest& r) {
    std::vector<int32_t> sids = list_sids(r, true);
    std::lock_guard<std::mutex> lock(core().mutex);
    for (int32_t sid : sids) core().sessions.erase(sid);
  });
  simulator.on(kMsgSessionRelease, [](Simulator&, const SimRequest& r) {
    int32_t sid = 0;
    if (!payload_as(r, &sid, true)) return;
    std::lock_guard<std::mutex> lock(core().mutex);
    if (Session* session = core().find(sid)) {
      session->advance();
      session->playing = false;
    }
  });
  simulator.on(kMsgStopSessions, [](Simulator&, const SimRequest& r) {
    each_listed(r, true, [](Session& s, const SessionList&, int) { s.playing = false; });
  });
  simulator.on(kMsgPauseSessions, [](Simulator&, const SimRequest& r) {
    each_listed(r, true, [](Session& s, const SessionList&, int) { s.playing = false; });
  });
  simulator.on(kMsgSessionResume, [](Simulator&, const SimRequest& r) {
    each_listed(r, false, [](Session& s, const SessionList&, int) { s.playing = true; });
  });
  simulator.on(kMsgStepSessions, [](Simulator&, const SimRequest& r) {
    each_listed(r, true, [](Session& s, const SessionList&, int) {
      s.position += (s.direction == 0 ? 1.0 : -1.0) / kDownloadFps;
      s.playing = false;
    });
  });
  simulator.on(kMsgSessionSpeeds, [](Simulator&, const SimRequest& r) {
    each_listed(r, true, [](Session& s, const SessionList& list, int i) { s.speed = list.speed[i]; });
  });
  simulator.on(kMsgDirection, [](Simulator&, const SimRequest& r) {
    DirectionRequest ask{};
    if (!payload_as(r, &ask, true)) return;
    std::lock_guard<std::mutex> lock(core().mutex);
    if (Session* session = core().find(ask.sid)) {
      session->advance();
      session->direction = ask.direction;
    }
  });
  auto speed_by_mask = [](const SimRequest& r, bool by_channel) {
    MaskRequest ask{};
    if (!payload_as(r, &ask, true)) return;
    std::lock_guard<std::mutex> lock(core().mutex);
    for (auto& [sid, session] : core().sessions) {
      const int index = by_channel ? session.channel : sid;
      if (index >= 0 && index < 64 && ask.mask[index] == '1') {
        session.advance();
        session.speed = ask.speed;
      }
    }
  };
  simulator.on(kMsgSpeedByChannel, [speed_by_mask](Simulator&, const SimRequest& r) { speed_by_mask(r, true); });
  simulator.on(kMsgSpeedBySession, [speed_by_mask](Simulator&, const SimRequest& r) { speed_by_mask(r, false); });
  simulator.silent(kMsgLiveStart);
  simulator.silent(kMsgLiveStop);

  // Record download.
  simulator.on(kMsgDownload, start_download);
  simulator.on(kMsgDownloadEnd, [](Simulator&, const SimRequest&) {
    std::lock_guard<std::mutex> lock(core().mutex);
    if (core().download != nullptr) {
      core().download->cancelled.store(true);
      core().download.reset();
    }
    unlink(kMarker);
  });
}
