// Str: the counted, owning, always NUL-terminated byte string of both programs.
//
// Never throws. An allocation failure leaves the string usable (empty or
// unchanged, as each operation says), sets status() to -1 and raises a
// failure report (Fail.h). An empty string of capacity 0 points at one shared,
// read-only empty buffer that is never written or freed.
#pragma once

#include <cstdint>
#include <cstddef>

class Str {
public:
    // Construction. Each sets status 0 on success.
    Str();                                  // empty, capacity 0
    Str(const char* text);                  // capacity 31, then grows by expand()
    Str(const char* bytes, uint32_t count); // exact copy, capacity = count
    Str(const Str& other);                  // exact copy, capacity = other.length()
    Str(Str&& other) noexcept;
    explicit Str(uint32_t size);            // length = capacity = size, byte 0 and terminator 0
    ~Str();

    static Str from_ulong(uint32_t value, uint16_t width = 0, bool negative = false);
    static Str from_long(int32_t value, uint16_t width = 0);
    static Str from_hex(uint32_t value, uint16_t width = 0);
    static Str from_double(double value, uint16_t width = 0);

    // Resizing and assignment.
    int expand();               // 31, 62, 124, ... below 65,536, then +65,536
    int init(uint32_t n);       // length n, contents not kept; 0 or -1; status kept on success
    // Assignment keeps the own buffer while it wastes less than 16 KiB, else
    // reallocates exactly; status becomes 0, or -1 on failure. Moving leaves the
    // same buffer state as copying, carries the source's status and leaves the
    // source the default empty string.
    Str& operator=(const Str& other);
    Str& operator=(Str&& other) noexcept;
    Str& operator=(const char* text);
    Str& operator+=(const Str& other);
    Str& operator+=(const char* text);
    Str& operator+=(char c);
    // Appending nothing does nothing; status is touched only on failure.
    int append(const char* bytes, uint32_t count); // 0 or -1
    void fill(char c);

    // Access.
    uint32_t length() const { return length_; }
    uint32_t capacity() const { return capacity_; }
    int32_t status() const { return status_; }
    void set_status(int32_t s) { status_ = s; }
    const char* c_str() const { return data_; }
    const char* data() const { return data_; }
    // Writable bytes; only valid while capacity() > 0 (never the shared empty buffer).
    char* buffer() { return data_; }
    char operator[](uint32_t i) const { return data_[i]; }
    bool empty() const { return length_ == 0; }
    // Sets the length after the caller filled buffer(); n must be <= capacity().
    void set_length(uint32_t n);

    // Comparison (true is all ones, false 0, as the callers expect of a flag).
    int operator==(const Str& other) const;
    int operator==(const char* text) const;
    int operator!=(const Str& other) const { return (*this == other) ? 0 : -1; }
    int operator!=(const char* text) const { return (*this == text) ? 0 : -1; }
    int compare(const Str& other) const; // -1, 0, +1; bytes compared as signed 8-bit
    int operator>(const Str& other) const { return compare(other) > 0 ? -1 : 0; }
    int operator<(const Str& other) const { return compare(other) < 0 ? -1 : 0; }
    int begins_with(const Str& prefix) const;
    int begins_with(const char* prefix) const;
    int ends_with(const Str& suffix) const;

    // Search; -1 when not found.
    int32_t find(char c, uint32_t start = 0) const;
    int32_t rfind(char c, uint32_t n = 0) const;
    int32_t find(const Str& pattern, uint32_t start = 0) const;
    int32_t find_nocase(const Str& pattern, uint32_t start = 0) const;
    // table must have 256 entries, filled by make_skip_table for the same pattern.
    int32_t find_fast_nocase(const Str& pattern, const signed char* table,
                             uint32_t start = 0) const;
    static void make_skip_table(const Str& pattern, signed char* table);
    Str substr(uint32_t from, uint32_t to) const;

    // Conversion and editing.
    void to_upper();
    void to_lower();
    static unsigned char lower(unsigned char c); // the Windows-1252 lower-case mapping
    uint32_t to_ulong() const;
    int32_t to_long() const;
    uint32_t count_words() const;
    Str cut_word();
    Str cut_line();

private:
    void release();
    void become_empty();
    bool keeps_buffer_for(uint32_t count) const;
    void assign(const char* bytes, uint32_t count);
    int append_in_place(const char* bytes, uint32_t count);
    int append_after_expand(const char* bytes, uint32_t count);
    int append_exact(const char* bytes, uint32_t count);
    int append_failed(bool after_report);
    void drop_front(uint32_t count);

    uint32_t length_;
    uint32_t capacity_;
    char* data_;
    int32_t status_;
};

Str operator+(const Str& a, const Str& b);
Str operator+(const Str& a, char c);
Str operator+(const char* a, const Str& b);
Str operator+(const Str& a, const char* b);
