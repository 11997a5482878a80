#include "platform/zvdb/device_tables.h"

#include <cstring>

namespace zvdb {
namespace {

template <class T>
void store(void* record, const T& value) {
  std::memcpy(record, &value, sizeof value);
}

// Factory display: both outputs at their first resolution, HDMI and line audio on at half volume,
// the second output off and switchable from the web.
void default_display(void* record, int32_t) {
  DisplayConfig d{};
  d.hdmi_audio_on = 1;
  d.audio_output_on = 1;
  d.audio_volume = 50;
  store(record, d);
}

// Factory automatic reboot: off; when switched on, every day at 03:00:00.
void default_autoreboot(void* record, int32_t) {
  AutoRebootConfig a{};
  a.wday = 7;
  a.hour = 3;
  store(record, a);
}

// Factory port mapping: off, the web and streaming ports mapped as they are, nothing mapped yet.
void default_upnp(void* record, int32_t) {
  UpnpConfig u{};
  u.external_http_port = 80;
  u.external_rtsp_port = 554;
  store(record, u);
}

constexpr TableDesc one_row(const char* name, uint32_t size, std::span<const Field> fields,
                            void (*make_default)(void*, int32_t)) {
  return TableDesc{.name = name, .record_size = size, .key_a_count = 1, .fields = fields,
                   .default_rows = make_default != nullptr ? 1 : 0, .make_default = make_default};
}

}  // namespace

const TableDesc kDisplayTable =
    one_row("display", sizeof(DisplayConfig), zvrec::schema_of<DisplayConfig>().fields, default_display);
const TableDesc kAutoRebootTable = one_row("autoreboot_conf", sizeof(AutoRebootConfig),
                                           zvrec::schema_of<AutoRebootConfig>().fields, default_autoreboot);
const TableDesc kUpnpTable =
    one_row("upnp", sizeof(UpnpConfig), zvrec::schema_of<UpnpConfig>().fields, default_upnp);
const TableDesc kAccessFilterTable{.name = "access_filter",
                                   .record_size = sizeof(AccessFilterEntry),
                                   .key_a_count = 1,
                                   .max_entries = kAccessFilterMaxEntries,
                                   .fields = zvrec::schema_of<AccessFilterEntry>().fields};

std::span<const TableDesc* const> device_tables() {
  static const TableDesc* const kTables[] = {&kDisplayTable, &kAutoRebootTable, &kUpnpTable,
                                             &kAccessFilterTable};
  return kTables;
}

}  // namespace zvdb
