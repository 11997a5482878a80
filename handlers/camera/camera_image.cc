// How a channel's camera makes its picture: image settings and their extension, the seven
// day/night profiles, the day/night areas and the camera's own weekly plans, all kept in the
// camera and passed through the core; and the manual exposure table, kept in the recorder's
// database.
#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "common/json_fields.h"
#include "common/partial_record.h"
#include "common/record_json.h"
#include "common/reply.h"
#include "common/reply_forms.h"
#include "common/request.h"
#include "handlers/camera/camera_requests.h"
#include "common/messages/camera_setup.h"
#include "handlers/video/schedule_json.h"
#include "platform/zvdb/camera_setup_tables.h"
#include "platform/zvdb/zvdb.h"
#include "common/request_table.h"

namespace {

constexpr int32_t kChannelLast = 63;

// A profile as the day/night page prints it: "maxShutter" before "minShutter".
constexpr auto kProfileReply = ZV_FIELDS(
    DayNightProfile, ZV_SCHEMA_FIELD(enable), ZV_SCHEMA_FIELD(start_hour), ZV_SCHEMA_FIELD(start_minute),
    ZV_SCHEMA_FIELD(end_hour), ZV_SCHEMA_FIELD(end_minute), ZV_SCHEMA_FIELD(exposure_level),
    ZV_SCHEMA_FIELD(max_shutter), ZV_SCHEMA_FIELD(min_shutter), ZV_SCHEMA_FIELD(gain_level),
    ZV_SCHEMA_FIELD(ir_cut_latency), ZV_SCHEMA_FIELD(ir_cut_state), ZV_SCHEMA_FIELD(ir_led_state),
    ZV_SCHEMA_FIELD(color_mode));

// The set forms: the records' fields, the white light's strength read from "whiteLedLevel" and the
// focus level from "aflevel" (the reads print them as "smartwhitestrength" and "wdraflevel").
constexpr auto kExtensionSetForm = zvrec::with_key<ImageExtension>("smartwhitestrength", "whiteLedLevel");
constexpr auto kImageSetForm = zvrec::with_key<ImageSettings>("aflevel", "aflevel");

// The profile of `object` (absent members 0), marked valid.
bool read_profile(json_object* object, DayNightProfile* profile) {
  if (!read_record(object, profile)) return false;
  profile->valid = 1;
  return true;
}

}  // namespace

// One record for every listed channel: the entries among the first 64 of "channel" that are
// channels 0..63, in order, and -1 in the remaining places. "aflevel" is the write key of the
// member the reply calls "wdraflevel".
static void camera_image_set_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  json_object* list = nullptr;
  auto write = std::make_unique<ImageSettingsWrite>();
  *write = ImageSettingsWrite{};
  if (!request || !read_json_members(request.get(), {array_member("channel", &list).required()}) ||
      !read_record(request.get(), kImageSetForm.schema(), &write->settings)) {
    return;
  }
  int32_t given[kImageChannels];
  const size_t n = read_int_list(list, json_array_size(list), given, kImageChannels);
  std::fill(std::begin(write->channels), std::end(write->channels), -1);
  size_t used = 0;
  for (size_t i = 0; i < n; ++i) {
    if (given[i] >= 0 && given[i] <= kChannelLast) write->channels[used++] = given[i];
  }
  if (used == 0) return (void)reply_cgi_error(REPLY_JSON);
  // Members left out take the first listed channel's values (the page's channel; the others are
  // its copies).
  if (!keep_camera_values_in(request.get(), kImageSetForm.schema(), kImageRead, write->channels[0], &write->settings,
                             REPLY_JSON, [](const ImageSettingsReply& r) -> const ImageSettings& { return r.settings; })) {
    return;
  }
  core_tell(kImageSet, *write);
  reply_ok();
}

static void camera_image_extension_set_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  ImageExtensionRecord ext{};
  if (!read_channel_member(request.get(), "id", kChannelLast, &ext.id, kImageRefusal) ||
      !read_record(request.get(), kExtensionSetForm.schema(), &ext.extension) ||
      !keep_camera_values_in(request.get(), kExtensionSetForm.schema(), kImageExtensionRead, ext.id, &ext.extension,
                             REPLY_TEXT, [](const ImageExtensionRecord& r) -> const ImageExtension& { return r.extension; })) {
    return;
  }
  reply_status_words(core_ask(kImageExtensionSet, ext, REPLY_TEXT), "OK", "ERROR");
}

