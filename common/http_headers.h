// The two header lines a reply may need besides its Content-type line: a cookie and a redirect.
#pragma once

// Writes one header line to standard output, valid `seconds` from now:
// "Set-Cookie: <name>=<value>; domain=<domain>; expires=<Wdy>, <DD>-<Mon>-<YYYY> <hh:mm:ss> GMT;
//  path=<path>\r\n". Null texts are written as "".
void print_set_cookie(const char* name, const char* value, int seconds, const char* path,
                      const char* domain);
// Writes "Location: <target>\r\n\r\n", which ends the header block.
void print_location(const char* target);
