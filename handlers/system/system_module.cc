#include "handlers/system/system_module.h"

#include <iterator>

#include <cstring>

namespace {
constexpr int32_t kRedirectLoginReply = 8504;
}  // namespace

void system_reply_callback(int /*unused*/, ZvMsgHeader* header, void* payload) {
  if (header == nullptr || payload == nullptr) return;
  int32_t msg_id = 0;
  uint32_t length = 0;
  std::memcpy(&msg_id, reinterpret_cast<const char*>(header) + 12, sizeof msg_id);
  std::memcpy(&length, reinterpret_cast<const char*>(header) + 20, sizeof length);
  switch (msg_id) {
    case kRedirectLoginReply:
      redirect_login_reply(payload, length);
      break;
    default:
      break;  // not awaited by this module: the waiting handler runs out its budget
  }
}

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
