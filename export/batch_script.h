// The files that run a script set with sqlcmd: mainsqlscript.bat, which runs
// every script in the order the save wrote it, with Windows or SQL Server
// authentication, and mainsqlscript.sh, the same for the sqlcmd of Linux.
//
// mainsqlscript.bat (CR LF, 8-bit code page, no line break at its end):
//
//   header: op1 = two arguments or more, op2 = four or more; both: label2,
//           op1 only: label1, else label3
//   :label1   one line per script, Windows authentication
//   goto end
//   :label2   the same scripts, SQL Server authentication
//   goto end
//   :label3   the usage text
//   :end
//
// A line is "\r\n" + prefix + "\"" + path + "\"", the path relative to the
// database folder with "\" between its parts. The database script, the
// user-defined types and the tables' list scripts run with the variables
// DBNAME and DIR (DIR is the batch file's folder, which the blob references
// follow); the key scripts run in the database.
//
// mainsqlscript.sh (LF, UTF-8) takes the same two argument forms and prints
// the same usage text. It changes to its own folder, gives sqlcmd the
// variables with -v and the files with -i, "/" between path parts, and runs
// a table's script files directly (as one -i list, so that they share one
// session as under ":r") instead of its list script, whose ":r" paths keep
// the backslashes of Windows.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tarnwick {

// The command prefixes of the batch file.
inline constexpr std::string_view kWindowsVariablesPrefix =
    "sqlcmd -E -S %1 -v DBNAME=%2 -v DIR=\"%~dp0\" -i ";
inline constexpr std::string_view kSqlVariablesPrefix =
    "sqlcmd -U %1 -P %2 -S %3 -v DBNAME=%4 -v DIR=\"%~dp0\" -i ";
inline constexpr std::string_view kWindowsDatabasePrefix = "sqlcmd -E -S %1 -d %2 -i ";
inline constexpr std::string_view kSqlDatabasePrefix = "sqlcmd -U %1 -P %2 -S %3 -d %4 -i ";

inline constexpr std::string_view kBatchFileName = "mainsqlscript.bat";
inline constexpr std::string_view kShellScriptName = "mainsqlscript.sh";

enum class ScriptRun {
  kWithVariables,  // -v DBNAME=... -v DIR=...
  kInDatabase,     // -d <database>
};

// One script of the set.
struct SetScript {
  ScriptRun run = ScriptRun::kWithVariables;
  // What the batch file runs: "Tables\A\maintablescript.sql".
  std::string windows_path;
  // What the shell script runs: "Tables/A/A.sql" and any roll-over files.
  std::vector<std::string> files;
};

// The header up to and including ":label1".
std::string BatchHeader();
// "\r\n" + prefix + "\"" + windows path + "\"".
std::string BatchLine(std::string_view prefix, std::string_view windows_path);
// The lines of one script with each authentication.
std::string WindowsBatchLine(const SetScript& script);
std::string SqlBatchLine(const SetScript& script);
// After the last Windows line: "\r\ngoto end", ":label2" with the SQL Server
// lines, "\r\ngoto end", the usage text and ":end".
std::string BatchEnd(std::span<const SetScript> scripts);
// The whole batch file.
std::string BatchFileText(std::span<const SetScript> scripts);

// The whole shell script.
std::string ShellScriptText(std::span<const SetScript> scripts);

}  // namespace tarnwick
