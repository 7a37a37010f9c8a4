#include "foundation/Str.h"

#include "foundation/Fail.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// The one buffer behind every empty string of capacity 0. Kept const so that a
// stray write faults at once instead of corrupting every empty string.
const char EMPTY_BUFFER[1] = {0};

char* empty_buffer() { return const_cast<char*>(EMPTY_BUFFER); }

constexpr uint32_t FIRST_CAPACITY = 31;
constexpr uint32_t DOUBLING_LIMIT = 65536;
constexpr uint32_t LARGE_STEP = 65536;
// Assignment keeps a buffer while it wastes less than this.
constexpr uint32_t KEEP_LIMIT = 16384;
constexpr uint16_t HEX_WIDTH_MAX = 8;
constexpr int DOUBLE_PRECISION = 15;
const char HEX_DIGITS[] = "0123456789abcdef";

const char CONSTRUCT_FAILED[] = "unable to construct string";
const char COPY_FAILED[] = "unable to copy-construct string";
const char GROW_FAILED[] = "unable to allocate more memory";

// Capacity after one growth step; 0 when it would not fit 32 bits.
uint32_t next_capacity(uint32_t capacity) {
    uint64_t next;
    if (capacity == 0)
        next = FIRST_CAPACITY;
    else if (capacity < DOUBLING_LIMIT)
        next = uint64_t(capacity) * 2;
    else
        next = uint64_t(capacity) + LARGE_STEP;
    return next >= UINT32_MAX ? 0 : uint32_t(next);
}

char* allocate(uint32_t capacity) { return static_cast<char*>(std::malloc(size_t(capacity) + 1)); }

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

// text, left-padded with pad to width.
Str padded(const char* text, uint32_t count, uint16_t width, char pad) {
    uint32_t total = count > width ? count : width;
    Str result(total);
    if (result.capacity() < total) return result; // failed, already reported
    char* out = result.buffer();
    std::memset(out, pad, total - count);
    std::memcpy(out + (total - count), text, count);
    result.set_length(total);
    return result;
}

bool matches_nocase(const char* text, const char* lowered_pattern, uint32_t m) {
    const unsigned char* table = lower_table();
    for (uint32_t i = 0; i < m; ++i)
        if (table[static_cast<unsigned char>(text[i])] != static_cast<unsigned char>(lowered_pattern[i]))
            return false;
    return true;
}

} // namespace

// ---- construction -------------------------------------------------------

Str::Str() : length_(0), capacity_(0), data_(empty_buffer()), status_(0) {}

Str::Str(const char* text) : Str() {
    uint32_t n = text ? uint32_t(std::strlen(text)) : 0;
    // The same capacity that appending byte by byte with expand() would reach.
    uint32_t capacity = FIRST_CAPACITY;
    while (capacity < n && capacity != 0) capacity = next_capacity(capacity);
    char* data = capacity ? allocate(capacity) : nullptr;
    if (!data) {
        status_ = -1;
        fail_new("Str::expand ", GROW_FAILED);
        return;
    }
    std::memcpy(data, text ? text : "", size_t(n) + 1);
    data_ = data;
    capacity_ = capacity;
    length_ = n;
}

Str::Str(const char* bytes, uint32_t count) : Str() {
    if (count == 0) return;
    char* data = allocate(count);
    if (!data) {
        status_ = -1;
        fail_new("Str: ", CONSTRUCT_FAILED);
        return;
    }
    std::memcpy(data, bytes, count);
    data[count] = 0;
    data_ = data;
    capacity_ = length_ = count;
}

Str::Str(const Str& other) : Str() {
    if (other.length_ == 0) return;
    char* data = allocate(other.length_);
    if (!data) {
        status_ = -1;
        fail_new("Str: ", COPY_FAILED);
        return;
    }
    std::memcpy(data, other.data_, size_t(other.length_) + 1);
    data_ = data;
    capacity_ = length_ = other.length_;
}

Str::Str(Str&& other) noexcept
    : length_(other.length_), capacity_(other.capacity_), data_(other.data_), status_(other.status_) {
    other.length_ = other.capacity_ = 0;
    other.data_ = empty_buffer();
    other.status_ = 0;
}

