// Messages of the camera applications (people-counting groups, camera firmware upgrade, POS
// terminals, counting reports, face capture): their payload records with their schemas, and every
// message declared once. Same bytes on the 32-bit device and on the development host.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/exchange.h"
#include "platform/zvrecord/schema.h"

// ---- People counting ----

// The counting page of one camera (3377): the channel and the page's URL.
struct CountingUrlQuery {
  int32_t chnid;
  char url[256];
};
ZV_SCHEMA(CountingUrlQuery, ZV_FIELD(chnid, "chnid").required(), ZV_FIELD(url, "url").whole());
static_assert(sizeof(CountingUrlQuery) == 260);

// Its answer (8377): status, channel, then the page's data as text up to the reply's end.
constexpr int kCountingDataSize = 1024;
struct CountingUrlReply {
  int32_t res;
  int32_t chnid;
  char data[kCountingDataSize];
};
ZV_SCHEMA(CountingUrlReply, ZV_FIELD(res, "res"), ZV_FIELD(chnid, "chnid"), ZV_INTERNAL(data));

// A group's event changed (2293): the group and -1 (no channel).
struct CountingEventChange {
  int32_t groupid;
  int32_t channel;
};
ZV_SCHEMA(CountingEventChange, ZV_INTERNAL(groupid), ZV_INTERNAL(channel));
static_assert(sizeof(CountingEventChange) == 8);

// ---- Camera firmware upgrade (channels 0..7) ----
constexpr int kFirmwareChannels = 8;
inline constexpr const char kCameraImagePath[] = "/dev/shm/updateIPCFM.bin";

// Is the image good for these cameras (3385): the channels, the complement of the channels whose
// settings are reset after the upgrade, and the image's size as the page saw it.
struct FirmwareCheck {
  uint64_t channels;
  uint64_t keep;
  int32_t file_size;
  char reserved[260];
};
ZV_SCHEMA(FirmwareCheck, ZV_INTERNAL(channels), ZV_INTERNAL(keep), ZV_INTERNAL(file_size), ZV_RESERVED(reserved));
static_assert(sizeof(FirmwareCheck) == 280);

// Upgrade these cameras (3379), from the image file or from the URL.
struct FirmwareStart {
  uint64_t channels;
  int64_t reset;
  char reserved[4];
  char url[128];
  char path[132];
};
ZV_SCHEMA(FirmwareStart, ZV_INTERNAL(channels), ZV_INTERNAL(reset), ZV_RESERVED(reserved), ZV_INTERNAL(url),
          ZV_INTERNAL(path));
static_assert(sizeof(FirmwareStart) == 280);

// Progress of an upgrade (8379, 8386): the channels and the status of channels 0..7.
struct FirmwareProgress {
  uint64_t channels;
  int32_t status[kFirmwareChannels];
};
ZV_SCHEMA(FirmwareProgress, ZV_INTERNAL(channels), ZV_INTERNAL(status));
static_assert(sizeof(FirmwareProgress) == 40);

// ---- Face capture (3381) ----
constexpr int kFaceShields = 4;
constexpr int kFaceCaptureModes = 3;

struct FaceShield {
  int32_t enable;
  char polygon_x[64];
  char polygon_y[64];
};
ZV_SCHEMA(FaceShield, ZV_FIELD(enable, "enable"), ZV_FIELD(polygon_x, "polygonX"),
          ZV_FIELD(polygon_y, "polygonY"));
static_assert(sizeof(FaceShield) == 132);

