// TlsConfig: what a TLS client trusts, shared by all its sessions. It trusts
// OpenSSL's default verify paths (so SSL_CERT_FILE and SSL_CERT_DIR work as
// with any OpenSSL program) plus private CA files added with add_ca_file().
// Peers are always verified; TLS 1.2 is the lowest version spoken.
//
// Build one per process (or per thread) and add CA files before sessions
// start; sessions only read it.
#pragma once

#include "foundation/Str.h"

#include <openssl/types.h>

class TlsConfig {
public:
    // Longest chain accepted: this many authorities between the peer's
    // certificate and the trusted one.
    static constexpr int MAX_CHAIN_DEPTH = 10;

    // failed() tells whether OpenSSL could be set up (a report is pending).
    TlsConfig();
    ~TlsConfig();
    TlsConfig(const TlsConfig&) = delete;
    TlsConfig& operator=(const TlsConfig&) = delete;

    // Trusts every certificate in the PEM file too. False with a report when
    // the file cannot be read or holds no certificate.
    bool add_ca_file(const Str& path);

    bool failed() const { return context_ == nullptr; }
    SSL_CTX* context() const { return context_; }

private:
    SSL_CTX* context_ = nullptr;
};
