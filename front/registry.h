// The request registry: one process-wide table of request identifiers and their handlers.
// Each handler file owns one constant table of WebReqEntry rows (at its bottom, beside the
// handlers it names) and exposes it as a RequestModule; the program's module list registers them
// (from the start, in a fixed order) and unregisters them at exit.
#pragma once

#include <cstdint>

#include "common/request_table.h"  // RequestHandler, WebReqEntry, RequestModule

constexpr int MAX_WEBREQ_COUNT = 512;

// Adds the n rows of `table` to the first free slots. Returns 0, or -1 when the table is null,
// n <= 0, or the registry cannot take all n rows (count + n >= 512); then nothing is added and
// the trace log gets the overflow line.
int register_requests(const WebReqEntry* table, int n);

// Clears every used slot whose id equals (exactly) the id of one of the n rows.
// Returns 0, or -1 when the table is null or n < 1.
int unregister_requests(const WebReqEntry* table, int n);

// Calls the handler of the lowest used slot whose id equals `request_id` exactly.
// A null id or no match does nothing.
void dispatch_request(const char* request_id, const char* argument);

// True when `request_id` has a handler (what dispatch_request would call).
bool request_registered(const char* request_id);

// Number of used slots.
int registered_request_count();

// The request tables of this program, in registration order. Defined once per program (for
// webreq, the build generates webreq_modules.cc from the module list of handlers/CMakeLists.txt; test
// programs define their own). They count as registered, in this order, from the start of the
// program (their rows go into the slots when the table is first changed or counted); a
// destructor unregisters them at exit.
extern const RequestModule* const kProgramModules[];
extern const int kProgramModuleCount;
