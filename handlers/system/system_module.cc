#include "handlers/system/system_module.h"

#include <iterator>

namespace {
const WebReqEntry kSystemRequests[] = {
    {"/1000", login_handler},
    {"/1014", logout_log_handler},
    {"/1018", redirect_login_handler},
    {"/1024", permission_update_handler},
    {"/6070", user_list_handler},
    {"/6071", user_add_handler},
    {"/6072", user_edit_handler},
    {"/6073", user_delete_handler},
    {"/6077", users_changed_handler},
};
}  // namespace

const RequestModule kSystemModule = {"system", kSystemRequests,
                                     static_cast<int>(std::size(kSystemRequests))};
