// A hint about memory that the player holds for its whole run.
#pragma once

#include <cstddef>

// The size of the large pages that a block aligned to it can be backed by.
inline constexpr std::size_t kLargePageSize = 2 * 1024 * 1024;

// Asks for large pages behind [start, start + size), which should be aligned
// to kLargePageSize. The player's state is megabytes of tables that a large
// folder fills entirely; in small pages each of them costs a page fault when
// it is first written: on 5000 songs about 950 faults and 12 ms of the start
// (bench/folder-time's folder, alternated runs). Only a hint: where the
// system does not take it, nothing changes.
void adviseLargePages(void* start, std::size_t size);
