// HTTPS certificate requests through the real front end with a fake core: exact replies and
// payloads, the prepared CA directory, refused subjects and upload paths that change nothing, the
// install that keeps (or puts back) the previous certificate; then the core simulator making real
// certificates and signing requests with the openssl tool.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <thread>

#include "common/messages/https.h"
#include "platform/zvdb/https_tables.h"
#include "tests/support/request_fixture.h"

namespace zvtest {
namespace {

constexpr const char* kCert = "/mnt/nand/ssl/ssl_cert.pem";
constexpr const char* kSaved = "/mnt/nand/ssl/ssl_cert_save.pem";
constexpr const char* kCsr = "/mnt/nand/ssl/tmp/ssl_cert.csr";

const char kSelfSigned[] =
    R"({"InstallType":0,"Country":"DE","CommonName":"nvr.local","Validity":30,"Password":"pw",)"
    R"("Province":"Bavaria","Region":"Passau","Organization":"Zv","Company":"Lab","Email":"a@b.c",)"
    R"("startTime":"2026-01-01","endTime":"2027-01-01"})";

class HttpsTest : public RequestTest {
 protected:
  void SetUp() override {
    RequestTest::SetUp();
    mkdir("/mnt/nand/ssl", 0755);
    mkdir("/mnt/nand/ssl/tmp", 0755);
  }
  int https() { return get_param_int(kZvdbPath, "httpsenable", -1); }
  // The page's upload of a certificate file.
  RunResult install(const std::string& name, const std::string& content) {
    const Upload u = multipart_upload(name, content);
    return post("/7084", u.body, u.env);
  }
  CertRequest row(int kind) {
    CertRequest r{};
    kSslParams.read(kZvdbPath, &r, {kind});
    return r;
  }
};

// ---- /7080 ----------------------------------------------------------------------------------

TEST_F(HttpsTest, CreateSendsTheRecordAfterPreparingAnEmptyCaDirectory) {
  mkdir("/mnt/nand/ssl/demoCA", 0755);
  write_file("/mnt/nand/ssl/demoCA/stale", "x");
  write_file("/tmp/keep", "kept");
  ASSERT_EQ(symlink("/tmp", "/mnt/nand/ssl/demoCA/link"), 0);
  core_->reply(kCertCreate.id, int32s({0}));
  EXPECT_EQ(post("/7080", kSelfSigned).out, kOk);
  const CertRequest sent = record_from<CertRequest>(only_message(*core_, kCertCreate.id).payload);
  EXPECT_EQ(sent.install_type, 0);
  EXPECT_EQ(text_of(sent.country), "DE");
  EXPECT_EQ(text_of(sent.common_name), "nvr.local");
  EXPECT_EQ(sent.validity, 30);
  EXPECT_EQ(text_of(sent.password), "pw");
  EXPECT_EQ(text_of(sent.province), "Bavaria");
  EXPECT_EQ(text_of(sent.region), "Passau");
  EXPECT_EQ(text_of(sent.organization), "Zv");
  EXPECT_EQ(text_of(sent.company), "Lab");
  EXPECT_EQ(text_of(sent.email), "a@b.c");
  EXPECT_EQ(text_of(sent.start_time), "2026-01-01");
  EXPECT_EQ(text_of(sent.end_time), "2027-01-01");
  EXPECT_EQ(std::string(sent.reserved, sizeof sent.reserved), std::string(sizeof sent.reserved, '\0'));
  EXPECT_EQ(list_dir("/mnt/nand/ssl/demoCA"), (std::vector<std::string>{"index.txt", "newcerts", "serial"}));
  EXPECT_EQ(read_file("/mnt/nand/ssl/demoCA/index.txt"), "");
  EXPECT_EQ(read_file("/mnt/nand/ssl/demoCA/serial"), "01\n");
  EXPECT_EQ(read_file("/tmp/keep"), "kept") << "a link in the old directory is removed, not followed";
}

TEST_F(HttpsTest, SigningRequestCarriesNoValidityAndAFailedStepIsAnError) {
  core_->reply(kCertCreate.id, int32s({-1}));
  std::string body = kSelfSigned;
  body.replace(body.find("\"InstallType\":0"), 15, "\"InstallType\":1");
  EXPECT_EQ(post("/7080", body).out, kTextHeader + "Error");
  const CertRequest sent = record_from<CertRequest>(only_message(*core_, kCertCreate.id).payload);
  EXPECT_EQ(sent.install_type, 1);
  EXPECT_EQ(sent.validity, 0);
  EXPECT_EQ(text_of(sent.start_time), "");
  EXPECT_EQ(text_of(sent.end_time), "");
  core_->no_reply(kCertCreate.id);
  EXPECT_EQ(post("/7080", kSelfSigned).out, kCgiErrorText);
}

TEST_F(HttpsTest, CreateRefusesSubjectsTheToolWouldSplit) {
  const struct {
    const char* from;
    const char* to;
  } cases[] = {
      {R"("nvr.local")", R"("a/CN=evil")"}, {R"("nvr.local")", R"("a=b")"},
      {R"("nvr.local")", R"("a\nb")"},      {R"("nvr.local")", R"("a\rb")"},
      {R"("nvr.local")", R"("a\u0000b")"},  {R"("Lab")", R"("x/OU=y")"},
      {R"("DE")", R"("D")"},                {R"("a@b.c")", R"("a\nb")"},
      {R"("InstallType":0)", R"("InstallType":3)"}, {R"("InstallType":0)", R"("InstallType":-1)"},
      {R"("Validity":30)", R"("Validity":36501)"},  {R"("Validity":30)", R"("Validity":-1)"},
      {R"("2026-01-01")", R"("1;reboot")"},     {R"("2027-01-01")", R"("2027-01-01 12:00:00")"},
      {R"("2026-01-01")", R"("2026-01")"},      {R"("2026-01-01")", R"("")"},
      // One character above the field: refused, not cut to another country or host.
      {R"("DE")", R"("DEU")"},
      {R"("nvr.local")", R"("nvr0123456789.zone0123456789.site0123456789.example0123456.local")"},
      {R"("Password":"pw")", R"("Password":"password16chars!")"},  // the key's password: never cut
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.to);
    std::string body = kSelfSigned;
    body.replace(body.find(c.from), std::strlen(c.from), c.to);
    expect_refused("/7080", body);
  }
  expect_refused("/7080", "{");
  EXPECT_FALSE(file_exists("/mnt/nand/ssl/demoCA"));
}

// ---- /7081, /7089, /7087 ----------------------------------------------------------------------

TEST_F(HttpsTest, ShowWithoutCertificateSwitchesHttpsOff) {
  ASSERT_EQ(set_param_int(kZvdbPath, "httpsenable", 1), 0);
  EXPECT_EQ(post("/7081", "").out, kJsonHeader + R"({ "enable": 0, "checkfile": "NOFILE" })");
  EXPECT_EQ(https(), 0);
  EXPECT_EQ(post("/7087", "").out, kJsonHeader + R"({ "enable": 0 })");
  EXPECT_EQ(post("/7089", "").out, kJsonHeader + R"({ "checkfile": "NOFILE" })");
}

TEST_F(HttpsTest, ShowPrintsTheStoredRowsOfCertificateAndRequest) {
  write_file(kCert, "cert");
  write_file(kCsr, "csr");
  ASSERT_EQ(set_param_int(kZvdbPath, "httpsenable", 1), 0);
  CertRequest installed{};
  std::strcpy(installed.country, "DE");
  std::strcpy(installed.common_name, "nvr.local");
  std::strcpy(installed.email, "a@b.c");
  std::strcpy(installed.dates, "Jan  1 00:00:00 2026 GMT - Jan  1 00:00:00 2027 GMT");
  CertRequest request = installed;
  std::strcpy(request.common_name, "\"q\"");
  ASSERT_EQ(kSslParams.write_at(kZvdbPath, &installed, {kCertKindInstalled}), 0);
  ASSERT_EQ(kSslParams.write_at(kZvdbPath, &request, {kCertKindRequest}), 0);
  EXPECT_EQ(post("/7081", "").out,
            kJsonHeader + R"({ "enable": 1, "checkfile": "OK", "country": "DE", "common_name": "nvr.local", )"
                          R"("email": "a@b.c", "dates": "Jan  1 00:00:00 2026 GMT - Jan  1 00:00:00 2027 GMT" })");
  EXPECT_EQ(post("/7089", "").out, kJsonHeader + R"({ "checkfile": "OK", "country_req": "DE", )"
                                                 R"("common_name_req": "\"q\"", "email_req": "a@b.c" })");
  EXPECT_EQ(post("/7087", "").out, kJsonHeader + R"({ "enable": 1 })");
  EXPECT_TRUE(core_->received().empty());
}

