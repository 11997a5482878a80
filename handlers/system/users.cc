// Users and permissions: list, add, edit, delete, and the notices that tell the core the user
// table changed (message 3505).
#include <json-c/json.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "common/core_client.h"
#include "common/json_fields.h"
#include "common/json_writer.h"
#include "common/oplog.h"
#include "common/reply.h"
#include "common/web_utils.h"
#include "handlers/system/system_module.h"
#include "handlers/system/user_json.h"
#include "platform/zvdb/zvdb.h"

namespace {

constexpr int32_t kMsgUsersChanged = 3505;
constexpr size_t kUserNameMax = 32;  // names keep at most 31 characters
constexpr size_t kPasswordMax = 33;  // the 32-character digest

struct JsonDeleter {
  void operator()(json_object* object) const { json_object_put(object); }
};
using JsonPtr = std::unique_ptr<json_object, JsonDeleter>;

uint32_t channel_mask(const char* text) {
  uint32_t mask = 0;
  for (size_t i = 0; text[i] != '\0' && i < 32; ++i) {
    if (text[i] == '1') mask |= 1u << i;
  }
  return mask;
}

// The members a user request may carry besides id, name, password and the permissions: the twenty
// rights and the four channel strings. `keep` leaves absent members as stored (edit); otherwise
// absent rights become 0 and absent strings "(null)" (add).
void append_rights_and_channels(std::vector<JsonMember>& members, UserRecord& user, bool keep) {
  for (int i = 0; i < kUserRightsCount; ++i) {
    JsonMember local = int_member(kLocalRightKeys[i], &user.local_rights[i]);
    JsonMember remote = int_member(kRemoteRightKeys[i], &user.remote_rights[i]);
    members.push_back(keep ? local.keep_if_absent() : local);
    members.push_back(keep ? remote.keep_if_absent() : remote);
  }
  for (auto [key, field] : {std::pair{"localliveview", user.local_liveview},
                            std::pair{"localplayback", user.local_playback},
                            std::pair{"remoteliveview", user.remote_liveview},
                            std::pair{"remoteplayback", user.remote_playback}}) {
    JsonMember m = text_member(key, field, sizeof user.local_liveview);
    members.push_back(keep ? m.keep_if_absent() : m);
  }
}

void notify_users_changed(const int32_t* id) {
  core_notify(kMsgUsersChanged, id != nullptr ? sizeof *id : 0, id);
}

void log_user_change(int64_t sub_type, int32_t param_type) {
  OpLogRecord record;
  op_log_init(&record);
  record.sub_type = sub_type;
  record.param_type = param_type;
  op_log_send(record);
}

// One user of the "/6070" list, as an element of the writer's open array.
void write_user_json(JsonWriter& w, const UserRecord& user) {
  w.begin_object();
  w.key("id").value(user.id);
  w.key("enable").value(user.enable);
  w.key("name").field(user.name);
  w.key("password").field(user.password);
  w.key("type").value(user.type);
  write_user_rights(w, user, "remotePermission");
  w.end_object();
}

// The part of an add that runs under the lock file: the count check, the name check and the add,
// so two concurrent adds can neither both pass the count nor both take the same name. Returns
// the reply text, or "" when the request is refused without a reply.
std::string add_user_locked(const char* argument, int32_t* new_id) {
  LockFile lock(kCgiLockFile);
  if (read_user_count(kZvdbPath) >= kMaxUsers) return "FAILED_FULL";
  JsonPtr request(parse_json_text(argument));
  if (request == nullptr) return "";

  UserRecord user{};
  char name[kUserNameMax] = "";
  // A user needs a name and a password: an absent member would otherwise be stored as "(null)".
  std::vector<JsonMember> members = {
      int_member("type", &user.type).required().range(0, 3),
      int_member("permission", &user.permission).required().min(-1),
      int_member("remotePermission", &user.remote_permission).required().min(-1),
      text_member("name", name).required(),
      text_member("password", user.password, kPasswordMax).required(),
  };
  append_rights_and_channels(members, user, false);
  if (!read_json_members(request.get(), members) || name[0] == '\0') return "";

  UserRecord existing{};
  existing.id = -1;
  read_user_by_name(kZvdbPath, &existing, name);
  if (existing.id != -1) return "SAMEUSER";

  user.enable = 1;
  copy_text_field(user.name, name);
  user.local_liveview_mask = channel_mask(user.local_liveview);
  user.local_playback_mask = channel_mask(user.local_playback);
  user.remote_liveview_mask = channel_mask(user.remote_liveview);
  user.remote_playback_mask = channel_mask(user.remote_playback);
  copy_text_field(user.added_flag, "0");
  if (add_user(kZvdbPath, &user) != 0) return "FAILED_FULL";
  *new_id = user.id;
  char reply[32];
  snprintf(reply, sizeof reply, "%s%d", "id=", user.id);
  return reply;
}

// The part of an edit that runs under the lock file. Returns the reply text, or "" when the
// request is refused without a reply.
std::string edit_user_locked(json_object* request, int32_t id) {
  LockFile lock(kCgiLockFile);
  UserRecord user{};
  if (read_user(kZvdbPath, &user, id) != 0 || user.enable != 1) return "";  // only existing users
  user.id = id;
  user.enable = 1;

  // Permissions and masks keep their stored values; everything else is taken when present.
  char name[kUserNameMax] = "";
  bool has_name = false;
  std::vector<JsonMember> members = {
      text_member("name", name).keep_if_absent().present(&has_name),
      text_member("password", user.password, kPasswordMax).keep_if_absent(),
      int_member("type", &user.type).keep_if_absent().range(0, 3),
  };
  append_rights_and_channels(members, user, true);
  if (!read_json_members(request, members)) return "";
  if (has_name) {
    UserRecord other{};
    other.id = -1;
    if (read_user_by_name(kZvdbPath, &other, name) == 0 && other.id != id) return "SAMEUSER";
    copy_text_field(user.name, name);
  }
  write_user(kZvdbPath, &user);
  return "OK";
}

}  // namespace

