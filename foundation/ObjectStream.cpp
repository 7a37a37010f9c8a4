#include "foundation/ObjectStream.h"

#include "foundation/ArgList.h"
#include "foundation/Fail.h"
#include "foundation/FileStream.h"
#include "foundation/Str.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <type_traits>

namespace {

// Byte streams move int32_t counts; larger transfers go in pieces.
constexpr uint32_t MAX_TRANSFER = 1u << 30;
// Arrays are converted to little-endian through a stack buffer of this size.
constexpr size_t CONVERT_BUFFER = 4096;
// A Str announced by its length is first given at most this much room; it
// grows only as its bytes actually arrive.
constexpr uint32_t STR_READ_CHUNK = 1u << 20;

constexpr int DOUBLE_PRECISION = 15;
// Text array layout.
constexpr int DEFAULT_MAX_LINES = 3;
constexpr uint16_t DEFAULT_LINE_WIDTH = 60;
constexpr int MAX_ELEMENTS_PER_LINE = 1000;
constexpr uint16_t WIDTH_DOUBLE = 19;
constexpr uint16_t WIDTH_FLOAT = 14;
constexpr uint16_t WIDTH_ULONG = 11;
constexpr uint16_t WIDTH_LONG = 12;
constexpr uint16_t WIDTH_USHORT = 6;
constexpr uint16_t WIDTH_SHORT = 7;
constexpr uint16_t WIDTH_UCHAR = 4;
constexpr uint16_t WIDTH_CHAR = 5;

// Little-endian encoding of the fixed-size binary fields.
template <class U> void put_le(unsigned char* out, U value) {
    for (size_t i = 0; i < sizeof(U); i++) out[i] = (unsigned char)(value >> (8 * i));
}

template <class U> U get_le(const unsigned char* in) {
    U value = 0;
    for (size_t i = 0; i < sizeof(U); i++) value = U(value | (U(in[i]) << (8 * i)));
    return value;
}

template <size_t N> struct UnsignedOf;
template <> struct UnsignedOf<1> { using type = uint8_t; };
template <> struct UnsignedOf<2> { using type = uint16_t; };
template <> struct UnsignedOf<4> { using type = uint32_t; };
template <> struct UnsignedOf<8> { using type = uint64_t; };

template <class T> using Bits = typename UnsignedOf<sizeof(T)>::type;

template <class T> void encode(unsigned char* out, T value) {
    Bits<T> bits;
    std::memcpy(&bits, &value, sizeof(T));
    put_le(out, bits);
}

template <class T> T decode(const unsigned char* in) {
    Bits<T> bits = get_le<Bits<T>>(in);
    T value;
    std::memcpy(&value, &bits, sizeof(T));
    return value;
}

template <class T> void write_value(Writeable& target, T value) {
    unsigned char bytes[sizeof(T)];
    encode(bytes, value);
    target.ewrite(bytes, int32_t(sizeof(T)));
}

// A short read leaves the missing bytes zero, so the result is deterministic.
template <class T> T read_value(Readable& source) {
    unsigned char bytes[sizeof(T)] = {};
    source.eread(bytes, int32_t(sizeof(T)));
    return decode<T>(bytes);
}

template <class T> int write_array_le(Writeable& target, const T* v, uint32_t n) {
    unsigned char bytes[CONVERT_BUFFER];
    constexpr uint32_t per_piece = CONVERT_BUFFER / sizeof(T);
    while (n > 0) {
        uint32_t k = std::min(n, per_piece);
        for (uint32_t i = 0; i < k; i++) encode(bytes + i * sizeof(T), v[i]);
        int32_t want = int32_t(k * sizeof(T));
        if (target.ewrite(bytes, want) != want) return 1;
        v += k;
        n -= k;
    }
    return 0;
}

template <class T> int read_array_le(Readable& source, T* v, uint32_t n) {
    unsigned char bytes[CONVERT_BUFFER];
    constexpr uint32_t per_piece = CONVERT_BUFFER / sizeof(T);
    while (n > 0) {
        uint32_t k = std::min(n, per_piece);
        int32_t want = int32_t(k * sizeof(T));
        int32_t got = source.eread(bytes, want);
        if (got < 0) got = 0;
        std::memset(bytes + got, 0, size_t(want - got));
        for (uint32_t i = 0; i < k; i++) v[i] = decode<T>(bytes + i * sizeof(T));
        if (got != want) return 1;
        v += k;
        n -= k;
    }
    return 0;
}

void put_text(Writeable& target, const char* text, size_t n) {
    if (n > 0) target.ewrite(text, int32_t(n));
}

void put_text(Writeable& target, const char* text) { put_text(target, text, std::strlen(text)); }

void put_blanks(Writeable& target, int n) {
    static const char blanks[] = "                                                                ";
    while (n > 0) {
        int k = std::min(n, int(sizeof(blanks) - 1));
        put_text(target, blanks, size_t(k));
        n -= k;
    }
}

// Writes text right-aligned in a field of the given width (never cut).
void put_padded(Writeable& target, const char* text, int width) {
    int len = int(std::strlen(text));
    if (len < width) put_blanks(target, width - len);
    put_text(target, text, size_t(len));
}

void format_number(char* out, size_t size, uint32_t v) { std::snprintf(out, size, "%" PRIu32, v); }
void format_number(char* out, size_t size, int32_t v) { std::snprintf(out, size, "%" PRId32, v); }
void format_number(char* out, size_t size, uint16_t v) { format_number(out, size, uint32_t(v)); }
void format_number(char* out, size_t size, int16_t v) { format_number(out, size, int32_t(v)); }
void format_number(char* out, size_t size, uint8_t v) { format_number(out, size, uint32_t(v)); }
// In arrays a char is a small signed number, not a letter.
void format_number(char* out, size_t size, char v) { format_number(out, size, int32_t((signed char)v)); }
void format_number(char* out, size_t size, double v) {
    std::snprintf(out, size, "%1.*g", DOUBLE_PRECISION, v);
}
void format_number(char* out, size_t size, float v) { format_number(out, size, double(v)); }

constexpr size_t NUMBER_TEXT = 64;

} // namespace

