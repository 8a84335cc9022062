// The catalog of a database, read from the rows of its own system tables,
// and the schema model built on it.
//
// CMetadata is built once per scan from an open data file set. Its
// constructor runs the construction sequence (order matters, later steps
// read earlier lists):
//
//   1. status "Processing Metadata Information..........."
//   2. the boot page (version and collation into the run state)
//   3. file list (system object 8)
//   4. secondary files: route A from the file list when it has rows,
//      route B (the "*.ndf" files of the primary file's folder) otherwise;
//      from here on page reads reach the secondary files
//   5. objects (34); when that gives no row, SQL Server 2000 mode is set
//      and the SQL Server 2000 object table (1) is read instead
//   6. allocation units (7; 2000 mode: 99)
//   7. rowsets (5)
//   8. columns (41, then 2187); 2000 mode: the 2000 index (2) and column
//      (3) tables
//   9. scalar types (50)
//  10. newer layout only: rowset columns (3), single-object references
//      (74), indexes (54), index columns (55), hobt columns (13), rowset
//      column map (4), object values (60), then the dependent-object list,
//      the definitions list and the foreign keys derived from them
//
// Only the data pages (page type 1) that the page maps list for a system
// object are read: the maps also list its IAM and index pages, whose
// records would decode into junk rows. Pages whose header index id is 256
// or more are skipped as well: they belong to an allocation unit of another
// table whose id happens to carry the system table's object id (a header's
// object id is bits 16..47 of the allocation unit id, its index id bits
// 48..63). Within a page the records are taken in slot order; missing,
// rejected, blob-fragment and index records are skipped. Lists keep page
// order, and lookups over them are linear with the first match winning
// unless said otherwise.
//
// The current table is the per-table view that PrepareTable fills (and
// replaces on every call): columns, constraints, indexes, rowsets and data
// pages of one table.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "reader/column_descriptor.h"
#include "reader/column_row.h"
#include "reader/database_file.h"
#include "reader/file_row.h"
#include "reader/index_rows.h"
#include "reader/object_row.h"
#include "reader/page_ref.h"
#include "reader/reference_rows.h"
#include "reader/scalar_type_row.h"
#include "reader/storage_rows.h"

