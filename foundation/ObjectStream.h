// Object streams: ObjectDrain writes the fields of a record, ObjectSource reads
// them back, in one fixed order per record type.
//
// Binary form (everything stored or exchanged): the plain concatenation of the
// field values, little-endian, no tags, separators or record length.
//   bool 4 bytes (1/0); double 8; float 4; uint32/int32 4; uint16/int16 2;
//   uint8/char 1; Str = uint32 length + bytes; list of Str = uint32 count + each Str.
// Text form (write-only; console listings and reports): indented, readable.
//
// Record operators follow one convention:
//   drain: open(status); if status == 0 write the fields; if error() chain
//          "ObjectDrain << T " "unable to write instance"; close() always.
//   source: open(status); read the fields; on error() chain
//          "ObjectSource >> T " "unable to read instance"; close().
#pragma once

#include "foundation/ByteStream.h"

#include <cstdint>

class Str;
class ArgList;

class ObjectDrain {
public:
    enum Form : int32_t { BINARY = 1, TEXT = 3 };

    ObjectDrain(int32_t form, Writeable& target) : form_(form), target_(target) {}
    virtual ~ObjectDrain() = default;

    int32_t form() const { return form_; }
    Writeable& target() { return target_; }

    virtual void open(int& status) { status = 0; }
    virtual void close() {}
    int error() const { return target_.write_error(); }
    void set_error() { target_.set_write_error(1); }
    void clear_error() { target_.set_write_error(0); }

    // Labels are written only by the text form; ">name = " is indented.
    virtual ObjectDrain& label(const char* text) = 0;
    ObjectDrain& operator<<(const char* text) { return label(text); }

    virtual ObjectDrain& operator<<(bool v) = 0;
    virtual ObjectDrain& operator<<(double v) = 0;
    virtual ObjectDrain& operator<<(float v) = 0;
    virtual ObjectDrain& operator<<(uint32_t v) = 0;
    virtual ObjectDrain& operator<<(int32_t v) = 0;
    virtual ObjectDrain& operator<<(uint16_t v) = 0;
    virtual ObjectDrain& operator<<(int16_t v) = 0;
    virtual ObjectDrain& operator<<(uint8_t v) = 0;
    virtual ObjectDrain& operator<<(char v) = 0;

    // Arrays return non-zero when not everything was written.
    virtual int write_array(const double* v, uint32_t n) = 0;
    virtual int write_array(const float* v, uint32_t n) = 0;
    virtual int write_array(const uint32_t* v, uint32_t n) = 0;
    virtual int write_array(const int32_t* v, uint32_t n) = 0;
    virtual int write_array(const uint16_t* v, uint32_t n) = 0;
    virtual int write_array(const int16_t* v, uint32_t n) = 0;
    virtual int write_array(const uint8_t* v, uint32_t n) = 0;
    virtual int write_array(const char* v, uint32_t n) = 0;

    // Raw bytes, unframed (a Str's bytes, a cache file's body). Returns
    // non-zero when not everything was written, like the arrays.
    int write_bytes(const void* bytes, uint32_t n);

private:
    int32_t form_;
    Writeable& target_;
};

class ObjectSource {
public:
    enum Form : int32_t { BINARY = 1, TEXT = 3 };

    ObjectSource(int32_t form, Readable& source) : form_(form), source_(source) {}
    virtual ~ObjectSource() = default;

    int32_t form() const { return form_; }
    Readable& source() { return source_; }

    virtual void open(int& status) { status = 0; }
    virtual void close() {}
    int error() const { return source_.read_error(); }
    void set_error() { source_.set_read_error(1); }
    void clear_error() { source_.set_read_error(0); }

    virtual ObjectSource& operator>>(bool& v) = 0;
    virtual ObjectSource& operator>>(double& v) = 0;
    virtual ObjectSource& operator>>(float& v) = 0;
    virtual ObjectSource& operator>>(uint32_t& v) = 0;
    virtual ObjectSource& operator>>(int32_t& v) = 0;
    virtual ObjectSource& operator>>(uint16_t& v) = 0;
    virtual ObjectSource& operator>>(int16_t& v) = 0;
    virtual ObjectSource& operator>>(uint8_t& v) = 0;
    virtual ObjectSource& operator>>(char& v) = 0;

    // Arrays return non-zero when fewer bytes arrived.
    virtual int read_array(double* v, uint32_t n) = 0;
    virtual int read_array(float* v, uint32_t n) = 0;
    virtual int read_array(uint32_t* v, uint32_t n) = 0;
    virtual int read_array(int32_t* v, uint32_t n) = 0;
    virtual int read_array(uint16_t* v, uint32_t n) = 0;
    virtual int read_array(int16_t* v, uint32_t n) = 0;
    virtual int read_array(uint8_t* v, uint32_t n) = 0;
    virtual int read_array(char* v, uint32_t n) = 0;

