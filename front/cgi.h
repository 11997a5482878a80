// The CGI side of webreq: the request's environment, the two case-insensitive compares, and the
// split of the "path & rest" argument that upload handlers receive. The cookie and Location
// header writers are common/http_headers.h (handlers use them too).
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/http_headers.h"

// The CGI variables of this process, read once by cgi_read_variables(). Every text is non-null;
// a variable that is missing reads as "".
struct CgiVariables {
  const char* server_software = "";
  const char* server_name = "";
  const char* gateway_interface = "";
  const char* server_protocol = "";
  const char* server_port = "";
  const char* request_method = "";
  const char* path_info = "";
  const char* path_translated = "";
  const char* script_name = "";
  const char* query_string = "";
  const char* remote_host = "";
  const char* remote_addr = "";
  const char* auth_type = "";
  const char* remote_user = "";
  const char* remote_ident = "";
  const char* http_host = "";
  const char* http_accept = "";
  const char* http_user_agent = "";
  const char* http_referer = "";
  const char* http_cookie = "";
  // CONTENT_LENGTH as a number: 0 when missing, negative or not a number; at most INT32_MAX.
  int32_t content_length = 0;
  // Whether CONTENT_LENGTH gave a length (0 included): the body is then read only that far. A
  // POST without data declares 0, and its input may stay open.
  bool content_length_declared = false;
  // CONTENT_TYPE cut to 1023 characters; after cgi_read_variables() only the media type (the text
  // before the first ';').
  char content_type[1024] = {};
  // The multipart boundary taken from the content type's parameters, "" when there is none.
  // Points into content_type.
  const char* boundary = "";
};

// The process-wide CGI variables (constant-initialised: all "" until cgi_read_variables()).
extern CgiVariables cgi_vars;

// Reads every CGI variable into cgi_vars, copies CONTENT_TYPE, splits off its parameters (taking
// the boundary) and parses CONTENT_LENGTH.
void cgi_read_variables();

// The environment variable's text, or "" when it is missing (or `variable` is null).
const char* cgi_getenv(const char* variable);

// CONTENT_LENGTH's text as a number: strtol, negative or unparsable -> 0, larger -> INT32_MAX.
int32_t parse_content_length(const char* text);

// Splits a CONTENT_TYPE copy in place: the text keeps only what stands before its first ';';
// returns the boundary parameter's value inside `content_type` (or "" when there is none). The
// value ends at white space or ';'; a value in double quotes is taken without them.
const char* split_content_type(char* content_type);

// 1 when the texts are equal comparing ASCII letters without regard to case and every other byte
// exactly, else 0 (also when either is null).
int text_equal_nocase(const char* a, const char* b);
// 1 when `text` begins with `prefix` under the same rule, else 0 (also when either is null).
int text_begins_nocase(const char* text, const char* prefix);

// Splits an upload argument "<path> & <rest>" the way a "%s & %s" scan reads it, but bounded:
// both parts start as ""; the text is split at the first " & " (no split: all of it is the path);
// each part skips leading white space, stops at the next white space and is cut to its buffer
// size less one. Returns 2 when both parts are non-empty, 1 when only the path is, 0 when the
// path is empty (the rest is then left "" too, as a scan stops at its first failed field); a
// null argument gives 0.
int split_path_and_rest(const char* argument, char* path_buf, size_t path_size, char* rest_buf,
                        size_t rest_size);
