// The request worker never fetches from the proxy's own ports: a request for
// the listening port would come back to this proxy, one for the internal
// port is meant for no one. Either counts on every address of this machine.
#pragma once

#include "foundation/Str.h"
#include "proxy/server/ParentChannel.h"

#include <cstdint>

// Before a direct or SOCKS connect to host:port. 0: go on; when port is one
// of the proxy's, host was resolved once and becomes the dotted address,
// so that the connect goes where the check looked. 1: refused, with a report
// pending under context (written to the diagnostic drain too with `debug`).
// -1: host could not be resolved (report pending).
int32_t check_own_ports(Str& host, int32_t port, const WorkerOptions& options,
                        const char* context);
