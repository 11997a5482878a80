// webreq-probe: the front end of webreq with a probe module whose handlers record exactly what
// they were given. Built by the test build only. Each call writes to standard output:
//   "id=<id>\n" "arg=<len>:<argument bytes>\n"
//   "file=<len>:<bytes>\n" (or "file=none\n") when the argument starts with "/tmp/": the content
//       of the file named by the text before " & ", read while the handler runs;
//   "stdin=<len>:<bytes>\n" for "/1010": what is left unread on standard input.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>

#include "front/registry.h"
#include "front/webreq.h"

namespace {

constexpr const char* kProbeIds[] = {"/1010", "/6082", "/2079", "/1019",  "/oem",  "/6101",
                                     "/1000", "/json", "/vb.htm", "/6112", "/1008"};

void put_field(const char* key, const std::string& bytes) {
  printf("%s=%zu:", key, bytes.size());
  fwrite(bytes.data(), 1, bytes.size(), stdout);
  putchar('\n');
}

template <int I>
void probe_handler(const char* argument) {
  printf("id=%s\n", kProbeIds[I]);
  if (argument == nullptr) {
    printf("arg=null\n");
    return;
  }
  const std::string arg(argument);
  put_field("arg", arg);
  if (arg.rfind("/tmp/", 0) == 0) {
    const std::string path = arg.substr(0, arg.find(" & "));
    if (FILE* f = fopen(path.c_str(), "rb"); f != nullptr) {
      std::string content;
      char buf[4096];
      size_t n;
      while ((n = fread(buf, 1, sizeof buf, f)) > 0) content.append(buf, n);
      fclose(f);
      put_field("file", content);
    } else {
      printf("file=none\n");
    }
  }
  if (strcmp(kProbeIds[I], "/1010") == 0) {
    std::string rest;
    char buf[4096];
    ssize_t n;
    while ((n = read(STDIN_FILENO, buf, sizeof buf)) > 0) rest.append(buf, static_cast<size_t>(n));
    put_field("stdin", rest);
  }
  fflush(stdout);
}

constexpr WebReqEntry kProbeTable[] = {
    {"/1010", &probe_handler<0>}, {"/6082", &probe_handler<1>}, {"/2079", &probe_handler<2>},
    {"/1019", &probe_handler<3>}, {"/oem", &probe_handler<4>},  {"/6101", &probe_handler<5>},
    {"/1000", &probe_handler<6>}, {"/json", &probe_handler<7>}, {"/vb.htm", &probe_handler<8>},
    {"/6112", &probe_handler<9>}, {"/1008", &probe_handler<10>},
};
static_assert(std::size(kProbeTable) == std::size(kProbeIds));
constexpr RequestModule kProbeModule{"probe", kProbeTable,
                                     static_cast<int>(std::size(kProbeTable))};

}  // namespace

const RequestModule* const kProgramModules[] = {&kProbeModule};
const int kProgramModuleCount = 1;

int main() { return webreq_main(); }
