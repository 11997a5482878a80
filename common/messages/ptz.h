// Messages that the PTZ handlers exchange with the core: the fixed little-endian payload records
// with their schemas, and every message declared once. Same bytes on the 32-bit device and on the
// development host.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/exchange.h"
#include "platform/zvdb/records/ptz_record.h"
#include "platform/zvrecord/schema.h"

constexpr int kPtzPresetNameSize = 32;
constexpr int kPtzListedPresets = 300;
constexpr int kPtzPatterns = 4;
constexpr int kPtzChannelMaskSize = 68;

// Action codes the handlers themselves give a meaning to; every other code is the core's.
constexpr int32_t kPtzActionAutofocus = 12;
constexpr int32_t kPtzActionMoveEnd = 21;    // may be followed by an autofocus
constexpr int32_t kPtzActionSavePreset = 22;

// A PTZ command (1251 move, 1253 preset). The JSON form is the preset request ("/5001"); the move
// ("/5000") reads kPtzMoveForm, without preset and name.
struct PtzCommand {
  int32_t channel_id;
  int32_t action;
  int32_t preset_id;  // 0 for a move
  int32_t pan_speed;
  int32_t tilt_speed;
  int32_t zoom_speed;
  int32_t focus_speed;
  int32_t reserved;
  char name[kPtzPresetNameSize];  // the preset name of a save (action 22), else empty
  int32_t fisheye_type;
  int32_t stream_id;
};
ZV_SCHEMA(PtzCommand, ZV_FIELD(channel_id, "channelId").required().range(0, 63),
          ZV_FIELD(action, "action").required().at_least(0),
          ZV_FIELD(preset_id, "presetId").required().range(0, kPtzPresetMax),
          ZV_FIELD(pan_speed, "panSpeed").required().at_least(0),
          ZV_FIELD(tilt_speed, "tiltSpeed").required().at_least(0),
          ZV_FIELD(zoom_speed, "zoomSpeed").required().at_least(0),
          ZV_FIELD(focus_speed, "focusSpeed").required().at_least(0), ZV_RESERVED(reserved),
          ZV_INTERNAL(name), ZV_FIELD(fisheye_type, "fisheyeType"), ZV_FIELD(stream_id, "streamId"));
static_assert(sizeof(PtzCommand) == 72);

// {channel, action} (1266) and {camera, zoom, zoom speed} (1267).
struct PtzChannelAction {
  int32_t channel_id;
  int32_t action;
};
ZV_SCHEMA(PtzChannelAction, ZV_FIELD(channel_id, "channelId").required().range(0, 63),
          ZV_FIELD(action, "action").required());
static_assert(sizeof(PtzChannelAction) == 8);

struct PtzZoom {
  int32_t cam_id;
  int32_t zoom;
  int32_t zoom_speed;
};
ZV_SCHEMA(PtzZoom, ZV_FIELD(cam_id, "camId").required().range(0, 63), ZV_FIELD(zoom, "Zoom").required(),
          ZV_FIELD(zoom_speed, "ZoomSpeed"));
static_assert(sizeof(PtzZoom) == 12);

// A camera-side PTZ command (3361) and the camera's PTZ state (3363 answers {chnid, status}).
struct PtzCameraCommand {
  int32_t chnid;
  int32_t ptz_cmd;
};
ZV_SCHEMA(PtzCameraCommand, ZV_FIELD(chnid, "chnid").required().range(0, 63),
          ZV_FIELD(ptz_cmd, "ptzCmd").required());
static_assert(sizeof(PtzCameraCommand) == 8);

struct PtzCameraState {
  int32_t chnid;
  int32_t status;
};
ZV_SCHEMA(PtzCameraState, ZV_FIELD(chnid, "chnid"), ZV_FIELD(status, "status"));
static_assert(sizeof(PtzCameraState) == 8);

