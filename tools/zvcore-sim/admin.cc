// Administration module: the device log as the core keeps it (search by page, entry detail, CSV
// export file), device information, factory reset of the settings and users, and firmware upgrades of the recorder and of
// the cameras, whose progress advances with time.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/json_fields.h"
#include "common/web_utils.h"
#include "common/messages/admin.h"
#include "platform/zvdb/engine.h"
#include "platform/zvdb/tables.h"
#include "platform/zvdb/zvdb.h"
#include "platform/zvfs/zvfs.h"
#include "tools/zvcore-sim/rules.h"
#include "tools/zvcore-sim/simulator.h"

namespace {

// Whether a stored log entry answers the query.
bool matches(const LogQuery& q, const OpLogRecord& e) {
  if (q.start_time <= q.end_time && (e.time < q.start_time || e.time > q.end_time)) return false;
  if (q.main_type != 1 && e.main_type != q.main_type) return false;
  const int subs = std::clamp(q.sub_type_count, 0, kLogSubTypesMax);
  if (subs > 0 && q.sub_types[0] != 10 &&
      std::find(q.sub_types, q.sub_types + subs, e.sub_type) == q.sub_types + subs) {
    return false;
  }
  if (q.channel_mask != 0) {
    if (e.channel <= 0) return q.no_channel != 0;
    if (e.channel > 64 || ((q.channel_mask >> (e.channel - 1)) & 1) == 0) return false;
  }
  return true;
}

// The detail data of an entry as text: "" when it holds none, or when it is a record rather than
// text (bytes that are not UTF-8: the core's text of such a detail is its own).
std::string detail_text(const OpLogRecord& e, size_t limit) {
  std::vector<char> data(kZvfsDetailDataMax + 1, '\0');
  int32_t kind = 0;
  const int n = zvfs_log_unpack_detail(&e, &kind, data.data(), kZvfsDetailDataMax);
  if (n <= 0) return {};
  std::string text(data.data(), strnlen(data.data(), static_cast<size_t>(std::min<int>(n, kZvfsDetailDataMax))));
  text.resize(std::min(text.size(), limit));
  return valid_request_text(text.data(), text.size()) ? text : std::string();
}

bool is_image_path(const char* path) { return strcmp(path, kRecorderImage) == 0 || strcmp(path, kCameraImage) == 0; }

class AdminSim : public SimModule {
 public:
  const char* name() const override { return "admin"; }

