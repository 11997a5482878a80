// Recording module: the recording state of every channel, following what the core is told. A
// channel's mode and plan are read from the configuration database (the core reads the same
// file) when a notice names the channel (1407, 1411, 1413, 1310; at first use otherwise). The
// simulated recorder's modes: 0 records by the plan, 1 always, 2 never. By the plan a channel
// records when today's day (0 = Sunday) has its whole-day flag set or a range holds the time.
// 2285 sets the listed cameras' "anr" (an enabled camera takes it, b[i] 0; another refuses, b[i] 1
// and the flag 1); 2286 answers support 1 for channels 0..63; 3218 lists the recording channels
// (primary) with the stream each records (secondary, the camera's record_stream).
// Control: `record state <channel>` answers "mode=<m> recording=<0|1> stream=<s> anr=<a>".
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>

#include "common/messages/record.h"
#include "platform/zvdb/camera_tables.h"
#include "platform/zvdb/record_tables.h"
#include "platform/zvdb/zvdb.h"
#include "tools/zvcore-sim/modules.h"
#include "tools/zvcore-sim/rules.h"

namespace {

bool valid_channel(int64_t channel) { return channel >= 0 && channel < 64; }

struct ChannelState {
  int32_t mode = 0;
  int32_t stream = 0;
  int32_t anr = 0;
  std::shared_ptr<const Schedule> plan = std::make_shared<Schedule>();
};

// "HH:MM" of a fixed time field (terminated or not) as minutes; -1 when it is not a time.
int minutes_of(const char (&field)[kScheduleTimeSize]) {
  const std::string text(field, strnlen(field, sizeof field));
  int h = 0;
  int m = 0;
  char tail = 0;
  if (std::sscanf(text.c_str(), "%d:%d%c", &h, &m, &tail) != 2 || h < 0 || h > 24 || m < 0 || m > 59) return -1;
  return h * 60 + m;
}

bool plan_records_at(const Schedule& plan, int day, int minute) {
  const ScheduleDay& d = plan.days[day];
  if (d.day_flag != 0) return true;
  for (const ScheduleRange& r : d.ranges) {
    const int start = minutes_of(r.start_time);
    const int end = minutes_of(r.end_time);
    if (start >= 0 && end > start && minute >= start && minute < end) return true;
  }
  return false;
}

class RecordSim : public SimModule {
 public:
  const char* name() const override { return "record"; }

  void rules(SimRules& r) override {
    r.notice(kHolidaysChanged);
    r.answer(kRecordModeChanged, [this](const SimRequest& q, SimAnswer&) {
      int32_t channel = -1;
      if (payload_as(q, &channel) && valid_channel(channel)) reload_row(channel);
    });
    r.answer(kRecordModesChanged, [this](const SimRequest& q, SimAnswer&) { each_masked(q, &RecordSim::reload_row); });
    r.answer(kRecordPlansChanged, [this](const SimRequest& q, SimAnswer&) { each_masked(q, &RecordSim::reload_plan); });
    r.answer(kRecordSettingsChanged, [this](const SimRequest& q, SimAnswer&) {
      auto list = std::make_unique<RecordChannelList>();
      if (!payload_as(q, list.get())) return;
      for (int i = 0; i < std::clamp(list->count, 0, 64); ++i) {
        if (valid_channel(list->channels[i])) reload_row(list->channels[i]);
      }
    });
    r.answer(kAnrChange, [this](const SimRequest& q, SimAnswer& a) {
      auto change = std::make_unique<AnrChange>();
      auto result = std::make_unique<AnrResult>();
      if (payload_as(q, change.get())) {
        result->count = std::clamp(change->count, 0, 64);
        for (int i = 0; i < result->count; ++i) {
          const int32_t c = change->channels[i];
          CameraRecord camera{};
          const bool taken = valid_channel(c) && read_camera(kZvdbPath, &camera, c) == 0 &&
                             (camera.enable != 0 || change->value == 0);
          result->a[i] = c;
          result->b[i] = taken ? 0 : 1;
          if (taken) states_.update(c, [&](ChannelState& s) { s.anr = change->value; });
          if (!taken) result->flag = 1;
        }
      }
      a.record(*result);
    });
    r.answer(kRecordSupport, [](const SimRequest& q, SimAnswer& a) {
      int32_t channel = -1;
      if (!payload_as(q, &channel)) return;
      a.record(RecordSupport{channel, valid_channel(channel) ? 1 : 0});
    });
    r.answer(kRecordStreams, [this](const SimRequest&, SimAnswer& a) {
      RecordStreamLists lists{};
      for (int c = 0; c < 64; ++c) {
        const ChannelState s = states_.get(c);
        if (!recording(s)) continue;
        lists.primary[lists.size] = c;
        lists.secondary[lists.size] = s.stream;
        ++lists.size;
      }
      a.record(lists);
    });
  }

  bool control(const std::vector<std::string>& words, std::string* answer) override {
    if (words.empty() || words[0] != "state") return false;
    char* end = nullptr;
    const long channel = words.size() == 2 ? std::strtol(words[1].c_str(), &end, 10) : -1;
    if (words.size() != 2 || end == nullptr || *end != '\0' || !valid_channel(channel)) {
      *answer = "error usage: state <channel 0..63>";
      return true;
    }
    const ChannelState s = states_.get(channel);
    char text[96];
    std::snprintf(text, sizeof text, "mode=%d recording=%d stream=%d anr=%d", s.mode, recording(s) ? 1 : 0,
                  s.stream, s.anr);
    *answer = text;
    return true;
  }

 private:
  static ChannelState load(int64_t channel) {
    ChannelState s;
    RecordConfig row{};
    if (kRecordConfigs.read(kZvdbPath, &row, {static_cast<int32_t>(channel)}) == 0) s.mode = row.mode;
    CameraRecord camera{};
    if (read_camera(kZvdbPath, &camera, static_cast<int>(channel)) == 0) {
      s.stream = camera.record_stream;
      s.anr = camera.anr;
    }
    auto plan = std::make_shared<RecordSchedule>();
    kRecordSchedules.read(kZvdbPath, plan.get(), {static_cast<int32_t>(channel)});
    s.plan = std::shared_ptr<const Schedule>(plan, &plan->plan);
    return s;
  }
  // `reload` for every channel of the request's mask.
  void each_masked(const SimRequest& q, void (RecordSim::*reload)(int32_t)) {
    ChannelMask64 mask{};
    if (!payload_as(q, &mask)) return;
    for (int c = 0; c < 64; ++c) {
      if (mask.test(c)) (this->*reload)(c);
    }
  }
  void reload_row(int32_t channel) {
    const ChannelState fresh = load(channel);
    states_.update(channel, [&](ChannelState& s) {
      s.mode = fresh.mode;
      s.stream = fresh.stream;
    });
  }
  void reload_plan(int32_t channel) {
    const ChannelState fresh = load(channel);
    states_.update(channel, [&](ChannelState& s) { s.plan = fresh.plan; });
  }
  static bool recording(const ChannelState& s) {
    if (s.mode != 0) return s.mode == 1;
    const time_t now = time(nullptr);
    struct tm local{};
    localtime_r(&now, &local);
    return plan_records_at(*s.plan, local.tm_wday, local.tm_hour * 60 + local.tm_min);
  }

  KeyedStore<ChannelState> states_{load};
};

}  // namespace

std::unique_ptr<SimModule> make_record_sim() { return std::make_unique<RecordSim>(); }
