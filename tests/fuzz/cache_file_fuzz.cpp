// Fuzz target: arbitrary bytes as a cache file, read as recovery reads it
// (through a buffered reader) and directly.
#include "foundation/BufStream.h"
#include "foundation/ByteStream.h"
#include "foundation/Fail.h"
#include "proxy/cache/CacheEntry.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

// Reads from memory and fails like a file at its end.
class MemoryReadable : public Readable {
public:
    MemoryReadable(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    int32_t eread(void* buffer, int32_t count) override {
        size_t n = count < 0 ? 0 : size_t(count);
        if (n > size_ - at_) n = size_ - at_;
        if (n > 0) std::memcpy(buffer, data_ + at_, n);
        at_ += n;
        if (int32_t(n) < count && !read_error_) {
            read_error_ = 1;
            fail_new("MemoryReadable::eread ", "read-error");
        }
        return int32_t(n);
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

void check(const CacheEntry& entry, int32_t result, size_t size) {
    if (result != 0) return;
    if (entry.headeronly != (entry.bytes == 0) || entry.bytes > size) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    {
        MemoryReadable memory(data, size);
        BufReadable buffered(memory);
        CacheEntry entry;
        check(entry, entry.init_from_cfile(buffered), size);
    }
    {
        MemoryReadable memory(data, size);
        CacheEntry entry;
        check(entry, entry.init_from_cfile(memory), size);
    }
    fail_take();
    return 0;
}
