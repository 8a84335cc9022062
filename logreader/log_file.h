// Where the bytes of a transaction log come from.
//
// The scan and every later re-read of one block go through LogSource: the
// open log file (positioned reads, so several threads may read blocks at the
// same time) or a span of bytes in memory (tests, fuzzing). A read past the
// end returns fewer bytes than asked; callers treat the rest as zeros.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "platform/file_mapping.h"
#include "platform/file_system.h"
#include "reader/byte_reader.h"

namespace tarnwick {

inline constexpr const char* kLdfCannotBeOpen = "LDF File Cannot be open...";
// A pass over a log in memory lets the pages behind it go (DoneWith) every
// this many bytes.
inline constexpr uint64_t kLogDoneWithStep = uint64_t{16} << 20;

class LogSource {
 public:
  virtual ~LogSource() = default;
  // The length of the log, taken once when it was opened.
  virtual uint64_t size() const = 0;
  // Reads up to out.size() bytes at position; returns the number read.
  // Safe to call from several threads.
  virtual size_t ReadAt(uint64_t position, std::span<uint8_t> out) const = 0;
  // All size() bytes in memory, when the source has them there (a mapped
  // file): a scan then reads them in place. Empty otherwise.
  virtual Bytes InMemory() const { return {}; }
  // A scan has read the bytes [from, to) of InMemory and will not come back
  // to them: a mapped file lets their pages go.
  virtual void DoneWith(uint64_t /*from*/, uint64_t /*to*/) const {}
};

// Log bytes held by the caller; the span must outlive the source.
class MemoryLogSource final : public LogSource {
 public:
  explicit MemoryLogSource(Bytes bytes) : bytes_(bytes) {}
  explicit MemoryLogSource(const ByteBuffer& bytes) : bytes_(bytes.data(), bytes.size()) {}
  MemoryLogSource(ByteBuffer&&) = delete;

  uint64_t size() const override { return bytes_.size(); }
  size_t ReadAt(uint64_t position, std::span<uint8_t> out) const override;
  Bytes InMemory() const override { return bytes_; }

 private:
  Bytes bytes_;
};

// The log file opened for reading. It stays open after the scan so that the
// block of one operation can be read again. The file is also mapped, where
// the system allows, for the scan to walk it in place; single reads use
// positioned reads.
class LogFile final : public LogSource {
 public:
  // Nothing when the path is not a readable regular file.
  static std::optional<LogFile> Open(const std::string& path);

  uint64_t size() const override { return file_.size(); }
  size_t ReadAt(uint64_t position, std::span<uint8_t> out) const override {
    return file_.ReadAt(position, out);
  }
  Bytes InMemory() const override { return mapping_ ? mapping_->bytes() : Bytes{}; }
  void DoneWith(uint64_t from, uint64_t to) const override {
    if (mapping_ && to > from) mapping_->Drop(from, to - from);
  }

 private:
  explicit LogFile(ReadFile file) : file_(std::move(file)), mapping_(FileMapping::Map(file_)) {}
  ReadFile file_;
  std::optional<FileMapping> mapping_;
};

}  // namespace tarnwick
