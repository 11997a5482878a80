#define OPENSSL_SUPPRESS_DEPRECATED  // the library's own RSA, to check the padding against
// Service ports (the conflict rule), push settings, channel access, P2P switch, status and
// registration, the network tests and SNMP; and the simulator's answers to the network messages.
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/rsa.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstring>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "common/oplog.h"
#include "common/web_utils.h"
#include "common/messages/network_services.h"
#include "handlers/network/port_check.h"
#include "platform/zvdb/network_tables.h"
#include "platform/zvnet/p2p_crypt.h"
#include "tests/support/sockets.h"
#include "tests/support/request_fixture.h"
#include "tools/p2p-standin/standin.h"

namespace zvtest {
namespace {

class ServicesTest : public RequestTest {
 protected:
  PortConfig ports() {
    PortConfig p{};
    EXPECT_EQ(kPorts.read(kZvdbPath, &p, kNetworkRow), 0);
    return p;
  }
};

// The page's body with the factory ports, changed by `extra` members appended last.
std::string port_body(const std::string& extra = "") {
  return R"({"enableSsh":0,"sshPort":22,"httpPort":80,"rtspPort":554,"servicePort":6036,"posPort":5000,)"
         R"("httpsPort":443,"enableAccess":0,"needReboot":0,"channel_num":3,"pushType":5,)"
         R"("PushTypeNvrAlarmIn":7,"pushTypeArr":[1,2,3,4],"enableMsg":1,"pushNvrPos":"pos","pushVideoStream":1)" +
         extra + "}";
}

TEST(PortCheck, PoeRangeAndListeners) {
  const struct {
    int32_t port, poe;
    bool reserved;
  } rows[] = {{23000, 8, false}, {23001, 8, true}, {23008, 8, true}, {23009, 8, false},
              {23004, 4, true},  {23005, 4, false}, {23016, 16, true}, {23001, 5, false}};
  for (const auto& r : rows) EXPECT_EQ(port_reserved_for_poe(r.port, r.poe), r.reserved) << r.port << " " << r.poe;
  Listener busy;
  EXPECT_TRUE(port_has_listener(busy.port));
  const int free_port = busy.port;
  close(busy.fd);
  busy.fd = -1;
  EXPECT_FALSE(port_has_listener(free_port));
  // A UDP socket bound to a port takes it (an SNMP agent could not bind there).
  const int udp = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof a;
  ASSERT_EQ(bind(udp, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  getsockname(udp, reinterpret_cast<sockaddr*>(&a), &length);
  EXPECT_TRUE(port_has_listener(ntohs(a.sin_port)));
  close(udp);
  EXPECT_FALSE(port_has_listener(ntohs(a.sin_port)));
  // In a TCP table only the listening state counts; in a UDP table every row of the port does.
  const std::string dir = ::testing::TempDir();
  const std::string tcp = dir + "/tcp", udp_table = dir + "/udp6";
  const char* title = "  sl  local_address rem_address   st\n";
  write_file(tcp, std::string(title) + "   0: 0100007F:00A1 0100007F:9C40 01\n   1: 00000000:00A2 00000000:0000 0A\n");
  write_file(udp_table, std::string(title) + "   0: 00000000000000000000000000000000:00A3 "
                                             "00000000000000000000000000000000:0000 07\n");
  const char* const tables[] = {tcp.c_str(), udp_table.c_str(), nullptr};
  EXPECT_FALSE(port_has_listener(0xA1, tables));  // a connection's local port
  EXPECT_TRUE(port_has_listener(0xA2, tables));
  EXPECT_TRUE(port_has_listener(0xA3, tables));
  EXPECT_FALSE(port_has_listener(0xA4, tables));
}

TEST_F(ServicesTest, PortsStoreReadBackAndNotify) {
  ASSERT_EQ(set_param_int(kZvdbPath, "max_cameras", 4), 0);
  EXPECT_EQ(post("/7051", port_body(R"(,"httpPort":8081,"posPort":5001,"sshPort":2222,"needReboot":1)")).out, kOk);
  EXPECT_EQ(get("/7050").out,
            kJsonHeader + R"({ "enableSsh": 0, "sshPort": 2222, "httpPort": 8081, "httpsPort": 443, "rtspPort": 554, )"
                          R"("servicePort": 6036, "posPort": 5001, "enable_access": 0, "PushTypeArr": [ 1, 2, 3, 0 ], )"
                          R"("PushNvrAlarmInType": 7, "enableMsg": 1, "push_stream": 1, "pushNvrPos": "pos" })");
  settle();
  EXPECT_EQ(received_ids(*core_), (std::vector<int32_t>{kPosPortChanged.id, kPushSwitch.id, kMsgOpLog,
                                                        kNetworkChanged.id, kMsgOpLog, kReboot.id}));
  EXPECT_EQ(only_message(*core_, kPosPortChanged.id).payload, int32s({5001}));
  Bytes push(10, 0);
  push[0] = '1';
  EXPECT_EQ(only_message(*core_, kPushSwitch.id).payload, push);
  EXPECT_TRUE(only_message(*core_, kReboot.id).payload.empty());
  const auto logs = core_->received(kMsgOpLog);
  ASSERT_EQ(logs.size(), 2u);
  EXPECT_EQ(record_from<OpLogRecord>(logs[0].payload).sub_type, 204);
  EXPECT_EQ(record_from<OpLogRecord>(logs[0].payload).param_type, 918);
  EXPECT_EQ(record_from<OpLogRecord>(logs[1].payload).sub_type, 200);
  EXPECT_EQ(record_from<OpLogRecord>(logs[1].payload).param_type, 900);
  EXPECT_EQ(get_param_int(kZvdbPath, "push_type", 0), 5);
  // A push type that is not a number leaves that channel's as stored, and no other channel's.
  std::string body = port_body(R"(,"httpPort":8081,"posPort":5001,"sshPort":2222)");
  body.replace(body.find("[1,2,3,4]"), 9, R"([7,"x",9,9])");
  EXPECT_EQ(post("/7051", body).out, kOk);
  EXPECT_NE(get("/7050").out.find(R"("PushTypeArr": [ 7, 2, 9, 0 ])"), std::string::npos);
  // 65535 is the last port taken.
  EXPECT_EQ(post("/7051", port_body(R"(,"httpPort":65535)")).out, kOk);
  EXPECT_EQ(ports().http_port, 65535);
  // A stored switch above 1 reads as on.
  ASSERT_EQ(set_param_value(kZvdbPath, "enable_push_msg", "2"), 0);
  zvdb_close_all();
  EXPECT_NE(get("/7050").out.find(R"("enableMsg": 1, )"), std::string::npos);
}

// A set that waits for the settings lock reads the stored rows once it holds it: the port row
// another writer stored meanwhile keeps that writer's change (it was read before the wait and
// written back over it).
TEST_F(ServicesTest, MailSetWaitingForTheLockKeepsThePortStoredMeanwhile) {
  const int held = lock_file_acquire(kCgiLockFile);
  ASSERT_GE(held, 0);
  RunResult r;
  std::thread request([&] {
    r = post("/7031", R"({"smtpPort":25,"enableTls":0,"enableAttach":0,"captureInterval":0,"hostName":"nvr.lan"})");
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the request is waiting by now
  PortConfig meanwhile = ports();
  meanwhile.http_port = 8088;
  ASSERT_EQ(kPorts.write_at(kZvdbPath, &meanwhile, kNetworkRow), 0);
  zvdb_close_all();
  lock_file_release(held);
  request.join();
  EXPECT_EQ(r.out, kOk);
  EXPECT_EQ(ports().http_port, 8088);
  EXPECT_EQ(text_of(ports().host_name), "nvr.lan");
}

TEST_F(ServicesTest, PortsSetKeepsTheMembersItDoesNotCarry) {
  ASSERT_EQ(set_param_int(kZvdbPath, "max_cameras", 2), 0);
  EXPECT_EQ(post("/7051", port_body(R"(,"enableAccess":1)")).out, kOk);
  const std::string before = get("/7050").out;
  core_->clear_received();
  EXPECT_EQ(post("/7051", R"({"enableSsh":0,"sshPort":22,"httpPort":80,"rtspPort":554,"servicePort":6036,"enableMsg":1})")
                .out, kOk);
  EXPECT_EQ(get("/7050").out, before);
  EXPECT_EQ(get_param_int(kZvdbPath, "push_type", 0), 5);
  EXPECT_TRUE(core_->received(kChannelAccess.id).empty());
}

TEST_F(ServicesTest, ConflictingPortsKeepThePortRowButStorePush) {
  ASSERT_EQ(set_param_int(kZvdbPath, "max_poe_num", 8), 0);
  EXPECT_EQ(post("/7051", port_body(R"(,"httpPort":23005,"enableAccess":1)")).out, kTextHeader + "POE_Port_Error");
  EXPECT_EQ(ports().http_port, 80);
  EXPECT_EQ(get_param_int(kZvdbPath, "pushmsg_alarmin_type", 0), 7);
  EXPECT_EQ(get_param_int(kZvdbPath, "ch_access", 0), 1);
  EXPECT_EQ(only_message(*core_, kChannelAccess.id).payload, int32s({1}));
  EXPECT_TRUE(core_->received(kNetworkChanged.id).empty());
  Listener busy;
  EXPECT_EQ(post("/7051", port_body(",\"httpsPort\":" + std::to_string(busy.port))).out,
            kTextHeader + "POE_Port_Error");
  EXPECT_EQ(post("/7051", port_body(",\"posPort\":" + std::to_string(busy.port))).out,
            kTextHeader + "POS_Port_Error");
  EXPECT_EQ(ports().pos_port, 5000);
  ASSERT_EQ(set_param_int(kZvdbPath, "max_poe_num", 4), 0);
  EXPECT_EQ(post("/7051", port_body(R"(,"httpPort":23005)")).out, kOk);
  EXPECT_EQ(ports().http_port, 23005);
  // Unchanged ports are never tested, even where a listener sits or the PoE range lies.
  ASSERT_EQ(set_param_int(kZvdbPath, "max_poe_num", 16), 0);
  EXPECT_EQ(post("/7051", port_body(R"(,"httpPort":23005)")).out, kOk);
}

TEST_F(ServicesTest, PortRequestsRefused) {
  for (const char* extra : {R"(,"enableSsh":2)", R"(,"enableSsh":-1)", R"(,"sshPort":-1)", R"(,"sshPort":65536)",
                            R"(,"httpPort":-1)", R"(,"httpPort":65536)", R"(,"rtspPort":-1)", R"(,"rtspPort":65536)",
                            R"(,"servicePort":-1)", R"(,"servicePort":65536)", R"(,"posPort":-1)", R"(,"posPort":65536)",
                            R"(,"httpsPort":-1)", R"(,"httpsPort":65536)", R"(,"enableMsg":-1)", R"(,"rtspPort":"x")",
                            R"(,"sshPort":0)", R"(,"httpPort":0)", R"(,"rtspPort":0)", R"(,"servicePort":0)",
                            R"(,"posPort":0)", R"(,"httpsPort":0)"}) {
    expect_refused("/7051", port_body(extra));
  }
  expect_refused("/7051", R"({"enableSsh":0})");
  for (const std::string member : {"enableSsh", "sshPort", "httpPort", "rtspPort", "servicePort", "enableMsg"}) {
    std::string body = port_body();  // without the required member
    const size_t at = body.find("\"" + member + "\":");
    body.erase(at, body.find(',', at) + 1 - at);
    expect_refused("/7051", body);
  }
}

TEST_F(ServicesTest, PushListLoopsToSixtyFourAndEnableMsgAboveOneIsOff) {
  std::string many = "[";
  for (int i = 0; i < 70; ++i) many += std::to_string(i + 100) + (i < 69 ? "," : "]");
  EXPECT_EQ(post("/7051", port_body(R"(,"channel_num":1000,"enableMsg":5,"pushTypeArr":)" + many)).out, kOk);
  PushEvent e{};
  ASSERT_EQ(kPushEvents.read(kZvdbPath, &e, {63}), 0);
  EXPECT_EQ(e.type, 163);
  char text[8];
  get_param_value(kZvdbPath, "enable_push_msg", text, sizeof text, "");
  EXPECT_STREQ(text, "0");
}

TEST_F(ServicesTest, P2pSwitchWords) {
  const struct {
    int32_t reply;
    const char* text;
  } rows[] = {{0, "ERR_OK"}, {2, "ERR_NOTFOUND"}, {3, "ERR_NETWORK"}, {5, "ERR_MAC_FORMAT"},
              {6, "ERR_AUTH_FAILED"}, {7, "ERR_NO_UUID"}, {1, "ERR_UNKNOWN"}, {8, "ERR_UNKNOWN"}, {-1, "ERR_UNKNOWN"}};
  for (const auto& r : rows) {
    core_->reply(kP2pEnable.id, int32s({r.reply}));
    EXPECT_EQ(post("/7061", R"({"enableP2P":1})").out, kTextHeader + r.text);
  }
  const auto sent = core_->received(kP2pEnable.id).back().payload;
  ASSERT_EQ(sent.size(), 484u);
  EXPECT_EQ(int32_at(sent, 0), 1);
  core_->reply(kP2pDisable.id, int32s({1}));
  EXPECT_EQ(post("/7061", R"({"enableP2P":0})").out, kTextHeader + "ERR");
  core_->reply(kP2pDisable.id, int32s({0}));
  EXPECT_EQ(post("/7061", R"({"enableP2P":0})").out, kOk);
  core_->no_reply(kP2pDisable.id);
  EXPECT_EQ(post("/7061", R"({"enableP2P":0})").out, kCgiErrorText);
}

// The key files of registrations under way: name and mode.
std::vector<std::pair<std::string, mode_t>> key_files() {
  std::vector<std::pair<std::string, mode_t>> found;
  for (const std::string& name : list_dir("/tmp")) {
    struct stat st{};
    if (name.rfind("p2pkey", 0) == 0 && stat(("/tmp/" + name).c_str(), &st) == 0) {
      found.emplace_back(name, st.st_mode & 07777);
    }
  }
  return found;
}

TEST(P2pCrypt, SizesAndSealing) {
  const struct {
    size_t plain, sealed;
  } sizes[] = {{0, 0}, {1, 256}, {40, 256}, {214, 256}, {215, 512}, {568, 768}, {642, 768}, {643, 1024}};
  const P2pKeys device = p2p_keys_from_hex(p2p_keys::kDeviceN, p2p_keys::kDeviceD, p2p_keys::kServiceN, p2p_keys::kServiceE);
  const P2pKeys service = p2p_keys_from_hex(p2p_keys::kServiceN, p2p_keys::kServiceD, p2p_keys::kDeviceN, p2p_keys::kDeviceE);
  ASSERT_TRUE(device.ready() && service.ready());
  for (const auto& r : sizes) {
    EXPECT_EQ(rsa_cal_ensize(r.plain), r.sealed) << r.plain;
    std::string plain(r.plain, 'p'), sealed, opened;
    for (size_t i = 0; i < plain.size(); ++i) plain[i] = static_cast<char>(i);
    ASSERT_TRUE(p2p_seal(device, plain.data(), plain.size(), &sealed)) << r.plain;
    EXPECT_EQ(sealed.size(), r.sealed);
    if (plain.size() >= 16) {
      EXPECT_EQ(sealed.find(plain.substr(0, 16)), std::string::npos);  // nothing in clear
    }
    ASSERT_TRUE(p2p_open(service, sealed.data(), sealed.size(), &opened)) << r.plain;
    EXPECT_EQ(opened, plain);
    // Only the service opens what the device sealed; a short or altered block opens nothing.
    if (r.sealed == 0) continue;
    EXPECT_FALSE(p2p_open(device, sealed.data(), sealed.size(), &opened));
    EXPECT_FALSE(p2p_open(service, sealed.data(), sealed.size() - 1, &opened));
    sealed[7] ^= 1;
    EXPECT_FALSE(p2p_open(service, sealed.data(), sealed.size(), &opened));
  }
  EXPECT_FALSE(p2p_keys_from_hex("not a key", p2p_keys::kDeviceD, p2p_keys::kServiceN, p2p_keys::kServiceE).ready());
  EXPECT_FALSE(p2p_keys_from_hex(p2p_keys::kDeviceN, p2p_keys::kDeviceD, "10001", p2p_keys::kServiceE).ready())
      << "a modulus that is not 2048 bits";
  EXPECT_FALSE(p2p_cli_switch_keyfile("/tmp/no-such-key").ready());
}

// The padding is the standard one: the library's own RSA-OAEP opens what the device seals, and the
// device opens what the library sealed.
TEST(P2pCrypt, InteroperatesWithTheLibrarysOaep) {
  RSA* service = RSA_new();
  BIGNUM *n = nullptr, *e = nullptr, *d = nullptr;
  ASSERT_GT(BN_hex2bn(&n, p2p_keys::kServiceN), 0);
  ASSERT_GT(BN_hex2bn(&e, p2p_keys::kServiceE), 0);
  ASSERT_GT(BN_hex2bn(&d, p2p_keys::kServiceD), 0);
  ASSERT_EQ(RSA_set0_key(service, n, e, d), 1);
  const P2pKeys device = p2p_keys_from_hex(p2p_keys::kDeviceN, p2p_keys::kDeviceD, p2p_keys::kServiceN, p2p_keys::kServiceE);
  const P2pKeys as_service = p2p_keys_from_hex(p2p_keys::kServiceN, p2p_keys::kServiceD, p2p_keys::kDeviceN, p2p_keys::kDeviceE);
  for (size_t size : {size_t{1}, size_t{40}, size_t{213}, size_t{214}}) {
    std::string plain(size, 'q'), sealed, opened;
    ASSERT_TRUE(p2p_seal(device, plain.data(), plain.size(), &sealed));
    unsigned char out[256];
    const int got = RSA_private_decrypt(256, reinterpret_cast<const unsigned char*>(sealed.data()), out, service,
                                        RSA_PKCS1_OAEP_PADDING);
    ASSERT_EQ(got, static_cast<int>(size));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out), size), plain);
    unsigned char theirs[256];
    ASSERT_EQ(RSA_public_encrypt(static_cast<int>(size), reinterpret_cast<const unsigned char*>(plain.data()), theirs,
                                 service, RSA_PKCS1_OAEP_PADDING),
              256);
    ASSERT_TRUE(p2p_open(as_service, theirs, sizeof theirs, &opened)) << size;
    EXPECT_EQ(opened, plain);
  }
  // Blocks of another padding open nothing: a label other than the empty one, or a first byte
  // that is not 0.
  const auto* plain = reinterpret_cast<const unsigned char*>("registered");
  unsigned char em[256], block[256];
  std::string opened;
  ASSERT_EQ(RSA_padding_add_PKCS1_OAEP_mgf1(em, 256, plain, 10, reinterpret_cast<const unsigned char*>("x"), 1,
                                            EVP_sha1(), EVP_sha1()), 1);
  ASSERT_EQ(RSA_public_encrypt(256, em, block, service, RSA_NO_PADDING), 256);
  EXPECT_FALSE(p2p_open(as_service, block, sizeof block, &opened));
  ASSERT_EQ(RSA_padding_add_PKCS1_OAEP_mgf1(em, 256, plain, 10, nullptr, 0, EVP_sha1(), EVP_sha1()), 1);
  em[0] = 0x01;
  ASSERT_EQ(RSA_public_encrypt(256, em, block, service, RSA_NO_PADDING), 256);
  EXPECT_FALSE(p2p_open(as_service, block, sizeof block, &opened));
  RSA_free(service);
}

// The P2P service's stand-in on a free port, stored as the device's service address; -1 on failure.
int standin_service() {
  int port = 0;
  const int listener = p2p_standin_listen(0, &port);
  if (listener >= 0 && (set_param_value(kZvdbPath, "p2p_server", "127.0.0.1") != 0 ||
                        set_param_int(kZvdbPath, "p2p_port", port) != 0)) {
    close(listener);
    return -1;
  }
  return listener;
}

TEST_F(ServicesTest, P2pRegistrationAgainstTheStandIn) {
  EXPECT_EQ(post("/7062", R"({"sn":"S1","deviceName":"D"})").out, kTextHeader + "3");  // nothing listens
  const int listener = standin_service();
  ASSERT_GE(listener, 0);
  P2pInfo info{};
  info.enable = 1;
  std::memset(info.text1, 'a', sizeof info.text1);  // no NUL: 127 characters are sent
  std::snprintf(info.text2, sizeof info.text2, "second");
  std::snprintf(info.text4, sizeof info.text4, "%s", std::string(63, 'd').c_str());
  ASSERT_EQ(kP2p.write_at(kZvdbPath, &info, kNetworkRow), 0);
  const struct {
    P2pStandinAnswer answer;
    const char* reply;
  } rows[] = {
      {{P2pStandinAnswer::kText, 0, std::string(200, 'c')}, "0"},
      {{P2pStandinAnswer::kStatus, 2, ""}, "2"},
      {{P2pStandinAnswer::kStatus, 9, ""}, "9"},
      {{P2pStandinAnswer::kStatus, -1, ""}, "-1"},
      {{P2pStandinAnswer::kSilent, 0, ""}, "3"},
  };
  for (const auto& r : rows) {
    std::string body;
    std::vector<std::pair<std::string, mode_t>> during;
    std::thread service([&] { p2p_standin_serve_one(listener, r.answer, &body, [&] { during = key_files(); }); });
    EXPECT_EQ(post("/7062", R"({"sn":")" + std::string(80, 's') + R"(","deviceName":")" + std::string(40, 'f') +
                                "\"}").out,
              kTextHeader + r.reply);
    service.join();
    // The stand-in opened the body with the service's key: every byte as the device built it.
    ASSERT_EQ(body.size(), 568u);
    std::string expected(568, '\0');
    const std::string mac = body.substr(0, 17);
    EXPECT_EQ(mac.find_first_not_of("0123456789abcdefABCDEF:"), std::string::npos) << mac;
    expected.replace(0, 17, mac);
    expected.replace(24, 31, std::string(31, 'f'));
    expected.replace(56, 63, std::string(63, 's'));
    expected.replace(120, 127, std::string(127, 'a'));
    expected.replace(248, 6, "second");
    expected.replace(504, 63, std::string(63, 'd'));
    EXPECT_EQ(body, expected);
    // One key file of mode 600 while the exchange ran, none after it.
    ASSERT_EQ(during.size(), 1u);
    EXPECT_EQ(during[0].second, 0600u) << during[0].first;
    EXPECT_TRUE(key_files().empty());
  }
  close(listener);
  settle();
  const auto told = core_->received(kP2pRegistered.id);
  ASSERT_EQ(told.size(), 1u);
  Bytes expected(128, 0);
  std::fill(expected.begin(), expected.begin() + 127, 'c');
  EXPECT_EQ(told[0].payload, expected);
}

// A key file that cannot be written (no file of the request may grow) ends the exchange with 4:
// the connection is made, nothing is sent on it, no key file is left and the core is told nothing.
TEST_F(ServicesTest, P2pRegistrationWithoutAKeyFile) {
  const int listener = standin_service();
  ASSERT_GE(listener, 0);
  std::string body = "unset";
  int served = 0;
  std::thread service([&] { served = p2p_standin_serve_one(listener, {P2pStandinAnswer::kStatus, 0, ""}, &body); });
  // webreq inherits both: a write past the limit fails with EFBIG instead of killing it.
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  rlimit none = saved;
  none.rlim_cur = 0;
  const sighandler_t old_handler = signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &none), 0);
  const RunResult r = post("/7062", R"({"sn":"S1","deviceName":"D"})");
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, old_handler);
  service.join();
  close(listener);
  EXPECT_EQ(r.out, kTextHeader + "4");
  EXPECT_EQ(served, -1);  // the connection closed without a request
  EXPECT_TRUE(key_files().empty());
  settle();
  EXPECT_TRUE(core_->received(kP2pRegistered.id).empty());
}

