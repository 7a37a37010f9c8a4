// TlsSession: the client side of one TLS connection over a connected socket
// that belongs to the caller (a foundation Socket's handle()). The session
// never blocks outside handshake(): read() and write() return WAIT when the
// socket is not ready; the caller polls the socket for wait_events() and
// calls again. Sending never raises SIGPIPE (see SocketBio.h).
//
// The peer is always verified: its chain against the TlsConfig's trust, its
// certificate against the host name or IP address the caller connected to.
#pragma once

#include "foundation/Str.h"
#include "tls/SocketBio.h"
#include "tls/TlsConfig.h"

#include <cstdint>
#include <openssl/types.h>

class TlsSession {
public:
    // read() or write() cannot go on before the socket is ready.
    static constexpr int32_t WAIT = -2;

    // failed() tells whether the session could be set up (a report is pending).
    TlsSession(const TlsConfig& config, int fd);
    ~TlsSession();
    TlsSession(const TlsSession&) = delete;
    TlsSession& operator=(const TlsSession&) = delete;

    // Runs the handshake with host (a DNS name, sent as SNI, or an IP
    // address), polling the socket, for at most timeout_ms in all. False
    // with a report that says why: the certificate (expired, not yet valid,
    // self-signed, unknown authority, another host, chain too long), the
    // peer (closed, does not speak TLS) or the time.
    bool handshake(const Str& host, int timeout_ms);

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
    bool connected_ = false; // the handshake succeeded
    bool broken_ = false;    // a fatal error: no close_notify may follow
    bool closed_ = false;
};
