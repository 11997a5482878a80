// Messages of the analytics handlers (smart events, plate recognition, people and regional
// counting, fisheye) with the core: the payload records with their schemas and every exchange,
// declared once for the handlers, the core simulator and the tests.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/exchange.h"
#include "platform/zvdb/records/channel_mask.h"
#include "platform/zvrecord/schema.h"

constexpr int kVcaTextSize = 64;       // polygon texts
constexpr int kVcaRegionTextSize = 300;
constexpr int kVcaCopyTextSize = 65;   // "copyChn" as given
constexpr int kVcaRegionBlocks = 4;
constexpr int kVcaPolygons = 5;
constexpr int kVcaLines = 4;
constexpr int kVcaSubLines = 5;
constexpr int kVcaAreas = 8;

// ---- Smart-event detection settings (kept in the camera) ----

struct VcaPolygon {
  char polygon_x[kVcaTextSize];
  char polygon_y[kVcaTextSize];
};
ZV_SCHEMA(VcaPolygon, ZV_FIELD(polygon_x, "polygonX").absent(""), ZV_FIELD(polygon_y, "polygonY").absent(""));

// One region of the region set of entrance/exit, advanced motion and loitering.
struct VcaRegionBlock {
  int32_t enable;
  int32_t spare;
  int32_t time;
  int32_t obj_type;
  VcaPolygon polygons[kVcaPolygons];
};
ZV_SCHEMA(VcaRegionBlock, ZV_FIELD(enable, "enable"), ZV_RESERVED(spare), ZV_FIELD(time, "time"),
          ZV_FIELD(obj_type, "objType"), ZV_RECORDS(polygons, "region"));
static_assert(sizeof(VcaRegionBlock) == 656);

// Region entrance/exit, advanced motion, tamper, loitering and human detection (3237-3250).
struct VcaRegionRecord {
  int32_t channel;
  int32_t enable;
  char zeros0[16];
  int32_t sensitivity;
  int32_t loiter_time;
  int32_t loiter_size;
  int32_t tracks;
  char region[kVcaRegionTextSize];
  int32_t ignore_time;
  int32_t objtype;
  char polygon_x[kVcaTextSize];
  char polygon_y[kVcaTextSize];
  char copy[kVcaCopyTextSize];
  char pad0[3];
  char zeros1[20];
  int32_t region_type;
  int32_t region_scene;
  VcaRegionBlock blocks[kVcaRegionBlocks];
};
ZV_SCHEMA(VcaRegionRecord, ZV_FIELD(channel, "chnid").required().range(0, 63).in_only(),
          ZV_FIELD(enable, "enable"), ZV_RESERVED(zeros0), ZV_FIELD(sensitivity, "sensitivity"),
          ZV_FIELD(loiter_time, "time"), ZV_FIELD(loiter_size, "size"), ZV_FIELD(tracks, "tracks"),
          ZV_FIELD(region, "region").absent(""), ZV_FIELD(ignore_time, "ignore_time"),
          ZV_FIELD(objtype, "objtype"), ZV_FIELD(polygon_x, "polygonX").absent(""),
          ZV_FIELD(polygon_y, "polygonY").absent(""), ZV_FIELD(copy, "copyChn").absent("").in_only(),
          ZV_RESERVED(pad0), ZV_RESERVED(zeros1), ZV_FIELD(region_type, "regionType").in_only(),
          ZV_FIELD(region_scene, "regionScene").in_only(), ZV_RECORDS(blocks, "regionInfo").in_only());
static_assert(sizeof(VcaRegionRecord) == 3196);

struct VcaObjectLeftBlock {
  int32_t left_enable;
  int32_t remove_enable;
  char zeros[8];
  VcaPolygon polygons[kVcaPolygons];
};
ZV_SCHEMA(VcaObjectLeftBlock, ZV_FIELD(left_enable, "leftEnable"), ZV_FIELD(remove_enable, "removeEnable"),
          ZV_RESERVED(zeros), ZV_RECORDS(polygons, "region"));

