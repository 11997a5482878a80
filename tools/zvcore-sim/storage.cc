// Storage module: a simulated storage shelf with state a user can observe through the web pages.
//
//   - Local disks of different sizes and states (ports 1..4) and one eSATA device (port 8). Disks
//     that hold a volume fill up while the channels record (kRecordingChannels channels, each at
//     `rate` MiB/s, spread in port order; with groups on, a channel records onto the disks of its
//     group; with quotas on, a channel stops growing at its video quota, overwriting its oldest
//     recordings).
//   - Formatting takes a few seconds: the disk shows state 3 and its progress, and the answer comes
//     when it is done.
//   - RAID arrays (ids 10..15) made of free local disks; pulling a member degrades the array (a hot
//     spare, when there is one, rebuilds it at once), a rebuild runs with progress; deleting an
//     array frees its members (unformatted).
//   - Network disks: two simulated servers answer (192.168.1.50 NFS, 192.168.1.51 SMB/CIFS, with a
//     small share); any other address is unreachable: adding or editing such a disk answers -1 and
//     the disk stays out of the shelf (the list shows its row as configured only); a share search
//     of it finds nothing. Removal clears the disks' rows, as the core does.
//   - Quotas per channel, disk groups (the core writes the group rows), the eSATA mode, and the
//     automatic backup and the backup onto a device, whose progress advances to done.
//
// Control commands (`zvcore-sim ctl storage ...`): "pull <port>" and "insert <port>" take a disk
// out of the shelf and put it back (a former RAID member comes back free and unformatted),
// "rate <MiB/s>" sets each recording channel's rate.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <type_traits>
#include <vector>

#include "common/json_fields.h"
#include "common/payload_reader.h"
#include "common/messages/storage.h"
#include "platform/zvdb/storage_tables.h"
#include "platform/zvdb/zvdb.h"
#include "tools/zvcore-sim/modules.h"
#include "tools/zvcore-sim/rules.h"
#include "tools/zvcore-sim/simulator.h"

