#include "web/web_address.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>

#include <fstream>
#include <sstream>

namespace vocalis {

namespace {

// The interface of the first default route (destination 0, mask 0) in /proc/net/route.
std::optional<std::string> defaultRouteInterface(const std::string& routeTable) {
    std::istringstream lines(routeTable);
    std::string line;
    std::getline(lines, line);  // the column names
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string name, destination, gateway, flags, refCount, use, metric, mask;
        if (!(fields >> name >> destination >> gateway >> flags >> refCount >> use >> metric >> mask))
            continue;
        if (destination == "00000000" && mask == "00000000") return name;
    }
    return std::nullopt;
}

bool isLoopback(const std::string& address) { return address.starts_with("127."); }

}  // namespace

std::optional<std::string> chooseWebAddress(
    const std::string& routeTable, const std::vector<std::pair<std::string, std::string>>& interfaces) {
    if (const auto route = defaultRouteInterface(routeTable))
        for (const auto& [name, address] : interfaces)
            if (name == *route && !isLoopback(address)) return address;
    for (const auto& [name, address] : interfaces)
        if (!isLoopback(address)) return address;
    return std::nullopt;
}

std::optional<std::string> webPageAddress(std::uint16_t port) {
    std::ifstream file("/proc/net/route");
    std::stringstream routes;
    routes << file.rdbuf();
    std::vector<std::pair<std::string, std::string>> interfaces;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) == 0) {
        for (const ifaddrs* entry = list; entry; entry = entry->ifa_next) {
            if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_INET) continue;
            char text[INET_ADDRSTRLEN] = {};
            const auto* address = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr);
            if (::inet_ntop(AF_INET, &address->sin_addr, text, sizeof text))
                interfaces.emplace_back(entry->ifa_name, text);
        }
        ::freeifaddrs(list);
    }
    const auto address = chooseWebAddress(routes.str(), interfaces);
    if (!address) return std::nullopt;
    return "http://" + *address + ":" + std::to_string(port) + "/";
}

}  // namespace vocalis
