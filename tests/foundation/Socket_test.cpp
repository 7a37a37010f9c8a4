#include "foundation/Fail.h"
#include "foundation/InterNetClient.h"
#include "foundation/InterNetServer.h"
#include "foundation/Socket.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr int WAIT_MS = 5000; // upper bound for data to arrive over loopback

bool is_non_blocking(int fd) {
    return (::fcntl(fd, F_GETFL) & O_NONBLOCK) != 0;
}

bool wait_readable(int fd) {
    pollfd watch{fd, POLLIN, 0};
    return ::poll(&watch, 1, WAIT_MS) == 1;
}

// Closes with a reset instead of an orderly end.
void reset_connection(std::unique_ptr<Socket>& socket) {
    linger abort{1, 0};
    ::setsockopt(socket->handle(), SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    socket.reset();
}

// A connected pair over loopback: client_ and its accepted peer_.
class SocketTest : public ::testing::Test {
protected:
    void SetUp() override {
        fail_take();
        server_ = std::make_unique<InterNetServer>(0, loopback_address());
        ASSERT_FALSE(server_->failed()) << fail_take();
        client_ = std::make_unique<InterNetClient>("127.0.0.1", server_->port());
        ASSERT_FALSE(client_->failed()) << fail_take();
        peer_ = server_->accept_connection();
        ASSERT_TRUE(peer_) << fail_take();
    }

    std::unique_ptr<InterNetServer> server_;
    std::unique_ptr<InterNetClient> client_;
    std::unique_ptr<Socket> peer_;
};

TEST_F(SocketTest, BlockingRoundTripCarriesBytesBothWays) {
    const char question[] = "ping\0with zero";
    ASSERT_EQ(client_->ewrite(question, sizeof question), int32_t(sizeof question));
    char got[sizeof question] = {};
    ASSERT_EQ(peer_->eread(got, sizeof got), int32_t(sizeof got));
    EXPECT_EQ(0, std::memcmp(got, question, sizeof question));

    ASSERT_EQ(peer_->ewrite("pong", 4), 4);
    char answer[4];
    ASSERT_EQ(client_->eread(answer, 4), 4);
    EXPECT_EQ(std::string(answer, 4), "pong");
    EXPECT_FALSE(fail_pending());
    EXPECT_EQ(client_->read_error(), 0);
    EXPECT_EQ(client_->write_error(), 0);
}

TEST_F(SocketTest, LargeBlockingTransferArrivesWhole) {
    std::vector<char> sent(1 << 20);
    for (size_t i = 0; i < sent.size(); i++) sent[i] = char(i * 7 + i / 251);
    int32_t written = 0;
    std::thread writer([&] { written = client_->ewrite(sent.data(), int32_t(sent.size())); });
    std::vector<char> got(sent.size());
    int32_t read = peer_->eread(got.data(), int32_t(got.size()));
    writer.join();
    EXPECT_EQ(written, int32_t(sent.size()));
    EXPECT_EQ(read, int32_t(sent.size()));
    EXPECT_TRUE(sent == got);
}

TEST_F(SocketTest, PeerClosingDuringReadGivesShortReadAndOneReport) {
    std::thread closer([&] {
        peer_->ewrite("abc", 3);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        peer_.reset();
    });
    char got[10];
    int32_t read = client_->eread(got, sizeof got);
    closer.join();
    EXPECT_EQ(read, 3);
    EXPECT_EQ(std::string(got, 3), "abc");
    EXPECT_STREQ(fail_take(), "Socket::eread read-error Reason code:0\r\n");
    EXPECT_EQ(client_->read_error(), 1);

    // Sticky: a second short read adds no report.
    EXPECT_EQ(client_->eread(got, sizeof got), 0);
    EXPECT_FALSE(fail_pending());
    EXPECT_EQ(client_->write_error(), 0);
}

TEST_F(SocketTest, ResetDuringReadReportsTheErrorNumber) {
    reset_connection(peer_);
    char got[10];
    EXPECT_EQ(client_->eread(got, sizeof got), 0);
    EXPECT_EQ(std::string(fail_take()),
              "Socket::eread read-error Reason code:" + std::to_string(ECONNRESET) + "\r\n");
}

TEST_F(SocketTest, NbreadWithoutDataReturnsZeroAndReportsNothing) {
    char got[10];
    EXPECT_EQ(client_->nbread(got, sizeof got), 0);
    EXPECT_FALSE(fail_pending());
    EXPECT_EQ(client_->read_error(), 0);

    // A peer that has closed looks the same.
    peer_.reset();
    ASSERT_TRUE(wait_readable(client_->handle()));
    EXPECT_EQ(client_->nbread(got, sizeof got), 0);
    EXPECT_FALSE(fail_pending());
}

TEST_F(SocketTest, NbreadReturnsWhatHasArrived) {
    ASSERT_EQ(peer_->ewrite("hello", 5), 5);
    ASSERT_TRUE(wait_readable(client_->handle()));
    char got[64];
    ASSERT_EQ(client_->nbread(got, sizeof got), 5);
    EXPECT_EQ(std::string(got, 5), "hello");
}

TEST_F(SocketTest, NbreadAfterResetReportsOnceWithTheErrorNumber) {
    reset_connection(peer_);
    ASSERT_TRUE(wait_readable(client_->handle()));
    char got[10];
    EXPECT_EQ(client_->nbread(got, sizeof got), -1);
    EXPECT_EQ(std::string(fail_take()),
              "Socket::nbread error while reading from socket" + std::to_string(ECONNRESET) +
                  "\r\n");
    EXPECT_EQ(client_->read_error(), 1);
    client_->nbread(got, sizeof got);
    EXPECT_FALSE(fail_pending());
}

TEST_F(SocketTest, NonBlockingCallsLeaveABlockingSocketBlocking) {
    int fd = client_->handle();
    ASSERT_FALSE(is_non_blocking(fd));
    char got[10];
    client_->nbread(got, sizeof got);
    EXPECT_FALSE(is_non_blocking(fd));
    EXPECT_TRUE(client_->blocking());
    EXPECT_EQ(client_->nbwrite("x", 1), 1);
    EXPECT_FALSE(is_non_blocking(fd));
    EXPECT_TRUE(client_->blocking());
    EXPECT_FALSE(fail_pending());
}

TEST_F(SocketTest, NonBlockingModeChosenByTheOwnerSurvivesEveryCall) {
    int fd = client_->handle();
    ASSERT_EQ(client_->to_non_blocking(), 0);
    ASSERT_TRUE(is_non_blocking(fd));
    char got[10];
    EXPECT_EQ(client_->nbread(got, sizeof got), 0);
    EXPECT_TRUE(is_non_blocking(fd));
    EXPECT_EQ(client_->nbwrite("ab", 2), 2);
    EXPECT_TRUE(is_non_blocking(fd));
    EXPECT_EQ(client_->ewrite("cd", 2), 2);
    EXPECT_TRUE(is_non_blocking(fd));
    ASSERT_EQ(peer_->eread(got, 4), 4);
    EXPECT_EQ(std::string(got, 4), "abcd");

    // A blocking read on a non-blocking socket waits for all the bytes.
    std::thread writer([&] {
        peer_->ewrite("ef", 2);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        peer_->ewrite("gh", 2);
    });
    EXPECT_EQ(client_->eread(got, 4), 4);
    writer.join();
    EXPECT_EQ(std::string(got, 4), "efgh");
    EXPECT_TRUE(is_non_blocking(fd));
    EXPECT_FALSE(client_->blocking());
    EXPECT_FALSE(fail_pending());

    ASSERT_EQ(client_->to_blocking(), 0);
    EXPECT_FALSE(is_non_blocking(fd));
}

TEST_F(SocketTest, NbwriteOnAFullBufferReturnsZero) {
    std::vector<char> chunk(65536, 'z');
    int32_t sent = 1;
    for (int i = 0; i < 10000 && sent > 0; i++) sent = client_->nbwrite(chunk.data(), int32_t(chunk.size()));
    EXPECT_EQ(sent, 0);
    EXPECT_FALSE(fail_pending());
    EXPECT_EQ(client_->write_error(), 0);
    EXPECT_FALSE(is_non_blocking(client_->handle()));
}

TEST_F(SocketTest, WritingToAClosedPeerSetsTheWriteFlagOnceWithoutSigpipe) {
    // With the default action a SIGPIPE would end this test program.
    auto previous = std::signal(SIGPIPE, SIG_DFL);
    reset_connection(peer_);
    std::vector<char> chunk(4096, 'w');
    std::vector<std::string> reports;
    int failed_writes = 0;
    for (int i = 0; i < 200 && failed_writes < 3; i++) {
        if (client_->ewrite(chunk.data(), int32_t(chunk.size())) < int32_t(chunk.size()))
            failed_writes++;
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (fail_pending()) reports.push_back(fail_take());
    }
    std::signal(SIGPIPE, previous);
    EXPECT_EQ(failed_writes, 3);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0], "Socket::ewrite write-error\r\n");
    EXPECT_EQ(client_->write_error(), 1);
    EXPECT_EQ(client_->read_error(), 0);
}

