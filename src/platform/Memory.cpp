#include "platform/Memory.h"

#include <malloc.h>

namespace Memory {

void returnFreedImages() {
    constexpr int threshold = 256 * 1024;
    mallopt(M_MMAP_THRESHOLD, threshold);
    mallopt(M_TRIM_THRESHOLD, 2 * threshold);
}

} // namespace Memory
