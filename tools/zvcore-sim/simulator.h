// The core simulator: the stand-in for the recorder's core daemon in the demo and the end-to-end
// tests. It serves the message socket, logs every message, keeps the operation log, and answers
// each message through the rule its module declared (rules.h; one source file per module, listed
// in modules.h), through a script rule, or with the default reply.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/zvsocket/zvsocket_server.h"
#include "tools/zvcore-sim/control.h"
#include "tools/zvcore-sim/message_log.h"
#include "tools/zvcore-sim/oplog_store.h"
#include "tools/zvcore-sim/rules.h"
#include "tools/zvcore-sim/script.h"

struct SimOptions {
  std::string socket_path = "/var/run/zvsocket";
  std::string ready_path = "/tmp/zvcore";  // exists while the core is up ("core ready")
  std::string message_log_path;            // --message-log
  std::string script_path;                 // --script
  std::string oplog_path;                  // --oplog
  std::string control_path;                // --control: the control channel (control.h), none when empty
  int reboot_ms = 2000;                    // how long a reboot (1703) keeps the core down
  bool verbose = false;                    // one line per message on standard error
};

class Simulator;

class Simulator {
 public:
  explicit Simulator(SimOptions options);
  // A simulator of just these modules (tests).
  Simulator(SimOptions options, std::vector<std::unique_ptr<SimModule>> modules);
  ~Simulator();
  Simulator(const Simulator&) = delete;
  Simulator& operator=(const Simulator&) = delete;

  // Refuses rules that clash, opens the logs, reads the script, listens (and on the control
  // socket, inside tools/sandbox only) and marks the core ready. False with a reason.
  bool start(std::string* error);
  // Stops serving, removes the ready marker and the socket.
  void stop();
  // Reads the script file again (SIGHUP). False with a reason (the old script stays).
  bool reload_script(std::string* error);
  // Takes canned replies from `path` from now on (the control command "script"); false with a
  // reason, the old script staying. clear_script() ends the canned replies.
  bool use_script(const std::string& path, std::string* error);
  void clear_script();
  // Messages written to the message log since start.
  uint64_t logged_messages() const { return message_log_.count(); }

  // The module objects, in the order they were made; and one by name (null when unknown).
  const std::vector<std::unique_ptr<SimModule>>& modules() const { return modules_; }
  SimModule* module(const std::string& name) const;
  const SimRules& rules() const { return rules_; }

  // The reply id for a request id: id + 5000, except the few the web side expects elsewhere.
  static int32_t reply_id_for(int32_t id);
  // Sends the reply of `request` (its reply id, or `reply_id` when non-zero) after `delay_ms`.
  // False when the requester has gone (its connection is closed).
  bool reply(const SimRequest& request, const void* payload, uint32_t length, int32_t reply_id = 0,
             int delay_ms = 0);
  void reply_int32(const SimRequest& request, int32_t value);

  // The core's "ready" marker and the reboot cycle: the marker goes, and comes back after
  // reboot_ms.
  void set_ready(bool ready);
  void reboot();

  // Runs `task` on the simulator's timer thread after `delay_ms`.
  void after(int delay_ms, std::function<void()> task);

  OpLogStore& oplog() { return oplog_; }
  const SimOptions& options() const { return options_; }

 private:
  void handle(ZvSockServer::PeerId peer, const ZvMsgHeader& header, const unsigned char* payload);
  void timer_loop();
  void hold_database();

  SimOptions options_;
  ZvSockServer server_;
  MessageLog message_log_;
  OpLogStore oplog_;
  std::mutex mutex_;  // guards script_, script_path_, timers_, stopping_
  Script script_;
  std::string script_path_;  // the file SIGHUP rereads
  ControlServer control_;
  std::vector<std::unique_ptr<SimModule>> modules_;
  SimRules rules_;
  std::condition_variable timers_changed_;
  std::multimap<std::chrono::steady_clock::time_point, std::function<void()>> timers_;
  bool stopping_ = false;
  bool started_ = false;  // serving; the ready marker is ours
  std::thread timer_thread_;
  std::atomic<bool> database_held_{false};
  std::atomic<bool> plates_held_{false};
};
