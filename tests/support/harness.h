// Request-level test harness: runs a real program of the build (webreq, zvdb, zvcore-sim ...) as a
// child process with a given environment and standard input, and inspects the device directories
// of the sandbox afterwards. Every test program runs inside tools/sandbox, so /tmp, /var/run,
// /mnt/nand ... are private scratch directories; reset_device_state() refuses to run outside one.
#pragma once

#include <sys/types.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace zvtest {

struct RunOptions {
  std::vector<std::string> args;                  // argv[1..]
  std::map<std::string, std::string> env;         // the whole environment (plus the
                                                  // sandbox's PATH unless it names one)
  std::string stdin_data;                         // written to the child's standard input
  bool keep_stdin_open = false;                   // do not close stdin after writing (until exit)
  int timeout_ms = 20000;                         // the child is killed after time_limit_ms(this)
};

struct RunResult {
  std::string out;        // standard output bytes
  std::string err;        // standard error bytes
  int exit_code = -1;     // exit status, or -1 when killed by a signal
  int signal = 0;         // the terminating signal, 0 when it exited
  bool timed_out = false; // killed by the harness after timeout_ms
};

// Path of a program of this build: <build>/bin/<name>.
std::string bin_path(const std::string& name);

// Runs `path` and collects everything it writes until it exits.
RunResult run_program(const std::string& path, const RunOptions& options);
// Runs a test's own constant command text with /bin/sh -c.
RunResult shell(const std::string& command);

// The command line (argv) that starts the program at `path` with `args`: natively the path and the
// arguments. A cross build runs its test programs under a user-mode emulator (CTest sets
// ZV_TEST_EMULATOR), and the kernel cannot start a program of the target's architecture by itself,
// so the emulator goes in front of such a program; host programs (curl, sh ...) start as they are.
// run_program, cgi_* and BackgroundProcess use it, and so must a test that starts a program of the
// build by its own fork/exec or posix_spawn. The children of all of them inherit ZV_TEST_EMULATOR.
std::vector<std::string> program_command(const std::string& path,
                                         const std::vector<std::string>& args = {});
// Null-terminated pointers to the texts of `words`, as execve and posix_spawn take them (valid
// while `words` lives unchanged).
std::vector<char*> exec_pointers(std::vector<std::string>& words);
// Starts `argv` (from exec_pointers) with environment `envp` through posix_spawn, never fork: a
// sanitizer test process's page tables are costly to copy, and a child forked while another thread
// held a lock could wait for it for ever. The program's descriptor i is stdio[i]; -1 leaves input
// on /dev/null and output on this process's own. Returns its pid, or -1.
pid_t spawn_program(std::vector<char*>& argv, std::vector<char*>& envp, const int (&stdio)[3]);

// A time limit for waiting on programs of the build: `native_ms` natively, kEmulatorSlowdown times
// that when they run under the emulator (a cross build), where they run several times slower. The
// harness's own limits (RunOptions::timeout_ms, BackgroundProcess::stop, wait_for_file) pass
// through it; they guard against hangs and measure nothing.
constexpr int kEmulatorSlowdown = 5;
int time_limit_ms(int native_ms);

// webreq as the web server runs it: a GET with PATH_INFO and QUERY_STRING, or a POST with a body.
// `extra` adds or overrides CGI variables (REMOTE_ADDR, HTTP_COOKIE, HTTP_HOST ...).
RunResult cgi_get(const std::string& path_info, const std::string& query,
                  const std::map<std::string, std::string>& extra = {});
RunResult cgi_post(const std::string& path_info, const std::string& content_type,
                   const std::string& body, const std::map<std::string, std::string>& extra = {});
// Same, with another program of the build (a test program built from the front end).
RunResult cgi_run(const std::string& program, const std::map<std::string, std::string>& env,
                  const std::string& body = "", bool keep_stdin_open = false);

// Empties the device directories (/tmp, /run, /mnt/nand, /mnt/nand2, /opt/app, /www, /dev/shm),
// never touching the checkout or anything mounted below them. Aborts the test program when it is
// not running inside the sandbox.
void reset_device_state();

// A program left running in the background (a server of the stack); stopped with SIGTERM, then
// SIGKILL, when the object goes away.
class BackgroundProcess {
 public:
  BackgroundProcess(const std::string& path, const std::vector<std::string>& args,
                    const std::map<std::string, std::string>& env);
  ~BackgroundProcess();
  BackgroundProcess(const BackgroundProcess&) = delete;
  BackgroundProcess& operator=(const BackgroundProcess&) = delete;
  int pid() const { return pid_; }
  bool running();
  // Sends SIGTERM and waits up to timeout_ms for the exit; returns the exit code (-1 on signal).
  int stop(int timeout_ms = 5000);

 private:
  int pid_ = -1;
  int status_ = 0;
  bool reaped_ = false;
};

// Asks `done` every 5 ms until it is true; false after timeout_ms.
bool wait_until(const std::function<bool()>& done, int timeout_ms = 10000);
// Waits until `path` exists; false after timeout_ms.
bool wait_for_file(const std::string& path, int timeout_ms = 10000);

// A TCP port on 127.0.0.1 that nothing listens on right now.
int free_tcp_port();

// The first of `count` (at most 4) consecutive free ports, the first one a multiple of 4: a demo
// stack uses PORT, PORT+1 (HTTPS) and PORT+2 (P2P stand-in), and stacks of tests that run side by
// side then never share a block. -1 when none is found.
int free_tcp_ports(int count);

bool file_exists(const std::string& path);
std::string read_file(const std::string& path);          // "" when missing
void write_file(const std::string& path, const std::string& data);
std::vector<std::string> list_dir(const std::string& path);  // sorted names, no "." / ".."

// Splits "Content-type: ...\r\n\r\nbody" into its body (empty when there is no header block).
std::string body_of(const std::string& reply);

}  // namespace zvtest