// Object left/removed (3268, 3269).
struct VcaObjectLeftRecord {
  int32_t channel;
  int32_t sensitivity;
  int32_t left_enable;
  int32_t remove_enable;
  int32_t min_time;
  char zeros0[16];
  char region[kVcaRegionTextSize];
  char polygon_x[kVcaTextSize];
  char polygon_y[kVcaTextSize];
  char copy[kVcaCopyTextSize];
  char zeros1[23];
  int32_t region_type;
  int32_t region_scene;
  VcaObjectLeftBlock blocks[kVcaRegionBlocks];
};
ZV_SCHEMA(VcaObjectLeftRecord, ZV_FIELD(channel, "chnid").required().range(0, 63).in_only(),
          ZV_FIELD(sensitivity, "sensitivity"), ZV_FIELD(left_enable, "left_enable"),
          ZV_FIELD(remove_enable, "remove_enable"), ZV_FIELD(min_time, "min_time"), ZV_RESERVED(zeros0),
          ZV_FIELD(region, "region").absent(""), ZV_FIELD(polygon_x, "polygonX").absent(""),
          ZV_FIELD(polygon_y, "polygonY").absent(""), ZV_FIELD(copy, "copyChn").absent("").in_only(),
          ZV_RESERVED(zeros1), ZV_FIELD(region_type, "regionType").in_only(),
          ZV_FIELD(region_scene, "regionScene").in_only(), ZV_RECORDS(blocks, "regionInfo").in_only());
static_assert(sizeof(VcaObjectLeftRecord) == 3184);

// One crossing line: camera coordinates and direction.
struct VcaLine {
  int32_t x1, y1, x2, y2;
  int32_t direction;
  int32_t zeros[26];
};
ZV_SCHEMA(VcaLine, ZV_INTERNAL(x1), ZV_INTERNAL(y1), ZV_INTERNAL(x2), ZV_INTERNAL(y2), ZV_INTERNAL(direction),
          ZV_RESERVED(zeros));

// Line crossing (3241, 3248); width and height are the camera's resolution in replies.
struct VcaLineRecord {
  int32_t channel;
  int32_t enable;
  int32_t width;
  int32_t height;
  VcaLine lines[kVcaLines];
  int32_t objtype;
  char zeros[96];
};
ZV_SCHEMA(VcaLineRecord, ZV_INTERNAL(channel), ZV_FIELD(enable, "enable"), ZV_FIELD(width, "width"),
          ZV_FIELD(height, "height"), ZV_RECORDS(lines, nullptr), ZV_FIELD(objtype, "objtype"), ZV_RESERVED(zeros));
static_assert(sizeof(VcaLineRecord) == 612);

struct VcaSubLine {
  int32_t x1, y1, x2, y2;
  int32_t direction;
};
ZV_SCHEMA(VcaSubLine, ZV_INTERNAL(x1), ZV_INTERNAL(y1), ZV_INTERNAL(x2), ZV_INTERNAL(y2), ZV_INTERNAL(direction));

struct VcaLineBlock {
  int32_t enable;
  int32_t x1, y1, x2, y2;
  int32_t direction;
  int32_t objtype;
  VcaSubLine sub_lines[kVcaSubLines];
};
ZV_SCHEMA(VcaLineBlock, ZV_INTERNAL(enable), ZV_INTERNAL(x1), ZV_INTERNAL(y1), ZV_INTERNAL(x2), ZV_INTERNAL(y2),
          ZV_INTERNAL(direction), ZV_INTERNAL(objtype), ZV_RECORDS(sub_lines, nullptr));
static_assert(sizeof(VcaLineBlock) == 128);

// Line crossing with sub-lines (1209, 1210).
struct VcaLineRecordV2 {
  int32_t channel;
  int32_t sensitivity;
  int32_t width;
  int32_t height;
  VcaLineBlock lines[kVcaLines];
  int32_t line_type;
  int32_t line_scene;
  char zeros[92];
};
ZV_SCHEMA(VcaLineRecordV2, ZV_FIELD(channel, "chnid").out_only(), ZV_FIELD(sensitivity, "sensitivity"),
          ZV_FIELD(width, "width"), ZV_FIELD(height, "height"), ZV_RECORDS(lines, nullptr),
          ZV_FIELD(line_type, "lineType").in_only(), ZV_FIELD(line_scene, "lineScene").in_only(),
          ZV_RESERVED(zeros));
static_assert(sizeof(VcaLineRecordV2) == 628);

