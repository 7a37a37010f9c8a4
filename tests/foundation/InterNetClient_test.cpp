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
#include <optional>
#include <poll.h>
#include <string>
#include <sys/socket.h>

namespace {

constexpr int WAIT_MS = 5000; // upper bound for a loopback connect to complete

int open_descriptors() {
    int count = 0;
    DIR* dir = ::opendir("/proc/self/fd");
    if (!dir) return -1;
    while (::readdir(dir)) count++;
    ::closedir(dir);
    return count;
}

// The SOCKS request the client is expected to send for 127.0.0.1:port.
std::string socks4_request(uint16_t port, const std::string& user) {
    std::string request = {4, 1, char(port >> 8), char(port & 0xff), 127, 0, 0, 1};
    request += user;
    request += '\0';
    return request;
}

// Sets or clears USER for one test and puts the old value back.
class UserVariable {
public:
    explicit UserVariable(const char* value) {
        if (const char* old = std::getenv("USER")) saved_ = old;
        if (value)
            ::setenv("USER", value, 1);
        else
            ::unsetenv("USER");
    }
    ~UserVariable() {
        if (saved_)
            ::setenv("USER", saved_->c_str(), 1);
        else
            ::unsetenv("USER");
    }

private:
    std::optional<std::string> saved_;
};

class InterNetClientTest : public ::testing::Test {
protected:
    void SetUp() override {
        fail_take();
        ASSERT_FALSE(target_.failed()) << fail_take();
    }

    InterNetServer target_{0, loopback_address()};
};

TEST_F(InterNetClientTest, ConnectsDirectly) {
    InterNetClient client("127.0.0.1", target_.port());
    ASSERT_FALSE(client.failed()) << fail_take();
    EXPECT_TRUE(client.blocking());
    EXPECT_EQ(client.address(), htonl(INADDR_LOOPBACK));
    EXPECT_EQ(client.port(), target_.port());
    auto peer = target_.accept_connection();
    ASSERT_TRUE(peer);
    ASSERT_EQ(client.ewrite("hi", 2), 2);
    char got[2];
    ASSERT_EQ(peer->eread(got, 2), 2);
    EXPECT_EQ(std::string(got, 2), "hi");
    EXPECT_FALSE(fail_pending());
}

TEST_F(InterNetClientTest, ClosedPortFailsWithTheConnectReport) {
    uint16_t closed_port;
    {
        InterNetServer gone(0, loopback_address());
        ASSERT_FALSE(gone.failed()) << fail_take();
        closed_port = gone.port();
    }
    InterNetClient client("127.0.0.1", closed_port);
    EXPECT_TRUE(client.failed());
    EXPECT_EQ(std::string(fail_take()),
              "InterNetClient: unable to connect to '127.0.0.1'. Reason code:" +
                  std::to_string(ECONNREFUSED) + "\r\n");
}

TEST_F(InterNetClientTest, FailedConnectReleasesItsHandle) {
    uint16_t closed_port;
    {
        InterNetServer gone(0, loopback_address());
        closed_port = gone.port();
    }
    int before = open_descriptors();
    InterNetClient client("127.0.0.1", closed_port);
    EXPECT_TRUE(client.failed());
    EXPECT_EQ(client.handle(), -1);
    EXPECT_EQ(open_descriptors(), before);
    fail_take();
}

TEST_F(InterNetClientTest, UnresolvableHostIsNeverConnectedToAddressZero) {
    InterNetClient client("1.2.3.256", target_.port());
    EXPECT_TRUE(client.failed());
    std::string report = fail_take();
    const std::string head = "InterNetClient: unable to connect to '1.2.3.256'. Reason code:" +
                             std::to_string(EADDRNOTAVAIL) +
                             ", reason:\r\n Socket::hostname_to_ip unable to get address for "
                             "'1.2.3.256' Reason code:";
    EXPECT_EQ(report.substr(0, head.size()), head) << report;
}

TEST_F(InterNetClientTest, NonBlockingConnectCompletesWhenWriteable) {
    InterNetClient client("127.0.0.1", target_.port(), false);
    ASSERT_FALSE(client.failed()) << fail_take();
    EXPECT_FALSE(client.blocking());
    EXPECT_NE(::fcntl(client.handle(), F_GETFL) & O_NONBLOCK, 0);
    pollfd watch{client.handle(), POLLOUT, 0};
    ASSERT_EQ(::poll(&watch, 1, WAIT_MS), 1);
    int error = -1;
    socklen_t size = sizeof error;
    ASSERT_EQ(::getsockopt(client.handle(), SOL_SOCKET, SO_ERROR, &error, &size), 0);
    EXPECT_EQ(error, 0);

    auto peer = target_.accept_connection();
    ASSERT_TRUE(peer);
    EXPECT_EQ(client.nbwrite("GET", 3), 3);
    char got[3];
    ASSERT_EQ(peer->eread(got, 3), 3);
    EXPECT_EQ(std::string(got, 3), "GET");
    EXPECT_FALSE(fail_pending());
}

TEST_F(InterNetClientTest, SocksHostWithNonBlockingModeIsRefused) {
    Socks4Server socks;
    ASSERT_TRUE(socks.listening());
    InterNetClient client("127.0.0.1", target_.port(), false, "127.0.0.1", socks.port());
    EXPECT_TRUE(client.failed());
    EXPECT_STREQ(fail_take(),
                 "InterNetClient: combining Socks host with non-blocking mode is not allowed\r\n");
    EXPECT_EQ(socks.received(), "");
}

class GrantedSocksAnswer : public InterNetClientTest,
                           public ::testing::WithParamInterface<int> {};

TEST_P(GrantedSocksAnswer, IsAcceptedAndRelaysTheConnection) {
    Socks4Server socks(Socks4Server::GRANTED, uint8_t(GetParam()));
    ASSERT_TRUE(socks.listening());
    InterNetClient client("127.0.0.1", target_.port(), true, "127.0.0.1", socks.port(), "tester");
    ASSERT_FALSE(client.failed()) << fail_take();
    EXPECT_EQ(client.port(), socks.port());
    EXPECT_EQ(socks.received(), socks4_request(target_.port(), "tester"));

    uint32_t peer_address = 0;
    auto peer = target_.accept_connection(&peer_address);
    ASSERT_TRUE(peer) << fail_take();
    EXPECT_EQ(peer_address, htonl(INADDR_LOOPBACK));
    ASSERT_EQ(client.ewrite("ping", 4), 4);
    char got[4];
    ASSERT_EQ(peer->eread(got, 4), 4);
    EXPECT_EQ(std::string(got, 4), "ping");
    ASSERT_EQ(peer->ewrite("pong", 4), 4);
    ASSERT_EQ(client.eread(got, 4), 4);
    EXPECT_EQ(std::string(got, 4), "pong");
    EXPECT_FALSE(fail_pending());
}

// Servers answer with version byte 0; version 4 is taken as well.
INSTANTIATE_TEST_SUITE_P(ReplyVersion, GrantedSocksAnswer, ::testing::Values(0, 4),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return "Version" + std::to_string(info.param);
                         });

