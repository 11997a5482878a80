// Messages that the event and video handlers exchange with the core: message ids and the fixed
// little-endian payload records, declared once with their sizes and offsets. Same bytes on the
// 32-bit device and on the development host.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/zvdb/records/channel_mask.h"

// ---- Message ids (the core answers N with N + 5000) ----
constexpr int32_t kMsgOsdChanged = 1007;          // {channel, 1, 0}
constexpr int32_t kMsgMotionChanged = 1403;       // {int32 channel}
constexpr int32_t kMsgMotionCopied = 1410;        // ChannelMask64
constexpr int32_t kMsgCameraMaskRead = 2502;      // {int32 channel} -> 7502 CameraPrivacyMask
constexpr int32_t kMsgCameraMaskResult = 2503;    // {int32 channel} -> 7503 {int32}
constexpr int32_t kMsgMaskAreaRemove = 2508;      // {int32 channel, int32 area}
constexpr int32_t kMsgMaskSet = 2509;             // PrivacyMaskSet
constexpr int32_t kMsgCameraGridRead = 3206;      // {int32 channel} -> 8206 CameraMotionMap
constexpr int32_t kMsgCameraGridSet = 3207;       // CameraMotionMap
constexpr int32_t kMsgCameraMotionPlan = 3209;    // DefaultMotionPlan
constexpr int32_t kMsgCameraOsdSet = 3210;        // CameraOsd -> 8210 {int32 status}
constexpr int32_t kMsgCameraOsdRead = 3211;       // {int32 channel} -> 8211 CameraOsd
constexpr int32_t kMsgCameraMotionMode = 3212;    // CameraMotionMode
constexpr int32_t kMsgMotionGridCopy = 3251;      // MotionCopyRequest
constexpr int32_t kMsgCameraMotionPlanCopy = 3252;  // DefaultMotionPlan
constexpr int32_t kMsgCameraMaskRemove = 3353;    // {int32 channel, int32 mask id} -> 8353 {int32}

constexpr int32_t kReplyCameraMask = 7502;
constexpr int32_t kReplyCameraMaskResult = 7503;
constexpr int32_t kReplyCameraGrid = 8206;
constexpr int32_t kReplyCameraOsdSet = 8210;
constexpr int32_t kReplyCameraOsd = 8211;
constexpr int32_t kReplyCameraMaskRemove = 8353;

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
static_assert(sizeof(CameraMotionMap) == 332);
static_assert(offsetof(CameraMotionMap, map) == 4);
static_assert(offsetof(CameraMotionMap, sensitivity) == 304);
static_assert(offsetof(CameraMotionMap, channel) == 308);
static_assert(offsetof(CameraMotionMap, result) == 312);
static_assert(offsetof(CameraMotionMap, model_type) == 316);
static_assert(offsetof(CameraMotionMap, fishinstall) == 328);

// Grid and sensitivity of one channel sent to the cameras of the copy set (3251).
struct MotionCopyRequest {
  char motion_table[kCameraGridSize];
  int32_t sensitivity;
  int32_t channel;      // the source channel
  int32_t enable_zv;
  int32_t targets[64];  // the copy set, ascending
  int32_t target_count;
};
static_assert(sizeof(MotionCopyRequest) == 572);
static_assert(offsetof(MotionCopyRequest, sensitivity) == 300);
static_assert(offsetof(MotionCopyRequest, channel) == 304);
static_assert(offsetof(MotionCopyRequest, enable_zv) == 308);
static_assert(offsetof(MotionCopyRequest, targets) == 312);
static_assert(offsetof(MotionCopyRequest, target_count) == 568);

// Camera-side motion mode (3212).
struct CameraMotionMode {
  int32_t channel;
  int32_t enable_zv;     // 1 when the camera runs its own motion detection
  int32_t channels[64];  // the copy targets, ascending (empty for the older requests)
  int32_t count;
};
static_assert(sizeof(CameraMotionMode) == 268);
static_assert(offsetof(CameraMotionMode, channels) == 8);
static_assert(offsetof(CameraMotionMode, count) == 264);

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
static_assert(sizeof(MotionPlanRange) == 16);
static_assert(sizeof(MotionPlanDay) == 136);
static_assert(sizeof(DefaultMotionPlan) == 1216);
static_assert(offsetof(DefaultMotionPlan, days) == 68);
static_assert(offsetof(DefaultMotionPlan, reserved1) == 1020);

// ---- OSD and privacy masks ----
constexpr int kCameraOsdTextSize = 256;

// The camera's own overlay texts (payload of 3210, records of reply 8211).
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
static_assert(sizeof(CameraOsd) == 836);
static_assert(offsetof(CameraOsd, text_name) == 8);
static_assert(offsetof(CameraOsd, textpos) == 264);
static_assert(offsetof(CameraOsd, enable_text_sub) == 280);
static_assert(offsetof(CameraOsd, text_name_sub) == 284);
static_assert(offsetof(CameraOsd, textpos_sub) == 540);
static_assert(offsetof(CameraOsd, dateformat_sub) == 552);
static_assert(offsetof(CameraOsd, type) == 832);

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
static_assert(sizeof(CameraMaskArea) == 96);
static_assert(offsetof(CameraMaskArea, ratio) == 28);
static_assert(offsetof(CameraMaskArea, name) == 32);

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
static_assert(sizeof(CameraPrivacyMask) == 2824);
static_assert(offsetof(CameraPrivacyMask, sdkversion) == 16);
static_assert(offsetof(CameraPrivacyMask, max_ptz_zoom_ratio) == 48);
static_assert(offsetof(CameraPrivacyMask, area_enable) == 52);
static_assert(offsetof(CameraPrivacyMask, color_list) == 56);
static_assert(offsetof(CameraPrivacyMask, areas) == 120);
static_assert(offsetof(CameraPrivacyMask, mosaic_support) == 2808);
static_assert(offsetof(CameraPrivacyMask, mosaic_num) == 2812);

// Privacy masks sent to the cameras of the listed channels (2509).
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
static_assert(sizeof(PrivacyMaskSet) == 2896);
static_assert(offsetof(PrivacyMaskSet, enable) == 76);
static_assert(offsetof(PrivacyMaskSet, num) == 80);
static_assert(offsetof(PrivacyMaskSet, cgi_sdk_flag) == 84);
static_assert(offsetof(PrivacyMaskSet, area_mask_enable) == 124);
static_assert(offsetof(PrivacyMaskSet, areas) == 192);
static_assert(offsetof(PrivacyMaskSet, mosaic_support) == 2880);
static_assert(offsetof(PrivacyMaskSet, mosaic_num) == 2884);
static_assert(offsetof(PrivacyMaskSet, del_mask) == 2888);
static_assert(alignof(PrivacyMaskSet) == 8);
