// The T-SQL text that re-creates a table: CREATE TABLE with the column type
// mapping, the primary key, default, check and unique constraints, the other
// indexes, the foreign keys and the user-defined types.
//
// Pure text generation from the schema model; the script export decides
// which files receive the texts. Line breaks are CR LF in the text itself.
// The database name never appears: "$(DBNAME)" stands for it and the batch
// file fills it in when sqlcmd runs.
//
// Identifiers: a name written between brackets has every "]" doubled, so a
// name holding a bracket cannot end the identifier early. A name that the
// statements write bare (SET IDENTITY_INSERT, defaults, checks, indexes,
// foreign keys, key column lists) stays bare when it is a regular
// identifier and is bracketed only when a bare name would not parse (a
// reserved word, a leading digit, "@", "#" or "$", a blank or punctuation
// inside). An empty name stays empty: the statement shows the gap.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "export/database_script.h"
#include "reader/column_descriptor.h"
#include "reader/metadata.h"

namespace tarnwick {

// After the CREATE TABLE text in a table script (a blank before GO).
inline constexpr std::string_view kCreateTableSeparator = "\r\n GO\r\n";
// After every constraint, index and user-defined type statement.
inline constexpr std::string_view kStatementSeparator = "\r\nGO\r\n";

// "[" + name with every "]" doubled + "]".
std::string BracketName(std::string_view name);
// True when the name can stand bare in a statement: it starts with a
// letter or "_", goes on with letters, digits, "_", "@", "$" and "#", and
// is not a reserved word. Letters beyond ASCII count as letters, except the
// blanks, punctuation and format characters of the Latin-1 supplement, the
// general punctuation block, the CJK symbols block and the specials.
bool IsRegularIdentifier(std::string_view name);
// The name bare when it is a regular identifier or empty, else bracketed.
std::string NameIfNeeded(std::string_view name);
// The text between single quotes of a string literal: "'" doubled.
std::string SqlStringText(std::string_view text);

// The column name a CREATE TABLE writes: the stored name without the
// characters 1 to 31, ".", "!", "[", "]", "`", blank and "-"; when nothing
// is left, "Repaircln" followed by the 0-based position.
std::string SanitizedColumnName(std::string_view name, size_t position);

// The de-duplication before column `index` is written: every other column
// whose stored name equals this column's stored name gets "_" appended.
void DeduplicateColumnName(std::vector<ColumnDescriptor>& columns, size_t index);

// The SQL type of one column. L is the number between the first "(" and
// the first ")" of the type text (-1 for max); see the table in the source.
std::string ColumnTypeText(const ColumnDescriptor& column, bool sql2000_mode);

struct CreateTableText {
  // Empty when the table has no column to write.
  std::string text;
  // A column carried an identity clause: the text ends in SET
  // IDENTITY_INSERT ... ON and the table script must end with ... OFF.
  bool hasIdentity = false;
};

// The CREATE TABLE statement. Runs the de-duplication on `columns`, so
// that the names they hold afterwards are those the INSERT column lists
// use: the rows must be read with these descriptors.
CreateTableText BuildCreateTable(std::string_view table_name,
                                 std::vector<ColumnDescriptor>& columns, bool sql2000_mode);

// What the constraint and index statements read of one table; views, so the
// caller keeps the name, the columns and the table lists alive.
struct TableDefinition {
  std::string_view table_name;
  // The table's columns (after BuildCreateTable, with its names).
  std::span<const ColumnDescriptor> columns;
  std::span<const TableConstraint> constraints;
  std::span<const IndexRow> indexes;
  std::span<const TableIndexColumn> index_columns;
  std::span<const PrimaryKeyColumn> primary_key_columns;
};

// The definition of the current table with the caller's copy of its columns.
TableDefinition DefinitionOf(const CurrentTable& table, std::string_view table_name,
                             std::span<const ColumnDescriptor> columns);

// Primary key, defaults and checks, unique keys, in constraint order.
std::vector<std::string> BuildConstraintStatements(const TableDefinition& table);
// The indexes whose name is not the name of a constraint of the table.
std::vector<std::string> BuildIndexStatements(const TableDefinition& table);
// One foreign key; the column lists are built from the key's column names.
std::string BuildForeignKey(const ForeignKey& key);
// SQL Server 2000 catalogs: the primary key of one table from the names of
// its key columns.
std::string BuildPrimaryKey2000(std::string_view table_name,
                                std::span<const std::string> key_columns);

// userdefinedatatype.sql without its byte order mark: the use line, then
// every type statement unchanged, each followed by kStatementSeparator.
std::string BuildUserTypeScript(std::span<const std::string> type_texts);

// The start of a table script, before the CREATE TABLE text:
// "PRINT  ' Processing Table :<name>' " and the use line.
std::string TableScriptHeader(std::string_view print_name);
// The end of a table script: SET IDENTITY_INSERT ... OFF when the table has
// an identity column, then the last GO.
std::string TableScriptEnd(std::string_view table_name, bool has_identity);

}  // namespace tarnwick
