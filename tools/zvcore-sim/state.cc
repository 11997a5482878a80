// Status module: the status pages' answers, built from what the simulated device really has: the
// machine's network interfaces and their byte counters, its memory, the camera module's cameras,
// and the logins and logouts the operation log received.
#include <dirent.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "common/json_fields.h"
#include "common/messages/state.h"
#include "platform/zvdb/zvdb.h"
#include "platform/zvnet/netif.h"
#include "tools/zvcore-sim/rules.h"
#include "tools/zvcore-sim/simulator.h"

namespace {

constexpr int kChannels = 64;
constexpr char kPppoeInterface[] = "ppp0";

std::vector<std::string> interface_names() {
  std::vector<std::string> names;
  if (DIR* d = opendir("/sys/class/net")) {
    while (const dirent* e = readdir(d)) {
      if (e->d_name[0] != '.' && strlen(e->d_name) < sizeof NetifStatus{}.ifname) names.push_back(e->d_name);
    }
    closedir(d);
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Received and sent bytes of every interface, from /proc/net/dev.
std::map<std::string, std::pair<uint64_t, uint64_t>> byte_counters() {
  std::map<std::string, std::pair<uint64_t, uint64_t>> counters;
  FILE* f = fopen("/proc/net/dev", "re");
  if (f == nullptr) return counters;
  char line[512];
  while (fgets(line, sizeof line, f) != nullptr) {
    char* colon = strchr(line, ':');
    if (colon == nullptr) continue;
    *colon = '\0';
    char name[32] = "";
    if (sscanf(line, "%31s", name) != 1) continue;
    unsigned long long rx = 0, tx = 0, skip = 0;
    if (sscanf(colon + 1, "%llu %llu %llu %llu %llu %llu %llu %llu %llu", &rx, &skip, &skip, &skip, &skip, &skip,
               &skip, &skip, &tx) == 9) {
      counters[name] = {rx, tx};
    }
  }
  fclose(f);
  return counters;
}

int32_t meminfo_kib(const char* key) {
  FILE* f = fopen("/proc/meminfo", "re");
  if (f == nullptr) return 0;
  char line[256];
  long long value = 0;
  const size_t n = strlen(key);
  while (fgets(line, sizeof line, f) != nullptr) {
    if (strncmp(line, key, n) == 0 && line[n] == ':') {
      sscanf(line + n + 1, "%lld", &value);
      break;
    }
  }
  fclose(f);
  return static_cast<int32_t>(std::clamp<long long>(value, 0, INT32_MAX));
}

// kbit/s between two byte counts; 0 when the counter went back (an interface that was reset).
int32_t kbits_per_second(uint64_t before, uint64_t now, double seconds) {
  if (now < before) return 0;
  const double rate = static_cast<double>(now - before) * 8 / 1024 / seconds;
  return static_cast<int32_t>(std::min(rate, static_cast<double>(INT32_MAX)));
}

class StateSim : public SimModule {
 public:
  const char* name() const override { return "state"; }

  void rules(SimRules& r) override {
    r.answer(kNetifStatus, [this](const SimRequest&, SimAnswer& a) {
      std::vector<NetifStatus> records;
      int32_t id = 0;
      // The simulated PPPoE link (the device module dials it) comes first when it is up.
      std::string address;
      if (pppoe_link(&address)) {
        NetifStatus s{};
        copy_text_field(s.ifname, kPppoeInterface);
        s.id = id++;
        s.state = 1;
        s.enable = 1;
        copy_text_field(s.ip_addr, address.c_str());
        copy_text_field(s.netmask, "255.255.255.255");
        s.mtu = 1492;
        records.push_back(s);
      }
      for (const std::string& name : interface_names()) {
        NetIfAddress facts{};
        if (net_get_ifaddr(name.c_str(), &facts) != 0) continue;
        NetifStatus s{};
        copy_text_field(s.ifname, name.c_str());
        s.id = id++;
        s.state = facts.up;
        s.speed_mode = 3;  // 1000 Mbit/s
        s.duplex = 1;
        s.enable = 1;
        copy_text_field(s.ip_addr, facts.address);
        copy_text_field(s.mac, facts.hwaddr);
        copy_text_field(s.gateway, facts.gateway);
        copy_text_field(s.netmask, facts.netmask);
        s.mtu = facts.mtu;
        char ipv6[64] = "";
        if (net_get_ipv6_ifaddr(name.c_str(), 0, ipv6, sizeof ipv6) == 0 ||
            net_get_ipv6_ifaddr(name.c_str(), 1, ipv6, sizeof ipv6) == 0) {
          s.ip6mode = 1;
          copy_text_field(s.ip6address, ipv6);
          s.ip6prefix = 64;
        }
        records.push_back(s);
      }
      a.bytes(records.data(), records.size() * sizeof(NetifStatus));
    });

    // Throughput since the previous question, in kbit/s.
    r.answer(kNetifSpeed, [this](const SimRequest&, SimAnswer& a) {
      std::lock_guard<std::mutex> lock(mutex_);
      const auto now = std::chrono::steady_clock::now();
      const double seconds = std::max(0.001, std::chrono::duration<double>(now - counted_at_).count());
      const auto counters = byte_counters();
      std::vector<NetifSpeed> records;
      int32_t id = 0;
      // The interfaces in the order and with the ids of the interface list, the PPPoE link first.
      std::vector<std::string> names = interface_names();
      if (pppoe_link(nullptr)) names.insert(names.begin(), kPppoeInterface);
      for (const std::string& name : names) {
        NetifSpeed s{};
        copy_text_field(s.ifname, name.c_str());
        s.id = id++;
        const auto it = counters.find(name);
        const auto before = last_counters_.find(name);
        if (it != counters.end() && before != last_counters_.end()) {
          s.rx_speed = kbits_per_second(before->second.first, it->second.first, seconds);
          s.tx_speed = kbits_per_second(before->second.second, it->second.second, seconds);
        }
        records.push_back(s);
      }
      last_counters_ = counters;
      counted_at_ = now;
      a.bytes(records.data(), records.size() * sizeof(NetifSpeed));
    });

    // A record for every connected camera, in channel order, from the camera module.
    r.answer(kCameraStreamStatus, [this](const SimRequest&, SimAnswer& a) {
      std::vector<CameraStreamStatus> records;
      for (int c = 0; c < kChannels; ++c) {
        int32_t v[8] = {};
        if (!camera_streams(c, v)) continue;
        CameraStreamStatus s{};
        s.main = StreamStatus{v[0], v[1], v[2], v[3], 1, 1};
        s.sub = StreamStatus{v[4], v[5], v[6], v[7], 1, 1};
        s.record_on = 1;
        s.channel = c;
        records.push_back(s);
      }
      a.bytes(records.data(), records.size() * sizeof(CameraStreamStatus));
    });

    // Video loss from the camera module (enabled cameras whose link dropped), the recorder's and
    // the cameras' alarms from the alarm module's live state. Nothing in the simulated scene
    // moves or crosses a line: motion, the smart events and the counters stay 0.
    r.answer(kEventAlarmStatus, [this](const SimRequest&, SimAnswer& a) {
      auto state = std::make_unique<EventAlarmState>();
      for (int c = 0; c < kChannels; ++c) {
        if (camera_word(c) == "videoloss") state->video_loss |= uint64_t{1} << c;
      }
      SimModule* alarm = sim->module("alarm");
      std::string answer;
      if (alarm != nullptr && alarm->control({"masks"}, &answer)) {
        std::istringstream in(answer);
        uint64_t in_bits = 0, out_bits = 0;
        in >> in_bits >> out_bits;
        state->alarm_in_bits = static_cast<uint32_t>(in_bits);
        state->alarm_out_bits = static_cast<uint32_t>(out_bits);
        for (uint64_t* kind : {state->camera_in_state, state->camera_out_state, state->camera_in_type,
                               state->camera_out_type}) {
          in >> kind[0] >> kind[1];
        }
      }
      a.record(*state);
    });

    r.answer(kMemoryStatus, [](const SimRequest&, SimAnswer& a) {
      MemoryStatus m{};
      m.total = meminfo_kib("MemTotal");
      m.free = meminfo_kib("MemAvailable");
      m.used = m.total - m.free;
      a.record(m);
    });

    r.answer(kChannelSupport, [this](const SimRequest&, SimAnswer& a) {
      std::vector<ChannelSupport> entries(kChannels);
      for (int c = 0; c < kChannels; ++c) {
        int32_t v[8];
        if (camera_streams(c, v)) {
          entries[c].support = 1;
          entries[c].type = 1;
        }
      }
      a.bytes(entries.data(), entries.size() * sizeof(ChannelSupport));
    });

    // Users logged in: a login record (sub type 201) adds its user and address, a logout (202)
    // from the same user and address removes them.
    r.answer(kOnlineUsers, [this](const SimRequest&, SimAnswer& a) {
      std::vector<OnlineUser> users;
      sim->oplog().visit(INT32_MIN, INT32_MAX, [&](const StoredLogEntry& e) {
        const OpLogRecord& rec = e.record;
        if (rec.sub_type != 201 && rec.sub_type != 202) return true;
        auto same = [&](const OnlineUser& u) {
          return strncmp(u.user_name, rec.user, sizeof u.user_name) == 0 &&
                 strncmp(u.ipaddr, rec.remote_address, sizeof rec.remote_address) == 0;
        };
        users.erase(std::remove_if(users.begin(), users.end(), same), users.end());
        if (rec.sub_type == 202) return true;
        OnlineUser u{};
        copy_text_field(u.user_name, sizeof u.user_name, rec.user, sizeof rec.user);
        copy_text_field(u.ipaddr, sizeof u.ipaddr, rec.remote_address, sizeof rec.remote_address);
        const time_t at = rec.time;
        struct tm t{};
        localtime_r(&at, &t);
        strftime(u.login_time, sizeof u.login_time, "%Y-%m-%d %H:%M:%S", &t);
        users.push_back(u);
        return true;
      });
      // The level of each user still logged in, read once per user at the end.
      for (OnlineUser& u : users) {
        UserRecord account{};
        u.user_level = read_user_by_name(kZvdbPath, &account, u.user_name) == 0 ? account.type : 0;
      }
      a.bytes(users.data(), users.size() * sizeof(OnlineUser));
    });
  }

 private:
  // Whether the device module's simulated PPPoE link is up; its address into `address`.
  bool pppoe_link(std::string* address) {
    std::string link;
    SimModule* device = sim != nullptr ? sim->module("device") : nullptr;
    if (device == nullptr || !device->control({"pppoe"}, &link) || link.rfind("up ", 0) != 0) return false;
    if (address != nullptr) *address = link.substr(3, link.find(' ', 3) - 3);
    return true;
  }

  // The camera module's view of channel c: false when it is not connected; else its main and sub
  // stream's width, height, frame rate and bitrate.
  bool camera_streams(int c, int32_t v[8]) {
    std::istringstream in(camera_status(c));
    std::string word;
    in >> word;
    if (word != "connected") return false;
    for (int i = 0; i < 8; ++i) in >> v[i];
    return true;
  }

  // The camera module's answer to "status <c>" ("" without a camera module).
  std::string camera_status(int c) {
    SimModule* camera = sim->module("camera");
    std::string answer;
    if (camera == nullptr || !camera->control({"status", std::to_string(c)}, &answer)) return "";
    return answer;
  }
  std::string camera_word(int c) {
    const std::string answer = camera_status(c);
    return answer.substr(0, answer.find(' '));
  }

  std::mutex mutex_;
  std::map<std::string, std::pair<uint64_t, uint64_t>> last_counters_;
  std::chrono::steady_clock::time_point counted_at_ = std::chrono::steady_clock::now();
};

}  // namespace

std::unique_ptr<SimModule> make_state_sim() { return std::make_unique<StateSim>(); }
