// The database file cachedb and the rebuild from cache files: its byte
// layout, the clean stop and start, recovery of a mixed directory, and bad
// database files.
#include "proxy/cache/Cache.h"

#include "CacheTestSupport.h"
#include "foundation/Fail.h"
#include "foundation/ObjectStream.h"

#include <gtest/gtest.h>

#include <ctime>
#include <string>
#include <sys/time.h>

using namespace cachetest;

namespace {

const char NO_DATABASE[] = "No valid database found in cache directory,\nwill create new one.\n";

void set_mtime(const std::string& path, time_t when) {
    struct timeval times[2] = {{when, 0}, {when, 0}};
    ASSERT_EQ(::utimes(path.c_str(), times), 0);
}

class CacheStoreTest : public ::testing::Test {
protected:
    void TearDown() override { fail_take(); }

    std::unique_ptr<Cache> open(bool recover, std::string* printed = nullptr) {
        StderrCapture err;
        auto cache = std::make_unique<Cache>(o.cachedir, o.cachesize, o.entrysize, o.cachefiles,
                                             o.language, o.debug, o.exportdir, o.importdir,
                                             recover);
        std::string text = err.finish();
        if (printed) *printed = text;
        return cache;
    }
    void close(std::unique_ptr<Cache>& cache) {
        StderrCapture quiet;
        cache.reset();
    }
    std::string cachedb() const { return dir.sub("cachedb"); }

    TempDir dir;
    CacheOptions o{dir.path()};
};

// A valid cachedb with two entries and one user, and the files they name.
std::string valid_cachedb(const TempDir& dir) {
    std::string db;
    put32(db, Cache::MAGIC);
    put32(db, 2);
    put_entry(db, "http://h/one", date_of(784111777), 21, 3);
    put_entry(db, "http://h/two", date_of(784111778), 22, 4);
    put32(db, 22);  // seed
    put32(db, 7);   // totalbytes
    put32(db, 10);  // accesses
    put32(db, 1);
    put32(db, 0x0100007F);
    GMTdate now;
    now.set_now();
    put_date(db, now);
    write_cache_file(dir.sub("21"), "http://h/one", "one");
    write_cache_file(dir.sub("22"), "http://h/two", "twoo");
    return db;
}

} // namespace

TEST_F(CacheStoreTest, CachedbLayoutIsMagicEntriesInLruOrderCountersAndUsers) {
    auto cache = open(true);
    ASSERT_FALSE(cache->failed());
    uint32_t a = store_document(*cache, "http://h/a", "aaaaa", date_of(784111777), false, 200);
    uint32_t b = store_document(*cache, "http://h/b", "", date_of(784111778), true, 304);
    uint32_t c = store_document(*cache, "http://h/c", "ccc", date_of(784111779), false, 404);
    cache->release_read_lock(read_lock(*cache, "http://h/a").id);
    cache->register_user(0x0100007F);
    uint32_t seed = cache->seed();
    EXPECT_EQ(seed, c);
    close(cache);

    std::string bytes = read_file(cachedb());
    Parser p(bytes);
    EXPECT_EQ(p.u32(), 0x43444203u);
    ASSERT_EQ(p.u32(), 3u);
    struct Expected {
        const char* url;
        uint32_t id, bytes, headeronly;
        int32_t errorcode;
        int second;
    };
    for (const Expected& e : {Expected{"http://h/b", b, 0, 1, 304, 38},
                              Expected{"http://h/c", c, 3, 0, 404, 39},
                              Expected{"http://h/a", a, 5, 0, 200, 37}}) {
        EXPECT_EQ(p.str(), e.url);
        GMTdate d = p.date();
        EXPECT_EQ(d.year, 1994);
        EXPECT_EQ(d.second, e.second);
        EXPECT_EQ(d.fail, 0);
        EXPECT_EQ(p.u32(), e.id);
        EXPECT_EQ(p.u32(), e.bytes);
        EXPECT_EQ(p.u32(), e.headeronly);
        EXPECT_EQ(int32_t(p.u32()), e.errorcode);
    }
    EXPECT_EQ(p.u32(), seed);
    EXPECT_EQ(p.u32(), 8u); // totalbytes
    EXPECT_EQ(p.u32(), 1u); // accesses since the rebuild
    ASSERT_EQ(p.u32(), 1u); // users
    EXPECT_EQ(p.u32(), 0x0100007Fu);
    GMTdate seen = p.date();
    GMTdate now;
    now.set_now();
    EXPECT_EQ(seen.fail, 0);
    EXPECT_LT(now.diff(seen), 60.0);
    EXPECT_TRUE(p.at_end());
}

