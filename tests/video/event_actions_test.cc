// The action-block helpers and the apply / read-back / copy procedures over the event-kind table,
// in-process against the sandbox's database and a fake core.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "common/core_client.h"
#include "common/request.h"
#include "common/oplog.h"
#include "handlers/video/event_actions.h"
#include "handlers/video/event_kinds.h"
#include "handlers/video/schedule_json.h"
#include "common/core_client.h"
#include "common/request.h"
#include "tests/common/stdout_capture.h"
#include "tests/video/video_fixture.h"

namespace {

using zvtest::ReceivedMessage;
using zvtest::schedule_input;
using zvtest::text_of;

using zvtest::parse;
using zvtest::written;

std::string json_text(json_object* object) { return json_object_to_json_string(object); }

// ---- Masks -------------------------------------------------------------------------------------

TEST(ChannelMasks, ChannelListToMask) {
  struct Case {
    const char* body;
    uint64_t bits;
  } cases[] = {
      {R"({"copyChn": [70, 2, -1], "copyCnt": 3})", uint64_t{1} << 2},
      {R"({"copyChn": [1, 2], "copyCnt": 0})", 0},
      {R"({"copyChn": [1, 2], "copyCnt": -5})", 0},
      {R"({"copyChn": [1, 2]})", 0},                                      // no count
      {R"({"copyChn": [0, 31, 32, 63], "copyCnt": 4})", (uint64_t{1} << 0) | (uint64_t{1} << 31) |
                                                          (uint64_t{1} << 32) | (uint64_t{1} << 63)},
      {R"({"copyChn": [5, 6, 7], "copyCnt": 2})", (uint64_t{1} << 5) | (uint64_t{1} << 6)},
      {R"({"copyChn": [5, 6], "copyCnt": 2000000000})", (uint64_t{1} << 5) | (uint64_t{1} << 6)},
      {R"({"copyChn": ["x", null, {"a": 1}, 9], "copyCnt": 4})", uint64_t{1} << 9},  // never channel 0
      {R"({"copyChn": 5, "copyCnt": 1})", 0},                             // not an array: absent
      {R"({"copyChn": {"0": 1}, "copyCnt": 1})", 0},
      {R"({"copyChn": [3], "copyCnt": "1"})", uint64_t{1} << 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.body);
    JsonPtr o = parse(c.body);
    EXPECT_EQ(channel_list_to_mask(o.get(), "copyChn", "copyCnt").bits(), c.bits);
  }
  EXPECT_TRUE(channel_list_to_mask(nullptr, "copyChn", "copyCnt").empty());
}

TEST(ChannelMasks, CopyTextReadsEightCharacters) {
  struct Case {
    const char* text;
    uint64_t bits;
  } cases[] = {
      {"0000000001100000", 0},   // "1" only at positions 9 and 10: no channel
      {"10000001", 0x81},
      {"111111111111", 0xff},
      {"01", 0x2},
      {"", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(copy_text_to_mask(c.text).bits(), c.bits);
  }
  EXPECT_TRUE(copy_text_to_mask(nullptr).empty());
}

TEST(ChannelMasks, WireLayoutIsLowWordFirst) {
  ChannelMask64 mask{0, 0};
  mask.set(40);  // a notice for channel 40 carries bit 40 of the 64-bit set
  mask.set(3);
  mask.set(64);  // outside the set: ignored
  mask.set(-1);
  unsigned char bytes[8];
  std::memcpy(bytes, &mask, sizeof bytes);
  const unsigned char expected[8] = {0x08, 0, 0, 0, 0x00, 0x01, 0, 0};
  EXPECT_EQ(std::memcmp(bytes, expected, 8), 0);
  EXPECT_TRUE(mask.test(40));
  EXPECT_FALSE(mask.test(41));
  EXPECT_FALSE(mask.test(64));
}

TEST(ChannelMasks, TriChannelsMaskUsesTheFirstThirtyTwoCharacters) {
  std::string text(40, '0');
  text[3] = '1';
  text[35] = '1';
  EXPECT_EQ(tri_channels_mask_of(text.c_str(), 65), 1u << 3);
  EXPECT_EQ(tri_channels_mask_of("0101", 65), (1u << 1) | (1u << 3));
  EXPECT_EQ(tri_channels_mask_of((std::string(31, '0') + "1").c_str(), 65), 1u << 31) << "the 32nd is the last";
  const char unterminated[4] = {'1', '1', '1', '1'};
  EXPECT_EQ(tri_channels_mask_of(unterminated, sizeof unterminated), 0xfu);
}

// ---- Texts and LED entries ---------------------------------------------------------------------

TEST(TriChnAlarms, FromAndToJson) {
  TriChnAlarmText out[2];
  JsonPtr missing = parse(R"({"other": 1})");
  EXPECT_EQ(tri_chn_alarms_from_json(4, missing.get(), "triChnAlarms", out), -1);
  JsonPtr wrong = parse(R"({"triChnAlarms": "ab"})");
  EXPECT_EQ(tri_chn_alarms_from_json(4, wrong.get(), "triChnAlarms", out), -1);

  const std::string longer(70, 'z');
  JsonPtr o = parse("{\"triChnAlarms\": [\"" + longer + "\", 5]}");
  ASSERT_EQ(tri_chn_alarms_from_json(4, o.get(), "triChnAlarms", out), 0b01) << "element 0 taken, 1 not a text";
  EXPECT_EQ(text_of(out[0].text), std::string(64, 'z'));
  EXPECT_EQ(text_of(out[1].text), "");  // not a text: empty
  EXPECT_EQ(out[0].channel, 4);
  EXPECT_EQ(out[1].index, 1);

  JsonPtr one = parse(R"({"triChnAlarms": ["0110"]})");
  ASSERT_EQ(tri_chn_alarms_from_json(2, one.get(), "triChnAlarms", out), 0b01);
  EXPECT_EQ(text_of(out[0].text), "0110");
  EXPECT_EQ(text_of(out[1].text), "");

  char first[65] = "a";
  char second[65];
  std::memset(second, 'q', sizeof second);  // no terminator
  JsonPtr array = written([&](JsonWriter& w) { write_tri_chn_alarms(w, first, second); });
  EXPECT_EQ(json_text(array.get()), "[ \"a\", \"" + std::string(65, 'q') + "\" ]");
}

TEST(WhiteLedInfo, BothInputFormsAndLimits) {
  struct Case {
    const char* body;
    int rc;
    int count;
    WhiteLedEntry first;
  } cases[] = {
      {R"({"whiteInfo": [[1, 2, 3]]})", 0, 1, {6, 1, 2, 3}},
      {R"({"whiteInfo": [{"chnid": 1, "mode": 2, "time": 3}]})", 0, 1, {6, 1, 2, 3}},
      {R"({"whiteInfo": [{"chnid": 1}]})", 0, 1, {6, 1, 0, 0}},        // missing keys stay 0
      {R"({"whiteInfo": [[7]]})", 0, 1, {6, 7, 0, 0}},
      {R"({"whiteInfo": [[1,1,1],[2,2,2],[3,3,3],[4,4,4],[5,5,5],[6,6,6],[7,7,7],[8,8,8],[9,9,9],[10,10,10]]})",
       0, 8, {6, 1, 1, 1}},                                               // 10 entries: first 8
      {R"({"whiteInfo": [[1, 2, 3], null, [4, 5, 6]]})", 0, 1, {6, 1, 2, 3}},  // a missing entry ends it
      {R"({"whiteInfo": [{"chnid": 1}, [4, 5, 6]]})", 0, 1, {6, 1, 0, 0}},     // wrong form ends it
      {R"({"whiteInfo": []})", 0, 0, {}},
      {R"({"whiteInfo": 5})", -1, 0, {}},
      {R"({})", -1, 0, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.body);
    JsonPtr o = parse(c.body);
    WhiteLedParams params;
    params.count = 99;
    EXPECT_EQ(white_led_info_from_json(6, &params, o.get(), "whiteInfo"), c.rc);
    if (c.rc != 0) {
      EXPECT_EQ(params.count, 99);  // untouched
      continue;
    }
    EXPECT_EQ(params.count, c.count);
    if (c.count > 0) {
      EXPECT_EQ(params.entries[0].owner_channel, c.first.owner_channel);
      EXPECT_EQ(params.entries[0].chnid, c.first.chnid);
      EXPECT_EQ(params.entries[0].mode, c.first.mode);
      EXPECT_EQ(params.entries[0].time, c.first.time);
    }
    if (c.count == 8) {
      EXPECT_EQ(params.entries[7].chnid, 8);
    }
  }
}

// ---- Database-backed helpers -------------------------------------------------------------------

class EventActionsTest : public zvtest::VideoTest {
 protected:
  void SetUp() override {
    VideoTest::SetUp();
    core_set_timing(CoreTiming{3, 1000, 200});
    setenv("HTTP_COOKIE", "userName=admin", 1);
    setenv("REMOTE_ADDR", "192.0.2.9", 1);
  }
};

TEST_F(EventActionsTest, WhiteLedInfoRoundTripsThroughTheDatabase) {
  WhiteLedParams params{};
  params.count = 2;
  params.entries[0] = {3, 5, 1, 30};
  params.entries[1] = {3, 6, 2, 60};
  ASSERT_EQ(write_whiteled_params_all(kZvdbPath, &params, kMotionLedActionTable, 3), 0);
  JsonPtr info = written([&](JsonWriter& w) { write_white_led_info(w, 3, kMotionLedActionTable); });
  EXPECT_EQ(json_text(info.get()),
            R"([ { "chnid": 5, "mode": 1, "time": 30 }, { "chnid": 6, "mode": 2, "time": 60 } ])");
  JsonPtr other_table = written([&](JsonWriter& w) { write_white_led_info(w, 3, "videoloss_white_led_params"); });
  EXPECT_EQ(json_text(other_table.get()), "[ ]");
  params.count = 9;
  EXPECT_EQ(write_whiteled_params_all(kZvdbPath, &params, kMotionLedActionTable, 3), -1);
}

TEST_F(EventActionsTest, PtzActionsStoreAndShow) {
  // Source ids outside 0..7 and missing arrays are not stored.
  JsonPtr list = parse(R"([{"acto_ptz_channel": 2, "acto_ptz_type": 1, "acto_ptz_preset": 4,
                            "acto_ptz_patrol": 0, "acto_ptz_pattern": 7},
                           {"acto_ptz_channel": 0, "acto_ptz_type": 2},
                           5,
                           {"acto_ptz_channel": 3, "acto_ptz_type": 2, "acto_ptz_patrol": 1}])");
  JsonPtr one = parse(R"([{"acto_ptz_channel": 5}])");
  EXPECT_EQ(ptz_actions_store(8, 8, one.get()), 0);
  JsonPtr none_at_8 = written([&](JsonWriter& w) { write_ptz_actions(w, 8, 8); });
  EXPECT_EQ(json_text(none_at_8.get()), "[ ]");
  EXPECT_EQ(ptz_actions_store(9, 1, list.get()), 0);
  EXPECT_EQ(ptz_actions_store(-1, 1, list.get()), 0);
  EXPECT_EQ(ptz_actions_store(2, 1, nullptr), 0);
  JsonPtr not_array = parse(R"({"a": 1})");
  EXPECT_EQ(ptz_actions_store(2, 1, not_array.get()), 0);
  JsonPtr nothing = written([&](JsonWriter& w) { write_ptz_actions(w, 1, 9); });
  EXPECT_EQ(json_text(nothing.get()), "[ ]");

