// Caching through the real proxy: what is stored, when the cache answers,
// when the origin is asked again and with which condition, and what is
// never stored.
#include "testsupport/HarbordFixture.h"
#include "testsupport/OriginServer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <thread>

using namespace e2e;

namespace {

const time_t AN_HOUR_AGO = ::time(nullptr) - 3600;

// Seconds since 1970 of an RFC 1123 date, or -1.
time_t parse_date(const std::string& text) {
    tm parts{};
    char weekday[4] = {};
    char month[4] = {};
    if (std::sscanf(text.c_str(), "%3s, %d %3s %d %d:%d:%d", weekday, &parts.tm_mday, month,
                    &parts.tm_year, &parts.tm_hour, &parts.tm_min, &parts.tm_sec) != 7)
        return -1;
    const char* months = "JanFebMarAprMayJunJulAugSepOctNovDec";
    const char* at = std::strstr(months, month);
    if (!at) return -1;
    parts.tm_mon = int(at - months) / 3;
    parts.tm_year -= 1900;
    return ::timegm(&parts);
}

class E2eCaching : public ::testing::Test {
protected:
    OriginServer origin;

    void SetUp() override { ASSERT_TRUE(origin.listening()); }

    std::string serve(const std::string& path, const std::string& body,
                      time_t last_modified = AN_HOUR_AGO) {
        origin.set(path, OriginServer::document(body, "text/html", last_modified));
        return origin.url(path);
    }
};

TEST_F(E2eCaching, FirstGetIsRelayedAndStoredInTheCacheFileLayout) {
    Harbord proxy;
    ASSERT_TRUE(proxy.running()) << proxy.log();
    std::string body = "<HTML><BODY>first document</BODY></HTML>\n";
    std::string url = serve("/first.html", body);

    HttpResult answer = proxy.curl(url);
    ASSERT_EQ(answer.status, 200) << answer.raw;
    EXPECT_EQ(answer.body, body);
    EXPECT_EQ(answer.header("Content-Length"), std::to_string(body.size()));
    EXPECT_EQ(answer.header("Last-Modified"), OriginServer::http_date(AN_HOUR_AGO));

    // The origin got an origin-form request with a Host line.
    ASSERT_EQ(origin.request_count("/first.html"), 1u);
    OriginServer::Request seen = origin.requests().back();
    EXPECT_EQ(seen.target, "/first.html");
    EXPECT_EQ(seen.header("Host"), "127.0.0.1:" + std::to_string(origin.port()));

    std::vector<CacheFile> files;
    ASSERT_TRUE(eventually([&] { return (files = proxy.cache_files_for(url)).size() == 1; }));
    const CacheFile& file = files[0];
    EXPECT_TRUE(file.valid);
    EXPECT_EQ(file.status, 200);
    EXPECT_EQ(file.url, url);
    EXPECT_EQ(file.body, body);
    EXPECT_EQ(file.content_length, body.size());
    EXPECT_EQ(file.last_modified, OriginServer::http_date(AN_HOUR_AGO));
}

TEST_F(E2eCaching, SecondGetWithinUpdtimeIsAnsweredFromTheCache) {
    Harbord proxy;
    ASSERT_TRUE(proxy.running()) << proxy.log();
    std::string body(10000, 'x');
    std::string url = serve("/fresh.html", body);

    ASSERT_EQ(proxy.curl(url).body, body);
    ASSERT_TRUE(eventually([&] { return proxy.cache_files_for(url).size() == 1; }));
    HttpResult again = proxy.curl(url);
    EXPECT_EQ(again.status, 200);
    EXPECT_EQ(again.body, body);
    EXPECT_EQ(again.header("Content-Length"), std::to_string(body.size()));
    EXPECT_EQ(origin.request_count("/fresh.html"), 1u);
}

TEST_F(E2eCaching, StaleCopyIsRevalidatedAndA304RenewsItsDate) {
    Harbord proxy({"-updtime", "3"});
    ASSERT_TRUE(proxy.running()) << proxy.log();
    std::string body = "unchanged document\n";
    std::string url = serve("/stale.html", body);

    time_t before = ::time(nullptr);
    ASSERT_EQ(proxy.curl(url).body, body);
    time_t after = ::time(nullptr);
    ASSERT_TRUE(eventually([&] { return proxy.cache_files_for(url).size() == 1; }));
    uint32_t id = proxy.cache_files_for(url)[0].id;

    // Let the copy grow older than updtime.
    std::this_thread::sleep_for(std::chrono::milliseconds(4200));
    HttpResult revalidated = proxy.curl(url);
    EXPECT_EQ(revalidated.status, 200);
    EXPECT_EQ(revalidated.body, body);
    ASSERT_EQ(origin.request_count("/stale.html"), 2u);
    // The condition is the date the copy was stored.
    std::string condition = origin.requests().back().header("If-Modified-Since");
    time_t stored = parse_date(condition);
    EXPECT_GE(stored, before - 1) << condition;
    EXPECT_LE(stored, after + 1) << condition;
    // Not newer than that: the origin said 304 and the copy stayed.
    std::vector<CacheFile> files = proxy.cache_files_for(url);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].id, id);

    // The 304 made the copy fresh again: no third request.
    HttpResult cached = proxy.curl(url);
    EXPECT_EQ(cached.body, body);
    EXPECT_EQ(origin.request_count("/stale.html"), 2u);
    EXPECT_EQ(proxy.cache_files_for(url).size(), 1u);
}