// The PTZ status block of a camera (reply 6270; the head of the 1271 payload).
struct PtzStatusBlock {
  int32_t status;
  int32_t chn_id;
  int32_t zoom_status;
  int32_t pan_tilt_status;
  int32_t preset_status;
  int32_t patrol_status;
  int32_t pattern_status;
  int32_t auto_scan_status;
  int32_t preset_freezing;
  int32_t preset_speed;
  int32_t manual_speed;
  int32_t patrol_recovering;
  int32_t patrol_recovery_time;
  int32_t focus_mode;
  int32_t min_focus_distance;
  int32_t resume_time;
  int32_t fan_working_mode;
};
// Printed whole; a write ("/5012") keeps the camera's value of every key it does not carry.
ZV_SCHEMA(PtzStatusBlock, ZV_FIELD(status, "status").out_only(), ZV_FIELD(chn_id, "chnId").out_only(),
          ZV_FIELD(zoom_status, "zoomStatus").keep_if_absent(),
          ZV_FIELD(pan_tilt_status, "panTiltStatus").keep_if_absent(),
          ZV_FIELD(preset_status, "presetStatus").keep_if_absent(),
          ZV_FIELD(patrol_status, "patrolStatus").keep_if_absent(),
          ZV_FIELD(pattern_status, "patternStatus").keep_if_absent(),
          ZV_FIELD(auto_scan_status, "autoScanStatus").keep_if_absent(),
          ZV_FIELD(preset_freezing, "presetFreezing").keep_if_absent(),
          ZV_FIELD(preset_speed, "presetSpeed").keep_if_absent(),
          ZV_FIELD(manual_speed, "manualSpeed").keep_if_absent(),
          ZV_FIELD(patrol_recovering, "patrolRecovering").keep_if_absent(),
          ZV_FIELD(patrol_recovery_time, "patrolRecoveryTime").keep_if_absent(),
          ZV_FIELD(focus_mode, "focusMode").keep_if_absent(),
          ZV_FIELD(min_focus_distance, "minFocusDistance").keep_if_absent(),
          ZV_FIELD(resume_time, "resumeTime").keep_if_absent(),
          ZV_FIELD(fan_working_mode, "fanWorkingMode").keep_if_absent());
static_assert(sizeof(PtzStatusBlock) == 68);

// The status block applied to the channels of a '0'/'1' text (1271).
struct PtzStatusWrite {
  PtzStatusBlock block;  // "status" 0
  char channel_mask[kPtzChannelMaskSize];
};
ZV_SCHEMA(PtzStatusWrite, ZV_INTERNAL(block), ZV_INTERNAL(channel_mask));
static_assert(sizeof(PtzStatusWrite) == 136);

// A tour saved to the core (1264): the key points as the table now holds them.
struct PtzTourSave {
  int32_t chn;
  int32_t tourid;  // 1..8
  int32_t rowsize;
  PtzTour tour;
};
ZV_SCHEMA(PtzTourSave, ZV_INTERNAL(chn), ZV_INTERNAL(tourid), ZV_INTERNAL(rowsize), ZV_INTERNAL(tour));
static_assert(sizeof(PtzTourSave) == 588);

// A tour as the core's wire arrays: presets, times, speeds of the 48 key points.
struct PtzTourArrays {
  int32_t presets[kPtzTourPoints];
  int32_t times[kPtzTourPoints];
  int32_t speeds[kPtzTourPoints];
};
ZV_SCHEMA(PtzTourArrays, ZV_INTERNAL(presets), ZV_INTERNAL(times), ZV_INTERNAL(speeds));
static_assert(sizeof(PtzTourArrays) == 576);
// The key points of a stored tour as the wire arrays.
inline PtzTourArrays tour_arrays(const PtzTour& tour) {
  PtzTourArrays arrays{};
  for (int i = 0; i < kPtzTourPoints; ++i) {
    arrays.presets[i] = tour.points[i].preset;
    arrays.times[i] = tour.points[i].time;
    arrays.speeds[i] = tour.points[i].speed;
  }
  return arrays;
}

// A fisheye view's tour (1269, not stored): only tour `tour_index` is filled.
struct PtzFisheyeTourSave {
  int32_t chn;
  int32_t stream_id;
  int32_t tour_index;  // tourid - 1
  PtzTourArrays tours[kPtzTours];
};
ZV_SCHEMA(PtzFisheyeTourSave, ZV_INTERNAL(chn), ZV_INTERNAL(stream_id), ZV_INTERNAL(tour_index),
          ZV_RECORDS(tours, nullptr));
static_assert(sizeof(PtzFisheyeTourSave) == 4620);

