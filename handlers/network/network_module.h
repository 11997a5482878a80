// Network and services module: date, time and NTP.
#pragma once

#include "common/request_table.h"

extern const RequestModule kNetworkModule;

// Handlers, one per request identifier (see the table in network_module.cc).
void time_read_handler(const char* argument);  // "/7000"
void time_set_handler(const char* argument);   // "/7001"
void network_read_handler(const char* argument);     // "/7040"
void network_set_handler(const char* argument);      // "/7041"
void network_mode_handler(const char* argument);     // "/7042"
void network_reapply_handler(const char* argument);  // "/7043"
void mac_conf_handler(const char* argument);         // "/7044"
void default_route_handler(const char* argument);    // "/7096"
void pppoe_read_handler(const char* argument);       // "/7010"
void pppoe_set_handler(const char* argument);        // "/7011"
void ddns_read_handler(const char* argument);        // "/7020"
void ddns_set_handler(const char* argument);         // "/7021"
void email_read_handler(const char* argument);       // "/7030"
void email_set_handler(const char* argument);        // "/7031"
void email_test_handler(const char* argument);       // "/7032"
void multicast_read_handler(const char* argument);   // "/7033"
void multicast_set_handler(const char* argument);    // "/7034"
void ports_read_handler(const char* argument);       // "/7050"
void ports_set_handler(const char* argument);        // "/7051"
void p2p_status_handler(const char* argument);       // "/7060"
void p2p_switch_handler(const char* argument);       // "/7061"
void p2p_register_handler(const char* argument);     // "/7062"
void ping_test_handler(const char* argument);        // "/7070"
void route_test_handler(const char* argument);       // "/7071"
void channel_access_handler(const char* argument);   // "/7092"
void network_status_handler(const char* argument);   // "/7094"
void service_restart_handler(const char* argument);  // "/7095"
void snmp_read_handler(const char* argument);        // "/7090"
void snmp_set_handler(const char* argument);         // "/7091"
void poe_count_handler(const char* argument);        // "/7093"
