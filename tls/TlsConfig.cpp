#include "tls/TlsConfig.h"

#include "foundation/Fail.h"
#include "tls/TlsErrors.h"

#include <cerrno>
#include <cstring>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>

namespace {

// A CA file is public: an encrypted key in it is skipped instead of making
// OpenSSL ask for a pass phrase on the terminal.
int no_pass_phrase(char*, int, int, void*) {
    return 0;
}

// Adds the certificates of an open PEM file to store; how many were added.
int add_certificates(BIO* file, X509_STORE* store) {
    STACK_OF(X509_INFO)* infos = PEM_X509_INFO_read_bio(file, nullptr, no_pass_phrase, nullptr);
    int added = 0;
    for (int i = 0; infos && i < sk_X509_INFO_num(infos); i++) {
        X509* certificate = sk_X509_INFO_value(infos, i)->x509;
        if (certificate && X509_STORE_add_cert(store, certificate) == 1) added++;
    }
    sk_X509_INFO_pop_free(infos, X509_INFO_free);
    ERR_clear_error(); // the read ends with a "no start line" at the end of the file
    return added;
}

} // namespace

TlsConfig::TlsConfig() {
    SSL_CTX* context = SSL_CTX_new(TLS_client_method());
    if (!context || SSL_CTX_set_default_verify_paths(context) != 1 ||
        SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION) != 1) {
        fail_new("TlsConfig ", "unable to set up TLS: " + tls_error_text());
        SSL_CTX_free(context);
        return;
    }
    SSL_CTX_set_verify(context, SSL_VERIFY_PEER, nullptr);
    SSL_CTX_set_verify_depth(context, MAX_CHAIN_DEPTH);
    // Callers write from buffers that move and shrink between retries.
    SSL_CTX_set_mode(context, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    context_ = context;
}

TlsConfig::~TlsConfig() {
    SSL_CTX_free(context_);
}

bool TlsConfig::add_ca_file(const Str& path) {
    const char* context = "TlsConfig::add_ca_file ";
    if (failed()) {
        fail_new(context, "TLS is not set up");
        return false;
    }
    BIO* file = BIO_new_file(path.c_str(), "r");
    if (!file) {
        Str reason(std::strerror(errno));
        ERR_clear_error();
        fail_new(context, "unable to read the CA file '" + path + "': " + reason);
        return false;
    }
    int added = add_certificates(file, SSL_CTX_get_cert_store(context_));
    BIO_free(file);
    if (added == 0) {
        fail_new(context, "the CA file '" + path + "' holds no certificate");
        return false;
    }
    return true;
}
