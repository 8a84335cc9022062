#include "tests/support/log_file_builder.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "platform/text_codec.h"
#include "tests/support/data_file_builder.h"

namespace tarnwick::testing {

namespace {

constexpr size_t kFirstRecordOffset = 48;
constexpr size_t kWindow = 192;
constexpr uint16_t kBeginFixedLength = 76;

size_t AlignUp(size_t value, size_t unit) { return (value + unit - 1) / unit * unit; }

ByteBuffer Utf16(std::string_view utf8) {
  std::string bytes = Utf8ToUtf16Le(utf8);
  return ByteBuffer(bytes.begin(), bytes.end());
}

void Put(ByteBuffer& out, size_t offset, const ByteBuffer& bytes) {
  if (out.size() < offset + bytes.size()) out.resize(offset + bytes.size());
  std::copy(bytes.begin(), bytes.end(), out.begin() + static_cast<std::ptrdiff_t>(offset));
}

}  // namespace

// ---------------------------------------------------------------- records

LogRecordBuilder::LogRecordBuilder(uint8_t operation, uint8_t context)
    : fixed_(64, 0), operation_(operation) {
  PutUnsigned(fixed_, 2, 64, 2);
  PutUnsigned(fixed_, 22, operation, 1);
  PutUnsigned(fixed_, 23, context, 1);
}

LogRecordBuilder LogRecordBuilder::Begin(uint64_t transaction_id, std::string_view name_utf8,
                                         uint32_t ticks, uint32_t days) {
  LogRecordBuilder r(128, 0);
  r.Transaction(transaction_id).Time(ticks, days).FixedLength(kBeginFixedLength);
  ByteBuffer account(28, 0x15);
  r.VariableFields({Utf16(name_utf8), account});
  return r;
}

LogRecordBuilder LogRecordBuilder::BeginWithoutFields(uint64_t transaction_id) {
  LogRecordBuilder r(128, 0);
  r.Transaction(transaction_id).FixedLength(kBeginFixedLength).VariableFields({});
  return r;
}

LogRecordBuilder LogRecordBuilder::Commit(uint64_t transaction_id) {
  LogRecordBuilder r(129, 0);
  r.Transaction(transaction_id);
  return r;
}

LogRecordBuilder LogRecordBuilder::Insert(uint64_t rowset_id, uint64_t transaction_id,
                                          ByteBuffer row) {
  LogRecordBuilder r(2, 2);
  r.Rowset(rowset_id).Transaction(transaction_id).Fields({std::move(row)});
  return r;
}

LogRecordBuilder LogRecordBuilder::Delete(uint64_t rowset_id, uint64_t transaction_id,
                                          ByteBuffer row) {
  LogRecordBuilder r(3, 19);
  r.Rowset(rowset_id).Transaction(transaction_id).Fields({std::move(row)});
  return r;
}

LogRecordBuilder LogRecordBuilder::ModifyRow(uint64_t rowset_id, uint64_t transaction_id,
                                             uint16_t row_offset, ByteBuffer after,
                                             ByteBuffer before) {
  LogRecordBuilder r(4, 2);
  r.Rowset(rowset_id).Transaction(transaction_id).Fields({std::move(after), std::move(before)});
  PutUnsigned(r.fixed_, 56, row_offset, 2);
  return r;
}

LogRecordBuilder LogRecordBuilder::ModifyColumns(uint64_t rowset_id, uint64_t transaction_id,
                                                 std::vector<ByteBuffer> fields) {
  LogRecordBuilder r(6, 2);
  r.Rowset(rowset_id).Transaction(transaction_id).Fields(std::move(fields));
  return r;
}

LogRecordBuilder& LogRecordBuilder::Context(uint8_t context) {
  PutUnsigned(fixed_, 23, context, 1);
  return *this;
}
LogRecordBuilder& LogRecordBuilder::Rowset(uint64_t rowset_id) {
  PutUnsigned(fixed_, 48, rowset_id, 8);
  return *this;
}
LogRecordBuilder& LogRecordBuilder::Transaction(uint64_t transaction_id) {
  PutUnsigned(fixed_, 16, transaction_id, 6);
  return *this;
}
LogRecordBuilder& LogRecordBuilder::Page(uint16_t file_id, uint32_t page, uint16_t slot) {
  PutUnsigned(fixed_, 24, page, 4);
  PutUnsigned(fixed_, 28, file_id, 2);
  PutUnsigned(fixed_, 30, slot, 2);
  return *this;
}
LogRecordBuilder& LogRecordBuilder::Time(uint32_t ticks, uint32_t days) {
  PutUnsigned(fixed_, 40, ticks, 4);
  PutUnsigned(fixed_, 44, days, 4);
  return *this;
}
LogRecordBuilder& LogRecordBuilder::Fields(std::vector<ByteBuffer> fields) {
  fields_ = std::move(fields);
  return *this;
}
LogRecordBuilder& LogRecordBuilder::VariableFields(std::vector<ByteBuffer> fields) {
  variable_ = std::move(fields);
  return *this;
}
LogRecordBuilder& LogRecordBuilder::FixedLength(uint16_t length) {
  PutUnsigned(fixed_, 2, length, 2);
  return *this;
}
LogRecordBuilder& LogRecordBuilder::PadTo(size_t size) {
  pad_to_ = size;
  return *this;
}
LogRecordBuilder& LogRecordBuilder::Set8(size_t offset, uint8_t value) {
  patches_.emplace_back(offset, ByteBuffer{value});
  return *this;
}
LogRecordBuilder& LogRecordBuilder::Set16(size_t offset, uint16_t value) {
  ByteBuffer b;
  PutUnsigned(b, 0, value, 2);
  patches_.emplace_back(offset, b);
  return *this;
}
LogRecordBuilder& LogRecordBuilder::Set32(size_t offset, uint32_t value) {
  ByteBuffer b;
  PutUnsigned(b, 0, value, 4);
  patches_.emplace_back(offset, b);
  return *this;
}
LogRecordBuilder& LogRecordBuilder::Set64(size_t offset, uint64_t value) {
  ByteBuffer b;
  PutUnsigned(b, 0, value, 8);
  patches_.emplace_back(offset, b);
  return *this;
}

ByteBuffer LogRecordBuilder::Build() const {
  ByteBuffer out = fixed_;
  if (variable_) {
    const size_t f = ByteReader(fixed_).U16(2);
    const size_t n = variable_->size();
    PutUnsigned(out, f, n, 2);
    size_t data = f + 4 + 2 * n;
    for (size_t k = 0; k < n; ++k) {
      PutUnsigned(out, f + 2 + 2 * k, (*variable_)[k].size(), 2);
      Put(out, data, (*variable_)[k]);
      data += (*variable_)[k].size();
    }
    PutUnsigned(out, f + 2 + 2 * n, 0, 2);
  }
  if (fields_) {
    const size_t n = fields_->size();
    PutUnsigned(out, 62, n, 2);
    size_t data = 64 + 2 * n + (operation_ == 2 ? 2 : 0);
    if (out.size() < data) out.resize(data);
    for (size_t k = 0; k < n; ++k) {
      const ByteBuffer& field = (*fields_)[k];
      PutUnsigned(out, 64 + 2 * k, field.size(), 2);
      Put(out, data, field);
      data += field.size();
      // A modify-row record starts its field 1 on a 4-byte boundary counted
      // from field 0.
      if (k == 0 && operation_ == 4 && field.size() % 4 != 0) data += 4 - field.size() % 4;
      if (out.size() < data) out.resize(data);
    }
  }
  out.resize(std::max(AlignUp(out.size(), 4), pad_to_));
  for (const auto& [offset, bytes] : patches_) Put(out, offset, bytes);
  return out;
}

// ----------------------------------------------------------------- blocks

LogBlockBuilder::LogBlockBuilder(uint32_t sequence) : sequence_(sequence) {}

LogBlockBuilder& LogBlockBuilder::Add(const LogRecordBuilder& record) {
  return Add(record.Build());
}

LogBlockBuilder& LogBlockBuilder::Add(ByteBuffer record) {
  size_t offset = kFirstRecordOffset;
  if (!records_.empty()) offset = AlignUp(records_.back().first + records_.back().second.size(), 4);
  return AddAt(static_cast<uint16_t>(offset), std::move(record));
}

LogBlockBuilder& LogBlockBuilder::AddAt(uint16_t offset, const LogRecordBuilder& record) {
  return AddAt(offset, record.Build());
}

LogBlockBuilder& LogBlockBuilder::AddAt(uint16_t offset, ByteBuffer record) {
  if (!records_.empty() && offset < records_.back().first + records_.back().second.size())
    throw std::invalid_argument("log record overlaps the one before it");
  records_.emplace_back(offset, std::move(record));
  return *this;
}

LogBlockBuilder& LogBlockBuilder::Sequence(uint32_t sequence) {
  sequence_ = sequence;
  return *this;
}
LogBlockBuilder& LogBlockBuilder::Granularity(uint16_t granularity) {
  granularity_ = granularity;
  return *this;
}
LogBlockBuilder& LogBlockBuilder::Size(uint16_t size) {
  size_ = size;
  return *this;
}
LogBlockBuilder& LogBlockBuilder::SizeField(uint16_t size) {
  size_field_ = size;
  return *this;
}
LogBlockBuilder& LogBlockBuilder::CountField(uint16_t count) {
  count_field_ = count;
  return *this;
}
LogBlockBuilder& LogBlockBuilder::ArrayEndField(uint16_t array_end) {
  array_end_field_ = array_end;
  return *this;
}
LogBlockBuilder& LogBlockBuilder::OffsetEntry(size_t j, uint16_t offset) {
  offset_entries_.emplace_back(j, offset);
  return *this;
}
LogBlockBuilder& LogBlockBuilder::ParityMark(uint8_t mark) {
  parity_mark_ = mark;
  return *this;
}

namespace {

// Where the offset array ends when it follows the last record.
size_t ArrayEndOf(const std::vector<std::pair<uint16_t, ByteBuffer>>& records) {
  size_t start = kFirstRecordOffset;
  if (!records.empty()) start = AlignUp(records.back().first + records.back().second.size(), 2);
  return start + 2 * records.size();
}

}  // namespace

uint16_t LogBlockBuilder::LayoutSize() const {
  const size_t array_end = ArrayEndOf(records_);
  const size_t window_end = records_.empty() ? 0 : records_.back().first + kWindow;
  for (size_t size = granularity_; size <= 65535; size += granularity_) {
    const size_t sectors = size / 512;
    if (array_end <= size - sectors && window_end <= size) return static_cast<uint16_t>(size);
  }
  throw std::invalid_argument("log block content does not fit in 64 KiB");
}

uint16_t LogBlockBuilder::size() const { return size_ ? *size_ : LayoutSize(); }

ByteBuffer LogBlockBuilder::Plain() const {
  const size_t size = this->size();
  const size_t array_end = ArrayEndOf(records_);
  if (array_end + size / 512 > size)
    throw std::invalid_argument("log block records and array reach its parity bytes");
  ByteBuffer out(size, 0);
  for (const auto& [offset, record] : records_) Put(out, offset, record);
  for (size_t j = 0; j < records_.size(); ++j)
    PutUnsigned(out, array_end - 2 - 2 * j, records_[j].first, 2);
  for (const auto& [j, offset] : offset_entries_)
    PutUnsigned(out, array_end - 2 - 2 * j, offset, 2);
  out[0] = 0x05;  // the true first byte of the header
  PutUnsigned(out, 2, count_field_.value_or(static_cast<uint16_t>(records_.size())), 2);
  PutUnsigned(out, 4, array_end_field_.value_or(static_cast<uint16_t>(array_end)), 2);
  PutUnsigned(out, 6, size_field_.value_or(static_cast<uint16_t>(size)), 2);
  PutUnsigned(out, 12, sequence_, 4);
  out.resize(size);
  return out;
}

ByteBuffer LogBlockBuilder::Build() const {
  ByteBuffer plain = Plain();
  ByteBuffer out = plain;
  const size_t size = out.size();
  for (size_t i = 0; i < size / 512; ++i) {
    out[size - 1 - i] = plain[512 * i];
    out[512 * i] = parity_mark_;
  }
  return out;
}

// ------------------------------------------------------------------- VLFs

VlfBuilder::VlfBuilder(uint32_t sequence, std::optional<uint64_t> position)
    : sequence_(sequence), position_(position) {}

VlfBuilder& VlfBuilder::Signature(uint8_t byte1) {
  signature_ = byte1;
  return *this;
}
VlfBuilder& VlfBuilder::PositionField(uint64_t position) {
  position_field_ = position;
  return *this;
}
VlfBuilder& VlfBuilder::Size(uint64_t size) {
  size_ = size;
  return *this;
}
LogBlockBuilder& VlfBuilder::Block() { return Block(sequence_); }
LogBlockBuilder& VlfBuilder::Block(uint32_t sequence) { return blocks_.emplace_back(sequence); }

uint64_t VlfBuilder::SizeNeeded() const {
  if (size_) return *size_;
  uint64_t bytes = 8192;
  for (const LogBlockBuilder& b : blocks_) bytes += b.size();
  return std::max<uint64_t>(65536, AlignUp(bytes, 8192));
}

VlfBuilder& LogFileBuilder::Vlf(uint32_t sequence) {
  return vlfs_.emplace_back(sequence, std::nullopt);
}

VlfBuilder& LogFileBuilder::VlfAt(uint64_t position, uint32_t sequence) {
  return vlfs_.emplace_back(sequence, position);
}

LogFileBuilder& LogFileBuilder::FileSize(uint64_t size) {
  file_size_ = size;
  return *this;
}
LogFileBuilder& LogFileBuilder::SetBytes(uint64_t position, ByteBuffer bytes) {
  patches_.emplace_back(position, std::move(bytes));
  return *this;
}

uint64_t LogFileBuilder::VlfPosition(size_t v) const {
  uint64_t next = 8192;
  for (size_t i = 0; i < vlfs_.size(); ++i) {
    uint64_t position = vlfs_[i].position_.value_or(next);
    if (i == v) return position;
    next = position + vlfs_[i].SizeNeeded();
  }
  throw std::out_of_range("no such VLF");
}

uint64_t LogFileBuilder::BlockPosition(size_t v, size_t b) const {
  const VlfBuilder& vlf = vlfs_.at(v);
  uint64_t position = vlf.position_field_.value_or(VlfPosition(v)) + 8192;
  for (size_t i = 0; i < b; ++i) position += vlf.blocks_.at(i).size();
  return position;
}

ByteBuffer LogFileBuilder::Build() const {
  ByteBuffer out;
  for (size_t v = 0; v < vlfs_.size(); ++v) {
    const VlfBuilder& vlf = vlfs_[v];
    const uint64_t position = VlfPosition(v);
    ByteBuffer header(48, 0);
    header[0] = 0xAB;
    header[1] = vlf.signature_;
    header[2] = 0x05;
    PutUnsigned(header, 4, vlf.sequence_, 4);
    PutUnsigned(header, 16, vlf.SizeNeeded(), 8);
    PutUnsigned(header, 24, vlf.position_field_.value_or(position), 8);
    Put(out, position, header);
    if (out.size() < position + vlf.SizeNeeded()) out.resize(position + vlf.SizeNeeded());
    for (size_t b = 0; b < vlf.blocks_.size(); ++b)
      Put(out, BlockPosition(v, b), vlf.blocks_[b].Build());
  }
  for (const auto& [position, bytes] : patches_) Put(out, position, bytes);
  if (file_size_) out.resize(*file_size_);
  return out;
}

std::string LogFileBuilder::WriteTo(const std::string& path) const {
  WriteFileBytes(path, Build());
  return path;
}

// ------------------------------------------------------- streaming writer

LogFileWriter::LogFileWriter(const std::string& path) : path_(path) {
  fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd_ < 0) throw std::runtime_error("cannot write " + path);
}

