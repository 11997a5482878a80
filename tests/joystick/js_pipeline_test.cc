// The two stages below the dispatch: input events -> controller lines, and controller lines ->
// key records; plus the message-4002 payload of the command sender.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "joystick/js_command.h"
#include "joystick/js_controller.h"
#include "joystick/js_parse.h"
#include "tests/joystick/js_test_support.h"

namespace zvjs {
namespace {

TEST(JoystickAxis, ScalesAroundTheCentreWithDeadZoneRoundingAndClamp) {
  const struct {
    int32_t raw;
    int expected;
  } cases[] = {
      {512, 0},   {537, 0},  {487, 0},        {563, 0},         {461, 0},  // |s| < 1
      {564, 1},   {460, -1}, {588, 1},        {589, 2},                    // rounding
      {640, 3},   {384, -3},                                               // s = +-2.5: away from zero
      {0, -10},   {1023, 10},                                              // the full range
      {2000, 10}, {-900, -10}, {INT32_MAX, 10}, {INT32_MIN, -10},          // clamped
  };
  for (const auto& c : cases) EXPECT_EQ(scale_axis(c.raw), c.expected) << "raw " << c.raw;
}

TEST(JoystickAxis, DirectionOfEveryDeflection) {
  const struct {
    int x, y, direction;
  } cases[] = {
      {0, 0, kDirStop},      {-3, 0, kDirLeft},   {3, 0, kDirRight},     {0, -3, kDirUp},       {0, 3, kDirDown},
      {-3, -3, kDirLeftUp}, {3, -3, kDirRightUp}, {-3, 3, kDirLeftDown}, {3, 3, kDirRightDown},
  };
  for (const auto& c : cases) EXPECT_EQ(stick_direction(c.x, c.y), c.direction) << c.x << "," << c.y;
}

// Feeds events and collects the controller lines of the reported changes.
std::vector<std::string> lines_of(const std::vector<test::Step>& steps) {
  ControllerTranslator translator;
  std::vector<std::string> lines;
  for (const auto& step : steps) {
    if (translator.apply(step.event)) lines.push_back(encode_controller_line(translator.state()));
  }
  return lines;
}

TEST(JoystickTranslation, EventSequencesGiveControllerLines) {
  using test::axis;
  using test::key;
  const struct {
    const char* name;
    std::vector<test::Step> events;
    std::vector<std::string> lines;
  } cases[] = {
      {"stick left, held, deeper, back",
       {axis(0, 0), axis(0, 0), axis(0, 100), axis(0, 512)},
       {"IP-Controller:J-LL-H10-V00:EOF", "IP-Controller:J-LL-H08-V00:EOF", "IP-Controller:J-ST-H00-V00:EOF"}},
      {"jitter inside the dead zone",
       {axis(0, 537), axis(0, 487), axis(1, 530)},
       {}},
      {"all eight directions",
       {axis(0, 0), axis(1, 0), axis(0, 512), axis(0, 1023), axis(1, 512), axis(1, 1023), axis(0, 512), axis(0, 0)},
       {"IP-Controller:J-LL-H10-V00:EOF", "IP-Controller:J-LU-H10-V10:EOF", "IP-Controller:J-UU-H00-V10:EOF",
        "IP-Controller:J-RU-H10-V10:EOF", "IP-Controller:J-RR-H10-V00:EOF", "IP-Controller:J-RD-H10-V10:EOF",
        "IP-Controller:J-DD-H00-V10:EOF", "IP-Controller:J-LD-H10-V10:EOF"}},
      {"twist: only centre <-> off-centre counts",
       {axis(2, 1023), axis(2, 800), axis(2, 0), axis(2, 512), axis(2, 0), axis(2, 512)},
       {"IP-Controller:J-Z-TELE:EOF", "IP-Controller:J-Z-STOP:EOF", "IP-Controller:J-Z-WIDE:EOF",
        "IP-Controller:J-Z-STOP:EOF"}},
      {"button B press and release, auto-repeat is no change",
       {key(298, 1), key(298, 2), key(298, 0)},
       {"IP-Controller:J-B-DOWN:EOF", "IP-Controller:J-B-UP:EOF"}},
      {"the ten digit buttons give the keypad's 1..9 and 0",
       {key(288, 1), key(288, 0), key(289, 1), key(289, 0), key(290, 1), key(290, 0), key(291, 1), key(291, 0),
        key(292, 1), key(292, 0), key(293, 1), key(293, 0), key(294, 1), key(294, 0), key(295, 1), key(295, 0),
        key(296, 1), key(296, 0), key(297, 1), key(297, 0)},
       {"IP-Controller:R02-C05:EOF", "IP-Controller:R00-C00:EOF", "IP-Controller:R02-C06:EOF",
        "IP-Controller:R00-C00:EOF", "IP-Controller:R02-C07:EOF", "IP-Controller:R00-C00:EOF",
        "IP-Controller:R03-C05:EOF", "IP-Controller:R00-C00:EOF", "IP-Controller:R03-C06:EOF",
        "IP-Controller:R00-C00:EOF", "IP-Controller:R03-C07:EOF", "IP-Controller:R00-C00:EOF",
        "IP-Controller:R04-C05:EOF", "IP-Controller:R00-C00:EOF", "IP-Controller:R04-C06:EOF",
        "IP-Controller:R00-C00:EOF", "IP-Controller:R04-C07:EOF", "IP-Controller:R00-C00:EOF",
        "IP-Controller:R05-C06:EOF", "IP-Controller:R00-C00:EOF"}},
      {"escape key",
       {key(299, 1), key(299, 0)},
       {"IP-Controller:R01-C01:EOF", "IP-Controller:R00-C00:EOF"}},
      {"auto-repeat keeps a key held", {key(288, 1), key(288, 2), key(289, 1), key(289, 0), key(288, 0)},
       {"IP-Controller:R02-C05:EOF", "IP-Controller:R00-C00:EOF"}},
      {"one pressed value shared by all keys",
       {key(288, 1), key(289, 1), key(289, 0), key(288, 0)},
       {"IP-Controller:R02-C05:EOF", "IP-Controller:R00-C00:EOF"}},
      {"each event names its own control: twist, stick, escape, stick",
       {axis(2, 1023), axis(1, 0), key(299, 1), key(299, 0), axis(0, 0)},
       {"IP-Controller:J-Z-TELE:EOF", "IP-Controller:J-UU-H00-V10:EOF", "IP-Controller:R01-C01:EOF",
        "IP-Controller:R00-C00:EOF", "IP-Controller:J-LU-H10-V10:EOF"}},
      {"unmapped buttons, other axes and other event types change nothing",
       {key(288, 1), key(288, 0), key(300, 1), key(300, 0), key(30, 1), axis(5, 0), test::other(0, 0, 0),
        test::other(4, 4, 7)},
       {"IP-Controller:R02-C05:EOF", "IP-Controller:R00-C00:EOF"}},
  };
  for (const auto& c : cases) EXPECT_EQ(lines_of(c.events), c.lines) << c.name;
}

TEST(JoystickParse, ControllerLinesGiveKeyRecords) {
  const struct {
    const char* line;
    int kind, key, value, h, v;
    const char* name;
  } cases[] = {
      {"IP-Controller:J-B-DOWN:EOF", 2, 45, 1, 0, 0, "ENTER"},
      {"IP-Controller:J-B-UP:EOF", 2, 45, 0, 0, 0, "STOP"},
      {"IP-Controller:J-Z-WIDE:EOF", 2, 46, 10, 0, 0, "WIDE"},
      {"IP-Controller:J-Z-TELE:EOF", 2, 46, 11, 0, 0, "TELE"},
      {"IP-Controller:J-Z-STOP:EOF", 2, 46, 12, 0, 0, "STOP"},
      {"IP-Controller:J-LL-H10-V00:EOF", 2, 47, 2, 10, 0, "Left"},
      {"IP-Controller:J-RR-H07-V00:EOF", 2, 47, 3, 7, 0, "Right"},
      {"IP-Controller:J-UU-H00-V03:EOF", 2, 47, 4, 0, 3, "Up"},
      {"IP-Controller:J-DD-H00-V10:EOF", 2, 47, 5, 0, 10, "Down"},
      {"IP-Controller:J-LU-H01-V02:EOF", 2, 47, 6, 1, 2, "UpLeft"},
      {"IP-Controller:J-RU-H03-V04:EOF", 2, 47, 7, 3, 4, "UpRight"},
      {"IP-Controller:J-LD-H05-V06:EOF", 2, 47, 8, 5, 6, "DownLeft"},
      {"IP-Controller:J-RD-H09-V08:EOF", 2, 47, 9, 9, 8, "DownRight"},
      {"IP-Controller:J-ST-H00-V00:EOF", 2, 47, 12, 0, 0, "STOP"},
      {"IP-Controller:R01-C01:EOF", 1, 1, 1, 0, 0, "ESC"},
      {"IP-Controller:R02-C05:EOF", 1, 22, 1, 0, 0, "1"},
      {"IP-Controller:R03-C06:EOF", 1, 26, 1, 0, 0, "5"},
      {"IP-Controller:R04-C07:EOF", 1, 30, 1, 0, 0, "9"},
      {"IP-Controller:R05-C06:EOF", 1, 21, 1, 0, 0, "0"},
  };
  for (const auto& c : cases) {
    KeyRecord record;
    test::MemoryLog log;
    ASSERT_EQ(js_parse(c.line, &record, log.file()), 0) << c.line;
    EXPECT_EQ(record.kind, c.kind) << c.line;
    EXPECT_EQ(record.key, c.key) << c.line;
    EXPECT_EQ(record.value, c.value) << c.line;
    if (c.key == 47) {
      EXPECT_EQ(record.h, c.h) << c.line;
      EXPECT_EQ(record.v, c.v) << c.line;
    }
    EXPECT_STREQ(record.name, c.name) << c.line;
    EXPECT_EQ(log.text(), "") << c.line;
  }
}

TEST(JoystickParse, UnknownKeypadPositionsAreReleases) {
  for (const char* line : {"IP-Controller:R00-C00:EOF", "IP-Controller:R09-C09:EOF", "IP-Controller:R01-C05:EOF",
                           "IP-Controller:R2147483647-C01:EOF"}) {
    KeyRecord record;
    record.value = 1;
    EXPECT_EQ(js_parse(line, &record, stdout), 0) << line;
    EXPECT_EQ(record.kind, 1) << line;
    EXPECT_EQ(record.value, 0) << line;
  }
  EXPECT_EQ(find_keypad_key(-1, -1), nullptr);  // the end marker is no key
}

TEST(JoystickParse, LinesWithoutTheirNumbersAreDroppedWithAnError) {
  const char* lines[] = {
      "IP-Controller:J-LL:EOF",                 // stick without H and V
      "IP-Controller:J-LL-H05:EOF",             // only one number
      "garbage",                                // keypad line without numbers
      "5-3",                                    // starts with a digit: nothing to skip
      "",                                       //
      "IP-Controller:R99999999999-C01:EOF",     // beyond int
      "IP-Controller:J-RR-H2147483648-V0:EOF",  // beyond int
  };
  for (const char* line : lines) {
    KeyRecord record;
    test::MemoryLog log;
    EXPECT_EQ(js_parse(line, &record, log.file()), -1) << line;
    const std::string text = log.text();
    EXPECT_EQ(text.rfind("\033[31m[JSERROR] func:parse_events_params file:js_parse line:", 0), 0u) << text;
    EXPECT_NE(text.find("]\033[0mscanf failed !\n"), std::string::npos) << text;
  }
}

// The send call of the messaging library, recorded.
struct SentMessage {
  int dest;
  int32_t id;
  std::string payload;
  uint32_t length;
  uint64_t reserved;
};
std::vector<SentMessage> g_sent;
int g_failures_left = 0;

int record_send(int dest, int32_t id, const void* payload, uint32_t length, uint64_t reserved) {
  g_sent.push_back({dest, id, std::string(static_cast<const char*>(payload), length), length, reserved});
  if (g_failures_left > 0) {
    --g_failures_left;
    return -1;
  }
  return 0;
}

TEST(JoystickCommandSender, SendsMessage4002WithA100BytePaddedText) {
  const struct {
    std::string text;
    std::string expected_text;
  } cases[] = {
      {"Enter", "Enter"},
      {"Dir_Ptz_DownRight_10_10", "Dir_Ptz_DownRight_10_10"},
      {std::string(150, 'x'), std::string(99, 'x')},  // cut, still terminated
  };
  for (const auto& c : cases) {
    g_sent.clear();
    CoreCommandSender sender(record_send);
    sender.send(c.text);
    ASSERT_EQ(g_sent.size(), 1u);
    const SentMessage& m = g_sent[0];
    EXPECT_EQ(m.dest, 1);
    EXPECT_EQ(m.id, 4002);
    EXPECT_EQ(m.length, 100u);
    EXPECT_EQ(m.reserved, 0u);
    ASSERT_EQ(m.payload.size(), 100u);
    EXPECT_EQ(m.payload.substr(0, c.expected_text.size()), c.expected_text);
    EXPECT_EQ(m.payload.substr(c.expected_text.size()), std::string(100 - c.expected_text.size(), '\0'));
  }
}

TEST(JoystickCommandSender, RetriesARefusedMessageAFewTimesThenGivesUp) {
  const struct {
    int failures;
    size_t calls;
    uint64_t failed;
  } cases[] = {{0, 1, 0}, {2, 3, 0}, {5, 3, 1}};
  for (const auto& c : cases) {
    g_sent.clear();
    g_failures_left = c.failures;
    CoreCommandSender sender(record_send);
    sender.send("FullScreen");
    EXPECT_EQ(g_sent.size(), c.calls) << c.failures;
    EXPECT_EQ(sender.failed(), c.failed) << c.failures;
    g_failures_left = 0;
  }
}

}  // namespace
}  // namespace zvjs