  ASSERT_EQ(ptz_actions_store(2, 1, list.get()), 1);
  JsonPtr shown = written([&](JsonWriter& w) { write_ptz_actions(w, 1, 2); });
  // Empty entries are left out; the pattern is not shown.
  EXPECT_EQ(json_text(shown.get()),
            R"([ { "acto_ptz_channel": 2, "acto_ptz_type": 1, "acto_ptz_preset": 4, "acto_ptz_patrol": 0 }, )"
            R"({ "acto_ptz_channel": 3, "acto_ptz_type": 2, "acto_ptz_preset": 0, "acto_ptz_patrol": 1 } ])");
  PtzActionList stored{};
  int count = 0;
  ASSERT_EQ(read_ptz_params(kZvdbPath, &stored, 1, 2, &count), 0);
  ASSERT_EQ(count, 2);
  EXPECT_EQ(stored.entries[0].source_id, 2);
  EXPECT_EQ(stored.entries[0].acto_ptz_pattern, 7);
  JsonPtr other_type = written([&](JsonWriter& w) { write_ptz_actions(w, 2, 2); });
  EXPECT_EQ(json_text(other_type.get()), "[ ]");
}

TEST_F(EventActionsTest, PtzListsAreCappedAtSixtyFourAndEightForPeopleCounting) {
  std::string many = "[";
  for (int i = 0; i < 70; ++i) many += (i ? "," : "") + std::string("{\"acto_ptz_channel\": ") + std::to_string(i + 1) + "}";
  many += "]";
  JsonPtr list = parse(many);
  ASSERT_EQ(ptz_actions_store(1, 5, list.get()), 1);
  PtzActionList stored{};
  int count = 0;
  read_ptz_params(kZvdbPath, &stored, 5, 1, &count);
  EXPECT_EQ(count, 64);
  EXPECT_EQ(stored.entries[63].acto_ptz_channel, 64);

  ASSERT_EQ(ptz_actions_store(1, kPtzSourcePeopleCount, list.get()), 1);
  read_ptz_params(kZvdbPath, &stored, kPtzSourcePeopleCount, 1, &count);
  EXPECT_EQ(count, 8);
  JsonPtr shown = written([&](JsonWriter& w) { write_ptz_actions(w, kPtzSourcePeopleCount, 1); });
  EXPECT_EQ(json_object_array_length(shown.get()), 8u);
}

