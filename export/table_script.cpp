#include "export/table_script.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdint>
#include <iterator>

#include "platform/text_codec.h"

namespace tarnwick {
namespace {

// The reserved keywords of Transact-SQL, upper case and sorted: a bare
// identifier may not be one of them.
constexpr std::string_view kReservedWords[] = {
    "ADD",
    "ALL",
    "ALTER",
    "AND",
    "ANY",
    "AS",
    "ASC",
    "AUTHORIZATION",
    "BACKUP",
    "BEGIN",
    "BETWEEN",
    "BREAK",
    "BROWSE",
    "BULK",
    "BY",
    "CASCADE",
    "CASE",
    "CHECK",
    "CHECKPOINT",
    "CLOSE",
    "CLUSTERED",
    "COALESCE",
    "COLLATE",
    "COLUMN",
    "COMMIT",
    "COMPUTE",
    "CONSTRAINT",
    "CONTAINS",
    "CONTAINSTABLE",
    "CONTINUE",
    "CONVERT",
    "CREATE",
    "CROSS",
    "CURRENT",
    "CURRENT_DATE",
    "CURRENT_TIME",
    "CURRENT_TIMESTAMP",
    "CURRENT_USER",
    "CURSOR",
    "DATABASE",
    "DBCC",
    "DEALLOCATE",
    "DECLARE",
    "DEFAULT",
    "DELETE",
    "DENY",
    "DESC",
    "DISK",
    "DISTINCT",
    "DISTRIBUTED",
    "DOUBLE",
    "DROP",
    "DUMP",
    "ELSE",
    "END",
    "ERRLVL",
    "ESCAPE",
    "EXCEPT",
    "EXEC",
    "EXECUTE",
    "EXISTS",
    "EXIT",
    "EXTERNAL",
    "FETCH",
    "FILE",
    "FILLFACTOR",
    "FOR",
    "FOREIGN",
    "FREETEXT",
    "FREETEXTTABLE",
    "FROM",
    "FULL",
    "FUNCTION",
    "GOTO",
    "GRANT",
    "GROUP",
    "HAVING",
    "HOLDLOCK",
    "IDENTITY",
    "IDENTITYCOL",
    "IDENTITY_INSERT",
    "IF",
    "IN",
    "INDEX",
    "INNER",
    "INSERT",
    "INTERSECT",
    "INTO",
    "IS",
    "JOIN",
    "KEY",
    "KILL",
    "LEFT",
    "LIKE",
    "LINENO",
    "LOAD",
    "MERGE",
    "NATIONAL",
    "NOCHECK",
    "NONCLUSTERED",
    "NOT",
    "NULL",
    "NULLIF",
    "OF",
    "OFF",
    "OFFSETS",
    "ON",
    "OPEN",
    "OPENDATASOURCE",
    "OPENQUERY",
    "OPENROWSET",
    "OPENXML",
    "OPTION",
    "OR",
    "ORDER",
    "OUTER",
    "OVER",
    "PERCENT",
    "PIVOT",
    "PLAN",
    "PRECISION",
    "PRIMARY",
    "PRINT",
    "PROC",
    "PROCEDURE",
    "PUBLIC",
    "RAISERROR",
    "READ",
    "READTEXT",
    "RECONFIGURE",
    "REFERENCES",
    "REPLICATION",
    "RESTORE",
    "RESTRICT",
    "RETURN",
    "REVERT",
    "REVOKE",
    "RIGHT",
    "ROLLBACK",
    "ROWCOUNT",
    "ROWGUIDCOL",
    "RULE",
    "SAVE",
    "SCHEMA",
    "SECURITYAUDIT",
    "SELECT",
    "SEMANTICKEYPHRASETABLE",
    "SEMANTICSIMILARITYDETAILSTABLE",
    "SEMANTICSIMILARITYTABLE",
    "SESSION_USER",
    "SET",
    "SETUSER",
    "SHUTDOWN",
    "SOME",
    "STATISTICS",
    "SYSTEM_USER",
    "TABLE",
    "TABLESAMPLE",
    "TEXTSIZE",
    "THEN",
    "TO",
    "TOP",
    "TRAN",
    "TRANSACTION",
    "TRIGGER",
    "TRUNCATE",
    "TRY_CONVERT",
    "TSEQUAL",
    "UNION",
    "UNIQUE",
    "UNPIVOT",
    "UPDATE",
    "UPDATETEXT",
    "USE",
    "USER",
    "VALUES",
    "VARYING",
    "VIEW",
    "WAITFOR",
    "WHEN",
    "WHERE",
    "WHILE",
    "WITH",
    "WRITETEXT",
};

static_assert(std::is_sorted(std::begin(kReservedWords), std::end(kReservedWords)));

bool IsReservedWord(std::string_view name) {
  std::string upper(name);
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return std::binary_search(std::begin(kReservedWords), std::end(kReservedWords), upper);
}

// The code points of a UTF-8 text (invalid bytes as U+FFFD).
std::vector<uint32_t> CodePoints(std::string_view text) {
  const std::string wide = Utf8ToUtf16Le(text);
  std::vector<uint32_t> points;
  points.reserve(wide.size() / 2);
  for (size_t i = 0; i + 1 < wide.size(); i += 2) {
    uint32_t unit = static_cast<uint8_t>(wide[i]) | static_cast<uint8_t>(wide[i + 1]) << 8;
    if (unit >= 0xD800 && unit < 0xDC00 && i + 3 < wide.size()) {
      const uint32_t low = static_cast<uint8_t>(wide[i + 2]) | static_cast<uint8_t>(wide[i + 3])
                                                                   << 8;
      unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
      i += 2;
    }
    points.push_back(unit);
  }
  return points;
}

// Letters beyond ASCII, as far as a bare identifier needs them: everything
// except the blanks, symbols and format characters that would end it.
bool IsWideLetter(uint32_t c) {
  if (c < 0xC0) return c == 0xAA || c == 0xB5 || c == 0xBA;
  if (c == 0xD7 || c == 0xF7) return false;
  if (c == 0x1680 || c == 0x180E) return false;  // Ogham blank, Mongolian separator
  if (c >= 0x2000 && c <= 0x206F) return false;  // general punctuation and blanks
  if (c >= 0x3000 && c <= 0x303F) return false;  // CJK symbols and punctuation
  if (c >= 0xFF00 && c <= 0xFF0F) return false;  // full-width punctuation
  if (c == 0xFEFF || c >= 0xFFF0) return false;  // byte order mark and specials
  return c < 0x110000;
}

bool IsAsciiLetter(uint32_t c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsAsciiDigit(uint32_t c) { return c >= '0' && c <= '9'; }

// Removes trailing blanks, then trailing commas (the end of a " , " list).
void TrimList(std::string& list) {
  while (!list.empty() && list.back() == ' ') list.pop_back();
  while (!list.empty() && list.back() == ',') list.pop_back();
}

void RemoveTrailingCommas(std::string& text) {
  while (!text.empty() && text.back() == ',') text.pop_back();
}

// The number between the first "(" and the first ")" of a type text.
struct TypeLength {
  bool empty = true;  // nothing (or no number) between the parentheses
  int64_t value = 0;
};

TypeLength LengthOf(std::string_view type_text) {
  TypeLength length;
  const size_t open = type_text.find('(');
  const size_t close = type_text.find(')');
  if (open == std::string_view::npos || close == std::string_view::npos || close < open)
    return length;
  const std::string_view inside = type_text.substr(open + 1, close - open - 1);
  if (inside == "max" || inside == "MAX") {
    length.empty = false;
    length.value = -1;
    return length;
  }
  int64_t value = 0;
  const auto result = std::from_chars(inside.data(), inside.data() + inside.size(), value);
  if (result.ec == std::errc() && result.ptr != inside.data()) {
    length.empty = false;
    length.value = value;
  }
  return length;
}

std::string Sized(std::string_view name, std::string_view size, std::string_view suffix) {
  std::string text(name);
  text.append("(").append(size).append(")").append(suffix);
  return text;
}

std::string Decimal(std::string_view name, const ColumnDescriptor& column, std::string_view s) {
  const int p = column.precision;
  const int c = column.scale;
  if (p < 1 || p > 38 || c > 18) {
    std::string text = "char(45)";
    return text.append(s);
  }
  std::string text(name);
  text.append("(").append(std::to_string(p)).append(", ").append(std::to_string(c)).append(")");
  return text.append(s);
}

// The column of the table with the column id; null when none.
const ColumnDescriptor* ColumnById(std::span<const ColumnDescriptor> columns, int32_t id) {
  for (const ColumnDescriptor& c : columns)
    if (c.column_id == id) return &c;
  return nullptr;
}

// "a , b , " trimmed to "a , b ".
std::string ColumnList(const std::vector<std::string>& items) {
  std::string list;
  for (const std::string& item : items) list.append(item).append(" , ");
  TrimList(list);
  return list;
}

const IndexRow* IndexNamed(std::span<const IndexRow> indexes, std::string_view name) {
  for (const IndexRow& index : indexes)
    if (index.name == name) return &index;
  return nullptr;
}

std::string PrimaryKeyStatement(const TableDefinition& table, const TableConstraint& constraint) {
  std::string text = "Alter Table ";
  text.append(BracketName(table.table_name))
      .append(" add constraint ")
      .append(BracketName(constraint.name))
      .append(" Primary key");
  const IndexRow* index = IndexNamed(table.indexes, constraint.name);
  if (index && index->index_type != 1) text.append(" nonclustered ");
  std::vector<PrimaryKeyColumn> keys;
  for (const PrimaryKeyColumn& key : table.primary_key_columns)
    if (key.table_name == table.table_name) keys.push_back(key);
  std::stable_sort(keys.begin(), keys.end(),
                   [](const PrimaryKeyColumn& a, const PrimaryKeyColumn& b) {
                     return a.key_ordinal < b.key_ordinal;
                   });
  std::vector<std::string> items;
  for (const PrimaryKeyColumn& key : keys) items.push_back(NameIfNeeded(key.column_name));
  text.append("(").append(ColumnList(items)).append(")");
  return text;
}

std::string DefaultOrCheckStatement(const TableDefinition& table,
                                    const TableConstraint& constraint) {
  std::string text = "Alter Table ";
  text.append(NameIfNeeded(table.table_name)).append(" add");
  // Bit 0x4: a constraint without a name of its own.
  if ((constraint.status & 0x4) == 0)
    text.append(" constraint ").append(NameIfNeeded(constraint.name));
  const ColumnDescriptor* column = ColumnById(table.columns, constraint.parent_column_id);
  const std::string column_name = column ? NameIfNeeded(column->name) : std::string();
  if (constraint.type_code == kDefaultType) {
    text.append(" default ").append(constraint.definition).append(" for ").append(column_name);
  } else if ((constraint.status & 0x20000) && (constraint.status & 0x100000)) {
    text.append(" check ").append(constraint.definition);
  } else {
    text.append(" for ").append(column_name);
  }
  return text;
}

// Empty when no column carries the unique-key flag.
std::string UniqueKeyStatement(const TableDefinition& table, const TableConstraint& constraint) {
  std::vector<const ColumnDescriptor*> members;
  for (const ColumnDescriptor& c : table.columns)
    if (c.unique_key) members.push_back(&c);
  std::stable_sort(members.begin(), members.end(),
                   [](const ColumnDescriptor* a, const ColumnDescriptor* b) {
                     return a->unique_ordinal < b->unique_ordinal;
                   });
  std::vector<std::string> items;
  for (const ColumnDescriptor* c : members) items.push_back(NameIfNeeded(c->name));
  const std::string list = ColumnList(items);
  if (list.empty()) return {};
  const IndexRow* index = IndexNamed(table.indexes, constraint.name);
  std::string text = "Alter Table ";
  text.append(BracketName(table.table_name))
      .append(" add constraint ")
      .append(BracketName(constraint.name))
      .append(index && index->index_type == 1 ? " unique clustered(" : " unique(")
      .append(list)
      .append(")");
  return text;
}

std::string IndexStatement(const TableDefinition& table, const IndexRow& index) {
  std::vector<const TableIndexColumn*> keys;
  std::vector<std::string> included;
  for (const TableIndexColumn& entry : table.index_columns) {
    if (entry.row.index_id != index.index_id) continue;
    const ColumnDescriptor* column = ColumnById(table.columns, entry.row.int_property);
    if (!column) continue;
    if (entry.row.key_ordinal == 0) {
      included.push_back(NameIfNeeded(column->name));
    } else {
      keys.push_back(&entry);
    }
  }
  std::stable_sort(keys.begin(), keys.end(),
                   [](const TableIndexColumn* a, const TableIndexColumn* b) {
                     return a->row.key_ordinal < b->row.key_ordinal;
                   });
  std::vector<std::string> key_items;
  for (const TableIndexColumn* entry : keys) {
    std::string item = NameIfNeeded(ColumnById(table.columns, entry->row.int_property)->name);
    if (entry->row.status & kIndexColumnDescending) item.append(" desc");
    key_items.push_back(std::move(item));
  }
  const std::string key_list = ColumnList(key_items);
  if (key_list.empty()) return {};
  std::string text = "Create ";
  if (index.status & kIndexStatusUnique) text.append("unique ");
  if (index.index_type == 1) text.append("clustered ");
  text.append("Index ")
      .append(NameIfNeeded(index.name))
      .append(" on ")
      .append(NameIfNeeded(table.table_name))
      .append("(")
      .append(key_list)
      .append(")");
  const std::string include_list = ColumnList(included);
  if (!include_list.empty()) text.append(" include(").append(include_list).append(")");
  return text;
}

// The column list of a foreign key: "[a], [b]".
std::string KeyColumns(const std::vector<std::string>& names, const std::string& fallback) {
  if (names.empty()) return fallback;
  std::string list;
  for (const std::string& name : names) {
    if (!list.empty()) list.append(", ");
    list.append(BracketName(name));
  }
  return list;
}

}  // namespace

std::string BracketName(std::string_view name) {
  std::string text = "[";
  for (char c : name) {
    text.push_back(c);
    if (c == ']') text.push_back(']');
  }
  text.push_back(']');
  return text;
}

bool IsRegularIdentifier(std::string_view name) {
  if (name.empty()) return false;
  const std::vector<uint32_t> points = CodePoints(name);
  const uint32_t first = points.front();
  if (!IsAsciiLetter(first) && first != '_' && !IsWideLetter(first)) return false;
  for (size_t i = 1; i < points.size(); ++i) {
    const uint32_t c = points[i];
    if (IsAsciiLetter(c) || IsAsciiDigit(c) || IsWideLetter(c)) continue;
    if (c == '_' || c == '@' || c == '$' || c == '#') continue;
    return false;
  }
  return !IsReservedWord(name);
}

std::string NameIfNeeded(std::string_view name) {
  if (name.empty() || IsRegularIdentifier(name)) return std::string(name);
  return BracketName(name);
}

std::string SqlStringText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    out.push_back(c);
    if (c == '\'') out.push_back('\'');
  }
  return out;
}

