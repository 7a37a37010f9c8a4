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
        cache->get_write_lock(url.c_str(), date_of(1000), headeronly, 200, file, id);
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
                EXPECT_EQ(options.set.set(w.substr(0, equals).c_str(), w.substr(equals + 1).c_str()), 0);
                continue;
            }
            std::string url = w.substr(1, 1), rest = w.substr(2);
            uint32_t n = rest.empty() || rest == "-" ? 0 : uint32_t(std::stoul(rest));
            switch (w[0]) {
            case '+': EXPECT_NE(store({url, std::string(n, 'x'), 1, rest == "-"}), 0u) << w; break;
            case 'o': opened = write_lock(url); break;
            case 'x': EXPECT_EQ(write_lock(url, rest == "-"), 0u) << w; break;
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
        {"a new copy waits while the old one is read", "+a4 ra +a10",
         "current a:4r1; waiting a:10; writing; total 14"},
        {"later readers get the waiting copy", "+a4 ra +a10 ra",
         "current a:4r1; waiting a:10r1; writing; total 14"},
        {"it becomes current at the last release of the old one", "+a4 ra +a10 ra ua",
         "current a:10r1; waiting; writing; total 10"},
        {"a third version replaces an unread waiting one", "+a1 ra +a2 +a3",
         "current a:1r1; waiting a:3; writing; total 4"},
        {"a complete version behind a read waiting one stays in the writing slot",
         "+a1 ra +a2 ra +a3 xa", "current a:1r1; waiting a:2r1; writing a:3; total 6"},
        {"and moves on at the next release", "+a1 ra +a2 ra +a3 ua",
         "current a:2r1; waiting a:3; writing; total 5"},
        {"and on", "+a1 ra +a2 ra +a3 ua ua", "current a:3; waiting; writing; total 3"},
        {"a URL being written: a second write lock gets id 0, nobody reads it", "oa xa ra",
         "current; waiting; writing a:0r1; total 0"},
        {"completed, it is read", "oa ca3 ra", "current a:3r1; waiting; writing; total 3"},
        {"an unfinished download is discarded with its file", "oa ca0",
         "current; waiting; writing; total 0"},
        {"a head-only copy is kept", "+a- ra", "current a:0r1; waiting; writing; total 0"},
        {"a full copy replaces a head-only one", "+a- +a13", "current a:13; waiting; writing; total 13"},
        {"a head-only copy never replaces a full one", "+a4 xa-",
         "current a:4; waiting; writing; total 4"},
        {"nor a full waiting one", "+a- ra +a15 xa-", "current a:0r1; waiting a:15; writing; total 15"},
        {"entrysize x 1024 bytes are kept", "entrysize=2 +a2048",
         "current a:2048; waiting; writing; total 2048"},
        {"one byte more is discarded with its file", "entrysize=2 +a2049",
         "current; waiting; writing; total 0"},
        {"cachefiles 2: a third document evicts the least recently read one",
         "cachefiles=2 +a5 +b5 ra ua +c5", "current a:5 c:5; waiting; writing; total 10"},
        {"cachesize 8: evicted until the bytes fit", "cachesize=8 +a3000 +b3000 +c3000",
         "current b:3000 c:3000; waiting; writing; total 6000"},
        {"an entry in use is skipped", "+a1 +b1 +c1 ra rb ub rc uc cachefiles=2 +d1",
         "current a:1r1 d:1; waiting; writing; total 2"},
        {"the pass ends when every older entry is in use", "cachefiles=2 +a1 +b1 ra rb +c1",
         "current a:1r1 b:1r1; waiting; writing; total 2"},
    };
    for (const auto& [name, steps, expected] : cases) EXPECT_EQ(run(steps), expected) << name;
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

TEST_F(CacheTest, InvalidReleasesArePrintedAndChangeNothing) {
    uint32_t id = store("a", "r");
    uint32_t writing = write_lock("w");
    StderrCapture err;
    cache->release_read_lock(id); // never locked
    cache->release_read_lock(12345678);
    cache->release_read_lock(writing); // its mark is the writer's
    cache->release_write_lock(id, 1);  // already released
    cache->update_cache_date(12345678, date_of(5));
    EXPECT_EQ(err.text(),
              malfunction("Cache::release_read_lock access-count under run") +
                  malfunction("Cache::release_read_lock tried to release invalid read-lock '12345678'") +
                  malfunction("Cache::release_read_lock tried to release invalid read-lock '" +
                              std::to_string(writing) + "'") +
                  malfunction("Cache::release_write_lock tried to release invalid write-lock") +
                  malfunction("Cache::update_cache_date tried to update invalid cache-entry"));
    EXPECT_EQ(state(), "current a:1; waiting; writing w:0r1; total 1");
}

