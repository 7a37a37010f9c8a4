// InterNetServer: a listening TCP/IPv4 socket that accepts connections.
#pragma once

#include "foundation/Socket.h"

#include <cstdint>
#include <memory>

class InterNetServer : public Socket {
public:
    // Binds to address (network byte order; 0 = all local addresses) at port
    // (0 = any free port) and listens with the given backlog. failed() tells
    // the result.
    explicit InterNetServer(uint16_t port, uint32_t address = 0, int backlog = DEFAULT_BACKLOG);

    static constexpr int DEFAULT_BACKLOG = 4;

    // Waits for one connection. Returns its blocking, owned socket and stores
    // the peer's address (network byte order) when peer is given; null on failure.
    std::unique_ptr<Socket> accept_connection(uint32_t* peer = nullptr);

    // The port actually bound (host byte order), 0 when construction failed.
    uint16_t port() const;
    // The bound address, network byte order.
    uint32_t address() const { return address_; }

private:
    uint32_t address_ = 0;
    uint16_t port_ = 0; // network byte order
};

// 127.0.0.1 in network byte order.
uint32_t loopback_address();
