// zvcore-sim: the core daemon stand-in.
//
//   zvcore-sim [--message-log FILE] [--script FILE] [--oplog FILE] [--socket PATH]
//              [--ready-file PATH] [--reboot-ms N] [--control PATH] [--verbose] [--help]
//   zvcore-sim ctl [--control PATH] <words...>
//
// Listens on "/var/run/zvsocket" (run it inside tools/sandbox), creates "/tmp/zvcore" once it
// serves, and runs until SIGTERM or SIGINT (exit status 0; the marker and the socket are removed).
// SIGHUP reads the --script file again. The script format is described in script.h.
// "ctl" sends one command to a running simulator's control socket (control.h), prints the answer
// and exits 0 when it starts with "ok", 1 otherwise (2: bad usage).
#include <limits.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tools/zvcore-sim/control.h"
#include "tools/zvcore-sim/simulator.h"

namespace {

constexpr const char kUsage[] =
    "usage: zvcore-sim [--message-log FILE] [--script FILE] [--oplog FILE] [--socket PATH]\n"
    "                  [--ready-file PATH] [--reboot-ms N] [--control PATH] [--verbose] [--help]\n"
    "       zvcore-sim ctl [--control PATH] <words...>\n";

constexpr const char kHelp[] =
    "The core daemon stand-in. Serves /var/run/zvsocket (run it inside tools/sandbox), answers\n"
    "message N with N + 5000, creates /tmp/zvcore when ready, stops on SIGTERM or SIGINT.\n"
    "\n"
    "  --message-log FILE  append every received message as one JSON line:\n"
    "                      {\"t\": <unix ms>, \"client\": 3, \"id\": 3485, \"len\": 672, \"payload\": \"<hex>\"}\n"
    "  --script FILE       canned replies by message id (SIGHUP reads the file again); lines:\n"
    "                        <id> none | empty | hex <HEX> | int32 <N> [<N> ...]\n"
    "                      with optional 'as <reply-id>' and 'after <ms>' between id and kind;\n"
    "                      several lines for one id send several replies; '#' starts a comment\n"
    "  --oplog FILE        keep the operation log (3485/3509 records) in FILE across restarts\n"
    "  --socket PATH       listen here instead of /var/run/zvsocket\n"
    "  --ready-file PATH   the ready marker instead of /tmp/zvcore\n"
    "  --reboot-ms N       how long a reboot (1703) keeps the core down (default 2000)\n"
    "  --control PATH      listen for control commands here (inside tools/sandbox only);\n"
    "                      the demo uses /var/run/zvcore-sim.ctl\n"
    "  --verbose           one line per message on standard error\n"
    "\n"
    "zvcore-sim ctl sends one command to a running simulator (default socket\n"
    "/var/run/zvcore-sim.ctl) and prints its answer; exit status 0 when it starts with \"ok\".\n"
    "Commands: modules | rules | ready on|off | reboot | script <file>|clear | log | help |\n"
    "<module> <words...> (a module's own commands).\n";

void usage() { fputs(kUsage, stderr); }

bool parse_options(int argc, char** argv, SimOptions* options) {
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    auto value = [&](std::string* out) {
      if (i + 1 >= argc) return false;
      *out = argv[++i];
      return true;
    };
    if (arg == "--message-log") {
      if (!value(&options->message_log_path)) return false;
    } else if (arg == "--script") {
      if (!value(&options->script_path)) return false;
    } else if (arg == "--oplog") {
      if (!value(&options->oplog_path)) return false;
    } else if (arg == "--socket") {
      if (!value(&options->socket_path)) return false;
    } else if (arg == "--ready-file") {
      if (!value(&options->ready_path)) return false;
    } else if (arg == "--reboot-ms") {
      std::string text;
      if (!value(&text)) return false;
      char* end = nullptr;
      errno = 0;
      long ms = strtol(text.c_str(), &end, 10);
      if (text.empty() || *end != '\0' || errno != 0 || ms < 0 || ms > INT_MAX) return false;
      options->reboot_ms = static_cast<int>(ms);
    } else if (arg == "--control") {
      if (!value(&options->control_path)) return false;
    } else if (arg == "--verbose") {
      options->verbose = true;
    } else if (arg == "--help") {
      fputs(kUsage, stdout);
      fputs(kHelp, stdout);
      exit(0);
    } else {
      return false;
    }
  }
  return true;
}

// zvcore-sim ctl [--control PATH] <words...>
int control_main(int argc, char** argv) {
  std::string path = kControlDefaultPath;
  int first = 2;
  if (argc > 3 && strcmp(argv[2], "--control") == 0) {
    path = argv[3];
    first = 4;
  }
  if (first >= argc) {
    usage();
    return 2;
  }
  std::vector<std::string> words(argv + first, argv + argc);
  // A script file is read by the simulator, whose working directory may differ from ours.
  if (words.size() == 2 && words[0] == "script" && words[1] != "clear" && words[1][0] != '/') {
    char cwd[PATH_MAX];
    if (getcwd(cwd, sizeof cwd) != nullptr) words[1] = std::string(cwd) + "/" + words[1];
  }
  std::string line;
  for (const std::string& word : words) line += (line.empty() ? "" : " ") + word;
  if (line.find_first_of("\r\n") != std::string::npos) {
    fputs("zvcore-sim ctl: a command is one line\n", stderr);
    return 2;
  }
  std::string answer;
  if (!control_request(path, line, &answer)) {
    fprintf(stderr, "zvcore-sim ctl: %s\n", answer.c_str());
    return 1;
  }
  printf("%s\n", answer.c_str());
  return answer == "ok" || answer.rfind("ok ", 0) == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && strcmp(argv[1], "ctl") == 0) return control_main(argc, argv);
  SimOptions options;
  if (!parse_options(argc, argv, &options)) {
    usage();
    return 2;
  }
  // Signals are taken by sigwait below; every thread started from here on inherits the mask.
  sigset_t handled;
  sigemptyset(&handled);
  sigaddset(&handled, SIGTERM);
  sigaddset(&handled, SIGINT);
  sigaddset(&handled, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &handled, nullptr);
  signal(SIGPIPE, SIG_IGN);

  Simulator simulator(options);
  std::string error;
  if (!simulator.start(&error)) {
    fprintf(stderr, "zvcore-sim: %s\n", error.c_str());
    return 1;
  }
  fprintf(stderr, "zvcore-sim: serving %s, ready marker %s%s%s\n", options.socket_path.c_str(),
          options.ready_path.c_str(), options.control_path.empty() ? "" : ", control socket ",
          options.control_path.c_str());
  for (;;) {
    int signal_number = 0;
    if (sigwait(&handled, &signal_number) != 0) continue;
    if (signal_number == SIGHUP) {
      if (!simulator.reload_script(&error)) fprintf(stderr, "zvcore-sim: %s\n", error.c_str());
      continue;
    }
    break;
  }
  simulator.stop();
  fprintf(stderr, "zvcore-sim: stopped\n");
  return 0;
}