  void rules(SimRules& r) override {
    r.answer(kLogSearch, [this](const SimRequest& q, SimAnswer& a) { search(q, a); });
    r.answer(kLogExport, [this](const SimRequest& q, SimAnswer& a) { export_log(q, a); });
    r.answer(kLogDetail, [](const SimRequest& q, SimAnswer& a) {
      OpLogRecord e{};
      if (!payload_as(q, &e)) return;
      const std::string text = detail_text(e, sizeof(LogDetailText) - 1);
      a.bytes(text.c_str(), text.empty() ? 0 : text.size() + 1);
    });
    r.notice(kRetentionChanged);
    r.notice(kCameraImageDropped);

    r.answer(kLanguageSet, [this](const SimRequest& q, SimAnswer&) {
      int32_t language = 0;
      if (payload_as(q, &language)) language_.store(language);
    });
    r.answer(kFactoryKeep, [this](const SimRequest& q, SimAnswer&) {
      FactoryKeep keep{};
      if (!payload_as(q, &keep)) return;
      std::lock_guard<std::mutex> lock(mutex_);
      keep_ = keep;
    });
    // A factory reset puts the factory settings back (and the factory users, unless 3311 asked
    // to keep them) and forgets what the core itself holds (upgrades in progress); the reboot
    // notice that follows restarts the core. Settings and users change in one transaction: a
    // reader never sees the factory settings beside the users of before.
    r.answer(kFactoryReset, [this](const SimRequest&, SimAnswer&) {
      std::lock_guard<std::mutex> lock(mutex_);
      zvdb::WriteBatch batch(kZvdbPath);
      for (const zvdb::SettingDefault& d : zvdb::kSettingDefaults) {
        set_param_value(kZvdbPath, std::string(d.key).c_str(), std::string(d.value).c_str());
      }
      if (keep_.keep_user == 0) {
        for (int id = 1; id < kMaxUsers; ++id) zvdb::kUsers.remove(kZvdbPath, {id});
        UserRecord admin{};
        zvdb::make_default_user(&admin, 0);
        write_user(kZvdbPath, &admin);
      }
      batch.commit();
      keep_ = FactoryKeep{};
      ++resets_;
    });
    r.answer(kDeviceInfo, [](const SimRequest&, SimAnswer& a) { a.record(device_info()); });

    // Recorder upgrade: from the image in /dev/shm; the image is used up. Status 2: no image.
    r.answer(kUpgrade, [](const SimRequest& q, SimAnswer& a) {
      int32_t reset = 0;
      if (!payload_as(q, &reset)) return;
      struct stat st {};
      if (lstat(kRecorderImage, &st) != 0 || !S_ISREG(st.st_mode)) return a.int32(2);
      unlink(kRecorderImage);
      a.int32(0);
    });
    r.answer(kCameraUpgrade, [this](const SimRequest& q, SimAnswer& a) {
      CameraUpgradeRequest up{};
      if (!payload_as(q, &up)) return;
      struct stat st {};
      const bool ok = up.chnid >= 0 && up.chnid < 64 && lstat(kCameraImage, &st) == 0 && S_ISREG(st.st_mode);
      // The camera module runs the upgrade and reports its progress ("/2079").
      SimModule* cameras = sim->module("camera_apps");
      std::string answer;
      if (ok && up.chnid < 8 && cameras != nullptr) cameras->control({"firmware-start", std::to_string(up.chnid)}, &answer);
      a.record(CameraUpgradeStatus{up.chnid, ok ? 0 : -1});
    });
    // Downloads: an http(s) URL "downloads" a small image to the requested image path.
    r.answer(kUpgradeDownload, [](const SimRequest& q, SimAnswer& a) {
      UpgradeDownload d{};
      if (!payload_as(q, &d)) return;
      d.url[sizeof d.url - 1] = d.path[sizeof d.path - 1] = '\0';
      const bool web = strncmp(d.url, "http://", 7) == 0 || strncmp(d.url, "https://", 8) == 0;
      if (!web || !is_image_path(d.path)) return a.int32(-1);
      const std::string image = std::string("ZVFM image from ") + d.url + "\n";
      a.int32(write_whole_file(d.path, image.data(), image.size()) == 0 ? 0 : -2);
    });
    r.answer(kUpgradeCancel, [](const SimRequest&, SimAnswer& a) { a.int32(0); });
    r.answer(kUpgradeCheck, [](const SimRequest&, SimAnswer& a) { a.record(newer_version(1)); });
    r.answer(kCameraUpgradeCheck, [](const SimRequest& q, SimAnswer& a) {
      uint64_t mask = 0;
      if (!payload_as(q, &mask)) return;
      auto checks = std::make_unique<CameraUpgradeChecks>();
      for (int i = 0; i < 64; ++i) {
        if ((mask >> i) & 1) checks->checks[i] = newer_version(2);
      }
      a.record(*checks);
    });
  }

  bool control(const std::vector<std::string>& words, std::string* answer) override {
    if (words.size() == 1 && words[0] == "language") {
      *answer = std::to_string(language_.load());
      return true;
    }
    // "oplog-fill N": N made-up entries, one a minute up to now (a device with a full log).
    if (words.size() == 2 && words[0] == "oplog-fill") {
      char* end = nullptr;
      const long n = strtol(words[1].c_str(), &end, 10);
      if (*end != '\0' || n < 1 || n > static_cast<long>(OpLogStore::kMaxEntries)) return false;
      sim->oplog().fill(static_cast<size_t>(n), 60, static_cast<int32_t>(time(nullptr)));
      *answer = std::to_string(sim->oplog().size()) + " entries";
      return true;
    }
    if (words.size() == 1 && words[0] == "resets") {
      std::lock_guard<std::mutex> lock(mutex_);
      *answer = std::to_string(resets_) + " keepIp=" + std::to_string(keep_.keep_ip) +
                " keepUser=" + std::to_string(keep_.keep_user);
      return true;
    }
    return false;
  }

