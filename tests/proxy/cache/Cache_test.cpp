// The cache database at work: read and write locks, promotion of new
// versions, limits, ids, users and the end of a cache's life.
#include "proxy/cache/Cache.h"

#include "CacheTestSupport.h"
#include "foundation/Fail.h"

#include <gtest/gtest.h>

#include <ctime>
#include <set>
#include <string>

using namespace cachetest;

namespace {

class CacheTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(dir.path().empty());
        cache = open_cache(options);
        ASSERT_FALSE(cache->failed());
    }
    void TearDown() override {
        StderrCapture quiet;
        cache.reset();
        fail_take();
    }

    std::string file_of(uint32_t id) const { return dir.path() + "/" + std::to_string(id); }

    TempDir dir;
    CacheOptions options{dir.path()};
    std::unique_ptr<Cache> cache;
};

// Complete versions: current, waiting, and written ones still in a writing slot.
uint32_t sum_of_bytes(const Cache& cache) {
    uint32_t sum = 0;
    for (const EntryList* list : {&cache.current(), &cache.waiting(), &cache.writing()})
        for (const CacheEntry& e : *list) sum += e.bytes;
    return sum;
}

} // namespace

TEST_F(CacheTest, ReadLockOfUnknownUrlLeavesTheAnswerAndCountsTheAccess) {
    uint32_t before = cache->accesses();
    ReadLock r = read_lock(*cache, "http://nowhere/");
    EXPECT_FALSE(r.date.specified());
    EXPECT_TRUE(r.file.empty());
    EXPECT_EQ(r.id, 0u);
    EXPECT_EQ(r.errorcode, 500);
    EXPECT_EQ(cache->accesses(), before + 1);
}

TEST_F(CacheTest, StoredDocumentIsReadBackWithItsFields) {
    GMTdate date = date_of(784111777);
    uint32_t id = store_document(*cache, "http://h/doc", "hello", date, false, 203);
    ASSERT_NE(id, 0u);
    ReadLock r = read_lock(*cache, "http://h/doc");
    EXPECT_EQ(r.id, id);
    EXPECT_EQ(str(r.file), file_of(id));
    EXPECT_EQ(r.bytes, 5u);
    EXPECT_FALSE(r.headeronly);
    EXPECT_EQ(r.errorcode, 203);
    EXPECT_EQ(str(r.date.to_Str()), "Sun, 06 Nov 1994 08:49:37 GMT");
    EXPECT_EQ(cache->find_id(id)->readers, 1);
    cache->release_read_lock(id);
    EXPECT_EQ(cache->find_id(id)->readers, 0);
    EXPECT_EQ(cache->totalbytes(), 5u);
}

TEST_F(CacheTest, SecondWriteLockForUrlBeingWrittenGetsIdZero) {
    Str file1, file2;
    uint32_t id1 = 0, id2 = 99;
    cache->get_write_lock("http://h/w", date_of(1000), false, 200, file1, id1);
    ASSERT_NE(id1, 0u);
    EXPECT_EQ(str(file1), file_of(id1));
    file2 = "stale";
    cache->get_write_lock("http://h/w", date_of(1000), false, 200, file2, id2);
    EXPECT_EQ(id2, 0u);
    EXPECT_TRUE(file2.empty());
    // Nobody reads a version that is still being written.
    EXPECT_EQ(read_lock(*cache, "http://h/w").id, 0u);
    write_cache_file(str(file1), "http://h/w", "abc");
    cache->release_write_lock(id1, 3);
    EXPECT_EQ(read_lock(*cache, "http://h/w").id, id1);
}

TEST_F(CacheTest, DocumentOfExactlyEntrysizeIsKeptOneByteMoreIsDiscarded) {
    set_option(options.entrysize, "2");
    uint32_t kept = store_document(*cache, "http://h/kept", std::string(2048, 'k'));
    ASSERT_NE(kept, 0u);
    EXPECT_NE(cache->find_id(kept), nullptr);
    EXPECT_TRUE(exists(file_of(kept)));
    EXPECT_EQ(cache->totalbytes(), 2048u);

    uint32_t dropped = store_document(*cache, "http://h/dropped", std::string(2049, 'd'));
    ASSERT_NE(dropped, 0u);
    EXPECT_EQ(cache->find_id(dropped), nullptr);
    EXPECT_EQ(cache->find_url("http://h/dropped"), nullptr);
    EXPECT_FALSE(exists(file_of(dropped)));
    EXPECT_EQ(cache->totalbytes(), 2048u);
    EXPECT_TRUE(cache->writing().empty());
}

