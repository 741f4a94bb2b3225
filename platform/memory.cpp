#include "platform/memory.h"

#include <malloc.h>
#include <sys/mman.h>

void adviseLargePages(void* start, std::size_t size) {
    (void)madvise(start, size, MADV_HUGEPAGE);
}

void keepFreedMemoryForReuse() {
    // The largest threshold glibc takes on 64-bit systems; above it the
    // call fails and the default would stay.
    constexpr int kLargestHeapBlock = 32 * 1024 * 1024;
    (void)mallopt(M_MMAP_THRESHOLD, kLargestHeapBlock);
    (void)mallopt(M_TRIM_THRESHOLD, 2 * kLargestHeapBlock);
}
