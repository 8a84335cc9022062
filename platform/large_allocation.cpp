#include "platform/large_allocation.h"

#include <sys/mman.h>

#include <cstdint>

namespace tarnwick {

namespace {

size_t AreaSize(size_t bytes) {
  const size_t blocks = bytes / kLargeBlockBytes + (bytes % kLargeBlockBytes != 0);
  return (blocks == 0 ? 1 : blocks) * kLargeBlockBytes;
}

}  // namespace

void* AllocateLargeBlock() { return AllocateLargeArea(kLargeBlockBytes); }

void FreeLargeBlock(void* block) noexcept { FreeLargeArea(block, kLargeBlockBytes); }

void* AllocateLargeArea(size_t bytes) {
  if (bytes > SIZE_MAX / 2) throw std::bad_alloc();
  const size_t size = AreaSize(bytes);
  // One block more than needed, so that the area can start on a block
  // boundary (where huge pages can back it); the ends are given back.
  const size_t mapped = size + kLargeBlockBytes;
  void* p = ::mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) throw std::bad_alloc();
  const uintptr_t start = reinterpret_cast<uintptr_t>(p);
  const uintptr_t aligned = (start + kLargeBlockBytes - 1) / kLargeBlockBytes * kLargeBlockBytes;
  if (aligned > start) ::munmap(p, aligned - start);
  const uintptr_t end = start + mapped;
  if (end > aligned + size) ::munmap(reinterpret_cast<void*>(aligned + size), end - aligned - size);
#ifdef MADV_HUGEPAGE
  // Advice only: without huge pages the area works the same.
  ::madvise(reinterpret_cast<void*>(aligned), size, MADV_HUGEPAGE);
#endif
  return reinterpret_cast<void*>(aligned);
}

void FreeLargeArea(void* area, size_t bytes) noexcept {
  if (area != nullptr) ::munmap(area, AreaSize(bytes));
}

}  // namespace tarnwick
