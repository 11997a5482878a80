// zvjs: turns a USB joystick or PTZ keyboard into live-view navigation and PTZ commands for the
// core. The main thread waits for SIGINT/SIGTERM; one reader thread owns all joystick state and
// sends every command (message 4002) on the one connection opened at start.
#include <signal.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "joystick/js_command.h"
#include "joystick/js_device.h"
#include "joystick/js_reader.h"
#include "platform/zvsocket/zvsocket.h"
#include "platform/zvstd/task.h"

namespace {

constexpr const char* kCoreSocketPath = "/var/run/zvsocket";
constexpr int kJoystickClient = 11;

volatile sig_atomic_t g_exit_requested = 0;

void on_exit_signal(int) { g_exit_requested = 1; }

struct ReaderContext {
  zvjs::JoystickReader* reader;
  std::atomic<bool>* running;
};

void* reader_main(void* arg) {
  auto* context = static_cast<ReaderContext*>(arg);
  zv_task_set_name("zvjs_reader");
  context->reader->run(*context->running);
  return nullptr;
}

bool install_signal_handlers() {
  struct sigaction ignore{};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  struct sigaction stop{};
  stop.sa_handler = on_exit_signal;
  sigemptyset(&stop.sa_mask);
  // Other fatal signals keep their default action: the supervisor restarts the daemon.
  return sigaction(SIGPIPE, &ignore, nullptr) == 0 && sigaction(SIGINT, &stop, nullptr) == 0 &&
         sigaction(SIGTERM, &stop, nullptr) == 0;
}

}  // namespace

int main() {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);  // one line at a time into the device's log
  if (!install_signal_handlers()) {
    std::fputs("zv_js_init failed !\n", stdout);
    return 1;
  }

  // -1 only means that the core does not listen yet: the connection is kept and the first send
  // connects. Anything below is a refusal.
  if (zv_sock_init(nullptr, 0, kJoystickClient, kCoreSocketPath) < -1) {
    std::fputs("zv_js_init failed !\n", stdout);
    return 1;
  }

  zvjs::LinuxInputSource input;
  zvjs::CoreCommandSender sender(&zv_sock_send_msg);
  zvjs::JoystickReader reader(input, sender);
  std::atomic<bool> running{true};
  ReaderContext context{&reader, &running};

  // The reader thread never takes the stop signals, so they always reach the main thread's sleep.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  sigset_t previous;
  pthread_sigmask(SIG_BLOCK, &stop_signals, &previous);
  ZvTask task;
  const int started = zv_task_create_join(&task, reader_main, &context);
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  if (started != 0) {
    std::fputs("zv_js_init failed !\n", stdout);
    zv_sock_uninit(0);
    return 1;
  }

  while (g_exit_requested == 0) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  std::fputs("exit zvjs\n", stdout);
  running.store(false);
  zv_task_join(&task);
  zv_sock_uninit(0);
  return 0;
}
