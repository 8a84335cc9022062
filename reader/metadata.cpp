// The catalog scan: the construction sequence of CMetadata and the lists
// derived at its end (dependent objects, definitions, foreign keys).
#include "reader/metadata.h"

#include <algorithm>
#include <map>

#include "platform/text_codec.h"
#include "records/data_page.h"

namespace tarnwick {
namespace {

// System object ids of the catalog tables.
constexpr int32_t kFileListId = 8;
constexpr int32_t kObjectsId = 34;
constexpr int32_t kObjects2000Id = 1;
constexpr int32_t kAllocationUnitsId = 7;
constexpr int32_t kAllocationUnits2000Id = 99;
constexpr int32_t kRowsetsId = 5;
constexpr int32_t kColumnsId = 41;
constexpr int32_t kMoreColumnsId = 2187;
constexpr int32_t kIndexes2000Id = 2;
constexpr int32_t kColumns2000Id = 3;
constexpr int32_t kScalarTypesId = 50;
constexpr int32_t kRowsetColumnsId = 3;
constexpr int32_t kReferencesId = 74;
constexpr int32_t kIndexesId = 54;
constexpr int32_t kIndexColumnsId = 55;
constexpr int32_t kHobtColumnsId = 13;
constexpr int32_t kRowsetColumnMapId = 4;
constexpr int32_t kObjectValuesId = 60;

// A page header carries the object id and index id parts of its allocation
// unit id (bits 16..47 and 48..63). Allocation units of user and internal
// tables have index ids from 256 on, and their object id part can equal a
// system table's id (34, 50, 1, 13, ...): such pages hold no catalog rows.
constexpr uint16_t kFirstUnitIndexId = 256;

// Record types a catalog scan never takes rows from.
constexpr int32_t kBlobFragmentType = 4;

std::string JoinBracketed(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names) {
    if (!text.empty()) text += ", ";
    text += "[" + name + "]";
  }
  return text;
}

ReferentialAction ActionBits(uint32_t status, int shift) {
  return static_cast<ReferentialAction>((status >> shift) & 3);
}

}  // namespace

bool IsNonTableType(std::string_view type_code) {
  static constexpr std::string_view kCodes[] = {"PK", "X ", "P ", "C ", "FN", "IF",
                                                "TR", "V ", "D ", "TT", "F ", "TF"};
  return std::find(std::begin(kCodes), std::end(kCodes), type_code) != std::end(kCodes);
}

std::string_view ReferentialActionName(ReferentialAction action) {
  switch (action) {
    case ReferentialAction::kCascade:
      return "CASCADE";
    case ReferentialAction::kSetNull:
      return "SET NULL";
    case ReferentialAction::kSetDefault:
      return "SET DEFAULT";
    case ReferentialAction::kNoAction:
      break;
  }
  return "NO ACTION";
}

std::string HexValue(Bytes bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text = "0x";
  text.reserve(2 + 2 * bytes.size());
  for (uint8_t b : bytes) {
    text.push_back(kDigits[b >> 4]);
    text.push_back(kDigits[b & 15]);
  }
  return text;
}

std::string DefinitionText(std::string_view value, int32_t code_page) {
  if (value.size() >= 2 && value[0] == '0' && (value[1] == 'x' || value[1] == 'X'))
    value.remove_prefix(2);
  auto digit = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
  };
  ByteBuffer bytes;
  for (size_t i = 0; i + 1 < value.size(); i += 2) {
    const int high = digit(value[i]);
    const int low = digit(value[i + 1]);
    if (high < 0 || low < 0) break;
    bytes.push_back(static_cast<uint8_t>(high * 16 + low));
  }
  const bool wide =
      std::find(bytes.begin() + (bytes.empty() ? 0 : 1), bytes.end(), 0) != bytes.end();
  if (wide) return Utf16LeToUtf8(bytes);
  return DecodeCodePage(bytes, code_page);
}

std::string LookUpDefinition(const DefinitionList& definitions, int32_t object_id,
                             int32_t column_id, int32_t code_page) {
  const std::string object_text = std::to_string(object_id);
  const std::string column_text = std::to_string(column_id);
  for (const DefinitionEntry& entry : definitions)
    if (entry.object_id == object_text && entry.column_id == column_text)
      return DefinitionText(entry.value, code_page);
  return {};
}

template <class Visit>
void CMetadata::ScanSystemObject(int32_t id, Visit&& visit) const {
  auto it = database_.systemPages().find(id);
  if (it == database_.systemPages().end()) return;
  for (const PageRef& ref : it->second) {
    if (ref.type != kDataPageType) continue;
    std::unique_ptr<CDataPage> page = LoadCatalogDataPage(database_, ref);
    if (!page || page->header().indexId >= kFirstUnitIndexId) continue;
    const int count = std::min(page->slotCount(), page->recordCount());
    for (int i = 0; i < count; ++i) {
      const CPrimaryRecord* record = page->record(i);
      if (!record || record->rejected || record->compressedFormat) continue;
      if (record->recordType == kBlobFragmentType || record->recordType == kIndexRecordType)
        continue;
      visit(CatalogRecord(*record));
    }
  }
}

