// InterNetClient: a TCP/IPv4 connection to a host and port, either direct or
// through a SOCKS version 4 server.
#pragma once

#include "foundation/Socket.h"
#include "foundation/Str.h"

#include <cstdint>

class InterNetClient : public Socket {
public:
    // Connects; failed() tells the result. With blocking false the connection
    // may still be in progress on return: wait for the socket to become
    // writeable. A SOCKS host needs a blocking connection. An empty SOCKS user
    // falls back to the environment variable USER.
    InterNetClient(const Str& host, uint16_t port, bool blocking = true,
                   const Str& socks_host = Str(), uint16_t socks_port = 0,
                   const Str& socks_user = Str());

    // The connect target: the SOCKS server when one is used.
    uint32_t address() const { return address_; }
    uint16_t port() const; // host byte order

private:
    bool connect_to(const Str& host, uint16_t port);
    bool socks4_connect(const Str& host, uint16_t port, const Str& user);

    uint32_t address_ = 0;
    uint16_t port_ = 0; // network byte order
};
