// A remote proxy that is this proxy: every request would come back to it and
// wait for itself. Refused on the command line, in the setup file and on the
// options form.
#pragma once

#include "foundation/Str.h"

class RelaisOptions;

// True when proxyhost names an address of this machine and proxyport is this
// proxy's port. A name that does not resolve is not this proxy.
bool remote_proxy_is_self(const RelaisOptions& options);

// "remote proxy 'host:port' " for the report.
Str remote_proxy_text(const RelaisOptions& options);
