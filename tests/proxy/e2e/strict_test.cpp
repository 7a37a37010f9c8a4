// Heads that break the strict rules are refused before anything reaches the
// origin; what is passed on loses its hop-by-hop lines and names the proxy
// in a Via line, and a request that comes round again is refused as a loop.
#include "testsupport/HarbordFixture.h"
#include "testsupport/OriginServer.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

using namespace e2e;

namespace {

std::string refusal(const std::string& title, const std::string& intro, const std::string& reason) {
    return "<HTML>\n<TITLE>" + title + "</TITLE>\n<BODY><H2>" + title + ":</H2>\n<P>" + intro + "\n" +
           reason + "</P></BODY></HTML>";
}

TEST(E2eStrict, BadHeadsAreRefusedAndNothingReachesTheOrigin) {
    OriginServer origin;
    origin.set("/never", OriginServer::document("must not be fetched\n"));
    Harbord proxy;
    ASSERT_TRUE(proxy.running()) << proxy.log();
    const std::string never = origin.url("/never"), end = " HTTP/1.0\r\n\r\n", post = "POST " + never + " HTTP/1.0\r\n",
                      length = "the Content-Length header holds no valid length.", port = std::to_string(origin.port());
    for (auto [request, status, reason] : {
             std::tuple<std::string, int, std::string>{"GET " + never + " HTTP/1.0\r\nX: a\rInjected: b\r\n\r\n", 400, "a header line holds a control character."},
             {"GET " + never + "\rX: y" + end, 400, "the request line holds a control character."},
             {"GET " + never + "\"x" + end, 400, "the URL holds a character that is not allowed there."},
             {post + "Content-Length: 5abc\r\n\r\nhello", 400, length},
             {post + "Content-Length: 4294967301\r\n\r\nhello", 400, length},
             {post + "Content-Length: 5\r\nContent-Length: 6\r\n\r\nhello", 400, "two Content-Length headers give different lengths."},
             {post + "Transfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n", 411,
              "a request body with a Transfer-Encoding cannot be passed on."},
             // Wrapped at 2^32, this port would be the origin's.
             {"GET http://127.0.0.1:" + std::to_string(4294967296ull + origin.port()) + "/never" + end, 400,
              "the port of the URL is not a number from 1 to 65535."},
             {"GET http://127.0.0.1:" + port + "@quaylo/never" + end, 400, "the URL holds a user name or password."},
             {"GET " + never + "?" + std::string(8200, 'q') + end, 414, "the request line is too long."},
             {"GET " + never + " HTTP/1.0\r\nX: " + std::string(8200, 'x') + "\r\n\r\n", 431,
              "the header lines of the request are too long."}}) {
        HttpResult answer = proxy.send(request);
        EXPECT_EQ(answer.status, status) << reason;
        EXPECT_EQ(answer.body, refusal("Error from Quaylo", "Quaylo refused your request:", reason));
    }
    EXPECT_EQ(origin.request_count(), 0u);
}

TEST(E2eStrict, PassedOnHeadsLoseHopByHopLinesAndNameTheProxyWhichRefusesALoop) {
    OriginServer origin;
    OriginServer::Answer doc = OriginServer::document("doc\n");
    doc.headers = {"Connection: close, X-Private", "X-Private: 1", "Keep-Alive: timeout=5", "X-Kept: yes"};
    origin.set("/doc", doc);
    Harbord proxy({"-language", "deutsch"});
    ASSERT_TRUE(proxy.running()) << proxy.log();
    HttpResult answer = proxy.get(origin.url("/doc"), {"Connection: keep-alive, X-Secret", "X-Secret: s",
                                                       "Proxy-Connection: keep-alive", "Keep-Alive: 300",
                                                       "Proxy-Authorization: Basic dXNlcg==", "TE: trailers",
                                                       "Upgrade: h2c", "Via: 1.1 browser-side", "X-Kept: yes"});
    ASSERT_EQ(origin.request_count(), 1u);
    OriginServer::Request seen = origin.requests()[0];
    for (const char* name : {"Connection", "X-Secret", "Proxy-Connection", "Keep-Alive", "Proxy-Authorization", "TE",
                             "Upgrade"})
        EXPECT_FALSE(seen.has_header(name)) << name;
    std::string via = seen.header("Via"), pseudonym = via.substr(via.rfind(' ') + 1);
    EXPECT_EQ(seen.header("X-Kept") + "|" + via.substr(0, via.rfind(' ')), "yes|1.1 browser-side, 1.0");
    EXPECT_EQ(pseudonym.find_first_not_of("0123456789abcdef", 7), std::string::npos) << via;
    EXPECT_EQ(pseudonym.substr(0, 7) + std::to_string(pseudonym.size()), "quaylo-15");

    // The answer too, also when it comes from the cache.
    HttpResult cached = proxy.get(origin.url("/doc"));
    EXPECT_EQ(origin.request_count(), 1u);
    for (const HttpResult& a : {answer, cached}) {
        EXPECT_EQ(a.header("X-Kept") + "|" + a.header("Via") + "|" + a.body, "yes|1.0 " + pseudonym + "|doc\n");
        EXPECT_EQ(a.header("X-Private") + a.header("Keep-Alive"), "");
    }
    // The proxy's own line: the first client asked to keep its connection.
    EXPECT_EQ(answer.header("Connection") + "|" + cached.header("Connection"), "keep-alive|");
    HttpResult loop = proxy.get(origin.url("/doc"), {"Pragma: no-cache", "Via: 1.0 elsewhere, 1.0 " + pseudonym});
    EXPECT_EQ(loop.status, 508);
    EXPECT_EQ(loop.body, refusal("Fehlermeldung vom Quaylo", "Der Quaylo hat Ihre Anfrage abgelehnt:",
                                 "die Anfrage ist schon durch diesen Proxy gelaufen: sie laeuft im Kreis."));
    EXPECT_EQ(origin.request_count(), 1u);
}

} // namespace