CMetadata::CMetadata(CDatabaseFile& database) : database_(database) {
  database_.sink().SetStatusText(kProcessingMetadata);
  database_.ReadBootPage();
  ReadFileList();
  FindSecondaryFiles();
  ReadObjects();
  const bool sql2000 = database_.state().sql2000_mode;

  ScanSystemObject(sql2000 ? kAllocationUnits2000Id : kAllocationUnitsId,
                   [&](const CatalogRecord& row) {
                     if (auto unit = DecodeAllocationUnitRow(row))
                       allocation_units_.push_back(*unit);
                   });
  ScanSystemObject(kRowsetsId, [&](const CatalogRecord& row) {
    if (auto rowset = DecodeRowsetRow(row)) rowsets_.push_back(*rowset);
  });
  if (!sql2000) {
    for (int32_t id : {kColumnsId, kMoreColumnsId}) {
      uint64_t repair_counter = 0;
      ScanSystemObject(id, [&](const CatalogRecord& row) {
        if (auto column = DecodeColumnRow(row, repair_counter)) columns_.push_back(*column);
      });
    }
  } else {
    ScanSystemObject(kIndexes2000Id, [&](const CatalogRecord& row) {
      if (auto index = DecodeIndexRow2000(row)) indexes_2000_.push_back(*index);
    });
    uint64_t repair_counter = 0;
    ScanSystemObject(kColumns2000Id, [&](const CatalogRecord& row) {
      if (auto column = DecodeColumnRow2000(row, repair_counter)) columns_2000_.push_back(*column);
    });
  }
  ScanSystemObject(kScalarTypesId, [&](const CatalogRecord& row) {
    if (auto type = DecodeScalarTypeRow(row)) scalar_types_.push_back(*type);
  });
  if (!sql2000) ReadNewerLayout();
}

void CMetadata::ReadFileList() {
  ScanSystemObject(kFileListId, [&](const CatalogRecord& row) {
    if (auto file = DecodeFileRow(row)) files_.push_back(*file);
  });
}

void CMetadata::FindSecondaryFiles() {
  if (!files_.empty()) {
    database_.AddSecondaryFilesFromList(files_);
  } else {
    files_ = database_.FindSecondaryFilesInFolder();
  }
}

void CMetadata::ReadObjects() {
  RunState& state = database_.state();
  if (database_.systemPages().empty()) return;
  uint64_t repair_counter = 0;
  ScanSystemObject(kObjectsId, [&](const CatalogRecord& row) {
    if (auto object = DecodeObjectRow(row, false, repair_counter)) objects_.push_back(*object);
  });
  if (!objects_.empty()) {
    state.sql2000_mode = false;
    return;
  }
  state.sql2000_mode = true;
  repair_counter = 0;
  ScanSystemObject(kObjects2000Id, [&](const CatalogRecord& row) {
    if (auto object = DecodeObjectRow(row, true, repair_counter)) objects_.push_back(*object);
  });
}

void CMetadata::ReadNewerLayout() {
  ScanSystemObject(kRowsetColumnsId, [&](const CatalogRecord& row) {
    if (auto column = DecodeRowsetColumnRow(row)) rowset_columns_.push_back(*column);
  });
  ScanSystemObject(kReferencesId, [&](const CatalogRecord& row) {
    if (auto ref = DecodeSingleObjectRef(row)) references_.push_back(*ref);
  });
  ScanSystemObject(kIndexesId, [&](const CatalogRecord& row) {
    if (auto index = DecodeIndexRow(row)) indexes_.push_back(*index);
  });
  ScanSystemObject(kIndexColumnsId, [&](const CatalogRecord& row) {
    if (auto column = DecodeIndexColumnRow(row)) index_columns_.push_back(*column);
  });
  ScanSystemObject(kHobtColumnsId, [&](const CatalogRecord& row) {
    if (auto column = DecodeHobtColumnRow(row)) hobt_columns_.push_back(*column);
  });
  ScanSystemObject(kRowsetColumnMapId, [&](const CatalogRecord& row) {
    if (auto entry = DecodeRowsetColumnMapRow(row)) rowset_column_map_.push_back(*entry);
  });
  ScanSystemObject(kObjectValuesId, [&](const CatalogRecord& row) {
    if (auto value = DecodeObjectValueRow(row)) object_values_.push_back(std::move(*value));
  });
  BuildDependentObjects();
  BuildDefinitions();
  BuildForeignKeys();
}