std::string SanitizedColumnName(std::string_view name, size_t position) {
  std::string out;
  out.reserve(name.size());
  for (char c : name) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u >= 1 && u <= 31) continue;
    if (c == '.' || c == '!' || c == '[' || c == ']' || c == '`' || c == ' ' || c == '-') continue;
    out.push_back(c);
  }
  if (out.empty()) out = "Repaircln" + std::to_string(position);
  return out;
}

void DeduplicateColumnName(std::vector<ColumnDescriptor>& columns, size_t index) {
  const std::string name = columns[index].name;
  for (size_t j = 0; j < columns.size(); ++j)
    if (j != index && columns[j].name == name) columns[j].name.push_back('_');
}

// Type text by type code (L: the number in the type text, -1 for max; LT:
// that number as text, "max" for -1, "8000" when there is none; S: "  SPARSE"
// for a sparse column; P, C: precision and scale):
//
//   0 BigInt  1 binary(LT)  2 bit  3 char(LT)  4 datetime  5 date  6 time(C)
//   7 DateTime2(C)  8 datetimeoffset(C)  9 int  10 nchar(L / 2, or max)
//   11 nvarchar(L / 2); max, or 4000 in SQL Server 2000 mode; 4000 from a
//      byte length of 4000 up
//   13 smallint  14 tinyint  15 uniqueidentifier
//   16 varbinary(LT), 17 varchar(LT); max, or 4000 in SQL Server 2000 mode;
//      8000 above 8000
//   18 text  19 ntext  20 sql_variant  21 money  22 float
//   23 numeric(P, C), 24 decimal(P, C); char(45) outside 1 <= P <= 38, C <= 18
//   25 image  26 text  27 smalldatetime  28 real  29 smallmoney
//   30 varbinary(20)  33 geography  34 xml  other: text
//
// Every type carries S except text, ntext, sysname and the unknown codes.
// No collation clause is written.
std::string ColumnTypeText(const ColumnDescriptor& column, bool sql2000_mode) {
  const TypeLength length = LengthOf(column.type_text);
  const int64_t l = length.empty ? 0 : length.value;
  const std::string lt = length.empty ? "8000" : l == -1 ? "max" : std::to_string(l);
  const std::string_view s = column.sparse ? "  SPARSE" : "";
  const std::string c = std::to_string(column.scale);
  auto plain = [&](std::string_view name) {
    std::string text(name);
    return text.append(s);
  };
  // varchar and varbinary: max (4000 in SQL Server 2000 mode), at most 8000.
  auto variable = [&](std::string_view name) {
    if (l == -1) return Sized(name, sql2000_mode ? "4000" : "max", s);
    if (l > 8000) return Sized(name, "8000", s);
    return Sized(name, lt, s);
  };
  switch (static_cast<int>(column.typeCode)) {
    case 0:
      return plain("BigInt");
    case 1:
      return Sized("binary", lt, s);
    case 2:
      return plain("bit");
    case 3:
      return Sized("char", lt, s);
    case 4:
      return plain("datetime");
    case 5:
      return plain("date");
    case 6:
      return Sized("time", c, s);
    case 7:
      return Sized("DateTime2", c, s);
    case 8:
      return Sized("datetimeoffset", c, s);
    case 9:
      return plain("int");
    case 10:
      return Sized("nchar", l == -1 ? "max" : std::to_string(l / 2), s);
    case 11:
      if (l == -1) return Sized("nvarchar", sql2000_mode ? "4000" : "max", s);
      if (l >= 4000) return Sized("nvarchar", "4000", s);
      return Sized("nvarchar", std::to_string(l / 2), s);
    case 13:
      return plain("smallint");
    case 14:
      return plain("tinyint");
    case 15:
      return plain("uniqueidentifier");
    case 16:
      return variable("varbinary");
    case 17:
      return variable("varchar");
    case 18:
      return "text";
    case 19:
      return "ntext";
    case 20:
      return plain("sql_variant");
    case 21:
      return plain("money");
    case 22:
      return plain("float");
    case 23:
      return Decimal("numeric", column, s);
    case 24:
      return Decimal("decimal", column, s);
    case 25:
      return plain("image");
    case 26:
      return "text";
    case 27:
      return plain("smalldatetime");
    case 28:
      return plain("real");
    case 29:
      return plain("smallmoney");
    case 30:
      return plain("varbinary(20)");
    case 33:
      return plain("geography");
    case 34:
      return plain("xml");
    default:
      return "text";
  }
}

