// Records of the camera applications that the recorder keeps in its configuration database:
// people-counting groups and their automatic reports, POS terminals, and the event record that
// the group, POS and face events share. Same bytes on the 32-bit device and on the host.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/zvdb/records/motion_record.h"
#include "platform/zvrecord/schema.h"

constexpr int kCountingGroups = 4;
constexpr int kPosDevices = 4;
constexpr int kCountingReports = 4;
constexpr int kFaceChannels = 8;  // face capture is configured for channels 0..7

// One people-counting group: the cameras whose counts add up, the most people allowed to stay,
// the live-view tips and the daily automatic reset.
struct CountingGroup {
  int32_t groupid;
  int32_t enable;
  int32_t stays;
  int32_t liveview_auto_reset;
  int32_t auto_day;
  int32_t liveview_font_size;
  int32_t reserved0;
  char name[64];
  char auto_day_time[64];
  char tri_channels[kEventTextSize];  // '0'/'1' per channel
  char liveview_green_tips[128];
  char liveview_red_tips[128];
  char reserved1[3];
};
// The group set reads every member but the id (it stays the entry's position).
ZV_SCHEMA(CountingGroup, ZV_FIELD(groupid, "groupid").out_only(), ZV_FIELD(enable, "enable"),
          ZV_FIELD(stays, "stays"), ZV_FIELD(liveview_auto_reset, "liveview_auto_reset"),
          ZV_FIELD(auto_day, "auto_day"), ZV_FIELD(liveview_font_size, "liveview_font_size"),
          ZV_RESERVED(reserved0), ZV_FIELD(name, "name"), ZV_FIELD(auto_day_time, "auto_day_time"),
          ZV_FIELD(tri_channels, "tri_channels"), ZV_FIELD(liveview_green_tips, "liveview_green_tips"),
          ZV_FIELD(liveview_red_tips, "liveview_red_tips"), ZV_RESERVED(reserved1));
static_assert(sizeof(CountingGroup) == 480);

// The event record of a counting group, a POS terminal or a face channel (the core reads it):
// the trigger-channel mask at 8 rebuilt from the "triChannels" text (bits 0..31), the action
// fields and the texts of the action block.
struct AppEventRecord {
  int32_t id;                              // group, POS terminal or channel
  int32_t reserved0;
  uint32_t tri_channels_mask;
  char tri_channels[kEventTextSize];       // 64 characters kept in a 68-byte field
  char reserved1[3];
  int32_t tri_alarms;
  int32_t interval;
  int32_t email_interval;
  char tri_chn_alarms[2][kEventTextSize];
  char reserved2[6];
  int32_t ptz_interval;
  int32_t alarmout_interval;
  int32_t white_interval;
  int32_t email_pic_enable;
  char tri_channels_pic[kEventTextSize];   // 64 characters kept in a 68-byte field
  char reserved3[3];
  int32_t audio_id;
};
ZV_SCHEMA(AppEventRecord, ZV_INTERNAL(id), ZV_RESERVED(reserved0), ZV_INTERNAL(tri_channels_mask),
          ZV_FIELD(tri_channels, "triChannels"), ZV_RESERVED(reserved1), ZV_FIELD(tri_alarms, "triAlarms"),
          ZV_FIELD(interval, "interval"), ZV_FIELD(email_interval, "email_interval"),
          ZV_INTERNAL(tri_chn_alarms),  // "triChnAlarms": two texts, read and printed by the handler
          ZV_RESERVED(reserved2), ZV_FIELD(ptz_interval, "ptz_interval"),
          ZV_FIELD(alarmout_interval, "alarmout_interval"), ZV_FIELD(white_interval, "white_interval"),
          ZV_FIELD(email_pic_enable, "email_pic_enable"), ZV_FIELD(tri_channels_pic, "tri_channels_pic"),
          ZV_RESERVED(reserved3), ZV_FIELD(audio_id, "audioId"));
static_assert(sizeof(AppEventRecord) == 316);

// A POS terminal: its connection, where and how its receipt text is overlaid, the words hidden.
struct PosRecord {
  int32_t id;
  int32_t enable;
  char name[36];
  int32_t protocol;
  int32_t connection_mode;
  char ip[64];
  int32_t liveview_display;
  int32_t display_channel;
  int32_t start_x;
  int32_t start_y;
  int32_t area_width;
  int32_t area_height;
  int32_t character_encodeing;
  int32_t font_size;
  int32_t font_color;
  int32_t overlay_mode;
  int32_t display_time;
  int32_t timeout;
  char privacy1[64];
  char privacy2[64];
  char privacy3[64];
  int32_t port;
};
ZV_SCHEMA(PosRecord, ZV_FIELD(id, "id").required().range(0, kPosDevices - 1), ZV_FIELD(enable, "enable"),
          ZV_FIELD(name, "name").chars(32), ZV_FIELD(protocol, "protocol"),
          ZV_FIELD(connection_mode, "connectionMode"), ZV_FIELD(ip, "ip").whole(),
          ZV_FIELD(liveview_display, "liveviewDisplay"), ZV_FIELD(display_channel, "displayChannel"),
          ZV_FIELD(start_x, "startX"), ZV_FIELD(start_y, "startY"), ZV_FIELD(area_width, "areaWidth"),
          ZV_FIELD(area_height, "areaHeight"), ZV_FIELD(character_encodeing, "characterEncodeing"),
          ZV_FIELD(font_size, "fontSize"), ZV_FIELD(font_color, "fontColor"),
          ZV_FIELD(overlay_mode, "overlayMode"), ZV_FIELD(display_time, "displayTime"),
          ZV_FIELD(timeout, "timeout"), ZV_FIELD(privacy1, "privacy1"), ZV_FIELD(privacy2, "privacy2"),
          ZV_FIELD(privacy3, "privacy3"), ZV_FIELD(port, "port").range(0, 65535));
static_assert(sizeof(PosRecord) == 360);

// One automatic people-counting report: what it covers, when it is exported and where to.
struct CountingReport {
  int32_t report_type;
  int32_t enable;
  char tri_channels[kEventTextSize];  // '0'/'1' per channel
  char tri_groups[17];                // '0'/'1' per group
  char reserved[2];
  int32_t stay_length_type;
  int32_t stay_length_value;
  int32_t backup_day;
  char backup_time[32];
  int32_t file_format;
  int32_t time_range;
  int32_t backup_to;
  int32_t line_mask;
};
ZV_SCHEMA(CountingReport, ZV_FIELD(report_type, "reportType"), ZV_FIELD(enable, "enable"),
          ZV_FIELD(tri_channels, "triChannels"), ZV_FIELD(tri_groups, "triGroups"), ZV_RESERVED(reserved),
          ZV_FIELD(stay_length_type, "stayLengthType"), ZV_FIELD(stay_length_value, "stayLengthValue"),
          ZV_FIELD(backup_day, "backupDay"), ZV_FIELD(backup_time, "backupTime").whole(),
          ZV_FIELD(file_format, "fileFormat"), ZV_FIELD(time_range, "timeRange"),
          ZV_FIELD(backup_to, "backupTo"), ZV_FIELD(line_mask, "lineMask"));
static_assert(sizeof(CountingReport) == 152);