// A peer that does not speak the sealed exchange: plain bytes, or an answer sealed for no one.
TEST_F(ServicesTest, P2pRegistrationRefusesWhatDoesNotOpen) {
  const int listener = standin_service();
  ASSERT_GE(listener, 0);
  const std::string plain_answer = [] {
    std::string a(256 + 256, '\0');
    const int32_t words[] = {2, 0, 256, 0, 1};
    std::memcpy(a.data(), words, sizeof words);
    return a;
  }();
  for (const std::string& answer : {plain_answer, std::string(100, 'x'), std::string()}) {
    std::thread peer([&] {
      const int fd = accept(listener, nullptr, nullptr);
      std::string request(256 + 768, '\0');
      size_t got = 0;
      for (ssize_t n; got < request.size() && (n = recv(fd, request.data() + got, request.size() - got, 0)) > 0;) {
        got += static_cast<size_t>(n);
      }
      EXPECT_EQ(got, request.size());
      EXPECT_EQ(request.find("ffff"), std::string::npos);  // nothing of the body in clear
      send(fd, answer.data(), answer.size(), MSG_NOSIGNAL);
      close(fd);
    });
    EXPECT_EQ(post("/7062", R"({"sn":"S1","deviceName":"ffffffff"})").out, kTextHeader + "3") << answer.size();
    peer.join();
  }
  close(listener);
  settle();
  EXPECT_TRUE(core_->received(kP2pRegistered.id).empty());
}

