#include "handlers/system/admin_common.h"

#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "common/oplog.h"

std::string upload_path_of(const char* argument, size_t max_chars) {
  if (argument == nullptr) return {};
  std::string_view text(argument);
  text = text.substr(0, text.find(" & "));
  return std::string(text.substr(0, max_chars));
}

std::string display_address(const char* field, size_t width) {
  std::string address(field, strnlen(field, width));
  constexpr std::string_view kMapped = "::ffff:";
  if (address.size() > kMapped.size() && strncasecmp(address.c_str(), kMapped.data(), kMapped.size()) == 0 &&
      address.find('.') != std::string::npos) {
    address.erase(0, kMapped.size());
  }
  if (size_t zone = address.find('%'); zone != std::string::npos) address.erase(zone);
  return address;
}

std::string local_time_text(int64_t seconds) {
  const time_t t = static_cast<time_t>(seconds);
  struct tm tm {};
  if (localtime_r(&t, &tm) == nullptr) return "0000-00-00 00:00:00";
  char text[64];
  snprintf(text, sizeof text, "%4d-%02d-%02d %02d:%02d:%02d", tm.tm_year + 1900, tm.tm_mon + 1,
           tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
  return text;
}

void admin_log(int64_t sub_type) { op_log_change(sub_type, 900); }

bool unlink_regular(const char* path) {
  struct stat st {};
  if (lstat(path, &st) != 0 || !S_ISREG(st.st_mode)) return false;
  return unlink(path) == 0;
}

void print_attachment_headers(const std::string& name) {
  printf("Content-Type:application/octet-stream\r\n");
  printf("Content-Disposition: attachment; filename= %s\r\n\r\n", name.c_str());
  fflush(stdout);
}

bool copy_to_stdout(int fd) {
  char buffer[16384];
  ssize_t got = 0;
  while ((got = read(fd, buffer, sizeof buffer)) != 0) {
    if (got < 0 && errno == EINTR) continue;
    // Every byte read is written before the next read; a short write continues where it stopped.
    for (ssize_t done = 0; got > 0 && done < got;) {
      const ssize_t put = write(STDOUT_FILENO, buffer + done, static_cast<size_t>(got - done));
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0) return false;
      done += put;
    }
    if (got < 0) return false;
  }
  return true;
}