// Analytics settings of a channel (3259, 3260); the area in camera coordinates.
struct VcaSettings {
  int32_t channel;
  int32_t vca_type;
  int32_t fps, mode, installation, analysis, width, height;
  int32_t min_start_x, min_start_y, min_width, min_height;
  int32_t max_start_x, max_start_y, max_width, max_height;
};
ZV_SCHEMA(VcaSettings, ZV_FIELD(channel, "chnid").required().range(0, 63).in_only(),
          ZV_FIELD(vca_type, "vcaType").out_only(), ZV_FIELD(fps, "fps"), ZV_FIELD(mode, "mode"),
          ZV_FIELD(installation, "installation"), ZV_FIELD(analysis, "analysis"), ZV_FIELD(width, "width"),
          ZV_FIELD(height, "height"), ZV_INTERNAL(min_start_x), ZV_INTERNAL(min_start_y), ZV_INTERNAL(min_width),
          ZV_INTERNAL(min_height), ZV_INTERNAL(max_start_x), ZV_INTERNAL(max_start_y), ZV_INTERNAL(max_width),
          ZV_INTERNAL(max_height));
static_assert(sizeof(VcaSettings) == 64);

// Analytics settings with 8 areas (1211, 1212), carried without conversion.
struct VcaSettingsV2 {
  int32_t channel;
  int32_t reserved;
  int32_t fps, mode, installation, analysis, width, height;
  int32_t min_start_x[kVcaAreas], min_start_y[kVcaAreas], min_width[kVcaAreas], min_height[kVcaAreas];
  int32_t max_start_x[kVcaAreas], max_start_y[kVcaAreas], max_width[kVcaAreas], max_height[kVcaAreas];
  char copy[kVcaCopyTextSize];
  char pad[3];
};
ZV_SCHEMA(VcaSettingsV2, ZV_FIELD(channel, "chnid").required().range(0, 63).in_only(), ZV_RESERVED(reserved),
          ZV_FIELD(fps, "fps"), ZV_FIELD(mode, "mode"), ZV_FIELD(installation, "installation"),
          ZV_FIELD(analysis, "analysis"), ZV_FIELD(width, "width"), ZV_FIELD(height, "height"),
          ZV_INTERNAL(min_start_x), ZV_INTERNAL(min_start_y), ZV_INTERNAL(min_width), ZV_INTERNAL(min_height),
          ZV_INTERNAL(max_start_x), ZV_INTERNAL(max_start_y), ZV_INTERNAL(max_width), ZV_INTERNAL(max_height),
          ZV_FIELD(copy, "copyChn").absent("").in_only(), ZV_RESERVED(pad));
static_assert(sizeof(VcaSettingsV2) == 356);

// Analytics support (reply 8257); an empty reply means "unknown".
struct VcaSupport {
  int32_t support;
  int32_t type;
};
ZV_SCHEMA(VcaSupport, ZV_FIELD(support, "support"), ZV_FIELD(type, "type"));

// Analytics support and version (reply 8293).
struct VcaSupportVersion {
  int32_t chnid;
  int32_t vca_support;
  char vca_version[32];
};
ZV_SCHEMA(VcaSupportVersion, ZV_FIELD(chnid, "chnid"), ZV_FIELD(vca_support, "vca_support"),
          ZV_FIELD(vca_version, "vca_version"));
static_assert(sizeof(VcaSupportVersion) == 40);

// Zoom state of a camera (reply 6215).
struct ZoomState {
  int32_t chnid;
  int32_t state;
  int32_t zoom_number;
};
ZV_SCHEMA(ZoomState, ZV_FIELD(chnid, "chnid"), ZV_FIELD(state, "state"), ZV_FIELD(zoom_number, "zoomNumber"));

// ---- Plate recognition ----

struct PlateEventChange {
  int32_t channel;
  int32_t mode;
};
ZV_SCHEMA(PlateEventChange, ZV_INTERNAL(channel), ZV_INTERNAL(mode));

struct AnprArea {
  char name[64];
  int32_t start_x, start_y, end_x, end_y;
};
ZV_SCHEMA(AnprArea, ZV_FIELD(name, "name").absent(""), ZV_FIELD(start_x, "startX"), ZV_FIELD(start_y, "startY"),
          ZV_FIELD(end_x, "endX"), ZV_FIELD(end_y, "endY"));
