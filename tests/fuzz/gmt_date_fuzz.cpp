// Any bytes as a date: no crash, no out-of-bounds read; a parsed date writes
// back in a form that parses to the same fields.
#include "foundation/Fail.h"
#include "foundation/ObjectStream.h"
#include "http/GMTdate.h"
#include "tests/http/MemoryStream.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Str text(reinterpret_cast<const char*>(data), static_cast<uint32_t>(size));

    GMTdate date;
    date.from_Str(text);
    Str written = date.to_Str();
    if (date.specified()) {
        if (!date.le(date) || date.diff(date) != 0.0) __builtin_trap();
        // Years beyond 2^31 wrap to negative numbers, which the reader has no sign for.
        if (date.year >= 0) {
            GMTdate again;
            again.from_Str(written);
            if (!again.specified() || again.to_Str() != written || again.weekday != date.weekday)
                __builtin_trap();
        }
    }

    MemoryWriteable stored;
    BinaryDrain drain(stored);
    drain << date;
    MemoryReadable in(stored.bytes);
    BinarySource source(in);
    GMTdate reread;
    source >> reread;
    if (source.error() || reread.to_Str() != written) __builtin_trap();

    // The same bytes as a stored date.
    MemoryReadable raw(std::string(reinterpret_cast<const char*>(data), size));
    BinarySource raw_source(raw);
    GMTdate from_file;
    raw_source >> from_file;
    from_file.to_Str();
    from_file.le(date);
    from_file.diff(date);

    fail_take();
    return 0;
}
