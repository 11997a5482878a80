#include "handlers/local/local_module.h"

#include <iterator>

namespace {
const WebReqEntry kLocalRequests[] = {
    {"/3300", ssh_enable_handler},
    {"/3301", auto_login_handler},
    {"/3302", record_mode_all_handler},
    {"/3303", wizard_enable_handler},
    {"/3304", camera_quick_edit_handler},
};
}  // namespace

const RequestModule kLocalModule = {"local", kLocalRequests, static_cast<int>(std::size(kLocalRequests))};