namespace tarnwick {

inline constexpr const char* kProcessingMetadata = "Processing Metadata Information...........";

// Two-character object type codes.
inline constexpr std::string_view kUserTableType = "U ";
inline constexpr std::string_view kSystemTableType = "S ";
inline constexpr std::string_view kPrimaryKeyType = "PK";
inline constexpr std::string_view kUniqueKeyType = "UQ";
inline constexpr std::string_view kForeignKeyType = "F ";
inline constexpr std::string_view kCheckType = "C ";
inline constexpr std::string_view kDefaultType = "D ";

// True for the type codes that PrepareTable does not prepare as a table:
// "PK", "X ", "P ", "C ", "FN", "IF", "TR", "V ", "D ", "TT", "F ", "TF".
bool IsNonTableType(std::string_view type_code);

// One entry of a definitions list: object id and column id in decimal, and
// the definition's bytes as "0x" followed by upper-case hexadecimal.
struct DefinitionEntry {
  std::string object_id;
  std::string column_id;
  std::string value;
};
using DefinitionList = std::vector<DefinitionEntry>;

// "0x" + upper-case hexadecimal of the bytes.
std::string HexValue(Bytes bytes);
// A definition value as text: the hexadecimal decoded to bytes, read as
// UTF-16LE when any byte after the first is zero, else as 8-bit text in the
// code page. Malformed hexadecimal is read up to the first bad digit.
std::string DefinitionText(std::string_view value, int32_t code_page);
// The text of the first entry for (object id, column id); empty when none.
std::string LookUpDefinition(const DefinitionList& definitions, int32_t object_id,
                             int32_t column_id, int32_t code_page);

// An object whose parent is the table: a constraint, default or trigger.
struct TableConstraint {
  std::string name;
  std::string type_code;
  // The constraint's object id; in SQL Server 2000 mode its parent's id.
  int32_t object_id = 0;
  bool primary_key = false;
  bool unique = false;
  bool foreign_key = false;
  uint32_t status = 0;
  // The column a default or check (or a single-column constraint) is on;
  // 0 when none.
  int32_t parent_column_id = 0;
  // Defaults and checks: the expression text from the object values.
  std::string definition;
};

struct TableIndexColumn {
  IndexColumnRow row;
  // The status of the index the column belongs to.
  uint32_t index_status = 0;
};

struct TableIndexList {
  std::vector<IndexRow> indexes;
  std::vector<TableIndexColumn> columns;
};

struct RowsetColumnList {
  std::vector<RowsetColumnRow> rowset_columns;
  // Used only when there are no rowset columns; completed from the rowset
  // column map.
  std::vector<HobtColumnRow> hobt_columns;
};

struct PrimaryKeyColumn {
  std::string table_name;
  std::string column_name;
  uint8_t key_ordinal = 0;
};

// An object that belongs to a table (schema class 0, parent class 1),
// joined with the single-object references it makes.
struct DependentObject {
  std::string name;
  int32_t object_id = 0;
  int32_t schema_id = 0;
  int32_t parent_object_id = 0;
  std::string type_code;
  int32_t int_property = 0;
  uint32_t status = 0;
  // References whose referencing object id is this object's, in list order.
  std::vector<SingleObjectRef> references;
  // From a class 27 reference with minor id 0: the referenced table and its
  // key index.
  int32_t referenced_object_id = 0;
  int32_t referenced_minor_id = 0;
  // From a class 97 reference with minor id 0.
  int32_t bound_object_id = 0;
  int32_t bound_minor_id = 0;
};

// Referential actions of a foreign key.
enum class ReferentialAction : uint8_t {
  kNoAction = 0,
  kCascade = 1,
  kSetNull = 2,
  kSetDefault = 3
};
std::string_view ReferentialActionName(ReferentialAction action);

inline constexpr uint32_t kForeignKeyUpdateCascade = 0x1000;
inline constexpr uint32_t kForeignKeyDeleteCascade = 0x4000;

struct ForeignKey {
  std::string name;
  int32_t object_id = 0;
  int32_t table_id = 0;
  std::string table_name;
  // Column names in key order, and the same joined as "[a], [b]".
  std::vector<std::string> columns;
  std::vector<int32_t> column_ids;
  std::string column_list;
  int32_t referenced_table_id = 0;
  std::string referenced_table_name;
  int32_t key_index_id = 0;
  std::vector<std::string> referenced_columns;
  std::vector<int32_t> referenced_column_ids;
  std::string referenced_column_list;
  // The object's status: bits 0x1000/0x2000 the update action, 0x4000/0x8000
  // the delete action.
  uint32_t status = 0;
  ReferentialAction on_update = ReferentialAction::kNoAction;
  ReferentialAction on_delete = ReferentialAction::kNoAction;
};

// The view of one table that PrepareTable fills.
struct CurrentTable {
  bool schema_loaded = false;
  // Index of the first descriptor without the computed marker; -1 if none.
  int first_stored_index = -1;
  // Set when the table's rowset or allocation unit had to be rebuilt from
  // its indexes or from the page maps.
  bool rebuilt_from_indexes = false;
  CatalogObject object;
  std::vector<TableConstraint> constraints;
  RowsetRow rowset;
  AllocationUnitRow allocation_unit;
  std::vector<RowsetRow> rowsets;
  std::vector<AllocationUnitRow> allocation_units;
  std::vector<RowsetColumnRow> rowset_columns;
  std::vector<HobtColumnRow> hobt_columns;
  std::vector<ColumnDescriptor> columns;
  std::vector<IndexRow> indexes;
  std::vector<TableIndexColumn> index_columns;
  std::vector<PrimaryKeyColumn> primary_key_columns;
  std::vector<PageRef> data_pages;
  std::vector<std::string> user_type_texts;
};

class CMetadata {
 public:
  // Runs the construction sequence. The data file set must be open and must
  // outlive the catalog; it gains its secondary files here. SQL Server 2000
  // mode is written into the data file set's run state.
  explicit CMetadata(CDatabaseFile& database);
  CMetadata(const CMetadata&) = delete;
  CMetadata& operator=(const CMetadata&) = delete;

