// Record download ("/4013"): this request process becomes the download. It prints the file
// headers, asks the core to stream the channel's recording between two times, and writes the
// frames that arrive as an AVI file to standard output (remote_backup.h).
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <thread>

#include "common/json_fields.h"
#include "common/record_json.h"
#include "common/oplog.h"
#include "common/reply.h"
#include "common/request.h"
#include "handlers/playback/playback_internal.h"
#include "common/request_table.h"
#include "handlers/playback/remote_backup.h"

using namespace playback;

namespace {

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

// The running download, for the termination signal.
std::atomic<RemoteBackup*> g_backup{nullptr};
static_assert(std::atomic<RemoteBackup*>::is_always_lock_free && std::atomic<bool>::is_always_lock_free);

extern "C" void cancel_download(int /*signal*/) {
  if (RemoteBackup* backup = g_backup.load()) backup->cancel();
}

}  // namespace

static void download_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  DownloadRequest download{};
  char start_text[64];
  char end_text[64];
  if (!request || !read_record(request.get(), &download) ||
      !read_json_members(request.get(), {
          text_member("startTime", start_text).required(),
          text_member("endTime", end_text).required(),
      })) {
    return;
  }
  if (access(kDownloadMarker, F_OK) == 0) return reply_text("BUSY NOW");
  // "2024-01-02T03:04:05Z" is local time: the trailing Z is part of the page's format, not a zone.
  struct tm start{};
  struct tm end{};
  if (!parse_local_time(start_text, "%Y-%m-%dT%H:%M:%SZ", &start) ||
      !parse_local_time(end_text, "%Y-%m-%dT%H:%M:%SZ", &end)) {
    return;
  }
  const time_t start_seconds = mktime(&start);
  const time_t end_seconds = mktime(&end);
  char start_part[96];
  char end_part[96];
  char file_name[256];
  name_part(start_part, sizeof start_part, start, start_seconds);
  name_part(end_part, sizeof end_part, end, end_seconds);
  snprintf(file_name, sizeof file_name, "%lluDDD%s-%s_%d.avi",
           static_cast<unsigned long long>(channel_bit64(download.channel)), start_part, end_part, download.channel);

  core_time(download.start, start);
  core_time(download.end, end);

  // A client that goes away closes the pipe: writes then fail (and end the download) instead of
  // killing the process before it has told the core.
  signal(SIGPIPE, SIG_IGN);
  errno = 0;
  if (nice(19) == -1 && errno != 0) {
    // Not fatal: the download runs at the priority it has.
  }

  // The file goes out through its own descriptor (a copy of standard output), held until the core
  // has answered: a download the core refuses (two started at once) is then told "BUSY NOW", and
  // nothing of a file, nor an operation-log record, is written for it.
  FILE* out = fdopen(dup(STDOUT_FILENO), "wb");
  if (out == nullptr) return;
  RemoteBackup backup;
  backup.hold_output();
  if (!backup.start(out)) {
    fclose(out);
    return;
  }
  backup.clear_done();
  // The web server ends the process of a client that has gone with SIGTERM: the download then
  // ends as a failed write does, and the core is told (below) before the process exits.
  g_backup.store(&backup);
  signal(SIGTERM, cancel_download);
  bool file_sent = false;
  {
    // The chunk sink: every 6173 message goes to the writer on the reader thread. The stream's
    // first message claims this request's reply once, inside CoreStream (common/exchange.h); the
    // answer below is this handler's own and no other writer answers the request. While the
    // stream is open, messages to the core go over its connection (stream.tell).
    CoreStream stream(kDownload, download,
                      [&backup](const unsigned char* bytes, size_t length) { backup.on_chunk(bytes, length); });
    // No answer in the budget: the request gets the error reply. A first message that claims the
    // reply just as the budget ends wins over the error: the download goes on as started, once
    // that message has reached the writer.
    const bool unanswered = !stream.started() && stream.fail(REPLY_TEXT);
    while (!unanswered && !stream.started()) std::this_thread::yield();
    if (unanswered) {
      stream.tell(kDownloadEnd);
    } else if (backup.refused()) {
      reply_text("BUSY NOW");
    } else {
      stream.tell(kOpLog, playback_log(209, download.channel + 1));
      fputs("Content-Type:application/octet-stream\r\n", stdout);
      fprintf(stdout, "Content-Disposition: attachment; filename= %s\r\n\r\n", file_name);
      fflush(stdout);
      file_sent = true;
      backup.release_output();
      backup.wait_until_finished();
      // Ended on this side (the client went away, the writer failed, the core fell silent): the
      // core is told to stop now, before the connection closes, or it would stream the whole span
      // to nobody and keep every other download busy.
      if (!backup.ended_by_core()) stream.tell(kDownloadEnd);
    }
  }  // the connection is closed here: no chunk reaches the writer after this, so it can end
  if (!file_sent) {
    // Refused or unanswered: what the writer still adds on closing goes nowhere.
    const int null_fd = open("/dev/null", O_WRONLY);
    if (null_fd >= 0) {
      dup2(null_fd, fileno(out));
      close(null_fd);
    }
  }
  signal(SIGTERM, SIG_DFL);
  g_backup.store(nullptr);
  backup.finish();
  fclose(out);
  fflush(stdout);
}

ZV_REQUESTS(kDownloadRequests, "playback",
    {"/4013", download_handler});
