// Cache::import where the export and import pages cannot reach it: copies
// that only a newer date lets in, the versions of a source in use, the date
// and status a copy keeps, and an import of a cache into itself. (The pages'
// tests in tests/proxy/admin carry the rest: selection, head-only documents,
// limits, versions in progress in the destination, failing copies.)
#include "proxy/cache/Cache.h"

#include "testsupport/CacheFixture.h"

namespace {

using CacheImportTest = CacheFixture;

TEST_F(CacheImportTest, OnlyNewerKeepsANewerOrEqualCopyOtherwiseTheSourceWins) {
    // A source on the export folder with the documents offered, one of them in use and
    // with a newer version waiting: only the current one counts.
    auto import = [&](const std::vector<Document>& offered, bool only_newer) {
        StderrCapture quiet;
        ExchangeCache source(options.exportdir, options.language, options.debug, options.exportdir,
                             options.importdir, true);
        for (const Document& doc : offered)
            store_document(source.cache(), doc);
        read_lock(source.cache(), "busy");
        store_document(source.cache(), {"busy", "version 2"});
        EXPECT_EQ(cache->import(source.cache(), {""}, only_newer), 0);
        return state();
    };
    store({"doc", "mine", 900000000});
    store({"same", "same", 850000000});
    const std::vector<Document> offered = {{"busy", "v1"},
                                           {"doc", "theirs", 800000000},
                                           {"same", "theirs", 850000000},
                                           {"new", "fresh", 784111777, false, 203}};
    EXPECT_EQ(import(offered, true), "doc:4 same:4 busy:2 new:5 | - | - | 15");
    const CacheEntry& copy = *cache->find_url("new")->current;
    EXPECT_EQ(text(copy.date.to_Str()), "Sun, 06 Nov 1994 08:49:37 GMT");
    EXPECT_TRUE(copy.errorcode == 203 && !copy.headeronly);
    EXPECT_EQ(import(offered, false), "busy:2 doc:6 new:5 same:6 | - | - | 19");
    EXPECT_EQ(cache->import(*cache, {""}, false), -1);
    EXPECT_EQ(std::string(fail_take()), "Cache::import internal inconsistency\r\n");
}

} // namespace
