// The server list of the save-options dialog's "Scan Sever Instances" button.
//
// First the ODBC browse-connect request against the "SQL Server" driver,
// where the driver manager has a driver that answers it; FreeTDS does not,
// so when that gives no server the SQL Server Browser service is asked
// (SSRP, UDP port 1434: the CLNT_BCAST_EX request to the broadcast address
// of each local network) and its answers become the same "server\instance"
// items. No error is ever reported: the list is merely empty.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tarnwick {

inline constexpr uint16_t kSqlBrowserPort = 1434;
// SSRP message types.
inline constexpr uint8_t kSsrpClientBroadcastEx = 0x02;
inline constexpr uint8_t kSsrpServerResponse = 0x05;

// Splits a list text into trimmed, non-empty items; array is emptied first.
void Split(std::string_view text, std::string_view separator, std::vector<std::string>& array);

// The servers of a browse-connect answer: the text between the braces after
// "SERVER:Server=", split at ",". Empty when a marker is missing.
std::vector<std::string> ServersOfBrowseAnswer(std::string_view answer);

// Appends the instances of one SVR_RESP datagram as "server\instance" items
// ("server" alone for the default instance MSSQLSERVER), skipping items
// already in the list (compared without regard to case). False when the
// datagram is not a well-formed answer or names no instance.
bool ParseSsrpResponse(std::span<const uint8_t> datagram, std::vector<std::string>& items);

struct BrowserQueryOptions {
  // Dotted IPv4 address to ask; empty asks the broadcast address of every
  // local network.
  std::string target_address;
  uint16_t port = kSqlBrowserPort;
  // How long answers are collected.
  int timeout_ms = 1500;
};

// Sends CLNT_BCAST_EX and returns the instances of every answer received in
// time, in order of arrival.
std::vector<std::string> QuerySqlBrowsers(const BrowserQueryOptions& options = {});

class CSQLInfoEnumerator {
 public:
  // The browse-connect input of the original program.
  static constexpr std::string_view kBrowseInput = "Driver={SQL Server}";

  CSQLInfoEnumerator() = default;
  CSQLInfoEnumerator(const CSQLInfoEnumerator&) = delete;
  CSQLInfoEnumerator& operator=(const CSQLInfoEnumerator&) = delete;

  // Fills the server array; returns 1 in every case (the array may be empty).
  int EnumerateServers(const BrowserQueryOptions& options = {});

  const std::vector<std::string>& servers() const { return servers_; }
  // Never filled.
  const std::vector<std::string>& databases() const { return databases_; }
  const std::vector<std::string>& languages() const { return languages_; }

 private:
  std::vector<std::string> servers_;
  std::vector<std::string> databases_;
  std::vector<std::string> languages_;
};

}  // namespace tarnwick
