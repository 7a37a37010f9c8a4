#include "foundation/LocalAddresses.h"

#include <arpa/inet.h>
#include <cstring>
#include <ifaddrs.h>
#include <netinet/in.h>

bool is_loopback_address(uint32_t address) {
    return (ntohl(address) >> 24) == 127;
}

bool is_local_address(uint32_t address) {
    if (address == 0 || is_loopback_address(address)) return true;
    // Asked afresh each time: interfaces come and go while the proxy runs.
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return false;
    bool found = false;
    for (ifaddrs* entry = list; entry && !found; entry = entry->ifa_next) {
        if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_INET) continue;
        found = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr)->sin_addr.s_addr == address;
    }
    freeifaddrs(list);
    return found;
}

Str dotted_address(uint32_t address) {
    unsigned char bytes[4];
    std::memcpy(bytes, &address, sizeof bytes);
    return Str::from_ulong(bytes[0]) + "." + Str::from_ulong(bytes[1]) + "." +
           Str::from_ulong(bytes[2]) + "." + Str::from_ulong(bytes[3]);
}
