// On-screen display settings and privacy masks of one channel (configuration database).
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/zvrecord/schema.h"

constexpr int kOsdNameSize = 64;

struct OsdRecord {
  int32_t cam_id;
  char cam_name[kOsdNameSize];  // also the channel's display name ("CAM1" ... by default)
  int32_t show_name;
  int32_t show_date;
  int32_t show_week;
  int32_t date_format;
  int32_t time_format;
  double date_pos_x;
  double date_pos_y;
  double name_pos_x;
  double name_pos_y;
  int32_t alpha;
  int32_t reserved;  // keeps the size a multiple of 8 on every target
};

// The JSON form is the channel's OSD page: every member required, positions as fractions >= 0.
ZV_SCHEMA(OsdRecord,
          ZV_FIELD(cam_id, "camId").required().range(0, 63),
          ZV_FIELD(cam_name, "camName").required(),
          ZV_FIELD(show_name, "showName").required().range(0, 1),
          ZV_FIELD(show_date, "showDate").required().range(0, 1),
          ZV_FIELD(show_week, "showWeek").required().range(0, 1),
          ZV_FIELD(date_format, "dateFormat").required().range(0, 3),
          ZV_FIELD(time_format, "timeFormat").required().range(0, 1),
          ZV_FIELD(date_pos_x, "datePosX").required().at_least(0),
          ZV_FIELD(date_pos_y, "datePosY").required().at_least(0),
          ZV_FIELD(name_pos_x, "namePosX").required().at_least(0),
          ZV_FIELD(name_pos_y, "namePosY").required().at_least(0),
          ZV_FIELD(alpha, "alpha").required().at_least(0),
          ZV_RESERVED(reserved));

static_assert(sizeof(OsdRecord) == 128);

constexpr int kPrivacyMaskAreas = 24;

struct PrivacyMaskArea {
  int32_t area_id;
  int32_t enable;
  int32_t start_x;
  int32_t start_y;
  int32_t area_width;
  int32_t area_height;
  int32_t width;
  int32_t height;
  int32_t fill_color;
};

ZV_SCHEMA(PrivacyMaskArea,
          ZV_FIELD(area_id, "area_id"), ZV_FIELD(enable, "enable"), ZV_FIELD(start_x, "start_x"),
          ZV_FIELD(start_y, "start_y"), ZV_FIELD(area_width, "area_width"),
          ZV_FIELD(area_height, "area_height"), ZV_FIELD(width, "width"), ZV_FIELD(height, "height"),
          ZV_FIELD(fill_color, "fill_color"));

static_assert(sizeof(PrivacyMaskArea) == 36);

// The recorder-side privacy masks of one channel; id is the channel.
struct PrivacyMaskEntry {
  int32_t id;
  PrivacyMaskArea areas[kPrivacyMaskAreas];
};

ZV_SCHEMA(PrivacyMaskEntry, ZV_FIELD(id, "id"), ZV_RECORDS(areas, "area"));

static_assert(sizeof(PrivacyMaskEntry) == 4 + 24 * 36);
