// Camera setup module: a simulated local network of twelve cameras of several protocols, each
// with a stable address, MAC, model and login, which a search finds (a camera whose address is a
// configured channel's shows as added), a connection test answers by the credentials it is given,
// and an address change really moves (the next search shows the new address). And the
// camera-side settings of every channel, kept as a camera would: image settings and extension,
// day/night profiles, areas and plans, heat map, auto tracking and watermark; a set stores, the
// matching read returns what was stored. The heat-map data is made from the channel's motion
// area in the configuration database.
//
// Logins: every simulated camera answers to "admin" with the password "Admin123", except the two
// cameras of the recorder's own protocol at .31 and .32, whose password is "zv12345".
//
// Control command: "network" lists the cameras as they are now (address, port, protocol, login).
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/request.h"
#include "common/messages/camera_setup.h"
#include "platform/zvdb/camera_tables.h"
#include "platform/zvdb/table_forms.h"
#include "platform/zvdb/video_tables.h"
#include "platform/zvdb/zvdb.h"
#include "tools/zvcore-sim/cameras.h"
#include "tools/zvcore-sim/modules.h"
#include "tools/zvcore-sim/rules.h"

namespace {

constexpr int kChannels = 64;
bool valid_channel(int64_t channel) { return channel >= 0 && channel < kChannels; }

using zvdb::set_text;
template <size_t N>
std::string text_of(const char (&field)[N]) {
  return std::string(field, strnlen(field, N));
}
bool same_mac(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}
bool dotted_quad(const std::string& text) {
  unsigned a, b, c, d;
  char tail;
  return std::sscanf(text.c_str(), "%u.%u.%u.%u%c", &a, &b, &c, &d, &tail) == 4 && a < 256 && b < 256 &&
         c < 256 && d < 256;
}

// Connection-test results and address-change results of the core.
constexpr int32_t kLoginOk = 0;
constexpr int32_t kLoginOkAlt = 4;
constexpr int32_t kNetworkError = 1;
constexpr int32_t kUserError = 2;
constexpr int32_t kUnknownError = 3;

struct NetCamera {
  SearchResult found;
  std::string user;
  std::string password;
};

struct CameraSeed {
  int host;
  int protocol;
  int port;
  const char* model;
  const char* name;
};
constexpr CameraSeed kSeeds[] = {
    {21, 0, 80, "IPC-2M", "Front door"},   {22, 0, 80, "IPC-4M", "Car park"},
    {23, 0, 8080, "DOME-4M", "Lobby"},     {24, 0, 80, "BULLET-4M", "Loading bay"},
    {25, 1, 554, "BOX-2M", "Stairs"},      {26, 1, 554, "IPC-2M", "Corridor"},
    {31, 2, 6036, "PTZ-4M-25X", "Yard PTZ"}, {32, 2, 6036, "FISHEYE-5M", "Cam\xc3\xa9ra hall"},
    {33, 3, 6036, "TURRET-4M", "Gate"},    {34, 5, 6036, "DOME-2M", "Office"},
    {35, 6, 6036, "FISHEYE-12M", "Warehouse"}, {36, 7, 6036, "TURRET-8M", "Entrance"},
};

std::vector<NetCamera> make_network() {
  std::vector<NetCamera> cameras;
  for (const CameraSeed& seed : kSeeds) {
    NetCamera c{};
    SearchResult& f = c.found;
    std::snprintf(f.ip_addr, sizeof f.ip_addr, "192.168.1.%d", seed.host);
    std::snprintf(f.mac_addr, sizeof f.mac_addr, "02:5A:56:01:00:%02X", seed.host);
    f.manage_port = seed.port;
    f.protocol = seed.protocol;
    set_text(f.vendor, "ZV Simulated Cameras");
    std::snprintf(f.sn, sizeof f.sn, "ZVN%04d%06X", seed.host, seed.host * 40503);
    std::snprintf(f.sn_real, sizeof f.sn_real, "ZVN%04d%06XR%d", seed.host, seed.host * 40503, seed.host * 7);
    std::snprintf(f.fw_version, sizeof f.fw_version, "V5.%d.0 build 261101", seed.host % 7);
    set_text(f.model, seed.model);
    f.model_id = 8 + static_cast<int32_t>(cameras.size() % 16);
    set_text(f.netmask, "255.255.255.0");
    set_text(f.dns, "192.168.1.1");
    set_text(f.gateway, "192.168.1.1");
    set_text(f.netif, "eth0");
    set_text(f.name, seed.name);
    c.user = "admin";
    c.password = seed.protocol == 2 ? "zv12345" : "Admin123";
    cameras.push_back(c);
  }
  return cameras;
}

// The simulated local network: thread-safe, shared by the search, the tests and the changes.
class Network {
 public:
  std::vector<NetCamera> all() {
    std::lock_guard<std::mutex> lock(mutex_);
    return cameras_;
  }
  int32_t login(const std::string& ip, int32_t port, const std::string& user, const std::string& password,
                int32_t ok) {
    std::lock_guard<std::mutex> lock(mutex_);
    const NetCamera* c = find_ip(ip);
    if (c == nullptr || c->found.manage_port != port) return kNetworkError;  // nobody answers there
    return c->user == user && c->password == password ? ok : kUserError;
  }
  int32_t change(const AddressChange& a) {
    std::lock_guard<std::mutex> lock(mutex_);
    NetCamera* c = nullptr;
    for (NetCamera& n : cameras_) {
      if (same_mac(text_of(n.found.mac_addr), text_of(a.mac_addr))) c = &n;
    }
    if (c == nullptr) return kNetworkError;
    if (c->user != text_of(a.username) || c->password != text_of(a.password)) return kUserError;
    const std::string to = text_of(a.new_ipc_addr);
    const NetCamera* holder = find_ip(to);
    if (!dotted_quad(to) || text_of(c->found.ip_addr) != text_of(a.old_ipc_addr) ||
        (holder != nullptr && holder != c)) {
      return kUnknownError;
    }
    set_text(c->found.ip_addr, to.c_str());
    if (dotted_quad(text_of(a.netmask))) copy_field_text(c->found.netmask, sizeof c->found.netmask, a.netmask);
    if (dotted_quad(text_of(a.gateway))) copy_field_text(c->found.gateway, sizeof c->found.gateway, a.gateway);
    if (dotted_quad(text_of(a.primary_dns))) copy_field_text(c->found.dns, sizeof c->found.dns, a.primary_dns);
    return 0;
  }
  // The outcome of a background change, by MAC (the newest per camera, at most 64).
  void note(const std::string& mac, int32_t result) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto same = [&mac](const BatchChangeResult& r) { return same_mac(text_of(r.mac), mac); };
    results_.erase(std::remove_if(results_.begin(), results_.end(), same), results_.end());
    if (results_.size() == kBatchResults) results_.erase(results_.begin());
    BatchChangeResult r{};
    set_text(r.mac, mac.c_str());
    r.result = result;
    results_.push_back(r);
  }
  BatchChangeResults results() {
    std::lock_guard<std::mutex> lock(mutex_);
    BatchChangeResults out{};
    out.count = static_cast<int32_t>(results_.size());
    std::copy(results_.begin(), results_.end(), out.entries);
    return out;
  }

