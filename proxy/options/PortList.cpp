#include "proxy/options/PortList.h"

#include "foundation/Fail.h"

#include <vector>

namespace {

struct PortRange {
    int32_t low, high;
};

// A decimal port 1..65535 of at most five digits; -1 for anything else.
int32_t port_number(const Str& text, uint32_t from, uint32_t to) {
    if (to <= from || to - from > 5) return -1;
    int32_t value = 0;
    for (uint32_t i = from; i < to; i++) {
        if (text[i] < '0' || text[i] > '9') return -1;
        value = value * 10 + (text[i] - '0');
    }
    return value >= 1 && value <= 65535 ? value : -1;
}

bool parse_word(const Str& text, uint32_t from, uint32_t to, PortRange& range) {
    uint32_t dash = from;
    while (dash < to && text[dash] != '-') dash++;
    range.low = port_number(text, from, dash);
    range.high = dash == to ? range.low : port_number(text, dash + 1, to);
    return range.low > 0 && range.high >= range.low;
}

// False at the first word that is no port or range; bad then holds it.
bool parse(const Str& text, std::vector<PortRange>& ranges, Str& bad) {
    uint32_t i = 0, n = text.length();
    while (i < n) {
        while (i < n && (text[i] == ',' || text[i] == ' ')) i++;
        uint32_t start = i;
        while (i < n && text[i] != ',' && text[i] != ' ') i++;
        if (start == i) break;
        PortRange range{};
        if (!parse_word(text, start, i, range)) {
            bad = text.substr(start, i);
            return false;
        }
        ranges.push_back(range);
    }
    return true;
}

} // namespace

int port_list_invalid(const Str& text) {
    std::vector<PortRange> ranges;
    Str bad;
    if (parse(text, ranges, bad)) return 0;
    fail_new("PortList: ", "'" + bad + "' is no port or port range (1 to 65535, or low-high)");
    return -1;
}

bool port_listed(const Str& text, int32_t port) {
    std::vector<PortRange> ranges;
    Str bad;
    if (!parse(text, ranges, bad)) return false;
    for (const PortRange& range : ranges)
        if (port >= range.low && port <= range.high) return true;
    return false;
}