namespace {

constexpr uint64_t kMiB = uint64_t{1} << 20;
constexpr uint64_t kGiB = uint64_t{1} << 30;
constexpr uint64_t kGB = 1000ull * 1000 * 1000;
constexpr int kRecordingChannels = 8;
constexpr int kTickMs = 250;
constexpr int kStepPercent = 10;  // per tick: a format or a rebuild takes 2.5 s

// Disk states the shelf reports (2, "configured but not reported", is the web side's own).
constexpr int32_t kStateNormal = 0;
constexpr int32_t kStateUnformatted = 1;
constexpr int32_t kStateFormatting = 3;
constexpr int32_t kStateRaidMember = 4;
constexpr int32_t kStateHotSpare = 5;
// RAID states.
constexpr int32_t kRaidNormal = 0;
constexpr int32_t kRaidDegraded = 1;
constexpr int32_t kRaidRebuilding = 2;
constexpr int32_t kRaidFailed = 3;
// Disk types of the shelf besides the network and RAID types.
constexpr int32_t kTypeLocal = 0;
constexpr int32_t kTypeEsata = 1;
// Kinds of 8457 records.
constexpr int32_t kKindLocal = 1;
// Backup states.
constexpr int32_t kBackupIdle = 0;
constexpr int32_t kBackupRunning = 1;
constexpr int32_t kBackupDone = 2;

struct Disk {
  int32_t port = 0;
  std::string vendor;
  int32_t type = kTypeLocal;
  uint64_t total = 0;
  uint64_t used = 0;
  int32_t state = kStateNormal;
  int32_t progress = 0;
  int32_t group = 0;
  int32_t property = 0;
  bool healthy = true;
  bool present = true;
  bool pulled_member = false;  // pulled while in an array: comes back free
  std::string address, directory;
  SimRequest format_request{};  // answered when the format is done
};

struct Raid {
  int32_t id = 0;
  int32_t level = 0;
  std::vector<int32_t> members;
  int built_with = 0;  // members at creation: the array's capacity
  uint64_t member_size = 0;
  uint64_t used = 0;
  int32_t state = kRaidNormal;
  int32_t progress = 0;
  int32_t rebuilding_with = 0;
  int32_t group = 0;
  int32_t property = 0;
};

struct Server {
  int32_t type;
  uint64_t capacity;
  std::vector<const char*> shares;
};

const std::map<std::string, Server>& servers() {
  static const std::map<std::string, Server> kServers = {
      {"192.168.1.50", {kDiskTypeNfs, 8 * kGB * 1000, {"/export/nvr", "/export/nvr/archive", "/export/backup"}}},
      {"192.168.1.51", {kDiskTypeSmb, 64 * kGiB, {"/recordings", "/public"}}},
  };
  return kServers;
}

uint64_t raid_capacity(const Raid& r) {
  const uint64_t n = static_cast<uint64_t>(r.built_with);
  switch (r.level) {
    case 0: return r.member_size * n;
    case 1: return r.member_size;
    case 5: return n > 1 ? r.member_size * (n - 1) : 0;
    default: return r.member_size * n / 2;  // 10
  }
}

// Members a level needs at least.
int least_members(int32_t level) {
  switch (level) {
    case 0: case 1: return 2;
    case 5: return 3;
    case 10: return 4;
    default: return -1;
  }
}

class StorageSim : public SimModule {
 public:
  StorageSim() {
    add_local(1, "ST4000VX016", 4000 * kGB, 1200 * kGB, kStateNormal);
    add_local(2, "WD20PURZ", 2000 * kGB, 300 * kGB, kStateNormal);
    add_local(3, "HUS722T1TALA604", 1000 * kGB, 0, kStateUnformatted);
    add_local(4, "ST1000VX005", 1000 * kGB, 0, kStateNormal).healthy = false;
    Disk& esata = add_local(8, "WD5000LPVX", 500 * kGB, 20 * kGB, kStateNormal);
    esata.type = kTypeEsata;
    group_channels_[0] = std::string(64, '1');
    last_advance_ = std::chrono::steady_clock::now();
  }

  const char* name() const override { return "storage"; }

