#include "reader/database_file.h"

#include <algorithm>
#include <cmath>

#include "reader/boot_page.h"

namespace tarnwick {
namespace {

// Header fields read while mapping (see page_header.h).
constexpr size_t kTypeOffset = 1;
constexpr size_t kObjectIdOffset = 24;
constexpr size_t kPageIdOffset = 32;
constexpr size_t kFileIdOffset = 36;

// Passes over a whole file read this many pages at a time.
constexpr uint64_t kChunkPages = 512;

// Object ids of the system tables whose pages are mapped in the primary file
// and in secondary files.
constexpr int32_t kPrimarySystemIds[] = {1,  2,  3,  4,  5,  6,  7,  8,  13, 14, 20,
                                         21, 34, 41, 50, 53, 54, 55, 60, 74, 99, 2187};
constexpr int32_t kSecondarySystemIds[] = {3, 4, 5, 7, 8, 13, 34, 41, 50, 54, 55, 60, 74};

template <size_t N>
bool Contains(const int32_t (&ids)[N], int32_t id) {
  return std::find(std::begin(ids), std::end(ids), id) != std::end(ids);
}

uint64_t ProgressStep(uint64_t page_count) {
  uint64_t step = static_cast<uint64_t>(std::ceil(static_cast<double>(page_count) / 100.0));
  return step == 0 ? 1 : step;
}

// Sequential reader of page-sized pieces starting at a byte position; reads
// past the end of the file give zero bytes.
class PageStream {
 public:
  PageStream(const ReadFile& file, uint64_t start) : file_(file), next_(start) {
    buffer_.resize(kChunkPages * kPageSize);
  }
  ByteReader Next() {
    if (index_ == filled_) Refill();
    ByteReader page(buffer_.data() + index_ * kPageSize, kPageSize);
    ++index_;
    return page;
  }

