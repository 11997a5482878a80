// Messages of the camera setup pages with the core: searching the network for cameras, testing a
// login against one and giving it a new address; the camera's image, day/night and exposure
// settings; heat map, auto tracking and watermark. Every payload is a fixed little-endian record
// with its schema, and every message is declared once at the end (common/exchange.h). The core
// answers message N with N + 5000.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/exchange.h"
#include "common/messages/ptz.h"
#include "platform/zvdb/records/channel_mask.h"
#include "platform/zvdb/records/schedule_record.h"
#include "platform/zvrecord/schema.h"

constexpr int kCameraProtocolLast = 7;  // protocol numbers 0..7
constexpr int kPasswordChars = 32;      // a 33-byte password field (36 bytes reserved)

// ---- Search, connection test, address change ----

// One camera a search found (records of reply 8200).
struct SearchResult {
  char ip_addr[32];
  char mac_addr[32];
  int32_t manage_port;
  int32_t protocol;
  char vendor[192];
  char sn[128];
  char fw_version[64];
  char model[64];
  int32_t model_id;
  char netmask[32];
  char dns[32];
  char gateway[32];
  char netif[8];
  int32_t active_status;
  char name[64];
  char sn_real[64];
};
ZV_SCHEMA(SearchResult, ZV_FIELD(ip_addr, "ipAddr"), ZV_FIELD(mac_addr, "macAddr"),
          ZV_FIELD(manage_port, "managePort"), ZV_FIELD(protocol, "protocol"), ZV_FIELD(vendor, "vendor"),
          ZV_FIELD(sn, "sn"), ZV_FIELD(fw_version, "fwVersion"), ZV_FIELD(model, "model"),
          ZV_FIELD(model_id, "modelId"), ZV_FIELD(netmask, "netmask"), ZV_FIELD(dns, "dns"),
          ZV_FIELD(gateway, "gateway"), ZV_FIELD(netif, "netif"), ZV_FIELD(active_status, "active_status"),
          ZV_FIELD(name, "name"), ZV_FIELD(sn_real, "snReal"));
static_assert(sizeof(SearchResult) == 760);

// A login to test (3202).
struct LoginTest {
  char ip_addr[32];
  int32_t manage_port;
  char user_name[64];
  char password[36];
  int32_t cam_protocol;
  char reserved[68];
};
ZV_SCHEMA(LoginTest, ZV_FIELD(ip_addr, "ipAddr").whole().required(),
          ZV_FIELD(manage_port, "managePort").required().range(0, 65535),
          ZV_FIELD(user_name, "userName").whole(), ZV_FIELD(password, "password").chars(kPasswordChars).whole(),
          ZV_FIELD(cam_protocol, "camProtocol").required().range(0, kCameraProtocolLast), ZV_RESERVED(reserved));
static_assert(sizeof(LoginTest) == 208);

// The same login in the second form (3227): a leading and a trailing zero word.
struct LoginTestAlt {
  int32_t reserved0;
  char ip_addr[32];
  int32_t manage_port;
  char user_name[64];
  char password[36];
  int32_t cam_protocol;
  int32_t reserved1;
};
ZV_SCHEMA(LoginTestAlt, ZV_RESERVED(reserved0), ZV_INTERNAL(ip_addr), ZV_INTERNAL(manage_port),
          ZV_INTERNAL(user_name), ZV_INTERNAL(password), ZV_INTERNAL(cam_protocol), ZV_RESERVED(reserved1));
static_assert(sizeof(LoginTestAlt) == 148);

// A new network address for a found camera (3205); the batch form (3229) adds the channel and a
// change number.
#define ZV_ADDRESS_CHANGE_MEMBERS \
  char mac_addr[48];              \
  char old_ipc_addr[32];          \
  char new_ipc_addr[32];          \
  char netmask[32];               \
  char gateway[32];               \
  char primary_dns[32];           \
  int32_t port;                   \
  char username[64];              \
  char password[36];              \
  int32_t protocol;               \
  char reserved0[64];             \
  char netif[6];                  \
  char reserved1[2];
