// The server connection layer: unixODBC with the FreeTDS ODBC driver, and the
// ODBC browse-connect request. Only odbc_connection.cpp includes the ODBC
// headers; callers see plain strings.
#pragma once

#include <string>
#include <string_view>

namespace tarnwick {

// The outcome of one call of the connection layer.
struct SqlCallResult {
  // The call failed with an error; description holds the driver's text.
  bool failed = false;
  // When not failed: 0 on success, otherwise the call's own return code
  // (the call neither succeeded nor reported an error).
  int status = 0;
  std::string description;

  bool ok() const { return !failed && status == 0; }
};

// One connection to a server. The default implementation is OdbcConnection;
// tests put a scripted one in its place.
class SqlConnection {
 public:
  virtual ~SqlConnection() = default;

  // Empty when integrated authentication can be tried; otherwise why it
  // cannot ("the FreeTDS driver has no Kerberos support", ...).
  virtual std::string IntegratedAuthenticationProblem() = 0;

  // Opens with an ODBC connection string that names neither the user id nor
  // the password; those are passed apart and added by the layer.
  virtual SqlCallResult Open(const std::string& connection_string, const std::string& user_id,
                             const std::string& password) = 0;

  // Runs one text statement and reads all its results.
  virtual SqlCallResult Execute(const std::string& statement) = 0;

  virtual SqlCallResult Close() = 0;
};

// A connection through the unixODBC driver manager. Statements and
// connection strings are UTF-8. The handles are freed on destruction; a
// connection still open then is disconnected first.
class OdbcConnection final : public SqlConnection {
 public:
  // Seconds a login may take before the driver gives up.
  static constexpr int kDefaultLoginTimeout = 15;

  explicit OdbcConnection(int login_timeout_seconds = kDefaultLoginTimeout);
  ~OdbcConnection() override;
  OdbcConnection(const OdbcConnection&) = delete;
  OdbcConnection& operator=(const OdbcConnection&) = delete;

  std::string IntegratedAuthenticationProblem() override;
  // The user id and password are added as UID and PWD when the user id is
  // not empty; with an empty user id the driver uses integrated
  // authentication and the password is not sent.
  SqlCallResult Open(const std::string& connection_string, const std::string& user_id,
                     const std::string& password) override;
  SqlCallResult Execute(const std::string& statement) override;
  SqlCallResult Close() override;

 private:
  void FreeHandles();

  int login_timeout_seconds_;
  void* environment_ = nullptr;
  void* connection_ = nullptr;
  bool connected_ = false;
};

// The value of the DRIVER keyword that selects the FreeTDS driver: "{FreeTDS}"
// when the driver manager has it registered under that name, otherwise the
// path of the driver library when it is found, otherwise "{FreeTDS}".
std::string FreeTdsDriver();

// "KEY=value;" with the value between braces ("}" doubled) when it holds a
// character that would end or break it (";", "{", "}", "=", leading or
// trailing blanks).
std::string OdbcAttribute(std::string_view key, std::string_view value);

// The output text of one SQLBrowseConnectW call with the input connection
// string (wide-character entry point, an output buffer of 4824 characters).
// Empty when a handle cannot be had or the call returns an error.
std::string OdbcBrowseConnect(std::string_view input);

}  // namespace tarnwick
