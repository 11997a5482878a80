// zvcore-sim: the core daemon stand-in.
//
//   zvcore-sim [--message-log FILE] [--script FILE] [--oplog FILE] [--socket PATH]
//              [--ready-file PATH] [--reboot-ms N] [--verbose] [--help]
//
// Listens on "/var/run/zvsocket" (run it inside tools/sandbox), creates "/tmp/zvcore" once it
// serves, and runs until SIGTERM or SIGINT (exit status 0; the marker and the socket are removed).
// SIGHUP reads the --script file again. The script format is described in script.h.
#include <signal.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tools/zvcore-sim/simulator.h"

namespace {

constexpr const char kUsage[] =
    "usage: zvcore-sim [--message-log FILE] [--script FILE] [--oplog FILE] [--socket PATH]\n"
    "                  [--ready-file PATH] [--reboot-ms N] [--verbose] [--help]\n";

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
    "  --verbose           one line per message on standard error\n";

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

}  // namespace

int main(int argc, char** argv) {
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
  fprintf(stderr, "zvcore-sim: serving %s, ready marker %s\n", options.socket_path.c_str(),
          options.ready_path.c_str());
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
