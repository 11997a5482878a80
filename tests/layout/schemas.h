// Every record schema of the tree, for the checks that walk them all: the layout printed for the
// host/device comparison, and the schema-driven request checks. A record declared with ZV_SCHEMA
// gets its line in schemas.cc (the list check test finds the ones that are missing).
#pragma once

#include <span>

#include "platform/zvrecord/schema.h"

namespace zvlayout {
std::span<const zvrec::Schema* const> all_schemas();
}  // namespace zvlayout
