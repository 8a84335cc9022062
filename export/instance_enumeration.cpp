#include "export/instance_enumeration.h"

#include <cctype>

#include "platform/odbc_connection.h"
#include "platform/text_codec.h"
#include "platform/udp_query.h"

namespace tarnwick {
namespace {

constexpr std::string_view kBlanks = " \t\r\n";
constexpr std::string_view kBrowseMarker = "SERVER:Server=";
constexpr std::string_view kDefaultInstance = "MSSQLSERVER";

std::string_view Trimmed(std::string_view text) {
  size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  size_t last = text.find_last_not_of(kBlanks);
  return text.substr(first, last - first + 1);
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

// The item of one INSTANCEINFO record ("ServerName;S;InstanceName;I;..."),
// or empty when it lacks either name.
std::string InstanceItem(std::string_view record) {
  std::string_view server;
  std::string_view instance;
  while (!record.empty()) {
    size_t key_end = record.find(';');
    std::string_view key = record.substr(0, key_end);
    if (key_end == std::string_view::npos) break;
    record.remove_prefix(key_end + 1);
    size_t value_end = record.find(';');
    std::string_view value = record.substr(0, value_end);
    record.remove_prefix(value_end == std::string_view::npos ? record.size() : value_end + 1);
    if (server.empty() && EqualsIgnoringCase(key, "ServerName")) server = value;
    if (instance.empty() && EqualsIgnoringCase(key, "InstanceName")) instance = value;
  }
  if (server.empty() || instance.empty()) return {};
  if (EqualsIgnoringCase(instance, kDefaultInstance)) return std::string(server);
  return std::string(server) + "\\" + std::string(instance);
}

}  // namespace

void Split(std::string_view text, std::string_view separator, std::vector<std::string>& array) {
  array.clear();
  std::string rest(Trimmed(text));
  if (rest.empty()) return;
  if (separator.empty()) {
    array.push_back(rest);
    return;
  }
  if (!rest.ends_with(separator)) rest += separator;
  std::string_view view(rest);
  while (!view.empty()) {
    size_t end = view.find(separator);
    std::string_view item = Trimmed(view.substr(0, end));
    if (!item.empty()) array.emplace_back(item);
    view.remove_prefix(end + separator.size());
  }
}

std::vector<std::string> ServersOfBrowseAnswer(std::string_view answer) {
  std::vector<std::string> servers;
  size_t marker = answer.find(kBrowseMarker);
  if (marker == std::string_view::npos) return servers;
  std::string_view rest = answer.substr(marker + kBrowseMarker.size());
  size_t open = rest.find('{');
  if (open == std::string_view::npos) return servers;
  rest.remove_prefix(open + 1);
  size_t close = rest.find('}');
  if (close == std::string_view::npos) return servers;
  Split(rest.substr(0, close), ",", servers);
  return servers;
}

bool ParseSsrpResponse(std::span<const uint8_t> datagram, std::vector<std::string>& items) {
  // SVR_RESP: the type byte, RESP_SIZE (16-bit little-endian), RESP_DATA.
  if (datagram.size() < 3 || datagram[0] != kSsrpServerResponse) return false;
  const size_t size = datagram[1] | (datagram[2] << 8);
  if (size == 0 || datagram.size() - 3 < size) return false;
  const std::string data = DecodeCodePage(datagram.subspan(3, size), kDefaultCodePage);

  // One INSTANCEINFO per instance, each ended by ";;".
  bool any = false;
  std::string_view rest(data);
  while (!rest.empty()) {
    size_t end = rest.find(";;");
    std::string item = InstanceItem(rest.substr(0, end == std::string_view::npos ? end : end + 1));
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 2);
    if (item.empty()) continue;
    any = true;
    bool seen = false;
    for (const std::string& existing : items) seen = seen || EqualsIgnoringCase(existing, item);
    if (!seen) items.push_back(std::move(item));
  }
  return any;
}

std::vector<std::string> QuerySqlBrowsers(const BrowserQueryOptions& options) {
  const std::vector<std::string> addresses = options.target_address.empty()
                                                 ? LocalBroadcastAddresses()
                                                 : std::vector{options.target_address};
  const uint8_t request[] = {kSsrpClientBroadcastEx};
  std::vector<std::string> items;
  for (const std::vector<uint8_t>& answer :
       UdpQuery(request, addresses, options.port, options.timeout_ms)) {
    ParseSsrpResponse(answer, items);
  }
  return items;
}

int CSQLInfoEnumerator::EnumerateServers(const BrowserQueryOptions& options) {
  servers_ = ServersOfBrowseAnswer(OdbcBrowseConnect(kBrowseInput));
  if (servers_.empty()) servers_ = QuerySqlBrowsers(options);
  return 1;
}

}  // namespace tarnwick
