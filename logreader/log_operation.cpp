#include "logreader/log_operation.h"

#include <algorithm>
#include <cstdio>

namespace tarnwick {

bool UserTableMap::Add(uint64_t rowset_id, int32_t object_id, std::string name) {
  if (rowset_id == 0) return false;
  return tables.try_emplace(rowset_id, UserTable{object_id, std::move(name)}).second;
}

const UserTable* UserTableMap::Find(uint64_t rowset_id) const {
  if (rowset_id == 0) return nullptr;
  auto it = tables.find(rowset_id);
  return it == tables.end() ? nullptr : &it->second;
}

std::string LogLsn::Text() const {
  char text[32];
  std::snprintf(text, sizeof text, "%08x:%08x:%04x", vlfSequence, block, record);
  return text;
}

TransactionId LogOperation::Transaction() const {
  return ByteReader(transactionId.data(), transactionId.size()).Unsigned(0, 6);
}

OperationList::OperationList() { Clear(); }

NameId OperationList::InternName(std::string_view name) {
  auto it = name_ids_.find(name);
  if (it != name_ids_.end()) return it->second;
  NameId id = static_cast<NameId>(names_.size());
  names_.emplace_back(name);
  name_ids_.emplace(names_.back(), id);
  return id;
}

const std::string& OperationList::Name(NameId id) const {
  return id < names_.size() ? names_[id] : names_[0];
}

void OperationList::AppendLater(OperationList&& later) {
  operations_.Append(std::move(later.operations_));
  for (const auto& [rowset, name] : later.rowset_names_) NameRowset(rowset, name);
  later.rowset_names_.clear();
}

const std::string& OperationList::TableName(const LogOperation& op) const {
  auto it = rowset_names_.find(op.allocationUnitId);
  return Name(it == rowset_names_.end() ? 0 : it->second);
}

OperationList::Vlfs::const_iterator OperationList::VlfFrom(uint32_t sequence) const {
  return std::lower_bound(vlfs_.begin(), vlfs_.end(), sequence,
                          [](const auto& vlf, uint32_t s) { return vlf.first < s; });
}

void OperationList::AddVlf(uint32_t sequence, uint64_t position) {
  const auto it = VlfFrom(sequence);
  if (it != vlfs_.end() && it->first == sequence)
    vlfs_[static_cast<size_t>(it - vlfs_.begin())].second = position;
  else
    vlfs_.insert(it, {sequence, position});
}

std::optional<uint64_t> OperationList::BlockPosition(const LogOperation& op) const {
  const auto it = VlfFrom(op.vlfSequence);
  if (it == vlfs_.end() || it->first != op.vlfSequence) return std::nullopt;
  const uint64_t offset = uint64_t{op.blockOffset} * kLogSectorSize;
  if (offset > UINT64_MAX - it->second) return std::nullopt;
  return it->second + offset;
}

std::vector<int32_t> OperationList::ObjectIds() const {
  std::vector<int32_t> ids;
  ids.reserve(operations_.size());
  for (const LogOperation& op : operations_) ids.push_back(op.objectId);
  return ids;
}

void OperationList::Clear() {
  operations_.clear();  // gives the memory back
  rowset_names_.clear();
  vlfs_.clear();
  name_ids_.clear();
  names_.clear();
  names_.emplace_back();
  name_ids_.emplace(names_.back(), 0);
}

}  // namespace tarnwick
