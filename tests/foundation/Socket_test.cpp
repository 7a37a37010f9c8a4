// Sockets over loopback: the byte stream, the listening server, and clients
// that connect directly or through SOCKS4.
#include "foundation/Fail.h"
#include "foundation/InterNetClient.h"
#include "foundation/InterNetServer.h"
#include "foundation/LocalAddresses.h"
#include "testsupport/Socks4Server.h"
#include "tests/foundation/Expect.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <atomic>
#include <dirent.h>
#include <fstream>
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
int option(int fd, int level, int name) {
    int value = -1;
    socklen_t size = sizeof value;
    return ::getsockopt(fd, level, name, &value, &size) == 0 ? value : -1;
}
std::string reason(const char* text, int code) {
    return text + std::string(" Reason code:") + std::to_string(code) + "\r\n";
}

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
    Pair p, pending(false); // a non-blocking client is connected once writeable
    sockaddr_in local{};
    socklen_t size = sizeof local;
    ASSERT_EQ(::getsockname(p.server.handle(), reinterpret_cast<sockaddr*>(&local), &size), 0);
    expect_all({SAME(local.sin_addr.s_addr, LOOPBACK), SAME(ntohs(local.sin_port), p.server.port()),
                SAME(option(p.server.handle(), SOL_SOCKET, SO_REUSEADDR) != 0, true), // restarts despite TIME_WAIT
                SAME(p.client.blocking(), true), SAME(p.peer->blocking(), true), SAME(p.peer->attached(), false),
                SAME(non_blocking(p.peer->handle()), false), SAME(p.client.address(), LOOPBACK),
                SAME(p.client.port(), p.server.port()), SAME(p.peer_address, LOOPBACK), SAME(p.client.delay_off(), 0),
                SAME(option(p.client.handle(), IPPROTO_TCP, TCP_NODELAY) != 0, true),
                SAME(pending.client.blocking(), false), SAME(non_blocking(pending.client.handle()), true),
                SAME(option(pending.client.handle(), SOL_SOCKET, SO_ERROR), 0),
                SAME(pending.client.nbwrite("GET", 3), 3)});
    expect_relayed(*pending.peer, pending.client, "ok");
    expect_relayed(p.client, *p.peer, std::string("ping\0with zero", 14));
    EXPECT_FALSE(fail_pending());
}

TEST(Socket, FailuresAreReportedAndReleaseTheirDescriptor) {
    fail_take();
    auto descriptors = [] {
        int count = 0;
        DIR* dir = ::opendir("/proc/self/fd");
        while (::readdir(dir)) count++;
        ::closedir(dir);
        return count;
    };
    InterNetServer first(0, loopback_address()), busy(first.port(), loopback_address());
    EXPECT_EQ(taken(), reason("InterNetServer: unable to bind socket", EADDRINUSE));
    uint16_t closed_port = InterNetServer(0, loopback_address()).port();
    uint32_t peer = 12345;
    int before = descriptors();
    InterNetClient refused("127.0.0.1", closed_port);
    expect_all({SAME(descriptors(), before), SAME(refused.handle(), -1), SAME(refused.failed(), true),
                SAME(taken(), reason("InterNetClient: unable to connect to '127.0.0.1'.", ECONNREFUSED)),
                SAME(busy.failed(), true), SAME(busy.handle(), -1),
                SAME(busy.accept_connection(&peer) == nullptr, true), SAME(peer, 12345),
                SAME(taken(), reason("InterNetServer::accept_connection unable to accept from socket", EBADF))});
    // A failed lookup gives address 0, which must never be connected to.
    InterNetClient unknown("1.2.3.256", first.port());
    const std::string head = "InterNetClient: unable to connect to '1.2.3.256'. Reason code:" +
                             std::to_string(EADDRNOTAVAIL) + ", reason:\r\n Socket::hostname_to_ip "
                             "unable to get address for '1.2.3.256' Reason code:";
    EXPECT_EQ(taken().substr(0, head.size()), head);
    // Dotted quads are taken as they stand, anything else is looked up.
    expect_all({SAME(Socket::hostname_to_ip("127.0.0.1"), LOOPBACK), SAME(Socket::hostname_to_ip("0.0.0.0"), 0),
                SAME(Socket::hostname_to_ip("10.20.30.255"), htonl(0x0a141eff)),
                SAME(Socket::hostname_to_ip("localhost"), LOOPBACK), SAME(fail_pending(), false)});
}

