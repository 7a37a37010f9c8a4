// The cache database at work: read and write locks and the promotion of new
// versions, the limits, ids, users, and the end of a cache's life.
#include "proxy/cache/Cache.h"

#include "testsupport/CacheFixture.h"

#include <deque>
#include <map>
#include <set>
#include <sstream>

namespace {

namespace fs = std::filesystem;

class CacheTest : public CacheFixture {
protected:
    // A write lock held open, its file begun as a worker begins it; the id or 0.
    uint32_t write_lock(const std::string& url, bool headeronly = false) {
        Str file = "stale";
        uint32_t id = 7;
        cache->get_write_lock(url.c_str(), date_of(1000), headeronly, 200, SHARED, file, id);
        EXPECT_EQ(file.empty(), id == 0);
        if (id != 0) write_cache_file(text(file), {url, "partial"});
        return id;
    }
    // Runs steps on an empty cache with the default limits; the state after.
    // "+a4" stores 4 body bytes for the URL a, "+a-" a head-only copy; "oa"
    // opens a write lock, "ca5" completes it with 5 bytes; "xa" ("xa-")
    // expects a full (head-only) write lock to be refused; "ra" takes a read
    // lock, "ua" releases the oldest one of a; "name=value" sets an option.
    std::string run(const std::string& steps) {
        close();
        fs::remove_all(cachedir());
        open();
        std::istringstream words("cachefiles=10000 cachesize=4096 entrysize=500 " + steps);
        std::map<char, std::deque<uint32_t>> held;
        uint32_t opened = 0;
        for (std::string w; words >> w;) {
            if (size_t equals = w.find('='); equals != std::string::npos) {
                EXPECT_EQ(
                    options.set.set(w.substr(0, equals).c_str(), w.substr(equals + 1).c_str()), 0);
                continue;
            }
            std::string url = w.substr(1, 1), rest = w.substr(2);
            uint32_t n = rest.empty() || rest == "-" ? 0 : uint32_t(std::stoul(rest));
            switch (w[0]) {
            case '+':
                EXPECT_NE(store({url, std::string(n, 'x'), 1, rest == "-"}), 0u) << w;
                break;
            case 'o':
                opened = write_lock(url);
                break;
            case 'x':
                EXPECT_EQ(write_lock(url, rest == "-"), 0u) << w;
                break;
            case 'c':
                write_cache_file(file(opened), {url, std::string(n, 'x')});
                cache->release_write_lock(opened, n);
                break;
            case 'r':
                if (uint32_t id = read(url).id) held[w[1]].push_back(id);
                break;
            case 'u':
                cache->release_read_lock(held[w[1]].front());
                held[w[1]].pop_front();
            }
        }
        return state();
    }
};

TEST_F(CacheTest, LocksPromotionAndLimits) {
    const char* const cases[][3] = {
        {"a new copy waits while the old one is read", "+a4 ra +a10", "a:4r1 | a:10 | - | 14"},
        {"later readers get the waiting copy", "+a4 ra +a10 ra", "a:4r1 | a:10r1 | - | 14"},
        {"it becomes current at the last release of the old one", "+a4 ra +a10 ra ua",
         "a:10r1 | - | - | 10"},
        {"a third version replaces an unread waiting one", "+a1 ra +a2 +a3", "a:1r1 | a:3 | - | 4"},
        {"a complete version behind a read waiting one stays in the writing slot",
         "+a1 ra +a2 ra +a3 xa", "a:1r1 | a:2r1 | a:3 | 6"},
        {"and moves on at the next release", "+a1 ra +a2 ra +a3 ua", "a:2r1 | a:3 | - | 5"},
        {"and on", "+a1 ra +a2 ra +a3 ua ua", "a:3 | - | - | 3"},
        {"a URL being written: a second write lock gets id 0, nobody reads it", "oa xa ra",
         "- | - | a:0r1 | 0"},
        {"completed, it is read", "oa ca3 ra", "a:3r1 | - | - | 3"},
        {"an unfinished download is discarded with its file", "oa ca0", "- | - | - | 0"},
        {"a head-only copy is kept", "+a- ra", "a:0r1 | - | - | 0"},
        {"a full copy replaces a head-only one", "+a- +a13", "a:13 | - | - | 13"},
        {"a head-only copy never replaces a full one", "+a4 xa-", "a:4 | - | - | 4"},
        {"nor a full waiting one", "+a- ra +a15 xa-", "a:0r1 | a:15 | - | 15"},
        {"entrysize x 1024 bytes are kept", "entrysize=2 +a2048", "a:2048 | - | - | 2048"},
        {"one byte more is discarded with its file", "entrysize=2 +a2049", "- | - | - | 0"},
        {"cachefiles 2: a third document evicts the least recently read one",
         "cachefiles=2 +a5 +b5 ra ua +c5", "a:5 c:5 | - | - | 10"},
        {"cachesize 8: evicted until what the files take on disk fits (a page each, and a record)",
         "cachesize=8 +a3000 +b3000 +c3000", "c:3000 | - | - | 3000"},
        {"an entry in use is skipped", "+a1 +b1 +c1 ra rb ub rc uc cachefiles=2 +d1",
         "a:1r1 d:1 | - | - | 2"},
        {"the pass ends when every older entry is in use", "cachefiles=2 +a1 +b1 ra rb +c1",
         "a:1r1 b:1r1 | - | - | 2"},
    };
    for (const auto& [name, steps, expected] : cases)
        EXPECT_EQ(run(steps), expected) << name;
}

TEST_F(CacheTest, ReadLockHandsOutTheStoredFields) {
    Document doc{"doc", "hello", 784111777};
    doc.status = 203;
    uint32_t id = store(doc);
    CacheLock missing = read("other"), lock = read("doc");
    EXPECT_TRUE(!missing.date.specified() && missing.file.empty() && missing.errorcode == 500);
    EXPECT_EQ(cache->accesses(), 2u);
    EXPECT_EQ(text(lock.date.to_Str()), "Sun, 06 Nov 1994 08:49:37 GMT");
    EXPECT_EQ(text(lock.file), file(id));
    EXPECT_TRUE(lock.id == id && lock.bytes == 5 && !lock.headeronly && lock.errorcode == 203);
    cache->update_cache_date(id, date_of(900000000));
    EXPECT_EQ(text(cache->find_id(id)->date.to_Str()), text(date_of(900000000).to_Str()));
    cache->update_cache_date(id, GMTdate());
    EXPECT_FALSE(cache->find_id(id)->date.specified());
}

TEST_F(CacheTest, NewIdsAreNonZeroBelow2To24WithBit15ClearAndUnique) {
    std::set<uint32_t> seen;
    for (int i = 0; i < 3000; i++) {
        uint32_t id = write_lock(std::to_string(i), true);
        EXPECT_TRUE(id != 0 && (id & 0xFF008000u) == 0 && seen.insert(id).second) << id;
        EXPECT_EQ(cache->seed(), id);
    }
}

TEST_F(CacheTest, InvalidReleasesArePrintedAndChangeNothingAFileAlreadyGoneCountsAsRemoved) {
    uint32_t id = store("a", "r"), writing = write_lock("w"), gone = store("gone", "g");
    fs::remove(file(gone));
    fs::remove(file(id));
    fs::create_directories(file(id) + "/inside"); // a full directory cannot be unlinked
    StderrCapture err;
    cache->release_read_lock(id); // never locked
    cache->release_read_lock(12345678);
    cache->release_read_lock(writing); // its mark is the writer's
    cache->release_write_lock(id, 1);  // already released
    cache->update_cache_date(12345678, date_of(5));
    cache->remove_entry_file(*cache->find_id(gone));
    cache->remove_entry_file(*cache->find_id(id));
    EXPECT_EQ(
        err.text(),
        malfunction("Cache::release_read_lock access-count under run") +
            malfunction("Cache::release_read_lock tried to release invalid read-lock '12345678'") +
            malfunction("Cache::release_read_lock tried to release invalid read-lock '" +
                        std::to_string(writing) + "'") +
            malfunction("Cache::release_write_lock tried to release invalid write-lock") +
            malfunction("Cache::update_cache_date tried to update invalid cache-entry") +
            malfunction("Cache::remove_entry_file unable to remove file '" + file(id) + "'"));
    EXPECT_EQ(cache->find_id(id)->readers, 0);
    EXPECT_EQ(cache->totalbytes(), cache->find_id(id)->disk + cache->find_id(gone)->disk);
    EXPECT_FALSE(fail_pending());
}

TEST_F(CacheTest, AllIdsComeInUrlOrderPreferringTheWaitingVersion) {
    // The order of Str::compare: bytes as signed values, a prefix first.
    const std::string prefix = "http://host.example/";
    uint32_t b = store(prefix + "b", "b"), high = store(prefix + "\xE9", "e"),
             root = store(prefix, "r");
    store(prefix + "a", "a");
    read(prefix + "a");
    uint32_t a2 = store(prefix + "a", "aa");
    write_lock(prefix + "c");
    Str directory;
    std::vector<uint32_t> ids;
    ASSERT_EQ(cache->get_all_ids(directory, ids, 1), 0);
    EXPECT_EQ(text(directory), cachedir() + "/");
    EXPECT_EQ(ids, (std::vector<uint32_t>{root, high, a2, b, 0}));
}

TEST_F(CacheTest, EndOfLifeDiscardsWaitingAndWritingVersionsThenStores) {
    store("kept", "12345");
    read("kept");
    store("kept", "waiting version");
    write_lock("partial");
    // A direct store is refused meanwhile and leaves no database behind.
    EXPECT_EQ(cache->store(), -1);
    EXPECT_EQ(
        std::string(fail_take()),
        "Cache::store unable to write cache data-base to '" + cachedir() +
            "/cachedb', reason:\r\n ObjectDrain << Cache internal inconsistency (entries)\r\n");
    EXPECT_FALSE(fs::exists(cachedir() + "/cachedb"));
    close();
    EXPECT_EQ(open(false), "");
    EXPECT_EQ(state(), "kept:5 | - | - | 5");
}

} // namespace