  void rules(SimRules& r) override {
    on(r, kDiskList, [this](NoPayload, SimAnswer& a) {
      advance();
      std::vector<DiskInfo> list = disk_list();
      a.bytes(list.data(), list.size() * sizeof(DiskInfo));
    });
    on(r, kDiskProperty, [this](const DiskPropertyChange& change, SimAnswer&) {
      if (Disk* d = disk(change.port)) {
        d->property = change.property;
        d->group = change.group;
      } else if (auto it = raids_.find(change.port); it != raids_.end()) {
        it->second.property = change.property;
        it->second.group = change.group;
      }
    });
    r.answer(kDiskFormat, [this](const SimRequest& q, SimAnswer& a) {
      int32_t port = 0;
      if (!payload_as(q, &port)) return;
      std::lock_guard<std::mutex> lock(mutex_);
      const int32_t refused = format_refusal(port);
      if (refused != 0) return a.int32(refused);
      Disk& d = *disk(port);
      d.state = kStateFormatting;
      d.progress = 0;
      d.format_request = q;
      d.format_request.payload = nullptr;
      d.format_request.length = 0;
      start_ticks();
    });
    on(r, kRaidCreate, [this](const RaidRequest& request, SimAnswer& a) { a.int32(create_raid(request)); });
    on(r, kRaidDelete, [this](const RaidRequest& request, SimAnswer& a) {
      auto it = raids_.find(request.id);
      if (it == raids_.end()) return a.int32(-1);
      for (int32_t port : it->second.members) set_free(port);
      if (it->second.rebuilding_with != 0) set_free(it->second.rebuilding_with);
      raids_.erase(it);
      a.int32(0);
    });
    on(r, kHotSpareMark, [this](int32_t port, SimAnswer& a) {
      Disk* d = disk(port);
      if (d == nullptr || !free_local(*d)) return a.int32(-1);
      d->state = kStateHotSpare;
      a.int32(0);
      for (auto& [id, raid] : raids_) {
        if (raid.state == kRaidDegraded && start_rebuild(raid, port) == 0) break;
      }
    });
    on(r, kHotSpareClear, [this](int32_t port, SimAnswer& a) {
      Disk* d = disk(port);
      if (d == nullptr || d->state != kStateHotSpare) return a.int32(-1);
      d->state = kStateNormal;
      a.int32(0);
    });
    on(r, kRaidRebuild, [this](const RaidRebuild& request, SimAnswer& a) {
      auto it = raids_.find(request.raid_port);
      a.int32(it == raids_.end() ? -1 : start_rebuild(it->second, request.disk_port));
    });
    on(r, kSelfEvaluation, [this](int32_t port, SimAnswer& a) {
      SelfEvaluation report{};
      report.port = port;
      const Disk* d = disk(port);
      if (d == nullptr || is_network_disk(d->type)) {
        report.status = -1;
        std::snprintf(report.report, sizeof report.report, "no disk at port %d", static_cast<int>(port));
      } else {
        std::snprintf(report.report, sizeof report.report,
                      "Device Model: %s\nSMART overall-health self-assessment test result: %s\n", d->vendor.c_str(),
                      d->healthy ? "PASSED" : "FAILED!");
      }
      report.length = static_cast<int32_t>(strlen(report.report));
      a.bytes(&report, kSelfEvaluationTextOffset + static_cast<size_t>(report.length));
    });
    on(r, kDeviceRemove, [this](int32_t port, SimAnswer& a) {
      Disk* d = disk(port);
      if (d == nullptr || is_network_disk(d->type) || d->state == kStateRaidMember || d->state == kStateFormatting) {
        return a.int32(-1);
      }
      d->present = false;
      a.int32(0);
    });

    on(r, kNasAdd, [this](const NasPortList& list, SimAnswer& a) {
      a.int32(each_port(list, &StorageSim::attach_network));
    });
    on(r, kNasEdit, [this](int32_t port, SimAnswer& a) { a.int32(attach_network(port) ? 0 : -1); });
    on(r, kNasRemove, [this](const NasPortList& list, SimAnswer& a) {
      a.int32(each_port(list, &StorageSim::detach_network));
    });
    r.answer(kShareSearch, [](const SimRequest& q, SimAnswer& a) {
      ShareSearch search;
      if (!payload_as(q, &search)) return;
      auto list = std::make_unique<ShareList>();
      auto it = servers().find(std::string(field_text(search.server)));
      if (it != servers().end()) {
        for (const char* share : it->second.shares) copy_text_field(list->paths[list->count++], share);
      }
      a.bytes(list.get(), sizeof(int32_t) + static_cast<size_t>(list->count) * kSharePathSize);
    });
    r.answer(kEsataModeSet, [this](const SimRequest& q, SimAnswer& a) {
      EsataMode mode;
      if (!payload_as(q, &mode)) return a.int32(-1);
      std::lock_guard<std::mutex> lock(mutex_);
      esata_mode_ = mode;
      a.int32(0);
    });
    on<NoPayload>(r, kEsataModeRead, [this](NoPayload, SimAnswer& a) { a.record(esata_mode_); });

    on(r, kQuotaSet, [this](const QuotaSet& set, SimAnswer& a) {
      advance();
      const int n = std::clamp<int32_t>(set.count, 0, kQuotaEntries);
      for (int i = 0; i < n; ++i) {
        if (set.entries[i].channel < 0 || set.entries[i].channel > 63) return a.int32(-1);
      }
      quota_enable_ = set.enable;
      for (int i = 0; i < n; ++i) quotas_[set.entries[i].channel] = set.entries[i];
      a.int32(0);
    });
    on(r, kQuotaRead, [this](NoPayload, SimAnswer& a) {
      advance();
      std::vector<unsigned char> out(sizeof(QuotaHead));
      QuotaHead head{quota_enable_, static_cast<int32_t>(quotas_.size())};
      std::memcpy(out.data(), &head, sizeof head);
      for (auto& [channel, entry] : quotas_) {
        QuotaEntry shown = entry;
        shown.video_used = static_cast<int32_t>(channel_used_[channel] / kGiB);
        shown.picture_used = static_cast<int32_t>(channel_used_[channel] / 32 / kGiB);
        const auto* p = reinterpret_cast<const unsigned char*>(&shown);
        out.insert(out.end(), p, p + sizeof shown);
      }
      a.bytes(out.data(), out.size());
    });
    on(r, kGroupMode, [this](int32_t mode, SimAnswer&) {
      advance();
      group_mode_ = mode;
    });
    r.answer(kGroupChange, [this](const SimRequest& q, SimAnswer&) {
      GroupChange change;
      if (!payload_as(q, &change) || change.id < 0 || change.id >= kDiskGroups) return;
      DiskGroup row{};
      row.id = change.id;
      copy_field_text(row.channels, sizeof row.channels, change.channels);
      {
        std::lock_guard<std::mutex> lock(mutex_);
        advance();
        group_channels_[change.id] = field_text(row.channels);
      }
      if (kDiskGroupRows.write(kZvdbPath, &row) != 0) std::fprintf(stderr, "zvcore-sim: disk group %d not stored\n", row.id);
    });
    r.notice(kGroupsApply);

    r.answer(kAutoBackupRun, [this](const SimRequest& q, SimAnswer& a) {
      int32_t stop = 0;
      if (q.length != 0 && !payload_as(q, &stop)) return;
      AutoBackupConfig config{};
      const bool stored = kAutoBackup.read(kZvdbPath, &config, {0}) == 0;
      std::lock_guard<std::mutex> lock(mutex_);
      if (stop != 0 || !stored || config.enable == 0) {
        if (backup_.status == kBackupRunning) backup_.status = kBackupIdle;
        return a.int32(0);
      }
      const Disk* device = backup_device();
      if (device == nullptr) return a.int32(-1);
      backup_.status = kBackupRunning;
      backup_.percent = 0;
      backup_.capacity = static_cast<int32_t>((device->total - device->used) / kMiB);
      start_ticks();
      a.int32(0);
    });
    on(r, kAutoBackupProgress, [this](NoPayload, SimAnswer& a) { a.record(backup_); });
    on(r, kBackupDevices, [this](NoPayload, SimAnswer& a) {
      std::vector<BackupDevice> list;
      for (const auto& [port, d] : disks_) {
        if (!d.present || is_network_disk(d.type)) continue;
        BackupDevice device{};
        device.port = port;
        device.kind = d.type == kTypeEsata ? kBackupDeviceKind : kKindLocal;
        list.push_back(device);
      }
      a.bytes(list.data(), list.size() * sizeof(BackupDevice));
    });
    on(r, kDeviceBackupStart, [this](int32_t port, SimAnswer& a) {
      const Disk* d = disk(port);
      if (d == nullptr || d->type != kTypeEsata || device_backup_.status == kBackupRunning) return a.int32(-1);
      device_backup_ = DeviceBackupProgress{};
      device_backup_.status = kBackupRunning;
      device_backup_.port = static_cast<uint8_t>(port);
      device_backup_.type = kBackupDeviceKind;
      start_ticks();
      a.int32(0);
    });
    on(r, kDeviceBackupStatus, [this](NoPayload, SimAnswer& a) { a.int32(device_backup_.status); });
    on(r, kDeviceBackupStop, [this](NoPayload, SimAnswer& a) {
      if (device_backup_.status != kBackupRunning) return a.int32(-1);
      device_backup_.status = kBackupIdle;
      a.int32(0);
    });
    on(r, kDeviceBackupProgress, [this](NoPayload, SimAnswer& a) { a.record(device_backup_); });
  }

