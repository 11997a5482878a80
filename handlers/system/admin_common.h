// Helpers shared by the administration handlers (logs, maintenance, command page, OEM).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "common/request.h"
#include "platform/zvfs/log_record.h"


// The path part of an upload argument "<path> & <query>" (the whole argument without " & "),
// cut to `max_chars`.
std::string upload_path_of(const char* argument, size_t max_chars);

// The address of a log entry as the pages show it: an IPv4-mapped address without "::ffff:",
// an address with a '%' zone cut before the '%'.
std::string display_address(const char* field, size_t width);

// Seconds as local "YYYY-MM-DD HH:MM:SS".
std::string local_time_text(int64_t seconds);

// Sends the operation-log record of a maintenance action (main type 4, param type 900).
void admin_log(int64_t sub_type);

// Removes `path` only when it is a regular file (not a link, directory or device).
bool unlink_regular(const char* path);

// Starts a download reply: the octet-stream and attachment header lines naming `name`, flushed.
void print_attachment_headers(const std::string& name);
// Copies the rest of `fd` to standard output; false on a read or write error.
bool copy_to_stdout(int fd);
