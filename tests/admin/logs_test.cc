// Device log requests through the real front end with a fake core: the exact query payloads,
// the page and CSV replies, refusals, and the retention settings.
#include <gtest/gtest.h>
#include <json-c/json.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <thread>

#include "common/request.h"
#include "common/messages/admin.h"
#include "platform/zvdb/admin_tables.h"
#include "tests/admin/admin_fixture.h"
#include "tests/system/system_fixture.h"

namespace zvtest {
namespace {

class LogRequestTest : public SystemRequestTest {};

int32_t local_seconds(int y, int mo, int d, int h, int mi, int s) {
  struct tm tm {};
  tm.tm_year = y - 1900;
  tm.tm_mon = mo - 1;
  tm.tm_mday = d;
  tm.tm_hour = h;
  tm.tm_min = mi;
  tm.tm_sec = s;
  tm.tm_isdst = -1;
  return static_cast<int32_t>(mktime(&tm));
}

OpLogRecord entry(int32_t main, int64_t sub, int32_t param, const char* address, const char* user) {
  OpLogRecord e{};
  e.main_type = main;
  e.sub_type = sub;
  e.param_type = param;
  e.time = local_seconds(2026, 12, 8, 14, 5, 9);
  e.remote = 1;
  e.channel = 3;
  std::strncpy(e.remote_address, address, sizeof e.remote_address - 1);
  std::strncpy(e.user, user, sizeof e.user - 1);
  return e;
}

Bytes page(int32_t total, int32_t num, std::initializer_list<OpLogRecord> entries) {
  Bytes out = int32s({total, num});
  for (const OpLogRecord& e : entries) out = concat({out, bytes_of(e)});
  return out;
}

const char kSearch[] =
    R"({"language":"en","mainType":4,"subTypeArr":[213,10],"startTime":"2026-12-08 00:00:00",)"
    R"("endTime":"2026-12-08 23:59:59","curPageNum":3,"chnMask":"0101","searchNoChn":1})";

TEST_F(LogRequestTest, SearchSendsTheQueryAndPrintsTheTranslatedPage) {
  OpLogRecord first = entry(4, 213, 900, "::ffff:10.0.0.5", "admin");
  first.detail[0] = 'A';
  first.detail[2] = 3;
  first.detail[4] = '\x01';
  first.detail_size = 5;
  const OpLogRecord second = entry(32, 406, 925, "fe80::1%eth0", "guest");
  core_->reply(kLogSearch.id, page(7, 2, {first, second}));
  const RunResult r = post("/1002", kSearch);

  auto q = std::make_unique<LogQuery>(record_from<LogQuery>(only_message(*core_, kLogSearch.id).payload));
  EXPECT_EQ(q->start_time, local_seconds(2026, 12, 8, 0, 0, 0));
  EXPECT_EQ(q->end_time, local_seconds(2026, 12, 8, 23, 59, 59));
  EXPECT_EQ(q->main_type, 4);
  EXPECT_EQ(q->sub_type_count, 2);
  EXPECT_EQ(q->sub_types[0], 213);
  EXPECT_EQ(q->sub_types[1], 10);
  EXPECT_EQ(q->page, 3);
  EXPECT_EQ(q->channel_mask, 0b1010u);
  EXPECT_EQ(q->no_channel, 1);

  const std::string expected_first =
      R"({ "no": 0, "mainTypeValue": 4, "mainType": "Operation", "subTypeValue": 213, )"
      R"("subType": "Export configuration", "pts": )" + std::to_string(first.time) +
      R"(, "ptc": "2026-12-08 14:05:09", "parameterValue": 900, "parameter": "System", "remote": 1, )"
      R"("chanNo": 3, "disk": 0, "size": 5, "detail": "A", "detail2": [ 1090519808, 16777216, 0)";
  EXPECT_EQ(r.out.rfind(kJsonHeader + R"({ "count": 7, "num": 2, "curPageNum": 3, "log": [ { "no": 0,)", 0), 0u)
      << r.out;
  EXPECT_NE(r.out.find(expected_first), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(R"(, 0 ], "ip": "10.0.0.5", "user": "admin" })"), std::string::npos);
  EXPECT_NE(r.out.find(R"("mainType": "Exception", "subTypeValue": 406, "subType": "Record error")"), std::string::npos);
  EXPECT_NE(r.out.find(R"("ip": "fe80::1", "user": "guest" } ] })"), std::string::npos);

  // 64, the debug logs, is the last main type a search takes.
  core_->clear_received();
  std::string debug = kSearch;
  debug.replace(debug.find(R"("mainType":4)"), 12, R"("mainType":64)");
  post("/1002", debug);
  EXPECT_EQ(record_from<LogQuery>(only_message(*core_, kLogSearch.id).payload).main_type, 64);
}

TEST_F(LogRequestTest, SearchPrintsOnlyWhatThePayloadHolds) {
  core_->reply(kLogSearch.id, page(9, 5, {entry(4, 200, 900, "1.2.3.4", "a")}));
  JsonPtr reply(json_tokener_parse(body_of(post("/1002", kSearch).out).c_str()));
  json_object* log = nullptr;
  ASSERT_TRUE(json_object_object_get_ex(reply.get(), "log", &log));
  EXPECT_EQ(json_object_array_length(log), 1u);
  EXPECT_EQ(json_object_get_int(json_object_object_get(reply.get(), "num")), 1) << "the entries listed";
  EXPECT_EQ(json_object_get_int(json_object_object_get(reply.get(), "count")), 9);

  // A page lists at most 100 entries, whatever the core counts and sends.
  Bytes full = int32s({150, 101});
  for (int i = 0; i < 101; ++i) full = concat({full, bytes_of(entry(4, 200, 900, "1.2.3.4", "a"))});
  core_->reply(kLogSearch.id, full);
  reply.reset(json_tokener_parse(body_of(post("/1002", kSearch).out).c_str()));
  ASSERT_TRUE(json_object_object_get_ex(reply.get(), "log", &log));
  EXPECT_EQ(json_object_array_length(log), 100u);
  EXPECT_EQ(json_object_get_int(json_object_object_get(reply.get(), "num")), 100);

  core_->reply(kLogSearch.id, page(0, 0, {}));
  EXPECT_EQ(post("/1002", kSearch).out, kJsonHeader + "ERROR");
  core_->no_reply(kLogSearch.id);
  EXPECT_EQ(post("/1002", kSearch).out, kCgiErrorJson);
}

TEST_F(LogRequestTest, ListsStopAtTheirFields) {
  std::string subs = "[11";
  for (int i = 1; i < 101; ++i) subs += "," + std::to_string(100 + i);
  std::string body = kSearch;
  body.replace(body.find("[213,10]"), 8, subs + "]");
  body.replace(body.find("\"0101\""), 6, "\"" + std::string(65, '1') + "\"");
  core_->reply(kLogSearch.id, page(0, 0, {}));
  post("/1002", body);
  auto q = std::make_unique<LogQuery>(record_from<LogQuery>(only_message(*core_, kLogSearch.id).payload));
  EXPECT_EQ(q->sub_type_count, 100);
  EXPECT_EQ(q->sub_types[99], 199);
  EXPECT_EQ(q->channel_mask, ~uint64_t{0});

  std::string words = "[1";
  for (int i = 1; i < 129; ++i) words += ",1";
  core_->reply(kLogDetail.id, Bytes{});
  post("/1021", R"({"detail2":)" + words + "]}");
  const OpLogRecord sent = record_from<OpLogRecord>(only_message(*core_, kLogDetail.id).payload);
  EXPECT_EQ(sent.detail[511], 1);
  EXPECT_EQ(sent.reserved3[3], 0) << "the 129th word is not written past the detail";
}

TEST_F(LogRequestTest, QueriesFailingTheCheckAreRefused) {
  struct Case {
    const char* from;
    const char* to;
  } cases[] = {
      {R"("mainType":4)", R"("mainType":0)"},       {R"("mainType":4)", R"("mainType":65)"},
      {R"([213,10])", R"([9,10])"},                 {R"([213,10])", R"([])"},
      {R"("language":"en",)", ""},                  {R"(,"curPageNum":3)", ""},
      {R"("2026-12-08 00:00:00")", R"("yesterday")"}, {R"("endTime")", R"("end")"},
      {R"("subTypeArr":[213,10],)", ""},
  };
  for (const Case& c : cases) {
    std::string body = kSearch;
    body.replace(body.find(c.from), std::strlen(c.from), c.to);
    SCOPED_TRACE(body);
    EXPECT_EQ(post("/1002", body).out, kCgiErrorJson);
    std::string export_body = body;
    for (size_t at; (at = export_body.find("2026-12-08 ")) != std::string::npos;) export_body[at + 10] = 'T';
    EXPECT_EQ(post("/1003", export_body).out, "");
  }
  EXPECT_EQ(post("/1002", "{").out, kCgiErrorJson);
  EXPECT_TRUE(core_->received().empty());
}


// The query carries 32-bit seconds: the last second they hold is taken, the next one refused.
TEST_F(LogRequestTest, TimesStopAtTheLastThirtyTwoBitSecond) {
  auto local_text = [](time_t t) {
    struct tm tm {};
    localtime_r(&t, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &tm);
    return std::string(text);
  };
  std::string body = kSearch;
  body.replace(body.find("2026-12-08 23:59:59"), 19, local_text(INT32_MAX));
  core_->reply(kLogSearch.id, page(0, 0, {}));
  post("/1002", body);
  EXPECT_EQ(record_from<LogQuery>(only_message(*core_, kLogSearch.id).payload).end_time, INT32_MAX);

  core_->clear_received();
  body = kSearch;
  body.replace(body.find("2026-12-08 23:59:59"), 19, local_text(time_t{INT32_MAX} + 1));
  EXPECT_EQ(post("/1002", body).out, kCgiErrorJson);
  EXPECT_TRUE(core_->received().empty());
}
// A core export file: count, then each entry with its 4096-byte detail text.
void write_export(const std::string& path, std::initializer_list<std::pair<OpLogRecord, std::string>> rows) {
  std::string file(4, '\0');
  const int32_t count = static_cast<int32_t>(rows.size());
  std::memcpy(file.data(), &count, 4);
  for (const auto& [e, detail] : rows) {
    file.append(reinterpret_cast<const char*>(&e), sizeof e);
    std::string text = detail;
    text.resize(kLogExportDetailBytes, '\0');
    file += text;
  }
  write_file(path, file);
}

const char kExport[] =
    R"({"language":"en","mainType":4,"subTypeArr":[11,10,10],"startTime":"2026-12-08T00:00:00",)"
    R"("endTime":"2026-12-08T23:59:59","curPageNum":1,"ch":"5","na":1})";

TEST_F(LogRequestTest, ExportExpandsOperationMasksAndWritesCsvRows) {
  write_export("/tmp/core-export.bin", {{entry(4, 201, 900, "::ffff:10.1.1.1", "ad,min"), "said \"hi\""},
                                        {entry(4, 213, 999, "10.2.2.2", "op"), ""},
                                        {entry(4, 202, 900, "10.3.3.3", "=1+2"), "@SUM(1)"}});
  core_->reply(kLogExport.id, concat({int32s({0}), text_field("/tmp/core-export.bin", 64)}));
  write_file("/mnt/nand/mac.conf", "a0b1C2d3e4f5\n");  // the configured MAC names the file
  const RunResult r = post("/1003", kExport);

  auto q = std::make_unique<LogQuery>(record_from<LogQuery>(only_message(*core_, kLogExport.id).payload));
  EXPECT_EQ(q->sub_type_count, 1);
  EXPECT_EQ(q->sub_types[0], 101);
  EXPECT_EQ(q->sub_types[1], 0);
  EXPECT_EQ(q->channel_mask, 5u);
  EXPECT_EQ(q->no_channel, 1);
  EXPECT_EQ(q->page, 1);
  EXPECT_EQ(q->start_time, local_seconds(2026, 12, 8, 0, 0, 0));

  ASSERT_EQ(r.out.rfind("Content-Type:application/octet-stream\r\nContent-Disposition: attachment; filename= "
                        "Operation_log_a0b1C2d3e4f5_2",
                        0),
            0u)
      << r.out.substr(0, 200);
  const std::string body = r.out.substr(r.out.find("\r\n\r\n") + 4);
  EXPECT_EQ(body,
            "Number,Time,Main,Sub,Parameter,User,Ip,Channel,Log information,\r\n"
            "1,2026-12-08 14:05:09,Operation,Login,System,\"ad,min\",10.1.1.1,3,\"said \"\"hi\"\"\",\r\n"
            "2,2026-12-08 14:05:09,Operation,Export configuration,N/A,op,10.2.2.2,3,\"N/A\",\r\n"
            // A text a spreadsheet would run as a formula (a user name is the client's cookie) is text.
            "3,2026-12-08 14:05:09,Operation,Logout,System,\"'=1+2\",10.3.3.3,3,\"'@SUM(1)\",\r\n");
  EXPECT_FALSE(file_exists("/tmp/core-export.bin"));
  EXPECT_FALSE(file_exists("/tmp/log/log_web"));

  // Bits 0..29 of a mask are operations; bit 30 is none.
  core_->clear_received();
  std::string masks = kExport;
  masks.replace(masks.find("[11,10,10]"), 10, "[" + std::to_string(10 + (1 << 29) + (1 << 30)) + ",10,10]");
  post("/1003", masks);
  q = std::make_unique<LogQuery>(record_from<LogQuery>(only_message(*core_, kLogExport.id).payload));
  EXPECT_EQ(q->sub_type_count, 1);
  EXPECT_EQ(q->sub_types[0], 130);

  // Bit 0 of the second mask is the first web operation.
  core_->clear_received();
  masks = kExport;
  masks.replace(masks.find("[11,10,10]"), 10, "[11,11,10]");
  post("/1003", masks);
  q = std::make_unique<LogQuery>(record_from<LogQuery>(only_message(*core_, kLogExport.id).payload));
  EXPECT_EQ(q->sub_type_count, 2);
  EXPECT_EQ(q->sub_types[0], 101);
  EXPECT_EQ(q->sub_types[1], 131);

  // A mask that is not a number selects nothing and moves no other mask to its place.
  core_->clear_received();
  masks = kExport;
  masks.replace(masks.find("[11,10,10]"), 10, R"([11,"x",12])");
  post("/1003", masks);
  q = std::make_unique<LogQuery>(record_from<LogQuery>(only_message(*core_, kLogExport.id).payload));
  EXPECT_EQ(q->sub_type_count, 2);
  EXPECT_EQ(q->sub_types[0], 101);
  EXPECT_EQ(q->sub_types[1], 201);

  // The file is named after the main type.
  masks = kExport;
  masks.replace(masks.find(R"("mainType":4)"), 12, R"("mainType":8)");
  EXPECT_EQ(post("/1003", masks).out.rfind("Content-Type:application/octet-stream\r\nContent-Disposition: attachment; "
                                          "filename= Information_log_a0b1C2d3e4f5_2",
                                          0),
            0u);
}

TEST_F(LogRequestTest, ExportRemovesOnlyARegularCoreFile) {
  write_export("/tmp/kept.bin", {{entry(4, 201, 900, "1.1.1.1", "a"), "x"}});
  ASSERT_EQ(symlink("/tmp/kept.bin", "/tmp/link.bin"), 0);
  core_->reply(kLogExport.id, concat({int32s({0}), text_field("/tmp/link.bin", 64)}));
  const RunResult r = post("/1003", kExport);
  EXPECT_EQ(r.out.substr(r.out.find("\r\n\r\n") + 4), "Number,Time,Main,Sub,Parameter,User,Ip,Channel,Log information,\r\n");
  EXPECT_TRUE(file_exists("/tmp/kept.bin"));
  EXPECT_TRUE(file_exists("/tmp/link.bin"));
  core_->no_reply(kLogExport.id);
  EXPECT_EQ(post("/1003", kExport).out, kCgiErrorJson);
}

// An export the core reports failed is not served from whatever file its path names (an older
// export's, or one it left half-written).
TEST_F(LogRequestTest, ExportTheCoreFailedAnswersTheError) {
  write_export("/tmp/core-export.bin", {{entry(4, 201, 900, "1.1.1.1", "a"), "x"}});
  core_->reply(kLogExport.id, concat({int32s({-1}), text_field("/tmp/core-export.bin", 64)}));
  EXPECT_EQ(post("/1003", kExport).out, kCgiErrorJson);
}

TEST_F(LogRequestTest, RunningMarkerExistsOnlyWhileAnExportWaits) {
  EXPECT_EQ(get("/1022").out, kTextHeader + "NO");
  timing_ = "attempts=3,pause_us=1000,poll_us=2000";
  core_->reply(kLogExport.id, concat({int32s({0}), text_field("/tmp/none.bin", 64)}), 1500);
  std::thread exporter([this] { cgi_post("/1003", "application/json", kExport, {{"ZV_CORE_TIMING", timing_}}); });
  for (int i = 0; i < 200 && !file_exists("/tmp/log/log_web"); ++i) usleep(10000);
  EXPECT_EQ(cgi_get("/1022", "").out, kTextHeader + "OK");
  exporter.join();
  EXPECT_EQ(get("/1022").out, kTextHeader + "NO");

  // An export that ends leaves a marker that another process took.
  std::thread second([this] { cgi_post("/1003", "application/json", kExport, {{"ZV_CORE_TIMING", timing_}}); });
  for (int i = 0; i < 200 && !file_exists("/tmp/log/log_web"); ++i) usleep(10000);
  write_file("/tmp/log/log_web", std::to_string(getpid()));
  second.join();
  EXPECT_EQ(get("/1022").out, kTextHeader + "OK");
  // An export that ends while an earlier one still waits (here the test process) leaves the
  // marker to the one that waits.
  core_->reply(kLogExport.id, concat({int32s({0}), text_field("/tmp/none.bin", 64)}));
  post("/1003", kExport);
  EXPECT_EQ(get("/1022").out, kTextHeader + "OK");
  EXPECT_EQ(read_file("/tmp/log/log_web"), std::to_string(getpid()) + "\n");
  // A marker left by an export that was killed names no live process.
  const pid_t gone = fork();
  if (gone == 0) _exit(0);
  waitpid(gone, nullptr, 0);
  write_file("/tmp/log/log_web", std::to_string(gone));
  EXPECT_EQ(get("/1022").out, kTextHeader + "NO");
}

TEST_F(LogRequestTest, DetailSendsTheEntryAndPrintsTheCoreText) {
  core_->reply(kLogDetail.id, text_field("camera 3 changed", 40));
  const std::string body =
      R"({"mainTypeValue":4,"subTypeValue":213,"pts":99,"parameterValue":900,"remote":1,"chanNo":2,)"
      R"("size":8,"detail2":[16909060,-1,"x",5],"ip":")" + std::string(50, 'i') + R"(","user":"admin"})";
  EXPECT_EQ(post("/1021", body).out, kTextHeader + "camera 3 changed");
  OpLogRecord expected{};
  expected.main_type = 4;
  expected.sub_type = 213;
  expected.time = 99;
  expected.param_type = 900;
  expected.remote = 1;
  expected.channel = 2;
  expected.detail_size = 8;
  const unsigned char words[] = {1, 2, 3, 4, 0xff, 0xff, 0xff, 0xff, 0, 0, 0, 0, 0, 0, 0, 5};
  std::memcpy(expected.detail, words, sizeof words);
  std::memset(expected.remote_address, 'i', 45);
  std::strcpy(expected.user, "admin");
  EXPECT_EQ(only_message(*core_, kLogDetail.id).payload, bytes_of(expected));

  // 512, the whole detail, is the largest size taken.
  core_->clear_received();
  std::string whole = body;
  whole.replace(whole.find(R"("size":8)"), 8, R"("size":512)");
  post("/1021", whole);
  EXPECT_EQ(record_from<OpLogRecord>(only_message(*core_, kLogDetail.id).payload).detail_size, 512u);
  core_->clear_received();

  core_->reply(kLogDetail.id, Bytes{});
  EXPECT_EQ(post("/1021", body).out, kTextHeader + "N/A");
  core_->no_reply(kLogDetail.id);
  EXPECT_EQ(post("/1021", body).out, kCgiErrorText);
}

std::string keys_of_subtypes(json_object* list) {
  std::string out;
  for (size_t i = 0; i < json_object_array_length(list); ++i) {
    json_object* key = nullptr;
    json_object_object_get_ex(json_object_array_get_idx(list, i), "key", &key);
    out += std::to_string(json_object_get_int(key)) + " ";
  }
  return out;
}

TEST_F(LogRequestTest, CatalogueListsTranslatedTypes) {
  const RunResult r = post("/1015", R"({"lan":"DE"})");
  ASSERT_EQ(r.out.rfind(kJsonHeader + R"({ "mainType": [ { "key": 1, "name": "Alle" }, { "key": 2, "name": "Ereignis" }, )", 0),
            0u)
      << r.out;
  JsonPtr reply(json_tokener_parse(body_of(r.out).c_str()));
  json_object* subs = nullptr;
  ASSERT_TRUE(json_object_object_get_ex(reply.get(), "subType", &subs));
  // Main type 2: 11..36 without 15, 16, 31, 32, then 38..41, after "All": 1 + 22 + 4.
  const size_t sizes[] = {1, 27, 70, 17, 12, 5};
  ASSERT_EQ(json_object_array_length(subs), 6u);
  for (size_t i = 0; i < 6; ++i) EXPECT_EQ(json_object_array_length(json_object_array_get_idx(subs, i)), sizes[i]) << i;
  EXPECT_EQ(keys_of_subtypes(json_object_array_get_idx(subs, 1)),
            "10 11 12 13 14 17 18 19 20 21 22 23 24 25 26 27 28 29 30 33 34 35 36 38 39 40 41 ");
  EXPECT_EQ(keys_of_subtypes(json_object_array_get_idx(subs, 3)).substr(0, 27), "10 500 501 502 503 504 505 ");
  EXPECT_EQ(keys_of_subtypes(json_object_array_get_idx(subs, 3)).find("507"), std::string::npos);

  ASSERT_EQ(set_param_int(kZvdbPath, "oem_type", 90), 0);
  zvdb_close_all();
  const std::string oem = post("/1015", R"({"lan":"en"})").out;
  EXPECT_NE(oem.find(R"({ "key": 15, "name": "Video loss start" })"), std::string::npos);
  EXPECT_NE(oem.find(R"({ "key": 10, "name": "All" })"), std::string::npos);
  EXPECT_EQ(post("/1015", "[").out, kCgiErrorJson);
}

TEST_F(LogRequestTest, RetentionAcceptsOnlyItsValues) {
  EXPECT_EQ(get("/1016").out, kJsonHeader + R"({ "logRetention": 0, "photoRetention": 0 })");
  EXPECT_EQ(post("/1017", R"({"logRetention":4,"photoRetention":-1})").out, kOk);
  EXPECT_EQ(core_->received(kRetentionChanged.id).size(), 1u);
  EXPECT_EQ(only_message(*core_, kRetentionChanged.id).payload, Bytes{});
  EXPECT_EQ(post("/1017", R"({"photoRetention":12})").out, kOk);
  EXPECT_EQ(get("/1016").out, kJsonHeader + R"({ "logRetention": 4, "photoRetention": 12 })");
  core_->clear_received();
  for (const char* bad : {R"({"logRetention":3})", R"({"logRetention":-2})", R"({"photoRetention":13})",
                          R"({"photoRetention":14})", R"({"logRetention":14})", "{"}) {
    expect_refused("/1017", bad);
  }
}

}  // namespace
}  // namespace zvtest
