// Playback and record download module: playback sessions held by the core (search, start, speed,
// direction, pause, jump, close, transcoding), live and session RTSP sources, playback image
// adjustments, the month calendar, and the download of a recording as an AVI file.
#pragma once

#include "common/request_table.h"
#include "platform/zvsocket/zvsocket.h"

extern const RequestModule kPlaybackModule;

// Handlers, one per request identifier (see the table in playback_module.cc).
void search_records_handler(const char* argument);      // "/4000"
void search_page_handler(const char* argument);         // "/4023"
void start_session_handler(const char* argument);       // "/4001"
void current_time_handler(const char* argument);        // "/4002"
void stop_sessions_handler(const char* argument);       // "/4003"
void pause_sessions_handler(const char* argument);      // "/4004"
void direction_handler(const char* argument);           // "/4005"
void step_sessions_handler(const char* argument);       // "/4006"
void session_speeds_handler(const char* argument);      // "/4007"
void speed_by_channel_handler(const char* argument);    // "/4008"
void speed_by_session_handler(const char* argument);    // "/4022"
void jump_handler(const char* argument);                // "/4009"
void resume_sessions_handler(const char* argument);     // "/3003"
void transcode_handler(const char* argument);           // "/4025"
void transcode_state_handler(const char* argument);     // "/4026"
void live_source_handler(const char* argument);         // "/4010"
void live_start_handler(const char* argument);          // "/4011"
void live_stop_handler(const char* argument);           // "/4012"
void image_read_handler(const char* argument);          // "/3000"
void image_adjust_handler(const char* argument);        // "/3001"
void image_reset_handler(const char* argument);         // "/3002"
void download_handler(const char* argument);            // "/4013"
void download_state_handler(const char* argument);      // "/4019"
void download_end_handler(const char* argument);        // "/4027"
void playback_busy_handler(const char* argument);       // "/3004"
void multi_play_handler(const char* argument);          // "/4020"
void stream_addresses_handler(const char* argument);    // "/4018"
void external_ports_handler(const char* argument);      // "/4021"
void month_calendar_handler(const char* argument);      // "/2013"
