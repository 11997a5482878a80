// Helpers shared by the playback module's source files.
#pragma once

#include <cstdint>
#include <ctime>

#include "common/messages/playback.h"
#include "platform/zvfs/log_record.h"

namespace playback {

// A channel argument of the single-channel playback requests: a decimal 0..7.
bool parse_playback_channel(const char* text, int32_t* out);

// `text` as a local time in the strptime `format`, blanks allowed after it, with tm_isdst -1 (for
// mktime); false when it does not parse.
bool parse_local_time(const char* text, const char* format, struct tm* out);
inline constexpr const char kLocalTimeFormat[] = "%Y-%m-%d %H:%M:%S";

// Sends the operation-log record main type 4, parameter type 900 with `sub_type` and `channel`.
void send_playback_log(int64_t sub_type, int32_t channel);
// The same record, for a sender that has its own connection open (the download's stream).
OpLogRecord playback_log(int64_t sub_type, int32_t channel);

// Asks the core for the RTSP source of session `sid` and prints it with the 32-byte text field
// `play_time` (at most 31 characters, up to its NUL) as "realPlayTime"; the JSON error when the
// core does not answer.
void print_session_source(int32_t sid, const char (&play_time)[32]);

}  // namespace playback
