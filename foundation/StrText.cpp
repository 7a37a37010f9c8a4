// Str's comparison, search and conversion: everything that reads the bytes
// without managing the buffer.
#include "foundation/Str.h"

#include <cstring>

namespace {

struct LowerTable {
    unsigned char map[256];
    LowerTable() {
        for (int c = 0; c < 256; ++c) map[c] = static_cast<unsigned char>(c);
        for (int c = 'A'; c <= 'Z'; ++c) map[c] = static_cast<unsigned char>(c + 0x20);
        for (int c = 0xC0; c <= 0xDE; ++c)
            if (c != 0xD7) map[c] = static_cast<unsigned char>(c + 0x20);
        map[0x8A] = 0x9A;
        map[0x8C] = 0x9C;
        map[0x8E] = 0x9E;
        map[0x9F] = 0xFF;
    }
};

const unsigned char* lower_table() {
    static const LowerTable table; // built once, thread-safe
    return table.map;
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

uint32_t parse_ulong(const char* text, uint32_t length) {
    uint32_t value = 0;
    if (length > 2 && text[0] == '0' && text[1] == 'x') {
        for (uint32_t i = 2; i < length && hex_value(text[i]) >= 0; ++i)
            value = value * 16u + uint32_t(hex_value(text[i]));
    } else if (length > 2 && text[0] == '0' && text[1] == 'b') {
        for (uint32_t i = 2; i < length && (text[i] == '0' || text[i] == '1'); ++i)
            value = value * 2u + uint32_t(text[i] - '0');
    } else {
        for (uint32_t i = 0; i < length && is_digit(text[i]); ++i)
            value = value * 10u + uint32_t(text[i] - '0');
    }
    return value;
}

bool matches_nocase(const char* text, const char* lowered_pattern, uint32_t m) {
    const unsigned char* table = lower_table();
    for (uint32_t i = 0; i < m; ++i)
        if (table[static_cast<unsigned char>(text[i])] != static_cast<unsigned char>(lowered_pattern[i]))
            return false;
    return true;
}


} // namespace

// ---- comparison -------------------------------------------------------------

int Str::operator==(const Str& other) const {
    return length_ == other.length_ && std::memcmp(data_, other.data_, length_) == 0 ? -1 : 0;
}

int Str::operator==(const char* text) const {
    const char* bytes = text ? text : "";
    return strnlen(bytes, size_t(length_) + 1) == length_ && std::memcmp(data_, bytes, length_) == 0
               ? -1
               : 0;
}

int Str::compare(const Str& other) const {
    if (length_ == 0 || other.length_ == 0) return length_ == other.length_ ? 0 : (length_ == 0 ? -1 : 1);
    uint32_t n = length_ < other.length_ ? length_ : other.length_;
    for (uint32_t i = 0; i < n; ++i) {
        signed char a = static_cast<signed char>(data_[i]);
        signed char b = static_cast<signed char>(other.data_[i]);
        if (a != b) return a < b ? -1 : 1;
    }
    if (length_ == other.length_) return 0;
    return length_ < other.length_ ? -1 : 1;
}

int Str::begins_with(const Str& prefix) const {
    return prefix.length_ <= length_ && std::memcmp(data_, prefix.data_, prefix.length_) == 0 ? -1 : 0;
}

int Str::begins_with(const char* prefix) const {
    const char* bytes = prefix ? prefix : "";
    size_t n = std::strlen(bytes);
    return n <= length_ && std::memcmp(data_, bytes, n) == 0 ? -1 : 0;
}

int Str::ends_with(const Str& suffix) const {
    if (suffix.length_ > length_) return 0;
    return std::memcmp(data_ + (length_ - suffix.length_), suffix.data_, suffix.length_) == 0 ? -1 : 0;
}

// ---- search -----------------------------------------------------------------

int32_t Str::find(char c, uint32_t start) const {
    if (start >= length_) return -1;
    const void* hit = std::memchr(data_ + start, c, length_ - start);
    return hit ? int32_t(static_cast<const char*>(hit) - data_) : -1;
}

int32_t Str::rfind(char c, uint32_t n) const {
    if (n >= length_) return -1;
    for (uint32_t i = length_ - n; i-- > 0;)
        if (data_[i] == c) return int32_t(i);
    return -1;
}

int32_t Str::find(const Str& pattern, uint32_t start) const {
    uint32_t m = pattern.length_;
    if (m == 0) return 0;
    for (uint64_t i = start; i + m <= length_; ++i) {
        const void* hit = std::memchr(data_ + i, pattern.data_[0], length_ - m + 1 - i);
        if (!hit) return -1;
        i = uint64_t(static_cast<const char*>(hit) - data_);
        if (std::memcmp(data_ + i, pattern.data_, m) == 0) return int32_t(i);
    }
    return -1;
}

int32_t Str::find_nocase(const Str& pattern, uint32_t start) const {
    uint32_t m = pattern.length_;
    if (m == 0) return 0;
    Str lowered(pattern);
    lowered.to_lower();
    if (lowered.length_ != m) return -1; // the copy failed, already reported
    for (uint64_t i = start; i + m <= length_; ++i)
        if (matches_nocase(data_ + i, lowered.data_, m)) return int32_t(i);
    return -1;
}

void Str::make_skip_table(const Str& pattern, signed char* table) {
    uint32_t m = pattern.length_;
    int d = m < 127 ? int(m) + 1 : 127;
    std::memset(table, d, 256);
    const unsigned char* lower = lower_table();
    // Rightmost occurrence wins: walk from the end, set each byte only once.
    for (int k = 1; k < d && uint32_t(k) <= m; ++k) {
        unsigned char c = lower[static_cast<unsigned char>(pattern.data_[m - uint32_t(k)])];
        if (table[c] == d) table[c] = static_cast<signed char>(k);
    }
}

int32_t Str::find_fast_nocase(const Str& pattern, const signed char* table, uint32_t start) const {
    uint32_t m = pattern.length_;
    if (m == 0) return 0;
    if (m == 1) return find_nocase(pattern, start);
    const unsigned char* lower = lower_table();
    uint64_t pos = start;
    while (pos + m <= length_) {
        uint32_t i = 0;
        while (i < m && lower[static_cast<unsigned char>(data_[pos + i])] ==
                            lower[static_cast<unsigned char>(pattern.data_[i])])
            ++i;
        if (i == m) return int32_t(pos);
        // The byte after the window: the terminator when the window ends the text.
        int shift = table[lower[static_cast<unsigned char>(data_[pos + m])]];
        pos += shift > 0 ? uint64_t(shift) : 1;
    }
    return -1;
}

Str Str::substr(uint32_t from, uint32_t to) const {
    uint32_t end = to < length_ ? to : length_;
    if (from >= end) return Str();
    return Str(data_ + from, end - from);
}

// ---- conversion and editing ---------------------------------------------------

unsigned char Str::lower(unsigned char c) { return lower_table()[c]; }

void Str::to_upper() {
    for (uint32_t i = 0; i < length_; ++i)
        if (data_[i] >= 'a' && data_[i] <= 'z') data_[i] = char(data_[i] - 'a' + 'A');
}

void Str::to_lower() {
    const unsigned char* table = lower_table();
    for (uint32_t i = 0; i < length_; ++i) data_[i] = char(table[static_cast<unsigned char>(data_[i])]);
}

uint32_t Str::to_ulong() const { return parse_ulong(data_, length_); }

int32_t Str::to_long() const {
    if (length_ > 0 && data_[0] == '-') return int32_t(0u - parse_ulong(data_ + 1, length_ - 1));
    return int32_t(parse_ulong(data_, length_));
}

uint32_t Str::count_words() const {
    uint32_t words = 0;
    bool in_word = false;
    bool quoted = false;
    for (uint32_t i = 0; i < length_; ++i) {
        char c = data_[i];
        if (c == '"') quoted = !quoted;
        if ((c == ' ' || c == '\t') && !quoted) {
            in_word = false;
        } else if (!in_word) {
            in_word = true;
            ++words;
        }
    }
    return words;
}

// Drops the first count bytes, keeping the rest in place.
void Str::drop_front(uint32_t count) {
    if (count == 0) return;
    std::memmove(data_, data_ + count, length_ - count);
    set_length(length_ - count);
}

Str Str::cut_word() {
    uint32_t begin = 0;
    while (begin < length_ && static_cast<unsigned char>(data_[begin]) <= 32) ++begin;
    uint32_t end = begin;
    bool quoted = false;
    for (; end < length_; ++end) {
        unsigned char c = static_cast<unsigned char>(data_[end]);
        if (c == '"') quoted = !quoted;
        if (c < 33 && !quoted) break;
    }
    uint32_t from = begin;
    uint32_t to = end;
    if (to - from >= 2 && data_[from] == '"' && data_[to - 1] == '"') {
        ++from;
        --to;
    }
    Str word(data_ + from, to - from);
    drop_front(end);
    return word;
}

Str Str::cut_line() {
    int32_t lf = find('\n');
    if (lf < 0) {
        Str line(*this);
        set_length(0);
        return line;
    }
    uint32_t end = uint32_t(lf);
    if (end > 0 && data_[end - 1] == '\r') --end;
    Str line(data_, end);
    drop_front(uint32_t(lf) + 1);
    return line;
}
