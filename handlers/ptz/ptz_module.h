// PTZ control module: moving a channel's camera, presets, speeds and the PTZ status block
// (ptz_control.cc), and the serial PTZ ports, stored speeds, tours and the preset and tour
// listing (ptz_settings.cc).
#pragma once

#include <cstdint>

#include "common/exchange.h"
#include "common/oplog.h"
#include "common/request.h"

// Shared by the two halves: the operation-log record of a PTZ change (sub type 206), channel
// 0-based (logged 1-based).
inline void send_ptz_log(int32_t channel, int32_t param_type) { op_log_change(206, param_type, channel + 1); }
constexpr int32_t kPtzLogControl = 900;
constexpr int32_t kPtzLogSettings = 904;
// The end of a request the core is only told of: the notice, "OK", then the log record.
template <class P>
void tell_ok_and_log(const Notice<P>& notice, const P& payload, int32_t channel, int32_t param_type) {
  core_tell(notice, payload);
  reply_ok();
  send_ptz_log(channel, param_type);
}
