// On-screen display and privacy masks: the recorder's OSD record and privacy masks of each
// channel, and the camera's own overlay texts and masks passed through the core.
#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>

#include "common/json_fields.h"
#include "common/partial_record.h"
#include "common/record_json.h"
#include "common/reply.h"
#include "common/reply_forms.h"
#include "handlers/video/event_actions.h"
#include "common/messages/video.h"
#include "platform/zvdb/video_tables.h"
#include "platform/zvdb/zvdb.h"
#include "common/request_table.h"

namespace {

constexpr size_t kCameraNameChars = 31;  // the camera-name request keeps 31 characters
constexpr int32_t kCanvasWidth = 460;    // the web page's mask canvas
constexpr int32_t kCanvasHeight = 260;

// The header members of a camera's masks in reply order; the areas follow.
constexpr auto kCameraMaskReply =
    ZV_FIELDS(CameraPrivacyMask, ZV_FIELD(id, "id"), ZV_FIELD(num, "num"),
              ZV_FIELD(max_ptz_zoom_ratio, "maxPtzZoomRatio"), ZV_FIELD(area_enable, "areaEnable"),
              ZV_FIELD(enable, "enable"), ZV_FIELD(sdkversion, "sdkversion"), ZV_FIELD(cgi_sdk_flag, "cgiSdkFlag"),
              ZV_FIELD(color_list, "colorList"), ZV_FIELD(mosaic_support, "mosaicSupport"),
              ZV_FIELD(mosaic_num, "mosaicNum"));

// The number of privacy-mask areas a request or a camera record describes (num + mosaicNum):
// each term clamped to 0..28, the sum capped at 28.
int privacy_mask_area_count(int32_t num, int32_t mosaic_num) {
  const int sum = std::clamp(num, 0, kCameraMaskAreas) + std::clamp(mosaic_num, 0, kCameraMaskAreas);
  return std::min(sum, kCameraMaskAreas);
}

// Reads {"<key>"} of a request as the int32 channel payload of a camera query.
bool channel_of(const char* argument, const char* key, int32_t* channel) {
  JsonPtr request = parse_request(argument);
  return request && read_json_members(request.get(), {int_member(key, channel).required()});
}

void write_camera_mask(JsonWriter& w, const CameraPrivacyMask& mask) {
  w.begin_object();
  write_fields(w, kCameraMaskReply.schema(), &mask);
  w.key("area").begin_array();
  const int count = privacy_mask_area_count(mask.num, mask.mosaic_num);
  for (int i = 0; i < count; ++i) {
    const CameraMaskArea& a = mask.areas[i];
    w.begin_object();
    w.key("area_id").value(a.area_id).key("enable").value(a.enable);
    w.key("start_x").value(a.start_x).key("start_y").value(a.start_y);
    w.key("area_width").value(a.area_width).key("area_height").value(a.area_height);
    w.key("width").value(kCanvasWidth).key("height").value(kCanvasHeight).key("fill_color").value(a.fill_color);
    w.key("left").value(a.start_x).key("top").value(a.start_y);
    w.key("right").value(a.area_width).key("bottom").value(a.area_height);
    w.key("ratio").value(a.ratio).key("name").field(a.name);
    w.end_object();
  }
  w.end_array().end_object();
}

}  // namespace

static void osd_read_handler(const char* argument) {
  if (argument == nullptr) return;
  const int channel = decimal_argument(argument);
  if (channel < 0 || channel >= kMaxChannels) return;
  OsdRecord osd{};
  kOsds.read(kZvdbPath, &osd, {channel});
  reply_record(osd);
}

static void osd_set_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  OsdRecord osd{};
  if (!request || !read_record(request.get(), &osd)) return;
  {
    SettingsWrite write;
    OsdRecord stored{};
    kOsds.read(kZvdbPath, &stored, {osd.cam_id});
    osd.reserved = stored.reserved;
    write.check(kOsds.write(kZvdbPath, &osd));
    if (!write.commit()) return (void)reply_cgi_error(REPLY_TEXT);
  }
  core_tell(kOsdChanged, OsdChange{osd.cam_id, 1, 0});
  reply_ok();
}

static void camera_name_set_handler(const char* argument) {
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
    SettingsWrite write;
    OsdRecord osd{};
    kOsds.read(kZvdbPath, &osd, {channel});
    osd.cam_id = channel;
    std::memset(osd.cam_name, 0, sizeof osd.cam_name);
    copy_text_field(osd.cam_name, name);
    write.check(kOsds.write(kZvdbPath, &osd));
    if (!write.commit()) return (void)reply_cgi_error(REPLY_TEXT);
  }
  reply_ok();
}

