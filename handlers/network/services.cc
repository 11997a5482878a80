// The network services the core runs from their stored rows: the PPPoE link, the dynamic DNS
// client, the e-mail sender (and its test mail) and the multicast address.
#include <cstring>

#include "common/json_fields.h"
#include "common/oplog.h"
#include "common/record_json.h"
#include "common/reply.h"
#include "common/reply_forms.h"
#include "common/request.h"
#include "common/safe_text.h"
#include "common/settings_store.h"
#include "common/web_utils.h"
#include "common/request_table.h"
#include "common/messages/network_services.h"
#include "platform/zvdb/network_tables.h"
#include "platform/zvdb/zvdb.h"
#include "platform/zvnet/netif.h"

namespace {

// The DDNS request: the ports come as "http" and "rtsp"; members left out keep their stored value.
constexpr auto kDdnsForm = ZV_FIELDS(
    DdnsConfig, ZV_FIELD(enable, "enable").required().range(0, 1), ZV_FIELD(domain, "domain").whole().keep_if_absent(),
    ZV_FIELD(user_name, "userName").whole().keep_if_absent(), ZV_FIELD(password, "password").whole().keep_if_absent(),
    ZV_FIELD(host_name, "hostName").whole().keep_if_absent(),
    ZV_FIELD(free_dns_hash, "freeDNSHash").whole().keep_if_absent(),
    ZV_FIELD(update_freq, "updateFreq").required().at_least(0),
    ZV_FIELD(http_port, "http").keep_if_absent().range(0, 65535),
    ZV_FIELD(rtsp_port, "rtsp").keep_if_absent().range(0, 65535),
    ZV_FIELD(ddnsurl, "ddnsurl").whole().keep_if_absent());

// The DDNS reply order.
constexpr auto kDdnsReply = ZV_FIELDS(
    DdnsConfig, ZV_FIELD(enable, "enable"), ZV_FIELD(domain, "domain"), ZV_FIELD(user_name, "userName"),
    ZV_FIELD(password, "password"), ZV_FIELD(host_name, "hostName"), ZV_FIELD(ddnsurl, "ddnsurl"),
    ZV_FIELD(free_dns_hash, "freeDNSHash"), ZV_FIELD(update_freq, "updateFreq"), ZV_FIELD(http_port, "http_port"),
    ZV_FIELD(rtsp_port, "rtsp_port"));

// The e-mail page's members of the port row (read from the request, written in the reply).
constexpr auto kMailHostForm =
    ZV_FIELDS(PortConfig, ZV_FIELD(enable_host_name, "enableHostName").keep_if_absent().range(0, 1),
              ZV_FIELD(host_name, "hostName").whole().keep_if_absent());

// The e-mail reply: the sender's members, the port row's host name, then the receivers.
constexpr auto kMailReply = ZV_FIELDS(
    EmailConfig, ZV_FIELD(enable, "enable"), ZV_FIELD(user_name, "userName"), ZV_FIELD(password, "password"),
    ZV_FIELD(smtp_server, "smtpServer"), ZV_FIELD(smtp_port, "smtpPort"), ZV_FIELD(sender_addr, "senderAddr"),
    ZV_FIELD(sender_name, "senderName"), ZV_FIELD(enable_tls, "enableTls"), ZV_FIELD(enable_attach, "enableAttach"),
    ZV_FIELD(capture_interval, "captureInterval"));
constexpr auto kMailReceivers = ZV_FIELDS(EmailConfig, ZV_RECORDS(receivers, "receivers"));

void log_change(int32_t param_type) { op_log_change(204, param_type); }

// A service's set: the stored row with the request's members (through `form`) over it, every text
// safe for the service's scripts; stored, then the core told which service changed ("OK"), logged.
template <class T>
void service_set(const char* argument, const zvdb::Table<T>& table, const zvrec::Schema& form, const char* what,
                 int32_t log_param) {
  JsonPtr request = parse_request(argument);
  if (!request || !json_texts_shell_safe(request.get())) return;
  {
    SettingsWrite write;  // the stored row is read and rewritten in one transaction
    T config{};
    table.read(kZvdbPath, &config, kNetworkRow);
    if (!read_record(request.get(), form, &config)) return;
    write.check(table.write_at(kZvdbPath, &config, kNetworkRow));
    if (!write.commit()) return (void)reply_cgi_error(REPLY_TEXT);
  }
  NetworkChange change{};
  copy_text_field(change.what, what);
  core_tell(kServicesChanged, change);
  log_change(log_param);
  reply_ok();
}

}  // namespace