 private:
  NetCamera* find_ip(const std::string& ip) {
    for (NetCamera& c : cameras_) {
      if (text_of(c.found.ip_addr) == ip) return &c;
    }
    return nullptr;
  }
  std::mutex mutex_;
  std::vector<NetCamera> cameras_ = make_network();
  std::vector<BatchChangeResult> results_;
};

// The addresses of the channels that have an enabled camera row.
std::vector<std::string> added_addresses() {
  std::vector<std::string> out;
  for (int c = 0; c < kChannels; ++c) {
    CameraRecord row{};
    if (read_camera(kZvdbPath, &row, c) == 0 && row.enable == 1) out.push_back(text_of(row.ip_addr));
  }
  return out;
}

// Factory records name the members that are not zero; the others start zero.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
ImageSettings factory_image(int64_t) {
  return ImageSettings{
    .smartir = 1, .whiteblance = 0, .wdrlevel = 50, .wdrstarthour = 0, .wdrstophour = 23,
    .wdrstopminute = 59, .exposemode = 0, .redgain = 50, .bluegain = 50, .defoglevel = 3,
    .dismode = 1, .exposetime = 40, .exposegain = 50, .aflevel = 5, .hlclevel = 3,
    .exposurectrl = 1, .sdkversion = "ZVSDK 3.2.1"};
}