TEST_F(E2eCaching, ChangedDocumentReplacesTheCachedCopy) {
    Harbord proxy({"-updtime", "0"});
    ASSERT_TRUE(proxy.running()) << proxy.log();
    std::string url = serve("/changing.html", "version one\n");
    ASSERT_EQ(proxy.curl(url).body, "version one\n");
    ASSERT_TRUE(eventually([&] { return proxy.cache_files_for(url).size() == 1; }));
    uint32_t first_id = proxy.cache_files_for(url)[0].id;

    // Newer than any condition the proxy can send.
    serve("/changing.html", "version two, longer\n", ::time(nullptr) + 3600);
    HttpResult changed = proxy.curl(url);
    EXPECT_EQ(changed.body, "version two, longer\n");
    EXPECT_TRUE(origin.requests().back().has_header("If-Modified-Since"));

    std::vector<CacheFile> files;
    ASSERT_TRUE(eventually([&] {
        files = proxy.cache_files_for(url);
        return files.size() == 1 && files[0].id != first_id;
    })) << "files for the URL: " << files.size();
    EXPECT_EQ(files[0].body, "version two, longer\n");

    // With updtime 0 every request asks again; unchanged now, so 304.
    HttpResult again = proxy.curl(url);
    EXPECT_EQ(again.body, "version two, longer\n");
    EXPECT_EQ(origin.request_count("/changing.html"), 3u);
}

TEST_F(E2eCaching, ErrorEntryIsFetchedAgainWithoutCondition) {
    Harbord proxy;
    ASSERT_TRUE(proxy.running()) << proxy.log();
    OriginServer::Answer missing = OriginServer::status(404, "Not Found");
    missing.last_modified = AN_HOUR_AGO;
    origin.set("/missing.html", missing);
    std::string url = origin.url("/missing.html");

    EXPECT_EQ(proxy.curl(url).status, 404);
    ASSERT_TRUE(eventually([&] { return proxy.cache_files_for(url).size() == 1; }));
    EXPECT_EQ(proxy.cache_files_for(url)[0].status, 404);
    EXPECT_EQ(proxy.curl(url).status, 404);
    ASSERT_EQ(origin.request_count("/missing.html"), 2u);
    EXPECT_FALSE(origin.requests().back().has_header("If-Modified-Since"));
}