// ---- /7082, /7083 -----------------------------------------------------------------------------

TEST_F(HttpsTest, DownloadSendsTheWholeRequestFile) {
  EXPECT_EQ(post("/7082", "").out, kTextHeader + "NotFile");
  std::string csr;
  for (int i = 0; i < 9000; ++i) csr += static_cast<char>('a' + i % 26);
  write_file(kCsr, csr);
  EXPECT_EQ(post("/7082", "").out, "Content-Type:application/octet-stream\r\n"
                                   "Content-Disposition: attachment; filename= ssl_cert.csr\r\n\r\n" + csr);
  EXPECT_EQ(post("/7083", "").out, kOk);
  EXPECT_EQ(only_message(*core_, kCertRequestChanged.id).payload, Bytes{});
}

// ---- /7084 ----------------------------------------------------------------------------------

TEST_F(HttpsTest, InstallKeepsThePreviousCertificate) {
  write_file(kCert, "old");
  core_->reply(kCertInstall.id, int32s({1}));
  EXPECT_EQ(install("new-cert_1.pem", "new").out, kOk);
  EXPECT_EQ(read_file(kCert), "new");
  EXPECT_EQ(read_file(kSaved), "old");
  EXPECT_FALSE(file_exists("/tmp/new-cert_1.pem"));
  EXPECT_EQ(only_message(*core_, kCertInstall.id).payload, Bytes{});
  // A name as browsers make them for a second download.
  EXPECT_EQ(install("server cert (1)+@;.pem", "newer").out, kOk);
  EXPECT_EQ(read_file(kCert), "newer");
  EXPECT_FALSE(file_exists("/tmp/server cert (1)+@;.pem"));
}

