// Blob files: during a script export, large binary values reached through an
// in-row root or row-overflow pointer are written to numbered files of the
// table's blob folder instead of being put into the script as hex text. The
// value's text then refers to the file, and the row insert statement loads
// it with OPENROWSET(BULK ...) relative to the script folder.
#pragma once

#include <optional>
#include <string>

#include "reader/byte_reader.h"

namespace tarnwick {

// Where the large-object reader hands values that go to files. Only a
// caller that asks for it (the export, through the reading options) gets
// values written; the reader never writes on its own.
class BlobSink {
 public:
  virtual ~BlobSink() = default;
  // Keeps one value and returns the text that stands for it in the row, or
  // nothing when it could not be kept (the value is then shown as usual).
  virtual std::optional<std::string> Store(Bytes value) = 0;
};

// The blob folder of one table: file n holds the raw bytes of the n-th value
// and is named "<n>_blob"; n counts from 1 and is incremented before each
// file (also when the file then cannot be created). The folder is created
// when the first file is written.
class BlobFolder : public BlobSink {
 public:
  explicit BlobFolder(std::string folder) : folder_(std::move(folder)) {}

  // Starts the numbering again (the export does this for every table).
  void Reset() { counter_ = 0; }
  // The number of the last file attempted (0 before the first).
  int counter() const { return counter_; }
  const std::string& folder() const { return folder_; }

  // "<n>_blob".
  static std::string FileName(int n);
  // The text that refers to file n: a backslash, the folder's last path
  // component, a backslash and the file name ("\Blob_T\3_blob"). The script
  // puts the script folder in front of it, so it uses the separator of the
  // system that runs the script.
  std::string Reference(int n) const;

  std::optional<std::string> Store(Bytes value) override;

 private:
  std::string folder_;
  int counter_ = 0;
};

}  // namespace tarnwick
