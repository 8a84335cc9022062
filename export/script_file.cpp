#include "export/script_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <vector>

#include "platform/text_codec.h"

namespace tarnwick {
namespace {

// Appended bytes are handed to the system in pieces of this size.
constexpr size_t kBufferSize = size_t{1} << 20;
// After this many bytes written the system is asked to start writing them
// to the disk, so that Commit's fsync waits only for the last of them
// rather than for a whole large script at once.
constexpr uint64_t kWritebackStep = uint64_t{8} << 20;

bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

std::string Folded(std::string_view name) {
  std::string folded(name);
  for (char& c : folded)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return folded;
}

}  // namespace

AtomicFile::~AtomicFile() { Abandon(); }

AtomicFile::AtomicFile(AtomicFile&& other) noexcept
    : path_(std::move(other.path_)),
      temp_path_(std::move(other.temp_path_)),
      fd_(other.fd_),
      failed_(other.failed_),
      size_(other.size_),
      written_(other.written_),
      writeback_from_(other.writeback_from_),
      buffer_(std::move(other.buffer_)) {
  other.fd_ = -1;
  other.temp_path_.clear();
}

AtomicFile& AtomicFile::operator=(AtomicFile&& other) noexcept {
  if (this != &other) {
    Abandon();
    path_ = std::move(other.path_);
    temp_path_ = std::move(other.temp_path_);
    fd_ = other.fd_;
    failed_ = other.failed_;
    size_ = other.size_;
    written_ = other.written_;
    writeback_from_ = other.writeback_from_;
    buffer_ = std::move(other.buffer_);
    other.fd_ = -1;
    other.temp_path_.clear();
  }
  return *this;
}

std::optional<AtomicFile> AtomicFile::Create(const std::string& path) {
  if (path.empty()) return std::nullopt;
  std::vector<char> name(path.begin(), path.end());
  for (char c : std::string_view(".tmpXXXXXX")) name.push_back(c);
  name.push_back('\0');
  const int fd = ::mkstemp(name.data());
  if (fd < 0) return std::nullopt;
  // mkstemp makes the file private to its owner; a script is an ordinary file.
  ::fchmod(fd, 0644);
  AtomicFile file;
  file.path_ = path;
  file.temp_path_ = name.data();
  file.fd_ = fd;
  file.buffer_.reserve(kBufferSize);
  return file;
}

bool AtomicFile::Write(const char* data, size_t size) {
  if (!WriteAll(fd_, data, size)) {
    failed_ = true;
    return false;
  }
  written_ += size;
#ifdef __linux__
  if (written_ - writeback_from_ >= kWritebackStep) {
    // Only a hint: the data reach the disk by Commit's fsync in any case.
    ::sync_file_range(fd_, static_cast<off_t>(writeback_from_),
                      static_cast<off_t>(written_ - writeback_from_), SYNC_FILE_RANGE_WRITE);
    writeback_from_ = written_;
  }
#endif
  return true;
}

bool AtomicFile::Flush() {
  if (failed_ || fd_ < 0) return false;
  if (!buffer_.empty()) Write(buffer_.data(), buffer_.size());
  buffer_.clear();
  return !failed_;
}

bool AtomicFile::Append(std::string_view bytes) {
  if (failed_ || fd_ < 0) return false;
  size_ += bytes.size();
  if (buffer_.size() + bytes.size() > kBufferSize) {
    if (!Flush()) return false;
    if (bytes.size() >= kBufferSize) return Write(bytes.data(), bytes.size());
  }
  buffer_.append(bytes);
  return true;
}

bool AtomicFile::Commit() {
  if (fd_ < 0) return false;
  bool ok = Flush() && ::fsync(fd_) == 0;
  ok = ::close(fd_) == 0 && ok;
  fd_ = -1;
  if (ok) ok = std::rename(temp_path_.c_str(), path_.c_str()) == 0;
  if (!ok) ::unlink(temp_path_.c_str());
  temp_path_.clear();
  return ok;
}

void AtomicFile::Abandon() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!temp_path_.empty()) ::unlink(temp_path_.c_str());
  temp_path_.clear();
  buffer_.clear();
}

