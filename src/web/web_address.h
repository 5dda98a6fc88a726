#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vocalis {

// The address guests' phones reach the page at: the IPv4 address of the interface that holds
// the default route, else the first one that is not loopback; none without either.
std::optional<std::string> webPageAddress(std::uint16_t port);

// The choice itself, over /proc/net/route's text and the interfaces' (name, IPv4) pairs in
// their order.
std::optional<std::string> chooseWebAddress(
    const std::string& routeTable, const std::vector<std::pair<std::string, std::string>>& interfaces);

}  // namespace vocalis
