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

TEST(EndToEndAnalytics, DrawReadCopyPlatesAndCounting) {
  DemoStack stack;
  ASSERT_TRUE(stack.ready());

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

  // People counting: set, read back on the canvas, reset.
  EXPECT_EQ(stack.post_json("/6145", R"({"chnid": 1, "lineNum": 1, "lineEnable": [1], "position": ["960;540;1920;1080"]})").body,
            "OK");
  const std::string counting = stack.post_json("/6144", R"({"channel": 1})").body;
  EXPECT_TRUE(contains(counting, R"("width": 1920, "height": 1080)")) << counting;
  EXPECT_TRUE(contains(counting, R"("position": [ "230;130;460;260", "1;1;1;1")")) << counting;
  EXPECT_TRUE(contains(stack.post_json("/6151", R"({"channel": 1, "type": 7})").body, R"("enable": 1)"));
  EXPECT_EQ(stack.post_json("/6154", R"({"channel": 1, "line": -1, "resetdb": 1})").body, "OK");
  EXPECT_EQ(stack.post_json("/6154", R"({"channel": 64})").body, R"({status:"CGI ERROR"})");
}

}  // namespace
}  // namespace zvtest
