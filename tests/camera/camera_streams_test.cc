// Camera-side settings through the real front end and a fake core: streams, web parameters, the
// extra stream, audio and the small camera queries. Exact payloads and replies, refusals, and
// replies from the core that are missing, short or malformed.
#include <gtest/gtest.h>
#include <json-c/json.h>

#include <chrono>
#include <string>

#include "tests/camera/camera_fixture.h"

namespace zvtest {
namespace {

using CameraStreamTest = CameraTest;

// ---- Replies that do not come, or come short -------------------------------------------------------

struct Waited {
  const char* path;
  const char* body;
  int32_t msg;
  size_t min_reply;  // bytes the reply must hold (0: any non-empty payload)
  bool json_error;
};
const Waited kWaited[] = {
    {"/2001", "", kCameraStatus.id, 0, true},
    {"/2007", "", kCameraStatus.id, 0, true},
    {"/2009", R"({"chnid": 1})", kStreamRead.id, sizeof(StreamDescription), true},
    {"/2010", R"({"id": 1, "mainFramerate": 25, "mainBitrate": 2048, "subEnable": 1, "audioEnable": 0,
                  "mainResWidth": 1920, "mainResHeight": 1080})", kStreamSet.id, 8, false},
    {"/2030", R"({"chans": [1]})", kStreamSet.id, 8, true},
    {"/2023", R"({"id": 1, "key": "k"})", kWebParamRead.id, sizeof(CameraWebParamReply), false},
    {"/2024", R"({"id": 1, "key": "k", "value": "v"})", kWebParamSet.id, 4, false},
    {"/2025", R"({"id": 1})", kCameraType.id, 4, false},
    {"/2026", R"({"cmd": "menu"})", kUiCommand.id, 16, false},
    {"/2027", "", kChipCode.id, 0, false},
    {"/2028", "", kMotionState.id, 8, false},
    {"/2029", "", kCameraList.id, 0, true},
    {"/2060", R"({"chnid": 1})", kExtraStreamRead.id, sizeof(ExtraStream), true},
    {"/2061", R"({"chnid": 1, "enable": 1, "framerate": 1, "bitrate": 1, "iframeinterval": 1})", kExtraStreamSet.id,
     4, true},
    {"/2063", R"({"chnid": 1})", kAudioRead.id, sizeof(AudioDescription), true},
    {"/2064", R"({"chnid": 1, "audioEnable": 1, "audioMode": 2, "denoise": 3, "encoding": 4, "sampleRate": 5,
                  "inputGain": 6, "inputMode": 7, "audioGainControl": 8, "outputVolume": 9, "audioBitrate": 64})",
     kAudioSet.id, 4, true},
    {"/2065", R"({"chnid": 1})", kAudioSupport.id, sizeof(AudioSupport), true},
};

TEST_F(CameraStreamTest, MissingShortOrForeignRepliesGiveTheErrorReply) {
  timing_ = "attempts=3,pause_us=1000,poll_us=100";  // every wait here runs out
  for (const Waited& w : kWaited) {
    SCOPED_TRACE(w.path);
    const std::string error = w.json_error ? kCgiErrorJson : kCgiErrorText;
    core_->no_reply(w.msg);
    EXPECT_EQ(post(w.path, w.body).out, error);
    core_->reply_with(w.msg, {{.id = w.msg + 5001, .payload = Bytes(w.min_reply + 4, 0)}});
    EXPECT_EQ(post(w.path, w.body).out, error) << "a reply of another id is ignored";
    if (w.min_reply > 0) {
      core_->reply(w.msg, Bytes(w.min_reply - 1, 0));
      EXPECT_EQ(post(w.path, w.body).out, error) << "a short reply is ignored";
    }
    core_->no_reply(w.msg);
  }
  EXPECT_TRUE(core_->received(kMsgOpLog).empty()) << "camera-side requests are not logged";
}

