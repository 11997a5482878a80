#include "handlers/record/record_module.h"

#include <iterator>

namespace {
const WebReqEntry kRecordRequests[] = {
    {"/6030", holidays_read_handler},
    {"/6031", holiday_set_handler},
    {"/6040", record_plan_read_handler},
    {"/6041", record_plan_set_handler},
    {"/6042", record_modes_read_handler},
    {"/6043", record_modes_set_handler},
    {"/6044", record_settings_read_handler},
    {"/6045", record_settings_set_handler},
    {"/6046", record_support_handler},
    {"/6047", record_streams_handler},
};
}  // namespace

const RequestModule kRecordModule = {"record", kRecordRequests, static_cast<int>(std::size(kRecordRequests))};
