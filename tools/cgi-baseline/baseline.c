/* The smallest CGI program: the cost floor of one CGI request through the same web server. */
#include <stdio.h>

int main(void) {
  fputs("Content-type: text/plain\r\n\r\nOK", stdout);
  return 0;
}
