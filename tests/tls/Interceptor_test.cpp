// The proxy's server side of TLS: a client that trusts the local CA
// completes the handshake with a session made for the host it asked for,
// also when the server had read the first bytes of its hello already, and
// resumes the session on its next connection; a host no certificate can
// name gets no session.
#include "tls/Interceptor.h"

#include "foundation/Fail.h"
#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr int PATIENCE_MS = 10000;

struct Pair {
    int client = -1, server = -1;
    Pair() {
        int ends[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM, 0, ends) == 0) client = ends[0], server = ends[1];
    }
    ~Pair() {
        ::close(client);
        ::close(server);
    }
};

// One byte from to the other side, waiting as the sessions ask.
bool pass_byte(TlsSession& from, int from_fd, TlsSession& to, int to_fd) {
    char byte = 'x';
    for (int32_t n; (n = from.write(&byte, 1)) != 1;) {
        pollfd ready{from_fd, from.wait_events(), 0};
        if (n != TlsSession::WAIT || ::poll(&ready, 1, PATIENCE_MS) <= 0) return false;
    }
    for (int32_t n; (n = to.read(&byte, 1)) != 1;) {
        pollfd ready{to_fd, to.wait_events(), 0};
        if (n != TlsSession::WAIT || ::poll(&ready, 1, PATIENCE_MS) <= 0) return false;
    }
    return true;
}

} // namespace

TEST(Interceptor, AnswersATrustingClientAsItsHostAndResumesItsSession) {
    TempDir dir;
    std::shared_ptr<Interceptor> interceptor = Interceptor::of(dir.path().c_str());
    ASSERT_TRUE(interceptor) << fail_take();
    EXPECT_EQ(Interceptor::of(dir.path().c_str()), interceptor);  // one per directory
    TlsConfig trust;
    ASSERT_TRUE(trust.add_ca_file((dir.path() + "/" + LocalAuthority::CERTIFICATE_FILE).c_str()));
    SSL_SESSION* last = nullptr;
    for (size_t early : {0, 5, 3000}) {  // nothing, a part, all of the hello read before
        SCOPED_TRACE(early);
        Pair pair;
        TlsSession client(trust, pair.client);
        if (last) client.resume(last);
        bool client_done = false;
        std::thread browser([&] { client_done = client.handshake("shop.example", PATIENCE_MS); });
        std::string received(early, '\0');
        ssize_t got = early == 0 ? 0 : ::recv(pair.server, received.data(), early, 0);
        received.resize(size_t(got > 0 ? got : 0));
        std::unique_ptr<TlsSession> server =
            interceptor->session_for("Shop.Example", pair.server, Str(received.data(), uint32_t(received.size())));
        ASSERT_TRUE(server) << fail_take();
        EXPECT_TRUE(server->handshake("shop.example", PATIENCE_MS)) << fail_take();
        browser.join();
        EXPECT_TRUE(client_done) << fail_take();
        EXPECT_EQ(server->resumed(), last != nullptr);
        // Reading brings the client the server's session ticket.
        EXPECT_TRUE(pass_byte(*server, pair.server, client, pair.client));
        SSL_SESSION_free(last);
        last = client.session_for_later();
        client.close();
        server->close();
    }
    SSL_SESSION_free(last);
    for (const Str& bad : {Str(std::string(300, 'a').c_str()), Str("a\0b", 3), Str()})
        EXPECT_FALSE(interceptor->session_for(bad, 0, Str())) << fail_take();
}
