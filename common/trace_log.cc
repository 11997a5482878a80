#include "common/trace_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace {

constexpr size_t kLineBufferSize = 2048;

// Closes a descriptor on every return path.
class FdCloser {
 public:
  explicit FdCloser(int fd) : fd_(fd) {}
  FdCloser(const FdCloser&) = delete;
  FdCloser& operator=(const FdCloser&) = delete;
  ~FdCloser() {
    if (fd_ >= 0) close(fd_);
  }
  int get() const { return fd_; }

 private:
  int fd_;
};

}  // namespace

int log_message(const char* source, int line, const char* function, const char* format, ...) {
  char timestamp[20] = "";
  const time_t now = time(nullptr);
  struct tm local {};
  if (localtime_r(&now, &local) != nullptr) {
    const int n = snprintf(timestamp, sizeof timestamp, "%4d-%02d-%02d %02d:%02d:%02d",
                           local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                           local.tm_min, local.tm_sec);
    if (n < 0) timestamp[0] = '\0';
  }

  char message[kLineBufferSize] = "";
  if (format != nullptr) {
    va_list args;
    va_start(args, format);
    const int n = vsnprintf(message, sizeof message, format, args);
    va_end(args);
    if (n < 0) message[0] = '\0';
  }

  char text[kLineBufferSize] = "";
  const int n = snprintf(text, sizeof text, "[tavro debug] %s  %s:%d in %s: %s\n", timestamp,
                         source != nullptr ? source : "", line,
                         function != nullptr ? function : "", message);
  if (n < 0) return -1;
  const size_t length = strnlen(text, sizeof text);

  // One open per line in append mode, one write of the whole line: concurrent processes append
  // whole lines without interleaving.
  FdCloser fd(open(kTraceLogPath, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666));
  if (fd.get() < 0) return -1;
  struct stat st {};
  if (fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  if (st.st_size >= kTraceLogMaxBytes) return -1;
  size_t done = 0;
  while (done < length) {
    const ssize_t w = write(fd.get(), text + done, length - done);
    if (w < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    done += static_cast<size_t>(w);
  }
  return 0;
}
