// Local module: a channel's recording settings changed (1407); the core reads its row again.
// Nothing is answered.
#include <memory>

#include "handlers/local/local_messages.h"
#include "tools/zvcore-sim/rules.h"

namespace {

class LocalSim : public SimModule {
 public:
  const char* name() const override { return "local"; }
  void rules(SimRules& r) override { r.notice(kRecordChanged); }
};

}  // namespace

std::unique_ptr<SimModule> make_local_sim() { return std::make_unique<LocalSim>(); }
