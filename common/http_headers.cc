#include "common/http_headers.h"

#include <cstdio>
#include <ctime>

void print_set_cookie(const char* name, const char* value, int seconds, const char* path,
                      const char* domain) {
  static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const time_t expiry = time(nullptr) + seconds;
  struct tm utc {};
  if (gmtime_r(&expiry, &utc) == nullptr) return;
  printf("Set-Cookie: %s=%s; domain=%s; expires=%s, %02d-%s-%04d %02d:%02d:%02d GMT; path=%s\r\n",
         name != nullptr ? name : "", value != nullptr ? value : "",
         domain != nullptr ? domain : "", kDays[utc.tm_wday % 7], utc.tm_mday,
         kMonths[utc.tm_mon % 12], utc.tm_year + 1900, utc.tm_hour, utc.tm_min, utc.tm_sec,
         path != nullptr ? path : "");
}

void print_location(const char* target) {
  printf("Location: %s\r\n\r\n", target != nullptr ? target : "");
}