static void pppoe_read_handler(const char* /*argument*/) {
  PppoeConfig p{};
  kPppoe.read(kZvdbPath, &p, kNetworkRow);
  NetIfAddress link{};
  net_get_ifaddr("ppp0", &link);
  JsonWriter w(512);
  w.begin_object();
  write_fields(w, p);
  w.key("pppoeipaddr").value(link.address[0] != '\0' ? link.address : "0.0.0.0").end_object();
  reply_json(w);
}

static void pppoe_set_handler(const char* argument) {
  service_set(argument, kPppoe, zvrec::schema_of<PppoeConfig>(), "pppoe", 915);
}

static void ddns_read_handler(const char* /*argument*/) {
  DdnsConfig d{};
  kDdns.read(kZvdbPath, &d, kNetworkRow);
  char mac0[18], mac1[18];
  get_mac_addresses(mac0, mac1);
  JsonWriter w(1024);
  w.begin_object();
  write_fields(w, kDdnsReply.schema(), &d);
  w.key("mac").value(mac0).end_object();
  reply_json(w);
}

static void ddns_set_handler(const char* argument) {
  service_set(argument, kDdns, kDdnsForm.schema(), "ddns", 916);
}

static void email_read_handler(const char* /*argument*/) {
  EmailConfig e{};
  kEmail.read(kZvdbPath, &e, kNetworkRow);
  PortConfig ports{};
  kPorts.read(kZvdbPath, &ports, kNetworkRow);
  reply_fields({{kMailReply.schema(), &e}, {kMailHostForm.schema(), &ports}, {kMailReceivers.schema(), &e}}, 2048);
}

static void email_set_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  if (!request || !json_texts_shell_safe(request.get())) return;
  {
    SettingsWrite write;  // both stored rows are read and rewritten in one transaction
    EmailConfig e{};
    kEmail.read(kZvdbPath, &e, kNetworkRow);
    PortConfig ports{};
    kPorts.read(kZvdbPath, &ports, kNetworkRow);
    if (!read_record(request.get(), &e) || !read_record(request.get(), kMailHostForm.schema(), &ports)) return;
    write.check(kEmail.write_at(kZvdbPath, &e, kNetworkRow));
    write.check(kPorts.write_at(kZvdbPath, &ports, kNetworkRow));
    if (!write.commit()) return (void)reply_cgi_error(REPLY_TEXT);
  }
  core_tell(kServicesChanged, NetworkChange{"mail"});
  log_change(917);
  reply_ok();
}

static void email_test_handler(const char* /*argument*/) {
  reply_status_words(core_ask(kMailTest, MailTest{"testmail"}, REPLY_TEXT), "OK", "ERROR");
}

static void multicast_read_handler(const char* /*argument*/) {
  MulticastConfig m{};
  kMulticast.read(kZvdbPath, &m, kNetworkRow);
  reply_record(m);
}

static void multicast_set_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  MulticastConfig m{};
  {
    SettingsWrite write;  // the stored row is read and rewritten in one transaction
    kMulticast.read(kZvdbPath, &m, kNetworkRow);
    if (!request || !json_texts_shell_safe(request.get()) || !read_record(request.get(), &m)) {
      return (void)reply_cgi_error(REPLY_JSON);
    }
    write.check(kMulticast.write_at(kZvdbPath, &m, kNetworkRow));
    if (!write.commit()) return (void)reply_cgi_error(REPLY_JSON);
  }
  reply_core_res(core_ask(kMulticastSet, m, REPLY_JSON));
}

ZV_REQUESTS(kServicesRequests, "network",
    {"/7010", pppoe_read_handler},
    {"/7011", pppoe_set_handler},
    {"/7020", ddns_read_handler},
    {"/7021", ddns_set_handler},
    {"/7030", email_read_handler},
    {"/7031", email_set_handler},
    {"/7032", email_test_handler},
    {"/7033", multicast_read_handler},
    {"/7034", multicast_set_handler});
