#include "handlers/state/state_module.h"

#include <iterator>

namespace {
const WebReqEntry kStateRequests[] = {
    {"/8000", netif_status_handler},
    {"/8001", netif_speed_handler},
    {"/8002", camera_stream_status_handler},
    {"/8003", event_alarm_status_handler},
    {"/8004", status_unused_handler},
    {"/8005", capture_start_handler},
    {"/8006", capture_stop_handler},
    {"/8007", capture_download_handler},
    {"/8008", memory_status_handler},
    {"/8009", channel_support_handler},
    {"/8011", online_users_handler},
};
}  // namespace

const RequestModule kStateModule = {"state", kStateRequests, static_cast<int>(std::size(kStateRequests))};
