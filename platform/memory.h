// Hints about memory that the player holds for its whole run.
#pragma once

#include <cstddef>

// The size of the large pages that a block aligned to it can be backed by.
inline constexpr std::size_t kLargePageSize = 2 * 1024 * 1024;

// Asks for large pages behind [start, start + size), which should be aligned
// to kLargePageSize. The player's state is megabytes of tables that a large
// folder fills entirely; in small pages each of them costs a page fault when
// it is first written, which is a good part of the start. Only a hint:
// where the system does not take it, nothing changes.
void adviseLargePages(void* start, std::size_t size);

// Keeps freed blocks of every size in the heap for reuse, where blocks above
// 128 KiB would otherwise be mapped afresh for each allocation and unmapped
// when freed. Reading a folder of 5000 songs builds and drops several lists
// of a few hundred KiB; every fresh mapping costs a page fault per 4 KiB
// touched, which was most of their cost. The heap then stays at its peak,
// a few megabytes, for the rest of the run.
void keepFreedMemoryForReuse();
