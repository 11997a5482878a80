// The shared channel reader: what it accepts, what it refuses, and the refusal bytes the caller
// chose for a missing member and for one out of range.
#include <gtest/gtest.h>

#include <string>

#include "common/reply.h"
#include "common/request.h"
#include "tests/common/stdout_capture.h"

namespace {

const std::string kJsonError = std::string(kReplyJsonHeader) + R"({status:"CGI ERROR"})";
const std::string kTextError = std::string(kReplyTextHeader) + "CGI ERROR";

TEST(ChannelMember, ReadsZeroToLastAndRefusesEverythingElseWithTheCallersForm) {
  // Missing: nothing; out of range: the JSON error (the two forms differ on purpose).
  const ChannelRefusal split{kNoReply, REPLY_JSON};
  const struct {
    const char* argument;
    int32_t last;
    bool read;
    int32_t value;  // what *value holds afterwards (99: untouched)
    std::string reply;
  } rows[] = {
      {R"({"ch": 0})", 7, true, 0, ""},
      {R"({"ch": 7})", 7, true, 7, ""},
      {R"({"ch": "5"})", 7, true, 5, ""},
      {R"({"ch": 8})", 7, false, 99, kJsonError},
      {R"({"ch": -1})", 7, false, 99, kJsonError},
      {R"({"ch": 2147483647})", 63, false, 99, kJsonError},
      {R"({"ch": 2147483648})", 63, false, 99, ""},  // not an int32: unreadable, as absent
      {R"({})", 63, false, 99, ""},
      {R"({"ch": null})", 63, false, 99, ""},
      {R"({"ch": "x"})", 63, false, 99, ""},
      {R"({"ch": [1]})", 63, false, 99, ""},
      {R"({"chn": 1})", 63, false, 99, ""},
      {"[1]", 63, false, 99, ""},
      {"x", 63, false, 99, ""},
      {nullptr, 63, false, 99, ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.argument != nullptr ? row.argument : "(null)");
    int32_t value = 99;
    zvtest::StdoutCapture capture;
    JsonPtr request = channel_request(row.argument, "ch", row.last, &value, split);
    EXPECT_EQ(capture.finish(), row.reply);
    EXPECT_EQ(request != nullptr, row.read);
    EXPECT_EQ(value, row.value);
    value = 99;
    JsonPtr parsed = parse_request(row.argument);
    EXPECT_EQ(read_channel_member(parsed.get(), "ch", row.last, &value), row.read);
    EXPECT_EQ(value, row.value);
  }
}

TEST(ChannelMember, OneKindAnswersMissingAndOutOfRangeAlike) {
  for (const char* argument : {R"({})", R"({"ch": 64})", "x"}) {
    SCOPED_TRACE(argument);
    int32_t value = 99;
    zvtest::StdoutCapture capture;
    EXPECT_FALSE(channel_request(argument, "ch", 63, &value, REPLY_TEXT));
    EXPECT_EQ(capture.finish(), kTextError);
    zvtest::StdoutCapture quiet;
    JsonPtr request = parse_request(argument);
    EXPECT_FALSE(read_channel_member(request.get(), "ch", 63, &value));
    EXPECT_EQ(quiet.finish(), "") << "the plain reader writes nothing";
    EXPECT_EQ(value, 99);
  }
}

}  // namespace
