#include "platform/Interfaces.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

namespace zerlan {

namespace {
std::string Dotted(const sockaddr* address) {
    if (address == nullptr || address->sa_family != AF_INET) return "0.0.0.0";
    char text[INET_ADDRSTRLEN] = "";
    inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(address)->sin_addr, text, sizeof text);
    return text;
}
}  // namespace

std::vector<LocalAddress> LocalAddresses() {
    std::vector<LocalAddress> out;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return out;
    for (const ifaddrs* i = list; i != nullptr; i = i->ifa_next) {
        if (i->ifa_addr == nullptr || i->ifa_addr->sa_family != AF_INET) continue;
        out.push_back({Dotted(i->ifa_addr), Dotted(i->ifa_netmask),
                       (i->ifa_flags & IFF_LOOPBACK) != 0 ? "loopback" : "ethernet"});
    }
    freeifaddrs(list);
    return out;
}

}  // namespace zerlan