TEST_F(CameraStreamTest, ChannelsOutOfRangeAreRefused) {
  struct Case {
    const char* path;
    const char* body;
    std::string reply;
  };
  const Case cases[] = {
      {"/2009", R"({"chnid": 8})", kCgiErrorJson},   {"/2009", "x", kCgiErrorJson},
      {"/2060", R"({"chnid": 64})", kCgiErrorJson},  {"/2061", R"({"chnid": -1})", kCgiErrorJson},
      {"/2063", R"({"chnid": 64})", kCgiErrorJson},  {"/2064", R"({"chnid": 64})", kCgiErrorJson},
      {"/2064", R"({})", kCgiErrorJson},             {"/2065", R"({"chnid": 64})", kCgiErrorJson},
      {"/2023", R"({"key": "k"})", ""},              {"/2024", "x", ""},
      {"/2025", R"({})", ""},                        {"/2026", R"({"command": "x"})", ""},
      {"/2025", R"({"id": 64})", ""},                {"/2025", R"({"id": -1})", ""},
      {"/2023", R"({"id": 64, "key": "k"})", ""},    {"/2024", R"({"id": -1, "key": "k", "value": "v"})", ""},
      {"/2030", R"({"chans": 5})", ""},              {"/2030", "x", ""},
      {"/2030", R"({"chans": [1], "mainResWidth": -2})", ""},
      {"/2030", R"({"chans": [1], "mainResHeight": -2})", ""},
      {"/2030", R"({"chans": [1], "mainFramerate": -2})", ""},
      {"/2030", R"({"chans": [1], "mainBitrate": -2})", ""},
      {"/2024", R"({"id": 1, "value": "v"})", ""},   {"/2024", R"({"id": 1, "key": "gop"})", ""},
  };
  for (const Case& c : cases) expect_refused(c.path, c.body, c.reply);
}

// ---- Streams ----------------------------------------------------------------------------------------

TEST_F(CameraStreamTest, StreamDescriptionListsResolutionsUpToTheFirstZeroPair) {
  StreamDescription d{};
  for (int i = 0; i < 148; ++i) d.w[i] = 1000 + i;
  d.w[0] = 0;
  d.w[1] = 2;
  const int32_t main_pairs[] = {1920, 1080, 1280, 720, 0, 0, 640, 480};
  std::copy(std::begin(main_pairs), std::end(main_pairs), &d.w[2]);
  d.w[55] = 1280;  // current main size: the second pair
  d.w[56] = 720;
  const int32_t sub_pairs[] = {704, 576, 352, 0};
  std::copy(std::begin(sub_pairs), std::end(sub_pairs), &d.w[61]);
  d.w[114] = 1;  // current sub size matches no pair
  d.w[115] = 1;
  core_->reply(kStreamRead.id, bytes_of(d));
  CameraRecord c{};
  c.id = 2;
  c.sync_time = 1;
  c.cam_protocol = 12;  // model 12 belongs to protocol 2 in the factory catalogue
  c.manage_port = 8000;
  c.physical_port = 4;
  c.poe_channel = 3;
  std::strcpy(c.mac_addr, "02:00:00:00:00:02");
  c.transmit_protocol = 1;
  std::strcpy(c.ddns, "dd");
  store_camera(c);

  EXPECT_EQ(post("/2009", R"({"chnid": 2})").out,
            kJsonHeader +
                R"({ "stateCode": 0, "id": 2, "name": "CAM3", "subEnable": 1120, "audioEnable": 1121, )"
                R"("videoTypeEnable": 1122, "mainVideoType": 1054, "subVideoType": 1113, "ipc_type": 1123, )"
                R"("syncTime": 1, "protocol": 2, "managePort": 8000, "physicalport": 4, "poechannel": 3, )"
                R"("mac_addr": "02:00:00:00:00:02", "transmitProtocol": 1, "ddns": "dd", "mainStream": 1124, )"
                R"("subStream": 1125, "SupportSmartStream": 1126, "SmartStream": 1127, "SmartStreamLevel": 1128, )"
                R"("SubSupportSmartStream": 1129, "SubSmartStream": 1130, "SubSmartStreamLevel": 1131, )"
                R"("main": { "curRes": 1, "res": [ { "width": 1920, "height": 1080, "name": "1920*1080" }, )"
                R"({ "width": 1280, "height": 720, "name": "1280*720" } ], "framerateMax": 1050, )"
                R"("framerateMin": 1051, "bitrateMax": 1052, "bitrateMin": 1053, "framerate": 1057, )"
                R"("bitrate": 1058, "iframeinterval": 1059, "bitrateCtrl": 1060 }, )"
                R"("sub": { "curRes": 0, "res": [ { "width": 704, "height": 576, "name": "704*576" } ], )"
                R"("framerateMax": 1109, "framerateMin": 1110, "bitrateMax": 1111, "bitrateMin": 1112, )"
                R"("framerate": 1116, "bitrate": 1117, "iframeinterval": 1118, "bitrateCtrl": 1119 } })");
  EXPECT_EQ(only_message(*core_, kStreamRead.id).payload, int32s({2}));

  d.w[0] = 5;
  core_->reply(kStreamRead.id, bytes_of(d));
  EXPECT_EQ(post("/2009", R"({"chnid": 2})").out, kJsonHeader + R"({ "stateCode": 5 })");
}

