// How the proxy reaches origin servers and how many clients it serves at
// once: maxcon, a remote proxy (a second harbord) and a SOCKS4 server.
#include "testsupport/HarbordFixture.h"
#include "testsupport/OriginServer.h"
#include "testsupport/Socks4Server.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <memory>
#include <netinet/in.h>
#include <poll.h>
#include <sstream>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace e2e;

namespace {

const time_t AN_HOUR_AGO = ::time(nullptr) - 3600;

class E2eChaining : public ::testing::Test {
protected:
    OriginServer origin;
    void SetUp() override {
        ASSERT_TRUE(origin.listening());
        origin.set("/doc.html", OriginServer::document("a document\n", "text/html", AN_HOUR_AGO));
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

TEST_F(E2eChaining, WithMaxconOneTheSecondClientIsServedOnlyAfterTheFirstFinished) {
    Harbord proxy({"-maxcon", "1", "-timeout", "120"});
    ASSERT_TRUE(proxy.running()) << proxy.log();
    OriginServer::Answer slow = OriginServer::document("slow\n");
    slow.held = true;
    origin.set("/slow.html", slow);

    HttpResult first;
    HttpResult second;
    std::thread a([&] { first = proxy.get(origin.url("/slow.html")); });
    std::thread b;
    std::shared_ptr<void> join_clients(nullptr, [&](void*) {
        origin.release_held();
        if (a.joinable()) a.join();
        if (b.joinable()) b.join();
    });
    // The first worker is busy with the origin.
    ASSERT_TRUE(origin.wait_for_requests(1, 10000));
    b = std::thread([&] { second = proxy.get(origin.url("/doc.html")); });
    // The second client waits unaccepted while the only worker is busy.
    EXPECT_TRUE(eventually([&] { return accept_queue_length(proxy.port()) == 1; }, 10000));
    EXPECT_EQ(origin.request_count("/doc.html"), 0u);
    origin.release_held();
    a.join();
    b.join();
    EXPECT_EQ(first.body, "slow\n");
    EXPECT_EQ(second.body, "a document\n");
    std::vector<OriginServer::Request> log = origin.requests();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].path, "/slow.html");
    EXPECT_EQ(log[1].path, "/doc.html");
}

// Starts a non-blocking connect to 127.0.0.1:port; -1 when it failed at once.
int start_connect(uint16_t port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) < 0 && errno != EINPROGRESS) {
        ::close(fd);
        return -1;
    }
    return fd;
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

    // The only worker is busy, so nobody is accepted; every connect must
    // still be taken into the queue rather than dropped for a later retry.
    constexpr int BROWSERS = 20;
    std::vector<int> sockets;
    for (int i = 0; i < BROWSERS; i++) {
        int fd = start_connect(proxy.port());
        ASSERT_GE(fd, 0);
        sockets.push_back(fd);
    }
    // A connect the queue has no room for still looks established to the
    // browser, but the server drops its handshake and only retries it
    // seconds later; so the queue is read on the server's side.
    int queued = -1;
    EXPECT_TRUE(eventually([&] { return (queued = accept_queue_length(proxy.port())) == BROWSERS; }, 4000))
        << "queued: " << queued;
    EXPECT_EQ(origin.request_count("/doc.html"), 0u);

    std::string request = "GET " + origin.url("/doc.html") + " HTTP/1.0\r\n\r\n";
    for (int fd : sockets) {
        int flags = ::fcntl(fd, F_GETFL);
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
        EXPECT_EQ(::send(fd, request.data(), request.size(), MSG_NOSIGNAL), ssize_t(request.size()));
    }
    origin.release_held();
    holder.join();
    EXPECT_EQ(first.body, "slow\n");
    int answered = 0;
    for (int fd : sockets) {
        std::string answer;
        char buffer[4096];
        pollfd wait{fd, POLLIN, 0};
        while (::poll(&wait, 1, 30000) > 0) {
            ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0) break;
            answer.append(buffer, size_t(n));
        }
        ::close(fd);
        HttpResult result = parse_http(answer);
        if (result.status == 200 && result.body == "a document\n") answered++;
    }
    EXPECT_EQ(answered, BROWSERS);
}

