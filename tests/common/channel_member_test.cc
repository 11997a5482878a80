// The shared channel reader: what it accepts, what it refuses, and the refusal bytes the caller
// chose for a missing member and for one out of range (the plain reader writes nothing).
#include <gtest/gtest.h>

#include <string>

#include "common/reply.h"
#include "common/request.h"
#include "tests/common/stdout_capture.h"

namespace {

const std::string kJsonError = std::string(kReplyJsonHeader) + R"({status:"CGI ERROR"})";
const std::string kTextError = std::string(kReplyTextHeader) + "CGI ERROR";

TEST(ChannelMember, ReadsZeroToLastAndRefusesEverythingElseWithTheCallersForm) {
  const ChannelRefusal split{kNoReply, REPLY_JSON};  // missing: nothing; out of range: the JSON error
  const struct {
    const char* argument;
    int32_t last;
    ChannelRefusal refusal;
    int32_t value;  // *value afterwards (99: untouched, refused)
    std::string reply;
  } rows[] = {
      {R"({"ch": 0})", 7, split, 0, ""},
      {R"({"ch": 7})", 7, split, 7, ""},
      {R"({"ch": "5"})", 7, split, 5, ""},
      {R"({"ch": 8})", 7, split, 99, kJsonError},
      {R"({"ch": -1})", 7, split, 99, kJsonError},
      {R"({"ch": 2147483648})", 63, split, 99, ""},  // not an int32: unreadable, as absent
      {R"({})", 63, split, 99, ""},
      {R"({"ch": null})", 63, split, 99, ""},
      {R"({"ch": "x"})", 63, split, 99, ""},
      {R"({"ch": [1]})", 63, split, 99, ""},
      {"[1]", 63, split, 99, ""},
      {nullptr, 63, split, 99, ""},
      {R"({})", 63, REPLY_TEXT, 99, kTextError},
      {R"({"ch": 64})", 63, REPLY_TEXT, 99, kTextError},
      {"x", 63, REPLY_JSON, 99, kJsonError},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.argument != nullptr ? row.argument : "(null)");
    int32_t value = 99;
    zvtest::StdoutCapture capture;
    JsonPtr request = channel_request(row.argument, "ch", row.last, &value, row.refusal);
    JsonPtr parsed = parse_request(row.argument);
    int32_t plain = 99;
    const bool read = read_channel_member(parsed.get(), "ch", row.last, &plain);
    EXPECT_EQ(capture.finish(), row.reply);
    EXPECT_EQ(request != nullptr, row.value != 99);
    EXPECT_EQ(read, row.value != 99);
    EXPECT_EQ(value, row.value);
    EXPECT_EQ(plain, row.value);
  }
}

}  // namespace
