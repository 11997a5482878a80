// Camera applications module: people-counting groups whose counts move while the simulator runs,
// camera firmware upgrades from the image file, POS terminals, counting reports and face capture.
//
// Counting: every second each channel of an enabled group counts people in and out (more in than
// out, so people stay); a group's counts are its channels' counts since the group was last reset:
// by 2291, when its settings change (2290), or daily at its "auto_day_time" when "auto_day" is set.
// 2292 answers how many people stay in the group; 3377 answers a channel's counts as text.
//
// Firmware: 3385 reads /dev/shm/updateIPCFM.bin and passes (res 0) only when its size is the
// page's "fileSize" (-1 another size, -2 no image, -3 no channel); 3379 starts the channels of the
// mask (the image or a URL with a scheme is needed, else their status is -1); each channel 0..7 then goes from 0
// to 100 (done) in about three seconds; 3386 answers the progress (nothing before a start); 3390
// with a non-zero stop ends it, unfinished channels at -2.
//
// POS terminals (1421) and counting reports (1423) are read from the database as the core does;
// face capture settings (3381) are kept per channel 0..7.
//
// Control commands: "groups" (each group's in, out and staying counts), "newday" (the daily reset
// of every group with "auto_day"), "pos <id>", "face <channel>", "firmware".
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "common/request.h"
#include "common/messages/camera_apps.h"
#include "platform/zvdb/camera_apps_tables.h"
#include "platform/zvdb/zvdb.h"
#include "tools/zvcore-sim/modules.h"
#include "tools/zvcore-sim/rules.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kChannels = 64;
constexpr auto kCountStep = std::chrono::seconds(1);
constexpr int kUpgradeMs = 3000;  // from 0 to 100
constexpr int32_t kUpgradeDone = 100;
constexpr int32_t kUpgradeFailed = -1;
constexpr int32_t kUpgradeStopped = -2;

// Today as yyyymmdd and the time as minutes since midnight, local time.
void local_day(int* day, int* minute) {
  const time_t now = time(nullptr);
  struct tm t{};
  localtime_r(&now, &t);
  *day = (t.tm_year + 1900) * 10000 + (t.tm_mon + 1) * 100 + t.tm_mday;
  *minute = t.tm_hour * 60 + t.tm_min;
}

// "HH:MM" as minutes since midnight; midnight when it does not read.
int minute_of(const char* text) {
  int hours = 0;
  int minutes = 0;
  return std::sscanf(text, "%d:%d", &hours, &minutes) == 2 ? hours * 60 + minutes : 0;
}

struct GroupCount {
  int64_t base_in = 0;   // the channels' counts at the last reset
  int64_t base_out = 0;
  int reset_day = 0;
};

class CameraAppsSim : public SimModule {
 public:
  const char* name() const override { return "camera_apps"; }
  void rules(SimRules& r) override;
  bool control(const std::vector<std::string>& words, std::string* answer) override;

 private:
  // ---- Counting (mutex_ held) ----
  void load_groups() {
    if (groups_loaded_) return;
    read_peoplecnt_settings(kZvdbPath, groups_);
    groups_loaded_ = true;
    for (int g = 0; g < kCountingGroups; ++g) reset_group(g);
  }
  bool in_group(int g, int channel) const {
    return groups_[g].enable != 0 && channel < kEventTextSize - 1 && groups_[g].tri_channels[channel] == '1';
  }
  void group_sums(int g, int64_t* in, int64_t* out) const {
    *in = *out = 0;
    for (int c = 0; c < kChannels; ++c) {
      if (in_group(g, c)) {
        *in += in_[c];
        *out += out_[c];
      }
    }
  }
  void reset_group(int g) {
    int minute = 0;
    group_sums(g, &counts_[g].base_in, &counts_[g].base_out);
    local_day(&counts_[g].reset_day, &minute);
  }
  // People come and go on every channel of an enabled group, one step a second; groups with a
  // daily reset start again once their time of day has passed.
  void advance() {
    load_groups();
    // Step s lets 1 + s % 2 people in and 1 out on each counted channel; the steps since the last
    // look are added at once (the odd ones among them let one more in).
    const int64_t steps = (Clock::now() - last_step_) / kCountStep;
    const int64_t odd = (step_ + steps + 1) / 2 - (step_ + 1) / 2;
    last_step_ += steps * kCountStep;
    step_ += steps;
    for (int c = 0; c < kChannels && steps > 0; ++c) {
      bool counted = false;
      for (int g = 0; g < kCountingGroups; ++g) counted = counted || in_group(g, c);
      if (!counted) continue;
      in_[c] += steps + odd;
      out_[c] += steps;
    }
    int day = 0;
    int minute = 0;
    local_day(&day, &minute);
    for (int g = 0; g < kCountingGroups; ++g) {
      if (groups_[g].auto_day != 0 && counts_[g].reset_day != day && minute >= minute_of(groups_[g].auto_day_time)) {
        reset_group(g);
      }
    }
  }
  int64_t staying(int g) const {
    int64_t in = 0;
    int64_t out = 0;
    group_sums(g, &in, &out);
    return (in - counts_[g].base_in) - (out - counts_[g].base_out);
  }

