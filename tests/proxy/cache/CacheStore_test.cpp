// The database file cachedb and the rebuild from the cache files: the byte
// layout, the clean stop and start, recovery of a mixed folder, and every
// kind of bad database file.
#include "proxy/cache/Cache.h"

#include "testsupport/CacheFixture.h"

#include <cstring>
#include <ctime>
#include <sys/time.h>

namespace {

namespace fs = std::filesystem;

const char NO_DATABASE[] = "No valid database found in cache directory,\nwill create new one.\n";

// Little-endian pieces of a cachedb written by hand.
void put32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; i++) out.push_back(char(v >> (8 * i)));
}
void put_date(std::string& out, const GMTdate& d) {
    for (int32_t v : {d.year, d.month, d.day, d.weekday, d.hour, d.minute, d.second, d.fail})
        put32(out, uint32_t(v));
}
std::string entry(const std::string& url, uint32_t id, uint32_t bytes, int64_t date = 1,
                  bool headeronly = false, int32_t errorcode = 200) {
    std::string e;
    put32(e, uint32_t(url.size()));
    e += url;
    put_date(e, date_of(date));
    for (uint32_t v : {id, bytes, uint32_t(headeronly), uint32_t(errorcode)}) put32(e, v);
    return e;
}
// Magic, the entries, seed, totalbytes, accesses and the number of users.
std::string cachedb(const std::vector<std::string>& entries, uint32_t seed = 1,
                    uint32_t totalbytes = 0, uint32_t accesses = 0, uint32_t users = 0) {
    std::string db;
    put32(db, Cache::MAGIC);
    put32(db, uint32_t(entries.size()));
    for (const std::string& e : entries) db += e;
    for (uint32_t v : {seed, totalbytes, accesses, users}) put32(db, v);
    return db;
}

class CacheStoreTest : public CacheFixture {
protected:
    void SetUp() override {
        CacheFixture::SetUp();
        close();
        fs::remove(db());
    }
    std::string db() const { return cachedir() + "/cachedb"; }
    // The files 21 (3 bytes) and 22 (4 bytes) and a sound cachedb naming
    // them, with one user seen now.
    std::string valid_cachedb() {
        write_cache_file(file(21), {"one", "one"});
        write_cache_file(file(22), {"two", "twoo"});
        std::string bytes = cachedb({entry("one", 21, 3), entry("two", 22, 4)}, 22, 7, 10, 1);
        GMTdate now;
        now.set_now();
        put32(bytes, 0x0100007F);
        put_date(bytes, now);
        return bytes;
    }
    void set_mtime(const std::string& path, time_t when) {
        struct timeval times[2] = {{when, 0}, {when, 0}};
        ASSERT_EQ(::utimes(path.c_str(), times), 0);
    }
};

TEST_F(CacheStoreTest, CleanStopWritesCachedbNextLoadDeletesItIndexGoneEntriesComeBack) {
    open();
    Document b{"b", "", 784111778, true}, c{"c", "ccc", 784111779};
    b.status = 304;
    c.status = 404;
    uint32_t a_id = store({"a", "aaaaa", 784111777}), b_id = store(b), c_id = store(c);
    cache->release_read_lock(read("a").id);
    cache->register_user(0x0100007F);
    EXPECT_FALSE(fs::exists(db()));
    close();
    std::string written = read_file(db());
    std::string start = cachedb({entry("b", b_id, 0, 784111778, true, 304),
                                 entry("c", c_id, 3, 784111779, false, 404),
                                 entry("a", a_id, 5, 784111777)},
                                c_id, 8, 1, 1);
    ASSERT_EQ(written.size(), start.size() + 4 + 32);
    EXPECT_EQ(written.substr(0, start.size() + 4), start + std::string("\x7F\0\0\x01", 4));

    EXPECT_EQ(open(false), "");
    EXPECT_FALSE(fs::exists(db()));
    EXPECT_EQ(state(), "current b:0 c:3 a:5; waiting; writing; total 8");
    EXPECT_EQ(cache->accesses(), 1u);
    EXPECT_EQ(cache->seed(), c_id);
    EXPECT_FALSE(cache->modified());
    GMTdate now;
    now.set_now();
    EXPECT_LT(now.diff(cache->users().at(0x0100007F).lastconnect), 60.0);

    close();
    ASSERT_TRUE(fs::remove(db()));
    open(false);
    EXPECT_EQ(std::string(fail_take()), "Cache: unable to initialize database, reason:\r\n "
                                        "Cache::load unable to read '" + db() + "'\r\n");
    close();
    EXPECT_FALSE(fs::exists(db())); // a cache that failed writes nothing
    std::string printed = open();
    EXPECT_EQ(printed.rfind(NO_DATABASE, 0), 0u);
    EXPECT_NE(printed.find("successfully recovered files: 3\ninvalid files found:  0\n"),
              std::string::npos);
    EXPECT_EQ(cache->urls().size(), 3u);
    EXPECT_EQ(cache->totalbytes(), 8u);
    EXPECT_TRUE(cache->find_url("b")->current->headeronly);
    EXPECT_EQ(cache->find_url("c")->current->errorcode, 404);
    EXPECT_EQ(cache->accesses(), 0u);
    EXPECT_TRUE(cache->modified());
    EXPECT_LT(std::abs(double(::time(nullptr)) - double(cache->seed())), 60.0);
}

