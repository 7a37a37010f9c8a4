// The answer to a browser whose address lies outside `clients`: the server
// sends it itself right after the accept, without starting a worker, and
// closes the connection. Nothing of the cache is touched for it.
#pragma once

#include "foundation/Socket.h"

#include <cstdint>

// Sends the 403 page without waiting (the connection is fresh, its send
// buffer empty) and shuts the connection down; with debug, a log line.
void refuse_client(Socket& client, uint32_t peer, uint32_t language, bool debug);
