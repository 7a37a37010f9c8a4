// Fuzz target: arbitrary bytes as a cache file, read as recovery reads it
// (through a buffered reader) and directly.
#include "foundation/BufStream.h"
#include "foundation/ByteStream.h"
#include "tests/foundation/MemoryStream.h"
#include "foundation/Fail.h"
#include "proxy/cache/CacheEntry.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

void check(const CacheEntry& entry, int32_t result, size_t size) {
    if (result != 0) return;
    if (entry.headeronly != (entry.bytes == 0) || entry.bytes > size) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    {
        MemoryReadable memory(std::string(reinterpret_cast<const char*>(data), size));
        BufReadable buffered(memory);
        CacheEntry entry;
        check(entry, entry.init_from_cfile(buffered), size);
    }
    {
        MemoryReadable memory(std::string(reinterpret_cast<const char*>(data), size));
        CacheEntry entry;
        check(entry, entry.init_from_cfile(memory), size);
    }
    fail_take();
    return 0;
}
