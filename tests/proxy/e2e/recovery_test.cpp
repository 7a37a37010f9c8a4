// A proxy killed while it stores several documents: the next start rebuilds
// its index from the cache files, keeps what was complete and never serves
// a download cut short of its announced length as if it were whole.
#include "testsupport/HarbordFixture.h"
#include "testsupport/OriginServer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

using namespace e2e;

namespace {

const time_t AN_HOUR_AGO = ::time(nullptr) - 3600;
constexpr size_t BIG = 400000;
constexpr int DOWNLOADS = 3;

std::string big_path(int i) { return "/big" + std::to_string(i) + ".bin"; }

TEST(E2eRecovery, RestartAfterKillKeepsCompleteDocumentsAndNeverServesPartialOnes) {
    OriginServer origin;
    ASSERT_TRUE(origin.listening());
    origin.set("/complete.html", OriginServer::document("complete\n", "text/html", AN_HOUR_AGO));
    // Slow enough that the kill comes in the middle of every download.
    for (int i = 0; i < DOWNLOADS; i++) {
        OriginServer::Answer big = OriginServer::document(std::string(BIG, char('A' + i)),
                                                          "application/octet-stream", AN_HOUR_AGO);
        big.dribble_bytes = 8192;
        big.dribble_ms = 100;
        origin.set(big_path(i), big);
    }

    Harbord proxy;
    ASSERT_TRUE(proxy.running()) << proxy.log();
    std::string complete = origin.url("/complete.html");
    ASSERT_EQ(proxy.get(complete).body, "complete\n");
    ASSERT_TRUE(eventually([&] { return proxy.cache_files_for(complete).size() == 1; }));

    std::vector<std::thread> clients;
    for (int i = 0; i < DOWNLOADS; i++)
        clients.emplace_back([&, i] { proxy.get(origin.url(big_path(i)), {}); });
    // Wait until every download has reached its cache file (the first 64 KiB
    // buffer has been written out) but none is complete.
    bool all_partial = eventually(
        [&] {
            for (int i = 0; i < DOWNLOADS; i++) {
                auto files = proxy.cache_files_for(origin.url(big_path(i)));
                if (files.size() != 1 || files[0].body.size() < 65536) return false;
            }
            return true;
        },
        20000);
    proxy.kill9();
    for (std::thread& t : clients) t.join();
    ASSERT_TRUE(all_partial) << "downloads did not reach their cache files";
    for (int i = 0; i < DOWNLOADS; i++) {
        auto files = proxy.cache_files_for(origin.url(big_path(i)));
        ASSERT_EQ(files.size(), 1u);
        EXPECT_EQ(files[0].content_length, BIG);
        EXPECT_LT(files[0].body.size(), BIG);
    }
    EXPECT_TRUE(read_text_file(proxy.cachedir() + "/cachedb").empty());

    // Offline, so that only the cache can answer.
    ASSERT_TRUE(proxy.start({"-offline", "1"})) << proxy.log();
    EXPECT_NE(proxy.log().find("successfully recovered files: 1\n"), std::string::npos)
        << proxy.log();
    HttpResult kept = proxy.get(complete);
    EXPECT_EQ(kept.status, 200);
    EXPECT_EQ(kept.body, "complete\n");
    for (int i = 0; i < DOWNLOADS; i++) {
        HttpResult partial = proxy.get(origin.url(big_path(i)));
        EXPECT_EQ(partial.status, 501) << big_path(i);
        EXPECT_NE(partial.body.find("is not cached"), std::string::npos) << big_path(i);
    }

    // Online again, the documents are fetched whole and then kept.
    ASSERT_TRUE(proxy.set_offline(false));
    for (int i = 0; i < DOWNLOADS; i++) {
        OriginServer::Answer fast = OriginServer::document(std::string(BIG, char('A' + i)),
                                                           "application/octet-stream", AN_HOUR_AGO);
        origin.set(big_path(i), fast);
        HttpResult whole = proxy.get(origin.url(big_path(i)));
        EXPECT_EQ(whole.status, 200);
        EXPECT_TRUE(whole.body == fast.body) << big_path(i) << ": " << whole.body.size() << " bytes";
    }
    ASSERT_EQ(proxy.stop(), 0) << proxy.log();
    size_t entries = 0;
    EXPECT_EQ(check_cachedb(proxy.cachedir(), &entries), "");
    EXPECT_EQ(entries, size_t(1 + DOWNLOADS));
}

TEST(E2eRecovery, CleanStopWritesACachedbThatTheNextStartLoads) {
    OriginServer origin;
    ASSERT_TRUE(origin.listening());
    for (int i = 0; i < 5; i++)
        origin.set("/page" + std::to_string(i),
                   OriginServer::document(std::string(1000 * (i + 1), 'p'), "text/html", AN_HOUR_AGO));
    Harbord proxy;
    ASSERT_TRUE(proxy.running()) << proxy.log();
    for (int i = 0; i < 5; i++)
        ASSERT_EQ(proxy.get(origin.url("/page" + std::to_string(i))).body.size(), 1000u * (i + 1));
    ASSERT_EQ(proxy.stop(), 0) << proxy.log();
    size_t entries = 0;
    EXPECT_EQ(check_cachedb(proxy.cachedir(), &entries), "");
    EXPECT_EQ(entries, 5u);

    ASSERT_TRUE(proxy.start({"-offline", "1"})) << proxy.log();
    for (int i = 0; i < 5; i++)
        EXPECT_EQ(proxy.get(origin.url("/page" + std::to_string(i))).body.size(), 1000u * (i + 1));
    EXPECT_EQ(origin.request_count(), 5u);
}

} // namespace
