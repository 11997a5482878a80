// Messages that the event and video handlers exchange with the core: the fixed little-endian
// payload records with their schemas (layout checked when compiling, JSON keys where a handler
// reads or prints them), and every message declared once. Same bytes on the 32-bit device and on
// the development host.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/exchange.h"
#include "platform/zvdb/records/channel_mask.h"
#include "platform/zvrecord/schema.h"

// ---- Motion ----
constexpr int kCameraGridSize = 300;

// A camera's own motion grid (reply 8206, payload of 3207).
struct CameraMotionMap {
  int32_t enable;
  char map[kCameraGridSize];
  int32_t sensitivity;
  int32_t channel;
  int32_t result;
  int32_t model_type;
  int32_t fishdisplay;
  int32_t fishtransfer;
  int32_t fishinstall;
};
ZV_SCHEMA(CameraMotionMap, ZV_FIELD(enable, "enable"), ZV_FIELD(map, "map"),
          ZV_FIELD(sensitivity, "sensitivity"), ZV_INTERNAL(channel), ZV_FIELD(result, "result"),
          ZV_FIELD(model_type, "modelType"), ZV_FIELD(fishdisplay, "fishdisplay"),
          ZV_FIELD(fishtransfer, "fishtransfer"), ZV_FIELD(fishinstall, "fishinstall"));
static_assert(sizeof(CameraMotionMap) == 332);

// Grid and sensitivity of one channel sent to the cameras of the copy set (3251). Its JSON form
// is the motion settings set ("/6112"): the channel required, the rest optional.
struct MotionCopyRequest {
  char motion_table[kCameraGridSize];
  int32_t sensitivity;
  int32_t channel;      // the source channel
  int32_t enable_zv;
  int32_t targets[64];  // the copy set, ascending
  int32_t target_count;
};
ZV_SCHEMA(MotionCopyRequest, ZV_FIELD(motion_table, "motionTable"), ZV_FIELD(sensitivity, "sensitivity"),
          ZV_FIELD(channel, "chnid").required().range(0, 63), ZV_FIELD(enable_zv, "enableZV"),
          ZV_INTERNAL(targets), ZV_INTERNAL(target_count));
static_assert(sizeof(MotionCopyRequest) == 572);

// Camera-side motion mode (3212).
struct CameraMotionMode {
  int32_t channel;
  int32_t enable_zv;     // 1 when the camera runs its own motion detection
  int32_t channels[64];  // the copy targets, ascending (empty for the older requests)
  int32_t count;
};
ZV_SCHEMA(CameraMotionMode, ZV_INTERNAL(channel), ZV_INTERNAL(enable_zv), ZV_INTERNAL(channels),
          ZV_INTERNAL(count));
static_assert(sizeof(CameraMotionMode) == 268);

// The all-day motion plan sent to a camera that runs its own detection (3209, 3252).
struct MotionPlanRange {
  int32_t start_hour;
  int32_t start_minute;
  int32_t end_hour;
  int32_t end_minute;
};
struct MotionPlanDay {
  int32_t day;     // 0..6
  int32_t enable;  // 1
  MotionPlanRange ranges[8];
};
struct DefaultMotionPlan {
  int32_t channel;
  char reserved0[64];
  MotionPlanDay days[7];
  char reserved1[196];
};
ZV_SCHEMA(MotionPlanRange, ZV_INTERNAL(start_hour), ZV_INTERNAL(start_minute), ZV_INTERNAL(end_hour),
          ZV_INTERNAL(end_minute));
ZV_SCHEMA(MotionPlanDay, ZV_INTERNAL(day), ZV_INTERNAL(enable), ZV_RECORDS(ranges, nullptr));
ZV_SCHEMA(DefaultMotionPlan, ZV_INTERNAL(channel), ZV_RESERVED(reserved0), ZV_RECORDS(days, nullptr),
          ZV_RESERVED(reserved1));
static_assert(sizeof(MotionPlanDay) == 136);
static_assert(sizeof(DefaultMotionPlan) == 1216);

// ---- OSD and privacy masks ----
constexpr int kCameraOsdTextSize = 256;

