// The recorder's own device settings (configuration database): display outputs and audio, the
// weekly automatic reboot, UPnP port mapping and the address access filter.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/zvrecord/schema.h"

// Local display outputs and audio (one row).
struct DisplayConfig {
  int32_t main_resolution;
  int32_t reserved0[2];
  int32_t hdmi_audio_on;
  int32_t audio_output_on;
  int32_t audio_volume;       // 0..100 in steps of 10
  int32_t audio_stereo;
  int32_t sub_enable;         // the second output is on (the core sets it after message 1023)
  int32_t sub_resolution;
  int32_t reserved1[8];
  int32_t cur_control;        // 0: the web client may switch the second output
  int32_t reserved2[6];
};
ZV_SCHEMA(DisplayConfig, ZV_FIELD(main_resolution, "mainResolution"), ZV_RESERVED(reserved0),
          ZV_FIELD(hdmi_audio_on, "hdmiAudioOn").range(0, 1),
          ZV_FIELD(audio_output_on, "audioOutputOn").range(0, 1),
          ZV_FIELD(audio_volume, "audioVolume").range(0, 100), ZV_FIELD(audio_stereo, "audioStereo"),
          ZV_FIELD(sub_enable, "subEnable").out_only(), ZV_FIELD(sub_resolution, "subResolution"),
          ZV_RESERVED(reserved1), ZV_FIELD(cur_control, "curControl").out_only(), ZV_RESERVED(reserved2));
static_assert(sizeof(DisplayConfig) == 96);

// The weekly automatic reboot (one row).
struct AutoRebootConfig {
  int32_t enable;
  int32_t wday;     // 0..6 a day of the week (0 Sunday), 7 every day
  int32_t hour;
  int32_t minutes;
  int32_t seconds;
  int32_t reserved[27];
};
ZV_SCHEMA(AutoRebootConfig, ZV_FIELD(enable, "enable").keep_if_absent().range(0, 1),
          ZV_FIELD(wday, "wday").keep_if_absent().range(0, 7),
          ZV_FIELD(hour, "hour").keep_if_absent().range(0, 23),
          ZV_FIELD(minutes, "minutes").keep_if_absent().range(0, 59),
          ZV_FIELD(seconds, "seconds").keep_if_absent().range(0, 59), ZV_RESERVED(reserved));
static_assert(sizeof(AutoRebootConfig) == 128);

// UPnP port mapping (one row; also the payload of message 3720). The mapping statuses are the
// core's: 1 mapped, 0 not mapped.
struct UpnpConfig {
  int32_t enable;
  int32_t type;
  char reserved[128];
  int32_t external_http_port;
  int32_t http_status;
  int32_t external_rtsp_port;
  int32_t rtsp_status;
};
ZV_SCHEMA(UpnpConfig, ZV_FIELD(enable, "enable").keep_if_absent().range(0, 1),
          ZV_FIELD(type, "type").keep_if_absent().at_least(0), ZV_RESERVED(reserved),
          ZV_FIELD(external_http_port, "external_http_port").keep_if_absent().range(0, 65535),
          ZV_FIELD(http_status, "http_status").out_only(),
          ZV_FIELD(external_rtsp_port, "external_rtsp_port").keep_if_absent().range(0, 65535),
          ZV_FIELD(rtsp_status, "rtsp_status").out_only());
static_assert(sizeof(UpnpConfig) == 152);

// One address of the access filter (a list of at most 100).
constexpr int kAccessFilterMaxEntries = 100;
struct AccessFilterEntry {
  int32_t address_type;
  char address[32];
};
ZV_SCHEMA(AccessFilterEntry, ZV_FIELD(address_type, "address_type").at_least(0),
          ZV_FIELD(address, "address").whole().required());
static_assert(sizeof(AccessFilterEntry) == 36);