CreateTableText BuildCreateTable(std::string_view table_name,
                                 std::vector<ColumnDescriptor>& columns, bool sql2000_mode) {
  CreateTableText result;
  if (columns.empty()) return result;
  std::string text = "Create TABLE  ";
  text.append(BracketName(table_name)).append("(");
  size_t skipped = 0;
  bool has_identity = false;
  for (size_t i = 0; i < columns.size(); ++i) {
    // A computed column whose definition was not found cannot be written.
    if (columns[i].computed() && columns[i].value.empty()) {
      ++skipped;
      continue;
    }
    const std::string name = SanitizedColumnName(columns[i].name, i);
    DeduplicateColumnName(columns, i);
    const ColumnDescriptor& column = columns[i];
    std::string type = ColumnTypeText(column, sql2000_mode);
    if (column.rowguid) type.append(" ROWGUIDCOL ");
    if (column.computed()) {
      type = "AS ";
      type.append(column.value);
    } else {
      const bool with_identity = !column.identity.empty();
      if (column.primary_key || !column.nullable) {
        // SQL Server 2000 catalogs write no identity on a key or NOT NULL
        // column.
        if (!sql2000_mode && with_identity) {
          type.append(" ").append(column.identity);
          has_identity = true;
        }
        type.append("  not null ");
      } else if (with_identity) {
        type.append(" ").append(column.identity);
        has_identity = true;
      }
    }
    text.append(BracketName(name)).append(" ").append(type).append(",");
  }
  if (skipped == columns.size()) return result;
  RemoveTrailingCommas(text);
  text.append(")");
  if (has_identity) {
    text.append("\r\n GO\r\nSET IDENTITY_INSERT ").append(NameIfNeeded(table_name)).append(" ON");
  }
  result.text = std::move(text);
  result.hasIdentity = has_identity;
  return result;
}

