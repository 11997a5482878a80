// The CGI entry: environment, body forms, upload handling and dispatch.
#include "front/webreq.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>

#include "common/path_check.h"
#include "front/cgi.h"
#include "front/firmware_image.h"
#include "front/multipart.h"
#include "front/registry.h"

namespace {

// Uploads whose handler receives "temp & <query>" instead of a file.
constexpr const char* kRawUploadIds[] = {"/1010", "/6082", "/2079"};
// Uploads whose handler takes the temporary file where it is.
constexpr const char* kInPlaceUploadIds[] = {"/1019", "/oem"};
// Uploads whose handler takes the moved file (imports it, renames it into place). Any other
// identifier gets the same argument, and its file goes when the handler returns: /tmp is memory
// on the device, and files nobody takes would fill it until the next boot.
constexpr const char* kMovedUploadIds[] = {"/1008", "/6321", "/7084"};
// The only upload whose body is left unread on standard input.
constexpr char kUnreadUploadId[] = "/1010";

// An upload's base name fits the longest name the path check accepts, no more.
static_assert(kUploadBaseNameSize - 1 == kTmpNameMax);

bool is_one_of(const char* text, const char* const* list, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    if (strcmp(text, list[i]) == 0) return true;
  }
  return false;
}

// PATH_INFO cut to the request identifier's size; false when it is empty.
bool request_id(char (&id)[kRequestIdSize]) {
  snprintf(id, sizeof id, "%s", cgi_vars.path_info);
  return id[0] != '\0';
}

void get_form() {
  char id[kRequestIdSize];
  if (!request_id(id)) return;
  char argument[kGetArgumentSize];
  build_get_argument(cgi_vars.query_string, argument, sizeof argument);
  dispatch_request(id, argument);
}

// The raw body as text: at most kPostBodySize - 1 bytes and kPostBodyMaxLines lines. A declared
// CONTENT_LENGTH bounds the read, so a client holding its connection open cannot stall it.
void post_body_form() {
  char id[kRequestIdSize];
  if (!request_id(id)) return;
  // Not cleared up front: only the bytes read are touched (clearing 30 KiB cost a short request
  // eight page faults), and the text is terminated where it ends.
  MallocText body(static_cast<char*>(malloc(kPostBodySize)));
  if (body == nullptr) return;

  const int64_t declared = cgi_vars.content_length;
  int64_t taken = 0;
  size_t length = 0;
  int lines = 0;
  char chunk[4096];
  bool done = false;
  while (!done && length < kPostBodySize - 1 && lines < kPostBodyMaxLines) {
    size_t want = sizeof chunk;
    if (cgi_vars.content_length_declared) {
      if (taken >= declared) break;
      want = static_cast<size_t>(std::min<int64_t>(want, declared - taken));
    }
    const ssize_t got = read(STDIN_FILENO, chunk, want);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    taken += got;
    for (ssize_t i = 0; i < got; ++i) {
      body.get()[length++] = chunk[i];
      if (chunk[i] == '\n' && ++lines == kPostBodyMaxLines) done = true;
      if (done || length == kPostBodySize - 1) {
        done = true;
        break;
      }
    }
  }
  body.get()[length] = '\0';
  dispatch_request(id, body.get());
}