static void day_night_profiles_read_handler(const char* argument) {
  DayNightProfiles profiles{};
  if (!ask_channel_record(argument, kProfilesRead, REPLY_JSON, &profiles)) return;
  JsonWriter w(2048);
  w.begin_object().key("image").begin_array();
  for (int i = 0; i < kDayNightProfiles; ++i) {
    w.begin_object().key("id").value(i);
    write_fields(w, kProfileReply.schema(), &profiles.profiles[i]);
    w.end_object();
  }
  reply_json(w.end_array().end_object());
}

// One profile of one channel; the other six stay unset (valid 0) and the camera keeps them, as it
// keeps the members of this one the request leaves out.
static void day_night_profile_set_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  DayNightProfiles profiles{};
  int32_t id = 0;
  if (!read_channel_member(request.get(), "channel", kChannelLast, &profiles.channel, kImageRefusal) ||
      !read_channel_member(request.get(), "id", kDayNightProfiles - 1, &id, kImageRefusal) ||
      !read_profile(request.get(), &profiles.profiles[id]) ||
      !keep_camera_values_in(request.get(), zvrec::schema_of<DayNightProfile>(), kProfilesRead, profiles.channel,
                             &profiles.profiles[id], REPLY_JSON,
                             [id](const DayNightProfiles& p) -> const DayNightProfile& { return p.profiles[id]; })) {
    return;
  }
  core_tell(kProfilesSet, profiles);
  reply_ok();
}

// Profiles 0..6 from the elements of "image" (an element that is not an object leaves its
// profile unset), sent to each usable channel of the first "cnt" of "chnid". The members an
// element leaves out stay as each channel's camera has them: every such channel is asked before
// anything is sent, so when one cannot be asked no channel is set.
static void day_night_profiles_set_multi_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  int32_t count = 0;
  json_object* channels = nullptr;
  json_object* image = nullptr;
  if (!request || !read_json_members(request.get(), {int_member("cnt", &count).required(),
                                                     array_member("chnid", &channels).required(),
                                                     array_member("image", &image).required()})) {
    return;
  }
  DayNightProfiles profiles{};
  std::vector<const zvrec::Field*> absent[kDayNightProfiles];
  bool any_absent = false;
  for (int i = 0; i < kDayNightProfiles; ++i) {
    json_object* element = json_array_at(image, static_cast<size_t>(i));
    if (!json_object_is_type(element, json_type_object)) continue;
    read_profile(element, &profiles.profiles[i]);
    absent[i] = absent_fields(element, zvrec::schema_of<DayNightProfile>());
    any_absent = any_absent || !absent[i].empty();
  }
  int32_t listed[kImageChannels];
  const size_t n = read_int_list(channels, static_cast<size_t>(std::max(count, 0)), listed, kImageChannels);
  auto sets = std::make_unique<DayNightProfiles[]>(kImageChannels);
  size_t used = 0;
  auto camera = std::make_unique<DayNightProfiles>();
  for (size_t k = 0; k < n; ++k) {
    if (listed[k] < 0 || listed[k] > kChannelLast) continue;
    DayNightProfiles& set = sets[used++];
    set = profiles;
    set.channel = listed[k];
    if (!any_absent) continue;
    if (!ask_camera_record(kProfilesRead, set.channel, camera.get(), REPLY_JSON)) return;
    for (int i = 0; i < kDayNightProfiles; ++i) copy_fields(absent[i], &camera->profiles[i], &set.profiles[i]);
  }
  for (size_t k = 0; k < used; ++k) core_tell(kProfilesSet, sets[k]);
  reply_ok();
}

