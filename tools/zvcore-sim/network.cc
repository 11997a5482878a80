// The simulated network services: the test mail (sent only through the accepted SMTP server),
// the multicast address, the P2P switch and registration, the default route, the network tests
// and the service switches the port page sends. `zvcore-sim ctl network state` prints them.
#include <arpa/inet.h>

#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/messages/network_services.h"
#include "platform/zvdb/network_tables.h"
#include "platform/zvdb/zvdb.h"
#include "tools/zvcore-sim/rules.h"

namespace {

// The one SMTP server the simulated device reaches; a test mail through any other fails.
constexpr const char* kSimSmtpServer = "mail.zvsim.test";

std::string bounded(const char* text, size_t width) { return std::string(text, strnlen(text, width)); }

bool ipv4_text(const std::string& text, in_addr* address) { return inet_pton(AF_INET, text.c_str(), address) == 1; }

class NetworkSim : public SimModule {
 public:
  const char* name() const override { return "network"; }

  void rules(SimRules& r) override {
    r.answer(kSlaveClear, [this](const SimRequest& q, SimAnswer&) { keep(q, &slave_clear_); });
    r.answer(kNetworkReapply, [this](const SimRequest&, SimAnswer&) { locked([this] { ++reapplied_; }); });
    r.answer(kDefaultRouteSet, [this](const SimRequest& q, SimAnswer& a) {
      if (keep(q, &default_route_)) a.int32(0);
    });
    r.answer(kMailTest, [](const SimRequest&, SimAnswer& a) {
      EmailConfig mail{};
      const bool read = kEmail.read(kZvdbPath, &mail, kNetworkRow) == 0;
      const bool sent = read && bounded(mail.smtp_server, sizeof mail.smtp_server) == kSimSmtpServer &&
                        mail.smtp_port > 0 && mail.smtp_port <= 65535;
      a.int32(sent ? 0 : -1);
    });
    r.answer(kMulticastSet, [this](const SimRequest& q, SimAnswer& a) {
      MulticastConfig m{};
      if (!payload_as(q, &m)) return;
      in_addr address{};
      const bool valid = ipv4_text(bounded(m.ip, sizeof m.ip), &address) &&
                         (ntohl(address.s_addr) >> 28) == 0xE;  // 224.0.0.0/4
      if (valid) locked([&] { multicast_ = m; });
      a.int32(valid ? 0 : -1);
    });
    // 3700 carries the switch (484 bytes, answered) or a registration answer (128 bytes, kept).
    r.shared(kP2pEnable.id, [](const SimRequest& q) { return q.length == sizeof(P2pInfo); },
             [this](const SimRequest& q, SimAnswer& a) {
               P2pInfo info{};
               if (!payload_as(q, &info)) return;
               locked([&] { p2p_enable_ = info.enable != 0 ? 1 : 0; });
               a.int32(0);
             });
    r.shared(kP2pRegistered.id, [](const SimRequest& q) { return q.length == sizeof(P2pAnswerText); },
             [this](const SimRequest& q, SimAnswer&) {
               P2pAnswerText text{};
               if (payload_as(q, &text)) locked([&] { register_code_ = bounded(text.text, sizeof text.text); });
             });
    r.answer(kP2pDisable, [this](const SimRequest& q, SimAnswer& a) {
      P2pInfo info{};
      if (!payload_as(q, &info)) return;
      locked([&] { p2p_enable_ = info.enable; });
      a.int32(0);
    });
    r.answer(kP2pStatusRead, [this](const SimRequest&, SimAnswer& a) {
      P2pStatus status{};
      locked([&] {
        status.enable = p2p_enable_;
        status.p2pstatus = register_code_.empty() ? 0 : 1;
        std::snprintf(status.model, sizeof status.model, "%s", "NVR-SIM");
        std::snprintf(status.register_code, sizeof status.register_code, "%s", register_code_.c_str());
      });
      a.record(status);
    });
    // Reachable: loopback addresses only (the simulated device has no other network).
    r.answer(kPingTest, [](const SimRequest& q, SimAnswer& a) {
      PingTarget t{};
      in_addr address{};
      if (!payload_as(q, &t)) return;
      const bool up = ipv4_text(bounded(t.ip, sizeof t.ip), &address) && (ntohl(address.s_addr) >> 24) == 127;
      a.int32(up ? 0 : -1);
    });
    r.answer(kRouteTest, [](const SimRequest& q, SimAnswer& a) {
      RouteTarget t{};
      in_addr address{};
      if (!payload_as(q, &t)) return;
      const std::string dev = bounded(t.dev, sizeof t.dev);
      const bool known = dev == "eth0" || dev == "eth1" || dev == "bond0" || dev == "ppp0";
      a.int32(known && ipv4_text(bounded(t.ip, sizeof t.ip), &address) ? 0 : -1);
    });
    r.answer(kChannelAccess, [this](const SimRequest& q, SimAnswer&) { keep(q, &channel_access_); });
    r.answer(kPosPortChanged, [this](const SimRequest& q, SimAnswer&) { keep(q, &pos_port_); });
    r.answer(kPushSwitch, [this](const SimRequest& q, SimAnswer&) {
      PushSwitch s{};
      if (payload_as(q, &s)) locked([&] { push_switch_ = bounded(s.text, sizeof s.text); });
    });
    r.answer(kNetworkStatus, [](const SimRequest&, SimAnswer& a) { a.int32(1); });
    r.answer(kServiceRestart, [this](const SimRequest&, SimAnswer& a) {
      locked([this] { ++restarts_; });
      a.int32(0);
    });
  }

  bool control(const std::vector<std::string>& words, std::string* answer) override {
    if (words.size() != 1 || words[0] != "state") return false;
    std::lock_guard<std::mutex> lock(mutex_);
    *answer = "slave_clear " + std::to_string(slave_clear_) + " reapplied " + std::to_string(reapplied_) +
              " default_route " + std::to_string(default_route_) + " multicast " +
              std::to_string(multicast_.enable) + " " + bounded(multicast_.ip, sizeof multicast_.ip) + " p2p " +
              std::to_string(p2p_enable_) + " register_code " + (register_code_.empty() ? "-" : register_code_) +
              " access " + std::to_string(channel_access_) + " pos_port " + std::to_string(pos_port_) + " push " +
              (push_switch_.empty() ? "-" : push_switch_) + " restarts " + std::to_string(restarts_);
    return true;
  }

 private:
  template <class F>
  void locked(F&& f) {
    std::lock_guard<std::mutex> lock(mutex_);
    f();
  }
  bool keep(const SimRequest& q, int32_t* value) {
    int32_t v = 0;
    if (!payload_as(q, &v)) return false;
    locked([&] { *value = v; });
    return true;
  }

  std::mutex mutex_;
  int32_t slave_clear_ = 0;
  int32_t reapplied_ = 0;
  int32_t default_route_ = 0;
  MulticastConfig multicast_{};
  int32_t p2p_enable_ = 0;
  std::string register_code_;
  int32_t channel_access_ = 0;
  int32_t pos_port_ = 0;
  std::string push_switch_;
  int32_t restarts_ = 0;
};

}  // namespace

std::unique_ptr<SimModule> make_network_sim() { return std::make_unique<NetworkSim>(); }