TEST_F(ServicesTest, NetworkTestsAndSmallReads) {
  core_->reply(kPingTest.id, int32s({0}));
  EXPECT_EQ(post("/7070", R"({"ip":"127.0.0.1"})").out, kTextHeader + "0");
  Bytes ping(20, 0);
  std::memcpy(ping.data(), "127.0.0.1", 9);
  EXPECT_EQ(only_message(*core_, kPingTest.id).payload, ping);
  core_->reply(kRouteTest.id, int32s({4}));
  EXPECT_EQ(post("/7071", R"({"dev":"eth0123456789ab","ip":"10.0.0.1"})").out, kTextHeader + "-1");
  const auto route = record_from<RouteTarget>(only_message(*core_, kRouteTest.id).payload);
  EXPECT_EQ(text_of(route.dev), "eth0123456789ab");
  EXPECT_EQ(text_of(route.ip), "10.0.0.1");
  core_->reply(kRouteTest.id, Bytes{});
  EXPECT_EQ(post("/7071", R"({"dev":"eth0","ip":"10.0.0.1"})").out, "");
  core_->no_reply(kPingTest.id);
  EXPECT_EQ(post("/7070", R"({"ip":"1.1.1.1"})").out, kCgiErrorText);
  expect_refused("/7070", R"x({"ip":"1.1.1.1;$(reboot)"})x");
  // An interface or address one character above its field: refused, not tested cut as another.
  expect_refused("/7071", R"({"dev":"eth0123456789abc","ip":"10.0.0.1"})");
  expect_refused("/7070", R"({"ip":"100.100.100.100.1000"})");
  expect_refused("/7070", R"({"ipaddr":"127.0.0.1"})");  // no "ip"
  expect_refused("/7071", R"({"dev":"eth0\n","ip":"1.1.1.1"})");
  core_->reply(kNetworkStatus.id, int32s({3}));
  EXPECT_EQ(get("/7094").out, kJsonHeader + R"({ "status": 3 })");
  core_->reply(kServiceRestart.id, int32s({9}));
  EXPECT_EQ(get("/7095").out, kJsonHeader + R"({ "res": 0 })");
  ASSERT_EQ(set_param_int(kZvdbPath, "ch_access", 1), 0);
  EXPECT_EQ(get("/7092").out, kJsonHeader + R"({ "access": 1 })");
  ASSERT_EQ(set_param_int(kZvdbPath, "max_poe_num", 8), 0);
  EXPECT_EQ(get("/7093").out, kJsonHeader + R"({ "max_poe_num": 8 })");
}