TEST_F(CacheTest, AllIdsComeInUrlOrderPreferringTheWaitingVersion) {
    uint32_t b = store("b", "b");
    store("a", "a");
    read("a");
    uint32_t a2 = store("a", "aa");
    write_lock("c");
    Str directory;
    std::vector<uint32_t> ids;
    ASSERT_EQ(cache->get_all_ids(directory, ids), 0);
    EXPECT_EQ(text(directory), cachedir() + "/");
    EXPECT_EQ(ids, (std::vector<uint32_t>{a2, b, 0}));
}

TEST_F(CacheTest, RemovingAFileThatIsGoneCountsAsRemovedOtherFailuresArePrinted) {
    uint32_t gone = store("gone", "g");
    uint32_t stuck = store("stuck", "s");
    fs::remove(file(gone));
    fs::remove(file(stuck));
    fs::create_directories(file(stuck) + "/inside"); // a full directory cannot be unlinked
    StderrCapture err;
    cache->remove_entry_file(*cache->find_id(gone));
    cache->remove_entry_file(*cache->find_id(stuck));
    EXPECT_EQ(err.text(),
              malfunction("Cache::remove_entry_file unable to remove file '" + file(stuck) + "'"));
    EXPECT_FALSE(fail_pending());
}

TEST_F(CacheTest, EndOfLifeDiscardsWaitingAndWritingVersionsThenStores) {
    store("kept", "12345");
    read("kept");
    store("kept", "waiting version");
    write_lock("partial");
    // A direct store is refused meanwhile and leaves no database behind.
    EXPECT_EQ(cache->store(), -1);
    EXPECT_EQ(std::string(fail_take()),
              "Cache::store unable to write cache data-base to '" + cachedir() +
                  "/cachedb', reason:\r\n ObjectDrain << Cache internal inconsistency (entries)\r\n");
    EXPECT_FALSE(fs::exists(cachedir() + "/cachedb"));
    close();
    EXPECT_EQ(open(false), "");
    EXPECT_EQ(state(), "current kept:5; waiting; writing; total 5");
}

TEST_F(CacheTest, TotalbytesAndIndexesStayInStepThroughRandomLocking) {
    ASSERT_EQ(options.set.set("cachefiles", "5"), 0);
    uint32_t random = 7;
    std::vector<uint32_t> held;
    for (int round = 0; round < 400; round++) {
        random = random * 1103515245u + 12345u;
        std::string url = std::to_string((random >> 8) % 9);
        uint32_t choice = (random >> 20) % 4;
        if (choice < 2) {
            store(url, std::string((random >> 4) % 50, 'z'));
        } else if (uint32_t id = choice == 2 ? read(url).id : 0) {
            held.push_back(id);
        } else if (choice == 3 && !held.empty()) {
            cache->release_read_lock(held.back());
            held.pop_back();
        }
        uint32_t sum = 0;
        for (const EntryList* list : {&cache->current(), &cache->waiting(), &cache->writing()})
            for (const CacheEntry& e : *list) sum += e.bytes;
        ASSERT_EQ(cache->totalbytes(), sum) << "round " << round;
        ASSERT_EQ(cache->ids().size(),
                  cache->current().count() + cache->waiting().count() + cache->writing().count());
        // Every entry has its file and the folder holds nothing else.
        ASSERT_EQ(state().find_first_of("!f"), std::string::npos) << state();
    }
    for (; !held.empty(); held.pop_back()) cache->release_read_lock(held.back());
    EXPECT_TRUE(cache->current().count() <= 5 && cache->waiting().empty()) << state();
}

TEST(StrOrder, AgreesWithStrCompareIncludingHighBytesAndPrefixes) {
    uint32_t state = 99;
    auto next = [&state] { return (state = state * 214013u + 2531011u) >> 16 & 0x7FFF; };
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
            ASSERT_EQ(StrOrder::str_order(a, b), expected) << text(a) << " vs " << text(b);
            ASSERT_EQ(StrOrder()(a, b), expected < 0);
        }
}

} // namespace