  bool control(const std::vector<std::string>& words, std::string* answer) override {
    if (words.size() != 2) return false;
    char* end = nullptr;
    const long value = std::strtol(words[1].c_str(), &end, 10);
    if (end == words[1].c_str() || *end != '\0' || value < 0 || value > 1000000) return false;
    std::lock_guard<std::mutex> lock(mutex_);
    advance();
    if (words[0] == "rate") {
      rate_mib_ = static_cast<uint64_t>(value);
      *answer = "rate " + words[1] + " MiB/s per channel";
      return true;
    }
    if (words[0] != "pull" && words[0] != "insert") return false;
    auto it = disks_.find(static_cast<int32_t>(value));
    if (it == disks_.end() || is_network_disk(it->second.type)) {
      *answer = "error no disk at port " + words[1];
      return true;
    }
    Disk& d = it->second;
    if (words[0] == "insert") {
      if (d.present) return (*answer = "error port " + words[1] + " is in place", true);
      d.present = true;
      if (d.pulled_member) {
        d.pulled_member = false;
        d.state = kStateUnformatted;
        d.used = 0;
      }
      *answer = "inserted " + words[1];
      return true;
    }
    if (!d.present) return (*answer = "error port " + words[1] + " is out already", true);
    d.present = false;
    *answer = "pulled " + words[1];
    if (d.state == kStateFormatting) finish_format(d, -1);
    for (auto& [id, raid] : raids_) {
      if (raid.rebuilding_with == d.port) {
        raid.rebuilding_with = 0;
        raid.state = kRaidDegraded;
        raid.progress = 0;
        d.pulled_member = true;
      }
      auto member = std::find(raid.members.begin(), raid.members.end(), d.port);
      if (member == raid.members.end()) continue;
      raid.members.erase(member);
      d.pulled_member = true;
      raid.state = raid.level == 0 ? kRaidFailed : kRaidDegraded;
      *answer += " (raid " + std::to_string(id) + (raid.state == kRaidFailed ? " failed)" : " degraded)");
      if (raid.state == kRaidDegraded) {
        for (auto& [port, spare] : disks_) {
          if (spare.present && spare.state == kStateHotSpare && start_rebuild(raid, port) == 0) break;
        }
      }
    }
    return true;
  }

