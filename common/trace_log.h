// Developer trace file on the device's flash: a handful of places append one time-stamped line to
// "/mnt/nand/cgi_log.txt". It is not the operation log (the core keeps that) and nothing in the
// program reads it back.
#pragma once

#include <cstdint>

// The trace file and the size at which appending stops. The file shares the flash with the
// configuration database and clients can trigger lines at will, so it never grows past the cap.
inline constexpr const char kTraceLogPath[] = "/mnt/nand/cgi_log.txt";
inline constexpr long kTraceLogMaxBytes = 1024L * 1024L;

// Appends one line
//   "[tavro debug] <YYYY-MM-DD hh:mm:ss>  <source>:<line> in <function>: <message>\n"
// where the message is `format` with its arguments (cut to 2047 characters), and the whole line is
// cut to 2047 characters (so a long message loses its newline). Returns 0, or -1 when the file
// cannot be opened, is already kTraceLogMaxBytes or larger, or the write fails; callers go on.
// `format` must be a literal of the caller; texts from clients go in as "%s" arguments.
int log_message(const char* source, int line, const char* function, const char* format, ...)
    __attribute__((format(printf, 4, 5)));
