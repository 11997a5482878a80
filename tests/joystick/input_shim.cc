// A scripted input layer for the end-to-end test of zvjs, preloaded with LD_PRELOAD (test builds
// only). No input device can be created on the build machines, so this library answers the C
// library calls that zvjs makes for "/dev/input/js0" and "/dev/input/event0".."event5" (access,
// open, ioctl with JSIOCGNAME / EVIOCGNAME, poll, select, read, close) from a script, and passes
// every other call on. Device descriptors are real descriptors (eventfd) so that a leak shows in
// /proc/<pid>/fd.
//
// Environment:
//   ZVJS_SHIM_SCRIPT    the script file (required for any device to appear)
//   ZVJS_SHIM_STATS     a file to map the counters of input_shim.h into (optional)
//   ZVJS_SHIM_SLEEP_DIV sleeps of 100 ms and more are divided by this (optional; lets a test see
//                       a hundred 1 s retries in a few seconds)
//
// Script: one step per line, run in order; '#' starts a comment.
//   name TEXT            name of the joystick (JSIOCGNAME, and EVIOCGNAME of its event device)
//   event N              the joystick's event device is eventN (default 0)
//   device N TEXT        another input device at eventN with the name TEXT (always present)
//   plug | unplug        the joystick appears / goes away (its descriptors then fail: ENODEV)
//   sleep MS             the next step comes MS milliseconds after this one started
//   key CODE VALUE       an EV_KEY event; waits until zvjs has read it
//   abs CODE VALUE       an EV_ABS event
//   ev TYPE CODE VALUE   any event
//   js-open-fail on|off  opening js0 fails with EACCES
//   js-name-fail on|off  JSIOCGNAME fails with EINVAL
//   short-read           the next read of the event device returns half an event
// The interposed functions keep their C library names (open and open64 are both defined here), so
// the build's 64-bit file offsets, which rename open to open64 on 32-bit targets, stay off here.
#undef _FILE_OFFSET_BITS
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <linux/input.h>
#include <linux/joystick.h>
#include <poll.h>
#include <stdarg.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/select.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <new>
#include <mutex>
#include <string>
#include <vector>

#include "tests/joystick/input_shim.h"

namespace {

// The next definition of a C library function, looked up once.
template <typename Fn>
Fn next_fn(const char* name) {
  return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}
using OpenFn = int (*)(const char*, int, ...);
using OpenatFn = int (*)(int, const char*, int, ...);
using ReadFn = ssize_t (*)(int, void*, size_t);
using CloseFn = int (*)(int);
using IoctlFn = int (*)(int, unsigned long, ...);
using PollFn = int (*)(pollfd*, nfds_t, int);
using SelectFn = int (*)(int, fd_set*, fd_set*, fd_set*, timeval*);
using NanosleepFn = int (*)(const timespec*, timespec*);
using ClockNanosleepFn = int (*)(clockid_t, int, const timespec*, timespec*);
using AccessFn = int (*)(const char*, int);
using FaccessatFn = int (*)(int, const char*, int, int);

int64_t now_ms() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

void real_sleep_ms(int ms) {
  static const auto fn = next_fn<NanosleepFn>("nanosleep");
  timespec ts{ms / 1000, (ms % 1000) * 1000000L};
  fn(&ts, nullptr);
}

struct Step {
  enum Type { kName, kEvent, kDevice, kPlug, kUnplug, kSleep, kInput, kJsOpenFail, kJsNameFail, kShortRead };
  Type type = kPlug;
  int number = 0;  // event device, sleep ms, or on/off
  std::string text;
  input_event event{};
};

Step make_step(Step::Type type, int number = 0, std::string text = "") {
  Step step;
  step.type = type;
  step.number = number;
  step.text = std::move(text);
  return step;
}

enum class FdKind { kJoystick, kEventJoystick, kEventOther };

struct FakeFd {
  FdKind kind;
  int generation;  // the plug session it was opened in
  std::string name;
};

zvjs::test::ShimStats g_unused_stats{};

class Shim {
 public:
  Shim() {
    load_script();
    map_stats();
    started_ms_ = now_ms();
    stats_->steps_total.store(static_cast<int64_t>(steps_.size()));
  }

  // Device path -> (is a device path, event number or -1 for js0).
  static bool device_path(const char* path, int* event_number) {
    if (path == nullptr) return false;
    if (std::strcmp(path, "/dev/input/js0") == 0) {
      *event_number = -1;
      return true;
    }
    int n = -1;
    char tail = 0;
    if (std::sscanf(path, "/dev/input/event%d%c", &n, &tail) == 1 && n >= 0 && n < 32) {
      *event_number = n;
      return true;
    }
    return false;
  }

