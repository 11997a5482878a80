// The address access filter: whether it is on, whether it allows or blocks, and up to 100
// addresses.
#include <cstring>
#include <memory>

#include "common/json_fields.h"
#include "common/record_json.h"
#include "common/reply.h"
#include "common/request.h"
#include "common/messages/device.h"
#include "common/request_table.h"
#include "platform/zvdb/device_tables.h"
#include "platform/zvdb/zvdb.h"

namespace {

// An address as the core reads it: IPv4 or IPv6 digits and separators, a range ("a-b") or a
// prefix ("a/n"); a longer one than the field holds is refused by the schema, not cut. Anything
// else is refused before it is stored.
bool address_text(const char* text) {
  if (text[0] == '\0') return false;
  for (const char* p = text; *p != '\0'; ++p) {
    const char c = *p;
    const bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    if (!hex && c != '.' && c != ':' && c != '-' && c != '/') return false;
  }
  return true;
}

}  // namespace

static void access_filter_read_handler(const char* /*argument*/) {
  auto entries = std::make_unique<AccessFilterEntry[]>(kAccessFilterMaxEntries);
  int count = kAccessFilterMaxEntries;
  if (kAccessFilter.read_list(kZvdbPath, kDeviceRow, entries.get(), &count) != 0) count = 0;
  JsonWriter w(4096);
  w.begin_object();
  w.key("filterEnable").value(get_param_int(kZvdbPath, "access_filter_enable", 0));
  w.key("filterType").value(get_param_int(kZvdbPath, "access_filter_type", 1));
  w.key("filterList").begin_array();
  for (int i = 0; i < count && i < kAccessFilterMaxEntries; ++i) write_object(w, entries[i]);
  w.end_array().end_object();
  reply_json(w);
}

static void access_filter_set_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  if (!request) return;
  {
    // The stored switches are read inside the write scope: a change another request stores
    // meanwhile is never written back over.
    SettingsWrite write;
    int32_t enable = get_param_int(kZvdbPath, "access_filter_enable", 0);
    int32_t type = get_param_int(kZvdbPath, "access_filter_type", 1);
    json_object* list = nullptr;
    if (!read_json_members(request.get(), {
            int_member("filterEnable", &enable).keep_if_absent().range(0, 1),
            int_member("filterType", &type).keep_if_absent().range(0, 1),
            array_member("filterList", &list),
        })) {
      return;
    }
    // The entries in order: elements that are not objects with an address are skipped; one with an
    // address that is not one refuses the request.
    auto entries = std::make_unique<AccessFilterEntry[]>(kAccessFilterMaxEntries);
    int count = 0;
    const size_t length = json_array_size(list);
    for (size_t i = 0; i < length && count < kAccessFilterMaxEntries; ++i) {
      json_object* element = json_array_at(list, i);
      if (!json_object_is_type(element, json_type_object)) continue;
      AccessFilterEntry entry{};
      json_object* address = nullptr;
      if (!json_object_object_get_ex(element, "address", &address) ||
          !json_object_is_type(address, json_type_string)) {
        continue;
      }
      if (!read_record(element, &entry) || !address_text(entry.address)) return;
      entries[count++] = entry;
    }
    write.check(set_param_int(kZvdbPath, "access_filter_enable", enable));
    write.check(set_param_int(kZvdbPath, "access_filter_type", type));
    if (list != nullptr) write.check(kAccessFilter.write_list(kZvdbPath, kDeviceRow, entries.get(), count));
    if (!write.commit()) return (void)reply_cgi_error(REPLY_TEXT);
  }
  core_tell(kAccessFilterChanged);
  reply_ok();
}

ZV_REQUESTS(kAccessFilterRequests, "system",
    {"/6300", access_filter_read_handler},
    {"/6301", access_filter_set_handler});
