// Access filter and alarm audio files: stored lists, the upload's rename, and canaries that prove
// hostile paths removed and moved nothing.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/messages/device.h"
#include "platform/zvdb/device_tables.h"
#include "platform/zvstd/url_coding.h"
#include "tests/admin/admin_fixture.h"
#include "tests/device/device_fixture.h"
#include "tests/support/held_lock.h"

namespace zvtest {
namespace {

class AccessAudioTest : public DeviceTest {
 protected:
  // An audio file uploaded as the page does (the front end moves it to /tmp/<name>).
  RunResult upload_audio(const std::string& name, const std::string& content, const std::string& query = "") {
    const Upload u = multipart_upload(name, content, query);
    return post("/6321", u.body, u.env);
  }
};

std::string encoded(const std::string& name) {
  char out[256];
  base64EncodeUrl(name.data(), name.size(), out, sizeof out);
  return out;
}

TEST_F(AccessAudioTest, FilterStoresAtMostAHundredAddressesInOrder) {
  EXPECT_EQ(get("/6300").out, kJsonHeader + R"({ "filterEnable": 0, "filterType": 1, "filterList": [ ] })");
  std::string list = R"([7, {"address_type": 1}, {"address_type": 1, "address": "10.0.0.1-10.0.0.9"},)"
                     R"({"address": ")" + std::string(31, '1') + R"("})";
  for (int i = 0; i < 100; ++i) list += R"(, {"address": "fe80::)" + std::to_string(i) + "\"}";
  EXPECT_EQ(post("/6301", R"({"filterEnable": 1, "filterType": 0, "filterList": )" + list + "]}").out, kOk);
  const std::string out = get("/6300").out;
  const std::string head =
            kJsonHeader + R"({ "filterEnable": 1, "filterType": 0, "filterList": [ { "address_type": 1, "address": )"
                          R"("10.0.0.1-10.0.0.9" }, { "address_type": 0, "address": ")" + std::string(31, '1') + "\" },";
  EXPECT_EQ(out.compare(0, head.size(), head), 0) << out;
  EXPECT_NE(out.find("fe80::97\" } ] }"), std::string::npos) << "entry 100 is fe80::97";
  EXPECT_EQ(out.find("fe80::98"), std::string::npos);
  EXPECT_EQ(ids(), (std::vector<int32_t>{1722}));
  // Absent members keep what is stored.
  EXPECT_EQ(post("/6301", R"({"filterType": 1})").out, kOk);
  EXPECT_NE(get("/6300").out.find(R"("filterEnable": 1, "filterType": 1, "filterList": [ { )"), std::string::npos);
  EXPECT_EQ(post("/6301", R"({"filterList": [{"address": "09aAfF::0"}]})").out, kOk);
  EXPECT_NE(get("/6300").out.find(R"("address": "09aAfF::0")"), std::string::npos);
  for (const char* body : {R"({"filterEnable": 2})", R"({"filterType": -1})", R"({"filterEnable": -1})",
                           R"({"filterType": 2})",
                           R"({"filterList": [{"address": "1.2.3.4; reboot"}]})", R"({"filterList": [{"address": ""}]})",
                           R"({"filterList": [{"address": "1.2.3.4", "address_type": -1}]})",
                           // Just outside the hexadecimal digits on each side.
                           R"({"filterList": [{"address": "fe80::g"}]})", R"({"filterList": [{"address": "FE80::G"}]})",
                           R"({"filterList": [{"address": "fe80::`"}]})", R"({"filterList": [{"address": "FE80::@"}]})",
                           // One character above the field: refused, never stored as another address.
                           R"({"filterList": [{"address": "fe80::1234:5678:9abc:def0-fe80::"}]})"}) {
    expect_refused("/6301", body);
  }
}


// A filter list stored while another request switches the filter type: the type stays switched.
TEST_F(AccessAudioTest, FilterKeepsWhatAnotherRequestStoredMeanwhile) {
  const RunResult set = while_lock_held([&] { return post("/6301", R"({"filterList": [{"address": "10.0.0.1"}]})"); },
                                        [&] {
                                          ASSERT_EQ(set_param_int(kZvdbPath, "access_filter_type", 0), 0);
                                          zvdb_close_all();
                                        });
  EXPECT_EQ(set.out, kOk);
  EXPECT_EQ(setting("access_filter_type"), "0");
}

TEST_F(AccessAudioTest, ListShowsUsedSlotsWithDecodedNames) {
  AudioFileEntry slots[3] = {{0, 1, {}}, {1, 0, {}}, {2, 1, {}}};
  std::strcpy(slots[0].name, encoded("Door bell").c_str());
  std::strcpy(slots[1].name, encoded("unused").c_str());
  std::strcpy(slots[2].name, "not*base64");
  core_->reply(kAudioFileList.id, concat({bytes_of(slots), Bytes{1, 2, 3}}));
  EXPECT_EQ(get("/6320").out, kJsonHeader + R"({ "audioFileList": [ { "id": 0, "enable": 1, "name": "Door bell" }, )"
                                            R"({ "id": 2, "enable": 1 } ], "status": 0 })");
  core_->reply(kAudioFileList.id, {});
  EXPECT_EQ(get("/6320").out, kCgiErrorJson);
  core_->no_reply(kAudioFileList.id);
  EXPECT_EQ(get("/6320").out, kCgiErrorJson);
}

TEST_F(AccessAudioTest, UploadIsRenamedToItsEncodedName) {
  EXPECT_EQ(upload_audio("ring.wav", "RIFF", "param:x").out,
            kTextHeader + "CGI OK status:[0], data:[" + encoded("ring.wav") + "]");
  EXPECT_EQ(read_file("/tmp/" + encoded("ring.wav")), "RIFF");
  EXPECT_FALSE(file_exists("/tmp/ring.wav"));
  // Neither ".wav" nor ".WAV": the upload is removed and the trace log says so.
  EXPECT_EQ(upload_audio("ring.mp3", "ID3").out, kTextHeader + "CGI ERROR status:[-1], data:[]");
  EXPECT_FALSE(file_exists("/tmp/ring.mp3"));
  EXPECT_NE(read_file("/mnt/nand/cgi_log.txt").find("OnSystem:3631 in : qmz upload_audio_file ret:[0], pData:[/tmp/ring.mp3], name:[]"),
            std::string::npos);
  // A name whose encoding would pass 127 characters: the one upload is removed.
  const std::string long_name = std::string(92, 'n') + ".WAV";
  EXPECT_EQ(upload_audio(long_name, "RIFF").out, kTextHeader + "CGI ERROR status:[-1], data:[]");
  EXPECT_FALSE(file_exists("/tmp/" + long_name));
}

TEST_F(AccessAudioTest, HostileUploadPathsRemoveAndMoveNothing) {
  write_file("/tmp/canary.wav", "c");
  write_file("/mnt/nand/canary.wav", "c");
  mkdir("/tmp/dir.wav", 0700);
  ASSERT_EQ(symlink("/tmp/canary.wav", "/tmp/link.wav"), 0);
  write_file("/tmp/cgilockfile", "");
  const std::string kLongest = std::string(123, 'c') + ".wav";
  write_file("/tmp/" + kLongest, "c");
  write_file("/tmp/zvconfig_1.db", "export");
  const std::vector<std::string> before = list_dir("/tmp");
  // A plain request, not an upload, naming a file of /tmp ("/tmp/canary.wav" would be moved,
  // "/tmp/zvconfig_1.db" removed), or a hostile path: refused, nothing touched.
  for (const char* path : {"/tmp/canary.wav", "/tmp/zvconfig_1.db", "/tmp/../mnt/nand/canary.wav",
                           "/mnt/nand/canary.wav", "/tmp/*.wav", "/tmp/link.wav", "/tmp/dir.wav", "/tmp/.hidden.wav",
                           "/tmp/cgilockfile", "", "/tmp/"}) {
    SCOPED_TRACE(path);
    EXPECT_EQ(get("/6321", path).out, kTextHeader + "CGI ERROR status:[-1], data:[]");
  }
  // One character above the longest upload path is refused, not cut to the upload that exists.
  EXPECT_EQ(get("/6321", "/tmp/" + kLongest + "x").out, kTextHeader + "CGI ERROR status:[-1], data:[]");
  EXPECT_EQ(list_dir("/tmp"), before);
  EXPECT_EQ(read_file("/tmp/canary.wav"), "c");
  EXPECT_EQ(read_file("/mnt/nand/canary.wav"), "c");
}

TEST_F(AccessAudioTest, AddRenamesTheUploadAndAsksTheCore) {
  write_file("/tmp/dXAxLndhdg", "RIFF");
  core_->reply(kAudioFileAdd.id, int32s({0}));
  // Upload names as /6321 leaves them: "up1.wav", "up2.wav", "up3.wav" in URL-safe Base64.
  EXPECT_EQ(post("/6322", R"({"uploadName": "dXAxLndhdg", "name": "Door bell"})").out,
            kJsonHeader + R"({ "status": 0 })");
  EXPECT_TRUE(file_exists("/tmp/" + encoded("Door bell")));
  EXPECT_EQ(only_message(*core_, kAudioFileAdd.id).payload, text_field(encoded("Door bell"), 128));
  EXPECT_EQ(only_message(*core_, 3485).payload, expected_log(204, 925));
  write_file("/tmp/dXAyLndhdg", "RIFF");
  for (const char* body : {R"({"uploadName": "", "name": "a"})",
                           R"({"uploadName": "../tmp/dXAyLndhdg", "name": "a"})",
                           R"({"uploadName": ".dXAyLndhdg", "name": "a"})", R"({"uploadName": "..", "name": "a"})",
                           R"({"uploadName": "missing", "name": "a"})", R"({"uploadName": "dXAyLndhdg", "name": ""})",
                           R"({"uploadName": "dXAyLndhdg"})", R"({"name": "a"})"}) {
    expect_refused("/6322", body, kCgiErrorJson);
  }
  expect_refused("/6322", R"({"uploadName": "dXAyLndhdg", "name": ")" + std::string(96, 'n') + "\"}", kCgiErrorJson);
  // One character above the longest base name is refused, not cut to a name that may exist.
  write_file("/tmp/" + std::string(127, 'u'), "RIFF");
  expect_refused("/6322", R"({"uploadName": ")" + std::string(128, 'u') + R"(", "name": "a"})", kCgiErrorJson);
  EXPECT_TRUE(file_exists("/tmp/" + std::string(127, 'u')));
  EXPECT_TRUE(file_exists("/tmp/dXAyLndhdg"));
  // A file the core refuses is removed, not left in /tmp.
  core_->reply(kAudioFileAdd.id, int32s({-3}));
  write_file("/tmp/dXAzLndhdg", "not a wave");
  EXPECT_EQ(post("/6322", R"({"uploadName": "dXAzLndhdg", "name": "c"})").out, kJsonHeader + R"({ "status": -3 })");
  EXPECT_FALSE(file_exists("/tmp/" + encoded("c")));
  EXPECT_FALSE(file_exists("/tmp/dXAzLndhdg"));
  // Another file of /tmp (a diagnostics package; "bm90ZQ" is "note", no ".wav" name) is no upload:
  // neither moved nor removed, and the core is not asked.
  write_file("/tmp/diagnostic-1.tar", "package");
  write_file("/tmp/bm90ZQ", "note");
  for (const char* name : {"diagnostic-1.tar", "bm90ZQ"}) {
    expect_refused("/6322", R"({"uploadName": ")" + std::string(name) + R"(", "name": "c"})", kCgiErrorJson);
    EXPECT_EQ(read_file("/tmp/" + std::string(name)), name[0] == 'd' ? "package" : "note");
  }
  core_->no_reply(kAudioFileAdd.id);
  core_->clear_received();
  EXPECT_EQ(post("/6322", R"({"uploadName": "dXAyLndhdg", "name": "b"})").out, kCgiErrorJson);
  EXPECT_EQ(ids(), (std::vector<int32_t>{4013})) << "no operation-log record without an answer";
}

TEST_F(AccessAudioTest, DeleteNameAndPlaySendTheSlot) {
  for (int32_t id : {4014, 4015, 4016}) core_->reply(id, int32s({-2}));
  EXPECT_EQ(post("/6323", R"({"idMask": 1025})").out, kJsonHeader + R"({ "status": -2 })");
  EXPECT_EQ(only_message(*core_, kAudioFileDelete.id).payload, int32s({1025}));
  EXPECT_EQ(post("/6324", R"({"id": 9, "name": "Siren"})").out, kJsonHeader + R"({ "status": -2 })");
  AudioFileEntry named{9, 1, {}};
  std::strcpy(named.name, encoded("Siren").c_str());
  EXPECT_EQ(only_message(*core_, kAudioFileName.id).payload, bytes_of(named));
  EXPECT_EQ(post("/6325", R"({"id": 0})").out, kJsonHeader + R"({ "status": -2 })");
  EXPECT_EQ(only_message(*core_, kAudioFilePlay.id).payload, int32s({0}));
  EXPECT_TRUE(core_->received(3485).empty()) << "a delete or rename the core refused changed nothing to log";
  for (int32_t id : {4014, 4015}) core_->reply(id, int32s({0}));
  EXPECT_EQ(post("/6323", R"({"idMask": 1})").out, kJsonHeader + R"({ "status": 0 })");
  EXPECT_EQ(post("/6324", R"({"id": 0, "name": "Bell"})").out, kJsonHeader + R"({ "status": 0 })");
  EXPECT_EQ(core_->received(3485).size(), 2u) << "a delete and a rename the core made are logged";
  core_->clear_received();
  for (const char* body : {R"({"idMask": 1024})", R"({"idMask": 0})", "{}"}) expect_refused("/6323", body, kCgiErrorJson);
  for (const char* body : {R"({"id": 10, "name": "a"})", R"({"id": -1, "name": "a"})", R"({"name": "a"})",
                           R"({"id": 1, "name": ""})", R"({"id": 1})"}) {
    expect_refused("/6324", body, kCgiErrorJson);
  }
  expect_refused("/6324", R"({"id": 1, "name": ")" + std::string(96, 'n') + "\"}", kCgiErrorJson);
  for (const char* body : {R"({"id": 10})", R"({"id": -1})", "{}", "x"}) expect_refused("/6325", body, kCgiErrorJson);
}

}  // namespace
}  // namespace zvtest
