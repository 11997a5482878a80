#include "handlers/video/video_replies.h"

#include <json-c/json.h>

#include <iterator>

#include "common/core_client.h"
#include "common/json_fields.h"
#include "common/reply.h"
#include "handlers/video/video_common.h"
#include "handlers/video/video_messages.h"

namespace {

constexpr int32_t kCanvasWidth = 460;   // the web page's mask canvas
constexpr int32_t kCanvasHeight = 260;

// Writes the reply when no other writer claimed it, then tells the waiting handler.
void finish(int kind, const char* text) {
  if (reply_claim()) write_reply(kind, text);
  reply_flag_set(1);
}

void finish_json(json_object* object) { finish(REPLY_JSON, json_object_to_json_string(object)); }

void add_int(json_object* o, const char* key, int32_t value) {
  json_object_object_add(o, key, json_object_new_int(value));
}

// 8206: the first CameraMotionMap.
void print_camera_grid(const PayloadReader& payload) {
  CameraMotionMap map;
  if (!payload.record(0, &map)) return;
  JsonPtr reply(json_object_new_object());
  json_object* o = reply.get();
  json_object_object_add(o, "map", json_text_field(map.map));
  add_int(o, "sensitivity", map.sensitivity);
  add_int(o, "result", map.result);
  add_int(o, "enable", map.enable);
  add_int(o, "modelType", map.model_type);
  add_int(o, "fishdisplay", map.fishdisplay);
  add_int(o, "fishtransfer", map.fishtransfer);
  add_int(o, "fishinstall", map.fishinstall);
  finish_json(o);
}

// 8210: the camera's answer to an overlay-text set.
void print_camera_osd_status(const PayloadReader& payload) {
  int32_t status = 0;
  if (!payload.read(0, &status)) return;
  finish(REPLY_TEXT, status == 0 ? "OK" : status == -1 ? "NO_SUPPORT" : "ERROR");
}

// 8211: the first CameraOsd; a negative ch means the camera is not connected.
void print_camera_osd(const PayloadReader& payload) {
  CameraOsd osd;
  if (!payload.record(0, &osd)) return;
  JsonPtr reply(json_object_new_object());
  json_object* o = reply.get();
  if (osd.ch >= 0) {
    add_int(o, "enable_text", osd.enable_text);
    json_object_object_add(o, "text_name", json_text_field(osd.text_name));
    add_int(o, "textpos", osd.textpos);
    add_int(o, "enable_date", osd.enable_date);
    add_int(o, "datepos", osd.datepos);
    add_int(o, "dateformat", osd.dateformat);
    add_int(o, "enable_text_sub", osd.enable_text_sub);
    json_object_object_add(o, "text_name_sub", json_text_field(osd.text_name_sub));
    add_int(o, "textpos_sub", osd.textpos_sub);
    add_int(o, "enable_date_sub", osd.enable_date_sub);
    add_int(o, "datepos_sub", osd.datepos_sub);
    add_int(o, "dateformat_sub", osd.dateformat_sub);
    add_int(o, "disconnect", 1);
  } else {
    add_int(o, "disconnect", 0);
  }
  finish_json(o);
}

json_object* camera_mask_json(const CameraPrivacyMask& mask) {
  json_object* o = json_object_new_object();
  add_int(o, "id", mask.id);
  add_int(o, "num", mask.num);
  add_int(o, "maxPtzZoomRatio", mask.max_ptz_zoom_ratio);
  add_int(o, "areaEnable", mask.area_enable);
  add_int(o, "enable", mask.enable);
  json_object_object_add(o, "sdkversion", json_text_field(mask.sdkversion));
  add_int(o, "cgiSdkFlag", mask.cgi_sdk_flag);
  json_object_object_add(o, "colorList", json_text_field(mask.color_list));
  add_int(o, "mosaicSupport", mask.mosaic_support);
  add_int(o, "mosaicNum", mask.mosaic_num);
  json_object* areas = json_object_new_array();
  const int count = privacy_mask_area_count(mask.num, mask.mosaic_num);
  for (int i = 0; i < count; ++i) {
    const CameraMaskArea& a = mask.areas[i];
    json_object* area = json_object_new_object();
    add_int(area, "area_id", a.area_id);
    add_int(area, "enable", a.enable);
    add_int(area, "start_x", a.start_x);
    add_int(area, "start_y", a.start_y);
    add_int(area, "area_width", a.area_width);
    add_int(area, "area_height", a.area_height);
    add_int(area, "width", kCanvasWidth);
    add_int(area, "height", kCanvasHeight);
    add_int(area, "fill_color", a.fill_color);
    add_int(area, "left", a.start_x);
    add_int(area, "top", a.start_y);
    add_int(area, "right", a.area_width);
    add_int(area, "bottom", a.area_height);
    add_int(area, "ratio", a.ratio);
    json_object_object_add(area, "name", json_text_field(a.name));
    json_object_array_add(areas, area);
  }
  json_object_object_add(o, "area", areas);
  return o;
}

// 7502: every CameraPrivacyMask record (at most 64).
void print_camera_masks(const PayloadReader& payload) {
  const size_t count = payload.record_count<CameraPrivacyMask>(64);
  if (count == 0) return;
  JsonPtr reply(json_object_new_array());
  for (size_t i = 0; i < count; ++i) {
    auto mask = std::make_unique<CameraPrivacyMask>();
    if (payload.record(i, mask.get())) json_object_array_add(reply.get(), camera_mask_json(*mask));
  }
  finish_json(reply.get());
}

// A one-int32 reply printed as {"<key>": value}.
template <const char* Key>
void print_int_member(const PayloadReader& payload) {
  int32_t value = 0;
  if (!payload.read(0, &value)) return;
  JsonPtr reply(json_object_new_object());
  add_int(reply.get(), Key, value);
  finish_json(reply.get());
}

constexpr char kResultKey[] = "result";
constexpr char kResKey[] = "res";

constexpr ReplyPrinter kPrinters[] = {
    {kReplyCameraGrid, print_camera_grid},
    {kReplyCameraOsdSet, print_camera_osd_status},
    {kReplyCameraOsd, print_camera_osd},
    {kReplyCameraMask, print_camera_masks},
    {kReplyCameraMaskResult, print_int_member<kResultKey>},
    {kReplyCameraMaskRemove, print_int_member<kResKey>},
};

}  // namespace

std::span<const ReplyPrinter> video_reply_printers() { return kPrinters; }

void print_status_ok_failed(const PayloadReader& payload) {
  int32_t status = 0;
  if (!payload.read(0, &status)) return;
  finish(REPLY_TEXT, status == 0 ? "OK" : "FAILED");
}
