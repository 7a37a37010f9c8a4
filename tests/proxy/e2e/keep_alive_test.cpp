// Keep-alive between a client and harbord: requests on one connection, in
// turn or pipelined, each with its own answer; a connection ends on
// anything unusual, on a silent client after `timeout`, and gives way to a
// waiting client when all connections are taken. No lock is left held.
#include "testsupport/HarbordFixture.h"
#include "testsupport/OriginServer.h"

#include <gtest/gtest.h>

#include <memory>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

using namespace e2e;

namespace {

const std::string KEEP = "Proxy-Connection: keep-alive";

// One client connection to the proxy.
struct Connection {
    explicit Connection(const Harbord& proxy) : fd(connect_loopback(proxy.port())) {}
    ~Connection() { ::close(fd); }
    // Sends bytes and reads until `kept` answers marked keep-alive are whole, or the close.
    std::string ask(const std::string& bytes, size_t kept = 1) {
        for (size_t sent = 0; sent < bytes.size();) {
            ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) break;
            sent += size_t(n);
        }
        return receive_all(fd, 15000, kept);
    }
    // The proxy closed the connection (within 15 s).
    bool closed() {
        char byte;
        pollfd ready{fd, POLLIN, 0};
        return ::poll(&ready, 1, 15000) == 1 && ::recv(fd, &byte, 1, 0) == 0;
    }
    int fd;
};

size_t count(const std::string& text, const std::string& piece) {
    size_t n = 0;
    for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) n++;
    return n;
}

class E2eKeepAlive : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"a", "b", "c"}) origin.set(std::string("/") + name, OriginServer::document(std::string("doc ") + name + "\n"));
    }
    std::string get(const char* path, const std::string& more = KEEP) {
        return proxy_request("GET", origin.url(path), {more});
    }
    OriginServer origin;
    Harbord proxy{{"-timeout", "2"}};
};

} // namespace

TEST_F(E2eKeepAlive, RequestsOnOneConnectionInTurnAndPipelinedGetTheirOwnAnswers) {
    ASSERT_TRUE(proxy.running()) << proxy.log();
    proxy.get(origin.url("/a"));
    Connection client(proxy);
    std::string hit = client.ask(get("/a")), miss = client.ask(get("/b"));
    EXPECT_TRUE(hit.ends_with("\r\nConnection: keep-alive\r\n\r\ndoc a\n")) << hit;
    EXPECT_TRUE(miss.ends_with("\r\nConnection: keep-alive\r\n\r\ndoc b\n")) << miss;
    // Three in one packet, the last one without keep-alive: all in order, then the end.
    std::string three = client.ask(get("/c") + get("/a", "Connection: keep-alive") + get("/b", "X: y"), 3);
    EXPECT_LT(three.find("doc c\n"), three.find("doc a\n"));
    EXPECT_LT(three.find("doc a\n"), three.find("doc b\n"));
    EXPECT_EQ(count(three, "HTTP/1.0 200"), 3u) << three;
    EXPECT_TRUE(client.closed());
    // An HTTP/1.1 client keeps its connection unless it says close.
    Connection modern(proxy);
    std::string kept = modern.ask("GET " + origin.url("/a") + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    EXPECT_NE(kept.find("Connection: keep-alive"), std::string::npos) << kept;
    for (int i = 0; i < 1000; i++)
        ASSERT_TRUE(modern.ask(get(i % 2 ? "/a" : "/b")).ends_with(i % 2 ? "doc a\n" : "doc b\n")) << i;
    EXPECT_EQ(origin.request_count(), 3u);
}

TEST_F(E2eKeepAlive, AnythingUnusualEndsTheConnectionAndNoBodyIsReadAsARequest) {
    const std::string post = "POST " + origin.url("/form") + " HTTP/1.0\r\n" + KEEP + "\r\nContent-Length: 3\r\n\r\n";
    const struct {
        const char* name;
        std::string second;  // sent after a kept answer
        const char* answer;  // in what comes back before the close
    } cases[] = {
        {"garbage", "\x01\x02 nonsense\r\n\r\n", "400 Bad Request"},
        {"conflicting lengths", "GET " + origin.url("/a") + " HTTP/1.0\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\n", "400"},
        {"chunked body", "POST " + origin.url("/form") + " HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n", "411 Length Required"},
        {"body longer than its length", post + "abc" + get("/c"), "HTTP/1.0"},
        {"silent", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Connection client(proxy);
        ASSERT_TRUE(client.ask(get("/a")).ends_with("doc a\n"));
        std::string rest = client.ask(c.second, 0);  // read to the close
        EXPECT_NE(rest.find(c.answer), std::string::npos) << rest;
        EXPECT_EQ(count(rest, "HTTP/1.0 "), c.second.empty() ? 0u : 1u) << rest;
        EXPECT_EQ(rest.find("doc c"), std::string::npos) << rest;
    }
    EXPECT_EQ(origin.request_count("/c"), 0u);
    ASSERT_EQ(proxy.stop(), 0) << proxy.log();
    EXPECT_EQ(check_cachedb(proxy.cachedir()), "");
}

TEST(E2eKeepAliveEnd, AStopEndsWorkersWaitingOnKeptConnectionsAtOnce) {
    OriginServer origin;
    origin.set("/a", OriginServer::document("doc a\n"));
    // Far longer than the server waits for its workers at its end.
    Harbord proxy({"-timeout", "60"});
    std::vector<std::unique_ptr<Connection>> idle;
    for (int i = 0; i < 3; i++) {
        idle.push_back(std::make_unique<Connection>(proxy));
        ASSERT_TRUE(idle.back()->ask(proxy_request("GET", origin.url("/a"), {KEEP})).ends_with("doc a\n"));
    }
    ASSERT_EQ(proxy.stop(), 0) << proxy.log();
    for (auto& connection : idle) EXPECT_TRUE(connection->closed());
    EXPECT_EQ(proxy.log().find("workers still running"), std::string::npos) << proxy.log();
}

TEST(E2eKeepAliveSlots, AKeptIdleConnectionGivesWayToAWaitingClient) {
    OriginServer origin;
    origin.set("/a", OriginServer::document("doc a\n"));
    Harbord proxy({"-maxcon", "1", "-timeout", "30"});
    Connection kept(proxy);
    ASSERT_TRUE(kept.ask(proxy_request("GET", origin.url("/a"), {KEEP})).ends_with("doc a\n"));
    // Long before the kept one's `timeout`, the waiting client is served.
    EXPECT_EQ(proxy.get(origin.url("/a")).body, "doc a\n");
    EXPECT_TRUE(kept.closed());
    // The end of the dropped worker's channel is expected, not a malfunction.
    ASSERT_EQ(proxy.stop(), 0);
    EXPECT_EQ(proxy.log().find("MALFUNCTION"), std::string::npos) << proxy.log();
}
