#include "app/platform/file_access.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace tarnwick::app {

bool PathExists(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

bool CanOpenExclusively(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  // Both lock families: flock for programs that use it, and a POSIX record
  // lock test for those that lock with fcntl.
  if (ok) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
      ::flock(fd, LOCK_UN);
    } else if (errno == EWOULDBLOCK) {
      ok = false;
    }
  }
  if (ok) {
    struct flock probe {};
    probe.l_type = F_WRLCK;
    probe.l_whence = SEEK_SET;
    if (::fcntl(fd, F_GETLK, &probe) == 0 && probe.l_type != F_UNLCK) ok = false;
  }
  ::close(fd);
  return ok;
}

std::string InstanceLockName(const std::string& mutex_name) {
  std::string name;
  for (char c : mutex_name) {
    const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                       c == '{' || c == '}' || c == '-' || c == '.';
    name.push_back(plain ? c : '_');
  }
  return name + ".lock";
}

SingleInstanceLock::~SingleInstanceLock() { Release(); }

bool SingleInstanceLock::Acquire(const std::string& folder, const std::string& mutex_name) {
  Release();
  const std::string path = folder + "/" + InstanceLockName(mutex_name);
  fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd_ < 0) return true;
  if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd_);
    fd_ = -1;
    return false;
  }
  return true;
}

void SingleInstanceLock::Release() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

std::string RuntimeFolder() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime && *runtime && ::access(runtime, W_OK) == 0) return runtime;
  return "/tmp";
}

}  // namespace tarnwick::app