TEST_F(CacheTest, UnfinishedDownloadIsDiscardedButHeadOnlyIsKept) {
    Str file;
    uint32_t id = 0;
    cache->get_write_lock("http://h/broken", date_of(1000), false, 200, file, id);
    write_cache_file(str(file), "http://h/broken", "partial");
    cache->release_write_lock(id, 0);
    EXPECT_EQ(cache->find_url("http://h/broken"), nullptr);
    EXPECT_FALSE(exists(str(file)));

    uint32_t head = store_document(*cache, "http://h/head", "", date_of(1000), true);
    ASSERT_NE(head, 0u);
    ReadLock r = read_lock(*cache, "http://h/head");
    EXPECT_EQ(r.id, head);
    EXPECT_TRUE(r.headeronly);
    EXPECT_EQ(r.bytes, 0u);
    cache->release_read_lock(head);
}

TEST_F(CacheTest, NewCopyWaitsWhileTheOldOneIsReadAndLaterReadersGetIt) {
    uint32_t old_id = store_document(*cache, "http://h/page", "old!");
    ReadLock first = read_lock(*cache, "http://h/page");
    ASSERT_EQ(first.id, old_id);

    uint32_t new_id = store_document(*cache, "http://h/page", "newer copy");
    ASSERT_NE(new_id, 0u);
    const UrlNode* node = cache->find_url("http://h/page");
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->current->id, old_id);
    ASSERT_NE(node->waiting, nullptr);
    EXPECT_EQ(node->waiting->id, new_id);
    EXPECT_TRUE(exists(file_of(old_id)));
    EXPECT_EQ(cache->totalbytes(), 4u + 10u);

    ReadLock later = read_lock(*cache, "http://h/page");
    EXPECT_EQ(later.id, new_id);
    EXPECT_EQ(later.bytes, 10u);

    cache->release_read_lock(old_id);
    node = cache->find_url("http://h/page");
    EXPECT_EQ(node->current->id, new_id);
    EXPECT_EQ(node->waiting, nullptr);
    EXPECT_EQ(cache->find_id(old_id), nullptr);
    EXPECT_FALSE(exists(file_of(old_id)));
    EXPECT_TRUE(exists(file_of(new_id)));
    EXPECT_EQ(cache->totalbytes(), 10u);
    EXPECT_TRUE(cache->waiting().empty());
    cache->release_read_lock(new_id);
    EXPECT_EQ(cache->find_id(new_id)->readers, 0);
}

TEST_F(CacheTest, ThirdVersionReplacesAnUnreadWaitingOne) {
    uint32_t v1 = store_document(*cache, "http://h/v", "1");
    read_lock(*cache, "http://h/v");
    uint32_t v2 = store_document(*cache, "http://h/v", "22");
    uint32_t v3 = store_document(*cache, "http://h/v", "333");
    const UrlNode* node = cache->find_url("http://h/v");
    EXPECT_EQ(node->current->id, v1);
    EXPECT_EQ(node->waiting->id, v3);
    EXPECT_EQ(cache->find_id(v2), nullptr);
    EXPECT_FALSE(exists(file_of(v2)));
    EXPECT_EQ(cache->totalbytes(), 1u + 3u);
    cache->release_read_lock(v1);
    EXPECT_EQ(cache->find_url("http://h/v")->current->id, v3);
    EXPECT_EQ(cache->totalbytes(), 3u);
}

