// What a handler module exposes to the program that dispatches requests: its table of request
// identifiers and handlers. Shared by the front end (front/registry.h, which registers the tables)
// and every handler module (handlers/<dir>/<dir>_module.h declares `extern const RequestModule
// k<Name>Module;`), so that handlers do not depend on the front end.
#pragma once

// A request handler receives the one argument text built by the front end (never null when
// dispatched; handlers still accept null) and writes its whole reply to standard output.
using RequestHandler = void (*)(const char* argument);

// One table row, copied into the registry by value.
struct WebReqEntry {
  char id[8];              // request identifier, NUL-terminated within the 8 bytes ("/vb.htm")
  RequestHandler handler;  // its handler
};

// A handler module: its name and its table of request identifiers.
struct RequestModule {
  const char* name;
  const WebReqEntry* table;
  int count;
};
