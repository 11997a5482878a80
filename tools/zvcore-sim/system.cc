// System module: device lifecycle, login and users, and the operation log.
#include <cstdio>
#include <ctime>
#include <memory>

#include "common/oplog.h"
#include "common/messages/system.h"
#include "tools/zvcore-sim/rules.h"
#include "tools/zvcore-sim/simulator.h"

namespace {

class SystemSim : public SimModule {
 public:
  const char* name() const override { return "system"; }

  void rules(SimRules& r) override {
    // Reboot: the core goes down (its ready marker disappears) and comes back.
    r.answer(kReboot, [this](const SimRequest&, SimAnswer&) { sim->reboot(); });

    // Redirect login: the core decides; 0 lets the client in as the temporary user.
    r.answer(kRedirectLogin,
             [](const SimRequest&, SimAnswer& a) { a.int32(0, kRedirectLogin.reply_id); });

    // The user table changed (whole table, or one user id): the core rereads it; no reply.
    r.notice(kUsersChanged);

    // Operation-log records: stored with the arrival time; no reply.
    auto store = [this](const SimRequest& request, SimAnswer&) {
      const auto now = static_cast<int32_t>(time(nullptr));
      if (!sim->oplog().add(request.id, request.payload, request.length, now)) {
        fprintf(stderr, "zvcore-sim: operation-log message %d of %u bytes ignored\n", request.id,
                request.length);
      }
    };
    r.answer(kOpLog, store);
    r.answer(kOpLogMulti, store);
  }
};

}  // namespace

std::unique_ptr<SimModule> make_system_sim() { return std::make_unique<SystemSim>(); }