TEST_F(CacheTest, CompleteVersionBehindAReadWaitingOneIsPromotedLater) {
    uint32_t v1 = store_document(*cache, "http://h/q", "1");
    read_lock(*cache, "http://h/q");                          // reads v1
    uint32_t v2 = store_document(*cache, "http://h/q", "22"); // waits
    ASSERT_EQ(read_lock(*cache, "http://h/q").id, v2);        // reads v2
    uint32_t v3 = store_document(*cache, "http://h/q", "333");
    const UrlNode* node = cache->find_url("http://h/q");
    // Both older versions are read: the new one stays complete in the writing slot.
    EXPECT_EQ(node->writing->id, v3);
    EXPECT_EQ(node->writing->readers, 0);
    Str file;
    uint32_t id = 5;
    cache->get_write_lock("http://h/q", date_of(1), false, 200, file, id);
    EXPECT_EQ(id, 0u);
    EXPECT_EQ(cache->totalbytes(), 6u);

    cache->release_read_lock(v1); // v2 becomes current, v3 waits behind its reader
    node = cache->find_url("http://h/q");
    EXPECT_EQ(node->current->id, v2);
    EXPECT_EQ(node->waiting->id, v3);
    EXPECT_EQ(node->writing, nullptr);
    cache->release_read_lock(v2);
    node = cache->find_url("http://h/q");
    EXPECT_EQ(node->current->id, v3);
    EXPECT_EQ(node->waiting, nullptr);
    EXPECT_EQ(cache->totalbytes(), 3u);
    EXPECT_EQ(cache->current().count(), 1u);
    EXPECT_EQ(cache->ids().size(), 1u);
}

TEST_F(CacheTest, WithTwoFilesAThirdDocumentEvictsTheLeastRecentlyRead) {
    set_option(options.cachefiles, "2");
    uint32_t a = store_document(*cache, "http://h/a", "aaaa");
    uint32_t b = store_document(*cache, "http://h/b", "bbbbbb");
    cache->release_read_lock(read_lock(*cache, "http://h/a").id);
    uint32_t c = store_document(*cache, "http://h/c", "cc");
    EXPECT_EQ(current_ids(*cache), (std::vector<uint32_t>{a, c}));
    EXPECT_EQ(cache->find_id(b), nullptr);
    EXPECT_EQ(cache->find_url("http://h/b"), nullptr);
    EXPECT_FALSE(exists(file_of(b)));
    EXPECT_TRUE(exists(file_of(a)));
    EXPECT_EQ(cache->totalbytes(), 6u);
}

TEST_F(CacheTest, CachesizeEvictsUntilTheBytesFit) {
    set_option(options.cachesize, "8");
    uint32_t a = store_document(*cache, "http://h/a", std::string(3000, 'a'));
    uint32_t b = store_document(*cache, "http://h/b", std::string(3000, 'b'));
    uint32_t c = store_document(*cache, "http://h/c", std::string(3000, 'c'));
    EXPECT_EQ(current_ids(*cache), (std::vector<uint32_t>{b, c}));
    EXPECT_FALSE(exists(file_of(a)));
    EXPECT_EQ(cache->totalbytes(), 6000u);
}

TEST_F(CacheTest, EvictionSkipsAnEntryInUse) {
    uint32_t a = store_document(*cache, "http://h/a", "a");
    uint32_t b = store_document(*cache, "http://h/b", "b");
    uint32_t c = store_document(*cache, "http://h/c", "c");
    ASSERT_EQ(read_lock(*cache, "http://h/a").id, a); // held
    cache->release_read_lock(read_lock(*cache, "http://h/b").id);
    cache->release_read_lock(read_lock(*cache, "http://h/c").id);
    ASSERT_EQ(current_ids(*cache), (std::vector<uint32_t>{a, b, c}));
    set_option(options.cachefiles, "2");
    uint32_t d = store_document(*cache, "http://h/d", "d");
    // a is the least recently used but is being read: b goes instead.
    EXPECT_EQ(current_ids(*cache), (std::vector<uint32_t>{a, d}));
    EXPECT_TRUE(exists(file_of(a)));
    EXPECT_FALSE(exists(file_of(b)));
    EXPECT_FALSE(exists(file_of(c)));
    cache->release_read_lock(a);
}