// A preset area: the same bytes, its last key spelt "endy" as the pages send and read it.
struct AnprPresetArea {
  char name[64];
  int32_t start_x, start_y, end_x, end_y;
};
ZV_SCHEMA(AnprPresetArea, ZV_FIELD(name, "name").absent(""), ZV_FIELD(start_x, "startX"),
          ZV_FIELD(start_y, "startY"), ZV_FIELD(end_x, "endX"), ZV_FIELD(end_y, "endy"));
static_assert(sizeof(AnprArea) == 80 && sizeof(AnprPresetArea) == 80);

struct AnprRegionText {
  char text[32];
};
ZV_SCHEMA(AnprRegionText, ZV_INTERNAL(text));

// Recognition settings of a camera (3289, 3290).
struct AnprSettings {
  int32_t chnid, enable, resolution_width, resolution_height, area_x, area_y, area_width, area_height;
  int32_t day_night_mode_enable, scene, direction_enable, region_enable, roiid_enable, process_mode;
  int32_t repeat_check_time_value, repeat_check_time_unit, post_enable, post_type, post_tcp_port;
  char post_http_user[64];
  char post_http_password[64];
  char post_http_url[512];
  int32_t confidence;
  AnprRegionText region[32];
  char cur_area[32];
  int32_t in_night_mode;
  AnprArea roi[4];
  AnprPresetArea preset[4][4];
  char reserved[264];
  int32_t night_mode_enable, night_mode_level, night_mode_starthour, night_mode_startminute;
  int32_t night_mode_stophour, night_mode_stopminute, night_mode_effective_mode;
};
ZV_SCHEMA(AnprSettings, ZV_FIELD(chnid, "chnid").required().range(0, 63), ZV_FIELD(enable, "enable"),
          ZV_FIELD(resolution_width, "resolution_width"), ZV_FIELD(resolution_height, "resolution_height"),
          ZV_FIELD(area_x, "area_x"), ZV_FIELD(area_y, "area_y"), ZV_FIELD(area_width, "area_width"),
          ZV_FIELD(area_height, "area_height"), ZV_FIELD(day_night_mode_enable, "day_night_mode_enable"),
          ZV_FIELD(scene, "scene"), ZV_FIELD(direction_enable, "direction_enable"),
          ZV_FIELD(region_enable, "region_enable"), ZV_FIELD(roiid_enable, "roiid_enable"),
          ZV_FIELD(process_mode, "process_mode"), ZV_FIELD(repeat_check_time_value, "repeat_check_time_value"),
          ZV_FIELD(repeat_check_time_unit, "repeat_check_time_unit"), ZV_FIELD(post_enable, "post_enable"),
          ZV_FIELD(post_type, "post_type"), ZV_FIELD(post_tcp_port, "post_tcp_port"),
          ZV_FIELD(post_http_user, "post_http_user").whole().absent(""),
          ZV_FIELD(post_http_password, "post_http_password").whole().absent(""),
          ZV_FIELD(post_http_url, "post_http_url").whole().absent(""), ZV_FIELD(confidence, "confidence"),
          ZV_RECORDS(region, nullptr), ZV_FIELD(cur_area, "cur_area").absent(""),
          ZV_FIELD(in_night_mode, "in_night_mode"), ZV_RECORDS(roi, "roi"), ZV_FIELD(preset, nullptr),
          ZV_RESERVED(reserved), ZV_FIELD(night_mode_enable, "night_mode_enable"),
          ZV_FIELD(night_mode_level, "night_mode_level"), ZV_FIELD(night_mode_starthour, "night_mode_starthour"),
          ZV_FIELD(night_mode_startminute, "night_mode_startminute"),
          ZV_FIELD(night_mode_stophour, "night_mode_stophour"),
          ZV_FIELD(night_mode_stopminute, "night_mode_stopminute"),
          ZV_FIELD(night_mode_effective_mode, "night_mode_effective_mode"));
static_assert(sizeof(AnprSettings) == 3672);

