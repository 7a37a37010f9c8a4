#include "proxy/options/RelaisOptions.h"

#include "foundation/AddressRanges.h"
#include "proxy/options/HostList.h"
#include "proxy/options/PortList.h"
#include "foundation/Fail.h"

#include <unistd.h>

namespace {

// An existing directory option must be usable as a directory tree we write.
constexpr uint32_t DIRECTORY_CHECKS = OptionPath::DIRECTORY | OptionPath::READABLE |
                                      OptionPath::WRITEABLE | OptionPath::EXECUTABLE;
constexpr bool SAVED = true;
// This machine and the private ranges: the local network, not the world.
const char DEFAULT_CLIENTS[] = "127.0.0.0/8 10.0.0.0/8 172.16.0.0/12 192.168.0.0/16";

// A bad list is refused where it is given, with the word at fault named.
int valid_networks(const Str& text) {
    AddressRanges ranges;
    return ranges.parse(text) == 0 ? 0 : -1;
}

// A CA file must be there to be read; none is fine.
int readable_file(const Str& text) {
    if (text.empty() || ::access(text.c_str(), R_OK) == 0) return 0;
    fail_new("RelaisOptions: ", "cannot read the file '" + text + "'");
    return -1;
}

} // namespace

RelaisOptions::RelaisOptions()
    : admins("admins", "hosts that are allowed to change options", "127.0.0.1", nullptr, SAVED),
      cafile("cafile", "file of certificate authorities trusted for HTTPS besides the system's", "",
             readable_file, SAVED),
      cachedir("cachedir", "where to store cached URLs", "./cache", DIRECTORY_CHECKS, SAVED),
      cachefiles("cachefiles", "maximum number of URLs to hold in cache", 10000, 2, 2000000, SAVED),
      cachesize("cachesize", "maximum number of kByte to hold in cache", 4096, 8, 2000000, SAVED),
      clients("clients", "networks of the clients allowed to use the proxy", DEFAULT_CLIENTS,
              valid_networks, SAVED),
      debug("debug", "if enabled, a lot of information is emitted to stdout", 0, SAVED),
      entrysize("entrysize", "cache only files which are less then 'entrysize' kB in length", 500,
                2, 2000000, SAVED),
      exportdir("exportdir", "where to store exported URLs", "./export", DIRECTORY_CHECKS, SAVED),
      importdir("importdir", "where to import URLs from", "./import", DIRECTORY_CHECKS, SAVED),
      iport("iport", "port used for internal communication", 8808, 1, 65535, SAVED),
      language("language", "chooses one of the available user-interface languages", ENGLISH,
               "english deutsch dutch", SAVED),
      maxcon("maxcon", "maximum number of concurrent network connections", 16, 1, 100, SAVED),
      offline("offline", "offline mode switch", 0, SAVED),
      port("port", "number of port to listen to", 8080, 1, 65535, SAVED),
      proxyhost("proxyhost", "remote-proxy server to use (if any)", "", nullptr, SAVED),
      proxyport("proxyport", "port of remote-proxy server to use (if any)", 8080, 1, 65535, SAVED),
      sockshost("sockshost", "SOCKS server to use (if any)", "", nullptr, SAVED),
      socksport("socksport", "port of the SOCKS server to use (if any)", 1080, 1, 65535, SAVED),
      socksuser("socksuser", "user-name to use for SOCKS request", "", nullptr, SAVED),
      sslcache("sslcache", "if enabled, HTTPS pages are kept too, answered with the local CA's certificates",
               0, SAVED),
      sslhosts("sslhosts", "hosts whose HTTPS pages are kept (empty: all)", "", host_list_invalid, SAVED),
      sslports("sslports", "ports that HTTPS tunnels (CONNECT) may lead to", "443", port_list_invalid,
               SAVED),
      timeout("timeout", "time in seconds to wait for data before closing a connection", 60, 1,
              3600, SAVED),
      updtime("updtime", "time in seconds before a check for a document-change is made", 36000, 0,
              360000, SAVED) {
    // The names are distinct, so no insertion can fail.
    Option* all[] = {&admins,    &cafile,   &cachedir, &cachefiles, &cachesize, &clients, &debug,
                     &entrysize, &exportdir, &importdir, &iport,     &language,
                     &maxcon,    &offline,  &port,       &proxyhost, &proxyport,
                     &sockshost, &socksport, &socksuser, &sslcache, &sslhosts, &sslports,  &timeout,
                     &updtime};
    for (Option* option : all) set.insert(*option);
}
