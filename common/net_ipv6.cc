#include "common/net_ipv6.h"

#include <cstdio>
#include <memory>

int net_is_haveipv6(const char* path) {
  std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path, "r"), &std::fclose);
  if (!file) return 0;
  // address, interface index, prefix length, scope, flags, name
  char address[33];
  unsigned index = 0, prefix = 0, scope = 0, flags = 0;
  char name[17];
  while (std::fscanf(file.get(), "%32s %x %x %x %x %16s", address, &index, &prefix, &scope, &flags, name) == 6) {
    if (scope == 0) return 1;
  }
  return 0;
}