// A tour named for the core (1257 clear, 1260, 1261). The JSON form is their requests'.
struct PtzTourRef {
  int32_t chn;
  int32_t tourid;  // 1..8
  int32_t reserved[4];
  int32_t fisheye_type;
  int32_t stream_id;
};
ZV_SCHEMA(PtzTourRef, ZV_FIELD(chn, "chn").required().range(0, 63),
          ZV_FIELD(tourid, "tourid").required().range(1, kPtzTours), ZV_RESERVED(reserved),
          ZV_FIELD(fisheye_type, "fisheyeType"), ZV_FIELD(stream_id, "streamId"));
static_assert(sizeof(PtzTourRef) == 32);

// A tour action (1254): {chn, the core's action code, tourid}, the rest zero.
struct PtzTourAction {
  int32_t chn;
  int32_t code;
  int32_t tourid;
  int32_t reserved[15];
};
ZV_SCHEMA(PtzTourAction, ZV_INTERNAL(chn), ZV_INTERNAL(code), ZV_INTERNAL(tourid), ZV_RESERVED(reserved));
static_assert(sizeof(PtzTourAction) == 72);

// The preset and tour listing of a camera or fisheye view (replies 6265 and 6268).
struct PtzPresetEntry {
  int32_t enable;
  char name[kPtzPresetNameSize];  // not always terminated
};
ZV_SCHEMA(PtzPresetEntry, ZV_INTERNAL(enable), ZV_INTERNAL(name));
static_assert(sizeof(PtzPresetEntry) == 36);

struct PtzListing {
  PtzPresetEntry presets[kPtzListedPresets];
  PtzTourArrays tours[kPtzTours];
  int32_t patterns[kPtzPatterns];
  int32_t tour_status[5][8];
  int32_t autoscan_status[5];
};
ZV_SCHEMA(PtzListing, ZV_RECORDS(presets, nullptr), ZV_RECORDS(tours, nullptr), ZV_INTERNAL(patterns),
          ZV_INTERNAL(tour_status), ZV_INTERNAL(autoscan_status));
static_assert(sizeof(PtzListing) == 15604);

struct PtzViewQuery {
  int32_t chn;
  int32_t stream_id;
};
ZV_SCHEMA(PtzViewQuery, ZV_INTERNAL(chn), ZV_INTERNAL(stream_id));
static_assert(sizeof(PtzViewQuery) == 8);

inline constexpr Notice<PtzCommand> kPtzMove{1251, "ptz move"};
inline constexpr Notice<int32_t> kPtzPortChanged{1252, "ptz port changed"};
inline constexpr Notice<PtzCommand> kPtzPreset{1253, "ptz preset"};
inline constexpr Notice<PtzTourAction> kPtzTourRun{1254, "ptz tour action"};
inline constexpr Notice<PtzTourRef> kPtzTourClear{1257, "ptz tour cleared"};
inline constexpr Notice<PtzTourRef> kPtzTourStart{1260, "ptz tour start"};
inline constexpr Notice<PtzTourRef> kPtzTourStop{1261, "ptz tour stop"};
inline constexpr Exchange<int32_t, int32_t> kPtzPortCheck{1262, 6262, "ptz port check"};
inline constexpr Notice<PtzTourSave> kPtzTourSaved{1264, "ptz tour saved"};
// Any reply is taken: an empty or short one prints {"status":"Error"}.
inline constexpr Exchange<int32_t, PtzListing> kPtzListing{1265, 6265, "ptz listing", 0};
inline constexpr Notice<PtzChannelAction> kPtzFocus{1266, "ptz focus"};
inline constexpr Notice<PtzZoom> kPtzZoom{1267, "ptz zoom"};
inline constexpr Exchange<PtzViewQuery, PtzListing> kPtzViewListing{1268, 6268, "ptz fisheye listing", 0};
inline constexpr Notice<PtzFisheyeTourSave> kPtzFisheyeTourSaved{1269, "ptz fisheye tour saved"};
inline constexpr Exchange<int32_t, PtzStatusBlock> kPtzStatusRead{1270, 6270, "ptz status"};
inline constexpr Exchange<PtzStatusWrite, int32_t> kPtzStatusSet{1271, 6271, "ptz status set"};
inline constexpr Exchange<PtzCameraCommand, int32_t> kPtzCameraCommand{3361, 8361, "ptz camera command"};
inline constexpr Exchange<int32_t, PtzCameraState> kPtzCameraState{3363, 8363, "ptz camera state"};
