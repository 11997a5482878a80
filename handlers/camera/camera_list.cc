// The camera list: read, add, edit and delete the camera of a channel, its login and transport,
// the protocol and model catalogue, the channel names, and the live state of every camera (asked
// from the core on each request).
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "common/json_fields.h"
#include "common/json_writer.h"
#include "common/oplog.h"
#include "common/reply.h"
#include "handlers/camera/camera_core.h"
#include "handlers/camera/camera_messages.h"
#include "handlers/camera/camera_module.h"
#include "handlers/camera/camera_names.h"
#include "handlers/video/video_common.h"
#include "platform/zvdb/camera_tables.h"
#include "platform/zvdb/engine.h"
#include "platform/zvdb/video_tables.h"
#include "platform/zvdb/zvdb.h"

namespace {

using zvdb::Key;

// Operation-log codes of the camera list.
constexpr int64_t kLogSubEdit = 204;
constexpr int64_t kLogSubAdd = 210;
constexpr int64_t kLogSubDelete = 211;
constexpr int32_t kLogParamAdd = 901;
constexpr int32_t kLogParamDelete = 902;
constexpr int32_t kLogParamEdit = 903;
constexpr int32_t kDetailAdd = 901;
constexpr int32_t kDetailEdit = 903;

// "/2000" and "/2005" serve the channels of the first camera page only.
constexpr int32_t kPagedChannelMax = 7;
constexpr int32_t kTransmitProtocolMax = 2;
constexpr const char kDefaultPoePassword[] = "kq5820";

// The protocol name the operation log shows: the recorder's own protocols all log as "ZVSF".
const char* protocol_log_name(int32_t protocol) {
  switch (protocol) {
    case kCameraProtocolOnvif: return "ONVIF";
    case kCameraProtocolRtsp: return "RTSP";
    default: return "ZVSF";
  }
}

CameraLogDetail camera_log_detail(int32_t action, const CameraRecord& camera) {
  CameraLogDetail detail{};
  detail.action = action;
  copy_field_text(detail.ip_addr, sizeof detail.ip_addr, camera.ip_addr);
  detail.manage_port = camera.manage_port;
  detail.channel = camera.id + 1;
  copy_text_field(detail.protocol, protocol_log_name(camera.cam_protocol));
  copy_text_field(detail.transport, camera.transmit_protocol == 0 ? "UDP" : "TCP");
  detail.sync_time = static_cast<uint8_t>(camera.sync_time);
  return detail;
}

// Sends the operation-log record of a camera change (channel 0-based), with the detail block of
// an add or edit when given.
void log_camera_change(int64_t sub_type, int32_t param_type, int32_t channel,
                       const CameraLogDetail* detail) {
  OpLogRecord record;
  op_log_init(&record);
  record.sub_type = sub_type;
  record.param_type = param_type;
  record.channel = channel + 1;
  if (detail != nullptr) zvfs_log_pack_detail(&record, kCameraLogDetailKind, detail, sizeof *detail);
  op_log_send(record);
}

void log_camera_edit(const CameraRecord& camera) {
  const CameraLogDetail detail = camera_log_detail(kDetailEdit, camera);
  log_camera_change(kLogSubEdit, kLogParamEdit, camera.id, &detail);
}

void notify_channel(int32_t msg_id, int32_t channel) { notify_core(msg_id, channel); }

// Reads the stored camera of `channel` (a missing row reads as an empty record of that channel)
// inside the transaction.
CameraRecord stored_camera(zvdb::Transaction& tx, int32_t channel) {
  CameraRecord camera{};
  tx.read(zvdb::kCameraTable, &camera, Key{channel});
  camera.id = channel;
  return camera;
}

// Stores a new OSD name for `channel` inside the transaction. Channel 64 has no OSD record: its
// name is not kept.
void store_osd_name(zvdb::Transaction& tx, int32_t channel, const char* name) {
  if (channel < 0 || channel >= kMaxChannels) return;
  OsdRecord osd{};
  tx.read(zvdb::kOsdTable, &osd, Key{channel});
  osd.cam_id = channel;
  std::memset(osd.cam_name, 0, sizeof osd.cam_name);
  copy_text_field(osd.cam_name, name);
  tx.write(zvdb::kOsdTable, &osd, Key{channel});
}

// ---- Add and edit ---------------------------------------------------------------------------

enum class CameraChange { kEdit, kAdd };

// The members of an add or edit request, as the request gives them.
struct CameraRequest {
  CameraRecord in{};
  char name[kOsdNameSize] = {};
  int32_t type = 0;       // edit: 0 also changes the login
  int32_t other_poe = 0;  // add: 1 when the camera sits on another PoE switch
};

// Validates the request and reads its members; false (nothing read) when it is refused.
bool read_camera_request(json_object* request, CameraChange change, CameraRequest* out) {
  CameraRequest r;
  CameraRecord& in = r.in;
  if (!read_json_members(request, {
          int_member("id", &in.id).required().range(0, kCameraKeyLimit - 1),
          text_member("name", r.name).required(),
          int_member("enable", &in.enable).required().range(0, 1),
          int_member("camProtocol", &in.cam_protocol).required().range(0, kCameraProtocolMax),
          int_member("transmitProtocol", &in.transmit_protocol).required().range(0, kTransmitProtocolMax),
      })) {
    return false;
  }
  JsonMember address = text_member("ipAddr", in.ip_addr);
  JsonMember port = int_member("managePort", &in.manage_port);
  if (in.cam_protocol != kCameraProtocolNoAddr) {
    address = address.required();
    port = port.required().min(0);
  }
  std::vector<JsonMember> members = {
      address,
      port,
      int_member("minorid", &in.minor_id),
      text_member("userName", in.user_name),
      text_member("password", in.password),
      int_member("enableSubStream", &in.enable_sub_stream),
      int_member("syncTime", &in.sync_time),
      text_member("ddns", in.ddns),
  };
  if (change == CameraChange::kEdit) {
    members.push_back(int_member("type", &r.type));
  } else {
    members.push_back(text_member("mac_addr", in.mac_addr));
    members.push_back(int_member("poechannel", &in.poe_channel));
    members.push_back(int_member("physicalport", &in.physical_port));
    members.push_back(int_member("otherPoe", &r.other_poe));
  }
  if (in.cam_protocol == kCameraProtocolRtsp) {
    members.push_back(int_member("mainRtspPort", &in.main_rtsp_port));
    members.push_back(text_member("mainSourcePath", in.main_source_path));
    members.push_back(int_member("subRtspPort", &in.sub_rtsp_port));
    members.push_back(text_member("subSourcePath", in.sub_source_path));
    members.push_back(text_member("mainrtspurl", in.main_rtsp_url));
    members.push_back(text_member("subrtspurl", in.sub_rtsp_url));
  }
  if (!read_json_members(request, members)) return false;
  *out = r;
  return true;
}

template <size_t N>
void copy_field(char (&to)[N], const char (&from)[N]) {
  std::memcpy(to, from, N);
}

// Puts the request's members into the stored record: the login only on an add or an edit of
// type 0, the RTSP fields only for the RTSP protocol, the PoE fields only on an add.
void apply_camera_request(const CameraRequest& r, CameraChange change, CameraRecord* camera) {
  const CameraRecord& in = r.in;
  camera->id = in.id;
  camera->minor_id = in.minor_id;
  camera->enable = in.enable;
  copy_field(camera->ip_addr, in.ip_addr);
  camera->manage_port = in.manage_port;
  camera->cam_protocol = in.cam_protocol;
  if (change == CameraChange::kAdd || r.type == 0) {
    copy_field(camera->user_name, in.user_name);
    copy_field(camera->password, in.password);
  }
  camera->transmit_protocol = in.transmit_protocol;
  camera->enable_sub_stream = in.enable_sub_stream;
  camera->sync_time = in.sync_time;
  if (in.cam_protocol == kCameraProtocolRtsp) {
    camera->main_rtsp_port = in.main_rtsp_port;
    copy_field(camera->main_source_path, in.main_source_path);
    camera->sub_rtsp_port = in.sub_rtsp_port;
    copy_field(camera->sub_source_path, in.sub_source_path);
    copy_field(camera->main_rtsp_url, in.main_rtsp_url);
    copy_field(camera->sub_rtsp_url, in.sub_rtsp_url);
  }
  copy_field(camera->ddns, in.ddns);
  if (change == CameraChange::kAdd) {
    // An absent MAC address reads as "(null)"; the record keeps an empty text instead.
    if (field_text(in.mac_addr) == "(null)") {
      std::memset(camera->mac_addr, 0, sizeof camera->mac_addr);
    } else {
      copy_field(camera->mac_addr, in.mac_addr);
    }
    camera->poe_channel = in.poe_channel;
    camera->physical_port = in.physical_port;
  }
}

void change_camera(const char* argument, CameraChange change) {
  JsonPtr request = parse_request(argument);
  if (!request) return;
  CameraRequest r;
  if (!read_camera_request(request.get(), change, &r)) return;
  const int32_t channel = r.in.id;

  CameraRecord camera{};
  {
    zvdb::Transaction tx(kZvdbPath);
    camera = stored_camera(tx, channel);
    store_osd_name(tx, channel, r.name);
    apply_camera_request(r, change, &camera);
    tx.write(zvdb::kCameraTable, &camera, Key{channel});
    if (tx.commit() != 0) {
      reply_cgi_error(REPLY_TEXT);
      return;
    }
  }

  if (change == CameraChange::kAdd) {
    notify_channel(kMsgCameraAdded, channel);
    const int32_t poe[2] = {channel, r.other_poe == 1 ? 1 : 0};
    notify_core(kMsgCameraPoe, poe);
    const CameraLogDetail detail = camera_log_detail(kDetailAdd, camera);
    log_camera_change(kLogSubAdd, kLogParamAdd, channel, &detail);
  } else {
    notify_channel(kMsgCameraChanged, channel);
    log_camera_edit(camera);
  }
  reply_ok();
}

// Read-modify-write of one camera record in one transaction, then the change notice and the
// edit log. False when the database refused the write (then nothing was sent).
template <class Change>
bool update_camera(int32_t channel, Change change) {
  CameraRecord camera{};
  {
    zvdb::Transaction tx(kZvdbPath);
    camera = stored_camera(tx, channel);
    change(camera);
    tx.write(zvdb::kCameraTable, &camera, Key{channel});
    if (tx.commit() != 0) return false;
  }
  notify_channel(kMsgCameraChanged, channel);
  log_camera_edit(camera);
  return true;
}

// ---- Replies ----------------------------------------------------------------------------------

// One camera of the "/2001" reply, as an element of the writer's open array.
void write_camera_status(JsonWriter& w, const CameraStatusRecord& s, const ChannelNames& names) {
  w.begin_object();
  w.key("id").value(s.id);
  w.key("enable").value(1);
  w.key("name").value(names.name(s.id));
  w.key("ipAddr").field(s.ip_addr);
  w.key("managePort").value(s.manage_port);
  w.key("camProtocol").value(s.cam_protocol);
  w.key("vendor").field(s.vendor);
  w.key("sn").field(s.sn);
  w.key("snReal").field(s.sn_real);
  w.key("mac").field(s.mac);
  w.key("model").field(s.model);
  w.key("fwVersion").field(s.fw_version);
  w.key("state").value(s.state);
  w.key("mainRtspPort").value(s.main_rtsp_port);
  w.key("physicalport").value(s.physical_port);
  w.key("poechannel").value(s.poe_channel);
  w.key("alarmin").value(s.alarm_in);
  w.key("alarmout").value(s.alarm_out);
  w.key("whiteLed").value(s.white_led);
  w.key("ledAlarm").value(s.led_alarm);
  w.key("ledManual").value(s.led_manual);
  w.key("minorid").value(s.minor_id);
  w.key("subState").value(s.sub_state);
  w.key("connectState").value(s.connect_state);
  w.key("ddns").field(s.ddns);
  w.end_object();
}

json_object* protocol_json(const IpcProtocolRecord& p) {
  json_object* o = json_object_new_object();
  add_int(o, "id", p.id);
  add_text(o, "name", p.name);
  add_int(o, "protocolFunction", p.protocol_function);
  add_int(o, "enable", p.enable);
  add_int(o, "display_model", p.display_model);
  json_object* models = json_object_new_array();
  IpcModelRecord* list = nullptr;
  int count = 0;
  if (read_ipc_models_by_protocol(kZvdbPath, &list, p.id, &count) == 0) {
    for (int i = 0; i < count; ++i) {
      json_object* m = json_object_new_object();
      add_int(m, "id", list[i].id);
      add_text(m, "name", list[i].name);
      add_int(m, "alarm_type", list[i].alarm_type);
      add_int(m, "default_model", list[i].default_model);
      json_object_array_add(models, m);
    }
  }
  ipc_destroy(list);
  json_object_object_add(o, "models", models);
  return o;
}

// The catalogue array of read_ipc_protocols, released when it goes away.
class ProtocolList {
 public:
  ProtocolList() {
    if (read_ipc_protocols(kZvdbPath, &records_, &count_) != 0) count_ = 0;
  }
  ~ProtocolList() { release_ipc_protocol(&records_); }
  ProtocolList(const ProtocolList&) = delete;
  ProtocolList& operator=(const ProtocolList&) = delete;
  int count() const { return records_ != nullptr ? count_ : 0; }
  IpcProtocolRecord& operator[](int i) { return records_[i]; }

