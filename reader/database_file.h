// The open data file set: the primary data file (.mdf) and any secondary data
// files (.ndf), with page maps from owning object id to page references.
//
// Geometry: a file of size S holds (S - S mod 8192) / 8192 pages. Its pages
// start either at 0 or at the remainder S mod 8192 (the base offset); the
// alignment check tells which by looking for pages whose header page id
// (offset 32) equals their position.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "reader/byte_reader.h"
#include "reader/page_header.h"
#include "reader/page_ref.h"
#include "reader/progress_sink.h"
#include "reader/run_state.h"

namespace tarnwick {

using PageMap = std::map<int32_t, std::vector<PageRef>>;

inline constexpr const char* kFileCannotBeOpen = "File cannot be open...........";
inline constexpr const char* kNotValidMdf =
    "Wheteher File is not valid mdf file or file is highly corrupted...........";

// One secondary data file; the same record serves as a row of the catalog's
// file list.
struct SecondaryFile {
  int32_t status = 0;
  uint16_t file_id = 0;
  std::string logical_name;
  std::string physical_path;
  uint64_t size = 0;
  uint64_t page_count = 0;
  uint32_t base_offset = 0;
  std::shared_ptr<const ReadFile> file;  // open while the set lives
};

// Where the alignment check found a page in its place.
enum class Alignment { kAtRemainder, kAtZero, kNotFound };

class CDatabaseFile {
 public:
  CDatabaseFile(RunState& state, ProgressSink& sink);
  ~CDatabaseFile();
  CDatabaseFile(const CDatabaseFile&) = delete;
  CDatabaseFile& operator=(const CDatabaseFile&) = delete;

  // Opens the primary file, checks alignment and maps every page. A doubled
  // path separator counts as one. Failures are reported through the sink's
  // ReportOpenError and leave opened() false.
  bool Open(const std::string& path);
  bool opened() const { return opened_; }

  const std::string& path() const { return path_; }
  uint64_t size() const { return size_; }
  uint64_t pageCount() const { return page_count_; }
  uint64_t baseOffset() const { return base_offset_; }
  const PageMap& systemPages() const { return system_pages_; }
  const PageMap& dataPages() const { return data_pages_; }
  const PageMap& iamPages() const { return iam_pages_; }
  const std::map<uint16_t, SecondaryFile>& secondaryFiles() const { return secondary_; }
  RunState& state() const { return state_; }
  ProgressSink& sink() const { return sink_; }

  // The 8192 page bytes followed by one zero byte, or nothing when the page
  // is outside its file, is page 0, has a number of 2^31 or more, or names an
  // unknown file. The page whose number equals the page count reads as zeros.
  // Safe to call from several threads.
  std::optional<ByteBuffer> ReadPage(PageRef ref) const;

  // The decoded header of a page, or nothing when ReadPage refuses it.
  std::optional<CPage_Header> ReadPageHeader(PageRef ref) const;

  // The 8192 bytes of a page for a page object. allow_page_zero: the catalog
  // scan may read page 0; every other caller may not.
  std::optional<ByteBuffer> LoadPageBytes(PageRef ref, bool allow_page_zero) const;

  // Finds the boot page (page 9, corrected by the shift seen on a mapped
  // system page) and lets it write the version and collation into the run
  // state. Returns false when the boot page lies outside the file.
  bool ReadBootPage();

  // Secondary files, route A: the catalog's file list. Rows with a file id
  // above 1 are looked for in the primary file's folder by their file name
  // with the extension ".ndf"; the ones that open are mapped.
  void AddSecondaryFilesFromList(std::vector<SecondaryFile> rows);
  // Route B, the file list is empty: every "*.ndf" of the primary file's
  // folder is checked, mapped and registered under the file id its data
  // pages carry. Returns the registered rows (the new file list).
  std::vector<SecondaryFile> FindSecondaryFilesInFolder();

  // The folder of the primary file, with the trailing separator.
  std::string Folder() const;

 private:
  struct Geometry {
    uint64_t size = 0;
    uint64_t page_count = 0;
    uint64_t remainder = 0;
  };
  static Geometry GeometryOf(uint64_t size);
  Alignment CheckPageAlignment(const ReadFile& file, const Geometry& g);
  // Maps the pages of one file. override_file_id: written into every
  // reference instead of the header's file id when non-zero.
  bool MapPages(const ReadFile& file, uint64_t base, uint64_t page_count, bool primary,
                uint16_t override_file_id, uint16_t* first_data_file_id);
  std::optional<ByteBuffer> ReadFrom(const ReadFile& file, uint64_t base, uint64_t page_count,
                                     uint64_t size, uint32_t page, size_t extra) const;

  RunState& state_;
  ProgressSink& sink_;
  std::string path_;
  std::optional<ReadFile> file_;
  uint64_t size_ = 0;
  uint64_t page_count_ = 0;
  uint64_t base_offset_ = 0;
  bool opened_ = false;
  PageMap system_pages_;
  PageMap data_pages_;
  PageMap iam_pages_;
  std::map<uint16_t, SecondaryFile> secondary_;
};

// "a\\\\b" -> "a\\b": the scan driver logs paths with doubled backslashes and
// opens them with the doubling undone.
std::string CollapseDoubledSeparators(const std::string& path);

}  // namespace tarnwick
