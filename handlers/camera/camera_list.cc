// The camera list: read, add, edit and delete the camera of a channel, its login and transport,
// the protocol and model catalogue, the channel names, and the live state of every camera (asked
// from the core on each request).
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>

#include "common/json_fields.h"
#include "common/oplog.h"
#include "common/partial_record.h"
#include "common/record_json.h"
#include "common/reply.h"
#include "common/request.h"
#include "common/messages/camera.h"
#include "common/request_table.h"
#include "platform/zvdb/camera_tables.h"
#include "platform/zvdb/engine.h"
#include "platform/zvdb/video_tables.h"
#include "platform/zvdb/zvdb.h"

namespace {

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
constexpr const char kDefaultPoePassword[] = "kq5820";

// ---- Forms over the camera record (its schema is the add request) ----------------------------

// Every add and edit. The address and port are optional here: kAddressForm requires them for
// every protocol but the one that needs none.
constexpr auto kCameraForm =
    ZV_FIELDS(CameraRecord, ZV_SCHEMA_FIELD(id), ZV_SCHEMA_FIELD(enable), ZV_SCHEMA_FIELD(ip_addr),
              ZV_SCHEMA_FIELD(enable_sub_stream), ZV_SCHEMA_FIELD(manage_port),
              ZV_SCHEMA_FIELD(cam_protocol), ZV_SCHEMA_FIELD(transmit_protocol),
              ZV_SCHEMA_FIELD(sync_time), ZV_SCHEMA_FIELD(minor_id), ZV_SCHEMA_FIELD(ddns));
constexpr auto kAddressForm = ZV_FIELDS(CameraRecord, ZV_SCHEMA_FIELD(ip_addr).required(),
                                        ZV_SCHEMA_FIELD(manage_port).required().range(0, 65535));
// Stored on an add, and on an edit of type 0.
constexpr auto kLoginForm = ZV_FIELDS(CameraRecord, ZV_SCHEMA_FIELD(user_name), ZV_SCHEMA_FIELD(password));
constexpr auto kRtspForm =
    ZV_FIELDS(CameraRecord, ZV_SCHEMA_FIELD(main_rtsp_port), ZV_SCHEMA_FIELD(main_source_path),
              ZV_SCHEMA_FIELD(sub_rtsp_port), ZV_SCHEMA_FIELD(sub_source_path),
              ZV_SCHEMA_FIELD(main_rtsp_url), ZV_SCHEMA_FIELD(sub_rtsp_url));
constexpr auto kPoeForm = ZV_FIELDS(CameraRecord, ZV_SCHEMA_FIELD(mac_addr), ZV_SCHEMA_FIELD(poe_channel),
                                    ZV_SCHEMA_FIELD(physical_port));
// "/2017" and "/2031": the channel and the members they change (any id an add can store).
constexpr auto kLoginSetForm =
    ZV_FIELDS(CameraRecord, ZV_FIELD(id, "id").required().range(0, kCameraKeyLimit - 1),
              ZV_SCHEMA_FIELD(user_name).required(), ZV_SCHEMA_FIELD(password).required());
constexpr auto kTransportSetForm =
    ZV_FIELDS(CameraRecord, ZV_FIELD(id, "id").required().range(0, kCameraKeyLimit - 1),
              ZV_SCHEMA_FIELD(transmit_protocol), ZV_SCHEMA_FIELD(sync_time));

// The "/2000" reply: the OSD name after "id", the model's protocol after "managePort".
constexpr auto kReadHead = ZV_FIELDS(CameraRecord, ZV_SCHEMA_FIELD(ip_addr), ZV_SCHEMA_FIELD(manage_port));
constexpr auto kReadTail = ZV_FIELDS(
    CameraRecord, ZV_FIELD(cam_protocol, "model"), ZV_SCHEMA_FIELD(user_name), ZV_SCHEMA_FIELD(password),
    ZV_SCHEMA_FIELD(transmit_protocol), ZV_SCHEMA_FIELD(main_rtsp_port), ZV_SCHEMA_FIELD(main_source_path),
    ZV_FIELD(enable_sub_stream, "subRtspEnable"), ZV_SCHEMA_FIELD(sub_rtsp_port),
    ZV_SCHEMA_FIELD(sub_source_path), ZV_SCHEMA_FIELD(sync_time), ZV_FIELD(main_rtsp_url, "mainRtspUrl"),
    ZV_FIELD(sub_rtsp_url, "subRtspUrl"), ZV_SCHEMA_FIELD(physical_port), ZV_SCHEMA_FIELD(poe_channel),
    ZV_SCHEMA_FIELD(mac_addr), ZV_SCHEMA_FIELD(minor_id), ZV_SCHEMA_FIELD(ddns));

// One camera of the "/2001" reply after its id, "enable" and name.
constexpr auto kStatusReply = ZV_FIELDS(
    CameraStatusRecord, ZV_SCHEMA_FIELD(ip_addr), ZV_SCHEMA_FIELD(manage_port), ZV_SCHEMA_FIELD(cam_protocol),
    ZV_SCHEMA_FIELD(vendor), ZV_SCHEMA_FIELD(sn), ZV_SCHEMA_FIELD(sn_real), ZV_SCHEMA_FIELD(mac),
    ZV_SCHEMA_FIELD(model), ZV_SCHEMA_FIELD(fw_version), ZV_SCHEMA_FIELD(state),
    ZV_SCHEMA_FIELD(main_rtsp_port), ZV_SCHEMA_FIELD(physical_port), ZV_SCHEMA_FIELD(poe_channel),
    ZV_SCHEMA_FIELD(alarm_in), ZV_SCHEMA_FIELD(alarm_out), ZV_SCHEMA_FIELD(white_led),
    ZV_SCHEMA_FIELD(led_alarm), ZV_SCHEMA_FIELD(led_manual), ZV_SCHEMA_FIELD(minor_id),
    ZV_SCHEMA_FIELD(sub_state), ZV_SCHEMA_FIELD(connect_state), ZV_SCHEMA_FIELD(ddns));

// ---- Operation log ----------------------------------------------------------------------------

// The protocol name the operation log shows: the recorder's own protocols all log as "ZVSF".
const char* protocol_log_name(int32_t protocol) {
  switch (protocol) {
    case kCameraProtocolOnvif: return "ONVIF";
    case kCameraProtocolRtsp: return "RTSP";
    default: return "ZVSF";
  }
}

// Sends the operation-log record of a camera change (channel 0-based), with the detail block of
// an add or edit (detail_action 0: none).
void log_camera_change(int64_t sub_type, int32_t param_type, const CameraRecord& camera,
                       int32_t detail_action) {
  OpLogRecord record;
  op_log_init(&record);
  record.sub_type = sub_type;
  record.param_type = param_type;
  record.channel = camera.id + 1;
  if (detail_action != 0) {
    CameraLogDetail detail{};
    detail.action = detail_action;
    copy_field_text(detail.ip_addr, sizeof detail.ip_addr, camera.ip_addr);
    detail.manage_port = camera.manage_port;
    detail.channel = camera.id + 1;
    copy_text_field(detail.protocol, protocol_log_name(camera.cam_protocol));
    copy_text_field(detail.transport, camera.transmit_protocol == 0 ? "UDP" : "TCP");
    detail.sync_time = static_cast<uint8_t>(camera.sync_time);
    zvfs_log_pack_detail(&record, kCameraLogDetailKind, &detail, sizeof detail);
  }
  op_log_send(record);
}

// ---- Channel names ------------------------------------------------------------------------------

// The display name (OSD name) of every channel 0..63, read in one pass; "" where a channel has no
// OSD record.
using ChannelNames = std::array<std::array<char, kOsdNameSize>, kMaxChannels>;
ChannelNames channel_names() {
  ChannelNames names{};
  zvdb::scan_records(kZvdbPath, zvdb::kOsdTable, {}, [&names](const void* data, const zvdb::Key& key) {
    if (key.a < 0 || key.a >= kMaxChannels) return true;
    OsdRecord osd;
    std::memcpy(&osd, data, sizeof osd);
    copy_field_text(names[key.a].data(), kOsdNameSize, osd.cam_name);
    return true;
  });
  return names;
}
// The name of `channel`; "" outside 0..63.
const char* name_of(const ChannelNames& names, int32_t channel) {
  return channel >= 0 && channel < kMaxChannels ? names[channel].data() : "";
}

// ---- Stored records (inside the request's SettingsWrite) --------------------------------------

// The stored camera of `channel`; a missing row reads as an empty record of that channel.
CameraRecord stored_camera(int32_t channel) {
  CameraRecord camera{};
  read_camera(kZvdbPath, &camera, channel);
  camera.id = channel;
  return camera;
}

// Stores a new OSD name for `channel`. Channel 64 has no OSD record: its name is not kept.
int store_osd_name(int32_t channel, const char* name) {
  if (channel < 0 || channel >= kMaxChannels) return 0;
  OsdRecord osd{};
  kOsds.read(kZvdbPath, &osd, zvdb::Key{channel});
  osd.cam_id = channel;
  std::memset(osd.cam_name, 0, sizeof osd.cam_name);
  copy_text_field(osd.cam_name, name);
  return kOsds.write(kZvdbPath, &osd);
}

// Reads the members of `form` the request carries (already checked) over the stored camera of
// `channel` in one settings write (a member it leaves out keeps its stored value), then tells the
// core and logs the edit. False when the write failed (nothing was sent).
bool update_camera(const zvrec::Schema& form, json_object* request, int32_t channel) {
  CameraRecord camera{};
  {
    SettingsWrite write;
    camera = stored_camera(channel);
    read_record_update(request, form, &camera);
    write.check(write_camera(kZvdbPath, &camera));
    if (!write.commit()) return false;
  }
  core_tell(kCameraChanged, camera.id);
  log_camera_change(kLogSubEdit, kLogParamEdit, camera, kDetailEdit);
  return true;
}

// "/2017", "/2031": the members of `form` for the channel it names.
void set_camera_members(const char* argument, const zvrec::Schema& form) {
  JsonPtr request = parse_request(argument);
  CameraRecord in{};
  if (!request || !read_record(request.get(), form, &in)) return;
  if (!update_camera(form, request.get(), in.id)) return (void)reply_cgi_error(REPLY_TEXT);
  reply_ok();
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
  const bool add = change == CameraChange::kAdd;
  CameraRecord& in = r.in;
  if (!read_json_members(request, {text_member("name", r.name).required(),
                                   int_member(add ? "otherPoe" : "type", add ? &r.other_poe : &r.type)}) ||
      !read_record(request, kCameraForm.schema(), &in) || !read_record(request, kLoginForm.schema(), &in) ||
      (in.cam_protocol != kCameraProtocolNoAddr && !read_record(request, kAddressForm.schema(), &in)) ||
      (in.cam_protocol == kCameraProtocolRtsp && !read_record(request, kRtspForm.schema(), &in)) ||
      (add && !read_record(request, kPoeForm.schema(), &in))) {
    return false;
  }
  *out = r;
  return true;
}

// Puts the request's members into the stored record: the login only on an add or an edit of
// type 0, the RTSP fields only for the RTSP protocol, the PoE fields only on an add. An edit
// takes only the members it carries (checked already): the others keep their stored values.
void apply_camera_request(json_object* request, const CameraRequest& r, CameraChange change,
                          CameraRecord* camera) {
  if (change == CameraChange::kEdit) {
    read_record_update(request, kCameraForm.schema(), camera);
    if (r.type == 0) read_record_update(request, kLoginForm.schema(), camera);
    if (r.in.cam_protocol == kCameraProtocolRtsp) read_record_update(request, kRtspForm.schema(), camera);
    return;
  }
  zvrec::copy_fields(kCameraForm.schema(), &r.in, camera);
  if (change == CameraChange::kAdd || r.type == 0) zvrec::copy_fields(kLoginForm.schema(), &r.in, camera);
  if (r.in.cam_protocol == kCameraProtocolRtsp) zvrec::copy_fields(kRtspForm.schema(), &r.in, camera);
  if (change == CameraChange::kAdd) {
    zvrec::copy_fields(kPoeForm.schema(), &r.in, camera);
    // An absent MAC address reads as "(null)"; the record keeps an empty text instead.
    if (field_text(camera->mac_addr) == "(null)") std::memset(camera->mac_addr, 0, sizeof camera->mac_addr);
  }
}

void change_camera(const char* argument, CameraChange change) {
  JsonPtr request = parse_request(argument);
  CameraRequest r;
  if (!request || !read_camera_request(request.get(), change, &r)) return;
  const int32_t channel = r.in.id;
  CameraRecord camera{};
  {
    SettingsWrite write;
    camera = stored_camera(channel);
    write.check(store_osd_name(channel, r.name));
    apply_camera_request(request.get(), r, change, &camera);
    write.check(write_camera(kZvdbPath, &camera));
    if (!write.commit()) return (void)reply_cgi_error(REPLY_TEXT);
  }
  if (change == CameraChange::kAdd) {
    core_tell(kCameraAdded, channel);
    core_tell(kCameraPoe, CameraPoe{channel, r.other_poe == 1 ? 1 : 0});
    log_camera_change(kLogSubAdd, kLogParamAdd, camera, kDetailAdd);
  } else {
    core_tell(kCameraChanged, channel);
    log_camera_change(kLogSubEdit, kLogParamEdit, camera, kDetailEdit);
  }
  reply_ok();
}

}  // namespace

