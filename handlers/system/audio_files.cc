// The alarm audio files the device can play: ten slots kept by the core, each an uploaded WAV file
// under a display name kept in URL-safe Base64. An upload arrives as "/tmp/<file name>" (moved
// there by the front end); it is renamed to its encoded name, which the page then hands to the
// core with a display name of its own.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "common/json_fields.h"
#include "common/oplog.h"
#include "common/path_check.h"
#include "common/reply.h"
#include "common/reply_forms.h"
#include "common/request.h"
#include "common/trace_log.h"
#include "handlers/system/admin_common.h"
#include "common/messages/device.h"
#include "common/request_table.h"
#include "platform/zvstd/url_coding.h"

namespace {

constexpr int32_t kSlotBits = (1 << kAlarmAudioSlots) - 1;  // bits 0..9 name the slots
constexpr size_t kTmpPathSize = sizeof "/tmp/" + kTmpNameMax;

// The file "/tmp/<name>" of a name the path check has accepted.
std::string tmp_path(const char* name) { return std::string("/tmp/") + name; }

// The URL-safe Base64 of a display name into the 128-byte name field: false (field "") when the
// encoding is empty or does not fit 127 characters.
bool encode_name(const char* name, char (&field)[kAudioFileNameSize]) {
  return base64EncodeUrl(name, std::strlen(name), field, sizeof field) > 0;
}

// Prints the core's status answer as {"status": n}; nothing when there is none (the error reply
// was written). True only when the core made the change (status 0): a refused add, delete or
// rename changed nothing, so it gets no operation-log record.
bool reply_core_status(const std::optional<CoreReply>& reply) {
  int32_t status = -1;
  return reply_int_member("status", reply) && reply->first(&status) && status == 0;
}

void refuse() { reply_cgi_error(REPLY_JSON); }

// Whether a file name is a WAV file's: it holds ".wav" or ".WAV".
bool names_wav(std::string_view text) {
  return text.find(".wav") != std::string_view::npos || text.find(".WAV") != std::string_view::npos;
}

// Whether `name` is one an upload (/6321) leaves in /tmp: the URL-safe Base64 of a file name that
// holds ".wav" or ".WAV". Any other file of /tmp (a diagnostics package, another page's upload) is
// not an audio upload: the add would move it and, when the core refuses it, remove it.
bool audio_upload_name(const char* name) {
  unsigned char decoded[kTmpNameMax + 1];
  const int n = base64DecodeUrl(name, std::strlen(name), decoded, sizeof decoded);
  if (n <= 0) return false;
  const std::string_view text(reinterpret_cast<const char*>(decoded), static_cast<size_t>(n));
  return names_wav(text);
}

// The slot id of a request ("id" 0..9); false after the refusal.
bool slot_of(json_object* request, int32_t* id) {
  if (read_json_members(request, {int_member("id", id).required().range(0, kAlarmAudioSlots - 1)})) return true;
  refuse();
  return false;
}

}  // namespace

static void audio_list_handler(const char* /*argument*/) {
  std::optional<CoreReply> reply = core_ask(kAudioFileList, REPLY_JSON);
  if (!reply) return;
  const PayloadReader payload = reply->reader();
  const size_t count = payload.record_count<AudioFileEntry>(kAlarmAudioSlots);
  if (count == 0) return refuse();
  JsonWriter w(2048);
  w.begin_object().key("audioFileList").begin_array();
  for (size_t i = 0; i < count; ++i) {
    AudioFileEntry entry{};
    if (!payload.record(i, &entry) || entry.enable != 1) continue;
    w.begin_object().key("id").value(entry.id).key("enable").value(entry.enable);
    unsigned char name[kAudioFileNameSize];
    const int n = base64DecodeUrl(entry.name, strnlen(entry.name, sizeof entry.name), name, sizeof name);
    const auto* text = reinterpret_cast<const char*>(name);
    if (n > 0 && strnlen(text, sizeof name) == static_cast<size_t>(n) && valid_request_text(text, static_cast<size_t>(n))) {
      w.key("name").value(std::string_view(text, static_cast<size_t>(n)));
    }
    w.end_object();
  }
  w.end_array().key("status").value(0).end_object();
  reply_json(w);
}