TEST_F(ServicesTest, SnmpRefusesAPoePortAndStoresTheRest) {
  ASSERT_EQ(set_param_int(kZvdbPath, "max_poe_num", 4), 0);
  EXPECT_EQ(post("/7091", R"({"port":23001,"v1_enable":1})").out, kTextHeader + "POE_Port_Error");
  // A user name one character above its 63: refused, not stored cut as another user.
  expect_refused("/7091", R"({"port":161,"read_security_name":")" + std::string(64, 'n') + R"("})");
  EXPECT_EQ(post("/7091", R"({"port":161,"v3_enable":1,"read_security_name":")" + std::string(63, 'n') +
                              R"(","write_pri_algorithm":2})").out, kOk);
  EXPECT_EQ(only_message(*core_, kNetworkChanged.id).payload, [] {
    Bytes b(32, 0);
    std::memcpy(b.data(), "snmp", 4);
    return b;
  }());
  EXPECT_EQ(get("/7090").out,
            kJsonHeader + R"({ "v1_enable": 0, "v2c_enable": 0, "write_community": "private", "read_community": "public", )"
                          R"("v3_enable": 1, "read_security_name": ")" + std::string(63, 'n') +
                R"(", "read_level_security": 0, "read_auth_algorithm": 0, "read_auth_password": "", )"
                R"("read_pri_algorithm": 0, "read_pri_password": "", "write_security_name": "", "write_level_security": 0, )"
                R"("write_auth_algorithm": 0, "write_auth_password": "", "write_pri_algorithm": 2, )"
                R"("write_pri_password": "", "port": 161, "sshPort": 22, "httpPort": 80, "rtspPort": 554, "httpsPort": 443 })");
}

