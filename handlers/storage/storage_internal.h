// What the storage handlers share: the operation-log record of a storage change and the common
// reply forms.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "common/request.h"
#include "common/reply.h"
#include "common/reply_forms.h"
#include "common/messages/storage.h"
#include "platform/zvdb/storage_tables.h"
#include "platform/zvdb/zvdb.h"

// Operation-log record sub types and parameter types of the storage pages.
constexpr int64_t kLogDiskProperty = 204;
constexpr int64_t kLogDiskFormat = 207;
constexpr int64_t kLogNasAdd = 219;
constexpr int64_t kLogNasRemove = 220;
constexpr int64_t kLogNasEdit = 221;
constexpr int64_t kLogDeviceRemove = 224;
constexpr int32_t kLogParamDisk = 919;
constexpr int32_t kLogParamStorage = 900;

// Sends the operation-log record of a storage change about `port`, with a detail block of
// `detail_kind` when `detail` is not null.
void storage_log(int64_t sub_type, int32_t param_type, int32_t port, int32_t detail_kind = 0,
                 const void* detail = nullptr, uint32_t detail_size = 0);

// Element i of a request array as text: not a text leaves *present false (true is returned); a
// text that is not UTF-8 returns false, and so does one longer than the buffer when `whole` (an
// address, a path or a user name cut to the buffer would name another).
bool array_text(json_object* array, size_t i, char* buffer, size_t size, bool* present, bool whole = false);

// "OK" for a result of 0, else "Error"; nothing when there is no reply (the error was written).
inline void reply_result_text(const std::optional<CoreReply>& reply) { reply_status_words(reply, "OK", "Error"); }
