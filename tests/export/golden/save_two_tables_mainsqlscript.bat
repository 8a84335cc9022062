@echo off
set op1=false
set op2=false
if not "%0"=="" (if not "%1"=="" (if not "%2"=="" set op1=true))
if not "%3"=="" (if not "%4"=="" set op2=true)
if "%op1%"=="true" (if "%op2%"=="true" goto label2)
if "%op1%"=="true" (if "%op2%"=="false" goto label1)
goto label3 
:label1
sqlcmd -E -S %1 -v DBNAME=%2 -v DIR="%~dp0" -i "ShopData.sql"
sqlcmd -E -S %1 -v DBNAME=%2 -v DIR="%~dp0" -i "userdefinedatatype.sql"
sqlcmd -E -S %1 -v DBNAME=%2 -v DIR="%~dp0" -i "Tables\Alpha\maintablescript.sql"
sqlcmd -E -S %1 -v DBNAME=%2 -v DIR="%~dp0" -i "Tables\Beta\maintablescript.sql"
sqlcmd -E -S %1 -d %2 -i "altertablecommandforeignkeys\0.sql"
goto end
:label2
sqlcmd -U %1 -P %2 -S %3 -v DBNAME=%4 -v DIR="%~dp0" -i "ShopData.sql"
sqlcmd -U %1 -P %2 -S %3 -v DBNAME=%4 -v DIR="%~dp0" -i "userdefinedatatype.sql"
sqlcmd -U %1 -P %2 -S %3 -v DBNAME=%4 -v DIR="%~dp0" -i "Tables\Alpha\maintablescript.sql"
sqlcmd -U %1 -P %2 -S %3 -v DBNAME=%4 -v DIR="%~dp0" -i "Tables\Beta\maintablescript.sql"
sqlcmd -U %1 -P %2 -S %3 -d %4 -i "altertablecommandforeignkeys\0.sql"
goto end
:label3
echo.
echo Syntax:
echo	^[^<user name^> ^<password^>^] ^<server name^> ^<database name^>
echo.
echo  Options:
echo.
echo    user name password : user name and password for SQL Server^(for SQL Server Aut                        hentication^)
echo.
echo    server name        : instance of SQL Server to which to connect
echo.
echo    database name      : name of database to which data will be exported
echo.
:end