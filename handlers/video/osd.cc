// On-screen display and privacy masks: the recorder's OSD record and privacy masks of each
// channel, and the camera's own overlay texts and masks passed through the core.
#include <algorithm>
#include <cstring>
#include <memory>

#include "common/core_client.h"
#include "common/json_fields.h"
#include "common/record_json.h"
#include "common/request.h"
#include "common/reply.h"
#include "common/web_utils.h"
#include "handlers/video/video_common.h"
#include "handlers/video/video_messages.h"
#include "handlers/video/video_module.h"
#include "platform/zvdb/video_tables.h"
#include "platform/zvdb/zvdb.h"

namespace {

constexpr size_t kCameraNameChars = 31;  // the camera-name request keeps 31 characters

// Reads {"<key>"} of a request as the int32 channel payload of a camera query.
bool channel_of(const char* argument, const char* key, int32_t* channel) {
  JsonPtr request = parse_request(argument);
  return request && read_json_members(request.get(), {int_member(key, channel).required()});
}

}  // namespace

void osd_read_handler(const char* argument) {
  if (argument == nullptr) return;
  const int channel = decimal_argument(argument);
  if (channel < 0 || channel >= kMaxChannels) return;
  OsdRecord osd{};
  read_osd(kZvdbPath, &osd, channel);
  JsonWriter reply(512);
  write_object(reply, osd);
  reply_json(reply);
}

void osd_set_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  OsdRecord osd{};
  if (!request || !read_record(request.get(), &osd)) return;
  {
    SettingsWrite write;
    OsdRecord stored{};
    read_osd(kZvdbPath, &stored, osd.cam_id);
    osd.reserved = stored.reserved;
    write.check(write_osd(kZvdbPath, &osd));
    if (!write.commit()) return (void)reply_cgi_error(REPLY_TEXT);
  }
  const int32_t notice[3] = {osd.cam_id, 1, 0};
  notify_core(kMsgOsdChanged, notice);
  reply_ok();
}

void camera_name_set_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  if (!request) return;
  int32_t channel = -1;
  char name[kOsdNameSize];
  if (!read_json_members(request.get(), {
          int_member("camId", &channel).required().range(0, 63),
          text_member("camName", name).required().max_chars(kCameraNameChars),
      })) {
    return;
  }
  {
    LockFile lock;
    OsdRecord osd{};
    read_osd(kZvdbPath, &osd, channel);
    osd.cam_id = channel;
    std::memset(osd.cam_name, 0, sizeof osd.cam_name);
    copy_text_field(osd.cam_name, name);
    write_osd(kZvdbPath, &osd);
  }
  reply_ok();
}

void camera_osd_set_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  if (!request) return;
  CameraOsd osd{};
  if (!read_json_members(request.get(), {
          int_member("ch", &osd.ch).required(),
          int_member("enable_text", &osd.enable_text).required(),
          text_member("text_name", osd.text_name).required(),
          int_member("textpos", &osd.textpos).required(),
          int_member("enable_date", &osd.enable_date).required(),
          int_member("datepos", &osd.datepos).required(),
          int_member("dateformat", &osd.dateformat).required(),
          int_member("enable_text_sub", &osd.enable_text_sub),
          text_member("text_name_sub", osd.text_name_sub).absent_text(""),
          int_member("textpos_sub", &osd.textpos_sub),
          int_member("enable_date_sub", &osd.enable_date_sub),
          int_member("datepos_sub", &osd.datepos_sub),
          int_member("dateformat_sub", &osd.dateformat_sub),
          int_member("type", &osd.type),
      })) {
    return;
  }
  core_request(event_reply_callback, kMsgCameraOsdSet, sizeof osd, &osd, REPLY_TEXT);
}

void camera_osd_read_handler(const char* argument) {
  int32_t channel = 0;
  if (!channel_of(argument, "id", &channel)) return;
  core_request(event_reply_callback, kMsgCameraOsdRead, sizeof channel, &channel, REPLY_TEXT);
}

