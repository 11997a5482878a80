// The page that shows every event type of one camera together: the "effective" plan (when the
// event is armed) of each event kind of a channel, read and written in one request. The plans are
// the event kinds' own plan tables, and the core is told of each kind that changed. And whether
// the device has an IPv6 address.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <memory>

#include "common/json_fields.h"
#include "common/net_ipv6.h"
#include "common/record_json.h"
#include "common/reply.h"
#include "common/request.h"
#include "common/request_table.h"
#include "handlers/video/analytics.h"
#include "common/messages/analytics.h"
#include "handlers/video/event_kinds.h"
#include "handlers/video/schedule_json.h"
#include "platform/zvdb/zvdb.h"

namespace {

// An event kind of the page: its number in "start".."end", its member, and where its plan lives
// (the kind's effective plan table, under its sub index). A new kind is one row, in kind order.
struct PlanKind {
  int number;
  const char* key;
  const EventKind* kind;
  int sub;
};
const PlanKind kPlanKinds[] = {
    {0, "schedule_motion", &kMotionEventKind, 0},
    {1, "schedule_region_entrance", &kSmartEventKind, 0},
    {2, "schedule_region_exit", &kSmartEventKind, 1},
    {3, "schedule_advanced_motion", &kSmartEventKind, 2},
    {4, "schedule_tamper_detection", &kSmartEventKind, 3},
    {5, "schedule_line_crossing", &kSmartEventKind, 4},
    {6, "schedule_loitering", &kSmartEventKind, 5},
    {7, "schedule_human_detection", &kSmartEventKind, 6},
    {8, "schedule_people_counting", &kSmartEventKind, 7},
};

const zvdb::TableDesc& plan_table(const PlanKind& k) { return *k.kind->plans[kPlanEffective]; }

// A slot without a start time prints as an empty midnight range.
void write_page_plan(JsonWriter& w, const Schedule& plan) {
  static constexpr ScheduleRange kEmpty{"00:00", "00:00", 0};
  w.begin_array();
  for (const ScheduleDay& day : plan.days) {
    w.begin_array();
    for (int i = 0; i < kScheduleWebRanges; ++i) {
      write_object(w, day.ranges[i].start_time[0] == '\0' ? kEmpty : day.ranges[i]);
    }
    w.end_array();
  }
  w.end_array();
}

// Tells the core that `kind`'s settings of `channel` changed, as the kind's own page does: the
// analytics kinds with their channel set (1412), the others with their own notice.
void tell_changed(const EventKind& kind, int channel) {
  if (&kind != &kSmartEventKind) return notify_event_actions(kind, channel);
  ChannelMask64 mask{0, 0};
  mask.set(channel);
  core_tell(kSmartEventChanged, mask);
}

}  // namespace

static void effective_plans_read_handler(const char* argument) {
  int32_t channel = 0;
  if (!channel_request(argument, "channel", 63, &channel, kNoReply)) return;
  auto plan = std::make_unique<Schedule>();
  JsonWriter w(std::size(kPlanKinds) * 40000);
  w.begin_object();
  for (const PlanKind& k : kPlanKinds) {
    std::memset(plan.get(), 0, sizeof *plan);
    zvdb::read_record(kZvdbPath, plan_table(k), plan.get(), zvdb::Key{channel, k.sub});
    w.key(k.key);
    write_page_plan(w, *plan);
  }
  reply_json(w.end_object());
}

// Kinds "start" to "end" whose member the request carries; the others keep their plans.
static void effective_plans_set_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  int32_t channel = 0;
  int32_t first = 0;
  int32_t last = 0;
  if (!request || !read_json_members(request.get(), {int_member("channel", &channel).required().range(0, 63),
                                                     int_member("start", &first), int_member("end", &last)})) {
    return;
  }
  auto plan = std::make_unique<Schedule>();
  const EventKind* changed[std::size(kPlanKinds)] = {};
  size_t changed_count = 0;
  {
    SettingsWrite write;
    // Every plan the request carries is read, so that one with a text that is not UTF-8 refuses the
    // request even outside "start" .. "end" (nothing is stored then).
    for (const PlanKind& k : kPlanKinds) {
      const int found = schedule_from_json(request.get(), k.key, plan.get());
      if (found == kInvalidText) return;
      if (found != 0 || k.number < first || k.number > last) continue;
      write.check(zvdb::write_record_at(kZvdbPath, plan_table(k), plan.get(), zvdb::Key{channel, k.sub}));
      if (std::find(changed, changed + changed_count, k.kind) == changed + changed_count) changed[changed_count++] = k.kind;
    }
    if (!write.commit()) return (void)reply_cgi_error(REPLY_TEXT);
  }
  // The recorder arms its events by these plans: each changed kind is told once, as its own page
  // does after a plan change.
  for (size_t i = 0; i < changed_count; ++i) tell_changed(*changed[i], channel);
  reply_ok();
}

static void ipv6_present_handler(const char*) {
  char text[16];
  std::snprintf(text, sizeof text, "%d", net_is_haveipv6());
  reply_text(text);
}

ZV_REQUESTS(kEffectivePlansRequests, "camera",
    {"/2034", ipv6_present_handler},
    {"/2035", effective_plans_read_handler},
    {"/2036", effective_plans_set_handler});
