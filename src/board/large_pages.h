// Large pages for the big tables: fewer page-table walks when a search reads the weight
// tables and the hash tables at random places.
#pragma once

#include <cstdint>

namespace kestrel {

// Size of one large page on the systems that offer them.
constexpr uint64_t LargePageBytes = 2 * 1024 * 1024;

// Asks the system to back the whole large pages inside [p, p + bytes) with large pages.
// Only a hint: nothing changes where the system does not offer them. Best called before
// the memory is first written.
void AdviseLargePages(void* p, uint64_t bytes);

// Memory for a big table, aligned to a large page when it spans at least one, and advised
// to use large pages; released with std::free. nullptr when the allocation fails.
void* AllocateLargeTable(uint64_t bytes);

}  // namespace kestrel
