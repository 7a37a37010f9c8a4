#include "proxy/server/OwnPorts.h"

#include "foundation/Fail.h"
#include "foundation/LocalAddresses.h"
#include "foundation/ObjectStream.h"
#include "foundation/Socket.h"

#include <arpa/inet.h>

int32_t check_own_ports(Str& host, int32_t port, const WorkerOptions& options,
                        const char* context) {
    if (port != options.port && port != options.iport) return 0;
    uint32_t address = Socket::hostname_to_ip(host);
    if (address == 0) {
        fail_chain(context, "connection to server failed");
        return -1;
    }
    if (!is_local_address(address)) {
        char dotted[INET_ADDRSTRLEN];
        ::inet_ntop(AF_INET, &address, dotted, sizeof dotted);
        host = dotted;
        return 0;
    }
    Str text = "refused to fetch from port " + Str::from_long(port) + " of this machine: " +
               (port == options.port ? "the proxy's own port" : "the proxy's internal port");
    if (options.debug) diag_drain() << Str(context) << text << Str("\n");
    fail_new(context, text);
    return 1;
}