TEST_F(EventActionsTest, AudioIdMaskMarksSlotsInUse) {
  EXPECT_EQ(audio_id_mask(), 0);
  for (int id : {0, 3, 9}) {
    AudioFileEntry entry{};
    entry.id = id;
    entry.enable = 1;
    ASSERT_EQ(kAudioSlots.write(kZvdbPath, &entry), 0);
  }
  AudioFileEntry unused{};
  unused.id = 5;
  ASSERT_EQ(kAudioSlots.write(kZvdbPath, &unused), 0);
  EXPECT_EQ(audio_id_mask(), (1 << 0) | (1 << 3) | (1 << 9));
}

TEST_F(EventActionsTest, OpLogChangeMultiSendsTheRecordAndTheMask) {
  op_log_change_multi(204, 909, 0, ChannelMask64::from_u64((uint64_t{1} << 1) | (uint64_t{1} << 40)));
  ReceivedMessage m = zvtest::only_message(*core_, 3509);
  ASSERT_EQ(m.payload.size(), 680u);
  EXPECT_EQ(zvtest::int32_at(m.payload, 0), 4);
  EXPECT_EQ(zvtest::int32_at(m.payload, 8), 204);
  EXPECT_EQ(zvtest::int32_at(m.payload, 12), 0);
  EXPECT_EQ(zvtest::int32_at(m.payload, 24), 909);
  EXPECT_EQ(zvtest::int32_at(m.payload, 28), 1);
  EXPECT_EQ(zvtest::int32_at(m.payload, 32), 0);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&m.payload[36])), "192.0.2.9");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&m.payload[82])), "admin");
  EXPECT_EQ(zvtest::int32_at(m.payload, 672), 1 << 1);
  EXPECT_EQ(zvtest::int32_at(m.payload, 676), 1 << 8);
}

