#include "export/batch_script.h"

#include <array>

namespace tarnwick {
namespace {

constexpr std::string_view kBatchHeader =
    "@echo off\r\nset op1=false\r\nset op2=false\r\n"
    "if not \"%0\"==\"\" (if not \"%1\"==\"\" (if not \"%2\"==\"\" set op1=true))\r\n"
    "if not \"%3\"==\"\" (if not \"%4\"==\"\" set op2=true)\r\n"
    "if \"%op1%\"==\"true\" (if \"%op2%\"==\"true\" goto label2)\r\n"
    "if \"%op1%\"==\"true\" (if \"%op2%\"==\"false\" goto label1)\r\n"
    "goto label3 \r\n:label1";

constexpr std::string_view kBatchUsage =
    "\r\n:label3\r\necho.\r\necho Syntax:\r\n"
    "echo\t^[^<user name^> ^<password^>^] ^<server name^> ^<database name^>\r\n"
    "echo.\r\necho  Options:\r\necho.\r\n"
    "echo    user name password : user name and password for SQL Server^(for SQL Server Aut"
    "                        hentication^)\r\n"
    "echo.\r\necho    server name        : instance of SQL Server to which to connect\r\n"
    "echo.\r\necho    database name      : name of database to which data will be exported\r\n"
    "echo.\r\n:end";

// What the batch file's usage text shows, line by line (cmd drops the
// delimiter after "echo" and the carets; "echo." is an empty line).
constexpr std::array<std::string_view, 12> kUsageLines = {
    "",
    "Syntax:",
    "[<user name> <password>] <server name> <database name>",
    "",
    " Options:",
    "",
    "   user name password : user name and password for SQL Server(for SQL Server Aut"
    "                        hentication)",
    "",
    "   server name        : instance of SQL Server to which to connect",
    "",
    "   database name      : name of database to which data will be exported",
    "",
};

std::string_view Prefix(ScriptRun run, bool sql_authentication) {
  if (run == ScriptRun::kWithVariables)
    return sql_authentication ? kSqlVariablesPrefix : kWindowsVariablesPrefix;
  return sql_authentication ? kSqlDatabasePrefix : kWindowsDatabasePrefix;
}

// A word for sh between single quotes.
std::string ShellQuoted(std::string_view text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'')
      quoted.append("'\\''");
    else
      quoted.push_back(c);
  }
  quoted.push_back('\'');
  return quoted;
}

std::string ShellLine(const SetScript& script, bool sql_authentication) {
  std::string line = "  sqlcmd ";
  if (sql_authentication)
    line.append("-U \"$1\" -P \"$2\" -S \"$3\" ");
  else
    line.append("-E -S \"$1\" ");
  const char* database = sql_authentication ? "\"$4\"" : "\"$2\"";
  if (script.run == ScriptRun::kWithVariables)
    line.append("-v DBNAME=").append(database).append(" -v DIR=\"$DIR\" ");
  else
    line.append("-d ").append(database).append(" ");
  std::string files;
  for (const std::string& file : script.files) {
    if (!files.empty()) files.push_back(',');
    files.append(file);
  }
  line.append("-i ").append(ShellQuoted(files)).append("\n");
  return line;
}

}  // namespace

std::string BatchHeader() { return std::string(kBatchHeader); }

std::string BatchLine(std::string_view prefix, std::string_view windows_path) {
  std::string line = "\r\n";
  line.append(prefix).append("\"").append(windows_path).append("\"");
  return line;
}

std::string WindowsBatchLine(const SetScript& script) {
  return BatchLine(Prefix(script.run, false), script.windows_path);
}

std::string SqlBatchLine(const SetScript& script) {
  return BatchLine(Prefix(script.run, true), script.windows_path);
}

std::string BatchEnd(std::span<const SetScript> scripts) {
  std::string text = "\r\ngoto end\r\n:label2";
  for (const SetScript& script : scripts) text.append(SqlBatchLine(script));
  text.append("\r\ngoto end").append(kBatchUsage);
  return text;
}

std::string BatchFileText(std::span<const SetScript> scripts) {
  std::string text = BatchHeader();
  for (const SetScript& script : scripts) text.append(WindowsBatchLine(script));
  return text.append(BatchEnd(scripts));
}

std::string ShellScriptText(std::span<const SetScript> scripts) {
  std::string text =
      "#!/bin/sh\n"
      "# Runs the scripts of this folder with sqlcmd, in the order they were written.\n"
      "#   mainsqlscript.sh SERVER DATABASE                 integrated authentication\n"
      "#   mainsqlscript.sh USER PASSWORD SERVER DATABASE   SQL Server authentication\n"
      "cd \"$(dirname \"$0\")\" || exit 1\n"
      "DIR=\"$(pwd)/\"\n"
      "op1=false\n"
      "op2=false\n"
      "if [ -n \"$1\" ] && [ -n \"$2\" ]; then op1=true; fi\n"
      "if [ -n \"$3\" ] && [ -n \"$4\" ]; then op2=true; fi\n"
      "if [ \"$op1\" = true ] && [ \"$op2\" = true ]; then\n";
  for (const SetScript& script : scripts) text.append(ShellLine(script, true));
  text.append("  :\nelif [ \"$op1\" = true ]; then\n");
  for (const SetScript& script : scripts) text.append(ShellLine(script, false));
  text.append("  :\nelse\n");
  for (std::string_view line : kUsageLines) {
    if (line.empty())
      text.append("  echo\n");
    else
      text.append("  echo ").append(ShellQuoted(line)).append("\n");
  }
  text.append("fi\n");
  return text;
}

}  // namespace tarnwick
