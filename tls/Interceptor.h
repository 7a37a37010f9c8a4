// Interceptor: what the proxy needs to answer a browser's HTTPS itself: the
// installation's LocalAuthority, which makes a certificate for each host,
// and the server TLS set-up sessions are made with. One per directory, made
// at first use and shared by every worker thread.
#pragma once

#include "foundation/Str.h"
#include "tls/LocalAuthority.h"
#include "tls/TlsServerConfig.h"
#include "tls/TlsSession.h"

#include <memory>

class Interceptor {
public:
    // The interceptor of the authority in directory; null with a report
    // naming the file and the reason. A failure is not kept: once the files
    // are mended the next call succeeds.
    static std::shared_ptr<Interceptor> of(const Str& directory);

    explicit Interceptor(const Str& directory);
    bool failed() const { return authority_.failed() || !config_ || config_->failed(); }
    LocalAuthority& authority() { return authority_; }

    // A server session on the client's socket fd for host; received holds
    // client bytes read already. Null with a report (a host no certificate
    // can name: empty, too long, other bytes).
    std::unique_ptr<TlsSession> session_for(const Str& host, int fd, const Str& received);

private:
    LocalAuthority authority_;
    std::unique_ptr<TlsServerConfig> config_;
};
