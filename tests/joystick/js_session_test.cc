// Whole device sessions through the reader: scripted input events -> the command texts sent to the
// core, with modes, the digit editor, double presses, and the device coming and going.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "joystick/js_dispatch.h"
#include "joystick/js_reader.h"
#include "tests/joystick/js_test_support.h"

namespace zvjs {
namespace {

using test::axis;
using test::key;
using test::Step;
using test::tap;

constexpr int kB = 298;
constexpr int kEsc = 299;
constexpr int kDigit1 = 288;  // digits 1..9 are 288..296, digit 0 is 297
constexpr int kDigit0 = 297;

std::vector<Step> join(std::initializer_list<std::vector<Step>> parts) {
  std::vector<Step> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

std::vector<Step> digits(const std::string& number) {
  std::vector<Step> steps;
  for (char c : number) {
    const auto t = tap(c == '0' ? kDigit0 : kDigit1 + (c - '1'));
    steps.insert(steps.end(), t.begin(), t.end());
  }
  return steps;
}

struct Session {
  std::vector<std::string> commands;
  std::string log;
  int mode = -1;
  DispatchState state;
  int closes = 0;
  int opens = 0;
  int pauses = 0;
};

Session play(const std::vector<Step>& steps) {
  test::ScriptedInput input(steps);
  test::RecordingSink sink;
  test::MemoryLog log;
  JoystickReader reader(input, sink, log.file(), [&input] { return input.clock_ms; });
  for (int i = 0; i < 10000 && !input.done(); ++i) reader.step();
  EXPECT_TRUE(input.done());
  Session session;
  session.commands = sink.texts;
  session.log = log.text();
  session.state = reader.dispatcher().state();
  session.mode = session.state.mode;
  session.closes = input.closes;
  session.opens = input.opens;
  session.pauses = input.pauses;
  return session;
}

struct Case {
  const char* name;
  std::vector<Step> steps;
  std::vector<std::string> commands;
  int mode;
};

void check(const std::vector<Case>& cases) {
  for (const auto& c : cases) {
    const Session s = play(c.steps);
    EXPECT_EQ(s.commands, c.commands) << c.name;
    EXPECT_EQ(s.mode, c.mode) << c.name;
  }
}

TEST(JoystickSession, StickInRecorderAndPtzMode) {
  check({
      {"mode 0: one command per deflection, STOP on return",
       {axis(0, 0), axis(0, 100), axis(1, 0), axis(0, 512), axis(1, 512)},
       {"Dir_Nvr_Left_10_0", "Dir_Nvr_STOP_0_0"},
       kModeRecorder},
      {"mode 0: the next deflection after the centre is sent again",
       {axis(0, 1023), axis(0, 512), axis(1, 1023), axis(1, 512)},
       {"Dir_Nvr_Right_10_0", "Dir_Nvr_STOP_0_0", "Dir_Nvr_Down_0_10", "Dir_Nvr_STOP_0_0"},
       kModeRecorder},
      {"mode 0: dead zone sends nothing",
       {axis(0, 537), axis(0, 487), axis(1, 540), axis(1, 480)},
       {},
       kModeRecorder},
      {"mode 1: every change of the deflection is sent",
       join({tap(kB), {axis(0, 0, 600), axis(0, 100), axis(1, 0), axis(0, 512), axis(1, 512)}}),
       {"Enter", "Dir_Ptz_Left_10_0", "Dir_Ptz_Left_8_0", "Dir_Ptz_UpLeft_8_10", "Dir_Ptz_Up_0_10",
        "Dir_Ptz_STOP_0_0"},
       kModePtz},
  });
}

TEST(JoystickSession, Zoom) {
  check({
      {"tele, straight to wide sends nothing, centre stops tele",
       {axis(2, 1023), axis(2, 0), axis(2, 512)},
       {"PTZ_ZoomPlus", "PTZ_ZoomPlusStop"},
       kModeRecorder},
      {"wide then centre",
       {axis(2, 0), axis(2, 300), axis(2, 512)},
       {"PTZ_ZoomMinus", "PTZ_ZoomMinusStop"},
       kModeRecorder},
      {"tele, centre, wide, centre",
       {axis(2, 900), axis(2, 512), axis(2, 100), axis(2, 512)},
       {"PTZ_ZoomPlus", "PTZ_ZoomPlusStop", "PTZ_ZoomMinus", "PTZ_ZoomMinusStop"},
       kModeRecorder},
  });
}

TEST(JoystickSession, ButtonBAndEscape) {
  check({
      {"single press: Enter and PTZ mode", tap(kB), {"Enter"}, kModePtz},
      {"second press within 500 ms: FullScreen, mode as before the first",
       join({tap(kB), tap(kB, 200)}),
       {"Enter", "FullScreen"},
       kModeRecorder},
      {"exactly 500 ms is still a double press", join({tap(kB), tap(kB, 500)}), {"Enter", "FullScreen"},
       kModeRecorder},
      {"a third press within 500 ms is another double press", join({tap(kB), tap(kB, 200), tap(kB, 200)}),
       {"Enter", "FullScreen", "FullScreen"}, kModeRecorder},
      {"501 ms is a new single press", join({tap(kB), tap(kB, 501)}), {"Enter", "Enter"}, kModePtz},
      {"double press in PTZ mode returns to PTZ mode",
       join({tap(kB), tap(kB, 1000), tap(kB, 100)}),
       {"Enter", "Enter", "FullScreen"},
       kModePtz},
      {"escape returns to recorder mode and sends nothing",
       join({tap(kB), tap(kEsc, 1000), {axis(0, 0)}}),
       {"Enter", "Dir_Nvr_Left_10_0"},
       kModeRecorder},
      // Leaving PTZ mode stops what the camera does: the stick no longer speaks to it.
      {"escape while the camera moves stops it", join({tap(kB), {axis(0, 0, 600)}, tap(kEsc), {axis(0, 512)}}),
       {"Enter", "Dir_Ptz_Left_10_0", "Dir_Ptz_STOP_0_0", "Dir_Nvr_STOP_0_0"}, kModeRecorder},
      {"a double press back to recorder mode stops the camera", join({tap(kB), {axis(0, 0)}, tap(kB, 200)}),
       {"Enter", "Dir_Ptz_Left_10_0", "Dir_Ptz_STOP_0_0", "FullScreen"}, kModeRecorder},
      {"a stick held into PTZ mode counts from the centre there", join({{axis(0, 0)}, tap(kB), {axis(0, 100)}}),
       {"Dir_Nvr_Left_10_0", "Enter", "Dir_Ptz_Left_8_0"}, kModePtz},
  });
}

TEST(JoystickSession, DigitEditorAndPresetCalls) {
  check({
      {"1, 2, B: preset 12 (mode and press time unchanged)",
       join({digits("12"), tap(kB)}),
       {"PTZ_Preset_Call_12"},
       kModeRecorder},
      {"after a preset call the next B is a single press",
       join({digits("12"), tap(kB), tap(kB, 100)}),
       {"PTZ_Preset_Call_12", "Enter"},
       kModePtz},
      {"1 then escape clears the digits", join({digits("1"), tap(kEsc), tap(kB)}), {"Enter"}, kModePtz},
      {"a stick move clears the digits", join({digits("7"), {axis(0, 0), axis(0, 512)}, tap(kB)}),
       {"Dir_Nvr_Left_10_0", "Dir_Nvr_STOP_0_0", "Enter"}, kModePtz},
      {"twist clears the digits", join({digits("7"), {axis(2, 0)}, tap(kB)}), {"PTZ_ZoomMinus", "Enter"},
       kModePtz},
      {"digit 0 and leading zeros", join({digits("007"), tap(kB)}), {"PTZ_Preset_Call_7"}, kModeRecorder},
      {"an unmapped button does not repeat the last digit",
       join({digits("3"), tap(300), tap(kB)}),
       {"PTZ_Preset_Call_3"},
       kModeRecorder},
      {"10 s after the last digit the digits still count",
       join({digits("45"), tap(kB, 10000)}),
       {"PTZ_Preset_Call_45"},
       kModeRecorder},
      {"more than 10 s after the last digit they are cleared",
       join({digits("45"), tap(kB, 10001)}),
       {"Enter"},
       kModePtz},
      {"the 10 s count from the last digit", join({digits("4"), tap(kDigit1 + 4, 6000), tap(kB, 6000)}),
       {"PTZ_Preset_Call_45"}, kModeRecorder},
      {"digits after a timeout start a new number", join({digits("45"), tap(kDigit1 + 5, 10001), tap(kB)}),
       {"PTZ_Preset_Call_6"}, kModeRecorder},
      {"digits after a stick move start a new number",
       join({digits("7"), {axis(0, 0), axis(0, 512)}, digits("8"), tap(kB)}),
       {"Dir_Nvr_Left_10_0", "Dir_Nvr_STOP_0_0", "PTZ_Preset_Call_8"}, kModeRecorder},
      {"INT_MAX is a preset", join({digits("2147483647"), tap(kB)}), {"PTZ_Preset_Call_2147483647"},
       kModeRecorder},
      {"above INT_MAX sends nothing and clears the editor",
       join({digits("2147483648"), tap(kB), tap(kB, 1000)}),
       {"Enter"},
       kModePtz},
  });
}

TEST(JoystickSession, DigitEditorKeepsAtMost47Digits) {
  const Session s = play(digits(std::string(60, '9')));
  EXPECT_TRUE(s.state.editor.on);
  EXPECT_EQ(s.state.editor.count, 47);
  EXPECT_EQ(std::string(s.state.editor.text), std::string(47, '9'));
  EXPECT_EQ(s.state.sequence_count, 0);  // digits match no pattern: the sequence never grows
}

TEST(JoystickSession, PrintsTheEditorStateAndTheTimeout) {
  const Session s = play(join({digits("5"), tap(kB, 10001), tap(kB, 1000)}));
  EXPECT_EQ(s.log, "==time is longer than 10s, clear it==\nstEditor.isON=0\nstEditor.isON=0\n");
  const Session t = play(join({digits("5"), tap(kB)}));
  EXPECT_EQ(t.log, "stEditor.isON=1\n");
}

TEST(JoystickSession, DeviceGoingAwayClearsTheState) {
  check({
      {"unplug and re-plug: the moving camera is stopped, back to recorder mode, stick from the centre",
       join({tap(kB), {axis(0, 0), test::unplug(), test::plug(), axis(0, 0)}}),
       {"Enter", "Dir_Ptz_Left_10_0", "Dir_Ptz_STOP_0_0", "Dir_Nvr_Left_10_0"},
       kModeRecorder},
      {"unplug while zooming in stops the zoom", {axis(2, 1023), test::unplug(), test::plug()},
       {"PTZ_ZoomPlus", "PTZ_ZoomPlusStop"}, kModeRecorder},
      {"unplug while zooming out stops the zoom", {axis(2, 0), test::unplug(), test::plug()},
       {"PTZ_ZoomMinus", "PTZ_ZoomMinusStop"}, kModeRecorder},
      // Lost events (the kernel's queue overflowed) may hide the stick's return: stopped, and the
      // next deflection counts again.
      {"lost events stop the camera and the zoom",
       join({tap(kB), {axis(0, 0), axis(2, 1023), test::other(0, 3, 0), axis(0, 0)}}),
       {"Enter", "Dir_Ptz_Left_10_0", "PTZ_ZoomPlus", "Dir_Ptz_STOP_0_0", "PTZ_ZoomPlusStop", "Dir_Ptz_Left_10_0"},
       kModePtz},
      {"lost events in recorder mode: the next deflection is sent",
       {axis(0, 0), test::other(0, 3, 0), axis(0, 0)}, {"Dir_Nvr_Left_10_0", "Dir_Nvr_Left_10_0"}, kModeRecorder},
      {"a stopped camera and zoom get no second stop",
       join({tap(kB), {axis(0, 0), axis(0, 512), axis(2, 1023), axis(2, 512), test::unplug(), test::plug()}}),
       {"Enter", "Dir_Ptz_Left_10_0", "Dir_Ptz_STOP_0_0", "PTZ_ZoomPlus", "PTZ_ZoomPlusStop"}, kModeRecorder},
      {"unplug forgets typed digits", join({digits("4"), {test::unplug(), test::plug()}, tap(kB)}), {"Enter"},
       kModePtz},
      {"a short read is the device going away",
       join({tap(kB), {test::short_read(), axis(0, 0)}}),
       {"Enter", "Dir_Nvr_Left_10_0"},
       kModeRecorder},
      {"a poll error is the device going away",
       join({tap(kB), {test::poll_error(), axis(0, 0)}}),
       {"Enter", "Dir_Nvr_Left_10_0"},
       kModeRecorder},
      {"an interrupted read keeps the device and its mode", join({tap(kB), {test::read_retry(), axis(0, 0)}}),
       {"Enter", "Dir_Ptz_Left_10_0"}, kModePtz},
      {"unplug during a double press: the second press is a first one",
       join({tap(kB), {test::unplug(), test::plug()}, tap(kB, 100)}),
       {"Enter", "Enter"},
       kModePtz},
  });
  const Session s = play(join({tap(kB), {test::short_read(), test::unplug(), test::plug(), axis(0, 0)}}));
  EXPECT_EQ(s.opens, 2);
  EXPECT_EQ(s.closes, 1);
  EXPECT_EQ(play(join({tap(kB), {test::poll_error(), axis(0, 0)}})).pauses, 1) << "a failing wait pauses";
}

TEST(JoystickSession, DiscoveryMessagesAndRetries) {
  const struct {
    const char* name;
    bool present;
    NameStatus status;
    bool same_name;
    const char* log;
  } cases[] = {
      {"no joystick node: silent", false, NameStatus::kOk, true, ""},
      {"node cannot be opened", true, NameStatus::kOpenFailed, true, "==fd open error==\n==fd open error==\n"},
      {"name query fails", true, NameStatus::kQueryFailed, true, "==iotcl error==\n==iotcl error==\n"},
      {"no event device of that name: silent", true, NameStatus::kOk, false, ""},
  };
  for (const auto& c : cases) {
    test::ScriptedInput input({});
    input.present = c.present;
    input.name_status = c.status;
    if (!c.same_name) input.set_event_name("Other Pad");
    test::RecordingSink sink;
    test::MemoryLog log;
    JoystickReader reader(input, sink, log.file(), [&input] { return input.clock_ms; });
    const int64_t start = input.clock_ms;
    reader.step();
    reader.step();
    EXPECT_EQ(log.text(), c.log) << c.name;
    EXPECT_EQ(input.pauses, 2) << c.name;
    EXPECT_EQ(input.clock_ms - start, 2 * JoystickReader::kRetryPauseMs) << c.name;
    EXPECT_FALSE(input.is_open()) << c.name;
    EXPECT_TRUE(sink.texts.empty()) << c.name;
  }
}

TEST(JoystickSession, RunStopsWhenTheRunningFlagIsCleared) {
  test::ScriptedInput input({});
  input.present = false;
  test::RecordingSink sink;
  test::MemoryLog log;
  JoystickReader reader(input, sink, log.file());
  std::atomic<bool> running{false};
  reader.run(running);  // returns at once
  EXPECT_EQ(input.pauses, 0);
  EXPECT_TRUE(sink.texts.empty());
}

// The daemon stopping stops the camera it set moving and the zoom it started.
TEST(JoystickSession, RunEndingStopsTheCamera) {
  test::ScriptedInput input(join({tap(kB), {axis(0, 0), axis(2, 0)}}));
  test::RecordingSink sink;
  test::MemoryLog log;
  JoystickReader reader(input, sink, log.file(), [&input] { return input.clock_ms; });
  for (int i = 0; i < 100 && !input.done(); ++i) reader.step();
  std::atomic<bool> running{false};
  reader.run(running);
  EXPECT_EQ(sink.texts, (std::vector<std::string>{"Enter", "Dir_Ptz_Left_10_0", "PTZ_ZoomMinus", "Dir_Ptz_STOP_0_0",
                                                  "PTZ_ZoomMinusStop"}));
}

}  // namespace
}  // namespace zvjs