#define ZV_ADDRESS_CHANGE_FIELDS                                                                       \
  ZV_FIELD(mac_addr, "macAddr").whole().required(), ZV_FIELD(old_ipc_addr, "oldIpcAddr").whole().required(),      \
      ZV_FIELD(new_ipc_addr, "newIpcAddr").whole().required(), ZV_FIELD(netmask, "netmask").whole().required(),   \
      ZV_FIELD(gateway, "gateway").whole().required(), ZV_FIELD(primary_dns, "primaryDNS").whole().required(),    \
      ZV_FIELD(port, "port").range(0, 65535), ZV_FIELD(username, "username").whole().required(),                  \
      ZV_FIELD(password, "password").required().chars(kPasswordChars).whole(),                            \
      ZV_FIELD(protocol, "protocol").range(0, kCameraProtocolLast), ZV_RESERVED(reserved0),               \
      ZV_FIELD(netif, "netif").whole().absent(""), ZV_RESERVED(reserved1)
struct AddressChange {
  ZV_ADDRESS_CHANGE_MEMBERS
};
ZV_SCHEMA(AddressChange, ZV_ADDRESS_CHANGE_FIELDS);
static_assert(sizeof(AddressChange) == 388);

struct AddressChangeEntry {
  ZV_ADDRESS_CHANGE_MEMBERS
  int32_t channel_id;
  int32_t modifynum;
};
ZV_SCHEMA(AddressChangeEntry, ZV_ADDRESS_CHANGE_FIELDS, ZV_FIELD(channel_id, "channelId").required().range(0, 63),
          ZV_FIELD(modifynum, "modifynum"));
static_assert(sizeof(AddressChangeEntry) == 396);
#undef ZV_ADDRESS_CHANGE_MEMBERS
#undef ZV_ADDRESS_CHANGE_FIELDS

// The outcome of the batch changes (reply 8230).
constexpr int kBatchResults = 64;
struct BatchChangeResult {
  char mac[48];
  int32_t result;
};
ZV_SCHEMA(BatchChangeResult, ZV_FIELD(mac, "mac"), ZV_FIELD(result, "result"));
static_assert(sizeof(BatchChangeResult) == 52);
struct BatchChangeResults {
  int32_t status;
  int32_t count;
  int32_t reserved[2];
  BatchChangeResult entries[kBatchResults];
};
ZV_SCHEMA(BatchChangeResults, ZV_INTERNAL(status), ZV_INTERNAL(count), ZV_RESERVED(reserved),
          ZV_RECORDS(entries, nullptr));
static_assert(sizeof(BatchChangeResults) == 3344);

// ---- Image settings ----

// How the camera produces its picture (reply 8221 after the channel; message 3280 after the
// channel list). Read as the write keys of "/2020" ("aflevel" is taken by hand); printed with
// the read keys.
struct ImageSettings {
  int32_t smartir, whiteblance, focusmode, antiblurry, wdrenable, wdrlevel, wdrstarthour, wdrstartminute,
      wdrstophour, wdrstopminute, regiontype, hlcmode, exclude, exposemode;
  char exposeregion[64];
  int32_t model_type, imageschemode, hlcday, hlcnight, redgain, bluegain, defogmode, defoglevel, dismode,
      exposetime, exposegain, aflevel, hlclevel, exposurectrl, enblur, deblur;
  char sdkversion[32];
  int32_t lens_type, reduce_video_stuttering;
};
ZV_SCHEMA(ImageSettings, ZV_FIELD(smartir, "smartir"), ZV_FIELD(whiteblance, "whiteblance"),
          ZV_FIELD(focusmode, "focusmode"), ZV_FIELD(antiblurry, "antiblurry"), ZV_FIELD(wdrenable, "wdrenable"),
          ZV_FIELD(wdrlevel, "wdrlevel"), ZV_FIELD(wdrstarthour, "wdrstarthour"),
          ZV_FIELD(wdrstartminute, "wdrstartminute"), ZV_FIELD(wdrstophour, "wdrstophour"),
          ZV_FIELD(wdrstopminute, "wdrstopminute"), ZV_FIELD(regiontype, "regiontype"),
          ZV_FIELD(hlcmode, "hlcmode"), ZV_FIELD(exclude, "exclude"), ZV_FIELD(exposemode, "exposemode"),
          ZV_FIELD(exposeregion, "exposeregion"), ZV_FIELD(model_type, "modelType").in_only(),
          ZV_FIELD(imageschemode, "imageschemode"), ZV_FIELD(hlcday, "hlcday"), ZV_FIELD(hlcnight, "hlcnight"),
          ZV_FIELD(redgain, "redgain"), ZV_FIELD(bluegain, "bluegain"), ZV_FIELD(defogmode, "defogmode"),
          ZV_FIELD(defoglevel, "defoglevel"), ZV_FIELD(dismode, "dismode").out_only(),
          ZV_FIELD(exposetime, "exposetime"), ZV_FIELD(exposegain, "exposegain"),
          ZV_FIELD(aflevel, "wdraflevel").out_only(), ZV_FIELD(hlclevel, "hlclevel"),
          ZV_FIELD(exposurectrl, "exposurectrl").out_only(), ZV_FIELD(enblur, "enblur"),
          ZV_FIELD(deblur, "deblur"), ZV_FIELD(sdkversion, "sdkversion").out_only(),
          ZV_FIELD(lens_type, "lensType"), ZV_FIELD(reduce_video_stuttering, "reduceVideoStuttering"));