TEST_F(CacheStoreTest, CleanStopWritesCachedbAndTheNextLoadDeletesIt) {
    auto cache = open(true);
    uint32_t a = store_document(*cache, "http://h/a", "aaaa");
    uint32_t b = store_document(*cache, "http://h/b", "bb");
    cache->release_read_lock(read_lock(*cache, "http://h/a").id);
    EXPECT_FALSE(exists(cachedb()));
    close(cache);
    ASSERT_TRUE(exists(cachedb()));

    std::string printed;
    cache = open(false, &printed);
    ASSERT_FALSE(cache->failed());
    EXPECT_EQ(printed, "");
    EXPECT_FALSE(exists(cachedb()));
    EXPECT_EQ(current_ids(*cache), (std::vector<uint32_t>{b, a}));
    EXPECT_EQ(cache->totalbytes(), 6u);
    EXPECT_EQ(cache->accesses(), 1u);
    EXPECT_EQ(read_lock(*cache, "http://h/b").bytes, 2u);
}

TEST_F(CacheStoreTest, IndexGoneEntriesComeBackFromTheFiles) {
    auto cache = open(true);
    uint32_t a = store_document(*cache, "http://h/a", "aaaa");
    uint32_t b = store_document(*cache, "http://h/b", "", date_of(1000), true);
    close(cache);
    ASSERT_EQ(::unlink(cachedb().c_str()), 0);

    std::string printed;
    cache = open(false, &printed);
    EXPECT_TRUE(cache->failed());
    EXPECT_NE(std::string(fail_take()).find("Cache::load unable to read '" + cachedb() + "'"),
              std::string::npos);
    close(cache);
    EXPECT_FALSE(exists(cachedb())); // a failed cache writes nothing

    cache = open(true, &printed);
    ASSERT_FALSE(cache->failed());
    EXPECT_EQ(printed.rfind(NO_DATABASE, 0), 0u);
    EXPECT_NE(printed.find("successfully recovered files: 2\n"), std::string::npos);
    EXPECT_NE(printed.find("invalid files found:  0\n"), std::string::npos);
    ASSERT_NE(cache->find_id(a), nullptr);
    ASSERT_NE(cache->find_id(b), nullptr);
    EXPECT_EQ(str(cache->find_id(a)->url), "http://h/a");
    EXPECT_EQ(cache->find_id(a)->bytes, 4u);
    EXPECT_TRUE(cache->find_id(b)->headeronly);
    EXPECT_EQ(cache->totalbytes(), 4u);
    EXPECT_EQ(cache->accesses(), 0u);
    EXPECT_TRUE(cache->modified());
    GMTdate now;
    now.set_now();
    EXPECT_LT(double(now.diff(date_of(0))) - double(cache->seed()), 60.0);
}

TEST_F(CacheStoreTest, RecoveryTakesValidFilesAndLeavesTheRestInPlace) {
    write_cache_file(dir.sub("5"), "http://h/five", std::string(50, '5'));
    write_cache_file(dir.sub("77"), "http://h/seventy-seven", std::string(100, '7'), 100);
    write_cache_file(dir.sub("41"), "http://h/head", "");
    write_cache_file(dir.sub("0012"), "http://h/zero", "leading zeros");
    write_cache_file(dir.sub("12.tmp"), "http://h/tmp", "extension");
    write_cache_file(dir.sub("40"), "http://h/short", std::string(60, 's'), 100);
    write_file(dir.sub("42"), "this is no cache file at all");
    fs::create_directory(dir.sub("43"));
    set_mtime(dir.sub("5"), 784111777);

    std::string printed;
    auto cache = open(true, &printed);
    ASSERT_FALSE(cache->failed());

    std::set<uint32_t> ids;
    for (const CacheEntry& e : cache->current()) ids.insert(e.id);
    EXPECT_EQ(ids, (std::set<uint32_t>{5, 41, 77}));
    EXPECT_EQ(cache->totalbytes(), 150u);
    EXPECT_EQ(str(cache->find_id(5)->date.to_Str()), "Sun, 06 Nov 1994 08:49:37 GMT");
    EXPECT_EQ(str(cache->find_id(77)->url), "http://h/seventy-seven");
    EXPECT_TRUE(cache->find_id(41)->headeronly);
    EXPECT_EQ(cache->find_id(41)->errorcode, 200);
    EXPECT_EQ(read_lock(*cache, "http://h/five").id, 5u);

    EXPECT_EQ(printed.rfind(NO_DATABASE, 0), 0u);
    EXPECT_EQ(count_of(printed, " to go       \r"), 8u);
    EXPECT_NE(printed.find("7 to go       \r"), std::string::npos);
    EXPECT_NE(printed.find("0 to go       \r"), std::string::npos);
    for (const char* name : {"0012", "12.tmp", "40", "42", "43"}) {
        EXPECT_NE(printed.find("file '" + dir.sub(name) + "' is not a valid cache file\n"),
                  std::string::npos)
            << name;
        EXPECT_TRUE(exists(dir.sub(name))) << name;
    }
    EXPECT_EQ(count_of(printed, "is not a valid cache file"), 5u);
    EXPECT_NE(printed.find("successfully recovered files: 3\ninvalid files found:  5\n"),
              std::string::npos);
    // Without debug the reasons are not shown.
    EXPECT_EQ(printed.find("short file"), std::string::npos);
    EXPECT_FALSE(fail_pending());
    close(cache);
}

