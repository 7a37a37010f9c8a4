// Feeds arbitrary bytes to the binary object source: a Str, an ArgList, then
// scalars and a small array, the way a record of the cache database is read.
#include "foundation/ArgList.h"
#include "foundation/BufStream.h"
#include "foundation/Fail.h"
#include "foundation/ObjectStream.h"
#include "foundation/Str.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

class InputSource : public Readable {
public:
    InputSource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    int32_t eread(void* buffer, int32_t count) override {
        if (count <= 0) return 0;
        size_t n = std::min(size_t(count), size_ - position_);
        if (n > 0) std::memcpy(buffer, data_ + position_, n);
        position_ += n;
        if (n < size_t(count) && !read_error_) {
            read_error_ = 1;
            fail_new("InputSource::eread ", "read-error");
        }
        return int32_t(n);
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t position_ = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    InputSource input(data, size);
    // A small buffer exercises refills and the bypass as well.
    BufReadable buffered(input, 16);
    BinarySource s(buffered);

    Str text;
    ArgList list;
    bool flag;
    double real;
    float single;
    uint32_t u32;
    int16_t i16;
    char c;
    int32_t values[4];
    s >> text >> list >> flag >> real >> single >> u32 >> i16 >> c;
    s.read_array(values, 4);

    // Consistency the readers promise whatever the input.
    if (text.length() > size || list.count() > size / 4) __builtin_trap();
    if (!s.error() && text.status() != 0) __builtin_trap();

    // Failures here are expected: drop the report so nothing is printed.
    fail_take();
    return 0;
}
