// Any bytes as the target of a CONNECT (and what follows it on the line and
// below): no crash, and a request taken as valid names a host without a
// path, user or second port, and a port a tunnel may use.
#include "foundation/Fail.h"
#include "http/URLRequest.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Str target(reinterpret_cast<const char*>(data), static_cast<uint32_t>(size));
    URLRequest request;
    request.from_Str("CONNECT " + target + "\r\n\r\n");
    if (request.invalid == 0) {
        if (request.method != "CONNECT" || request.host.empty() || request.port < 1 || request.port > 65535)
            __builtin_trap();
        for (char forbidden : {'/', '@', '?', ':', ' '})
            if (request.host.find(forbidden) >= 0) __builtin_trap();
    }
    fail_take();
    return 0;
}