ImageExtension factory_extension(int64_t) {
  return ImageExtension{
    .modestarthour = 6, .modestophour = 18, .smart_ir_math = 1, .smart_ir_limit = 100,
    .chipninterface = "mipi", .near_smartir_value = 30, .far_smartir_value = 80,
    .mid_smartir_value = 50, .sensortype = "ZV-S4", .productmodel = "IPC-4M",
    .softversion = "V5.2.0 build 261101", .sdkversion = "ZVSDK 3.2.1", .structuretype = 1,
    .day_night_sens = 3, .night_day_sens = 3};
}
#pragma GCC diagnostic pop

// The members of camera settings that the camera reports and never takes from a set: those a page
// cannot write, except `written` (a member the handler reads by hand under another key).
template <class T>
void keep_reported(T& set, const T& kept, size_t written) {
  for (const zvrec::Field& f : zvrec::schema_of<T>().fields) {
    if (f.readable() || f.offset == written) continue;
    std::memcpy(reinterpret_cast<unsigned char*>(&set) + f.offset,
                reinterpret_cast<const unsigned char*>(&kept) + f.offset, f.size);
  }
}

DayNightProfiles factory_profiles(int64_t channel) {
  DayNightProfiles p{};
  p.channel = static_cast<int32_t>(channel);
  for (int i = 0; i < kDayNightProfiles; ++i) {
    p.profiles[i] = DayNightProfile{1, i == 0 ? 1 : 0, 6, 0, 18, 0, 50, 1, 40, 50, 5, 0, 0, 0};
  }
  return p;
}

// Night when the local hour lies outside the extension's day span.
int32_t night_mode(const ImageExtension& e) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  const int minute = local.tm_hour * 60 + local.tm_min;
  const int start = e.modestarthour * 60 + e.modestartminute;
  const int stop = e.modestophour * 60 + e.modestopminute;
  return minute >= start && minute < stop ? 0 : 1;
}

// The heat-map data of a channel: a 22 x 16 grid of dwell counts, high where the channel's motion
// area is set, low elsewhere, varying with the asked time.
std::string heat_map_text(const HeatMapQuery& q) {
  MotionRecord motion{};
  kMotions.read(kZvdbPath, &motion, {q.chnid});
  uint32_t seed = 2166136261u;
  for (char c : text_of(q.time)) seed = (seed ^ static_cast<unsigned char>(c)) * 16777619u;
  constexpr int kWidth = 22;
  constexpr int kHeight = 16;
  std::string out = "chnid=" + std::to_string(q.chnid) + ";mainType=" + std::to_string(q.main_type) +
                    ";subType=" + std::to_string(q.sub_type) + ";time=" + text_of(q.time) + ";grid=22x16\n";
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      const int cell = y * kWidth + x;
      const char mark = cell < kMotionTableSize ? motion.motion_table[cell] : '\0';
      seed = seed * 1103515245u + 12345u;
      const uint32_t noise = (seed >> 16) % 10;
      const bool active = mark != '\0' && mark != '0';
      out += std::to_string(active ? 40 + noise * 6 : noise / 3);
      out += x + 1 < kWidth ? "," : "\n";
    }
  }
  return out;
}

// A camera plan before its first set: empty, of its channel (-1 for a channel outside 0..63).
template <class Plan>
Plan empty_plan(int64_t channel) {
  Plan plan{};
  plan.channel = valid_channel(channel) ? static_cast<int32_t>(channel) : -1;
  return plan;
}

