#include "tls/Interceptor.h"

#include "foundation/Fail.h"

#include <map>
#include <mutex>
#include <string>

std::shared_ptr<Interceptor> Interceptor::of(const Str& directory) {
    static std::mutex guard;
    static std::map<std::string, std::shared_ptr<Interceptor>> made;
    std::lock_guard<std::mutex> lock(guard);
    auto& interceptor = made[std::string(directory.c_str())];
    if (!interceptor) {
        auto fresh = std::make_shared<Interceptor>(directory);
        if (fresh->failed()) return nullptr;
        interceptor = std::move(fresh);
    }
    return interceptor;
}

Interceptor::Interceptor(const Str& directory) : authority_(directory) {
    if (!authority_.failed()) config_ = std::make_unique<TlsServerConfig>(authority_.host_key());
}

std::unique_ptr<TlsSession> Interceptor::session_for(const Str& host, int fd, const Str& received) {
    std::shared_ptr<const HostCertificate> certificate = authority_.for_host(host);
    if (!certificate) return nullptr;
    // The session holds its own reference to the certificate.
    auto session = std::make_unique<TlsSession>(*config_, fd, certificate->certificate, received);
    if (session->failed()) return nullptr;
    return session;
}