TEST_F(HttpsTest, InstallThatTheCoreRefusesPutsThePreviousCertificateBack) {
  write_file(kCert, "old");
  core_->reply(kCertInstall.id, int32s({0}));
  EXPECT_EQ(install("bad.pem", "not a certificate").out, kTextHeader + "Error");
  EXPECT_EQ(read_file(kCert), "old");
  unlink(kCert);
  EXPECT_EQ(install("bad.pem", "not a certificate").out, kTextHeader + "Error");
  EXPECT_FALSE(file_exists(kCert));
  // No answer: the upload was never checked, so the certificate that served stays.
  write_file(kCert, "old");
  core_->no_reply(kCertInstall.id);
  EXPECT_EQ(install("bad.pem", "unchecked").out, kCgiErrorText);
  EXPECT_EQ(read_file(kCert), "old");
  // The put-back cannot write (its temporary name is taken while the core checks): the refused
  // certificate does not stay in use.
  core_->clear_received();
  core_->reply(kCertInstall.id, int32s({0}), 50);
  std::thread blocker([this] {
    core_->wait_for(kCertInstall.id, 1);
    mkdir("/mnt/nand/ssl/ssl_cert.pem.part", 0755);
  });
  EXPECT_EQ(install("bad.pem", "refused").out, kTextHeader + "Error");
  blocker.join();
  EXPECT_FALSE(file_exists(kCert));
  EXPECT_EQ(read_file(kSaved), "old");
}

// Two installs at once: one the core refuses late cannot put its saved copy back over the
// certificate the other got accepted meanwhile.
TEST_F(HttpsTest, InstallRefusedLateLeavesTheOneAcceptedMeanwhile) {
  timing_ = kSimulatorTiming;  // waits in 10 ms polls: the late answer comes within the budget
  write_file(kCert, "old");
  core_->reply(kCertInstall.id, int32s({0}), 500);
  RunResult first;
  std::thread refused([&] { first = install("x.pem", "X"); });
  ASSERT_TRUE(core_->wait_for(kCertInstall.id, 1));
  core_->reply(kCertInstall.id, int32s({1}));
  EXPECT_EQ(install("y.pem", "Y").out, kOk);
  refused.join();
  EXPECT_EQ(first.out, kTextHeader + "Error");
  EXPECT_EQ(read_file(kCert), "Y");
}

