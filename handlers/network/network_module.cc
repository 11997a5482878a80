#include "handlers/network/network_module.h"

#include <iterator>

namespace {
const WebReqEntry kNetworkRequests[] = {
    {"/7000", time_read_handler},
    {"/7001", time_set_handler},
    {"/7080", cert_create_handler},
    {"/7081", cert_show_handler},
    {"/7082", cert_request_download_handler},
    {"/7083", cert_request_notice_handler},
    {"/7084", cert_install_handler},
    {"/7085", cert_delete_handler},
    {"/7086", https_switch_handler},
    {"/7087", https_read_handler},
    {"/7089", cert_request_show_handler},
};
}  // namespace

const RequestModule kNetworkModule = {"network", kNetworkRequests,
                                      static_cast<int>(std::size(kNetworkRequests))};
