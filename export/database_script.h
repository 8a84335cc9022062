// The database statement block: drops a database of the chosen name, creates
// it afresh and sizes its data and log files.
//
// The name is the sqlcmd variable "$(DBNAME)", filled in by the batch file
// when the scripts run; the logical file names are the name and the name
// followed by "_log", as a database created without options gets them.
#pragma once

#include <string>
#include <string_view>

namespace tarnwick {

// What stands for the database name in every script.
inline constexpr std::string_view kDatabaseVariable = "$(DBNAME)";

// The block itself.
std::string BuildDatabaseScript();

// The text of the database script file (without its byte order mark): the
// PRINT line "PRINT  ' Creating DataBase:$(DBNAME)' " and the block.
std::string DatabaseScriptText();

}  // namespace tarnwick