// ---- ObjectDrain / ObjectSource ----

int ObjectDrain::write_bytes(const void* bytes, uint32_t n) {
    const char* in = static_cast<const char*>(bytes);
    while (n > 0) {
        uint32_t k = std::min(n, MAX_TRANSFER);
        if (target_.ewrite(in, int32_t(k)) != int32_t(k)) return 1;
        in += k;
        n -= k;
    }
    return 0;
}

int32_t ObjectSource::read_bytes(void* bytes, uint32_t n) {
    char* out = static_cast<char*>(bytes);
    uint32_t done = 0;
    while (done < n) {
        uint32_t k = std::min(n - done, MAX_TRANSFER);
        int32_t got = source_.eread(out + done, int32_t(k));
        if (got > 0) done += uint32_t(got);
        if (got != int32_t(k)) break;
    }
    return int32_t(std::min<uint32_t>(done, INT32_MAX));
}

// ---- BinaryDrain ----

ObjectDrain& BinaryDrain::operator<<(bool v) {
    write_value<uint32_t>(target(), v ? 1 : 0);
    return *this;
}
ObjectDrain& BinaryDrain::operator<<(double v) { write_value(target(), v); return *this; }
ObjectDrain& BinaryDrain::operator<<(float v) { write_value(target(), v); return *this; }
ObjectDrain& BinaryDrain::operator<<(uint32_t v) { write_value(target(), v); return *this; }
ObjectDrain& BinaryDrain::operator<<(int32_t v) { write_value(target(), v); return *this; }
ObjectDrain& BinaryDrain::operator<<(uint16_t v) { write_value(target(), v); return *this; }
ObjectDrain& BinaryDrain::operator<<(int16_t v) { write_value(target(), v); return *this; }
ObjectDrain& BinaryDrain::operator<<(uint8_t v) { write_value(target(), v); return *this; }
ObjectDrain& BinaryDrain::operator<<(char v) { write_value(target(), v); return *this; }

int BinaryDrain::write_array(const double* v, uint32_t n) { return write_array_le(target(), v, n); }
int BinaryDrain::write_array(const float* v, uint32_t n) { return write_array_le(target(), v, n); }
int BinaryDrain::write_array(const uint32_t* v, uint32_t n) { return write_array_le(target(), v, n); }
int BinaryDrain::write_array(const int32_t* v, uint32_t n) { return write_array_le(target(), v, n); }
int BinaryDrain::write_array(const uint16_t* v, uint32_t n) { return write_array_le(target(), v, n); }
int BinaryDrain::write_array(const int16_t* v, uint32_t n) { return write_array_le(target(), v, n); }
int BinaryDrain::write_array(const uint8_t* v, uint32_t n) { return write_array_le(target(), v, n); }
int BinaryDrain::write_array(const char* v, uint32_t n) { return write_array_le(target(), v, n); }

// ---- BinarySource ----