struct FaceCapture {
  int32_t reserved0;
  int32_t chn_id;
  char reserved1[132];
  int32_t enable;
  int32_t width;
  int32_t height;
  int32_t min_pixel;
  int32_t capture_mode;
  int32_t capture_quality[kFaceCaptureModes];
  int32_t snapshot_type;
  int32_t snapshot_interval;
  int32_t snapshot_background;
  int32_t pose_yaw;
  int32_t pose_roll;
  int32_t pose_pitch;
  int32_t blur_limit;
  char reserved2[16];
  char detection_polygon_x[64];
  char detection_polygon_y[64];
  int32_t upload_enable;
  int32_t upload_file_type;
  int32_t nas_enable;
  int32_t nas_file_type;
  int32_t email_enable;
  int32_t email_file_type;
  int32_t http_enable;
  int32_t http_notify_interval;
  char http_url[128];
  char http_user[64];
  char http_password[64];
  int32_t snapshot[kFaceCaptureModes];
  int32_t record_seconds;
  int32_t prerecord_seconds;
  int32_t post_enable;
  int32_t post_type;
  char reserved3[80];
  FaceShield shields[kFaceShields];
  int32_t attribute_enable;
  int32_t attribute_type;
  int32_t mosaic_enable;
  int32_t mosaic_mode_status;
  int32_t mutually_exclusive;
};
// The request's members (absent numbers 0, absent texts "(null)" but the HTTP post's address and
// login, which are empty: the camera would post to "(null)"; "shield" elements 0..3, the missing
// ones 0); "captureModeArray" is read by the handler.
ZV_SCHEMA(FaceCapture, ZV_RESERVED(reserved0), ZV_FIELD(chn_id, "chnId").required().range(0, 7),
          ZV_RESERVED(reserved1), ZV_FIELD(enable, "enable"), ZV_FIELD(width, "width"),
          ZV_FIELD(height, "height"), ZV_FIELD(min_pixel, "minPixel"), ZV_FIELD(capture_mode, "captureMode"),
          ZV_INTERNAL(capture_quality), ZV_FIELD(snapshot_type, "snapshotType"),
          ZV_FIELD(snapshot_interval, "snapshotInterval"), ZV_FIELD(snapshot_background, "snapshotBackground"),
          ZV_FIELD(pose_yaw, "poseYaw"), ZV_FIELD(pose_roll, "poseRoll"), ZV_FIELD(pose_pitch, "posePitch"),
          ZV_FIELD(blur_limit, "blurLimit"), ZV_RESERVED(reserved2),
          ZV_FIELD(detection_polygon_x, "detection_polygonX"), ZV_FIELD(detection_polygon_y, "detection_polygonY"),
          ZV_FIELD(upload_enable, "uploadEnable"), ZV_FIELD(upload_file_type, "uploadFileType"),
          ZV_FIELD(nas_enable, "nasEnable"), ZV_FIELD(nas_file_type, "nasFileType"),
          ZV_FIELD(email_enable, "emailEnable"), ZV_FIELD(email_file_type, "emailFileType"),
          ZV_FIELD(http_enable, "httpEnable"), ZV_FIELD(http_notify_interval, "httpNotifyInterval"),
          ZV_FIELD(http_url, "httpUrl").whole().absent(""), ZV_FIELD(http_user, "httpUser").whole().absent(""),
          ZV_FIELD(http_password, "httpPassword").whole().absent(""),
          ZV_INTERNAL(snapshot), ZV_FIELD(record_seconds, "recordSeconds"),
          ZV_FIELD(prerecord_seconds, "prerecordSeconds"), ZV_FIELD(post_enable, "postEnable"),
          ZV_FIELD(post_type, "postType"), ZV_RESERVED(reserved3), ZV_RECORDS(shields, "shield"),
          ZV_FIELD(attribute_enable, "attributeEnable"), ZV_FIELD(attribute_type, "attributeType"),
          ZV_FIELD(mosaic_enable, "mosaicEnable"), ZV_FIELD(mosaic_mode_status, "mosaicModeStatus"),
          ZV_FIELD(mutually_exclusive, "mutuallyExclusive"));
static_assert(sizeof(FaceCapture) == 1288);

// ---- Messages (the core answers N with N + 5000) ----
inline constexpr Exchange<int32_t, int32_t> kPosChanged{1421, 6421, "pos changed"};
// Its answer says only that the core reloaded the definitions: one of any length is taken.
inline constexpr Exchange<NoPayload, int32_t> kCountingReportsChanged{1423, 6423, "counting reports changed", 0};
inline constexpr Exchange<int32_t, int32_t> kCountingGroupsChanged{2290, 7290, "counting groups changed"};
// Group commands: 2291 clears the group's count, 2292 asks how many people stay in it.
inline constexpr Exchange<int32_t, int32_t> kCountingGroupReset{2291, 7291, "counting group reset"};
inline constexpr Exchange<int32_t, int32_t> kCountingGroupStaying{2292, 7292, "counting group staying"};
inline constexpr Exchange<CountingEventChange, int32_t> kCountingEventChanged{2293, 7293,
                                                                              "counting event changed"};
inline constexpr Exchange<CountingUrlQuery, CountingUrlReply> kCountingUrl{3377, 8377, "counting url",
                                                                           offsetof(CountingUrlReply, data)};
// Progress replies of any length are taken; the handlers read only whole records.
inline constexpr Exchange<FirmwareStart, FirmwareProgress> kFirmwareStart{3379, 8379, "camera firmware start", 0};
inline constexpr Exchange<FaceCapture, int32_t> kFaceCaptureSet{3381, 8381, "face capture set"};
inline constexpr Notice<int32_t> kFaceEventChanged{3383, "face event changed"};
inline constexpr Exchange<FirmwareCheck, int32_t> kFirmwareCheck{3385, 8385, "camera firmware check"};
inline constexpr Exchange<NoPayload, FirmwareProgress> kFirmwareProgress{3386, 8386, "camera firmware progress", 0};
inline constexpr Notice<int32_t> kFirmwareStop{3390, "camera firmware stop"};
