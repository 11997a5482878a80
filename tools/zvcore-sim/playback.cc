// Playback module of the simulator (class PlaybackSim): a synthetic recording index per channel,
// playback sessions with a play time that advances while they play, search and paging, speed,
// direction, pause, step and jump, transcoding state, live and session RTSP sources, playback image
// adjustments, the month calendar, multi-channel play (3109 -> 8103), and the record download: on
// 1173 the core creates "/tmp/pbdownload" and streams the recorded frames of the span as 6173
// chunks, MJPEG pictures of a moving test pattern with the channel and the recording time drawn in,
// then the end chunk (length -1), and removes the marker (also on 1178).
//
// The recording index: every channel records from 40 days before the simulator was made until now,
// each day in five recordings (local time): 00:00-07:59:59 and 10:00-11:59:59 and 13:00-23:59:59
// continuous (record type 0), a motion recording of 23 minutes between 08:00 and 08:53 (type 1),
// and an alarm recording of 15 minutes from 12:30 plus the channel number in minutes (type 2,
// locked). Channels 3, 7, 11 ... have no recordings on days 5, 10, 15 ... of the month. Channels
// 0..63, both streams.
//
// Speeds (1112, 1149, 1167): 0 plays at normal speed, n > 0 at n times, n < 0 at 1/|n|.
// Direction (1166): 0 forward, otherwise backward. Pause (1165) and resume (1113) by session;
// step (1170) moves one frame and pauses.
//
// Download stream: 10 frames per second; the main stream (streamType 0) is 640x360, the sub stream
// 352x288. Every picture is padded (JPEG comment segments) to one size per stream, so the first
// frame header can announce the stream's frame count and bytes. The stream runs at
// ZVSIM_DOWNLOAD_SPEED times real time (default 8; 0 = as fast as possible), in chunks of at most
// ZVSIM_CHUNK_BYTES picture bytes (default and maximum 614400; tests set it lower to split frames).
// With ZVSIM_DOWNLOAD_PREMADE=1 every frame of a stream carries the first frame's picture, drawn
// and encoded once: with speed 0 the simulator then sends as fast as the requester takes the
// chunks (the benchmark of the download path uses it, so that the picture encoder is not the limit).
//
// Control commands (`zvcore-sim ctl playback <words>`): "end-download" ends the running stream as
// the core's own end does (the end chunk, the marker removed), "abort-download" ends it with the
// abort chunk; both answer "ok", or "no download" when none runs.
#include <unistd.h>

#include <cstddef>
#include <cstdio>
// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/json_fields.h"
#include "common/messages/playback.h"
#include "platform/zvavi/zvavi.h"
#include "tools/zvcore-sim/modules.h"
#include "tools/zvcore-sim/simulator.h"

using namespace playback;