 private:
  // The rule of `message`: its payload read as one P (the message's own payload type unless given;
  // a payload of another size is not answered, none is read for NoPayload), then `answer` under
  // the shelf's lock.
  template <class P = void, class Message, class F>
  void on(SimRules& r, const Message& message, F answer) {
    using Payload = std::conditional_t<std::is_void_v<P>, typename Message::payload_type, P>;
    r.answer(message, [this, answer](const SimRequest& q, SimAnswer& a) {
      Payload payload{};
      if constexpr (!std::is_same_v<Payload, NoPayload>) {
        if (!payload_as(q, &payload)) return;
      }
      std::lock_guard<std::mutex> lock(mutex_);
      answer(payload, a);
    });
  }

  // 0 when `change` succeeds for every listed port (each is tried), else -1.
  int32_t each_port(const NasPortList& list, bool (StorageSim::*change)(int32_t)) {
    bool all = true;
    const int n = std::clamp<int32_t>(list.count, 0, kNasPortsPerRequest);
    for (int i = 0; i < n; ++i) all &= (this->*change)(list.ports[i]);
    return all ? 0 : -1;
  }

  Disk& add_local(int32_t port, const char* vendor, uint64_t total, uint64_t used, int32_t state) {
    Disk& d = disks_[port];
    d.port = port;
    d.vendor = vendor;
    d.total = total;
    d.used = used;
    d.state = state;
    return d;
  }

  // A disk that is in the shelf now.
  Disk* disk(int32_t port) {
    auto it = disks_.find(port);
    return it != disks_.end() && it->second.present ? &it->second : nullptr;
  }

