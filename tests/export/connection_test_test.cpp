#include "export/connection_test.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace tarnwick {
namespace {

constexpr const char* kOpenSql = "Opening Connection using SqlServer authentication ....";
constexpr const char* kOpenWindows = "Opening Connection using windows authentication....";

// Records every call as "clear", "log:LINE" or "msg:ICON:OWNER:TEXT".
class RecordingTestSink : public ConnectionTestSink {
 public:
  void ClearTestLog() override { events.push_back("clear"); }
  void AppendTestLog(const std::string& line) override { events.push_back("log:" + line); }
  void ShowMessage(const std::string& text, MessageIcon icon, MessageOwner owner) override {
    events.push_back(std::string("msg:") + (icon == MessageIcon::kError ? "error" : "info") + ":" +
                     (owner == MessageOwner::kDialog ? "dialog" : "none") + ":" + text);
  }
  std::vector<std::string> Logs() const {
    std::vector<std::string> logs;
    for (const std::string& e : events) {
      if (e.starts_with("log:")) logs.push_back(e.substr(4));
    }
    return logs;
  }
  std::vector<std::string> events;
};

// Where a scripted attempt goes wrong.
enum class Fault {
  kNone,
  kOpenFails,
  kOpenNotDone,
  kCreateFails,
  kDropFails,
  kCloseFails,
  kThrows
};

// A connection that fails as scripted and records what it was asked.
class ScriptedConnection : public SqlConnection {
 public:
  ScriptedConnection(Fault fault, std::string problem, std::vector<std::string>& calls)
      : fault_(fault), problem_(std::move(problem)), calls_(calls) {}

  std::string IntegratedAuthenticationProblem() override { return problem_; }
  SqlCallResult Open(const std::string& connection_string, const std::string& user_id,
                     const std::string& password) override {
    calls_.push_back("open:" + connection_string + "|" + user_id + "|" + password);
    if (fault_ == Fault::kThrows) throw std::runtime_error("not a driver error");
    if (fault_ == Fault::kOpenNotDone) {
      SqlCallResult not_done;
      not_done.status = 100;
      return not_done;
    }
    return Result(Fault::kOpenFails, "open refused");
  }
  SqlCallResult Execute(const std::string& statement) override {
    calls_.push_back("exec:" + statement);
    bool create = statement.starts_with("create");
    return Result(create ? Fault::kCreateFails : Fault::kDropFails, create ? "exists" : "in use");
  }
  SqlCallResult Close() override {
    calls_.push_back("close");
    return Result(Fault::kCloseFails, "close failed");
  }

 private:
  SqlCallResult Result(Fault when, const char* text) const {
    SqlCallResult result;
    if (fault_ == when) {
      result.failed = true;
      result.description = text;
    }
    return result;
  }

  Fault fault_;
  std::string problem_;
  std::vector<std::string>& calls_;
};

// Hands out one scripted connection per attempt, the faults in order.
struct Script {
  explicit Script(std::vector<Fault> f = {}, std::string p = {})
      : faults(std::move(f)), problem(std::move(p)) {}

  std::vector<Fault> faults;
  std::string problem;
  std::vector<std::string> calls;
  size_t made = 0;

