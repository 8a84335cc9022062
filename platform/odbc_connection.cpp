#include "platform/odbc_connection.h"

#include <dlfcn.h>
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <span>
#include <vector>

#include "platform/file_system.h"
#include "platform/text_codec.h"

namespace tarnwick {
namespace {

constexpr const char* kFreeTdsName = "FreeTDS";
constexpr const char* kFreeTdsLibrary = "libtdsodbc.so";
constexpr int kBrowseOutputChars = 4824;

bool Succeeded(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

bool FileExists(const std::string& path) {
  struct stat st;
  return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The diagnostic records of a handle as one line: "STATE: message" joined by
// "; ", repeated records once.
std::string Diagnostics(SQLSMALLINT type, SQLHANDLE handle, SQLRETURN rc) {
  std::vector<std::string> records;
  for (SQLSMALLINT i = 1; handle != SQL_NULL_HANDLE; ++i) {
    SQLCHAR state[6] = {};
    SQLINTEGER native = 0;
    SQLCHAR message[SQL_MAX_MESSAGE_LENGTH + 1] = {};
    SQLSMALLINT length = 0;
    if (!Succeeded(
            SQLGetDiagRec(type, handle, i, state, &native, message, sizeof(message), &length))) {
      break;
    }
    std::string record = reinterpret_cast<const char*>(state);
    record += ": ";
    record += reinterpret_cast<const char*>(message);
    bool seen = false;
    for (const std::string& r : records) seen = seen || r == record;
    if (!seen) records.push_back(std::move(record));
  }
  if (records.empty()) return "ODBC call failed with return code " + std::to_string(rc);
  std::string text;
  for (const std::string& r : records) {
    if (!text.empty()) text += "; ";
    text += r;
  }
  return text;
}

SqlCallResult Failure(std::string description) {
  SqlCallResult result;
  result.failed = true;
  result.description = std::move(description);
  return result;
}

SqlCallResult FromReturn(SQLRETURN rc, SQLSMALLINT type, SQLHANDLE handle) {
  if (Succeeded(rc)) return {};
  if (rc == SQL_ERROR || rc == SQL_INVALID_HANDLE) return Failure(Diagnostics(type, handle, rc));
  SqlCallResult result;
  result.status = rc;
  return result;
}

// An environment handle for ODBC 3, or null.
SQLHENV NewEnvironment() {
  SQLHENV env = SQL_NULL_HENV;
  if (!Succeeded(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env))) return SQL_NULL_HENV;
  if (!Succeeded(SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION,
                               reinterpret_cast<SQLPOINTER>(static_cast<intptr_t>(SQL_OV_ODBC3)),
                               0))) {
    SQLFreeHandle(SQL_HANDLE_ENV, env);
    return SQL_NULL_HENV;
  }
  return env;
}

// The "Driver" attribute of the FreeTDS driver registered with the driver
// manager, or nullopt when no driver of that name is registered.
std::optional<std::string> RegisteredFreeTdsLibrary() {
  SQLHENV env = NewEnvironment();
  if (env == SQL_NULL_HENV) return std::nullopt;
  std::optional<std::string> library;
  SQLUSMALLINT direction = SQL_FETCH_FIRST;
  for (;;) {
    SQLCHAR description[256] = {};
    SQLCHAR attributes[2048] = {};
    SQLSMALLINT description_length = 0;
    SQLSMALLINT attributes_length = 0;
    SQLRETURN rc = SQLDrivers(env, direction, description, sizeof(description), &description_length,
                              attributes, sizeof(attributes), &attributes_length);
    if (!Succeeded(rc)) break;
    direction = SQL_FETCH_NEXT;
    if (std::string_view(reinterpret_cast<const char*>(description)) != kFreeTdsName) continue;
    library = "";
    // Attributes: "key=value" items, each ended by a NUL, the list by a second.
    std::string_view rest(reinterpret_cast<const char*>(attributes),
                          std::min<size_t>(attributes_length, sizeof(attributes)));
    while (!rest.empty()) {
      size_t end = rest.find('\0');
      std::string_view item = rest.substr(0, end);
      if (item.starts_with("Driver=")) library = std::string(item.substr(7));
      if (end == std::string_view::npos) break;
      rest.remove_prefix(end + 1);
    }
    break;
  }
  SQLFreeHandle(SQL_HANDLE_ENV, env);
  return library;
}

// The folder of the unixODBC driver manager library, where Debian keeps the
// drivers in "odbc/".
std::string DriverManagerFolder() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&SQLAllocHandle), &info) == 0 || info.dli_fname == nullptr) {
    return {};
  }
  return FolderOf(info.dli_fname);
}

