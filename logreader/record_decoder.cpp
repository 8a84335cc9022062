#include "logreader/record_decoder.h"

#include <algorithm>

namespace tarnwick {

LogRecordDecoder::LogRecordDecoder(const UserTableMap& tables, CurrentTransaction& current,
                                   OperationList& operations, TableNameMap& table_names)
    : tables_(tables), current_(current), operations_(operations), table_names_(table_names) {
  current_name_ = operations_.InternName(current_.name);
}

NameId LogRecordDecoder::TableNameId(uint64_t rowset_id, const UserTable& table) {
  if (has_last_table_ && last_rowset_id_ == rowset_id) return last_table_name_;
  NameId id;
  auto it = table_name_ids_.find(rowset_id);
  if (it != table_name_ids_.end()) {
    id = it->second;
  } else {
    id = operations_.InternName(table.name);
    table_name_ids_.emplace(rowset_id, id);
    // The first rowset of a table that has an operation names it in the
    // table-name map.
    table_names_.try_emplace(table.objectId, table.name);
  }
  has_last_table_ = true;
  last_rowset_id_ = rowset_id;
  last_table_name_ = id;
  return id;
}

NameId LogRecordDecoder::TransactionNameId(Bytes field) {
  constexpr size_t kCacheSize = 64;
  for (const auto& [bytes, id] : name_cache_)
    if (bytes.size() == field.size() && std::equal(bytes.begin(), bytes.end(), field.begin()))
      return id;
  const NameId id = operations_.InternName(BeginTransactionNameText(field));
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
    if (const UserTable* table = tables_.Find(fields.allocationUnitId))
      AddOperation(window, fields, *table);
  }
  if (fields.operation == kOpBeginTransaction) TakeBegin(window, fields);
}

void LogRecordDecoder::AddOperation(const LogRecordWindow& window, const LogRecordFields& fields,
                                    const UserTable& table) {
  LogOperation op;
  op.objectId = table.objectId;
  op.allocationUnitId = fields.allocationUnitId;
  op.tableName = TableNameId(fields.allocationUnitId, table);
  op.blockPosition = window.block ? window.block->position : 0;
  op.operation = fields.operation;
  op.recordIndex = window.recordIndex;
  op.vlfSequence = window.vlfSequence;
  op.blockOffset = window.blockOffset;
  for (size_t i = 0; i < op.transactionId.size(); ++i)
    op.transactionId[i] = static_cast<uint8_t>(fields.transactionId >> (8 * i));
  op.lastBeginBeforeName = current_name_;

  auto own = begins_.find(fields.transactionId);
  if (own != begins_.end()) {
    op.flags |= LogOperation::kOwnBeginFound;
    if (current_.fromBeginRecord && current_.transactionId == fields.transactionId)
      op.flags |= LogOperation::kOwnBeginIsLastBefore;
    op.transactionName = own->second.latest.name;
    op.beginTime = own->second.latest.time;
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
      window.block ? ReadBeginTransactionView(window.block->reader(), window.offset) : std::nullopt;
  if (!begin || begin->variableFields == 0) {
    // The current transaction stays as it was.
    ++stats_.beginRecordsWithoutName;
    return;
  }
  current_.beginTime = begin->beginTime;
  current_.transactionId = fields.transactionId;
  current_.fromBeginRecord = true;
  current_name_ = TransactionNameId(begin->name);
  Begin b{current_name_, current_.beginTime};
  auto [it, inserted] = begins_.try_emplace(fields.transactionId, BeginsOf{b, b});
  if (!inserted) it->second.latest = b;
}

void LogRecordDecoder::Finish() {
  current_.name = operations_.Name(current_name_);
  for (size_t index : pending_) {
    LogOperation& op = operations_.at(index);
    auto own = begins_.find(op.Transaction());
    if (own == begins_.end()) continue;
    op.flags |= LogOperation::kOwnBeginFound;
    op.transactionName = own->second.first.name;
    op.beginTime = own->second.first.time;
  }
  pending_.clear();
}

}  // namespace tarnwick
