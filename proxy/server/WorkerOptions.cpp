#include "proxy/server/WorkerOptions.h"

#include "foundation/ObjectStream.h"
#include "proxy/options/RelaisOptions.h"

WorkerOptions worker_options(const RelaisOptions& o, const Str& ca_directory) {
    WorkerOptions w;
    w.timeout = o.timeout.value();
    w.offline = bool(o.offline.value());
    w.proxyhost = o.proxyhost.value();
    w.proxyport = o.proxyport.value();
    w.debug = bool(o.debug.value());
    w.updtime = o.updtime.value();
    w.language = int32_t(o.language.index());
    w.sockshost = o.sockshost.value();
    w.socksport = o.socksport.value();
    w.socksuser = o.socksuser.value();
    w.port = o.port.value();
    w.iport = o.iport.value();
    w.sslports = o.sslports.value();
    w.cafile = o.cafile.value();
    w.sslcache = bool(o.sslcache.value());
    w.sslhosts = o.sslhosts.value();
    w.ca_directory = ca_directory;
    return w;
}

ObjectDrain& operator<<(ObjectDrain& d, const WorkerOptions& o) {
    return d << o.timeout << o.offline << o.proxyhost << o.proxyport << o.debug << o.updtime
             << o.language << o.sockshost << o.socksport << o.socksuser << o.port << o.iport
             << o.sslports << o.cafile << o.sslcache << o.sslhosts << o.ca_directory;
}

ObjectSource& operator>>(ObjectSource& s, WorkerOptions& o) {
    return s >> o.timeout >> o.offline >> o.proxyhost >> o.proxyport >> o.debug >> o.updtime >>
           o.language >> o.sockshost >> o.socksport >> o.socksuser >> o.port >> o.iport >>
           o.sslports >> o.cafile >> o.sslcache >> o.sslhosts >> o.ca_directory;
}