TEST_F(InterNetClientTest, SocksRejectionIsReportedAsDenied) {
    Socks4Server socks(Socks4Server::REJECTED);
    ASSERT_TRUE(socks.listening());
    InterNetClient client("127.0.0.1", target_.port(), true, "127.0.0.1", socks.port(), "tester");
    EXPECT_TRUE(client.failed());
    EXPECT_EQ(client.handle(), -1);
    EXPECT_STREQ(fail_take(), "InterNetClient: SOCKS4 connect request was denied\r\n");
}

TEST_F(InterNetClientTest, SocksAnswerWithABadVersionByteIsInvalid) {
    Socks4Server socks(Socks4Server::GRANTED, 5);
    ASSERT_TRUE(socks.listening());
    InterNetClient client("127.0.0.1", target_.port(), true, "127.0.0.1", socks.port(), "tester");
    EXPECT_TRUE(client.failed());
    EXPECT_STREQ(fail_take(), "InterNetClient: got invalid answer to SOCKS4 request\r\n");
}

TEST_F(InterNetClientTest, SocksServerClosingEarlyGivesNoAnswer) {
    Socks4Server socks(Socks4Server::GRANTED, 0, 3);
    ASSERT_TRUE(socks.listening());
    InterNetClient client("127.0.0.1", target_.port(), true, "127.0.0.1", socks.port(), "tester");
    EXPECT_TRUE(client.failed());
    EXPECT_STREQ(fail_take(), "InterNetClient: got no answer to SOCKS4 request, reason:\r\n"
                              " Socket::eread read-error Reason code:0\r\n");
}

TEST_F(InterNetClientTest, EmptySocksUserWithoutUserVariableSendsOnlyTheZeroByte) {
    UserVariable user(nullptr);
    Socks4Server socks;
    ASSERT_TRUE(socks.listening());
    InterNetClient client("127.0.0.1", target_.port(), true, "127.0.0.1", socks.port(), "");
    ASSERT_FALSE(client.failed()) << fail_take();
    std::string sent = socks.received();
    EXPECT_EQ(sent.size(), 9u);
    EXPECT_EQ(sent, socks4_request(target_.port(), ""));
}

TEST_F(InterNetClientTest, EmptySocksUserTakesTheUserVariable) {
    UserVariable user("alice");
    Socks4Server socks;
    ASSERT_TRUE(socks.listening());
    InterNetClient client("127.0.0.1", target_.port(), true, "127.0.0.1", socks.port());
    ASSERT_FALSE(client.failed()) << fail_take();
    EXPECT_EQ(socks.received(), socks4_request(target_.port(), "alice"));

    // A given user wins over the variable.
    Socks4Server second;
    ASSERT_TRUE(second.listening());
    InterNetClient named("127.0.0.1", target_.port(), true, "127.0.0.1", second.port(), "bob");
    ASSERT_FALSE(named.failed()) << fail_take();
    EXPECT_EQ(second.received(), socks4_request(target_.port(), "bob"));
}

TEST_F(InterNetClientTest, UnresolvableRealHostIsReportedBeforeAnyRequest) {
    Socks4Server socks;
    ASSERT_TRUE(socks.listening());
    InterNetClient client("1.2.3.256", target_.port(), true, "127.0.0.1", socks.port(), "tester");
    EXPECT_TRUE(client.failed());
    std::string report = fail_take();
    const std::string head = "InterNetClient: unable to get real host address, reason:\r\n"
                             " Socket::hostname_to_ip unable to get address for '1.2.3.256'";
    EXPECT_EQ(report.substr(0, head.size()), head) << report;
    EXPECT_EQ(socks.received(), "");
}

} // namespace