    // Raw bytes; returns the number read.
    int32_t read_bytes(void* bytes, uint32_t n);

private:
    int32_t form_;
    Readable& source_;
};

class BinaryDrain : public ObjectDrain {
public:
    explicit BinaryDrain(Writeable& target) : ObjectDrain(BINARY, target) {}
    ObjectDrain& label(const char*) override { return *this; }
    ObjectDrain& operator<<(bool v) override;
    ObjectDrain& operator<<(double v) override;
    ObjectDrain& operator<<(float v) override;
    ObjectDrain& operator<<(uint32_t v) override;
    ObjectDrain& operator<<(int32_t v) override;
    ObjectDrain& operator<<(uint16_t v) override;
    ObjectDrain& operator<<(int16_t v) override;
    ObjectDrain& operator<<(uint8_t v) override;
    ObjectDrain& operator<<(char v) override;
    using ObjectDrain::operator<<;
    int write_array(const double* v, uint32_t n) override;
    int write_array(const float* v, uint32_t n) override;
    int write_array(const uint32_t* v, uint32_t n) override;
    int write_array(const int32_t* v, uint32_t n) override;
    int write_array(const uint16_t* v, uint32_t n) override;
    int write_array(const int16_t* v, uint32_t n) override;
    int write_array(const uint8_t* v, uint32_t n) override;
    int write_array(const char* v, uint32_t n) override;
};

class BinarySource : public ObjectSource {
public:
    explicit BinarySource(Readable& source) : ObjectSource(BINARY, source) {}
    ObjectSource& operator>>(bool& v) override;
    ObjectSource& operator>>(double& v) override;
    ObjectSource& operator>>(float& v) override;
    ObjectSource& operator>>(uint32_t& v) override;
    ObjectSource& operator>>(int32_t& v) override;
    ObjectSource& operator>>(uint16_t& v) override;
    ObjectSource& operator>>(int16_t& v) override;
    ObjectSource& operator>>(uint8_t& v) override;
    ObjectSource& operator>>(char& v) override;
    int read_array(double* v, uint32_t n) override;
    int read_array(float* v, uint32_t n) override;
    int read_array(uint32_t* v, uint32_t n) override;
    int read_array(int32_t* v, uint32_t n) override;
    int read_array(uint16_t* v, uint32_t n) override;
    int read_array(int16_t* v, uint32_t n) override;
    int read_array(uint8_t* v, uint32_t n) override;
    int read_array(char* v, uint32_t n) override;
};

class TextDrain : public ObjectDrain {
public:
    explicit TextDrain(Writeable& target) : ObjectDrain(TEXT, target) {}
    void open(int& status) override;  // indentation, "{\n", level + 1
    void close() override;            // level - 1, indentation, "}\n"
    ObjectDrain& label(const char* text) override;
    ObjectDrain& operator<<(bool v) override;
    ObjectDrain& operator<<(double v) override;
    ObjectDrain& operator<<(float v) override;
    ObjectDrain& operator<<(uint32_t v) override;
    ObjectDrain& operator<<(int32_t v) override;
    ObjectDrain& operator<<(uint16_t v) override;
    ObjectDrain& operator<<(int16_t v) override;
    ObjectDrain& operator<<(uint8_t v) override;
    ObjectDrain& operator<<(char v) override;
    using ObjectDrain::operator<<;
    int write_array(const double* v, uint32_t n) override;
    int write_array(const float* v, uint32_t n) override;
    int write_array(const uint32_t* v, uint32_t n) override;
    int write_array(const int32_t* v, uint32_t n) override;
    int write_array(const uint16_t* v, uint32_t n) override;
    int write_array(const int16_t* v, uint32_t n) override;
    int write_array(const uint8_t* v, uint32_t n) override;
    int write_array(const char* v, uint32_t n) override;

    int level() const { return level_; }
    void set_field_width(uint16_t w) { field_width_ = w; }
    void set_max_lines(int n) { max_lines_ = n; }
    void set_line_width(uint16_t w) { line_width_ = w; }

private:
    void put(const char* text);
    void indent();
    void put_field(const char* text); // right-aligned in the field width
    template <class T> ObjectDrain& write_number(T v);
    template <class T> int write_text_array(const T* v, uint32_t n, uint16_t width);

    int level_ = 0;
    uint16_t field_width_ = 0;
    int max_lines_ = 3;
    uint16_t line_width_ = 60;
};

// The one diagnostic text drain: standard error, unbuffered.
TextDrain& diag_drain();

ObjectDrain& operator<<(ObjectDrain& d, const Str& s);
ObjectSource& operator>>(ObjectSource& s, Str& v);
ObjectDrain& operator<<(ObjectDrain& d, const ArgList& list);
ObjectSource& operator>>(ObjectSource& s, ArgList& list);
