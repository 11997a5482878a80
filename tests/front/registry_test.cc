// The request registry in-process: the program's module list registered from the start, the 511-row
// limit with its trace line, unregistering, exact matching and the lowest-slot rule.
#include "front/registry.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/trace_log.h"
#include "tests/front/test_util.h"
#include "tests/support/harness.h"

namespace {

std::string last_call;

template <char Tag>
void record(const char* argument) {
  last_call = std::string(1, Tag) + ":" + (argument != nullptr ? argument : "<null>");
}

constexpr WebReqEntry kFirstTable[] = {{"/1000", &record<'A'>}, {"/json", &record<'A'>}};
constexpr WebReqEntry kSecondTable[] = {{"/1000", &record<'B'>}, {"/vb.htm", &record<'B'>}};
constexpr RequestModule kFirst{"first", kFirstTable, 2};
constexpr RequestModule kSecond{"second", kSecondTable, 2};

std::string dispatched(const char* id, const char* argument = "arg") {
  last_call.clear();
  dispatch_request(id, argument);
  return last_call;
}

class Registry : public ::testing::Test {
 protected:
  void SetUp() override { zvtest::reset_device_state(); }
};

}  // namespace

const RequestModule* const kProgramModules[] = {&kFirst, &kSecond};
const int kProgramModuleCount = 2;

TEST_F(Registry, ProgramModulesAreRegisteredFromTheStartInListOrder) {
  // Looked up before the table is first counted or changed (the module tables themselves), then
  // after: the same handlers.
  for (int pass = 0; pass < 2; ++pass) {
    EXPECT_EQ(dispatched("/1000", "x=1"), "A:x=1");  // the earlier module holds the lower slot
    EXPECT_EQ(dispatched("/vb.htm"), "B:arg");
    EXPECT_EQ(dispatched("/vb.ht"), "");
    EXPECT_EQ(registered_request_count(), 4);
  }
}

TEST_F(Registry, MatchingIsExactAndCaseSensitive) {
  struct Case {
    const char* id;
    std::string expect;
  };
  const std::vector<Case> cases = {{"/1000", "A:arg"},   {"/10000", ""}, {"/100", ""},
                                   {"/json", "A:arg"},   {"/JSON", ""},  {"/VB.HTM", ""},
                                   {"/vb.htm", "B:arg"}, {"vb.htm", ""}, {"", ""}};
  for (const auto& c : cases) EXPECT_EQ(dispatched(c.id), c.expect) << c.id;
  // An id filling all 8 bytes (no NUL) matches its 8 characters only, not a longer text.
  const WebReqEntry full[] = {{{'/', 'a', 'b', 'c', 'd', 'e', 'f', 'g'}, &record<'F'>}};
  ASSERT_EQ(register_requests(full, 1), 0);
  EXPECT_EQ(dispatched("/abcdefg"), "F:arg");
  EXPECT_EQ(dispatched("/abcdefgh"), "");
  EXPECT_EQ(dispatched("/abcdef"), "");
  ASSERT_EQ(unregister_requests(full, 1), 0);
  EXPECT_EQ(dispatched("/abcdefg"), "");
  last_call.clear();
  dispatch_request(nullptr, "x");
  EXPECT_EQ(last_call, "");
  EXPECT_EQ(dispatched("/json", ""), "A:");
}

TEST_F(Registry, FillsUpTo511RowsThenRefusesWithTheTraceLine) {
  const int room = 511 - registered_request_count();
  std::vector<WebReqEntry> big(static_cast<size_t>(room));
  for (int i = 0; i < room; ++i) {
    const int n = snprintf(big[static_cast<size_t>(i)].id, sizeof big[0].id, "/x%d", i % 1000);
    ASSERT_GT(n, 0);
    big[static_cast<size_t>(i)].handler = &record<'X'>;
  }
  ASSERT_EQ(register_requests(big.data(), room), 0);
  EXPECT_EQ(registered_request_count(), 511);
  EXPECT_FALSE(zvtest::file_exists(kTraceLogPath));

  const WebReqEntry one[] = {{"/extra", &record<'E'>}};
  EXPECT_EQ(register_requests(one, 1), -1);
  EXPECT_EQ(registered_request_count(), 511);
  EXPECT_EQ(dispatched("/extra"), "");
  EXPECT_EQ(dispatched("/x0"), "X:arg");
  EXPECT_EQ(dispatched("/1000"), "A:arg");
  const std::string log = zvtest::read_file(kTraceLogPath);
  EXPECT_TRUE(fronttest::is_trace_line(
      log, "dispatchreq:62 in : [oxel debug] WEBREQ exceeded maximum value(MAX_WEBREQ_COUNT)\n"))
      << log;

  ASSERT_EQ(unregister_requests(big.data(), room), 0);
  EXPECT_EQ(registered_request_count(), 4);
  EXPECT_EQ(register_requests(one, 1), 0);  // room again
  EXPECT_EQ(unregister_requests(one, 1), 0);
}

TEST_F(Registry, BadArgumentsAreRefused) {
  const WebReqEntry one[] = {{"/y", &record<'Y'>}};
  EXPECT_EQ(register_requests(nullptr, 1), -1);
  EXPECT_EQ(register_requests(one, 0), -1);
  EXPECT_EQ(register_requests(one, -3), -1);
  EXPECT_EQ(unregister_requests(nullptr, 1), -1);
  EXPECT_EQ(unregister_requests(one, 0), -1);
  EXPECT_FALSE(zvtest::file_exists(kTraceLogPath));   // only an overflow is traced
  EXPECT_EQ(register_requests(one, 0x7fffffff), -1);  // count + n must not wrap around
  EXPECT_NE(zvtest::read_file(kTraceLogPath).find("WEBREQ exceeded"), std::string::npos);
  EXPECT_EQ(registered_request_count(), 4);
}

TEST_F(Registry, UnregisterRemovesOnlyNamedIdsAndFreedSlotsAreReusedLowestFirst) {
  const WebReqEntry freed[] = {{"/free", &record<'F'>}, {"/f2", &record<'F'>}};
  const WebReqEntry later[] = {{"/dup", &record<'L'>}, {"/keep", &record<'K'>}};
  const WebReqEntry refill[] = {{"/dup", &record<'R'>}};
  ASSERT_EQ(register_requests(freed, 2), 0);
  ASSERT_EQ(register_requests(later, 2), 0);
  EXPECT_EQ(dispatched("/dup"), "L:arg");

  ASSERT_EQ(unregister_requests(freed, 2), 0);
  EXPECT_EQ(dispatched("/free"), "");
  EXPECT_EQ(dispatched("/keep"), "K:arg");
  EXPECT_EQ(dispatched("/1000"), "A:arg");
  // The refill lands in the freed lower slot, so it now wins over the later row.
  ASSERT_EQ(register_requests(refill, 1), 0);
  EXPECT_EQ(dispatched("/dup"), "R:arg");
  // Unregistering by id clears every slot holding it.
  ASSERT_EQ(unregister_requests(refill, 1), 0);
  EXPECT_EQ(dispatched("/dup"), "");
  EXPECT_EQ(dispatched("/keep"), "K:arg");
  ASSERT_EQ(unregister_requests(later, 2), 0);
  EXPECT_EQ(registered_request_count(), 4);
}