TEST_F(E2eCaching, PragmaNoCacheAlwaysFetchesWithoutConditionAndStores) {
    Harbord proxy;
    ASSERT_TRUE(proxy.running()) << proxy.log();
    std::string url = serve("/reload.html", "old\n");
    ASSERT_EQ(proxy.get(url).body, "old\n");
    ASSERT_TRUE(eventually([&] { return proxy.cache_files_for(url).size() == 1; }));

    serve("/reload.html", "new\n");
    std::string client_condition = "If-Modified-Since: " + OriginServer::http_date(::time(nullptr));
    HttpResult reloaded = proxy.get(url, {"Pragma: no-cache", client_condition});
    EXPECT_EQ(reloaded.status, 200);
    EXPECT_EQ(reloaded.body, "new\n");
    ASSERT_EQ(origin.request_count("/reload.html"), 2u);
    OriginServer::Request seen = origin.requests().back();
    EXPECT_FALSE(seen.has_header("If-Modified-Since")) << seen.head;
    EXPECT_EQ(seen.header("Pragma"), "no-cache");

    // The reloaded document replaced the stored one.
    ASSERT_TRUE(eventually([&] {
        auto files = proxy.cache_files_for(url);
        return files.size() == 1 && files[0].body == "new\n";
    }));
    EXPECT_EQ(proxy.get(url).body, "new\n");
    EXPECT_EQ(origin.request_count("/reload.html"), 2u);
}

TEST_F(E2eCaching, ClientsOwnLaterConditionIsKept) {
    Harbord proxy({"-updtime", "0"});
    ASSERT_TRUE(proxy.running()) << proxy.log();
    std::string url = serve("/condition.html", "text\n");
    ASSERT_EQ(proxy.get(url).body, "text\n");
    ASSERT_TRUE(eventually([&] { return proxy.cache_files_for(url).size() == 1; }));

    std::string later = OriginServer::http_date(::time(nullptr) + 7200);
    HttpResult answer = proxy.get(url, {"If-Modified-Since: " + later});
    // The origin answers 304; the proxy renews its copy and sends it.
    EXPECT_EQ(answer.status, 200);
    EXPECT_EQ(answer.body, "text\n");
    EXPECT_EQ(origin.requests().back().header("If-Modified-Since"), later);
}

TEST_F(E2eCaching, AuthorizedRequestIsRelayedButNeverStored) {
    Harbord proxy;
    ASSERT_TRUE(proxy.running()) << proxy.log();
    std::string url = serve("/private.html", "secret\n");

    HttpResult answer = proxy.get(url, {"Authorization: Basic dXNlcjpwYXNz"});
    EXPECT_EQ(answer.body, "secret\n");
    EXPECT_EQ(origin.requests().back().header("Authorization"), "Basic dXNlcjpwYXNz");
    HttpResult again = proxy.get(url, {"Authorization: Basic dXNlcjpwYXNz"});
    EXPECT_EQ(again.body, "secret\n");
    EXPECT_EQ(origin.request_count("/private.html"), 2u);
    // Give a wrongly started store the chance to show up.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_TRUE(proxy.cache_files_for(url).empty());
}

TEST_F(E2eCaching, PostBodyUpTo32768BytesIsRelayedAndNeverStored) {
    Harbord proxy;
    ASSERT_TRUE(proxy.running()) << proxy.log();
    std::string url = serve("/form", "thanks\n");
    std::string body;
    for (int i = 0; body.size() < 32768; i++) body += char('a' + i % 26);
    std::string file = proxy.dir() + "/post.bin";
    write_text_file(file, body);

    HttpResult answer = proxy.curl(url, {"--data-binary", "@" + file, "-H",
                                         "Content-Type: application/octet-stream"});
    EXPECT_EQ(answer.status, 200) << answer.raw;
    EXPECT_EQ(answer.body, "thanks\n");
    ASSERT_EQ(origin.request_count("/form"), 1u);
    OriginServer::Request seen = origin.requests().back();
    EXPECT_EQ(seen.method, "POST");
    EXPECT_EQ(seen.header("Content-Length"), "32768");
    EXPECT_TRUE(seen.body == body) << seen.body.size() << " bytes arrived";

    // Neither the POST nor a later GET of the same URL is answered from a copy.
    EXPECT_EQ(proxy.curl(url, {"--data-binary", "@" + file}).body, "thanks\n");
    EXPECT_EQ(origin.request_count("/form"), 2u);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_TRUE(proxy.cache_files_for(url).empty());
}

