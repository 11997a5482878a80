// The simulator's control channel: tests and the demo change the simulated device while it runs
// (`zvcore-sim ctl <words...>`). The simulator listens on a local stream socket (--control PATH,
// opened only inside tools/sandbox); a client sends one text line and reads one line back, which
// starts with "ok" or "error":
//
//   modules                   the names of the modules          ok system video
//   rules                     every rule: id:module, ":shared"  ok 1000:system 2503:video:shared
//                             for an id with rules by payload
//   ready on|off              creates or removes the ready marker
//   reboot                    the ready marker goes for the reboot time, then comes back
//   script <file>             canned replies from <file>, as --script (SIGHUP rereads it)
//   script clear              no canned replies any more
//   log                       the message log's path and the messages logged since start
//   help                      these commands
//   <module> <words...>       a module's own command (SimModule::control)
//
// The simulator serves one client at a time on its own thread. A line is at most kControlLineMax
// bytes with its newline; a longer one, a line with control bytes, or a client that sends no
// line within the time limit gets an error (or nothing, when it has gone) and is closed.
#pragma once

#include <string>
#include <thread>

class Simulator;

inline constexpr const char kControlDefaultPath[] = "/var/run/zvcore-sim.ctl";
inline constexpr size_t kControlLineMax = 1024;

// The answer line (without newline) to one command line.
std::string sim_control(Simulator& simulator, const std::string& line);

// The listening side; the Simulator owns one when --control is given.
class ControlServer {
 public:
  ControlServer() = default;
  ~ControlServer() { stop(); }
  ControlServer(const ControlServer&) = delete;
  ControlServer& operator=(const ControlServer&) = delete;

  // Listens on `path` (a stale socket file is replaced, a live one refused) and starts the thread.
  bool start(const std::string& path, Simulator* simulator, std::string* error);
  // Stops the thread and removes the socket file. Idempotent.
  void stop();

 private:
  void run();
  void serve(int fd);

  Simulator* simulator_ = nullptr;
  std::string path_;
  int listen_fd_ = -1;
  int wake_fd_ = -1;
  std::thread thread_;
};

// The client: sends `line` to the control socket at `path`, and puts the answer line in *answer.
// False (with the reason in *answer) when the simulator cannot be reached or does not answer.
bool control_request(const std::string& path, const std::string& line, std::string* answer,
                     int timeout_ms = 10000);