static_assert(sizeof(ImageSettings) == 224);

struct ImageSettingsReply {
  int32_t id;
  ImageSettings settings;
};
ZV_SCHEMA(ImageSettingsReply, ZV_INTERNAL(id), ZV_INTERNAL(settings));
static_assert(sizeof(ImageSettingsReply) == 228);

constexpr int kImageChannels = 64;
struct ImageSettingsWrite {
  int32_t channels[kImageChannels];  // the listed channels in order, -1 in the rest
  ImageSettings settings;
};
ZV_SCHEMA(ImageSettingsWrite, ZV_INTERNAL(channels), ZV_INTERNAL(settings));
static_assert(sizeof(ImageSettingsWrite) == 480);

// The image extension (reply 8223 and message 3224, after the channel). "whiteLedLevel" is read
// by hand into smartwhitestrength.
struct ImageExtension {
  int32_t colorkiller, modestarthour, modestartminute, modestophour, modestopminute, exposurectrl, lighttype,
      mirctrl, localdisplay, ircutaddaytonight, ircutadnighttoday, corridormode, imagerotation, save_corridor,
      reserved, smart_ir_type, near_ir_level, far_ir_level, mid_ir_level, lencorrect, smart_ir_math,
      smart_ir_limit;
  char chipninterface[64];
  int32_t near_smartir_value, far_smartir_value, mid_smartir_value, len_correct_type, fovadjust;
  char sensortype[16];
  char productmodel[32];
  char softversion[32];
  int32_t smokeddomecover, smartwhitestrength, dn_refocus;
  char sdkversion[32];
  int32_t structuretype, keep_correct_aspect_ratio, day_night_sens, night_day_sens, zoom_limit;
};
ZV_SCHEMA(ImageExtension, ZV_FIELD(colorkiller, "colorkiller"), ZV_FIELD(modestarthour, "modestarthour"),
          ZV_FIELD(modestartminute, "modestartminute"), ZV_FIELD(modestophour, "modestophour"),
          ZV_FIELD(modestopminute, "modestopminute"), ZV_FIELD(exposurectrl, "exposurectrl"),
          ZV_FIELD(lighttype, "lighttype"), ZV_FIELD(mirctrl, "mirctrl"), ZV_FIELD(localdisplay, "localdisplay"),
          ZV_FIELD(ircutaddaytonight, "ircutaddaytonight"), ZV_FIELD(ircutadnighttoday, "ircutadnighttoday"),
          ZV_FIELD(corridormode, "corridormode"), ZV_FIELD(imagerotation, "imagerotation"),
          ZV_FIELD(save_corridor, "saveCorridor").in_only(), ZV_RESERVED(reserved),
          ZV_FIELD(smart_ir_type, "smartIRType"), ZV_FIELD(near_ir_level, "nearIRLevel"),
          ZV_FIELD(far_ir_level, "farIRLevel"), ZV_FIELD(mid_ir_level, "midIRLevel"),
          ZV_FIELD(lencorrect, "lencorrect"), ZV_FIELD(smart_ir_math, "smartIrMath").out_only(),
          ZV_FIELD(smart_ir_limit, "smartIrLimit").out_only(),
          ZV_FIELD(chipninterface, "chipninterface").out_only(),
          ZV_FIELD(near_smartir_value, "nearSmartirValue").out_only(),
          ZV_FIELD(far_smartir_value, "farSmartirValue").out_only(),
          ZV_FIELD(mid_smartir_value, "midSmartirValue").out_only(),
          ZV_FIELD(len_correct_type, "lenCorrectType").out_only(), ZV_FIELD(fovadjust, "fovadjust"),
          ZV_FIELD(sensortype, "sensortype").out_only(), ZV_FIELD(productmodel, "productmodel").out_only(),
          ZV_FIELD(softversion, "softversion").out_only(), ZV_FIELD(smokeddomecover, "smokeddomecover"),
          ZV_FIELD(smartwhitestrength, "smartwhitestrength").out_only(), ZV_FIELD(dn_refocus, "dnRefocus"),
          ZV_FIELD(sdkversion, "sdkversion").out_only(), ZV_FIELD(structuretype, "structuretype").out_only(),
          ZV_FIELD(keep_correct_aspect_ratio, "keepCorrectAspectRatio"),
          ZV_FIELD(day_night_sens, "dayNightSens"), ZV_FIELD(night_day_sens, "nightDaySens"),
          ZV_FIELD(zoom_limit, "zoomLimit").in_only());