TEST_F(CacheTest, EvictionEndsWhenEveryEntryIsInUse) {
    set_option(options.cachefiles, "2");
    uint32_t a = store_document(*cache, "http://h/a", "a");
    uint32_t b = store_document(*cache, "http://h/b", "b");
    read_lock(*cache, "http://h/a");
    read_lock(*cache, "http://h/b");
    uint32_t c = store_document(*cache, "http://h/c", "c");
    // c is free and is the only candidate; the pass must not loop or touch a and b.
    EXPECT_EQ(current_ids(*cache), (std::vector<uint32_t>{a, b}));
    EXPECT_FALSE(exists(file_of(c)));
    cache->release_read_lock(a);
    cache->release_read_lock(b);
}

TEST_F(CacheTest, HeadOnlyVersionNeverReplacesAFullOne) {
    uint32_t full = store_document(*cache, "http://h/f", "body");
    Str file = "x";
    uint32_t id = 7;
    cache->get_write_lock("http://h/f", date_of(2000), true, 200, file, id);
    EXPECT_EQ(id, 0u);
    EXPECT_TRUE(file.empty());
    EXPECT_EQ(cache->find_url("http://h/f")->current->id, full);

    // The other way round is fine: a full copy replaces a head-only one.
    uint32_t head = store_document(*cache, "http://h/g", "", date_of(1000), true);
    uint32_t body = store_document(*cache, "http://h/g", "now with body");
    EXPECT_NE(head, 0u);
    EXPECT_EQ(cache->find_url("http://h/g")->current->id, body);
    EXPECT_FALSE(exists(file_of(head)));
}

TEST_F(CacheTest, HeadOnlyVersionNeverReplacesAFullWaitingOne) {
    store_document(*cache, "http://h/h", "", date_of(1000), true);
    read_lock(*cache, "http://h/h");
    store_document(*cache, "http://h/h", "full copy waits");
    ASSERT_NE(cache->find_url("http://h/h")->waiting, nullptr);
    Str file;
    uint32_t id = 7;
    cache->get_write_lock("http://h/h", date_of(2000), true, 200, file, id);
    EXPECT_EQ(id, 0u);
}

TEST_F(CacheTest, NewIdsAreNonZeroBelow2To24WithBit15ClearAndUnique) {
    std::set<uint32_t> seen;
    for (int i = 0; i < 3000; i++) {
        Str file;
        uint32_t id = 0;
        std::string url = "http://ids/" + std::to_string(i);
        cache->get_write_lock(Str(url.c_str()), date_of(1000), true, 200, file, id);
        ASSERT_NE(id, 0u);
        EXPECT_EQ(id & 0x8000u, 0u);
        EXPECT_LT(id, 1u << 24);
        EXPECT_TRUE(seen.insert(id).second) << id;
        EXPECT_EQ(cache->seed(), id);
    }
    EXPECT_EQ(cache->writing().count(), 3000u);
    EXPECT_EQ(cache->ids().size(), 3000u);
}

TEST_F(CacheTest, InvalidReleasesArePrintedAndChangeNothing) {
    uint32_t id = store_document(*cache, "http://h/r", "r");
    StderrCapture err;
    cache->release_read_lock(id); // never locked
    cache->release_read_lock(12345678);
    cache->release_write_lock(id, 1); // already released
    cache->release_write_lock(12345678, 1);
    cache->update_cache_date(12345678, date_of(5));
    std::string printed = err.finish();
    EXPECT_NE(printed.find("Cache::release_read_lock access-count under run"), std::string::npos);
    EXPECT_NE(printed.find("Cache::release_read_lock tried to release invalid read-lock '12345678'"),
              std::string::npos);
    EXPECT_EQ(count_of(printed, "Cache::release_write_lock tried to release invalid write-lock"),
              2u);
    EXPECT_NE(printed.find("Cache::update_cache_date tried to update invalid cache-entry"),
              std::string::npos);
    EXPECT_EQ(cache->find_id(id)->readers, 0);
    EXPECT_EQ(cache->totalbytes(), 1u);
    EXPECT_FALSE(fail_pending());
}

