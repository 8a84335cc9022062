// File checks of the file selection dialog and the single-instance lock.
#pragma once

#include <string>

namespace tarnwick::app {

bool PathExists(const std::string& path);

// Whether the file can be opened for reading and writing with nobody else
// holding it: a read-write open and, where the platform has advisory locks,
// an exclusive lock taken and released again. A database server holds its
// files open and locked, so they fail here; so do read-only files.
bool CanOpenExclusively(const std::string& path);

// The lock-file name that stands for the named mutex: every character that
// cannot be part of a file name becomes "_".
std::string InstanceLockName(const std::string& mutex_name);

// A lock held for the life of the process by the running instance.
class SingleInstanceLock {
 public:
  SingleInstanceLock() = default;
  ~SingleInstanceLock();
  SingleInstanceLock(const SingleInstanceLock&) = delete;
  SingleInstanceLock& operator=(const SingleInstanceLock&) = delete;

  // Creates (or opens) the lock file in the folder and tries to lock it.
  // False when another process (or another lock object) holds it: an
  // instance already runs. A folder that cannot be used gives true.
  bool Acquire(const std::string& folder, const std::string& mutex_name);
  void Release();

 private:
  int fd_ = -1;
};

// The folder of the per-user runtime files ($XDG_RUNTIME_DIR, else /tmp).
std::string RuntimeFolder();

}  // namespace tarnwick::app
