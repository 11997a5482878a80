// Handlers of the video module for video loss, the older alarm-input sets, snapshots, single PTZ
// action entries and the cameras' own alarms (rows in video_module.cc).
#pragma once

#include "common/exchange.h"
#include "platform/zvdb/engine.h"
#include "platform/zvdb/records/channel_mask.h"

// Video loss and alarm-input links (video_loss.cc).
void video_loss_read_handler(const char* argument);             // "/6014"
void video_loss_set_handler(const char* argument);              // "/6016"
void video_loss_plan_set_handler(const char* argument);         // "/6017"
void video_loss_actions_set_handler(const char* argument);      // "/6095"
void video_loss_alarms_set_handler(const char* argument);       // "/6123"
void alarm_in_trigger_copy_handler(const char* argument);       // "/6127"
void alarm_in_effective_plan_set_handler(const char* argument);   // "/6170"
// A plan given as the plain channel (or input) number, printed in output form: any number when
// `limit` is 0, else only 0..limit-1.
void event_plan_read(const char* argument, const zvdb::TableDesc* plans, int limit);
// The records of video loss (kVideoLossRows) or of the alarm inputs (kAlarmInRows) for the sets of
// a list of channels or inputs: a plan of `plans`, the enable flag and interval, and with
// `with_snapshot` the snapshot text.
struct RowKind;
extern const RowKind kVideoLossRows;
extern const RowKind kAlarmInRows;
void multi_plan_set(const char* argument, const RowKind* kind, const zvdb::TableDesc* plans, bool with_snapshot);
// The PTZ list of source "camId" (type `ptz_type`, `keys` sources) given to a list of channels
// or inputs, with the request's plan of `plans`; `notice` tells the listed ones.
void ptz_list_copy(const char* argument, int ptz_type, int keys, const zvdb::TableDesc* plans,
                   const Notice<ChannelMask64>* notice);

// Snapshots, PTZ action entries and camera-side alarms (snapshot_alarms.cc).
void snapshot_plan_read_handler(const char* argument);      // "/6174"
void snapshot_plan_set_handler(const char* argument);       // "/6175"
void snapshot_read_handler(const char* argument);           // "/6176"
void snapshot_set_handler(const char* argument);            // "/6177"
void snapshot_control_handler(const char* argument);        // "/6178"
// A PTZ action entry added ("/6160", `update` false) or moved from source "old_chn_id" and
// changed ("/6163").
void ptz_entry_store(const char* argument, bool update);
void ptz_entries_read_handler(const char* argument);        // "/6161"
void ptz_entry_delete_handler(const char* argument);        // "/6162"
void ptz_entries_delete_handler(const char* argument);      // "/6164"
void camera_io_alarm_read_handler(const char* argument);    // "/6090"
void camera_io_alarm_set_handler(const char* argument);     // "/6091"
void camera_audio_alarm_read_handler(const char* argument); // "/6092"
void camera_audio_alarm_set_handler(const char* argument);  // "/6093"
void trigger_alarms_set_handler(const char* argument);      // "/6998"
void trigger_alarms_read_handler(const char* argument);     // "/6999"