// The recorder-side OSD change notice (1007): {channel, 1, 0}.
struct OsdChange {
  int32_t channel;
  int32_t changed;  // always 1
  int32_t spare;    // always 0
};
ZV_SCHEMA(OsdChange, ZV_INTERNAL(channel), ZV_INTERNAL(changed), ZV_RESERVED(spare));

// The camera's own overlay texts (payload of 3210, records of reply 8211). Read from the overlay
// set ("ch" and "type" only read), printed by the overlay read.
struct CameraOsd {
  int32_t ch;
  int32_t enable_text;
  char text_name[kCameraOsdTextSize];
  int32_t textpos;
  int32_t enable_date;
  int32_t datepos;
  int32_t dateformat;
  int32_t enable_text_sub;
  char text_name_sub[kCameraOsdTextSize];
  int32_t textpos_sub;
  int32_t enable_date_sub;
  int32_t datepos_sub;
  int32_t dateformat_sub;
  char reserved[276];
  int32_t type;
};
ZV_SCHEMA(CameraOsd, ZV_FIELD(ch, "ch").required().in_only(),
          ZV_FIELD(enable_text, "enable_text").required(), ZV_FIELD(text_name, "text_name").required(),
          ZV_FIELD(textpos, "textpos").required(), ZV_FIELD(enable_date, "enable_date").required(),
          ZV_FIELD(datepos, "datepos").required(), ZV_FIELD(dateformat, "dateformat").required(),
          ZV_FIELD(enable_text_sub, "enable_text_sub"), ZV_FIELD(text_name_sub, "text_name_sub").absent(""),
          ZV_FIELD(textpos_sub, "textpos_sub"), ZV_FIELD(enable_date_sub, "enable_date_sub"),
          ZV_FIELD(datepos_sub, "datepos_sub"), ZV_FIELD(dateformat_sub, "dateformat_sub"),
          ZV_RESERVED(reserved), ZV_FIELD(type, "type").in_only());
static_assert(sizeof(CameraOsd) == 836);

constexpr int kCameraMaskAreas = 28;
constexpr int kCameraMaskNameSize = 64;

struct CameraMaskArea {
  int32_t area_id;
  int32_t enable;
  int32_t start_x;
  int32_t start_y;
  int32_t area_width;
  int32_t area_height;
  int32_t fill_color;
  int32_t ratio;
  char name[kCameraMaskNameSize];
};
ZV_SCHEMA(CameraMaskArea, ZV_FIELD(area_id, "area_id"), ZV_FIELD(enable, "enable"),
          ZV_FIELD(start_x, "start_x"), ZV_FIELD(start_y, "start_y"), ZV_FIELD(area_width, "area_width"),
          ZV_FIELD(area_height, "area_height"), ZV_FIELD(fill_color, "fill_color"),
          ZV_FIELD(ratio, "ratio"), ZV_FIELD(name, "name").absent(""));  // a mask without a name has none
static_assert(sizeof(CameraMaskArea) == 96);

// The camera's privacy masks (records of reply 7502).
struct CameraPrivacyMask {
  int32_t id;
  int32_t enable;
  int32_t num;
  int32_t cgi_sdk_flag;
  char sdkversion[32];
  int32_t max_ptz_zoom_ratio;
  int32_t area_enable;
  char color_list[64];
  CameraMaskArea areas[kCameraMaskAreas];
  int32_t mosaic_support;
  int32_t mosaic_num;
  char reserved[8];
};
ZV_SCHEMA(CameraPrivacyMask, ZV_FIELD(id, "id"), ZV_FIELD(enable, "enable"), ZV_FIELD(num, "num"),
          ZV_FIELD(cgi_sdk_flag, "cgiSdkFlag"), ZV_FIELD(sdkversion, "sdkversion"),
          ZV_FIELD(max_ptz_zoom_ratio, "maxPtzZoomRatio"), ZV_FIELD(area_enable, "areaEnable"),
          ZV_FIELD(color_list, "colorList"), ZV_RECORDS(areas, nullptr),
          ZV_FIELD(mosaic_support, "mosaicSupport"), ZV_FIELD(mosaic_num, "mosaicNum"),
          ZV_RESERVED(reserved));
