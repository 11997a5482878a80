#include "tools/zvcore-sim/rules.h"

void SimRules::add(int32_t id, SimMatch match, SimAnswerFn fn) {
  auto [first, last] = rules_.equal_range(id);
  for (auto it = first; it != last; ++it) {
    // Two rules for one id are allowed only when both say the id is shared.
    if (!it->second.match || !match) {
      conflicts_.push_back("id " + std::to_string(id) + ": " + it->second.module + " and " + module_);
    }
  }
  rules_.emplace(id, Rule{module_, std::move(match), std::move(fn)});
}

void SimRules::notice(int32_t id) {
  add(id, nullptr, [](const SimRequest&, SimAnswer&) {});
}

void SimRules::answer(int32_t id, SimAnswerFn fn) { add(id, nullptr, std::move(fn)); }

void SimRules::fixed(int32_t id, std::vector<unsigned char> payload) {
  add(id, nullptr, [payload = std::move(payload)](const SimRequest&, SimAnswer& a) {
    a.bytes(payload.data(), payload.size());
  });
}

void SimRules::shared(int32_t id, SimMatch match, SimAnswerFn fn) {
  add(id, std::move(match), std::move(fn));
}

const SimRules::Rule* SimRules::find(const SimRequest& request) const {
  auto [first, last] = rules_.equal_range(request.id);
  for (auto it = first; it != last; ++it) {
    if (!it->second.match || it->second.match(request)) return &it->second;
  }
  return nullptr;
}