// ---- Apply, read back, copy (the motion row) -----------------------------------------------------

std::string full_block(int channel) {
  return "{\"chnid\": " + std::to_string(channel) +
         ", \"effective\": " + schedule_input({{{0, 0}, R"(["00:00","24:00",1])"}}) +
         ", \"audible\": " + schedule_input({{{1, 0}, R"(["01:00","02:00",2])"}}) +
         ", \"email\": " + schedule_input({{{2, 0}, R"(["02:00","03:00",3])"}}) +
         ", \"ptz\": " + schedule_input({{{3, 0}, R"(["03:00","04:00",4])"}}) +
         ", \"white\": " + schedule_input({{{4, 0}, R"(["04:00","05:00",5])"}}) +
         R"(, "whiteInfo": [{"chnid": 2, "mode": 1, "time": 10}],
            "triChnAlarms": ["1100", "0011"], "enable": 1, "triAlarms": 3, "interval": 30,
            "audioId": 2, "email_interval": 40, "email_pic_enable": 1, "tri_channels_pic": "0001",
            "ptz_interval": 50, "alarmout_interval": 60, "white_interval": 70,
            "triChannels": "0000000000000000000000000000000000010000",
            "ptzType": 1, "ptzParams": [{"acto_ptz_channel": 4, "acto_ptz_type": 1, "acto_ptz_preset": 2}],
            "ptzChnId": )" + std::to_string(channel) + "}";
}

