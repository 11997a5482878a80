// Shell commands without system(3): posix_spawn does not touch the process's signal dispositions,
// so a command can run while the socket library's reader thread is alive.
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <csignal>

#include "platform/zvstd/zvstd.h"

extern char** environ;

int zv_system(const char* command) {
  if (command == nullptr) return -1;
  posix_spawnattr_t attributes;
  if (posix_spawnattr_init(&attributes) != 0) return -1;
  // The child starts with default dispositions for the signals a shell relies on, whatever this
  // process ignores (SIGPIPE in the daemons).
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  sigaddset(&defaults, SIGCHLD);
  sigaddset(&defaults, SIGINT);
  sigaddset(&defaults, SIGQUIT);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
  char shell[] = "/bin/sh";
  char dash_c[] = "-c";
  char* argv[] = {shell, dash_c, const_cast<char*>(command), nullptr};
  pid_t pid = -1;
  int rc = posix_spawn(&pid, "/bin/sh", nullptr, &attributes, argv, environ);
  posix_spawnattr_destroy(&attributes);
  if (rc != 0) return -1;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return status;
}
