// Whether an IPv4 address reaches this machine: the proxy must never fetch
// from its own ports, whichever of the machine's addresses names them.
#pragma once

#include "foundation/Str.h"

#include <cstdint>

// address in network byte order (as Socket::hostname_to_ip gives it).
// True for 0.0.0.0, the whole 127.0.0.0/8 range and every address an
// interface of this machine holds right now.
bool is_local_address(uint32_t address);

// True for the whole 127.0.0.0/8 range.
bool is_loopback_address(uint32_t address);

// The address (network order in memory) in its usual dotted form,
// 127.0.0.1 for the loopback host.
Str dotted_address(uint32_t address);
