#include "tls/LocalAuthority.h"

#include "foundation/Fail.h"
#include "tls/TlsErrors.h"

#include <arpa/inet.h>
#include <cctype>
#include <cerrno>
#include <functional>
#include <cstring>
#include <fcntl.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509v3.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char REPORTER[] = "LocalAuthority ";
constexpr long DAY = 24 * 60 * 60;

EVP_PKEY* new_key() {
    return EVP_EC_gen("P-256");
}

bool exists(const Str& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0;
}

bool is_ip_address(const std::string& host) {
    in_addr address{};
    return ::inet_pton(AF_INET, host.c_str(), &address) == 1;
}

bool valid_host(const Str& host) {
    if (host.empty() || host.length() > 253) return false;
    for (uint32_t i = 0; i < host.length(); i++) {
        char c = host[i];
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.')) return false;
    }
    return true;
}

bool add_extension(X509* certificate, X509* issuer, int nid, const char* value) {
    X509V3_CTX context;
    X509V3_set_ctx(&context, issuer, certificate, nullptr, nullptr, 0);
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
    bool added = extension && X509_add_ext(certificate, extension, -1) == 1;
    X509_EXTENSION_free(extension);
    return added;
}

// A certificate with a random serial, the subject CN name, valid from a
// day ago for days; issuer and signature follow.
X509* new_certificate(const std::string& name, EVP_PKEY* key, long days) {
    X509* certificate = X509_new();
    unsigned char serial[16];
    BIGNUM* number = nullptr;
    bool made = certificate && RAND_bytes(serial, sizeof serial) == 1 &&
                (serial[0] &= 0x7f, number = BN_bin2bn(serial, sizeof serial, nullptr)) &&
                BN_to_ASN1_INTEGER(number, X509_get_serialNumber(certificate)) &&
                X509_set_version(certificate, 2) == 1 && X509_gmtime_adj(X509_getm_notBefore(certificate), -DAY) &&
                X509_gmtime_adj(X509_getm_notAfter(certificate), days * DAY) &&
                X509_set_pubkey(certificate, key) == 1 &&
                X509_NAME_add_entry_by_txt(X509_get_subject_name(certificate), "CN", MBSTRING_UTF8,
                                           reinterpret_cast<const unsigned char*>(name.c_str()), -1, -1, 0) == 1;
    BN_free(number);
    if (!made) {
        X509_free(certificate);
        return nullptr;
    }
    return certificate;
}

bool write_pem(const Str& path, mode_t mode, const std::function<int(FILE*)>& write) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, mode);
    FILE* file = fd < 0 ? nullptr : ::fdopen(fd, "w");
    bool written = file && write(file) == 1;
    if (file) written = std::fclose(file) == 0 && written;
    else if (fd >= 0) ::close(fd);
    if (!written) fail_new(REPORTER, "unable to write '" + path + "': " + std::strerror(errno ? errno : EIO));
    return written;
}

} // namespace

HostCertificate::~HostCertificate() {
    X509_free(certificate);
}

LocalAuthority::LocalAuthority(const Str& directory) {
    Str key_path = directory + "/" + KEY_FILE, certificate_path = directory + "/" + CERTIFICATE_FILE;
    bool ready = exists(key_path) || exists(certificate_path) ? load(key_path, certificate_path)
                                                              : make(key_path, certificate_path);
    host_key_ = ready ? new_key() : nullptr;
    if (ready && !host_key_) fail_new(REPORTER, "unable to make a key: " + tls_error_text());
}

LocalAuthority::~LocalAuthority() {
    EVP_PKEY_free(ca_key_);
    EVP_PKEY_free(host_key_);
    X509_free(ca_certificate_);
}

bool LocalAuthority::load(const Str& key_path, const Str& certificate_path) {
    struct stat status {};
    if (::stat(key_path.c_str(), &status) != 0) {
        fail_new(REPORTER, "the CA key file '" + key_path + "' is missing beside its certificate");
        return false;
    }
    if (status.st_mode & 077) {
        fail_new(REPORTER, "the CA key file '" + key_path + "' can be read by others: make it the owner's only (chmod 600)");
        return false;
    }
    FILE* key_file = std::fopen(key_path.c_str(), "r");
    ca_key_ = key_file ? PEM_read_PrivateKey(key_file, nullptr, nullptr, nullptr) : nullptr;
    if (key_file) std::fclose(key_file);
    FILE* certificate_file = std::fopen(certificate_path.c_str(), "r");
    ca_certificate_ = certificate_file ? PEM_read_X509(certificate_file, nullptr, nullptr, nullptr) : nullptr;
    if (certificate_file) std::fclose(certificate_file);
    if (!ca_key_ || !ca_certificate_ || X509_check_private_key(ca_certificate_, ca_key_) != 1) {
        fail_new(REPORTER, "'" + key_path + "' and '" + certificate_path + "' are no CA key and certificate of one pair: " +
                               tls_error_text("unreadable"));
        return false;
    }
    return true;
}

