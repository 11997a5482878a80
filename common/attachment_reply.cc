#include "common/attachment_reply.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

bool reply_attachment(const char* path, const char* name) {
  const int fd = open(path, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  struct stat st {};
  if (fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    if (fd >= 0) close(fd);
    return false;
  }
  std::printf("Content-Type:application/octet-stream\r\n");
  std::printf("Content-Disposition: attachment; filename= %s\r\n\r\n", name);
  char chunk[4095];
  ssize_t n = 0;
  while ((n = read(fd, chunk, sizeof chunk)) > 0) {
    if (std::fwrite(chunk, 1, static_cast<size_t>(n), stdout) != static_cast<size_t>(n)) break;
  }
  std::fflush(stdout);
  close(fd);
  return true;
}