TEST_F(E2eCaching, HeadIsStoredHeadOnlyAndLaterGetFetchesTheWholeDocument) {
    Harbord proxy;
    ASSERT_TRUE(proxy.running()) << proxy.log();
    std::string body = "the whole document\n";
    std::string url = serve("/headfirst.html", body);

    HttpResult head = proxy.curl(url, {"-I"});
    EXPECT_EQ(head.status, 200);
    EXPECT_EQ(head.header("Content-Length"), std::to_string(body.size()));
    EXPECT_TRUE(head.body.empty());
    std::vector<CacheFile> files;
    ASSERT_TRUE(eventually([&] { return (files = proxy.cache_files_for(url)).size() == 1; }));
    EXPECT_TRUE(files[0].valid);
    EXPECT_TRUE(files[0].body.empty());

    HttpResult get = proxy.curl(url);
    EXPECT_EQ(get.body, body);
    ASSERT_EQ(origin.request_count("/headfirst.html"), 2u);
    EXPECT_EQ(origin.requests().back().method, "GET");
    EXPECT_FALSE(origin.requests().back().has_header("If-Modified-Since"));
    ASSERT_TRUE(eventually([&] {
        files = proxy.cache_files_for(url);
        return files.size() == 1 && files[0].body == body;
    }));
    // Now the whole document is cached.
    EXPECT_EQ(proxy.curl(url).body, body);
    EXPECT_EQ(origin.request_count("/headfirst.html"), 2u);
}

TEST_F(E2eCaching, AnswerWithoutContentLengthIsStoredAndLaterSentWithItsLength) {
    Harbord proxy;
    ASSERT_TRUE(proxy.running()) << proxy.log();
    OriginServer::Answer answer = OriginServer::document(std::string(150000, 'q'));
    answer.send_content_length = false;
    origin.set("/nolength.html", answer);
    std::string url = origin.url("/nolength.html");

    HttpResult first = proxy.curl(url);
    EXPECT_EQ(first.body.size(), 150000u);
    EXPECT_EQ(first.header("Content-Length"), "");
    ASSERT_TRUE(eventually([&] { return proxy.cache_files_for(url).size() == 1; }));
    HttpResult cached = proxy.curl(url);
    EXPECT_EQ(cached.body, answer.body);
    EXPECT_EQ(cached.header("Content-Length"), "150000");
    EXPECT_EQ(origin.request_count("/nolength.html"), 1u);
}

TEST_F(E2eCaching, LargeDocumentIsRelayedAndServedFromTheCacheIntact) {
    Harbord proxy({"-entrysize", "4096", "-cachesize", "16384"});
    ASSERT_TRUE(proxy.running()) << proxy.log();
    std::string body;
    body.reserve(3 << 20);
    uint32_t state = 12345;
    while (body.size() < (3u << 20)) {
        state = state * 214013 + 2531011;
        body += char(state >> 16);
    }
    origin.set("/big.bin", OriginServer::document(body, "application/octet-stream", AN_HOUR_AGO));
    std::string url = origin.url("/big.bin");

    EXPECT_TRUE(proxy.curl(url).body == body);
    ASSERT_TRUE(eventually([&] { return proxy.cache_files_for(url).size() == 1; }));
    EXPECT_TRUE(proxy.cache_files_for(url)[0].body == body);
    EXPECT_TRUE(proxy.curl(url).body == body);
    EXPECT_EQ(origin.request_count("/big.bin"), 1u);
}