// The answer to a read of one channel's record from `store` (the record of key -1 for a channel
// outside 0..63).
template <class T>
SimAnswerFn channel_read(KeyedStore<T>& store) {
  return [&store](const SimRequest& q, SimAnswer& a) {
    int32_t channel = 0;
    if (!payload_as(q, &channel)) return;
    a.record(store.get(valid_channel(channel) ? channel : -1));
  };
}

// The answer to a write whose record (member `record`, of the channel it names) goes to every
// channel of its mask (member `mask`) that has a camera: 0, or -1 for a short payload or a named
// channel without a camera.
template <class Write, class T>
SimAnswerFn copies_write(KeyedStore<T>& store, T Write::*record, ChannelMask64 Write::*mask) {
  return [&store, record, mask](const SimRequest& q, SimAnswer& a) {
    auto w = std::make_unique<Write>();
    if (!payload_as(q, w.get()) || !sim_camera_present(((*w).*record).chnid)) return a.int32(-1);
    for (int c = 0; c < kChannels; ++c) {
      if (!((*w).*mask).test(c) || !sim_camera_present(c)) continue;
      ((*w).*record).chnid = c;
      store.put(c, (*w).*record);
    }
    a.int32(0);
  };
}

class CameraSetupSim : public SimModule {
 public:
  const char* name() const override { return "camera_setup"; }
  void rules(SimRules& r) override;
  // "network": the simulated cameras as they are now, "address port protocol login" each.
  bool control(const std::vector<std::string>& words, std::string* answer) override {
    if (words.size() != 1 || words[0] != "network") return false;
    for (const NetCamera& c : network_.all()) {
      *answer += (answer->empty() ? "" : "; ") + text_of(c.found.ip_addr) + " " +
                 std::to_string(c.found.manage_port) + " " + std::to_string(c.found.protocol) + " " + c.user + "/" +
                 c.password;
    }
    return true;
  }

 private:
  Network network_;
  KeyedStore<ImageSettings> images_{factory_image};
  KeyedStore<ImageExtension> extensions_{factory_extension};
  KeyedStore<DayNightProfiles> profiles_{factory_profiles};
  KeyedStore<DayNightAreas> areas_{[](int64_t c) { return DayNightAreas{static_cast<int32_t>(c), 0, 0, {}, {}}; }};
  KeyedStore<CameraPlan> plan_a_{empty_plan<CameraPlan>};
  KeyedStore<CameraPlanWide> plan_b_{empty_plan<CameraPlanWide>};
  KeyedStore<CameraPlan> plan_c_{empty_plan<CameraPlan>};
  KeyedStore<HeatMap> heat_maps_{[](int64_t c) {
    HeatMap m{};
    m.chnid = static_cast<int32_t>(c);
    m.sensitivity = 5;
    m.minsize = 10;
    m.mintime = 2;
    return m;
  }};
  KeyedStore<Tracking> tracking_{[](int64_t c) {
    Tracking t{};
    t.chnid = static_cast<int32_t>(c);
    t.sensitivity = 5;
    t.time = 10;
    t.human_vehicle_support = 1;
    return t;
  }};
  KeyedStore<Watermark> watermarks_{[](int64_t c) { return Watermark{static_cast<int32_t>(c), 0, {}}; }};
};