namespace {

constexpr int kPageRecords = 16;
constexpr int kDownloadFps = 10;
constexpr int kHistoryDays = 40;
constexpr int kTickMs = 10;

// ---- Time helpers (local time, as the device keeps it) ----

time_t at_time_of_day(time_t day, int hour, int minute, int second, int add_days = 0) {
  struct tm t{};
  localtime_r(&day, &t);
  t.tm_mday += add_days;
  t.tm_hour = hour;
  t.tm_min = minute;
  t.tm_sec = second;
  t.tm_isdst = -1;
  return mktime(&t);
}
time_t day_start(time_t when) { return at_time_of_day(when, 0, 0, 0); }
time_t next_day(time_t day) { return at_time_of_day(day, 0, 0, 0, 1); }

// "2024-01-02 03:04:05", "2024-01-02T03:04:05Z" or "2024-1-2 3:4:5" as local time; -1 when none.
template <size_t N>
time_t parse_time(const char (&field)[N]) {
  const std::string text(field, strnlen(field, N));
  struct tm t{};
  char sep = 0;
  if (sscanf(text.c_str(), "%d-%d-%d%c%d:%d:%d", &t.tm_year, &t.tm_mon, &t.tm_mday, &sep, &t.tm_hour, &t.tm_min,
             &t.tm_sec) != 7 ||
      (sep != ' ' && sep != 'T')) {
    return -1;
  }
  t.tm_year -= 1900;
  t.tm_mon -= 1;
  t.tm_isdst = -1;
  return mktime(&t);
}

// The core keeps a play time as 32-bit seconds since the epoch (its replies carry an int32).
bool fits_play_time(double seconds) { return seconds >= 0 && seconds <= INT32_MAX; }

template <size_t N>
void format_time(char (&field)[N], time_t when) {
  struct tm t{};
  localtime_r(&when, &t);
  strftime(field, N, "%Y-%m-%d %H:%M:%S", &t);
}

double speed_factor(int32_t speed) {
  if (speed > 0) return speed;
  if (speed < 0) return 1.0 / -static_cast<double>(speed);
  return 1.0;
}

int env_int(const char* name, int fallback, int lo, int hi) {
  const char* text = getenv(name);
  if (text == nullptr || *text == '\0') return fallback;
  char* end = nullptr;
  long value = strtol(text, &end, 10);
  if (*end != '\0' || value < lo || value > hi) return fallback;
  return static_cast<int>(value);
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
    char stamp[32];
    format_time(stamp, when);
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

struct Recording {
  time_t start;
  time_t end;  // inclusive last second
  int32_t type;
  int32_t lock;
};

std::vector<Recording> recordings_of_day(int channel, time_t day) {
  struct tm t{};
  localtime_r(&day, &t);
  if (channel % 4 == 3 && t.tm_mday % 5 == 0) return {};
  const int motion = (channel * 7) % 30;
  const int alarm = 30 + channel % 30;
  return {{at_time_of_day(day, 0, 0, 0), at_time_of_day(day, 7, 59, 59), 0, 0},
          {at_time_of_day(day, 8, motion, 0), at_time_of_day(day, 8, motion + 22, 59), 1, 0},
          {at_time_of_day(day, 10, 0, 0), at_time_of_day(day, 11, 59, 59), 0, 0},
          {at_time_of_day(day, 12, alarm, 0), at_time_of_day(day, 12, alarm + 14, 59), 2, 1},
          {at_time_of_day(day, 13, 0, 0), at_time_of_day(day, 23, 59, 59), 0, 0}};
}

// One chunk of the download stream: the head (frame header may be null), then the data.
std::vector<unsigned char> chunk_bytes(const uint8_t* frame_header, int32_t continuation, int32_t length,
                                       const uint8_t* data, uint32_t data_length) {
  std::vector<unsigned char> chunk(sizeof(DownloadChunkHead) + data_length);
  DownloadChunkHead head{};
  if (frame_header != nullptr) memcpy(head.frame_header, frame_header, sizeof head.frame_header);
  head.continuation = continuation;
  head.length = length;
  memcpy(chunk.data(), &head, sizeof head);
  if (data_length > 0) memcpy(chunk.data() + sizeof head, data, data_length);
  return chunk;
}

class PlaybackSim : public SimModule {
 public:
  PlaybackSim() {
    for (int i = 0; i < kPlaybackChannels; ++i) images_[i] = {i, 128, 128, 128, 128, 128, 0};
    unlink(kDownloadMarker);  // a marker left by a core that died mid-download would keep every download busy
  }
  ~PlaybackSim() override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (download_ != nullptr) unlink(kDownloadMarker);
  }
  const char* name() const override { return "playback"; }
  void rules(SimRules& r) override;
  bool control(const std::vector<std::string>& words, std::string* answer) override;

 private:
  struct Session {
    int channel = 0;
    std::vector<SearchRecord> results;
    bool playing = false;
    int32_t speed = 0;
    int32_t direction = 0;
    double position = 0;  // play time, seconds since the epoch
    std::chrono::steady_clock::time_point since = std::chrono::steady_clock::now();
    int32_t transcode_state = 0;

    // Brings the play time up to now.
    void advance() {
      const auto now = std::chrono::steady_clock::now();
      if (playing) {
        position += std::chrono::duration<double>(now - since).count() * speed_factor(speed) * (direction == 0 ? 1 : -1);
      }
      since = now;
    }
  };

  struct Download {
    SimRequest request{};             // peer and client of the 1173 (payload not kept)
    int channel = 0;
    int stream_type = 0;
    std::vector<time_t> frame_times;  // capture second of every frame, 10 per second
    uint32_t frame_bytes = 0;         // every padded picture's size
    uint32_t next = 0;
    std::vector<uint8_t> premade;     // ZVSIM_DOWNLOAD_PREMADE: the picture of every frame
    std::chrono::steady_clock::time_point started{};
    std::atomic<int32_t> stop_with{0};  // kChunkEnd or kChunkAbort: the next tick ends the stream
  };

  // Recordings of `channel` overlapping [from, to], clipped to that span and to what was recorded.
  std::vector<Recording> find_recordings(int channel, time_t from, time_t to) const;
  int32_t new_session(int channel);  // under mutex_
  Session* find(int32_t sid) {       // under mutex_
    auto found = sessions_.find(sid);
    return found == sessions_.end() ? nullptr : &found->second;
  }
  // `change` on session `sid` brought up to now, under the lock; nothing when there is none.
  template <class F>
  void with_session(int32_t sid, F change) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (Session* session = find(sid)) {
      session->advance();
      change(*session);
    }
  }
  // Applies `change` to every listed session of a session-list notice (count word, or every
  // non-zero entry when `counted` is false).
  template <class F>
  void each_listed(const SimRequest& request, bool counted, F change);
  std::vector<SearchRecord> page_of(const Session& session, size_t first) const;
  void speed_by_mask(const SimRequest& request, bool by_channel);
  void start_download(const SimRequest& request, SimAnswer& a);
  void stream_tick(const std::shared_ptr<Download>& d);
  // False when the requester has gone.
  bool send_chunk(const Download& d, const uint8_t* header, int32_t continuation, int32_t length,
                  const uint8_t* data, uint32_t data_length) {
    const std::vector<unsigned char> chunk = chunk_bytes(header, continuation, length, data, data_length);
    return sim->reply(d.request, chunk.data(), static_cast<uint32_t>(chunk.size()), kDownload.reply_id);
  }
  void end_download(const std::shared_ptr<Download>& d);