  static bool free_local(const Disk& d) {
    return d.type == kTypeLocal && (d.state == kStateNormal || d.state == kStateUnformatted);
  }

  void set_free(int32_t port) {
    auto it = disks_.find(port);
    if (it == disks_.end()) return;
    it->second.state = kStateUnformatted;
    it->second.used = 0;
  }

  // 0 when the disk can be formatted now, else the core's answer.
  int32_t format_refusal(int32_t port) {
    const Disk* d = disk(port);
    if (d == nullptr) return -1;
    if (d->state == kStateRaidMember || d->state == kStateHotSpare || d->state == kStateFormatting) return 1;
    if (is_network_disk(d->type) && d->total < 100 * kGiB) return -3;
    return 0;
  }

  void finish_format(Disk& d, int32_t result) {
    if (result == 0) {
      d.state = kStateNormal;
      d.used = 0;
    } else {
      d.state = kStateUnformatted;
    }
    d.progress = 0;
    if (d.format_request.id != 0) sim->reply(d.format_request, &result, sizeof result);
    d.format_request = SimRequest{};
  }

  int32_t create_raid(const RaidRequest& request) {
    if (request.id < 10 || request.id > 15 || raids_.count(request.id) != 0 || request.enable == 0) return -1;
    std::vector<int32_t> members;
    for (int i = 0; i < kRaidMembers; ++i) {
      if (request.members[i] != 0) members.push_back(request.members[i]);
    }
    if (static_cast<int32_t>(members.size()) != request.member_count) return -1;
    const int least = least_members(request.level);
    if (least < 0 || static_cast<int>(members.size()) < least) return -1;
    if (request.level == 10 && members.size() % 2 != 0) return -1;
    uint64_t smallest = UINT64_MAX;
    for (int32_t port : members) {
      const Disk* d = disk(port);
      if (d == nullptr || !free_local(*d)) return -1;
      smallest = std::min(smallest, d->total);
    }
    Raid& raid = raids_[request.id];
    raid = Raid{};
    raid.id = request.id;
    raid.level = request.level;
    raid.members = members;
    raid.built_with = static_cast<int>(members.size());
    raid.member_size = smallest;
    for (int32_t port : members) {
      disks_[port].state = kStateRaidMember;
      disks_[port].used = 0;
    }
    return 0;
  }

  int32_t start_rebuild(Raid& raid, int32_t port) {
    Disk* d = disk(port);
    if (raid.state != kRaidDegraded || d == nullptr || d->type != kTypeLocal ||
        (!free_local(*d) && d->state != kStateHotSpare) || d->total < raid.member_size) {
      return -1;
    }
    d->state = kStateRaidMember;
    d->used = 0;
    raid.state = kRaidRebuilding;
    raid.progress = 0;
    raid.rebuilding_with = port;
    start_ticks();
    return 0;
  }

  // The network disk of `port` as its stored row describes it: in the shelf when its server
  // answers; false (and out of the shelf) otherwise.
  bool attach_network(int32_t port) {
    DiskConfig row{};
    row.port = port;
    const bool stored = port >= 1 && port <= kDiskPositions && read_disk(kZvdbPath, &row) == 0;
    auto server = servers().find(std::string(field_text(row.address)));
    if (!stored || row.enable == 0 || !is_network_disk(row.type) || server == servers().end() ||
        server->second.type != row.type) {
      auto it = disks_.find(port);
      if (it != disks_.end() && is_network_disk(it->second.type)) disks_.erase(it);
      return false;
    }
    if (disks_.count(port) != 0 && !is_network_disk(disks_[port].type)) return false;  // a local disk sits there
    Disk& d = disks_[port];
    const bool fresh = d.port == 0 || d.address != field_text(row.address) || d.directory != field_text(row.directory);
    d.port = port;
    d.type = row.type;
    d.vendor = row.type == kDiskTypeNfs ? "NFS" : "SMB/CIFS";
    d.address = field_text(row.address);
    d.directory = field_text(row.directory);
    d.total = server->second.capacity;
    d.group = row.group;  // as stored: the property page may have set them before the disk came
    d.property = row.property;
    if (fresh) d.used = 0;
    d.state = kStateNormal;
    d.present = true;
    return true;
  }

