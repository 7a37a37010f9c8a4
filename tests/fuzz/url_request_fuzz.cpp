// Any bytes as a received request head, and the first line's words as a
// request built by the site loader: no crash, no out-of-bounds read, the url
// coding round trip holds, and what a valid request passes on (without a
// body) holds no byte the strict rules refuse.
#include "foundation/Fail.h"
#include "foundation/ObjectStream.h"
#include "http/URLRequest.h"
#include "tests/http/MemoryStream.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Str text(reinterpret_cast<const char*>(data), static_cast<uint32_t>(size));

    URLRequest received;
    received.from_Str(text);
    if (received.invalid == 0 && received.method != "CONNECT" &&
        (received.path.empty() || received.path[0] != '/'))
        __builtin_trap();
    received.to_server_Str();
    if (received.invalid == 0 && received.method != "POST" &&
        byte_fault(received.to_proxy_Str(), true) != HeadFault::NONE)
        __builtin_trap();
    URLRequest copy(received);
    MemoryWriteable dump;
    TextDrain drain(dump);
    drain << copy;

    Str rest = text;
    Str line = rest.cut_line();
    Str method = line.cut_word();
    Str url = line.cut_word();
    URLRequest built(method, url, rest, Str("text/plain"));
    built.to_server_Str();
    built.to_proxy_Str();

    if (url_decode(url_encode(text)) != text) __builtin_trap();

    fail_take();
    return 0;
}