bool LocalAuthority::make(const Str& key_path, const Str& certificate_path) {
    char machine[256] = "";
    ::gethostname(machine, sizeof machine - 1);
    ca_key_ = new_key();
    ca_certificate_ = ca_key_ ? new_certificate(std::string("Quaylo local CA ") + machine, ca_key_,
                                                 VALID_YEARS * 365L + VALID_YEARS / 4)
                              : nullptr;
    bool made = ca_certificate_ && X509_set_issuer_name(ca_certificate_, X509_get_subject_name(ca_certificate_)) == 1 &&
                add_extension(ca_certificate_, ca_certificate_, NID_basic_constraints, "critical,CA:TRUE") &&
                add_extension(ca_certificate_, ca_certificate_, NID_key_usage, "critical,keyCertSign,cRLSign") &&
                add_extension(ca_certificate_, ca_certificate_, NID_subject_key_identifier, "hash") &&
                X509_sign(ca_certificate_, ca_key_, EVP_sha256()) > 0;
    if (!made) {
        fail_new(REPORTER, "unable to make the CA: " + tls_error_text());
        return false;
    }
    return write_pem(key_path, 0600, [this](FILE* f) {
               return PEM_write_PrivateKey(f, ca_key_, nullptr, nullptr, 0, nullptr, nullptr);
           }) &&
           write_pem(certificate_path, 0644, [this](FILE* f) { return PEM_write_X509(f, ca_certificate_); });
}

Str LocalAuthority::certificate_pem() const {
    BIO* memory = BIO_new(BIO_s_mem());
    char* bytes = nullptr;
    long length = memory && PEM_write_bio_X509(memory, ca_certificate_) == 1 ? BIO_get_mem_data(memory, &bytes) : 0;
    Str pem = length > 0 ? Str(bytes, uint32_t(length)) : Str();
    BIO_free(memory);
    return pem;
}

X509* LocalAuthority::issue(const std::string& host) const {
    X509* certificate = new_certificate(host, host_key_, 365);
    std::string names = (is_ip_address(host) ? "IP:" : "DNS:") + host;
    bool made = certificate && X509_set_issuer_name(certificate, X509_get_subject_name(ca_certificate_)) == 1 &&
                add_extension(certificate, ca_certificate_, NID_subject_alt_name, names.c_str()) &&
                add_extension(certificate, ca_certificate_, NID_basic_constraints, "critical,CA:FALSE") &&
                add_extension(certificate, ca_certificate_, NID_key_usage, "critical,digitalSignature") &&
                add_extension(certificate, ca_certificate_, NID_ext_key_usage, "serverAuth") &&
                add_extension(certificate, ca_certificate_, NID_authority_key_identifier, "keyid") &&
                X509_sign(certificate, ca_key_, EVP_sha256()) > 0;
    if (made) return certificate;
    X509_free(certificate);
    return nullptr;
}

std::shared_ptr<const HostCertificate> LocalAuthority::for_host(const Str& host) {
    if (failed() || !valid_host(host)) {
        fail_new(REPORTER, "no certificate for the host name '" + host.substr(0, 80) + "'");
        return nullptr;
    }
    std::string name(host.c_str());
    for (char& c : name) c = char(std::tolower(static_cast<unsigned char>(c)));
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = hosts_.find(name);
    if (found != hosts_.end()) {
        recent_.splice(recent_.begin(), recent_, found->second.second);
        return found->second.first;
    }
    auto made = std::make_shared<HostCertificate>();
    made->certificate = issue(name);
    if (!made->certificate) {
        fail_new(REPORTER, "unable to make a certificate for '" + host + "': " + tls_error_text());
        return nullptr;
    }
    recent_.push_front(name);
    hosts_[name] = {made, recent_.begin()};
    if (hosts_.size() > HOST_LIMIT) {
        hosts_.erase(recent_.back());
        recent_.pop_back();
    }
    return made;
}

size_t LocalAuthority::held() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return hosts_.size();
}
