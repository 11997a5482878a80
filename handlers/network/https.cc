// HTTPS certificates: create a self-signed certificate or a signing request (the core runs the
// certificate tool in the "demoCA" directory prepared here), show what is installed, download the
// request, install an uploaded certificate, delete it and switch HTTPS on or off. Files are made,
// copied and moved with system calls only; no request text reaches a shell.
#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>

#include "common/attachment_reply.h"
#include "common/json_fields.h"
#include "common/path_check.h"
#include "common/record_json.h"
#include "common/reply.h"
#include "common/request.h"
#include "common/settings_store.h"
#include "common/messages/https.h"
#include "common/request_table.h"
#include "platform/zvdb/https_tables.h"
#include "platform/zvdb/zvdb.h"

namespace {

constexpr char kSavedCertFile[] = "/mnt/nand/ssl/ssl_cert_save.pem";
constexpr char kDeletingCertFile[] = "/mnt/nand/ssl/ssl_cert_delete.pem";  // /7085's until stored
constexpr char kDeletedRequestFile[] = "/mnt/nand/ssl/ssl_cert.csr";
constexpr char kRequestName[] = "ssl_cert.csr";
constexpr char kHttpsKey[] = "httpsenable";
constexpr int32_t kInstallTaken = 1;

// The certificate's subject as /7081 shows it; the signing request's as /7089 shows it.
constexpr auto kInstalledForm = ZV_FIELDS(CertRequest, ZV_FIELD(country, "country"),
                                          ZV_FIELD(common_name, "common_name"), ZV_FIELD(email, "email"),
                                          ZV_FIELD(dates, "dates"));
constexpr auto kRequestForm = ZV_FIELDS(CertRequest, ZV_FIELD(country, "country_req"),
                                        ZV_FIELD(common_name, "common_name_req"), ZV_FIELD(email, "email_req"));

bool regular_file(const char* path) {
  struct stat st {};
  return lstat(path, &st) == 0 && S_ISREG(st.st_mode);
}

// A subject text the certificate tool takes as one attribute value: no line breaks, no NUL and
// none of the characters that separate attributes.
bool subject_text(const char* text) { return std::strpbrk(text, "\r\n/=") == nullptr; }

// A date the page may send: empty, or digits and the separators of a date and a time making a
// date (8 digits), a date and a time to the minute (12) or to the second (14).
bool date_text(const char* text) {
  size_t digits = 0;
  for (const char* p = text; *p != '\0'; ++p) {
    if (std::strchr("0123456789-: TZ", *p) == nullptr) return false;
    if (*p >= '0' && *p <= '9') ++digits;
  }
  return text[0] == '\0' || digits == 8 || digits == 12 || digits == 14;
}

bool valid_certificate_request(const CertRequest& r) {
  const size_t country = std::strlen(r.country);
  if (country != 0 && country != 2) return false;
  for (const char* text : {r.country, r.common_name, r.province, r.region, r.organization, r.company, r.email}) {
    if (!subject_text(text)) return false;
  }
  // A validity period has both ends or none.
  return date_text(r.start_time) && date_text(r.end_time) && (r.start_time[0] == '\0') == (r.end_time[0] == '\0');
}

int remove_entry(const char* path, const struct stat*, int type, struct FTW*) {
  return type == FTW_DP ? rmdir(path) : unlink(path);
}

// Creates `path` with `text` and mode 0777 (the core's tool runs as another user on the device).
bool make_file(const char* path, std::string_view text) {
  const int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  const bool written = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  const bool changed = fchmod(fd, 0777) == 0;
  return close(fd) == 0 && written && changed;
}

// An empty "demoCA" layout for the certificate tool: the directory and its "newcerts", an empty
// "index.txt" and "serial" holding 01. What was there before is removed (links are removed, never
// followed).
bool prepare_ca_dir() {
  mkdir(kSslDir, 0755);
  nftw(kCaDir, remove_entry, 16, FTW_DEPTH | FTW_PHYS);
  const std::string ca = kCaDir;
  const std::string newcerts = ca + "/newcerts";
  if (mkdir(kCaDir, 0700) != 0 || mkdir(newcerts.c_str(), 0700) != 0) return false;
  return make_file((ca + "/index.txt").c_str(), "") && make_file((ca + "/serial").c_str(), "01\n") &&
         chmod(kCaDir, 0777) == 0 && chmod(newcerts.c_str(), 0777) == 0;
}

// Copies `from` to `to` through a temporary file beside `to` and a rename, so `to` is whole or
// untouched.
bool copy_file(const char* from, const char* to) {
  const int in = open(from, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (in < 0) return false;
  const std::string temp = std::string(to) + ".part";
  unlink(temp.c_str());
  const int out = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  bool ok = out >= 0;
  char chunk[4096];
  ssize_t n = 0;
  while (ok && (n = read(in, chunk, sizeof chunk)) > 0) ok = write(out, chunk, static_cast<size_t>(n)) == n;
  ok = ok && n == 0;
  if (out >= 0) ok = fsync(out) == 0 && close(out) == 0 && ok;
  close(in);
  if (ok) ok = rename(temp.c_str(), to) == 0;
  if (!ok) unlink(temp.c_str());
  return ok;
}

// Moves `from` to `to`: a rename, or a copy and unlink across file systems.
bool move_file(const char* from, const char* to) {
  if (rename(from, to) == 0) return true;
  if (errno != EXDEV || !copy_file(from, to)) return false;
  unlink(from);
  return true;
}

// The uploaded certificate's path: the argument up to " & ", one regular file in /tmp (the path
// check). Any name the upload may have ("server (1).pem") is taken: the file is only renamed or
// copied, never named to a shell. Empty when refused.
std::string uploaded_certificate(const char* argument) {
  if (argument == nullptr) return {};
  std::string_view text(argument);
  text = text.substr(0, text.find(" & "));
  if (check_tmp_path(text, FileNeed::kRegularFile) != PathVerdict::kAccepted) return {};
  return std::string(text);
}

// {"enable" (when given), "checkfile": "NOFILE"} when the file is not there; else "OK" and the
// stored row of `kind` through `form`.
void reply_cert_file(bool present, int32_t kind, const zvrec::Schema& form, const int32_t* enable) {
  JsonWriter w(512);
  w.begin_object();
  if (enable != nullptr) w.key("enable").value(*enable);
  w.key("checkfile").value(present ? "OK" : "NOFILE");
  if (present) {
    CertRequest row{};
    kSslParams.read(kZvdbPath, &row, {kind});
    write_fields(w, form, &row);
  }
  reply_json(w.end_object());
}

}  // namespace

static void cert_create_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  CertRequest cert{};
  if (!request || !read_record(request.get(), &cert) ||
      !valid_certificate_request(cert)) {
    return;
  }
  if (cert.install_type != kCertSelfSigned) {
    cert.validity = 0;
    std::memset(cert.start_time, 0, sizeof cert.start_time);
    std::memset(cert.end_time, 0, sizeof cert.end_time);
  }
  // One certificate step at a time: the directory is the core's work space until it answers.
  LockFile lock(kCertLockFile);
  if (!prepare_ca_dir()) return (void)reply_text("Error");
  sleep(1);
  std::optional<CoreReply> reply = core_ask(kCertCreate, cert, REPLY_TEXT);
  if (!reply) return;
  int32_t status = 0;
  reply->first(&status);
  reply_text(status == 0 ? "OK" : "Error");
}

