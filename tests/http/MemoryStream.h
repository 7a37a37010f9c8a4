// In-memory byte streams for the tests: what a drain wrote can be inspected
// and fed back to a source.
#pragma once

#include "foundation/ByteStream.h"
#include "foundation/Fail.h"

#include <algorithm>
#include <cstring>
#include <string>

class MemoryWriteable : public Writeable {
public:
    int32_t ewrite(const void* buffer, int32_t count) override {
        bytes.append(static_cast<const char*>(buffer), static_cast<size_t>(count));
        return count;
    }
    std::string bytes;
};

// Accepts the first budget bytes, then every write is short.
class BrokenWriteable : public Writeable {
public:
    explicit BrokenWriteable(size_t budget = 0) : budget_(budget) {}
    int32_t ewrite(const void*, int32_t count) override {
        size_t n = std::min(static_cast<size_t>(count), budget_);
        budget_ -= n;
        if (n < static_cast<size_t>(count) && !write_error_) {
            write_error_ = 1;
            fail_new("BrokenWriteable::ewrite ", "write-error");
        }
        return static_cast<int32_t>(n);
    }

private:
    size_t budget_;
};

class MemoryReadable : public Readable {
public:
    explicit MemoryReadable(std::string data) : bytes(std::move(data)) {}
    int32_t eread(void* buffer, int32_t count) override {
        size_t n = std::min(static_cast<size_t>(count), bytes.size() - position);
        std::memcpy(buffer, bytes.data() + position, n);
        position += n;
        if (n < static_cast<size_t>(count) && !read_error_) {
            read_error_ = 1;
            fail_new("MemoryReadable::eread ", "read-error");
        }
        return static_cast<int32_t>(n);
    }
    std::string bytes;
    size_t position = 0;
};
