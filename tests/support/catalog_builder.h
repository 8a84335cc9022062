// Builds data files whose system tables hold a catalog, so that a test can
// declare a table in a few lines and open the file with CMetadata.
//
// Every row description writes one row record in the layout of the matching
// reader/*_row.h header; CatalogBuilder lays the rows of each system object
// onto data pages (page type 1, header object id = the system object id)
// from page 16 on, after the boot page (9). Fields not given are zero.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "reader/byte_reader.h"
#include "reader/database_file.h"
#include "reader/metadata.h"
#include "reader/page_ref.h"
#include "reader/run_state.h"
#include "tests/support/data_file_builder.h"
#include "tests/support/recording_sink.h"

namespace tarnwick::testing {

// System object ids the builder writes to.
inline constexpr int32_t kSysFiles = 8;
inline constexpr int32_t kSysObjects = 34;
inline constexpr int32_t kSysObjects2000 = 1;
inline constexpr int32_t kSysColumns = 41;
inline constexpr int32_t kSysColumns2000 = 3;
inline constexpr int32_t kSysRowsets = 5;
inline constexpr int32_t kSysAllocationUnits = 7;
inline constexpr int32_t kSysRowsetColumns = 3;
inline constexpr int32_t kSysIndexes = 54;
inline constexpr int32_t kSysIndexColumns = 55;
inline constexpr int32_t kSysScalarTypes = 50;
inline constexpr int32_t kSysObjectValues = 60;
inline constexpr int32_t kSysReferences = 74;
inline constexpr int32_t kSysHobtColumns = 13;
inline constexpr int32_t kSysRowsetColumnMap = 4;

struct ObjectFields {
  int32_t id = 0;
  std::optional<std::string> name{};  // none: the row has no variable part
  std::string type = "U ";
  int32_t parent = 0;
  uint32_t status = 0;
  int32_t int_property = 0;
  int32_t schema = 1;
  uint8_t schema_class = 0;
  uint8_t parent_class = 1;
};

// A SQL Server 2000 object row: id, type at 4, parent at 24.
struct Object2000Fields {
  int32_t id = 0;
  std::string name{};
  std::string type = "U ";
  int32_t parent = 0;
};

struct ColumnFields {
  int32_t object_id = 0;
  int32_t column_id = 0;
  std::optional<std::string> name{};
  uint8_t system_type = 56;
  int16_t length = 4;
  bool nullable = true;
  int32_t user_type = -1;  // -1: the system type id
  uint8_t precision = 0;
  uint8_t scale = 0;
  int32_t collation = 0;
  std::optional<uint32_t> status{};      // overrides the nullable bit
  std::optional<ByteBuffer> identity{};  // second variable column; status 5
  int16_t number = 0;
};

struct Column2000Fields {
  int32_t object_id = 0;
  int16_t column_id = 0;
  std::string name{};
  uint8_t system_type = 56;
  int16_t length = 4;
  bool nullable = true;
  int16_t offset = 0;
};

struct RowsetFields {
  uint64_t rowset_id = 0;
  int32_t object_id = 0;
  int32_t index_id = 0;
};

struct AllocationUnitFields {
  uint64_t id = 0;
  uint64_t owner = 0;
  uint8_t type = 1;
  PageRef first_page{};
  PageRef first_iam_page{};
};

struct RowsetColumnFields {
  uint64_t rowset_id = 0;
  int32_t column_id = 0;
  int32_t hobt_column_id = 0;
  int16_t leaf_offset = 0;
  int32_t null_bit = 0;  // written to the low 16 bits
};

struct IndexFields {
  int32_t object_id = 0;
  int32_t index_id = 0;
  std::string name{};
  uint32_t status = 0x1;
  uint8_t index_type = 2;
  uint64_t rowset_id = 0;
};

struct IndexColumnFields {
  int32_t object_id = 0;
  int32_t index_id = 0;
  int32_t position = 1;
  int32_t column_id = 0;
  uint8_t key_ordinal = 1;
  uint32_t status = 0;
};

struct ScalarTypeFields {
  int32_t type_id = 0;
  std::string name{};
  uint8_t system_type = 0;
  int32_t schema = 1;
  int16_t length = 0;
  uint8_t precision = 0;
  uint8_t scale = 0;
};

struct FileFields {
  int16_t file_id = 0;
  std::string logical{};
  std::string physical{};
  int32_t status = 0;
};

struct ObjectValueFields {
  uint8_t value_class = 1;
  int32_t object_id = 0;
  int32_t minor_id = 0;
  ByteBuffer image{};
  int32_t value_number = 0;
  bool image_complex = false;
};

struct ReferenceFields {
  uint8_t ref_class = 0;
  int32_t v1 = 0;
  int32_t v5 = 0;
  int32_t v9 = 0;
  int32_t v13 = 0;
  int32_t v17 = 0;
};

struct HobtColumnFields {
  uint64_t rowset_id = 0;
  int32_t column_id = 0;
  int16_t leaf_offset = 0;
  int16_t null_bit = 0;
};

struct RowsetColumnMapFields {
  uint64_t rowset_id = 0;
  int32_t value8 = 0;
  int32_t value12 = 0;
};

// A column of Table(): stored in the row unless computed.
struct ColumnDef {
  std::string name{};
  uint8_t system_type = 56;
  int16_t length = 4;
  bool nullable = true;
  uint8_t precision = 0;
  uint8_t scale = 0;
  std::optional<std::pair<int64_t, int64_t>> identity{};
  std::optional<std::string> computed{};  // the definition, 8-bit text
  int32_t user_type = -1;
};

struct TableIds {
  int32_t object_id = 0;
  uint64_t rowset_id = 0;
  uint64_t allocation_unit_id = 0;
  int32_t page_key = 0;  // the header object id of its data pages
};

// The identity column bytes: 13 bytes with 4-byte seed at 4 and increment at
// 8, or (wide) 25 bytes with 8-byte values at 8 and 16.
ByteBuffer IdentityBytes(int64_t seed, int64_t increment, bool wide = false);
// UTF-16LE bytes of a UTF-8 text.
ByteBuffer Utf16(const std::string& text);

class CatalogBuilder {
 public:
  // With the built-in scalar types (schema 4), as every database has them.
  explicit CatalogBuilder(bool built_in_types = true);