  // Removes a network disk and clears its row; false when the port held none.
  bool detach_network(int32_t port) {
    DiskConfig row{};
    row.port = port;
    const bool configured = port >= 1 && port <= kDiskPositions && read_disk(kZvdbPath, &row) == 0 &&
                            row.enable != 0 && is_network_disk(row.type);
    auto it = disks_.find(port);
    const bool shelved = it != disks_.end() && is_network_disk(it->second.type);
    if (shelved) disks_.erase(it);
    if (configured) {
      DiskConfig empty{};
      empty.port = port;
      if (write_disk(kZvdbPath, &empty) != 0) std::fprintf(stderr, "zvcore-sim: disk row %d not cleared\n", port);
    }
    return configured || shelved;
  }

  const Disk* backup_device() {
    for (const auto& [port, d] : disks_) {
      if (d.present && d.type == kTypeEsata) return &d;
    }
    return nullptr;
  }

  // ---- Recording ----
  // The group a channel records onto: the first whose text marks it; -1 when none does.
  int group_of_channel(int channel) const {
    for (int g = 0; g < kDiskGroups; ++g) {
      if (static_cast<size_t>(channel) < group_channels_[g].size() && group_channels_[g][channel] == '1') return g;
    }
    return -1;
  }

  // Writes `bytes` of channel `channel` onto the first volume with room; what fits.
  uint64_t record_onto(int channel, uint64_t bytes) {
    const int group = group_mode_ != 0 ? group_of_channel(channel) : -2;
    if (group == -1) return 0;
    for (auto& [port, d] : disks_) {
      if (!d.present || d.state != kStateNormal || d.type == kTypeEsata || (group >= 0 && d.group != group)) continue;
      const uint64_t room = d.total - std::min(d.used, d.total);
      if (room == 0) continue;
      const uint64_t n = std::min(room, bytes);
      d.used += n;
      return n;
    }
    for (auto& [id, raid] : raids_) {
      if (raid.state == kRaidFailed || (group >= 0 && raid.group != group)) continue;
      const uint64_t total = raid_capacity(raid);
      const uint64_t n = std::min(total - std::min(raid.used, total), bytes);
      if (n == 0) continue;
      raid.used += n;
      return n;
    }
    return 0;
  }

  // Brings the recordings up to now.
  void advance() {
    const auto now = std::chrono::steady_clock::now();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now - last_advance_).count();
    last_advance_ = now;
    if (ms <= 0) return;
    const uint64_t bytes = rate_mib_ * kMiB * static_cast<uint64_t>(ms) / 1000;
    for (int c = 0; c < kRecordingChannels; ++c) {
      uint64_t want = bytes;
      auto quota = quotas_.find(c);
      if (quota_enable_ != 0 && quota != quotas_.end() && quota->second.video_quota > 0) {
        const uint64_t limit = static_cast<uint64_t>(quota->second.video_quota) * kGiB;
        want = std::min(want, limit - std::min(limit, channel_used_[c]));  // then it overwrites its own
      }
      channel_used_[c] += record_onto(c, want);
    }
  }

