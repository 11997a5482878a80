// HTTPS module: the core's certificate step. A create (3316) really runs the openssl tool through
// argument vectors in the "demoCA" directory the web side prepared: a self-signed certificate
// (signed by `openssl ca -selfsign`, so the page's start and end dates are honoured) installed as
// /mnt/nand/ssl/ssl_cert.pem with its key in ssl_key.pem, or a signing request
// /mnt/nand/ssl/tmp/ssl_cert.csr with its key beside it. An install (3318) takes the uploaded
// certificate only when a key it has matches it. Each stores the row the pages show (kind 0 the
// installed certificate, kind 2 the request). The web server's side of HTTPS is published in
// /var/run/zvcore-sim.https as "<on> <generation>": on while HTTPS is switched on and a
// certificate with its key is installed; the generation changes with every new certificate (the
// demo restarts its HTTPS server then). `zvcore-sim ctl https state` prints the same.
#include <openssl/bio.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/json_fields.h"
#include "common/tool_runner.h"
#include "common/web_utils.h"
#include "common/messages/https.h"
#include "platform/zvdb/https_tables.h"
#include "platform/zvdb/zvdb.h"
#include "platform/zvstd/zvstd.h"
#include "tools/zvcore-sim/rules.h"

namespace {

constexpr char kKeyFile[] = "/mnt/nand/ssl/ssl_key.pem";
constexpr char kRequestKeyFile[] = "/mnt/nand/ssl/tmp/ssl_key.pem";
constexpr char kStateFile[] = "/var/run/zvcore-sim.https";
constexpr int kToolTimeMs = 60000;
constexpr int32_t kDefaultValidityDays = 365;

template <size_t N>
std::string text_of(const char (&field)[N]) {
  return std::string(field, strnlen(field, N));
}

bool regular_file(const char* path) {
  struct stat st {};
  return lstat(path, &st) == 0 && S_ISREG(st.st_mode);
}

bool run_openssl(const std::vector<std::string>& args) {
  std::vector<const char*> argv{"openssl"};
  for (const std::string& a : args) argv.push_back(a.c_str());
  ToolOptions options;
  options.time_limit_ms = kToolTimeMs;
  options.discard_errors = true;
  return run_tool(argv, options).succeeded();
}

// The subject for `openssl -subj`: empty attributes left out; a value holding a separator or a
// line break is refused (empty result).
std::string subject_of(const CertRequest& r) {
  const struct {
    const char* name;
    std::string value;
  } parts[] = {{"C", text_of(r.country)},       {"ST", text_of(r.province)},   {"L", text_of(r.region)},
               {"O", text_of(r.organization)},  {"OU", text_of(r.company)},    {"CN", text_of(r.common_name)},
               {"emailAddress", text_of(r.email)}};
  std::string subject;
  for (const auto& p : parts) {
    if (p.value.find_first_of("/=\r\n") != std::string::npos) return {};
    if (p.value.empty()) continue;
    subject += std::string("/") + p.name + "=";
    for (const char c : p.value) subject += c == '\\' ? std::string("\\\\") : std::string(1, c);
  }
  return subject;
}

// subjectAltName for a common name that is a plain host name or address (so clients that check
// the name against the alternative names accept it); empty otherwise.
std::string alt_name_of(const std::string& cn) {
  if (cn.empty() || cn.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789.-:") !=
                        std::string::npos) {
    return {};
  }
  unsigned a = 0, b = 0, c = 0, d = 0;
  char extra = 0;
  const bool ipv4 = std::sscanf(cn.c_str(), "%u.%u.%u.%u%c", &a, &b, &c, &d, &extra) == 4;
  return (ipv4 || cn.find(':') != std::string::npos ? "IP:" : "DNS:") + cn;
}

// A page date ("2026-12-09", "20261209", "2026-12-09 10:30:00") as openssl's YYYYMMDDHHMMSSZ;
// empty when it is not one.
std::string ca_date_of(const std::string& text) {
  std::string digits;
  for (const char c : text) {
    if (c >= '0' && c <= '9') digits += c;
  }
  if (digits.size() == 8) digits += "000000";
  if (digits.size() == 12) digits += "00";
  return digits.size() == 14 ? digits + "Z" : std::string();
}

bool write_text_file(const std::string& path, const std::string& text) {
  return write_whole_file(path.c_str(), text.data(), text.size()) == 0;
}

std::string read_text_file(const char* path) {
  size_t length = 0;
  void* data = read_whole_file(path, &length);
  if (data == nullptr) return {};
  std::string text(static_cast<const char*>(data), length);
  __zv_free(data, "zvcore-sim", __LINE__);
  return text;
}

// An OpenSSL object released by its own free function.
template <auto free_fn>
struct Release {
  template <class T>
  void operator()(T* object) const {
    free_fn(object);
  }
};
using X509Ptr = std::unique_ptr<X509, Release<X509_free>>;
using KeyPtr = std::unique_ptr<EVP_PKEY, Release<EVP_PKEY_free>>;
using BioPtr = std::unique_ptr<BIO, Release<BIO_free>>;

X509Ptr read_certificate(const char* path) {
  BioPtr bio(BIO_new_file(path, "r"));
  return X509Ptr(bio ? PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr) : nullptr);
}
KeyPtr read_key(const char* path) {
  BioPtr bio(BIO_new_file(path, "r"));
  return KeyPtr(bio ? PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr) : nullptr);
}