  int access(int event_number) {
    std::lock_guard<std::mutex> lock(mutex_);
    advance();
    stats_->access_checks.fetch_add(1);
    if (exists(event_number)) return 0;
    errno = ENOENT;
    return -1;
  }

  int open(int event_number, int flags) {
    std::lock_guard<std::mutex> lock(mutex_);
    advance();
    if (event_number < 0) stats_->js_open_attempts.fetch_add(1);
    if (!exists(event_number)) {
      errno = ENOENT;
      return -1;
    }
    if (event_number < 0 && js_open_fail_) {
      errno = EACCES;
      return -1;
    }
    const int fd = eventfd(0, (flags & O_CLOEXEC) ? EFD_CLOEXEC : 0);
    if (fd < 0) return -1;
    FakeFd fake{FdKind::kJoystick, generation_, name_};
    if (event_number < 0) {
      stats_->js_opens.fetch_add(1);
    } else {
      stats_->event_opens.fetch_add(1);
      if (event_number != joystick_event_) fake = {FdKind::kEventOther, 0, others_[event_number]};
      else fake.kind = FdKind::kEventJoystick;
    }
    fds_[fd] = fake;
    stats_->fake_fds_open.store(static_cast<int64_t>(fds_.size()));
    return fd;
  }

  bool is_fake(int fd) {
    std::lock_guard<std::mutex> lock(mutex_);
    return fds_.count(fd) != 0;
  }

  // Returns true when `fd` was one of ours (then *result is the close result).
  bool close(int fd, int* result) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = fds_.find(fd);
    if (it == fds_.end()) return false;
    fds_.erase(it);
    stats_->fake_fds_open.store(static_cast<int64_t>(fds_.size()));
    static const auto real_close = next_fn<CloseFn>("close");
    *result = real_close(fd);
    return true;
  }

  int ioctl(int fd, unsigned long request, void* argument) {
    std::lock_guard<std::mutex> lock(mutex_);
    advance();
    const FakeFd& fake = fds_.at(fd);
    const unsigned long bare = request & ~(static_cast<unsigned long>(_IOC_SIZEMASK) << _IOC_SIZESHIFT);
    const size_t size = _IOC_SIZE(request);
    const bool js_name = bare == static_cast<unsigned long>(JSIOCGNAME(0));
    const bool ev_name = bare == static_cast<unsigned long>(EVIOCGNAME(0));
    if (js_name) stats_->js_name_queries.fetch_add(1);
    if (ev_name) stats_->event_name_queries.fetch_add(1);
    if ((js_name && fake.kind != FdKind::kJoystick) || (ev_name && fake.kind == FdKind::kJoystick) ||
        (!js_name && !ev_name)) {
      errno = ENOTTY;
      return -1;
    }
    if (stale(fake)) {
      errno = ENODEV;
      return -1;
    }
    if (js_name && js_name_fail_) {
      errno = EINVAL;
      return -1;
    }
    // As the kernel does: at most `size` bytes, the terminating NUL included when it fits.
    const size_t length = std::min(size, fake.name.size() + 1);
    std::memcpy(argument, fake.name.c_str(), length);
    return static_cast<int>(length);
  }

  // Poll events of a device descriptor now.
  short revents(int fd) {
    const FakeFd& fake = fds_.at(fd);
    if (stale(fake)) return POLLERR | POLLHUP;
    if (fake.kind == FdKind::kEventJoystick && (short_read_ || input_due())) return POLLIN;
    return 0;
  }

