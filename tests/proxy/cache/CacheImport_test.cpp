// Import and export: copying selected documents from one cache into another.
#include "proxy/cache/Cache.h"

#include "CacheTestSupport.h"
#include "foundation/Fail.h"

#include <gtest/gtest.h>

#include <string>

using namespace cachetest;

namespace {

class CacheImportTest : public ::testing::Test {
protected:
    void SetUp() override {
        source = open_cache(source_options);
        target = open_cache(target_options);
        ASSERT_FALSE(source->failed());
        ASSERT_FALSE(target->failed());
    }
    void TearDown() override {
        StderrCapture quiet;
        source.reset();
        target.reset();
        fail_take();
    }

    std::string body_in(const Cache& cache, const std::string& url) {
        const UrlNode* node = cache.find_url(Str(url.c_str()));
        if (!node || !node->current) return "<missing>";
        std::string bytes = read_file(str(cache.file_name(node->current->id)));
        return bytes.substr(bytes.size() - node->current->bytes);
    }

    TempDir source_dir;
    TempDir target_dir;
    CacheOptions source_options{source_dir.path()};
    CacheOptions target_options{target_dir.path()};
    std::unique_ptr<Cache> source;
    std::unique_ptr<Cache> target;
    UrlSelection all{"http://"};
};

} // namespace

TEST_F(CacheImportTest, NewDocumentIsCopiedWithItsFieldsUnderANewId) {
    uint32_t from = store_document(*source, "http://h/new", "fresh body", date_of(784111777),
                                   false, 203);
    ASSERT_EQ(target->import(*source, all, false), 0);
    const UrlNode* node = target->find_url("http://h/new");
    ASSERT_NE(node, nullptr);
    ASSERT_NE(node->current, nullptr);
    const CacheEntry& copy = *node->current;
    EXPECT_EQ(str(copy.date.to_Str()), "Sun, 06 Nov 1994 08:49:37 GMT");
    EXPECT_EQ(copy.bytes, 10u);
    EXPECT_EQ(copy.errorcode, 203);
    EXPECT_FALSE(copy.headeronly);
    EXPECT_EQ(copy.readers, 0);
    EXPECT_EQ(read_file(str(target->file_name(copy.id))),
              read_file(str(source->file_name(from))));
    EXPECT_EQ(target->totalbytes(), 10u);
    EXPECT_TRUE(target->writing().empty());
    // The source is left as it was.
    EXPECT_EQ(source->find_url("http://h/new")->current->id, from);
}

TEST_F(CacheImportTest, OlderCopyIsReplacedAndItsFileDeleted) {
    uint32_t old_id = store_document(*target, "http://h/doc", "old", date_of(800000000));
    store_document(*source, "http://h/doc", "newer body", date_of(900000000));
    ASSERT_EQ(target->import(*source, all, true), 0);
    const CacheEntry* now = target->find_url("http://h/doc")->current;
    EXPECT_NE(now->id, old_id);
    EXPECT_EQ(body_in(*target, "http://h/doc"), "newer body");
    EXPECT_FALSE(exists(str(target->file_name(old_id))));
    EXPECT_EQ(target->totalbytes(), 10u);
    EXPECT_EQ(target->current().count(), 1u);
}

TEST_F(CacheImportTest, OnlyNewerKeepsANewerOrEqualCopy) {
    uint32_t kept = store_document(*target, "http://h/doc", "mine", date_of(900000000));
    store_document(*target, "http://h/same", "same", date_of(850000000));
    store_document(*source, "http://h/doc", "theirs", date_of(800000000));
    store_document(*source, "http://h/same", "theirs", date_of(850000000));
    ASSERT_EQ(target->import(*source, all, true), 0);
    EXPECT_EQ(target->find_url("http://h/doc")->current->id, kept);
    EXPECT_EQ(body_in(*target, "http://h/doc"), "mine");
    EXPECT_EQ(body_in(*target, "http://h/same"), "same");

    // Without only-newer the source's copy wins regardless of dates.
    ASSERT_EQ(target->import(*source, all, false), 0);
    EXPECT_EQ(body_in(*target, "http://h/doc"), "theirs");
    EXPECT_FALSE(exists(str(target->file_name(kept))));
    EXPECT_EQ(target->totalbytes(), 12u);
}