TEST_F(CacheStoreTest, RecoveryWithDebugPrintsWhyAFileWasRejected) {
    set_option(o.debug, "1");
    write_cache_file(dir.sub("40"), "http://h/short", std::string(60, 's'), 100);
    std::string printed;
    auto cache = open(true, &printed);
    EXPECT_NE(printed.find("CacheEntry::init_from_cfile short file"), std::string::npos);
    EXPECT_NE(printed.find("invalid files found:  1\n"), std::string::npos);
    close(cache);
}

TEST_F(CacheStoreTest, RecoveryTextsFollowTheLanguageOption) {
    write_file(dir.sub("9"), "garbage");
    set_option(o.language, "deutsch");
    std::string printed;
    auto cache = open(true, &printed);
    EXPECT_NE(printed.find("Keine gueltige Datenbank im Cache-Verzeichnis gefunden"),
              std::string::npos);
    EXPECT_NE(printed.find("Datei '" + dir.sub("9") + "' ist keine gueltige Cache-Datei\n"),
              std::string::npos);
    EXPECT_NE(printed.find("erfolgreich wiederhergestellte Dateien: 0\n"), std::string::npos);
    close(cache);
    ::unlink(cachedb().c_str());

    set_option(o.language, "dutch");
    cache = open(true, &printed);
    EXPECT_NE(printed.find("Geen geldige database gevonden"), std::string::npos);
    EXPECT_NE(printed.find("ongeldige bestanden gevonden:  1\n"), std::string::npos);
    close(cache);
}

TEST_F(CacheStoreTest, RecoveryCreatesAMissingCacheDirectory) {
    std::string missing = dir.sub("new/cache");
    CacheOptions nested(missing);
    std::unique_ptr<Cache> cache = open_cache(nested);
    ASSERT_FALSE(cache->failed());
    EXPECT_TRUE(fs::is_directory(missing));
    store_document(*cache, "http://h/x", "x");
    close(cache);
    EXPECT_TRUE(exists(missing + "/cachedb"));
}

TEST_F(CacheStoreTest, RecoveryKeepsTheNewestCopyOfADuplicatedUrl) {
    write_cache_file(dir.sub("10"), "http://h/dup", "older");
    write_cache_file(dir.sub("11"), "http://h/dup", "newer!");
    write_cache_file(dir.sub("12"), "http://h/dup", "oldest");
    set_mtime(dir.sub("10"), 900000000);
    set_mtime(dir.sub("11"), 900000100);
    set_mtime(dir.sub("12"), 800000000);
    auto cache = open(true);
    ASSERT_FALSE(cache->failed());
    EXPECT_EQ(current_ids(*cache), (std::vector<uint32_t>{11}));
    EXPECT_EQ(cache->totalbytes(), 6u);
    EXPECT_EQ(cache->urls().size(), 1u);
    EXPECT_EQ(cache->ids().size(), 1u);
    EXPECT_FALSE(exists(dir.sub("10")));
    EXPECT_FALSE(exists(dir.sub("12")));
    close(cache);
}

