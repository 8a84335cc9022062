#!/bin/sh
# Runs the scripts of this folder with sqlcmd, in the order they were written.
#   mainsqlscript.sh SERVER DATABASE                 integrated authentication
#   mainsqlscript.sh USER PASSWORD SERVER DATABASE   SQL Server authentication
cd "$(dirname "$0")" || exit 1
DIR="$(pwd)/"
op1=false
op2=false
if [ -n "$1" ] && [ -n "$2" ]; then op1=true; fi
if [ -n "$3" ] && [ -n "$4" ]; then op2=true; fi
if [ "$op1" = true ] && [ "$op2" = true ]; then
  sqlcmd -U "$1" -P "$2" -S "$3" -v DBNAME="$4" -v DIR="$DIR" -i 'ShopData.sql'
  sqlcmd -U "$1" -P "$2" -S "$3" -v DBNAME="$4" -v DIR="$DIR" -i 'userdefinedatatype.sql'
  sqlcmd -U "$1" -P "$2" -S "$3" -v DBNAME="$4" -v DIR="$DIR" -i 'Tables/Alpha/Alpha.sql'
  sqlcmd -U "$1" -P "$2" -S "$3" -v DBNAME="$4" -v DIR="$DIR" -i 'Tables/Beta/Beta.sql'
  sqlcmd -U "$1" -P "$2" -S "$3" -d "$4" -i 'altertablecommandforeignkeys/0.sql'
  :
elif [ "$op1" = true ]; then
  sqlcmd -E -S "$1" -v DBNAME="$2" -v DIR="$DIR" -i 'ShopData.sql'
  sqlcmd -E -S "$1" -v DBNAME="$2" -v DIR="$DIR" -i 'userdefinedatatype.sql'
  sqlcmd -E -S "$1" -v DBNAME="$2" -v DIR="$DIR" -i 'Tables/Alpha/Alpha.sql'
  sqlcmd -E -S "$1" -v DBNAME="$2" -v DIR="$DIR" -i 'Tables/Beta/Beta.sql'
  sqlcmd -E -S "$1" -d "$2" -i 'altertablecommandforeignkeys/0.sql'
  :
else
  echo
  echo 'Syntax:'
  echo '[<user name> <password>] <server name> <database name>'
  echo
  echo ' Options:'
  echo
  echo '   user name password : user name and password for SQL Server(for SQL Server Aut                        hentication)'
  echo
  echo '   server name        : instance of SQL Server to which to connect'
  echo
  echo '   database name      : name of database to which data will be exported'
  echo
fi
