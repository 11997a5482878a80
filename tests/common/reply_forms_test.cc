// The shared reply forms: exact bytes for a whole reply, and what each writes when the core's
// reply is missing (nothing: the error form is core_ask's) or too short for its record.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/reply_forms.h"
#include "platform/zvdb/records/network_services_record.h"
#include "tests/common/stdout_capture.h"

namespace {

const std::string kJson = "Content-type: application/json\r\n\r\n";
const std::string kText = "Content-type: text/plain\r\n\r\n";

template <class T>
std::optional<CoreReply> reply_of(const T& value, size_t size = sizeof(T)) {
  std::vector<unsigned char> bytes(size);
  std::memcpy(bytes.data(), &value, std::min(size, sizeof value));
  return CoreReply(std::move(bytes));
}
const std::optional<CoreReply> kNone;
const std::optional<CoreReply> kShort = reply_of(int32_t{5}, 2);

TEST(ReplyForms, EachFormWritesItsBytesAndNothingWithoutAWholeReply) {
  MulticastConfig multicast{};
  multicast.enable = 1;
  std::memset(multicast.ip, 'x', sizeof multicast.ip);  // unterminated: cut at its width
  const std::string ip(65, 'x');
  const struct {
    const char* name;
    std::function<void()> write;
    std::string expected;
  } rows[] = {
      {"int member", [] { reply_int_member("count", 7); }, kJson + R"({ "count": 7 })"},
      {"res", [] { reply_res(-2); }, kJson + R"({ "res": -2 })"},
      {"core res", [] { reply_core_res(reply_of(int32_t{-5})); }, kJson + R"({ "res": -5 })"},
      {"core res, none", [] { reply_core_res(kNone); }, ""},
      {"core res, short", [] { reply_core_res(kShort); }, ""},
      {"core int", [] { EXPECT_TRUE(reply_int_member("status", reply_of(int32_t{3}))); }, kJson + R"({ "status": 3 })"},
      {"core int, short", [] { EXPECT_FALSE(reply_int_member("status", kShort)); }, ""},
      {"words, ok", [] { reply_status_words(reply_of(int32_t{0}), "OK", "Error"); }, kText + "OK"},
      {"words, failed", [] { reply_status_words(reply_of(int32_t{1}), "OK", "Error"); }, kText + "Error"},
      {"words, short", [] { reply_status_words(kShort, "OK", "Error"); }, kText + "Error"},
      {"words, none", [] { reply_status_words(kNone, "OK", "Error"); }, ""},
      {"record", [&] { reply_core_record<MulticastConfig>(reply_of(multicast)); },
       kJson + R"({ "enable": 1, "ip": ")" + ip + R"(" })"},
      {"record, short", [] { reply_core_record<MulticastConfig>(kShort); }, ""},
      {"record, short, error form", [] { reply_core_record<MulticastConfig>(kShort, REPLY_JSON); },
       kJson + R"({status:"CGI ERROR"})"},
      {"record, none", [] { reply_core_record<MulticastConfig>(kNone, REPLY_JSON); }, ""},
      {"fields of two records",
       [&] {
         reply_fields({{zvrec::schema_of<MulticastConfig>(), &multicast}, {zvrec::schema_of<MulticastConfig>(), &multicast}});
       },
       kJson + R"({ "enable": 1, "ip": ")" + ip + R"(", "enable": 1, "ip": ")" + ip + R"(" })"},
  };
  for (const auto& row : rows) {
    zvtest::StdoutCapture capture;
    row.write();
    EXPECT_EQ(capture.finish(), row.expected) << row.name;
  }
}

}  // namespace
