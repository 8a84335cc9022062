#include "export/instance_enumeration.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

namespace tarnwick {
namespace {

using Items = std::vector<std::string>;

TEST(Split, TrimsAndDropsEmptyItems) {
  struct Case {
    const char* text;
    Items expected;
  };
  const Case cases[] = {
      {"A,B\\SQLEXPRESS, C", {"A", "B\\SQLEXPRESS", "C"}},
      {"  A , ,B  ", {"A", "B"}},
      {"A,", {"A"}},
      {",,", {}},
      {"   ", {}},
      {"", {}},
      {"single", {"single"}},
  };
  for (const Case& c : cases) {
    Items array = {"left over"};
    Split(c.text, ",", array);
    EXPECT_EQ(array, c.expected) << c.text;
  }
}

TEST(BrowseAnswer, ServerListBetweenTheBraces) {
  struct Case {
    const char* answer;
    Items expected;
  };
  const Case cases[] = {
      {"SERVER:Server={A,B\\SQLEXPRESS, C};UID:Login ID=?;PWD:Password=?;*APP:AppName=?",
       {"A", "B\\SQLEXPRESS", "C"}},
      {"SERVER:Server={};UID:Login ID=?", {}},
      {"SERVER:Server={A,B,};UID:Login ID=?", {"A", "B"}},
      {"UID:Login ID=?;PWD:Password=?", {}},
      {"SERVER:Server=A,B;UID:Login ID=?", {}},
      {"SERVER:Server={A,B", {}},
      {"", {}},
  };
  for (const Case& c : cases) EXPECT_EQ(ServersOfBrowseAnswer(c.answer), c.expected) << c.answer;
}

// An SVR_RESP datagram around the given RESP_DATA.
std::vector<uint8_t> Response(const std::string& data) {
  std::vector<uint8_t> out(3 + data.size());
  out[0] = kSsrpServerResponse;
  out[1] = static_cast<uint8_t>(data.size() & 0xFF);
  out[2] = static_cast<uint8_t>(data.size() >> 8);
  std::copy(data.begin(), data.end(), out.begin() + 3);
  return out;
}

constexpr const char* kExpress =
    "ServerName;HOST1;InstanceName;SQLEXPRESS;IsClustered;No;Version;15.0.2000.5;tcp;49172;"
    "np;\\\\HOST1\\pipe\\MSSQL$SQLEXPRESS\\sql\\query;;";
constexpr const char* kDefault =
    "ServerName;HOST1;InstanceName;MSSQLSERVER;IsClustered;No;Version;16.0.1000.6;tcp;1433;;";

TEST(SsrpResponse, InstancesOfOneAnswer) {
  struct Case {
    const char* name;
    std::vector<uint8_t> datagram;
    bool expected_result;
    Items expected;
  };
  std::vector<uint8_t> too_short = Response(kDefault);
  too_short.pop_back();
  std::vector<uint8_t> wrong_type = Response(kDefault);
  wrong_type[0] = kSsrpClientBroadcastEx;
  std::vector<uint8_t> with_trailer = Response(kDefault);
  with_trailer.push_back('x');
  const Case cases[] = {
      {"named", Response(kExpress), true, {"HOST1\\SQLEXPRESS"}},
      {"default and named",
       Response(std::string(kDefault) + kExpress),
       true,
       {"HOST1", "HOST1\\SQLEXPRESS"}},
      {"same instance twice, other case",
       Response(std::string(kExpress) + "ServerName;host1;InstanceName;sqlexpress;;"),
       true,
       {"HOST1\\SQLEXPRESS"}},
      {"record without instance name skipped",
       Response(std::string("ServerName;HOST2;IsClustered;No;;") + kExpress),
       true,
       {"HOST1\\SQLEXPRESS"}},
      {"last record without its end", Response("ServerName;H;InstanceName;I"), true, {"H\\I"}},
      {"size beyond the datagram", too_short, false, {}},
      {"not a server response", wrong_type, false, {}},
      {"bytes after the answer ignored", with_trailer, true, {"HOST1"}},
      {"empty answer", Response(""), false, {}},
      {"header only", {kSsrpServerResponse, 0}, false, {}},
      {"no instance at all", Response("IsClustered;No;;"), false, {}},
  };
  for (const Case& c : cases) {
    Items items;
    EXPECT_EQ(ParseSsrpResponse(c.datagram, items), c.expected_result) << c.name;
    EXPECT_EQ(items, c.expected) << c.name;
  }
}

// A SQL Server Browser stand-in on 127.0.0.1: answers the first request
// it receives with a fixed set of datagrams.
class LoopbackBrowser {
 public:
  explicit LoopbackBrowser(std::vector<std::vector<uint8_t>> answers) {
    fd_ = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      return;
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this, answers = std::move(answers)] {
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, 10000) != 1) return;
      uint8_t buffer[512];
      sockaddr_in from{};
      socklen_t from_length = sizeof(from);
      ssize_t n = recvfrom(fd_, buffer, sizeof(buffer), 0, reinterpret_cast<sockaddr*>(&from),
                           &from_length);
      if (n < 0) return;
      request_.assign(buffer, buffer + n);
      for (const std::vector<uint8_t>& answer : answers) {
        sendto(fd_, answer.data(), answer.size(), 0, reinterpret_cast<sockaddr*>(&from),
               from_length);
      }
    });
  }
  ~LoopbackBrowser() {
    Join();
    if (fd_ >= 0) close(fd_);
  }
  void Join() {
    if (thread_.joinable()) thread_.join();
  }
  uint16_t port() const { return port_; }
  // Valid after Join.
  const std::vector<uint8_t>& request() const { return request_; }

 private:
  int fd_ = -1;
  uint16_t port_ = 0;
  std::thread thread_;
  std::vector<uint8_t> request_;
};

TEST(InstanceEnumeration, AsksTheBrowserAndListsItsInstances) {
  LoopbackBrowser browser({{0x04, 0x01},
                           Response(std::string(kDefault) + kExpress),
                           Response("ServerName;HOST2;InstanceName;SQL2019;;"),
                           Response(kExpress)});
  ASSERT_NE(browser.port(), 0);
  CSQLInfoEnumerator enumerator;
  EXPECT_EQ(enumerator.EnumerateServers({"127.0.0.1", browser.port(), 1500}), 1);
  browser.Join();
  EXPECT_EQ(browser.request(), std::vector<uint8_t>{kSsrpClientBroadcastEx});
  EXPECT_EQ(enumerator.servers(), (Items{"HOST1", "HOST1\\SQLEXPRESS", "HOST2\\SQL2019"}));
  EXPECT_TRUE(enumerator.databases().empty());
  EXPECT_TRUE(enumerator.languages().empty());
}

}  // namespace
}  // namespace tarnwick
