#include "tls/TlsSession.h"

#include "foundation/Fail.h"
#include "tls/TlsErrors.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>

namespace {

long long now_ms() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

bool is_ip_literal(const Str& host) {
    unsigned char address[16];
    return ::inet_pton(AF_INET, host.c_str(), address) == 1 ||
           ::inet_pton(AF_INET6, host.c_str(), address) == 1;
}

// Reasons OpenSSL gives when the first bytes back are no TLS record at all.
bool not_tls(unsigned long code) {
    if (ERR_GET_LIB(code) != ERR_LIB_SSL) return false;
    int reason = ERR_GET_REASON(code);
    return reason == SSL_R_WRONG_VERSION_NUMBER || reason == SSL_R_PACKET_LENGTH_TOO_LONG ||
           reason == SSL_R_HTTP_REQUEST || reason == SSL_R_HTTPS_PROXY_REQUEST;
}

bool peer_went_away(const SocketBioState& socket) {
    return socket.eof || socket.error == ECONNRESET || socket.error == EPIPE;
}

} // namespace

TlsSession::TlsSession(const TlsConfig& config, int fd) {
    if (attach(config.failed() ? nullptr : config.context(), fd)) SSL_set_connect_state(ssl_);
}

TlsSession::TlsSession(const TlsServerConfig& config, int fd, X509* certificate, const Str& received) {
    server_ = true;
    socket_.received.assign(received.data(), received.length());
    if (!attach(config.failed() ? nullptr : config.context(), fd)) return;
    if (SSL_use_certificate(ssl_, certificate) != 1 || SSL_use_PrivateKey(ssl_, config.key()) != 1) {
        fail_new("TlsSession ", "unable to use the host certificate: " + tls_error_text());
        SSL_free(ssl_);
        ssl_ = nullptr;
        return;
    }
    SSL_set_accept_state(ssl_);
}

bool TlsSession::attach(SSL_CTX* context, int fd) {
    socket_.fd = fd;
    SSL* ssl = context ? SSL_new(context) : nullptr;
    BIO* bio = ssl ? socket_bio_new(&socket_) : nullptr;
    if (!bio) {
        fail_new("TlsSession ",
                 "unable to set up a TLS session: " + tls_error_text("TLS is not set up"));
        SSL_free(ssl);
        return false;
    }
    SSL_set_bio(ssl, bio, bio); // the session owns the BIO from here on
    ssl_ = ssl;
    return true;
}

TlsSession::~TlsSession() {
    SSL_free(ssl_);
}

// The name the certificate must carry; only DNS names go out as SNI.
bool TlsSession::set_peer_name(const Str& host) {
    host_ = host;
    X509_VERIFY_PARAM* param = SSL_get0_param(ssl_);
    if (is_ip_literal(host)) return X509_VERIFY_PARAM_set1_ip_asc(param, host.c_str()) == 1;
    X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
    return X509_VERIFY_PARAM_set1_host(param, host.c_str(), 0) == 1 &&
           SSL_set_tlsext_host_name(ssl_, host.c_str()) == 1;
}

bool TlsSession::handshake(const Str& host, int timeout_ms) {
    const char* context = "TlsSession::handshake ";
    if (!ssl_ || connected_ || closed_) {
        fail_new(context, "no session to start");
        return false;
    }
    if (server_) {
        host_ = "the client of " + host;
    } else if (!set_peer_name(host)) {
        fail_new(context, "unusable host name '" + host + "': " + tls_error_text());
        return false;
    }
    long long deadline = now_ms() + timeout_ms;
    for (;;) {
        ERR_clear_error();
        int result = SSL_do_handshake(ssl_);
        if (result == 1) {
            connected_ = true;
            return true;
        }
        int error = SSL_get_error(ssl_, result);
        short events = error == SSL_ERROR_WANT_READ    ? POLLIN
                       : error == SSL_ERROR_WANT_WRITE ? POLLOUT
                                                       : 0;
        if (events == 0) {
            broken_ = true;
            fail_new(context, handshake_failure(error));
            return false;
        }
        if (!wait_until(events, deadline)) {
            fail_new(context, "the TLS handshake with " + host_ + " timed out after " +
                                  Str::from_long(timeout_ms) + " ms");
            return false;
        }
    }
}

bool TlsSession::resumed() const {
    return ssl_ && SSL_session_reused(ssl_) == 1;
}

void TlsSession::resume(SSL_SESSION* earlier) {
    if (ssl_ && !server_ && !connected_) SSL_set_session(ssl_, earlier);
}

