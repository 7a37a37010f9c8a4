// TLS sessions against a TlsFront before an OriginServer: every kind of
// certificate, servers that fail the handshake, and the stream afterwards.
#include "tls/TlsSession.h"

#include "foundation/Fail.h"
#include "foundation/InterNetClient.h"
#include "testsupport/OriginServer.h"
#include "testsupport/TempDir.h"
#include "testsupport/TestCertificates.h"
#include "testsupport/TlsFront.h"

#include <csignal>
#include <gtest/gtest.h>
#include <poll.h>
#include <thread>

namespace {

using Behaviour = TlsFront::Behaviour;
constexpr int PATIENCE_MS = 10000; // bounds the tests' own waits: a fault fails, never hangs
const std::string REQUEST = "GET /page HTTP/1.0\r\n\r\n";
static_assert(TestCertificates::LONG_CHAIN == TlsConfig::MAX_CHAIN_DEPTH + 1);

struct Client {
    Client(const TlsConfig& config, uint16_t port)
        : socket("127.0.0.1", port, false), session(config, socket.handle()) {}
    // Runs step again after each WAIT once the socket is ready; its last result.
    template <typename Step> int32_t settle(Step step) {
        for (;;) {
            int32_t n = step();
            pollfd ready{socket.handle(), session.wait_events(), 0};
            if (n != TlsSession::WAIT || ::poll(&ready, 1, PATIENCE_MS) <= 0) return n;
        }
    }
    int32_t send() {
        return settle([&] { return session.write(REQUEST.data(), int32_t(REQUEST.size())); });
    }
    // Appends everything up to the peer's close; false on a failure.
    bool receive(std::string& into) {
        char piece[1000];
        int32_t n;
        while ((n = settle([&] { return session.read(piece, sizeof piece); })) > 0)
            into.append(piece, size_t(n));
        return n == 0;
    }

    InterNetClient socket;
    TlsSession session;
};

class Tls : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(made.failure, "");
        origin.set("/page", OriginServer::document(body, "text/plain"));
    }
    static const TestCertificates& certificates() { // once per test program
        static TempDir directory("tls-test");
        static const TestCertificates made = TestCertificates::make(directory.path());
        return made;
    }

    const TestCertificates& made = certificates();
    const std::string body = OriginServer::pattern(50000);
    OriginServer origin;
    TlsConfig config;
};

struct Case {
    const char* kind; // of TestCertificates
    bool trusted;     // the test CA
    Behaviour behaviour;
    const char* host;
    const char* failure;  // in the report; "" = the page arrives whole ...
    const char* sni = ""; // ... and the front saw this server name
};

void PrintTo(const Case& c, std::ostream* out) {
    *out << c.kind << " via " << c.host;
}

class Handshake : public Tls, public testing::WithParamInterface<Case> {};

TEST_P(Handshake, FetchesThePageOrSaysWhyNot) {
    const Case& c = GetParam();
    TlsFront front(made.certificate(c.kind), made.key(c.kind), origin.port(), c.behaviour);
    ASSERT_TRUE(front.port() != 0 && (!c.trusted || config.add_ca_file(made.ca().c_str())));
    Client client(config, front.port());
    bool done =
        client.session.handshake(c.host, c.behaviour == Behaviour::silent ? 200 : PATIENCE_MS);
    std::string report = done ? "" : fail_take(), answer;
    EXPECT_EQ(done, *c.failure == 0);
    EXPECT_NE(report.find(c.failure), std::string::npos) << report;
    if (!done || *c.failure != 0) return;
    ASSERT_TRUE(client.send() == int32_t(REQUEST.size()) && client.receive(answer)) << fail_take();
    EXPECT_TRUE(answer.ends_with("\r\n\r\n" + body));
    EXPECT_EQ(front.server_names(), std::vector<std::string>{c.sni});
}

constexpr Behaviour RELAY = Behaviour::relay;
const char* const UNKNOWN = "is issued by an unknown authority";

INSTANTIATE_TEST_SUITE_P(
    Kinds, Handshake,
    testing::Values(
        Case{"good", true, RELAY, "127.0.0.1", ""},
        Case{"good", true, RELAY, "localhost", "", "localhost"},
        Case{"good", true, Behaviour::relay_without_close_notify, "127.0.0.1", ""},
        Case{"longest_chain", true, RELAY, "127.0.0.1", ""},
        Case{"good", false, RELAY, "127.0.0.1", UNKNOWN},
        Case{"unknown_ca", true, RELAY, "127.0.0.1", UNKNOWN},
        Case{"expired", true, RELAY, "127.0.0.1", "certificate of 127.0.0.1 has expired"},
        Case{"other_host", true, RELAY, "127.0.0.1", "for another host, not 127.0.0.1"},
        Case{"other_host", true, RELAY, "localhost", "for another host, not localhost"},
        Case{"self_signed", true, RELAY, "localhost",
             "localhost presents a self-signed certificate"},
        Case{"long_chain", true, RELAY, "127.0.0.1", "certificate chain of 127.0.0.1 is too long"},
        Case{"good", true, Behaviour::close_during_handshake, "127.0.0.1",
             "closed the connection during"},
        Case{"good", true, Behaviour::plain_answer, "127.0.0.1",
             "does not speak TLS (protocol error: "},
        Case{"good", true, Behaviour::silent, "localhost",
             "with localhost timed out after 200 ms"}));

TEST_F(Tls, AddCaFileTakesOnlyFilesWithCertificates) {
    for (auto [path, failure] : {std::pair{made.ca(), ""},
                                 {made.key("good"), "holds no certificate"},
                                 {made.ca() + ".missing", "unable to read the CA file"}}) {
        bool added = config.add_ca_file(path.c_str());
        EXPECT_EQ(added, *failure == 0) << path;
        EXPECT_NE(std::string(added ? "" : fail_take()).find(failure), std::string::npos) << path;
    }
}

TEST_F(Tls, KeepsTheRestOfARecordAndSurvivesAPeerThatWentAway) {
    TlsFront front(made.certificate("good"), made.key("good"), origin.port());
    ASSERT_TRUE(config.add_ca_file(made.ca().c_str()));
    Client client(config, front.port());
    std::string answer(1, 0);
    ASSERT_TRUE(client.session.handshake("127.0.0.1", PATIENCE_MS) && client.send() > 0);
    ASSERT_EQ(client.settle([&] { return client.session.read(answer.data(), 1); }), 1)
        << fail_take();
    EXPECT_TRUE(client.session.buffered()); // the rest of the record: no poll would show it
    ASSERT_TRUE(client.receive(answer)) << fail_take();
    EXPECT_FALSE(client.session.buffered());
    EXPECT_TRUE(answer.ends_with("\r\n\r\n" + body));

    // The front has closed: sends meet a reset, and SIGPIPE's default action would end the program.
    auto previous = std::signal(SIGPIPE, SIG_DFL);
    int32_t sent = 1;
    for (int i = 0; i < 300 && sent > 0;
         i++, std::this_thread::sleep_for(std::chrono::milliseconds(10)))
        sent = client.send();
    std::signal(SIGPIPE, previous);
    EXPECT_EQ(sent, -1);
    EXPECT_NE(std::string(fail_take()).find("the connection to 127.0.0.1 failed"),
              std::string::npos);
}

} // namespace
