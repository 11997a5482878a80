// Device module: the recorder's own settings as the core applies them. Display, device id, host
// name, clock, port mapping and network-change notices are taken and kept (a PPPoE change dials
// the simulated link, which the state module then lists as "ppp0") (the port mapping with its statuses in
// the database, where the web side reads them; the second output's switch in the display row);
// the ten alarm audio slots hold real files; a diagnostics export writes a real package under
// /tmp. `zvcore-sim ctl device state` prints what was applied; `device value N` sets the value
// 3265 answers.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iterator>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/payload_reader.h"
#include "common/tool_runner.h"
#include "common/web_utils.h"
#include "common/messages/network.h"
#include "common/messages/device.h"
#include "platform/zvdb/device_tables.h"
#include "platform/zvdb/engine.h"
#include "platform/zvdb/network_tables.h"
#include "platform/zvdb/video_tables.h"
#include "platform/zvdb/zvdb.h"
#include "platform/zvstd/zvstd.h"
#include "tools/zvcore-sim/rules.h"
#include "tools/zvcore-sim/simulator.h"

namespace {

constexpr char kAudioDir[] = "/mnt/nand/app/audio";
constexpr char kTraceLog[] = "/mnt/nand/cgi_log.txt";
constexpr char kExportRunning[] = "/tmp/tmp_diagnostic";
constexpr size_t kMaxAudioBytes = 8u << 20;
// The address the simulated PPPoE peer hands out (shared address space of carrier links).
constexpr char kSimPppoeAddress[] = "100.64.0.2";

// Answers of the audio slot messages.
constexpr int32_t kAudioOk = 0;
constexpr int32_t kAudioMissing = -1;   // no such upload, or an empty or unused slot
constexpr int32_t kAudioFull = -2;      // every slot is used
constexpr int32_t kAudioNotWave = -3;   // the upload is not a WAV file

std::string slot_file(int32_t id) { return std::string(kAudioDir) + "/alarm" + std::to_string(id) + ".wav"; }

bool is_wave(const unsigned char* data, size_t size) {
  return size >= 12 && std::memcmp(data, "RIFF", 4) == 0 && std::memcmp(data + 8, "WAVE", 4) == 0;
}

class DeviceSim : public SimModule {
 public:
  const char* name() const override { return "device"; }

  void rules(SimRules& r) override {
    r.answer(kSecondOutput, [this](const SimRequest& q, SimAnswer&) { second_output(q); });
    r.answer(kOutputResolution, [this](const SimRequest& q, SimAnswer&) {
      OutputResolution o{};
      if (!payload_as(q, &o) || o.output < 0 || o.output > 1) return;
      std::lock_guard<std::mutex> lock(mutex_);
      resolutions_[o.output] = o.resolution;
    });
    r.answer(kOutputsApply, [this](const SimRequest&, SimAnswer&) { count(&outputs_applied_); });
    r.answer(kAudioOutputs, [this](const SimRequest& q, SimAnswer&) {
      AudioOutputs o{};
      if (!payload_as(q, &o)) return;
      std::lock_guard<std::mutex> lock(mutex_);
      audio_ = o;
    });
    r.answer(kDeviceId, [this](const SimRequest& q, SimAnswer&) {
      int32_t id = 0;
      if (!payload_as(q, &id)) return;
      std::lock_guard<std::mutex> lock(mutex_);
      device_id_ = id;
    });
    // The one rule of 1702: every network-side change names what to apply; the services this
    // simulated core runs itself (PPPoE link, mail sender, service ports) take the stored row.
    r.answer(kNetworkChanged, [this](const SimRequest& q, SimAnswer&) {
      NetworkChange change{};
      if (!payload_as(q, &change)) return;
      const std::string what(field_text(change.what));
      apply_network_service(what);
      std::lock_guard<std::mutex> lock(mutex_);
      network_change_ = what;
    });
    r.answer(kAutoRebootChanged, [this](const SimRequest&, SimAnswer&) { count(&auto_reboot_changes_); });
    r.answer(kAccessFilterChanged, [this](const SimRequest&, SimAnswer&) { count(&access_filter_changes_); });
    r.answer(kCoreAction, [this](const SimRequest&, SimAnswer&) { count(&core_actions_); });
    r.answer(kCoreValue, [this](const SimRequest&, SimAnswer& a) {
      std::lock_guard<std::mutex> lock(mutex_);
      a.int32(core_value_);
    });
    r.answer(kUpnpSet, [this](const SimRequest& q, SimAnswer&) {
      UpnpConfig upnp{};
      if (payload_as(q, &upnp)) map_ports(upnp);
    });
    r.answer(kUpnpRefresh, [this](const SimRequest&, SimAnswer&) {
      UpnpConfig upnp{};
      kUpnp.read(kZvdbPath, &upnp, kDeviceRow);
      map_ports(upnp);
    });
    r.answer(kTimeSet, [this](const SimRequest& q, SimAnswer& a) {
      ManualTime manual{};
      if (!payload_as(q, &manual)) return;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        manual_time_ = field_text(manual.quoted);
        ++time_sets_;
      }
      a.bytes(nullptr, 0);
    });
    r.answer(kTimeApplied, [this](const SimRequest&, SimAnswer&) { count(&time_applied_); });

