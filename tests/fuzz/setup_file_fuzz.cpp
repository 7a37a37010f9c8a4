// Fuzz target: arbitrary bytes as a setup file, read into a small option set.
// The reader must neither crash nor leave a value outside its option's range.
#include "foundation/ByteStream.h"
#include "foundation/Fail.h"
#include "foundation/ObjectStream.h"
#include "foundation/OptionSet.h"

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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    OptionInt port("port", "", 8080, 1, 65535, true);
    OptionStr host("proxyhost", "", "", nullptr, true);
    OptionFlag debug("debug", "", 0, true);
    OptionChoice language("language", "", 0, "english deutsch dutch", true);
    OptionPath cachedir("cachedir", "", "./cache", 4 | 8 | 16 | 32, true);
    OptionInt zone("zone", "", 3, 0, 10, false);
    OptionSet set;
    set.insert(port);
    set.insert(host);
    set.insert(debug);
    set.insert(language);
    set.insert(cachedir);
    set.insert(zone);

    MemoryReadable memory(data, size);
    BinarySource source(memory);
    source >> set;

    if (port.value() < 1 || port.value() > 65535 || language.index() > 2 ||
        (debug.value() != 0 && debug.value() != 1) || zone.value() != 3)
        std::abort();
    fail_take();
    return 0;
}