  const CDatabaseFile& database() const { return database_; }
  bool sql2000() const { return database_.state().sql2000_mode; }

  // The catalog lists.
  const std::vector<SecondaryFile>& fileList() const { return files_; }
  const std::vector<CatalogObject>& objects() const { return objects_; }
  const std::vector<AllocationUnitRow>& allocationUnits() const { return allocation_units_; }
  const std::vector<RowsetRow>& rowsets() const { return rowsets_; }
  const std::vector<ColumnRow>& columnRows() const { return columns_; }
  const std::vector<IndexRow>& indexes() const { return indexes_; }
  const std::vector<IndexColumnRow>& indexColumns() const { return index_columns_; }
  const std::vector<RowsetColumnRow>& rowsetColumnRows() const { return rowset_columns_; }
  const std::vector<HobtColumnRow>& hobtColumnRows() const { return hobt_columns_; }
  const std::vector<RowsetColumnMapRow>& rowsetColumnMap() const { return rowset_column_map_; }
  const std::vector<ScalarTypeRow>& scalarTypes() const { return scalar_types_; }
  const std::vector<SingleObjectRef>& singleObjectRefs() const { return references_; }
  const std::vector<ObjectValueRow>& objectValues() const { return object_values_; }
  const std::vector<DependentObject>& dependentObjects() const { return dependents_; }
  const std::vector<ColumnRow2000>& columnRows2000() const { return columns_2000_; }
  const std::vector<IndexRow2000>& indexRows2000() const { return indexes_2000_; }
  // Computed column definitions (table id, column id) and default and check
  // texts (constraint id, 0), from the object values.
  const DefinitionList& definitions() const { return definitions_; }
  const std::vector<ForeignKey>& foreignKeys() const { return foreign_keys_; }

  // The user tables ("U ") in object-list order.
  std::vector<CatalogObject> UserTables() const;
  // The name of an object; empty when there is no such object.
  std::string ObjectName(int32_t object_id) const;
  // The foreign keys whose table is the object.
  std::vector<ForeignKey> ForeignKeysOf(int32_t table_id) const;

  // The first object whose name equals the name and whose type code equals
  // type_code or is neither "U " nor "S ". Not found: object id -1.
  CatalogObject FindObject(std::string_view name, std::string_view type_code) const;
  // Every object whose parent is the object, in object-list order.
  std::vector<TableConstraint> TableConstraints(int32_t object_id) const;
  // The heap or clustered rowset of the object (the smallest minor id of 0
  // or 1, the later entry on a tie); else one made from the first index
  // with a rowset id (marks the current table rebuilt from indexes); else
  // the last rowset of the object. Nothing at all: rowset id 0.
  RowsetRow TableRowset(int32_t object_id);
  // The last in-row (type 1) allocation unit owned by the rowset; else one
  // made up from the page maps (id = owner = the rowset id). Becomes the
  // current table's allocation unit.
  AllocationUnitRow TableAllocationUnit(uint64_t rowset_id);
  // All rowsets of the object; none: one per index with a rowset id.
  std::vector<RowsetRow> TableRowsets(int32_t object_id) const;
  // The column rows of the object (bits 24 and 25 of both ids ignored)
  // with number 0, the first row of each column id, in list order.
  std::vector<ColumnRow> TableColumnRows(int32_t object_id) const;
  // The real indexes of the object (status bit 0x1, index id above 0) and
  // their index column rows, each with its index's status.
  TableIndexList TableIndexes(int32_t object_id) const;
  // The rowset column rows of the rowset; none: its hobt column rows.
  RowsetColumnList RowsetColumns(uint64_t rowset_id) const;
  // The alias type (schema 1) with the user type id over the system type
  // id; else the built-in type of the system type id; else an empty row.
  ScalarTypeRow ColumnType(int32_t system_type_id, int32_t user_type_id) const;

