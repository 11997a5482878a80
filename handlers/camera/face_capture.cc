// Face capture: a channel's settings go to its camera through the core; the face event's action
// block, when the request carries one, is stored by the recorder.
#include <memory>

#include "common/json_fields.h"
#include "common/reply.h"
#include "handlers/camera/camera_apps.h"
#include "common/messages/camera_apps.h"
#include "common/request_table.h"

static void face_capture_set_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  auto face = std::make_unique<FaceCapture>();
  *face = FaceCapture{};
  if (!request || !read_record(request.get(), face.get())) return (void)reply_cgi_error(REPLY_JSON);
  // Elements 0..2 of "captureModeArray": quality and snapshot of each capture mode; missing
  // elements and members stay 0.
  json_object* modes = json_array_of(request.get(), "captureModeArray");
  for (size_t i = 0; i < kFaceCaptureModes; ++i) {
    json_object* mode = json_array_at(modes, i);
    json_value_int(json_object_object_get(mode, "captureQuality"), &face->capture_quality[i]);
    json_value_int(json_object_object_get(mode, "snapshot"), &face->snapshot[i]);
  }
  json_object* action = nullptr;
  read_json_members(request.get(), {object_member("action", &action)});
  if (action != nullptr) {
    {
      SettingsWrite write;
      if (!store_app_event(kFaceEventKind, face->chn_id, action, write)) return (void)reply_cgi_error(REPLY_JSON);
      if (!write.commit()) return (void)reply_int_member("status", -1);
    }
    notify_event_actions(kFaceEventKind, face->chn_id);
  }
  reply_int_member("status", core_ask(kFaceCaptureSet, *face, REPLY_JSON));
}

ZV_REQUESTS(kFaceCaptureRequests, "camera",
    {"/2077", face_capture_set_handler});