    r.answer(kAudioFileList, [this](const SimRequest&, SimAnswer& a) {
      std::lock_guard<std::mutex> lock(mutex_);
      load_slots();
      a.bytes(slots_, sizeof slots_);
    });
    r.answer(kAudioFileAdd, [this](const SimRequest& q, SimAnswer& a) { a.int32(add_audio(q)); });
    r.answer(kAudioFileDelete, [this](const SimRequest& q, SimAnswer& a) { a.int32(delete_audio(q)); });
    r.answer(kAudioFileName, [this](const SimRequest& q, SimAnswer& a) { a.int32(rename_audio(q)); });
    r.answer(kAudioFilePlay, [this](const SimRequest& q, SimAnswer& a) { a.int32(play_audio(q)); });
    r.answer(kDiagnosticsExport, [this](const SimRequest& q, SimAnswer& a) { export_diagnostics(q, a); });
  }

  bool control(const std::vector<std::string>& words, std::string* answer) override {
    if (words.size() == 1 && words[0] == "state") {
      *answer = state_line();
      return true;
    }
    // The PPPoE link as the state module reports it: "up <address> <user>" or "down".
    if (words.size() == 1 && words[0] == "pppoe") {
      std::lock_guard<std::mutex> lock(mutex_);
      *answer = pppoe_address_.empty() ? "down" : "up " + pppoe_address_ + " " + pppoe_user_;
      return true;
    }
    if (words.size() == 2 && words[0] == "value") {
      std::lock_guard<std::mutex> lock(mutex_);
      core_value_ = std::atoi(words[1].c_str());
      *answer = "value " + std::to_string(core_value_);
      return true;
    }
    return false;
  }

