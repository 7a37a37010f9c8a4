// In-memory byte streams for tests: what a drain wrote can be inspected and fed
// back to a source. Both fail the way a file does: a short transfer sets the
// sticky flag and reports the first time.
#pragma once

#include "foundation/ByteStream.h"
#include "foundation/Fail.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

// Accepts limit bytes, then every write is short (a full disk).
class MemoryWriteable : public Writeable {
public:
    explicit MemoryWriteable(size_t limit = SIZE_MAX) : limit_(limit) {}
    int32_t ewrite(const void* buffer, int32_t count) override {
        calls.push_back(count);
        size_t n = std::min(size_t(count), limit_ - bytes.size());
        bytes.append(static_cast<const char*>(buffer), n);
        if (n < size_t(count) && !write_error_) {
            write_error_ = 1;
            fail_new("MemoryWriteable::ewrite ", "write-error");
        }
        return int32_t(n);
    }
    std::string bytes;
    std::vector<int32_t> calls; // the count of every write asked for

private:
    size_t limit_;
};

class MemoryReadable : public Readable {
public:
    explicit MemoryReadable(std::string data) : bytes(std::move(data)) {}
    int32_t eread(void* buffer, int32_t count) override {
        requests.push_back(count);
        if (on_read) on_read();
        if (count < 0) count = 0; // never more than the caller's buffer
        size_t n = std::min(size_t(count), bytes.size() - position);
        std::memcpy(buffer, bytes.data() + position, n);
        position += n;
        if (n < size_t(count) && !read_error_) {
            read_error_ = 1;
            fail_new("MemoryReadable::eread ", "read-error");
        }
        return int32_t(n);
    }
    std::string bytes;
    size_t position = 0;
    std::vector<int32_t> requests; // the count of every read asked for
    std::function<void()> on_read;
};

// The binary forms of the object streams, little-endian.
inline std::string le32(uint32_t v) {
    std::string s;
    for (int i = 0; i < 4; i++) s += char((v >> (8 * i)) & 0xFF);
    return s;
}
inline std::string framed(const std::string& text) { return le32(uint32_t(text.size())) + text; }
