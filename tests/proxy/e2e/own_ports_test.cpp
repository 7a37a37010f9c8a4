// The proxy's own ports seen from outside: nothing that reaches the internal
// port disturbs the proxy (it is no longer a channel to anything), and a
// proxied request for the internal or the listening port, on any address of
// this machine, is refused with the error page instead of being fetched.
#include "testsupport/HarbordFixture.h"
#include "testsupport/OriginServer.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

using namespace e2e;

namespace {

TEST(E2eOwnPorts, TheInternalPortDisturbsNothingAndOwnPortsAreRefused) {
    OriginServer origin;
    ASSERT_TRUE(origin.listening());
    origin.set("/ok", OriginServer::document("/ok"));
    Harbord proxy({"-debug", "1"});
    ASSERT_TRUE(proxy.running()) << proxy.log();
    ASSERT_EQ(proxy.get(origin.url("/ok")).body, "/ok"); // a worker has run

    // A bare connect to the internal port, then 4 KB of random bytes there.
    std::string noise(4096, '\0');
    std::mt19937 random(16);
    for (char& byte : noise) byte = char(random());
    for (const std::string& bytes : {std::string(), noise}) {
        int fd = connect_loopback(proxy.iport());
        if (fd >= 0) {
            ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            ::close(fd);
        }
        EXPECT_EQ(proxy.get(origin.url("/ok")).body, "/ok");
    }

    std::string port = std::to_string(proxy.port()), iport = std::to_string(proxy.iport());
    const std::string own = " of this machine: the proxy's own port",
                      internal = " of this machine: the proxy's internal port";
    struct Case {
        std::string url, method, body, refusal;
    } cases[] = {
        {"http://127.0.0.1:" + iport + "/", "GET", "", iport + internal},
        {"http://127.0.0.1:" + iport + "/", "POST", noise, iport + internal},
        {"http://127.0.0.1:" + port + "/x", "GET", "", port + own},
        {"http://localhost:" + port + "/", "GET", "", port + own},
        {"http://127.7.8.9:" + port + "/", "GET", "", port + own},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url);
        HttpResult answer = proxy.send(proxy_request(c.method, c.url, {}, c.body));
        EXPECT_EQ(answer.status, 403);
        std::string report = "UrlGet::contact_server refused to fetch from port " + c.refusal;
        EXPECT_NE(answer.body.find("<PRE>" + report + "\r\n</PRE>"), std::string::npos)
            << answer.body;
        EXPECT_NE(proxy.log().find(report + "\n"), std::string::npos) << proxy.log();
        EXPECT_EQ(proxy.get(origin.url("/ok")).body, "/ok");
    }
    EXPECT_EQ(proxy.stop(), 0) << proxy.log();
    EXPECT_EQ(proxy.log().find("MALFUNCTION"), proxy.log().rfind("MALFUNCTION")) << proxy.log();
}

} // namespace