 private:
  IpcProtocolRecord* records_ = nullptr;
  int count_ = 0;
};

}  // namespace

// ---- Handlers -----------------------------------------------------------------------------------

void camera_read_handler(const char* argument) {
  int32_t channel = -1;
  if (!read_channel_member(argument, "chnid", kPagedChannelMax, &channel)) {
    reply_cgi_error(REPLY_JSON);
    return;
  }
  CameraRecord camera{};
  camera.id = channel;
  read_camera(kZvdbPath, &camera, channel);
  char name[kOsdNameSize];
  read_osd_name(kZvdbPath, channel, name, sizeof name);
  IpcModelRecord model{};
  read_ipc_model(kZvdbPath, &model, camera.cam_protocol);

  JsonPtr reply(json_object_new_object());
  json_object* o = reply.get();
  add_int(o, "id", camera.id);
  add_text(o, "name", name);
  add_text(o, "ipAddr", camera.ip_addr);
  add_int(o, "managePort", camera.manage_port);
  add_int(o, "protocol", model.protocol);
  add_int(o, "model", camera.cam_protocol);
  add_text(o, "userName", camera.user_name);
  add_text(o, "password", camera.password);
  add_int(o, "transmitProtocol", camera.transmit_protocol);
  add_int(o, "mainRtspPort", camera.main_rtsp_port);
  add_text(o, "mainSourcePath", camera.main_source_path);
  add_int(o, "subRtspEnable", camera.enable_sub_stream);
  add_int(o, "subRtspPort", camera.sub_rtsp_port);
  add_text(o, "subSourcePath", camera.sub_source_path);
  add_int(o, "syncTime", camera.sync_time);
  add_text(o, "mainRtspUrl", camera.main_rtsp_url);
  add_text(o, "subRtspUrl", camera.sub_rtsp_url);
  add_int(o, "physicalport", camera.physical_port);
  add_int(o, "poechannel", camera.poe_channel);
  add_text(o, "mac_addr", camera.mac_addr);
  add_int(o, "minorid", camera.minor_id);
  add_text(o, "ddns", camera.ddns);
  reply_json(o);
}

