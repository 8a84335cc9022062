#include "platform/udp_query.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace tarnwick {

std::vector<std::string> LocalBroadcastAddresses() {
  std::vector<std::string> addresses;
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) == 0) {
    for (ifaddrs* it = list; it != nullptr; it = it->ifa_next) {
      if (it->ifa_addr == nullptr || it->ifa_addr->sa_family != AF_INET) continue;
      if ((it->ifa_flags & IFF_UP) == 0 || (it->ifa_flags & IFF_LOOPBACK) != 0) continue;
      if ((it->ifa_flags & IFF_BROADCAST) == 0 || it->ifa_broadaddr == nullptr) continue;
      char text[INET_ADDRSTRLEN] = {};
      const auto* sin = reinterpret_cast<const sockaddr_in*>(it->ifa_broadaddr);
      if (inet_ntop(AF_INET, &sin->sin_addr, text, sizeof(text)) == nullptr) continue;
      bool seen = false;
      for (const std::string& a : addresses) seen = seen || a == text;
      if (!seen) addresses.emplace_back(text);
    }
    freeifaddrs(list);
  }
  if (addresses.empty()) addresses.emplace_back("255.255.255.255");
  return addresses;
}

std::vector<std::vector<uint8_t>> UdpQuery(std::span<const uint8_t> request,
                                           const std::vector<std::string>& addresses, uint16_t port,
                                           int timeout_ms) {
  std::vector<std::vector<uint8_t>> answers;
  int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return answers;
  int on = 1;
  setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof(on));
  bool sent = false;
  for (const std::string& address : addresses) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    if (inet_pton(AF_INET, address.c_str(), &to.sin_addr) != 1) continue;
    if (sendto(fd, request.data(), request.size(), 0, reinterpret_cast<const sockaddr*>(&to),
               sizeof(to)) >= 0) {
      sent = true;
    }
  }
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  std::vector<uint8_t> buffer(65536);
  while (sent) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) break;
    pollfd p{fd, POLLIN, 0};
    int ready = poll(&p, 1, static_cast<int>(left.count()));
    if (ready < 0) {
      if (errno == EINTR) continue;  // the deadline still holds
      break;
    }
    if (ready == 0) break;
    ssize_t n = recv(fd, buffer.data(), buffer.size(), 0);
    // An ICMP "port unreachable" from a unicast target shows as an error.
    if (n < 0) continue;
    answers.emplace_back(buffer.begin(), buffer.begin() + n);
  }
  close(fd);
  return answers;
}

}  // namespace tarnwick
