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