  std::vector<DiskInfo> disk_list() {
    std::vector<DiskInfo> list;
    for (const auto& [port, d] : disks_) {
      if (!d.present) continue;
      DiskInfo info{};
      info.port = port;
      copy_text_field(info.vendor, d.vendor.c_str());
      copy_text_field(info.address, d.address.c_str());
      copy_text_field(info.directory, d.directory.c_str());
      info.state = d.state;
      info.usable = d.state == kStateNormal ? 1 : 0;
      info.total_bytes = d.total;
      info.used_bytes = std::min(d.used, d.total);
      info.free_bytes = d.total - info.used_bytes;
      info.type = d.type;
      info.group = d.group;
      info.property = d.property;
      info.raid_progress = d.progress;
      list.push_back(info);
    }
    for (const auto& [id, raid] : raids_) {
      DiskInfo info{};
      info.port = id;
      std::snprintf(info.vendor, sizeof info.vendor, "RAID%d", static_cast<int>(raid.level));
      info.state = kStateNormal;
      info.usable = raid.state == kRaidFailed ? 0 : 1;
      info.total_bytes = raid_capacity(raid);
      info.used_bytes = std::min(raid.used, info.total_bytes);
      info.free_bytes = info.total_bytes - info.used_bytes;
      info.type = kDiskTypeRaid;
      info.group = raid.group;
      info.property = raid.property;
      info.raid_level = raid.level;
      info.raid_state = raid.state;
      info.raid_progress = raid.progress;
      std::vector<int32_t> members = raid.members;
      if (raid.rebuilding_with != 0) members.push_back(raid.rebuilding_with);
      std::sort(members.begin(), members.end());
      info.raid_member_count = static_cast<int32_t>(std::min<size_t>(members.size(), kRaidMembers));
      for (int i = 0; i < info.raid_member_count; ++i) info.raid_members[i] = members[i];
      list.push_back(info);
    }
    return list;
  }

  // ---- Tasks that take time: formats, rebuilds, backups ----
  void start_ticks() {
    if (ticking_) return;
    ticking_ = true;
    sim->after(kTickMs, [this] { tick(); });
  }

  void tick() {
    std::lock_guard<std::mutex> lock(mutex_);
    advance();
    bool busy = false;
    for (auto& [port, d] : disks_) {
      if (d.state != kStateFormatting) continue;
      d.progress = std::min(100, d.progress + kStepPercent);
      if (d.progress >= 100) finish_format(d, 0); else busy = true;
    }
    for (auto& [id, raid] : raids_) {
      if (raid.state != kRaidRebuilding) continue;
      raid.progress = std::min(100, raid.progress + kStepPercent);
      if (raid.progress < 100) {
        busy = true;
        continue;
      }
      raid.members.push_back(raid.rebuilding_with);
      std::sort(raid.members.begin(), raid.members.end());
      raid.rebuilding_with = 0;
      raid.state = kRaidNormal;
      raid.progress = 0;
    }
    if (backup_.status == kBackupRunning) {
      backup_.percent = std::min(100.0f, backup_.percent + 5.0f);
      if (backup_.percent >= 100.0f) {
        backup_.status = kBackupDone;
        const time_t now = time(nullptr);
        struct tm local{};
        localtime_r(&now, &local);
        std::strftime(backup_.last_time, sizeof backup_.last_time, "%Y-%m-%d %H:%M:%S", &local);
      } else {
        busy = true;
      }
    }
    if (device_backup_.status == kBackupRunning) {
      device_backup_.percent = static_cast<uint8_t>(std::min(100, device_backup_.percent + 5));
      if (device_backup_.percent >= 100) device_backup_.status = kBackupDone; else busy = true;
    }
    ticking_ = busy;
    if (busy) sim->after(kTickMs, [this] { tick(); });
  }

  std::mutex mutex_;
  std::map<int32_t, Disk> disks_;
  std::map<int32_t, Raid> raids_;
  std::map<int32_t, QuotaEntry> quotas_;
  int32_t quota_enable_ = 0;
  uint64_t channel_used_[64] = {};
  int32_t group_mode_ = 0;
  std::string group_channels_[kDiskGroups];
  EsataMode esata_mode_{};
  BackupProgress backup_{};
  DeviceBackupProgress device_backup_{};
  uint64_t rate_mib_ = 1;
  std::chrono::steady_clock::time_point last_advance_;
  bool ticking_ = false;
};

}  // namespace

std::unique_ptr<SimModule> make_storage_sim() { return std::make_unique<StorageSim>(); }
