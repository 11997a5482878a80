// The recorder's analytics event records: the action record of a smart event kind, a plate list
// mode or a counting region of one channel (one layout for all three), and one row of the plate
// list database. The POS and face event records share the offsets checked below.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/zvdb/records/motion_record.h"
#include "platform/zvrecord/schema.h"

constexpr int kSmartEventKinds = 9;      // 0 region entrance ... 8 object left/removed
constexpr int kPlateModes = 4;           // -1 the plate event, 0 black, 1 white, 2 visitor
constexpr int kCountingRegions = 4;      // regional people counting
constexpr int kPlateTypeSize = 16;
constexpr int kPlateTextSize = 64;
constexpr int kPlateListLimit = 10000;   // most plates the list holds, and most per request

struct SmartEventRecord {
  int32_t channel;
  int32_t enable;
  uint32_t tri_channels_mask;            // bit n = character n of tri_channels is '1' (n < 32)
  char tri_channels[kEventTextSize];
  char pad0[3];
  int32_t tri_alarms;
  int32_t interval;
  int32_t email_interval;
  char tri_chn_alarms[2][kEventTextSize];
  char pad1[2];
  int32_t sub;                           // the kind, plate mode + 1 or region it belongs to (its key)
  int32_t ptz_interval;
  int32_t alarmout_interval;
  int32_t white_interval;
  int32_t email_pic_enable;
  char tri_channels_pic[kEventTextSize];
  char pad2[3];
  int32_t audio_id;
};
ZV_SCHEMA(SmartEventRecord, ZV_FIELD(channel, "chnid").out_only(), ZV_FIELD(enable, "enable"),
          ZV_INTERNAL(tri_channels_mask), ZV_FIELD(tri_channels, "triChannels"), ZV_RESERVED(pad0),
          ZV_FIELD(tri_alarms, "triAlarms"), ZV_FIELD(interval, "interval"),
          ZV_FIELD(email_interval, "email_interval"),
          ZV_INTERNAL(tri_chn_alarms),  // "triChnAlarms": two texts, read and printed by the handler
          ZV_RESERVED(pad1), ZV_INTERNAL(sub), ZV_FIELD(ptz_interval, "ptz_interval"),
          ZV_FIELD(alarmout_interval, "alarmout_interval"), ZV_FIELD(white_interval, "white_interval"),
          ZV_FIELD(email_pic_enable, "email_pic_enable"), ZV_FIELD(tri_channels_pic, "tri_channels_pic"),
          ZV_RESERVED(pad2), ZV_FIELD(audio_id, "audioId"));
static_assert(sizeof(SmartEventRecord) == 316);

// One plate of the plate list ("/mnt/nand/app/anpr.db"), keyed by its plate text.
struct PlateListEntry {
  char type[kPlateTypeSize];  // the list type text as the page sends it
  char plate[kPlateTextSize];
};
ZV_SCHEMA(PlateListEntry, ZV_FIELD(type, "type"), ZV_FIELD(plate, "plate"));
static_assert(sizeof(PlateListEntry) == 80);
