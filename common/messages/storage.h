// Messages that the storage handlers exchange with the core: disks and RAID arrays, network disks
// and the eSATA port, quotas, disk groups and the automatic backup. Fixed little-endian payload
// records with their schemas, every message declared once (shared by the handlers, the core
// simulator and the tests).
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/exchange.h"
#include "platform/zvrecord/schema.h"

constexpr int kRaidMembers = 16;
constexpr int kNasPortsPerRequest = 33;
constexpr int kShareListPaths = 64;
constexpr int kSharePathSize = 256;
constexpr int kQuotaEntries = 8;

// Disk types with a meaning of their own; every other value is passed through from the core.
constexpr int32_t kDiskTypeNfs = 3;
constexpr int32_t kDiskTypeRaid = 4;
constexpr int32_t kDiskTypeSmb = 10;
constexpr bool is_network_disk(int32_t type) { return type == kDiskTypeNfs || type == kDiskTypeSmb; }

// One storage device as the core reports it (reply 8433, payload length / 464 records).
struct DiskInfo {
  int32_t port;  // 1..36; the RAID id of an array
  char vendor[64];
  char address[64];    // network disks
  char directory[128]; // network disks
  int32_t state;
  int32_t usable;
  int32_t reserved0;
  uint64_t total_bytes;
  uint64_t used_bytes;
  uint64_t free_bytes;
  int32_t type;
  int32_t group;
  int32_t property;
  int32_t reserved1;
  int32_t raid_level;
  int32_t raid_state;
  int32_t raid_progress;  // also the disk's format progress
  int32_t raid_member_count;
  int32_t raid_members[kRaidMembers];
  char user_name[33];
  char password[33];
  char reserved2[6];
};
ZV_SCHEMA(DiskInfo, ZV_INTERNAL(port), ZV_INTERNAL(vendor), ZV_INTERNAL(address), ZV_INTERNAL(directory),
          ZV_INTERNAL(state), ZV_INTERNAL(usable), ZV_RESERVED(reserved0), ZV_INTERNAL(total_bytes),
          ZV_INTERNAL(used_bytes), ZV_INTERNAL(free_bytes), ZV_INTERNAL(type), ZV_INTERNAL(group),
          ZV_INTERNAL(property), ZV_RESERVED(reserved1), ZV_INTERNAL(raid_level), ZV_INTERNAL(raid_state),
          ZV_INTERNAL(raid_progress), ZV_INTERNAL(raid_member_count), ZV_INTERNAL(raid_members),
          ZV_INTERNAL(user_name), ZV_INTERNAL(password), ZV_RESERVED(reserved2));
static_assert(sizeof(DiskInfo) == 464);

// Property and group of a disk (3435).
struct DiskPropertyChange {
  int32_t port;
  int32_t property;
  int32_t group;
  int32_t reserved;
};
ZV_SCHEMA(DiskPropertyChange, ZV_INTERNAL(port), ZV_INTERNAL(property), ZV_INTERNAL(group),
          ZV_RESERVED(reserved));
static_assert(sizeof(DiskPropertyChange) == 16);

// Create (3420) or delete (3421, id only) a RAID array.
struct RaidRequest {
  int32_t id;
  int32_t enable;
  int32_t level;
  int32_t reserved0;
  int32_t reserved1;
  int32_t member_count;               // "sata_cnt" as given
  int32_t members[kRaidMembers];      // ascending, unused entries 0
  char reserved2[16];
};
ZV_SCHEMA(RaidRequest, ZV_FIELD(id, "id").required().range(10, 15), ZV_FIELD(enable, "enable").required(),
          ZV_FIELD(level, "level").required().at_least(0), ZV_RESERVED(reserved0), ZV_RESERVED(reserved1),
          ZV_FIELD(member_count, "sata_cnt").required().range(0, kRaidMembers), ZV_INTERNAL(members),
          ZV_RESERVED(reserved2));
static_assert(sizeof(RaidRequest) == 104);

// Rebuild array raid_port with disk disk_port (3425).
struct RaidRebuild {
  int32_t disk_port;
  int32_t raid_port;
};
ZV_SCHEMA(RaidRebuild, ZV_FIELD(disk_port, "diskport").required(), ZV_FIELD(raid_port, "raidport").required());
static_assert(sizeof(RaidRebuild) == 8);

