// Where the loader's requests go: the local caching proxy, or nowhere (then
// every request goes straight to the document's own server).
#pragma once

#include <cstdint>
#include <string>

struct ProxyAddress {
    std::string host;  // empty: no proxy
    uint16_t port = 0;

    bool Configured() const { return !host.empty(); }
};

// The proxy the program uses unless told otherwise.
constexpr char kDefaultProxyHost[] = "127.0.0.1";
constexpr uint16_t kDefaultProxyPort = 8080;

inline ProxyAddress DefaultProxy() {
    return ProxyAddress{kDefaultProxyHost, kDefaultProxyPort};
}
