// The request registry ("dispatchreq"): a fixed table of request identifiers and handlers, filled
// by the program's module list and emptied at exit. Copying some 350 rows into the slots cost
// every request a tenth of its instructions, while a request only looks up its own identifier:
// the slots are filled when the table is first changed or counted, and until then a lookup reads
// the module tables in list order, which finds what the filled slots would give.
#include "front/registry.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "common/trace_log.h"

namespace {

// All zero at load (no initialisation code runs before the module constructor).
WebReqEntry slots[MAX_WEBREQ_COUNT];
unsigned char slot_used[MAX_WEBREQ_COUNT];
// Each used slot's id as one number (id_key), kept beside the slot: lookups and unregistering
// then compare 8-byte numbers instead of texts.
uint64_t slot_key[MAX_WEBREQ_COUNT];
// The module of each used slot (null for rows registered by other callers).
const RequestModule* slot_module[MAX_WEBREQ_COUNT];
int slot_count = 0;
// No used slot lies below this index: registering starts its search for free slots here.
int lowest_free = 0;

// An id of at most 8 bytes as one number: its bytes up to the first NUL, zero-padded. Two ids
// are the same identifier exactly when their keys are equal.
uint64_t key_of(const char* text, size_t length) {
  char bytes[sizeof(uint64_t)] = {};
  std::memcpy(bytes, text, length);
  uint64_t key = 0;
  std::memcpy(&key, bytes, sizeof key);
  return key;
}

// A row's key; the row's id is read only within its 8 bytes.
uint64_t id_key(const WebReqEntry& row) { return key_of(row.id, strnlen(row.id, sizeof row.id)); }
static_assert(sizeof WebReqEntry::id == sizeof(uint64_t));

void clear_slot(int i) {
  slots[i] = WebReqEntry{};
  slot_key[i] = 0;
  slot_module[i] = nullptr;
  slot_used[i] = 0;
  --slot_count;
  lowest_free = std::min(lowest_free, i);
}

// Clears every used slot whose key is one of `keys` (sorted).
void unregister_keys(const std::vector<uint64_t>& keys) {
  for (int i = 0; i < MAX_WEBREQ_COUNT; ++i) {
    if (slot_used[i] == 0 || !std::binary_search(keys.begin(), keys.end(), slot_key[i])) continue;
    clear_slot(i);
  }
}

int register_rows(const WebReqEntry* table, int n, const RequestModule* module) {
  if (table == nullptr || n <= 0) return -1;
  if (n >= MAX_WEBREQ_COUNT - slot_count) {
    log_message("dispatchreq", 62, "",
                "[oxel debug] WEBREQ exceeded maximum value(MAX_WEBREQ_COUNT)");
    return -1;
  }
  int next = 0;
  int i = lowest_free;
  for (; i < MAX_WEBREQ_COUNT && next < n; ++i) {
    if (slot_used[i] != 0) continue;
    slots[i] = table[next++];
    slot_key[i] = id_key(slots[i]);
    slot_module[i] = module;
    slot_used[i] = 1;
    ++slot_count;
  }
  while (i < MAX_WEBREQ_COUNT && slot_used[i] != 0) ++i;
  lowest_free = i;
  return 0;
}

bool modules_in_slots = false;

// Fills the slots with the module tables, in list order (once).
void fill_module_slots() {
  if (modules_in_slots) return;
  modules_in_slots = true;
  for (int i = 0; i < kProgramModuleCount; ++i) {
    const RequestModule* module = kProgramModules[i];
    if (module != nullptr) register_rows(module->table, module->count, module);
  }
}

}  // namespace

int register_requests(const WebReqEntry* table, int n) {
  fill_module_slots();
  return register_rows(table, n, nullptr);
}

int unregister_requests(const WebReqEntry* table, int n) {
  fill_module_slots();
  if (table == nullptr || n < 1) return -1;
  std::vector<uint64_t> keys;
  keys.reserve(static_cast<size_t>(n));
  for (int k = 0; k < n; ++k) keys.push_back(id_key(table[k]));
  std::sort(keys.begin(), keys.end());
  unregister_keys(keys);
  return 0;
}

namespace {
RequestHandler find_handler(const char* request_id) {
  if (request_id == nullptr) return nullptr;
  const size_t length = strnlen(request_id, sizeof(uint64_t) + 1);
  if (length > sizeof(uint64_t)) return nullptr;  // longer than any id
  const uint64_t key = key_of(request_id, length);
  if (!modules_in_slots) {
    // The module tables as the slots would hold them: a module is taken whole or, when it would
    // not fit, not at all (register_rows); then the slots are filled for real, which logs it.
    int taken = 0;
    for (int m = 0; m < kProgramModuleCount; ++m) {
      const RequestModule* module = kProgramModules[m];
      if (module == nullptr || module->table == nullptr || module->count <= 0) continue;
      if (module->count >= MAX_WEBREQ_COUNT - taken) {
        fill_module_slots();
        return find_handler(request_id);
      }
      taken += module->count;
      for (int r = 0; r < module->count; ++r) {
        if (id_key(module->table[r]) == key) return module->table[r].handler;
      }
    }
    return nullptr;
  }
  for (int i = 0; i < MAX_WEBREQ_COUNT; ++i) {
    if (slot_used[i] != 0 && slot_key[i] == key) return slots[i].handler;
  }
  return nullptr;
}
}  // namespace

void dispatch_request(const char* request_id, const char* argument) {
  if (RequestHandler handler = find_handler(request_id)) handler(argument);
}

bool request_registered(const char* request_id) { return find_handler(request_id) != nullptr; }

int registered_request_count() {
  fill_module_slots();
  return slot_count;
}

// At exit the slots the modules filled are cleared in one pass, by the module that registered
// them: the exit of every request pays for it, and unregistering module by module cost a sorted
// search of every slot per module (a quarter of a short request's instructions).
__attribute__((destructor)) static void unregister_program_modules() {
  const bool filled = modules_in_slots;
  modules_in_slots = true;  // from here on the slots alone answer: the modules are gone
  if (!filled) return;
  for (int i = 0; i < MAX_WEBREQ_COUNT; ++i) {
    if (slot_used[i] != 0 && slot_module[i] != nullptr) clear_slot(i);
  }
}