FileCommitter::~FileCommitter() {
  {
    std::lock_guard lock(mutex_);
    closing_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

size_t FileCommitter::Commit(AtomicFile file) {
  size_t ticket;
  {
    std::lock_guard lock(mutex_);
    ticket = results_.size();
    results_.push_back(0);
    waiting_.push_back(std::move(file));
    if (!thread_.joinable()) thread_ = std::thread([this] { Work(); });
  }
  changed_.notify_all();
  return ticket;
}

bool FileCommitter::Wait(size_t ticket) {
  std::unique_lock lock(mutex_);
  if (ticket >= results_.size()) return false;
  changed_.wait(lock, [&] { return results_[ticket] != 0; });
  return results_[ticket] == 1;
}

void FileCommitter::Work() {
  size_t next = 0;
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [&] { return closing_ || !waiting_.empty(); });
    if (waiting_.empty()) return;  // closing, nothing left
    AtomicFile file = std::move(waiting_.front());
    waiting_.pop_front();
    lock.unlock();
    const bool ok = file.Commit();
    lock.lock();
    results_[next++] = ok ? 1 : 2;
    changed_.notify_all();
  }
}

std::optional<ScriptFile> ScriptFile::Create(const std::string& path) {
  std::optional<AtomicFile> file = AtomicFile::Create(path);
  if (!file) return std::nullopt;
  ScriptFile script(std::move(*file));
  script.file_.Append("\xFF\xFE");
  return script;
}

bool ScriptFile::Append(std::string_view utf8) {
  wide_.clear();
  AppendUtf8AsUtf16Le(wide_, utf8);
  return file_.Append(wide_);
}

bool WriteScriptFile(const std::string& path, std::string_view utf8_text) {
  std::optional<ScriptFile> file = ScriptFile::Create(path);
  return file && file->Append(utf8_text) && file->Commit();
}

bool WriteCodePageFile(const std::string& path, std::string_view utf8_text, int code_page) {
  std::optional<AtomicFile> file = AtomicFile::Create(path);
  return file && file->Append(EncodeCodePage(utf8_text, code_page)) && file->Commit();
}

bool EnsureFolder(const std::string& path) {
  std::error_code error;
  std::filesystem::create_directories(path, error);
  return std::filesystem::is_directory(path, error);
}

std::string SafePathComponent(std::string_view name) {
  std::string safe;
  safe.reserve(name.size());
  for (size_t i = 0; i < name.size(); ++i) {
    const char c = name[i];
    const unsigned char u = static_cast<unsigned char>(c);
    if (c == '.' && i + 1 < name.size() && name[i + 1] == '.') {
      safe.append("__");
      ++i;
      continue;
    }
    const bool replaced = u < 32 || u == 127 || c == '/' || c == '\\' || c == ':' || c == '*' ||
                          c == '?' || c == '"' || c == '<' || c == '>' || c == '|' || c == '%';
    safe.push_back(replaced ? '_' : c);
  }
  if (safe.empty() || safe == ".") safe = "_";
  return safe;
}

bool NeedsSubstitute(std::string_view name) {
  const std::string wide = Utf8ToUtf16Le(name);
  for (size_t i = 1; i < wide.size(); i += 2)
    if (wide[i] != 0) return true;
  return false;
}

std::string ScriptNames::DatabaseFolder(std::string_view database_name) {
  return SafePathComponent(database_name);
}

std::string ScriptNames::Substitute(std::string_view prefix) {
  std::string name(prefix);
  return name.append(std::to_string(++counter_));
}

std::string ScriptNames::DatabaseScriptName(std::string_view database_name) {
  if (NeedsSubstitute(database_name)) return Substitute("UnicodeDatabase_");
  std::string name = SafePathComponent(database_name);
  if (Folded(name) == "userdefinedatatype") name.append("_2");
  return name;
}

std::string ScriptNames::TableName(std::string_view table_name) {
  const std::string base =
      NeedsSubstitute(table_name) ? Substitute("Unicodetable_") : SafePathComponent(table_name);
  auto taken = [&](const std::string& folded) {
    return folded == "maintablescript" || table_names_.count(folded) != 0;
  };
  std::string name = base;
  for (int n = 2; taken(Folded(name)); ++n) name = base + "_" + std::to_string(n);
  table_names_.insert(Folded(name));
  return name;
}

}  // namespace tarnwick
