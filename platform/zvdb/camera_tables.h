// Configuration-database calls of the camera list: the camera record of each channel and the
// catalogue of camera protocols and their models. All take the database path first and follow the
// library's conventions: 0 = done / found; -1 = not found (the buffer is left as it was), refused
// or failed.
#pragma once

#include <cstdint>
#include <span>

#include "platform/zvdb/engine.h"
#include "platform/zvdb/records/camera_record.h"

// ---- Cameras (one record per channel; keys 0..64, factory rows 0..63 disabled) ---------------
int read_camera(const char* db, CameraRecord* record, int channel);
int write_camera(const char* db, const CameraRecord* record);  // keyed by record->id
// *count: in, capacity of `records`; out, records filled in channel order.
int read_cameras(const char* db, CameraRecord* records, int* count);

// ---- Protocol catalogue ----------------------------------------------------------------------
// Every protocol in id order, in an array the library allocates (null when there is none); release
// it with release_ipc_protocol.
int read_ipc_protocols(const char* db, IpcProtocolRecord** array, int* count);
void release_ipc_protocol(IpcProtocolRecord** array);  // sets *array to null
int write_ipc_protocol(const char* db, const IpcProtocolRecord* record);  // keyed by record->id

// The models of one protocol in id order, in an array the library allocates (null when there is
// none); release it with ipc_destroy.
int read_ipc_models_by_protocol(const char* db, IpcModelRecord** array, int protocol_id, int* count);
void ipc_destroy(IpcModelRecord* array);
// One model by its id.
int read_ipc_model(const char* db, IpcModelRecord* model, int model_id);
// Stores the model under its id (replacing the model of that id, whatever its protocol was).
int write_ipc_model(const char* db, const IpcModelRecord* model);

// ---- Descriptors -----------------------------------------------------------------------------
namespace zvdb {
extern const TableDesc kCameraTable;       // "camera", key a = channel
extern const TableDesc kIpcProtocolTable;  // "ipc_protocol", key a = protocol id
extern const TableDesc kIpcModelTable;     // "ipc_model", key a = protocol id, b = model id

// The tables above, for the library's table list (inspection, column copies, factory rows).
std::span<const TableDesc* const> camera_tables();
}  // namespace zvdb

inline constexpr zvdb::Table<CameraRecord> kCameras{zvdb::kCameraTable};