TEST_F(EventActionsTest, ApplyWritesPlansLedsRecordPtzAndNotifies) {
  JsonPtr block = parse(full_block(1));
  ASSERT_TRUE(apply_event_actions(kMotionEventKind, block.get()));

  const MotionRecord r = motion(1);
  EXPECT_EQ(r.channel, 1);
  EXPECT_EQ(r.enable, 1);
  EXPECT_EQ(r.tri_alarms, 3);
  EXPECT_EQ(r.interval, 30);
  EXPECT_EQ(r.audio_id, 2);
  EXPECT_EQ(r.email_interval, 40);
  EXPECT_EQ(r.email_pic_enable, 1);
  EXPECT_EQ(text_of(r.tri_channels_pic), "0001");
  EXPECT_EQ(r.ptz_interval, 50);
  EXPECT_EQ(r.alarmout_interval, 60);
  EXPECT_EQ(r.white_interval, 70);
  EXPECT_EQ(text_of(r.tri_chn_alarms[0]), "1100");
  EXPECT_EQ(text_of(r.tri_chn_alarms[1]), "0011");
  // 40 characters with a "1" at position 35: the whole text, and no mask bit (only 0..31 count).
  EXPECT_EQ(text_of(r.tri_channels), "0000000000000000000000000000000000010000");
  EXPECT_EQ(r.tri_channels_mask, 0u);
  EXPECT_EQ(r.sensitivity, 3);  // the factory value: not an action key

  EXPECT_EQ(text_of(plan(kMotionEffectivePlans, 1).days[0].ranges[0].end_time), "24:00");
  EXPECT_EQ(plan(kMotionAudiblePlans, 1).days[1].ranges[0].action_type, 2);
  EXPECT_EQ(plan(kMotionEmailPlans, 1).days[2].ranges[0].action_type, 3);
  EXPECT_EQ(plan(kMotionPtzPlans, 1).days[3].ranges[0].action_type, 4);
  Schedule white{};
  ASSERT_EQ(kLedPlans.read(kZvdbPath, &white, led_key(1, "motion_whiteled_esche")), 0);
  EXPECT_EQ(white.days[4].ranges[0].action_type, 5);
  JsonPtr leds = written([&](JsonWriter& w) { write_white_led_info(w, 1, kMotionLedActionTable); });
  EXPECT_EQ(json_text(leds.get()), R"([ { "chnid": 2, "mode": 1, "time": 10 } ])");
  JsonPtr ptz = written([&](JsonWriter& w) { write_ptz_actions(w, 1, 1); });
  EXPECT_EQ(json_object_array_length(ptz.get()), 1u);

  ReceivedMessage notice = zvtest::only_message(*core_, 1403);
  EXPECT_EQ(notice.payload, zvtest::int32s({1}));
}

TEST_F(EventActionsTest, PtzListOutsideSourceRangeIsSkippedButTheRestApplies) {
  JsonPtr block = parse(R"({"chnid": 2, "interval": 11, "ptzChnId": 9, "ptzType": 1,
                            "ptzParams": [{"acto_ptz_channel": 4}]})");
  ASSERT_TRUE(apply_event_actions(kMotionEventKind, block.get()));
  EXPECT_EQ(motion(2).interval, 11);
  JsonPtr ptz = written([&](JsonWriter& w) { write_ptz_actions(w, 1, 9); });
  EXPECT_EQ(json_text(ptz.get()), "[ ]");
}

TEST_F(EventActionsTest, WithoutPtzKeysTheListIsNotTouched) {
  JsonPtr block = parse(R"({"chnid": 2, "ptzChnId": 2, "ptzType": 1, "ptzParams": [{"acto_ptz_channel": 4}]})");
  const std::string before = dump();
  ASSERT_TRUE(apply_event_actions(kMotionEventKind, block.get(), 0, ApplyOptions{.with_ptz = false}));
  EXPECT_EQ(dump(), before);  // nothing the motion row reads was given: nothing written
  EXPECT_TRUE(core_->wait_for(1403, 1));
}