void CMetadata::BuildDependentObjects() {
  // References grouped by referencing object, each group in list order.
  std::multimap<int32_t, const SingleObjectRef*> by_object;
  for (const SingleObjectRef& ref : references_) by_object.emplace(ref.value1, &ref);
  for (const CatalogObject& o : objects_) {
    if (o.schema_class != 0 || o.parent_class != 1) continue;
    DependentObject d;
    d.name = o.name;
    d.object_id = o.object_id;
    d.schema_id = o.schema_id;
    d.parent_object_id = o.parent_object_id;
    d.type_code = o.type_code;
    d.int_property = o.int_property;
    d.status = o.status;
    auto [first, last] = by_object.equal_range(o.object_id);
    for (auto it = first; it != last; ++it) {
      const SingleObjectRef& ref = *it->second;
      d.references.push_back(ref);
      if (ref.value5 != 0) continue;
      if (ref.ref_class == kReferenceForeignKeyTable) {
        d.referenced_object_id = ref.value9;
        d.referenced_minor_id = ref.value13;
      } else if (ref.ref_class == kReferenceBoundObject) {
        d.bound_object_id = ref.value9;
        d.bound_minor_id = ref.value13;
      }
    }
    dependents_.push_back(std::move(d));
  }
}

void CMetadata::BuildDefinitions() {
  for (const ObjectValueRow& v : object_values_) {
    if (v.image.empty() || v.value_number != 0) continue;
    if (v.value_class != kValueClassText && v.value_class != kValueClassComputedColumn) continue;
    definitions_.push_back(
        {std::to_string(v.object_id), std::to_string(v.minor_id), HexValue(v.image)});
  }
}

void CMetadata::BuildForeignKeys() {
  for (const DependentObject& d : dependents_) {
    if (d.type_code != kForeignKeyType) continue;
    ForeignKey fk;
    fk.name = d.name;
    fk.object_id = d.object_id;
    fk.table_id = d.parent_object_id;
    fk.table_name = ObjectName(d.parent_object_id);
    fk.referenced_table_id = d.referenced_object_id;
    fk.key_index_id = d.referenced_minor_id;
    fk.status = d.status;
    fk.on_update = ActionBits(d.status, 12);
    fk.on_delete = ActionBits(d.status, 14);
    // Column pairs: a class 28 reference (the table's column) and a class
    // 29 reference (the referenced column) with the same key ordinal.
    std::map<int32_t, std::pair<int32_t, int32_t>> pairs;
    for (const SingleObjectRef& ref : d.references) {
      if (ref.value5 <= 0) continue;
      if (ref.ref_class == kReferenceForeignKeyColumn) {
        pairs[ref.value5].first = ref.value13;
      } else if (ref.ref_class == kReferenceForeignKeyReferencedColumn) {
        pairs[ref.value5].second = ref.value13;
        if (fk.referenced_table_id == 0) fk.referenced_table_id = ref.value9;
      }
    }
    fk.referenced_table_name = ObjectName(fk.referenced_table_id);
    const std::vector<ColumnRow> own = TableColumnRows(fk.table_id);
    const std::vector<ColumnRow> referenced = TableColumnRows(fk.referenced_table_id);
    auto name_of = [](const std::vector<ColumnRow>& rows, int32_t column_id) {
      for (const ColumnRow& row : rows)
        if (row.column_id == column_id) return row.name;
      return std::string();
    };
    for (const auto& [ordinal, ids] : pairs) {
      fk.column_ids.push_back(ids.first);
      fk.columns.push_back(name_of(own, ids.first));
      fk.referenced_column_ids.push_back(ids.second);
      fk.referenced_columns.push_back(name_of(referenced, ids.second));
    }
    fk.column_list = JoinBracketed(fk.columns);
    fk.referenced_column_list = JoinBracketed(fk.referenced_columns);
    foreign_keys_.push_back(std::move(fk));
  }
}

std::vector<CatalogObject> CMetadata::UserTables() const {
  std::vector<CatalogObject> tables;
  for (const CatalogObject& o : objects_)
    if (o.type_code == kUserTableType) tables.push_back(o);
  return tables;
}

std::string CMetadata::ObjectName(int32_t object_id) const {
  for (const CatalogObject& o : objects_)
    if (o.object_id == object_id) return o.name;
  return {};
}

std::vector<ForeignKey> CMetadata::ForeignKeysOf(int32_t table_id) const {
  std::vector<ForeignKey> keys;
  for (const ForeignKey& fk : foreign_keys_)
    if (fk.table_id == table_id) keys.push_back(fk);
  return keys;
}

}  // namespace tarnwick
