#include "platform/memory.h"

#include <sys/mman.h>

void adviseLargePages(void* start, std::size_t size) {
    (void)madvise(start, size, MADV_HUGEPAGE);
}