TEST_F(CacheStoreTest, ValidCachedbIsLoadedAsWritten) {
    write_file(cachedb(), valid_cachedb(dir));
    auto cache = open(false);
    ASSERT_FALSE(cache->failed());
    EXPECT_EQ(current_ids(*cache), (std::vector<uint32_t>{21, 22}));
    EXPECT_EQ(cache->seed(), 22u);
    EXPECT_EQ(cache->totalbytes(), 7u);
    EXPECT_EQ(cache->accesses(), 10u);
    ASSERT_EQ(cache->users().size(), 1u);
    EXPECT_EQ(cache->users().begin()->second.inetaddr, 0x0100007Fu);
    EXPECT_FALSE(exists(cachedb()));
    close(cache);
}

TEST_F(CacheStoreTest, EveryTruncatedCachedbIsRejected) {
    std::string db = valid_cachedb(dir);
    for (size_t n = 0; n < db.size(); n++) {
        write_file(cachedb(), db.substr(0, n));
        auto cache = open(false);
        EXPECT_TRUE(cache->failed()) << "length " << n;
        std::string report = fail_take();
        EXPECT_NE(report.find("Cache: unable to initialize database"), std::string::npos);
        close(cache);
        // Without recovery the bad file is left for a later look.
        EXPECT_EQ(read_file(cachedb()), db.substr(0, n));
    }
}

TEST_F(CacheStoreTest, BadCachedbLeadsToRecoveryFromTheFiles) {
    std::string valid = valid_cachedb(dir);
    std::vector<std::pair<std::string, std::string>> variants;
    {
        std::string db = valid;
        db[0] = 0x04;
        variants.emplace_back("wrong magic", db);
    }
    {
        std::string db;
        put32(db, Cache::MAGIC);
        put32(db, 0xFFFFFFFF);
        put_entry(db, "http://h/one", date_of(1), 21, 3);
        variants.emplace_back("huge entry count", db);
    }
    {
        std::string db;
        put32(db, Cache::MAGIC);
        put32(db, 1);
        put32(db, 0xFFFFFF00); // url length
        db += "http://h/garbage";
        variants.emplace_back("garbage string length", db);
    }
    {
        std::string db;
        put32(db, Cache::MAGIC);
        put32(db, 1);
        put_entry(db, "http://h/one", date_of(1), 0, 3);
        for (int i = 0; i < 4; i++) put32(db, 0);
        variants.emplace_back("id zero", db);
    }
    {
        std::string db;
        put32(db, Cache::MAGIC);
        put32(db, 2);
        put_entry(db, "http://h/one", date_of(1), 21, 3);
        put_entry(db, "http://h/other", date_of(1), 21, 3);
        for (int i = 0; i < 4; i++) put32(db, 0);
        variants.emplace_back("duplicate id", db);
    }
    {
        std::string db;
        put32(db, Cache::MAGIC);
        put32(db, 2);
        put_entry(db, "http://h/one", date_of(1), 21, 3);
        put_entry(db, "http://h/one", date_of(1), 22, 3);
        for (int i = 0; i < 4; i++) put32(db, 0);
        variants.emplace_back("duplicate url", db);
    }
    {
        std::string db;
        put32(db, Cache::MAGIC);
        put32(db, 0);
        put32(db, 1);
        put32(db, 0);
        put32(db, 0);
        put32(db, 0x7FFFFFFF); // users, none follow
        variants.emplace_back("huge user count", db);
    }
    for (const auto& [name, db] : variants) {
        write_file(cachedb(), db);
        std::string printed;
        auto cache = open(true, &printed);
        ASSERT_FALSE(cache->failed()) << name;
        EXPECT_EQ(printed.rfind(NO_DATABASE, 0), 0u) << name;
        EXPECT_NE(printed.find("successfully recovered files: 2\n"), std::string::npos) << name;
        EXPECT_EQ(cache->urls().size(), 2u) << name;
        EXPECT_EQ(cache->totalbytes(), 7u) << name;
        EXPECT_TRUE(cache->users().empty()) << name;
        EXPECT_FALSE(fail_pending()) << name;
        close(cache);
        EXPECT_TRUE(exists(dir.sub("21"))) << name;
        EXPECT_TRUE(exists(dir.sub("22"))) << name;

        write_file(cachedb(), db);
        cache = open(false);
        EXPECT_TRUE(cache->failed()) << name;
        std::string report = fail_take();
        EXPECT_NE(report.find("Cache::load unable to read '" + cachedb() + "'"), std::string::npos)
            << name;
        EXPECT_NE(report.find("Cache: unable to initialize database"), std::string::npos) << name;
        close(cache);
    }
}