Str::Str(uint32_t size) : Str() {
    if (size == 0) return;
    char* data = allocate(size);
    if (!data) {
        status_ = -1;
        fail_new("Str: ", CONSTRUCT_FAILED);
        return;
    }
    data[0] = 0;
    data[size] = 0;
    data_ = data;
    capacity_ = length_ = size;
}

Str::~Str() { release(); }

Str Str::from_ulong(uint32_t value, uint16_t width, bool negative) {
    char digits[12];
    int pos = sizeof digits;
    do {
        digits[--pos] = char('0' + value % 10);
        value /= 10;
    } while (value != 0);
    if (negative) digits[--pos] = '-';
    return padded(digits + pos, uint32_t(sizeof digits - pos), width, ' ');
}

Str Str::from_long(int32_t value, uint16_t width) {
    // Negate in unsigned arithmetic so the most negative value works too.
    uint32_t magnitude = value < 0 ? 0u - uint32_t(value) : uint32_t(value);
    return from_ulong(magnitude, width, value < 0);
}

Str Str::from_hex(uint32_t value, uint16_t width) {
    if (width > HEX_WIDTH_MAX) width = HEX_WIDTH_MAX;
    char digits[HEX_WIDTH_MAX];
    int count = 0;
    if (width == 0) {
        do {
            digits[HEX_WIDTH_MAX - ++count] = HEX_DIGITS[value & 0xF];
            value >>= 4;
        } while (value != 0);
    } else {
        for (; count < width; value >>= 4) digits[HEX_WIDTH_MAX - ++count] = HEX_DIGITS[value & 0xF];
    }
    return Str(digits + (HEX_WIDTH_MAX - count), uint32_t(count));
}

Str Str::from_double(double value, uint16_t width) {
    char text[64];
    int n = std::snprintf(text, sizeof text, "%1.*g", DOUBLE_PRECISION, value);
    if (n < 0) n = 0;
    if (n >= int(sizeof text)) n = int(sizeof text) - 1;
    return padded(text, uint32_t(n), width, ' ');
}

// ---- resizing and assignment ------------------------------------------------

void Str::release() {
    if (capacity_ > 0) std::free(data_);
}

void Str::become_empty() {
    release();
    data_ = empty_buffer();
    length_ = capacity_ = 0;
}

int Str::expand() {
    uint32_t capacity = next_capacity(capacity_);
    char* data = capacity ? allocate(capacity) : nullptr;
    if (!data) {
        status_ = -1;
        fail_new("Str::expand ", GROW_FAILED);
        return -1;
    }
    std::memcpy(data, data_, size_t(length_) + 1);
    release();
    data_ = data;
    capacity_ = capacity;
    return 0;
}

int Str::init(uint32_t n) {
    if (n <= capacity_) {
        length_ = n;
        if (capacity_ > 0) data_[n] = 0;
        return 0;
    }
    become_empty();
    char* data = allocate(n);
    if (!data) {
        status_ = -1;
        fail_new("Str::init ", "unable to allocate memory");
        return -1;
    }
    data[n] = 0;
    data_ = data;
    capacity_ = length_ = n;
    return 0;
}

// Assignment reuses the buffer while it wastes less than KEEP_LIMIT bytes.
bool Str::keeps_buffer_for(uint32_t count) const {
    if (count == 0) return capacity_ < KEEP_LIMIT;
    return count <= capacity_ && capacity_ - count < KEEP_LIMIT;
}

// Copies count bytes in, by the buffer-keeping rule of assignment.
void Str::assign(const char* bytes, uint32_t count) {
    status_ = 0;
    if (count == 0) {
        if (!keeps_buffer_for(0)) become_empty();
        set_length(0);
        return;
    }
    if (keeps_buffer_for(count)) {
        std::memmove(data_, bytes, count);
        set_length(count);
        return;
    }
    become_empty();
    char* data = allocate(count);
    if (!data) {
        status_ = -1;
        fail_new("Str::operator= ", COPY_FAILED);
        return;
    }
    std::memcpy(data, bytes, count);
    data[count] = 0;
    data_ = data;
    capacity_ = length_ = count;
}

Str& Str::operator=(const Str& other) {
    if (this != &other) assign(other.data_, other.length_);
    return *this;
}