// ---- Handlers -----------------------------------------------------------------------------------

static void camera_read_handler(const char* argument) {
  int32_t channel = -1;
  if (!channel_request(argument, "chnid", kPagedChannelMax, &channel, REPLY_JSON)) return;
  CameraRecord camera{};
  camera.id = channel;
  read_camera(kZvdbPath, &camera, channel);
  char name[kOsdNameSize];
  read_osd_name(kZvdbPath, channel, name, sizeof name);
  IpcModelRecord model{};
  read_ipc_model(kZvdbPath, &model, camera.cam_protocol);
  JsonWriter w(2048);
  w.begin_object().key("id").value(camera.id).key("name").field(name);
  write_fields(w, kReadHead.schema(), &camera);
  w.key("protocol").value(model.protocol);
  write_fields(w, kReadTail.schema(), &camera);
  reply_json(w.end_object());
}

static void camera_status_handler(const char* /*argument*/) {
  const auto status = core_ask(kCameraStatus, REPLY_JSON);
  if (!status) return;
  const PayloadReader payload = status->reader();
  const ChannelNames names = channel_names();
  const size_t count = payload.record_count<CameraStatusRecord>();
  const zvrec::Schema fields = kStatusReply.schema();
  // A camera prints about 400 bytes with short texts, more with long ones.
  JsonWriter w(256 + count * 640);
  w.begin_object().key("IPC").begin_array();
  for (size_t i = 0; i < count; ++i) {
    CameraStatusRecord s;
    if (!payload.record(i, &s)) continue;
    w.begin_object().key("id").value(s.id).key("enable").value(1).key("name").value(name_of(names, s.id));
    write_fields(w, fields, &s);
    w.end_object();
  }
  w.end_array().key("maxIPCNums").value(get_param_int(kZvdbPath, "max_cameras", 32));
  reply_json(w.end_object());
}

