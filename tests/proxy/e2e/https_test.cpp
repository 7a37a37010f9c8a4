// HTTPS through harbord with real TLS on loopback: a TlsFront with test
// certificates before the test origin. A browser's tunnel passes the page
// whole; an absolute https:// request is fetched over TLS and then cached,
// revalidated and served offline exactly like HTTP; a certificate that does
// not hold gets the error page with the reason, and nothing is stored.
#include "testsupport/HarbordFixture.h"
#include "testsupport/OriginServer.h"
#include "testsupport/TempDir.h"
#include "testsupport/TestCertificates.h"
#include "testsupport/TlsFront.h"

#include <gtest/gtest.h>

#include <ctime>

using namespace e2e;

namespace {

const TestCertificates& certificates() {
    static TempDir directory("https-e2e");
    static const TestCertificates made = TestCertificates::make(directory.path());
    return made;
}

class E2eHttps : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(certificates().failure, "");
        origin.set("/page.html", OriginServer::document("a secure page\n", "text/html", ::time(nullptr) - 3600));
    }
    std::string url(const TlsFront& front) const {
        return "https://127.0.0.1:" + std::to_string(front.port()) + "/page.html";
    }
    std::vector<std::string> options(const TlsFront& front, const std::vector<std::string>& more = {}) const {
        std::vector<std::string> all = {"-cafile", certificates().ca(), "-sslports", std::to_string(front.port())};
        all.insert(all.end(), more.begin(), more.end());
        return all;
    }
    size_t asked() const { return origin.requests().size(); }
    OriginServer origin;
};

} // namespace

TEST_F(E2eHttps, TunnelledAndFetchedPagesArriveWholeAndFetchedOnesAreCachedLikeHttp) {
    TlsFront front(certificates().certificate("good"), certificates().key("good"), origin.port());
    Harbord proxy(options(front));
    if (program_exists("curl")) {
        HttpResult tunnelled = proxy.curl(url(front), {"--cacert", certificates().ca()});
        // curl shows the proxy's "Connection established" head, then the origin's answer.
        EXPECT_EQ(tunnelled.status, 200);
        EXPECT_EQ(parse_http(tunnelled.body).body, "a secure page\n") << tunnelled.raw;
        EXPECT_TRUE(proxy.cache_files_for(url(front)).empty());  // a tunnel stores nothing
    }
    const size_t before = asked();
    EXPECT_EQ(proxy.get(url(front)).body, "a secure page\n");
    CacheFile stored = proxy.stored(url(front));
    EXPECT_TRUE(stored.valid && stored.body == "a secure page\n");
    EXPECT_EQ(asked(), before + 1);
    EXPECT_EQ(proxy.get(url(front)).body, "a secure page\n");
    EXPECT_EQ(asked(), before + 1);  // the second one came from the cache

    Harbord checking(options(front, {"-updtime", "0"}));
    checking.get(url(front));
    HttpResult renewed = checking.get(url(front));
    EXPECT_EQ(renewed.body, "a secure page\n");
    EXPECT_TRUE(origin.requests().back().has_header("If-Modified-Since")) << origin.requests().back().head;

    // Through a remote proxy the request goes down a tunnel of its own.
    Harbord chained(options(front, {"-proxyhost", "127.0.0.1", "-proxyport", std::to_string(checking.port())}));
    EXPECT_EQ(chained.get(url(front)).body, "a secure page\n");

    origin.stop();
    ASSERT_TRUE(proxy.set_offline(true));
    EXPECT_EQ(proxy.get(url(front)).body, "a secure page\n");
}

TEST_F(E2eHttps, ACertificateThatDoesNotHoldGivesTheErrorPageWithTheReasonAndStoresNothing) {
    const std::pair<const char*, const char*> cases[] = {
        {"other_host", "for another host"},
        {"expired", "has expired"},
        {"unknown_ca", "unknown authority"},
        {"self_signed", "self-signed"},
    };
    for (auto [kind, reason] : cases) {
        SCOPED_TRACE(kind);
        TlsFront front(certificates().certificate(kind), certificates().key(kind), origin.port());
        Harbord proxy(options(front));
        HttpResult answer = proxy.get(url(front));
        EXPECT_EQ(answer.status, 501);
        EXPECT_NE(answer.body.find(reason), std::string::npos) << answer.body;
        EXPECT_TRUE(proxy.cache_files_for(url(front)).empty());
    }
    // Origins that fail the handshake; the timeout holds for one that never answers.
    const std::pair<TlsFront::Behaviour, const char*> servers[] = {
        {TlsFront::Behaviour::close_during_handshake, "closed the connection during the TLS handshake"},
        {TlsFront::Behaviour::plain_answer, "does not speak TLS"},
        {TlsFront::Behaviour::silent, "timed out"},
    };
    for (auto [behaviour, reason] : servers) {
        TlsFront front(certificates().certificate("good"), certificates().key("good"), origin.port(), behaviour);
        Harbord impatient(options(front, {"-timeout", "1"}));
        HttpResult answer = impatient.get(url(front));
        EXPECT_NE(answer.body.find(reason), std::string::npos) << answer.body;
        EXPECT_TRUE(impatient.cache_files_for(url(front)).empty());
    }
}
