// The local certificate authority: made once with a key for its owner only
// and read back the same; unsafe or broken files refused with their name;
// host certificates that carry their host, verify against the CA and stay
// bounded in number.
#include "tls/LocalAuthority.h"

#include "foundation/Fail.h"
#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>
#include <sys/stat.h>

namespace {

std::string key_of(const TempDir& dir) { return dir.file(LocalAuthority::KEY_FILE); }

bool verifies(LocalAuthority& ca, X509* certificate, const std::string& host) {
    X509_STORE* store = X509_STORE_new();
    X509_STORE_CTX* context = X509_STORE_CTX_new();
    X509_STORE_add_cert(store, ca.certificate());
    X509_STORE_CTX_init(context, store, certificate, nullptr);
    X509_VERIFY_PARAM* param = X509_STORE_CTX_get0_param(context);
    bool ip = host.find_first_not_of("0123456789.") == std::string::npos;
    if (ip) X509_VERIFY_PARAM_set1_ip_asc(param, host.c_str());
    else X509_VERIFY_PARAM_set1_host(param, host.c_str(), 0);
    bool good = X509_verify_cert(context) == 1;
    X509_STORE_CTX_free(context);
    X509_STORE_free(store);
    return good;
}

} // namespace

TEST(LocalAuthority, IsMadeOnceForItsOwnerAndReadBackTheSame) {
    TempDir dir;
    Str pem;
    {
        LocalAuthority made(dir.path().c_str());
        ASSERT_FALSE(made.failed()) << fail_take();
        pem = made.certificate_pem();
    }
    struct stat status {};
    ASSERT_EQ(::stat(key_of(dir).c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);
    LocalAuthority again(dir.path().c_str());
    EXPECT_TRUE(pem.begins_with("-----BEGIN CERTIFICATE-----") && again.certificate_pem() == pem);
}

TEST(LocalAuthority, UnsafeOrBrokenFilesAreRefusedByName) {
    const std::pair<std::function<void(const std::string&)>, const char*> cases[] = {
        {[](const std::string& key) { ::chmod(key.c_str(), 0644); }, "can be read by others"},
        {[](const std::string& key) { std::filesystem::resize_file(key, 40); }, "are no CA key and certificate"},
        {[](const std::string& key) { std::filesystem::remove(key); }, "is missing beside its certificate"},
    };
    for (const auto& [spoil, says] : cases) {
        TempDir dir;
        { LocalAuthority made(dir.path().c_str()); }
        spoil(key_of(dir));
        LocalAuthority spoiled(dir.path().c_str());
        EXPECT_TRUE(spoiled.failed());
        Str report = fail_take();
        EXPECT_TRUE(report.find(says) >= 0 && report.find(key_of(dir).c_str()) >= 0) << report.c_str();
    }
}

TEST(LocalAuthority, HostCertificatesCarryTheirHostVerifyAgainstTheCaAndStayBounded) {
    TempDir dir;
    LocalAuthority ca(dir.path().c_str());
    ASSERT_FALSE(ca.failed());
    for (const char* host : {"example.test", "127.0.0.1", "Mixed.Example.TEST"}) {
        auto made = ca.for_host(host);
        ASSERT_TRUE(made) << host;
        EXPECT_TRUE(verifies(ca, made->certificate, host)) << host;
        EXPECT_FALSE(verifies(ca, made->certificate, "other.test")) << host;
        EXPECT_EQ(X509_check_private_key(made->certificate, ca.host_key()), 1);
        EXPECT_EQ(ca.for_host(host), made);  // kept for the next handshake
    }
    for (const Str& bad : {Str(""), Str(std::string(300, 'a').c_str()), Str("a\0b", 3), Str("a b"), Str("../x")}) {
        EXPECT_FALSE(ca.for_host(bad));
        fail_take();
    }
    for (size_t i = 0; i < LocalAuthority::HOST_LIMIT + 20; i++) ca.for_host(("h" + std::to_string(i) + ".test").c_str());
    EXPECT_EQ(ca.held(), LocalAuthority::HOST_LIMIT);
}