void camera_status_handler(const char* /*argument*/) {
  const auto status = ask_core(kMsgCameraStatus, nullptr, 0, kReplyCameraStatus, 0, REPLY_JSON);
  if (!status) return;
  const PayloadReader payload = reader_of(*status);
  const ChannelNames names;
  const size_t count = payload.record_count<CameraStatusRecord>();
  // A camera prints about 400 bytes with short texts, more with long ones.
  JsonWriter w(256 + count * 640);
  w.begin_object();
  w.key("IPC").begin_array();
  for (size_t i = 0; i < count; ++i) {
    CameraStatusRecord record;
    if (payload.record(i, &record)) write_camera_status(w, record, names);
  }
  w.end_array();
  w.key("maxIPCNums").value(get_param_int(kZvdbPath, "max_cameras", 32));
  w.end_object();
  write_reply(REPLY_JSON, w.c_str());
}

void camera_edit_handler(const char* argument) { change_camera(argument, CameraChange::kEdit); }

void camera_add_handler(const char* argument) { change_camera(argument, CameraChange::kAdd); }

void camera_delete_handler(const char* argument) {
  int32_t channel = -1;
  if (!read_channel_member(argument, "chnid", kPagedChannelMax, &channel)) {
    reply_cgi_error(REPLY_JSON);
    return;
  }
  {
    zvdb::Transaction tx(kZvdbPath);
    // The channel's privacy masks are switched off and their areas cleared. A channel without
    // stored masks reads no record (or another channel's): nothing is written then.
    PrivacyMaskEntry masks{};
    if (tx.read(zvdb::kPrivacyMaskTable, &masks, Key{channel}) == 0 && masks.id == channel) {
      for (PrivacyMaskArea& area : masks.areas) {
        area.area_id = 0;
        area.enable = 0;
        area.start_x = 0;
        area.start_y = 0;
        area.area_width = 0;
        area.area_height = 0;
      }
      tx.write(zvdb::kPrivacyMaskTable, &masks, Key{channel});
    }
    const CameraRecord stored = stored_camera(tx, channel);
    CameraRecord cleared{};
    cleared.id = channel;
    cleared.state = 1;
    cleared.enable = 0;
    cleared.kept_word = stored.kept_word;
    tx.write(zvdb::kCameraTable, &cleared, Key{channel});
    char name[kOsdNameSize];
    std::snprintf(name, sizeof name, "CAM%d", static_cast<int>(channel) + 1);
    store_osd_name(tx, channel, name);
    if (tx.commit() != 0) {
      reply_cgi_error(REPLY_TEXT);
      return;
    }
  }
  notify_channel(kMsgCameraDeleted, channel);
  const int32_t poe[2] = {channel, 0};
  notify_core(kMsgCameraPoe, poe);
  log_camera_change(kLogSubDelete, kLogParamDelete, channel, nullptr);
  reply_ok();
}

