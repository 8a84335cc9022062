// The connection test of the save-options dialog: open a connection to the
// named server, create and drop a database of the chosen name, close.
//
// Every attempt goes through unixODBC and the FreeTDS driver; the four
// provider words are kept as opaque names (their order, the log lines and
// the messages are those of the original program). An empty user name
// selects integrated authentication, which FreeTDS does with Kerberos where
// it is configured. Results reach the front end through a sink; there is no
// user interface here.
#pragma once

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/odbc_connection.h"
#include "reader/scan_driver.h"  // MessageIcon

namespace tarnwick {

// Tried in this order by RunConnectionTest.
inline constexpr std::array<std::string_view, 4> kConnectionProviders = {"SQLNCLI", "SQLNCLI10",
                                                                         "SQLNCLI11", "sqloledb"};

inline constexpr std::string_view kMissingConnectionFieldsMessage =
    "Please Select Sql Server or give Database name or select Provider name to create "
    "Database,All are mandatory ";
inline constexpr std::string_view kNoProviderConnectedMessage =
    "Connection could not be Established . Check help for further Information";
inline constexpr std::string_view kConnectionTestCompletedMessage =
    "Test database connection process completed.";

// Whether a message box belongs to the dialog or has no owner window.
enum class MessageOwner { kDialog, kNone };

// Where a connection test reports: the dialog's "TEST LOG" list (one line
// per call, appended at the end) and its message boxes (caption "Tarnwick").
class ConnectionTestSink {
 public:
  virtual ~ConnectionTestSink() = default;
  virtual void ClearTestLog() = 0;
  virtual void AppendTestLog(const std::string& line) = 0;
  virtual void ShowMessage(const std::string& text, MessageIcon icon, MessageOwner owner) = 0;
};

// The dialog's fields, read once when a test starts.
struct ConnectionTestFields {
  std::string server_name;
  std::string database_name;
  std::string password;
  std::string user_name;
};

// The dialog's flags; the test worker writes them from its thread.
struct ConnectionTestState {
  // Set while a test runs; two tests must not run at once.
  std::atomic<bool> test_running{false};
  // Set by a test that succeeded with one of the providers; never cleared
  // while the dialog is open.
  std::atomic<bool> connection_tested{false};
};

// Makes the connection of one attempt; empty makes an OdbcConnection.
using SqlConnectionFactory = std::function<std::unique_ptr<SqlConnection>()>;

// "create database [name]" and "DROP database [name]", "]" written as "]]".
std::string CreateDatabaseStatement(std::string_view database_name);
std::string DropDatabaseStatement(std::string_view database_name);

// The connection string of one attempt without user id and password:
// DRIVER=driver, SERVER=server name (as typed: "host", "host\instance" or
// "host,port"), Trusted_Connection=Yes for integrated authentication, and
// UTF-8 as the client character set.
std::string FreeTdsConnectionString(std::string_view driver, std::string_view server_name,
                                    bool integrated_authentication);

// One attempt with one provider word: true when the connection opened, the
// database was created and dropped, and the connection closed. Writes its
// progress lines to the sink; a failure of the driver leaves its diagnostic
// text followed by "\n" as one line.
bool TestConnection(std::string database_name, std::string user_name, std::string password,
                    std::string server_name, std::string provider_name, ConnectionTestSink& sink,
                    const SqlConnectionFactory& make_connection = {});

// The test worker: empties the test log, checks the fields, calls
// TestConnection once per provider until one succeeds and shows the result.
// Runs on the caller's thread (the dialog starts it on a thread of its own);
// returns 1 in every case.
int RunConnectionTest(const ConnectionTestFields& fields, ConnectionTestSink& sink,
                      ConnectionTestState& state, const SqlConnectionFactory& make_connection = {});

}  // namespace tarnwick
