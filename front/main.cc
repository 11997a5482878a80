// webreq: one CGI request per process.
#include <malloc.h>

#include "front/webreq.h"

int main() {
  // The few threads of a request (the socket library's reader, the download's writer) share the
  // main heap: a thread arena of its own costs a 64 MiB reservation, its trimming and page faults
  // in every process that waits for a reply.
  mallopt(M_ARENA_MAX, 1);
  return webreq_main();
}