TEST_F(CameraStreamTest, StreamSetSendsTheChannelAndMarksUnsetFields) {
  core_->reply(kStreamSet.id, int32s({0x5, static_cast<int32_t>(0x80000000u)}));
  EXPECT_EQ(post("/2010", R"({"id": 3, "mainFramerate": 25, "mainBitrate": 2048, "subEnable": 1, "audioEnable": 1,
                              "mainResWidth": 1920, "mainResHeight": 1080, "videoTypeEnable": 1, "fisheyeType": 2,
                              "mainVideoType": 1, "IframeInterval": 50, "bitrateControl": 1, "SmartStream": 1,
                              "SmartStreamLevel": 2, "recordtype": 3, "etframerate": 4, "etIframeinterval": 5,
                              "etbitrate": 6, "subVideoType": 7, "subResWidth": 704, "subResHeight": 576,
                              "subFramerate": 15, "subBitrate": 512, "subIframeInterval": 30,
                              "SubBitrateControl": 8, "SubSmartStream": 9})")
                .out,
            kJsonHeader + R"({ "res": "1010000000000000000000000000000000000000000000000000000000000001" })");
  std::string channels(64, '0');
  channels[3] = '1';
  const Bytes expected = concat({text_field(channels, 68),
                                 int32s({-1, -1, -1, 1, 1, 2, 0, 1, 1920, 1080, 25, 2048, 50, 1, 1, 2, 3, 4, 5, 6, 0,
                                         7, 704, 576, 15, 512, 30, 8, 9, -1, -1, -1, -1, -1})});
  // "SubSmartStreamLevel" is left out: -1, the camera keeps its own (0 would turn it down).
  EXPECT_EQ(only_message(*core_, kStreamSet.id).payload, expected);
  EXPECT_TRUE(core_->received(kMsgOpLog).empty()) << "stream changes are not logged";

  for (const char* body : {
           R"({"id": 64, "mainFramerate": 1, "mainBitrate": 1, "subEnable": 1, "audioEnable": 0, "mainResWidth": 1, "mainResHeight": 1})",
           R"({"id": 1, "mainFramerate": -1, "mainBitrate": 1, "subEnable": 1, "audioEnable": 0, "mainResWidth": 1, "mainResHeight": 1})",
           R"({"id": 1, "mainFramerate": 1, "subEnable": 1, "audioEnable": 0, "mainResWidth": 1, "mainResHeight": 1})",
           R"({"id": 1, "mainFramerate": 1, "mainBitrate": 1, "audioEnable": 0, "mainResWidth": 1, "mainResHeight": 1})",
           R"({"id": 1, "mainFramerate": 1, "mainBitrate": 1, "subEnable": 1, "audioEnable": 2, "mainResWidth": 1, "mainResHeight": 1})",
           R"({"id": 1, "mainFramerate": 1, "mainBitrate": 1, "subEnable": 1, "audioEnable": 0, "mainResWidth": -1, "mainResHeight": 1})",
           R"({"id": 1, "mainFramerate": 1, "mainBitrate": 1, "subEnable": 1, "audioEnable": 0, "mainResWidth": 1})",
       }) {
    expect_refused("/2010", body, "");
  }
}

