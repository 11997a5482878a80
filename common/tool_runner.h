// Runs a program with an argument vector, never through a shell: the way to start the device's
// tools (disk, network, maintenance) with anything a request supplied among the arguments.
// (zv_system / run_command run shell command texts and are only for texts made of constants.)
#pragma once

#include <cstddef>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

#include <sys/types.h>

// How run_tool runs one program.
struct ToolOptions {
  // Standard output: when true it is read through a pipe into ToolResult::output, at most
  // output_limit bytes; what comes beyond that is read and thrown away (the child never blocks on
  // a full pipe) and ToolResult::output_cut is set. When false the child's standard output is
  // /dev/null (in webreq, standard output is the HTTP reply).
  bool capture_output = false;
  size_t output_limit = 64 * 1024;

  // Standard input: these bytes through a pipe, closed after the last one; /dev/null when empty
  // (in webreq, standard input may still hold the request body). The bytes must stay valid during
  // the call. A child that exits without reading them all is not an error.
  std::string_view input;

  // Wall-clock limit from the start: a child still running after it is killed with SIGKILL,
  // together with the processes it started (it runs in a process group of its own), and
  // ToolResult::timed_out is set. kNoTimeLimit (or any value <= 0) waits as long as it runs.
  int time_limit_ms = 10000;
  static constexpr int kNoTimeLimit = 0;

  // Standard error is inherited (in webreq: the web server's error log) unless this is set, in
  // which case it is /dev/null.
  bool discard_errors = false;
};

enum class ToolStatus {
  kNotStarted,  // the program could not be started (ToolResult::error says why)
  kExited,      // it exited (ToolResult::exit_code)
  kSignaled,    // a signal ended it (ToolResult::signal; SIGKILL after a time-out)
};

struct ToolResult {
  ToolStatus status = ToolStatus::kNotStarted;
  int exit_code = -1;       // kExited: the exit status, 0..255; otherwise -1
  int signal = 0;           // kSignaled: the signal number; otherwise 0
  int error = 0;            // kNotStarted: an errno value (ENOENT: no such program, EACCES,
                            // EINVAL: a bad argument vector, ...; ECHILD: it ran, but its exit
                            // status was lost because this process ignores SIGCHLD); otherwise 0
  bool timed_out = false;   // run_tool killed it because it ran over the time limit
  std::string output;       // the captured standard output (capture_output)
  bool output_cut = false;  // more than output_limit bytes came; output holds the first ones

  // Exited with status 0 within the time limit.
  bool succeeded() const { return status == ToolStatus::kExited && exit_code == 0 && !timed_out; }
};

// Runs the program argv[0] with the argument vector argv and waits until it ends (or until the
// time limit).
//
// - argv: the program and its arguments, each passed to the program byte for byte: no shell, no
//   word splitting, no expansion, so request text may be an argument. It must not be empty and
//   no element may be null, except that a final null pointer (of a C-style argv array) is
//   ignored; otherwise the result is kNotStarted with EINVAL.
// - The program: a name with a '/' is used as it is; a bare name is looked up in the directories
//   of PATH (posix_spawnp; without PATH, glibc searches /bin:/usr/bin). In the sandbox PATH starts
//   with tools/device-bin, the stand-ins for the device's tools.
// - The child inherits the environment and the working directory. It gets descriptors 0, 1 and 2
//   only (every other descriptor of this process is closed in it; with a glibc older than 2.34,
//   only those opened close-on-exec), an empty signal mask and the default action for every
//   signal, so a parent that ignores SIGPIPE does not pass that on.
// - Safe while other threads run: no signal disposition or global state of this process changes;
//   SIGPIPE is blocked in the calling thread while it writes the input (and any SIGPIPE that this
//   raises is taken back before the call returns).
//
// Never throws. Memory for the captured bytes is taken as they come; should it run out, the rest
// is thrown away as if beyond output_limit.
ToolResult run_tool(std::span<const char* const> argv, const ToolOptions& options = {});
ToolResult run_tool(std::initializer_list<const char*> argv, const ToolOptions& options = {});

// Starts the program argv[0] with the argument vector argv and does not wait for it: a program
// that runs on after this process (a packet capture, a watchdog). It runs in a session of its
// own, with standard input, output and error on /dev/null (in webreq, standard output is the
// HTTP reply, which must end when webreq ends), the default action for every signal and only
// descriptors 0-2. Returns its process id, or -1 with *error (if given) set to an errno value
// when it could not be started (the argv rules of run_tool apply).
pid_t start_tool(std::span<const char* const> argv, int* error = nullptr);
pid_t start_tool(std::initializer_list<const char*> argv, int* error = nullptr);