void privacy_masks_read_handler(const char* /*argument*/) {
  auto entries = std::make_unique<PrivacyMaskEntry[]>(kMaxChannels);
  int count = kMaxChannels;
  if (read_privacy_masks(kZvdbPath, entries.get(), &count) != 0) count = 0;
  JsonPtr reply(json_object_new_array());
  for (int i = 0; i < count && i < kMaxChannels; ++i) {
    const PrivacyMaskEntry& entry = entries[i];
    json_object* channel = json_object_new_object();
    json_object_object_add(channel, "id", json_object_new_int(entry.id));
    json_object* areas = json_object_new_array();
    for (const PrivacyMaskArea& a : entry.areas) {
      json_object* area = json_object_new_object();
      json_object_object_add(area, "area_id", json_object_new_int(a.area_id));
      json_object_object_add(area, "enable", json_object_new_int(a.enable));
      json_object_object_add(area, "start_x", json_object_new_int(a.start_x));
      json_object_object_add(area, "start_y", json_object_new_int(a.start_y));
      json_object_object_add(area, "area_width", json_object_new_int(a.area_width));
      json_object_object_add(area, "area_height", json_object_new_int(a.area_height));
      json_object_object_add(area, "width", json_object_new_int(a.width));
      json_object_object_add(area, "height", json_object_new_int(a.height));
      json_object_object_add(area, "fill_color", json_object_new_int(a.fill_color));
      json_object_array_add(areas, area);
    }
    json_object_object_add(channel, "area", areas);
    json_object_array_add(reply.get(), channel);
  }
  reply_json(reply.get());
}

void privacy_masks_set_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  if (!request) return;
  auto set = std::make_unique<PrivacyMaskSet>();
  *set = PrivacyMaskSet{};
  int32_t count = 0;
  json_object* areas = nullptr;
  json_object* channels = nullptr;
  if (!read_json_members(request.get(), {
          int_member("cnt", &count).required(),
          array_member("area", &areas).required(),
          array_member("chnid", &channels).required(),
          int_member("enable", &set->enable),
          int_member("cgiSdkFlag", &set->cgi_sdk_flag),
          int_member("num", &set->num),
          int_member("areaMaskEnable", &set->area_mask_enable),
          int_member("mosaicSupport", &set->mosaic_support),
          int_member("mosaicNum", &set->mosaic_num),
          int64_member("delMask", &set->del_mask),
      })) {
    return;
  }
  const int area_count = privacy_mask_area_count(set->num, set->mosaic_num);
  for (int i = 0; i < area_count; ++i) {
    json_object* element = json_array_at(areas, static_cast<size_t>(i));
    if (element == nullptr || !json_object_is_type(element, json_type_object)) continue;
    CameraMaskArea& a = set->areas[i];
    read_json_members(element, {
        int_member("area_id", &a.area_id),
        int_member("enable", &a.enable),
        int_member("start_x", &a.start_x),
        int_member("start_y", &a.start_y),
        int_member("area_width", &a.area_width),
        int_member("area_height", &a.area_height),
        int_member("fill_color", &a.fill_color),
        int_member("ratio", &a.ratio),
        text_member("name", a.name),
    });
  }
  std::memset(set->targets, '0', sizeof set->targets);
  const size_t listed = std::min(static_cast<size_t>(std::max(count, 0)), json_array_size(channels));
  for (size_t i = 0; i < listed; ++i) {
    int32_t channel = -1;
    if (json_value_int(json_array_at(channels, i), &channel) && channel >= 0 && channel < kMaxChannels) {
      set->targets[channel] = '1';
    }
  }
  notify_core(kMsgMaskSet, *set);
  reply_ok();
}

void camera_masks_read_handler(const char* argument) {
  int32_t channel = 0;
  if (!channel_of(argument, "id", &channel)) return;
  core_request(event_reply_callback, kMsgCameraMaskRead, sizeof channel, &channel, REPLY_TEXT);
}

void camera_mask_result_handler(const char* argument) {
  int32_t channel = 0;
  if (!channel_of(argument, "id", &channel)) return;
  core_request(event_reply_callback, kMsgCameraMaskResult, sizeof channel, &channel, REPLY_TEXT);
}

void mask_area_remove_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  int32_t payload[2] = {-1, -1};
  if (!request || !read_json_members(request.get(), {
                      int_member("chan_id", &payload[0]).required().range(0, 63),
                      int_member("area_id", &payload[1]).required().range(0, 24),
                  })) {
    reply_cgi_error(REPLY_JSON);
    return;
  }
  notify_core(kMsgMaskAreaRemove, payload);
  reply_ok();
}

void camera_mask_remove_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  int32_t payload[2] = {0, 0};
  if (!request || !read_json_members(request.get(), {
                      int_member("chnid", &payload[0]).required(),
                      int_member("maskid", &payload[1]).required(),
                  })) {
    return;
  }
  core_request(event_reply_callback, kMsgCameraMaskRemove, sizeof payload, payload, REPLY_JSON);
}
