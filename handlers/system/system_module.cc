#include "common/request_table.h"

#include "common/row_handlers.h"
#include "common/messages/device.h"
#include "platform/zvdb/admin_tables.h"
#include "platform/zvdb/device_tables.h"

ZV_REQUESTS(kSystemModuleRequests, "system",
    {"/1016", row_read_handler<kDiskMaintain>},
    {"/1032", row_read_handler<kAutoReboot>},
    {"/1033", row_set_handler<kAutoReboot, kAutoRebootChanged>});
