// The analytics pages through the whole demo stack (web server, webreq, core simulator,
// database): regions and lines drawn on the page's canvas read back as drawn, an action block
// copied to other channels, the plate list edited and searched page by page, people counting
// set and reset.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/zvdb/analytics_tables.h"
#include "platform/zvdb/zvdb.h"
#include "tests/e2e/stack.h"

namespace zvtest {
namespace {

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::vector<std::string> plate_page(int offset, int size) {
  std::vector<PlateListEntry> out(static_cast<size_t>(size));
  int count = size;
  search_anpr_lists(kAnprDbPath, "black", offset, out.data(), &count, nullptr);
  std::vector<std::string> plates;
  for (int i = 0; i < count; ++i) plates.emplace_back(out[static_cast<size_t>(i)].plate);
  zvdb_close_all();
  return plates;
}

// Adds an enabled camera on each channel (the simulated analytics cameras are the connected ones).
void add_cameras(DemoStack& stack, std::initializer_list<int> channels) {
  for (int c : channels) {
    const std::string body = R"({"id": )" + std::to_string(c) + R"(, "name": "Cam", "enable": 1, "ipAddr": "192.168.1.)" +
                             std::to_string(100 + c) + R"(", "managePort": 80, "camProtocol": 0, "userName": "u",
        "password": "p", "transmitProtocol": 1, "mainRtspPort": 554, "mainSourcePath": "/main"})";
    EXPECT_EQ(stack.post_json("/2003", body).body, "OK") << c;
  }
}

std::string counters(int channel) {
  RunOptions options;
  options.args = {"ctl", "analytics", "counters", std::to_string(channel)};
  return run_program(bin_path("zvcore-sim"), options).out;
}

TEST(EndToEndAnalytics, DrawReadCopyPlatesAndCounting) {
  DemoStack stack;
  ASSERT_TRUE(stack.ready());
  add_cameras(stack, {1});

  // A region and a line on channel 1, drawn in canvas units, read back as drawn.
  EXPECT_EQ(stack.post_json("/6133", R"({"chnid": 1, "type": 0, "enable": 1, "sensitivity": 3, "objtype": 1,
      "polygonX": "10,200,300", "polygonY": "20,40,250", "copyChn": "0011",
      "dialog": {"chnid": 1, "interval": 15, "triChannels": "01"}})").body, "OK");
  EXPECT_EQ(stack.post_json("/6132", R"({"channel": 1, "type": 0})").body,
            R"({ "region": "", "enable": 1, "sensitivity": 3, "objtype": 1, "polygonX": "10,200,300", )"
            R"("polygonY": "20,40,250" })");
  EXPECT_EQ(stack.post_json("/6139", R"({"chnid": 1, "enable": 1, "line": [{"position": "100;50;301;259", "direction": 2}]})").body,
            "OK");
  EXPECT_TRUE(contains(stack.post_json("/6138", R"({"channel": 1})").body,
                       R"({ "direction": 2, "position": "100;50;301;259" })"));
  // The region set's action block reached channels 2 and 3 too.
  for (const char* channel : {"1", "2", "3"}) {
    EXPECT_TRUE(contains(stack.post_json("/6148", std::string(R"({"event": 0, "chnid": )") + channel + "}").body,
                         R"("interval": 15, )"))
        << channel;
  }
  EXPECT_FALSE(contains(stack.post_json("/6148", R"({"event": 0, "chnid": 4})").body, R"("interval": 15, )"));

  // Three plates on the black list, searched two at a time; one replaced, one deleted.
  EXPECT_EQ(stack.post_json("/6185", R"({"cnt": 3, "plate": [["", "black", "AA1"], ["", "black", "BB2"],
      ["", "black", "CC%203"]]})").body, "OK");
  EXPECT_EQ(plate_page(0, 2), (std::vector<std::string>{"AA1", "BB2"}));
  EXPECT_EQ(plate_page(2, 2), (std::vector<std::string>{"CC 3"}));
  EXPECT_EQ(stack.post_json("/6185", R"({"cnt": 1, "plate": [["BB2", "black", "BB9"]]})").body, "OK");
  EXPECT_EQ(stack.post_json("/6183", R"({"cnt": 1, "plate": ["AA1"]})").body, "OK");
  EXPECT_EQ(plate_page(0, 5), (std::vector<std::string>{"BB9", "CC 3"}));

  // The analytics areas of a camera never set carry its resolution (the page scales them by it).
  EXPECT_TRUE(contains(stack.post_json("/6194", R"({"channel": 1})").body, R"("width": 1920, "height": 1080 } ])"));

  // People counting: set, read back on the canvas, reset.
  EXPECT_EQ(stack.post_json("/6145", R"({"chnid": 1, "lineNum": 1, "lineEnable": [1], "position": ["960;540;1920;1080"]})").body,
            "OK");
  const std::string counting = stack.post_json("/6144", R"({"channel": 1})").body;
  EXPECT_TRUE(contains(counting, R"("width": 1920, "height": 1080)")) << counting;
  EXPECT_TRUE(contains(counting, R"("position": [ "230;130;460;260", "1;1;1;1")")) << counting;
  EXPECT_TRUE(contains(stack.post_json("/6151", R"({"channel": 1, "type": 7})").body, R"("enable": 1)"));
  EXPECT_EQ(counters(1), "ok 11 12 13 14\n") << "the simulated camera has counted";
  EXPECT_EQ(stack.post_json("/6154", R"({"channel": 1, "line": 2, "resetdb": 1})").body, "OK");
  EXPECT_EQ(counters(1), "ok 11 12 0 14\n");
  EXPECT_EQ(stack.post_json("/6154", R"({"channel": 1, "line": -1, "resetdb": 1})").body, "OK");
  EXPECT_EQ(counters(1), "ok 0 0 0 0\n");
  EXPECT_EQ(stack.post_json("/6154", R"({"channel": 64})").body, R"({status:"CGI ERROR"})");
}