TEST_F(E2eCaching, RedirectIsRelayedWithItsLocation) {
    Harbord proxy;
    ASSERT_TRUE(proxy.running()) << proxy.log();
    origin.set("/old", OriginServer::redirect(origin.url("/new")));
    HttpResult answer = proxy.get(origin.url("/old"));
    EXPECT_EQ(answer.status, 302);
    EXPECT_EQ(answer.header("Location"), origin.url("/new"));
}

TEST_F(E2eCaching, LoaderRequestIsForwardedWithHostAndWithoutItsPragma) {
    Harbord proxy;
    ASSERT_TRUE(proxy.running()) << proxy.log();
    std::string url = serve("/loader.html", "for the loader\n");
    HttpResult answer = proxy.send(loader_request("GET", url));
    EXPECT_EQ(answer.status, 200);
    EXPECT_EQ(answer.body, "for the loader\n");
    ASSERT_EQ(origin.request_count("/loader.html"), 1u);
    OriginServer::Request seen = origin.requests().back();
    EXPECT_FALSE(seen.has_header("Pragma")) << seen.head;
    EXPECT_EQ(seen.header("Host"), "127.0.0.1:" + std::to_string(origin.port()));
    EXPECT_EQ(seen.header("Accept"), "*/*");
}

TEST_F(E2eCaching, BodyCutShortOfItsContentLengthIsNotKept) {
    Harbord proxy;
    ASSERT_TRUE(proxy.running()) << proxy.log();
    OriginServer::Answer cut = OriginServer::document(std::string(200000, 'c'));
    cut.cut_after = 120000;
    origin.set("/cut.html", cut);
    std::string url = origin.url("/cut.html");

    HttpResult partial = proxy.get(url);
    EXPECT_EQ(partial.status, 200);
    EXPECT_EQ(partial.header("Content-Length"), "200000");
    EXPECT_EQ(partial.body.size(), 120000u);
    // Released as not stored: the file goes away and the next request asks again.
    EXPECT_TRUE(eventually([&] { return proxy.cache_files_for(url).empty(); }));
    origin.set("/cut.html", OriginServer::document(std::string(200000, 'c')));
    EXPECT_EQ(proxy.get(url).body.size(), 200000u);
    EXPECT_EQ(origin.request_count("/cut.html"), 2u);
}

TEST_F(E2eCaching, FullTextSearchListsTheCachedTextDocumentsContainingAllPieces) {
    Harbord proxy;
    ASSERT_TRUE(proxy.running()) << proxy.log();
    std::string both = serve("/both.html", "<P>The Harbour holds many SHIPS.</P>");
    std::string one = serve("/one.html", "<P>Only the harbour here.</P>");
    origin.set("/picture.bin",
               OriginServer::document("harbour ships", "application/octet-stream", AN_HOUR_AGO));
    std::string picture = origin.url("/picture.bin");
    for (const std::string& url : {both, one, picture}) ASSERT_EQ(proxy.get(url).status, 200);
    ASSERT_TRUE(eventually([&] { return proxy.cache_files().size() == 3; }));

    HttpResult page = proxy.get("http://quaylo/search?phrase=harbour,ships");
    EXPECT_EQ(page.status, 200);
    EXPECT_EQ(page.header("Content-Length"), std::to_string(page.body.size()));
    EXPECT_NE(page.body.find(both), std::string::npos) << page.body;
    EXPECT_EQ(page.body.find(one), std::string::npos) << page.body;
    EXPECT_EQ(page.body.find(picture), std::string::npos) << page.body;

    HttpResult none = proxy.get("http://quaylo/search?phrase=submarine");
    EXPECT_NE(none.body.find("No matching documents found.<BR>"), std::string::npos) << none.body;
}

} // namespace
