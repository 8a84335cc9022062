// The activity log "log.txt": UTF-16LE text beside the executable, one
// separator line per start of the program, the path of every scanned data
// file and the progress messages of every save.
//
// When the executable's folder cannot be written (an installed program),
// the file goes to the user's state folder ($XDG_STATE_HOME/tarnwick,
// default ~/.local/state/tarnwick). A log that can be neither created nor
// opened is skipped: writing to it does nothing.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>

namespace tarnwick::app {

inline constexpr const char* kActivityLogName = "log.txt";

class ActivityLog {
 public:
  ActivityLog() = default;
  ~ActivityLog();
  ActivityLog(const ActivityLog&) = delete;
  ActivityLog& operator=(const ActivityLog&) = delete;

  // The folder the log goes to: the executable's folder when it can be
  // written, else the user's state folder (created when missing).
  static std::string DefaultFolder();

  // Closes an open log, opens (or creates, with the byte order mark FF FE)
  // folder/log.txt and writes the separator "\r\n" + 80 "*" + "\r\n". An
  // empty folder means DefaultFolder().
  void Open(const std::string& folder = {});
  // Appends the UTF-16LE code units of the UTF-8 text; the caller adds its
  // own "\r\n". Safe from any thread.
  void Append(const std::string& text);
  void Close();

  bool isOpen() const;
  const std::string& path() const { return path_; }

 private:
  mutable std::mutex mutex_;
  std::FILE* file_ = nullptr;
  std::string path_;
};

}  // namespace tarnwick::app