TEST_F(CacheStoreTest, RecoveryTakesValidFilesAndLeavesTheRestInPlace) {
    Document exact{"77", std::string(100, '7')}, cut{"40", std::string(60, 's')};
    exact.content_length = cut.content_length = 100;
    write_cache_file(file(5), {"5", std::string(50, '5')});
    write_cache_file(file(77), exact);
    write_cache_file(file(41), {"41", ""});
    write_cache_file(cachedir() + "/0012", {"0012", "x"});
    write_cache_file(cachedir() + "/12.tmp", {"12.tmp", "x"});
    write_cache_file(file(40), cut);
    write_file(file(42), "this is no cache file at all");
    fs::create_directory(file(43));
    set_mtime(file(5), 784111777);

    std::string printed = open();
    EXPECT_EQ(state(), "current 41:0 5:50 77:100; waiting; writing; total 150; files 8");
    EXPECT_EQ(text(cache->find_id(5)->date.to_Str()), "Sun, 06 Nov 1994 08:49:37 GMT");
    EXPECT_EQ(printed.rfind(NO_DATABASE, 0), 0u);
    for (int left = 7; left >= 0; left--)
        EXPECT_NE(printed.find(std::to_string(left) + " to go       \r"), std::string::npos);
    for (const char* name : {"0012", "12.tmp", "40", "42", "43"})
        EXPECT_NE(printed.find("file '" + cachedir() + "/" + name + "' is not a valid cache file\n"),
                  std::string::npos) << name;
    EXPECT_NE(printed.find("successfully recovered files: 3\ninvalid files found:  5\n"),
              std::string::npos);
    // The reasons show with debug only.
    EXPECT_EQ(printed.find("short file"), std::string::npos);
    close();
    fs::remove(db());
    ASSERT_EQ(options.set.set("debug", "1"), 0);
    EXPECT_NE(open().find("CacheEntry::init_from_cfile short file"), std::string::npos);
    EXPECT_FALSE(fail_pending());
}

TEST_F(CacheStoreTest, RecoveryCreatesAMissingFolderKeepsTheNewestCopyAndSpeaksTheLanguage) {
    fs::remove_all(cachedir());
    ASSERT_EQ(options.set.set("language", "deutsch"), 0);
    EXPECT_NE(open().find("Keine gueltige Datenbank im Cache-Verzeichnis gefunden"), std::string::npos);
    EXPECT_TRUE(fs::is_directory(cachedir()));
    close();
    fs::remove(db());
    for (uint32_t id : {10, 11, 12}) write_cache_file(file(id), {"dup", std::to_string(id)});
    set_mtime(file(10), 900000000);
    set_mtime(file(11), 900000100);
    set_mtime(file(12), 800000000);
    write_file(file(9), "garbage");
    ASSERT_EQ(options.set.set("language", "dutch"), 0);
    std::string printed = open();
    EXPECT_EQ(state(), "current dup:2; waiting; writing; total 2; files 2");
    EXPECT_NE(cache->find_id(11), nullptr);
    const std::string texts[] = {"Geen geldige database gevonden", "0 te gaan       \r",
                                 "bestand '" + file(9) + "' is geen geldig cache-bestand\n",
                                 "succesvol herstelde bestanden: 1\nongeldige bestanden gevonden:  1\n"};
    for (const std::string& text : texts)
        EXPECT_NE(printed.find(text), std::string::npos) << text << " in " << printed;
}

