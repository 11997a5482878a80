#include "platform/zvdb/camera_tables.h"

#include <cstdio>
#include <cstring>
#include <iterator>
#include <vector>

#include "platform/zvdb/table_forms.h"

namespace zvdb {
namespace {

// Factory camera of a channel: disabled, ONVIF over UDP on the usual ports, sub stream and clock
// synchronisation wanted once a camera is added.
void default_camera(CameraRecord& c, int32_t index) {
  c.id = index;
  c.main_rtsp_port = 554;
  c.sub_rtsp_port = 554;
  c.enable_sub_stream = 1;
  c.manage_port = 80;
  c.cam_protocol = kCameraProtocolOnvif;
  c.sync_time = 1;
}

// The protocol catalogue: ids 0..7. ONVIF and RTSP list no models; the recorder's own protocols
// offer a model list.
struct ProtocolDefault {
  const char* name;
  int32_t function;
};
constexpr ProtocolDefault kProtocols[] = {
    {"ONVIF", 0x0f},     {"RTSP", 0x01},      {"ZVSF", 0x3f},    {"ZVSF-TLS", 0x3f},
    {"ZVSF-P2P", 0x1f},  {"ZVSF-LITE", 0x07}, {"ZVSF-FISHEYE", 0x3f}, {"ZVSF-PNP", 0x3f},
};
constexpr int kProtocolCount = static_cast<int>(std::size(kProtocols));
static_assert(kProtocolCount == kCameraProtocolMax + 1);

void default_protocol(IpcProtocolRecord& p, int32_t index) {
  p.id = index;
  set_text(p.name, kProtocols[index].name);
  p.protocol_function = kProtocols[index].function;
  p.enable = 1;
  p.display_model = index >= 2 ? 1 : 0;
}

// The model catalogue: model i (i < 8) is the generic model of protocol i, the default one; then
// two named models per protocol.
constexpr const char* kModelNames[] = {"IPC-2M", "IPC-4M", "IPC-5M-IR", "IPC-8M", "PTZ-2M",
                                       "PTZ-4M-25X", "DOME-2M", "DOME-4M", "BULLET-2M", "BULLET-4M",
                                       "FISHEYE-5M", "FISHEYE-12M", "TURRET-4M", "TURRET-8M",
                                       "BOX-2M", "BOX-4M"};
constexpr int kModelsPerProtocol = 2;
constexpr int kModelCount = kProtocolCount + kProtocolCount * kModelsPerProtocol;
static_assert(std::size(kModelNames) == kProtocolCount * kModelsPerProtocol);

void default_model(IpcModelRecord& m, int32_t index) {
  m.id = index;
  if (index < kProtocolCount) {
    m.protocol = index;
    std::snprintf(m.name, sizeof m.name, "Generic %s", kProtocols[index].name);
    m.default_model = 1;
  } else {
    const int named = index - kProtocolCount;
    m.protocol = named / kModelsPerProtocol;
    set_text(m.name, kModelNames[named]);
    m.alarm_type = named % kModelsPerProtocol == 0 ? 1 : 2;
  }
}

}  // namespace

const TableDesc kCameraTable = keyed_table<CameraRecord>("camera", offsetof(CameraRecord, id), kCameraKeyLimit,
                                                         factory_row<default_camera>, kCameraChannels);
const TableDesc kIpcProtocolTable{.name = "ipc_protocol",
                                  .record_size = sizeof(IpcProtocolRecord),
                                  .key = {.a = offsetof(IpcProtocolRecord, id)},
                                  .fields = zvrec::schema_of<IpcProtocolRecord>().fields,
                                  .default_rows = kProtocolCount,
                                  .make_default = factory_row<default_protocol>};
const TableDesc kIpcModelTable{.name = "ipc_model",
                               .record_size = sizeof(IpcModelRecord),
                               .key = {.a = offsetof(IpcModelRecord, protocol),
                                       .b = offsetof(IpcModelRecord, id)},
                               .fields = zvrec::schema_of<IpcModelRecord>().fields,
                               .default_rows = kModelCount,
                               .make_default = factory_row<default_model>};

std::span<const TableDesc* const> camera_tables() {
  static const TableDesc* const kTables[] = {&kCameraTable, &kIpcProtocolTable, &kIpcModelTable};
  return kTables;
}

}  // namespace zvdb

namespace {

using zvdb::Key;

constexpr zvdb::Table<IpcProtocolRecord> kProtocolCatalogue{zvdb::kIpcProtocolTable};
constexpr zvdb::Table<IpcModelRecord> kModelCatalogue{zvdb::kIpcModelTable};

}  // namespace

int read_camera(const char* db, CameraRecord* record, int channel) {
  if (record == nullptr) return -1;
  return kCameras.read(db, record, Key{channel});
}
int write_camera(const char* db, const CameraRecord* record) {
  if (record == nullptr) return -1;
  return kCameras.write(db, record);
}
int read_cameras(const char* db, CameraRecord* records, int* count) {
  if (records == nullptr || count == nullptr) return -1;
  return kCameras.read_all(db, records, count);
}

int read_ipc_protocols(const char* db, IpcProtocolRecord** array, int* count) {
  if (array == nullptr || count == nullptr) return -1;
  return kProtocolCatalogue.read_all_alloc(db, array, count);
}
void release_ipc_protocol(IpcProtocolRecord** array) {
  if (array == nullptr) return;
  void* block = *array;
  zvdb::release_records(&block);
  *array = nullptr;
}
int write_ipc_protocol(const char* db, const IpcProtocolRecord* record) {
  if (record == nullptr) return -1;
  return kProtocolCatalogue.write(db, record);
}

int read_ipc_models_by_protocol(const char* db, IpcModelRecord** array, int protocol_id, int* count) {
  if (array == nullptr || count == nullptr) return -1;
  return kModelCatalogue.read_all_alloc(db, array, count, zvdb::KeyFilter{.a = protocol_id});
}
void ipc_destroy(IpcModelRecord* array) {
  void* block = array;
  zvdb::release_records(&block);
}
int read_ipc_model(const char* db, IpcModelRecord* model, int model_id) {
  if (model == nullptr) return -1;
  IpcModelRecord found{};
  int count = 1;
  if (kModelCatalogue.read_all(db, &found, &count, zvdb::KeyFilter{.b = model_id}) != 0 || count < 1) {
    return -1;
  }
  *model = found;
  return 0;
}
int write_ipc_model(const char* db, const IpcModelRecord* model) {
  if (model == nullptr) return -1;
  // Model ids are unique across protocols: a model moved to another protocol leaves its old row.
  zvdb::Transaction tx(db);
  std::vector<Key> stale;
  tx.scan(zvdb::kIpcModelTable, zvdb::KeyFilter{.b = model->id},
          [&](const void*, int, const Key& key, int) {
            if (key.a != model->protocol) stale.push_back(Key{key.a, key.b});
            return true;
          });
  for (const Key& key : stale) tx.remove(zvdb::kIpcModelTable, key);
  tx.write(zvdb::kIpcModelTable, model, zvdb::key_of(zvdb::kIpcModelTable, model));
  return tx.commit();
}