  const time_t disk_start_ = day_start(time(nullptr)) - static_cast<time_t>(kHistoryDays) * 86400;
  std::mutex mutex_;  // guards everything below
  std::map<int32_t, Session> sessions_;
  int32_t next_sid_ = 1;
  ImageAdjustment images_[kPlaybackChannels];
  std::shared_ptr<Download> download_;  // the stream in progress
};

std::vector<Recording> PlaybackSim::find_recordings(int channel, time_t from, time_t to) const {
  std::vector<Recording> found;
  from = std::max(from, disk_start_);
  to = std::min(to, time(nullptr));
  if (channel < 0 || channel >= kMaxChannels || from > to) return found;
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

int32_t PlaybackSim::new_session(int channel) {
  if (sessions_.size() >= 256) sessions_.erase(sessions_.begin());  // the oldest goes
  const int32_t sid = next_sid_++;
  if (next_sid_ > 1000000) next_sid_ = 1;
  sessions_[sid].channel = channel;
  return sid;
}

template <class F>
void PlaybackSim::each_listed(const SimRequest& request, bool counted, F change) {
  SessionList list{};
  if (!payload_as(request, &list, true)) return;
  const int n = counted ? std::clamp(list.count, 0, kMaxSessions) : kMaxSessions;
  std::lock_guard<std::mutex> lock(mutex_);
  for (int i = 0, listed = 0; i < n; ++i) {
    if (!counted && list.sid[i] == 0) continue;
    if (Session* session = find(list.sid[i])) {
      session->advance();
      change(*session, list.speed[listed]);
    }
    ++listed;
  }
}

std::vector<SearchRecord> PlaybackSim::page_of(const Session& session, size_t first) const {
  if (first >= session.results.size()) return {};
  const size_t n = std::min<size_t>(session.results.size() - first, kPageRecords);
  return {session.results.begin() + static_cast<long>(first), session.results.begin() + static_cast<long>(first + n)};
}

void PlaybackSim::speed_by_mask(const SimRequest& request, bool by_channel) {
  MaskRequest ask{};
  if (!payload_as(request, &ask, true)) return;
  std::lock_guard<std::mutex> lock(mutex_);
  for (auto& [sid, session] : sessions_) {
    const int index = by_channel ? session.channel : sid;
    if (index >= 0 && index < 64 && ask.mask[index] == '1') {
      session.advance();
      session.speed = ask.speed;
    }
  }
}

void PlaybackSim::rules(SimRules& r) {
  r.answer(kSearch, [this](const SimRequest& q, SimAnswer& a) {
    SearchRequest search{};
    std::vector<SearchRecord> page;
    if (payload_as(q, &search, true)) {
      const char* one = static_cast<const char*>(memchr(search.channel_mask, '1', sizeof search.channel_mask));
      const int channel = one != nullptr ? static_cast<int>(one - search.channel_mask) : -1;
      const time_t from = parse_time(search.start);
      const time_t to = parse_time(search.end);
      const std::vector<Recording> found = channel >= 0 && from >= 0 && to >= from ? find_recordings(channel, from, to)
                                                                                     : std::vector<Recording>{};
      std::lock_guard<std::mutex> lock(mutex_);
      if (!found.empty()) {
        const int32_t sid = new_session(channel);
        Session& session = *find(sid);
        for (const Recording& rec : found) {
          SearchRecord record{};
          record.cam_id = channel;
          record.sid = sid;
          record.lock = rec.lock;
          record.record_type = rec.type;
          format_time(record.start_time, rec.start);
          format_time(record.end_time, rec.end);
          session.results.push_back(record);
        }
        session.position = static_cast<double>(found.front().start);
        page = page_of(session, 0);
      }
    }
    a.bytes(page.data(), page.size() * sizeof(SearchRecord));
  });
  r.answer(kSearchPage, [this](const SimRequest& q, SimAnswer& a) {
    SearchPageRequest ask{};
    std::vector<SearchRecord> page;
    if (payload_as(q, &ask, true) && ask.page >= 0) {
      std::lock_guard<std::mutex> lock(mutex_);
      if (Session* session = find(ask.sid)) page = page_of(*session, static_cast<size_t>(ask.page) * kPageRecords);
    }
    a.bytes(page.data(), page.size() * sizeof(SearchRecord));
  });
  r.answer(kStart, [this](const SimRequest& q, SimAnswer& a) {
    StartRequest start{};
    int32_t result = -1;
    if (payload_as(q, &start, true)) {
      const time_t at = parse_time(start.play_time);
      std::lock_guard<std::mutex> lock(mutex_);
      Session* session = find(start.sid);
      if (session == nullptr && start.sid < 0 && start.channel >= 0 && start.channel < kMaxChannels) {
        session = find(new_session(start.channel));
      }
      if (session != nullptr && at >= 0 && fits_play_time(static_cast<double>(at))) {
        session->advance();
        session->channel = start.channel;
        session->position = static_cast<double>(at);
        session->playing = true;
        session->speed = session->direction = 0;
        result = 0;
      }
    }
    a.int32(result);
  });
  r.answer(kSessionSource, [](const SimRequest& q, SimAnswer& a) {
    int32_t sid = -1;
    payload_as(q, &sid, true);
    SessionSource source{sid, 554, 10554, 10080, 0, 0, {}};
    copy_text_field(source.source_path, ("/playback/session" + std::to_string(sid)).c_str());
    a.record(source);
  });
  r.answer(kCurrentTime, [this](const SimRequest& q, SimAnswer& a) {
    int32_t sid = -1;
    int32_t seconds = 0;
    // A position run past what the reply can hold (a high speed for long) is no time: 0.
    if (payload_as(q, &sid, true)) {
      with_session(sid, [&](Session& s) {
        if (fits_play_time(s.position)) seconds = static_cast<int32_t>(s.position);
      });
    }
    a.int32(seconds);
  });
  r.answer(kJump, [this](const SimRequest& q, SimAnswer& a) {
    JumpRequest jump{};
    int32_t result = 1;
    if (payload_as(q, &jump, true)) {
      const time_t at = parse_time(jump.jump_time);
      const int n = std::clamp(jump.count, 0, kMaxSessions);
      std::lock_guard<std::mutex> lock(mutex_);
      if (at >= 0 && fits_play_time(static_cast<double>(at)) && n > 0) {
        result = 0;
        for (int i = 0; i < n; ++i) {
          Session* session = find(jump.sid[i]);
          if (session == nullptr) {
            result = 1;
            continue;
          }
          session->advance();
          session->position = static_cast<double>(at);
        }
      }
    }
    a.int32(result);
  });
  r.answer(kTranscode, [this](const SimRequest& q, SimAnswer& a) {
    TranscodeRequest ask{};
    if (!payload_as(q, &ask, true)) return;
    const TranscodeState state{ask.ch, ask.sid, ask.mode != 0 ? 1 : 0};
    std::lock_guard<std::mutex> lock(mutex_);
    if (Session* session = find(ask.sid)) session->transcode_state = state.state;
    a.record(state);
  });
  r.answer(kTranscodeState, [this](const SimRequest& q, SimAnswer& a) {
    TranscodeQuery ask{};
    if (!payload_as(q, &ask, true)) return;
    TranscodeState state{ask.ch, ask.sid, 0};
    std::lock_guard<std::mutex> lock(mutex_);
    if (Session* session = find(ask.sid)) state.state = session->transcode_state;
    a.record(state);
  });
  r.answer(kLiveSource, [](const SimRequest& q, SimAnswer& a) {
    LiveSourceRequest ask{};
    if (!payload_as(q, &ask, true)) return;
    LiveSourceReply live{};
    live.channel = ask.id;
    live.port = 554;
    live.direct = ask.stream_from;
    live.result = ask.id >= 0 && ask.id < kMaxChannels ? 0 : -1;
    const std::string path = "/ch" + std::to_string(ask.id + 1) + (ask.stream_type == 1 ? "/sub" : "/main");
    copy_text_field(live.rtsp_addr, ("rtsp://127.0.0.1:554" + path).c_str());
    copy_text_field(live.res_path, path.c_str());
    a.record(live);
  });
  r.answer(kImageRead, [this](const SimRequest& q, SimAnswer& a) {
    int32_t channel = -1;
    payload_as(q, &channel, true);
    ImageAdjustReply reply{};
    reply.result = -1;
    if (channel >= 0 && channel < kPlaybackChannels) {
      std::lock_guard<std::mutex> lock(mutex_);
      reply = {images_[channel], 0};
    }
    reply.image.channel = channel;
    a.record(reply);
  });
  r.answer(kImageAdjust, [this](const SimRequest& q, SimAnswer&) {
    ImageAdjustment image{};
    if (!payload_as(q, &image, true) || image.channel < 0 || image.channel >= kPlaybackChannels) return;
    std::lock_guard<std::mutex> lock(mutex_);
    images_[image.channel] = image;
  });

  std::vector<StreamAddressRecord> addresses(kPlaybackChannels);
  for (int ch = 0; ch < kPlaybackChannels; ++ch) {
    StreamAddressRecord& rec = addresses[static_cast<size_t>(ch)];
    rec.channel = ch;
    const std::string base = "rtsp://192.168.1." + std::to_string(100 + ch) + ":554";
    copy_text_field(rec.main_rtsp, (base + "/main").c_str());
    copy_text_field(rec.sub_rtsp, (base + "/sub").c_str());
    for (StreamPorts* ports : {&rec.main_ports, &rec.sub_ports}) *ports = {554, 10554 + ch, 0, 10080, 0};
    for (StreamAccount* account : {&rec.main_account, &rec.sub_account}) {
      copy_text_field(account->username, "admin");
      copy_text_field(account->password, "admin");
    }
    copy_text_field(rec.main_account.res_path, ("/ch" + std::to_string(ch + 1) + "/main").c_str());
    copy_text_field(rec.sub_account.res_path, ("/ch" + std::to_string(ch + 1) + "/sub").c_str());
  }
  const auto* address_bytes = reinterpret_cast<const unsigned char*>(addresses.data());
  r.fixed(kStreamAddresses.id, {address_bytes, address_bytes + addresses.size() * sizeof(StreamAddressRecord)});
  const ExternalPorts ports{10554, 0};
  const auto* port_bytes = reinterpret_cast<const unsigned char*>(&ports);
  r.fixed(kExternalPorts.id, {port_bytes, port_bytes + sizeof ports});

  r.answer(kMonthCalendar, [this](const SimRequest& q, SimAnswer& a) {
    CalendarRequest ask{};
    CalendarReply reply{};
    if (payload_as(q, &ask, true) && ask.month >= 1 && ask.month <= 12 && ask.year >= 1970 && ask.year < 2100) {
      for (int day = 1; day <= 31; ++day) {
        struct tm t{};
        t.tm_year = ask.year - 1900;
        t.tm_mon = ask.month - 1;
        t.tm_mday = day;
        t.tm_hour = 12;
        t.tm_isdst = -1;
        const time_t from = day_start(mktime(&t));
        if (t.tm_mon != ask.month - 1) break;  // past the month's last day
        for (int ch = 0; ch < kMaxChannels && reply.day[day - 1] == 0; ++ch) {
          if (ask.channel_mask[ch] == '1' && !find_recordings(ch, from, from + 86399).empty()) reply.day[day - 1] = 1;
        }
      }
    }
    a.record(reply);
  });
  r.answer(kMultiPlay, [this](const SimRequest& q, SimAnswer& a) {
    MultiPlayRequest ask{};
    MultiPlayReply reply{};
    reply.sid = -1;
    reply.failed = 1;
    if (payload_as(q, &ask, true)) {
      memcpy(reply.play_text, ask.play_text, sizeof reply.play_text);
      int channel = -1;
      for (int bit = 0; bit < 64 && channel < 0; ++bit) {
        if ((ask.mask[bit / 8] >> (bit % 8)) & 1) channel = bit;
      }
      if (channel >= 0) {
        std::lock_guard<std::mutex> lock(mutex_);
        reply.sid = new_session(channel);
        Session& session = *find(reply.sid);
        session.position = static_cast<double>(ask.play_time);
        session.playing = true;
        reply.failed = 0;
      }
    }
    a.record(reply, kMultiPlay.reply_id);
  });
  r.answer(kPlaybackBusy, [this](const SimRequest&, SimAnswer& a) {
    std::lock_guard<std::mutex> lock(mutex_);
    a.int32(download_ != nullptr ? 1 : 0);
  });

  // Session steering: notices without a reply.
  r.answer(kCloseSessions, [this](const SimRequest& q, SimAnswer&) {
    SessionList list{};
    if (!payload_as(q, &list, true)) return;
    std::lock_guard<std::mutex> lock(mutex_);
    for (int i = 0; i < std::clamp(list.count, 0, kMaxSessions); ++i) sessions_.erase(list.sid[i]);
  });
  r.answer(kSessionRelease, [this](const SimRequest& q, SimAnswer&) {
    int32_t sid = 0;
    if (payload_as(q, &sid, true)) with_session(sid, [](Session& s) { s.playing = false; });
  });
  const auto stop = [](Session& s, int32_t) { s.playing = false; };
  r.answer(kStopSessions, [this, stop](const SimRequest& q, SimAnswer&) { each_listed(q, true, stop); });
  r.answer(kPauseSessions, [this, stop](const SimRequest& q, SimAnswer&) { each_listed(q, true, stop); });
  r.answer(kSessionResume, [this](const SimRequest& q, SimAnswer&) {
    each_listed(q, false, [](Session& s, int32_t) { s.playing = true; });
  });
  r.answer(kStepSessions, [this](const SimRequest& q, SimAnswer&) {
    each_listed(q, true, [](Session& s, int32_t) {
      s.position += (s.direction == 0 ? 1.0 : -1.0) / kDownloadFps;
      s.playing = false;
    });
  });
  r.answer(kSessionSpeeds, [this](const SimRequest& q, SimAnswer&) {
    each_listed(q, true, [](Session& s, int32_t speed) { s.speed = speed; });
  });
  r.answer(kDirection, [this](const SimRequest& q, SimAnswer&) {
    DirectionRequest ask{};
    if (payload_as(q, &ask, true)) with_session(ask.sid, [&ask](Session& s) { s.direction = ask.direction; });
  });
  r.answer(kSpeedByChannel, [this](const SimRequest& q, SimAnswer&) { speed_by_mask(q, true); });
  r.answer(kSpeedBySession, [this](const SimRequest& q, SimAnswer&) { speed_by_mask(q, false); });
  r.notice(kLiveStart);
  r.notice(kLiveStop);

  // Record download.
  r.answer(kDownload, [this](const SimRequest& q, SimAnswer& a) { start_download(q, a); });
  r.answer(kDownloadEnd, [this](const SimRequest&, SimAnswer&) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (download_ != nullptr) {
      download_->stop_with.store(kChunkEnd);  // the file closes with what was sent
      download_.reset();
    }
    unlink(kDownloadMarker);
  });
}