ObjectSource& BinarySource::operator>>(bool& v) {
    v = read_value<uint32_t>(source()) != 0;
    return *this;
}
ObjectSource& BinarySource::operator>>(double& v) { v = read_value<double>(source()); return *this; }
ObjectSource& BinarySource::operator>>(float& v) { v = read_value<float>(source()); return *this; }
ObjectSource& BinarySource::operator>>(uint32_t& v) { v = read_value<uint32_t>(source()); return *this; }
ObjectSource& BinarySource::operator>>(int32_t& v) { v = read_value<int32_t>(source()); return *this; }
ObjectSource& BinarySource::operator>>(uint16_t& v) { v = read_value<uint16_t>(source()); return *this; }
ObjectSource& BinarySource::operator>>(int16_t& v) { v = read_value<int16_t>(source()); return *this; }
ObjectSource& BinarySource::operator>>(uint8_t& v) { v = read_value<uint8_t>(source()); return *this; }
ObjectSource& BinarySource::operator>>(char& v) { v = read_value<char>(source()); return *this; }

int BinarySource::read_array(double* v, uint32_t n) { return read_array_le(source(), v, n); }
int BinarySource::read_array(float* v, uint32_t n) { return read_array_le(source(), v, n); }
int BinarySource::read_array(uint32_t* v, uint32_t n) { return read_array_le(source(), v, n); }
int BinarySource::read_array(int32_t* v, uint32_t n) { return read_array_le(source(), v, n); }
int BinarySource::read_array(uint16_t* v, uint32_t n) { return read_array_le(source(), v, n); }
int BinarySource::read_array(int16_t* v, uint32_t n) { return read_array_le(source(), v, n); }
int BinarySource::read_array(uint8_t* v, uint32_t n) { return read_array_le(source(), v, n); }
int BinarySource::read_array(char* v, uint32_t n) { return read_array_le(source(), v, n); }

// ---- TextDrain ----

void TextDrain::put(const char* text) { put_text(target(), text); }

void TextDrain::indent() { put_blanks(target(), level_); }

void TextDrain::put_field(const char* text) { put_padded(target(), text, field_width_); }

void TextDrain::open(int& status) {
    indent();
    put("{\n");
    level_++;
    status = error();
}

void TextDrain::close() {
    if (level_ > 0) level_--;
    indent();
    put("}\n");
}

ObjectDrain& TextDrain::label(const char* text) {
    if (!text) return *this;
    if (text[0] == '>') {
        indent();
        put(text + 1);
    } else {
        put(text);
    }
    return *this;
}

ObjectDrain& TextDrain::operator<<(bool v) {
    put(v ? "true" : "false");
    return *this;
}

template <class T> ObjectDrain& TextDrain::write_number(T v) {
    char text[NUMBER_TEXT];
    format_number(text, sizeof text, v);
    put_field(text);
    return *this;
}

ObjectDrain& TextDrain::operator<<(double v) { return write_number(v); }
ObjectDrain& TextDrain::operator<<(float v) { return write_number(double(v)); }
ObjectDrain& TextDrain::operator<<(uint32_t v) { return write_number(v); }
ObjectDrain& TextDrain::operator<<(int32_t v) { return write_number(v); }
ObjectDrain& TextDrain::operator<<(uint16_t v) { return write_number(v); }
ObjectDrain& TextDrain::operator<<(int16_t v) { return write_number(v); }
ObjectDrain& TextDrain::operator<<(uint8_t v) { return write_number(v); }

ObjectDrain& TextDrain::operator<<(char v) {
    put_text(target(), &v, 1);
    return *this;
}

template <class T> int TextDrain::write_text_array(const T* v, uint32_t n, uint16_t width) {
    constexpr bool blank_first = std::is_floating_point_v<T>;
    field_width_ = width;
    indent();
    put("[");

    int per_line = (int(line_width_) - level_ - 1) / int(width);
    if (per_line <= 0 || per_line > MAX_ELEMENTS_PER_LINE) per_line = 1;
    int lines_left = max_lines_;

    for (uint32_t i = 0; i < n && lines_left > 0 && !error(); i++) {
        if (blank_first) put(" ");
        char text[NUMBER_TEXT];
        format_number(text, sizeof text, v[i]);
        put_field(text);
        bool line_full = (i + 1) % uint32_t(per_line) == 0;
        if (line_full && i + 1 < n) {
            put("\n");
            indent();
            put(" ");
            if (--lines_left == 0) put(" ...");
        }
    }

    put(" ]\n");
    field_width_ = 0;
    max_lines_ = DEFAULT_MAX_LINES;
    line_width_ = DEFAULT_LINE_WIDTH;
    return error();
}

