#include "viewer/loader/GetUrl.h"

#include "tests/viewer/loader/LoaderTestSupport.h"
#include "testsupport/OriginServer.h"
#include "viewer/loader/LoaderTexts.h"

#include <gtest/gtest.h>

namespace {

// Short waits, so that a server that never answers is given up quickly.
const FetchWaits kQuickWaits{20, 5, 50};

}  // namespace

TEST(GetUrl, GetReadsHeadAndBody) {
    OriginServer origin;
    origin.set("/a", OriginServer::document("<html>a</html>"));
    FetchedAnswer answer;
    ASSERT_EQ(get_url("GET", origin.url("/a"), answer, {}), 1) << TakeReport();
    EXPECT_EQ(answer.head.errorcode, 200);
    EXPECT_EQ(answer.body, "<html>a</html>");
    EXPECT_EQ(answer.headText.substr(0, 12), "HTTP/1.0 200");
    EXPECT_FALSE(fail_pending());
}

TEST(GetUrl, HeadEndsWithTheHead) {
    OriginServer origin;
    origin.set("/a", OriginServer::document("<html>a</html>"));
    FetchedAnswer answer;
    ASSERT_EQ(get_url("HEAD", origin.url("/a"), answer, {}), 1) << TakeReport();
    EXPECT_EQ(answer.head.content_length, 14u);
    EXPECT_EQ(answer.body, "");
    ASSERT_EQ(origin.requests().size(), 1u);
    EXPECT_EQ(origin.requests()[0].method, "HEAD");
}

TEST(GetUrl, BareLineFeedsAndZeroBytes) {
    OriginServer origin;
    origin.set("/lf", OriginServer::raw(std::string("HTTP/1.0 200 OK\nServer: x\n\na\0b", 30)));
    FetchedAnswer answer;
    ASSERT_EQ(get_url("GET", origin.url("/lf"), answer, {}), 1) << TakeReport();
    EXPECT_EQ(answer.body, "a b");
}

TEST(GetUrl, ThroughTheProxyTheRequestNamesTheFullUrl) {
    OriginServer proxy;
    proxy.set("/options?offline=1", OriginServer::document("switched"));
    FetchedAnswer answer;
    ASSERT_EQ(get_url("GET", "http://quaylo/options?offline=1", answer, {"127.0.0.1", proxy.port()}), 1)
        << TakeReport();
    EXPECT_EQ(answer.body, "switched");
    ASSERT_EQ(proxy.requests().size(), 1u);
    EXPECT_EQ(proxy.requests()[0].target, "http://quaylo/options?offline=1");
    EXPECT_EQ(proxy.requests()[0].header("Pragma"), "Vantlow");
}

TEST(GetUrl, UrlWithoutSchemeFailsWithoutReport) {
    FetchedAnswer answer;
    EXPECT_EQ(get_url("GET", "index.html", answer, {}), 0);
    EXPECT_FALSE(fail_pending());
}

TEST(GetUrl, UnbuildableRequestIsReported) {
    FetchedAnswer answer;
    EXPECT_EQ(get_url("PUT", "http://127.0.0.1/", answer, {}), 0);
    std::string report = TakeReport();
    EXPECT_NE(report.find(std::string("get_url() ") + loader_text::kCreatingRequest), std::string::npos) << report;
}

TEST(GetUrl, FailuresCarryTheirTexts) {
    OriginServer origin;
    std::string longHead = "HTTP/1.0 200 OK\r\nX: " + std::string(9000, 'x');
    origin.set("/long", OriginServer::raw(longHead));
    origin.set("/cut", OriginServer::raw("HTTP/1.0 200 OK\r\n"));
    origin.set("/big", OriginServer::raw("HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nthree"));
    origin.set("/garbage", OriginServer::raw("no status line here\r\n\r\n"));
    OriginServer::Answer silent = OriginServer::document("late");
    silent.delay_ms = 60000;
    origin.set("/silent", silent);

    struct Case {
        std::string url;
        const char* text;
    } cases[] = {
        {origin.url("/long"), loader_text::kHeadTooLong},
        {origin.url("/cut"), loader_text::kAnswerNotUnderstood},
        {origin.url("/big"), loader_text::kBodyTooLong},
        {origin.url("/garbage"), loader_text::kAnswerNotUnderstood},
        {origin.url("/silent"), loader_text::kNoConnection},
        {"http://127.0.0.1:" + std::to_string(UnusedPort()) + "/", loader_text::kContactFailed},
        {std::string("http://") + kUnresolvableHost + "/", loader_text::kContactFailed},
    };
    for (const Case& c : cases) {
        FetchedAnswer answer;
        EXPECT_EQ(get_url("GET", c.url, answer, {}, kQuickWaits), 0) << c.url;
        std::string report = TakeReport();
        EXPECT_NE(report.find(std::string("get_url() ") + c.text), std::string::npos) << c.url << ": " << report;
    }
    origin.stop();
}

TEST(GetUrl, AnswerAfterTheFirstWaitIsStillTaken) {
    OriginServer origin;
    // Waits of 5 ms with pauses of 5, 10, ... 50 ms between them: an answer
    // after 20 ms comes in the second or third wait, not after the first.
    OriginServer::Answer soon = OriginServer::document("soon");
    soon.delay_ms = 20;
    origin.set("/soon", soon);
    FetchedAnswer answer;
    EXPECT_EQ(get_url("GET", origin.url("/soon"), answer, {}, FetchWaits{5, 5, 50}), 1) << TakeReport();
    EXPECT_EQ(answer.body, "soon");
}
