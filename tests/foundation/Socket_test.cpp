#include "foundation/Socket.h"

#include "foundation/Fail.h"
#include "foundation/InterNetClient.h"
#include "foundation/InterNetServer.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <memory>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

bool is_non_blocking(int fd) { return (::fcntl(fd, F_GETFL) & O_NONBLOCK) != 0; }

bool wait_readable(int fd) {
    pollfd watch{fd, POLLIN, 0};
    return ::poll(&watch, 1, 10000) == 1; // a wide bound for loopback
}

// Waits until the reader has taken every byte that has arrived.
void wait_drained(int fd) {
    for (int queued = 1; queued > 0; std::this_thread::yield()) ::ioctl(fd, FIONREAD, &queued);
}

std::string taken() { return fail_take(); }

// A connection over loopback: client and its accepted peer.
struct Pair {
    Pair() {
        fail_take();
        EXPECT_FALSE(server.failed()) << fail_take();
        client = std::make_unique<InterNetClient>("127.0.0.1", server.port());
        EXPECT_FALSE(client->failed()) << fail_take();
        peer = server.accept_connection();
        EXPECT_TRUE(peer) << fail_take();
    }
    // Closes the peer with a reset instead of an orderly end; the client sees it arrive.
    void reset_peer() {
        linger abort{1, 0};
        ::setsockopt(peer->handle(), SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
        peer.reset();
        EXPECT_TRUE(wait_readable(client->handle()));
    }
    InterNetServer server{0, loopback_address()};
    std::unique_ptr<InterNetClient> client;
    std::unique_ptr<Socket> peer;
};

TEST(Socket, CarriesBytesBothWaysWhole) {
    Pair p;
    const char question[] = "ping\0with zero";
    ASSERT_EQ(p.client->ewrite(question, sizeof question), int32_t(sizeof question));
    char got[sizeof question] = {};
    ASSERT_EQ(p.peer->eread(got, sizeof got), int32_t(sizeof got));
    EXPECT_EQ(std::string(got, sizeof got), std::string(question, sizeof question));

    std::vector<char> sent(1 << 20), back(sent.size());
    for (size_t i = 0; i < sent.size(); i++) sent[i] = char(i * 7 + i / 251);
    int32_t written = 0;
    std::thread writer([&] { written = p.peer->ewrite(sent.data(), int32_t(sent.size())); });
    EXPECT_EQ(p.client->eread(back.data(), int32_t(back.size())), int32_t(sent.size()));
    writer.join();
    EXPECT_EQ(written, int32_t(sent.size()));
    EXPECT_TRUE(sent == back);
    EXPECT_EQ(p.client->read_error() + p.client->write_error(), 0);
    EXPECT_FALSE(fail_pending());
}

TEST(Socket, ShortReadsSetTheStickyReadFlagWithOneReport) {
    Pair p;
    p.peer->ewrite("abc", 3);
    p.peer.reset();
    char got[10];
    EXPECT_EQ(p.client->eread(got, sizeof got), 3);
    EXPECT_EQ(std::string(got, 3), "abc");
    EXPECT_EQ(taken(), "Socket::eread read-error Reason code:0\r\n");
    EXPECT_EQ(p.client->eread(got, sizeof got), 0);
    EXPECT_FALSE(fail_pending());
    EXPECT_EQ(p.client->read_error(), 1);
    EXPECT_EQ(p.client->write_error(), 0);

    Pair q;
    q.reset_peer();
    EXPECT_EQ(q.client->eread(got, sizeof got), 0);
    EXPECT_EQ(taken(), "Socket::eread read-error Reason code:" + std::to_string(ECONNRESET) + "\r\n");
    Pair closed;
    EXPECT_EQ(closed.client->shutdown(), 0);
    EXPECT_EQ(closed.peer->eread(got, 4), 0);
    EXPECT_EQ(taken(), "Socket::eread read-error Reason code:0\r\n");

    Pair r;
    EXPECT_EQ(r.client->nbread(got, sizeof got), 0); // nothing there: no failure
    ASSERT_EQ(r.peer->ewrite("hello", 5), 5);
    ASSERT_TRUE(wait_readable(r.client->handle()));
    EXPECT_EQ(r.client->nbread(got, sizeof got), 5);
    EXPECT_EQ(std::string(got, 5), "hello");
    EXPECT_FALSE(fail_pending());
    r.reset_peer();
    EXPECT_EQ(r.client->nbread(got, sizeof got), -1);
    EXPECT_EQ(taken(), "Socket::nbread error while reading from socket" + std::to_string(ECONNRESET) + "\r\n");
    r.client->nbread(got, sizeof got);
    EXPECT_EQ(r.client->read_error(), 1);
    EXPECT_FALSE(fail_pending());
}

TEST(Socket, EveryCallLeavesTheModeItsOwnerChose) {
    Pair p;
    int fd = p.client->handle();
    char got[10];
    EXPECT_EQ(p.client->nbread(got, sizeof got), 0);
    EXPECT_EQ(p.client->nbwrite("ab", 2), 2);
    EXPECT_FALSE(is_non_blocking(fd));
    EXPECT_TRUE(p.client->blocking());

    ASSERT_EQ(p.client->to_non_blocking(), 0);
    EXPECT_EQ(p.client->nbread(got, sizeof got), 0);
    EXPECT_EQ(p.client->nbwrite("cd", 2) + p.client->ewrite("ef", 2), 4);
    EXPECT_TRUE(is_non_blocking(fd));
    ASSERT_EQ(p.peer->eread(got, 6), 6);
    EXPECT_EQ(std::string(got, 6), "abcdef");
    // A blocking read on a non-blocking socket waits for all the bytes.
    ASSERT_EQ(p.peer->ewrite("gh", 2), 2);
    ASSERT_TRUE(wait_readable(fd));
    int32_t read = 0;
    std::thread reader([&] { read = p.client->eread(got, 4); });
    wait_drained(fd);
    ASSERT_EQ(p.peer->ewrite("ij", 2), 2);
    reader.join();
    EXPECT_EQ(read, 4);
    EXPECT_EQ(std::string(got, 4), "ghij");
    EXPECT_TRUE(is_non_blocking(fd));
    EXPECT_FALSE(p.client->blocking());
    ASSERT_EQ(p.client->to_blocking(), 0);
    EXPECT_FALSE(is_non_blocking(fd));

    std::vector<char> chunk(65536, 'z'); // fill the send buffer: a send that would block
    int32_t sent = 1;
    for (int i = 0; i < 10000 && sent > 0; i++) sent = p.client->nbwrite(chunk.data(), 65536);
    EXPECT_EQ(sent, 0);
    EXPECT_FALSE(is_non_blocking(fd));
    EXPECT_EQ(p.client->write_error(), 0);
    EXPECT_FALSE(fail_pending());
}

TEST(Socket, WritesToAResetPeerFailWithOneReportAndNoSigpipe) {
    // With the default action a SIGPIPE would end this test program.
    auto previous = std::signal(SIGPIPE, SIG_DFL);
    for (bool non_blocking : {false, true}) {
        SCOPED_TRACE(non_blocking ? "nbwrite" : "ewrite");
        Pair p;
        p.reset_peer();
        std::vector<char> chunk(4096, 'w');
        auto write = [&] {
            return non_blocking ? p.client->nbwrite(chunk.data(), 4096) : p.client->ewrite(chunk.data(), 4096);
        };
        EXPECT_EQ(write(), non_blocking ? -1 : 0);
        const std::string report = taken();
        const std::string nb = "Socket::nbwrite error while writing to socket, errno = ";
        if (non_blocking) {
            EXPECT_TRUE(report == nb + std::to_string(ECONNRESET) + "\r\n" ||
                        report == nb + std::to_string(EPIPE) + "\r\n") << report;
        } else {
            EXPECT_EQ(report, "Socket::ewrite write-error\r\n");
        }
        EXPECT_EQ(write() + write(), non_blocking ? -2 : 0); // the flag is sticky
        EXPECT_FALSE(fail_pending());
        EXPECT_EQ(p.client->write_error(), 1);
        EXPECT_EQ(p.client->read_error(), 0);
    }
    std::signal(SIGPIPE, previous);
}

TEST(Socket, HandlesKeepTheirModeAndOnlyOwnedOnesAreClosed) {
    int fds[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
    ::fcntl(fds[0], F_SETFL, ::fcntl(fds[0], F_GETFL) | O_NONBLOCK);
    {
        Socket attached(fds[0], true), plain(fds[1], true);
        EXPECT_FALSE(attached.blocking());
        EXPECT_TRUE(plain.blocking());
    }
    EXPECT_NE(::fcntl(fds[0], F_GETFD), -1);
    { Socket owned(fds[0], false); }
    EXPECT_EQ(::fcntl(fds[0], F_GETFD), -1);
    ::close(fds[1]);

    Socket fresh;
    ASSERT_FALSE(fresh.failed());
    EXPECT_FALSE(is_non_blocking(fresh.handle()));
    EXPECT_EQ(fresh.delay_off(), 0);
    int value = 0;
    socklen_t size = sizeof value;
    ASSERT_EQ(::getsockopt(fresh.handle(), IPPROTO_TCP, TCP_NODELAY, &value, &size), 0);
    EXPECT_NE(value, 0);
}

TEST(Socket, DottedQuadsAreTakenAsTheyStandAndAllElseIsLookedUp) {
    fail_take();
    for (auto [host, address] : {std::pair{"127.0.0.1", 0x7f000001u}, {"10.20.30.255", 0x0a141effu},
                                 {"0.0.0.0", 0u}, {"localhost", 0x7f000001u}}) {
        EXPECT_EQ(Socket::hostname_to_ip(host), htonl(address)) << host;
        EXPECT_FALSE(fail_pending()) << host;
    }
    EXPECT_EQ(Socket::hostname_to_ip("1.2.3.256"), 0u); // no number above 255: a name
    const std::string report = taken();
    const std::string prefix = "Socket::hostname_to_ip unable to get address for '1.2.3.256' Reason code:";
    EXPECT_EQ(report.substr(0, prefix.size()), prefix);
    EXPECT_EQ(report.substr(report.size() - 2), "\r\n");
}

} // namespace
