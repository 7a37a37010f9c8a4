// A document's life through the real proxy: fetched and stored, answered
// from the cache, revalidated once older than updtime, reloaded, kept over a
// kill -9, served offline when its origin is gone; and what is never kept.
#include "testsupport/HarbordFixture.h"
#include "testsupport/OriginServer.h"
#include "proxy/server/UrlGet.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

using namespace e2e;

namespace {

const time_t AN_HOUR_AGO = ::time(nullptr) - 3600;


// A document of size bytes, which the origin may break off.
OriginServer::Answer document(size_t size, size_t cut_after = OriginServer::NO_CUT,
                              bool reset = false, bool length = true) {
    OriginServer::Answer answer = OriginServer::document(OriginServer::pattern(size));
    answer.cut_after = cut_after;
    answer.reset = reset;
    answer.send_content_length = length;
    return answer;
}

OriginServer::Answer typed(OriginServer::Answer answer, const std::string& type) {
    answer.content_type = type;
    return answer;
}

TEST(E2eCaching, DocumentIsStoredServedFromTheCacheRevalidatedReloadedAndKeptOverAKill) {
    OriginServer origin;
    std::string body = "<HTML><BODY>first document</BODY></HTML>\n";
    OriginServer::Answer doc = OriginServer::document(body, "text/html", AN_HOUR_AGO);
    doc.headers.push_back("X-Padding: " + std::string(8000, 'p')); // a head just below the limit
    origin.set("/doc.html", doc);
    // Several transfer buffers long, and without a Content-Length.
    OriginServer::Answer big =
        OriginServer::document(OriginServer::pattern(300000), "text/plain", AN_HOUR_AGO);
    big.send_content_length = false;
    origin.set("/big.txt", big);
    // Slow enough (twelve seconds) to be killed in the middle, and small enough to keep;
    // without a Content-Length, only its unfinished cache file tells that it was cut.
    OriginServer::Answer slow =
        OriginServer::document(OriginServer::pattern(480000), "text/plain", AN_HOUR_AGO);
    slow.dribble_bytes = 4096;
    slow.dribble_ms = 100;
    slow.send_content_length = false;
    origin.set("/slow.txt", slow);
    std::string url = origin.url("/doc.html"), big_url = origin.url("/big.txt");
    std::string slow_url = origin.url("/slow.txt");
    Harbord proxy({"-updtime", "5"});
    ASSERT_TRUE(proxy.running()) << proxy.log();

    time_t before = ::time(nullptr);
    HttpResult first = proxy.get(url);
    time_t after = ::time(nullptr);
    EXPECT_EQ(first.body, body);
    EXPECT_EQ(first.header("Content-Length"), std::to_string(body.size()));
    EXPECT_EQ(first.header("Last-Modified"), OriginServer::http_date(AN_HOUR_AGO));
    // An origin-form request, with the Host line the client left out.
    ASSERT_EQ(origin.request_count(), 1u);
    EXPECT_EQ(origin.requests()[0].target, "/doc.html");
    EXPECT_EQ(origin.requests()[0].header("Host"), "127.0.0.1:" + std::to_string(origin.port()));
    CacheFile file = proxy.stored(url);
    EXPECT_EQ(file.status, 200);
    EXPECT_EQ(file.body, body);
    EXPECT_EQ(file.content_length, body.size());
    EXPECT_EQ(file.last_modified, OriginServer::http_date(AN_HOUR_AGO));
    HttpResult relayed = proxy.get(big_url);
    EXPECT_TRUE(relayed.body == big.body && relayed.header("Content-Length").empty());

    // Fresh copies come from the cache, now with their length.
    EXPECT_EQ(proxy.curl(url).body, body);
    HttpResult cached = proxy.curl(big_url);
    EXPECT_TRUE(cached.body == big.body) << cached.body.size() << " bytes";
    EXPECT_EQ(cached.header("Content-Length"), "300000");
    EXPECT_EQ(origin.request_count(), 2u);

    // Older than updtime, a copy is revalidated on the date it was stored;
    // the 304 renews that date, so the next request is answered at once.
    std::this_thread::sleep_for(std::chrono::seconds(6));
    EXPECT_EQ(proxy.get(url).body, body);
    ASSERT_EQ(origin.request_count("/doc.html"), 2u);
    std::string condition = origin.requests().back().header("If-Modified-Since");
    bool stored_date = false;
    for (time_t t = before - 1; t <= after + 1; t++)
        stored_date |= condition == OriginServer::http_date(t);
    EXPECT_TRUE(stored_date) << condition;
    EXPECT_EQ(proxy.get(url).body, body);
    EXPECT_EQ(origin.request_count("/doc.html"), 2u);
    EXPECT_EQ(proxy.stored(url).id, file.id);
    // A client's own later condition goes out instead.
    std::string later = OriginServer::http_date(::time(nullptr) + 7200);
    EXPECT_TRUE(proxy.get(big_url, {"If-Modified-Since: " + later}).body == big.body);
    EXPECT_EQ(origin.requests().back().header("If-Modified-Since"), later);

    // A reload asks without any condition, the client's too, and replaces the copy.
    std::string second = "second version\n";
    origin.set("/doc.html", OriginServer::document(second, "text/html", ::time(nullptr)));
    EXPECT_EQ(proxy.get(url, {"Pragma: no-cache", "If-Modified-Since: " + later}).body, second);
    OriginServer::Request reload = origin.requests().back();
    EXPECT_FALSE(reload.has_header("If-Modified-Since")) << reload.head;
    EXPECT_EQ(reload.header("Pragma"), "no-cache");
    EXPECT_TRUE(eventually([&] { return proxy.stored(url, 0).body == second; }));
    // The hits before kept the old copy in memory; the next hit is the new one.
    EXPECT_EQ(proxy.get(url).body, second);

    // A clean stop keeps the index for the next start. Killed in the middle
    // of a download, the next start rebuilds it from the cache files and
    // keeps only the complete ones.
    for (int run = 0; run < 2; run++) {
        ASSERT_EQ(proxy.stop(), 0) << proxy.log();
        ASSERT_TRUE(proxy.start()) << proxy.log();
        EXPECT_EQ(read_file(proxy.cachedir() + "/cachedb"), "");
    }
    std::thread client([&] { proxy.get(slow_url); });
    bool partial = eventually([&] { return unfinished_bytes(proxy.cachedir()) >= 65536; });
    proxy.kill9();
    client.join();
    ASSERT_TRUE(partial) << "the download did not reach its unfinished cache file";
    EXPECT_TRUE(proxy.cache_files_for(slow_url).empty());
    ASSERT_TRUE(proxy.start({"-offline", "1"})) << proxy.log();
    EXPECT_NE(proxy.log().find("successfully recovered files: 2\n"), std::string::npos)
        << proxy.log();
    EXPECT_NE(proxy.log().find("invalid files found:  1\n"), std::string::npos) << proxy.log();
    EXPECT_EQ(unfinished_bytes(proxy.cachedir()), -1) << "the unfinished file stays";

    // Offline, copies are served whatever their age, reloads included.
    size_t asked = origin.request_count();
    EXPECT_EQ(proxy.get(url, {"Pragma: no-cache"}).body, second);
    EXPECT_TRUE(proxy.get(big_url).body == big.body);
    EXPECT_NE(proxy.get(slow_url).body.find("is not cached"), std::string::npos);
    EXPECT_EQ(origin.request_count(), asked);

    // Online again, the cut document is fetched whole and kept.
    ASSERT_TRUE(proxy.set_offline(false));
    slow.dribble_bytes = 0;
    origin.set("/slow.txt", slow);
    EXPECT_TRUE(proxy.get(slow_url).body == slow.body);
    EXPECT_EQ(origin.request_count("/slow.txt"), 2u);
    EXPECT_TRUE(eventually([&] { return proxy.stored(slow_url, 0).body == slow.body; }));

    // Its origin gone, a reload gets the error page offering the copy, and
    // the page's advice works.
    origin.stop();
    std::string page = proxy.get(url, {"Pragma: no-cache"}).body;
    EXPECT_NE(page.find("<P>There's a (possibly outdated) copy of it in the\ncache, if you want to "
                        "read that copy, <A HREF=\"http://quaylo/options?offline=1\">"),
              std::string::npos)
        << page;
    ASSERT_TRUE(proxy.set_offline(true));
    EXPECT_EQ(proxy.get(url).body, second);

    ASSERT_EQ(proxy.stop(), 0) << proxy.log();
    size_t entries = 0;
    EXPECT_EQ(check_cachedb(proxy.cachedir(), &entries), "");
    EXPECT_EQ(entries, 3u);
}

TEST(E2eCaching, WhatIsNotKeptWholeIsAskedForAgainWithoutCondition) {
    OriginServer origin;
    Harbord proxy;
    ASSERT_TRUE(proxy.running()) << proxy.log();
    OriginServer::Answer missing = OriginServer::status(404, "Not Found");
    missing.last_modified = AN_HOUR_AGO;
    std::string post = OriginServer::pattern(32768); // far beyond the head limit, in one piece
    struct Case {
        const char* name;
        OriginServer::Answer answer;
        std::string method; // HEAD: GET the second time
        std::string header;
        int kept_status; // of the file kept, 0 = none
    } cases[] = {
        // Asked every time, kept for its client's offline reading.
        {"authorized", document(100), "GET", "Authorization: Basic dXNlcjpwYXNz", 200},
        {"posted", document(100), "POST", "Content-Type: text/plain", 0},
        {"error status", missing, "GET", "", 404},
        {"head only (no page)", typed(document(100), "image/gif"), "HEAD", "", 200},
        {"cut short of its length", document(200000, 120000), "GET", "", 0},
        {"reset without length", document(300000, 100000, true, false), "GET", "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string path = "/" + std::to_string(&c - cases);
        origin.set(path, c.answer);
        std::string url = origin.url(path), method = c.method == "HEAD" ? "GET" : c.method;
        std::vector<std::string> headers;
        if (!c.header.empty()) headers.push_back(c.header);
        std::string body = c.method == "POST" ? post : "";
        EXPECT_EQ(proxy.send(proxy_request(c.method, url, headers, body)).status, c.answer.status);
        std::string second = proxy.send(proxy_request(method, url, headers, body)).body;
        // What came is the document or, when the origin broke off, a piece of its start.
        size_t whole = std::min(c.answer.cut_after, c.answer.body.size());
        EXPECT_TRUE(c.answer.body.compare(0, second.size(), second) == 0);
        EXPECT_TRUE(second.size() == whole || (c.answer.reset && second.size() < whole))
            << second.size() << " bytes";

        ASSERT_EQ(origin.request_count(path), 2u);
        OriginServer::Request seen = origin.requests().back();
        EXPECT_EQ(seen.method, method);
        EXPECT_FALSE(seen.has_header("If-Modified-Since")) << seen.head;
        EXPECT_TRUE(seen.body == body) << seen.body.size() << " bytes arrived";
        if (!c.header.empty()) {
            size_t colon = c.header.find(':');
            EXPECT_EQ(seen.header(c.header.substr(0, colon)), c.header.substr(colon + 2));
        }
        EXPECT_TRUE(eventually([&] {
            std::vector<CacheFile> files = proxy.cache_files_for(url);
            if (c.kept_status == 0) return files.empty();
            return files.size() == 1 && files[0].status == c.kept_status &&
                   files[0].body == c.answer.body;
        }));
    }
    ASSERT_EQ(proxy.stop(), 0) << proxy.log();
    size_t entries = 0;
    EXPECT_EQ(check_cachedb(proxy.cachedir(), &entries), "");
    EXPECT_EQ(entries, 3u);
}

TEST(E2eCaching, APageCheckedWithHeadIsFetchedWholeSoThatItsLoadIsAHit) {
    OriginServer origin;
    Harbord proxy;
    const struct {
        const char* name;
        OriginServer::Answer answer;
        size_t asked; // by the origin for the HEAD and the GET after it
    } cases[] = {
        {"a page", document(5000), 1},
        {"a page too large to fetch for a HEAD", document(UrlGet::WHOLE_FOR_HEAD_LIMIT + 1), 2},
        {"a page cut short", document(200000, 120000), 2},
        {"a page of unknown length", document(5000, OriginServer::NO_CUT, false, false), 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string path = "/" + std::to_string(&c - cases);
        origin.set(path, c.answer);
        std::string url = origin.url(path);
        auto head = proxy.send(proxy_request("HEAD", url));
        EXPECT_EQ(head.status, 200);
        EXPECT_EQ(head.body, "");
        EXPECT_EQ(origin.requests().back().method, "GET");
        auto load = proxy.send(proxy_request("GET", url));
        EXPECT_TRUE(load.body == c.answer.body || c.asked == 2);
        EXPECT_EQ(origin.request_count(path), c.asked);
    }
    ASSERT_EQ(proxy.stop(), 0) << proxy.log();
    EXPECT_EQ(check_cachedb(proxy.cachedir()), "");
}

} // namespace
