// Byte streams: the interfaces that files, buffers and sockets implement, so
// that object streams run over any of them. Error flags are sticky: once set,
// later short transfers add no further report.
#pragma once

#include <cstdint>

class Readable {
public:
    virtual ~Readable() = default;
    // Reads up to count bytes; returns the number read. A short read sets the
    // error flag (and reports, the first time).
    virtual int32_t eread(void* buffer, int32_t count) = 0;
    int read_error() const { return read_error_; }
    void set_read_error(int e) { read_error_ = e; }

protected:
    int read_error_ = 0;
};

class Writeable {
public:
    virtual ~Writeable() = default;
    virtual int32_t ewrite(const void* buffer, int32_t count) = 0;
    int write_error() const { return write_error_; }
    void set_write_error(int e) { write_error_ = e; }

protected:
    int write_error_ = 0;
};
