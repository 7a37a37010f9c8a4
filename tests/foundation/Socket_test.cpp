// Sockets over loopback: the byte stream, the listening server, and clients
// that connect directly or through SOCKS4.
#include "foundation/Fail.h"
#include "foundation/InterNetClient.h"
#include "foundation/InterNetServer.h"
#include "testsupport/Socks4Server.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <dirent.h>
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

const uint32_t LOOPBACK = htonl(INADDR_LOOPBACK);

bool non_blocking(int fd) { return (::fcntl(fd, F_GETFL) & O_NONBLOCK) != 0; }
bool wait_for(int fd, short events) {
    pollfd watch{fd, events, 0};
    return ::poll(&watch, 1, 10000) == 1; // a wide bound for loopback
}
std::string taken() { return fail_take(); }
std::string reason(const char* text, int code) { return text + std::string(" Reason code:") + std::to_string(code) + "\r\n"; }

// Sends the text at a and expects it at b.
void expect_relayed(Socket& a, Socket& b, const std::string& text) {
    ASSERT_EQ(a.ewrite(text.data(), int32_t(text.size())), int32_t(text.size()));
    std::string got(text.size(), '\0');
    ASSERT_EQ(b.eread(got.data(), int32_t(got.size())), int32_t(got.size()));
    EXPECT_EQ(got, text);
}