constexpr int kPlateWildcards = 9;
// Plate format filter of a camera (1207, 1208).
struct PlateFormatFilter {
  int32_t chnid;
  int32_t filter;
  int32_t enable[kPlateWildcards];
  int32_t cr_count[kPlateWildcards];
  char format[kPlateWildcards][16];
};
ZV_SCHEMA(PlateFormatFilter, ZV_FIELD(chnid, "chnid").required().range(0, 63), ZV_FIELD(filter, "filter"),
          ZV_INTERNAL(enable), ZV_INTERNAL(cr_count), ZV_INTERNAL(format));
static_assert(sizeof(PlateFormatFilter) == 224);

// ---- People and regional counting ----

struct PeopleCountLine {
  int8_t line_enable, auto_reset_enable, direction, show_cnt_enable;
  int32_t start_x, start_y, stop_x, stop_y;
  int32_t auto_reset_weekday, auto_reset_hour, auto_reset_min, auto_reset_sec;
};
ZV_SCHEMA(PeopleCountLine, ZV_INTERNAL(line_enable), ZV_INTERNAL(auto_reset_enable), ZV_INTERNAL(direction),
          ZV_INTERNAL(show_cnt_enable), ZV_INTERNAL(start_x), ZV_INTERNAL(start_y), ZV_INTERNAL(stop_x),
          ZV_INTERNAL(stop_y), ZV_INTERNAL(auto_reset_weekday), ZV_INTERNAL(auto_reset_hour),
          ZV_INTERNAL(auto_reset_min), ZV_INTERNAL(auto_reset_sec));
static_assert(sizeof(PeopleCountLine) == 36);

// Line people-counting settings (3253, 3254).
struct PeopleCountSettings {
  int32_t channel;
  int32_t width, height, osd_enable, osd_font_size, osd_text_pos, sensitivity, osd_type, line_num;
  PeopleCountLine lines[4];
  char zeros[68];
};
ZV_SCHEMA(PeopleCountSettings, ZV_FIELD(channel, "chnid").required().range(0, 63).in_only(),
          ZV_FIELD(width, "width"), ZV_FIELD(height, "height"), ZV_FIELD(osd_enable, "osdEnable"),
          ZV_FIELD(osd_font_size, "osdFontSize"), ZV_FIELD(osd_text_pos, "osdTextPos"),
          ZV_FIELD(sensitivity, "sensitivity"), ZV_FIELD(osd_type, "osdType"), ZV_FIELD(line_num, "lineNum"),
          ZV_RECORDS(lines, nullptr), ZV_RESERVED(zeros));
static_assert(sizeof(PeopleCountSettings) == 248);

// Counter reset (3261); line and resetdb are the camera's.
struct PeopleCountReset {
  int32_t channel;
  char zeros[8];
  int32_t line;
  int32_t resetdb;
};
ZV_SCHEMA(PeopleCountReset, ZV_FIELD(channel, "channel").required().range(0, 63), ZV_RESERVED(zeros),
          ZV_FIELD(line, "line"), ZV_FIELD(resetdb, "resetdb"));
static_assert(sizeof(PeopleCountReset) == 20);

struct CountingRegion {
  int32_t enable;
  char polygon_x[64];
  char polygon_y[64];
  int32_t max_stay_enable, max_stay_value, min_stay_enable, min_stay_value;
  int32_t max_stay_time_enable, max_stay_time_value;
};
ZV_SCHEMA(CountingRegion, ZV_FIELD(enable, "enable"), ZV_FIELD(polygon_x, "polygonX").absent(""),
          ZV_FIELD(polygon_y, "polygonY").absent(""), ZV_FIELD(max_stay_enable, "maxStayEnable"),
          ZV_FIELD(max_stay_value, "maxStayValue"), ZV_FIELD(min_stay_enable, "minStayEnable"),
          ZV_FIELD(min_stay_value, "minStayValue"), ZV_FIELD(max_stay_time_enable, "maxStayTimeEnable"),
          ZV_FIELD(max_stay_time_value, "maxStayTimeValue"));
static_assert(sizeof(CountingRegion) == 156);

