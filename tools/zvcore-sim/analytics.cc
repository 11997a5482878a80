// Analytics module: a simulated analytics camera on every connected channel (camera row stored and
// enabled), with a resolution
// (1920 x 1080 unless set with the control command "resolution <channel> <width> <height>"). It
// keeps every detection setting a set sends (regions, lines with sub-lines, sensitivities, areas,
// plate recognition settings and format filters, counting lines and regions, fisheye modes) and
// returns it from the matching read; line and area reads carry the camera's resolution. A
// region or area set whose copy text marks channels ('1' at position n) stores the same settings
// on those cameras too. Line counters count on their own and are cleared by the reset message
// (control "counters <channel>" shows them). Probes of cameras not yet added answer from a
// small registry of cameras on the network: a fisheye at 192.168.1.70 and a plain camera at
// 192.168.1.71. Sets for a channel without a camera answer -1 and store nothing.
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "common/request.h"
#include "common/messages/analytics.h"
#include "platform/zvdb/camera_tables.h"
#include "platform/zvdb/zvdb.h"
#include "tools/zvcore-sim/cameras.h"
#include "tools/zvcore-sim/modules.h"
#include "tools/zvcore-sim/rules.h"

namespace {

constexpr int kChannels = 64;

bool valid_channel(int64_t channel) { return channel >= 0 && channel < kChannels; }

// A channel has an analytics camera when it has a camera (cameras.h). Reads of another channel
// answer the factory record; sets answer -1.
bool connected(int64_t channel) { return sim_camera_present(channel); }

struct Resolution {
  int32_t width = 1920;
  int32_t height = 1080;
};

using Counters = std::array<int32_t, 4>;

// The people a line has counted since its last reset: the simulated camera counts on its own.
Counters factory_counters(int64_t channel) {
  Counters c{};
  for (int i = 0; i < 4; ++i) c[static_cast<size_t>(i)] = static_cast<int32_t>(channel) * 10 + i + 1;
  return c;
}

// Factory settings of a camera: zeros carrying the channel in the first int32, where every record
// kept here holds it (the sets are keyed by the same int32).
template <class T>
T factory_record(int64_t channel) {
  T record{};
  const auto first = static_cast<int32_t>(channel);
  std::memcpy(&record, &first, sizeof first);
  return record;
}

// The channels a copy text marks: character n == '1' (n < 64).
uint64_t copy_targets(const char* text, size_t size) {
  return mask_of_text(std::string(text, strnlen(text, size)).c_str(), kChannels);
}

class AnalyticsSim : public SimModule {
 public:
  const char* name() const override { return "analytics"; }

