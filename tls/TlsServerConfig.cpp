#include "tls/TlsServerConfig.h"

#include "foundation/Fail.h"
#include "tls/TlsErrors.h"

#include <openssl/ssl.h>

namespace {

const unsigned char SESSION_CONTEXT[] = "quaylo";

} // namespace

TlsServerConfig::TlsServerConfig(EVP_PKEY* key) {
    SSL_CTX* context = SSL_CTX_new(TLS_server_method());
    bool ready = context && key && SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION) == 1 &&
                 SSL_CTX_set_session_id_context(context, SESSION_CONTEXT, sizeof SESSION_CONTEXT - 1) == 1;
    if (!ready) {
        fail_new("TlsServerConfig ", "unable to set up TLS: " + tls_error_text("no key"));
        SSL_CTX_free(context);
        return;
    }
    SSL_CTX_set_session_cache_mode(context, SSL_SESS_CACHE_SERVER);
    SSL_CTX_sess_set_cache_size(context, SESSION_CACHE_SIZE);
    // Early data could be replayed into a request the proxy acts on.
    SSL_CTX_set_max_early_data(context, 0);
    // One ticket per connection: a browser resumes with the latest anyway.
    SSL_CTX_set_num_tickets(context, 1);
    SSL_CTX_set_mode(context, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    EVP_PKEY_up_ref(key);
    key_ = key;
    context_ = context;
}

TlsServerConfig::~TlsServerConfig() {
    SSL_CTX_free(context_);
    EVP_PKEY_free(key_);
}
