// Playback image adjustments of a channel: read them from the core, set them, reset them.
#include "common/core_client.h"
#include "common/json_fields.h"
#include "common/oplog.h"
#include "common/reply.h"
#include "handlers/playback/playback_internal.h"
#include "handlers/playback/playback_module.h"

using namespace playback;

namespace {

constexpr int32_t kImageDefault = 128;

// v as a percentage of 255, rounded half up (floor((200 v + 255) / 510)), in 64 bits so that no
// client value can overflow.
int32_t percent_of_255(int32_t value) {
  const int64_t numerator = int64_t{value} * 200 + 255;
  int64_t quotient = numerator / 510;
  if (numerator % 510 != 0 && numerator < 0) --quotient;  // floor for negative values
  return static_cast<int32_t>(quotient);
}

}  // namespace

void image_read_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  if (request == nullptr) return;
  int32_t channel = 0;
  if (!read_json_members(request.get(),
                         {int_member("chnid", &channel).required().range(0, kPlaybackChannels - 1)})) {
    return;
  }
  core_request(playback_reply_callback, kMsgImageRead, sizeof channel, &channel, REPLY_JSON);
}

void playback::on_image_reply(const PayloadReader& reply) {
  ImageAdjustReply image{};
  if (!reply.read(0, &image)) return;
  JsonPtr out(json_object_new_object());
  if (image.result < 0) {
    add_text(out.get(), "status", "ERROR");
  } else {
    add_text(out.get(), "status", "OK");
    add_int(out.get(), "brightness", image.brightness);
    add_int(out.get(), "contrast", image.contrast);
    add_int(out.get(), "saturation", image.saturation);
    add_int(out.get(), "Sharpness", image.sharpness);
    add_int(out.get(), "NoiseReduction", image.noise_reduction);
    add_int(out.get(), "i2ddnr", image.i2ddnr);
  }
  claim_and_write_json(out.get());
  reply_flag_set(1);
}

void image_adjust_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  if (request == nullptr) return;
  ImageAdjustment image{};
  if (!read_json_members(request.get(), {
          int_member("id", &image.channel).required().range(0, kPlaybackChannels - 1),
          int_member("brightness", &image.brightness).required().range(0, 255),
          int_member("contrast", &image.contrast).required().range(0, 255),
          int_member("saturation", &image.saturation).required().range(0, 255),
          int_member("Sharpness", &image.sharpness),
          int_member("NoiseReduction", &image.noise_reduction),
          int_member("i2ddnr", &image.i2ddnr),
      })) {
    return;
  }
  core_notify(kMsgImageAdjust, sizeof image, &image);

  OpLogRecord record;
  op_log_init(&record);
  record.sub_type = 217;
  record.param_type = 900;
  record.channel = image.channel + 1;
  const ImageAdjustDetail detail{
      percent_of_255(image.brightness), percent_of_255(image.contrast),
      percent_of_255(image.saturation), percent_of_255(image.sharpness),
      percent_of_255(image.noise_reduction),
  };
  zvfs_log_pack_detail(&record, kImageAdjustDetailKind, &detail, sizeof detail);
  op_log_send(record);
  write_reply(REPLY_TEXT, "OK");
}

void image_reset_handler(const char* argument) {
  int32_t channel = 0;
  if (!parse_playback_channel(argument, &channel)) return;
  const ImageAdjustment image{channel,       kImageDefault, kImageDefault, kImageDefault,
                              kImageDefault, kImageDefault, 0};
  core_notify(kMsgImageAdjust, sizeof image, &image);
  JsonPtr out(json_object_new_object());
  add_int(out.get(), "ChannelId", channel);
  add_int(out.get(), "Brightness", kImageDefault);
  add_int(out.get(), "Contrast", kImageDefault);
  add_int(out.get(), "Saturation", kImageDefault);
  add_int(out.get(), "Sharpness", kImageDefault);
  add_int(out.get(), "NoiseReduction", kImageDefault);
  write_json_reply(out.get());
}
