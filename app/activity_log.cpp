#include "app/activity_log.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/file_system.h"
#include "platform/text_codec.h"

namespace tarnwick::app {
namespace {

// Creates every missing folder of a path; false when the last one is not
// there afterwards.
bool MakeFolders(const std::string& path) {
  for (size_t i = 1; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == '/') {
      const std::string part = path.substr(0, i);
      if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
  }
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string StateFolder() {
  const char* state = std::getenv("XDG_STATE_HOME");
  if (state && *state == '/') return std::string(state) + "/tarnwick";
  const char* home = std::getenv("HOME");
  if (home && *home) return std::string(home) + "/.local/state/tarnwick";
  return "/tmp/tarnwick";
}

}  // namespace

ActivityLog::~ActivityLog() { Close(); }

std::string ActivityLog::DefaultFolder() {
  const std::string exe = ExecutableFolder();
  if (!exe.empty() && ::access(exe.c_str(), W_OK) == 0) {
    const std::string log = JoinPath(exe, kActivityLogName);
    // An existing log that cannot be written counts as a folder that cannot.
    if (::access(log.c_str(), F_OK) != 0 || ::access(log.c_str(), W_OK) == 0) return exe;
  }
  const std::string state = StateFolder();
  MakeFolders(state);
  return state;
}

void ActivityLog::Open(const std::string& folder) {
  Close();
  std::lock_guard<std::mutex> lock(mutex_);
  path_ = JoinPath(folder.empty() ? DefaultFolder() : folder, kActivityLogName);
  const bool exists = ::access(path_.c_str(), F_OK) == 0;
  file_ = std::fopen(path_.c_str(), exists ? "r+b" : "w+b");
  if (!file_) return;
  if (!exists) {
    const unsigned char bom[2] = {0xFF, 0xFE};
    std::fwrite(bom, 1, 2, file_);
  } else {
    std::fseek(file_, 0, SEEK_END);
  }
  std::string separator = "\r\n";
  separator.append(80, '*');
  separator += "\r\n";
  const std::string units = Utf8ToUtf16Le(separator);
  std::fwrite(units.data(), 1, units.size(), file_);
  std::fflush(file_);
}

void ActivityLog::Append(const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!file_) return;
  const std::string units = Utf8ToUtf16Le(text);
  std::fwrite(units.data(), 1, units.size(), file_);
  std::fflush(file_);
}

void ActivityLog::Close() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (file_) std::fclose(file_);
  file_ = nullptr;
}

bool ActivityLog::isOpen() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return file_ != nullptr;
}

}  // namespace tarnwick::app