 private:
  static DeviceInfo device_info() {
    DeviceInfo d{};
    d.device_id = 1;
    d.max_cameras = get_param_int(kZvdbPath, "max_cameras", 32);
    d.max_sensors = get_param_int(kZvdbPath, "alarm_in", 16);
    d.max_alarm_outputs = get_param_int(kZvdbPath, "alarm_out", 4);
    d.max_audio_outputs = 1;
    d.display_count = 2;
    d.rs485_ports = 1;
    d.network_ports = 2;
    d.oem_version = get_param_int(kZvdbPath, "oem_type", 0);
    snprintf(d.serial, sizeof d.serial, "ZV2026120800017");
    snprintf(d.serial_prefix, sizeof d.serial_prefix, "ZV");
    snprintf(d.device_name, sizeof d.device_name, "NVR");
    get_param_value(kZvdbPath, "software_version", d.software_version, sizeof d.software_version, "7x.7.0.9");
    get_param_value(kZvdbPath, "hardware_version", d.hardware_version, sizeof d.hardware_version, "V1.1");
    char eth1[18];
    get_mac_addresses(d.mac, eth1);
    d.talk = 1;
    return d;
  }

  static UpgradeCheck newer_version(int32_t state) {
    UpgradeCheck c{};
    c.state = state;
    c.file_size = 1 << 20;
    snprintf(c.softversion, sizeof c.softversion, "7x.7.1.0");
    snprintf(c.url, sizeof c.url, "http://update.invalid/firmware/7x.7.1.0.bin");
    snprintf(c.description, sizeof c.description, "Stability fixes");
    return c;
  }

  // Calls `visit` with every entry the query matches, oldest first.
  void each_match(const LogQuery& q, const std::function<void(const OpLogRecord&)>& visit) const {
    const bool spanned = q.start_time <= q.end_time;
    sim->oplog().visit(spanned ? q.start_time : INT32_MIN, spanned ? q.end_time : INT32_MAX,
                       [&](const StoredLogEntry& e) {
                         if (matches(q, e.record)) visit(e.record);
                         return true;
                       });
  }

  // One page of the matches (kLogPageEntries from page q.page, 1-based) and their total: only the
  // page's entries are copied.
  void search(const SimRequest& request, SimAnswer& a) const {
    auto q = std::make_unique<LogQuery>();
    if (!payload_as(request, q.get())) return;
    const size_t first = static_cast<size_t>(std::max(q->page, 1) - 1) * kLogPageEntries;
    size_t total = 0;
    std::vector<OpLogRecord> page;
    each_match(*q, [&](const OpLogRecord& e) {
      if (total >= first && page.size() < kLogPageEntries) page.push_back(e);
      ++total;
    });
    std::vector<unsigned char> reply(8 + page.size() * sizeof(OpLogRecord));
    const auto header = std::array<int32_t, 2>{static_cast<int32_t>(total), static_cast<int32_t>(page.size())};
    std::memcpy(reply.data(), header.data(), 8);
    if (!page.empty()) std::memcpy(reply.data() + 8, page.data(), page.size() * sizeof(OpLogRecord));
    a.bytes(reply.data(), reply.size());
  }

  void export_log(const SimRequest& request, SimAnswer& a) {
    auto q = std::make_unique<LogQuery>();
    if (!payload_as(request, q.get())) return;
    mkdir("/tmp/log", 0755);
    LogExportReply reply{};
    snprintf(reply.path, sizeof reply.path, "/tmp/log/export_%d_%u.bin", static_cast<int>(getpid()),
             exports_.fetch_add(1));
    // The entry count, then each match with its detail text in a zero-filled block.
    std::vector<unsigned char> file(4);
    int32_t count = 0;
    std::vector<char> detail(kLogExportDetailBytes);
    each_match(*q, [&](const OpLogRecord& e) {
      const auto* bytes = reinterpret_cast<const unsigned char*>(&e);
      file.insert(file.end(), bytes, bytes + sizeof e);
      std::fill(detail.begin(), detail.end(), '\0');
      const std::string text = detail_text(e, kLogExportDetailBytes - 1);
      std::memcpy(detail.data(), text.data(), text.size());
      file.insert(file.end(), detail.begin(), detail.end());
      ++count;
    });
    std::memcpy(file.data(), &count, 4);
    reply.status = write_whole_file(reply.path, file.data(), file.size()) == 0 ? 0 : -1;
    a.record(reply);
  }

  mutable std::mutex mutex_;
  FactoryKeep keep_{};
  int resets_ = 0;
  std::atomic<int32_t> language_{0};
  std::atomic<unsigned> exports_{0};
};

}  // namespace

std::unique_ptr<SimModule> make_admin_sim() { return std::make_unique<AdminSim>(); }