// Where a driver library given by a bare name may lie.
std::vector<std::string> LibraryCandidates(const std::string& name) {
  if (name.find('/') != std::string::npos) return {name};
  std::vector<std::string> candidates;
  std::string folder = DriverManagerFolder();
  if (!folder.empty()) {
    candidates.push_back(JoinPath(JoinPath(folder, "odbc"), name));
    candidates.push_back(JoinPath(folder, name));
  }
  for (const char* dir : {"/usr/lib/x86_64-linux-gnu/odbc", "/usr/lib/aarch64-linux-gnu/odbc",
                          "/usr/lib/odbc", "/usr/lib64", "/usr/local/lib", "/usr/lib"}) {
    candidates.push_back(JoinPath(dir, name));
  }
  return candidates;
}

std::string FindLibrary(const std::string& name) {
  for (const std::string& path : LibraryCandidates(name)) {
    if (FileExists(path)) return path;
  }
  return {};
}

// The path of the FreeTDS driver library, or empty.
std::string FreeTdsLibraryPath() {
  std::optional<std::string> registered = RegisteredFreeTdsLibrary();
  if (registered && !registered->empty()) {
    std::string path = FindLibrary(*registered);
    if (!path.empty()) return path;
  }
  return FindLibrary(kFreeTdsLibrary);
}

bool KerberosConfigured() {
  if (const char* config = std::getenv("KRB5_CONFIG"); config != nullptr && *config != '\0') {
    std::string_view list(config);
    while (!list.empty()) {
      size_t end = list.find(':');
      if (FileExists(std::string(list.substr(0, end)))) return true;
      if (end == std::string_view::npos) break;
      list.remove_prefix(end + 1);
    }
    return false;
  }
  return FileExists("/etc/krb5.conf");
}

void AppendUtf16Units(std::string_view utf8, std::vector<SQLWCHAR>& out) {
  std::string bytes = Utf8ToUtf16Le(utf8);
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    out.push_back(static_cast<SQLWCHAR>(static_cast<uint8_t>(bytes[i]) |
                                        (static_cast<uint8_t>(bytes[i + 1]) << 8)));
  }
}

std::string Utf16UnitsToUtf8(std::span<const SQLWCHAR> units) {
  std::vector<uint8_t> bytes;
  bytes.reserve(units.size() * 2);
  for (SQLWCHAR unit : units) {
    bytes.push_back(static_cast<uint8_t>(unit & 0xFF));
    bytes.push_back(static_cast<uint8_t>((unit >> 8) & 0xFF));
  }
  return Utf16LeToUtf8(bytes);
}

}  // namespace

std::string OdbcAttribute(std::string_view key, std::string_view value) {
  bool quote = value.find_first_of(";{}") != std::string_view::npos ||
               (!value.empty() && (value.front() == ' ' || value.back() == ' '));
  std::string out(key);
  out += '=';
  if (!quote) {
    out += value;
  } else {
    out += '{';
    for (char c : value) {
      out += c;
      if (c == '}') out += '}';
    }
    out += '}';
  }
  out += ';';
  return out;
}

std::string FreeTdsDriver() {
  std::optional<std::string> registered = RegisteredFreeTdsLibrary();
  if (registered) return std::string("{") + kFreeTdsName + "}";
  std::string path = FindLibrary(kFreeTdsLibrary);
  if (!path.empty()) return path;
  return std::string("{") + kFreeTdsName + "}";
}

OdbcConnection::OdbcConnection(int login_timeout_seconds)
    : login_timeout_seconds_(login_timeout_seconds) {}

OdbcConnection::~OdbcConnection() { FreeHandles(); }

void OdbcConnection::FreeHandles() {
  if (connection_ != nullptr) {
    if (connected_) SQLDisconnect(static_cast<SQLHDBC>(connection_));
    SQLFreeHandle(SQL_HANDLE_DBC, static_cast<SQLHDBC>(connection_));
  }
  if (environment_ != nullptr) SQLFreeHandle(SQL_HANDLE_ENV, static_cast<SQLHENV>(environment_));
  connection_ = nullptr;
  environment_ = nullptr;
  connected_ = false;
}

std::string OdbcConnection::IntegratedAuthenticationProblem() {
  std::string library = FreeTdsLibraryPath();
  if (library.empty()) return "the FreeTDS ODBC driver is not installed";
  void* handle = dlopen(library.c_str(), RTLD_LAZY | RTLD_LOCAL);
  if (handle == nullptr) return "the FreeTDS ODBC driver cannot be loaded";
  // The driver does Kerberos through GSSAPI when it was built with it.
  bool has_gssapi = dlsym(handle, "gss_init_sec_context") != nullptr;
  dlclose(handle);
  if (!has_gssapi) return "the FreeTDS driver was built without Kerberos support";
  if (!KerberosConfigured()) return "no Kerberos configuration (/etc/krb5.conf or KRB5_CONFIG)";
  return {};
}