static void cert_show_handler(const char* /*argument*/) {
  int32_t enable = get_param_int(kZvdbPath, kHttpsKey, 0);
  const bool present = regular_file(kCertFile);
  // HTTPS cannot run without its certificate.
  if (!present && enable != 0) {
    if (!store_setting_int(kHttpsKey, 0)) return (void)reply_cgi_error(REPLY_JSON);
    enable = 0;
  }
  reply_cert_file(present, kCertKindInstalled, kInstalledForm.schema(), &enable);
}

static void cert_request_show_handler(const char* /*argument*/) {
  reply_cert_file(regular_file(kRequestFile), kCertKindRequest, kRequestForm.schema(), nullptr);
}

static void cert_request_download_handler(const char* /*argument*/) {
  if (!reply_attachment(kRequestFile, kRequestName)) reply_text("NotFile");
}

static void cert_request_notice_handler(const char* /*argument*/) {
  core_tell(kCertRequestChanged);
  reply_ok();
}

static void cert_install_handler(const char* argument) {
  // Only an upload names the certificate: a query or a JSON body naming a /tmp file moves nothing.
  const std::string upload = request_is_upload() ? uploaded_certificate(argument) : std::string();
  if (upload.empty()) return;
  // One install at a time, from the copy to the put-back: an install the core refuses late would
  // otherwise put its own saved copy back over a certificate another install got accepted meanwhile.
  LockFile lock(kCertLockFile);
  mkdir(kSslDir, 0755);
  const bool had_certificate = regular_file(kCertFile);
  if (had_certificate && !copy_file(kCertFile, kSavedCertFile)) return (void)reply_text("Error");
  if (!move_file(upload.c_str(), kCertFile)) return (void)reply_text("Error");
  std::optional<CoreReply> reply = core_ask(kCertInstall, REPLY_TEXT);
  int32_t result = 0;
  if (reply) reply->first(&result);
  if (result != kInstallTaken) {
    // Not a certificate the core can use, or one it never checked (no answer; the error form is
    // written): the one that served before goes back in place. When it cannot, the refused one is
    // removed all the same (HTTPS then has no certificate; the previous copy stays saved).
    if (!had_certificate || !copy_file(kSavedCertFile, kCertFile)) unlink(kCertFile);
  }
  if (reply) reply_text(result == kInstallTaken ? "OK" : "Error");
}

