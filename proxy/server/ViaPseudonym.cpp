#include "proxy/server/ViaPseudonym.h"

#include <chrono>
#include <cstdint>
#include <sys/random.h>
#include <unistd.h>

const Str& via_pseudonym() {
    // Never destroyed: a worker may still need it while the process ends.
    static const Str& name = *[] {
        uint32_t bits = 0;
        if (::getrandom(&bits, sizeof bits, 0) != ssize_t(sizeof bits))
            bits = uint32_t(std::chrono::steady_clock::now().time_since_epoch().count()) ^
                   uint32_t(::getpid());
        return new Str("quaylo-" + Str::from_hex(bits, 8));
    }();
    return name;
}
