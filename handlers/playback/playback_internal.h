// Helpers shared by the playback module's source files, and the reply printers its callback calls.
#pragma once

#include <json-c/json.h>

#include <cstddef>
#include <cstdint>
#include <memory>

#include "common/payload_reader.h"
#include "handlers/playback/playback_records.h"

namespace playback {

struct JsonDeleter {
  void operator()(json_object* object) const { json_object_put(object); }
};
using JsonPtr = std::unique_ptr<json_object, JsonDeleter>;

// The request's JSON object; null when the argument is absent, not JSON, or not an object.
JsonPtr parse_request(const char* argument);

// A decimal integer argument ("3", " 3 "): blanks around it allowed, nothing else. False when the
// text is null, empty, not a number or outside int32.
bool parse_decimal(const char* text, int32_t* out);

// A channel argument of the single-channel playback requests: a decimal 0..7.
bool parse_playback_channel(const char* text, int32_t* out);

// Copies the leading integer elements of `array` into out[0..], at most `limit` of them (the first
// element that is not an integer ends the list). Returns how many were copied; 0 for a non-array.
size_t read_int_list(json_object* array, size_t limit, int32_t* out);

// Adds members to a reply object.
void add_int(json_object* object, const char* key, int32_t value);
void add_text(json_object* object, const char* key, const char* text);
// Adds a fixed-width text field (a record's text, which may lack its NUL).
void add_field(json_object* object, const char* key, const char* field, size_t width);

// Writes a JSON reply object with the JSON header.
void write_json_reply(json_object* reply);

// Writes `reply` as the request's answer when this caller wins the reply claim (core_client.h).
// For code that answers after a core wait (callbacks and timed-out handlers).
void claim_and_write(int kind, const char* text);
void claim_and_write_json(json_object* reply);
void claim_and_error();  // the JSON error reply

// Sends the operation-log record main type 4, parameter type 900 with `sub_type` and `channel`.
void send_playback_log(int64_t sub_type, int32_t channel);

// Remembers the play time to report as "realPlayTime" in the next session source reply.
void set_real_play_time(const char* text);

// Reply printers and record keepers, called by playback_reply_callback with the reply's payload.
void on_search_reply(const PayloadReader& reply);
void on_start_reply(const PayloadReader& reply);
void on_session_source_reply(const PayloadReader& reply);
void on_current_time_reply(const PayloadReader& reply);
void on_jump_reply(const PayloadReader& reply);
void on_transcode_reply(const PayloadReader& reply, bool with_status);
void on_live_source_reply(const PayloadReader& reply);
void on_image_reply(const PayloadReader& reply);
void on_multi_play_reply(const PayloadReader& reply);
void on_stream_addresses_reply(const PayloadReader& reply);
void on_external_ports_reply(const PayloadReader& reply);
void on_busy_reply(const PayloadReader& reply);
void on_calendar_reply(const PayloadReader& reply);
void on_download_chunk(const PayloadReader& reply);

}  // namespace playback
