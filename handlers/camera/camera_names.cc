#include "handlers/camera/camera_names.h"

#include <cstring>

#include "common/payload_reader.h"
#include "platform/zvdb/engine.h"
#include "platform/zvdb/video_tables.h"
#include "platform/zvdb/zvdb.h"

ChannelNames::ChannelNames() {
  zvdb::scan_records(kZvdbPath, zvdb::kOsdTable, {}, [this](const void* data, const zvdb::Key& key) {
    if (key.a < 0 || key.a >= kMaxChannels) return true;
    OsdRecord osd;
    std::memcpy(&osd, data, sizeof osd);
    copy_field_text(names_[key.a], sizeof names_[key.a], osd.cam_name);
    return true;
  });
}

const char* ChannelNames::name(int32_t channel) const {
  if (channel < 0 || channel >= kMaxChannels) return "";
  return names_[channel];
}