TEST_F(SocketTest, NbwriteToAClosedPeerReportsOnceWithTheErrorNumber) {
    auto previous = std::signal(SIGPIPE, SIG_DFL);
    reset_connection(peer_);
    std::vector<std::string> reports;
    int failures = 0;
    for (int i = 0; i < 200 && failures < 3; i++) {
        if (client_->nbwrite("x", 1) < 0)
            failures++;
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (fail_pending()) reports.push_back(fail_take());
    }
    std::signal(SIGPIPE, previous);
    EXPECT_EQ(failures, 3);
    ASSERT_EQ(reports.size(), 1u);
    const std::string prefix = "Socket::nbwrite error while writing to socket, errno = ";
    // The first failure may see the reset, later ones the broken pipe.
    EXPECT_TRUE(reports[0] == prefix + std::to_string(ECONNRESET) + "\r\n" ||
                reports[0] == prefix + std::to_string(EPIPE) + "\r\n")
        << reports[0];
    EXPECT_EQ(client_->write_error(), 1);
}

TEST_F(SocketTest, DelayOffSwitchesNagleOff) {
    EXPECT_EQ(client_->delay_off(), 0);
    int value = 0;
    socklen_t size = sizeof value;
    ASSERT_EQ(::getsockopt(client_->handle(), IPPROTO_TCP, TCP_NODELAY, &value, &size), 0);
    EXPECT_NE(value, 0);
    EXPECT_FALSE(fail_pending());
}

