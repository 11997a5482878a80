// Alarm inputs and outputs module: the recorder's 16 alarm inputs and 4 alarm outputs (names,
// types, plans and the inputs' action blocks) and the two alarm inputs and outputs of every camera
// channel (action blocks, names, plans and their live state asked from the core).
#pragma once

#include "common/request_table.h"

extern const RequestModule kAlarmModule;

// Recorder alarm outputs and inputs (recorder_alarms.cc).
void alarm_outputs_read_handler(const char* argument);    // "/6020"
void alarm_output_read_handler(const char* argument);     // "/6021"
void alarm_output_set_handler(const char* argument);      // "/6022"
void alarm_output_trigger_handler(const char* argument);  // "/6023"
void alarm_input_read_handler(const char* argument);      // "/6026"
void alarm_input_set_handler(const char* argument);       // "/6027"
void alarm_inputs_list_handler(const char* argument);     // "/6060"
void alarm_input_short_read_handler(const char* argument);  // "/6061"
void alarm_input_short_set_handler(const char* argument);   // "/6062"
void alarm_input_rename_handler(const char* argument);      // "/6063"
void alarm_input_fields_set_handler(const char* argument);  // "/6064"

// Camera alarms and the name lists (camera_alarms.cc).
void camera_alarm_inputs_read_handler(const char* argument);   // "/6024"
void camera_alarm_inputs_set_handler(const char* argument);    // "/6025"
void camera_alarm_outputs_read_handler(const char* argument);  // "/6028"
void camera_alarm_outputs_set_handler(const char* argument);   // "/6029"
void alarm_output_names_handler(const char* argument);         // "/6032"
void camera_alarm_state_handler(const char* argument);         // "/6033"
void alarm_input_names_handler(const char* argument);          // "/6034"
