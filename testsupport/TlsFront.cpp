#include "testsupport/TlsFront.h"

#include "foundation/Fail.h"
#include "foundation/InterNetClient.h"

#include <csignal>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>

TlsFront::TlsFront(const std::string& certificate, const std::string& key, uint16_t backend_port,
                   Behaviour behaviour)
    : context_(SSL_CTX_new(TLS_server_method())), listener_(0, loopback_address(), 64),
      backend_port_(backend_port), behaviour_(behaviour) {
    if (!context_ || SSL_CTX_use_certificate_chain_file(context_, certificate.c_str()) != 1 ||
        SSL_CTX_use_PrivateKey_file(context_, key.c_str(), SSL_FILETYPE_PEM) != 1 ||
        listener_.failed())
        return;
    port_ = listener_.port();
    acceptor_ = std::thread([this] { run(); });
}

TlsFront::~TlsFront() {
    {
        std::lock_guard<std::mutex> guard(mutex_);
        stopping_ = true; // then shutdown() wakes every blocked accept, read, write and poll
        listener_.shutdown();
        for (auto& client : clients_)
            client.second->shutdown();
    }
    if (acceptor_.joinable()) acceptor_.join();
    for (auto& client : clients_)
        client.first.join();
    SSL_CTX_free(context_);
}

std::vector<std::string> TlsFront::server_names() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return server_names_;
}

void TlsFront::run() {
    // OpenSSL writes with write(): SIGPIPE, blocked, stays pending in the
    // thread that raised it. The connection threads inherit the mask.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    ::pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
    for (;;) {
        std::unique_ptr<Socket> client = listener_.accept_connection();
        std::lock_guard<std::mutex> guard(mutex_);
        if (stopping_) {
            fail_take(); // of the accept that the shutdown ended
            return;
        }
        if (!client) continue;
        if (client->delay_off() < 0) fail_take();  // records leave at once, as a server's would
        int handle = client->handle();
        clients_.emplace_back(std::thread([this, handle] { serve(handle); }), std::move(client));
    }
}

void TlsFront::serve(int client) {
    bool relaying = behaviour_ <= Behaviour::relay_without_close_notify;
    SSL* ssl = relaying ? SSL_new(context_) : nullptr;
    char hello[16384]; // on loopback, the client's hello arrives in one piece
    if (ssl && SSL_set_fd(ssl, client) == 1 && SSL_accept(ssl) == 1) {
        const char* name = SSL_get_servername(ssl, TLSEXT_NAMETYPE_host_name);
        std::unique_lock<std::mutex> lock(mutex_);
        server_names_.push_back(name ? name : "");
        lock.unlock();
        relay(ssl, client);
        if (behaviour_ == Behaviour::relay) SSL_shutdown(ssl);
    } else if (!relaying && ::recv(client, hello, sizeof hello, 0) > 0) {
        const char plain[] = "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\nno TLS here\r\n";
        if (behaviour_ == Behaviour::plain_answer)
            ::send(client, plain, sizeof plain - 1, MSG_NOSIGNAL);
        // Silent: holds on until the client gives up or the front stops.
        while (behaviour_ == Behaviour::silent && ::recv(client, hello, sizeof hello, 0) > 0) {
        }
    }
    SSL_free(ssl);
    ::shutdown(client, SHUT_RDWR); // the peer sees the end now, the destructor closes
}

// Decrypted bytes go to the backend, its bytes go back encrypted, until one
// side ends (or the destructor shuts the client down).
void TlsFront::relay(SSL* ssl, int client) {
    InterNetClient backend("127.0.0.1", backend_port_);
    bool open = !backend.failed();
    char buffer[16384];
    while (open) {
        pollfd fds[2] = {{client, POLLIN, 0}, {backend.handle(), POLLIN, 0}};
        if (SSL_pending(ssl) == 0) open = ::poll(fds, 2, -1) >= 0;
        if (open && (SSL_pending(ssl) > 0 || fds[0].revents != 0)) {
            int n = SSL_read(ssl, buffer, sizeof buffer);
            open = n > 0 && backend.ewrite(buffer, n) == n;
        }
        if (open && fds[1].revents != 0) {
            int32_t n = backend.nbread(buffer, sizeof buffer);
            open = n > 0 && SSL_write(ssl, buffer, n) > 0;
        }
    }
    fail_take(); // a backend that went away is no failure of the front
}