void camera_protocols_handler(const char* /*argument*/) {
  ProtocolList protocols;
  JsonPtr reply(json_object_new_object());
  json_object* list = json_object_new_array();
  for (int i = 0; i < protocols.count(); ++i) {
    IpcProtocolRecord& p = protocols[i];
    // The recorder's own protocol (id 2) never offers its model list: a stored 1 is reset.
    if (p.id == 2 && p.display_model == 1) {
      p.display_model = 0;
      write_ipc_protocol(kZvdbPath, &p);
    }
    json_object_array_add(list, protocol_json(p));
  }
  json_object_object_add(reply.get(), "protocols", list);
  reply_json(reply.get());
}

void camera_names_handler(const char* /*argument*/) {
  const ChannelNames names;
  const int channels = std::clamp(get_param_int(kZvdbPath, "max_cameras", 32), 0, kMaxChannels);
  JsonPtr reply(json_object_new_object());
  json_object* list = json_object_new_array();
  for (int i = 0; i < channels; ++i) {
    json_object* o = json_object_new_object();
    add_int(o, "id", i);
    json_object_object_add(o, "name", json_object_new_string(names.name(i)));
    json_object_array_add(list, o);
  }
  json_object_object_add(reply.get(), "IPC", list);
  reply_json(reply.get());
}

