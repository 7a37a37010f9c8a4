// MemoryReadable: reads an object record out of bytes already in memory.
#pragma once

#include "foundation/ByteStream.h"

#include <cstdint>
#include <cstring>

class MemoryReadable : public Readable {
public:
    MemoryReadable(const char* data, uint32_t size) : data_(data), size_(size) {}
    int32_t eread(void* buffer, int32_t count) override {
        uint32_t n = uint32_t(count) <= size_ - position_ ? uint32_t(count) : size_ - position_;
        std::memcpy(buffer, data_ + position_, n);
        position_ += n;
        if (n < uint32_t(count)) set_read_error(1);
        return int32_t(n);
    }
    uint32_t position() const { return position_; }

private:
    const char* data_;
    uint32_t size_;
    uint32_t position_ = 0;
};
