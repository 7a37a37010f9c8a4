// Origin servers that fail: refused connections, silence, oversized heads,
// garbage, bodies cut short. The client gets the error page with the
// detailed report, offering the cached copy when there is one.
#include "testsupport/HarbordFixture.h"
#include "testsupport/OriginServer.h"

#include <gtest/gtest.h>

#include <ctime>
#include <string>

using namespace e2e;

namespace {

const time_t AN_HOUR_AGO = ::time(nullptr) - 3600;

std::string link(const std::string& target) { return "<A HREF=\"" + target + "\">"; }

// The start of the English error page, up to its optional parts.
std::string error_page_start(const std::string& uri) {
    return "<HTML>\n<TITLE>Error from Quaylo</TITLE>\n<BODY><H2>Error from Quaylo:</H2>\n<P>The URL" +
           link(uri) + uri + "</A>\nyou requested could not be received from the remote server.</P>\n";
}

const std::string COPY_OFFERED =
    "<P>There's a (possibly outdated) copy of it in the\ncache, if you want to read that copy, " +
    link("http://quaylo/options?offline=1") +
    "switch to offline-mode</A> first, then you may reload the desired URL.</P>";

// The text between <PRE> and </PRE>, or "".
std::string details(const std::string& page) {
    size_t from = page.find("<HR><H2>Detailed error message:</H2>\n<PRE>");
    if (from == std::string::npos) return "";
    from = page.find("<PRE>", from) + 5;
    size_t to = page.find("</PRE>\n</BODY></HTML>", from);
    return to == std::string::npos ? "" : page.substr(from, to - from);
}

class E2eFailures : public ::testing::Test {
protected:
    OriginServer origin;
    void SetUp() override { ASSERT_TRUE(origin.listening()); }
};

TEST_F(E2eFailures, RefusedConnectionGivesTheErrorPageWithTheDetailedMessage) {
    Harbord proxy;
    ASSERT_TRUE(proxy.running()) << proxy.log();
    std::string url = "http://127.0.0.1:" + std::to_string(free_port()) + "/refused.html";

    HttpResult page = proxy.get(url);
    EXPECT_EQ(page.status, 501);
    EXPECT_EQ(page.header("Content-Type"), "text/html");
    EXPECT_EQ(page.header("Content-Length"), std::to_string(page.body.size()));
    EXPECT_EQ(page.body.compare(0, error_page_start(url).size(), error_page_start(url)), 0)
        << page.body;
    EXPECT_EQ(page.body.find("possibly outdated"), std::string::npos);
    std::string text = details(page.body);
    EXPECT_NE(text.find("UrlGet::contact_server connection to server failed"), std::string::npos)
        << page.body;
    EXPECT_NE(text.find("Reason code:111"), std::string::npos) << text;
}

TEST_F(E2eFailures, SilentOriginTimesOut) {
    Harbord proxy({"-timeout", "1"});
    ASSERT_TRUE(proxy.running()) << proxy.log();
    OriginServer::Answer silent = OriginServer::document("late\n");
    silent.delay_ms = 20000;
    origin.set("/silent.html", silent);

    HttpResult page = proxy.get(origin.url("/silent.html"));
    EXPECT_EQ(page.status, 501);
    EXPECT_EQ(details(page.body), "UrlGet::contact_server connection to server timed out\r\n");
}

TEST_F(E2eFailures, AnswerHeadOver8192BytesGivesTheErrorPage) {
    Harbord proxy;
    ASSERT_TRUE(proxy.running()) << proxy.log();
    std::string big = "HTTP/1.0 200 OK\r\nX-Padding: " + std::string(9000, 'p') + "\r\n\r\nbody";
    origin.set("/bighead.html", OriginServer::raw(big));
    // Just under the limit is still an answer.
    std::string fits = "HTTP/1.0 200 OK\r\nX-Padding: " + std::string(8000, 'p') + "\r\n\r\nbody";
    origin.set("/fits.html", OriginServer::raw(fits));

    HttpResult page = proxy.get(origin.url("/bighead.html"));
    EXPECT_EQ(page.status, 501);
    EXPECT_EQ(details(page.body),
              "UrlGet::contact_server answer-header from server exceeds limit (8192 byte)\r\n");

    HttpResult fine = proxy.get(origin.url("/fits.html"));
    EXPECT_EQ(fine.status, 200);
    EXPECT_EQ(fine.body, "body");
}

TEST_F(E2eFailures, DribbledOversizedHeadIsRefusedToo) {
    Harbord proxy;
    ASSERT_TRUE(proxy.running()) << proxy.log();
    OriginServer::Answer slow =
        OriginServer::raw("HTTP/1.0 200 OK\r\nX-Padding: " + std::string(9000, 'p') + "\r\n\r\n");
    slow.dribble_bytes = 1000;
    slow.dribble_ms = 5;
    origin.set("/slowhead.html", slow);
    HttpResult page = proxy.get(origin.url("/slowhead.html"));
    EXPECT_EQ(details(page.body),
              "UrlGet::contact_server answer-header from server exceeds limit (8192 byte)\r\n");
}

TEST_F(E2eFailures, GarbageOrNothingFromTheOriginGivesTheErrorPage) {
    Harbord proxy;
    ASSERT_TRUE(proxy.running()) << proxy.log();
    origin.set("/garbage", OriginServer::raw("\x01\x02 this is no answer at all\r\n\r\n<b>"));
    origin.set("/nothing", OriginServer::raw(""));

    for (const char* path : {"/garbage", "/nothing"}) {
        HttpResult page = proxy.get(origin.url(path));
        EXPECT_EQ(page.status, 501) << path;
        EXPECT_EQ(details(page.body), "UrlGet::contact_server unable to parse response from server\r\n")
            << path;
    }
}

TEST_F(E2eFailures, ErrorPageOffersTheCachedCopyAndOfflineModeServesIt) {
    Harbord proxy({"-updtime", "0"});
    ASSERT_TRUE(proxy.running()) << proxy.log();
    origin.set("/copy.html", OriginServer::document("the copy\n", "text/html", AN_HOUR_AGO));
    std::string url = origin.url("/copy.html");
    ASSERT_EQ(proxy.get(url).body, "the copy\n");
    ASSERT_TRUE(eventually([&] { return proxy.cache_files_for(url).size() == 1; }));

    // The origin goes away; the stale copy must be revalidated and cannot be.
    origin.stop();
    HttpResult page = proxy.get(url);
    EXPECT_EQ(page.status, 501);
    std::string expected_start = error_page_start(url) + COPY_OFFERED + "<HR><H2>";
    EXPECT_EQ(page.body.compare(0, expected_start.size(), expected_start), 0) << page.body;
    EXPECT_NE(details(page.body).find("connection to server failed"), std::string::npos);

    // The page's advice works.
    ASSERT_TRUE(proxy.set_offline(true));
    HttpResult cached = proxy.get(url);
    EXPECT_EQ(cached.status, 200);
    EXPECT_EQ(cached.body, "the copy\n");
}

TEST_F(E2eFailures, ErrorPageIsGermanWithLanguageDeutsch) {
    Harbord proxy({"-language", "deutsch"});
    ASSERT_TRUE(proxy.running()) << proxy.log();
    std::string url = "http://127.0.0.1:" + std::to_string(free_port()) + "/weg.html";
    HttpResult page = proxy.get(url);
    std::string start = "<HTML>\n<TITLE>Fehlermeldung vom Quaylo</TITLE>\n<BODY><H2>Fehlermeldung "
                        "vom Quaylo:</H2>\n<P>Die URL " +
                        link(url) + url + "</A>\nkonnte nicht empfangen werden.</P>\n<HR><H2>" +
                        "Detaillierte Fehlerbeschreibung:</H2>\n<PRE>";
    EXPECT_EQ(page.body.compare(0, start.size(), start), 0) << page.body;
}

TEST_F(E2eFailures, ResetInTheMiddleOfTheBodyLeavesNothingInTheCache) {
    Harbord proxy;
    ASSERT_TRUE(proxy.running()) << proxy.log();
    OriginServer::Answer broken = OriginServer::document(std::string(300000, 'r'));
    broken.cut_after = 100000;
    broken.reset = true;
    origin.set("/reset.html", broken);
    std::string url = origin.url("/reset.html");

    HttpResult partial = proxy.get(url);
    EXPECT_EQ(partial.status, 200);
    EXPECT_LT(partial.body.size(), 300000u);
    EXPECT_TRUE(eventually([&] { return proxy.cache_files_for(url).empty(); }));

    // Without a length announced, a reset still means incomplete.
    broken.send_content_length = false;
    origin.set("/reset-nolength.html", broken);
    std::string url2 = origin.url("/reset-nolength.html");
    proxy.get(url2);
    EXPECT_TRUE(eventually([&] { return proxy.cache_files_for(url2).empty(); }));

    ASSERT_TRUE(proxy.set_offline(true));
    EXPECT_EQ(proxy.get(url).status, 501);
    EXPECT_EQ(proxy.get(url2).status, 501);
}

} // namespace
