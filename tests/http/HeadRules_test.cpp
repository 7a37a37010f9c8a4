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

} // namespace
