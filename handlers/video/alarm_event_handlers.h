// The generic handlers of the video module for video loss, the older alarm-input sets, single PTZ
// action entries and the cameras' own alarms: video_module.cc binds them to their identifiers.
#pragma once

#include "common/exchange.h"
#include "common/record_json.h"
#include "common/reply_forms.h"
#include "common/request.h"
#include "handlers/video/alarm_event_kinds.h"
#include "platform/zvdb/engine.h"
#include "platform/zvdb/records/channel_mask.h"
#include "platform/zvdb/zvdb.h"

// Video loss and alarm-input links (video_loss.cc).

// A plan given as the plain channel (or input) number, printed in output form: any number when
// `limit` is 0, else only 0..limit-1 (the plan reads of motion, video loss and alarm inputs).
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

// PTZ action entries and camera-side alarms (snapshot_alarms.cc).

// A PTZ action entry added ("/6160", `update` false) or moved from source "old_chn_id" and
// changed ("/6163").
void ptz_entry_store(const char* argument, bool update);
// A camera-side alarm set ("/6091", "/6093"): the stored record (channels text and mask), the
// camera's message and the operation-log record (parameter 923 or 924).
template <class Stored, class Camera>
void camera_alarm_set(const char* argument, const zvdb::Table<Stored>* table, const Notice<Camera>* notice,
                      int32_t log_param) {
  JsonPtr request = parse_request(argument);
  Stored stored{};
  Camera camera{};
  if (!request || !read_record(request.get(), &stored) || !read_record(request.get(), &camera)) return;
  stored.tri_channels_mask = tri_channels_mask_of(stored.tri_channels, sizeof stored.tri_channels);
  {
    SettingsWrite write;
    write.check(table->write(kZvdbPath, &stored));
    if (!write.commit()) return (void)reply_cgi_error(REPLY_TEXT);
  }
  core_tell(*notice, camera);
  log_event_change(log_param, stored.cam_id + 1);
  reply_ok();
}

// A camera-side alarm read ("/6090", "/6092"): the plain channel number (0..63), the camera's
// record as the reply.
template <class R>
void camera_alarm_read(const char* argument, const Exchange<int32_t, R>* exchange) {
  if (argument == nullptr) return;
  const int channel = decimal_argument(argument);
  if (channel < 0 || channel >= kMaxChannels) return;
  reply_core_record<R>(core_ask(*exchange, channel, REPLY_JSON));
}
