// CONNECT tunnels: a browser's way to HTTPS sites through the proxy. The
// tunnel passes bytes without looking at them, so a plain origin behind it
// shows what passed, on each of the proxy's ways out.
#include "testsupport/HarbordFixture.h"
#include "testsupport/OriginServer.h"
#include "testsupport/Socks4Server.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

using namespace e2e;

namespace {

// CONNECT target (plus bytes sent right behind it); everything that comes
// back until the proxy closes.
std::string through_tunnel(const Harbord& proxy, const std::string& target, const std::string& after = "") {
    return exchange(proxy.port(), "CONNECT " + target + " HTTP/1.0\r\nHost: " + target + "\r\n\r\n" + after);
}

const char ESTABLISHED[] = "HTTP/1.0 200 Connection established\r\n\r\n";

} // namespace

// Directly, through a second harbord and through SOCKS: the bytes sent with
// the CONNECT reach the origin and its answer comes back whole.
TEST(E2eTunnel, BytesPassBothWaysOnEveryWayOut) {
    OriginServer origin;
    origin.set("/doc.html", OriginServer::document("a document\n"));
    const std::string port = std::to_string(origin.port()), target = "127.0.0.1:" + port;
    Harbord upstream({"-sslports", port});
    Socks4Server socks;
    const std::vector<std::string> ways[] = {
        {},
        {"-proxyhost", "127.0.0.1", "-proxyport", std::to_string(upstream.port())},
        {"-sockshost", "127.0.0.1", "-socksport", std::to_string(socks.port())},
    };
    for (const auto& way : ways) {
        SCOPED_TRACE(way.empty() ? "direct" : way[0]);
        std::vector<std::string> options = way;
        options.insert(options.end(), {"-sslports", "443," + port});
        Harbord proxy(options);
        std::string got = through_tunnel(proxy, target, "GET /doc.html HTTP/1.0\r\n\r\n");
        ASSERT_EQ(got.rfind(ESTABLISHED, 0), 0u) << got;
        HttpResult inner = parse_http(got.substr(sizeof ESTABLISHED - 1));
        EXPECT_EQ(inner.status, 200) << got;
        EXPECT_EQ(inner.body, "a document\n");
        // Garbage for the origin, or a client gone at once: the proxy goes on.
        through_tunnel(proxy, target, std::string("\x16\x03\x01\x00\xff garbage\r\n\r\n", 18));
        ::close(connect_loopback(proxy.port()));
        EXPECT_EQ(proxy.get(origin.url("/doc.html")).body, "a document\n");
    }
}

// Only the ports of sslports, never the proxy's own, only online; a bad
// target is refused before anything is connected.
TEST(E2eTunnel, RefusalsSayWhy) {
    OriginServer origin;
    const std::string port = std::to_string(origin.port()), closed = std::to_string(free_port());
    Harbord proxy({"-sslports", port + "," + closed});
    Harbord open({"-sslports", "1-65535"});
    const struct {
        const Harbord& proxy;
        std::string target;
        int status;
        const char* says;
    } cases[] = {
        {proxy, "127.0.0.1:443", 403, "sslports (" },
        {proxy, "127.0.0.1", 400, ""},
        {proxy, "127.0.0.1:0", 400, ""},
        {proxy, "127.0.0.1:65536", 400, ""},
        {proxy, "user:pw@127.0.0.1:" + port, 400, ""},
        {proxy, "no-such-host.invalid:" + port, 502, "cannot be reached"},
        {proxy, "127.0.0.1:" + closed, 502, "cannot be reached"},
        {open, "127.0.0.1:" + std::to_string(open.port()), 403, "cannot be reached"},
        {open, "localhost:" + std::to_string(open.iport()), 403, "cannot be reached"},
    };
    for (const auto& c : cases) {
        HttpResult answer = parse_http(through_tunnel(c.proxy, c.target));
        EXPECT_EQ(answer.status, c.status) << c.target << "\n" << answer.raw;
        EXPECT_NE(answer.body.find(c.says), std::string::npos) << c.target << "\n" << answer.body;
    }
    ASSERT_TRUE(open.set_offline(true));
    HttpResult offline = parse_http(through_tunnel(open, "127.0.0.1:" + port));
    EXPECT_EQ(offline.status, 503);
    EXPECT_NE(offline.body.find("offline"), std::string::npos) << offline.raw;
}

// A tunnel on which nothing moves ends after `timeout` seconds.
TEST(E2eTunnel, AnIdleTunnelEndsAfterTheTimeout) {
    OriginServer origin;
    OriginServer::Answer held = OriginServer::document("late\n");
    held.held = true;
    origin.set("/held.html", held);
    Harbord proxy({"-sslports", std::to_string(origin.port()), "-timeout", "1"});
    std::string got = through_tunnel(proxy, "127.0.0.1:" + std::to_string(origin.port()),
                                     "GET /held.html HTTP/1.0\r\n\r\n");
    EXPECT_EQ(got, ESTABLISHED);  // closed by the proxy, before the origin said anything
    origin.release_held();
}