TEST_F(CameraStreamTest, MultiStreamSetMarksTheListedChannels) {
  core_->reply(kStreamSet.id, int32s({0xa, 0}));
  EXPECT_EQ(post("/2030", R"({"chans": [0, 1, 0, 1], "transmitProtocol": 1, "syncTime": 0, "subEnable": 1,
                              "mainVideoType": 2, "mainResWidth": 1280, "mainResHeight": 720, "mainFramerate": 20,
                              "mainBitrate": 1024, "IframeInterval": 40, "mainBitrateControl": 1, "subVideoType": 3,
                              "subResWidth": 352, "subResHeight": 288, "subFramerate": 10, "subBitrate": 256,
                              "subIframeInterval": 20, "subBitrateControl": 0, "SmartStream": 1})")
                .out,
            kJsonHeader + R"({ "res": "0101000000000000000000000000000000000000000000000000000000000000" })");
  const Bytes expected = concat({text_field("0101" + std::string(60, '0'), 68),
                                 int32s({1, 0, -1, 1, 1, 0, 0, 2, 1280, 720, 20, 1024, 40, 1, -1, -1, -1, -1, -1, -1,
                                         0, 3, 352, 288, 10, 256, 20, 0, -1, -1, -1, -1, -1, -1})});
  EXPECT_EQ(only_message(*core_, kStreamSet.id).payload, expected);

  // A member the request leaves out is sent as -1, unchanged (as 0 it would turn the feature off).
  core_->clear_received();
  // Any non-zero number marks its channel.
  EXPECT_EQ(post("/2030", R"({"chans": [0, 2, -1], "mainBitrate": 2048})").out.substr(0, kJsonHeader.size()), kJsonHeader);
  EXPECT_EQ(only_message(*core_, kStreamSet.id).payload,
            concat({text_field("011" + std::string(61, '0'), 68),
                    int32s({-1, -1, -1, 1, -1, 0, 0, -1, -1, -1, -1, 2048, -1, -1, -1, -1, -1, -1, -1, -1,
                            0, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1})}));

  core_->clear_received();
  std::string many = "[";
  for (int i = 0; i < 70; ++i) many += i ? ", 1" : "1";
  EXPECT_EQ(post("/2030", R"({"chans": )" + many + "]}").out.substr(0, kJsonHeader.size()), kJsonHeader);
  const Bytes sent = only_message(*core_, kStreamSet.id).payload;
  EXPECT_EQ(Bytes(sent.begin(), sent.begin() + 68), text_field(std::string(64, '1'), 68))
      << "only elements 0..63 are used";
}

TEST_F(CameraStreamTest, ExtraStreamReadAndSet) {
  core_->reply(kExtraStreamRead.id, int32s({6, 99, 1, 15, 768, 30}));
  EXPECT_EQ(post("/2060", R"({"chnid": 6, "fisheyeType": 2})").out,
            kJsonHeader + R"({ "chnid": 6, "enable": 1, "framerate": 15, "bitrate": 768, "iframeinterval": 30 })");
  EXPECT_EQ(only_message(*core_, kExtraStreamRead.id).payload, int32s({6, 2}));
  core_->reply(kExtraStreamSet.id, int32s({-3}));
  EXPECT_EQ(post("/2061", R"({"chnid": 63, "enable": 1, "framerate": 12, "bitrate": 640, "iframeinterval": 24})").out,
            kJsonHeader + R"({ "res": -3 })");
  EXPECT_EQ(only_message(*core_, kExtraStreamSet.id).payload, int32s({63, 0, 1, 12, 640, 24}));
  core_->clear_received();
  EXPECT_EQ(post("/2061", R"({"chnid": 5, "bitrate": 512})").out, kJsonHeader + R"({ "res": -3 })");
  EXPECT_EQ(only_message(*core_, kExtraStreamRead.id).payload, int32s({5, 0}));
  EXPECT_EQ(only_message(*core_, kExtraStreamSet.id).payload, int32s({5, 0, 1, 15, 512, 30}))
      << "members left out keep the camera's values";
}

