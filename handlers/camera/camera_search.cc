// Before a camera is added: search the local network for cameras, test a login against one, and
// give a found camera a new network address (one at a time, or several in the background with
// their outcome read later). The core does the searching and talks to the cameras.
#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <string_view>

#include "common/json_fields.h"
#include "common/record_json.h"
#include "common/reply.h"
#include "common/reply_forms.h"
#include "common/request.h"
#include "common/request_table.h"
#include "common/messages/camera_setup.h"

namespace {

// The members of a found camera before its name, in the order the search page reads them ("sn"
// is printed once although the page's list names it twice).
constexpr auto kSearchHead = ZV_FIELDS(
    SearchResult, ZV_SCHEMA_FIELD(ip_addr), ZV_SCHEMA_FIELD(manage_port), ZV_SCHEMA_FIELD(protocol),
    ZV_SCHEMA_FIELD(mac_addr), ZV_SCHEMA_FIELD(vendor), ZV_SCHEMA_FIELD(sn), ZV_SCHEMA_FIELD(fw_version),
    ZV_SCHEMA_FIELD(model), ZV_SCHEMA_FIELD(model_id), ZV_SCHEMA_FIELD(netmask), ZV_SCHEMA_FIELD(dns),
    ZV_SCHEMA_FIELD(gateway), ZV_SCHEMA_FIELD(netif), ZV_SCHEMA_FIELD(active_status));

bool plain_ascii(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 128; });
}

// The texts of the core's result codes: of a connection test (0 and 4 mean the login works) and
// of an address change, by code; the last text is also that of every code the list does not reach.
constexpr const char* kLoginResults[] = {"OK", "NETWORKERROR", "USERERROR", "UNKOWNERROR", "OK", "BANDWIDTHERROR",
                                         "UNKOWNERROR"};
constexpr const char* kAddressResults[] = {"OK", "NETWORK_ERR", "INVALID_USER", "UNKNOWN_ERR", "PROTO_NOT_SUPPORT",
                                           "ERROR"};
template <size_t N>
const char* result_text(const char* const (&texts)[N], int32_t result) {
  return texts[result >= 0 && static_cast<size_t>(result) < N ? result : N - 1];
}

// Reads a connection test; false (nothing to answer) when refused.
bool read_login(const char* argument, LoginTest* login) {
  JsonPtr request = parse_request(argument);
  if (!request || !read_record(request.get(), login)) return false;
  return login->ip_addr[0] != '\0';
}

void reply_login_result(const std::optional<CoreReply>& reply) {
  int32_t result = 0;
  if (!reply || !reply->first(&result)) return;
  reply_text(result_text(kLoginResults, result));
}

}  // namespace

static void camera_search_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  int32_t protocol = 0;
  char nic[10];  // read as the page sends it; the core searches every interface
  if (!request || !read_json_members(request.get(), {int_member("protocol", &protocol).required().range(0, 7),
                                                      text_member("nic", nic)})) {
    return;
  }
  std::optional<CoreReply> reply = core_ask(kCameraSearch, protocol, REPLY_JSON);
  if (!reply) return;
  const PayloadReader found = reply->reader();
  const size_t count = found.record_count<SearchResult>();
  JsonWriter w(512 + count * 640);
  w.begin_object().key("resultString").value(count > 0 ? "OK" : "NO").key("IPC").begin_array();
  auto camera = std::make_unique<SearchResult>();
  for (size_t i = 0; i < count; ++i) {
    if (!found.record(i, camera.get())) break;
    w.begin_object();
    write_fields(w, kSearchHead.schema(), camera.get());
    const std::string_view name = field_text(camera->name);
    w.key("name").value(plain_ascii(name) ? name : std::string_view());
    w.key("snReal").field(camera->sn_real);
    w.end_object();
  }
  reply_json(w.end_array().end_object());
}

static void camera_login_test_handler(const char* argument) {
  LoginTest login{};
  if (!read_login(argument, &login)) return;
  reply_login_result(core_ask(kLoginTest, login, REPLY_TEXT));
}

static void camera_login_test_alt_handler(const char* argument) {
  LoginTest login{};
  if (!read_login(argument, &login)) return;
  LoginTestAlt alt{};
  std::memcpy(alt.ip_addr, login.ip_addr, sizeof alt.ip_addr);
  alt.manage_port = std::max(login.manage_port, 80);  // this form never tries a port below 80
  std::memcpy(alt.user_name, login.user_name, sizeof alt.user_name);
  std::memcpy(alt.password, login.password, sizeof alt.password);
  alt.cam_protocol = login.cam_protocol;
  reply_login_result(core_ask(kLoginTestAlt, alt, REPLY_TEXT));
}

static void camera_address_change_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  AddressChange change{};
  if (!request || !read_record(request.get(), &change)) return;
  std::optional<CoreReply> reply = core_ask(kAddressChange, change, REPLY_JSON);
  int32_t result = 0;
  if (!reply || !reply->first(&result)) return;
  reply_text_member("resultString", result_text(kAddressResults, result));
}

// Each usable entry of the first "cnt" goes to the core on its own; an entry that is not an
// object, lacks a member the single change needs, or names a channel outside 0..63 is skipped.
static void camera_address_change_batch_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  int32_t count = 0;
  json_object* entries = nullptr;
  if (!request || !read_json_members(request.get(), {int_member("cnt", &count).required(),
                                                     array_member("oIPCAddr", &entries).required()})) {
    return;
  }
  const size_t n = std::min(static_cast<size_t>(std::max(count, 0)), json_array_size(entries));
  for (size_t i = 0; i < n; ++i) {
    AddressChangeEntry entry{};
    if (read_record(json_array_at(entries, i), &entry)) core_tell(kAddressChangeBatch, entry);
  }
  reply_ok();
}

static void camera_address_change_results_handler(const char*) {
  std::optional<CoreReply> reply = core_ask(kAddressChangeResults, REPLY_JSON);
  if (!reply) return;
  const PayloadReader r = reply->reader();
  const size_t head = offsetof(BatchChangeResults, entries);
  // Entries the payload really holds, and never more than it says or 64.
  const size_t held = r.length() > head ? (r.length() - head) / sizeof(BatchChangeResult) : 0;
  const size_t count = std::min({static_cast<size_t>(std::max(r.int32_at(4), 0)), held,
                                 static_cast<size_t>(kBatchResults)});
  JsonWriter w(64 + count * 96);
  w.begin_object().key("IPC").begin_array();
  for (size_t i = 0; i < count; ++i) {
    BatchChangeResult entry{};
    r.read(head + i * sizeof entry, &entry);
    write_object(w, entry);
  }
  reply_json(w.end_array().end_object());
}

ZV_REQUESTS(kCameraSearchRequests, "camera",
    {"/2006", camera_search_handler},
    {"/2011", camera_address_change_handler},
    {"/2014", camera_login_test_handler},
    {"/2015", camera_login_test_alt_handler},
    {"/2032", camera_address_change_batch_handler},
    {"/2033", camera_address_change_results_handler});