TEST_F(CacheStoreTest, StoredTotalbytesIsRecomputedFromTheEntries) {
    std::string db;
    put32(db, Cache::MAGIC);
    put32(db, 2);
    put_entry(db, "http://h/one", date_of(1), 21, 10);
    put_entry(db, "http://h/two", date_of(1), 22, 20);
    put32(db, 22);
    put32(db, 999999);
    put32(db, 0);
    put32(db, 0);
    write_file(cachedb(), db);
    auto cache = open(false);
    ASSERT_FALSE(cache->failed());
    EXPECT_EQ(cache->totalbytes(), 30u);
    close(cache);
}

TEST_F(CacheStoreTest, UsersOlderThanADayAreForgottenWhenANewOneArrives) {
    time_t now = ::time(nullptr);
    std::string db;
    put32(db, Cache::MAGIC);
    put32(db, 0);
    put32(db, 1);
    put32(db, 0);
    put32(db, 0);
    put32(db, 2);
    put32(db, 0x0A000001);
    put_date(db, date_of(now - 2 * 86400));
    put32(db, 0x0A000002);
    put_date(db, date_of(now - 3600));
    write_file(cachedb(), db);
    auto cache = open(false);
    ASSERT_FALSE(cache->failed());
    ASSERT_EQ(cache->users().size(), 2u);

    cache->register_user(0x0A000002); // known: only refreshed
    EXPECT_EQ(cache->users().size(), 2u);
    cache->register_user(0x0A000003);
    EXPECT_EQ(cache->users().count(0x0A000001), 0u);
    EXPECT_EQ(cache->users().count(0x0A000002), 1u);
    EXPECT_EQ(cache->users().count(0x0A000003), 1u);
    close(cache);
}

TEST_F(CacheStoreTest, LoadedSeedDrivesTheIdSequence) {
    std::string db;
    put32(db, Cache::MAGIC);
    put32(db, 0);
    put32(db, 12345);
    put32(db, 0);
    put32(db, 0);
    put32(db, 0);
    write_file(cachedb(), db);
    auto cache = open(false);
    ASSERT_FALSE(cache->failed());

    uint32_t state = 12345;
    auto next = [&state] {
        state = state * 214013u + 2531011u;
        return (state >> 16) & 0x7FFFu;
    };
    for (int i = 0; i < 20; i++) {
        uint32_t r1 = next();
        uint32_t r2 = next();
        uint32_t expected = (r1 & 0x7FFF) | ((r2 & 0x1FE) << 15);
        ASSERT_NE(expected, 0u);
        std::string url = "http://seq/" + std::to_string(i);
        Str file;
        uint32_t id = 0;
        cache->get_write_lock(Str(url.c_str()), date_of(1), true, 200, file, id);
        EXPECT_EQ(id, expected) << i;
    }
    close(cache);
}

TEST_F(CacheStoreTest, StoreFailsWhenTheDatabaseCannotBeCreated) {
    auto cache = open(true);
    store_document(*cache, "http://h/a", "a");
    // The directory option is read at use time.
    set_option(o.cachedir, dir.sub("no/such/dir").c_str());
    EXPECT_EQ(cache->store(), -1);
    EXPECT_NE(std::string(fail_take()).find("Cache::store unable to create cache data-base"),
              std::string::npos);
    EXPECT_TRUE(cache->modified());
    set_option(o.cachedir, dir.path().c_str());
    EXPECT_EQ(cache->store(), 0);
    EXPECT_FALSE(cache->modified());
    EXPECT_TRUE(exists(cachedb()));
    ::unlink(cachedb().c_str());
    close(cache);
}

TEST_F(CacheStoreTest, TextFormShowsTheRecord) {
    auto cache = open(true);
    store_document(*cache, "http://h/a", "a");
    store_document(*cache, "http://h/b", "bb");
    cache->register_user(0x0100007F);
    MemoryWriteable out;
    TextDrain drain(out);
    drain << *cache;
    for (const char* piece :
         {"Cache:\n", "old_entries = \n", "List with 2 elements:\n", "CacheEntry:\n",
          "url    = http://h/b\n", "seed = ", "totalbytes = 3\n", "accesses = 0\n", "users = \n",
          "AVLDLTree of size 1\n", "UserInfo:\n", "inetaddr = 16777343\n", "lastconnect = "})
        EXPECT_NE(out.text.find(piece), std::string::npos) << piece << " in\n" << out.text;
    EXPECT_EQ(count_of(out.text, "{\n"), count_of(out.text, "}\n"));
    close(cache);
}