// A canary: hostile upload paths run nothing, move nothing and remove nothing.
TEST_F(HttpsTest, InstallRefusesEveryPathOutsideOneTmpName) {
  write_file(kCert, "old");
  write_file("/tmp/canary", "alive");
  mkdir("/tmp/sub", 0755);
  write_file("/tmp/sub/x.pem", "x");
  write_file("/tmp/.hidden", "x");
  ASSERT_EQ(symlink("/tmp/canary", "/tmp/link.pem"), 0);
  core_->reply(kCertInstall.id, int32s({1}));
  for (const char* path : {"/tmp/../tmp/canary", "/tmp/sub/x.pem", "/tmp/.hidden", "/tmp/link.pem",
                           "/tmp/missing.pem", "/tmp/canary;rm -rf /mnt", "/tmp/$(touch /tmp/pwned)", "/tmp/cgilockfile",
                           "/mnt/nand/app/zvdb.db", "tmp/canary", "/tmp/", ""}) {
    SCOPED_TRACE(path);
    expect_refused("/7084", path);
  }
  EXPECT_EQ(read_file(kCert), "old");
  EXPECT_EQ(read_file("/tmp/canary"), "alive");
  // A request that is no upload names no file, even a regular one in /tmp.
  write_file("/tmp/canary.pem", "alive");
  expect_refused("/7084", "/tmp/canary.pem");
  EXPECT_EQ(get("/7084", "/tmp/canary.pem").out, "");
  EXPECT_EQ(read_file("/tmp/canary.pem"), "alive");
  EXPECT_TRUE(file_exists("/tmp/sub/x.pem"));
  EXPECT_FALSE(file_exists("/tmp/pwned"));
  EXPECT_FALSE(file_exists(kSaved));
}

// ---- /7085, /7086 -----------------------------------------------------------------------------

TEST_F(HttpsTest, DeleteRemovesTheFilesBlanksTheRowAndSwitchesOff) {
  write_file(kCert, "cert");
  write_file("/mnt/nand/ssl/ssl_cert.csr", "csr");
  write_file(kCsr, "pending request");
  ASSERT_EQ(set_param_int(kZvdbPath, "httpsenable", 1), 0);
  EXPECT_EQ(post("/7085", "").out, kOk);
  EXPECT_FALSE(file_exists(kCert));
  EXPECT_FALSE(file_exists("/mnt/nand/ssl/ssl_cert.csr"));
  EXPECT_TRUE(file_exists(kCsr));
  EXPECT_EQ(https(), 0);
  const CertRequest blank = row(kCertKindInstalled);
  EXPECT_EQ(text_of(blank.country) + text_of(blank.common_name) + text_of(blank.email) + text_of(blank.dates), "    ");
  settle();
  EXPECT_EQ(received_ids(*core_), (std::vector<int32_t>{kCertDeleted.id, kHttpsSwitch.id}));
  EXPECT_EQ(only_message(*core_, kHttpsSwitch.id).payload, int32s({0}));
}

// A delete whose certificate cannot be removed, or whose settings cannot be stored, changes
// neither and tells the core nothing.
TEST_F(HttpsTest, DeleteThatCannotFinishChangesNothing) {
  for (const char* dir : {"/mnt/nand/ssl", "/mnt/nand/app"}) {
    write_file(kCert, "cert");
    ASSERT_EQ(set_param_int(kZvdbPath, "httpsenable", 1), 0);
    zvdb_close_all();
    {
      const ReadOnlyDir read_only(dir);
      if (!read_only.active()) GTEST_SKIP() << "no read-only bind mount here";
      EXPECT_EQ(post("/7085", "").out, kCgiErrorText) << dir;
    }
    EXPECT_EQ(read_file(kCert), "cert") << dir;
    EXPECT_EQ(https(), 1) << dir;
    EXPECT_TRUE(core_->received().empty()) << dir;
  }
  // A copy left aside by a delete that never finished does not come back when this one fails.
  unlink(kCert);
  write_file("/mnt/nand/ssl/ssl_cert_delete.pem", "deleted before");
  {
    const ReadOnlyDir read_only("/mnt/nand/app");
    EXPECT_EQ(post("/7085", "").out, kCgiErrorText);
  }
  EXPECT_FALSE(file_exists(kCert));
}

