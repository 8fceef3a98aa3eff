// The computer's own IPv4 addresses, for the status page.
//
// Thread-safety: a plain system call; safe from any thread.
#pragma once

#include <string>
#include <vector>

namespace zerlan {

struct LocalAddress {
    std::string address;  // dotted
    std::string netmask;  // dotted
    std::string type;     // "loopback" or "ethernet"
};

// One entry per configured IPv4 address (getifaddrs); empty when the table
// cannot be read.
std::vector<LocalAddress> LocalAddresses();

}  // namespace zerlan