static void audio_upload_handler(const char* argument) {
  // The argument is the upload's path, then " & " and the page's parameter when it gave one. A path
  // longer than any "/tmp/" name is cut to one character too many, which the check refuses. Only an
  // upload names its file: a plain request naming a file of /tmp would remove or move that file.
  if (!request_is_upload()) return reply_status_text(-1, "");
  const std::string path = upload_path_of(argument, kTmpPathSize);
  if (check_tmp_path(path, FileNeed::kRegularFile) != PathVerdict::kAccepted) return reply_status_text(-1, "");
  if (!names_wav(path)) {
    const int removed = unlink(path.c_str());
    log_message("OnSystem", 3631, "", "qmz upload_audio_file ret:[%d], pData:[%s], name:[%s]", removed, path.c_str(),
                "");
    return reply_status_text(-1, "");
  }
  char encoded[kAudioFileNameSize] = "";
  int status = -1;
  if (encode_name(path.c_str() + std::strlen("/tmp/"), encoded) && check_tmp_name(encoded) == PathVerdict::kAccepted) {
    status = rename(path.c_str(), tmp_path(encoded).c_str()) == 0 ? 0 : -1;
  } else {
    encoded[0] = '\0';
  }
  if (status != 0) unlink(path.c_str());  // only the one upload: nothing else in /tmp is touched
  reply_status_text(status, encoded);
}

static void audio_add_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  // One character more than a base name may have, so that a longer one is refused, not cut.
  char upload[kTmpNameMax + 2];
  char name[kAudioFileNameSize];
  AudioFileName encoded{};
  if (!request ||
      !read_json_members(request.get(), {text_member("uploadName", upload).required(),
                                         text_member("name", name).required()}) ||
      check_tmp_name(upload, FileNeed::kRegularFile) != PathVerdict::kAccepted || !audio_upload_name(upload) ||
      !encode_name(name, encoded.name) ||
      check_tmp_name(encoded.name) != PathVerdict::kAccepted ||
      rename(tmp_path(upload).c_str(), tmp_path(encoded.name).c_str()) != 0) {
    return refuse();
  }
  const std::optional<CoreReply> reply = core_ask(kAudioFileAdd, encoded, REPLY_JSON);
  // A file the core refused (not a WAV file, every slot used) is nobody's: it would stay in /tmp.
  int32_t status = 0;
  if (reply && reply->first(&status) && status != 0) unlink_regular(tmp_path(encoded.name).c_str());
  if (reply_core_status(reply)) op_log_change(204, 925);
}

static void audio_delete_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  int32_t mask = 0;
  if (!request || !read_json_members(request.get(), {int_member("idMask", &mask).required()}) ||
      (mask & kSlotBits) == 0) {
    return refuse();
  }
  if (reply_core_status(core_ask(kAudioFileDelete, mask, REPLY_JSON))) op_log_change(204, 925);
}

static void audio_rename_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  if (!request) return refuse();
  AudioFileEntry entry{};
  char name[kAudioFileNameSize];
  if (!slot_of(request.get(), &entry.id)) return;
  if (!read_json_members(request.get(), {text_member("name", name).required()}) || !encode_name(name, entry.name)) {
    return refuse();
  }
  entry.enable = 1;
  if (reply_core_status(core_ask(kAudioFileName, entry, REPLY_JSON))) op_log_change(204, 925);
}

static void audio_play_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  int32_t id = 0;
  if (!request) return refuse();
  if (!slot_of(request.get(), &id)) return;
  reply_core_status(core_ask(kAudioFilePlay, id, REPLY_JSON));
}

ZV_REQUESTS(kAudioFilesRequests, "system",
    {"/6320", audio_list_handler},
    {"/6321", audio_upload_handler},
    {"/6322", audio_add_handler},
    {"/6323", audio_delete_handler},
    {"/6324", audio_rename_handler},
    {"/6325", audio_play_handler});