  // ---- Firmware (mutex_ held) ----
  FirmwareProgress progress() const {
    FirmwareProgress p{};
    p.channels = upgrade_.channels;
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
        (upgrade_stopped_ ? stopped_at_ : Clock::now()) - upgrade_start_);
    for (int c = 0; c < kFirmwareChannels; ++c) {
      if ((upgrade_.channels >> c & 1) == 0) continue;
      int32_t status = static_cast<int32_t>(std::min<int64_t>(elapsed.count() * kUpgradeDone / kUpgradeMs, kUpgradeDone));
      if (!image_ok_) status = kUpgradeFailed;
      else if (upgrade_stopped_ && status < kUpgradeDone) status = kUpgradeStopped;
      p.status[c] = status;
    }
    return p;
  }

  std::mutex mutex_;
  CountingGroup groups_[kCountingGroups]{};
  bool groups_loaded_ = false;
  GroupCount counts_[kCountingGroups];
  int64_t in_[kChannels] = {};
  int64_t out_[kChannels] = {};
  Clock::time_point last_step_ = Clock::now();
  int64_t step_ = 0;

  bool upgrading_ = false;
  bool image_ok_ = false;
  bool upgrade_stopped_ = false;
  FirmwareStart upgrade_{};
  Clock::time_point upgrade_start_{};
  Clock::time_point stopped_at_{};

  KeyedStore<PosRecord> pos_;
  KeyedStore<FaceCapture> faces_;
  CountingReport reports_[kCountingReports]{};
};

// The size of the camera image as read from its file; -1 when there is none.
int64_t image_size() {
  FILE* f = std::fopen(kCameraImagePath, "rb");
  if (f == nullptr) return -1;
  int64_t size = 0;
  char block[65536];
  for (size_t got; (got = std::fread(block, 1, sizeof block, f)) > 0;) size += static_cast<int64_t>(got);
  std::fclose(f);
  return size;
}

void CameraAppsSim::rules(SimRules& r) {
  const auto with_group = [this](std::function<int32_t(int)> act) {
    return [this, act](const SimRequest& q, SimAnswer& a) {
      int32_t group = -1;
      payload_as(q, &group, true);
      std::lock_guard<std::mutex> lock(mutex_);
      advance();
      a.int32(group >= 0 && group < kCountingGroups ? act(group) : -1);
    };
  };
  r.answer(kCountingGroupsChanged, [this](const SimRequest&, SimAnswer& a) {
    std::lock_guard<std::mutex> lock(mutex_);
    advance();
    groups_loaded_ = false;  // read again; every group starts counting anew
    advance();
    a.int32(0);
  });
  r.answer(kCountingGroupReset, with_group([this](int g) {
    reset_group(g);
    return 0;
  }));
  r.answer(kCountingGroupStaying, with_group([this](int g) { return static_cast<int32_t>(staying(g)); }));
  r.answer(kCountingEventChanged, with_group([](int) { return 0; }));
  r.answer(kCountingUrl, [this](const SimRequest& q, SimAnswer& a) {
    CountingUrlQuery query{};
    if (!payload_as(q, &query)) return;
    CountingUrlReply reply{};
    reply.chnid = query.chnid;
    std::lock_guard<std::mutex> lock(mutex_);
    advance();
    if (query.chnid < 0 || query.chnid >= kChannels) {
      reply.res = -1;
      a.bytes(&reply, offsetof(CountingUrlReply, data));
      return;
    }
    const int length = std::snprintf(reply.data, sizeof reply.data, "url=%s;in=%lld;out=%lld",
                                     std::string(field_text(query.url)).c_str(),
                                     static_cast<long long>(in_[query.chnid]),
                                     static_cast<long long>(out_[query.chnid]));
    a.bytes(&reply, offsetof(CountingUrlReply, data) + std::min<size_t>(static_cast<size_t>(length), sizeof reply.data - 1));
  });

  r.answer(kFirmwareCheck, [](const SimRequest& q, SimAnswer& a) {
    FirmwareCheck check{};
    if (!payload_as(q, &check)) return;
    const int64_t size = image_size();
    a.int32(size < 0 ? -2 : (check.channels & 0xff) == 0 ? -3 : size != check.file_size ? -1 : 0);
  });
  r.answer(kFirmwareStart, [this](const SimRequest& q, SimAnswer& a) {
    FirmwareStart start{};
    if (!payload_as(q, &start)) return;
    std::lock_guard<std::mutex> lock(mutex_);
    upgrade_ = start;
    upgrading_ = true;
    upgrade_stopped_ = false;
    // The URL field need not end with a NUL: the scheme is looked for inside it only.
    image_ok_ = field_text(start.url).find("://") != std::string_view::npos || image_size() > 0;
    upgrade_start_ = Clock::now();
    a.record(progress());
  });
  r.answer(kFirmwareProgress, [this](const SimRequest&, SimAnswer& a) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!upgrading_) return a.bytes(nullptr, 0);
    a.record(progress());
  });
  r.answer(kFirmwareStop, [this](const SimRequest& q, SimAnswer&) {
    int32_t stop = 0;
    std::lock_guard<std::mutex> lock(mutex_);
    if (payload_as(q, &stop) && stop != 0 && upgrading_ && !upgrade_stopped_) {
      upgrade_stopped_ = true;
      stopped_at_ = Clock::now();
    }
  });

  r.answer(kPosChanged, [this](const SimRequest& q, SimAnswer& a) {
    int32_t id = -1;
    PosRecord terminal{};
    const bool ok = payload_as(q, &id) && id >= 0 && id < kPosDevices && read_pos_setting(kZvdbPath, &terminal, id) == 0;
    if (ok) pos_.put(id, terminal);
    a.int32(ok ? 0 : -1);
  });
  r.answer(kCountingReportsChanged, [this](const SimRequest&, SimAnswer& a) {
    std::lock_guard<std::mutex> lock(mutex_);
    a.int32(read_peoplecnt_auto_backup(kZvdbPath, reports_) == 0 ? 0 : -1);
  });
  r.answer(kFaceCaptureSet, [this](const SimRequest& q, SimAnswer& a) {
    auto face = std::make_unique<FaceCapture>();
    if (!payload_as(q, face.get())) return;
    const bool ok = face->chn_id >= 0 && face->chn_id < kFaceChannels;
    if (ok) faces_.put(face->chn_id, *face);
    a.int32(ok ? 0 : -1);
  });
  r.notice(kFaceEventChanged);
}