static_assert(sizeof(CameraPrivacyMask) == 2824);

// Privacy masks sent to the cameras of the listed channels (2509). The request's members are
// optional; its areas and channel list are read by the handler.
struct PrivacyMaskSet {
  char targets[64];  // character n is '1' when channel n receives the masks, else '0'
  char reserved0[12];
  int32_t enable;
  int32_t num;
  int32_t cgi_sdk_flag;
  char reserved1[36];
  int32_t area_mask_enable;
  char reserved2[64];
  CameraMaskArea areas[kCameraMaskAreas];
  int32_t mosaic_support;
  int32_t mosaic_num;
  int64_t del_mask;
};
ZV_SCHEMA(PrivacyMaskSet, ZV_INTERNAL(targets), ZV_RESERVED(reserved0), ZV_FIELD(enable, "enable"),
          ZV_FIELD(num, "num"), ZV_FIELD(cgi_sdk_flag, "cgiSdkFlag"), ZV_RESERVED(reserved1),
          ZV_FIELD(area_mask_enable, "areaMaskEnable"), ZV_RESERVED(reserved2), ZV_RECORDS(areas, nullptr),
          ZV_FIELD(mosaic_support, "mosaicSupport"), ZV_FIELD(mosaic_num, "mosaicNum"),
          ZV_FIELD(del_mask, "delMask"));
static_assert(sizeof(PrivacyMaskSet) == 2896);
static_assert(alignof(PrivacyMaskSet) == 8);

// One recorder-side mask area to clear (2508): both members required and ranged.
struct MaskAreaRemoval {
  int32_t channel;
  int32_t area;
};
ZV_SCHEMA(MaskAreaRemoval, ZV_FIELD(channel, "chan_id").required().range(0, 63),
          ZV_FIELD(area, "area_id").required().range(0, 24));

// One camera mask to remove (3353).
struct CameraMaskRemoval {
  int32_t channel;
  int32_t mask_id;
};
ZV_SCHEMA(CameraMaskRemoval, ZV_FIELD(channel, "chnid").required().range(0, 63),
          ZV_FIELD(mask_id, "maskid").required());

// ---- Messages (the core answers N with N + 5000) ----
inline constexpr Notice<OsdChange> kOsdChanged{1007, "osd changed"};
inline constexpr Notice<int32_t> kMotionChanged{1403, "motion changed"};
inline constexpr Notice<ChannelMask64> kMotionCopied{1410, "motion copied"};
inline constexpr Exchange<int32_t, CameraPrivacyMask> kCameraMaskRead{2502, 7502, "camera masks"};
inline constexpr Exchange<int32_t, int32_t> kCameraMaskResult{2503, 7503, "camera mask result"};
inline constexpr Notice<MaskAreaRemoval> kMaskAreaRemove{2508, "mask area remove"};
inline constexpr Notice<PrivacyMaskSet> kMaskSet{2509, "privacy masks set"};
inline constexpr Exchange<int32_t, CameraMotionMap> kCameraGridRead{3206, 8206, "camera motion grid"};
inline constexpr Notice<CameraMotionMap> kCameraGridSet{3207, "camera motion grid set"};
inline constexpr Notice<DefaultMotionPlan> kCameraMotionPlan{3209, "camera motion plan"};
inline constexpr Exchange<CameraOsd, int32_t> kCameraOsdSet{3210, 8210, "camera osd set"};
inline constexpr Exchange<int32_t, CameraOsd> kCameraOsdRead{3211, 8211, "camera osd"};
inline constexpr Notice<CameraMotionMode> kCameraMotionMode{3212, "camera motion mode"};
inline constexpr Notice<MotionCopyRequest> kMotionGridCopy{3251, "motion grid copy"};
inline constexpr Notice<DefaultMotionPlan> kCameraMotionPlanCopy{3252, "camera motion plan copy"};
inline constexpr Exchange<CameraMaskRemoval, int32_t> kCameraMaskRemove{3353, 8353, "camera mask remove"};
