#include "common/request_table.h"

#include <iterator>

#include "common/row_handlers.h"
#include "common/messages/device.h"
#include "platform/zvdb/admin_tables.h"
#include "platform/zvdb/device_tables.h"

namespace {
const WebReqEntry kRows[] = {
    {"/1016", row_read_handler<kDiskMaintain>},
    {"/1032", row_read_handler<kAutoReboot>},
    {"/1033", row_set_handler<kAutoReboot, kAutoRebootChanged>},
};
}  // namespace

extern const RequestModule kSystemModuleRequests = request_rows("system", kRows);