// ---- Web parameters ------------------------------------------------------------------------------------

TEST_F(CameraStreamTest, WebParameterReadEchoesTheCameraReply) {
  CameraWebParamReply r{};
  r.id = 4;
  r.reserved = 7;
  std::strcpy(r.pagename, "video");
  std::strcpy(r.httpname, "enc");
  std::strcpy(r.key, "gop");
  std::memset(r.value, 'v', sizeof r.value);  // no terminator
  core_->reply(kWebParamRead.id, bytes_of(r));
  EXPECT_EQ(post("/2023", R"({"id": 4, "pagename": "video", "httpname": "enc", "key": "gop"})").out,
            kJsonHeader + R"({ "id": 4, "pagename": "video", "httpname": "enc", "key": "gop", "value": ")" +
                std::string(128, 'v') + R"(" })");
  const Bytes expected = concat({int32s({4}), text_field("video", 64), text_field("enc", 64), text_field("gop", 128),
                                 text_field("", 128), Bytes(4, 0)});
  EXPECT_EQ(only_message(*core_, kWebParamRead.id).payload, expected);
}

TEST_F(CameraStreamTest, WebParameterWriteAnswersOkOrErrorAndWaitsForRateControl) {
  core_->reply(kWebParamSet.id, int32s({0}));
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(post("/2024", R"({"id": 2, "pagename": "p", "httpname": "h", "key": "gop", "value": "50"})").out, kOk);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1500));
  const Bytes expected = concat({int32s({2}), text_field("p", 64), text_field("h", 64), text_field("gop", 128),
                                 text_field("50", 128), Bytes(4, 0)});
  EXPECT_EQ(only_message(*core_, kWebParamSet.id).payload, expected);
  core_->reply(kWebParamSet.id, int32s({1}));
  start = std::chrono::steady_clock::now();
  EXPECT_EQ(post("/2024", R"({"id": 2, "key": "ratecontrol2", "value": "cbr"})").out, kTextHeader + "ERROR");
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

TEST_F(CameraStreamTest, TextsOneCharacterLongerThanTheirFieldAreCut) {
  core_->reply(kWebParamRead.id, Bytes(sizeof(CameraWebParamReply), 0));
  core_->reply(kWebParamSet.id, int32s({0}));
  core_->reply(kUiCommand.id, Bytes(16, 0));
  const std::string names = R"("pagename": ")" + std::string(64, 'p') + R"(", "httpname": ")" + std::string(64, 'h') +
                            R"(", "key": ")" + std::string(128, 'k') + R"(")";
  const Bytes cut_names = concat({int32s({2}), text_field(std::string(63, 'p'), 64),
                                  text_field(std::string(63, 'h'), 64), text_field(std::string(127, 'k'), 128)});
  const struct {
    const char* path;
    std::string body;
    int32_t msg;
    Bytes payload;
  } rows[] = {
      {"/2023", R"({"id": 2, )" + names + "}", kWebParamRead.id, concat({cut_names, Bytes(128 + 4, 0)})},
      {"/2024", R"({"id": 2, )" + names + R"(, "value": ")" + std::string(128, 'v') + R"("})", kWebParamSet.id,
       concat({cut_names, text_field(std::string(127, 'v'), 128), Bytes(4, 0)})},
      {"/2026", R"({"cmd": ")" + std::string(100, 'c') + R"("})", kUiCommand.id, text_field(std::string(99, 'c'), 100)},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.path);
    core_->clear_received();
    post(row.path, row.body);
    EXPECT_EQ(only_message(*core_, row.msg).payload, row.payload);
  }
}

// ---- Audio ------------------------------------------------------------------------------------------------