  int poll(pollfd* fds, nfds_t count, int timeout_ms) {
    static const auto real_poll = next_fn<PollFn>("poll");
    const int64_t deadline = timeout_ms < 0 ? INT64_MAX : now_ms() + timeout_ms;
    for (;;) {
      int ready = 0;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        advance();
        for (nfds_t i = 0; i < count; ++i) {
          fds[i].revents = 0;
          if (fds_.count(fds[i].fd) == 0) {
            pollfd other = fds[i];
            if (other.fd >= 0 && real_poll(&other, 1, 0) > 0) fds[i].revents = other.revents;
          } else {
            fds[i].revents = static_cast<short>(revents(fds[i].fd) & (fds[i].events | POLLERR | POLLHUP));
          }
          if (fds[i].revents != 0) ++ready;
        }
      }
      if (ready > 0 || now_ms() >= deadline) return ready;
      real_sleep_ms(2);
    }
  }

  int select(int count, fd_set* readable, timeval* timeout) {
    std::vector<pollfd> fds;
    for (int fd = 0; fd < count; ++fd) {
      if (readable != nullptr && FD_ISSET(fd, readable)) fds.push_back({fd, POLLIN, 0});
    }
    const int timeout_ms = timeout == nullptr ? -1 : static_cast<int>(timeout->tv_sec * 1000 + timeout->tv_usec / 1000);
    const int ready = poll(fds.data(), fds.size(), timeout_ms);
    if (readable != nullptr) {
      FD_ZERO(readable);
      for (const pollfd& p : fds) {
        if (p.revents != 0) FD_SET(p.fd, readable);
      }
    }
    return ready;
  }

  ssize_t read(int fd, void* buffer, size_t size) {
    for (;;) {
      {
        std::lock_guard<std::mutex> lock(mutex_);
        advance();
        const FakeFd& fake = fds_.at(fd);
        if (stale(fake)) {
          errno = ENODEV;
          return -1;
        }
        if (fake.kind != FdKind::kEventJoystick) {
          errno = EAGAIN;
          return -1;
        }
        if (short_read_) {
          short_read_ = false;
          const size_t half = std::min(size, sizeof(input_event) / 2);
          std::memset(buffer, 0, half);
          return static_cast<ssize_t>(half);
        }
        if (input_due()) {
          if (size < sizeof(input_event)) {
            errno = EINVAL;
            return -1;
          }
          std::memcpy(buffer, &steps_[cursor_].event, sizeof(input_event));
          stats_->events_read.fetch_add(1);
          complete_step();
          advance();
          return sizeof(input_event);
        }
      }
      real_sleep_ms(2);  // a blocking read waits for the next event
    }
  }

  int sleep_divisor() const { return sleep_divisor_; }

 private:
  bool exists(int event_number) const {
    if (event_number < 0 || event_number == joystick_event_) return plugged_;
    return others_.count(event_number) != 0;
  }
  bool stale(const FakeFd& fake) const {
    return fake.kind != FdKind::kEventOther && (!plugged_ || fake.generation != generation_);
  }
  bool input_due() const { return plugged_ && cursor_ < steps_.size() && steps_[cursor_].type == Step::kInput; }

  void complete_step() {
    ++cursor_;
    started_ms_ = now_ms();
    stats_->steps_done.store(static_cast<int64_t>(cursor_));
  }

  // Runs the steps that are due; stops at an input event (until it is read) or a pending sleep.
  void advance() {
    while (cursor_ < steps_.size()) {
      const Step& step = steps_[cursor_];
      switch (step.type) {
        case Step::kInput:
          return;
        case Step::kSleep:
          if (now_ms() < started_ms_ + step.number) return;
          ++cursor_;
          started_ms_ += step.number;
          stats_->steps_done.store(static_cast<int64_t>(cursor_));
          continue;
        case Step::kName: name_ = step.text; break;
        case Step::kEvent: joystick_event_ = step.number; break;
        case Step::kDevice: others_[step.number] = step.text; break;
        case Step::kPlug:
          plugged_ = true;
          ++generation_;
          break;
        case Step::kUnplug: plugged_ = false; break;
        case Step::kJsOpenFail: js_open_fail_ = step.number != 0; break;
        case Step::kJsNameFail: js_name_fail_ = step.number != 0; break;
        case Step::kShortRead: short_read_ = true; break;
      }
      complete_step();
    }
  }

  void load_script() {
    const char* path = std::getenv("ZVJS_SHIM_SCRIPT");
    const char* divisor = std::getenv("ZVJS_SHIM_SLEEP_DIV");
    if (divisor != nullptr) sleep_divisor_ = std::max(1, std::atoi(divisor));
    if (path == nullptr) return;
    static const auto real_open = next_fn<OpenFn>("open");
    static const auto real_read = next_fn<ReadFn>("read");
    static const auto real_close = next_fn<CloseFn>("close");
    std::string text;
    const int fd = real_open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;
    char chunk[4096];
    ssize_t got;
    while ((got = real_read(fd, chunk, sizeof chunk)) > 0) text.append(chunk, static_cast<size_t>(got));
    real_close(fd);

    size_t start = 0;
    while (start < text.size()) {
      size_t end = text.find('\n', start);
      if (end == std::string::npos) end = text.size();
      parse_line(text.substr(start, end - start));
      start = end + 1;
    }
  }

  void parse_line(std::string line) {
    if (const size_t hash = line.find('#'); hash != std::string::npos) line.resize(hash);
    char word[32] = {};
    int consumed = 0;
    if (std::sscanf(line.c_str(), " %31s %n", word, &consumed) < 1) return;
    const std::string rest = line.substr(static_cast<size_t>(consumed));
    const std::string command = word;
    Step step = make_step(Step::kPlug);
    int a = 0, b = 0, c = 0, n = 0;
    if (command == "name") {
      step = make_step(Step::kName, 0, rest);
    } else if (command == "event" && std::sscanf(rest.c_str(), "%d", &a) == 1) {
      step = make_step(Step::kEvent, a);
    } else if (command == "device" && std::sscanf(rest.c_str(), "%d %n", &a, &n) == 1) {
      step = make_step(Step::kDevice, a, rest.substr(static_cast<size_t>(n)));
    } else if (command == "plug") {
      step = make_step(Step::kPlug);
    } else if (command == "unplug") {
      step = make_step(Step::kUnplug);
    } else if (command == "sleep" && std::sscanf(rest.c_str(), "%d", &a) == 1) {
      step = make_step(Step::kSleep, a);
    } else if ((command == "key" || command == "abs") && std::sscanf(rest.c_str(), "%d %d", &b, &c) == 2) {
      step = make_step(Step::kInput);
      step.event.type = command == "key" ? EV_KEY : EV_ABS;
      step.event.code = static_cast<uint16_t>(b);
      step.event.value = c;
    } else if (command == "ev" && std::sscanf(rest.c_str(), "%d %d %d", &a, &b, &c) == 3) {
      step = make_step(Step::kInput);
      step.event.type = static_cast<uint16_t>(a);
      step.event.code = static_cast<uint16_t>(b);
      step.event.value = c;
    } else if (command == "js-open-fail" || command == "js-name-fail") {
      const bool on = rest.rfind("on", 0) == 0;
      step = make_step(command == "js-open-fail" ? Step::kJsOpenFail : Step::kJsNameFail, on ? 1 : 0);
    } else if (command == "short-read") {
      step = make_step(Step::kShortRead);
    } else {
      std::fprintf(stderr, "input_shim: bad script line: %s\n", line.c_str());
      std::abort();
    }
    steps_.push_back(step);
  }

  void map_stats() {
    stats_ = &g_unused_stats;
    const char* path = std::getenv("ZVJS_SHIM_STATS");
    if (path == nullptr) return;
    static const auto real_open = next_fn<OpenFn>("open");
    static const auto real_close = next_fn<CloseFn>("close");
    const int fd = real_open(path, O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return;
    if (ftruncate(fd, sizeof(zvjs::test::ShimStats)) == 0) {
      void* shared = mmap(nullptr, sizeof(zvjs::test::ShimStats), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
      if (shared != MAP_FAILED) stats_ = static_cast<zvjs::test::ShimStats*>(shared);
    }
    real_close(fd);
  }

  std::mutex mutex_;
  std::vector<Step> steps_;
  size_t cursor_ = 0;
  int64_t started_ms_ = 0;
  bool plugged_ = false;
  int generation_ = 0;
  bool js_open_fail_ = false;
  bool js_name_fail_ = false;
  bool short_read_ = false;
  std::string name_ = "ZV Test Joystick";
  int joystick_event_ = 0;
  std::map<int, std::string> others_;
  std::map<int, FakeFd> fds_;
  zvjs::test::ShimStats* stats_ = nullptr;
  int sleep_divisor_ = 1;
};

// Built in place and never destroyed: interposed calls (close, nanosleep ...) keep arriving from
// other libraries' exit handlers until the very end of the process.
Shim& shim() {
  alignas(Shim) static unsigned char storage[sizeof(Shim)];
  static Shim* const instance = ::new (static_cast<void*>(storage)) Shim();
  return *instance;
}

// The shim's descriptor when `path` is a joystick device, else the real call with `args`.
template <class Real, class... Args>
int open_device_or_real(const char* path, int flags, Real real, Args... args) {
  int event_number = 0;
  if (Shim::device_path(path, &event_number)) return shim().open(event_number, flags);
  return real(args...);
}

mode_t mode_argument(int flags, va_list args) {
  return (flags & (O_CREAT | O_TMPFILE)) != 0 ? static_cast<mode_t>(va_arg(args, unsigned int)) : 0;
}

timespec scaled(const timespec& request) {
  const int divisor = shim().sleep_divisor();
  const int64_t ns = static_cast<int64_t>(request.tv_sec) * 1000000000 + request.tv_nsec;
  if (divisor <= 1 || ns < 100000000) return request;
  const int64_t shortened = ns / divisor;
  return timespec{static_cast<time_t>(shortened / 1000000000), static_cast<long>(shortened % 1000000000)};
}

}  // namespace

