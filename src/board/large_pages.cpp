// Large-page hints through madvise where the system has it.
#include "board/large_pages.h"

#include <cstdlib>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace kestrel {

void AdviseLargePages(void* p, uint64_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  const uintptr_t begin = ((uintptr_t)p + LargePageBytes - 1) & ~(uintptr_t)(LargePageBytes - 1);
  const uintptr_t end = ((uintptr_t)p + bytes) & ~(uintptr_t)(LargePageBytes - 1);
  if (end > begin) madvise((void*)begin, end - begin, MADV_HUGEPAGE);
#else
  (void)p;
  (void)bytes;
#endif
}

void* AllocateLargeTable(uint64_t bytes) {
  const uint64_t align = bytes >= LargePageBytes ? LargePageBytes : 64;
  const uint64_t size = (bytes + align - 1) / align * align;  // a multiple of the alignment
  void* mem = std::aligned_alloc(align, size);
  if (mem) AdviseLargePages(mem, size);
  return mem;
}

}  // namespace kestrel