static void camera_edit_handler(const char* argument) { change_camera(argument, CameraChange::kEdit); }

static void camera_add_handler(const char* argument) { change_camera(argument, CameraChange::kAdd); }

static void camera_delete_handler(const char* argument) {
  int32_t channel = -1;
  if (!channel_request(argument, "chnid", kPagedChannelMax, &channel, REPLY_JSON)) return;
  CameraRecord cleared{};
  {
    SettingsWrite write;
    // The channel's privacy masks are switched off and their areas cleared; each area keeps its
    // id and picture size. A channel without stored masks gets no mask row.
    PrivacyMaskEntry masks{};
    if (kPrivacyMasks.read(kZvdbPath, &masks, zvdb::Key{channel}) == 0 && masks.id == channel) {
      for (PrivacyMaskArea& area : masks.areas) {
        area.enable = 0;
        area.start_x = 0;
        area.start_y = 0;
        area.area_width = 0;
        area.area_height = 0;
      }
      write.check(kPrivacyMasks.write(kZvdbPath, &masks));
    }
    cleared.id = channel;
    cleared.state = 1;
    cleared.kept_word = stored_camera(channel).kept_word;
    write.check(write_camera(kZvdbPath, &cleared));
    char name[16];
    std::snprintf(name, sizeof name, "CAM%d", static_cast<int>(channel) + 1);
    write.check(store_osd_name(channel, name));
    if (!write.commit()) return (void)reply_cgi_error(REPLY_TEXT);
  }
  core_tell(kCameraDeleted, channel);
  core_tell(kCameraPoe, CameraPoe{channel, 0});
  log_camera_change(kLogSubDelete, kLogParamDelete, cleared, 0);
  reply_ok();
}

