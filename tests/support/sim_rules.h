// The check every simulator module's test makes: its rules took no id another module holds, and
// each message of a module's list has its rule, in the simulator module that answers it, and the
// reply id of its declaration.
#pragma once

#include <gtest/gtest.h>

#include <span>

#include "common/exchange.h"
#include "tools/zvcore-sim/rules.h"
#include "tools/zvcore-sim/simulator.h"

namespace zvtest {

inline void expect_module_rules(const Simulator& simulator, std::span<const MessageInfo> messages,
                                const char* module) {
  EXPECT_TRUE(simulator.rules().conflicts().empty());
  for (const MessageInfo& m : messages) {
    SCOPED_TRACE(m.name);
    if (m.reply_id != 0) {
      EXPECT_EQ(Simulator::reply_id_for(m.id), m.reply_id);
    }
    const SimRules::Rule* rule = simulator.rules().find(SimRequest{0, 3, m.id, nullptr, 0});
    ASSERT_NE(rule, nullptr);
    EXPECT_EQ(rule->module, module);
  }
}

}  // namespace zvtest