std::string time_text(const ASN1_TIME* t) {
  BioPtr bio(BIO_new(BIO_s_mem()));
  if (!bio || ASN1_TIME_print(bio.get(), t) != 1) return {};
  char* data = nullptr;
  const long n = BIO_get_mem_data(bio.get(), &data);
  return n > 0 ? std::string(data, static_cast<size_t>(n)) : std::string();
}

// The stored row of a certificate: its subject and validity dates.
CertRequest row_of(X509* cert) {
  CertRequest row{};
  X509_NAME* name = X509_get_subject_name(cert);
  const auto entry = [name](int nid, char* field, int size) {
    if (X509_NAME_get_text_by_NID(name, nid, field, size) < 0) field[0] = '\0';
  };
  entry(NID_countryName, row.country, sizeof row.country);
  entry(NID_commonName, row.common_name, sizeof row.common_name);
  entry(NID_stateOrProvinceName, row.province, sizeof row.province);
  entry(NID_localityName, row.region, sizeof row.region);
  entry(NID_organizationName, row.organization, sizeof row.organization);
  entry(NID_organizationalUnitName, row.company, sizeof row.company);
  entry(NID_pkcs9_emailAddress, row.email, sizeof row.email);
  const std::string dates = time_text(X509_get0_notBefore(cert)) + " - " + time_text(X509_get0_notAfter(cert));
  copy_text_field(row.dates, dates.c_str());
  return row;
}

class HttpsSim : public SimModule {
 public:
  const char* name() const override { return "https"; }

  void rules(SimRules& r) override {
    // A core started without a database (some tests) has HTTPS off.
    switched_on_ = access(kZvdbPath, F_OK) == 0 && get_param_int(kZvdbPath, "httpsenable", 0) != 0;
    publish();
    r.answer(kCertCreate, [this](const SimRequest& q, SimAnswer& a) {
      CertRequest request{};
      if (!payload_as(q, &request)) return a.int32(-1);
      std::lock_guard<std::mutex> lock(mutex_);
      a.int32(request.install_type == kCertSelfSigned ? self_signed(request) : signing_request(request));
    });
    r.answer(kCertRequestChanged, [this](const SimRequest&, SimAnswer&) {
      std::lock_guard<std::mutex> lock(mutex_);
      publish();
    });
    r.answer(kCertInstall, [this](const SimRequest&, SimAnswer& a) {
      std::lock_guard<std::mutex> lock(mutex_);
      a.int32(install());
    });
    r.answer(kCertDeleted, [this](const SimRequest&, SimAnswer&) {
      std::lock_guard<std::mutex> lock(mutex_);
      unlink(kKeyFile);
      ++generation_;
      publish();
    });
    r.answer(kHttpsSwitch, [this](const SimRequest& q, SimAnswer&) {
      int32_t value = 0;
      if (!payload_as(q, &value)) return;
      std::lock_guard<std::mutex> lock(mutex_);
      switched_on_ = value != 0;
      publish();
    });
  }

  bool control(const std::vector<std::string>& words, std::string* answer) override {
    if (words.size() != 1 || words[0] != "state") return false;
    std::lock_guard<std::mutex> lock(mutex_);
    *answer = state_text();
    return true;
  }

 private:
  bool serving() const { return switched_on_ && regular_file(kCertFile) && regular_file(kKeyFile); }
  std::string state_text() const { return std::to_string(serving() ? 1 : 0) + " " + std::to_string(generation_); }
  void publish() const { write_text_file(kStateFile, state_text() + "\n"); }