static void camera_protocols_handler(const char* /*argument*/) {
  IpcProtocolRecord* raw = nullptr;
  int count = 0;
  if (read_ipc_protocols(kZvdbPath, &raw, &count) != 0) count = 0;
  const auto release = [](IpcProtocolRecord* array) { release_ipc_protocol(&array); };
  const std::unique_ptr<IpcProtocolRecord, decltype(release)> protocols(raw, release);
  if (protocols == nullptr) count = 0;
  // The recorder's own protocol (id 2) never offers its model list: a stored 1 is reset, on the
  // row as it stands inside the write (a request may have stored it since the list was read).
  for (int i = 0; i < count; ++i) {
    IpcProtocolRecord& p = protocols.get()[i];
    if (p.id != 2 || p.display_model != 1) continue;
    SettingsWrite write;
    IpcProtocolRecord row{};
    if (zvdb::read_record(kZvdbPath, zvdb::kIpcProtocolTable, &row, zvdb::Key{.a = 2}) != 0) continue;
    p = row;
    if (p.display_model != 1) continue;
    p.display_model = 0;
    write.check(write_ipc_protocol(kZvdbPath, &p));
    if (!write.commit()) return (void)reply_cgi_error(REPLY_JSON);
  }
  JsonWriter w(4096);
  w.begin_object().key("protocols").begin_array();
  for (int i = 0; i < count; ++i) {
    w.begin_object();
    write_fields(w, protocols.get()[i]);
    w.key("models").begin_array();
    IpcModelRecord* list = nullptr;
    int models = 0;
    if (read_ipc_models_by_protocol(kZvdbPath, &list, protocols.get()[i].id, &models) != 0) models = 0;
    const std::unique_ptr<IpcModelRecord, void (*)(IpcModelRecord*)> owned(list, ipc_destroy);
    for (int m = 0; owned != nullptr && m < models; ++m) write_object(w, owned.get()[m]);
    w.end_array().end_object();
  }
  reply_json(w.end_array().end_object());
}