SqlCallResult OdbcConnection::Open(const std::string& connection_string, const std::string& user_id,
                                   const std::string& password) {
  FreeHandles();
  SQLHENV env = NewEnvironment();
  if (env == SQL_NULL_HENV) return Failure("unixODBC: no environment handle");
  environment_ = env;
  SQLHDBC dbc = SQL_NULL_HDBC;
  if (!Succeeded(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc))) {
    return Failure(Diagnostics(SQL_HANDLE_ENV, env, SQL_ERROR));
  }
  connection_ = dbc;
  SQLSetConnectAttr(dbc, SQL_ATTR_LOGIN_TIMEOUT,
                    reinterpret_cast<SQLPOINTER>(static_cast<intptr_t>(login_timeout_seconds_)), 0);

  std::string full = connection_string;
  if (!full.empty() && full.back() != ';') full += ';';
  if (!user_id.empty()) {
    full += OdbcAttribute("UID", user_id);
    full += OdbcAttribute("PWD", password);
  }
  std::vector<SQLCHAR> text(full.begin(), full.end());
  text.push_back(0);
  SQLCHAR out[1024];
  SQLSMALLINT out_length = 0;
  SQLRETURN rc = SQLDriverConnect(dbc, nullptr, text.data(), SQL_NTS, out, sizeof(out), &out_length,
                                  SQL_DRIVER_NOPROMPT);
  SqlCallResult result = FromReturn(rc, SQL_HANDLE_DBC, dbc);
  connected_ = Succeeded(rc);
  return result;
}

SqlCallResult OdbcConnection::Execute(const std::string& statement) {
  if (!connected_) return Failure("the connection is not open");
  SQLHDBC dbc = static_cast<SQLHDBC>(connection_);
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  if (!Succeeded(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt))) {
    return Failure(Diagnostics(SQL_HANDLE_DBC, dbc, SQL_ERROR));
  }
  std::vector<SQLCHAR> text(statement.begin(), statement.end());
  text.push_back(0);
  SQLRETURN rc = SQLExecDirect(stmt, text.data(), SQL_NTS);
  // A statement without a result set may answer "no data".
  SqlCallResult result =
      rc == SQL_NO_DATA ? SqlCallResult{} : FromReturn(rc, SQL_HANDLE_STMT, stmt);
  // Later results may still carry an error.
  while (result.ok()) {
    rc = SQLMoreResults(stmt);
    if (rc == SQL_NO_DATA) break;
    result = FromReturn(rc, SQL_HANDLE_STMT, stmt);
  }
  SQLFreeHandle(SQL_HANDLE_STMT, stmt);
  return result;
}

SqlCallResult OdbcConnection::Close() {
  if (!connected_) return {};
  SQLHDBC dbc = static_cast<SQLHDBC>(connection_);
  SQLRETURN rc = SQLDisconnect(dbc);
  SqlCallResult result = FromReturn(rc, SQL_HANDLE_DBC, dbc);
  if (Succeeded(rc)) connected_ = false;
  return result;
}

std::string OdbcBrowseConnect(std::string_view input) {
  SQLHENV env = SQL_NULL_HENV;
  if (!Succeeded(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env))) return {};
  std::string output;
  if (Succeeded(SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION,
                              reinterpret_cast<SQLPOINTER>(static_cast<intptr_t>(SQL_OV_ODBC3)),
                              0))) {
    SQLHDBC dbc = SQL_NULL_HDBC;
    if (Succeeded(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc))) {
      std::vector<SQLWCHAR> in;
      AppendUtf16Units(input, in);
      in.push_back(0);
      std::vector<SQLWCHAR> out(kBrowseOutputChars + 1, 0);
      SQLSMALLINT out_length = 0;
      SQLRETURN rc =
          SQLBrowseConnectW(dbc, in.data(), SQL_NTS, out.data(), kBrowseOutputChars, &out_length);
      if (Succeeded(rc) || rc == SQL_NEED_DATA) {
        size_t length = 0;
        while (length < static_cast<size_t>(kBrowseOutputChars) && out[length] != 0) ++length;
        output = Utf16UnitsToUtf8(std::span<const SQLWCHAR>(out.data(), length));
      }
      SQLDisconnect(dbc);
      SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    }
  }
  SQLFreeHandle(SQL_HANDLE_ENV, env);
  return output;
}

}  // namespace tarnwick
