// The request registry ("dispatchreq"): a fixed table of request identifiers and handlers, filled
// before main by the program's module list and emptied at exit.
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
int slot_count = 0;

// The identifier of a row equals `text` exactly (case-sensitive). The row's id is read only
// within its 8 bytes.
bool id_equals(const char (&id)[sizeof WebReqEntry::id], const char* text) {
  const size_t n = strnlen(id, sizeof id);
  return strncmp(text, id, n) == 0 && text[n] == '\0';
}

// A row's id as one number: its 8 bytes with everything from the first NUL on cleared. Two rows
// name the same identifier exactly when their keys are equal.
uint64_t id_key(const WebReqEntry& row) {
  char bytes[sizeof row.id] = {};
  std::memcpy(bytes, row.id, strnlen(row.id, sizeof row.id));
  uint64_t key = 0;
  std::memcpy(&key, bytes, sizeof key);
  return key;
}
static_assert(sizeof WebReqEntry::id == sizeof(uint64_t));

}  // namespace

int register_requests(const WebReqEntry* table, int n) {
  if (table == nullptr || n <= 0) return -1;
  if (n >= MAX_WEBREQ_COUNT - slot_count) {
    log_message("dispatchreq", 62, "",
                "[oxel debug] WEBREQ exceeded maximum value(MAX_WEBREQ_COUNT)");
    return -1;
  }
  int next = 0;
  for (int i = 0; i < MAX_WEBREQ_COUNT && next < n; ++i) {
    if (slot_used[i] != 0) continue;
    slots[i] = table[next++];
    slot_used[i] = 1;
    ++slot_count;
  }
  return 0;
}

int unregister_requests(const WebReqEntry* table, int n) {
  if (table == nullptr || n < 1) return -1;
  // Sorted keys of the table: each slot is then one binary search instead of n comparisons
  // (this runs for every module at the exit of every request).
  std::vector<uint64_t> keys(static_cast<size_t>(n));
  for (int k = 0; k < n; ++k) keys[static_cast<size_t>(k)] = id_key(table[k]);
  std::sort(keys.begin(), keys.end());
  for (int i = 0; i < MAX_WEBREQ_COUNT; ++i) {
    if (slot_used[i] == 0) continue;
    if (std::binary_search(keys.begin(), keys.end(), id_key(slots[i]))) {
      slots[i] = WebReqEntry{};
      slot_used[i] = 0;
      --slot_count;
    }
  }
  return 0;
}

namespace {
RequestHandler find_handler(const char* request_id) {
  if (request_id == nullptr) return nullptr;
  for (int i = 0; i < MAX_WEBREQ_COUNT; ++i) {
    if (slot_used[i] != 0 && id_equals(slots[i].id, request_id)) return slots[i].handler;
  }
  return nullptr;
}
}  // namespace

void dispatch_request(const char* request_id, const char* argument) {
  if (RequestHandler handler = find_handler(request_id)) handler(argument);
}

bool request_registered(const char* request_id) { return find_handler(request_id) != nullptr; }

int registered_request_count() { return slot_count; }

// The program's modules register in list order before main and unregister at exit.
__attribute__((constructor)) static void register_program_modules() {
  for (int i = 0; i < kProgramModuleCount; ++i) {
    const RequestModule* module = kProgramModules[i];
    if (module != nullptr) register_requests(module->table, module->count);
  }
}

__attribute__((destructor)) static void unregister_program_modules() {
  for (int i = 0; i < kProgramModuleCount; ++i) {
    const RequestModule* module = kProgramModules[i];
    if (module != nullptr) unregister_requests(module->table, module->count);
  }
}
