// What a proxy keeps of the header lines it passes on, and its Via line.
#include "http/HeadRules.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string s(const Str& text) { return std::string(text.data(), text.length()); }

TEST(HeadRules, HopByHopLinesAreDroppedAndViaNamesEveryProxyPassed) {
    const std::string kept = "Accept: */*\r\nTransfer-Encoding: chunked\r\n",
                      VIA_LINES = "Via: 1.1 cdn (Squid)\r\nX: y\r\nvia:  1.0 quaylo-ffff0000 \r\nVia:\r\n";
    struct Case {
        const char* name;
        std::string lines;
        std::string request, answer; // without the hop-by-hop lines
        std::string forwarded;       // the request's lines as forwarded
    } cases[] = {
        {"fixed names", "connection: close\r\nPROXY-CONNECTION: keep-alive\r\nKeep-Alive: 5\r\nTE: trailers\r\n"
                        "Trailer: X\r\nUpgrade: h2c\r\nProxy-Authorization: Basic eA==\r\n" + kept,
         kept, "Proxy-Authorization: Basic eA==\r\n" + kept, kept + "Via: 1.0 quaylo-0a1b2c3d\r\n"},
        {"names listed by Connection", "Connection: X-A,, x-b \r\nX-A: 1\r\nX-B:\r\nConnection:\tTransfer-Encoding\r\n"
                                       "X-C: 2\r\n" + kept,
         "X-C: 2\r\nAccept: */*\r\n", "X-C: 2\r\n" + kept, "X-C: 2\r\nAccept: */*\r\nVia: 1.0 quaylo-0a1b2c3d\r\n"},
        {"Via lines joined", VIA_LINES,
         VIA_LINES, VIA_LINES, "X: y\r\nVia: 1.1 cdn (Squid), 1.0 quaylo-ffff0000, 1.0 quaylo-0a1b2c3d\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Str lines(c.lines.data(), uint32_t(c.lines.size()));
        EXPECT_EQ(s(without_hop_by_hop(lines, true)), c.request);
        EXPECT_EQ(s(without_hop_by_hop(lines, false)), c.answer);
        EXPECT_EQ(s(with_via(without_hop_by_hop(lines, true), "quaylo-0a1b2c3d")), c.forwarded);
    }
    for (auto [lines, named] : {std::pair{"Via: 1.0 quaylo-0A1B2C3D\r\n", true},
                                {"Via: 1.1 a, HTTP/1.0 quaylo-0a1b2c3d (Quaylo)\r\n", true},
                                {"Via: 1.0 quaylo-0a1b2c3de, quaylo-0a1b2c3d\r\nX-Via: 1.0 quaylo-0a1b2c3d\r\n", false}})
        EXPECT_EQ(via_names(lines, "quaylo-0a1b2c3d"), named) << lines;
}

TEST(HeadRules, AnExchangeIsPrivateWithCookiesOrCredentialsOrWhenCacheControlSaysSo) {
    struct Case {
        const char* request;
        bool authorization;
        const char* answer;
        bool kept_private;
    } cases[] = {
        {"Accept: */*\r\n", false, "Cache-Control: max-age=60, public\r\n", false},
        {"COOKIE: a=1\r\n", false, "", true},
        {"", true, "", true},
        {"", false, "Set-Cookie: a=1\r\nset-cookie: b=2\r\n", true},
        {"", false, "Set-Cookie2: a=1\r\n", true},
        {"", false, "cache-control:   PRIVATE  \r\n", true},
        {"", false, "Cache-Control: private=\"Set-Cookie\", max-age=5\r\n", true},
        {"", false, "Cache-Control: max-age=0,No-Store\r\n", true},
        {"", false, "Cache-Control: x-nostore-private-ext=\"1\"\r\n", true}, // in doubt
        {"", false, "X-Cache-Control: private\r\nCookie: a=1\r\n", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(is_private_exchange(c.request, c.authorization, c.answer), c.kept_private)
            << c.request << c.answer;
    EXPECT_EQ(s(without_cookies("Set-Cookie: a=1\r\nX: 1\r\nSET-COOKIE:b\r\nSet-Cookie2: c\r\n")),
              "X: 1\r\n");
    for (auto [lines, listed] : {std::pair{"Cache-Control: No-Cache\r\n", true},
                                 {"Cache-Control: max-age=0 ,  no-cache=\"x\"\r\n", true},
                                 {"Cache-Control: no-cached, x=no-cache\r\n", false}})
        EXPECT_EQ(lists_element(lines, "cache-control", "no-cache"), listed) << lines;
}

} // namespace