 private:
  void Refill() {
    // Only the part past the end of the file needs zeros.
    size_t got = file_.ReadAt(next_, buffer_);
    std::fill(buffer_.begin() + static_cast<std::ptrdiff_t>(got), buffer_.end(), 0);
    next_ += buffer_.size();
    index_ = 0;
    filled_ = kChunkPages;
  }
  const ReadFile& file_;
  uint64_t next_;
  ByteBuffer buffer_;
  uint64_t index_ = 0;
  uint64_t filled_ = 0;
};

}  // namespace

std::string CollapseDoubledSeparators(const std::string& path) {
  std::string out;
  out.reserve(path.size());
  for (size_t i = 0; i < path.size(); ++i) {
    out.push_back(path[i]);
    if ((path[i] == '\\' || path[i] == '/') && i + 1 < path.size() && path[i + 1] == path[i]) ++i;
  }
  return out;
}

CDatabaseFile::CDatabaseFile(RunState& state, ProgressSink& sink) : state_(state), sink_(sink) {}
CDatabaseFile::~CDatabaseFile() = default;

CDatabaseFile::Geometry CDatabaseFile::GeometryOf(uint64_t size) {
  Geometry g;
  g.size = size;
  g.remainder = size % kPageSize;
  g.page_count = (size - g.remainder) / kPageSize;
  return g;
}

bool CDatabaseFile::Open(const std::string& path) {
  path_ = CollapseDoubledSeparators(path);
  opened_ = false;
  file_ = ReadFile::Open(path_);
  if (!file_) {
    sink_.ReportOpenError(kFileCannotBeOpen);
  } else if (file_->size() < kPageSize) {
    sink_.ReportOpenError(kNotValidMdf);
  } else {
    Geometry g = GeometryOf(file_->size());
    size_ = g.size;
    page_count_ = g.page_count;
    file_->AdviseSequential();
    // Pages stay at the remainder unless only the pass at position 0 found a
    // page in its place.
    base_offset_ = CheckPageAlignment(*file_, g) == Alignment::kAtZero ? 0 : g.remainder;
    if (MapPages(*file_, base_offset_, page_count_, true, 0, nullptr)) {
      opened_ = true;
    } else {
      sink_.ReportOpenError(kNotValidMdf);
    }
  }
  if (state_.StopRequested()) state_.ClearStop();
  return opened_;
}

Alignment CDatabaseFile::CheckPageAlignment(const ReadFile& file, const Geometry& g) {
  const uint64_t start = g.page_count > 8 ? 8 : g.page_count / 4;
  sink_.SetStatusText("Checking for file corruption ...........");
  sink_.SetProgressRange(g.page_count);
  sink_.SetProgressPos(0);
  const uint64_t step = ProgressStep(g.page_count);

  auto pass = [&](uint64_t base) {
    PageStream stream(file, start * kPageSize + base);
    for (uint64_t i = start; i <= g.page_count && !state_.StopRequested(); ++i) {
      ByteReader page = stream.Next();
      if (static_cast<int64_t>(page.I32(kPageIdOffset)) == static_cast<int64_t>(i)) return true;
      if (i % step == 0) sink_.SetProgressPos(i);
    }
    return false;
  };

  Alignment result = Alignment::kNotFound;
  if (pass(g.remainder)) {
    result = Alignment::kAtRemainder;
  } else if (g.remainder != 0 && pass(0)) {
    result = Alignment::kAtZero;
  }
  sink_.SetProgressPos(g.page_count);
  sink_.SetStatusText("Checking for file corruption is done...........");
  return result;
}

bool CDatabaseFile::MapPages(const ReadFile& file, uint64_t base, uint64_t page_count,
                             bool primary, uint16_t override_file_id,
                             uint16_t* first_data_file_id) {
  if (primary) {
    sink_.SetProgressRange(page_count);
    sink_.SetProgressPos(0);
    sink_.SetStatusText("Mapping Database Objects...........");
  }
  const uint64_t step = ProgressStep(page_count);
  uint64_t found = 0;
  PageStream stream(file, base);
  // Page numbers are 32-bit; a larger file is mapped up to that limit.
  const uint64_t last = std::min<uint64_t>(page_count, UINT32_MAX - 1);
  for (uint64_t i = 0; i <= last && !state_.StopRequested();) {
    ByteReader page = stream.Next();
    const int32_t object_id = page.I32(kObjectIdOffset);
    const uint32_t type = page.U8(kTypeOffset);
    uint16_t file_id = page.U16(kFileIdOffset);
    if (override_file_id != 0) file_id = override_file_id;
    const PageRef ref{file_id, static_cast<uint32_t>(i), type};
    const bool system =
        primary ? Contains(kPrimarySystemIds, object_id) : Contains(kSecondarySystemIds, object_id);
    if (system) {
      system_pages_[object_id].push_back(ref);
      ++found;
    }
    if (object_id > 0 && type == kDataPageType) {
      data_pages_[object_id].push_back(ref);
      if (first_data_file_id && *first_data_file_id <= 1 && page.U16(kFileIdOffset) > 1)
        *first_data_file_id = page.U16(kFileIdOffset);
    }
    if (primary && object_id > 0 && type == kIamPageType) iam_pages_[object_id].push_back(ref);
    ++i;
    if (i % step == 0) sink_.SetProgressPos(i);
  }
  sink_.SetProgressPos(page_count);
  if (primary) sink_.SetStatusText("Mapping of Database Objects has been done ......................");
  return found > 0;
}

std::optional<ByteBuffer> CDatabaseFile::ReadFrom(const ReadFile& file, uint64_t base,
                                                  uint64_t page_count, uint64_t size,
                                                  uint32_t page, size_t extra) const {
  if (page >= 0x80000000u || page > page_count) return std::nullopt;
  const uint64_t offset = static_cast<uint64_t>(page) * kPageSize + base;
  if (offset > size) return std::nullopt;
  ByteBuffer bytes(kPageSize + extra, 0);
  file.ReadAt(offset, std::span<uint8_t>(bytes.data(), kPageSize));
  return bytes;
}

std::optional<ByteBuffer> CDatabaseFile::LoadPageBytes(PageRef ref, bool allow_page_zero) const {
  if (ref.page == 0 && !allow_page_zero) return std::nullopt;
  if (ref.file_id == 1) {
    if (!file_) return std::nullopt;
    return ReadFrom(*file_, base_offset_, page_count_, size_, ref.page, 0);
  }
  if (ref.file_id > 1) {
    auto it = secondary_.find(ref.file_id);
    if (it == secondary_.end() || it->second.physical_path.empty() || !it->second.file)
      return std::nullopt;
    const SecondaryFile& s = it->second;
    return ReadFrom(*s.file, s.base_offset, s.page_count, s.size, ref.page, 0);
  }
  return std::nullopt;
}

std::optional<ByteBuffer> CDatabaseFile::ReadPage(PageRef ref) const {
  auto bytes = LoadPageBytes(ref, false);
  if (bytes) bytes->push_back(0);
  return bytes;
}

std::optional<CPage_Header> CDatabaseFile::ReadPageHeader(PageRef ref) const {
  auto bytes = ReadPage(ref);
  if (!bytes) return std::nullopt;
  return CPage_Header(std::span<uint8_t>(bytes->data(), kPageSize));
}

bool CDatabaseFile::ReadBootPage() {
  if (!file_) return false;
  const std::vector<PageRef>* refs = nullptr;
  if (auto it = system_pages_.find(7); it != system_pages_.end() && !it->second.empty())
    refs = &it->second;
  else if (auto it41 = system_pages_.find(41); it41 != system_pages_.end() && !it41->second.empty())
    refs = &it41->second;
  int64_t shift = 0;
  if (refs) {
    if (auto header = ReadPageHeader(refs->front()))
      shift = static_cast<int64_t>(header->pageId) - static_cast<int64_t>(refs->front().page);
  }
  const int64_t p = static_cast<int64_t>(kBootPageNumber) - shift;
  if (p <= 0 || static_cast<uint64_t>(p) >= page_count_) return false;
  ByteBuffer bytes(kPageSize, 0);
  file_->ReadAt(static_cast<uint64_t>(p) * kPageSize + base_offset_, bytes);
  CBootPage(bytes).ApplyTo(state_);
  return true;
}

std::string CDatabaseFile::Folder() const { return FolderOf(path_); }

void CDatabaseFile::AddSecondaryFilesFromList(std::vector<SecondaryFile> rows) {
  const std::string folder = Folder();
  for (SecondaryFile& row : rows) {
    if (row.file_id <= 1) continue;
    // The stored path is the one of the server's machine (often a Windows
    // path); the file is looked for beside the primary file by its name.
    std::string name = FileNameOf(row.physical_path);
    size_t dot = name.find_last_of('.');
    row.physical_path =
        JoinPath(folder, dot == std::string::npos ? name : name.substr(0, dot) + ".ndf");
  }
  for (SecondaryFile& row : rows) {
    if (row.file_id <= 1) continue;
    auto file = ReadFile::Open(row.physical_path);
    if (!file) continue;
    Geometry g = GeometryOf(file->size());
    row.size = g.size;
    row.page_count = g.page_count;
    row.base_offset = static_cast<uint32_t>(g.remainder);
    row.file = std::make_shared<const ReadFile>(std::move(*file));
    sink_.SetProgressRange(row.page_count);
    sink_.SetProgressPos(0);
    MapPages(*row.file, row.base_offset, row.page_count, false, row.file_id, nullptr);
    secondary_[row.file_id] = row;
  }
}

std::vector<SecondaryFile> CDatabaseFile::FindSecondaryFilesInFolder() {
  std::vector<SecondaryFile> list;
  for (const std::string& match : FilesWithExtension(Folder(), ".ndf")) {
    auto file = ReadFile::Open(match);
    if (!file) continue;
    SecondaryFile row;
    row.physical_path = match;
    Geometry g = GeometryOf(file->size());
    row.size = g.size;
    row.page_count = g.page_count;
    row.base_offset = CheckPageAlignment(*file, g) == Alignment::kAtZero
                          ? 0
                          : static_cast<uint32_t>(g.remainder);
    row.file = std::make_shared<const ReadFile>(std::move(*file));
    sink_.SetProgressRange(row.page_count);
    sink_.SetProgressPos(0);
    // The pages are mapped before the file id is known; they are entered
    // under the ids their headers carry.
    uint16_t file_id = 0;
    MapPages(*row.file, row.base_offset, row.page_count, false, 0, &file_id);
    if (file_id <= 1) continue;
    row.file_id = file_id;
    secondary_[file_id] = row;
    list.push_back(row);
  }
  return list;
}

}  // namespace tarnwick