SSL_SESSION* TlsSession::session_for_later() const {
    return ssl_ ? SSL_get1_session(ssl_) : nullptr;
}

bool TlsSession::wait_until(short events, long long deadline_ms) const {
    for (;;) {
        long long left = deadline_ms - now_ms();
        if (left <= 0) return false;
        pollfd socket{socket_.fd, events, 0};
        int n = ::poll(&socket, 1, int(left));
        if (n > 0) return true; // also on an error or hang-up: the next step meets it
        if (n < 0 && errno != EINTR) return false;
    }
}

// The verify result comes first: a failed verification is what ends the
// handshake then, whatever else the error queue holds.
Str TlsSession::handshake_failure(int error) const {
    long verified = SSL_get_verify_result(ssl_);
    if (verified != X509_V_OK) {
        ERR_clear_error();
        return verify_failure(verified);
    }
    if (peer_went_away(socket_)) {
        ERR_clear_error();
        return host_ + " closed the connection during the TLS handshake";
    }
    if (error == SSL_ERROR_SYSCALL && socket_.error != 0) {
        ERR_clear_error();
        return "the TLS handshake with " + host_ + " failed: " + std::strerror(socket_.error);
    }
    if (not_tls(ERR_peek_last_error()))
        return host_ + " does not speak TLS (protocol error: " + tls_error_text() + ")";
    return "the TLS handshake with " + host_ + " failed: " + tls_error_text();
}

Str TlsSession::verify_failure(long code) const {
    Str openssl = Str(" (") + X509_verify_cert_error_string(code) + ")";
    switch (code) {
    case X509_V_ERR_CERT_HAS_EXPIRED:
        return "the certificate of " + host_ + " has expired";
    case X509_V_ERR_CERT_NOT_YET_VALID:
        return "the certificate of " + host_ + " is not yet valid";
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
        return host_ + " presents a self-signed certificate";
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
        return "the certificate of " + host_ + " is issued by an unknown authority" + openssl;
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
        return "the certificate is for another host, not " + host_;
    case X509_V_ERR_CERT_CHAIN_TOO_LONG:
        return "the certificate chain of " + host_ + " is too long (more than " +
               Str::from_long(TlsConfig::MAX_CHAIN_DEPTH) + " authorities)";
    default:
        return "the certificate of " + host_ + " is not valid" + openssl;
    }
}

bool TlsSession::usable(const char* context) const {
    if (ssl_ && connected_ && !broken_ && !closed_) return true;
    fail_new(context, closed_   ? "the TLS session is closed"
                      : broken_ ? "the TLS session has ended"
                                : "no TLS session is established");
    return false;
}

int32_t TlsSession::read(char* into, int32_t want) {
    if (!usable("TlsSession::read ")) return -1;
    ERR_clear_error();
    int result = SSL_read(ssl_, into, want);
    return result > 0 ? result : after_failure("TlsSession::read ", result, true);
}

int32_t TlsSession::write(const char* bytes, int32_t count) {
    if (!usable("TlsSession::write ")) return -1;
    ERR_clear_error();
    int result = SSL_write(ssl_, bytes, count);
    return result > 0 ? result : after_failure("TlsSession::write ", result, false);
}

int32_t TlsSession::after_failure(const char* context, int result, bool reading) {
    int error = SSL_get_error(ssl_, result);
    if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) {
        wait_events_ = error == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT;
        return WAIT;
    }
    // HTTP/1.0 servers end an answer by closing, often without close_notify.
    // A send that failed is a failure even after close_notify: OpenSSL then
    // calls it ZERO_RETURN, but the bytes are lost.
    bool peer_closed = reading ? error == SSL_ERROR_ZERO_RETURN || socket_.eof
                               : error == SSL_ERROR_ZERO_RETURN && socket_.error == 0;
    broken_ = error != SSL_ERROR_ZERO_RETURN;
    if (peer_closed) {
        ERR_clear_error();
        return 0;
    }
    if (socket_.error != 0) {
        ERR_clear_error();
        fail_new(context,
                 "the connection to " + host_ + " failed: " + std::strerror(socket_.error));
    } else {
        fail_new(context, "TLS failure with " + host_ + ": " + tls_error_text());
    }
    return -1;
}

bool TlsSession::buffered() const {
    return ssl_ && SSL_pending(ssl_) > 0;
}

void TlsSession::close() {
    if (ssl_ && connected_ && !broken_ && !closed_) {
        ERR_clear_error();
        SSL_shutdown(ssl_); // one try: the non-blocking socket takes it or not
        ERR_clear_error();
    }
    closed_ = true;
}
