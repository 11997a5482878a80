// Users and permissions: list, add, edit, delete, and the notices that tell the core the user
// table changed (message 3505).
#include <json-c/json.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "common/core_client.h"
#include "common/oplog.h"
#include "common/reply.h"
#include "common/web_utils.h"
#include "handlers/system/json_members.h"
#include "handlers/system/system_module.h"
#include "handlers/system/user_json.h"
#include "platform/zvdb/zvdb.h"

namespace {

constexpr int32_t kMsgUsersChanged = 3505;
constexpr size_t kUserNameMax = 32;     // names keep at most 31 characters
constexpr size_t kPasswordMax = 33;     // the 32-character digest


struct JsonDeleter {
  void operator()(json_object* object) const { json_object_put(object); }
};
using JsonPtr = std::unique_ptr<json_object, JsonDeleter>;

bool valid_permission(int value) { return value >= 0 || value == -1; }
bool valid_type(int value) { return value >= 0 && value <= 3; }

uint32_t channel_mask(const char* text) {
  uint32_t mask = 0;
  for (size_t i = 0; text[i] != '\0' && i < 32; ++i) {
    if (text[i] == '1') mask |= 1u << i;
  }
  return mask;
}

// Takes the channel strings present in the request; the add path also builds their masks.
void take_channel_strings(json_object* request, UserRecord& user, bool rebuild_masks) {
  struct {
    const char* key;
    char* text;
    uint32_t* mask;
  } fields[] = {
      {"localliveview", user.local_liveview, &user.local_liveview_mask},
      {"localplayback", user.local_playback, &user.local_playback_mask},
      {"remoteliveview", user.remote_liveview, &user.remote_liveview_mask},
      {"remoteplayback", user.remote_playback, &user.remote_playback_mask},
  };
  for (auto& field : fields) {
    json_member_text(request, field.key, field.text, sizeof user.local_liveview);
    if (rebuild_masks) *field.mask = channel_mask(field.text);
  }
}

void take_rights(json_object* request, UserRecord& user) {
  for (int i = 0; i < kUserRightsCount; ++i) {
    json_member_int(request, kLocalRightKeys[i], &user.local_rights[i]);
    json_member_int(request, kRemoteRightKeys[i], &user.remote_rights[i]);
  }
}

void notify_users_changed(const int32_t* id) {
  if (id != nullptr) {
    core_notify(kMsgUsersChanged, sizeof *id, id);
  } else {
    core_notify(kMsgUsersChanged, 0, nullptr);
  }
}

void log_user_change(int64_t sub_type, int32_t param_type) {
  OpLogRecord record;
  op_log_init(&record);
  record.sub_type = sub_type;
  record.param_type = param_type;
  op_log_send(record);
}

json_object* user_to_json(const UserRecord& user) {
  json_object* o = json_object_new_object();
  auto add_int = [o](const char* key, int value) { json_object_object_add(o, key, json_object_new_int(value)); };
  auto add_text = [o](const char* key, const char* value) {
    json_object_object_add(o, key, json_object_new_string(value));
  };
  add_int("id", user.id);
  add_int("enable", user.enable);
  add_text("name", user.name);
  add_text("password", user.password);
  add_int("type", user.type);
  add_int("permission", user.permission);
  for (int i = 0; i < kUserRightsCount; ++i) add_int(kLocalRightKeys[i], user.local_rights[i]);
  add_text("localliveview", user.local_liveview);
  add_text("localplayback", user.local_playback);
  add_int("remotePermission", user.remote_permission);
  for (int i = 0; i < kUserRightsCount; ++i) add_int(kRemoteRightKeys[i], user.remote_rights[i]);
  add_text("remoteliveview", user.remote_liveview);
  add_text("remoteplayback", user.remote_playback);
  return o;
}

}  // namespace

void user_list_handler(const char* /*argument*/) {
  std::vector<UserRecord> users(kMaxUsers);
  int count = kMaxUsers;
  if (read_users(kZvdbPath, users.data(), &count) != 0) count = 0;
  JsonPtr list(json_object_new_array());
  for (int i = 0; i < count && i < kMaxUsers; ++i) {
    if (users[i].enable != 0) json_object_array_add(list.get(), user_to_json(users[i]));
  }
  write_reply(REPLY_JSON, json_object_to_json_string(list.get()));
}

