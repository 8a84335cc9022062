#include "platform/large_allocation.h"

#include <sys/mman.h>

#include <cstdint>

namespace tarnwick {

void* AllocateLargeBlock() {
  // One block more than needed, so that the block can start on a block
  // boundary (where a huge page can back it); the ends are given back.
  const size_t mapped = 2 * kLargeBlockBytes;
  void* p = ::mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) throw std::bad_alloc();
  const uintptr_t start = reinterpret_cast<uintptr_t>(p);
  const uintptr_t aligned = (start + kLargeBlockBytes - 1) / kLargeBlockBytes * kLargeBlockBytes;
  if (aligned > start) ::munmap(p, aligned - start);
  const uintptr_t end = start + mapped;
  if (end > aligned + kLargeBlockBytes)
    ::munmap(reinterpret_cast<void*>(aligned + kLargeBlockBytes), end - aligned - kLargeBlockBytes);
#ifdef MADV_HUGEPAGE
  // Advice only: without huge pages the block works the same.
  ::madvise(reinterpret_cast<void*>(aligned), kLargeBlockBytes, MADV_HUGEPAGE);
#endif
  return reinterpret_cast<void*>(aligned);
}

void FreeLargeBlock(void* block) noexcept {
  if (block != nullptr) ::munmap(block, kLargeBlockBytes);
}

}  // namespace tarnwick