void user_list_handler(const char* /*argument*/) {
  // Not zero-filled: only the `count` records read are used, and the pages of the others are
  // then never touched.
  const auto users = std::make_unique_for_overwrite<UserRecord[]>(kMaxUsers);
  int count = kMaxUsers;
  if (read_users(kZvdbPath, users.get(), &count) != 0) count = 0;
  count = std::clamp(count, 0, kMaxUsers);
  const auto listed = std::count_if(users.get(), users.get() + count,
                                    [](const UserRecord& u) { return u.enable != 0; });
  // A user prints about 1 KiB (four 64-character channel texts and twenty rights).
  JsonWriter w(16 + static_cast<size_t>(listed) * 1152);
  w.begin_array();
  for (int i = 0; i < count; ++i) {
    if (users[i].enable != 0) write_user_json(w, users[i]);
  }
  w.end_array();
  write_reply(REPLY_JSON, w.c_str());
}

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
  // The id must name a stored user: a missing id would edit user 0, one of 100 or more would add
  // rows beyond the table. A type, when given, must be 0..3.
  int32_t id = -1, type = 0;
  if (!read_json_members(request.get(), {int_member("id", &id).required().range(0, kMaxUsers - 1),
                                         int_member("type", &type).range(0, 3)})) {
    return;
  }
  const std::string reply = edit_user_locked(request.get(), id);
  if (reply.empty()) return;
  if (reply == "OK") notify_users_changed(&id);
  write_reply(REPLY_TEXT, reply.c_str());
}

void user_delete_handler(const char* argument) {
  JsonPtr request(parse_json_text(argument));
  if (request == nullptr) return;
  int32_t id = -1, type = -1;
  if (!read_json_members(request.get(), {int_member("id", &id).required().range(0, kMaxUsers - 1),
                                         int_member("type", &type).required().range(0, 3)})) {
    return;
  }
  UserRecord user{};
  user.id = id;
  user.enable = 0;
  write_user(kZvdbPath, &user);
  notify_users_changed(&id);
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
