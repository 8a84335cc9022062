// Files of the script set, and the names they take from the database.
//
// Every file is written completely or not at all: its bytes go to a
// temporary file beside it, which replaces the file only when it is
// committed, so that a crash or a Stop never leaves a half-written statement
// that sqlcmd would run. The script files are UTF-16LE with the byte order
// mark FF FE; the batch file is in the 8-bit code page. Nothing is
// translated on the way: the texts carry their CR LF line breaks themselves
// (a value with a bare LF inside a string literal keeps it).
//
// Database and table names become folder and file names only through
// SafePathComponent, so that no name reaches outside the script folder;
// the statements inside the files keep the real names.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace tarnwick {

// A file written under a temporary name ("<path>.tmp" + 6 random
// characters, in the same folder) and renamed over `path` on Commit. Not
// committed (destroyed, failed or Abandon): the temporary file is removed
// and `path` stays as it was. Move-only.
class AtomicFile {
 public:
  AtomicFile() = default;
  ~AtomicFile();
  AtomicFile(AtomicFile&& other) noexcept;
  AtomicFile& operator=(AtomicFile&& other) noexcept;
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  // Nothing when the temporary file cannot be created (no folder, no right).
  static std::optional<AtomicFile> Create(const std::string& path);

  // Buffered; false once a write has failed (Commit then fails too).
  bool Append(std::string_view bytes);
  // Writes the rest, flushes it to the disk and renames. False on any
  // failure, after which the temporary file is gone.
  bool Commit();
  void Abandon();

  bool is_open() const { return fd_ >= 0; }
  // Bytes appended so far.
  uint64_t size() const { return size_; }
  const std::string& path() const { return path_; }

 private:
  bool Flush();
  // Writes to the file, and starts the disk writes every few megabytes.
  bool Write(const char* data, size_t size);

  std::string path_;
  std::string temp_path_;
  int fd_ = -1;
  bool failed_ = false;
  uint64_t size_ = 0;
  // Bytes handed to the system, and where the range not yet handed to the
  // disk begins.
  uint64_t written_ = 0;
  uint64_t writeback_from_ = 0;
  std::string buffer_;
};

// A script file: FF FE, then the appended UTF-8 texts as UTF-16LE.
class ScriptFile {
 public:
  static std::optional<ScriptFile> Create(const std::string& path);

  bool Append(std::string_view utf8);
  bool Commit() { return file_.Commit(); }
  void Abandon() { file_.Abandon(); }
  // Bytes of the file so far, byte order mark included.
  uint64_t size() const { return file_.size(); }
  const std::string& path() const { return file_.path(); }
  // The file itself, to be committed elsewhere (FileCommitter).
  AtomicFile TakeFile() && { return std::move(file_); }

 private:
  explicit ScriptFile(AtomicFile file) : file_(std::move(file)) {}
  AtomicFile file_;
  // The last appended text as UTF-16LE; its storage is reused.
  std::string wide_;
};

// Commits files on a thread of its own, one after the other in the order
// they were handed over: the fsync of a finished script waits for the disk
// while the caller goes on writing the next one. The destructor commits
// every file still waiting.
class FileCommitter {
 public:
  FileCommitter() = default;
  ~FileCommitter();
  FileCommitter(const FileCommitter&) = delete;
  FileCommitter& operator=(const FileCommitter&) = delete;

  // Hands the file over; the ticket names its result.
  size_t Commit(AtomicFile file);
  // Waits until the file of the ticket is committed; true when it was
  // written, flushed to the disk and renamed (AtomicFile::Commit).
  bool Wait(size_t ticket);

 private:
  void Work();

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<AtomicFile> waiting_;
  // Per ticket: 0 while waiting, 1 committed, 2 failed.
  std::vector<uint8_t> results_;
  bool closing_ = false;
  std::thread thread_;
};

// A whole script file at once.
bool WriteScriptFile(const std::string& path, std::string_view utf8_text);
// A whole file in the 8-bit code page (the batch file); characters the code
// page lacks become "?".
bool WriteCodePageFile(const std::string& path, std::string_view utf8_text, int code_page);

// Creates the folder and its missing parents; true when it exists after.
bool EnsureFolder(const std::string& path);

// A name as one component of a path: "/", "\", NUL, the control characters
// 1 to 31 and 127, and the characters Windows refuses in names (":", "*",
// "?", "\"", "<", ">", "|") become "_", as does "%" (the batch file would
// expand it); every ".." becomes "__"; a name that is empty or only "." is
// "_".
std::string SafePathComponent(std::string_view name);

// True when the name holds a character above U+00FF (a UTF-16 unit whose
// high byte is not 0); such names get a substitute in paths.
bool NeedsSubstitute(std::string_view name);

// The folder and file names of one save. One counter serves the database and
// the tables; it starts at 0 and is incremented before use, so the first
// substitute ends in 1.
class ScriptNames {
 public:
  // The database folder: the database name made safe (it keeps its name
  // even when it needs a substitute).
  static std::string DatabaseFolder(std::string_view database_name);
  // The name of the database script (without ".sql"): "UnicodeDatabase_<n>"
  // or the safe name. "userdefinedatatype" (in any letter case) would
  // overwrite the user-type script beside it and becomes
  // "userdefinedatatype_2".
  std::string DatabaseScriptName(std::string_view database_name);
  // The name of a table's folder, script and blob folder: "Unicodetable_<n>"
  // or the safe name. A name given to an earlier table of this save (compared
  // without regard to letter case, as Windows does) gets "_2", "_3", ...:
  // two tables whose names differ only in replaced characters, case or
  // schema would otherwise write into one folder. So does "maintablescript",
  // whose script would overwrite the table's list file.
  std::string TableName(std::string_view table_name);

  int counter() const { return counter_; }

 private:
  std::string Substitute(std::string_view prefix);

  int counter_ = 0;
  // Folded (lower-case ASCII) table names given out.
  std::set<std::string> table_names_;
};

}  // namespace tarnwick
