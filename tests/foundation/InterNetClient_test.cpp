// Connecting and accepting over loopback, directly and through SOCKS4.
#include "foundation/Fail.h"
#include "foundation/InterNetClient.h"
#include "foundation/InterNetServer.h"
#include "testsupport/Socks4Server.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>

namespace {

int open_descriptors() {
    int count = 0;
    DIR* dir = ::opendir("/proc/self/fd");
    while (dir && ::readdir(dir)) count++;
    if (dir) ::closedir(dir);
    return count;
}

// Sends a and expects it at b.
void expect_relayed(Socket& a, Socket& b, const std::string& text) {
    ASSERT_EQ(a.ewrite(text.data(), int32_t(text.size())), int32_t(text.size()));
    std::string got(text.size(), '\0');
    ASSERT_EQ(b.eread(got.data(), int32_t(got.size())), int32_t(got.size()));
    EXPECT_EQ(got, text);
}

class InterNetClientTest : public ::testing::Test {
protected:
    void SetUp() override {
        fail_take();
        ASSERT_FALSE(target.failed()) << fail_take();
    }
    InterNetServer target{0, loopback_address()};
};

TEST_F(InterNetClientTest, ConnectsToALoopbackServerThatAcceptsBlockingSockets) {
    sockaddr_in local{};
    socklen_t size = sizeof local;
    ASSERT_EQ(::getsockname(target.handle(), reinterpret_cast<sockaddr*>(&local), &size), 0);
    EXPECT_EQ(local.sin_addr.s_addr, htonl(INADDR_LOOPBACK));
    EXPECT_EQ(ntohs(local.sin_port), target.port());
    int reuse = 0;
    size = sizeof reuse;
    ASSERT_EQ(::getsockopt(target.handle(), SOL_SOCKET, SO_REUSEADDR, &reuse, &size), 0);
    EXPECT_NE(reuse, 0); // a restart does not fail on TIME_WAIT

    InterNetClient client("127.0.0.1", target.port());
    ASSERT_FALSE(client.failed()) << fail_take();
    EXPECT_TRUE(client.blocking());
    EXPECT_EQ(client.address(), htonl(INADDR_LOOPBACK));
    EXPECT_EQ(client.port(), target.port());
    uint32_t peer_address = 0;
    auto peer = target.accept_connection(&peer_address);
    ASSERT_TRUE(peer) << fail_take();
    EXPECT_EQ(peer_address, htonl(INADDR_LOOPBACK));
    EXPECT_FALSE(peer->attached());
    EXPECT_TRUE(peer->blocking());
    EXPECT_EQ(::fcntl(peer->handle(), F_GETFL) & O_NONBLOCK, 0);
    expect_relayed(client, *peer, "hi");

    InterNetClient pending("127.0.0.1", target.port(), false);
    ASSERT_FALSE(pending.failed()) << fail_take();
    EXPECT_FALSE(pending.blocking());
    EXPECT_NE(::fcntl(pending.handle(), F_GETFL) & O_NONBLOCK, 0);
    pollfd watch{pending.handle(), POLLOUT, 0};
    ASSERT_EQ(::poll(&watch, 1, 10000), 1);
    int error = -1;
    size = sizeof error;
    ASSERT_EQ(::getsockopt(pending.handle(), SOL_SOCKET, SO_ERROR, &error, &size), 0);
    EXPECT_EQ(error, 0);
    auto second = target.accept_connection(); // without a place for the peer address
    ASSERT_TRUE(second);
    EXPECT_EQ(pending.nbwrite("GET", 3), 3);
    char got[3];
    ASSERT_EQ(second->eread(got, 3), 3);
    EXPECT_EQ(std::string(got, 3), "GET");
    EXPECT_FALSE(fail_pending());
}

TEST_F(InterNetClientTest, FailuresAreReportedAndReleaseTheirDescriptor) {
    InterNetServer busy(target.port(), loopback_address());
    EXPECT_TRUE(busy.failed());
    EXPECT_EQ(busy.handle(), -1);
    EXPECT_EQ(std::string(fail_take()),
              "InterNetServer: unable to bind socket Reason code:" + std::to_string(EADDRINUSE) + "\r\n");
    uint32_t peer = 12345;
    EXPECT_FALSE(busy.accept_connection(&peer));
    EXPECT_EQ(peer, 12345u);
    EXPECT_EQ(std::string(fail_take()), "InterNetServer::accept_connection unable to accept from "
                                        "socket Reason code:" + std::to_string(EBADF) + "\r\n");

    uint16_t closed_port = InterNetServer(0, loopback_address()).port();
    int before = open_descriptors();
    InterNetClient refused("127.0.0.1", closed_port);
    EXPECT_TRUE(refused.failed());
    EXPECT_EQ(refused.handle(), -1);
    EXPECT_EQ(open_descriptors(), before);
    EXPECT_EQ(std::string(fail_take()), "InterNetClient: unable to connect to '127.0.0.1'. Reason code:" +
                                            std::to_string(ECONNREFUSED) + "\r\n");

    // A failed lookup gives address 0, which must never be connected to.
    InterNetClient unknown("1.2.3.256", target.port());
    EXPECT_TRUE(unknown.failed());
    const std::string head = "InterNetClient: unable to connect to '1.2.3.256'. Reason code:" +
                             std::to_string(EADDRNOTAVAIL) + ", reason:\r\n Socket::hostname_to_ip "
                             "unable to get address for '1.2.3.256' Reason code:";
    EXPECT_EQ(std::string(fail_take()).substr(0, head.size()), head);
}

TEST_F(InterNetClientTest, SocksServerConnectsOnOrTheClientReportsWhyNot) {
    struct Case {
        const char* name;
        uint8_t code, version;
        int answer_bytes;
        bool blocking;
        const char* host;
        const char* user;
        const char* user_variable; // nullptr: unset
        const char* sent_user;     // nullptr: no request reaches the server
        std::string report;        // or its start; empty when the client connects
    } cases[] = {
        {"granted, version 0", 90, 0, 8, true, "127.0.0.1", "tester", "alice", "tester", ""},
        {"granted, version 4", 90, 4, 8, true, "127.0.0.1", "tester", nullptr, "tester", ""},
        {"user from USER", 90, 0, 8, true, "127.0.0.1", "", "alice", "alice", ""},
        {"no user at all", 90, 0, 8, true, "127.0.0.1", "", nullptr, "", ""},
        {"denied", 91, 0, 8, true, "127.0.0.1", "tester", nullptr, "tester",
         "InterNetClient: SOCKS4 connect request was denied\r\n"},
        {"bad version", 90, 5, 8, true, "127.0.0.1", "tester", nullptr, "tester",
         "InterNetClient: got invalid answer to SOCKS4 request\r\n"},
        {"answer cut short", 90, 0, 3, true, "127.0.0.1", "tester", nullptr, "tester",
         "InterNetClient: got no answer to SOCKS4 request, reason:\r\n"
         " Socket::eread read-error Reason code:0\r\n"},
        {"non-blocking", 90, 0, 8, false, "127.0.0.1", "tester", nullptr, nullptr,
         "InterNetClient: combining Socks host with non-blocking mode is not allowed\r\n"},
        {"unknown real host", 90, 0, 8, true, "1.2.3.256", "tester", nullptr, nullptr,
         "InterNetClient: unable to get real host address, reason:\r\n"
         " Socket::hostname_to_ip unable to get address for '1.2.3.256'"},
    };
    const char* saved = std::getenv("USER");
    const std::string saved_user = saved ? saved : "";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.user_variable)
            ::setenv("USER", c.user_variable, 1);
        else
            ::unsetenv("USER");
        Socks4Server socks(c.code, c.version, c.answer_bytes);
        ASSERT_TRUE(socks.listening());
        InterNetClient client(c.host, target.port(), c.blocking, "127.0.0.1", socks.port(), c.user);
        const std::string report = fail_take();
        EXPECT_EQ(report.substr(0, c.report.size()), c.report);
        std::string request = {4, 1, char(target.port() >> 8), char(target.port() & 0xff), 127, 0, 0, 1};
        EXPECT_EQ(socks.received(), c.sent_user ? request + c.sent_user + '\0' : "");
        EXPECT_EQ(client.failed(), !c.report.empty());
        if (!c.report.empty()) {
            EXPECT_EQ(client.handle(), -1);
            continue;
        }
        EXPECT_EQ(client.port(), socks.port());
        uint32_t peer_address = 0;
        auto peer = target.accept_connection(&peer_address);
        ASSERT_TRUE(peer) << fail_take();
        EXPECT_EQ(peer_address, htonl(INADDR_LOOPBACK));
        expect_relayed(client, *peer, "ping");
        expect_relayed(*peer, client, "pong");
        EXPECT_FALSE(fail_pending());
    }
    if (saved)
        ::setenv("USER", saved_user.c_str(), 1);
    else
        ::unsetenv("USER");
}

} // namespace
