// The CGI environment of the request and the small header writers.
#include "front/cgi.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

CgiVariables cgi_vars;

namespace {

// White space as the C locale's isspace sees it; the program never changes its locale.
inline bool is_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Copies [begin, end) into `buf`, cut to size - 1, NUL-terminated.
void copy_span(const char* begin, const char* end, char* buf, size_t size) {
  if (buf == nullptr || size == 0) return;
  size_t n = static_cast<size_t>(end - begin);
  if (n > size - 1) n = size - 1;
  memcpy(buf, begin, n);
  buf[n] = '\0';
}

// One "%s" field of a scan inside [begin, end): leading white space skipped, up to the next white
// space. Returns true when the field is not empty.
bool scan_word(const char* begin, const char* end, char* buf, size_t size) {
  while (begin < end && is_space(*begin)) ++begin;
  const char* stop = begin;
  while (stop < end && !is_space(*stop)) ++stop;
  copy_span(begin, stop, buf, size);
  return stop > begin;
}

}  // namespace

const char* cgi_getenv(const char* variable) {
  if (variable == nullptr) return "";
  const char* value = getenv(variable);
  return value != nullptr ? value : "";
}

int32_t parse_content_length(const char* text) {
  if (text == nullptr) return 0;
  errno = 0;
  char* end = nullptr;
  const long value = strtol(text, &end, 10);
  if (end == text) return 0;  // no digits at all
  if (value < 0) return 0;
  if (value > INT32_MAX || (errno == ERANGE && value == LONG_MAX)) return INT32_MAX;
  return static_cast<int32_t>(value);
}

const char* split_content_type(char* content_type) {
  if (content_type == nullptr) return "";
  char* p = content_type;
  while ((p = strchr(p, ';')) != nullptr) {
    *p++ = '\0';
    while (is_space(*p)) ++p;
    if (!text_begins_nocase(p, "boundary=")) continue;
    char* value = p + 9;
    if (*value == '"') {
      if (char* close = strchr(value + 1, '"'); close != nullptr) {
        *close = '\0';
        return value + 1;
      }
    }
    char* end = value;
    while (*end != '\0' && !is_space(*end) && *end != ';') ++end;
    *end = '\0';
    return value;
  }
  return "";
}

void cgi_read_variables() {
  CgiVariables& v = cgi_vars;
  v.server_software = cgi_getenv("SERVER_SOFTWARE");
  v.server_name = cgi_getenv("SERVER_NAME");
  v.gateway_interface = cgi_getenv("GATEWAY_INTERFACE");
  v.server_protocol = cgi_getenv("SERVER_PROTOCOL");
  v.server_port = cgi_getenv("SERVER_PORT");
  v.request_method = cgi_getenv("REQUEST_METHOD");
  v.path_info = cgi_getenv("PATH_INFO");
  v.path_translated = cgi_getenv("PATH_TRANSLATED");
  v.script_name = cgi_getenv("SCRIPT_NAME");
  v.query_string = cgi_getenv("QUERY_STRING");
  v.remote_host = cgi_getenv("REMOTE_HOST");
  v.remote_addr = cgi_getenv("REMOTE_ADDR");
  v.auth_type = cgi_getenv("AUTH_TYPE");
  v.remote_user = cgi_getenv("REMOTE_USER");
  v.remote_ident = cgi_getenv("REMOTE_IDENT");
  v.http_host = cgi_getenv("HTTP_HOST");
  v.http_accept = cgi_getenv("HTTP_ACCEPT");
  v.http_user_agent = cgi_getenv("HTTP_USER_AGENT");
  v.http_referer = cgi_getenv("HTTP_REFERER");
  v.http_cookie = cgi_getenv("HTTP_COOKIE");
  snprintf(v.content_type, sizeof v.content_type, "%s", cgi_getenv("CONTENT_TYPE"));
  v.boundary = split_content_type(v.content_type);
  const char* length_text = cgi_getenv("CONTENT_LENGTH");
  v.content_length = parse_content_length(length_text);
  v.content_length_declared = length_text[0] >= '0' && length_text[0] <= '9';
}

int split_path_and_rest(const char* argument, char* path_buf, size_t path_size, char* rest_buf,
                        size_t rest_size) {
  if (path_buf != nullptr && path_size > 0) path_buf[0] = '\0';
  if (rest_buf != nullptr && rest_size > 0) rest_buf[0] = '\0';
  if (argument == nullptr) return 0;
  const char* end = argument + strlen(argument);
  const char* separator = strstr(argument, " & ");
  if (!scan_word(argument, separator != nullptr ? separator : end, path_buf, path_size)) return 0;
  if (separator == nullptr) return 1;
  return scan_word(separator + 3, end, rest_buf, rest_size) ? 2 : 1;
}
