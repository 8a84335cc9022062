// File access used by the readers: positioned reads on an owned descriptor,
// so that several threads may read the same file at once, and path helpers.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tarnwick {

// A file opened for reading. Move-only; closes on destruction.
class ReadFile {
 public:
  ReadFile() = default;
  ~ReadFile();
  ReadFile(ReadFile&& other) noexcept;
  ReadFile& operator=(ReadFile&& other) noexcept;
  ReadFile(const ReadFile&) = delete;
  ReadFile& operator=(const ReadFile&) = delete;

  // Opens a regular file; folders and missing files fail.
  static std::optional<ReadFile> Open(const std::string& path);

  bool is_open() const { return fd_ >= 0; }
  uint64_t size() const { return size_; }
  int descriptor() const { return fd_; }

  // Reads up to out.size() bytes at offset; returns the number read (short
  // at the end of the file, 0 on error). Safe to call from several threads.
  size_t ReadAt(uint64_t offset, std::span<uint8_t> out) const;

  // Advises the kernel that the file will be read from start to end.
  void AdviseSequential() const;

 private:
  int fd_ = -1;
  uint64_t size_ = 0;
};

// The folder of the running executable, or empty when it cannot be found.
std::string ExecutableFolder();

// folder + "/" + name (no separator doubled).
std::string JoinPath(const std::string& folder, const std::string& name);

// Everything after the last "/" or "\" of a path.
std::string FileNameOf(const std::string& path);

// The folder part of a path, up to and including its last "/" or "\".
std::string FolderOf(const std::string& path);

// The regular files of a folder whose names end in the given extension
// (compared without regard to case), sorted by name.
std::vector<std::string> FilesWithExtension(const std::string& folder, const std::string& ext);

bool IsTerminal(int fd);

}  // namespace tarnwick
