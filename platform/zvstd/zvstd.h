// libzvstd: the standard services of the device's programs. This header: tracked allocation and
// shell commands (threads and mutexes: platform/zvstd/task.h).
#pragma once

#include <cstddef>
#include <cstdint>

// Tracked allocation. Every block records its size and the caller's source name and line, so
// that the live blocks of a process can be counted and a foreign or twice-freed pointer is
// reported (with both callers' names) instead of corrupting the heap. Blocks are aligned like
// malloc's. A request of 0 bytes yields a valid block of its own.
void* __zv_malloc(size_t size, const char* source, int line);
// Zero-filled; null when n * size overflows.
void* __zv_calloc(size_t n, size_t size, const char* source, int line);
// Null is accepted and ignored. A pointer that this allocator did not hand out (or handed out
// and took back already) is reported on standard error and left alone.
void __zv_free(void* pointer, const char* source, int line);

struct ZvMemStats {
  int64_t live_blocks;  // blocks handed out and not yet freed
  int64_t live_bytes;   // their requested sizes
  int64_t bad_frees;    // rejected __zv_free calls
};
ZvMemStats zv_mem_stats();

// Runs one command line through "/bin/sh -c" and waits for it. Returns the wait status (as
// waitpid reports it; WIFEXITED / WEXITSTATUS apply), or -1 when the command is null or the
// shell could not be started. Safe to call while other threads run (no signal dispositions are
// changed process-wide).
// Only for command texts made of constants: the shell parses the whole text, so no byte a request
// or a stored setting supplied may appear in it. A program with such arguments runs through
// run_tool (common/tool_runner.h), which takes an argument vector and starts no shell.
int zv_system(const char* command);