TEST_F(EventActionsTest, AMissingRecordIsCreatedUnderItsOwnChannel) {
  ASSERT_EQ(zvdb::delete_record(kZvdbPath, zvdb::kMotionTable, zvdb::Key{5}), 0);
  zvdb_close_all();
  JsonPtr block = parse(R"({"chnid": 5, "interval": 9})");
  ASSERT_TRUE(apply_event_actions(kMotionEventKind, block.get()));
  EXPECT_EQ(motion(5).channel, 5);
  EXPECT_EQ(motion(5).interval, 9);
  EXPECT_EQ(motion(0).interval, 20);  // channel 0's record is not overwritten
}

TEST_F(EventActionsTest, BadChannelOrWrongTypesChangeNothing) {
  const std::string before = dump();
  for (const char* body : {R"({"chnid": 64, "interval": 5})", R"({"chnid": -1, "interval": 5})",
                           R"({"interval": 5})", R"({"chnid": "x", "interval": 5})",
                           R"({"chnid": [1], "interval": 5})"}) {
    SCOPED_TRACE(body);
    JsonPtr block = parse(body);
    EXPECT_FALSE(apply_event_actions(kMotionEventKind, block.get()));
  }
  JsonPtr wrong = parse(R"({"chnid": 4, "effective": 5, "whiteInfo": {"chnid": 1}, "triChnAlarms": 7,
                            "white": "x", "ptzParams": 3, "interval": [1], "triChannels": 5})");
  EXPECT_TRUE(apply_event_actions(kMotionEventKind, wrong.get()));
  EXPECT_EQ(dump(), before);
  EXPECT_FALSE(apply_event_actions(kMotionEventKind, nullptr));
  EXPECT_FALSE(apply_event_actions(kMotionEventKind, wrong.get(), 1));  // motion has no sub kinds
}

// A text that is not UTF-8 anywhere in a block (where no member is read, or in a block without a
// channel too) refuses it: kInvalidText, not the -1 of "no channel", nothing written and the
// transaction failed, so a caller that commits anyway stores nothing.
TEST_F(EventActionsTest, ATextThatIsNotUtf8RefusesTheBlockAndFailsTheWrite) {
  const std::string before = dump();
  for (const char* body : {"{\"chnid\": 1, \"interval\": 5, \"triChnAlarms\": [\"ok\", \"\xff\"]}",
                           "{\"interval\": 5, \"audible\": [[[\"\xc3\", \"\", 1]]]}",
                           "{\"chnid\": 1, \"ptzParams\": [{\"note\": \"\xe0\x80\"}]}"}) {
    SCOPED_TRACE(body);
    JsonPtr block = parse(body);
    {
      SettingsWrite write;
      EXPECT_EQ(store_event_actions(kMotionEventKind, block.get(), write), kInvalidText);
      EXPECT_FALSE(write.commit());
    }
    {
      SettingsWrite write;
      EXPECT_EQ(store_event_actions_at(kMotionEventKind, 1, block.get(), write, 0), kInvalidText);
      EXPECT_FALSE(write.commit());
    }
    EXPECT_FALSE(apply_event_actions(kMotionEventKind, block.get()));
  }
  EXPECT_EQ(dump(), before);
  EXPECT_TRUE(core_->received().empty());
  {
    SettingsWrite left_open;  // a handler that returns early stores nothing of what it wrote
    ASSERT_EQ(set_param_int(kZvdbPath, "left_open", 1), 0);
  }
  EXPECT_EQ(get_param_int(kZvdbPath, "left_open", -9), -9);
  JsonPtr list = parse(R"([{"chnid": 1, "interval": 5}])");
  SettingsWrite write;
  EXPECT_EQ(store_event_actions_at(kMotionEventKind, 1, list.get(), write), -1) << "not an object";
  EXPECT_TRUE(write.commit());
  EXPECT_EQ(dump(), before);
}