// The answer to a self-evaluation (8403): the tool's report text from byte 12.
struct SelfEvaluation {
  int32_t port;
  int32_t status;
  int32_t length;
  char report[500];
};
ZV_SCHEMA(SelfEvaluation, ZV_INTERNAL(port), ZV_INTERNAL(status), ZV_INTERNAL(length), ZV_INTERNAL(report));
static_assert(sizeof(SelfEvaluation) == 512);
constexpr size_t kSelfEvaluationTextOffset = offsetof(SelfEvaluation, report);
static_assert(kSelfEvaluationTextOffset == 12);

// Network disks added (3507) or removed (3508).
struct NasPortList {
  int32_t count;
  int32_t ports[kNasPortsPerRequest];
};
ZV_SCHEMA(NasPortList, ZV_INTERNAL(count), ZV_INTERNAL(ports));
static_assert(sizeof(NasPortList) == 136);

// The shares a server offers (3440 asks, 8440 answers).
struct ShareSearch {
  int32_t port;
  char server[64];
};
ZV_SCHEMA(ShareSearch, ZV_FIELD(port, "port").required(), ZV_FIELD(server, "serverAddr").required());
static_assert(sizeof(ShareSearch) == 68);
struct ShareList {
  int32_t count;
  char paths[kShareListPaths][kSharePathSize];
};
ZV_SCHEMA(ShareList, ZV_INTERNAL(count), ZV_INTERNAL(paths));
static_assert(sizeof(ShareList) == 16388);

// The eSATA port's use (3475 sets, 8431 answers).
struct EsataMode {
  int32_t mode;
  int32_t esata;
};
ZV_SCHEMA(EsataMode, ZV_FIELD(mode, "mode").required(), ZV_FIELD(esata, "esata").required());
static_assert(sizeof(EsataMode) == 8);

// A channel's quota (3530 sends the first three members, the used ones zero; 8529 answers all).
struct QuotaEntry {
  int32_t channel;
  int32_t video_quota;
  int32_t picture_quota;
  int32_t video_used;
  int32_t picture_used;
};
ZV_SCHEMA(QuotaEntry, ZV_FIELD(channel, "channel").required().range(0, 63),
          ZV_FIELD(video_quota, "video_quota"), ZV_FIELD(picture_quota, "picture_quota"),
          ZV_FIELD(video_used, "video_used").out_only(), ZV_FIELD(picture_used, "picture_used").out_only());
static_assert(sizeof(QuotaEntry) == 20);
struct QuotaSet {
  int32_t enable;
  int32_t count;  // the number of entries the page gave
  QuotaEntry entries[kQuotaEntries];
};
ZV_SCHEMA(QuotaSet, ZV_INTERNAL(enable), ZV_INTERNAL(count), ZV_INTERNAL(entries));
static_assert(sizeof(QuotaSet) == 168);
// The head of reply 8529; `count` entries of QuotaEntry follow.
struct QuotaHead {
  int32_t enable;
  int32_t count;
};
ZV_SCHEMA(QuotaHead, ZV_INTERNAL(enable), ZV_INTERNAL(count));
static_assert(sizeof(QuotaHead) == 8);

// A disk group's channels changed (3436).
struct GroupChange {
  int32_t id;
  char channels[65];
  char stored[65];
  char reserved[2];
};
ZV_SCHEMA(GroupChange, ZV_INTERNAL(id), ZV_INTERNAL(channels), ZV_INTERNAL(stored), ZV_RESERVED(reserved));
static_assert(sizeof(GroupChange) == 136);

// Automatic-backup progress (6317).
struct BackupProgress {
  int32_t status;
  char last_time[32];
  float percent;
  int32_t capacity;
  int32_t reserved;
};
ZV_SCHEMA(BackupProgress, ZV_INTERNAL(status), ZV_INTERNAL(last_time), ZV_INTERNAL(percent),
          ZV_INTERNAL(capacity), ZV_RESERVED(reserved));
static_assert(sizeof(BackupProgress) == 48);

