#include "proxy/options/ProxySelf.h"

#include "foundation/Fail.h"
#include "foundation/LocalAddresses.h"
#include "foundation/Socket.h"
#include "proxy/options/RelaisOptions.h"

#include <arpa/inet.h>

bool remote_proxy_is_self(const RelaisOptions& options) {
    const Str& host = options.proxyhost.value();
    if (host.empty() || options.proxyport.value() != options.port.value()) return false;
    // Numeric forms first: the resolver's 0 means failure, yet 0.0.0.0 is here.
    in_addr numeric{};
    if (::inet_aton(host.c_str(), &numeric) != 0) return is_local_address(numeric.s_addr);
    uint32_t address = Socket::hostname_to_ip(host);
    if (address == 0) {
        fail_take();
        return false;
    }
    return is_local_address(address);
}

Str remote_proxy_text(const RelaisOptions& options) {
    return "remote proxy '" + options.proxyhost.value() + ":" +
           Str::from_long(options.proxyport.value()) + "' ";
}