LogFileWriter::~LogFileWriter() {
  if (fd_ >= 0) ::close(fd_);
}

void LogFileWriter::BeginVlf(uint32_t sequence, uint64_t size, uint8_t signature) {
  if (size < 2 * 8192 || size % 8192 != 0) throw std::invalid_argument("VLF size");
  vlf_.assign(size, 0);
  fill_ = 8192;
  sequence_ = sequence;
  signature_ = signature;
}

void LogFileWriter::AddBlock(const ByteBuffer& block) {
  if (block.size() > room()) throw std::length_error("log block does not fit in the VLF");
  std::memcpy(vlf_.data() + fill_, block.data(), block.size());
  fill_ += block.size();
}

void LogFileWriter::EndVlf(uint64_t position) {
  vlf_[0] = 0xAB;
  vlf_[1] = signature_;
  vlf_[2] = 0x05;
  PutUnsigned(vlf_, 4, sequence_, 4);
  PutUnsigned(vlf_, 16, vlf_.size(), 8);
  PutUnsigned(vlf_, 24, position, 8);
  size_t done = 0;
  while (done < vlf_.size()) {
    ssize_t n =
        ::pwrite(fd_, vlf_.data() + done, vlf_.size() - done, static_cast<off_t>(position + done));
    if (n <= 0) throw std::runtime_error("cannot write " + path_);
    done += static_cast<size_t>(n);
  }
  end_ = std::max<uint64_t>(end_, position + vlf_.size());
  vlf_.clear();
  vlf_.shrink_to_fit();
  fill_ = 0;
}

void LogFileWriter::Close(uint64_t size) {
  if (fd_ < 0) return;
  if (size > end_ && ::ftruncate(fd_, static_cast<off_t>(size)) != 0)
    throw std::runtime_error("cannot extend " + path_);
  ::close(fd_);
  fd_ = -1;
}

ByteBuffer RowImage(size_t size, uint8_t fill) {
  ByteBuffer row(std::max<size_t>(size, 4), fill);
  row[0] = 0x10;
  row[1] = 0x00;
  PutUnsigned(row, 2, static_cast<uint16_t>(row.size()), 2);
  row.resize(size);
  return row;
}

}  // namespace tarnwick::testing
