// Two words that the device's own libraries read to pick their debug output. Each program
// defines them (zero) and never reads or writes them itself. Linked as an object library
// (zv_debug_words) into every program, since no code of ours refers to them, and kept from the
// linker's removal of unreferenced sections.
#pragma once

#include <cstdint>

extern "C" int32_t global_debug_mask;
extern "C" int32_t global_debug_hook;