// Regional counting settings (1220, 1221); "result" is the camera's, in replies.
struct RegionalCountSettings {
  int32_t chnid;
  int32_t sensitivity;
  int32_t min_obj_x, min_obj_y, min_obj_width, min_obj_height;
  int32_t max_obj_x, max_obj_y, max_obj_width, max_obj_height;
  CountingRegion regions[4];
  int32_t result;
  char zeros[68];
};
ZV_SCHEMA(RegionalCountSettings, ZV_FIELD(chnid, "chnid").required().range(0, 63),
          ZV_FIELD(sensitivity, "sensitivity"), ZV_FIELD(min_obj_x, "minObjX"), ZV_FIELD(min_obj_y, "minObjY"),
          ZV_FIELD(min_obj_width, "minObjWidth"), ZV_FIELD(min_obj_height, "minObjHeight"),
          ZV_FIELD(max_obj_x, "maxObjX"), ZV_FIELD(max_obj_y, "maxObjY"), ZV_FIELD(max_obj_width, "maxObjWidth"),
          ZV_FIELD(max_obj_height, "maxObjHeight"), ZV_RECORDS(regions, "regional"),
          ZV_FIELD(result, "result").out_only(), ZV_RESERVED(zeros));
static_assert(sizeof(RegionalCountSettings) == 736);

// ---- Fisheye ----

// Fisheye modes of a channel (3231, reply 8232).
struct FisheyeSettings {
  int32_t chnid;
  int32_t fishmount;
  int32_t fishdisplay;
  int32_t fishcorrect;
  int32_t result;
};
ZV_SCHEMA(FisheyeSettings, ZV_FIELD(chnid, "chnid").required().range(0, 63), ZV_FIELD(fishmount, "fishmount"),
          ZV_FIELD(fishdisplay, "fishdisplay"), ZV_FIELD(fishcorrect, "fishcorrect"),
          ZV_FIELD(result, "result").out_only());
static_assert(sizeof(FisheyeSettings) == 20);

// A camera not yet added, by address and credentials (3373; 3374 adds the modes to set).
struct FisheyeProbe {
  char ddns[64];
  char ipaddr[64];
  char username[64];
  char password[64];
  int32_t port;
};
ZV_SCHEMA(FisheyeProbe, ZV_FIELD(ddns, "ddns").whole().absent(""), ZV_FIELD(ipaddr, "ipaddr").whole().absent(""),
          ZV_FIELD(username, "username").whole().absent(""),
          ZV_FIELD(password, "password").whole().absent(""),
          ZV_FIELD(port, "port"));
static_assert(sizeof(FisheyeProbe) == 260);

struct FisheyeProbeSet {
  FisheyeProbe camera;
  int32_t transfer;
  int32_t install;
  int32_t display;
};
ZV_SCHEMA(FisheyeProbeSet, ZV_INTERNAL(camera), ZV_FIELD(transfer, "transfer"), ZV_FIELD(install, "install"),
          ZV_FIELD(display, "display"));
static_assert(sizeof(FisheyeProbeSet) == 272);

struct FisheyeProbeReply {
  int32_t support;  // 1 = fisheye
  int32_t transfer;
  int32_t install;
  int32_t display;
  int32_t stream_cnt;
};
ZV_SCHEMA(FisheyeProbeReply, ZV_FIELD(support, "support"), ZV_FIELD(transfer, "transfer"),
          ZV_FIELD(install, "install"), ZV_FIELD(display, "display"), ZV_FIELD(stream_cnt, "streamCnt"));
static_assert(sizeof(FisheyeProbeReply) == 20);