static void camera_names_handler(const char* /*argument*/) {
  const ChannelNames names = channel_names();
  const int channels = std::clamp(get_param_int(kZvdbPath, "max_cameras", 32), 0, kMaxChannels);
  JsonWriter w(64 + 40 * static_cast<size_t>(channels));
  w.begin_object().key("IPC").begin_array();
  for (int i = 0; i < channels; ++i) {
    w.begin_object().key("id").value(i).key("name").value(names[i].data()).end_object();
  }
  reply_json(w.end_array().end_object());
}

static void poe_password_handler(const char* /*argument*/) {
  char password[64];
  get_param_value(kZvdbPath, "poepsd", password, sizeof password, kDefaultPoePassword);
  reply_text(password);
}

static void camera_login_set_handler(const char* argument) {
  set_camera_members(argument, kLoginSetForm.schema());
}

static void poe_port_count_handler(const char* /*argument*/) {
  char text[16];
  std::snprintf(text, sizeof text, "%d", get_param_int(kZvdbPath, "max_poe_num", 0));
  reply_text(text);
}

static void camera_transport_set_handler(const char* argument) {
  set_camera_members(argument, kTransportSetForm.schema());
}

ZV_REQUESTS(kCameraListRequests, "camera",
    {"/2000", camera_read_handler},
    {"/2001", camera_status_handler},
    {"/2003", camera_edit_handler},
    {"/2004", camera_add_handler},
    {"/2005", camera_delete_handler},
    {"/2007", camera_status_handler},
    {"/2008", camera_protocols_handler},
    {"/2012", camera_names_handler},
    {"/2016", poe_password_handler},
    {"/2017", camera_login_set_handler},
    {"/2018", poe_port_count_handler},
    {"/2031", camera_transport_set_handler});
