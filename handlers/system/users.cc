// Users and permissions: list, add, edit, delete, and the notices that tell the core the user
// table changed (message 3505).
#include <json-c/json.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "common/exchange.h"
#include "common/json_writer.h"
#include "common/oplog.h"
#include "common/record_json.h"
#include "common/reply.h"
#include "common/request.h"
#include "common/messages/system.h"
#include "common/request_table.h"
#include "handlers/system/user_json.h"
#include "platform/zvdb/zvdb.h"

namespace {

constexpr uint32_t kUserNameChars = 31;  // names keep at most 31 characters
constexpr uint32_t kPasswordChars = 32;  // the 32-character digest
constexpr int kMaskChannels = 32;        // the binary masks cover channels 0..31

// One user of the "/6070" list.
constexpr auto kUserListForm = ZV_FIELDS(
    UserRecord, ZV_FIELD(id, "id"), ZV_FIELD(enable, "enable"), ZV_FIELD(name, "name"),
    ZV_FIELD(password, "password"), ZV_FIELD(type, "type"), ZV_FIELD(permission, "permission"),
    ZV_USER_RIGHTS(local), ZV_FIELD(local_liveview, "localliveview"),
    ZV_FIELD(local_playback, "localplayback"), ZV_FIELD(remote_permission, "remotePermission"),
    ZV_USER_RIGHTS(remote), ZV_FIELD(remote_liveview, "remoteliveview"),
    ZV_FIELD(remote_playback, "remoteplayback"));

// "/6071": a user needs a name, a password, a type and both permissions (an absent text would
// otherwise be stored as "(null)"); absent rights become 0 and absent channel texts "(null)".
constexpr auto kUserAddForm = ZV_FIELDS(
    UserRecord, ZV_FIELD(type, "type").required().range(0, 3),
    ZV_FIELD(permission, "permission").required().at_least(-1),
    ZV_FIELD(remote_permission, "remotePermission").required().at_least(-1),
    ZV_FIELD(name, "name").required().chars(kUserNameChars).whole(),
    ZV_FIELD(password, "password").required().chars(kPasswordChars),
    ZV_USER_RIGHTS(local), ZV_USER_RIGHTS(remote),
    ZV_FIELD(local_liveview, "localliveview"), ZV_FIELD(local_playback, "localplayback"),
    ZV_FIELD(remote_liveview, "remoteliveview"), ZV_FIELD(remote_playback, "remoteplayback"));

// "/6072": the id must name a stored user (a missing id would edit user 0, one of 100 or more
// would add rows beyond the table). Permissions keep their stored values; everything else is
// taken when present, and the masks follow the channel strings.
constexpr auto kUserEditForm = ZV_FIELDS(
    UserRecord, ZV_FIELD(id, "id").required().range(0, kMaxUsers - 1),
    ZV_FIELD(name, "name").keep_if_absent().chars(kUserNameChars).whole(),
    ZV_FIELD(password, "password").keep_if_absent().chars(kPasswordChars),
    ZV_FIELD(type, "type").keep_if_absent().range(0, 3),
    ZV_USER_RIGHTS(local, .keep_if_absent()), ZV_USER_RIGHTS(remote, .keep_if_absent()),
    ZV_FIELD(local_liveview, "localliveview").keep_if_absent(),
    ZV_FIELD(local_playback, "localplayback").keep_if_absent(),
    ZV_FIELD(remote_liveview, "remoteliveview").keep_if_absent(),
    ZV_FIELD(remote_playback, "remoteplayback").keep_if_absent());

// "/6073": the id and the type the page shows.
constexpr auto kUserDeleteForm =
    ZV_FIELDS(UserRecord, ZV_FIELD(id, "id").required().range(0, kMaxUsers - 1),
              ZV_FIELD(type, "type").required().range(0, 3));

// The four channel masks from their channel strings (character i == '1' sets bit i, i < 32): an
// edit that changes a string changes its mask too, so a channel taken away is no longer granted.
void derive_masks(UserRecord& user) {
  user.local_liveview_mask = static_cast<uint32_t>(mask_of_text(user.local_liveview, kMaskChannels));
  user.local_playback_mask = static_cast<uint32_t>(mask_of_text(user.local_playback, kMaskChannels));
  user.remote_liveview_mask = static_cast<uint32_t>(mask_of_text(user.remote_liveview, kMaskChannels));
  user.remote_playback_mask = static_cast<uint32_t>(mask_of_text(user.remote_playback, kMaskChannels));
}

// True when the request carries `key` as a text: an edit that renames, or sets a password.
bool carries_text(json_object* request, const char* key) {
  json_object* member = nullptr;
  return json_object_object_get_ex(request, key, &member) && json_object_is_type(member, json_type_string);
}

// The id of the stored user called `name`, or -1 when there is none.
int32_t user_id_named(const char* name) {
  UserRecord user{};
  user.id = -1;
  return read_user_by_name(kZvdbPath, &user, name) == 0 ? user.id : -1;
}

// True when user `id` is the only enabled administrator (type 0): deleting it would leave nobody
// who can manage the device.
bool last_administrator(int32_t id) {
  UserRecord user{};
  if (read_user(kZvdbPath, &user, id) != 0 || user.enable == 0 || user.type != 0) return false;
  const auto users = std::make_unique<UserRecord[]>(kMaxUsers);
  int count = kMaxUsers;
  if (read_users(kZvdbPath, users.get(), &count) != 0) return true;  // unknown: keep the user
  count = std::clamp(count, 0, kMaxUsers);
  return std::count_if(users.get(), users.get() + count, [](const UserRecord& u) {
           return u.enable != 0 && u.type == 0;
         }) <= 1;
}

}  // namespace