// ---- Messages (the core answers N with N + 5000) ----
inline constexpr Exchange<int32_t, VcaLineRecordV2> kVcaLineV2Read{1209, 6209, "vca lines v2"};
inline constexpr Exchange<VcaLineRecordV2, int32_t> kVcaLineV2Set{1210, 6210, "vca lines v2 set"};
inline constexpr Exchange<int32_t, VcaSettingsV2> kVcaSettingsV2Read{1211, 6211, "vca settings v2"};
inline constexpr Exchange<VcaSettingsV2, int32_t> kVcaSettingsV2Set{1212, 6212, "vca settings v2 set"};
inline constexpr Exchange<int32_t, ZoomState> kZoomStateRead{1215, 6215, "zoom state"};
inline constexpr Exchange<int32_t, PlateFormatFilter> kPlateFormatRead{1207, 6207, "plate format filter"};
inline constexpr Exchange<PlateFormatFilter, int32_t> kPlateFormatSet{1208, 6208, "plate format filter set"};
inline constexpr Exchange<int32_t, RegionalCountSettings> kRegionalCountRead{1220, 6220, "regional counting"};
inline constexpr Exchange<RegionalCountSettings, int32_t> kRegionalCountSet{1221, 6221, "regional counting set"};
inline constexpr Notice<ChannelMask64> kSmartEventChanged{1412, "smart event changed"};
inline constexpr Notice<PlateEventChange> kPlateEventChanged{1416, "plate event changed"};
inline constexpr Exchange<FisheyeSettings, int32_t> kFisheyeSet{3231, 8231, "fisheye set"};
inline constexpr Exchange<int32_t, FisheyeSettings> kFisheyeRead{3232, 8232, "fisheye"};
inline constexpr Exchange<int32_t, VcaRegionRecord> kRegionEntranceRead{3237, 8237, "region entrance"};
inline constexpr Exchange<int32_t, VcaRegionRecord> kRegionExitRead{3238, 8238, "region exit"};
inline constexpr Exchange<int32_t, VcaRegionRecord> kAdvancedMotionRead{3239, 8239, "advanced motion"};
inline constexpr Exchange<int32_t, VcaRegionRecord> kTamperRead{3240, 8240, "tamper"};
inline constexpr Exchange<int32_t, VcaLineRecord> kLineCrossingRead{3241, 8241, "line crossing"};
inline constexpr Exchange<int32_t, VcaRegionRecord> kLoiteringRead{3242, 8242, "loitering"};
inline constexpr Exchange<int32_t, VcaRegionRecord> kHumanRead{3243, 8243, "human detection"};
inline constexpr Exchange<VcaRegionRecord, int32_t> kRegionEntranceSet{3244, 8244, "region entrance set"};
inline constexpr Exchange<VcaRegionRecord, int32_t> kRegionExitSet{3245, 8245, "region exit set"};
inline constexpr Exchange<VcaRegionRecord, int32_t> kAdvancedMotionSet{3246, 8246, "advanced motion set"};
inline constexpr Exchange<VcaRegionRecord, int32_t> kTamperSet{3247, 8247, "tamper set"};
inline constexpr Exchange<VcaLineRecord, int32_t> kLineCrossingSet{3248, 8248, "line crossing set"};
inline constexpr Exchange<VcaRegionRecord, int32_t> kLoiteringSet{3249, 8249, "loitering set"};
inline constexpr Exchange<VcaRegionRecord, int32_t> kHumanSet{3250, 8250, "human detection set"};
inline constexpr Exchange<int32_t, PeopleCountSettings> kPeopleCountRead{3253, 8253, "people counting"};
inline constexpr Exchange<PeopleCountSettings, int32_t> kPeopleCountSet{3254, 8254, "people counting set"};
inline constexpr Exchange<int32_t, VcaSupport> kVcaSupportRead{3257, 8257, "vca support", 0};
inline constexpr Exchange<int32_t, VcaSettings> kVcaSettingsRead{3259, 8259, "vca settings"};
inline constexpr Exchange<VcaSettings, int32_t> kVcaSettingsSet{3260, 8260, "vca settings set"};
inline constexpr Exchange<PeopleCountReset, int32_t> kPeopleCountResetSet{3261, 8261, "people counting reset"};
inline constexpr Exchange<int32_t, VcaObjectLeftRecord> kObjectLeftRead{3268, 8268, "object left"};
inline constexpr Exchange<VcaObjectLeftRecord, int32_t> kObjectLeftSet{3269, 8269, "object left set"};
inline constexpr Exchange<int32_t, AnprSettings> kAnprSettingsRead{3289, 8289, "plate recognition"};
inline constexpr Exchange<AnprSettings, int32_t> kAnprSettingsSet{3290, 8290, "plate recognition set"};
inline constexpr Exchange<int32_t, VcaSupportVersion> kVcaVersionRead{3293, 8293, "vca support version"};
inline constexpr Exchange<FisheyeProbe, FisheyeProbeReply> kFisheyeProbe{3373, 8373, "fisheye probe"};
inline constexpr Exchange<FisheyeProbeSet, int32_t> kFisheyeProbeSet{3374, 8374, "fisheye probe set"};
