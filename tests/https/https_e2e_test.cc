// HTTPS through the whole stack: a self-signed certificate made by the core, HTTPS switched on and
// a page fetched over it with curl trusting only that certificate; a signing request downloaded,
// signed by an outside authority, uploaded as a browser does and served; HTTPS switched off.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/e2e/stack.h"

namespace zvtest {
namespace {

// The same page over HTTPS on the next port, trusting only `ca_file`.
std::string https_url(const DemoStack& stack, const std::string& path) {
  const std::string http = stack.url(path);
  const size_t colon = http.find(':', 7);
  const size_t slash = http.find('/', colon);
  const int port = std::stoi(http.substr(colon + 1, slash - colon - 1)) + 1;
  return "https://127.0.0.1:" + std::to_string(port) + http.substr(slash);
}

RunResult fetch_https(const DemoStack& stack, const std::string& path, const std::string& ca_file) {
  RunOptions options;
  options.args = {"-s", "-S", "--max-time", "5", "--cacert", ca_file, https_url(stack, path)};
  return run_program("/usr/bin/curl", options);
}

// Polls until the page answers over HTTPS with `expected` in its body (the server restarts with
// each new certificate).
bool https_serves(const DemoStack& stack, const std::string& ca_file, const std::string& expected) {
  for (int i = 0; i < 100; ++i) {
    const RunResult r = fetch_https(stack, "/7087", ca_file);
    if (r.exit_code == 0 && r.out.find(expected) != std::string::npos) return true;
    usleep(100 * 1000);
  }
  return false;
}

const char kSubject[] = R"("Country":"DE","CommonName":"127.0.0.1","Organization":"Zv","Email":"ops@nvr.example")";

TEST(EndToEndHttps, CertificatesAreMadeServedReplacedAndSwitchedOff) {
  DemoStack stack;
  ASSERT_TRUE(stack.ready());
  EXPECT_EQ(stack.post_json("/7086", R"({"httpsenable":1})").body, "NOFILE");

  ASSERT_EQ(stack.post_json("/7080", std::string(R"({"InstallType":0,"Validity":10,)") + kSubject + "}").body, "OK");
  EXPECT_EQ(shell("openssl x509 -noout -in /mnt/nand/ssl/ssl_cert.pem").exit_code, 0);
  ASSERT_EQ(stack.post_json("/7086", R"({"httpsenable":1})").body, "OK");
  ASSERT_TRUE(https_serves(stack, "/mnt/nand/ssl/ssl_cert.pem", R"({ "enable": 1 })"));
  const RunResult shown = fetch_https(stack, "/7081", "/mnt/nand/ssl/ssl_cert.pem");
  EXPECT_NE(shown.out.find(R"("checkfile": "OK", "country": "DE", "common_name": "127.0.0.1")"), std::string::npos)
      << shown.out;

  // A signing request, signed outside and uploaded.
  ASSERT_EQ(stack.post_json("/7080", std::string(R"({"InstallType":1,)") + kSubject + "}").body, "OK");
  const HttpReply csr = stack.get("/7082");
  EXPECT_NE(csr.headers.find("Content-Disposition: attachment; filename= ssl_cert.csr"), std::string::npos);
  write_file("/run/req.csr", csr.body);
  EXPECT_EQ(shell("openssl req -verify -noout -in /run/req.csr").exit_code, 0);
  ASSERT_EQ(shell("cd /run && openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 2 "
                  "-subj /CN=OutsideCA 2>/dev/null && printf 'subjectAltName=IP:127.0.0.1\\n' > ext && "
                  "openssl x509 -req -in req.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 -extfile ext "
                  "-out signed.pem 2>/dev/null")
                .exit_code,
            0);
  EXPECT_EQ(stack.get("/7084", {"-F", "file=@/run/signed.pem"}).body, "OK");
  EXPECT_TRUE(file_exists("/mnt/nand/ssl/ssl_cert_save.pem"));
  EXPECT_TRUE(https_serves(stack, "/run/ca.pem", R"({ "enable": 1 })")) << "the uploaded certificate is served";

  ASSERT_EQ(stack.post_json("/7086", R"({"httpsenable":0})").body, "OK");
  bool stopped = false;
  for (int i = 0; i < 100 && !stopped; ++i) {
    stopped = fetch_https(stack, "/7087", "/run/ca.pem").exit_code != 0;
    if (!stopped) usleep(100 * 1000);
  }
  EXPECT_TRUE(stopped);
  EXPECT_EQ(stack.get("/7087").body, R"({ "enable": 0 })");
}

}  // namespace
}  // namespace zvtest