  // Fills the current table for the object found by FindObject(table_name,
  // type_code) and returns its column descriptors. Not found: empty. An
  // object of a non-table type: three placeholder records carrying its id
  // in decimal, its type code and its name, with the schema-loaded flag
  // cleared.
  std::vector<ColumnDescriptor> PrepareTable(std::string_view type_code,
                                             std::string_view table_name,
                                             const DefinitionList& definitions);
  // The same with the catalog's own definitions list.
  std::vector<ColumnDescriptor> PrepareTable(std::string_view type_code,
                                             std::string_view table_name) {
    return PrepareTable(type_code, table_name, definitions_);
  }
  // The same for an object already found (two objects may share a name).
  std::vector<ColumnDescriptor> PrepareObject(const CatalogObject& object,
                                              const DefinitionList& definitions);
  const CurrentTable& currentTable() const { return current_; }

  // "Create type <name> from <base>" for every alias type of schema 1.
  std::vector<std::string> UserTypeTexts() const;

  // The page-map key of an allocation unit's data pages: its id / 65536
  // when it equals its owner id, else (id - 2^56) / 65536 (low 32 bits).
  static int32_t DataPageKey(const AllocationUnitRow& unit);

 private:
  template <class Visit>
  void ScanSystemObject(int32_t id, Visit&& visit) const;
  void ReadFileList();
  void FindSecondaryFiles();
  void ReadObjects();
  void ReadNewerLayout();
  void BuildDependentObjects();
  void BuildDefinitions();
  void BuildForeignKeys();

  void BuildDescriptors(const CatalogObject& object, const DefinitionList& definitions);
  void BuildDescriptors2000(const CatalogObject& object, const DefinitionList& definitions);
  void BuildDataPageList(int32_t object_id);
  // Appends the type-1 pages of dataPages[key]. expected_index_id: when
  // the key is also a system table's id, only pages whose header index id
  // is this one (the allocation unit id's bits 48..63) are taken.
  void AppendTypeOnePages(int32_t key, bool unique_only,
                          std::optional<uint16_t> expected_index_id = std::nullopt);
  bool PageOfUnit(const PageRef& ref, int32_t key, uint16_t expected_index_id) const;
  std::string SqlTypeText(const ColumnRow& row, const ScalarTypeRow& type) const;

  CDatabaseFile& database_;
  std::vector<SecondaryFile> files_;
  std::vector<CatalogObject> objects_;
  std::vector<AllocationUnitRow> allocation_units_;
  std::vector<RowsetRow> rowsets_;
  std::vector<ColumnRow> columns_;
  std::vector<IndexRow> indexes_;
  std::vector<IndexColumnRow> index_columns_;
  std::vector<RowsetColumnRow> rowset_columns_;
  std::vector<HobtColumnRow> hobt_columns_;
  std::vector<RowsetColumnMapRow> rowset_column_map_;
  std::vector<ScalarTypeRow> scalar_types_;
  std::vector<SingleObjectRef> references_;
  std::vector<ObjectValueRow> object_values_;
  std::vector<DependentObject> dependents_;
  std::vector<ColumnRow2000> columns_2000_;
  std::vector<IndexRow2000> indexes_2000_;
  DefinitionList definitions_;
  std::vector<ForeignKey> foreign_keys_;
  CurrentTable current_;
};

}  // namespace tarnwick
