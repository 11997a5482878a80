// Camera firmware upgrade of channels 0..7: check the image, start, report progress, stop. The
// web server stores an uploaded camera image in /dev/shm/updateIPCFM.bin; the core reads it there.
#include <algorithm>
#include <cinttypes>
#include <cstdio>

#include "common/json_fields.h"
#include "common/reply.h"
#include "handlers/camera/camera_apps.h"
#include "common/messages/camera_apps.h"
#include "common/request_table.h"

namespace {

constexpr size_t kProgressTextSize = 2048;

}  // namespace

static void firmware_check_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  char channels[kMaxChannels + 1];
  char resets[kMaxChannels + 1];
  FirmwareCheck check{};
  if (!request || !read_json_members(request.get(), {
                                                        text_member("chnMask", channels),
                                                        text_member("resetMask", resets),
                                                        int_member("fileSize", &check.file_size),
                                                    })) {
    return (void)reply_cgi_error(REPLY_JSON);
  }
  check.channels = mask_of_text(channels, kFirmwareChannels);
  check.keep = ~mask_of_text(resets, kFirmwareChannels);
  reply_core_res(core_ask(kFirmwareCheck, check, REPLY_JSON));
}

static void firmware_start_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  json_object* list = nullptr;
  int32_t reset = 0;
  FirmwareStart start{};
  if (!request || !read_json_members(request.get(), {
                                                        array_member("chnAry", &list),
                                                        int_member("reset", &reset),
                                                        text_member("url", start.url).max_chars(127).whole(),
                                                    })) {
    return (void)reply_cgi_error(REPLY_JSON);
  }
  int32_t channels[kMaxChannels];
  const size_t n = read_int_list(list, kMaxChannels, channels, kMaxChannels);
  for (size_t i = 0; i < n; ++i) start.channels |= channel_bit64(channels[i]);  // outside 0..63: nothing
  start.reset = reset;
  copy_text_field(start.path, kCameraImagePath);
  const std::optional<CoreReply> reply = core_ask(kFirmwareStart, start, REPLY_JSON);
  FirmwareProgress progress{};
  if (!reply) return;
  if (!reply->first(&progress)) return (void)reply_cgi_error(REPLY_JSON);
  char mask[kFirmwareChannels + 1];
  mask_text(progress.channels, kFirmwareChannels, mask);  // channels 0..7
  JsonWriter w(512);
  w.begin_object().key("chnid").value(static_cast<int32_t>(static_cast<uint32_t>(progress.channels)));
  w.key("status").begin_array();
  for (int c = 0; c < kFirmwareChannels; ++c) {
    if (mask[c] == '1') w.value(progress.status[c]);
  }
  w.end_array().key("chnMask").value(mask).end_object();
  reply_json(w);
}

static void firmware_progress_handler(const char* /*argument*/) {
  const std::optional<CoreReply> reply = core_ask(kFirmwareProgress, REPLY_JSON);
  FirmwareProgress progress{};
  if (!reply) return;
  if (!reply->first(&progress)) return (void)reply_cgi_error(REPLY_TEXT);
  char mask[kFirmwareChannels + 1];
  mask_text(progress.channels, kFirmwareChannels, mask);  // channels 0..7
  char text[kProgressTextSize];
  size_t used = 0;
  const auto append = [&](int written) {
    if (written > 0) used = std::min(used + static_cast<size_t>(written), sizeof text - 1);
  };
  append(std::snprintf(text, sizeof text, "chnid=%" PRId64 "\r\n", static_cast<int64_t>(progress.channels)));
  for (int c = 0; c < kFirmwareChannels; ++c) {
    if (mask[c] == '1') {
      append(std::snprintf(text + used, sizeof text - used, "status%d=%d\r\n", c, static_cast<int>(progress.status[c])));
    }
  }
  append(std::snprintf(text + used, sizeof text - used, "chnMask=%s\r\n", mask));
  write_reply(REPLY_TEXT, text);
}

static void firmware_stop_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  int32_t stop = 0;
  if (!request || !read_json_members(request.get(), {int_member("stop", &stop).required()})) return;
  core_tell(kFirmwareStop, stop);
}

ZV_REQUESTS(kCameraFirmwareRequests, "camera",
    {"/2078", firmware_check_handler},
    {"/2079", firmware_progress_handler},
    {"/2080", firmware_start_handler},
    {"/2081", firmware_stop_handler});
