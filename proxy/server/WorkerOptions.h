// WorkerOptions: the options a request worker works with, as the server
// hands them out: in the Options message (fields in Command.h's order) to a
// worker with a channel only, or straight from ServerShare to a worker
// thread of this process.
#pragma once

#include "foundation/Str.h"

#include <cstdint>

class ObjectDrain;
class ObjectSource;
class RelaisOptions;

struct WorkerOptions {
    int32_t timeout = 60;
    bool offline = false;
    Str proxyhost;
    int32_t proxyport = 8080;
    bool debug = false;
    int32_t updtime = 36000;
    int32_t language = 0;
    Str sockshost;
    int32_t socksport = 1080;
    Str socksuser;
    int32_t port = 0;  // the proxy's own listening port
    int32_t iport = 0; // and its internal one
    Str sslports = "443";
    Str cafile;
    bool sslcache = false; // answer browsers' HTTPS with the local CA
    Str sslhosts;          // of these hosts (empty: all)
    Str ca_directory;      // where the local CA lives
};

// The server's options as a worker needs them now.
WorkerOptions worker_options(const RelaisOptions& options, const Str& ca_directory);

// The fields of the Options message, after its code.
ObjectDrain& operator<<(ObjectDrain& drain, const WorkerOptions& o);
ObjectSource& operator>>(ObjectSource& source, WorkerOptions& o);
