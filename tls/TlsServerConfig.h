// TlsServerConfig: the server side of the proxy's own TLS, with which it
// answers a browser's handshake for an intercepted tunnel. Every host
// certificate carries one key (LocalAuthority's host key); sessions are kept
// for resumption, so that the many short connections a browser opens to one
// site cost a full handshake only once.
#pragma once

#include <openssl/types.h>

class TlsServerConfig {
public:
    // Sessions kept for resumption.
    static constexpr long SESSION_CACHE_SIZE = 2000;

    // failed() tells whether OpenSSL could be set up (a report is pending).
    explicit TlsServerConfig(EVP_PKEY* key);
    ~TlsServerConfig();
    TlsServerConfig(const TlsServerConfig&) = delete;
    TlsServerConfig& operator=(const TlsServerConfig&) = delete;

    bool failed() const { return context_ == nullptr; }
    SSL_CTX* context() const { return context_; }
    EVP_PKEY* key() const { return key_; }

private:
    SSL_CTX* context_ = nullptr;
    EVP_PKEY* key_ = nullptr;
};