// Every set of a camera-side setting is kept by the simulated camera and returned by its read.
TEST(EndToEndAnalytics, EverySetReadsBack) {
  DemoStack stack;
  ASSERT_TRUE(stack.ready());
  add_cameras(stack, {2, 4});
  struct Row {
    const char* set;
    const char* set_body;
    const char* set_reply;
    const char* read;
    const char* read_body;
    const char* expected;  // part of the read's reply
  } rows[] = {
      {"/6133", R"({"chnid": 2, "type": 1, "enable": 1, "region": "exit"})", "OK", "/6132",
       R"({"channel": 2, "type": 1})", R"({ "region": "exit", "enable": 1, )"},
      {"/6135", R"({"chnid": 2, "sensitivity": 4, "ignore_time": 30, "copyChn": "00001"})", "OK", "/6134",
       R"({"channel": 4})", R"("sensitivity": 4, "objtype": 0, "polygonX": "", "polygonY": "", "ignore_time": 30 })"},
      {"/6137", R"({"chnid": 2, "enable": 1, "sensitivity": 6})", "OK", "/6136", R"({"channel": 2})",
       R"({ "enable": 1, "sensitivity": 6 })"},
      {"/6141", R"({"chnid": 2, "time": 9, "size": 3})", "OK", "/6140", R"({"channel": 2})", R"("time": 9, "size": 3, )"},
      {"/6143", R"({"chnid": 2, "enable": 1, "tracks": 5})", "OK", "/6142", R"({"channel": 2})",
       R"({ "enable": 1, "tracks": 5 })"},
      {"/6171", R"({"chnid": 2, "left_enable": 1, "min_time": 8})", "OK", "/6172", R"({"channel": 2})",
       R"("left_enable": 1, "remove_enable": 0, "min_time": 8, )"},
      {"/6193", R"({"chnid": 2, "sensitivity": 3, "line": [{"enable": 1, "position": "46;26;460;260"}]})", "OK",
       "/6192", R"({"chnid": 2})", R"("sensitivity": 3, "line": [ { "enable": 1, "objtype": 0, "direction": 0, "position": "46;26;460;260" })"},
      {"/6147", R"({"chnid": 2, "fps": 12, "width": 1920, "height": 1080, "position": [{"maxWidth": 230, "maxHeight": 130}]})",
       "OK", "/6146", R"({"channel": 2})", R"("fps": 12, )"},
      {"/6195", R"({"chnid": 2, "fps": 7, "position": [{"minStartX": 3}]})", "OK", "/6194", R"({"channel": 2})",
       R"("fps": 7, )"},
      {"/6182", R"({"chnid": 2, "enable": 1, "cur_area": "EU", "post_http_user": "u"})", "OK", "/6181",
       R"({"chnid": 2})", R"("post_http_user": "u", )"},
      {"/6191", R"({"chnid": 2, "filter": 1, "wildcards": [{"enable": 1, "cr_count": 6, "format": "AA##"}]})", "OK",
       "/6190", R"({"chnid": 2})", R"({ "enable": 1, "cr_count": 6, "format": "AA##" })"},
      {"/6097", R"({"chnid": 2, "sensitivity": 5, "regional": [{"enable": 1, "polygonX": "1,2"}]})", R"({ "res": 0 })",
       "/6096", R"({"chnid": 2})", R"({ "result": 0, "chnid": 2, "sensitivity": 5, )"},
      {"/6131", R"({"chnid": 2, "fishmount": 1, "fishdisplay": 2, "fishcorrect": 3})", "OK", "/6130", R"({"id": 2})",
       R"({ "chnid": 2, "result": 0, "fishmount": 1, "fishdisplay": 2, "fishcorrect": 3 })"},
      {"/6197", R"({"ipaddr": "192.168.1.70", "transfer": 1, "install": 0, "display": 4})", R"({ "res": 0 })",
       "/6196", R"({"ipaddr": "192.168.1.70"})", R"({ "support": 1, "transfer": 1, "install": 0, "display": 4, "streamCnt": 2 })"},
      {"/6197", R"({"ipaddr": "192.168.1.71", "display": 4})", R"({ "res": -1 })", "/6196",
       R"({"ipaddr": "192.168.1.71"})", R"({ "support": 0, )"},
      {"/6137", R"({"chnid": 64})", "CGI ERROR", "/6157", R"({"channel": 2})", R"({ "support": 1, "type": 1 })"},
      {"/6186", R"({"chnid": 2})", R"({ "chnid": 2, "vca_support": 1, "vca_version": "V2.0" })", "/6189",
       R"({"chnid": 2})", R"({ "chnid": 2, "state": 0, "zoomNumber": 1 })"},
      // Channel 3 has no camera: its sets fail, its reads describe no camera.
      {"/6137", R"({"chnid": 3, "enable": 1})", "FAILED", "/6157", R"({"channel": 3})", R"({ "support": -1, "type": -1 })"},
      {"/6131", R"({"chnid": 3, "fishmount": 1})", "FAILED", "/6186", R"({"chnid": 3})", R"("vca_support": 0, )"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.set);
    EXPECT_EQ(stack.post_json(row.set, row.set_body).body, row.set_reply);
    const std::string read = stack.post_json(row.read, row.read_body).body;
    EXPECT_TRUE(contains(read, row.expected)) << read;
  }
  // The area converted on the way in is converted back on the way out.
  EXPECT_TRUE(contains(stack.post_json("/6146", R"({"channel": 2})").body, R"("maxWidth": 230, "maxHeight": 130 })"));
}

}  // namespace
}  // namespace zvtest
