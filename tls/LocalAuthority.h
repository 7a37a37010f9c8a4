// LocalAuthority: the certificate authority of one installation, with which
// the proxy can answer a browser's HTTPS itself (so that the pages can be
// kept and read offline) once the user has chosen to trust it. Made on first
// use: an EC P-256 key ("quaylo-ca.key", mode 0600) and a self-signed
// certificate valid for ten years ("quaylo-ca.crt") in the given directory;
// never shared between installations. A key file that others can read is
// refused, as are a missing key beside an existing certificate and files
// that do not parse.
//
// Host certificates (a name or an IP address in subjectAltName, one year,
// server authentication only) share one key made at start and are kept in
// memory, the most recently used HOST_LIMIT of them, so that a browser
// visiting thousands of hosts cannot grow the store without bound.
#pragma once

#include "foundation/Str.h"

#include <cstddef>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include <openssl/types.h>

struct HostCertificate {
    X509* certificate = nullptr;
    ~HostCertificate();
};

class LocalAuthority {
public:
    static constexpr int VALID_YEARS = 10;
    static constexpr size_t HOST_LIMIT = 1000;
    static constexpr char KEY_FILE[] = "quaylo-ca.key";
    static constexpr char CERTIFICATE_FILE[] = "quaylo-ca.crt";

    // failed() tells the result; a report names the file and the reason.
    explicit LocalAuthority(const Str& directory);
    ~LocalAuthority();
    LocalAuthority(const LocalAuthority&) = delete;
    LocalAuthority& operator=(const LocalAuthority&) = delete;

    bool failed() const { return ca_key_ == nullptr || ca_certificate_ == nullptr || host_key_ == nullptr; }
    // The CA certificate in PEM form, as the browser imports it.
    Str certificate_pem() const;
    X509* certificate() const { return ca_certificate_; }
    // The key all host certificates carry.
    EVP_PKEY* host_key() const { return host_key_; }
    // The certificate for host (a DNS name or an IPv4 address); null with a
    // report for anything else (empty, over 253 characters, other bytes).
    std::shared_ptr<const HostCertificate> for_host(const Str& host);
    // Host certificates held now.
    size_t held() const;

private:
    bool load(const Str& key_path, const Str& certificate_path);
    bool make(const Str& key_path, const Str& certificate_path);
    X509* issue(const std::string& host) const;

    EVP_PKEY* ca_key_ = nullptr;
    X509* ca_certificate_ = nullptr;
    EVP_PKEY* host_key_ = nullptr;
    mutable std::mutex mutex_;
    std::list<std::string> recent_; // most recently used first
    std::map<std::string, std::pair<std::shared_ptr<const HostCertificate>, std::list<std::string>::iterator>> hosts_;
};
