#include "platform/file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <filesystem>

namespace tarnwick {

ReadFile::~ReadFile() {
  if (fd_ >= 0) ::close(fd_);
}

ReadFile::ReadFile(ReadFile&& other) noexcept : fd_(other.fd_), size_(other.size_) {
  other.fd_ = -1;
  other.size_ = 0;
}

ReadFile& ReadFile::operator=(ReadFile&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = other.fd_;
    size_ = other.size_;
    other.fd_ = -1;
    other.size_ = 0;
  }
  return *this;
}

std::optional<ReadFile> ReadFile::Open(const std::string& path) {
  if (path.empty()) return std::nullopt;
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return std::nullopt;
  }
  ReadFile file;
  file.fd_ = fd;
  file.size_ = static_cast<uint64_t>(st.st_size);
  return file;
}

size_t ReadFile::ReadAt(uint64_t offset, std::span<uint8_t> out) const {
  if (fd_ < 0) return 0;
  size_t done = 0;
  while (done < out.size()) {
    ssize_t n = ::pread(fd_, out.data() + done, out.size() - done,
                        static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  return done;
}

void ReadFile::AdviseSequential() const {
  if (fd_ >= 0) ::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
}

std::string ExecutableFolder() {
  std::error_code ec;
  auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return {};
  return self.parent_path().string();
}

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  if (folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

std::string FileNameOf(const std::string& path) {
  size_t pos = path.find_last_of("/\\");
  return pos == std::string::npos ? path : path.substr(pos + 1);
}

std::string FolderOf(const std::string& path) {
  size_t pos = path.find_last_of("/\\");
  return pos == std::string::npos ? std::string() : path.substr(0, pos + 1);
}

std::vector<std::string> FilesWithExtension(const std::string& folder, const std::string& ext) {
  std::vector<std::string> found;
  std::error_code ec;
  std::filesystem::path dir = folder.empty() ? std::filesystem::path(".") : std::filesystem::path(folder);
  auto lower = [](std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
  };
  const std::string want = lower(ext);
  for (std::filesystem::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code type_ec;
    if (!it->is_regular_file(type_ec)) continue;
    std::string name = it->path().filename().string();
    if (name.size() >= want.size() && lower(name.substr(name.size() - want.size())) == want)
      found.push_back(it->path().string());
  }
  std::sort(found.begin(), found.end());
  return found;
}

bool IsTerminal(int fd) { return ::isatty(fd) == 1; }

}  // namespace tarnwick