TEST_F(CacheImportTest, HostSelectionCopiesOnlyThatHostsUrls) {
    store_document(*source, "http://a.example/1", "a1");
    store_document(*source, "http://a.example/dir/2", "a2");
    store_document(*source, "http://b.example/1", "b1");
    store_document(*source, "ftp://a.example/1", "f1");
    UrlSelection host{Str("http://") + "a.example"};
    ASSERT_EQ(target->import(*source, host, false), 0);
    std::vector<std::string> urls;
    for (const auto& [url, node] : target->urls()) urls.push_back(str(url));
    EXPECT_EQ(urls, (std::vector<std::string>{"http://a.example/1", "http://a.example/dir/2"}));

    UrlSelection directory{"http://b.example/"};
    ASSERT_EQ(target->import(*source, directory, false), 0);
    EXPECT_EQ(target->urls().size(), 3u);
}

TEST_F(CacheImportTest, HeadOnlyAndUnfinishedSourceVersionsAreSkipped) {
    store_document(*source, "http://h/head", "", date_of(1000), true);
    Str file;
    uint32_t writing = 0;
    source->get_write_lock("http://h/writing", date_of(1000), false, 200, file, writing);
    store_document(*source, "http://h/waits", "v1");
    read_lock(*source, "http://h/waits");
    store_document(*source, "http://h/waits", "version 2");
    ASSERT_EQ(target->import(*source, all, false), 0);
    EXPECT_EQ(target->find_url("http://h/head"), nullptr);
    EXPECT_EQ(target->find_url("http://h/writing"), nullptr);
    // Only the current version of the source counts.
    EXPECT_EQ(body_in(*target, "http://h/waits"), "v1");
}

TEST_F(CacheImportTest, DestinationVersionInProgressIsLeftAlone) {
    Str file;
    uint32_t writing = 0;
    target->get_write_lock("http://h/busy", date_of(1000), false, 200, file, writing);
    store_document(*source, "http://h/busy", "from source");
    ASSERT_EQ(target->import(*source, all, false), 0);
    const UrlNode* node = target->find_url("http://h/busy");
    EXPECT_EQ(node->current, nullptr);
    EXPECT_EQ(node->writing->id, writing);
    target->release_write_lock(writing, 0);
}

TEST_F(CacheImportTest, DestinationLimitsApply) {
    set_option(target_options.cachefiles, "2");
    for (int i = 0; i < 5; i++)
        store_document(*source, "http://h/" + std::to_string(i), std::string(10, 'x'));
    ASSERT_EQ(target->import(*source, all, false), 0);
    EXPECT_EQ(target->current().count(), 2u);
    EXPECT_EQ(target->totalbytes(), 20u);
    size_t files = 0;
    for (auto& e : fs::directory_iterator(target_dir.path())) files += e.is_regular_file();
    EXPECT_EQ(files, 2u);
}

TEST_F(CacheImportTest, MissingSourceFileEndsTheImportKeepingEarlierCopies) {
    store_document(*source, "http://h/1", "one");
    uint32_t broken = store_document(*source, "http://h/2", "two");
    store_document(*source, "http://h/3", "three");
    ::unlink(str(source->file_name(broken)).c_str());
    EXPECT_EQ(target->import(*source, all, false), -1);
    std::string report = fail_take();
    EXPECT_NE(report.find("Cache::import unable to read file from source-cache"),
              std::string::npos);
    EXPECT_EQ(body_in(*target, "http://h/1"), "one");
    EXPECT_EQ(target->find_url("http://h/2"), nullptr);
    EXPECT_EQ(target->find_url("http://h/3"), nullptr);
    EXPECT_TRUE(target->writing().empty());
    EXPECT_EQ(target->totalbytes(), 3u);
    size_t files = 0;
    for (auto& e : fs::directory_iterator(target_dir.path())) files += e.is_regular_file();
    EXPECT_EQ(files, 1u);
}

