// Login ("/1000"), the logout log entry ("/1014") and the redirect login decided by the core
// ("/1018").
#include <json-c/json.h>
#include <strings.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <initializer_list>
#include <optional>

#include "common/exchange.h"
#include "common/http_headers.h"
#include "common/json_fields.h"
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

constexpr int kSessionDigits = 32;

// The user's members in the login reply, after "type". The remote permission's key is spelled
// "remotePermisson" here (the list spells it right).
constexpr auto kLoginReplyForm = ZV_FIELDS(
    UserRecord, ZV_FIELD(name, "userName"), ZV_FIELD(permission, "permission"),
    ZV_USER_RIGHTS(local), ZV_FIELD(local_liveview, "localliveview"),
    ZV_FIELD(local_playback, "localplayback"), ZV_FIELD(remote_permission, "remotePermisson"),
    ZV_USER_RIGHTS(remote), ZV_FIELD(remote_liveview, "remoteliveview"),
    ZV_FIELD(remote_playback, "remoteplayback"));

// The certificate directories must exist before anything works with HTTPS certificates.
void ensure_certificate_dirs() {
  for (const char* dir : {"/mnt/nand/ssl", "/mnt/nand/ssl/tmp"}) {
    struct stat st{};
    if (stat(dir, &st) != 0) mkdir(dir, 0755);
  }
}

// The stored digest matches only when both are non-empty and equal without regard to case.
bool digest_matches(const char* stored, const char* given) {
  return stored[0] != '\0' && given[0] != '\0' && strcasecmp(stored, given) == 0;
}

// 32 decimal digits from the C library generator seeded with the current second, so two logins
// in the same second get the same number.
void make_session_id(char (&session)[kSessionDigits + 1]) {
  srand(static_cast<unsigned>(time(nullptr)));
  for (int i = 0; i < kSessionDigits; ++i) session[i] = static_cast<char>('0' + rand() % 10);
  session[kSessionDigits] = '\0';
}

// Texts come from fixed fields (the database's or our own buffers): never read past the field.
void write_login_details(JsonWriter& w, const UserRecord& user) {
  write_fields(w, kLoginReplyForm.schema(), &user);

  char session[kSessionDigits + 1];
  make_session_id(session);
  w.key("sessionId").field(session);
  w.key("failoverMode").value(get_param_int(kZvdbPath, "failover_mode", 0));
  w.key("sameChannel").value(get_param_int(kZvdbPath, "same_channel_exist", 0) == 2 ? 1 : 0);
  char text[64];
  get_param_value(kZvdbPath, "hardware_version", text, 32, "V1.1");
  w.key("hardwareVersion").field(text);
  get_param_value(kZvdbPath, "software_version", text, sizeof text, "7x.7.0.9");
  w.key("softwareVersion").field(text);
  get_param_value(kZvdbPath, "model", text, sizeof text, "");
  w.key("model").field(text);
}

// The cookie domain is the Host header without its port. Bytes that could end or split a
// Set-Cookie header (control characters, ';', ',') are dropped; an IPv6 literal keeps its
// brackets and is cut after the closing ']'.
void cookie_domain(const char* host, char* domain, size_t size) {
  size_t n = 0;
  const bool ipv6 = host[0] == '[';
  for (const char* p = host; *p != '\0' && n + 1 < size; ++p) {
    const auto c = static_cast<unsigned char>(*p);
    if (!ipv6 && c == ':') break;
    if (c < 0x20 || c == 0x7f || c == ';' || c == ',') continue;
    domain[n++] = static_cast<char>(c);
    if (ipv6 && c == ']') break;
  }
  domain[n] = '\0';
}

}  // namespace

static void login_handler(const char* argument) {
  JsonPtr request(parse_json_text(argument));
  if (request == nullptr) return;  // not JSON: no reply
  ensure_certificate_dirs();

  // JSON that is not an object carries no members: it is answered like "{}".
  char user_name[256];
  char md5[33];
  json_object* members = request.get();
  JsonPtr no_members;
  if (!json_object_is_type(members, json_type_object)) {
    no_members.reset(json_object_new_object());
    members = no_members.get();
  }
  if (!read_json_members(members, {text_member("userName", user_name), text_member("md5", md5)})) {
    return;
  }

  UserRecord user{};
  const bool found = read_user_by_name(kZvdbPath, &user, user_name) == 0;
  int type = found && digest_matches(user.password, md5) ? user.type : -1;
  if (user.type == 3) type = -2;

  JsonWriter reply(1024);
  reply.begin_object();
  reply.key("type").value(type);
  if (type != -1 && type != -2) {
    write_login_details(reply, user);
    OpLogRecord record;
    op_log_init(&record);
    record.sub_type = 201;
    record.param_type = 900;
    op_log_set_user(&record, user_name);
    op_log_send(record);
  }
  reply.end_object();
  reply_text(reply.c_str());
}

static void logout_log_handler(const char* /*argument*/) {
  op_log_change(202, 900);
  reply_ok();
}

static void redirect_login_handler(const char* argument) {
  RedirectLoginRequest payload{};
  if (argument != nullptr) copy_text_field(payload.argument, argument);
  const std::optional<CoreReply> reply = core_ask(kRedirectLogin, payload, REPLY_TEXT);
  if (!reply) return;
  int32_t decision = 0;
  reply->first(&decision);
  const char* host = std::getenv("HTTP_HOST");
  char domain[50];
  cookie_domain(host != nullptr ? host : "", domain, sizeof domain);
  if (decision != 0) {
    print_location("../../html/home.html");
  } else {
    // The temporary user's cookies, valid for ten minutes.
    static constexpr const char* kCookies[][2] = {
        {"userName", "temp"}, {"userType", "2"}, {"permission", "0"}, {"sessionId", "0"}, {"language", "en-US"}};
    for (const auto& cookie : kCookies) print_set_cookie(cookie[0], cookie[1], 600, "/", domain);
    print_location("../../html/index.html");
  }
  fflush(stdout);
}

ZV_REQUESTS(kLoginRequests, "system",
    {"/1000", login_handler},
    {"/1014", logout_log_handler},
    {"/1018", redirect_login_handler});