TableDefinition DefinitionOf(const CurrentTable& table, std::string_view table_name,
                             std::span<const ColumnDescriptor> columns) {
  return TableDefinition{.table_name = table_name,
                         .columns = columns,
                         .constraints = table.constraints,
                         .indexes = table.indexes,
                         .index_columns = table.index_columns,
                         .primary_key_columns = table.primary_key_columns};
}

std::vector<std::string> BuildConstraintStatements(const TableDefinition& table) {
  std::vector<std::string> statements;
  for (const TableConstraint& constraint : table.constraints) {
    std::string text;
    if (constraint.type_code == kPrimaryKeyType) {
      if (table.primary_key_columns.empty()) continue;
      text = PrimaryKeyStatement(table, constraint);
    } else if (constraint.type_code == kDefaultType || constraint.type_code == kCheckType) {
      text = DefaultOrCheckStatement(table, constraint);
    } else if (constraint.type_code == kUniqueKeyType) {
      text = UniqueKeyStatement(table, constraint);
    }
    if (!text.empty()) statements.push_back(std::move(text));
  }
  return statements;
}

std::vector<std::string> BuildIndexStatements(const TableDefinition& table) {
  std::vector<std::string> statements;
  for (const IndexRow& index : table.indexes) {
    const bool is_constraint =
        std::any_of(table.constraints.begin(), table.constraints.end(),
                    [&](const TableConstraint& c) { return c.name == index.name; });
    if (is_constraint) continue;
    std::string text = IndexStatement(table, index);
    if (!text.empty()) statements.push_back(std::move(text));
  }
  return statements;
}