static void user_list_handler(const char* /*argument*/) {
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
    if (users[i].enable != 0) write_object(w, kUserListForm.schema(), &users[i]);
  }
  w.end_array();
  reply_json(w);
}

static void user_add_handler(const char* argument) {
  UserRecord user{};
  {
    // The count check, the name check and the add in one write scope, so two concurrent adds can
    // neither both pass the count nor both take the same name.
    SettingsWrite write;
    if (read_user_count(kZvdbPath) >= kMaxUsers) return reply_text("FAILED_FULL");
    JsonPtr request = parse_request(argument);
    if (!request || !read_record(request.get(), kUserAddForm.schema(), &user)) return;
    // An empty password never matches at login: such a user could never sign in.
    if (user.name[0] == '\0' || user.password[0] == '\0') return;

    if (user_id_named(user.name) != -1) return reply_text("SAMEUSER");

    user.enable = 1;
    derive_masks(user);
    std::memcpy(user.added_flag, "0", 2);
    if (!write.check(add_user(kZvdbPath, &user))) return reply_text("FAILED_FULL");
    if (!write.commit()) return (void)reply_cgi_error(REPLY_TEXT);
  }
  core_tell_bare(kUsersChanged);
  op_log_change(204, 921);
  char reply[32];
  snprintf(reply, sizeof reply, "id=%d", static_cast<int>(user.id));
  reply_text(reply);
}

static void user_edit_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  UserRecord checked{};
  if (!request || !read_record(request.get(), kUserEditForm.schema(), &checked)) return;
  const int32_t id = checked.id;
  const bool renames = carries_text(request.get(), "name");
  if (renames && checked.name[0] == '\0') return;  // a user keeps a name, as the add requires
  // An empty password would lock the user out (it never matches at login); for the only
  // administrator that locks everyone out.
  if (carries_text(request.get(), "password") && checked.password[0] == '\0') return;
  {
    SettingsWrite write;
    UserRecord user{};
    if (read_user(kZvdbPath, &user, id) != 0 || user.enable != 1) return;  // only existing users
    const bool was_administrator = user.type == 0;
    if (!read_record(request.get(), kUserEditForm.schema(), &user)) return;
    // Another type for the only administrator would leave nobody who can manage the device, as
    // deleting it would: refused alike.
    if (was_administrator && user.type != 0 && last_administrator(id)) return;
    user.id = id;
    user.enable = 1;
    derive_masks(user);
    const int32_t other = renames ? user_id_named(user.name) : -1;
    if (other != -1 && other != id) return reply_text("SAMEUSER");
    write.check(write_user(kZvdbPath, &user));
    if (!write.commit()) return (void)reply_cgi_error(REPLY_TEXT);
  }
  core_tell(kUsersChanged, id);
  reply_ok();
}

static void user_delete_handler(const char* argument) {
  UserRecord gone{};
  if (!read_request(argument, kUserDeleteForm.schema(), &gone)) return;
  const int32_t id = gone.id;
  {
    SettingsWrite write;
    if (last_administrator(id)) return;  // refused: the device would have no administrator
    gone = UserRecord{};
    gone.id = id;
    write.check(write_user(kZvdbPath, &gone));
    if (!write.commit()) return (void)reply_cgi_error(REPLY_TEXT);
  }
  core_tell(kUsersChanged, id);
  op_log_change(204, 922);
  reply_ok();
}

static void users_changed_handler(const char* /*argument*/) {
  core_tell_bare(kUsersChanged);
  reply_ok();
}

static void permission_update_handler(const char* /*argument*/) {
  {
    SettingsWrite write;
    if (check_param_key(kZvdbPath, "permission_update") != 0) {
      write.check(add_param_value(kZvdbPath, "permission_update", "0"));
    } else {
      write.check(set_param_value(kZvdbPath, "permission_update", "0"));
    }
    if (!write.commit()) return (void)reply_cgi_error(REPLY_TEXT);
  }
  reply_ok();
}

ZV_REQUESTS(kUsersRequests, "system",
    {"/1024", permission_update_handler},
    {"/6070", user_list_handler},
    {"/6071", user_add_handler},
    {"/6072", user_edit_handler},
    {"/6073", user_delete_handler},
    {"/6077", users_changed_handler});