void upload_form() {
  char id[kRequestIdSize];
  if (!request_id(id)) return;
  const char* query = cgi_vars.query_string;
  char argument[kUploadArgumentSize];

  if (is_one_of(id, kRawUploadIds, std::size(kRawUploadIds))) {
    // An image that was sent but could not be stored is not reported: the handlers would answer
    // from the previous image (present, installable) as if this upload had arrived.
    if (is_camera_image_upload(id) && store_camera_image() == CameraImageStore::kFailed) return;
    snprintf(argument, sizeof argument, "%s & %s", "temp", query);
    dispatch_request(id, argument);
    return;
  }

  // An upload for an identifier without a handler is not moved anywhere: its temporary file goes
  // with the form entries when the request ends.
  if (!request_registered(id)) return;
  char file_name[kUploadBaseNameSize];
  if (form_file_name("file", file_name, sizeof file_name) != FORM_SUCCESS) return;
  FormEntry* entry = form_entries.find("file");
  if (entry == nullptr || entry->temp_path.empty()) return;

  if (is_one_of(id, kInPlaceUploadIds, std::size(kInPlaceUploadIds))) {
    snprintf(argument, sizeof argument, "%s & %s", entry->temp_path.c_str(), query);
    dispatch_request(id, argument);
    return;
  }

  // Move the upload to "/tmp/<base name>" without any shell: the name comes from the client.
  char base_name[kUploadBaseNameSize];
  upload_base_name(file_name, base_name, sizeof base_name);
  if (upload_name_refused(base_name)) return;
  char new_path[sizeof "/tmp/" + kUploadBaseNameSize];
  snprintf(new_path, sizeof new_path, "/tmp/%s", base_name);
  if (rename(entry->temp_path.c_str(), new_path) != 0) return;
  entry->release_temp_file();  // it is the handler's now, under its new name

  int used = snprintf(argument, sizeof argument, "%s", new_path);
  if (const char* param = strstr(query, "param:"); param != nullptr) {
    param += strlen("param:");
    const size_t n = std::min(strcspn(param, "&"), kUploadParamSize - 1);
    used += snprintf(argument + used, sizeof argument - static_cast<size_t>(used), " & %.*s",
                     static_cast<int>(n), param);
  }
  dispatch_request(id, argument);
  if (!is_one_of(id, kMovedUploadIds, std::size(kMovedUploadIds))) unlink(new_path);
}

}  // namespace

void build_get_argument(const char* query, char* out, size_t size) {
  if (out == nullptr || size == 0) return;
  snprintf(out, size, "%s", query != nullptr ? query : "");
  char* write = out;
  for (const char* read = out; *read != '\0';) {
    if (read[0] == '%' && read[1] == '2' && read[2] == '2') {
      *write++ = '"';
      read += 3;
    } else {
      *write++ = *read++;
    }
  }
  *write = '\0';
}

void upload_base_name(const char* file_name, char* out, size_t size) {
  if (out == nullptr || size == 0) return;
  const char* base = file_name != nullptr ? file_name : "";
  for (const char* p = base; *p != '\0'; ++p) {
    if (*p == '/' || *p == '\\') base = p + 1;
  }
  // A name the program gives files of its own in /tmp (a saved configuration export chosen for an
  // import is "zvconfig_<time>.db") is stored as "upload_<name>": the upload is taken and never
  // replaces the program's file of that name.
  snprintf(out, size, "%s%s", has_reserved_prefix(base) ? "upload_" : "", base);
}

bool upload_name_refused(const char* base_name) {
  // The handler takes its path whole, up to the first " & " of "<path> & <rest>": a name with a
  // blank before a '&' ("cfg & x.dat", "x &") would lead it to another file than the one uploaded.
  // Other blanks stay ("Door bell.wav" is an audio file's name).
  return base_name == nullptr || strstr(base_name, " &") != nullptr ||
         check_tmp_name(base_name) != PathVerdict::kAccepted;
}

int webreq_main() {
  cgi_read_variables();
  const CgiVariables& v = cgi_vars;
  if (text_equal_nocase(v.request_method, "post")) {
    if (text_equal_nocase(v.content_type, "application/x-www-form-urlencoded") ||
        text_equal_nocase(v.content_type, "application/json")) {
      post_body_form();
    } else if (text_equal_nocase(v.content_type, "multipart/form-data")) {
      if (strcmp(v.path_info, kUnreadUploadId) != 0) {
        int result = PARSE_MEMORY;
        try {
          FdSource input(STDIN_FILENO);
          MultipartReader reader(input, v.content_length, put_back_capacity_for(v.boundary));
          result = parse_multipart(reader, v.boundary, form_entries);
        } catch (const std::bad_alloc&) {
        }
        if (result != PARSE_SUCCESS) {
          free_form_entries();
          return -1;
        }
      }
      upload_form();
    }
  } else if (text_equal_nocase(v.request_method, "get")) {
    cgi_vars.content_length =
        static_cast<int32_t>(std::min<size_t>(strlen(v.query_string), INT32_MAX));
    get_form();
  }
  free_form_entries();
  return 0;
}
