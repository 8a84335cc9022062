#include "platform/file_mapping.h"

#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <mutex>

namespace tarnwick {

namespace {

// The guard's table of live mappings. The handler only reads it, with
// atomic loads: a mapping's range is published before the mapping is used
// and withdrawn before it is unmapped.
constexpr int kSlots = 64;
struct GuardSlot {
  std::atomic<uintptr_t> start{0};
  std::atomic<size_t> length{0};
  std::atomic<bool> truncated{false};
  std::atomic<bool> taken{false};
};
GuardSlot g_slots[kSlots];
struct sigaction g_previous {};
std::once_flag g_install;
bool g_installed = false;

void PassOn(int signal, siginfo_t* info, void* context) {
  if (g_previous.sa_flags & SA_SIGINFO) {
    if (g_previous.sa_sigaction) g_previous.sa_sigaction(signal, info, context);
    return;
  }
  if (g_previous.sa_handler != SIG_DFL && g_previous.sa_handler != SIG_IGN) {
    g_previous.sa_handler(signal);
    return;
  }
  // The default action: returning re-runs the faulting read, which now
  // ends the process as if no guard had been there.
  struct sigaction fallback {};
  fallback.sa_handler = SIG_DFL;
  sigemptyset(&fallback.sa_mask);
  sigaction(SIGBUS, &fallback, nullptr);
}

void OnBusError(int signal, siginfo_t* info, void* context) {
  const uintptr_t address = reinterpret_cast<uintptr_t>(info->si_addr);
  for (GuardSlot& slot : g_slots) {
    const uintptr_t start = slot.start.load(std::memory_order_acquire);
    const size_t length = slot.length.load(std::memory_order_acquire);
    if (start == 0 || address < start || address - start >= length) continue;
    const uintptr_t page_size = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    void* page = reinterpret_cast<void*>(address & ~(page_size - 1));
    if (mmap(page, page_size, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) ==
        MAP_FAILED)
      break;
    slot.truncated.store(true, std::memory_order_relaxed);
    return;
  }
  PassOn(signal, info, context);
}

void InstallGuard() {
  struct sigaction action {};
  action.sa_sigaction = OnBusError;
  action.sa_flags = SA_SIGINFO | SA_ONSTACK;
  sigemptyset(&action.sa_mask);
  g_installed = sigaction(SIGBUS, &action, &g_previous) == 0;
}

int TakeSlot() {
  for (int i = 0; i < kSlots; ++i) {
    bool expected = false;
    if (g_slots[i].taken.compare_exchange_strong(expected, true)) return i;
  }
  return -1;
}

}  // namespace

std::optional<FileMapping> FileMapping::Map(const ReadFile& file) {
  if (!file.is_open() || file.size() == 0 || file.size() > SIZE_MAX) return std::nullopt;
  std::call_once(g_install, InstallGuard);
  if (!g_installed) return std::nullopt;
  const int slot = TakeSlot();
  if (slot < 0) return std::nullopt;
  const size_t size = static_cast<size_t>(file.size());
  void* data = mmap(nullptr, size, PROT_READ, MAP_SHARED, file.descriptor(), 0);
  if (data == MAP_FAILED) {
    g_slots[slot].taken.store(false);
    return std::nullopt;
  }
  madvise(data, size, MADV_SEQUENTIAL);
  GuardSlot& guard = g_slots[slot];
  guard.truncated.store(false, std::memory_order_relaxed);
  guard.length.store(size, std::memory_order_release);
  guard.start.store(reinterpret_cast<uintptr_t>(data), std::memory_order_release);
  FileMapping mapping;
  mapping.data_ = static_cast<const uint8_t*>(data);
  mapping.size_ = size;
  mapping.slot_ = slot;
  return mapping;
}

FileMapping::FileMapping(FileMapping&& other) noexcept
    : data_(other.data_), size_(other.size_), slot_(other.slot_) {
  other.data_ = nullptr;
  other.size_ = 0;
  other.slot_ = -1;
}

FileMapping& FileMapping::operator=(FileMapping&& other) noexcept {
  if (this != &other) {
    Release();
    data_ = other.data_;
    size_ = other.size_;
    slot_ = other.slot_;
    other.data_ = nullptr;
    other.size_ = 0;
    other.slot_ = -1;
  }
  return *this;
}

FileMapping::~FileMapping() { Release(); }

bool FileMapping::truncated() const {
  return slot_ >= 0 && g_slots[slot_].truncated.load(std::memory_order_relaxed);
}

void FileMapping::Drop(uint64_t offset, uint64_t length) const {
  if (!data_ || offset >= size_) return;
  length = std::min<uint64_t>(length, size_ - offset);
  // Whole pages inside the range only.
  const uint64_t page_size = static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
  const uint64_t start = (offset + page_size - 1) / page_size * page_size;
  const uint64_t end = (offset + length) / page_size * page_size;
  if (end > start)
    madvise(const_cast<uint8_t*>(data_) + start, static_cast<size_t>(end - start), MADV_DONTNEED);
}

void FileMapping::Release() noexcept {
  if (slot_ < 0) return;
  GuardSlot& guard = g_slots[slot_];
  guard.start.store(0, std::memory_order_release);
  guard.length.store(0, std::memory_order_release);
  munmap(const_cast<uint8_t*>(data_), size_);
  guard.taken.store(false, std::memory_order_release);
  data_ = nullptr;
  size_ = 0;
  slot_ = -1;
}

}  // namespace tarnwick
