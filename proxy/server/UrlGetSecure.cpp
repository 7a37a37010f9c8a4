// HTTPS origins: a request for an https:// URL is fetched over TLS and then
// follows every rule of plain HTTP (caching, revalidation, offline answers).
// The origin's certificate is always verified, against the system's
// authorities and the file of `cafile`; a failure is the error page's reason.
#include "proxy/server/UrlGet.h"

#include "foundation/Fail.h"
#include "tls/TlsConfig.h"

#include <cerrno>
#include <map>
#include <mutex>
#include <poll.h>
#include <string>

namespace {

// One trust configuration per CA file, made at first use and shared by the
// workers: loading the system's authorities for each fetch would cost more
// than the fetch.
const TlsConfig* origin_tls_config(const Str& cafile) {
    static std::mutex guard;
    static std::map<std::string, std::unique_ptr<TlsConfig>> configs;
    std::lock_guard<std::mutex> lock(guard);
    auto& config = configs[std::string(cafile.c_str())];
    if (!config) {
        auto made = std::make_unique<TlsConfig>();
        if (made->failed() || (!cafile.empty() && !made->add_ca_file(cafile))) return nullptr;
        config = std::move(made);
    }
    return config.get();
}

} // namespace

void UrlGet::drop_server() {
    tls_.reset();
    server_.reset();
}

UrlGet::Failure UrlGet::secure_origin(const URLRequest& request, bool via_proxy, const char* context) {
    if (via_proxy) {
        Str backlog;
        Failure result = ask_remote_tunnel(request, backlog, context);
        if (result != Failure::NONE) return result;
        if (!backlog.empty()) {
            fail_new(context, "the remote proxy sent data before the TLS handshake");
            return Failure::ORIGIN;
        }
    }
    const TlsConfig* config = origin_tls_config(options_.cafile);
    if (config == nullptr) {
        fail_chain(context, "unable to set up TLS (see option cafile)");
        return Failure::ORIGIN;
    }
    tls_ = std::make_unique<TlsSession>(*config, server_->handle());
    if (tls_->failed() || !tls_->handshake(request.host, timeout_ms())) {
        fail_chain(context, "no secure connection to the server");
        return Failure::ORIGIN;
    }
    return Failure::NONE;
}

TlsSession* UrlGet::tls_on(const Socket& peer) const {
    if (&peer == server_.get()) return tls_.get();
    if (&peer == client_.get()) return client_tls_.get();
    return nullptr;
}

int32_t UrlGet::read_secured(TlsSession& tls, Socket& peer, Failure blame, int32_t want, const char* context,
                             const char* error_message, const char* wait_context, int wait_ms) {
    for (;;) {
        int32_t n = tls.read(buffer_.get(), want);
        if (n >= 0) return n;
        if (n != TlsSession::WAIT) {
            fail_chain(context, error_message);
            fail(blame);
            return -1;
        }
        if (!await(peer, tls.wait_events(), blame, context, wait_context, wait_ms)) return -1;
    }
}

UrlGet::Failure UrlGet::send_secured(TlsSession& tls, Socket& peer, const char* bytes, uint32_t count,
                                     const char* context, Failure blame) {
    uint32_t sent = 0;
    while (sent < count) {
        uint32_t piece = count - sent < uint32_t(TRANSFER_BUFFER_SIZE) ? count - sent : TRANSFER_BUFFER_SIZE;
        int32_t n = tls.write(bytes + sent, int32_t(piece));
        if (n > 0) {
            sent += uint32_t(n);
            continue;
        }
        if (n != TlsSession::WAIT) {
            if (n == 0) fail_new(context, "the peer closed the secure connection");
            return blame;
        }
        int waited = wait_for(peer, tls.wait_events(), timeout_ms(), context, context);
        if (waited < 0) return Failure::INTERNAL;
        if (waited > 0) {
            fail_new(context, timeout_text(blame));
            return blame;
        }
    }
    return Failure::NONE;
}