  int32_t self_signed(const CertRequest& r) {
    const std::string subject = subject_of(r);
    const std::string ca = kCaDir;
    if (subject.empty() || !regular_file((ca + "/index.txt").c_str())) return -1;
    mkdir((ca + "/private").c_str(), 0700);
    std::string config = "[ ca ]\ndefault_ca = CA_default\n[ CA_default ]\ndir = " + ca +
                         "\ndatabase = $dir/index.txt\nnew_certs_dir = $dir/newcerts\nserial = $dir/serial\n"
                         "default_md = sha256\npolicy = policy_anything\nunique_subject = no\n"
                         "x509_extensions = v3_self\n[ policy_anything ]\ncountryName = optional\n"
                         "stateOrProvinceName = optional\nlocalityName = optional\norganizationName = optional\n"
                         "organizationalUnitName = optional\ncommonName = supplied\nemailAddress = optional\n"
                         "[ v3_self ]\nbasicConstraints = critical,CA:true\nsubjectKeyIdentifier = hash\n";
    const std::string alt = alt_name_of(text_of(r.common_name));
    if (!alt.empty()) config += "subjectAltName = " + alt + "\n";
    const std::string cnf = ca + "/ca.cnf", key = ca + "/private/cakey.pem", req = ca + "/careq.pem",
                      cert = ca + "/cacert.pem";
    if (!write_text_file(cnf, config)) return -1;
    std::vector<std::string> sign{"ca", "-batch", "-selfsign", "-notext", "-config", cnf, "-keyfile", key,
                                  "-in", req, "-out", cert};
    const std::string start = ca_date_of(text_of(r.start_time)), end = ca_date_of(text_of(r.end_time));
    if (start.empty() != text_of(r.start_time).empty() || end.empty() != text_of(r.end_time).empty()) return -1;
    if (!start.empty() && !end.empty()) {
      sign.insert(sign.end(), {"-startdate", start, "-enddate", end});
    } else {
      sign.insert(sign.end(), {"-days", std::to_string(r.validity > 0 ? r.validity : kDefaultValidityDays)});
    }
    if (!run_openssl({"req", "-new", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", req, "-subj", subject,
                      "-config", cnf}) ||
        !run_openssl(sign)) {
      return -1;
    }
    X509Ptr made = read_certificate(cert.c_str());
    if (!made || !install_files(cert, key)) return -1;
    CertRequest row = row_of(made.get());
    if (kSslParams.write_at(kZvdbPath, &row, {kCertKindInstalled}) != 0) return -1;
    return 0;
  }

  int32_t signing_request(const CertRequest& r) {
    const std::string subject = subject_of(r);
    if (subject.empty()) return -1;
    mkdir(kSslDir, 0755);
    mkdir("/mnt/nand/ssl/tmp", 0755);
    const std::string part = std::string(kRequestFile) + ".part", key_part = std::string(kRequestKeyFile) + ".part";
    std::vector<std::string> args{"req", "-new", "-newkey", "rsa:2048", "-nodes", "-keyout", key_part,
                                  "-out", part, "-subj", subject};
    const std::string alt = alt_name_of(text_of(r.common_name));
    if (!alt.empty()) args.insert(args.end(), {"-addext", "subjectAltName = " + alt});
    if (!run_openssl(args) || rename(key_part.c_str(), kRequestKeyFile) != 0 ||
        rename(part.c_str(), kRequestFile) != 0) {
      unlink(part.c_str());
      unlink(key_part.c_str());
      return -1;
    }
    CertRequest row = r;
    std::memset(row.password, 0, sizeof row.password);
    std::memset(row.dates, 0, sizeof row.dates);
    return kSslParams.write_at(kZvdbPath, &row, {kCertKindRequest}) == 0 ? 0 : -1;
  }

  // Puts a made certificate and its key in place.
  bool install_files(const std::string& cert, const std::string& key) {
    mkdir(kSslDir, 0755);
    const std::string cert_text = read_text_file(cert.c_str()), key_text = read_text_file(key.c_str());
    if (cert_text.empty() || key_text.empty() || !write_text_file(kKeyFile, key_text) ||
        !write_text_file(kCertFile, cert_text)) {
      return false;
    }
    chmod(kKeyFile, 0600);
    ++generation_;
    publish();
    return true;
  }

  // 1 when the installed certificate is one and a key we have (in the file itself, from the
  // signing request, or the one in use) matches it; 0 otherwise.
  int32_t install() {
    X509Ptr cert = read_certificate(kCertFile);
    if (!cert) return 0;
    for (const char* path : {kCertFile, kRequestKeyFile, kKeyFile}) {
      KeyPtr key = read_key(path);
      if (!key || X509_check_private_key(cert.get(), key.get()) != 1) continue;
      if (path != kKeyFile) {
        BioPtr out(BIO_new(BIO_s_mem()));
        char* data = nullptr;
        if (!out || PEM_write_bio_PrivateKey(out.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) != 1) return 0;
        const long n = BIO_get_mem_data(out.get(), &data);
        if (n <= 0 || !write_text_file(kKeyFile, std::string(data, static_cast<size_t>(n)))) return 0;
        chmod(kKeyFile, 0600);
      }
      CertRequest row = row_of(cert.get());
      if (kSslParams.write_at(kZvdbPath, &row, {kCertKindInstalled}) != 0) return 0;
      ++generation_;
      publish();
      return 1;
    }
    return 0;
  }

  std::mutex mutex_;
  bool switched_on_ = false;
  unsigned generation_ = 0;
};

}  // namespace

std::unique_ptr<SimModule> make_https_sim() { return std::make_unique<HttpsSim>(); }
