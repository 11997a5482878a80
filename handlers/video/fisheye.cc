// Fisheye modes of a connected channel, and the probe and set of a camera not yet added (by its
// address and credentials). Everything is kept in the camera; nothing is stored here.
#include <optional>

#include "common/json_fields.h"
#include "common/partial_record.h"
#include "common/record_json.h"
#include "common/reply_forms.h"
#include "handlers/video/analytics.h"
#include "common/messages/analytics.h"
#include "common/request_table.h"

namespace {

constexpr auto kFisheyeReply =
    ZV_FIELDS(FisheyeSettings, ZV_FIELD(chnid, "chnid"), ZV_FIELD(result, "result"), ZV_FIELD(fishmount, "fishmount"),
              ZV_FIELD(fishdisplay, "fishdisplay"), ZV_FIELD(fishcorrect, "fishcorrect"));

}  // namespace

static void fisheye_read_handler(const char* argument) {
  camera_read(argument, "id", kFisheyeRead, kFisheyeReply.schema(), -1, REPLY_TEXT);
}

static void fisheye_set_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  FisheyeSettings s{};
  if (!request || !read_record(request.get(), &s) ||
      !keep_camera_values(request.get(), kFisheyeRead, s.chnid, &s, REPLY_JSON)) {
    return;
  }
  ask_status(kFisheyeSet, s, REPLY_JSON);
}

static void fisheye_probe_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  FisheyeProbe probe{};
  if (!request || !read_record(request.get(), &probe)) return;
  std::optional<CoreReply> reply = core_ask(kFisheyeProbe, probe, REPLY_JSON);
  FisheyeProbeReply r;
  if (!reply || !reply->first(&r)) return;
  r.support = r.support == 1 ? 1 : 0;
  reply_record(r);
}

static void fisheye_probe_set_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  FisheyeProbeSet set{};
  if (!request || !read_record(request.get(), &set.camera) || !read_record(request.get(), &set)) return;
  reply_core_res(core_ask(kFisheyeProbeSet, set, REPLY_JSON));
}

ZV_REQUESTS(kFisheyeRequests, "video",
    {"/6130", fisheye_read_handler},
    {"/6131", fisheye_set_handler},
    {"/6196", fisheye_probe_handler},
    {"/6197", fisheye_probe_set_handler});