// A device that can take backups (8457 records).
constexpr int32_t kBackupDeviceKind = 5;
struct BackupDevice {
  int32_t port;
  char reserved0[148];
  int32_t kind;
  char reserved1[28];
};
ZV_SCHEMA(BackupDevice, ZV_INTERNAL(port), ZV_RESERVED(reserved0), ZV_INTERNAL(kind), ZV_RESERVED(reserved1));
static_assert(sizeof(BackupDevice) == 184);

// Progress of the backup onto a device (8540).
struct DeviceBackupProgress {
  int32_t status;
  uint8_t percent;
  uint8_t port;
  char reserved[2];
  int32_t type;
};
ZV_SCHEMA(DeviceBackupProgress, ZV_INTERNAL(status), ZV_INTERNAL(percent), ZV_INTERNAL(port),
          ZV_RESERVED(reserved), ZV_INTERNAL(type));
static_assert(sizeof(DeviceBackupProgress) == 12);

// ---- Disks and RAID ----
inline constexpr Exchange<NoPayload, DiskInfo> kDiskList{3433, 8433, "disk list", 0};
inline constexpr Notice<DiskPropertyChange> kDiskProperty{3435, "disk property"};
inline constexpr Exchange<int32_t, int32_t> kDiskFormat{3434, 8434, "disk format"};
inline constexpr Exchange<RaidRequest, int32_t> kRaidCreate{3420, 8420, "raid create"};
inline constexpr Exchange<RaidRequest, int32_t> kRaidDelete{3421, 8421, "raid delete"};
inline constexpr Exchange<int32_t, int32_t> kHotSpareMark{3423, 8423, "hot spare mark"};
inline constexpr Exchange<int32_t, int32_t> kHotSpareClear{3424, 8424, "hot spare clear"};
inline constexpr Exchange<RaidRebuild, int32_t> kRaidRebuild{3425, 8425, "raid rebuild"};
inline constexpr Exchange<int32_t, SelfEvaluation> kSelfEvaluation{3403, 8403, "disk self-evaluation", 0};
inline constexpr Exchange<int32_t, int32_t> kDeviceRemove{3496, 8496, "device remove"};
// ---- Network disks and eSATA ----
inline constexpr Exchange<NasPortList, int32_t> kNasRemove{3508, 8508, "network disks remove"};
inline constexpr Exchange<NasPortList, int32_t> kNasAdd{3507, 8507, "network disks add"};
inline constexpr Exchange<ShareSearch, ShareList> kShareSearch{3440, 8440, "network shares", 4};
inline constexpr Exchange<int32_t, int32_t> kNasEdit{3439, 8439, "network disk edit"};
inline constexpr Exchange<EsataMode, int32_t> kEsataModeSet{3475, 8475, "esata mode set", 0};
inline constexpr Exchange<int32_t, EsataMode> kEsataModeRead{3431, 8431, "esata mode"};
// ---- Quotas, groups and backup ----
inline constexpr Exchange<NoPayload, QuotaHead> kQuotaRead{3529, 8529, "quotas"};
inline constexpr Exchange<QuotaSet, int32_t> kQuotaSet{3530, 8530, "quota set"};
inline constexpr Notice<int32_t> kGroupMode{3442, "disk group mode"};
inline constexpr Notice<GroupChange> kGroupChange{3436, "disk group channels"};
inline constexpr Notice<NoPayload> kGroupsApply{1307, "disk groups apply"};
inline constexpr Exchange<int32_t, int32_t> kAutoBackupRun{1316, 6316, "automatic backup"};
inline constexpr Exchange<NoPayload, BackupProgress> kAutoBackupProgress{1317, 6317, "automatic backup progress"};
inline constexpr Exchange<NoPayload, BackupDevice> kBackupDevices{3457, 8457, "backup devices", 0};
inline constexpr Exchange<int32_t, int32_t> kDeviceBackupStart{3535, 8535, "device backup start"};
inline constexpr Exchange<NoPayload, int32_t> kDeviceBackupStatus{3536, 8536, "device backup status"};
inline constexpr Exchange<NoPayload, int32_t> kDeviceBackupStop{3537, 8537, "device backup stop"};
inline constexpr Exchange<NoPayload, DeviceBackupProgress> kDeviceBackupProgress{3540, 8540, "device backup progress"};