// The first 140 entries of "exposure" that are objects replace the channel's table.
static void camera_exposure_set_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  int32_t channel = 0;
  json_object* list = nullptr;
  if (!read_channel_member(request.get(), "channel", kChannelLast, &channel, kImageRefusal) ||
      !read_json_members(request.get(), {array_member("exposure", &list).required()})) {
    return;
  }
  auto table = std::make_unique<ExposureEntry[]>(kExposureEntries);
  int count = 0;
  for (size_t i = 0; i < json_array_size(list) && count < kExposureEntries; ++i) {
    ExposureEntry entry{};
    if (json_object_is_type(json_array_at(list, i), json_type_object) && read_record(json_array_at(list, i), &entry)) {
      table[count++] = entry;
    }
  }
  SettingsWrite write;
  write.check(write_exposure(kZvdbPath, table.get(), channel, count));
  if (!write.commit()) return (void)reply_cgi_error(REPLY_JSON);
  reply_ok();
}

static void camera_exposure_read_handler(const char* argument) {
  int32_t channel = 0;
  if (!channel_request(argument, "channel", kChannelLast, &channel, kImageRefusal)) return;
  auto table = std::make_unique<ExposureEntry[]>(kExposureEntries);
  int count = 0;
  if (read_exposure(kZvdbPath, table.get(), channel, &count) != 0 || count <= 0) {
    return (void)reply_cgi_error(REPLY_JSON);
  }
  count = std::min(count, kExposureEntries);
  JsonWriter w(64 + static_cast<size_t>(count) * 48);
  w.begin_object().key("exposure").begin_array();
  for (int i = 0; i < count; ++i) write_object(w, table[i]);
  reply_json(w.end_array().end_object());
}

static void camera_night_mode_handler(const char* argument) {
  int32_t channel = 0;
  if (!channel_request(argument, "chnid", kChannelLast, &channel, kImageRefusal)) return;
  reply_core_record<NightMode>(core_ask(kNightMode, channel, REPLY_JSON));
}

static void day_night_areas_read_handler(const char* argument) {
  DayNightAreas areas{};
  if (!ask_channel_record(argument, kAreasRead, REPLY_JSON, &areas)) return;
  const int count = std::clamp(areas.cnt, 0, kDayNightAreaCapacity);
  JsonWriter w(128 + static_cast<size_t>(count) * 64);
  w.begin_object().key("chnid").value(areas.chnid).key("enable").value(areas.enable);
  w.key("cnt").value(count).key("area").begin_array();
  for (int i = 0; i < count; ++i) write_object(w, areas.areas[i]);
  reply_json(w.end_array().end_object());
}

// "cnt" is capped to the areas given and to what the record holds.
static void day_night_areas_set_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  DayNightAreasWrite write{};
  DayNightAreas& areas = write.areas;
  json_object* list = nullptr;
  if (!read_channel_member(request.get(), "chnid", kChannelLast, &areas.chnid, kImageRefusal) ||
      !read_json_members(request.get(), {int_member("enable", &areas.enable), int_member("cnt", &areas.cnt),
                                         array_member("area", &list)})) {
    return;
  }
  // The first "cnt" elements; one that is not an area object (or does not read) is skipped, and
  // the areas read are sent one after the other with their number.
  const int listed = std::min(std::max(areas.cnt, 0), static_cast<int32_t>(json_array_size(list)));
  areas.cnt = 0;
  for (int i = 0; i < listed && areas.cnt < kDayNightAreaCapacity; ++i) {
    json_object* element = json_array_at(list, static_cast<size_t>(i));
    DayNightArea area{};
    if (json_object_is_type(element, json_type_object) && read_record(element, &area)) areas.areas[areas.cnt++] = area;
  }
  core_tell(kAreasSet, write);
  reply_ok();
}

static void day_night_area_delete_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  DayNightAreaDelete removal{};
  if (!request) return;
  if (!read_record(request.get(), &removal)) return (void)reply_cgi_error(REPLY_JSON);
  core_tell(kAreaDelete, removal);
  reply_ok();
}

ZV_REQUESTS(kCameraImageRequests, "camera",
    {"/2020", camera_image_set_handler},
    {"/2022", camera_image_extension_set_handler},
    {"/2037", day_night_profiles_read_handler},
    {"/2038", day_night_profile_set_handler},
    {"/2039", day_night_areas_read_handler},
    {"/2040", day_night_areas_set_handler},
    {"/2047", day_night_profiles_set_multi_handler},
    {"/2048", camera_exposure_set_handler},
    {"/2049", camera_exposure_read_handler},
    {"/2050", day_night_area_delete_handler},
    {"/2062", camera_night_mode_handler});
