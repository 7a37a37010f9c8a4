// The proxy server's settings and the option set over them. Command
// line, setup file, admin form and the cache all work on these objects, so
// the cache sees a changed value at its next use.
#pragma once

#include "foundation/Option.h"
#include "foundation/OptionSet.h"

class RelaisOptions {
public:
    // Index values of the language option.
    enum Language : uint32_t { ENGLISH = 0, DEUTSCH = 1, DUTCH = 2 };

    // Builds the options with their defaults and inserts them into set.
    RelaisOptions();

    OptionStr admins;
    // Certificate authorities (a PEM file) trusted for HTTPS besides the system's.
    OptionStr cafile;
    OptionPath cachedir;
    OptionInt cachefiles;
    OptionInt cachesize;
    // Never changed through the web: see AddressRanges for the format.
    OptionStr clients;
    OptionFlag debug;
    OptionInt entrysize;
    OptionPath exportdir;
    OptionPath importdir;
    OptionInt iport;
    OptionChoice language;
    OptionInt maxcon;
    OptionFlag offline;
    OptionInt port;
    OptionStr proxyhost;
    OptionInt proxyport;
    OptionStr sockshost;
    OptionInt socksport;
    OptionStr socksuser;
    // Whether the proxy answers browsers' HTTPS itself, with certificates of
    // its local authority, so that HTTPS pages are kept like any other.
    OptionFlag sslcache;
    // The hosts whose HTTPS it answers so (see HostList; empty: all).
    OptionStr sslhosts;
    // The ports a CONNECT tunnel may lead to (see PortList for the format).
    OptionStr sslports;
    OptionInt timeout;
    OptionInt updtime;

    // Declared last: destroyed first, while the options it saves still exist.
    OptionSet set;
};