TEST_F(E2eChaining, SeveralClientsAreServedAtOnceBelowMaxcon) {
    Harbord proxy({"-maxcon", "4", "-timeout", "120"});
    ASSERT_TRUE(proxy.running()) << proxy.log();
    OriginServer::Answer slow = OriginServer::document("slow\n");
    slow.held = true;
    for (int i = 0; i < 3; i++) origin.set("/slow" + std::to_string(i), slow);

    std::vector<std::thread> clients;
    std::vector<HttpResult> results(3);
    for (int i = 0; i < 3; i++)
        clients.emplace_back([&, i] { results[i] = proxy.get(origin.url("/slow" + std::to_string(i))); });
    // All three reach the origin while every answer is still held back.
    EXPECT_TRUE(origin.wait_for_requests(3, 20000));
    origin.release_held();
    for (std::thread& t : clients) t.join();
    for (const HttpResult& r : results) EXPECT_EQ(r.body, "slow\n");
}

TEST_F(E2eChaining, ChainingThroughARemoteProxyStoresInBoth) {
    Harbord upstream;
    ASSERT_TRUE(upstream.running()) << upstream.log();
    Harbord proxy({"-proxyhost", "127.0.0.1", "-proxyport", std::to_string(upstream.port())});
    ASSERT_TRUE(proxy.running()) << proxy.log();
    std::string url = origin.url("/doc.html");

    HttpResult answer = proxy.curl(url);
    EXPECT_EQ(answer.status, 200);
    EXPECT_EQ(answer.body, "a document\n");
    ASSERT_EQ(origin.request_count("/doc.html"), 1u);
    // The upstream proxy made the origin-form request with its Host line.
    OriginServer::Request seen = origin.requests().back();
    EXPECT_EQ(seen.target, "/doc.html");
    EXPECT_EQ(seen.header("Host"), "127.0.0.1:" + std::to_string(origin.port()));
    EXPECT_TRUE(eventually([&] { return proxy.cache_files_for(url).size() == 1; }));
    EXPECT_TRUE(eventually([&] { return upstream.cache_files_for(url).size() == 1; }));

    // A reload goes through both proxies to the origin.
    EXPECT_EQ(proxy.get(url, {"Pragma: no-cache"}).body, "a document\n");
    EXPECT_EQ(origin.request_count("/doc.html"), 2u);
}

TEST_F(E2eChaining, RemoteProxyFailureShowsUpOnTheErrorPage) {
    uint16_t nobody = free_port();
    Harbord proxy({"-proxyhost", "127.0.0.1", "-proxyport", std::to_string(nobody)});
    ASSERT_TRUE(proxy.running()) << proxy.log();
    HttpResult page = proxy.get(origin.url("/doc.html"));
    EXPECT_EQ(page.status, 501);
    EXPECT_NE(page.body.find("connection to server failed"), std::string::npos) << page.body;
    EXPECT_EQ(origin.request_count(), 0u);
}

TEST_F(E2eChaining, ChainingThroughSocks4Works) {
    Socks4Server socks;
    ASSERT_TRUE(socks.listening());
    Harbord proxy({"-sockshost", "127.0.0.1", "-socksport", std::to_string(socks.port()),
                   "-socksuser", "tester"});
    ASSERT_TRUE(proxy.running()) << proxy.log();

    HttpResult answer = proxy.curl(origin.url("/doc.html"));
    EXPECT_EQ(answer.status, 200);
    EXPECT_EQ(answer.body, "a document\n");
    EXPECT_EQ(origin.request_count("/doc.html"), 1u);
    // Version 4, connect, the origin's port and 127.0.0.1, then the user.
    std::string request = socks.received();
    ASSERT_GE(request.size(), 15u);
    EXPECT_EQ(request[0], 4);
    EXPECT_EQ(request[1], 1);
    EXPECT_EQ((uint8_t(request[2]) << 8) | uint8_t(request[3]), origin.port());
    EXPECT_EQ(request.substr(4, 4), std::string("\x7f\x00\x00\x01", 4));
    EXPECT_EQ(request.substr(8, 7), std::string("tester\0", 7));
}

TEST_F(E2eChaining, DeniedSocksRequestShowsUpOnTheErrorPage) {
    Socks4Server socks(Socks4Server::REJECTED);
    ASSERT_TRUE(socks.listening());
    Harbord proxy({"-sockshost", "127.0.0.1", "-socksport", std::to_string(socks.port())});
    ASSERT_TRUE(proxy.running()) << proxy.log();
    HttpResult page = proxy.get(origin.url("/doc.html"));
    EXPECT_EQ(page.status, 501);
    EXPECT_NE(page.body.find("SOCKS4 connect request was denied"), std::string::npos) << page.body;
    EXPECT_EQ(origin.request_count(), 0u);
}

} // namespace
