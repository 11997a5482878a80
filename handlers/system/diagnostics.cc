// The diagnostics package (the core assembles it under /tmp, the page downloads it once), and
// two factory entries: batch camera addresses and the switched-off download entry.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>

#include "common/json_fields.h"
#include "common/path_check.h"
#include "common/reply.h"
#include "common/request.h"
#include "common/trace_log.h"
#include "common/web_utils.h"
#include "handlers/system/admin_common.h"
#include "common/messages/device.h"
#include "common/request_table.h"
#include "platform/zvdb/camera_tables.h"
#include "platform/zvdb/zvdb.h"
#include "platform/zvstd/url_coding.h"

namespace {

constexpr char kExportRunning[] = "/tmp/tmp_diagnostic";  // exists while the core builds a package
constexpr char kExportDirectory[] = "/tmp";
constexpr size_t kEncodedPathSize = 1024;
constexpr size_t kDownloadPathSize = 256;  // the download's argument keeps 255 characters
// The package path the last export reported: the one path the download sends (and removes).
constexpr char kReportedPackageFile[] = "/tmp/.diagnostic_down_file";

// Records `path` as the package to download (replacing a link or an older record, never writing
// through one). False, with no package recorded, when the download could not send it: a path the
// download refuses, or one whose encoded form is longer than the download's argument keeps.
bool record_package(const char* path, const char* encoded) {
  if (check_tmp_path(path, FileNeed::kRegularFile) != PathVerdict::kAccepted ||
      std::strlen(encoded) >= kDownloadPathSize) {
    unlink(kReportedPackageFile);
    return false;
  }
  return write_new_file(kReportedPackageFile, path, std::strlen(path), 0600);
}

// Whether `path` is the package the last export reported.
bool reported_package(const char* path) {
  const int fd = open(kReportedPackageFile, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  char recorded[kDownloadPathSize + 1] = {};
  const ssize_t n = read(fd, recorded, kDownloadPathSize);
  close(fd);
  return n > 0 && static_cast<size_t>(n) == std::strlen(path) && std::memcmp(recorded, path, static_cast<size_t>(n)) == 0;
}

// A dotted IPv4 address of four decimal octets 0..255 and nothing else.
bool parse_ipv4(const char* text, int (&octets)[4]) {
  const char* p = text;
  for (int i = 0; i < 4; ++i) {
    if (i > 0 && *p++ != '.') return false;
    int value = 0;
    int digits = 0;
    while (*p >= '0' && *p <= '9' && digits < 3) {
      value = value * 10 + (*p++ - '0');
      ++digits;
    }
    if (digits == 0 || value > 255) return false;
    octets[i] = value;
  }
  return *p == '\0';
}

}  // namespace

static void diagnostics_export_handler(const char* /*argument*/) {
  if (access(kExportRunning, F_OK) == 0) return reply_text("Failed");
  DiagnosticsRequest request{};
  copy_text_field(request.directory, kExportDirectory);
  std::optional<CoreReply> reply = core_ask(kDiagnosticsExport, request, -1);
  if (!reply) return reply_text("Failed");
  const PayloadReader payload = reply->reader();
  const size_t path_offset = offsetof(DiagnosticsReply, path);
  if (payload.int32_at(offsetof(DiagnosticsReply, status), -1) < 0) return reply_text("Failed");
  char path[sizeof DiagnosticsReply::path + 1];
  const size_t width =
      payload.length() > path_offset ? std::min(sizeof DiagnosticsReply::path, payload.length() - path_offset) : 0;
  payload.read_text(path_offset, width, path, sizeof path);
  char encoded[kEncodedPathSize];
  get_url_encode(path, encoded, sizeof encoded);
  // A package the download could not send is not offered.
  if (!record_package(path, encoded)) return reply_text("Failed");
  char text[kEncodedPathSize + 8];
  std::snprintf(text, sizeof text, "OK/%s\r\n", encoded);
  reply_text(text);
}

// Sends the package the last export reported, then removes it. Only that path, and only as a
// regular file directly under /tmp (not a link, not a hidden name, not one of the program's own
// files), is sent and removed; any other path writes nothing.
static void diagnostics_download_handler(const char* argument) {
  if (argument == nullptr) return;
  char path[kDownloadPathSize];
  std::snprintf(path, sizeof path, "%s", argument);
  get_url_decode(path);
  if (!reported_package(path) || check_tmp_path(path, FileNeed::kRegularFile) != PathVerdict::kAccepted) return;
  const int in = open(path, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (in < 0) return;
  struct stat st {};
  if (fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(in);
    return;
  }
  // The attachment's name: the base name without control characters.
  char name[kDownloadPathSize];
  size_t n = 0;
  for (const char* p = std::strrchr(path, '/') + 1; *p != '\0' && n + 1 < sizeof name; ++p) {
    const auto c = static_cast<unsigned char>(*p);
    if (c >= 0x20 && c != 0x7f) name[n++] = static_cast<char>(c);
  }
  name[n] = '\0';
  print_attachment_headers(name);
  if (!copy_to_stdout(in)) {
    log_message("OnSystem", 3556, "", "fd_in:%d fd_out:%d filestat.st_size:%d", in, STDOUT_FILENO,
                static_cast<int>(st.st_size));
    log_message("OnSystem", 3557, "", "Error copying input file [%d] to output file [%d]\n", in, STDOUT_FILENO);
  }
  close(in);
  unlink(path);
  unlink(kReportedPackageFile);
}

static void camera_addresses_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  if (!request) return;
  char start[32];
  int32_t groups = 0;
  int32_t per_group = 0;
  int octets[4];
  if (!read_json_members(request.get(), {
          text_member("startip", start).required(),
          int_member("chnNum", &groups),
          int_member("chnFre", &per_group),
      }) ||
      !parse_ipv4(start, octets)) {
    return;
  }
  const int limit = std::clamp(get_param_int(kZvdbPath, "max_cameras", 32), 0, kCameraChannels);
  {
    SettingsWrite write;
    int slot = 0;
    // Group i shares one address, its last octet the start's + i (wrapping without carry).
    for (int i = 0; per_group > 0 && i < groups && slot < limit; ++i) {
      for (int j = 0; j < per_group && slot < limit; ++j, ++slot) {
        CameraRecord camera{};
        if (read_camera(kZvdbPath, &camera, slot) != 0) camera.id = slot;
        std::memset(camera.ip_addr, 0, sizeof camera.ip_addr);
        std::snprintf(camera.ip_addr, sizeof camera.ip_addr, "%d.%d.%d.%d", octets[0], octets[1], octets[2],
                      (octets[3] + i) & 0xff);
        write.check(write_camera(kZvdbPath, &camera));
      }
    }
    if (!write.commit()) return (void)reply_cgi_error(REPLY_TEXT);
  }
  reply_ok();
}

static void download_entry_handler(const char* /*argument*/) { reply_text("NG download"); }

ZV_REQUESTS(kDiagnosticsRequests, "system",
    {"/6310", diagnostics_export_handler},
    {"/6311", diagnostics_download_handler},
    {"/ipc", camera_addresses_handler},
    {"/dw.cgi", download_entry_handler});
