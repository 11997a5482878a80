// The request registry: one process-wide table of request identifiers and their handlers.
// Each handler module owns one constant table of WebReqEntry rows (at the bottom of its source)
// and exposes it as a RequestModule; the program's module list registers them before main runs,
// in a fixed order, and unregisters them at exit.
#pragma once

#include <cstdint>

// A request handler receives the one argument text built by the front end (never null when
// dispatched; handlers still accept null) and writes its whole reply to standard output.
using RequestHandler = void (*)(const char* argument);

// One table row, copied into the registry by value.
struct WebReqEntry {
  char id[8];              // request identifier, NUL-terminated within the 8 bytes ("/vb.htm")
  RequestHandler handler;  // its handler
};

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

// Number of used slots.
int registered_request_count();

// A handler module: its name and its table of request identifiers.
struct RequestModule {
  const char* name;
  const WebReqEntry* table;
  int count;
};

// The modules of this program, in registration order. Defined once per program
// (front/webreq_modules.cc for webreq; test programs define their own). A constructor of the front
// end registers them, in this order, before main runs; a destructor unregisters them at exit.
extern const RequestModule* const kProgramModules[];
extern const int kProgramModuleCount;