TEST_F(CacheTest, ReadLockReleaseOnAVersionBeingWrittenIsRefused) {
    Str file;
    uint32_t id = 0;
    cache->get_write_lock("http://h/inflight", date_of(1000), false, 200, file, id);
    StderrCapture err;
    cache->release_read_lock(id);
    EXPECT_NE(err.finish().find("tried to release invalid read-lock"), std::string::npos);
    EXPECT_EQ(cache->find_id(id)->readers, 1);
    write_cache_file(str(file), "http://h/inflight", "ok");
    cache->release_write_lock(id, 2);
    EXPECT_EQ(cache->find_url("http://h/inflight")->current->id, id);
}

TEST_F(CacheTest, UpdateCacheDateCopiesASpecifiedDateAndMarksAnUnspecifiedOne) {
    uint32_t id = store_document(*cache, "http://h/d", "d", date_of(1000));
    cache->update_cache_date(id, date_of(784111777));
    EXPECT_EQ(str(cache->find_id(id)->date.to_Str()), "Sun, 06 Nov 1994 08:49:37 GMT");
    cache->update_cache_date(id, GMTdate());
    EXPECT_FALSE(cache->find_id(id)->date.specified());
}

TEST_F(CacheTest, RegisteringAKnownUserRefreshesItAndANewOneIsAdded) {
    EXPECT_EQ(cache->register_user(0x0100007F), 0);
    EXPECT_EQ(cache->register_user(0x0200007F), 0);
    EXPECT_EQ(cache->register_user(0x0100007F), 0);
    ASSERT_EQ(cache->users().size(), 2u);
    GMTdate now;
    now.set_now();
    for (const auto& [address, user] : cache->users()) {
        EXPECT_EQ(user.inetaddr, address);
        EXPECT_LT(now.diff(user.lastconnect), 60.0);
    }
}

TEST_F(CacheTest, AllIdsComeInUrlOrderPreferringTheWaitingVersion) {
    uint32_t b = store_document(*cache, "http://h/b", "b");
    uint32_t a1 = store_document(*cache, "http://h/a", "a");
    read_lock(*cache, "http://h/a");
    uint32_t a2 = store_document(*cache, "http://h/a", "aa");
    Str file;
    uint32_t c = 0;
    cache->get_write_lock("http://h/c", date_of(1), false, 200, file, c);
    Str directory;
    std::vector<uint32_t> ids;
    ASSERT_EQ(cache->get_all_ids(directory, ids), 0);
    EXPECT_EQ(str(directory), dir.path() + "/");
    EXPECT_EQ(ids, (std::vector<uint32_t>{a2, b, 0}));
    EXPECT_NE(a1, a2);
}

TEST_F(CacheTest, RemovingAFileThatIsGoneCountsAsRemoved) {
    uint32_t id = store_document(*cache, "http://h/gone", "g");
    ::unlink(file_of(id).c_str());
    StderrCapture err;
    cache->remove_entry_file(*cache->find_id(id));
    EXPECT_EQ(err.finish(), "");
    EXPECT_FALSE(fail_pending());
}

TEST_F(CacheTest, FailingRemovalIsPrinted) {
    uint32_t id = store_document(*cache, "http://h/stuck", "s");
    ::unlink(file_of(id).c_str());
    fs::create_directory(file_of(id));
    fs::create_directory(file_of(id) + "/inside"); // a non-empty directory cannot be unlinked
    StderrCapture err;
    cache->remove_entry_file(*cache->find_id(id));
    EXPECT_NE(err.finish().find("Cache::remove_entry_file unable to remove file '" + file_of(id) +
                                "'"),
              std::string::npos);
}

TEST_F(CacheTest, StoreIsRefusedWhileAVersionIsBeingWritten) {
    Str file;
    uint32_t id = 0;
    cache->get_write_lock("http://h/w", date_of(1), false, 200, file, id);
    EXPECT_EQ(cache->store(), -1);
    std::string report = fail_take();
    EXPECT_NE(report.find("ObjectDrain << Cache internal inconsistency (entries)"),
              std::string::npos);
    EXPECT_NE(report.find("Cache::store unable to write cache data-base to '"), std::string::npos);
    EXPECT_FALSE(exists(dir.sub("cachedb")));
}