 private:
  void count(int* counter) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++*counter;
  }

  // The second output is switched: the display row shows it from now on. The row is read and
  // rewritten in one batch, so a display set stored by the web side meanwhile is not undone.
  void second_output(const SimRequest& q) {
    int32_t on = 0;
    if (!payload_as(q, &on) || (on != 0 && on != 1)) return;
    zvdb::WriteBatch batch(kZvdbPath);
    DisplayConfig display{};
    kDisplay.read(kZvdbPath, &display, kDeviceRow);
    display.sub_enable = on;
    if (kDisplay.write(kZvdbPath, &display) != 0) return;  // the batch rolls back
    batch.commit();
  }

  // Maps the ports of an enabled mapping (a port of 0 is not mapped) and stores the mapping with
  // its statuses.
  void map_ports(UpnpConfig upnp) {
    upnp.http_status = upnp.enable == 1 && upnp.external_http_port > 0 ? 1 : 0;
    upnp.rtsp_status = upnp.enable == 1 && upnp.external_rtsp_port > 0 ? 1 : 0;
    kUpnp.write(kZvdbPath, &upnp);
    count(&port_mappings_);
  }

  // The slots as the database keeps them (read once, then kept here and written back on change).
  void load_slots() {
    if (slots_loaded_) return;
    read_alarm_audio_file(kZvdbPath, slots_);
    for (int i = 0; i < kAlarmAudioSlots; ++i) slots_[i].id = i;
    slots_loaded_ = true;
  }
  void store_slot(int32_t id) {
    if (slots_[id].enable == 1) {
      kAudioSlots.write(kZvdbPath, &slots_[id]);
    } else {
      kAudioSlots.remove(kZvdbPath, {id});
    }
  }

  // The upload "/tmp/<name>" goes into the first free slot under that name.
  int32_t add_audio(const SimRequest& q) {
    AudioFileName upload{};
    if (!payload_as(q, &upload)) return kAudioMissing;
    const std::string name(field_text(upload.name));
    if (name.empty() || name.find('/') != std::string::npos || name[0] == '.') return kAudioMissing;
    const std::string path = "/tmp/" + name;
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || static_cast<size_t>(st.st_size) > kMaxAudioBytes) {
      return kAudioMissing;
    }
    size_t size = 0;
    std::unique_ptr<void, void (*)(void*)> data(read_whole_file(path.c_str(), &size),
                                                [](void* p) { __zv_free(p, "device_sim", __LINE__); });
    if (data == nullptr) return kAudioMissing;
    if (!is_wave(static_cast<const unsigned char*>(data.get()), size)) return kAudioNotWave;
    std::lock_guard<std::mutex> lock(mutex_);
    load_slots();
    int32_t id = 0;
    while (id < kAlarmAudioSlots && slots_[id].enable == 1) ++id;
    if (id == kAlarmAudioSlots) return kAudioFull;
    mkdir("/mnt/nand/app", 0755);
    mkdir(kAudioDir, 0755);
    if (write_whole_file(slot_file(id).c_str(), data.get(), size) != 0) return kAudioMissing;
    unlink(path.c_str());
    slots_[id] = AudioFileEntry{id, 1, {}};
    std::memcpy(slots_[id].name, upload.name, sizeof upload.name);
    slots_[id].name[sizeof slots_[id].name - 1] = '\0';
    store_slot(id);
    return kAudioOk;
  }

  int32_t delete_audio(const SimRequest& q) {
    int32_t mask = 0;
    if (!payload_as(q, &mask)) return kAudioMissing;
    std::lock_guard<std::mutex> lock(mutex_);
    load_slots();
    for (int32_t id = 0; id < kAlarmAudioSlots; ++id) {
      if ((mask & (1 << id)) == 0 || slots_[id].enable != 1) continue;
      unlink(slot_file(id).c_str());
      slots_[id] = AudioFileEntry{id, 0, {}};
      store_slot(id);
    }
    return kAudioOk;
  }

  int32_t rename_audio(const SimRequest& q) {
    AudioFileEntry entry{};
    if (!payload_as(q, &entry) || entry.id < 0 || entry.id >= kAlarmAudioSlots || entry.name[0] == '\0') {
      return kAudioMissing;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    load_slots();
    if (slots_[entry.id].enable != 1) return kAudioMissing;
    std::memcpy(slots_[entry.id].name, entry.name, sizeof entry.name);
    slots_[entry.id].name[sizeof entry.name - 1] = '\0';
    store_slot(entry.id);
    return kAudioOk;
  }

  int32_t play_audio(const SimRequest& q) {
    int32_t id = -1;
    if (!payload_as(q, &id) || id < 0 || id >= kAlarmAudioSlots) return kAudioMissing;
    std::lock_guard<std::mutex> lock(mutex_);
    load_slots();
    if (slots_[id].enable != 1 || access(slot_file(id).c_str(), R_OK) != 0) return kAudioMissing;
    ++plays_[id];
    return kAudioOk;
  }

  // Applies the stored settings of a service the core runs: "pppoe" dials (or hangs up) the link,
  // which comes up with a fixed address when enabled with a user name; "mail" takes the sender's
  // server; "more" opens the service ports. Other words are only recorded.
  void apply_network_service(const std::string& what) {
    if (what == "pppoe") {
      PppoeConfig p{};
      const bool dial = kPppoe.read(kZvdbPath, &p, kNetworkRow) == 0 && p.enable == 1 && p.user_name[0] != '\0';
      std::lock_guard<std::mutex> lock(mutex_);
      pppoe_address_ = dial ? kSimPppoeAddress : "";
      pppoe_user_ = dial ? std::string(field_text(p.user_name)) : "";
      ++pppoe_dials_;
    } else if (what == "mail") {
      EmailConfig m{};
      if (kEmail.read(kZvdbPath, &m, kNetworkRow) != 0) return;
      std::lock_guard<std::mutex> lock(mutex_);
      mail_server_ = std::string(field_text(m.smtp_server)) + ":" + std::to_string(m.smtp_port);
    } else if (what == "more") {
      PortConfig ports{};
      if (kPorts.read(kZvdbPath, &ports, kNetworkRow) != 0) return;
      std::lock_guard<std::mutex> lock(mutex_);
      service_ports_ = std::to_string(ports.http_port) + "," + std::to_string(ports.https_port) + "," +
                       std::to_string(ports.rtsp_port) + "," + std::to_string(ports.ssh_port) + "," +
                       std::to_string(ports.pos_port);
    }
  }

  std::string state_line() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::string s = "device_id " + std::to_string(device_id_) + " network_change " +
                    (network_change_.empty() ? "-" : network_change_) + " resolutions " +
                    std::to_string(resolutions_[0]) + "," + std::to_string(resolutions_[1]) + " outputs_applied " +
                    std::to_string(outputs_applied_) + " audio " + std::to_string(audio_.hdmi_audio_on) + "," +
                    std::to_string(audio_.audio_output_on) + "," + std::to_string(audio_.audio_volume) +
                    " auto_reboot_changes " + std::to_string(auto_reboot_changes_) + " port_mappings " +
                    std::to_string(port_mappings_) + " access_filter_changes " +
                    std::to_string(access_filter_changes_) + " core_actions " + std::to_string(core_actions_) +
                    " time_sets " + std::to_string(time_sets_) + " manual_time " +
                    (manual_time_.empty() ? "-" : manual_time_) + " time_applied " + std::to_string(time_applied_) +
                    " pppoe " + (pppoe_address_.empty() ? "down" : pppoe_address_) + " pppoe_dials " +
                    std::to_string(pppoe_dials_) + " mail_server " + (mail_server_.empty() ? "-" : mail_server_) +
                    " service_ports " + (service_ports_.empty() ? "-" : service_ports_) + " plays";
    for (int i = 0; i < kAlarmAudioSlots; ++i) s += (i == 0 ? " " : ",") + std::to_string(plays_[i]);
    return s;
  }

  // Builds "<dir>/diagnostic-<time>-<n>.tar" holding the trace log, the database's settings and
  // table sizes, and this simulator's state. "/tmp/tmp_diagnostic" marks the export while it runs.
  void export_diagnostics(const SimRequest& q, SimAnswer& a) {
    DiagnosticsReply reply{};
    reply.status = -1;
    DiagnosticsRequest request{};
    const std::string directory = payload_as(q, &request) ? std::string(field_text(request.directory)) : "";
    const int marker = directory == "/tmp" ? open(kExportRunning, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644) : -1;
    if (marker >= 0) {
      close(marker);
      if (build_package(directory, reply.path, sizeof reply.path)) reply.status = 0;
      unlink(kExportRunning);
    }
    a.record(reply);
  }

  bool build_package(const std::string& directory, char* path, size_t path_size) {
    char stage[] = "/tmp/zvsim-diagnostic-XXXXXX";
    if (mkdtemp(stage) == nullptr) return false;
    const std::string dir = stage;
    std::string settings;
    zvdb::scan_settings(kZvdbPath, [&](std::string_view key, std::string_view value) {
      settings.append(key).append("=").append(value).append("\n");
    });
    std::string tables;
    zvdb::scan_table_counts(kZvdbPath, [&](std::string_view table, int rows) {
      tables.append(table).append(" ").append(std::to_string(rows)).append("\n");
    });
    size_t log_size = 0;
    std::unique_ptr<void, void (*)(void*)> log(read_whole_file(kTraceLog, &log_size),
                                              [](void* p) { __zv_free(p, "device_sim", __LINE__); });
    std::string state = state_line() + "\nmessages " + std::to_string(sim->logged_messages()) + "\nmodules";
    for (const auto& module : sim->modules()) state += std::string(" ") + module->name();
    state += "\n";
    const char* files[] = {"cgi_log.txt", "settings.txt", "tables.txt", "simulator.txt"};
    const std::string contents[] = {
        log != nullptr ? std::string(static_cast<const char*>(log.get()), log_size) : std::string(), settings,
        tables, state};
    bool ok = true;
    for (size_t i = 0; i < std::size(files); ++i) {
      ok = write_whole_file((dir + "/" + files[i]).c_str(), contents[i].data(), contents[i].size()) == 0 && ok;
    }
    char stamp[32];
    const time_t now = time(nullptr);
    struct tm local {};
    localtime_r(&now, &local);
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    int sequence = 0;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      sequence = ++exports_;
    }
    std::snprintf(path, path_size, "%s/diagnostic-%s-%d.tar", directory.c_str(), stamp, sequence);
    if (ok) {
      const char* argv[] = {"tar", "-cf", path, "-C", stage, files[0], files[1], files[2], files[3], nullptr};
      ToolOptions options;
      options.time_limit_ms = 30000;
      ok = run_tool(argv, options).succeeded();
    }
    for (const char* file : files) unlink((dir + "/" + file).c_str());
    rmdir(stage);
    if (!ok) {
      unlink(path);
      path[0] = '\0';
    }
    return ok;
  }

  std::mutex mutex_;
  AudioFileEntry slots_[kAlarmAudioSlots] = {};
  bool slots_loaded_ = false;
  int plays_[kAlarmAudioSlots] = {};
  int32_t device_id_ = -1;
  std::string network_change_;
  std::string pppoe_address_;  // "" while the link is down
  std::string pppoe_user_;
  int pppoe_dials_ = 0;
  std::string mail_server_;    // "server:port" of the applied mail settings
  std::string service_ports_;  // http,https,rtsp,ssh,pos as applied
  int32_t resolutions_[2] = {-1, -1};
  int outputs_applied_ = 0;
  AudioOutputs audio_{-1, -1, -1};
  int auto_reboot_changes_ = 0;
  int port_mappings_ = 0;
  int access_filter_changes_ = 0;
  int core_actions_ = 0;
  int32_t core_value_ = 0;
  int time_sets_ = 0;
  std::string manual_time_;
  int time_applied_ = 0;
  int exports_ = 0;
};

}  // namespace

std::unique_ptr<SimModule> make_device_sim() { return std::make_unique<DeviceSim>(); }
