#include "handlers/alarm/alarm_module.h"

#include <iterator>

namespace {
const WebReqEntry kAlarmRequests[] = {
    {"/6020", alarm_outputs_read_handler},
    {"/6021", alarm_output_read_handler},
    {"/6022", alarm_output_set_handler},
    {"/6023", alarm_output_trigger_handler},
    {"/6024", camera_alarm_inputs_read_handler},
    {"/6025", camera_alarm_inputs_set_handler},
    {"/6026", alarm_input_read_handler},
    {"/6027", alarm_input_set_handler},
    {"/6028", camera_alarm_outputs_read_handler},
    {"/6029", camera_alarm_outputs_set_handler},
    {"/6032", alarm_output_names_handler},
    {"/6033", camera_alarm_state_handler},
    {"/6034", alarm_input_names_handler},
    {"/6060", alarm_inputs_list_handler},
    {"/6061", alarm_input_short_read_handler},
    {"/6062", alarm_input_short_set_handler},
    {"/6063", alarm_input_rename_handler},
    {"/6064", alarm_input_fields_set_handler},
};
}  // namespace

const RequestModule kAlarmModule = {"alarm", kAlarmRequests, static_cast<int>(std::size(kAlarmRequests))};