bool PlaybackSim::control(const std::vector<std::string>& words, std::string* answer) {
  if (words.size() != 1 || (words[0] != "end-download" && words[0] != "abort-download")) return false;
  std::lock_guard<std::mutex> lock(mutex_);
  if (download_ == nullptr) {
    *answer = "no download";
  } else {
    download_->stop_with.store(words[0] == "end-download" ? kChunkEnd : kChunkAbort);
    *answer = "ok";
  }
  return true;
}

void PlaybackSim::end_download(const std::shared_ptr<Download>& d) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (download_ == d) {
    download_.reset();
    unlink(kDownloadMarker);
  }
}

// The picture of one frame, padded to the stream's frame size; empty when it cannot be made.
std::vector<uint8_t> frame_picture(int channel, int stream_type, time_t when, uint32_t index, uint32_t size) {
  int width = 0, height = 0;
  stream_size(stream_type, &width, &height);
  Picture picture(width, height);
  picture.draw(channel, stream_type, when, index);
  for (int quality = 80; quality >= 20; quality -= 20) {
    std::vector<uint8_t> jpeg = encode_jpeg(picture, quality);
    if (pad_jpeg(&jpeg, size)) return jpeg;
  }
  return {};
}

// One tick of the stream: sends the frames that are due, then schedules the next tick.
void PlaybackSim::stream_tick(const std::shared_ptr<Download>& d) {
  const int speed = env_int("ZVSIM_DOWNLOAD_SPEED", 8, 0, 10000);
  const auto chunk_limit = static_cast<uint32_t>(env_int("ZVSIM_CHUNK_BYTES", kChunkDataMax, 1, kChunkDataMax));
  const bool premade = env_int("ZVSIM_DOWNLOAD_PREMADE", 0, 0, 1) == 1;
  const auto total = static_cast<uint32_t>(d->frame_times.size());
  uint32_t due = total;
  if (speed > 0) {
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - d->started).count();
    due = std::min<uint32_t>(total, static_cast<uint32_t>(elapsed * kDownloadFps * speed) + 1);
  }
  ZvAviFrameHeader header{};
  header.magic = kZvAviFrameMagic;
  header.codec = kZvAviCodecMjpeg;
  stream_size(d->stream_type, &header.width, &header.height);
  header.frame_rate = kDownloadFps;
  header.key_frame = 1;
  header.channel = d->channel;
  header.stream_type = d->stream_type;
  header.stream_frames = total;
  header.stream_bytes = static_cast<uint64_t>(total) * d->frame_bytes;
  // At most a few frames per tick, so that an end or a stop is seen soon.
  for (int sent = 0; d->next < due && sent < 32 && d->stop_with.load() == 0; ++sent) {
    const uint32_t index = d->next++;
    if (premade && d->premade.empty()) {
      d->premade = frame_picture(d->channel, d->stream_type, d->frame_times[index], index, d->frame_bytes);
    }
    const std::vector<uint8_t> drawn =
        premade ? std::vector<uint8_t>()
                : frame_picture(d->channel, d->stream_type, d->frame_times[index], index, d->frame_bytes);
    const std::vector<uint8_t>& picture = premade ? d->premade : drawn;
    if (picture.empty()) {
      d->stop_with.store(kChunkAbort);
      break;
    }
    header.timestamp_us = static_cast<int64_t>(d->frame_times[index]) * 1000000 +
                          static_cast<int64_t>(index % kDownloadFps) * (1000000 / kDownloadFps);
    header.sequence = static_cast<int32_t>(index);
    header.size = static_cast<int32_t>(picture.size());
    uint8_t raw[sizeof header];
    memcpy(raw, &header, sizeof header);
    bool delivered = true;
    for (uint32_t offset = 0; offset < picture.size() && delivered; offset += chunk_limit) {
      const uint32_t n = std::min<uint32_t>(chunk_limit, static_cast<uint32_t>(picture.size()) - offset);
      delivered = send_chunk(*d, raw, offset == 0 ? kChunkFirst : 1, static_cast<int32_t>(n), picture.data() + offset, n);
    }
    if (!delivered) {  // the requester has gone: nobody is left to stream to
      end_download(d);
      return;
    }
  }
  const int32_t stop_with = d->stop_with.load();
  if (stop_with != 0 || d->next >= total) {
    send_chunk(*d, nullptr, 0, stop_with != 0 ? stop_with : kChunkEnd, nullptr, 0);
    end_download(d);
    return;
  }
  sim->after(speed == 0 ? 0 : kTickMs, [this, d] { stream_tick(d); });
}