bool CameraAppsSim::control(const std::vector<std::string>& words, std::string* answer) {
  if (words.empty()) return false;
  const std::string& command = words[0];
  int32_t n = -1;
  const bool numbered = words.size() == 2 && parse_decimal(words[1].c_str(), &n);
  std::lock_guard<std::mutex> lock(mutex_);
  if (command == "groups" || command == "newday") {
    advance();
    for (int g = 0; g < kCountingGroups; ++g) {
      if (command == "newday" && groups_[g].auto_day != 0) reset_group(g);
      int64_t in = 0;
      int64_t out = 0;
      group_sums(g, &in, &out);
      *answer += (g ? " " : "") + std::string("group") + std::to_string(g) + " in=" +
                 std::to_string(in - counts_[g].base_in) + " out=" + std::to_string(out - counts_[g].base_out) +
                 " staying=" + std::to_string(staying(g));
    }
    return true;
  }
  if (command == "pos") {
    if (!numbered || n < 0 || n >= kPosDevices || !pos_.contains(n)) return (*answer = "error: no such POS"), true;
    const PosRecord p = pos_.get(n);
    *answer = "name=" + std::string(field_text(p.name)) + " ip=" + std::string(field_text(p.ip)) +
              " port=" + std::to_string(p.port) + " enable=" + std::to_string(p.enable);
    return true;
  }
  if (command == "face") {
    if (!numbered || n < 0 || n >= kFaceChannels || !faces_.contains(n)) return (*answer = "error: no such face"), true;
    const FaceCapture f = faces_.get(n);
    *answer = "enable=" + std::to_string(f.enable) + " width=" + std::to_string(f.width) +
              " height=" + std::to_string(f.height) + " url=" + std::string(field_text(f.http_url));
    return true;
  }
  // "firmware-start <channel 0..7>": an upgrade of that channel from the image file, started by the
  // maintenance page (it joins a running upgrade).
  if (command == "firmware-start") {
    if (!numbered || n < 0 || n >= kFirmwareChannels) return (*answer = "error: no such channel"), true;
    if (!upgrading_ || upgrade_stopped_) {
      upgrade_ = FirmwareStart{};
      upgrade_start_ = Clock::now();
      upgrading_ = true;
      upgrade_stopped_ = false;
      image_ok_ = image_size() > 0;
    }
    upgrade_.channels |= uint64_t{1} << n;
    *answer = "started";
    return true;
  }
  if (command == "firmware") {
    if (!upgrading_) return (*answer = "idle"), true;
    const FirmwareProgress p = progress();
    *answer = "channels=" + std::to_string(p.channels);
    for (int c = 0; c < kFirmwareChannels; ++c) {
      if (p.channels >> c & 1) *answer += " status" + std::to_string(c) + "=" + std::to_string(p.status[c]);
    }
    return true;
  }
  return false;
}

}  // namespace

std::unique_ptr<SimModule> make_camera_apps_sim() { return std::make_unique<CameraAppsSim>(); }