TEST_F(CacheStoreTest, ValidCachedbIsLoadedAsWrittenABadOneIsRebuiltFromTheFiles) {
    std::string valid = valid_cachedb();
    write_file(db(), valid);
    open(false);
    EXPECT_EQ(state(), "current one:3 two:4; waiting; writing; total 7");
    EXPECT_EQ(cache->seed(), 22u);
    EXPECT_EQ(cache->accesses(), 10u);
    EXPECT_EQ(cache->users().begin()->second.inetaddr, 0x0100007Fu);
    close();

    std::string wrong_magic = valid, huge_count = cachedb({entry("one", 21, 3)}), garbage_length;
    wrong_magic[0] = 0x04;
    huge_count.replace(4, 4, "\xFF\xFF\xFF\xFF");
    put32(garbage_length, 0xFFFFFF00);
    std::vector<std::pair<std::string, std::string>> cases = {
        {"wrong magic", wrong_magic},
        {"huge entry count", huge_count},
        {"garbage string length", cachedb({garbage_length + "one"})},
        {"id zero", cachedb({entry("one", 0, 3)})},
        {"duplicate id", cachedb({entry("one", 21, 3), entry("other", 21, 3)})},
        {"duplicate url", cachedb({entry("one", 21, 3), entry("one", 22, 3)})},
        {"huge user count", cachedb({}, 1, 0, 0, 0x7FFFFFFF)},
    };
    for (size_t n = 0; n < valid.size(); n++)
        cases.emplace_back("cut at " + std::to_string(n), valid.substr(0, n));
    for (const auto& [name, bytes] : cases) {
        SCOPED_TRACE(name);
        // Without recovery the load fails and the file is left for a later look.
        write_file(db(), bytes);
        open(false);
        EXPECT_TRUE(cache->failed());
        EXPECT_EQ(std::string(fail_take()), "Cache: unable to initialize database, reason:\r\n "
                                            "Cache::load unable to read '" + db() + "'\r\n");
        close();
        EXPECT_EQ(read_file(db()), bytes);

        std::string printed = open();
        EXPECT_EQ(printed.rfind(NO_DATABASE, 0), 0u);
        EXPECT_EQ(state(), "current one:3 two:4; waiting; writing; total 7");
        EXPECT_TRUE(cache->users().empty());
        EXPECT_FALSE(fail_pending());
        close();
    }
}

TEST_F(CacheStoreTest, LoadedFiguresDriveTotalbytesIdsAndUsers) {
    time_t now = ::time(nullptr);
    std::string bytes = cachedb({entry("one", 21, 10), entry("two", 22, 20)}, 12345, 999999, 0, 2);
    put32(bytes, 0x0A000001);
    put_date(bytes, date_of(now - 2 * 86400));
    put32(bytes, 0x0A000002);
    put_date(bytes, date_of(now - 3600));
    write_file(db(), bytes);
    open(false);
    // The stored sum is only a copy of what the entries say.
    EXPECT_EQ(cache->totalbytes(), 30u);

    // Users older than a day are forgotten when a new one arrives.
    cache->register_user(0x0A000002); // known: only refreshed
    EXPECT_EQ(cache->users().size(), 2u);
    EXPECT_LT(date_of(now).diff(cache->users().at(0x0A000002).lastconnect), 60.0);
    cache->register_user(0x0A000003);
    EXPECT_EQ(cache->users().count(0x0A000001), 0u);
    EXPECT_EQ(cache->users().size(), 2u);

    // The id generator is seeded with the loaded seed.
    uint32_t state = 12345;
    auto next = [&state] { return (state = state * 214013u + 2531011u) >> 16 & 0x7FFFu; };
    for (int i = 0; i < 20; i++) {
        uint32_t r1 = next(), r2 = next();
        Str file;
        uint32_t id = 0;
        cache->get_write_lock(std::to_string(i).c_str(), date_of(1), true, 200, file, id);
        EXPECT_EQ(id, (r1 & 0x7FFF) | ((r2 & 0x1FE) << 15)) << i;
    }
}

TEST_F(CacheStoreTest, StoreFailsWhenTheDatabaseCannotBeCreatedAndShowsItsTextForm) {
    open();
    store("a", "a");
    store("b", "bb");
    cache->register_user(0x0100007F);
    // The directory option is read at use time.
    ASSERT_EQ(options.cachedir.from_Str(dir.file("no/such/dir").c_str()), 0);
    EXPECT_EQ(cache->store(), -1);
    EXPECT_NE(std::string(fail_take()).find("Cache::store unable to create cache data-base"),
              std::string::npos);
    EXPECT_TRUE(cache->modified());
    ASSERT_EQ(options.cachedir.from_Str(cachedir().c_str()), 0);
    EXPECT_EQ(cache->store(), 0);
    EXPECT_FALSE(cache->modified());
    EXPECT_TRUE(fs::exists(db()));

    {
        OFileStream out(Str(dir.file("text").c_str()), O_CREAT | O_TRUNC);
        TextDrain drain(out);
        drain << *cache;
    }
    std::string shown = read_file(dir.file("text"));
    for (const char* piece :
         {"Cache:\n", "old_entries = \n", "List with 2 elements:\n", "url    = b\n", "seed = ",
          "totalbytes = 3\n", "accesses = 0\n", "users = \n", "AVLDLTree of size 1\n",
          "UserInfo:\n", "inetaddr = 16777343\n", "lastconnect = "})
        EXPECT_NE(shown.find(piece), std::string::npos) << piece << " in\n" << shown;
}

} // namespace
