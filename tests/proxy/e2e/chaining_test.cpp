// How many browsers the proxy takes at once (maxcon and the listening
// queue), and its ways to an origin: a remote proxy (a second harbord) and a
// SOCKS4 server.
#include "testsupport/HarbordFixture.h"
#include "testsupport/OriginServer.h"
#include "testsupport/Socks4Server.h"

#include <gtest/gtest.h>

#include <ctime>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace e2e;

namespace {

class E2eChaining : public ::testing::Test {
protected:
    OriginServer origin;
    void SetUp() override {
        origin.set("/doc.html",
                   OriginServer::document("a document\n", "text/html", ::time(nullptr) - 3600));
    }
};

// Connections waiting in the accept queue of the socket listening on port,
// as the kernel lists it; -1 when there is no such socket.
int accept_queue_length(uint16_t port) {
    std::ifstream table("/proc/net/tcp");
    std::string line;
    std::getline(table, line); // column titles
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state, queues;
        fields >> slot >> local >> remote >> state >> queues;
        if (state != "0A" || local.size() < 4) continue; // listening only
        if (std::stoul(local.substr(local.size() - 4), nullptr, 16) != port) continue;
        size_t colon = queues.find(':');
        if (colon == std::string::npos) continue;
        return int(std::stoul(queues.substr(colon + 1), nullptr, 16));
    }
    return -1;
}

TEST_F(E2eChaining, BrowsersBeyondMaxconAllWaitInTheListeningQueueAndAreServed) {
    // The first answer is held until the queue has been read, and the proxy
    // waits far longer than that for it.
    Harbord proxy({"-maxcon", "1", "-timeout", "120"});
    ASSERT_TRUE(proxy.running()) << proxy.log();
    OriginServer::Answer slow = OriginServer::document("slow\n");
    slow.held = true;
    origin.set("/slow.html", slow);
    HttpResult first;
    std::thread holder([&] { first = proxy.get(origin.url("/slow.html")); });
    // Also when an assertion below ends the test early.
    std::shared_ptr<void> join_holder(nullptr, [&](void*) {
        origin.release_held();
        if (holder.joinable()) holder.join();
    });
    ASSERT_TRUE(origin.wait_for_requests(1, 10000));

    // The only worker is busy, so nobody is accepted but into the few
    // reserve places (where they wait too); every connect must still be
    // taken into the queue rather than dropped for a later retry.
    constexpr int BROWSERS = 20;
    std::string request = "GET " + origin.url("/doc.html") + " HTTP/1.0\r\n\r\n";
    std::vector<int> sockets;
    for (int i = 0; i < BROWSERS; i++) {
        int fd = connect_loopback(proxy.port(), true);
        ASSERT_GE(fd, 0);
        sockets.push_back(fd);
        EXPECT_EQ(::send(fd, request.data(), request.size(), MSG_NOSIGNAL),
                  ssize_t(request.size()));
    }
    // A connect the queue has no room for still looks established to the
    // browser, but the server drops its handshake and only retries it
    // seconds later; so the queue is read on the server's side.
    int queued = -1;
    EXPECT_TRUE(eventually(
        [&] { return (queued = accept_queue_length(proxy.port())) >= BROWSERS - 2; }, 4000))
        << "queued: " << queued;
    EXPECT_EQ(origin.request_count("/doc.html"), 0u);

    origin.release_held();
    holder.join();
    EXPECT_EQ(first.body, "slow\n");
    int answered = 0;
    for (int fd : sockets) {
        HttpResult result = parse_http(receive_all(fd));
        ::close(fd);
        if (result.status == 200 && result.body == "a document\n") answered++;
    }
    EXPECT_EQ(answered, BROWSERS);
}

// The detailed report on the error page when the way to the origin fails.
std::string way_failed(const std::string& reason) {
    return "<PRE>UrlGet::contact_server connection to server failed, reason:\r\n InterNetClient: " +
           reason + "\r\n</PRE>";
}

TEST_F(E2eChaining, ThroughARemoteProxyTheDocumentIsStoredInBothAndAMissingOneIsReported) {
    Harbord upstream;
    ASSERT_TRUE(upstream.running()) << upstream.log();
    Harbord proxy({"-proxyhost", "127.0.0.1", "-proxyport", std::to_string(upstream.port())});
    ASSERT_TRUE(proxy.running()) << proxy.log();
    std::string url = origin.url("/doc.html");

    EXPECT_EQ(proxy.curl(url).body, "a document\n");
    ASSERT_EQ(origin.request_count("/doc.html"), 1u);
    EXPECT_TRUE(proxy.stored(url).valid);
    EXPECT_TRUE(upstream.stored(url).valid);
    // Each names itself in Via, each by a name of its own.
    std::string via = origin.requests()[0].header("Via");
    EXPECT_EQ(via.size(), 40u) << via;
    EXPECT_EQ(via.substr(0, 11) + via.substr(19, 13), "1.0 quaylo-, 1.0 quaylo-") << via;
    EXPECT_NE(via.substr(11, 8), via.substr(32, 8)) << via;
    // A reload goes through both proxies to the origin.
    EXPECT_EQ(proxy.get(url, {"Pragma: no-cache"}).body, "a document\n");
    EXPECT_EQ(origin.request_count("/doc.html"), 2u);

    ASSERT_EQ(upstream.stop(), 0);
    std::string page = proxy.get(url, {"Pragma: no-cache"}).body;
    EXPECT_NE(page.find(way_failed("unable to connect to '127.0.0.1'. Reason code:111")),
              std::string::npos)
        << page;
}

TEST_F(E2eChaining, ThroughASocks4ServerTheOriginIsReachedUnlessTheServerDenies) {
    Socks4Server socks, denying(Socks4Server::REJECTED);
    ASSERT_TRUE(socks.listening() && denying.listening());
    Harbord proxy({"-sockshost", "127.0.0.1", "-socksport", std::to_string(socks.port()),
                   "-socksuser", "tester"});
    ASSERT_TRUE(proxy.running()) << proxy.log();
    EXPECT_EQ(proxy.curl(origin.url("/doc.html")).body, "a document\n");
    EXPECT_EQ(origin.request_count("/doc.html"), 1u);
    // Version 4, connect, the origin's port and 127.0.0.1, then the user.
    std::string port{char(origin.port() >> 8), char(origin.port() & 0xff)};
    EXPECT_EQ(socks.received(), "\x04\x01" + port + std::string("\x7f\0\0\x01tester\0", 11));

    Harbord denied({"-sockshost", "127.0.0.1", "-socksport", std::to_string(denying.port())});
    ASSERT_TRUE(denied.running()) << denied.log();
    std::string page = denied.get(origin.url("/doc.html")).body;
    EXPECT_NE(page.find(way_failed("SOCKS4 connect request was denied")), std::string::npos)
        << page;
    EXPECT_EQ(origin.request_count(), 1u);
}

} // namespace
