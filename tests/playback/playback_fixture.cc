#include "tests/playback/playback_fixture.h"

#include <unistd.h>

#include <cstdlib>
#include <ctime>

namespace zvtest {

PlaybackTest::PlaybackTest() {
  timing_ = kPlaybackTiming;
  cgi_env_["TZ"] = "UTC";
}

void PlaybackTest::SetUp() {
  setenv("TZ", "UTC", 1);
  tzset();
  RequestTest::SetUp();
}

std::vector<ReceivedMessage> PlaybackTest::messages(size_t count) {
  if (count > 0) {
    for (int i = 0; i < 300 && core_->received().size() < count; ++i) usleep(10000);
  } else {
    usleep(50000);  // a message that should not come has had time to arrive
  }
  return core_->received();
}

std::vector<int32_t> PlaybackTest::ids(size_t count) {
  std::vector<int32_t> out;
  for (const ReceivedMessage& m : messages(count)) out.push_back(m.id);
  return out;
}

}  // namespace zvtest