TEST_F(SocketTest, ShutdownEndsThePeersRead) {
    EXPECT_EQ(client_->shutdown(), 0);
    char got[4];
    EXPECT_EQ(peer_->eread(got, sizeof got), 0);
    EXPECT_STREQ(fail_take(), "Socket::eread read-error Reason code:0\r\n");
}

TEST(SocketHandle, AttachedHandleStaysOpenAndOwnedHandleIsClosed) {
    int fds[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
    { Socket attached(fds[0], true); EXPECT_TRUE(attached.attached()); }
    EXPECT_NE(::fcntl(fds[0], F_GETFD), -1);
    { Socket owned(fds[0], false); EXPECT_FALSE(owned.failed()); }
    EXPECT_EQ(::fcntl(fds[0], F_GETFD), -1);
    ::close(fds[1]);
}

TEST(SocketHandle, WrappedHandleKeepsItsMode) {
    int fds[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
    ::fcntl(fds[0], F_SETFL, ::fcntl(fds[0], F_GETFL) | O_NONBLOCK);
    Socket wrapped(fds[0], false);
    EXPECT_FALSE(wrapped.blocking());
    Socket plain(fds[1], false);
    EXPECT_TRUE(plain.blocking());
}

TEST(SocketHandle, NewSocketIsBlockingAndNotFailed) {
    Socket socket;
    ASSERT_FALSE(socket.failed());
    EXPECT_TRUE(socket.blocking());
    EXPECT_FALSE(is_non_blocking(socket.handle()));
}

TEST(HostnameToIp, DottedQuadIsTakenWithoutLookup) {
    fail_take();
    EXPECT_EQ(Socket::hostname_to_ip("127.0.0.1"), htonl(0x7f000001));
    EXPECT_EQ(Socket::hostname_to_ip("10.20.30.255"), htonl(0x0a141eff));
    EXPECT_EQ(Socket::hostname_to_ip("0.0.0.0"), 0u);
    EXPECT_FALSE(fail_pending());
}

TEST(HostnameToIp, NumberAbove255GoesToTheLookupAndFailsThere) {
    fail_take();
    EXPECT_EQ(Socket::hostname_to_ip("1.2.3.256"), 0u);
    std::string report = fail_take();
    const std::string prefix =
        "Socket::hostname_to_ip unable to get address for '1.2.3.256' Reason code:";
    EXPECT_EQ(report.substr(0, prefix.size()), prefix);
    EXPECT_EQ(report.substr(report.size() - 2), "\r\n");
}

TEST(HostnameToIp, NameIsLookedUp) {
    fail_take();
    EXPECT_EQ(Socket::hostname_to_ip("localhost"), htonl(INADDR_LOOPBACK));
    EXPECT_FALSE(fail_pending());
}

} // namespace
