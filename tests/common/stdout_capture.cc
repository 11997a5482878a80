#include "tests/common/stdout_capture.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace zvtest {

StdoutCapture::StdoutCapture() {
  fflush(stdout);
  char path[] = "/tmp/stdout_capture.XXXXXX";
  file_ = mkstemp(path);
  if (file_ < 0) abort();
  unlink(path);
  saved_ = dup(1);
  dup2(file_, 1);
}

StdoutCapture::~StdoutCapture() { finish(); }

std::string StdoutCapture::finish() {
  if (saved_ < 0) return {};
  fflush(stdout);
  dup2(saved_, 1);
  close(saved_);
  saved_ = -1;
  std::string text;
  char buffer[4096];
  off_t offset = 0;
  for (;;) {
    ssize_t got = pread(file_, buffer, sizeof buffer, offset);
    if (got <= 0) break;
    text.append(buffer, static_cast<size_t>(got));
    offset += got;
  }
  close(file_);
  file_ = -1;
  return text;
}

}  // namespace zvtest
