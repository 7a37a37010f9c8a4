// TlsSession: one TLS connection over a connected socket that belongs to the
// caller (a foundation Socket's handle()): the client side, or the server
// side with which the proxy answers a browser itself. The session
// never blocks outside handshake(): read() and write() return WAIT when the
// socket is not ready; the caller polls the socket for wait_events() and
// calls again. Sending never raises SIGPIPE (see SocketBio.h).
//
// A server is always verified: its chain against the TlsConfig's trust, its
// certificate against the host name or IP address the caller connected to.
#pragma once

#include "foundation/Str.h"
#include "tls/SocketBio.h"
#include "tls/TlsConfig.h"
#include "tls/TlsServerConfig.h"

#include <cstdint>
#include <openssl/types.h>

typedef struct ssl_session_st SSL_SESSION;

class TlsSession {
public:
    // read() or write() cannot go on before the socket is ready.
    static constexpr int32_t WAIT = -2;

    // failed() tells whether the session could be set up (a report is pending).
    TlsSession(const TlsConfig& config, int fd);
    // The server side, answering with certificate and the config's key;
    // received: bytes of the client's read from the socket already.
    TlsSession(const TlsServerConfig& config, int fd, X509* certificate, const Str& received);
    ~TlsSession();
    TlsSession(const TlsSession&) = delete;
    TlsSession& operator=(const TlsSession&) = delete;

    // Runs the handshake with host (a DNS name, sent as SNI, or an IP
    // address), polling the socket, for at most timeout_ms in all. False
    // with a report that says why: the certificate (expired, not yet valid,
    // self-signed, unknown authority, another host, chain too long), the
    // peer (closed, does not speak TLS) or the time. On the server side host
    // only names the client in reports.
    bool handshake(const Str& host, int timeout_ms);
    // The handshake resumed an earlier session.
    bool resumed() const;
    // A client's session to offer on its next connection to the same server
    // (before the handshake), which saves the server's certificate and
    // signature if the server agrees. Must end with close() to be resumable.
    void resume(SSL_SESSION* earlier);
    // This session for a later resume(); the caller frees it (SSL_SESSION_free).
    SSL_SESSION* session_for_later() const;

    // Bytes read (want > 0), 0 when the peer has closed (close_notify or a
    // plain end of the connection), -1 with a report, or WAIT.
    int32_t read(char* into, int32_t want);
    // Bytes sent (count > 0; possibly fewer than count), 0 when the peer has closed
    // the TLS connection, -1 with a report, or WAIT: then call again with
    // the same bytes (the buffer may move).
    int32_t write(const char* bytes, int32_t count);
    // What to poll the socket for after WAIT (POLLIN or POLLOUT).
    short wait_events() const { return wait_events_; }
    // Decrypted bytes wait in the session: read them before polling, the
    // socket will not signal them.
    bool buffered() const;
    // Sends close_notify if the socket takes it at once; later reads and
    // writes fail. The socket stays open: it belongs to the caller.
    void close();

    bool failed() const { return ssl_ == nullptr; }

private:
    // Takes an SSL of context over fd; false with a report.
    bool attach(SSL_CTX* context, int fd);
    bool set_peer_name(const Str& host);
    bool wait_until(short events, long long deadline_ms) const;
    Str handshake_failure(int error) const;
    Str verify_failure(long code) const;
    bool usable(const char* context) const;
    int32_t after_failure(const char* context, int result, bool reading);

    SSL* ssl_ = nullptr;
    SocketBioState socket_;
    Str host_;
    short wait_events_ = 0;
    bool server_ = false;
    bool connected_ = false; // the handshake succeeded
    bool broken_ = false;    // a fatal error: no close_notify may follow
    bool closed_ = false;
};
