// The database file cachedb and the rebuild from the cache files: the byte
// layout, the clean stop and start, recovery of a mixed folder, and every
// kind of bad database file.
#include "proxy/cache/Cache.h"

#include "testsupport/CacheFixture.h"
#include "tests/foundation/MemoryStream.h"

#include <ctime>
#include <sys/time.h>

namespace {

namespace fs = std::filesystem;

const std::string NO_DATABASE =
    "No valid database found in cache directory,\nwill create new one.\n";
const std::string UNREADABLE = "Cache: unable to initialize database, reason:\r\n Cache::load "
                               "unable to read '";

// Little-endian pieces of a cachedb written by hand.
std::string date_bytes(int64_t date) {
    GMTdate d = date_of(date);
    std::string out;
    for (int32_t v : {d.year, d.month, d.day, d.weekday, d.hour, d.minute, d.second, d.fail})
        out += le32(uint32_t(v));
    return out;
}
std::string entry(const std::string& url, uint32_t id, uint32_t bytes, int64_t date = 1,
                  bool headeronly = false, int32_t errorcode = 200) {
    std::string e = framed(url) + date_bytes(date);
    for (uint32_t v : {id, bytes, uint32_t(headeronly), uint32_t(errorcode)})
        e += le32(v);
    return e;
}
// Magic, the entries, seed, totalbytes, accesses, and the users (address, last connect).
std::string cachedb(const std::vector<std::string>& entries, uint32_t seed = 1,
                    uint32_t totalbytes = 0, uint32_t accesses = 0,
                    const std::vector<std::pair<uint32_t, int64_t>>& users = {}) {
    std::string db = le32(Cache::MAGIC) + le32(uint32_t(entries.size()));
    for (const std::string& e : entries)
        db += e;
    for (uint32_t v : {seed, totalbytes, accesses, uint32_t(users.size())})
        db += le32(v);
    for (const auto& [address, seen] : users)
        db += le32(address) + date_bytes(seen);
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
    void set_mtime(uint32_t id, time_t when) {
        struct timeval times[2] = {{when, 0}, {when, 0}};
        ASSERT_EQ(::utimes(file(id).c_str(), times), 0);
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
    uint32_t on_disk = cache->totalbytes();
    close();
    std::string written = read_file(db());
    std::string start =
        cachedb({entry("b", b_id, 0, 784111778, true, 304),
                 entry("c", c_id, 3, 784111779, false, 404), entry("a", a_id, 5, 784111777)},
                c_id, on_disk, 1, {{0x0100007F, ::time(nullptr)}});
    // All but the user's last connect, checked once loaded; then the
    // extension: its magic, the count, and id, owner, disk of each entry.
    ASSERT_EQ(written.size(), start.size() + 8 + 3 * 12);
    EXPECT_EQ(written.substr(0, start.size() - 32), start.substr(0, start.size() - 32));
    EXPECT_EQ(written.substr(start.size(), 8), std::string("xBDC\x03\0\0\0", 8));

    EXPECT_EQ(open(false), "");
    EXPECT_FALSE(fs::exists(db()));
    EXPECT_EQ(state(), "b:0 c:3 a:5 | - | - | 8");
    EXPECT_TRUE(cache->accesses() == 1 && cache->seed() == c_id && !cache->modified());
    EXPECT_LT(date_of(::time(nullptr)).diff(cache->users().at(0x0100007F).lastconnect), 60.0);

    close();
    ASSERT_TRUE(fs::remove(db()));
    open(false);
    EXPECT_EQ(std::string(fail_take()), UNREADABLE + db() + "'\r\n");
    close();
    EXPECT_FALSE(fs::exists(db())); // a cache that failed writes nothing
    EXPECT_EQ(open().rfind(NO_DATABASE, 0), 0u);
    EXPECT_TRUE(cache->urls().size() == 3 && cache->totalbytes() == on_disk &&
                cache->accesses() == 0);
    EXPECT_TRUE(cache->find_url("b")->current->headeronly && cache->modified());
    EXPECT_EQ(cache->find_url("c")->current->errorcode, 404);
    EXPECT_LT(std::abs(double(::time(nullptr)) - double(cache->seed())), 60.0);
}

TEST_F(CacheStoreTest, RecoveryTakesValidFilesAndLeavesTheRestInPlace) {
    Document exact{"77", std::string(100, '7')}, cut{"40", std::string(60, 's')};
    exact.content_length = cut.content_length = 100;
    write_cache_file(file(5), {"5", std::string(50, '5')});
    write_cache_file(file(77), exact);
    write_cache_file(file(41), {"41", ""});
    // Only the canonical decimal form of a 32-bit id names a cache file.
    for (std::string name : {"0012", "12.tmp", "0", "4294967296", "-1", CACHE_LOCK_FILE})
        write_cache_file(cachedir() + "/" + name, {name, "x"});
    write_cache_file(file(40), cut);
    write_file(file(42), "this is no cache file at all");
    write_cache_file(file(9) + ".part", {"9", "cut by a crash"});
    fs::create_directory(file(43));
    set_mtime(5, 784111777);
    std::string expected = NO_DATABASE;
    int left = 13;
    for (std::string name : {"-1", "0", "0012", "12.tmp", "40", "41", "42", "4294967296", "43",
                             "5", "77", "9.part", CACHE_LOCK_FILE}) {
        expected += std::to_string(--left) + " to go       \r";
        // The server's lock file is neither taken nor reported.
        if (name != "41" && name != "5" && name != "77" && name != CACHE_LOCK_FILE)
            expected += "file '" + cachedir() + "/" + name + "' is not a valid cache file\n";
    }
    // The reasons of the rejections show with debug only.
    EXPECT_EQ(open(), expected + "successfully recovered files: 3\ninvalid files found:  9\n");
    // An unfinished file is deleted; other strangers stay.
    EXPECT_EQ(state(), "41:0 5:50 77:100 | - | - | 150 | files 12");
    EXPECT_FALSE(fs::exists(file(9) + ".part"));
    EXPECT_EQ(text(cache->find_id(5)->date.to_Str()), "Sun, 06 Nov 1994 08:49:37 GMT");
    close();
    fs::remove(db());
    ASSERT_EQ(options.set.set("debug", "1"), 0);
    EXPECT_NE(open().find("CacheEntry::init_from_cfile short file"), std::string::npos);
    EXPECT_FALSE(fail_pending());
}

TEST_F(CacheStoreTest, RecoveryCreatesAMissingFolderKeepsTheNewestCopyAndSpeaksTheLanguage) {
    fs::remove_all(cachedir());
    ASSERT_EQ(options.set.set("language", "deutsch"), 0);
    EXPECT_NE(open().find("Keine gueltige Datenbank im Cache-Verzeichnis gefunden"),
              std::string::npos);
    EXPECT_TRUE(fs::is_directory(cachedir()));
    close();
    fs::remove(db());
    for (uint32_t id : {10, 11, 12})
        write_cache_file(file(id), {"dup", std::to_string(id)});
    set_mtime(10, 900000000);
    set_mtime(11, 900000100);
    set_mtime(12, 800000000);
    write_file(file(9), "garbage");
    ASSERT_EQ(options.set.set("language", "dutch"), 0);
    std::string printed = open();
    EXPECT_EQ(state(), "dup:2 | - | - | 2 | files 2");
    EXPECT_NE(cache->find_id(11), nullptr);
    const std::string texts[] = {
        "Geen geldige database gevonden", "0 te gaan       \r",
        "bestand '" + file(9) + "' is geen geldig cache-bestand\n",
        "succesvol herstelde bestanden: 1\nongeldige bestanden gevonden:  1\n"};
    for (const std::string& text : texts)
        EXPECT_NE(printed.find(text), std::string::npos) << text << " in " << printed;
}

TEST_F(CacheStoreTest, ValidCachedbIsLoadedAsWrittenABadOneIsRebuiltFromTheFiles) {
    write_cache_file(file(21), {"one", "one"});
    write_cache_file(file(22), {"two", "twoo"});
    time_t now = ::time(nullptr);
    // A totalbytes of 999: the stored sum is only a copy of what the entries say.
    std::string valid = cachedb({entry("one", 21, 3), entry("two", 22, 4)}, 12345, 999, 10,
                                {{0x0A000001, now - 2 * 86400}, {0x0A000002, now - 3600}});
    write_file(db(), valid);
    open(false);
    EXPECT_EQ(state(), "one:3 two:4 | - | - | 7");
    EXPECT_TRUE(cache->accesses() == 10 && cache->users().size() == 2);
    // Users not seen for more than a day are forgotten when a new one arrives.
    cache->register_user(0x0A000002); // known: only refreshed
    EXPECT_LT(date_of(now).diff(cache->users().at(0x0A000002).lastconnect), 60.0);
    cache->register_user(0x0A000003);
    EXPECT_TRUE(cache->users().size() == 2 && !cache->users().count(0x0A000001));
    // The id generator is seeded with the loaded seed.
    uint32_t seed = 12345;
    auto next = [&seed] { return (seed = seed * 214013u + 2531011u) >> 16 & 0x7FFFu; };
    for (int i = 0; i < 20; i++) {
        uint32_t r1 = next(), r2 = next(), id = 0;
        Str file;
        cache->get_write_lock(std::to_string(i).c_str(), date_of(1), true, 200, SHARED, file, id);
        EXPECT_EQ(id, (r1 & 0x7FFF) | ((r2 & 0x1FE) << 15)) << i;
    }
    close();

    std::string wrong_magic = valid, huge_count = cachedb({entry("one", 21, 3)});
    wrong_magic[0] = 0x04;
    huge_count.replace(4, 4, "\xFF\xFF\xFF\xFF");
    std::vector<std::pair<std::string, std::string>> cases = {
        {"wrong magic", wrong_magic},
        {"huge entry count", huge_count},
        {"garbage string length", cachedb({le32(0xFFFFFF00) + "one"})},
        {"id zero", cachedb({entry("one", 0, 3)})},
        {"duplicate id", cachedb({entry("one", 21, 3), entry("other", 21, 3)})},
        {"duplicate url", cachedb({entry("one", 21, 3), entry("one", 22, 3)})},
        {"huge user count", cachedb({}).replace(20, 4, "\xFF\xFF\xFF\x7F")},
    };
    for (size_t n = 0; n < valid.size(); n++)
        cases.emplace_back("cut at " + std::to_string(n), valid.substr(0, n));
    for (const auto& [name, bytes] : cases) {
        SCOPED_TRACE(name);
        // Without recovery the load fails and the file is left for a later look.
        write_file(db(), bytes);
        open(false);
        EXPECT_EQ(std::string(fail_take()), UNREADABLE + db() + "'\r\n");
        close();
        EXPECT_EQ(read_file(db()), bytes);
        EXPECT_EQ(open().rfind(NO_DATABASE, 0), 0u);
        EXPECT_EQ(state(), "one:3 two:4 | - | - | 7");
        EXPECT_TRUE(cache->users().empty() && !fail_pending());
        close();
    }
}

// Owners and disk sizes travel in the extension of cachedb; an index
// without it, as the earlier release wrote, takes them from the files.
TEST_F(CacheStoreTest, OwnersAndSizesComeFromTheIndexOrElseFromTheFiles) {
    const uint32_t first = 0x0100007F, second = 0x0200007F;
    open();
    Document mine{"mine", "private body"};
    mine.owner = second;
    store(mine);
    store("shared", "x");
    uint32_t on_disk = cache->totalbytes();
    close();
    std::string written = read_file(db());
    for (bool extended : {true, false}) {
        SCOPED_TRACE(extended ? "with the extension" : "without");
        write_file(db(), extended ? written : written.substr(0, written.size() - 8 - 2 * 12));
        EXPECT_EQ(open(false), "");
        EXPECT_TRUE(cache->find_url("mine")->current->owner == second &&
                    cache->find_url("shared")->current->owner == SHARED);
        EXPECT_EQ(cache->totalbytes(), on_disk);
        EXPECT_EQ(read_lock(*cache, "mine", first).id, 0u);
        EXPECT_NE(read_lock(*cache, "mine", second).id, 0u);
        EXPECT_NE(read_lock(*cache, "shared", first).id, 0u);
        close();
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
    EXPECT_EQ(std::string(fail_take()).find("Cache::store unable to create cache data-base"), 0u);
    EXPECT_TRUE(cache->modified());
    ASSERT_EQ(options.cachedir.from_Str(cachedir().c_str()), 0);
    EXPECT_EQ(cache->store(), 0);
    EXPECT_TRUE(!cache->modified() && fs::exists(db()));
    {
        OFileStream out(Str(dir.file("text").c_str()), O_CREAT | O_TRUNC);
        TextDrain drain(out);
        drain << *cache;
    }
    std::string shown = read_file(dir.file("text"));
    for (const char* piece :
         {"Cache:\n", "old_entries = \n", "List with 2 elements:\n", "url    = b\n",
          "seed = ", "totalbytes = ", "extension = ", "accesses = 0\n", "users = \n",
          "AVLDLTree of size 1\n",
          "UserInfo:\n", "inetaddr = 16777343\n", "lastconnect = "})
        EXPECT_NE(shown.find(piece), std::string::npos) << piece << " in\n" << shown;
}

} // namespace