extern "C" {

int open(const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const mode_t mode = mode_argument(flags, args);
  va_end(args);
  static const auto real = next_fn<OpenFn>("open");
  return open_device_or_real(path, flags, real, path, flags, mode);
}

int open64(const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const mode_t mode = mode_argument(flags, args);
  va_end(args);
  static const auto real = next_fn<OpenFn>("open64");
  return open_device_or_real(path, flags, real, path, flags, mode);
}

int __open_2(const char* path, int flags) {
  static const auto real = next_fn<OpenFn>("open");
  return open_device_or_real(path, flags, real, path, flags, mode_t{0});
}

int __open64_2(const char* path, int flags) {
  static const auto real = next_fn<OpenFn>("open64");
  return open_device_or_real(path, flags, real, path, flags, mode_t{0});
}

int openat(int dir, const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const mode_t mode = mode_argument(flags, args);
  va_end(args);
  static const auto real = next_fn<OpenatFn>("openat");
  return open_device_or_real(path, flags, real, dir, path, flags, mode);
}

int openat64(int dir, const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const mode_t mode = mode_argument(flags, args);
  va_end(args);
  static const auto real = next_fn<OpenatFn>("openat64");
  return open_device_or_real(path, flags, real, dir, path, flags, mode);
}

int access(const char* path, int mode) noexcept {
  int event_number = 0;
  if (Shim::device_path(path, &event_number)) return shim().access(event_number);
  static const auto real = next_fn<AccessFn>("access");
  return real(path, mode);
}

int faccessat(int dir, const char* path, int mode, int flags) noexcept {
  int event_number = 0;
  if (Shim::device_path(path, &event_number)) return shim().access(event_number);
  static const auto real = next_fn<FaccessatFn>("faccessat");
  return real(dir, path, mode, flags);
}

int close(int fd) {
  int result = 0;
  if (shim().close(fd, &result)) return result;
  static const auto real = next_fn<CloseFn>("close");
  return real(fd);
}

int ioctl(int fd, unsigned long request, ...) noexcept {
  va_list args;
  va_start(args, request);
  void* argument = va_arg(args, void*);
  va_end(args);
  if (shim().is_fake(fd)) return shim().ioctl(fd, request, argument);
  static const auto real = next_fn<IoctlFn>("ioctl");
  return real(fd, request, argument);
}

ssize_t read(int fd, void* buffer, size_t size) {
  if (shim().is_fake(fd)) return shim().read(fd, buffer, size);
  static const auto real = next_fn<ReadFn>("read");
  return real(fd, buffer, size);
}

ssize_t __read_chk(int fd, void* buffer, size_t size, size_t) { return read(fd, buffer, size); }

int poll(pollfd* fds, nfds_t count, int timeout_ms) {
  bool any_fake = false;
  for (nfds_t i = 0; i < count; ++i) any_fake = any_fake || shim().is_fake(fds[i].fd);
  if (any_fake) return shim().poll(fds, count, timeout_ms);
  static const auto real = next_fn<PollFn>("poll");
  return real(fds, count, timeout_ms);
}

int __poll_chk(pollfd* fds, nfds_t count, int timeout_ms, size_t) { return poll(fds, count, timeout_ms); }

int select(int count, fd_set* readable, fd_set* writable, fd_set* errors, timeval* timeout) {
  bool any_fake = false;
  for (int fd = 0; readable != nullptr && fd < count; ++fd) {
    any_fake = any_fake || (FD_ISSET(fd, readable) && shim().is_fake(fd));
  }
  if (any_fake) return shim().select(count, readable, timeout);
  static const auto real = next_fn<SelectFn>("select");
  return real(count, readable, writable, errors, timeout);
}

int nanosleep(const timespec* request, timespec* remaining) {
  static const auto real = next_fn<NanosleepFn>("nanosleep");
  if (request == nullptr) return real(request, remaining);
  const timespec shortened = scaled(*request);
  return real(&shortened, remaining);
}

int clock_nanosleep(clockid_t clock, int flags, const timespec* request, timespec* remaining) {
  static const auto real = next_fn<ClockNanosleepFn>("clock_nanosleep");
  if (request == nullptr || (flags & TIMER_ABSTIME) != 0) return real(clock, flags, request, remaining);
  const timespec shortened = scaled(*request);
  return real(clock, flags, &shortened, remaining);
}

}  // extern "C"
