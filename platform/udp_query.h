// A UDP request sent to a set of IPv4 addresses, broadcast ones included,
// with the datagrams that come back within a time limit.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tarnwick {

// The broadcast address of every local IPv4 network that is up (loopback
// excluded), dotted; "255.255.255.255" when there is none.
std::vector<std::string> LocalBroadcastAddresses();

// Sends the request from one socket (broadcast allowed) to port on each
// dotted IPv4 address and returns every datagram received on that socket
// until timeout_ms have passed. Addresses that do not parse are skipped;
// a socket that cannot be made gives no datagrams.
std::vector<std::vector<uint8_t>> UdpQuery(std::span<const uint8_t> request,
                                           const std::vector<std::string>& addresses, uint16_t port,
                                           int timeout_ms);

}  // namespace tarnwick