  void rules(SimRules& r) override {
    // Recorder-side action blocks: the core rereads the database.
    r.notice(kSmartEventChanged);
    r.notice(kPlateEventChanged);

    // Region-based detections and object left/removed: one store per detection.
    keep_copied(r, entrance_, kRegionEntranceSet, kRegionEntranceRead);
    keep_copied(r, exit_, kRegionExitSet, kRegionExitRead);
    keep_copied(r, advanced_motion_, kAdvancedMotionSet, kAdvancedMotionRead);
    keep_copied(r, tamper_, kTamperSet, kTamperRead);
    keep_copied(r, loitering_, kLoiteringSet, kLoiteringRead);
    keep_copied(r, human_, kHumanSet, kHumanRead);
    keep_copied(r, object_left_, kObjectLeftSet, kObjectLeftRead);

    // Lines and areas: read back with the camera's resolution.
    keep_copied(r, areas_v2_, kVcaSettingsV2Set, kVcaSettingsV2Read, [this](VcaSettingsV2& s) {
      if (s.width == 0 || s.height == 0) with_resolution(s);
    });
    keep(r, lines_, kLineCrossingSet, kLineCrossingRead, [this](VcaLineRecord& l) { with_resolution(l); });
    keep(r, lines_v2_, kVcaLineV2Set, kVcaLineV2Read, [this](VcaLineRecordV2& l) { with_resolution(l); });
    keep(r, areas_, kVcaSettingsSet, kVcaSettingsRead, [this](VcaSettings& s) {
      if (s.width == 0 || s.height == 0) with_resolution(s);
    });
    keep(r, anpr_, kAnprSettingsSet, kAnprSettingsRead, [this](AnprSettings& s) {
      if (s.resolution_width == 0) s.resolution_width = resolution_.get(s.chnid).width;
      if (s.resolution_height == 0) s.resolution_height = resolution_.get(s.chnid).height;
    });
    keep(r, formats_, kPlateFormatSet, kPlateFormatRead);
    keep(r, people_, kPeopleCountSet, kPeopleCountRead, [this](PeopleCountSettings& s) {
      if (s.width == 0 || s.height == 0) with_resolution(s);
    });
    keep(r, regional_, kRegionalCountSet, kRegionalCountRead, [](RegionalCountSettings& s) { s.result = 0; });
    keep(r, fisheye_, kFisheyeSet, kFisheyeRead, [](FisheyeSettings& s) { s.result = 0; });

    // Support queries: every camera runs analytics (type 1, version "V2.0") and is not zoomed.
    r.answer(kVcaSupportRead, [](const SimRequest& q, SimAnswer& a) {
      int32_t channel = -1;
      if (!payload_as(q, &channel, true) || !connected(channel)) return a.bytes(nullptr, 0);
      a.record(VcaSupport{1, 1});
    });
    r.answer(kVcaVersionRead, [](const SimRequest& q, SimAnswer& a) {
      int32_t channel = -1;
      payload_as(q, &channel, true);
      const bool camera = connected(channel);
      VcaSupportVersion v{channel, camera ? 1 : 0, ""};
      if (camera) std::snprintf(v.vca_version, sizeof v.vca_version, "V2.0");
      a.record(v);
    });
    r.answer(kZoomStateRead, [](const SimRequest& q, SimAnswer& a) {
      int32_t channel = -1;
      payload_as(q, &channel, true);
      a.record(ZoomState{channel, 0, connected(channel) ? 1 : 0});
    });

    // Counter reset: line 0..3 clears that line's counter, any other line all four.
    r.answer(kPeopleCountResetSet, [this](const SimRequest& q, SimAnswer& a) {
      PeopleCountReset reset;
      if (!payload_as(q, &reset) || !connected(reset.channel)) return a.int32(-1);
      counters_.update(reset.channel, [&reset](Counters& c) {
        for (int i = 0; i < 4; ++i) {
          if (reset.line < 0 || reset.line > 3 || reset.line == i) c[static_cast<size_t>(i)] = 0;
        }
      });
      a.int32(0);
    });

    // Cameras not yet added, by address.
    r.answer(kFisheyeProbe, [this](const SimRequest& q, SimAnswer& a) {
      FisheyeProbe probe;
      if (!payload_as(q, &probe)) return a.bytes(nullptr, 0);
      std::lock_guard<std::mutex> lock(probe_mutex_);
      auto it = probed_.find(std::string(probe.ipaddr, strnlen(probe.ipaddr, sizeof probe.ipaddr)));
      a.record(it != probed_.end() ? it->second : FisheyeProbeReply{});
    });
    r.answer(kFisheyeProbeSet, [this](const SimRequest& q, SimAnswer& a) {
      FisheyeProbeSet set;
      if (!payload_as(q, &set)) return a.int32(-1);
      std::lock_guard<std::mutex> lock(probe_mutex_);
      auto it = probed_.find(std::string(set.camera.ipaddr, strnlen(set.camera.ipaddr, sizeof set.camera.ipaddr)));
      if (it == probed_.end() || it->second.support != 1) return a.int32(-1);
      it->second.transfer = set.transfer;
      it->second.install = set.install;
      it->second.display = set.display;
      a.int32(0);
    });
  }

  bool control(const std::vector<std::string>& words, std::string* answer) override {
    int32_t channel = -1;
    if (words.size() == 2 && words[0] == "counters" && parse_decimal(words[1].c_str(), &channel) &&
        valid_channel(channel)) {
      const Counters c = counters_.get(channel);
      *answer = std::to_string(c[0]) + " " + std::to_string(c[1]) + " " + std::to_string(c[2]) + " " +
                std::to_string(c[3]);
      return true;
    }
    int32_t width = 0;
    int32_t height = 0;
    if (words.size() == 4 && words[0] == "resolution" && parse_decimal(words[1].c_str(), &channel) &&
        valid_channel(channel) && parse_decimal(words[2].c_str(), &width) && width > 0 &&
        parse_decimal(words[3].c_str(), &height) && height > 0) {
      resolution_.put(channel, Resolution{width, height});
      *answer = "channel " + words[1] + " " + words[2] + "x" + words[3];
      return true;
    }
    if (!words.empty() && (words[0] == "counters" || words[0] == "resolution")) {
      *answer = "error: usage: counters <channel> | resolution <channel> <width> <height>";
      return true;
    }
    return false;
  }

