#include "common/debug_words.h"

extern "C" {
__attribute__((used, retain)) int32_t global_debug_mask = 0;
__attribute__((used, retain)) int32_t global_debug_hook = 0;
}
