// Tracked allocation: a small header in front of every block carries a marker, the size and the
// allocating caller.
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/zvstd/zvstd.h"

namespace {

constexpr uint64_t kLiveMarker = 0x7a76616c6c6f6321ull;  // "zvalloc!"
constexpr uint64_t kFreedMarker = 0x7a7666726565642eull; // "zvfreed."

struct alignas(alignof(std::max_align_t)) BlockHeader {
  uint64_t marker;
  size_t size;
  const char* source;
  int line;
};
static_assert(sizeof(BlockHeader) % alignof(std::max_align_t) == 0);

std::atomic<int64_t> g_live_blocks{0};
std::atomic<int64_t> g_live_bytes{0};
std::atomic<int64_t> g_bad_frees{0};

const char* name_of(const char* source) { return source != nullptr ? source : "?"; }

void* allocate(size_t size, bool zero, const char* source, int line) {
  if (size > SIZE_MAX - sizeof(BlockHeader)) return nullptr;
  void* raw = zero ? calloc(1, sizeof(BlockHeader) + size) : malloc(sizeof(BlockHeader) + size);
  if (raw == nullptr) return nullptr;
  auto* header = static_cast<BlockHeader*>(raw);
  header->marker = kLiveMarker;
  header->size = size;
  header->source = source;
  header->line = line;
  g_live_blocks.fetch_add(1, std::memory_order_relaxed);
  g_live_bytes.fetch_add(static_cast<int64_t>(size), std::memory_order_relaxed);
  return header + 1;
}

}  // namespace

void* __zv_malloc(size_t size, const char* source, int line) {
  return allocate(size, false, source, line);
}

void* __zv_calloc(size_t n, size_t size, const char* source, int line) {
  if (size != 0 && n > SIZE_MAX / size) return nullptr;
  return allocate(n * size, true, source, line);
}

void __zv_free(void* pointer, const char* source, int line) {
  if (pointer == nullptr) return;
  auto* header = static_cast<BlockHeader*>(pointer) - 1;
  if (header->marker != kLiveMarker) {
    g_bad_frees.fetch_add(1, std::memory_order_relaxed);
    if (header->marker == kFreedMarker) {
      fprintf(stderr, "zv_free: block freed twice at %s:%d (allocated at %s:%d)\n", name_of(source),
              line, name_of(header->source), header->line);
    } else {
      fprintf(stderr, "zv_free: unknown pointer freed at %s:%d\n", name_of(source), line);
    }
    return;
  }
  header->marker = kFreedMarker;
  g_live_blocks.fetch_sub(1, std::memory_order_relaxed);
  g_live_bytes.fetch_sub(static_cast<int64_t>(header->size), std::memory_order_relaxed);
  free(header);
}

ZvMemStats zv_mem_stats() {
  return {g_live_blocks.load(std::memory_order_relaxed), g_live_bytes.load(std::memory_order_relaxed),
          g_bad_frees.load(std::memory_order_relaxed)};
}