void CameraSetupSim::rules(SimRules& r) {
  // The network.
  r.answer(kCameraSearch, [this](const SimRequest& q, SimAnswer& a) {
    int32_t protocol = 0;
    if (!payload_as(q, &protocol)) return a.bytes(nullptr, 0);
    const std::vector<std::string> added = added_addresses();
    std::vector<SearchResult> found;
    for (const NetCamera& c : network_.all()) {
      if (protocol != 0 && c.found.protocol != protocol) continue;  // ONVIF finds every camera
      SearchResult s = c.found;
      s.active_status = std::count(added.begin(), added.end(), text_of(s.ip_addr)) > 0 ? 1 : 0;
      found.push_back(s);
    }
    a.bytes(found.data(), found.size() * sizeof(SearchResult));
  });
  // The two forms of the connection test answer alike but for the code of a working login.
  const auto login_test = [this]<class Test>(Test, int32_t ok) -> SimAnswerFn {
    return [this, ok](const SimRequest& q, SimAnswer& a) {
      Test t;
      if (!payload_as(q, &t)) return a.int32(kUnknownError);
      a.int32(network_.login(text_of(t.ip_addr), t.manage_port, text_of(t.user_name), text_of(t.password), ok));
    };
  };
  r.answer(kLoginTest, login_test(LoginTest{}, kLoginOk));
  r.answer(kLoginTestAlt, login_test(LoginTestAlt{}, kLoginOkAlt));
  r.answer(kAddressChange, [this](const SimRequest& q, SimAnswer& a) {
    AddressChange c;
    if (!payload_as(q, &c)) return a.int32(kUnknownError);
    a.int32(network_.change(c));
  });
  r.answer(kAddressChangeBatch, [this](const SimRequest& q, SimAnswer&) {
    AddressChangeEntry e;
    if (!payload_as(q, &e)) return;
    AddressChange c;
    std::memcpy(&c, &e, sizeof c);
    network_.note(text_of(e.mac_addr), network_.change(c));
  });
  r.answer(kAddressChangeResults, [this](const SimRequest&, SimAnswer& a) { a.record(network_.results()); });

  // Image settings.
  r.answer(kImageRead, [this](const SimRequest& q, SimAnswer& a) {
    int32_t channel = 0;
    if (!payload_as(q, &channel) || !valid_channel(channel)) return a.record(ImageSettingsReply{-1, {}});
    a.record(ImageSettingsReply{channel, images_.get(channel)});
  });
  r.answer(kImageSet, [this](const SimRequest& q, SimAnswer&) {
    auto w = std::make_unique<ImageSettingsWrite>();
    if (!payload_as(q, w.get())) return;
    for (int32_t channel : w->channels) {
      if (!sim_camera_present(channel)) continue;
      images_.update(channel, [&w](ImageSettings& kept) {
        ImageSettings set = w->settings;
        keep_reported(set, kept, offsetof(ImageSettings, aflevel));
        kept = set;
      });
    }
  });
  r.answer(kImageExtensionRead, [this](const SimRequest& q, SimAnswer& a) {
    int32_t channel = 0;
    if (!payload_as(q, &channel) || !valid_channel(channel)) return a.record(ImageExtensionRecord{-1, {}});
    a.record(ImageExtensionRecord{channel, extensions_.get(channel)});
  });
  r.answer(kImageExtensionSet, [this](const SimRequest& q, SimAnswer& a) {
    ImageExtensionRecord e;
    if (!payload_as(q, &e) || !sim_camera_present(e.id)) return a.int32(-1);
    extensions_.update(e.id, [&e](ImageExtension& kept) {
      keep_reported(e.extension, kept, offsetof(ImageExtension, smartwhitestrength));
      kept = e.extension;
    });
    a.int32(0);
  });
  r.answer(kProfilesRead, [this](const SimRequest& q, SimAnswer& a) {
    int32_t channel = 0;
    if (!payload_as(q, &channel)) return;
    a.record(valid_channel(channel) ? profiles_.get(channel) : DayNightProfiles{channel, {}});
  });
  // Only the profiles marked valid change.
  r.answer(kProfilesSet, [this](const SimRequest& q, SimAnswer&) {
    DayNightProfiles p;
    if (!payload_as(q, &p) || !sim_camera_present(p.channel)) return;
    profiles_.update(p.channel, [&p](DayNightProfiles& kept) {
      for (int i = 0; i < kDayNightProfiles; ++i) {
        if (p.profiles[i].valid == 1) kept.profiles[i] = p.profiles[i];
      }
    });
  });
  r.answer(kNightMode, [this](const SimRequest& q, SimAnswer& a) {
    int32_t channel = 0;
    if (!payload_as(q, &channel)) return;
    a.record(NightMode{channel, valid_channel(channel) ? night_mode(extensions_.get(channel)) : -1});
  });
  r.answer(kAreasRead, channel_read(areas_));
  r.answer(kAreasSet, [this](const SimRequest& q, SimAnswer&) {
    DayNightAreasWrite w;
    if (!payload_as(q, &w) || !sim_camera_present(w.areas.chnid)) return;
    w.areas.cnt = std::clamp(w.areas.cnt, 0, kDayNightAreaCapacity);
    areas_.put(w.areas.chnid, w.areas);
  });
  r.answer(kAreaDelete, [this](const SimRequest& q, SimAnswer&) {
    DayNightAreaDelete d;
    if (!payload_as(q, &d) || !sim_camera_present(d.chan_id)) return;
    areas_.update(d.chan_id, [&d](DayNightAreas& kept) {
      if (d.area_id < 0 || d.area_id >= kept.cnt || kept.cnt > kDayNightAreaCapacity) return;
      std::copy(kept.areas + d.area_id + 1, kept.areas + kept.cnt, kept.areas + d.area_id);
      kept.areas[--kept.cnt] = DayNightArea{};
    });
  });
  auto plan_key = [](const auto& plan) -> int64_t { return plan.channel; };
  auto channel_key = [](const int32_t& channel) -> int64_t { return channel; };
  r.store(plan_a_, kPlanASet, kPlanARead, plan_key, channel_key, sim_camera_present);
  r.store(plan_b_, kPlanBSet, kPlanBRead, plan_key, channel_key, sim_camera_present);
  r.store(plan_c_, kPlanCSet, kPlanCRead, plan_key, channel_key, sim_camera_present);

  // Heat map, tracking, watermark: a write goes to every channel of its set.
  r.answer(kHeatMapRead, channel_read(heat_maps_));
  r.answer(kHeatMapSet, copies_write(heat_maps_, &HeatMapWrite::map, &HeatMapWrite::copy));
  r.answer(kHeatMapData, [](const SimRequest& q, SimAnswer& a) {
    HeatMapQuery query;
    if (!payload_as(q, &query) || !valid_channel(query.chnid)) return a.bytes(nullptr, 0);
    const std::string text = heat_map_text(query);
    a.bytes(text.data(), text.size());
  });
  r.answer(kTrackingRead, channel_read(tracking_));
  r.answer(kTrackingSet, copies_write(tracking_, &TrackingWrite::tracking, &TrackingWrite::channels));
  r.answer(kWatermarkRead, channel_read(watermarks_));
  r.answer(kWatermarkSet, [this](const SimRequest& q, SimAnswer& a) {
    WatermarkWrite w;
    if (!payload_as(q, &w) || !sim_camera_present(w.mark.chnid)) return a.int32(-1);
    const uint64_t copies = mask_of_text(std::string(w.copy, strnlen(w.copy, sizeof w.copy)).c_str(), 64);
    for (int c = 0; c < kChannels; ++c) {
      if ((c != w.mark.chnid && (copies & channel_bit64(c)) == 0) || !sim_camera_present(c)) continue;
      Watermark mark = w.mark;
      mark.chnid = c;
      watermarks_.put(c, mark);
    }
    a.int32(0);
  });
  // The identity of the camera at the channel's address, as the network knows it.
  r.answer(kCameraIdentity, [this](const SimRequest& q, SimAnswer& a) {
    int32_t channel = 0;
    if (!payload_as(q, &channel)) return;
    CameraIdentity id{};
    id.chnid = channel;
    CameraRecord row{};
    if (!valid_channel(channel) || read_camera(kZvdbPath, &row, channel) != 0 || row.enable != 1) {
      id.chnid = -1;
      return a.record(id);
    }
    copy_field_text(id.ipaddr, sizeof id.ipaddr, row.ip_addr);
    for (const NetCamera& c : network_.all()) {
      if (text_of(c.found.ip_addr) != text_of(row.ip_addr)) continue;
      copy_field_text(id.model, sizeof id.model, c.found.model);
      copy_field_text(id.fwversion, sizeof id.fwversion, c.found.fw_version);
    }
    a.record(id);
  });
}

}  // namespace

std::unique_ptr<SimModule> make_camera_setup_sim() { return std::make_unique<CameraSetupSim>(); }