static void camera_osd_set_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  CameraOsd osd{};
  if (!request || !read_record(request.get(), &osd) ||
      !keep_camera_values(request.get(), kCameraOsdRead, osd.ch, &osd, REPLY_TEXT)) {
    return;
  }
  std::optional<CoreReply> reply = core_ask(kCameraOsdSet, osd, REPLY_TEXT);
  int32_t status = 0;
  if (!reply || !reply->first(&status)) return;
  reply_text(status == 0 ? "OK" : status == -1 ? "NO_SUPPORT" : "ERROR");
}

static void camera_osd_read_handler(const char* argument) {
  int32_t channel = 0;
  if (!channel_of(argument, "id", &channel)) return;
  std::optional<CoreReply> reply = core_ask(kCameraOsdRead, channel, REPLY_TEXT);
  auto osd = std::make_unique<CameraOsd>();
  if (!reply || !reply->first(osd.get())) return;
  // A negative channel: no camera connected.
  JsonWriter w(1024);
  w.begin_object();
  if (osd->ch >= 0) write_fields(w, *osd);
  w.key("disconnect").value(osd->ch >= 0 ? 1 : 0).end_object();
  reply_json(w);
}

static void privacy_masks_read_handler(const char* /*argument*/) {
  auto entries = std::make_unique<PrivacyMaskEntry[]>(kMaxChannels);
  int count = kMaxChannels;
  if (kPrivacyMasks.read_all(kZvdbPath, entries.get(), &count) != 0) count = 0;
  JsonWriter w;
  w.begin_array();
  for (int i = 0; i < count && i < kMaxChannels; ++i) write_object(w, entries[i]);
  w.end_array();
  reply_json(w);
}

static void privacy_masks_set_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  if (!request) return;
  int32_t count = 0;
  json_object* areas = nullptr;
  json_object* channels = nullptr;
  auto set = std::make_unique<PrivacyMaskSet>();
  *set = PrivacyMaskSet{};
  if (!read_json_members(request.get(), {
          int_member("cnt", &count).required(),
          array_member("area", &areas).required(),
          array_member("chnid", &channels).required(),
      }) ||
      !read_record(request.get(), set.get())) {
    return;
  }
  const int area_count = privacy_mask_area_count(set->num, set->mosaic_num);
  // An area object that does not read (a name that is not UTF-8, a number that does not fit)
  // refuses the set rather than sending that mask empty; other element types stay skipped.
  for (int i = 0; i < area_count; ++i) {
    json_object* area = json_array_at(areas, static_cast<size_t>(i));
    if (json_object_is_type(area, json_type_object) && !read_record(area, &set->areas[i])) return;
  }
  const ChannelMask64 targets = channel_list_to_mask(request.get(), "chnid", "cnt");
  for (int c = 0; c < kMaxChannels; ++c) set->targets[c] = targets.test(c) ? '1' : '0';
  core_tell(kMaskSet, *set);
  reply_ok();
}

static void camera_masks_read_handler(const char* argument) {
  int32_t channel = 0;
  if (!channel_of(argument, "id", &channel)) return;
  std::optional<CoreReply> reply = core_ask(kCameraMaskRead, channel, REPLY_TEXT);
  if (!reply) return;
  const PayloadReader payload = reply->reader();
  const size_t count = payload.record_count<CameraPrivacyMask>(64);
  auto mask = std::make_unique<CameraPrivacyMask>();
  JsonWriter w(4096);
  w.begin_array();
  for (size_t i = 0; i < count; ++i) {
    if (payload.record(i, mask.get())) write_camera_mask(w, *mask);
  }
  w.end_array();
  reply_json(w);
}

static void camera_mask_result_handler(const char* argument) {
  int32_t channel = 0;
  if (!channel_of(argument, "id", &channel)) return;
  reply_int_member("result", core_ask(kCameraMaskResult, channel, REPLY_TEXT));
}

static void mask_area_remove_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  MaskAreaRemoval removal{};
  if (!request || !read_record(request.get(), &removal)) return (void)reply_cgi_error(REPLY_JSON);
  core_tell(kMaskAreaRemove, removal);
  reply_ok();
}

static void camera_mask_remove_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  CameraMaskRemoval removal{};
  if (!request || !read_record(request.get(), &removal)) return;
  reply_int_member("res", core_ask(kCameraMaskRemove, removal, REPLY_JSON));
}

ZV_REQUESTS(kOsdRequests, "video",
    {"/6000", osd_read_handler},
    {"/6001", osd_set_handler},
    {"/6002", camera_name_set_handler},
    {"/6018", privacy_masks_read_handler},
    {"/6019", privacy_masks_set_handler},
    {"/6115", camera_masks_read_handler},
    {"/6116", camera_mask_result_handler},
    {"/6173", mask_area_remove_handler},
    {"/6198", camera_mask_remove_handler},
    {"/6996", camera_osd_set_handler},
    {"/6997", camera_osd_read_handler});