// Leaves the same buffer state as copying would; the source's buffer is taken
// over only where copying would allocate one just like it.
Str& Str::operator=(Str&& other) noexcept {
    if (this == &other) return *this;
    int32_t status = other.status_;
    if (keeps_buffer_for(other.length_) || other.capacity_ != other.length_) {
        assign(other.data_, other.length_);
        if (status_ == 0) status_ = status;
        other.become_empty();
    } else {
        release();
        length_ = other.length_;
        capacity_ = other.capacity_;
        data_ = other.data_;
        status_ = status;
        other.length_ = other.capacity_ = 0;
        other.data_ = empty_buffer();
    }
    other.status_ = 0;
    return *this;
}

Str& Str::operator=(const char* text) {
    const char* bytes = text ? text : "";
    uint32_t count = uint32_t(std::strlen(bytes));
    // The text may live in our own buffer: copy it out before it can be freed.
    if (count > 0 && bytes >= data_ && bytes <= data_ + capacity_ && capacity_ > 0) {
        Str copy(bytes, count);
        assign(copy.data_, copy.length_);
    } else {
        assign(bytes, count);
    }
    return *this;
}

Str& Str::operator+=(const Str& other) {
    append(other.data_, other.length_);
    return *this;
}

Str& Str::operator+=(const char* text) {
    if (text) append(text, uint32_t(std::strlen(text)));
    return *this;
}

Str& Str::operator+=(char c) {
    append(&c, 1);
    return *this;
}

int Str::append(const char* bytes, uint32_t count) {
    if (count == 0) return 0;
    if (uint64_t(length_) + count >= UINT32_MAX) return append_failed(false);
    if (length_ + count <= capacity_) return append_in_place(bytes, count);
    if (count < DOUBLING_LIMIT && count < length_) return append_after_expand(bytes, count);
    return append_exact(bytes, count);
}

int Str::append_in_place(const char* bytes, uint32_t count) {
    std::memmove(data_ + length_, bytes, count);
    set_length(length_ + count);
    return 0;
}

int Str::append_after_expand(const char* bytes, uint32_t count) {
    // The bytes may lie in our own buffer, which expand() replaces.
    bool own = capacity_ > 0 && bytes >= data_ && bytes <= data_ + capacity_;
    size_t offset = own ? size_t(bytes - data_) : 0;
    if (expand() < 0) return append_failed(true);
    if (own) bytes = data_ + offset;
    if (length_ + count > capacity_) return append_failed(false);
    return append_in_place(bytes, count);
}

int Str::append_exact(const char* bytes, uint32_t count) {
    uint32_t total = length_ + count;
    char* data = allocate(total);
    if (!data) return append_failed(false);
    std::memcpy(data, data_, length_);
    std::memcpy(data + length_, bytes, count); // before the old buffer goes
    data[total] = 0;
    release();
    data_ = data;
    capacity_ = length_ = total;
    return 0;
}

int Str::append_failed(bool after_report) {
    status_ = -1;
    if (after_report)
        fail_chain("Str::operator+= ", GROW_FAILED);
    else
        fail_new("Str::operator+= ", GROW_FAILED);
    return -1;
}

void Str::fill(char c) {
    if (length_ > 0) std::memset(data_, c, length_);
}

void Str::set_length(uint32_t n) {
    if (n > capacity_) n = capacity_;
    length_ = n;
    if (capacity_ > 0) data_[n] = 0;
}

namespace {

Str concatenate(const char* a, uint32_t a_count, const char* b, uint32_t b_count) {
    if (uint64_t(a_count) + b_count >= UINT32_MAX) {
        Str failed;
        failed.set_status(-1);
        fail_new("Str: ", CONSTRUCT_FAILED);
        return failed;
    }
    uint32_t total = a_count + b_count;
    Str result(total);
    if (result.capacity() < total) return result; // failed, already reported
    std::memcpy(result.buffer(), a, a_count);
    std::memcpy(result.buffer() + a_count, b, b_count);
    result.set_length(total);
    return result;
}

} // namespace

Str operator+(const Str& a, const Str& b) {
    return concatenate(a.data(), a.length(), b.data(), b.length());
}

Str operator+(const Str& a, char c) { return concatenate(a.data(), a.length(), &c, 1); }

Str operator+(const char* a, const Str& b) {
    const char* text = a ? a : "";
    return concatenate(text, uint32_t(std::strlen(text)), b.data(), b.length());
}

Str operator+(const Str& a, const char* b) {
    const char* text = b ? b : "";
    return concatenate(a.data(), a.length(), text, uint32_t(std::strlen(text)));
}

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
