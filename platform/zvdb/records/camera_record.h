// The camera of one channel as the configuration database keeps it (record "camera"), and the
// catalogue of camera protocols and models the recorder knows. The same bytes on the 32-bit
// device and on the development host.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/zvrecord/schema.h"

constexpr int kCameraChannels = 64;  // factory rows: channels 0..63
// The camera requests accept ids up to 64, so the table keeps keys 0..64: a camera stored under
// 64 is kept (and never indexes a 64-entry array).
constexpr int kCameraKeyLimit = 65;

constexpr int kCameraProtocolOnvif = 0;
constexpr int kCameraProtocolRtsp = 1;    // the RTSP fields are taken from the request
constexpr int kCameraProtocolNoAddr = 7;  // needs neither address nor management port
constexpr int kCameraProtocolMax = 7;

struct CameraRecord {
  int32_t id;                 // channel, 0-based
  int32_t state;              // set to 1 by a delete; otherwise the core's
  int32_t enable;             // 0 or 1
  int32_t anr;                // automatic network replenishment (column "anr")
  int32_t record_stream;      // stream recorded (column "record_stream")
  uint8_t reserved0[8];
  char user_name[64];         // camera login
  char password[64];
  char ip_addr[64];           // camera address (text)
  int32_t main_rtsp_port;
  char main_source_path[256];
  int32_t enable_sub_stream;
  int32_t sub_rtsp_port;
  char sub_source_path[256];
  int32_t manage_port;        // management (HTTP/ONVIF) port
  int32_t cam_protocol;       // protocol id 0..7
  int32_t transmit_protocol;  // 0 UDP, 1 TCP (2 accepted, logged as TCP)
  int32_t reserved1;
  int32_t kept_word;          // survives a delete unchanged
  int32_t sync_time;          // clock synchronisation flag
  int32_t reserved2;
  char main_rtsp_url[256];
  char sub_rtsp_url[256];
  int32_t poe_channel;
  char mac_addr[32];
  int32_t physical_port;      // physical PoE port number
  uint8_t reserved3[68];
  int32_t minor_id;
  char ddns[64];
};

// The JSON form is the camera page's add request ("/2004"): the handlers read subsets of it
// (camera_list.cc). The address and port are required unless the protocol needs none (7); the
// RTSP members count only for protocol 1; the PoE members only on an add.
ZV_SCHEMA(CameraRecord,
          ZV_FIELD(id, "id").required().range(0, kCameraKeyLimit - 1),
          ZV_INTERNAL(state),
          ZV_FIELD(enable, "enable").required().range(0, 1),
          ZV_INTERNAL(anr),
          ZV_INTERNAL(record_stream),
          ZV_RESERVED(reserved0),
          ZV_FIELD(user_name, "userName").whole(),
          ZV_FIELD(password, "password").whole(),
          ZV_FIELD(ip_addr, "ipAddr").whole(),
          ZV_FIELD(main_rtsp_port, "mainRtspPort").range(0, 65535),
          ZV_FIELD(main_source_path, "mainSourcePath").whole(),
          ZV_FIELD(enable_sub_stream, "enableSubStream"),
          ZV_FIELD(sub_rtsp_port, "subRtspPort").range(0, 65535),
          ZV_FIELD(sub_source_path, "subSourcePath").whole(),
          ZV_FIELD(manage_port, "managePort").range(0, 65535),
          ZV_FIELD(cam_protocol, "camProtocol").required().range(0, kCameraProtocolMax),
          ZV_FIELD(transmit_protocol, "transmitProtocol").required().range(0, 2),
          ZV_RESERVED(reserved1),
          ZV_INTERNAL(kept_word),
          ZV_FIELD(sync_time, "syncTime"),
          ZV_RESERVED(reserved2),
          ZV_FIELD(main_rtsp_url, "mainrtspurl").whole(),
          ZV_FIELD(sub_rtsp_url, "subrtspurl").whole(),
          ZV_FIELD(poe_channel, "poechannel"),
          ZV_FIELD(mac_addr, "mac_addr").whole(),
          ZV_FIELD(physical_port, "physicalport"),
          ZV_RESERVED(reserved3),
          ZV_FIELD(minor_id, "minorid"),
          ZV_FIELD(ddns, "ddns").whole());

static_assert(sizeof(CameraRecord) == 1460);

// One camera protocol of the catalogue.
struct IpcProtocolRecord {
  int32_t id;
  char name[24];
  int32_t protocol_function;
  int32_t enable;
  int32_t display_model;  // 1: the pages offer the protocol's model list
};

// The JSON form is the catalogue reply ("/2008"), the protocol's "models" array after it.
ZV_SCHEMA(IpcProtocolRecord,
          ZV_FIELD(id, "id"),
          ZV_FIELD(name, "name"),
          ZV_FIELD(protocol_function, "protocolFunction"),
          ZV_FIELD(enable, "enable"),
          ZV_FIELD(display_model, "display_model"));

static_assert(sizeof(IpcProtocolRecord) == 40);

// One camera model of a protocol; model ids are unique across protocols.
struct IpcModelRecord {
  int32_t id;
  int32_t protocol;
  char name[32];
  int32_t alarm_type;
  int32_t default_model;
};

// The JSON form is one element of a protocol's "models" array ("/2008").
ZV_SCHEMA(IpcModelRecord,
          ZV_FIELD(id, "id"),
          ZV_INTERNAL(protocol),
          ZV_FIELD(name, "name"),
          ZV_FIELD(alarm_type, "alarm_type"),
          ZV_FIELD(default_model, "default_model"));

static_assert(sizeof(IpcModelRecord) == 48);