TEST_F(CacheTest, EndOfLifeDiscardsWaitingAndWritingVersionsThenStores) {
    uint32_t kept = store_document(*cache, "http://h/kept", "12345");
    read_lock(*cache, "http://h/kept");
    uint32_t waiting = store_document(*cache, "http://h/kept", "waiting version");
    Str file;
    uint32_t partial = 0;
    cache->get_write_lock("http://h/partial", date_of(1), false, 200, file, partial);
    write_cache_file(str(file), "http://h/partial", "half");
    ASSERT_TRUE(exists(file_of(waiting)));

    {
        StderrCapture quiet;
        cache.reset();
    }
    EXPECT_FALSE(exists(file_of(waiting)));
    EXPECT_FALSE(exists(file_of(partial)));
    EXPECT_TRUE(exists(file_of(kept)));
    ASSERT_TRUE(exists(dir.sub("cachedb")));

    cache = open_cache(options, false);
    ASSERT_FALSE(cache->failed());
    EXPECT_EQ(current_ids(*cache), (std::vector<uint32_t>{kept}));
    EXPECT_EQ(cache->totalbytes(), 5u);
    EXPECT_EQ(cache->find_url("http://h/partial"), nullptr);
}

TEST_F(CacheTest, TotalbytesIsAlwaysTheSumOfCompleteVersions) {
    set_option(options.cachefiles, "5");
    uint32_t state = 7;
    std::vector<uint32_t> held;
    for (int round = 0; round < 400; round++) {
        state = state * 1103515245u + 12345u;
        std::string url = "http://mix/" + std::to_string((state >> 8) % 9);
        switch ((state >> 20) % 4) {
        case 0:
        case 1:
            store_document(*cache, url, std::string((state >> 4) % 50, 'z'));
            break;
        case 2: {
            ReadLock r = read_lock(*cache, url);
            if (r.id) held.push_back(r.id);
            break;
        }
        default:
            if (!held.empty()) {
                cache->release_read_lock(held.back());
                held.pop_back();
            }
        }
        ASSERT_EQ(cache->totalbytes(), sum_of_bytes(*cache)) << "round " << round;
        ASSERT_EQ(cache->ids().size(),
                  cache->current().count() + cache->waiting().count() + cache->writing().count());
    }
    while (!held.empty()) {
        cache->release_read_lock(held.back());
        held.pop_back();
    }
    EXPECT_EQ(cache->totalbytes(), sum_of_bytes(*cache));
    EXPECT_LE(cache->current().count(), 5u);
    EXPECT_TRUE(cache->waiting().empty());
    // Every indexed entry has its file and nothing else is left in the directory.
    size_t files = 0;
    for (auto& e : fs::directory_iterator(dir.path())) {
        (void)e;
        files++;
    }
    EXPECT_EQ(files, cache->ids().size());
    for (const auto& [id, entry] : cache->ids()) EXPECT_TRUE(exists(file_of(id)));
}

TEST(StrOrder, AgreesWithStrCompareIncludingHighBytesAndPrefixes) {
    uint32_t state = 99;
    auto next = [&state] {
        state = state * 214013u + 2531011u;
        return (state >> 16) & 0x7FFF;
    };
    const char alphabet[] = {'a', 'b', '/', char(0x80), char(0xFF), '\0'};
    std::vector<Str> strings;
    for (int i = 0; i < 300; i++) {
        std::string s = i % 2 ? "http://same.prefix.example/path/" : "";
        for (uint32_t n = next() % 20; n > 0; n--) s += alphabet[next() % sizeof alphabet];
        strings.emplace_back(s.data(), uint32_t(s.size()));
    }
    for (const Str& a : strings)
        for (const Str& b : strings) {
            int expected = a.compare(b);
            ASSERT_EQ(StrOrder::str_order(a, b), expected) << str(a) << " vs " << str(b);
            ASSERT_EQ(StrOrder()(a, b), expected < 0);
        }
}