 private:
  template <class T>
  void with_resolution(T& record) {
    const Resolution res = resolution_.get(record.channel);
    record.width = res.width;
    record.height = res.height;
  }

  // A set (first int32: the channel) stores and runs `on_set` with the store; its read returns
  // the stored record after `on_read`.
  template <class T, class R = void (*)(T&), class S = void (*)(KeyedStore<T>&, const T&)>
  void keep(SimRules& r, KeyedStore<T>& store, const Exchange<T, int32_t>& set, const Exchange<int32_t, T>& get,
            R on_read = [](T&) {}, S on_set = [](KeyedStore<T>&, const T&) {}) {
    r.answer(set, [&store, on_set](const SimRequest& q, SimAnswer& a) {
      auto record = std::make_unique<T>();
      int32_t channel = -1;
      if (payload_as(q, record.get())) std::memcpy(&channel, record.get(), sizeof channel);
      if (!connected(channel)) return a.int32(-1);
      store.put(channel, *record);
      on_set(store, *record);
      a.int32(0);
    });
    r.answer(get, [&store, on_read](const SimRequest& q, SimAnswer& a) {
      int32_t channel = -1;
      if (!payload_as(q, &channel, true)) return;
      auto record = std::make_unique<T>(store.get(channel));
      if (connected(channel)) on_read(*record);
      a.record(*record);
    });
  }

  // The same, and the cameras the record's copy text marks take the settings too.
  template <class T, class R = void (*)(T&)>
  void keep_copied(SimRules& r, KeyedStore<T>& store, const Exchange<T, int32_t>& set,
                   const Exchange<int32_t, T>& get, R on_read = [](T&) {}) {
    keep(r, store, set, get, on_read, [](KeyedStore<T>& kept, const T& record) {
      const uint64_t targets = copy_targets(record.copy, sizeof record.copy);
      for (int c = 0; c < kChannels; ++c) {
        if ((targets >> c & 1u) == 0 || c == record.channel || !connected(c)) continue;
        auto copy = std::make_unique<T>(record);
        copy->channel = c;
        kept.put(c, *copy);
      }
    });
  }

 private:
  KeyedStore<VcaRegionRecord> entrance_{factory_record<VcaRegionRecord>};
  KeyedStore<VcaRegionRecord> exit_{factory_record<VcaRegionRecord>};
  KeyedStore<VcaRegionRecord> advanced_motion_{factory_record<VcaRegionRecord>};
  KeyedStore<VcaRegionRecord> tamper_{factory_record<VcaRegionRecord>};
  KeyedStore<VcaRegionRecord> loitering_{factory_record<VcaRegionRecord>};
  KeyedStore<VcaRegionRecord> human_{factory_record<VcaRegionRecord>};
  KeyedStore<VcaObjectLeftRecord> object_left_{factory_record<VcaObjectLeftRecord>};
  KeyedStore<VcaLineRecord> lines_{factory_record<VcaLineRecord>};
  KeyedStore<VcaLineRecordV2> lines_v2_{factory_record<VcaLineRecordV2>};
  KeyedStore<VcaSettings> areas_{factory_record<VcaSettings>};
  KeyedStore<VcaSettingsV2> areas_v2_{factory_record<VcaSettingsV2>};
  KeyedStore<AnprSettings> anpr_{factory_record<AnprSettings>};
  KeyedStore<PlateFormatFilter> formats_{factory_record<PlateFormatFilter>};
  KeyedStore<PeopleCountSettings> people_{factory_record<PeopleCountSettings>};
  KeyedStore<RegionalCountSettings> regional_{factory_record<RegionalCountSettings>};
  KeyedStore<FisheyeSettings> fisheye_{factory_record<FisheyeSettings>};
  KeyedStore<Resolution> resolution_;
  KeyedStore<Counters> counters_{factory_counters};
  std::mutex probe_mutex_;
  std::map<std::string, FisheyeProbeReply> probed_ = {
      {"192.168.1.70", FisheyeProbeReply{1, 0, 1, 2, 2}},
      {"192.168.1.71", FisheyeProbeReply{0, 0, 0, 0, 1}},
  };
};

}  // namespace

std::unique_ptr<SimModule> make_analytics_sim() { return std::make_unique<AnalyticsSim>(); }
