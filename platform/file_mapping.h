// A read-only mapping of a whole file, for a walk that reads a large file
// once from start to end without copying it into buffers of its own.
//
// A mapped file that another program shortens while it is mapped raises
// SIGBUS at the first read past its new end. The mappings' guard catches
// that signal for the addresses of live mappings: it puts a page of zeros
// over the faulting page and the read goes on, seeing zeros, as a
// positioned read past the end of a file gives none. The mapping remembers
// that it happened (truncated()). A SIGBUS at any other address goes to
// the handler that was there before the guard.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "platform/file_system.h"

namespace tarnwick {

class FileMapping {
 public:
  // Nothing when the file is empty, cannot be mapped, or too many
  // mappings are live; the caller then reads with positioned reads.
  static std::optional<FileMapping> Map(const ReadFile& file);

  FileMapping(FileMapping&& other) noexcept;
  FileMapping& operator=(FileMapping&& other) noexcept;
  FileMapping(const FileMapping&) = delete;
  FileMapping& operator=(const FileMapping&) = delete;
  ~FileMapping();

  // The file's bytes as long as the mapping lives (its length when mapped).
  std::span<const uint8_t> bytes() const { return {data_, size_}; }
  // A read met the end of a file that had become shorter than the mapping.
  bool truncated() const;
  // The bytes [offset, offset + length) will not be read again soon: their
  // pages leave the process (the file's cached pages stay in the system's
  // cache), so a walk over a large file does not hold it all resident.
  // Reading them again maps them again.
  void Drop(uint64_t offset, uint64_t length) const;

 private:
  FileMapping() = default;
  void Release() noexcept;

  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
  int slot_ = -1;  // the mapping's entry in the guard's table
};

}  // namespace tarnwick