static_assert(sizeof(ImageExtension) == 316);

struct ImageExtensionRecord {
  int32_t id;
  ImageExtension extension;
};
ZV_SCHEMA(ImageExtensionRecord, ZV_INTERNAL(id), ZV_INTERNAL(extension));
static_assert(sizeof(ImageExtensionRecord) == 320);

// ---- Day/night profiles ----

constexpr int kDayNightProfiles = 7;
struct DayNightProfile {
  int32_t valid;
  int32_t enable, start_hour, start_minute, end_hour, end_minute, exposure_level, min_shutter, max_shutter,
      gain_level, ir_cut_latency, ir_cut_state, ir_led_state, color_mode;
};
ZV_SCHEMA(DayNightProfile, ZV_INTERNAL(valid), ZV_FIELD(enable, "enable"), ZV_FIELD(start_hour, "startHour"),
          ZV_FIELD(start_minute, "startMinute"), ZV_FIELD(end_hour, "endHour"), ZV_FIELD(end_minute, "endMinute"),
          ZV_FIELD(exposure_level, "exposureLevel"), ZV_FIELD(min_shutter, "minShutter"),
          ZV_FIELD(max_shutter, "maxShutter"), ZV_FIELD(gain_level, "gainLevel"),
          ZV_FIELD(ir_cut_latency, "irCutLatency"), ZV_FIELD(ir_cut_state, "irCutState"),
          ZV_FIELD(ir_led_state, "irLedState"), ZV_FIELD(color_mode, "colorMode"));
static_assert(sizeof(DayNightProfile) == 56);

// A channel's seven profiles (reply 8278, message 3279: only profiles with valid 1 are taken).
struct DayNightProfiles {
  int32_t channel;
  DayNightProfile profiles[kDayNightProfiles];
};
ZV_SCHEMA(DayNightProfiles, ZV_INTERNAL(channel), ZV_RECORDS(profiles, nullptr));
static_assert(sizeof(DayNightProfiles) == 396);

// The day/night areas of a camera (reply 8271, 364 bytes) and their write (3288, 584 bytes).
// Both hold at most kDayNightAreaCapacity areas; a request's "cnt" and "area" are capped to it.
constexpr int kDayNightAreaCapacity = 16;
struct DayNightArea {
  int32_t left, top, right, bottom;
};
ZV_SCHEMA(DayNightArea, ZV_FIELD(left, "left"), ZV_FIELD(top, "top"), ZV_FIELD(right, "right"),
          ZV_FIELD(bottom, "bottom"));
static_assert(sizeof(DayNightArea) == 16);
struct DayNightAreas {
  int32_t chnid;
  int32_t enable;
  int32_t cnt;
  DayNightArea areas[kDayNightAreaCapacity];
  char reserved[96];
};
ZV_SCHEMA(DayNightAreas, ZV_FIELD(chnid, "chnid"), ZV_FIELD(enable, "enable"), ZV_FIELD(cnt, "cnt"),
          ZV_RECORDS(areas, nullptr), ZV_RESERVED(reserved));
static_assert(sizeof(DayNightAreas) == 364);
struct DayNightAreasWrite {
  DayNightAreas areas;
  char reserved[220];
};
ZV_SCHEMA(DayNightAreasWrite, ZV_INTERNAL(areas), ZV_RESERVED(reserved));
static_assert(sizeof(DayNightAreasWrite) == 584);

// One area removed (3284).
struct DayNightAreaDelete {
  int32_t chan_id;
  int32_t area_id;
};
ZV_SCHEMA(DayNightAreaDelete, ZV_FIELD(chan_id, "chan_id").required().range(0, 63),
          ZV_FIELD(area_id, "area_id").required().range(0, kDayNightAreaCapacity - 1));
static_assert(sizeof(DayNightAreaDelete) == 8);

