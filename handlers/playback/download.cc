// Record download ("/4013"): this request process becomes the download. It prints the file
// headers, asks the core to stream the channel's recording between two times, and writes the
// frames that arrive as an AVI file to standard output (remote_backup.h).
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "common/core_client.h"
#include "common/json_fields.h"
#include "common/reply.h"
#include "handlers/playback/playback_internal.h"
#include "handlers/playback/playback_module.h"
#include "handlers/playback/remote_backup.h"

using namespace playback;

namespace {

// "2024-01-02T03:04:05Z" read as local time (the trailing Z is part of the page's format, not a
// zone); blanks may follow. False when the text does not parse.
bool parse_download_time(const char* text, struct tm* out, time_t* seconds) {
  struct tm parsed{};
  const char* rest = strptime(text, "%Y-%m-%dT%H:%M:%SZ", &parsed);
  if (rest == nullptr) return false;
  while (*rest == ' ' || *rest == '\t') ++rest;
  if (*rest != '\0') return false;
  parsed.tm_isdst = -1;
  *seconds = mktime(&parsed);
  *out = parsed;
  return true;
}

// "year_month_day_hour_minute_second_epoch" of the file name.
void name_part(char* buffer, size_t size, const struct tm& t, time_t seconds) {
  snprintf(buffer, size, "%d_%d_%d_%d_%d_%d_%lld", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour,
           t.tm_min, t.tm_sec, static_cast<long long>(seconds));
}

// The core's form of a time: "%d-%d-%d %d:%d:%d", no zero padding.
void core_time(char (&field)[32], const struct tm& t) {
  snprintf(field, sizeof field, "%d-%d-%d %d:%d:%d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour,
           t.tm_min, t.tm_sec);
}

}  // namespace

void download_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  if (request == nullptr) return;
  int32_t channel = 0;
  int32_t stream_type = 0;
  char start_text[64];
  char end_text[64];
  if (!read_json_members(request.get(), {
          int_member("id", &channel).required().range(0, kPlaybackChannels - 1),
          int_member("streamType", &stream_type),
          text_member("startTime", start_text).required(),
          text_member("endTime", end_text).required(),
      })) {
    return;
  }
  if (access(kDownloadMarker, F_OK) == 0) {
    write_reply(REPLY_TEXT, "BUSY NOW");
    return;
  }
  struct tm start{};
  struct tm end{};
  time_t start_seconds = 0;
  time_t end_seconds = 0;
  if (!parse_download_time(start_text, &start, &start_seconds) ||
      !parse_download_time(end_text, &end, &end_seconds)) {
    return;
  }
  char start_part[96];
  char end_part[96];
  char file_name[256];
  name_part(start_part, sizeof start_part, start, start_seconds);
  name_part(end_part, sizeof end_part, end, end_seconds);
  snprintf(file_name, sizeof file_name, "%lldDDD%s-%s_%d.avi", 1LL << channel, start_part, end_part,
           channel);

  send_playback_log(209, channel + 1);

  DownloadRequest download{};
  download.channel = channel;
  download.stream_type = stream_type;
  core_time(download.start, start);
  core_time(download.end, end);

  // A client that goes away closes the pipe: writes then fail (and end the download) instead of
  // killing the process before it has told the core.
  signal(SIGPIPE, SIG_IGN);
  fputs("Content-Type:application/octet-stream\r\n", stdout);
  fprintf(stdout, "Content-Disposition: attachment; filename= %s\r\n\r\n", file_name);
  fflush(stdout);

  errno = 0;
  if (nice(19) == -1 && errno != 0) {
    // Not fatal: the download runs at the priority it has.
  }

  RemoteBackup backup;
  if (!backup.start(stdout)) {
    fflush(stdout);
    return;
  }
  set_active_download(&backup);
  backup.clear_done();
  const int result = core_send(playback_reply_callback, kMsgDownload, sizeof download, &download, 0);
  backup.wait_until_finished();
  // No callback runs after the connection is closed; only then is the writer ended.
  core_close(result);
  set_active_download(nullptr);
  backup.finish();
  fflush(stdout);
}

void playback::on_download_chunk(const PayloadReader& reply) {
  RemoteBackup* backup = active_download();
  if (backup == nullptr) return;
  backup->on_chunk(reply.bytes(0, reply.length()), reply.length());
}
