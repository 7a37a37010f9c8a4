// AddressRanges: a list of IPv4 networks, written as words such as
// "10.0.0.0/8" (address and prefix length, 0 to 32) or "192.168.1.7" (one
// address), separated by blanks, tabs or commas. Bits of the address beyond
// the prefix are ignored, as packet filters do.
#pragma once

#include "foundation/Str.h"

#include <cstdint>
#include <vector>

class AddressRanges {
public:
    // Replaces the list. 0; or -1 with a report naming the first word that
    // is no network (or telling that the text names none), list unchanged.
    int32_t parse(const Str& text);
    // address in network byte order (as Socket::hostname_to_ip gives it).
    bool contains(uint32_t address) const;

private:
    struct Range {
        uint32_t network; // host byte order, host bits cleared
        uint32_t mask;
    };
    std::vector<Range> ranges_;
};
