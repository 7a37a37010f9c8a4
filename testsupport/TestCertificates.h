// TestCertificates: certificates for TLS tests, made by the openssl tool at
// test time in a directory the test owns, so no private key is ever kept in
// the repository. EC P-256 keys keep it fast; make them once per program.
#pragma once

#include <string>

struct TestCertificates {
    // Authorities between the test CA and long_chain's server, one more than longest_chain's.
    static constexpr int LONG_CHAIN = 11;

    // Kinds, for 127.0.0.1 and localhost by the test CA unless said: good, expired,
    // other_host (other.test only), unknown_ca (by a CA nobody trusts), self_signed,
    // long_chain, longest_chain. A certificate file holds its chain after it.
    std::string certificate(const std::string& kind) const {
        return directory + "/" + kind + ".pem";
    }
    std::string key(const std::string& kind) const { return directory + "/" + kind + ".key"; }
    std::string ca() const { return certificate("ca"); }

    std::string directory;
    std::string failure; // "" when all were made, else the openssl tool's complaint

    static TestCertificates make(const std::string& directory);
};
