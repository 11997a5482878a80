// Playback image adjustments of a channel: read them from the core, set them, reset them.
#include "common/json_fields.h"
#include "common/oplog.h"
#include "common/record_json.h"
#include "common/reply.h"
#include "common/request.h"
#include "handlers/playback/playback_internal.h"
#include "common/request_table.h"

using namespace playback;

namespace {

constexpr int32_t kImageDefault = 128;

// The read reply's members after "status", and the reset reply's.
constexpr auto kReadReply = ZV_FIELDS(ImageAdjustment, ZV_SCHEMA_FIELD(brightness), ZV_SCHEMA_FIELD(contrast),
                                      ZV_SCHEMA_FIELD(saturation), ZV_SCHEMA_FIELD(sharpness),
                                      ZV_SCHEMA_FIELD(noise_reduction), ZV_SCHEMA_FIELD(i2ddnr));
constexpr auto kResetReply = ZV_FIELDS(ImageAdjustment, ZV_FIELD(channel, "ChannelId"),
                                       ZV_FIELD(brightness, "Brightness"), ZV_FIELD(contrast, "Contrast"),
                                       ZV_FIELD(saturation, "Saturation"), ZV_FIELD(sharpness, "Sharpness"),
                                       ZV_FIELD(noise_reduction, "NoiseReduction"));

// v as a percentage of 255, rounded half up (floor((200 v + 255) / 510)), in 64 bits so that no
// client value can overflow.
int32_t percent_of_255(int32_t value) {
  const int64_t numerator = int64_t{value} * 200 + 255;
  int64_t quotient = numerator / 510;
  if (numerator % 510 != 0 && numerator < 0) --quotient;  // floor for negative values
  return static_cast<int32_t>(quotient);
}

}  // namespace

static void image_read_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  int32_t channel = 0;
  if (!request || !read_json_members(request.get(), {
          int_member("chnid", &channel).required().range(0, kPlaybackChannels - 1)})) {
    return;
  }
  std::optional<CoreReply> reply = core_ask(kImageRead, channel, REPLY_JSON);
  if (!reply) return;
  ImageAdjustReply image{};
  reply->first(&image);
  JsonWriter w(256);
  w.begin_object().key("status").value(image.result < 0 ? "ERROR" : "OK");
  if (image.result >= 0) write_fields(w, kReadReply.schema(), &image.image);
  w.end_object();
  reply_json(w);
}

static void image_adjust_handler(const char* argument) {
  ImageAdjustment image{};
  if (!read_request(argument, &image)) return;
  core_tell(kImageAdjust, image);

  OpLogRecord record = playback_log(217, image.channel + 1);
  const ImageAdjustDetail detail{
      percent_of_255(image.brightness), percent_of_255(image.contrast),
      percent_of_255(image.saturation), percent_of_255(image.sharpness),
      percent_of_255(image.noise_reduction),
  };
  zvfs_log_pack_detail(&record, kImageAdjustDetailKind, &detail, sizeof detail);
  op_log_send(record);
  reply_ok();
}

static void image_reset_handler(const char* argument) {
  int32_t channel = 0;
  if (!parse_playback_channel(argument, &channel)) return;
  const ImageAdjustment image{channel,       kImageDefault, kImageDefault, kImageDefault,
                              kImageDefault, kImageDefault, 0};
  core_tell(kImageAdjust, image);
  reply_record(kResetReply.schema(), &image);
}

ZV_REQUESTS(kImageRequests, "playback",
    {"/3000", image_read_handler},
    {"/3001", image_adjust_handler},
    {"/3002", image_reset_handler});
