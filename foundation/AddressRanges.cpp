#include "foundation/AddressRanges.h"

#include "foundation/Fail.h"

#include <arpa/inet.h>

namespace {

bool is_separator(char c) {
    return c == ' ' || c == ',' || c == '\t' || c == '\r' || c == '\n';
}

// Reads a decimal number of at most max_digits digits at text[at], up to
// limit; false when there is none, it is too large or has a leading zero.
bool read_number(const char* text, uint32_t end, uint32_t& at, uint32_t max_digits,
                 uint32_t limit, uint32_t& value) {
    uint32_t start = at;
    value = 0;
    while (at < end && text[at] >= '0' && text[at] <= '9' && at - start < max_digits)
        value = value * 10 + uint32_t(text[at++] - '0');
    // "010" would be octal to inet_aton: a leading zero is refused, not guessed.
    bool leading_zero = at - start > 1 && text[start] == '0';
    return at > start && !leading_zero && value <= limit &&
           !(at < end && text[at] >= '0' && text[at] <= '9');
}

// One word "a.b.c.d" or "a.b.c.d/n".
bool parse_range(const char* text, uint32_t end, uint32_t& network, uint32_t& mask) {
    uint32_t at = 0;
    uint32_t address = 0;
    for (int part = 0; part < 4; part++) {
        if (part > 0 && (at >= end || text[at++] != '.')) return false;
        uint32_t byte = 0;
        if (!read_number(text, end, at, 3, 255, byte)) return false;
        address = address << 8 | byte;
    }
    uint32_t bits = 32;
    if (at < end && text[at] == '/') {
        at++;
        if (!read_number(text, end, at, 2, 32, bits)) return false;
    }
    if (at != end) return false;
    mask = bits == 0 ? 0 : ~uint32_t(0) << (32 - bits);
    network = address & mask;
    return true;
}

} // namespace

int32_t AddressRanges::parse(const Str& text) {
    std::vector<Range> ranges;
    const char* bytes = text.data();
    uint32_t length = text.length();
    for (uint32_t at = 0; at < length;) {
        if (is_separator(bytes[at])) {
            at++;
            continue;
        }
        uint32_t end = at;
        while (end < length && !is_separator(bytes[end]))
            end++;
        Range range{};
        if (!parse_range(bytes + at, end - at, range.network, range.mask)) {
            fail_new("AddressRanges::parse ",
                     "'" + Str(bytes + at, end - at) +
                         "' is no network (a.b.c.d or a.b.c.d/bits, bits 0 to 32)");
            return -1;
        }
        ranges.push_back(range);
        at = end;
    }
    if (ranges.empty()) {
        fail_new("AddressRanges::parse ", "no network given");
        return -1;
    }
    ranges_ = std::move(ranges);
    return 0;
}

bool AddressRanges::contains(uint32_t address) const {
    uint32_t host = ntohl(address);
    for (const Range& range : ranges_)
        if ((host & range.mask) == range.network) return true;
    return false;
}
