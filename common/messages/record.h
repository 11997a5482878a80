// Messages that the recording handlers exchange with the core: payload records with their
// schemas and every message declared once. Same bytes on the 32-bit device and on the development
// host.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/exchange.h"
#include "platform/zvdb/records/channel_mask.h"
#include "platform/zvrecord/schema.h"

// The channels a record settings request listed, in request order (1310).
struct RecordChannelList {
  int32_t channels[64];
  int32_t count;
};
ZV_SCHEMA(RecordChannelList, ZV_INTERNAL(channels), ZV_INTERNAL(count));
static_assert(sizeof(RecordChannelList) == 260);

// The channels whose "anr" changed and its new value (2285).
struct AnrChange {
  int32_t channels[64];
  int32_t count;
  int32_t value;
};
ZV_SCHEMA(AnrChange, ZV_INTERNAL(channels), ZV_INTERNAL(count), ZV_INTERNAL(value));
static_assert(sizeof(AnrChange) == 264);

// The core's answer to an "anr" change (7285): per listed channel a[i] and a result b[i].
struct AnrResult {
  int32_t a[64];
  int32_t b[64];
  int32_t count;
  int32_t flag;
};
ZV_SCHEMA(AnrResult, ZV_INTERNAL(a), ZV_INTERNAL(b), ZV_INTERNAL(count), ZV_INTERNAL(flag));
static_assert(sizeof(AnrResult) == 520);

// What a channel supports (7286), printed as {"chnid", "support"}.
struct RecordSupport {
  int32_t chnid;
  int32_t support;
};
ZV_SCHEMA(RecordSupport, ZV_FIELD(chnid, "chnid"), ZV_FIELD(support, "support"));
static_assert(sizeof(RecordSupport) == 8);

// The recording stream lists (8218): the first `size` entries of each list.
struct RecordStreamLists {
  int32_t primary[64];
  int32_t secondary[64];
  int32_t size;
};
ZV_SCHEMA(RecordStreamLists, ZV_INTERNAL(primary), ZV_INTERNAL(secondary), ZV_INTERNAL(size));
static_assert(sizeof(RecordStreamLists) == 516);

inline constexpr Notice<NoPayload> kHolidaysChanged{1401, "holidays changed"};
inline constexpr Notice<int32_t> kRecordModeChanged{1407, "record mode changed"};
inline constexpr Notice<ChannelMask64> kRecordPlansChanged{1411, "record plans changed"};
inline constexpr Notice<ChannelMask64> kRecordModesChanged{1413, "record modes changed"};
inline constexpr Notice<RecordChannelList> kRecordSettingsChanged{1310, "record settings changed"};
inline constexpr Exchange<AnrChange, AnrResult> kAnrChange{2285, 7285, "anr change"};
inline constexpr Exchange<int32_t, RecordSupport> kRecordSupport{2286, 7286, "record support"};
inline constexpr Exchange<NoPayload, RecordStreamLists> kRecordStreams{3218, 8218, "record streams"};
