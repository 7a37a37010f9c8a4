// Any bytes as an answer head and as a stored (binary) answer: no crash, no
// out-of-bounds read; a parsed answer survives the binary round trip.
#include "foundation/Fail.h"
#include "foundation/ObjectStream.h"
#include "http/URLAnswer.h"
#include "http/URLRequest.h"
#include "tests/http/MemoryStream.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Str text(reinterpret_cast<const char*>(data), static_cast<uint32_t>(size));

    URLAnswer parsed;
    parsed.from_Str(text);
    Str head = parsed.to_Str();

    MemoryWriteable stored;
    BinaryDrain drain(stored);
    drain << parsed;
    MemoryReadable stored_in(stored.bytes);
    BinarySource stored_source(stored_in);
    URLAnswer reread;
    stored_source >> reread;
    if (stored_source.error() || reread.invalid || reread.to_Str() != head) __builtin_trap();

    // The same bytes as a cache file's head.
    MemoryReadable raw(std::string(reinterpret_cast<const char*>(data), size));
    BinarySource raw_source(raw);
    URLAnswer from_file;
    raw_source >> from_file;
    if (!from_file.invalid) from_file.to_Str();

    URLRequest failed;
    failed.from_Str(text);
    URLAnswer page;
    page.make_error(failed);
    MemoryWriteable dump;
    TextDrain text_drain(dump);
    text_drain << page;

    fail_take();
    return 0;
}