TEST_F(CameraStreamTest, AudioDescriptionClampsTheCameraCounts) {
  auto d = std::make_unique<AudioDescription>();
  *d = AudioDescription{};
  d->res = 0;
  d->support = 1;
  d->support_mode = 2;
  d->support_input_mode = 3;
  d->option_count = 1;
  d->options[0].encode_value = 7;
  d->options[0].sample_rate_count = 1;
  d->options[0].sample_rates[0] = AudioSampleRate{8000, 2, {64, 32}};
  d->config = AudioConfig{9, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  core_->reply(kAudioRead.id, bytes_of(*d));
  EXPECT_EQ(post("/2063", R"({"chnid": 9})").out,
            kJsonHeader + R"({ "res": 0, "support": 1, "supportMode": 2, "supportInputMode": 3, "config": { )"
                          R"("chnid": 9, "audioEnable": 1, "audioMode": 2, "denoise": 3, "encoding": 4, )"
                          R"("sampleRate": 5, "inputGain": 6, "inputMode": 7, "audioGainControl": 8, )"
                          R"("outputVolume": 9, "audioBitrate": 10 }, "options": [ { "encodeValue": 7, )"
                          R"("sampleRateInfo": [ { "sampleRateValue": 8000, "bitrateInfo": [ 64, 32 ] } ] } ] })");
  EXPECT_EQ(only_message(*core_, kAudioRead.id).payload, int32s({9}));

  d->option_count = 2000000000;
  for (AudioEncodeOption& o : d->options) {
    o.sample_rate_count = 100;
    for (AudioSampleRate& r : o.sample_rates) r.bitrate_count = 99;
  }
  d->options[0].sample_rates[0].bitrate_count = -5;
  core_->reply(kAudioRead.id, bytes_of(*d));
  const std::string clamped = post("/2063", R"({"chnid": 9})").out;
  json_object* reply = json_tokener_parse(body_of(clamped).c_str());
  ASSERT_NE(reply, nullptr) << clamped;
  json_object* options = json_object_object_get(reply, "options");
  EXPECT_EQ(json_object_array_length(options), 9u);
  json_object* rates = json_object_object_get(json_object_array_get_idx(options, 8), "sampleRateInfo");
  EXPECT_EQ(json_object_array_length(rates), 9u);
  auto bitrates = [&](json_object* rate_list, size_t i) {
    return json_object_array_length(json_object_object_get(json_object_array_get_idx(rate_list, i), "bitrateInfo"));
  };
  EXPECT_EQ(bitrates(rates, 8), 16u);
  EXPECT_EQ(bitrates(json_object_object_get(json_object_array_get_idx(options, 0), "sampleRateInfo"), 0), 0u);
  json_object_put(reply);
}

TEST_F(CameraStreamTest, AudioSetMasksTheListedChannelsAndTheChannel) {
  core_->reply(kAudioSet.id, int32s({0}));
  EXPECT_EQ(post("/2064", R"({"chnid": 40, "audioEnable": 1, "audioMode": 2, "denoise": 3, "encoding": 4,
                              "sampleRate": 16000, "inputGain": 6, "inputMode": 7, "audioGainControl": 8,
                              "outputVolume": 9, "audioBitrate": 64, "channels": "0101x1"})")
                .out,
            kOk);
  EXPECT_EQ(only_message(*core_, kAudioSet.id).payload,
            int32s({0x2a, 0x100, 40, 1, 2, 3, 4, 16000, 6, 7, 8, 9, 64, 0}));

  // Members left out keep the camera's values (its read's "config").
  core_->clear_received();
  core_->reply(kAudioSet.id, int32s({-1}));
  auto camera = std::make_unique<AudioDescription>();
  camera->config = AudioConfig{0, 1, 2, 3, 4, 8000, 6, 7, 8, 9, 32};
  core_->reply(kAudioRead.id, bytes_of(*camera));
  EXPECT_EQ(post("/2064", R"({"chnid": 0, "outputVolume": 5, "channels": ")" + std::string(80, '1') + R"("})").out,
            kTextHeader + "ERROR");
  EXPECT_EQ(only_message(*core_, kAudioSet.id).payload, int32s({-1, -1, 0, 1, 2, 3, 4, 8000, 6, 7, 8, 5, 32, 0}))
      << "positions past 63 are ignored";
  core_->no_reply(kAudioRead.id);
  core_->clear_received();
  EXPECT_EQ(post("/2064", R"({"chnid": 0, "audioEnable": 1})").out, kCgiErrorJson);
  EXPECT_EQ(received_ids(*core_), std::vector<int32_t>{kAudioRead.id}) << "nothing is set";
}

