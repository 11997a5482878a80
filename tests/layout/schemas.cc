#include "tests/layout/schemas.h"

#include "platform/zvavi/zvavi.h"
#include "platform/zvdb/device.h"
#include "platform/zvdb/records/channel_mask.h"
#include "platform/zvdb/records/osd_record.h"
#include "platform/zvsocket/zvsocket.h"

namespace zvlayout {

namespace {
using zvrec::schema_of;
constexpr const zvrec::Schema* kSchemas[] = {
    &schema_of<ZvMsgHeader>(),
    &schema_of<ChannelMask64>(),
    &schema_of<DeviceRecord>(),
    &schema_of<ZvAviFrameHeader>(),
    &schema_of<OsdRecord>(),
    &schema_of<PrivacyMaskArea>(),
    &schema_of<PrivacyMaskEntry>(),
};
}  // namespace

std::span<const zvrec::Schema* const> all_schemas() { return kSchemas; }

}  // namespace zvlayout