// The camera's own weekly plans (8273/8277 and 3281/3283: 26180 bytes; 8275 and 3282: 29188
// bytes, whose tail the web side carries as zeros).
struct CameraPlan {
  int32_t channel;
  Schedule schedule;
};
ZV_SCHEMA(CameraPlan, ZV_INTERNAL(channel), ZV_INTERNAL(schedule));
static_assert(sizeof(CameraPlan) == 26180);
struct CameraPlanWide {
  int32_t channel;
  Schedule schedule;
  char tail[3008];
};
ZV_SCHEMA(CameraPlanWide, ZV_INTERNAL(channel), ZV_INTERNAL(schedule), ZV_RESERVED(tail));
static_assert(sizeof(CameraPlanWide) == 29188);

// The night mode of a camera (reply 6219).
struct NightMode {
  int32_t chnid;
  int32_t night_mode;
};
ZV_SCHEMA(NightMode, ZV_FIELD(chnid, "chnid"), ZV_FIELD(night_mode, "nightMode"));
static_assert(sizeof(NightMode) == 8);

// ---- Heat map, auto tracking, watermark ----

constexpr int kAreaTextSize = 300;  // "map_mask", "area": 299 characters
struct HeatMap {
  int32_t chnid, enable, sensitivity, minsize, mintime, adaptability;
  char map_mask[kAreaTextSize];
  Schedule effective;
};
ZV_SCHEMA(HeatMap, ZV_FIELD(chnid, "chnid"), ZV_FIELD(enable, "enable"), ZV_FIELD(sensitivity, "sensitivity"),
          ZV_FIELD(minsize, "minsize"), ZV_FIELD(mintime, "mintime"), ZV_FIELD(adaptability, "adaptability"),
          ZV_FIELD(map_mask, "map_mask"), ZV_INTERNAL(effective));
static_assert(sizeof(HeatMap) == 26500);

struct HeatMapWrite {
  ChannelMask64 copy;  // the channels of "copyChn" and the channel itself
  HeatMap map;
  int32_t reserved;
};
ZV_SCHEMA(HeatMapWrite, ZV_INTERNAL(copy), ZV_INTERNAL(map), ZV_RESERVED(reserved));
static_assert(sizeof(HeatMapWrite) == 26512);

struct Tracking {
  int32_t chnid, enable, show, sensitivity, time, manual_tracking, zoom_mode, zoom_number;
  Schedule schedule;
  char area[kAreaTextSize];
  int32_t human_vehicle_support, tracking_object, report_motion;
};
ZV_SCHEMA(Tracking, ZV_FIELD(chnid, "chnid"), ZV_FIELD(enable, "enable"), ZV_FIELD(show, "show"),
          ZV_FIELD(sensitivity, "sensitivity"), ZV_FIELD(time, "time"), ZV_FIELD(manual_tracking, "manual_tracking"),
          ZV_FIELD(zoom_mode, "zoom_mode"), ZV_FIELD(zoom_number, "zoom_number"), ZV_INTERNAL(schedule),
          ZV_FIELD(area, "area"), ZV_FIELD(human_vehicle_support, "humanVehicleSupport"),
          ZV_FIELD(tracking_object, "trackingObject"), ZV_FIELD(report_motion, "reportMotion"));
static_assert(sizeof(Tracking) == 26520);

struct TrackingWrite {
  ChannelMask64 channels;  // the '1's of "channels" and the channel itself
  Tracking tracking;
};
ZV_SCHEMA(TrackingWrite, ZV_INTERNAL(channels), ZV_INTERNAL(tracking));
static_assert(sizeof(TrackingWrite) == 26528);

struct Watermark {
  int32_t chnid;
  int32_t enable;
  char watermark[32];
};
ZV_SCHEMA(Watermark, ZV_FIELD(chnid, "chnid"), ZV_FIELD(enable, "enable"), ZV_FIELD(watermark, "watermark"));
static_assert(sizeof(Watermark) == 40);

constexpr int kCopyTextSize = 68;  // '0'/'1' per channel, at most 64 characters
struct WatermarkWrite {
  Watermark mark;
  char copy[kCopyTextSize];
};
ZV_SCHEMA(WatermarkWrite, ZV_INTERNAL(mark), ZV_INTERNAL(copy));
static_assert(sizeof(WatermarkWrite) == 108);

struct CameraIdentity {
  int32_t chnid;
  char ipaddr[32];
  char model[64];
  char fwversion[64];
};
ZV_SCHEMA(CameraIdentity, ZV_FIELD(chnid, "chnid"), ZV_FIELD(ipaddr, "ipaddr"), ZV_FIELD(model, "model"),
          ZV_FIELD(fwversion, "fwversion"));
