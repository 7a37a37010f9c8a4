// UrlGet: the request worker. One worker serves exactly one browser
// connection: it reads one HTTP/1.0 proxy request, answers it from the cache,
// from the origin server (direct, through a remote proxy or a SOCKS4 server)
// or from the proxy's own pages, stores what it relays, and ends. It reaches
// the cache database and the options only through the command channel to the
// server (Command.h).
#pragma once

#include "foundation/ArgList.h"
#include "foundation/Str.h"

// The worker's program entry, called for the argument "-urlget" with the
// remaining arguments ("-socket" handle, "-remip" address, "-icport" port).
// The whole request is handled before it returns; the result is always 0.
int urlget_main(const Str& program_name, ArgList& args);
