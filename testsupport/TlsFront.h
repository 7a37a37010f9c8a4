// TlsFront: a TLS terminator for tests. On 127.0.0.1 at a free port, with a
// certificate (and chain) and key from PEM files, it relays each connection,
// decrypted, to a plain server at 127.0.0.1:backend_port (an OriginServer)
// until either side closes: whatever an OriginServer does also happens over
// HTTPS. The other behaviours fail the handshake. One thread per connection,
// all joined by the destructor. SIGPIPE is blocked in these threads only, so
// a test may keep its default action to show that its own code raises none.
#pragma once

#include "foundation/InterNetServer.h"

#include <list>
#include <mutex>
#include <openssl/types.h>
#include <string>
#include <thread>
#include <vector>

class TlsFront {
public:
    enum class Behaviour { // the relaying ones first
        relay,
        relay_without_close_notify, // ends as many HTTP/1.0 servers do: just closes
        close_during_handshake,     // reads the client's hello, then closes
        plain_answer,               // answers the hello with a plain "HTTP/1.0 200 OK"
        silent,                     // reads the hello, then never answers
    };

    TlsFront(const std::string& certificate, const std::string& key, uint16_t backend_port,
             Behaviour behaviour = Behaviour::relay);
    ~TlsFront();

    uint16_t port() const { return port_; } // 0: not listening
    // The server name (SNI) of each completed handshake, "" when none came.
    std::vector<std::string> server_names() const;

private:
    void run();
    void serve(int client);
    void relay(SSL* ssl, int client);

    SSL_CTX* context_;
    InterNetServer listener_;
    uint16_t port_ = 0;
    uint16_t backend_port_;
    Behaviour behaviour_;
    std::thread acceptor_;
    mutable std::mutex mutex_;
    // Clients close only with the front, so the destructor never shuts down
    // a number that got reused.
    std::list<std::pair<std::thread, std::unique_ptr<Socket>>> clients_;
    std::vector<std::string> server_names_;
    bool stopping_ = false;
};
