// The schema model: lookups over the catalog lists and the preparation of
// one table's column descriptors, constraints, indexes and data pages.
#include <algorithm>

#include "reader/metadata.h"

namespace tarnwick {
namespace {

constexpr uint64_t kAllocationUnitBase = uint64_t{1} << 56;

// Column row status bits.
constexpr uint32_t kColumnNotNullable = 0x1;
constexpr uint32_t kColumnRowGuid = 0x8;
constexpr uint32_t kColumnSparse = 0x1000000;

constexpr int32_t kImageSystemTypeId = 34;
constexpr int32_t kClrSystemTypeId = 240;
constexpr int32_t kHierarchyIdUserType = 128;
constexpr int32_t kGeometryUserType = 129;

TypeCode DescriptorTypeCode(int32_t system_type_id, int32_t user_type_id) {
  if (system_type_id == kImageSystemTypeId) return TypeCode::kImage;
  TypeCode code = TypeCodeFromSystemTypeId(system_type_id);
  if (code == TypeCode::kClr) {
    if (user_type_id == kGeometryUserType) code = TypeCode::kGeometry;
    if (user_type_id == kHierarchyIdUserType) code = TypeCode::kHierarchyId;
  }
  return code;
}

// Orders by column id: for each position the smallest remaining id is
// swapped into it.
void SelectionSortByColumnId(std::vector<ColumnDescriptor>& columns) {
  for (size_t i = 0; i < columns.size(); ++i) {
    size_t smallest = i;
    for (size_t j = i + 1; j < columns.size(); ++j)
      if (columns[j].column_id < columns[smallest].column_id) smallest = j;
    if (smallest != i) std::swap(columns[i], columns[smallest]);
  }
}

ColumnDescriptor* DescriptorById(std::vector<ColumnDescriptor>& columns, int32_t column_id) {
  for (ColumnDescriptor& d : columns)
    if (d.column_id == column_id) return &d;
  return nullptr;
}

// The lower-case name of a built-in type when the catalog has no row for it.
// The index id part of an allocation unit id, which the headers of its
// pages carry.
uint16_t UnitIndexId(const AllocationUnitRow& unit) {
  return static_cast<uint16_t>(unit.allocation_unit_id >> 48);
}

std::string_view BuiltInTypeName(int32_t system_type_id) {
  if (system_type_id == 35) return "text";
  if (system_type_id == kImageSystemTypeId) return "image";
  for (const TypeCodeEntry& entry : TypeCodeTable())
    if (entry.system_type_id == system_type_id) return entry.type;
  return {};
}

}  // namespace

CatalogObject CMetadata::FindObject(std::string_view name, std::string_view type_code) const {
  for (const CatalogObject& o : objects_) {
    if (o.name != name) continue;
    if (o.type_code == type_code ||
        (o.type_code != kUserTableType && o.type_code != kSystemTableType))
      return o;
  }
  return CatalogObject{};
}

std::vector<TableConstraint> CMetadata::TableConstraints(int32_t object_id) const {
  std::vector<TableConstraint> list;
  const int32_t code_page = database_.state().code_page;
  for (const CatalogObject& o : objects_) {
    if (o.parent_object_id != object_id) continue;
    TableConstraint c;
    c.name = o.name;
    c.type_code = o.type_code;
    c.object_id = sql2000() ? o.parent_object_id : o.object_id;
    c.primary_key = o.type_code == kPrimaryKeyType;
    c.unique = o.type_code == kUniqueKeyType;
    c.foreign_key = o.type_code == kForeignKeyType;
    c.status = o.status;
    c.parent_column_id = o.int_property;
    if (c.parent_column_id == 0) {
      for (const DependentObject& d : dependents_)
        if (d.object_id == o.object_id && d.bound_minor_id != 0)
          c.parent_column_id = d.bound_minor_id;
    }
    if (o.type_code == kDefaultType || o.type_code == kCheckType)
      c.definition = LookUpDefinition(definitions_, o.object_id, 0, code_page);
    list.push_back(std::move(c));
  }
  return list;
}

RowsetRow CMetadata::TableRowset(int32_t object_id) {
  const RowsetRow* best = nullptr;
  for (const RowsetRow& r : rowsets_) {
    if (r.major_id != object_id || (r.minor_id != 0 && r.minor_id != 1)) continue;
    if (!best || r.minor_id <= best->minor_id) best = &r;
  }
  if (best) return *best;
  for (const IndexRow& index : indexes_) {
    if (index.object_id != object_id || index.rowset_id == 0) continue;
    RowsetRow r;
    r.rowset_id = index.rowset_id;
    r.major_id = object_id;
    r.minor_id = index.index_id;
    current_.rebuilt_from_indexes = true;
    return r;
  }
  const RowsetRow* last = nullptr;
  for (const RowsetRow& r : rowsets_)
    if (r.major_id == object_id) last = &r;
  return last ? *last : RowsetRow{};
}

int32_t CMetadata::DataPageKey(const AllocationUnitRow& unit) {
  const uint64_t id = unit.allocation_unit_id;
  const uint64_t base = id == unit.owner_id ? id : id - kAllocationUnitBase;
  return static_cast<int32_t>(static_cast<uint32_t>(base / 65536));
}

AllocationUnitRow CMetadata::TableAllocationUnit(uint64_t rowset_id) {
  const AllocationUnitRow* found = nullptr;
  for (const AllocationUnitRow& a : allocation_units_)
    if (a.owner_id == rowset_id && a.type == kInRowDataUnit) found = &a;
  AllocationUnitRow unit;
  if (found) {
    unit = *found;
  } else {
    // Made up from the page maps under the key the id would have.
    unit.allocation_unit_id = rowset_id;
    unit.owner_id = rowset_id;
    unit.type = kInRowDataUnit;
    const int32_t key = DataPageKey(unit);
    bool any = false;
    auto first_of = [&](const PageMap& map, uint32_t type, PageRef& out) {
      auto it = map.find(key);
      if (it == map.end()) return false;
      for (const PageRef& ref : it->second) {
        if (ref.type != type || !PageOfUnit(ref, key, UnitIndexId(unit))) continue;
        out = ref;
        return any = true;
      }
      return false;
    };
    first_of(database_.dataPages(), kDataPageType, unit.first_page);
    if (!first_of(database_.dataPages(), kIamPageType, unit.first_iam_page))
      first_of(database_.iamPages(), kIamPageType, unit.first_iam_page);
    if (any) current_.rebuilt_from_indexes = true;
  }
  current_.allocation_unit = unit;
  return unit;
}

std::vector<RowsetRow> CMetadata::TableRowsets(int32_t object_id) const {
  std::vector<RowsetRow> list;
  for (const RowsetRow& r : rowsets_)
    if (r.major_id == object_id) list.push_back(r);
  if (!list.empty()) return list;
  for (const IndexRow& index : indexes_) {
    if (index.object_id != object_id || index.rowset_id == 0) continue;
    RowsetRow r;
    r.rowset_id = index.rowset_id;
    r.major_id = object_id;
    r.minor_id = index.index_id;
    list.push_back(r);
  }
  return list;
}

std::vector<ColumnRow> CMetadata::TableColumnRows(int32_t object_id) const {
  std::vector<ColumnRow> list;
  const uint32_t wanted = static_cast<uint32_t>(object_id) & kColumnObjectIdMask;
  for (const ColumnRow& row : columns_) {
    if ((static_cast<uint32_t>(row.object_id) & kColumnObjectIdMask) != wanted) continue;
    if (row.number != 0) continue;
    const bool seen = std::any_of(list.begin(), list.end(), [&](const ColumnRow& kept) {
      return kept.column_id == row.column_id;
    });
    if (!seen) list.push_back(row);
  }
  return list;
}

TableIndexList CMetadata::TableIndexes(int32_t object_id) const {
  TableIndexList list;
  for (const IndexRow& index : indexes_)
    if (index.object_id == object_id && (index.status & kIndexStatusReal) && index.index_id > 0)
      list.indexes.push_back(index);
  for (const IndexColumnRow& column : index_columns_) {
    if (column.object_id != object_id) continue;
    for (const IndexRow& index : list.indexes) {
      if (index.index_id != column.index_id) continue;
      list.columns.push_back({column, index.status});
      break;
    }
  }
  return list;
}

RowsetColumnList CMetadata::RowsetColumns(uint64_t rowset_id) const {
  RowsetColumnList list;
  for (const RowsetColumnRow& column : rowset_columns_)
    if (column.rowset_id == rowset_id) list.rowset_columns.push_back(column);
  if (!list.rowset_columns.empty()) return list;
  for (const HobtColumnRow& column : hobt_columns_) {
    if (column.rowset_id != rowset_id) continue;
    HobtColumnRow completed = column;
    for (const RowsetColumnMapRow& entry : rowset_column_map_) {
      if (entry.rowset_id == rowset_id && entry.value8 == column.value8) {
        completed.mapped_position = entry.value12;
        break;
      }
    }
    list.hobt_columns.push_back(completed);
  }
  return list;
}

ScalarTypeRow CMetadata::ColumnType(int32_t system_type_id, int32_t user_type_id) const {
  for (const ScalarTypeRow& t : scalar_types_)
    if (t.type_id == user_type_id && t.system_type_id == system_type_id && t.schema_id == 1)
      return t;
  for (const ScalarTypeRow& t : scalar_types_)
    if (t.type_id == system_type_id) return t;
  return ScalarTypeRow{};
}

std::string CMetadata::SqlTypeText(const ColumnRow& row, const ScalarTypeRow& type) const {
  // Alias types, sysname and the CLR types print under their own name.
  if (row.user_type_id != row.system_type_id) {
    for (const ScalarTypeRow& t : scalar_types_)
      if (t.type_id == row.user_type_id && !t.name.empty()) return t.name;
  }
  std::string name;
  for (const ScalarTypeRow& t : scalar_types_) {
    if (t.type_id == row.system_type_id) {
      name = t.name;
      break;
    }
  }
  if (name.empty())
    name = type.name.empty() ? std::string(BuiltInTypeName(row.system_type_id)) : type.name;
  const auto size = [&](int divisor) {
    return row.length == -1 ? std::string("max") : std::to_string(row.length / divisor);
  };
  switch (row.system_type_id) {
    case 175:  // char
    case 167:  // varchar
    case 173:  // binary
    case 165:  // varbinary
      return name + "(" + size(1) + ")";
    case 239:  // nchar
    case 231:  // nvarchar
      return name + "(" + size(2) + ")";
    case 106:  // decimal
    case 108:  // numeric
      return name + "(" + std::to_string(row.precision) + "," + std::to_string(row.scale) + ")";
    case 41:  // time
    case 42:  // datetime2
    case 43:  // datetimeoffset
      return name + "(" + std::to_string(row.scale) + ")";
    default:
      return name;
  }
}

void CMetadata::BuildDescriptors(const CatalogObject& object, const DefinitionList& definitions) {
  std::vector<ColumnDescriptor>& columns = current_.columns;
  for (const ColumnRow& row : TableColumnRows(object.object_id)) {
    const ScalarTypeRow type = ColumnType(row.system_type_id, row.user_type_id);
    ColumnDescriptor d;
    d.column_id = row.column_id;
    d.name = row.name;
    d.typeCode = DescriptorTypeCode(row.system_type_id, row.user_type_id);
    d.type_text = type.name + "(" + std::to_string(row.length) + ")";
    d.ordinal = row.column_id;
    d.nullable = (row.status & kColumnNotNullable) == 0;
    d.sparse = (row.status & kColumnSparse) != 0;
    d.rowguid = (row.status & kColumnRowGuid) != 0;
    d.precision = row.precision;
    d.scale = row.scale;
    d.collation_id = row.collation_id;
    d.identity = row.identity_text;
    if (row.identity) {
      d.identity_seed = row.identity->seed;
      d.identity_increment = row.identity->increment;
    }
    d.system_type_id = row.system_type_id;
    d.user_type_id = row.user_type_id;
    d.length = row.length;
    d.sql_type = SqlTypeText(row, type);
    d.default_object_id = row.default_object_id;
    d.check_object_id = row.check_object_id;
    columns.push_back(std::move(d));
  }
  SelectionSortByColumnId(columns);

  for (const RowsetColumnRow& entry : current_.rowset_columns) {
    ColumnDescriptor* d = DescriptorById(columns, entry.rowset_column_id);
    if (!d) continue;
    d->leaf_offset = entry.LeafOffset();
    d->ordinal = entry.hobt_column_id;
    d->stored = true;
    d->leaf_null_bit = entry.LeafNullBit();
  }
  if (current_.rowset_columns.empty()) {
    for (const HobtColumnRow& entry : current_.hobt_columns) {
      ColumnDescriptor* d = DescriptorById(columns, entry.value8);
      if (!d) {
        ColumnDescriptor extra;
        extra.column_id = entry.value8;
        extra.ordinal = kComputedMarker;
        columns.push_back(std::move(extra));
        continue;
      }
      d->leaf_offset = entry.leaf_offset;
      d->leaf_null_bit = entry.null_bit;
      if (entry.mapped_position) d->ordinal = *entry.mapped_position;
      d->stored = true;
    }
  }
  if (current_.rowset_columns.empty() && current_.hobt_columns.empty())
    for (ColumnDescriptor& d : columns) d.stored = true;
  if (current_.hobt_columns.empty()) {
    const int32_t code_page = database_.state().code_page;
    for (ColumnDescriptor& d : columns) {
      if (d.stored) continue;
      d.ordinal = kComputedMarker;
      d.value = LookUpDefinition(definitions, object.object_id, d.column_id, code_page);
    }
  }

  TableIndexList indexes = TableIndexes(object.object_id);
  for (const TableIndexColumn& entry : indexes.columns) {
    for (ColumnDescriptor& d : columns) {
      if (d.column_id != entry.row.int_property) continue;
      if (entry.index_status & kIndexStatusPrimaryKey) {
        d.primary_key = true;
        current_.primary_key_columns.push_back({object.name, d.name, entry.row.key_ordinal});
      }
      if (entry.index_status & kIndexStatusUnique) d.unique_member = true;
      if (entry.index_status & kIndexStatusUniqueKey) {
        d.unique_key = true;
        d.unique_ordinal = entry.row.key_ordinal;
      }
    }
  }
  current_.indexes = std::move(indexes.indexes);
  current_.index_columns = std::move(indexes.columns);
}

void CMetadata::BuildDescriptors2000(const CatalogObject& object,
                                     const DefinitionList& definitions) {
  std::vector<ColumnDescriptor>& columns = current_.columns;
  for (const ColumnRow2000& row : columns_2000_) {
    if (row.object_id != object.object_id || row.number != 0) continue;
    if (DescriptorById(columns, row.column_id)) continue;
    const ScalarTypeRow type = ColumnType(row.system_type_id, row.user_type_id);
    ColumnDescriptor d;
    d.column_id = row.column_id;
    d.name = row.name;
    d.typeCode = DescriptorTypeCode(row.system_type_id, row.user_type_id);
    d.type_text = type.name + "(" + std::to_string(row.length) + ")";
    d.ordinal = row.column_id;
    d.stored = true;
    d.nullable = (row.type_status & kColumnNotNullable) == 0;
    d.precision = row.precision;
    d.scale = row.scale;
    d.offset_2000 = row.offset;
    d.system_type_id = row.system_type_id;
    d.user_type_id = row.user_type_id;
    d.length = row.length;
    ColumnRow as_row;
    as_row.system_type_id = row.system_type_id;
    as_row.user_type_id = row.user_type_id;
    as_row.length = row.length;
    as_row.precision = row.precision;
    as_row.scale = row.scale;
    d.sql_type = SqlTypeText(as_row, type);
    columns.push_back(std::move(d));
  }
  SelectionSortByColumnId(columns);
}

// The page maps key pages by the header's object id alone. When that id is
// also a system table's, the pages of the system table and of the unit share
// the key; the header's index id tells them apart.
bool CMetadata::PageOfUnit(const PageRef& ref, int32_t key, uint16_t expected_index_id) const {
  if (!database_.systemPages().count(key)) return true;
  std::optional<CPage_Header> header = database_.ReadPageHeader(ref);
  return header && header->indexId == expected_index_id;
}

void CMetadata::AppendTypeOnePages(int32_t key, bool unique_only,
                                   std::optional<uint16_t> expected_index_id) {
  auto it = database_.dataPages().find(key);
  if (it == database_.dataPages().end()) return;
  std::vector<PageRef>& pages = current_.data_pages;
  for (const PageRef& ref : it->second) {
    if (ref.type != kDataPageType) continue;
    if (expected_index_id && !PageOfUnit(ref, key, *expected_index_id)) continue;
    const PageRef page{ref.file_id, ref.page, kDataPageType};
    if (unique_only && std::find(pages.begin(), pages.end(), page) != pages.end()) continue;
    pages.push_back(page);
  }
}

void CMetadata::BuildDataPageList(int32_t object_id) {
  const bool rebuilt = current_.rebuilt_from_indexes;
  const std::vector<RowsetRow>& rowsets = current_.rowsets;
  auto owned_by_rowset = [&](uint64_t id) {
    return std::any_of(rowsets.begin(), rowsets.end(),
                       [&](const RowsetRow& r) { return r.rowset_id == id; });
  };
  std::vector<AllocationUnitRow>& units = current_.allocation_units;
  for (const AllocationUnitRow& a : allocation_units_)
    if (owned_by_rowset(a.owner_id)) units.push_back(a);
  if (rebuilt && units.empty()) {
    for (const AllocationUnitRow& a : allocation_units_)
      if (owned_by_rowset(a.allocation_unit_id)) units.push_back(a);
    if (units.empty()) {
      for (const RowsetRow& r : rowsets) {
        AllocationUnitRow a;
        a.allocation_unit_id = r.rowset_id;
        a.owner_id = r.rowset_id;
        a.type = kInRowDataUnit;
        units.push_back(a);
      }
    }
  }
  for (const AllocationUnitRow& a : units) {
    int32_t key = DataPageKey(a);
    if (!database_.dataPages().count(key) && rebuilt && a.allocation_unit_id > kAllocationUnitBase)
      key = static_cast<int32_t>(
          static_cast<uint32_t>((a.allocation_unit_id - kAllocationUnitBase) / 65536));
    AppendTypeOnePages(key, rebuilt, UnitIndexId(a));
  }
  if (current_.data_pages.empty()) AppendTypeOnePages(object_id, rebuilt);
}

std::vector<ColumnDescriptor> CMetadata::PrepareTable(std::string_view type_code,
                                                      std::string_view table_name,
                                                      const DefinitionList& definitions) {
  current_ = CurrentTable{};
  const CatalogObject object = FindObject(table_name, type_code);
  if (!object.found()) return {};
  return PrepareObject(object, definitions);
}

std::vector<ColumnDescriptor> CMetadata::PrepareObject(const CatalogObject& object,
                                                       const DefinitionList& definitions) {
  current_ = CurrentTable{};
  if (!object.found()) return {};
  current_.object = object;
  current_.constraints = TableConstraints(object.object_id);
  if (IsNonTableType(object.type_code)) {
    const std::string texts[] = {std::to_string(object.object_id), object.type_code, object.name};
    int32_t column_id = 0;
    for (const std::string& text : texts) {
      ColumnDescriptor placeholder;
      placeholder.column_id = ++column_id;
      placeholder.ordinal = column_id;
      placeholder.name = text;
      placeholder.value = text;
      placeholder.stored = true;
      current_.columns.push_back(std::move(placeholder));
    }
    current_.schema_loaded = false;
    return current_.columns;
  }
  if (!sql2000()) {
    current_.rowset = TableRowset(object.object_id);
    TableAllocationUnit(current_.rowset.rowset_id);
    current_.rowsets = TableRowsets(object.object_id);
    RowsetColumnList stored = RowsetColumns(current_.rowset.rowset_id);
    current_.rowset_columns = std::move(stored.rowset_columns);
    current_.hobt_columns = std::move(stored.hobt_columns);
    BuildDescriptors(object, definitions);
    BuildDataPageList(object.object_id);
  } else {
    AppendTypeOnePages(object.object_id, false);
    BuildDescriptors2000(object, definitions);
  }
  current_.user_type_texts = UserTypeTexts();
  current_.schema_loaded = true;
  for (size_t i = 0; i < current_.columns.size(); ++i) {
    if (!current_.columns[i].computed()) {
      current_.first_stored_index = static_cast<int>(i);
      break;
    }
  }
  return current_.columns;
}

std::vector<std::string> CMetadata::UserTypeTexts() const {
  std::vector<std::string> texts;
  for (const ScalarTypeRow& t : scalar_types_) {
    if (t.schema_id != 1) continue;
    const TypeCode code = TypeCodeFromSystemTypeId(t.system_type_id);
    int32_t length = t.length;
    if ((code == TypeCode::kNChar || code == TypeCode::kNVarChar) && length != -1) length /= 2;
    const std::string size = length == -1 ? "max" : std::to_string(length);
    std::string base(TypeName(t.system_type_id));
    if (base.empty()) continue;
    switch (code) {
      case TypeCode::kVarChar:
      case TypeCode::kNVarChar:
      case TypeCode::kVarBinary:
      case TypeCode::kBinary:
      case TypeCode::kChar:
      case TypeCode::kNChar:
        base += "(" + size + ")";
        break;
      default:
        break;
    }
    texts.push_back("Create type " + t.name + " from " + base);
  }
  return texts;
}

}  // namespace tarnwick