  SqlConnectionFactory Factory() {
    return [this]() -> std::unique_ptr<SqlConnection> {
      Fault fault = made < faults.size() ? faults[made] : Fault::kNone;
      ++made;
      return std::make_unique<ScriptedConnection>(fault, problem, calls);
    };
  }
};

struct AttemptCase {
  const char* name;
  Fault fault;
  bool expected_result;
  std::vector<std::string> expected_events;
};

const AttemptCase kAttemptCases[] = {
    {"success",
     Fault::kNone,
     true,
     {std::string("log:") + kOpenSql, "log:Connection is successful", "log:creating Database.....",
      "log:Database created.", "log:Deleting Created Database.....", "log:Database deleted..",
      "log:Connection is successful", "log:Closing Connection.....", "log:Connection Closed."}},
    {"open_fails",
     Fault::kOpenFails,
     false,
     {std::string("log:") + kOpenSql, "log:open refused\n"}},
    {"open_not_done",
     Fault::kOpenNotDone,
     false,
     {std::string("log:") + kOpenSql, "msg:info:none:Connection is Failed",
      "log:Connection is Failed"}},
    {"create_fails",
     Fault::kCreateFails,
     false,
     {std::string("log:") + kOpenSql, "log:Connection is successful", "log:creating Database.....",
      "log:exists\n"}},
    {"drop_fails",
     Fault::kDropFails,
     false,
     {std::string("log:") + kOpenSql, "log:Connection is successful", "log:creating Database.....",
      "log:Database created.", "log:Deleting Created Database.....", "log:in use\n"}},
    {"close_fails",
     Fault::kCloseFails,
     false,
     {std::string("log:") + kOpenSql, "log:Connection is successful", "log:creating Database.....",
      "log:Database created.", "log:Deleting Created Database.....", "log:Database deleted..",
      "log:Connection is successful", "log:Closing Connection.....", "log:close failed\n"}},
    {"other_error",
     Fault::kThrows,
     false,
     {std::string("log:") + kOpenSql, "log:Error performing above task....."}},
};

class AttemptTest : public ::testing::TestWithParam<AttemptCase> {};

TEST_P(AttemptTest, LogLinesAndResult) {
  const AttemptCase& c = GetParam();
  Script script({c.fault});
  RecordingTestSink sink;
  EXPECT_EQ(TestConnection("db", "sa", "pw", "srv", "SQLNCLI", sink, script.Factory()),
            c.expected_result);
  EXPECT_EQ(sink.events, c.expected_events);
}

INSTANTIATE_TEST_SUITE_P(Faults, AttemptTest, ::testing::ValuesIn(kAttemptCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ConnectionTest, SendsBracketedStatementsAndSeparateCredentials) {
  Script script;
  RecordingTestSink sink;
  ASSERT_TRUE(TestConnection("a]b", "sa", "p;w", "host\\INST", "SQLNCLI", sink, script.Factory()));
  ASSERT_EQ(script.calls.size(), 4u);
  EXPECT_TRUE(script.calls[0].starts_with("open:DRIVER=")) << script.calls[0];
  EXPECT_TRUE(script.calls[0].ends_with(";SERVER=host\\INST;ClientCharset=UTF-8;|sa|p;w"))
      << script.calls[0];
  EXPECT_EQ(script.calls[1], "exec:create database [a]]b]");
  EXPECT_EQ(script.calls[2], "exec:DROP database [a]]b]");
  EXPECT_EQ(script.calls[3], "close");
}

TEST(ConnectionTest, EmptyUserNameSelectsIntegratedAuthentication) {
  struct Case {
    std::string problem;
    std::string expected_line;
  };
  const Case cases[] = {
      {"", kOpenWindows},
      {"no Kerberos",
       std::string(kOpenWindows) + " (integrated authentication is not available: no Kerberos)"},
  };
  for (const Case& c : cases) {
    Script script({}, c.problem);
    RecordingTestSink sink;
    ASSERT_TRUE(TestConnection("db", "", "typed", "srv", "SQLNCLI", sink, script.Factory()));
    EXPECT_EQ(sink.Logs().front(), c.expected_line);
    // The password box's text still goes with the open call.
    EXPECT_TRUE(script.calls[0].ends_with(";Trusted_Connection=Yes;ClientCharset=UTF-8;||typed"))
        << script.calls[0];
  }
}

TEST(ConnectionTest, ConnectionStringQuotesTheServerName) {
  EXPECT_EQ(FreeTdsConnectionString("{FreeTDS}", "srv,1433", false),
            "DRIVER={FreeTDS};SERVER=srv,1433;ClientCharset=UTF-8;");
  EXPECT_EQ(FreeTdsConnectionString("/lib/libtdsodbc.so", "a;b}", true),
            "DRIVER=/lib/libtdsodbc.so;SERVER={a;b}}};Trusted_Connection=Yes;ClientCharset=UTF-8;");
}

TEST(ConnectionTestWorker, OnlyTheFourthProviderConnects) {
  Script script(std::vector<Fault>(3, Fault::kOpenFails));
  RecordingTestSink sink;
  ConnectionTestState state;
  EXPECT_EQ(RunConnectionTest({"srv", "db", "pw", "sa"}, sink, state, script.Factory()), 1);
  std::vector<std::string> expected = {"clear"};
  for (const char* provider : {"SQLNCLI", "SQLNCLI10", "SQLNCLI11"}) {
    expected.push_back(std::string("log:") + kOpenSql);
    expected.push_back("log:open refused\n");
    expected.push_back(std::string("log:Connection failed with ") + provider + " ...");
  }
  for (const char* line :
       {kOpenSql, "Connection is successful", "creating Database.....", "Database created.",
        "Deleting Created Database.....", "Database deleted..", "Connection is successful",
        "Closing Connection.....", "Connection Closed."}) {
    expected.push_back(std::string("log:") + line);
  }
  expected.push_back("msg:info:dialog:Connection Established with SQLOLEDB Provider.");
  expected.push_back("msg:info:dialog:Test database connection process completed.");
  EXPECT_EQ(sink.events, expected);
  EXPECT_FALSE(state.test_running);
  EXPECT_TRUE(state.connection_tested);
}

TEST(ConnectionTestWorker, SuccessMessageNamesTheFirstProviderThatConnects) {
  const char* expected[] = {"SQLNCLI", "SQLNCLI10", "SQLNCLI11", "SQLOLEDB"};
  for (size_t failures = 0; failures < 4; ++failures) {
    Script script(std::vector<Fault>(failures, Fault::kCreateFails));
    RecordingTestSink sink;
    ConnectionTestState state;
    RunConnectionTest({"srv", "db", "pw", "sa"}, sink, state, script.Factory());
    EXPECT_EQ(script.made, failures + 1);
    ASSERT_GE(sink.events.size(), 2u);
    EXPECT_EQ(sink.events[sink.events.size() - 2],
              std::string("msg:info:dialog:Connection Established with ") + expected[failures] +
                  " Provider.");
  }
}

TEST(ConnectionTestWorker, FailedTestKeepsAnEarlierSuccess) {
  Script script(std::vector<Fault>(4, Fault::kCreateFails));
  RecordingTestSink sink;
  ConnectionTestState state;
  state.connection_tested = true;
  RunConnectionTest({"srv", "db", "pw", "sa"}, sink, state, script.Factory());
  EXPECT_TRUE(state.connection_tested);
  const std::vector<std::string> expected_end = {
      "msg:info:dialog:Connection could not be Established . Check help for further Information",
      "msg:info:dialog:Test database connection process completed."};
  EXPECT_EQ(std::vector<std::string>(sink.events.end() - 2, sink.events.end()), expected_end);
}

TEST(ConnectionTestWorker, MissingFieldStopsBeforeAnyAttempt) {
  const ConnectionTestFields cases[] = {
      {"", "db", "pw", "sa"}, {"srv", "", "pw", "sa"}, {"", "", "", ""}};
  for (const ConnectionTestFields& fields : cases) {
    Script script;
    RecordingTestSink sink;
    ConnectionTestState state;
    EXPECT_EQ(RunConnectionTest(fields, sink, state, script.Factory()), 1);
    const std::vector<std::string> expected = {
        "clear",
        "msg:error:dialog:Please Select Sql Server or give Database name or select Provider name "
        "to create Database,All are mandatory "};
    EXPECT_EQ(sink.events, expected);
    EXPECT_EQ(script.made, 0u);
    EXPECT_FALSE(state.test_running);
    EXPECT_FALSE(state.connection_tested);
  }
}

// A loopback TCP port that refuses connections: bound, never listening.
class ClosedPort {
 public:
  ClosedPort() {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    if (fd_ >= 0 && bind(fd_, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
        getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
      port_ = ntohs(address.sin_port);
    }
  }
  ~ClosedPort() {
    if (fd_ >= 0) close(fd_);
  }
  int port() const { return port_; }

 private:
  int fd_ = -1;
  int port_ = 0;
};

TEST(ConnectionTestOverOdbc, EveryProviderFailsWithTheDriversText) {
  ClosedPort closed;
  ASSERT_NE(closed.port(), 0);
  // A label longer than 63 characters cannot become a DNS query, so the
  // name fails inside the resolver without anything being sent.
  const std::string unresolvable = std::string(70, 'a') + ".invalid";
  struct Case {
    std::string server;
    std::string user;
    const char* opening_line;
    const char* driver_text;
  };
  const Case cases[] = {
      {"127.0.0.1," + std::to_string(closed.port()), "sa", kOpenSql, "Unable to connect"},
      {unresolvable, "sa", kOpenSql, "Unknown host machine name"},
      {"127.0.0.1," + std::to_string(closed.port()), "", kOpenWindows, "Unable to connect"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.server + " user=" + c.user);
    RecordingTestSink sink;
    ConnectionTestState state;
    EXPECT_EQ(RunConnectionTest({c.server, "tarnwick_test", "pw", c.user}, sink, state), 1);
    ASSERT_EQ(sink.events.size(), 1u + 3 * 3 + 2 + 2);
    EXPECT_EQ(sink.events[0], "clear");
    size_t at = 1;
    for (const char* provider : {"SQLNCLI", "SQLNCLI10", "SQLNCLI11", "sqloledb"}) {
      const std::string& opening = sink.events[at++];
      EXPECT_TRUE(opening.starts_with(std::string("log:") + c.opening_line)) << opening;
      const std::string& diagnostic = sink.events[at++];
      EXPECT_TRUE(diagnostic.starts_with("log:")) << diagnostic;
      EXPECT_NE(diagnostic.find("[FreeTDS]"), std::string::npos) << diagnostic;
      EXPECT_NE(diagnostic.find(c.driver_text), std::string::npos) << diagnostic;
      EXPECT_TRUE(diagnostic.ends_with("\n")) << diagnostic;
      if (std::string_view(provider) != "sqloledb") {
        EXPECT_EQ(sink.events[at++],
                  std::string("log:Connection failed with ") + provider + " ...");
      }
    }
    EXPECT_EQ(sink.events[at++],
              "msg:info:dialog:Connection could not be Established . Check help for further "
              "Information");
    EXPECT_EQ(sink.events[at++], "msg:info:dialog:Test database connection process completed.");
    EXPECT_FALSE(state.test_running);
    EXPECT_FALSE(state.connection_tested);
  }
}

}  // namespace
}  // namespace tarnwick
