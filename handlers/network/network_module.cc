#include "handlers/network/network_module.h"

#include <iterator>

namespace {
const WebReqEntry kNetworkRequests[] = {
    {"/7000", time_read_handler},
    {"/7001", time_set_handler},
    {"/7040", network_read_handler},
    {"/7041", network_set_handler},
    {"/7042", network_mode_handler},
    {"/7043", network_reapply_handler},
    {"/7044", mac_conf_handler},
    {"/7096", default_route_handler},
    {"/7010", pppoe_read_handler},
    {"/7011", pppoe_set_handler},
    {"/7020", ddns_read_handler},
    {"/7021", ddns_set_handler},
    {"/7030", email_read_handler},
    {"/7031", email_set_handler},
    {"/7032", email_test_handler},
    {"/7033", multicast_read_handler},
    {"/7034", multicast_set_handler},
    {"/7050", ports_read_handler},
    {"/7051", ports_set_handler},
    {"/7060", p2p_status_handler},
    {"/7061", p2p_switch_handler},
    {"/7062", p2p_register_handler},
    {"/7070", ping_test_handler},
    {"/7071", route_test_handler},
    {"/7092", channel_access_handler},
    {"/7094", network_status_handler},
    {"/7095", service_restart_handler},
    {"/7090", snmp_read_handler},
    {"/7091", snmp_set_handler},
    {"/7093", poe_count_handler},
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