int TextDrain::write_array(const double* v, uint32_t n) { return write_text_array(v, n, WIDTH_DOUBLE); }
int TextDrain::write_array(const float* v, uint32_t n) { return write_text_array(v, n, WIDTH_FLOAT); }
int TextDrain::write_array(const uint32_t* v, uint32_t n) { return write_text_array(v, n, WIDTH_ULONG); }
int TextDrain::write_array(const int32_t* v, uint32_t n) { return write_text_array(v, n, WIDTH_LONG); }
int TextDrain::write_array(const uint16_t* v, uint32_t n) { return write_text_array(v, n, WIDTH_USHORT); }
int TextDrain::write_array(const int16_t* v, uint32_t n) { return write_text_array(v, n, WIDTH_SHORT); }
int TextDrain::write_array(const uint8_t* v, uint32_t n) { return write_text_array(v, n, WIDTH_UCHAR); }
int TextDrain::write_array(const char* v, uint32_t n) { return write_text_array(v, n, WIDTH_CHAR); }

TextDrain& diag_drain() {
    // Never destroyed: reports may be written while the process ends.
    static TextDrain* drain = new TextDrain(std_err());
    return *drain;
}

// ---- Str and ArgList ----

ObjectDrain& operator<<(ObjectDrain& d, const Str& s) {
    if (d.form() == ObjectDrain::BINARY) d << uint32_t(s.length());
    d.write_bytes(s.data(), s.length());
    if (d.error()) fail_chain("ObjectDrain << Str ", "unable to write instance");
    return d;
}

namespace {

// Reads len bytes into v. The buffer starts at STR_READ_CHUNK at most and
// then doubles only once the bytes already arrived fill it, so a bogus length
// fails at the end of the stream instead of allocating gigabytes first.
// On failure v holds the bytes that did arrive.
bool read_str_bytes(ObjectSource& s, Str& v, uint32_t len) {
    Str bytes;
    uint32_t capacity = std::min(len, STR_READ_CHUNK);
    if (bytes.init(capacity) != 0) return false;
    uint32_t done = 0;
    while (done < len) {
        if (done == capacity) {
            uint32_t grow = std::min(capacity, len - capacity);
            Str larger;
            if (larger.init(capacity + grow) != 0) return false;
            std::memcpy(larger.buffer(), bytes.data(), done);
            bytes = std::move(larger);
            capacity += grow;
        }
        done += uint32_t(s.read_bytes(bytes.buffer() + done, capacity - done));
        if (done < capacity) break;
    }
    bytes.set_length(done);
    v = std::move(bytes);
    return done == len;
}

} // namespace

ObjectSource& operator>>(ObjectSource& s, Str& v) {
    v.set_status(1);
    uint32_t len = 0;
    s >> len;
    bool complete = !s.error() && read_str_bytes(s, v, len);
    if (!complete) {
        // An allocation failure leaves the stream readable but the record lost.
        s.set_error();
        fail_chain("ObjectSource >> Str ", "unable to read instance");
        v.set_status(1);
        return s;
    }
    v.set_status(0);
    return s;
}

namespace {

void write_list_text(ObjectDrain& d, const ArgList& list) {
    int status = 0;
    d.open(status);
    if (status == 0) {
        char count[NUMBER_TEXT];
        format_number(count, sizeof count, list.count());
        d << ">List with " << count << " elements:\n";
        for (ArgList::Node* n = list.first(); n && !d.error(); n = n->next) {
            d << ">'";
            d.write_bytes(n->value.data(), n->value.length());
            d << "'\n";
        }
    }
    d.close();
}

} // namespace

ObjectDrain& operator<<(ObjectDrain& d, const ArgList& list) {
    int status = 0;
    d.open(status);
    if (status == 0) {
        if (d.form() == ObjectDrain::BINARY) {
            d << uint32_t(list.count());
            for (ArgList::Node* n = list.first(); n && !d.error(); n = n->next) d << n->value;
        } else {
            d << ">ArgList:\n";
            write_list_text(d, list);
        }
        if (d.error()) fail_chain("ObjectDrain << ArgList ", "unable to write instance");
    }
    d.close();
    return d;
}

ObjectSource& operator>>(ObjectSource& s, ArgList& list) {
    int status = 0;
    s.open(status);
    list.clear();
    uint32_t count = 0;
    s >> count;
    // Each element must arrive before the next is tried, so a bogus count
    // ends at the first failed read.
    for (uint32_t i = 0; i < count && !s.error(); i++) {
        Str value;
        s >> value;
        if (s.error()) break;
        if (list.append(value) != 0) s.set_error();
    }
    if (s.error()) fail_chain("ObjectSource >> ArgList ", "unable to read instance");
    s.close();
    return s;
}