std::string BuildForeignKey(const ForeignKey& key) {
  std::string text = "alter table ";
  text.append(NameIfNeeded(key.table_name));
  if (!key.name.empty()) {
    text.append(" add constraint ").append(NameIfNeeded(key.name)).append(" foreign key(");
  } else {
    text.append("  add foreign key(");
  }
  text.append(KeyColumns(key.columns, key.column_list))
      .append(") references ")
      .append(NameIfNeeded(key.referenced_table_name))
      .append("(")
      .append(KeyColumns(key.referenced_columns, key.referenced_column_list))
      .append(")");
  const bool update_cascade = (key.status & kForeignKeyUpdateCascade) != 0;
  const bool delete_cascade = (key.status & kForeignKeyDeleteCascade) != 0;
  if (update_cascade && delete_cascade) {
    text.append(" on update cascade on delete cascade");
  } else if (delete_cascade) {
    text.append(" on delete cascade");
  }
  return text;
}

std::string BuildPrimaryKey2000(std::string_view table_name,
                                std::span<const std::string> key_columns) {
  std::string list;
  for (const std::string& name : key_columns) list.append(NameIfNeeded(name)).append(" , ");
  while (!list.empty() && list.back() == ' ') list.pop_back();
  if (!list.empty()) list.pop_back();
  std::string text = "ALTER TABLE ";
  text.append(NameIfNeeded(table_name)).append("  ADD PRIMARY KEY (").append(list).append(")");
  return text;
}

std::string BuildUserTypeScript(std::span<const std::string> type_texts) {
  std::string text = "use [";
  text.append(kDatabaseVariable).append("]").append(kStatementSeparator);
  for (const std::string& type : type_texts) text.append(type).append(kStatementSeparator);
  return text;
}

std::string TableScriptHeader(std::string_view print_name) {
  std::string text = "PRINT  ' Processing Table :";
  text.append(SqlStringText(print_name))
      .append("' \r\nuse [")
      .append(kDatabaseVariable)
      .append("]\r\n go \r\n");
  return text;
}

std::string TableScriptEnd(std::string_view table_name, bool has_identity) {
  std::string text;
  if (has_identity)
    text.append("\r\n GO\r\nSET IDENTITY_INSERT ").append(NameIfNeeded(table_name)).append(" OFF");
  text.append("\r\nGO");
  return text;
}

}  // namespace tarnwick
