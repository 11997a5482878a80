#include "platform/zvdb/device_tables.h"

#include "platform/zvdb/table_forms.h"

namespace zvdb {
namespace {

// Factory display: both outputs at their first resolution, HDMI and line audio on at half volume,
// the second output off and switchable from the web.
void default_display(DisplayConfig& d, int32_t) {
  d.hdmi_audio_on = 1;
  d.audio_output_on = 1;
  d.audio_volume = 50;
}

// Factory automatic reboot: off; when switched on, every day at 03:00:00.
void default_autoreboot(AutoRebootConfig& a, int32_t) {
  a.wday = 7;
  a.hour = 3;
}

// Factory port mapping: off, the web and streaming ports mapped as they are, nothing mapped yet.
void default_upnp(UpnpConfig& u, int32_t) {
  u.external_http_port = 80;
  u.external_rtsp_port = 554;
}

}  // namespace

const TableDesc kDisplayTable = one_row_table<DisplayConfig>("display", factory_row<default_display>);
const TableDesc kAutoRebootTable =
    one_row_table<AutoRebootConfig>("autoreboot_conf", factory_row<default_autoreboot>);
const TableDesc kUpnpTable = one_row_table<UpnpConfig>("upnp", factory_row<default_upnp>);
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