TEST(Socket, ShortReadsAndWritesSetStickyFlagsWithOneReport) {
    auto previous = std::signal(SIGPIPE, SIG_DFL); // a SIGPIPE would end the test program
    Pair closed, shut, reset, nb_reset, write_reset, nbwrite_reset;
    char got[10];
    std::vector<char> chunk(4096, 'w');
    const std::string closed_report = "Socket::eread read-error Reason code:0\r\n";
    closed.peer->ewrite("abc", 3);
    closed.peer.reset();
    expect_all({SAME(closed.client.eread(got, 10), 3), SAME(std::string(got, 3), "abc"), SAME(taken(), closed_report),
                SAME(closed.client.eread(got, 10), 0), SAME(fail_pending(), false), SAME(shut.client.shutdown(), 0),
                SAME(shut.peer->eread(got, 4), 0), SAME(taken(), closed_report),
                SAME(nb_reset.client.nbread(got, 10), 0), SAME(nb_reset.peer->ewrite("hello", 5), 5),
                SAME(wait_for(nb_reset.client.handle(), POLLIN), true), SAME(nb_reset.client.nbread(got, 10), 5)});
    for (Pair* pair : {&reset, &nb_reset, &write_reset, &nbwrite_reset}) pair->reset_peer();
    expect_all({SAME(reset.client.eread(got, 10), 0), SAME(taken(), reason("Socket::eread read-error", ECONNRESET)),
                SAME(nb_reset.client.nbread(got, 10), -1),
                SAME(taken(), "Socket::nbread error while reading from socket" + std::to_string(ECONNRESET) + "\r\n"),
                SAME(write_reset.client.ewrite(chunk.data(), 4096), 0), SAME(taken(), "Socket::ewrite write-error\r\n"),
                SAME(nbwrite_reset.client.nbwrite(chunk.data(), 4096), -1)});
    const std::string report = taken(), nb = "Socket::nbwrite error while writing to socket, errno = ";
    EXPECT_TRUE(report == nb + std::to_string(ECONNRESET) + "\r\n" || report == nb + std::to_string(EPIPE) + "\r\n")
        << report;
    nb_reset.client.nbread(got, 10); // the flags are sticky: no second report
    expect_all({SAME(write_reset.client.ewrite(chunk.data(), 4096), 0), SAME(nbwrite_reset.client.nbwrite("x", 1), -1),
                SAME(fail_pending(), false), SAME(closed.client.read_error(), 1), SAME(closed.client.write_error(), 0),
                SAME(reset.client.read_error(), 1), SAME(nb_reset.client.read_error(), 1),
                SAME(write_reset.client.write_error(), 1), SAME(write_reset.client.read_error(), 0),
                SAME(nbwrite_reset.client.write_error(), 1)});
    std::signal(SIGPIPE, previous);
}

TEST(Socket, EveryCallLeavesTheModeItsOwnerChose) {
    Pair p;
    int fd = p.client.handle();
    char got[10];
    expect_all({SAME(p.client.nbread(got, 10), 0), SAME(p.client.nbwrite("ab", 2), 2), SAME(non_blocking(fd), false),
                SAME(p.client.blocking(), true), SAME(p.client.to_non_blocking(), 0), SAME(p.client.nbread(got, 10), 0),
                SAME(p.client.nbwrite("cd", 2), 2), SAME(p.client.ewrite("ef", 2), 2), SAME(non_blocking(fd), true),
                SAME(p.peer->eread(got, 6), 6), SAME(std::string(got, 6), "abcdef")});
    // A blocking read on a non-blocking socket waits for all the bytes.
    ASSERT_EQ(p.peer->ewrite("gh", 2), 2);
    ASSERT_TRUE(wait_for(fd, POLLIN));
    std::thread reader([&] { EXPECT_EQ(p.client.eread(got, 4), 4); });
    for (int queued = 1; queued > 0; std::this_thread::yield()) ::ioctl(fd, FIONREAD, &queued);
    ASSERT_EQ(p.peer->ewrite("ij", 2), 2);
    reader.join();
    std::vector<char> chunk(65536, 'z'); // fill the send buffer: a send that would block
    int32_t sent = 1;
    expect_all({SAME(std::string(got, 4), "ghij"), SAME(p.client.blocking(), false), SAME(non_blocking(fd), true),
                SAME(p.client.to_blocking(), 0)});
    for (int i = 0; i < 10000 && sent > 0; i++) sent = p.client.nbwrite(chunk.data(), 65536);
    expect_all({SAME(sent, 0), SAME(non_blocking(fd), false), SAME(p.client.write_error(), 0),
                SAME(fail_pending(), false)});

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

TEST(LocalAddresses, LoopbackAndAnyAddressAreLocalOthersNot) {
    struct Case {
        const char* address;
        bool local;
        bool loopback;
    } cases[] = {
        {"127.0.0.1", true, true}, {"127.1.2.3", true, true}, {"0.0.0.0", true, false},
        {"198.51.100.7", false, false}, {"128.0.0.1", false, false}, {"126.255.255.255", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.address);
        EXPECT_EQ(is_local_address(inet_addr(c.address)), c.local);
        EXPECT_EQ(is_loopback_address(inet_addr(c.address)), c.loopback);
    }
}

TEST(Socket, AWaitingReceiveEndsWithDataAfterItsTimeOrWhenAnotherThreadStopsIt) {
    Pair p(false);
    char got[10];
    expect_all({SAME(p.client.receive_waiting(got, 10, 20), -1), SAME(p.client.blocking(), true),
                SAME(fail_pending(), false), SAME(p.peer->ewrite("ab", 2), 2),
                SAME(p.client.receive_waiting(got, 10, 10000), 2), SAME(std::string(got, 2), "ab")});
    // Asleep in the receive (the peer says nothing), it returns once its
    // receiving side is ended; the connection can still send.
    int32_t woken = -2;
    std::atomic<pid_t> tid{0};
    std::thread sleeper([&] {
        tid = ::gettid();
        woken = p.client.receive_waiting(got, 10, 60000);
    });
    while (tid == 0) std::this_thread::yield();
    for (char state = 'R'; state != 'S';) {
        std::ifstream stat("/proc/self/task/" + std::to_string(tid) + "/stat");
        std::string line;
        std::getline(stat, line);
        state = line.empty() ? 'R' : line[line.rfind(')') + 2];
    }
    EXPECT_EQ(p.client.stop_receiving(), 0);
    sleeper.join();
    expect_all({SAME(woken, 0), SAME(p.client.nbwrite("cd", 2), 2), SAME(p.peer->eread(got, 2), 2)});
}
