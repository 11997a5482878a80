/* The smallest CGI program: the cost floor of one CGI request through the same web server.
   With the query "bytes=N" (N up to 1 MiB) the reply is N bytes long ("OK" and filler): the
   floor of a reply of that size. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

int main(void) {
  const char* query = getenv("QUERY_STRING");
  fputs("Content-type: text/plain\r\n\r\nOK", stdout);
  if (query != NULL && strncmp(query, "bytes=", 6) == 0) {
    static char filler[1 << 20];
    long n = strtol(query + 6, NULL, 10);
    if (n > 2 && n <= (long)sizeof filler) {
      memset(filler, 'z', (size_t)(n - 2));
      fwrite(filler, 1, (size_t)(n - 2), stdout);
    }
  }
  return 0;
}
