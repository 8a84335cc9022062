#include "export/table_script.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tarnwick {
namespace {

using T = typeCode;

ColumnDescriptor Column(const std::string& name, T code, const std::string& type_text,
                        int32_t column_id = 0) {
  ColumnDescriptor c;
  c.column_id = column_id;
  c.ordinal = column_id;
  c.name = name;
  c.typeCode = code;
  c.type_text = type_text;
  c.nullable = true;
  return c;
}

ColumnDescriptor Computed(const std::string& name, const std::string& definition) {
  ColumnDescriptor c = Column(name, T::kInt, "int(4)");
  c.ordinal = kComputedMarker;
  c.value = definition;
  return c;
}

TEST(ColumnTypeText, MapsEveryTypeCode) {
  struct Case {
    T code;
    const char* type_text;
    bool sparse;
    uint8_t precision;
    uint8_t scale;
    bool sql2000;
    const char* expected;
  };
  const Case cases[] = {
      {T::kBigInt, "bigint(8)", false, 0, 0, false, "BigInt"},
      {T::kBigInt, "bigint(8)", true, 0, 0, false, "BigInt  SPARSE"},
      {T::kBinary, "binary(16)", false, 0, 0, false, "binary(16)"},
      {T::kBinary, "binary()", false, 0, 0, false, "binary(8000)"},
      {T::kBinary, "binary(16)", true, 0, 0, false, "binary(16)  SPARSE"},
      {T::kBit, "bit(1)", false, 0, 0, false, "bit"},
      {T::kChar, "char(10)", false, 0, 0, false, "char(10)"},
      {T::kDateTime, "datetime(8)", true, 0, 0, false, "datetime  SPARSE"},
      {T::kDate, "date(3)", false, 0, 0, false, "date"},
      {T::kTime, "time(5)", false, 16, 3, false, "time(3)"},
      {T::kDateTime2, "datetime2(8)", false, 27, 7, false, "DateTime2(7)"},
      {T::kDateTimeOffset, "datetimeoffset(10)", false, 34, 0, false, "datetimeoffset(0)"},
      {T::kInt, "int(4)", false, 0, 0, false, "int"},
      {T::kNChar, "nchar(20)", false, 0, 0, false, "nchar(10)"},
      {T::kNChar, "nchar(21)", false, 0, 0, false, "nchar(10)"},
      {T::kNChar, "nchar(-1)", false, 0, 0, false, "nchar(max)"},
      {T::kNVarChar, "nvarchar(100)", false, 0, 0, false, "nvarchar(50)"},
      {T::kNVarChar, "nvarchar(3998)", false, 0, 0, false, "nvarchar(1999)"},
      {T::kNVarChar, "nvarchar(4000)", false, 0, 0, false, "nvarchar(4000)"},
      {T::kNVarChar, "nvarchar(8000)", true, 0, 0, false, "nvarchar(4000)  SPARSE"},
      {T::kNVarChar, "nvarchar(-1)", false, 0, 0, false, "nvarchar(max)"},
      {T::kNVarChar, "nvarchar(-1)", false, 0, 0, true, "nvarchar(4000)"},
      {T::kSmallInt, "smallint(2)", false, 0, 0, false, "smallint"},
      {T::kTinyInt, "tinyint(1)", false, 0, 0, false, "tinyint"},
      {T::kUniqueIdentifier, "uniqueidentifier(16)", false, 0, 0, false, "uniqueidentifier"},
      {T::kVarBinary, "varbinary(50)", false, 0, 0, false, "varbinary(50)"},
      {T::kVarBinary, "varbinary(8000)", false, 0, 0, false, "varbinary(8000)"},
      {T::kVarBinary, "varbinary(8001)", false, 0, 0, false, "varbinary(8000)"},
      {T::kVarBinary, "varbinary(-1)", false, 0, 0, false, "varbinary(max)"},
      {T::kVarBinary, "varbinary(-1)", false, 0, 0, true, "varbinary(4000)"},
      {T::kVarChar, "varchar(20)", false, 0, 0, false, "varchar(20)"},
      {T::kVarChar, "varchar(9000)", false, 0, 0, false, "varchar(8000)"},
      {T::kVarChar, "varchar(-1)", false, 0, 0, false, "varchar(max)"},
      {T::kVarChar, "varchar(-1)", true, 0, 0, true, "varchar(4000)  SPARSE"},
      {T::kVarChar, "varchar()", false, 0, 0, false, "varchar(8000)"},
      // Only the first parentheses count.
      {T::kVarChar, "varchar(20)(7)", false, 0, 0, false, "varchar(20)"},
      {T::kSysName, "sysname(256)", true, 0, 0, false, "text"},
      {T::kNText, "ntext(16)", true, 0, 0, false, "ntext"},
      {T::kSqlVariant, "sql_variant(8016)", false, 0, 0, false, "sql_variant"},
      {T::kMoney, "money(8)", false, 19, 4, false, "money"},
      {T::kFloat, "float(8)", true, 53, 0, false, "float  SPARSE"},
      {T::kNumeric, "numeric(9)", false, 18, 0, false, "numeric(18, 0)"},
      {T::kDecimal, "decimal(9)", false, 10, 2, false, "decimal(10, 2)"},
      {T::kDecimal, "decimal(17)", false, 38, 18, false, "decimal(38, 18)"},
      {T::kDecimal, "decimal(17)", false, 38, 19, false, "char(45)"},
      {T::kDecimal, "decimal(9)", false, 0, 0, false, "char(45)"},
      {T::kNumeric, "numeric(17)", true, 39, 0, false, "char(45)  SPARSE"},
      {T::kImage, "image(16)", false, 0, 0, false, "image"},
      {T::kText, "text(16)", true, 0, 0, false, "text"},
      {T::kSmallDateTime, "smalldatetime(4)", false, 0, 0, false, "smalldatetime"},
      {T::kReal, "real(4)", false, 0, 0, false, "real"},
      {T::kSmallMoney, "smallmoney(4)", false, 0, 0, false, "smallmoney"},
      {T::kTimestamp, "timestamp(8)", false, 0, 0, false, "varbinary(20)"},
      {T::kTimestamp, "timestamp(8)", true, 0, 0, false, "varbinary(20)  SPARSE"},
      {T::kClr, "geography(-1)", true, 0, 0, false, "geography  SPARSE"},
      {T::kXml, "xml(-1)", false, 0, 0, false, "xml"},
      // Codes without a row of their own.
      {T::kRowId, "(8)", true, 0, 0, false, "text"},
      {T::kHierarchyId, "hierarchyid(892)", false, 0, 0, false, "text"},
      {T::kGeometry, "geometry(-1)", false, 0, 0, false, "text"},
  };
  for (const Case& c : cases) {
    ColumnDescriptor column = Column("c", c.code, c.type_text);
    column.sparse = c.sparse;
    column.precision = c.precision;
    column.scale = c.scale;
    EXPECT_EQ(ColumnTypeText(column, c.sql2000), c.expected)
        << static_cast<int>(c.code) << " " << c.type_text << (c.sql2000 ? " 2000" : "");
  }
}

TEST(ColumnNames, AreSanitisedForTheTableStatement) {
  struct Case {
    std::string name;
    size_t position;
    std::string expected;
  };
  const Case cases[] = {
      {"a b", 0, "ab"},
      {" - - ", 3, "Repaircln3"},
      {"", 0, "Repaircln0"},
      {"x.y!z[w]`v-u", 1, "xyzwvu"},
      {"tab\tname\x1F", 1, "tabname"},
      {std::string("\x01\x02", 2), 2, "Repaircln2"},
      {"a_b#1", 0, "a_b#1"},
      {"Größe", 0, "Größe"},
      {"x\x7F", 0, "x\x7F"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(SanitizedColumnName(c.name, c.position), c.expected) << c.name;
}

TEST(ColumnNames, DuplicatesGetUnderscoresBeforeTheyAreWritten) {
  struct Case {
    const char* what;
    std::vector<ColumnDescriptor> columns;
    std::vector<std::string> stored;  // the names after BuildCreateTable
    const char* create;
  };
  const ColumnDescriptor a = Column("a", T::kInt, "int(4)");
  const ColumnDescriptor b = Column("b", T::kInt, "int(4)");
  const ColumnDescriptor a_ = Column("a_", T::kInt, "int(4)");
  const ColumnDescriptor a_b = Column("a b", T::kInt, "int(4)");
  std::vector<Case> cases = {
      {"three", {a, a, a}, {"a", "a_", "a__"}, "Create TABLE  [t]([a] int,[a_] int,[a__] int)"},
      {"apart", {a, b, a}, {"a", "b", "a_"}, "Create TABLE  [t]([a] int,[b] int,[a_] int)"},
      // Every other column, also one already written, takes the underscore.
      {"earlier", {a_, a, a}, {"a__", "a", "a_"}, "Create TABLE  [t]([a_] int,[a] int,[a_] int)"},
      // A skipped computed column does not rename others but is renamed.
      {"skipped", {Computed("a", ""), a}, {"a_", "a"}, "Create TABLE  [t]([a] int)"},
      // Stored names are compared, not sanitised ones.
      {"sanitised",
       {a_b, Column("ab", T::kInt, "int(4)")},
       {"a b", "ab"},
       "Create TABLE  [t]([ab] int,[ab] int)"},
  };
  for (Case& c : cases) {
    const CreateTableText create = BuildCreateTable("t", c.columns, false);
    EXPECT_EQ(create.text, c.create) << c.what;
    std::vector<std::string> stored;
    for (const ColumnDescriptor& column : c.columns) stored.push_back(column.name);
    EXPECT_EQ(stored, c.stored) << c.what;
  }
}

TEST(Identifiers, BracketsDoubleTheClosingBracket) {
  struct Case {
    std::string name;
    const char* bracketed;
    const char* as_needed;
  };
  const Case cases[] = {
      {"t", "[t]", "t"},
      {"a]b", "[a]]b]", "[a]]b]"},
      {"]]", "[]]]]]", "[]]]]]"},
      {"[x", "[[x]", "[[x]"},
      {"key", "[key]", "[key]"},
      {"KEY", "[KEY]", "[KEY]"},
      {"order", "[order]", "[order]"},
      {"orders", "[orders]", "orders"},
      {"my table", "[my table]", "[my table]"},
      {"a'b", "[a'b]", "[a'b]"},
      {"dbo.t", "[dbo.t]", "[dbo.t]"},
      {"a-b", "[a-b]", "[a-b]"},
      {"1abc", "[1abc]", "[1abc]"},
      {"_x1", "[_x1]", "_x1"},
      {"x@$#", "[x@$#]", "x@$#"},
      {"@x", "[@x]", "[@x]"},
      {"#t", "[#t]", "[#t]"},
      {"$x", "[$x]", "[$x]"},
      {"Größe", "[Größe]", "Größe"},
      {"Таблица1", "[Таблица1]", "Таблица1"},
      {"a\u00A0b", "[a\u00A0b]", "[a\u00A0b]"},  // no-break space
      {"a\u2013b", "[a\u2013b]", "[a\u2013b]"},  // en dash
      {"a\u3000b", "[a\u3000b]", "[a\u3000b]"},  // ideographic space
      {"", "[]", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(BracketName(c.name), c.bracketed) << c.name;
    EXPECT_EQ(NameIfNeeded(c.name), c.as_needed) << c.name;
  }
  EXPECT_EQ(SqlStringText("O'Hara's"), "O''Hara''s");
}

TEST(CreateTable, Statements) {
  struct Case {
    const char* what;
    std::string table;
    std::vector<ColumnDescriptor> columns;
    bool sql2000;
    std::string expected;
    bool has_identity;
  };
  ColumnDescriptor id = Column("id", T::kInt, "int(4)");
  id.nullable = false;
  id.identity = "identity(1,1)";
  ColumnDescriptor key_id = id;
  key_id.primary_key = true;
  key_id.nullable = true;
  ColumnDescriptor nullable_identity = Column("n", T::kBigInt, "bigint(8)");
  nullable_identity.identity = "identity(-5,10)";
  const ColumnDescriptor n = Column("n", T::kVarChar, "varchar(20)");
  ColumnDescriptor key_name = n;
  key_name.primary_key = true;
  ColumnDescriptor guid = Column("g", T::kUniqueIdentifier, "uniqueidentifier(16)");
  guid.rowguid = true;
  guid.nullable = false;
  ColumnDescriptor computed_guid = Computed("cg", "(newid())");
  computed_guid.rowguid = true;
  const std::string on = "\r\n GO\r\nSET IDENTITY_INSERT ";
  std::vector<Case> cases = {
      {"the example",
       "t",
       {id, n},
       false,
       "Create TABLE  [t]([id] int identity(1,1)  not null ,[n] varchar(20))" + on + "t ON",
       true},
      {"no identity", "t", {n}, false, "Create TABLE  [t]([n] varchar(20))", false},
      {"key column",
       "t",
       {key_name},
       false,
       "Create TABLE  [t]([n] varchar(20)  not null )",
       false},
      {"key identity",
       "t",
       {key_id},
       false,
       "Create TABLE  [t]([id] int identity(1,1)  not null )" + on + "t ON",
       true},
      {"nullable identity",
       "t",
       {nullable_identity},
       false,
       "Create TABLE  [t]([n] BigInt identity(-5,10))" + on + "t ON",
       true},
      {"2000: no identity on a NOT NULL column",
       "t",
       {id, n},
       true,
       "Create TABLE  [t]([id] int  not null ,[n] varchar(20))",
       false},
      {"2000: identity on a nullable column",
       "t",
       {nullable_identity},
       true,
       "Create TABLE  [t]([n] BigInt identity(-5,10))" + on + "t ON",
       true},
      {"rowguid",
       "t",
       {guid},
       false,
       "Create TABLE  [t]([g] uniqueidentifier ROWGUIDCOL   not null )",
       false},
      {"computed",
       "t",
       {Column("a", T::kInt, "int(4)"), Computed("c", "([a]+[b])")},
       false,
       "Create TABLE  [t]([a] int,[c] AS ([a]+[b]))",
       false},
      {"computed rowguid keeps only the definition",
       "t",
       {computed_guid},
       false,
       "Create TABLE  [t]([cg] AS (newid()))",
       false},
      {"computed without definition is left out",
       "t",
       {Computed("c", ""), n},
       false,
       "Create TABLE  [t]([n] varchar(20))",
       false},
      {"only computed columns without definition",
       "t",
       {Computed("c", ""), Computed("d", "")},
       false,
       "",
       false},
      {"no columns", "t", {}, false, "", false},
      {"blank column name",
       "t",
       {Column(" - ", T::kInt, "int(4)"), Column("a b", T::kInt, "int(4)")},
       false,
       "Create TABLE  [t]([Repaircln0] int,[ab] int)",
       false},
      {"bracket in the table name",
       "a]b",
       {id},
       false,
       "Create TABLE  [a]]b]([id] int identity(1,1)  not null )" + on + "[a]]b] ON",
       true},
      {"reserved table name",
       "order",
       {id},
       false,
       "Create TABLE  [order]([id] int identity(1,1)  not null )" + on + "[order] ON",
       true},
  };
  for (Case& c : cases) {
    const CreateTableText create = BuildCreateTable(c.table, c.columns, c.sql2000);
    EXPECT_EQ(create.text, c.expected) << c.what;
    EXPECT_EQ(create.hasIdentity, c.has_identity) << c.what;
  }
}

// A table definition the tests fill by hand.
struct Schema {
  std::string name = "t";
  std::vector<ColumnDescriptor> columns;
  std::vector<TableConstraint> constraints;
  std::vector<IndexRow> indexes;
  std::vector<TableIndexColumn> index_columns;
  std::vector<PrimaryKeyColumn> primary_key_columns;

  TableDefinition definition() const {
    return TableDefinition{name, columns, constraints, indexes, index_columns, primary_key_columns};
  }
};

TableConstraint Constraint(const std::string& name, const std::string& type, uint32_t status = 0,
                           int32_t parent_column = 0, const std::string& definition = "") {
  TableConstraint c;
  c.name = name;
  c.type_code = type;
  c.status = status;
  c.parent_column_id = parent_column;
  c.definition = definition;
  return c;
}

IndexRow Index(int32_t index_id, const std::string& name, uint8_t type, uint32_t status = 1) {
  IndexRow index;
  index.index_id = index_id;
  index.name = name;
  index.index_type = type;
  index.status = status;
  return index;
}

TableIndexColumn IndexColumn(int32_t index_id, int32_t column_id, uint8_t key_ordinal,
                             uint32_t status = 0) {
  TableIndexColumn entry;
  entry.row.index_id = index_id;
  entry.row.int_property = column_id;
  entry.row.key_ordinal = key_ordinal;
  entry.row.status = status;
  return entry;
}

Schema BaseSchema() {
  Schema s;
  s.columns = {Column("key", T::kInt, "int(4)", 1), Column("id", T::kInt, "int(4)", 2),
               Column("Created", T::kDateTime, "datetime(8)", 3),
               Column("my col", T::kInt, "int(4)", 4)};
  return s;
}

TEST(Constraints, Statements) {
  struct Case {
    const char* what;
    Schema schema;
    std::vector<std::string> expected;
  };
  std::vector<Case> cases;
  {
    Schema s = BaseSchema();
    s.constraints = {Constraint("PK_t", "PK")};
    // Listed out of key order.
    s.primary_key_columns = {{"t", "id", 2}, {"t", "key", 1}, {"other", "x", 1}};
    s.indexes = {Index(1, "PK_t", 1)};
    cases.push_back(
        {"primary key", s, {"Alter Table [t] add constraint [PK_t] Primary key([key] , id )"}});
    s.indexes = {Index(2, "PK_t", 2)};
    cases.push_back(
        {"nonclustered primary key",
         s,
         {"Alter Table [t] add constraint [PK_t] Primary key nonclustered ([key] , id )"}});
    s.primary_key_columns.clear();
    cases.push_back({"no key columns", s, {}});
  }
  {
    Schema s = BaseSchema();
    s.name = "my t";
    s.constraints = {Constraint("PK]x", "PK")};
    s.primary_key_columns = {{"my t", "my col", 1}};
    cases.push_back({"bracketed names",
                     s,
                     {"Alter Table [my t] add constraint [PK]]x] Primary key([my col] )"}});
  }
  {
    Schema s = BaseSchema();
    s.constraints = {
        Constraint("DF_t_Created", "D ", 0, 3, "(getdate())"),
        Constraint("DF_unnamed", "D ", 0x4, 4, "((0))"),
        Constraint("DF_lost", "D ", 0, 99, "((1))"),
        Constraint("CK_t_id", "C ", 0x120000, 2, "([id]>(0))"),
        Constraint("CK_half", "C ", 0x20000, 2, "([id]>(0))"),
        Constraint("FK_t", "F "),
        Constraint("TR_t", "TR"),
    };
    cases.push_back({"defaults and checks",
                     s,
                     {"Alter Table t add constraint DF_t_Created default (getdate()) for Created",
                      "Alter Table t add default ((0)) for [my col]",
                      "Alter Table t add constraint DF_lost default ((1)) for ",
                      "Alter Table t add constraint CK_t_id check ([id]>(0))",
                      "Alter Table t add constraint CK_half for id"}});
  }
  {
    Schema s = BaseSchema();
    s.columns[1].unique_key = true;
    s.columns[1].unique_ordinal = 2;
    s.columns[3].unique_key = true;
    s.columns[3].unique_ordinal = 1;
    s.constraints = {Constraint("UQ_a", "UQ"), Constraint("UQ_b", "UQ")};
    s.indexes = {Index(2, "UQ_a", 2), Index(3, "UQ_b", 1)};
    cases.push_back({"unique keys",
                     s,
                     {"Alter Table [t] add constraint [UQ_a] unique([my col] , id )",
                      "Alter Table [t] add constraint [UQ_b] unique clustered([my col] , id )"}});
  }
  {
    Schema s = BaseSchema();
    s.constraints = {Constraint("UQ_a", "UQ")};
    cases.push_back({"unique key without members", s, {}});
  }
  for (const Case& c : cases)
    EXPECT_EQ(BuildConstraintStatements(c.schema.definition()), c.expected) << c.what;
}

TEST(Indexes, Statements) {
  struct Case {
    const char* what;
    Schema schema;
    std::vector<std::string> expected;
  };
  std::vector<Case> cases;
  {
    Schema s = BaseSchema();
    s.indexes = {Index(2, "IX_t", 2, 0x1)};
    s.index_columns = {IndexColumn(2, 3, 2, 0x4), IndexColumn(2, 4, 0), IndexColumn(2, 1, 1),
                       IndexColumn(2, 2, 0)};
    cases.push_back({"keys, descending and included",
                     s,
                     {"Create Index IX_t on t([key] , Created desc ) include([my col] , id )"}});
  }
  {
    Schema s = BaseSchema();
    s.indexes = {Index(1, "CIX t", 1, 0x9)};
    s.index_columns = {IndexColumn(1, 2, 1)};
    cases.push_back({"unique clustered", s, {"Create unique clustered Index [CIX t] on t(id )"}});
  }
  {
    Schema s = BaseSchema();
    s.name = "order";
    s.indexes = {Index(2, "IX", 2, 0x9)};
    s.index_columns = {IndexColumn(2, 2, 1)};
    cases.push_back({"reserved table name", s, {"Create unique Index IX on [order](id )"}});
  }
  {
    Schema s = BaseSchema();
    s.constraints = {Constraint("PK_t", "PK")};
    s.indexes = {Index(1, "PK_t", 1), Index(2, "IX_only_included", 2), Index(3, "IX_lost", 2),
                 Index(4, "IX_id", 2)};
    s.index_columns = {IndexColumn(1, 1, 1), IndexColumn(2, 1, 0), IndexColumn(3, 77, 1),
                       IndexColumn(4, 77, 1), IndexColumn(4, 2, 2)};
    cases.push_back(
        {"constraint indexes, no keys, unknown columns", s, {"Create Index IX_id on t(id )"}});
  }
  for (const Case& c : cases)
    EXPECT_EQ(BuildIndexStatements(c.schema.definition()), c.expected) << c.what;
}

TEST(ForeignKeys, Statements) {
  struct Case {
    const char* what;
    std::string name;
    uint32_t status;
    std::string table;
    std::vector<std::string> columns;
    std::string expected;
  };
  const Case cases[] = {
      {"both cascades",
       "FK_a",
       0x5000,
       "Lines",
       {"OrderNo", "Region"},
       "alter table Lines add constraint FK_a foreign key([OrderNo], [Region]) references "
       "Orders([No], [Region]) on update cascade on delete cascade"},
      {"update cascade alone",
       "FK_a",
       0x1000,
       "Lines",
       {"OrderNo"},
       "alter table Lines add constraint FK_a foreign key([OrderNo]) references Orders([No])"},
      {"delete cascade",
       "FK_a",
       0x4000,
       "Lines",
       {"OrderNo"},
       "alter table Lines add constraint FK_a foreign key([OrderNo]) references Orders([No]) on "
       "delete cascade"},
      {"no name",
       "",
       0,
       "Lines",
       {"OrderNo"},
       "alter table Lines  add foreign key([OrderNo]) references Orders([No])"},
      {"names needing brackets",
       "FK a",
       0,
       "Line]s",
       {"Order]No"},
       "alter table [Line]]s] add constraint [FK a] foreign key([Order]]No]) references "
       "Orders([No])"},
  };
  for (const Case& c : cases) {
    ForeignKey key;
    key.name = c.name;
    key.status = c.status;
    key.table_name = c.table;
    key.columns = c.columns;
    key.referenced_table_name = "Orders";
    key.referenced_columns = {"No"};
    if (c.columns.size() == 2) key.referenced_columns.push_back("Region");
    EXPECT_EQ(BuildForeignKey(key), c.expected) << c.what;
  }
  // Without column names the catalog's list text stands.
  ForeignKey listed;
  listed.table_name = "a";
  listed.referenced_table_name = "b";
  listed.column_list = "[x]";
  listed.referenced_column_list = "[y]";
  EXPECT_EQ(BuildForeignKey(listed), "alter table a  add foreign key([x]) references b([y])");
}

TEST(PrimaryKey2000, Statements) {
  struct Case {
    std::string table;
    std::vector<std::string> columns;
    const char* expected;
  };
  const Case cases[] = {
      {"t", {"a", "b"}, "ALTER TABLE t  ADD PRIMARY KEY (a , b )"},
      {"t", {}, "ALTER TABLE t  ADD PRIMARY KEY ()"},
      {"my t", {"key"}, "ALTER TABLE [my t]  ADD PRIMARY KEY ([key] )"},
  };
  for (const Case& c : cases) EXPECT_EQ(BuildPrimaryKey2000(c.table, c.columns), c.expected);
}

TEST(TableScript, HeaderAndEnd) {
  EXPECT_EQ(TableScriptHeader("O'Hara"),
            "PRINT  ' Processing Table :O''Hara' \r\nuse [$(DBNAME)]\r\n go \r\n");
  EXPECT_EQ(TableScriptEnd("t", true), "\r\n GO\r\nSET IDENTITY_INSERT t OFF\r\nGO");
  EXPECT_EQ(TableScriptEnd("my t", true), "\r\n GO\r\nSET IDENTITY_INSERT [my t] OFF\r\nGO");
  EXPECT_EQ(TableScriptEnd("t", false), "\r\nGO");
  EXPECT_EQ(BuildUserTypeScript({}), "use [$(DBNAME)]\r\nGO\r\n");
}

}  // namespace
}  // namespace tarnwick
