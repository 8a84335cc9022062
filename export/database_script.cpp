#include "export/database_script.h"

namespace tarnwick {

std::string BuildDatabaseScript() {
  const std::string d(kDatabaseVariable);
  std::string text;
  text.append(
          "use [master] \r\n Go \r\n  IF  EXISTS (SELECT name FROM sys.databases WHERE name = N'")
      .append(d)
      .append("')\r\n DROP DATABASE [")
      .append(d)
      .append("] \r\n Go \r\n  USE [master] \r\n Go \r\n  ");
  text.append("CREATE DATABASE [")
      .append(d)
      .append("]\r\n GO \r\n ALTER DATABASE [")
      .append(d)
      .append("] MODIFY FILE \r\n ( NAME = N'")
      .append(d)
      .append(
          "', SIZE = 3048KB , MAXSIZE = UNLIMITED, FILEGROWTH = 1024KB )\r\n GO \r\n ALTER "
          "DATABASE [")
      .append(d)
      .append("] MODIFY FILE \r\n( NAME = N'")
      .append(d)
      .append("_log', SIZE = 1024KB , MAXSIZE = 2048GB , FILEGROWTH = 10%) \r\n GO");
  return text;
}

std::string DatabaseScriptText() {
  std::string text = "PRINT  ' Creating DataBase:";
  text.append(kDatabaseVariable).append("' \r\n").append(BuildDatabaseScript());
  return text;
}

}  // namespace tarnwick
