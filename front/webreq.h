// The request entry of webreq: reads the CGI request, builds the one argument of its handler and
// dispatches it through the request registry.
#pragma once

#include <cstddef>

// Runs one request from the process environment and standard input. Returns the exit status:
// 0, or -1 when a multipart body cannot be parsed (then nothing is dispatched).
int webreq_main();

// Sizes of the texts the front end builds (each holds at most size - 1 characters).
inline constexpr size_t kRequestIdSize = 128;
inline constexpr size_t kGetArgumentSize = 256;
inline constexpr size_t kPostBodySize = 30720;
inline constexpr int kPostBodyMaxLines = 128;
inline constexpr size_t kUploadBaseNameSize = 128;
inline constexpr size_t kUploadArgumentSize = 1088;
inline constexpr size_t kUploadParamSize = 256;

// The GET argument: `query` cut to size - 1 characters, then every "%22" replaced by '"' (left to
// right, no overlap). Nothing else is decoded.
void build_get_argument(const char* query, char* out, size_t size);

// The part of an uploaded file name after its last '/' or '\' (all of it when it has neither),
// cut to size - 1 characters; "upload_" before it when it starts like one of the program's own
// files in /tmp (has_reserved_prefix).
void upload_base_name(const char* file_name, char* out, size_t size);

// True when an upload may not be moved to "/tmp/" + base_name: null, holding a blank followed by
// '&' (its handler takes the path up to the first " & "), or refused by check_tmp_name
// (common/path_check.h): an empty name, one starting with '.', holding a control character, '"',
// '`', '$' or '\', one of the program's own names in /tmp, or a temporary upload's name ("cgic"
// and 6 characters).
bool upload_name_refused(const char* base_name);
