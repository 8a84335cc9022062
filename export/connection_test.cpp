#include "export/connection_test.h"

#include <utility>

namespace tarnwick {
namespace {

// The word of each provider in its success message, in provider order.
constexpr std::array<std::string_view, 4> kProviderMessageWords = {"SQLNCLI", "SQLNCLI10",
                                                                   "SQLNCLI11", "SQLOLEDB"};

std::string Bracketed(std::string_view name) {
  std::string out = "[";
  for (char c : name) {
    out += c;
    if (c == ']') out += ']';
  }
  out += ']';
  return out;
}

}  // namespace

std::string CreateDatabaseStatement(std::string_view database_name) {
  return "create database " + Bracketed(database_name);
}

std::string DropDatabaseStatement(std::string_view database_name) {
  return "DROP database " + Bracketed(database_name);
}

std::string FreeTdsConnectionString(std::string_view driver, std::string_view server_name,
                                    bool integrated_authentication) {
  // A driver path or a "{name}" is taken as it is.
  std::string text = "DRIVER=" + std::string(driver) + ";";
  text += OdbcAttribute("SERVER", server_name);
  if (integrated_authentication) text += "Trusted_Connection=Yes;";
  text += "ClientCharset=UTF-8;";
  return text;
}

bool TestConnection(std::string database_name, std::string user_name, std::string password,
                    std::string server_name, std::string provider_name, ConnectionTestSink& sink,
                    const SqlConnectionFactory& make_connection) {
  try {
    const std::string create_statement = CreateDatabaseStatement(database_name);
    const std::string drop_statement = DropDatabaseStatement(database_name);
    // provider_name selects nothing: every attempt uses the FreeTDS driver.
    std::unique_ptr<SqlConnection> connection =
        make_connection ? make_connection() : std::make_unique<OdbcConnection>();

    const bool integrated = user_name.empty();
    if (integrated) {
      std::string line = "Opening Connection using windows authentication....";
      std::string problem = connection->IntegratedAuthenticationProblem();
      if (!problem.empty()) {
        line += " (integrated authentication is not available: " + problem + ")";
      }
      sink.AppendTestLog(line);
    } else {
      sink.AppendTestLog("Opening Connection using SqlServer authentication ....");
    }
    // The password box's text goes with the open call in both modes.
    SqlCallResult result = connection->Open(
        FreeTdsConnectionString(FreeTdsDriver(), server_name, integrated), user_name, password);
    if (!result.failed && result.status != 0) {
      sink.ShowMessage("Connection is Failed", MessageIcon::kInformation, MessageOwner::kNone);
      sink.AppendTestLog("Connection is Failed");
      return false;
    }
    // Statements that end neither in success nor in an error count as failed.
    auto failed = [&sink](const SqlCallResult& r) {
      if (r.ok()) return false;
      sink.AppendTestLog(
          (r.failed ? r.description : "ODBC call returned " + std::to_string(r.status)) + "\n");
      return true;
    };
    if (failed(result)) return false;

    sink.AppendTestLog("Connection is successful");
    sink.AppendTestLog("creating Database.....");
    if (failed(connection->Execute(create_statement))) return false;
    sink.AppendTestLog("Database created.");
    sink.AppendTestLog("Deleting Created Database.....");
    if (failed(connection->Execute(drop_statement))) return false;
    sink.AppendTestLog("Database deleted..");
    sink.AppendTestLog("Connection is successful");
    sink.AppendTestLog("Closing Connection.....");
    if (failed(connection->Close())) return false;
    sink.AppendTestLog("Connection Closed.");
    return true;
  } catch (...) {
    sink.AppendTestLog("Error performing above task.....");
    return false;
  }
}

int RunConnectionTest(const ConnectionTestFields& fields, ConnectionTestSink& sink,
                      ConnectionTestState& state, const SqlConnectionFactory& make_connection) {
  // The original initialised COM for the thread here; nothing of the kind
  // is needed for ODBC.
  sink.ClearTestLog();
  state.test_running = true;

  const std::string_view first_provider = kConnectionProviders[0];
  if (fields.server_name.empty() || fields.database_name.empty() || first_provider.empty()) {
    state.test_running = false;
    sink.ShowMessage(std::string(kMissingConnectionFieldsMessage), MessageIcon::kError,
                     MessageOwner::kDialog);
    return 1;
  }

  bool connected = false;
  for (size_t i = 0; i < kConnectionProviders.size() && !connected; ++i) {
    const std::string provider(kConnectionProviders[i]);
    if (TestConnection(fields.database_name, fields.user_name, fields.password, fields.server_name,
                       provider, sink, make_connection)) {
      connected = true;
      sink.ShowMessage(
          "Connection Established with " + std::string(kProviderMessageWords[i]) + " Provider.",
          MessageIcon::kInformation, MessageOwner::kDialog);
    } else if (i + 1 < kConnectionProviders.size()) {
      sink.AppendTestLog("Connection failed with " + provider + " ...");
    } else {
      sink.ShowMessage(std::string(kNoProviderConnectedMessage), MessageIcon::kInformation,
                       MessageOwner::kDialog);
    }
  }

  state.test_running = false;
  if (connected) state.connection_tested = true;
  sink.ShowMessage(std::string(kConnectionTestCompletedMessage), MessageIcon::kInformation,
                   MessageOwner::kDialog);
  return 1;
}

}  // namespace tarnwick