TEST_F(CacheImportTest, UnwritableDestinationFileEndsTheImport) {
    store_document(*source, "http://h/1", "one");
    // The directory option is read at use time: point it where no file can be made.
    set_option(target_options.cachedir, target_dir.sub("missing").c_str());
    EXPECT_EQ(target->import(*source, all, false), -1);
    EXPECT_NE(std::string(fail_take()).find("Cache::import unable to write file to destination-cache"),
              std::string::npos);
    set_option(target_options.cachedir, target_dir.path().c_str());
    EXPECT_EQ(target->find_url("http://h/1"), nullptr);
    EXPECT_EQ(target->ids().size(), 0u);
    EXPECT_EQ(target->totalbytes(), 0u);
}

TEST_F(CacheImportTest, ImportFromItselfIsRefused) {
    store_document(*source, "http://h/1", "one");
    EXPECT_EQ(source->import(*source, all, false), -1);
    EXPECT_NE(std::string(fail_take()).find("Cache::import internal inconsistency"),
              std::string::npos);
    EXPECT_EQ(source->current().count(), 1u);
}

TEST(ExchangeCache, ExportIntoAnEmptyDirectoryLeavesNumberedFilesAndCachedb) {
    TempDir main_dir;
    TempDir export_root;
    std::string export_dir = export_root.sub("export");
    CacheOptions o(main_dir.path());
    set_option(o.entrysize, "2");
    set_option(o.cachefiles, "2");
    set_option(o.exportdir, export_dir.c_str());
    auto proxy = open_cache(o);
    store_document(*proxy, "http://h/a", "aaa");
    store_document(*proxy, "http://h/b", "bbbb");

    {
        StderrCapture quiet;
        ExchangeCache exported(o.exportdir, o.language, o.debug, o.exportdir, o.importdir, true);
        ASSERT_FALSE(exported.failed());
        ASSERT_EQ(exported.cache().import(*proxy, UrlSelection{"http://h/"}, false), 0);
        // No practical limit applies to the export cache.
        EXPECT_EQ(store_document(exported.cache(), "http://h/big", std::string(5000, 'x')) != 0,
                  true);
        store_document(exported.cache(), "http://h/c", "c");
        EXPECT_EQ(exported.cache().current().count(), 4u);
        EXPECT_FALSE(exists(export_dir + "/cachedb"));
    }
    ASSERT_TRUE(exists(export_dir + "/cachedb"));
    size_t numbered = 0;
    for (auto& e : fs::directory_iterator(export_dir)) {
        uint32_t id = 0;
        if (parse_cache_file_name(Str(e.path().filename().string().c_str()), id)) numbered++;
    }
    EXPECT_EQ(numbered, 4u);

    // The export directory is now a valid import source.
    StderrCapture quiet;
    ExchangeCache imported(o.exportdir, o.language, o.debug, o.exportdir, o.importdir, false);
    ASSERT_FALSE(imported.failed());
    EXPECT_EQ(imported.cache().current().count(), 4u);
    EXPECT_EQ(imported.cache().totalbytes(), 3u + 4u + 5000u + 1u);
    quiet.finish();
    StderrCapture quiet_end;
    proxy.reset();
}

TEST(ExchangeCache, ImportNeedsAValidCachedb) {
    TempDir main_dir;
    TempDir import_dir;
    write_cache_file(import_dir.sub("5"), "http://h/5", "five");
    CacheOptions o(main_dir.path());
    set_option(o.importdir, import_dir.path().c_str());
    {
        StderrCapture quiet;
        ExchangeCache imported(o.importdir, o.language, o.debug, o.exportdir, o.importdir, false);
        EXPECT_TRUE(imported.failed());
        EXPECT_NE(std::string(fail_take()).find("Cache: unable to initialize database"),
                  std::string::npos);
    }
    // Nothing was written into the import directory.
    EXPECT_FALSE(exists(import_dir.sub("cachedb")));
    EXPECT_TRUE(exists(import_dir.sub("5")));
}
