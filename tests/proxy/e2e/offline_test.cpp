// Offline mode through the real proxy: cached documents come from the cache
// whatever their age, everything else gets the offline page in the
// configured language, with the link that switches the proxy online.
#include "testsupport/HarbordFixture.h"
#include "testsupport/OriginServer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <string>
#include <thread>

using namespace e2e;

namespace {

const time_t AN_HOUR_AGO = ::time(nullptr) - 3600;

std::string link(const std::string& target) { return "<A HREF=\"" + target + "\">"; }

// The offline page as the proxy must write it, from its texts.
std::string offline_page(const std::string& uri, const std::string& title,
                         const std::string& url_intro, const std::string& not_cached,
                         const std::string& you_can, const std::string& go_online,
                         const std::string& then_retry) {
    return "<HTML>\n<TITLE>" + title + "</TITLE>\n<BODY><H2>" + title + ":</H2>\n<P>" + url_intro +
           link(uri) + uri + "</A>" + not_cached + "</P><P>" + you_can +
           link("http://quaylo/options?offline=0") + go_online + "</A>,\n" + then_retry +
           "</P></BODY></HTML>";
}

std::string english_offline_page(const std::string& uri) {
    return offline_page(uri, "Error from Quaylo", "The URL",
                        " you requested is not cached, and since this server\nis currently "
                        "switched to offline-mode, no attempt\ncan be made to get this URL from "
                        "the remote server.",
                        "You can ", "activate the online-mode", " then try to load the URL again.");
}

class E2eOffline : public ::testing::Test {
protected:
    OriginServer origin;

    void SetUp() override {
        ASSERT_TRUE(origin.listening());
        origin.set("/kept.html", OriginServer::document("kept in the cache\n", "text/html", AN_HOUR_AGO));
    }
};

TEST_F(E2eOffline, CachedUrlIsAnsweredFromTheCacheWhateverItsAge) {
    // updtime 0: online, every copy would be revalidated at once.
    Harbord proxy({"-updtime", "0"});
    ASSERT_TRUE(proxy.running()) << proxy.log();
    std::string url = origin.url("/kept.html");
    ASSERT_EQ(proxy.get(url).body, "kept in the cache\n");
    ASSERT_TRUE(eventually([&] { return proxy.cache_files_for(url).size() == 1; }));

    ASSERT_TRUE(proxy.set_offline(true));
    HttpResult cached = proxy.get(url);
    EXPECT_EQ(cached.status, 200);
    EXPECT_EQ(cached.body, "kept in the cache\n");
    // Not even a reload reaches the origin while offline.
    HttpResult reload = proxy.get(url, {"Pragma: no-cache"});
    EXPECT_EQ(reload.body, "kept in the cache\n");
    EXPECT_EQ(origin.request_count("/kept.html"), 1u);

    // Back online, the copy is revalidated again.
    ASSERT_TRUE(proxy.set_offline(false));
    EXPECT_EQ(proxy.get(url).body, "kept in the cache\n");
    EXPECT_EQ(origin.request_count("/kept.html"), 2u);
}

TEST_F(E2eOffline, UncachedUrlGetsTheOfflinePageWithTheLinkToGoOnline) {
    Harbord proxy({"-offline", "1"});
    ASSERT_TRUE(proxy.running()) << proxy.log();
    std::string url = origin.url("/never-fetched.html");

    HttpResult page = proxy.get(url);
    EXPECT_EQ(page.status, 501);
    EXPECT_EQ(page.header("Content-Type"), "text/html");
    EXPECT_EQ(page.body, english_offline_page(url));
    EXPECT_EQ(page.header("Content-Length"), std::to_string(page.body.size()));
    EXPECT_EQ(origin.request_count(), 0u);

    // The link on the page switches the proxy online.
    ASSERT_TRUE(proxy.set_offline(false));
    EXPECT_EQ(proxy.get(url).status, 404);
    EXPECT_EQ(origin.request_count("/never-fetched.html"), 1u);
}

TEST_F(E2eOffline, OfflinePageIsDutchWithLanguageDutch) {
    Harbord proxy({"-offline", "1", "-language", "dutch"});
    ASSERT_TRUE(proxy.running()) << proxy.log();
    std::string url = origin.url("/niet.html");
    HttpResult page = proxy.curl(url);
    EXPECT_EQ(page.status, 501);
    EXPECT_EQ(page.body,
              offline_page(url, "Foutmelding van Quaylo", "De URL ",
                           "die u opvroeg is niet in de cache aanwezig en\nkan niet opgehaald "
                           "worden omdat de proxy in\noffline-stand staat.",
                           "U kunt naar ", "online overschakelen",
                           " en dan nogmaals proberen de site te laden."));
}

TEST_F(E2eOffline, OfflinePageIsGermanWithLanguageDeutsch) {
    Harbord proxy({"-offline", "1", "-language", "deutsch"});
    ASSERT_TRUE(proxy.running()) << proxy.log();
    std::string url = origin.url("/nicht.html");
    HttpResult page = proxy.get(url);
    EXPECT_EQ(page.body,
              offline_page(url, "Fehlermeldung vom Quaylo", "Die URL ",
                           ", die Sie bestellten, befindet sich nicht im Cache,\nkann aber auch "
                           "nicht geholt werden, da der\nOffline-Modus aktiviert ist.",
                           "Sie koennen den ", "Online-Modus aktivieren",
                           " versuchen Sie dann nochmal, die Seite zu laden."));
}

TEST_F(E2eOffline, UrlOnTheOfflinePageIsEscaped) {
    Harbord proxy({"-offline", "1"});
    ASSERT_TRUE(proxy.running()) << proxy.log();
    std::string url = origin.url("/a<script>\"x\"&y");
    HttpResult page = proxy.get(url);
    EXPECT_EQ(page.status, 501);
    EXPECT_EQ(page.body.find("<script>"), std::string::npos);
    std::string escaped = origin.url("/a&lt;script&gt;&quot;x&quot;&amp;y");
    EXPECT_EQ(page.body, english_offline_page(escaped));
}

TEST_F(E2eOffline, HeadOnlyCopyDoesNotAnswerAGetWhileOffline) {
    Harbord proxy;
    ASSERT_TRUE(proxy.running()) << proxy.log();
    std::string url = origin.url("/kept.html");
    ASSERT_EQ(proxy.curl(url, {"-I"}).status, 200);
    ASSERT_TRUE(eventually([&] { return proxy.cache_files_for(url).size() == 1; }));
    ASSERT_TRUE(proxy.set_offline(true));

    EXPECT_EQ(proxy.curl(url, {"-I"}).status, 200);
    HttpResult get = proxy.get(url);
    EXPECT_EQ(get.status, 501);
    EXPECT_EQ(get.body, english_offline_page(url));
}

} // namespace
