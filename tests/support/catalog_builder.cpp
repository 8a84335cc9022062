#include "tests/support/catalog_builder.h"

#include "platform/text_codec.h"
#include "records/type_code.h"
#include "tests/support/record_builder.h"

namespace tarnwick::testing {
namespace {

constexpr uint32_t kFirstBuiltPage = 16;
constexpr uint64_t kUnitBase = uint64_t{1} << 56;
// Room a page leaves for records and slots after its header.
constexpr size_t kPageRoom = kPageSize - 96 - 4;

class Fixed {
 public:
  explicit Fixed(size_t size) : bytes_(size, 0) {}
  Fixed& Put(size_t offset, uint64_t value, size_t width) {
    PutUnsigned(bytes_, offset, value, width);
    return *this;
  }
  Fixed& Chars(size_t offset, const std::string& text) {
    for (size_t i = 0; i < text.size(); ++i) Put(offset + i, static_cast<uint8_t>(text[i]), 1);
    return *this;
  }
  Fixed& Page(size_t offset, const PageRef& ref) {
    Put(offset, ref.page, 4);
    return Put(offset + 4, ref.file_id, 2);
  }
  ByteBuffer bytes() const { return bytes_; }

 private:
  ByteBuffer bytes_;
};

// A catalog row: its fixed part and variable columns; the column count
// covers both.
ByteBuffer Record(const Fixed& fixed, std::vector<ByteBuffer> vars = {}) {
  RowBuilder row;
  row.Fixed(fixed.bytes());
  row.Columns(static_cast<uint16_t>(12 + vars.size()));
  for (ByteBuffer& v : vars) row.Var(std::move(v));
  return row.Build();
}

uint64_t Unsigned(int64_t value) { return static_cast<uint64_t>(value); }

struct BuiltInType {
  int32_t id;
  const char* name;
  uint8_t system_type;
  int16_t length;
  uint8_t precision;
  uint8_t scale;
};

// The built-in scalar types as a database lists them (schema 4).
constexpr BuiltInType kBuiltInTypes[] = {
    {34, "image", 34, 16, 0, 0},
    {35, "text", 35, 16, 0, 0},
    {36, "uniqueidentifier", 36, 16, 0, 0},
    {40, "date", 40, 3, 10, 0},
    {41, "time", 41, 5, 16, 7},
    {42, "datetime2", 42, 8, 27, 7},
    {43, "datetimeoffset", 43, 10, 34, 7},
    {48, "tinyint", 48, 1, 3, 0},
    {52, "smallint", 52, 2, 5, 0},
    {56, "int", 56, 4, 10, 0},
    {58, "smalldatetime", 58, 4, 16, 0},
    {59, "real", 59, 4, 24, 0},
    {60, "money", 60, 8, 19, 4},
    {61, "datetime", 61, 8, 23, 3},
    {62, "float", 62, 8, 53, 0},
    {98, "sql_variant", 98, 8016, 0, 0},
    {99, "ntext", 99, 16, 0, 0},
    {104, "bit", 104, 1, 1, 0},
    {106, "decimal", 106, 17, 38, 38},
    {108, "numeric", 108, 17, 38, 38},
    {122, "smallmoney", 122, 4, 10, 4},
    {127, "bigint", 127, 8, 19, 0},
    {128, "hierarchyid", 240, 892, 0, 0},
    {129, "geometry", 240, -1, 0, 0},
    {130, "geography", 240, -1, 0, 0},
    {165, "varbinary", 165, 8000, 0, 0},
    {167, "varchar", 167, 8000, 0, 0},
    {173, "binary", 173, 8000, 0, 0},
    {175, "char", 175, 8000, 0, 0},
    {189, "timestamp", 189, 8, 0, 0},
    {231, "nvarchar", 231, 8000, 0, 0},
    {239, "nchar", 239, 8000, 0, 0},
    {241, "xml", 241, -1, 0, 0},
    {256, "sysname", 231, 256, 0, 0},
};

bool IsVariable(uint8_t system_type) {
  switch (system_type) {
    case 165:
    case 167:
    case 231:
    case 34:
    case 35:
    case 99:
    case 98:
    case 240:
    case 241:
      return true;
    default:
      return false;
  }
}

}  // namespace

ByteBuffer IdentityBytes(int64_t seed, int64_t increment, bool wide) {
  ByteBuffer out;
  PutUnsigned(out, 0, 1, 4);
  if (wide) {
    PutUnsigned(out, 4, 0, 4);
    PutUnsigned(out, 8, Unsigned(seed), 8);
    PutUnsigned(out, 16, Unsigned(increment), 8);
    PutUnsigned(out, 24, 1, 1);
  } else {
    PutUnsigned(out, 4, Unsigned(seed), 4);
    PutUnsigned(out, 8, Unsigned(increment), 4);
    PutUnsigned(out, 12, 1, 1);
  }
  return out;
}

ByteBuffer Utf16(const std::string& text) {
  const std::string wide = Utf8ToUtf16Le(text);
  return ByteBuffer(wide.begin(), wide.end());
}

CatalogBuilder::CatalogBuilder(bool built_in_types) {
  if (!built_in_types) return;
  for (const BuiltInType& t : kBuiltInTypes)
    Add(ScalarTypeFields{.type_id = t.id,
                         .name = t.name,
                         .system_type = t.system_type,
                         .schema = 4,
                         .length = t.length,
                         .precision = t.precision,
                         .scale = t.scale});
}

CatalogBuilder& CatalogBuilder::Row(int32_t system_object, ByteBuffer record) {
  rows_[system_object].push_back(std::move(record));
  return *this;
}

CatalogBuilder& CatalogBuilder::Add(const ObjectFields& o) {
  Fixed f(24);
  f.Put(0, static_cast<uint32_t>(o.id), 4).Put(4, static_cast<uint32_t>(o.schema), 4);
  f.Put(8, o.schema_class, 1).Put(9, o.status, 4).Chars(13, o.type.substr(0, 2));
  f.Put(15, static_cast<uint32_t>(o.parent), 4).Put(19, o.parent_class, 1);
  f.Put(20, static_cast<uint32_t>(o.int_property), 4);
  std::vector<ByteBuffer> vars;
  if (o.name) vars.push_back(Utf16(*o.name));
  return Row(kSysObjects, Record(f, std::move(vars)));
}

CatalogBuilder& CatalogBuilder::Add(const Object2000Fields& o) {
  Fixed f(28);
  f.Put(0, static_cast<uint32_t>(o.id), 4).Chars(4, o.type.substr(0, 2));
  f.Put(24, static_cast<uint32_t>(o.parent), 4);
  return Row(kSysObjects2000, Record(f, {Utf16(o.name)}));
}

CatalogBuilder& CatalogBuilder::Add(const ColumnFields& c) {
  Fixed f(41);
  uint32_t status = c.nullable ? 0 : 1;
  if (c.identity) status = 5;
  if (c.status) status = *c.status;
  f.Put(0, static_cast<uint32_t>(c.object_id), 4).Put(4, static_cast<uint16_t>(c.number), 2);
  f.Put(6, static_cast<uint32_t>(c.column_id), 4).Put(10, c.system_type, 1);
  f.Put(11, static_cast<uint32_t>(c.user_type < 0 ? c.system_type : c.user_type), 4);
  f.Put(15, static_cast<uint16_t>(c.length), 2).Put(17, c.precision, 1).Put(18, c.scale, 1);
  f.Put(19, static_cast<uint32_t>(c.collation), 4).Put(23, status, 4);
  f.Put(27, static_cast<uint16_t>(c.length), 2);
  std::vector<ByteBuffer> vars;
  if (c.name || c.identity) vars.push_back(Utf16(c.name.value_or("")));
  if (c.identity) vars.push_back(*c.identity);
  return Row(kSysColumns, Record(f, std::move(vars)));
}

CatalogBuilder& CatalogBuilder::Add(const Column2000Fields& c) {
  Fixed f(30);
  f.Put(0, static_cast<uint32_t>(c.object_id), 4).Put(4, c.system_type, 1);
  f.Put(5, c.nullable ? 0 : 1, 1).Put(6, c.system_type, 2);
  f.Put(8, static_cast<uint16_t>(c.length), 2).Put(12, static_cast<uint16_t>(c.column_id), 2);
  f.Put(14, static_cast<uint16_t>(c.offset), 2);
  return Row(kSysColumns2000, Record(f, {Utf16(c.name)}));
}

CatalogBuilder& CatalogBuilder::Add(const RowsetFields& r) {
  Fixed f(35);
  f.Put(0, r.rowset_id, 8).Put(8, 1, 1).Put(9, static_cast<uint32_t>(r.object_id), 4);
  f.Put(13, static_cast<uint32_t>(r.index_id), 4).Put(17, 1, 4);
  return Row(kSysRowsets, Record(f));
}

CatalogBuilder& CatalogBuilder::Add(const AllocationUnitFields& a) {
  Fixed f(41);
  f.Put(0, a.id, 8).Put(8, a.type, 1).Put(9, a.owner, 8).Put(21, 1, 2);
  f.Page(23, a.first_page).Page(29, a.first_page).Page(35, a.first_iam_page);
  return Row(kSysAllocationUnits, Record(f));
}

CatalogBuilder& CatalogBuilder::Add(const RowsetColumnFields& c) {
  Fixed f(50);
  f.Put(0, c.rowset_id, 8).Put(8, static_cast<uint32_t>(c.column_id), 4);
  f.Put(12, static_cast<uint32_t>(c.hobt_column_id), 4);
  f.Put(40, static_cast<uint16_t>(c.leaf_offset), 2).Put(44, static_cast<uint16_t>(c.null_bit), 2);
  return Row(kSysRowsetColumns, Record(f));
}

CatalogBuilder& CatalogBuilder::Add(const IndexFields& x) {
  Fixed f(35);
  f.Put(0, static_cast<uint32_t>(x.object_id), 4).Put(4, static_cast<uint32_t>(x.index_id), 4);
  f.Put(8, x.status, 4).Put(17, x.index_type, 1).Put(27, x.rowset_id, 8);
  return Row(kSysIndexes, Record(f, {Utf16(x.name)}));
}

CatalogBuilder& CatalogBuilder::Add(const IndexColumnFields& x) {
  Fixed f(23);
  f.Put(0, static_cast<uint32_t>(x.object_id), 4).Put(4, static_cast<uint32_t>(x.index_id), 4);
  f.Put(8, static_cast<uint32_t>(x.position), 4).Put(12, x.status, 4);
  f.Put(16, static_cast<uint32_t>(x.column_id), 4).Put(20, x.key_ordinal, 1);
  return Row(kSysIndexColumns, Record(f));
}

CatalogBuilder& CatalogBuilder::Add(const ScalarTypeFields& t) {
  Fixed f(45);
  f.Put(0, static_cast<uint32_t>(t.type_id), 4).Put(4, static_cast<uint32_t>(t.schema), 4);
  f.Put(8, t.system_type, 1).Put(9, static_cast<uint16_t>(t.length), 2);
  f.Put(11, t.precision, 1).Put(12, t.scale, 1);
  return Row(kSysScalarTypes, Record(f, {Utf16(t.name)}));
}

CatalogBuilder& CatalogBuilder::Add(const FileFields& file) {
  Fixed f(782);
  f.Put(0, static_cast<uint32_t>(file.status), 4).Put(4, static_cast<uint16_t>(file.file_id), 2);
  // Names are blank padded to their fields.
  auto name = [&](size_t offset, size_t units, const std::string& text) {
    ByteBuffer wide = Utf16(text);
    for (size_t i = 0; i < units; ++i) {
      uint16_t unit =
          2 * i + 1 < wide.size() ? static_cast<uint16_t>(wide[2 * i] | wide[2 * i + 1] << 8) : ' ';
      f.Put(offset + 2 * i, unit, 2);
    }
  };
  name(6, 128, file.logical);
  name(262, 260, file.physical);
  return Row(kSysFiles, Record(f));
}

CatalogBuilder& CatalogBuilder::Add(const ObjectValueFields& v) {
  Fixed f(13);
  f.Put(0, v.value_class, 1).Put(1, static_cast<uint32_t>(v.object_id), 4);
  f.Put(5, static_cast<uint32_t>(v.minor_id), 4).Put(9, static_cast<uint32_t>(v.value_number), 4);
  RowBuilder row;
  row.Fixed(f.bytes()).Columns(6);
  ByteBuffer variant;
  PutUnsigned(variant, 0, 0x0138, 2);
  PutUnsigned(variant, 2, 0, 4);
  row.Var(variant).Var(v.image, v.image_complex);
  return Row(kSysObjectValues, row.Build());
}

CatalogBuilder& CatalogBuilder::Add(const ReferenceFields& r) {
  Fixed f(21);
  f.Put(0, r.ref_class, 1)
      .Put(1, static_cast<uint32_t>(r.v1), 4)
      .Put(5, static_cast<uint32_t>(r.v5), 4);
  f.Put(9, static_cast<uint32_t>(r.v9), 4).Put(13, static_cast<uint32_t>(r.v13), 4);
  f.Put(17, static_cast<uint32_t>(r.v17), 4);
  return Row(kSysReferences, Record(f));
}

CatalogBuilder& CatalogBuilder::Add(const HobtColumnFields& h) {
  Fixed f(37);
  f.Put(0, h.rowset_id, 8).Put(8, static_cast<uint32_t>(h.column_id), 4);
  f.Put(27, static_cast<uint16_t>(h.leaf_offset), 2).Put(33, static_cast<uint16_t>(h.null_bit), 2);
  return Row(kSysHobtColumns, Record(f));
}

CatalogBuilder& CatalogBuilder::Add(const RowsetColumnMapFields& m) {
  Fixed f(16);
  f.Put(0, m.rowset_id, 8).Put(8, static_cast<uint32_t>(m.value8), 4);
  f.Put(12, static_cast<uint32_t>(m.value12), 4);
  return Row(kSysRowsetColumnMap, Record(f));
}

uint32_t CatalogBuilder::Page(int32_t object_id, uint8_t type, std::vector<ByteBuffer> records,
                              uint16_t index_id) {
  extra_.push_back({object_id, type, std::move(records), index_id});
  return kFirstBuiltPage + static_cast<uint32_t>(extra_.size() - 1);
}

TableIds CatalogBuilder::Table(const std::string& name, const std::vector<ColumnDef>& columns,
                               int data_pages, int32_t object_id) {
  TableIds ids;
  ids.object_id = object_id != 0 ? object_id : next_object_id_;
  next_object_id_ = std::max(next_object_id_, ids.object_id) + 100;
  ids.rowset_id = kUnitBase | (static_cast<uint64_t>(ids.object_id) << 16);
  ids.page_key = ids.object_id + 500000;
  ids.allocation_unit_id = kUnitBase | (static_cast<uint64_t>(ids.page_key) << 16);
  Add(ObjectFields{
      .id = ids.object_id, .name = name, .int_property = static_cast<int32_t>(columns.size())});
  Add(RowsetFields{.rowset_id = ids.rowset_id, .object_id = ids.object_id});
  Add(AllocationUnitFields{.id = ids.allocation_unit_id, .owner = ids.rowset_id});
  int16_t fixed_offset = 4;
  int16_t variable = 0;
  int32_t position = 0;
  for (size_t i = 0; i < columns.size(); ++i) {
    const ColumnDef& c = columns[i];
    const int32_t column_id = static_cast<int32_t>(i + 1);
    ColumnFields fields{.object_id = ids.object_id,
                        .column_id = column_id,
                        .name = c.name,
                        .system_type = c.system_type,
                        .length = c.length,
                        .nullable = c.nullable,
                        .user_type = c.user_type,
                        .precision = c.precision,
                        .scale = c.scale};
    if (c.identity) fields.identity = IdentityBytes(c.identity->first, c.identity->second);
    Add(fields);
    if (c.computed) {
      Add(ObjectValueFields{.value_class = 2,
                            .object_id = ids.object_id,
                            .minor_id = column_id,
                            .image = ByteBuffer(c.computed->begin(), c.computed->end())});
      continue;
    }
    ++position;
    int16_t leaf_offset;
    if (IsVariable(c.system_type) || c.length < 0) {
      leaf_offset = static_cast<int16_t>(-(++variable));
    } else {
      leaf_offset = fixed_offset;
      fixed_offset = static_cast<int16_t>(
          fixed_offset + StorageLength(TypeCodeFromSystemTypeId(c.system_type), c.length));
    }
    Add(RowsetColumnFields{.rowset_id = ids.rowset_id,
                           .column_id = column_id,
                           .hobt_column_id = position,
                           .leaf_offset = leaf_offset,
                           .null_bit = position});
  }
  for (int i = 0; i < data_pages; ++i) Page(ids.page_key, 1);
  return ids;
}

DataFileBuilder CatalogBuilder::Build(std::map<int32_t, std::vector<uint32_t>>* pages_of) const {
  struct Planned {
    int32_t object_id;
    uint8_t type;
    std::vector<const ByteBuffer*> records;
    uint16_t index_id = 1;
  };
  std::vector<Planned> plan;
  for (const ExtraPage& e : extra_) {
    Planned p{e.object_id, e.type, {}, e.index_id};
    for (const ByteBuffer& r : e.records) p.records.push_back(&r);
    plan.push_back(std::move(p));
  }
  for (const auto& [object_id, records] : rows_) {
    size_t used = kPageRoom;  // forces a first page
    for (const ByteBuffer& r : records) {
      if (used + r.size() + 2 > kPageRoom) {
        plan.push_back({object_id, 1, {}, 1});
        used = 0;
      }
      plan.back().records.push_back(&r);
      used += r.size() + 2;
    }
  }
  DataFileBuilder file(kFirstBuiltPage + static_cast<uint32_t>(plan.size()) + 1);
  file.Page(10) = PageBuilder();
  file.Page(10).PageId(10);
  for (size_t i = 0; i < plan.size(); ++i) {
    const uint32_t number = kFirstBuiltPage + static_cast<uint32_t>(i);
    PageBuilder& page = file.Page(number);
    page.Type(plan[i].type).ObjectId(plan[i].object_id).Set16(6, plan[i].index_id);
    for (const ByteBuffer* r : plan[i].records) page.AddRecord(*r);
    if (pages_of && i >= extra_.size()) (*pages_of)[plan[i].object_id].push_back(number);
  }
  return file;
}

std::unique_ptr<OpenedCatalog> OpenCatalog(
    const DataFileBuilder& file, const std::string& name,
    const std::vector<std::pair<std::string, ByteBuffer>>& extra_files) {
  auto opened = std::make_unique<OpenedCatalog>();
  file.WriteTo(opened->dir.File(name));
  for (const auto& [extra_name, bytes] : extra_files)
    WriteFileBytes(opened->dir.File(extra_name), bytes);
  opened->db = std::make_unique<CDatabaseFile>(opened->state, opened->sink);
  opened->opened = opened->db->Open(opened->dir.File(name));
  if (opened->opened) opened->metadata = std::make_unique<CMetadata>(*opened->db);
  return opened;
}

}  // namespace tarnwick::testing