// A connection over loopback: client and its accepted peer.
struct Pair {
    explicit Pair(bool blocking = true) : client("127.0.0.1", server.port(), blocking) {
        EXPECT_FALSE(server.failed() || client.failed()) << fail_take();
        EXPECT_TRUE(wait_for(client.handle(), POLLOUT));
        peer = server.accept_connection(&peer_address);
        EXPECT_TRUE(peer) << fail_take();
    }
    // Closes the peer with a reset instead of an orderly end; the client sees it arrive.
    void reset_peer() {
        linger abort{1, 0};
        ::setsockopt(peer->handle(), SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
        peer.reset();
        EXPECT_TRUE(wait_for(client.handle(), POLLIN));
    }
    InterNetServer server{0, loopback_address()};
    InterNetClient client;
    uint32_t peer_address = 0;
    std::unique_ptr<Socket> peer;
};

TEST(Socket, ServerAndClientMeetOnLoopbackWithBlockingSockets) {
    fail_take();
    Pair p;
    sockaddr_in local{};
    socklen_t size = sizeof local;
    int reuse = 0, error = -1, no_delay = 0;
    ASSERT_EQ(::getsockname(p.server.handle(), reinterpret_cast<sockaddr*>(&local), &size), 0);
    EXPECT_EQ(local.sin_addr.s_addr, LOOPBACK);
    EXPECT_EQ(ntohs(local.sin_port), p.server.port());
    size = sizeof reuse;
    ASSERT_EQ(::getsockopt(p.server.handle(), SOL_SOCKET, SO_REUSEADDR, &reuse, &size), 0);
    EXPECT_NE(reuse, 0); // a restart does not fail on TIME_WAIT
    EXPECT_TRUE(p.client.blocking() && p.peer->blocking() && !non_blocking(p.peer->handle()));
    EXPECT_FALSE(p.peer->attached());
    EXPECT_EQ(p.client.address(), LOOPBACK);
    EXPECT_EQ(p.client.port(), p.server.port());
    EXPECT_EQ(p.peer_address, LOOPBACK);
    expect_relayed(p.client, *p.peer, std::string("ping\0with zero", 14));
    std::vector<char> sent(1 << 20), back(sent.size()); // more than one send or receive takes
    for (size_t i = 0; i < sent.size(); i++) sent[i] = char(i * 7 + i / 251);
    std::thread writer([&] { EXPECT_EQ(p.peer->ewrite(sent.data(), 1 << 20), 1 << 20); });
    EXPECT_EQ(p.client.eread(back.data(), 1 << 20), 1 << 20);
    writer.join();
    EXPECT_TRUE(sent == back);
    EXPECT_EQ(p.client.delay_off(), 0);
    size = sizeof no_delay;
    ASSERT_EQ(::getsockopt(p.client.handle(), IPPROTO_TCP, TCP_NODELAY, &no_delay, &size), 0);
    EXPECT_NE(no_delay, 0);

    Pair pending(false); // connected once writeable
    EXPECT_TRUE(!pending.client.blocking() && non_blocking(pending.client.handle()));
    size = sizeof error;
    ASSERT_EQ(::getsockopt(pending.client.handle(), SOL_SOCKET, SO_ERROR, &error, &size), 0);
    EXPECT_EQ(error, 0);
    EXPECT_EQ(pending.client.nbwrite("GET", 3), 3);
    expect_relayed(*pending.peer, pending.client, "ok");
    EXPECT_FALSE(fail_pending());
}

TEST(Socket, FailuresAreReportedAndReleaseTheirDescriptor) {
    fail_take();
    InterNetServer first(0, loopback_address()), busy(first.port(), loopback_address());
    EXPECT_TRUE(busy.failed());
    EXPECT_EQ(busy.handle(), -1);
    EXPECT_EQ(taken(), reason("InterNetServer: unable to bind socket", EADDRINUSE));
    uint32_t peer = 12345;
    EXPECT_FALSE(busy.accept_connection(&peer));
    EXPECT_EQ(peer, 12345u);
    EXPECT_EQ(taken(), reason("InterNetServer::accept_connection unable to accept from socket", EBADF));

    uint16_t closed_port = InterNetServer(0, loopback_address()).port();
    auto descriptors = [] {
        int count = 0;
        DIR* dir = ::opendir("/proc/self/fd");
        while (::readdir(dir)) count++;
        ::closedir(dir);
        return count;
    };
    int before = descriptors();
    InterNetClient refused("127.0.0.1", closed_port);
    EXPECT_TRUE(refused.failed());
    EXPECT_EQ(refused.handle(), -1);
    EXPECT_EQ(descriptors(), before);
    EXPECT_EQ(taken(), reason("InterNetClient: unable to connect to '127.0.0.1'.", ECONNREFUSED));
    // A failed lookup gives address 0, which must never be connected to.
    InterNetClient unknown("1.2.3.256", first.port());
    EXPECT_TRUE(unknown.failed());
    const std::string head = "InterNetClient: unable to connect to '1.2.3.256'. Reason code:" +
                             std::to_string(EADDRNOTAVAIL) + ", reason:\r\n Socket::hostname_to_ip "
                             "unable to get address for '1.2.3.256' Reason code:";
    EXPECT_EQ(taken().substr(0, head.size()), head);
    // Dotted quads are taken as they stand, anything else is looked up.
    for (auto [host, address] : {std::pair{"127.0.0.1", 0x7f000001u}, {"10.20.30.255", 0x0a141effu},
                                 {"0.0.0.0", 0u}, {"localhost", 0x7f000001u}})
        EXPECT_EQ(Socket::hostname_to_ip(host), htonl(address)) << host;
    EXPECT_FALSE(fail_pending());
}

TEST(Socket, ShortReadsAndWritesSetStickyFlagsWithOneReport) {
    auto previous = std::signal(SIGPIPE, SIG_DFL); // a SIGPIPE would end the test program
    Pair closed, shut, q, nb_reset, write_reset, nbwrite_reset;
    char got[10];
    closed.peer->ewrite("abc", 3);
    closed.peer.reset();
    EXPECT_EQ(closed.client.eread(got, 10), 3);
    EXPECT_EQ(std::string(got, 3), "abc");
    EXPECT_EQ(taken(), "Socket::eread read-error Reason code:0\r\n");
    EXPECT_EQ(closed.client.eread(got, 10), 0);
    EXPECT_FALSE(fail_pending());
    EXPECT_EQ(shut.client.shutdown(), 0);
    EXPECT_EQ(shut.peer->eread(got, 4), 0);
    EXPECT_EQ(taken(), "Socket::eread read-error Reason code:0\r\n");
    q.reset_peer();
    EXPECT_EQ(q.client.eread(got, 10), 0);
    EXPECT_EQ(taken(), reason("Socket::eread read-error", ECONNRESET));
    EXPECT_EQ(nb_reset.client.nbread(got, 10), 0); // nothing there is no failure
    ASSERT_EQ(nb_reset.peer->ewrite("hello", 5), 5);
    ASSERT_TRUE(wait_for(nb_reset.client.handle(), POLLIN));
    EXPECT_EQ(nb_reset.client.nbread(got, 10), 5);
    nb_reset.reset_peer();
    EXPECT_EQ(nb_reset.client.nbread(got, 10), -1);
    EXPECT_EQ(taken(), "Socket::nbread error while reading from socket" + std::to_string(ECONNRESET) + "\r\n");
    nb_reset.client.nbread(got, 10);
    EXPECT_EQ(closed.client.read_error() + q.client.read_error() + nb_reset.client.read_error(), 3);

    std::vector<char> chunk(4096, 'w');
    write_reset.reset_peer();
    nbwrite_reset.reset_peer();
    EXPECT_EQ(write_reset.client.ewrite(chunk.data(), 4096), 0);
    EXPECT_EQ(taken(), "Socket::ewrite write-error\r\n");
    EXPECT_EQ(nbwrite_reset.client.nbwrite(chunk.data(), 4096), -1);
    const std::string report = taken(), nb = "Socket::nbwrite error while writing to socket, errno = ";
    EXPECT_TRUE(report == nb + std::to_string(ECONNRESET) + "\r\n" || report == nb + std::to_string(EPIPE) + "\r\n")
        << report;
    EXPECT_EQ(write_reset.client.ewrite(chunk.data(), 4096) + nbwrite_reset.client.nbwrite(chunk.data(), 4096), -1);
    EXPECT_FALSE(fail_pending());
    EXPECT_EQ(write_reset.client.write_error() + nbwrite_reset.client.write_error(), 2);
    EXPECT_EQ(write_reset.client.read_error() + closed.client.write_error(), 0);
    std::signal(SIGPIPE, previous);
}

TEST(Socket, EveryCallLeavesTheModeItsOwnerChose) {
    Pair p;
    int fd = p.client.handle();
    char got[10];
    EXPECT_EQ(p.client.nbread(got, 10) + p.client.nbwrite("ab", 2), 2);
    EXPECT_TRUE(p.client.blocking() && !non_blocking(fd));
    ASSERT_EQ(p.client.to_non_blocking(), 0);
    EXPECT_EQ(p.client.nbread(got, 10) + p.client.nbwrite("cd", 2) + p.client.ewrite("ef", 2), 4);
    EXPECT_TRUE(non_blocking(fd));
    ASSERT_EQ(p.peer->eread(got, 6), 6);
    EXPECT_EQ(std::string(got, 6), "abcdef");
    // A blocking read on a non-blocking socket waits for all the bytes.
    ASSERT_EQ(p.peer->ewrite("gh", 2), 2);
    ASSERT_TRUE(wait_for(fd, POLLIN));
    std::thread reader([&] { EXPECT_EQ(p.client.eread(got, 4), 4); });
    for (int queued = 1; queued > 0; std::this_thread::yield()) ::ioctl(fd, FIONREAD, &queued);
    ASSERT_EQ(p.peer->ewrite("ij", 2), 2);
    reader.join();
    EXPECT_EQ(std::string(got, 4), "ghij");
    EXPECT_TRUE(!p.client.blocking() && non_blocking(fd));
    ASSERT_EQ(p.client.to_blocking(), 0);
    std::vector<char> chunk(65536, 'z'); // fill the send buffer: a send that would block
    int32_t sent = 1;
    for (int i = 0; i < 10000 && sent > 0; i++) sent = p.client.nbwrite(chunk.data(), 65536);
    EXPECT_EQ(sent, 0);
    EXPECT_FALSE(non_blocking(fd));
    EXPECT_EQ(p.client.write_error(), 0);
    EXPECT_FALSE(fail_pending());

    int fds[2]; // a wrapped handle keeps its mode; only an owned one is closed
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
    ::fcntl(fds[0], F_SETFL, O_NONBLOCK);
    {
        Socket attached(fds[0], true), owned(fds[1], false), fresh;
        EXPECT_TRUE(!attached.blocking() && owned.blocking() && fresh.blocking() && !fresh.failed());
        EXPECT_FALSE(non_blocking(fresh.handle()));
    }
    EXPECT_NE(::fcntl(fds[0], F_GETFD), -1);
    EXPECT_EQ(::fcntl(fds[1], F_GETFD), -1);
    ::close(fds[0]);
}

TEST(Socket, SocksServerConnectsOnOrTheClientReportsWhyNot) {
    InterNetServer target(0, loopback_address());
    const std::string request = {4, 1, char(target.port() >> 8), char(target.port() & 0xff), 127, 0, 0, 1};
    struct Case {
        uint8_t code, version;
        int answer_bytes;
        bool blocking;
        const char *host, *user, *user_variable; // nullptr: USER unset
        const char* sent_user;                     // nullptr: no request reaches the server
        std::string report;                        // or its start; empty when connected
    } cases[] = {
        {90, 0, 8, true, "127.0.0.1", "tester", "alice", "tester", ""},
        {90, 4, 8, true, "127.0.0.1", "tester", nullptr, "tester", ""},
        {90, 0, 8, true, "127.0.0.1", "", "alice", "alice", ""},
        {90, 0, 8, true, "127.0.0.1", "", nullptr, "", ""},
        {91, 0, 8, true, "127.0.0.1", "tester", nullptr, "tester", "InterNetClient: SOCKS4 connect request was denied\r\n"},
        {90, 5, 8, true, "127.0.0.1", "tester", nullptr, "tester", "InterNetClient: got invalid answer to SOCKS4 request\r\n"},
        {90, 0, 3, true, "127.0.0.1", "tester", nullptr, "tester",
         "InterNetClient: got no answer to SOCKS4 request, reason:\r\n Socket::eread read-error Reason code:0\r\n"},
        {90, 0, 8, false, "127.0.0.1", "tester", nullptr, nullptr,
         "InterNetClient: combining Socks host with non-blocking mode is not allowed\r\n"},
        {90, 0, 8, true, "1.2.3.256", "tester", nullptr, nullptr, "InterNetClient: unable to get real host address, "
                                                                  "reason:\r\n Socket::hostname_to_ip unable to get "
                                                                  "address for '1.2.3.256'"},
    };
    const std::string saved = std::getenv("USER") ? std::getenv("USER") : "";
    fail_take();
    for (const Case& c : cases) {
        SCOPED_TRACE("case " + std::to_string(&c - cases));
        c.user_variable ? ::setenv("USER", c.user_variable, 1) : ::unsetenv("USER");
        Socks4Server socks(c.code, c.version, c.answer_bytes);
        InterNetClient client(c.host, target.port(), c.blocking, "127.0.0.1", socks.port(), c.user);
        EXPECT_EQ(taken().substr(0, c.report.size()), c.report);
        EXPECT_EQ(socks.received(), c.sent_user ? request + c.sent_user + '\0' : "");
        EXPECT_EQ(client.handle() == -1, !c.report.empty());
        if (!c.report.empty()) continue;
        EXPECT_EQ(client.port(), socks.port());
        uint32_t peer_address = 0;
        auto peer = target.accept_connection(&peer_address);
        ASSERT_TRUE(peer) << fail_take();
        EXPECT_EQ(peer_address, LOOPBACK);
        expect_relayed(client, *peer, "ping");
        expect_relayed(*peer, client, "pong");
    }
    saved.empty() ? ::unsetenv("USER") : ::setenv("USER", saved.c_str(), 1);
}

} // namespace