static_assert(sizeof(CameraIdentity) == 164);

// A heat-map data query (3360); the reply 8360 is text of any length.
struct HeatMapQuery {
  int32_t chnid;
  int32_t main_type;
  int32_t sub_type;
  char time[64];
};
ZV_SCHEMA(HeatMapQuery, ZV_FIELD(chnid, "chnid").required().range(0, 63), ZV_FIELD(main_type, "mainType"),
          ZV_FIELD(sub_type, "subType"), ZV_FIELD(time, "time"));
static_assert(sizeof(HeatMapQuery) == 76);
struct HeatMapData {
  char text[1];
};
ZV_SCHEMA(HeatMapData, ZV_INTERNAL(text));

// ---- Messages ----

inline constexpr Exchange<int32_t, SearchResult> kCameraSearch{3200, 8200, "camera search", 0};
inline constexpr Exchange<LoginTest, int32_t> kLoginTest{3202, 8202, "login test"};
inline constexpr Exchange<AddressChange, int32_t> kAddressChange{3205, 8205, "address change"};
inline constexpr Exchange<LoginTestAlt, int32_t> kLoginTestAlt{3227, 8227, "login test alt"};
inline constexpr Notice<AddressChangeEntry> kAddressChangeBatch{3229, "address change batch"};
inline constexpr Exchange<NoPayload, BatchChangeResults> kAddressChangeResults{3230, 8230, "address change results"};
inline constexpr Exchange<int32_t, ImageSettingsReply> kImageRead{3221, 8221, "image read"};
inline constexpr Exchange<int32_t, ImageExtensionRecord> kImageExtensionRead{3223, 8223, "image extension read"};
inline constexpr Exchange<ImageExtensionRecord, int32_t> kImageExtensionSet{3224, 8224, "image extension set"};
inline constexpr Notice<ImageSettingsWrite> kImageSet{3280, "image set"};
inline constexpr Exchange<int32_t, DayNightProfiles> kProfilesRead{3278, 8278, "day night profiles"};
inline constexpr Notice<DayNightProfiles> kProfilesSet{3279, "day night profiles set"};
inline constexpr Exchange<int32_t, NightMode> kNightMode{1219, 6219, "night mode"};
inline constexpr Exchange<int32_t, DayNightAreas> kAreasRead{3271, 8271, "day night areas"};
inline constexpr Notice<DayNightAreasWrite> kAreasSet{3288, "day night areas set"};
inline constexpr Notice<DayNightAreaDelete> kAreaDelete{3284, "day night area delete"};
inline constexpr Exchange<int32_t, CameraPlan> kPlanARead{3273, 8273, "camera plan a"};
inline constexpr Exchange<int32_t, CameraPlanWide> kPlanBRead{3275, 8275, "camera plan b"};
inline constexpr Exchange<int32_t, CameraPlan> kPlanCRead{3277, 8277, "camera plan c"};
inline constexpr Notice<CameraPlan> kPlanASet{3281, "camera plan a set"};
inline constexpr Notice<CameraPlanWide> kPlanBSet{3282, "camera plan b set"};
inline constexpr Notice<CameraPlan> kPlanCSet{3283, "camera plan c set"};
inline constexpr Exchange<int32_t, HeatMap> kHeatMapRead{3358, 8358, "heat map read"};
inline constexpr Exchange<HeatMapWrite, int32_t> kHeatMapSet{3366, 8366, "heat map set"};
inline constexpr Exchange<HeatMapQuery, HeatMapData> kHeatMapData{3360, 8360, "heat map data", 0};
inline constexpr Exchange<int32_t, Tracking> kTrackingRead{3294, 8294, "tracking read"};
inline constexpr Exchange<TrackingWrite, int32_t> kTrackingSet{3375, 8375, "tracking set"};
inline constexpr Exchange<int32_t, Watermark> kWatermarkRead{1213, 6213, "watermark read"};
inline constexpr Exchange<WatermarkWrite, int32_t> kWatermarkSet{1216, 6216, "watermark set"};
// Whether the channel's camera has a head that can move (tracking, PTZ): the PTZ page asks the
// same message as its port check, declared there.
inline constexpr const auto& kTrackingSupport = kPtzPortCheck;
inline constexpr Exchange<int32_t, CameraIdentity> kCameraIdentity{2507, 7507, "camera identity"};
