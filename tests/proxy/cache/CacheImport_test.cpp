// Import and export: copying selected documents from one cache into another,
// and the second cache on an export or import folder.
#include "proxy/cache/Cache.h"

#include "testsupport/CacheFixture.h"

namespace {

namespace fs = std::filesystem;

// The proxy's cache is the destination; the source is the second cache on
// the export folder, with no limit of practical size.
class CacheImportTest : public CacheFixture {
protected:
    void SetUp() override {
        CacheFixture::SetUp();
        open_source();
    }
    void TearDown() override {
        close_source();
        CacheFixture::TearDown();
    }
    void open_source(bool recover = true) {
        close_source();
        StderrCapture quiet;
        source = std::make_unique<ExchangeCache>(options.exportdir, options.language, options.debug,
                                                 options.exportdir, options.importdir, recover);
    }
    void close_source() {
        StderrCapture quiet;
        source.reset();
    }
    uint32_t offer(const Document& doc) { return store_document(from(), doc); }
    Cache& from() { return source->cache(); }
    std::string source_state() { return cache_state(from(), dir.file("exportdir")); }
    std::string import(const UrlSelection& selection, bool only_newer, int32_t result = 0) {
        EXPECT_EQ(cache->import(from(), selection, only_newer), result);
        return fail_pending() ? fail_take() : "";
    }
    std::unique_ptr<ExchangeCache> source;
};

TEST_F(CacheImportTest, SelectedCurrentVersionsAreCopiedUnderNewIds) {
    struct Case {
        const char* name;
        std::vector<Document> offered, here;
        UrlSelection selection;
        bool only_newer;
        const char* expected;
    };
    const Case cases[] = {
        {"a new document", {{"new", "fresh body"}}, {}, {""}, false,
         "current new:10; waiting; writing; total 10"},
        {"an older copy is replaced", {{"doc", "newer body", 900000000}},
         {{"doc", "old", 800000000}}, {""}, true, "current doc:10; waiting; writing; total 10"},
        {"only-newer keeps a newer or equal copy",
         {{"doc", "theirs", 800000000}, {"same", "theirs", 850000000}},
         {{"doc", "mine", 900000000}, {"same", "same", 850000000}}, {""}, true,
         "current doc:4 same:4; waiting; writing; total 8"},
        {"without only-newer the source wins", {{"doc", "theirs", 800000000}},
         {{"doc", "mine", 900000000}}, {""}, false, "current doc:6; waiting; writing; total 6"},
        {"a host and a directory selection",
         {{"http://a.example/1", "a"}, {"http://a.example/dir/2", "a2"},
          {"http://b.example/1", "b"}, {"http://b.example/dir/1", "b1"}, {"ftp://a.example/1", "f"}},
         {}, {"http://a.example", "http://b.example/dir/"}, false,
         "current http://a.example/1:1 http://a.example/dir/2:2 http://b.example/dir/1:2; waiting; "
         "writing; total 5"},
        {"head-only source versions are skipped", {{"head", "", 1, true}}, {}, {""}, false,
         "current; waiting; writing; total 0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        close_source();
        close();
        fs::remove_all(cachedir());
        fs::remove_all(dir.file("exportdir"));
        open();
        open_source();
        for (const Document& doc : c.offered) offer(doc);
        for (const Document& doc : c.here) store(doc);
        std::string offered = source_state();
        EXPECT_EQ(import(c.selection, c.only_newer), "");
        EXPECT_EQ(state(), c.expected);
        EXPECT_EQ(source_state(), offered);
    }
}

TEST_F(CacheImportTest, ACopyKeepsTheFieldsAndTheFileOfTheSource) {
    Document doc{"new", "fresh body", 784111777};
    doc.status = 203;
    uint32_t offered = offer(doc);
    EXPECT_EQ(import({""}, false), "");
    const CacheEntry& copy = *cache->find_url("new")->current;
    EXPECT_EQ(text(copy.date.to_Str()), "Sun, 06 Nov 1994 08:49:37 GMT");
    EXPECT_TRUE(copy.errorcode == 203 && !copy.headeronly);
    EXPECT_EQ(read_file(file(copy.id)), read_file(text(from().file_name(offered))));
}

TEST_F(CacheImportTest, VersionsInProgressOnEitherSideAndTheDestinationsLimits) {
    Str file;
    uint32_t id = 0;
    from().get_write_lock("writing", date_of(1), false, 200, file, id);
    offer({"w", "v1"});
    read_lock(from(), "w");
    offer({"w", "version 2"}); // only the current version counts
    offer({"busy", "from source"});
    cache->get_write_lock("busy", date_of(1), false, 200, file, id);
    write_cache_file(text(file), {"busy", "partial"});
    ASSERT_EQ(options.set.set("cachefiles", "3"), 0);
    for (const char* url : {"a", "b", "c"}) offer({url, "abc"});
    EXPECT_EQ(import({""}, false), "");
    EXPECT_EQ(state(), "current b:3 c:3 w:2; waiting; writing busy:0r1; total 8");
}

TEST_F(CacheImportTest, AFailingCopyEndsTheImportKeepingEarlierCopies) {
    offer({"1", "one"});
    uint32_t broken = offer({"2", "two"});
    offer({"3", "three"});
    fs::remove(text(from().file_name(broken)));
    EXPECT_EQ(import({""}, false, -1), "Cache::import unable to read file from source-cache, "
                                       "reason:\r\n IFileStream: unable to open file " +
                                           text(from().file_name(broken)) + "\r\n");
    EXPECT_EQ(state(), "current 1:3; waiting; writing; total 3");

    // The directory option is read at use time: no file can be made there.
    ASSERT_EQ(options.cachedir.from_Str(dir.file("missing").c_str()), 0);
    EXPECT_EQ(import({"3"}, false, -1).rfind("Cache::import unable to write file to destination-"
                                             "cache, reason:\r\n OFileStream: unable to open file " +
                                                 dir.file("missing/"), 0),
              0u);
    ASSERT_EQ(options.cachedir.from_Str(cachedir().c_str()), 0);
    EXPECT_EQ(state(), "current 1:3; waiting; writing; total 3");

    EXPECT_EQ(cache->import(*cache, {""}, false), -1);
    EXPECT_EQ(std::string(fail_take()), "Cache::import internal inconsistency\r\n");
}

TEST_F(CacheImportTest, ExportFolderGetsItsCachedbAtTheEndAndAnImportNeedsIt) {
    offer({"big", std::string(600 * 1024, 'x')}); // above the proxy's entrysize
    offer({"c", "c"});
    EXPECT_FALSE(fs::exists(dir.file("exportdir/cachedb")));
    open_source();
    ASSERT_FALSE(source->failed());
    EXPECT_EQ(source_state(), "current big:614400 c:1; waiting; writing; total 614401");
    // Opened for an import, a folder of cache files without cachedb is refused.
    close_source();
    fs::remove(dir.file("exportdir/cachedb"));
    open_source(false);
    EXPECT_TRUE(source->failed());
    EXPECT_NE(std::string(fail_take()).find("Cache: unable to initialize database"),
              std::string::npos);
    close_source();
    EXPECT_FALSE(fs::exists(dir.file("exportdir/cachedb")));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.file("exportdir")), fs::directory_iterator()), 2);
}

} // namespace