  CatalogBuilder& Add(const ObjectFields& row);
  CatalogBuilder& Add(const Object2000Fields& row);
  CatalogBuilder& Add(const ColumnFields& row);
  CatalogBuilder& Add(const Column2000Fields& row);
  CatalogBuilder& Add(const RowsetFields& row);
  CatalogBuilder& Add(const AllocationUnitFields& row);
  CatalogBuilder& Add(const RowsetColumnFields& row);
  CatalogBuilder& Add(const IndexFields& row);
  CatalogBuilder& Add(const IndexColumnFields& row);
  CatalogBuilder& Add(const ScalarTypeFields& row);
  CatalogBuilder& Add(const FileFields& row);
  CatalogBuilder& Add(const ObjectValueFields& row);
  CatalogBuilder& Add(const ReferenceFields& row);
  CatalogBuilder& Add(const HobtColumnFields& row);
  CatalogBuilder& Add(const RowsetColumnMapFields& row);
  // Any record, appended to a system object's rows.
  CatalogBuilder& Row(int32_t system_object, ByteBuffer record);

  // An extra page whose header carries the object id, page type and index
  // id, with these records in its slots. Returns its page number in the
  // built file.
  uint32_t Page(int32_t object_id, uint8_t type, std::vector<ByteBuffer> records = {},
                uint16_t index_id = 1);

  // A heap user table: object row, column rows, a rowset, an in-row
  // allocation unit (id differing from the rowset id, as the server makes
  // them), rowset columns with fixed offsets from 4 and variable columns
  // -(n + 1), and data_pages empty data pages under the unit's key.
  // Computed columns get no rowset column but an object value row with
  // their definition.
  TableIds Table(const std::string& name, const std::vector<ColumnDef>& columns, int data_pages = 0,
                 int32_t object_id = 0);

  // The file. pages_of, when given, receives the page numbers that hold the
  // rows of each system object.
  DataFileBuilder Build(std::map<int32_t, std::vector<uint32_t>>* pages_of = nullptr) const;

 private:
  std::map<int32_t, std::vector<ByteBuffer>> rows_;
  struct ExtraPage {
    int32_t object_id;
    uint8_t type;
    std::vector<ByteBuffer> records;
    uint16_t index_id;
  };
  std::vector<ExtraPage> extra_;
  int32_t next_object_id_ = 2000;
  uint32_t first_extra_page_ = 0;
};

// A built catalog file written to a fresh folder and opened.
struct OpenedCatalog {
  TempDir dir;
  RunState state;
  RecordingSink sink;
  std::unique_ptr<CDatabaseFile> db;
  std::unique_ptr<CMetadata> metadata;
  bool opened = false;
};

// Writes the file as name in a fresh folder, opens it and builds the
// catalog (when the open succeeded). extra_files are written beside it.
std::unique_ptr<OpenedCatalog> OpenCatalog(
    const DataFileBuilder& file, const std::string& name = "test.mdf",
    const std::vector<std::pair<std::string, ByteBuffer>>& extra_files = {});

}  // namespace tarnwick::testing