// The certificate is moved aside before the settings are stored and removed only after they are:
// when it cannot be removed, or the settings cannot be stored, both stay as they were.
static void cert_delete_handler(const char* /*argument*/) {
  LockFile lock(kCertLockFile);
  // A copy left aside by a delete that never finished (a power cut) must not come back below.
  unlink(kDeletingCertFile);
  if (rename(kCertFile, kDeletingCertFile) != 0 && errno != ENOENT) return (void)reply_cgi_error(REPLY_TEXT);
  {
    SettingsWrite write;
    write.check(set_param_int(kZvdbPath, kHttpsKey, 0));
    CertRequest blank{};
    for (char* text : {blank.country, blank.common_name, blank.email, blank.dates}) text[0] = ' ';
    write.check(kSslParams.write_at(kZvdbPath, &blank, {kCertKindInstalled}));
    if (!write.commit()) {
      rename(kDeletingCertFile, kCertFile);
      return (void)reply_cgi_error(REPLY_TEXT);
    }
  }
  unlink(kDeletingCertFile);
  unlink(kDeletedRequestFile);
  core_tell(kCertDeleted);
  core_tell(kHttpsSwitch, int32_t{0});
  reply_ok();
}

static void https_switch_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  int32_t enable = 0;
  if (!request || !read_json_members(request.get(), {int_member(kHttpsKey, &enable).required().range(0, 1)})) return;
  if (enable != 0 && !regular_file(kCertFile)) return reply_text("NOFILE");
  if (!store_setting_int(kHttpsKey, enable)) return (void)reply_cgi_error(REPLY_TEXT);
  core_tell(kHttpsSwitch, enable);
  reply_ok();
}

static void https_read_handler(const char* /*argument*/) {
  JsonWriter w;
  w.begin_object().key("enable").value(get_param_int(kZvdbPath, kHttpsKey, 0)).end_object();
  reply_json(w);
}

ZV_REQUESTS(kHttpsRequests, "network",
    {"/7080", cert_create_handler},
    {"/7081", cert_show_handler},
    {"/7082", cert_request_download_handler},
    {"/7083", cert_request_notice_handler},
    {"/7084", cert_install_handler},
    {"/7085", cert_delete_handler},
    {"/7086", https_switch_handler},
    {"/7087", https_read_handler},
    {"/7089", cert_request_show_handler});
