// Recording module: holidays, the weekly recording plans and modes of the channels, the record
// settings (pre-/post-recording, audio, expiry, stream and "anr") and the core's recording facts.
#pragma once

#include "common/request_table.h"

extern const RequestModule kRecordModule;
