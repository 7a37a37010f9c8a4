// Feeds arbitrary bytes to the binary object source: a Str, an ArgList, then
// scalars and a small array, the way a record of the cache database is read.
#include "foundation/ArgList.h"
#include "foundation/BufStream.h"
#include "foundation/Fail.h"
#include "foundation/ObjectStream.h"
#include "foundation/Str.h"
#include "tests/foundation/MemoryStream.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    MemoryReadable input(std::string(reinterpret_cast<const char*>(data), size));
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
