// System module: device lifecycle, login and users, and the operation log.
#include <cstdio>
#include <ctime>

#include "tools/zvcore-sim/simulator.h"

namespace {
constexpr int32_t kMsgReboot = 1703;
constexpr int32_t kMsgRedirectLogin = 3504;
constexpr int32_t kMsgUsersChanged = 3505;
}  // namespace

void install_system_module(Simulator& simulator) {
  // Reboot: the core goes down (its ready marker disappears) and comes back.
  simulator.on(kMsgReboot, [](Simulator& sim, const SimRequest&) { sim.reboot(); });

  // Redirect login: the core decides; 0 lets the client in as the temporary user.
  simulator.on(kMsgRedirectLogin, [](Simulator& sim, const SimRequest& request) { sim.reply_int32(request, 0); });

  // The user table changed (whole table, or one user id): the core rereads it; no reply.
  simulator.silent(kMsgUsersChanged);

  // Operation-log records: stored with the arrival time; no reply.
  auto store = [](Simulator& sim, const SimRequest& request) {
    auto now = static_cast<int32_t>(time(nullptr));
    if (!sim.oplog().add(request.id, request.payload, request.length, now)) {
      fprintf(stderr, "zvcore-sim: operation-log message %d of %u bytes ignored\n", request.id,
              request.length);
    }
  };
  simulator.on(kMsgOpLogRecord, store);
  simulator.on(kMsgOpLogMulti, store);
}