TEST_F(HttpsTest, SwitchNeedsACertificateOnlyToSwitchOn) {
  EXPECT_EQ(post("/7086", R"({"httpsenable":1})").out, kTextHeader + "NOFILE");
  EXPECT_EQ(https(), 0);
  EXPECT_TRUE(core_->received().empty());
  EXPECT_EQ(post("/7086", R"({"httpsenable":0})").out, kOk);
  EXPECT_EQ(only_message(*core_, kHttpsSwitch.id).payload, int32s({0}));
  core_->clear_received();
  write_file(kCert, "cert");
  EXPECT_EQ(post("/7086", R"({"httpsenable":1})").out, kOk);
  EXPECT_EQ(https(), 1);
  EXPECT_EQ(only_message(*core_, kHttpsSwitch.id).payload, int32s({1}));
  for (const char* body : {R"({"httpsenable":2})", R"({"httpsenable":-1})", R"({"enable":1})", "{"}) {
    expect_refused("/7086", body);
  }
}

// ---- The core simulator: real certificates ---------------------------------------------------

TEST_F(HttpsTest, SimulatorMakesCertificatesTheToolAccepts) {
  start_simulator();
  std::string body = kSelfSigned;
  body.replace(body.find("\"startTime\":\"2026-01-01\",\"endTime\":\"2027-01-01\""), 47,
               "\"startTime\":\"20260101\",\"endTime\":\"2030-06-30 1200\"");
  ASSERT_EQ(post("/7080", body).out, kOk);
  const RunResult x509 = shell(std::string("openssl x509 -noout -subject -enddate -in ") + kCert);
  EXPECT_EQ(x509.exit_code, 0) << x509.err;
  EXPECT_NE(x509.out.find("CN = nvr.local"), std::string::npos) << x509.out;
  EXPECT_NE(x509.out.find("notAfter=Jun 30 12:00:00 2030 GMT"), std::string::npos) << x509.out;
  EXPECT_EQ(post("/7081", "").out,
            kJsonHeader + R"({ "enable": 0, "checkfile": "OK", "country": "DE", "common_name": "nvr.local", )"
                          R"("email": "a@b.c", "dates": "Jan  1 00:00:00 2026 GMT - Jun 30 12:00:00 2030 GMT" })");

  // A signing request, signed by another authority and installed with the key kept for it.
  body.replace(body.find("\"InstallType\":0"), 15, "\"InstallType\":1");
  body.replace(body.find("nvr.local"), 9, "cam.example");
  ASSERT_EQ(post("/7080", body).out, kOk);
  EXPECT_EQ(post("/7089", "").out, kJsonHeader + R"({ "checkfile": "OK", "country_req": "DE", )"
                                                 R"("common_name_req": "cam.example", "email_req": "a@b.c" })");
  const std::string reply = post("/7082", "").out;
  write_file("/tmp/req.csr", reply.substr(reply.find("\r\n\r\n") + 4));
  EXPECT_EQ(shell("openssl req -verify -noout -in /tmp/req.csr").exit_code, 0);
  ASSERT_EQ(shell("cd /tmp && openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 2 "
                  "-subj /CN=TestCA 2>/dev/null && openssl x509 -req -in req.csr -CA ca.pem -CAkey ca.key "
                  "-CAcreateserial -days 2 -out signed.pem 2>/dev/null")
                .exit_code,
            0);
  const std::string before = read_file(kCert);
  EXPECT_EQ(install("signed.pem", read_file("/tmp/signed.pem")).out, kOk);
  EXPECT_EQ(read_file(kSaved), before);
  EXPECT_NE(post("/7081", "").out.find(R"("common_name": "cam.example")"), std::string::npos);

  // A certificate without a key of ours is refused and the installed one stays.
  const std::string installed = read_file(kCert);
  EXPECT_EQ(install("foreign.pem", read_file("/tmp/ca.pem")).out, kTextHeader + "Error");
  EXPECT_EQ(read_file(kCert), installed);
}

}  // namespace
}  // namespace zvtest
