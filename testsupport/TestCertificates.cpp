#include "testsupport/TestCertificates.h"

#include "testsupport/ChildProcess.h"

namespace {

// mk NAME SECTION [ISSUER] makes NAME.key and NAME.pem, signed by itself
// without an issuer. x509 takes negative days for the expired one, req does not.
const char SCRIPT[] = R"(set -e
cat > openssl.cnf <<END
[req]
distinguished_name = dn
[dn]
[authority]
basicConstraints = critical,CA:true
keyUsage = critical,keyCertSign,cRLSign
[server]
subjectAltName = IP:127.0.0.1,DNS:localhost
[other]
subjectAltName = DNS:other.test
END
new="-newkey ec -pkeyopt ec_paramgen_curve:P-256 -noenc -config openssl.cnf"
mk() { openssl req -x509 -days 2 $new -extensions $2 -keyout $1.key -out $1.pem -subj /CN=$1 \
         ${3:+-CA $3.pem -CAkey $3.key}; }
mk ca authority; mk ca2 authority; mk self_signed server
mk good server ca; mk other_host other ca; mk unknown_ca server ca2
openssl req -new $new -keyout expired.key -out expired.csr -subj /CN=expired
openssl x509 -req -in expired.csr -days -1 -CA ca.pem -CAkey ca.key -out expired.pem \
        -extfile openssl.cnf -extensions server
up=ca; : > chain
for i in $(seq 1 $1); do
  if [ $i = $1 ]; then mk longest_chain server $up; cat chain >> longest_chain.pem; fi
  mk authority$i authority $up; cat authority$i.pem chain > chain.new; mv chain.new chain; up=authority$i
done
mk long_chain server $up; cat chain >> long_chain.pem
)";

} // namespace

TestCertificates TestCertificates::make(const std::string& directory) {
    ChildProcess script({"sh", "-c", SCRIPT, "sh", std::to_string(LONG_CHAIN)}, directory);
    int status = script.wait();
    return {directory, status == 0 ? "" : "exit " + std::to_string(status) + ": " + script.err()};
}