void poe_password_handler(const char* /*argument*/) {
  char password[64];
  get_param_value(kZvdbPath, "poepsd", password, sizeof password, kDefaultPoePassword);
  write_reply(REPLY_TEXT, password);
}

void camera_login_set_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  if (!request) return;
  int32_t channel = -1;
  char user_name[64] = {};
  char password[64] = {};
  if (!read_json_members(request.get(), {
          int_member("id", &channel).required().range(0, kMaxChannels - 1),
          text_member("userName", user_name).required(),
          text_member("password", password).required(),
      })) {
    return;
  }
  const bool stored = update_camera(channel, [&](CameraRecord& camera) {
    copy_field(camera.user_name, user_name);
    copy_field(camera.password, password);
  });
  if (!stored) {
    reply_cgi_error(REPLY_TEXT);
    return;
  }
  reply_ok();
}

void poe_port_count_handler(const char* /*argument*/) {
  char text[16];
  std::snprintf(text, sizeof text, "%d", get_param_int(kZvdbPath, "max_poe_num", 0));
  write_reply(REPLY_TEXT, text);
}

void camera_transport_set_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  if (!request) return;
  int32_t channel = -1;
  int32_t transmit_protocol = 0;
  int32_t sync_time = 0;
  if (!read_json_members(request.get(), {
          int_member("id", &channel).required().range(0, kMaxChannels - 1),
          int_member("transmitProtocol", &transmit_protocol).required().range(0, kTransmitProtocolMax),
          int_member("syncTime", &sync_time),
      })) {
    return;
  }
  const bool stored = update_camera(channel, [&](CameraRecord& camera) {
    camera.transmit_protocol = transmit_protocol;
    camera.sync_time = sync_time;
  });
  if (!stored) {
    reply_cgi_error(REPLY_TEXT);
    return;
  }
  reply_ok();
}
