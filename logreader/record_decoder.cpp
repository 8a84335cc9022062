#include "logreader/record_decoder.h"

#include <algorithm>
#include <cstring>

namespace tarnwick {

LogRecordDecoder::LogRecordDecoder(const UserTableMap& tables, CurrentTransaction& current,
                                   OperationList& operations, TableNameMap& table_names)
    : tables_(tables), current_(current), operations_(operations), table_names_(table_names) {
  current_name_ = operations_.InternName(current_.name);
}

LogRecordDecoder::LogRecordDecoder(LogRecordDecoder& earlier, CurrentTransaction& current,
                                   OperationList& operations, TableNameMap& table_names)
    : tables_(earlier.tables_),
      current_(current),
      operations_(operations),
      table_names_(table_names),
      names_owner_(&earlier) {
  current_ = CurrentTransaction{};
  current_name_ = Intern("");
}

NameId LogRecordDecoder::Intern(std::string_view name) {
  LogRecordDecoder& owner = names_owner_ ? *names_owner_ : *this;
  std::lock_guard<std::mutex> lock(owner.names_mutex_);
  return owner.operations_.InternName(name);
}

size_t LogRecordDecoder::HashedBegins::Home(TransactionId key) const {
  // Transaction ids grow by small steps: their low bits, folded with the
  // higher ones, spread them over the table and keep the ids of one stretch
  // of the log in neighbouring slots.
  return static_cast<size_t>(key ^ (key >> 17) ^ (key >> 34)) & (slots_.size() - 1);
}

LogRecordDecoder::BeginsOf* LogRecordDecoder::HashedBegins::Find(TransactionId id) {
  if (slots_.empty()) return nullptr;
  const TransactionId key = id + 1;
  for (size_t i = Home(key);; i = (i + 1) & (slots_.size() - 1)) {
    if (slots_[i].key == key) return &slots_[i].value;
    if (slots_[i].key == 0) return nullptr;
  }
}

std::pair<LogRecordDecoder::BeginsOf*, bool> LogRecordDecoder::HashedBegins::TryEmplace(
    TransactionId id, const BeginsOf& value) {
  // At most half full, so a probe always meets an empty slot.
  if (2 * (used_ + 1) > slots_.size()) Grow();
  const TransactionId key = id + 1;
  for (size_t i = Home(key);; i = (i + 1) & (slots_.size() - 1)) {
    Slot& slot = slots_[i];
    if (slot.key == key) return {&slot.value, false};
    if (slot.key == 0) {
      slot.key = key;
      slot.value = value;
      ++used_;
      return {&slot.value, true};
    }
  }
}

void LogRecordDecoder::HashedBegins::Grow() {
  // The first table fills one large block.
  LargeZeroArray<Slot> old = std::move(slots_);
  slots_ = LargeZeroArray<Slot>(old.empty() ? kLargeBlockBytes / sizeof(Slot) : 2 * old.size());
  for (size_t j = 0; j < old.size(); ++j) {
    if (old[j].key == 0) continue;
    size_t i = Home(old[j].key);
    while (slots_[i].key != 0) i = (i + 1) & (slots_.size() - 1);
    slots_[i] = old[j];
  }
}

LogRecordDecoder::BeginsOf* LogRecordDecoder::BeginTable::Find(TransactionId id) {
  if (id >= base_ && id - base_ < dense_.size()) {
    DenseSlot& slot = dense_[id - base_];
    if (slot.used) return &slot.value;
  }
  return hashed_.empty() ? nullptr : hashed_.Find(id);
}

std::pair<LogRecordDecoder::BeginsOf*, bool> LogRecordDecoder::BeginTable::TryEmplace(
    TransactionId id, const BeginsOf& value) {
  if (dense_.empty()) base_ = id;
  if (id < base_) return hashed_.TryEmplace(id, value);
  const TransactionId index = id - base_;
  if (index >= dense_.size()) {
    // The array stays at most about twice as long as the begins it holds.
    if (index >= 2 * dense_used_ + kDenseGap) return hashed_.TryEmplace(id, value);
    while (dense_.size() <= index) dense_.push_back(DenseSlot{});
  }
  DenseSlot& slot = dense_[index];
  if (slot.used) return {&slot.value, false};
  // An id kept in the hashed table before the array reached it stays there.
  if (!hashed_.empty())
    if (BeginsOf* earlier = hashed_.Find(id)) return {earlier, false};
  slot.value = value;
  slot.used = true;
  ++dense_used_;
  return {&slot.value, true};
}

void LogRecordDecoder::NameTable(uint64_t rowset_id, const UserTable& table) {
  if (operations_.HasRowsetName(rowset_id)) return;
  operations_.NameRowset(rowset_id, Intern(table.name));
  // The first rowset of a table that has an operation names it in the
  // table-name map.
  table_names_.try_emplace(table.objectId, table.name);
}

const LogRecordDecoder::RowsetEntry& LogRecordDecoder::LookUpRowset(uint64_t rowset_id) {
  RowsetEntry& entry = rowset_cache_[(rowset_id ^ (rowset_id >> 16)) % kRowsetCacheSize];
  if (entry.filled && entry.rowset == rowset_id) return entry;
  entry.filled = true;
  entry.rowset = rowset_id;
  entry.table = tables_.Find(rowset_id);
  if (entry.table) NameTable(rowset_id, *entry.table);
  return entry;
}

NameId LogRecordDecoder::TransactionNameId(Bytes field) {
  constexpr size_t kCacheSize = 64;
  auto same = [&field](const ByteBuffer& bytes) {
    return bytes.size() == field.size() &&
           (field.empty() || std::memcmp(bytes.data(), field.data(), field.size()) == 0);
  };
  // The name of the last hit first: begin records of one name come in runs.
  if (name_cache_last_ < name_cache_.size() && same(name_cache_[name_cache_last_].first))
    return name_cache_[name_cache_last_].second;
  for (size_t i = 0; i < name_cache_.size(); ++i) {
    if (same(name_cache_[i].first)) {
      name_cache_last_ = i;
      return name_cache_[i].second;
    }
  }
  const NameId id = Intern(BeginTransactionNameText(field));
  std::pair<ByteBuffer, NameId> entry{ByteBuffer(field.begin(), field.end()), id};
  if (name_cache_.size() < kCacheSize) {
    name_cache_.push_back(std::move(entry));
  } else {
    name_cache_[name_cache_next_] = std::move(entry);
    name_cache_next_ = (name_cache_next_ + 1) % kCacheSize;
  }
  return id;
}

void LogRecordDecoder::DecodeLogRecord(const LogRecordWindow& window) {
  ++stats_.records;
  const LogRecordFields fields = ReadLogRecordFields(window.fixed);
  // A record is tested both as a row change and as a begin record; as a row
  // change it still belongs to the transaction that was current before it.
  if (IsRowChangeContext(fields.context)) {
    ++stats_.rowChanges;
    const RowsetEntry& rowset = LookUpRowset(fields.allocationUnitId);
    if (rowset.table) AddOperation(window, fields, *rowset.table);
  }
  if (fields.operation == kOpBeginTransaction) TakeBegin(window, fields);
}

void LogRecordDecoder::AddOperation(const LogRecordWindow& window, const LogRecordFields& fields,
                                    const UserTable& table) {
  LogOperation op;
  op.objectId = table.objectId;
  op.allocationUnitId = fields.allocationUnitId;
  op.operation = fields.operation;
  op.recordIndex = window.recordIndex;
  op.vlfSequence = window.vlfSequence;
  op.blockOffset = window.blockOffset;
  for (size_t i = 0; i < op.transactionId.size(); ++i)
    op.transactionId[i] = static_cast<uint8_t>(fields.transactionId >> (8 * i));
  op.lastBeginBeforeName = current_name_;

  if (const BeginsOf* own = begins_.Find(fields.transactionId)) {
    op.flags |= LogOperation::kOwnBeginFound;
    if (current_.fromBeginRecord && current_.transactionId == fields.transactionId)
      op.flags |= LogOperation::kOwnBeginIsLastBefore;
    op.transactionName = own->latest.name;
    op.beginTime = own->latest.time;
  } else {
    op.transactionName = current_name_;
    op.beginTime = current_.beginTime;
    pending_.push_back(operations_.size());
  }
  operations_.Append(op);
  ++stats_.operations;
}

void LogRecordDecoder::TakeBegin(const LogRecordWindow& window, const LogRecordFields& fields) {
  ++stats_.beginRecords;
  std::optional<BeginTransactionView> begin =
      window.block ? ReadBeginTransactionView(*window.block, window.offset, name_scratch_)
                   : std::nullopt;
  if (!begin || begin->variableFields == 0) {
    // The current transaction stays as it was.
    ++stats_.beginRecordsWithoutName;
    return;
  }
  if (operations_before_named_begin_ == SIZE_MAX)
    operations_before_named_begin_ = operations_.size();
  current_.beginTime = begin->beginTime;
  current_.transactionId = fields.transactionId;
  current_.fromBeginRecord = true;
  current_name_ = TransactionNameId(begin->name);
  Begin b{current_name_, current_.beginTime};
  auto [entry, inserted] = begins_.TryEmplace(fields.transactionId, BeginsOf{b, b});
  if (!inserted) entry->latest = b;
}

void LogRecordDecoder::TakeLater(LogRecordDecoder& later) {
  // This part's operations still without their own begin: the first begin
  // of their id in this part, else in the later one.
  for (size_t index : pending_) {
    LogOperation& op = operations_.at(index);
    const BeginsOf* own = begins_.Find(op.Transaction());
    if (!own) own = later.begins_.Find(op.Transaction());
    if (!own) continue;
    op.flags |= LogOperation::kOwnBeginFound;
    op.transactionName = own->first.name;
    op.beginTime = own->first.time;
  }
  pending_.clear();

  // The later part's operations before its first named begin record were
  // decoded with an empty current transaction in place of this part's last
  // one, which is the last begin before them. A later operation without an
  // own begin before it in its part takes the latest begin of its id in
  // this part, failing that the later part's first begin of its id.
  OperationList& later_ops = later.operations_;
  const size_t before_named = std::min(later.operations_before_named_begin_, later_ops.size());
  for (size_t k = 0; k < before_named; ++k) later_ops.at(k).lastBeginBeforeName = current_name_;
  for (size_t k : later.pending_) {
    LogOperation& op = later_ops.at(k);
    const bool before = k < before_named;
    const BeginsOf* own = begins_.Find(op.Transaction());
    if (own) {
      op.flags |= LogOperation::kOwnBeginFound;
      if (before && current_.fromBeginRecord && current_.transactionId == op.Transaction())
        op.flags |= LogOperation::kOwnBeginIsLastBefore;
      op.transactionName = own->latest.name;
      op.beginTime = own->latest.time;
      continue;
    }
    if (before) {
      op.transactionName = current_name_;
      op.beginTime = current_.beginTime;
    }
    own = later.begins_.Find(op.Transaction());
    if (!own) continue;
    op.flags |= LogOperation::kOwnBeginFound;
    op.transactionName = own->first.name;
    op.beginTime = own->first.time;
  }
  later.pending_.clear();

  if (later.current_.fromBeginRecord) {
    current_.beginTime = later.current_.beginTime;
    current_.transactionId = later.current_.transactionId;
    current_.fromBeginRecord = true;
    current_name_ = later.current_name_;
  }
  for (auto& [object_id, name] : later.table_names_) table_names_.try_emplace(object_id, name);
  later.table_names_.clear();
  // The ids of the later part's names are already this list's.
  operations_.AppendLater(std::move(later_ops));
  stats_.records += later.stats_.records;
  stats_.beginRecords += later.stats_.beginRecords;
  stats_.beginRecordsWithoutName += later.stats_.beginRecordsWithoutName;
  stats_.rowChanges += later.stats_.rowChanges;
  stats_.operations += later.stats_.operations;
  later.stats_ = {};
}

void LogRecordDecoder::Finish() {
  current_.name = operations_.Name(current_name_);
  for (size_t index : pending_) {
    LogOperation& op = operations_.at(index);
    const BeginsOf* own = begins_.Find(op.Transaction());
    if (!own) continue;
    op.flags |= LogOperation::kOwnBeginFound;
    op.transactionName = own->first.name;
    op.beginTime = own->first.time;
  }
  pending_.clear();
}

}  // namespace tarnwick