void PlaybackSim::start_download(const SimRequest& request, SimAnswer& a) {
  DownloadRequest ask{};
  if (!payload_as(request, &ask, true)) return;
  auto d = std::make_shared<Download>();
  d->request = request;
  d->request.payload = nullptr;
  d->request.length = 0;
  d->channel = ask.channel;
  d->stream_type = ask.stream_type == 1 ? 1 : 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (download_ != nullptr) {  // one download at a time
      const std::vector<unsigned char> abort = chunk_bytes(nullptr, 0, kChunkAbort, nullptr, 0);
      a.bytes(abort.data(), abort.size());
      return;
    }
    download_ = d;
    FILE* marker = fopen(kDownloadMarker, "w");
    if (marker != nullptr) fclose(marker);
  }
  const time_t from = parse_time(ask.start);
  const time_t to = parse_time(ask.end);
  if (from >= 0 && to >= from) {
    // Frames of the recorded seconds [start, end) of every recording in the span.
    for (const Recording& rec : find_recordings(d->channel, from, to)) {
      const time_t stop = std::min(rec.end + 1, to);
      for (time_t second = rec.start; second < stop && d->frame_times.size() < 3600u * 24u * kDownloadFps; ++second) {
        d->frame_times.insert(d->frame_times.end(), kDownloadFps, second);
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
  sim->after(0, [this, d] { stream_tick(d); });
}

}  // namespace

std::unique_ptr<SimModule> make_playback_sim() { return std::make_unique<PlaybackSim>(); }