TEST_F(CameraStreamTest, AudioSupportPrintsTheFirstSixWords) {
  core_->reply(kAudioSupport.id, int32s({0, 1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(post("/2065", R"({"chnid": 1})").out,
            kJsonHeader + R"({ "res": 0, "audioSupport": 1, "audioSupportMode": 2, "audioLineInputSupport": 3, )"
                          R"("systemSpeakerSupport": 4, "systemManualSpeedSupport": 5 })");
}

// ---- Small camera queries --------------------------------------------------------------------------------

TEST_F(CameraStreamTest, SmallQueriesPrintTheirReplies) {
  core_->reply(kCameraType.id, int32s({3}));
  EXPECT_EQ(post("/2025", R"({"id": 12})").out, kJsonHeader + R"({ "type": 3 })");
  EXPECT_EQ(only_message(*core_, kCameraType.id).payload, int32s({12}));

  core_->reply(kChipCode.id, text_field("CHIP-1", 64));
  EXPECT_EQ(post("/2027", "").out, kJsonHeader + R"({ "chip_code": "CHIP-1" })");
  core_->reply(kChipCode.id, Bytes(5, 'c'));  // no terminator: bounded by the reply
  EXPECT_EQ(post("/2027", "").out, kJsonHeader + R"({ "chip_code": "ccccc" })");

  core_->reply(kMotionState.id, int32s({0x3, static_cast<int32_t>(0x80000000u)}));
  EXPECT_EQ(post("/2028", "").out,
            kJsonHeader + R"({ "Motion": "1100000000000000000000000000000000000000000000000000000000000001" })");
}

TEST_F(CameraStreamTest, UiCommandSendsAtMostNinetyNineCharacters) {
  core_->reply(kUiCommand.id, concat({Bytes(16, 0xff), text_field("done", 20)}));
  EXPECT_EQ(post("/2026", R"({"cmd": "KEY_MENU"})").out, kJsonHeader + R"({ "result": "done" })");
  EXPECT_EQ(only_message(*core_, kUiCommand.id).payload, text_field("KEY_MENU", 100));
  core_->clear_received();
  core_->reply(kUiCommand.id, concat({Bytes(16, 0), Bytes(3, 'r')}));
  EXPECT_EQ(post("/2026", R"({"cmd": ")" + std::string(150, 'k') + R"("})").out,
            kJsonHeader + R"({ "result": "rrr" })");
  EXPECT_EQ(only_message(*core_, kUiCommand.id).payload, text_field(std::string(99, 'k'), 100));
}

TEST_F(CameraStreamTest, CameraListPrintsAtMostSixtyFourWholeRecords) {
  auto entry = [](int32_t channel, const std::string& fw) {
    CameraListEntry e{};
    e.chnid = channel;
    std::strcpy(e.ip_addr, "10.0.0.1");
    std::strcpy(e.model, "M");
    std::memcpy(e.fw_version, fw.data(), std::min(fw.size(), sizeof e.fw_version));
    return bytes_of(e);
  };
  core_->reply(kCameraList.id, concat({entry(0, "fw1"), entry(9, std::string(56, 'f')), Bytes(100, 'x')}));
  EXPECT_EQ(post("/2029", "").out,
            kJsonHeader + R"({ "IPC": [ { "chnid": 0, "ipaddr": "10.0.0.1", "model": "M", "fwversion": "fw1" }, )"
                          R"({ "chnid": 9, "ipaddr": "10.0.0.1", "model": "M", "fwversion": ")" +
                std::string(56, 'f') + R"(" } ] })");
  Bytes many;
  for (int i = 0; i < 70; ++i) many = concat({many, entry(i, "x")});
  core_->reply(kCameraList.id, many);
  const std::string reply = post("/2029", "").out;
  EXPECT_NE(reply.find(R"("chnid": 63)"), std::string::npos);
  EXPECT_EQ(reply.find(R"("chnid": 64)"), std::string::npos);
}

}  // namespace
}  // namespace zvtest
