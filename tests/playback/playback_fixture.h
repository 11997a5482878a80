// Fixture of the playback tests: the request-level base (fresh device, factory database, fake
// core, webreq) with local time in UTC, and the messages that land after the reply.
#pragma once

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/zvfs/log_record.h"
#include "tests/support/request_fixture.h"

namespace zvtest {

// Short send retries and waits (and download idle limit: 1500 polls): a silent core costs
// milliseconds.
inline const char* const kPlaybackTiming = "attempts=3,pause_us=1000,poll_us=400";

class PlaybackTest : public RequestTest {
 protected:
  PlaybackTest();
  void SetUp() override;

  // The messages received once at least `count` have arrived (notices land after the reply).
  std::vector<ReceivedMessage> messages(size_t count);
  std::vector<int32_t> ids(size_t count);
};

template <size_t N>
void put_text(char (&field)[N], const std::string& text) {
  std::memset(field, 0, N);
  std::memcpy(field, text.data(), std::min(text.size(), N - 1));
}

}  // namespace zvtest