namespace {

// The part of an add that runs under the lock file: the count check, the name check and the add,
// so two concurrent adds can neither both pass the count nor both take the same name. Returns
// the reply text, or "" when the request is refused without a reply.
std::string add_user_locked(const char* argument, int32_t* new_id) {
  LockFile lock(kCgiLockFile);
  if (read_user_count(kZvdbPath) >= kMaxUsers) return "FAILED_FULL";
  JsonPtr request(parse_json_text(argument));
  if (request == nullptr) return "";

  int type = 0, permission = 0, remote_permission = 0;
  if (!json_member_int(request.get(), "type", &type) || !valid_type(type)) return "";
  if (!json_member_int(request.get(), "permission", &permission) || !valid_permission(permission)) {
    return "";
  }
  if (!json_member_int(request.get(), "remotePermission", &remote_permission) ||
      !valid_permission(remote_permission)) {
    return "";
  }
  // A user needs a name and a password; an absent member would otherwise be stored as "(null)".
  char name[kUserNameMax] = "";
  char password[kPasswordMax] = "";
  if (!json_member_text(request.get(), "name", name, sizeof name) || name[0] == '\0') return "";
  if (!json_member_text(request.get(), "password", password, sizeof password)) return "";

  UserRecord existing{};
  existing.id = -1;
  read_user_by_name(kZvdbPath, &existing, name);
  if (existing.id != -1) return "SAMEUSER";

  UserRecord user{};
  user.enable = 1;
  copy_field(user.name, sizeof user.name, name);
  copy_field(user.password, sizeof user.password, password);
  user.type = type;
  user.permission = permission;
  user.remote_permission = remote_permission;
  copy_field(user.local_liveview, sizeof user.local_liveview, "(null)");
  copy_field(user.local_playback, sizeof user.local_playback, "(null)");
  copy_field(user.remote_liveview, sizeof user.remote_liveview, "(null)");
  copy_field(user.remote_playback, sizeof user.remote_playback, "(null)");
  take_channel_strings(request.get(), user, true);
  take_rights(request.get(), user);
  copy_field(user.added_flag, sizeof user.added_flag, "0");

  if (add_user(kZvdbPath, &user) != 0) return "FAILED_FULL";
  *new_id = user.id;
  char reply[32];
  snprintf(reply, sizeof reply, "%s%d", "id=", user.id);
  return reply;
}

// The part of an edit that runs under the lock file. Returns the reply text, or "" when the
// request is refused without a reply.
std::string edit_user_locked(json_object* request, int id, bool has_type, int type) {
  LockFile lock(kCgiLockFile);
  UserRecord user{};
  if (read_user(kZvdbPath, &user, id) != 0 || user.enable != 1) return "";  // only existing users
  user.id = id;
  user.enable = 1;

  char name[kUserNameMax];
  if (json_member_text(request, "name", name, sizeof name)) {
    UserRecord other{};
    other.id = -1;
    if (read_user_by_name(kZvdbPath, &other, name) == 0 && other.id != id) return "SAMEUSER";
    copy_field(user.name, sizeof user.name, name);
  }
  char password[kPasswordMax];
  if (json_member_text(request, "password", password, sizeof password)) {
    copy_field(user.password, sizeof user.password, password);
  }
  if (has_type) user.type = type;
  take_rights(request, user);
  take_channel_strings(request, user, false);
  write_user(kZvdbPath, &user);
  return "OK";
}

}  // namespace

void user_add_handler(const char* argument) {
  int32_t id = -1;
  const std::string reply = add_user_locked(argument, &id);
  if (reply.empty()) return;
  if (id >= 0) {
    notify_users_changed(nullptr);
    log_user_change(204, 921);
  }
  write_reply(REPLY_TEXT, reply.c_str());
}

void user_edit_handler(const char* argument) {
  JsonPtr request(parse_json_text(argument));
  if (request == nullptr) return;
  int id = -1;
  if (!json_member_int(request.get(), "id", &id) || id < 0 || id >= kMaxUsers) return;
  int type = 0;
  const bool has_type = json_member_int(request.get(), "type", &type);
  if (has_type && !valid_type(type)) return;

  const std::string reply = edit_user_locked(request.get(), id, has_type, type);
  if (reply.empty()) return;
  if (reply == "OK") {
    const int32_t changed = id;
    notify_users_changed(&changed);
  }
  write_reply(REPLY_TEXT, reply.c_str());
}

void user_delete_handler(const char* argument) {
  JsonPtr request(parse_json_text(argument));
  if (request == nullptr) return;
  int id = -1, type = -1;
  if (!json_member_int(request.get(), "id", &id) || id < 0 || id >= kMaxUsers) return;
  if (!json_member_int(request.get(), "type", &type) || !valid_type(type)) return;

  UserRecord user{};
  user.id = id;
  user.enable = 0;
  write_user(kZvdbPath, &user);
  const int32_t changed = id;
  notify_users_changed(&changed);
  log_user_change(204, 922);
  write_reply(REPLY_TEXT, "OK");
}

void users_changed_handler(const char* /*argument*/) {
  notify_users_changed(nullptr);
  write_reply(REPLY_TEXT, "OK");
}

void permission_update_handler(const char* /*argument*/) {
  if (check_param_key(kZvdbPath, "permission_update") != 0) {
    add_param_value(kZvdbPath, "permission_update", "0");
  } else {
    set_param_value(kZvdbPath, "permission_update", "0");
  }
  write_reply(REPLY_TEXT, "OK");
}
