#include "app/Memory.h"

#include <malloc.h>

namespace memory {

void keepFreedMemory() {
    // Blocks up to 32 MB (the largest the allocator allows) come from the heap rather than
    // from mappings of their own, and the heap is not trimmed while it holds free room.
    mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 1024 * 1024 * 1024);
}

}  // namespace memory