// A list of blocks: objects below min(count, length) are passed on; a text that is not UTF-8
// anywhere in the member (past the count, or a member that is not a list) refuses it before any.
TEST(ActionBlockLists, PassObjectsBelowTheCountOrRefuseBeforeAny) {
  struct Case {
    const char* body;
    int count;
    bool valid;
    std::vector<int> passed;
  } cases[] = {
      {R"({"dialog": [{"a": 1}, 5, {"b": "x"}, {"c": 3}]})", 3, true, {0, 2}},
      {R"({"dialog": [{"a": 1}]})", 4, true, {0}},
      {R"({"dialog": [{"a": 1}]})", -1, true, {}},
      {R"({"dialog": {"a": 1}})", 2, true, {}},
      {"{\"dialog\": [{\"a\": 1}, {\"b\": [\"\xff\"]}]}", 1, false, {}},
      {"{\"dialog\": [{\"a\": 1}, \"\xc3\"]}", 2, false, {}},
      {"{\"dialog\": \"\xfe\"}", 1, false, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.body);
    JsonPtr o = parse(c.body);
    std::vector<int> passed;
    EXPECT_EQ(for_each_action_block(o.get(), "dialog", c.count, [&](int i, json_object*) { passed.push_back(i); }),
              c.valid);
    EXPECT_EQ(passed, c.passed);
  }
}

TEST_F(EventActionsTest, ReadBackFollowsTheReplyOrder) {
  JsonPtr block = parse(full_block(5));
  ASSERT_TRUE(apply_event_actions(kMotionEventKind, block.get()));
  JsonPtr reply = written([&](JsonWriter& w) { write_event_actions(w, kMotionEventKind, 5); });
  std::string keys;
  json_object_object_foreach(reply.get(), key, member) {
    (void)member;
    keys += std::string(key) + ",";
  }
  EXPECT_EQ(keys,
            "chnid,enable,sensitivity,triChannels,triAlarms,interval,enableZV,motionTable,email_enable,"
            "email_interval,email_pic_enable,tri_channels_pic,ptz_interval,alarmout_interval,effective,"
            "audible,email,ptz,triChnAlarms,white,whiteInfo,white_interval,audioId,audioIdMask,ptzParams,");
  json_object* value = nullptr;
  ASSERT_TRUE(json_object_object_get_ex(reply.get(), "triChnAlarms", &value));
  EXPECT_EQ(json_text(value), R"([ "1100", "0011" ])");
  ASSERT_TRUE(json_object_object_get_ex(reply.get(), "ptzParams", &value));
  EXPECT_EQ(json_text(value),
            R"([ { "acto_ptz_channel": 4, "acto_ptz_type": 1, "acto_ptz_preset": 2, "acto_ptz_patrol": 0 } ])");
}

TEST_F(EventActionsTest, CopyReachesOnlyTheMaskAndRetagsEntries) {
  JsonPtr block = parse(full_block(1));
  ASSERT_TRUE(apply_event_actions(kMotionEventKind, block.get()));
  const ChannelMask64 targets = ChannelMask64::from_u64((uint64_t{1} << 2) | (uint64_t{1} << 40));
  {
    SettingsWrite write;
    copy_event_actions(kMotionEventKind, 1, 0, targets, write, [](void* record) {
      MotionRecord m;
      std::memcpy(&m, record, sizeof m);
      m.sensitivity = 6;
      std::memcpy(record, &m, sizeof m);
    });
    ASSERT_TRUE(write.commit());
  }
  for (int c : {2, 40}) {
    SCOPED_TRACE(c);
    const MotionRecord r = motion(c);
    EXPECT_EQ(r.channel, c);
    EXPECT_EQ(r.sensitivity, 6);
    EXPECT_EQ(r.interval, 30);
    EXPECT_EQ(plan(kMotionPtzPlans, c).days[3].ranges[0].action_type, 4);
    Schedule white{};
    kLedPlans.read(kZvdbPath, &white, led_key(c, "motion_whiteled_esche"));
    EXPECT_EQ(white.days[4].ranges[0].action_type, 5);
    WhiteLedEntry entries[8];
    int count = 8;
    kLedActions.read_list(kZvdbPath, led_key(c, "motion_white_led_params"), entries, &count);
    ASSERT_EQ(count, 1);
    EXPECT_EQ(entries[0].owner_channel, c);
    PtzActionList list{};
    read_ptz_params(kZvdbPath, &list, 1, c, &count);
    ASSERT_EQ(count, 1);
    EXPECT_EQ(list.entries[0].source_id, c);
  }
  EXPECT_EQ(motion(1).sensitivity, 3);  // the source keeps its own
  EXPECT_EQ(motion(3).interval, 20);    // not in the mask
  EXPECT_EQ(plan(kMotionPtzPlans, 3).days[3].ranges[0].action_type, 0);
}

}  // namespace