// ---- the simulator ------------------------------------------------------------------------------

TEST_F(ServicesTest, SimulatorSendsMailOnlyThroughItsServer) {
  start_simulator();
  const std::string mail = R"({"smtpPort":25,"enableTls":0,"enableAttach":0,"captureInterval":0,"smtpServer":")";
  EXPECT_EQ(post("/7031", mail + R"(unreachable.invalid"})").out, kOk);
  EXPECT_EQ(get("/7032").out, kTextHeader + "ERROR");
  EXPECT_EQ(post("/7031", mail + R"(mail.zvsim.test"})").out, kOk);
  EXPECT_EQ(get("/7032").out, kOk);
  EXPECT_EQ(post("/7034", R"({"enable":1,"ip":"239.0.0.7"})").out, kJsonHeader + R"({ "res": 0 })");
  EXPECT_EQ(post("/7034", R"({"ip":"10.0.0.7"})").out, kJsonHeader + R"({ "res": -1 })");
  EXPECT_EQ(post("/7070", R"({"ip":"127.0.0.1"})").out, kTextHeader + "0");
  EXPECT_EQ(post("/7070", R"({"ip":"192.0.2.1"})").out, kTextHeader + "-1");
  EXPECT_EQ(post("/7061", R"({"enableP2P":1})").out, kTextHeader + "ERR_OK");
  const std::string status = get("/7060").out;
  EXPECT_EQ(status.rfind(kJsonHeader + R"({ "enable": 1, "p2pstatus": 0, "model": "NVR-SIM", )", 0), 0u) << status;
  EXPECT_EQ(post("/7061", R"({"enableP2P":0})").out, kOk);
  EXPECT_EQ(get("/7060").out.find(R"("enable": 0)"), kJsonHeader.size() + 2);
  EXPECT_EQ(post("/7096", R"({"defaultRoute":1})").out, kJsonHeader + R"({ "res": 0 })");
  EXPECT_EQ(get("/7094").out, kJsonHeader + R"({ "status": 1 })");
  EXPECT_EQ(get("/7095").out, kJsonHeader + R"({ "res": 0 })");
}

// A PPPoE set dials the simulated link (enabled with a user name) or hangs it up: the status page
// lists "ppp0" with the peer's address only while it is up.
TEST_F(ServicesTest, SimulatorDialsPppoeAsSet) {
  start_simulator();
  const struct {
    const char* body;
    bool up;
  } rows[] = {
      {R"({"enable":1,"autoConnect":1,"userName":"dsl-user","password":"pw"})", true},
      {R"({"enable":0,"autoConnect":1,"userName":"dsl-user","password":"pw"})", false},
      {R"({"enable":1,"autoConnect":0,"userName":"","password":"pw"})", false},
      {R"({"enable":1,"autoConnect":0,"userName":"again"})", true},
  };
  for (const auto& r : rows) {
    EXPECT_EQ(post("/7011", r.body).out, kOk) << r.body;
    const std::string status = get("/8000").out;
    const size_t ppp = status.find(R"({ "ifname": "ppp0", "id": 0, "state": 1, )");
    EXPECT_EQ(ppp != std::string::npos, r.up) << r.body << "\n" << status;
    EXPECT_EQ(status.find(R"("ipAddr": "100.64.0.2")") != std::string::npos, r.up) << status;
  }
}

}  // namespace
}  // namespace zvtest
