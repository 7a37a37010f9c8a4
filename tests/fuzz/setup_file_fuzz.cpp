// Fuzz target: arbitrary bytes as a setup file, read into a small option set.
// The reader must neither crash nor leave a value outside its option's range.
#include "foundation/ByteStream.h"
#include "tests/foundation/MemoryStream.h"
#include "foundation/Fail.h"
#include "foundation/ObjectStream.h"
#include "foundation/OptionSet.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

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

    MemoryReadable memory(std::string(reinterpret_cast<const char*>(data), size));
    BinarySource source(memory);
    source >> set;

    if (port.value() < 1 || port.value() > 65535 || language.index() > 2 ||
        (debug.value() != 0 && debug.value() != 1) || zone.value() != 3)
        std::abort();
    fail_take();
    return 0;
}
