// What a worker thread does in the cache without a message to the server's
// loop: its locks (the same rules as over the channel, and what it holds is
// released at its end), the copies of small files kept in memory (gone with
// their file), and the one step that decides whether a connection's head or
// its drop came first.
#include "proxy/server/DirectLink.h"

#include "proxy/cache/Cache.h"
#include "proxy/server/ConnectionState.h"
#include "proxy/server/HotFiles.h"
#include "proxy/server/ParentChannel.h"
#include "proxy/server/ServerShare.h"
#include "testsupport/CacheFixture.h"

#include <atomic>
#include <thread>

namespace {

constexpr uint32_t CLIENT = 1;

class DirectLinkTest : public CacheFixture {
protected:
    void SetUp() override {
        CacheFixture::SetUp();
        share = std::make_shared<ServerShare>(*cache, WorkerOptions());
    }
    void TearDown() override {
        share.reset(); // before the cache it watches
        CacheFixture::TearDown();
    }
    std::unique_ptr<DirectLink> link() {
        return std::make_unique<DirectLink>(WorkerShares{share, std::make_shared<ConnectionState>()}, CLIENT);
    }
    // The report a refused step left.
    static std::string refused(int result) { return result == 1 ? text(fail_take()) : "accepted"; }
    std::shared_ptr<ServerShare> share;
};

TEST_F(DirectLinkTest, LocksFollowTheServersRulesAndWhatIsHeldGoesAtTheEnd) {
    store("a", "body");
    auto worker = link();
    CacheLookup first, second;
    ASSERT_EQ(worker->read_lock("a", first, "T "), 0);
    EXPECT_EQ(state(), "a:4r1 | - | - | 4");
    EXPECT_EQ(refused(worker->read_lock("a", second, "T ")), "T invalid lock use by child\r\n");
    EXPECT_EQ(refused(worker->release_read_lock(first.id + 1, "T ")), "T invalid lock use by child\r\n");
    EXPECT_EQ(refused(worker->update_cache_date(first.id + 1, GMTdate(), "T ")), "T invalid lock use by child\r\n");
    EXPECT_EQ(worker->release_read_lock(first.id, "T "), 0);
    EXPECT_EQ(state(), "a:4 | - | - | 4");

    Str file;
    uint32_t id = 0;
    ASSERT_EQ(worker->write_lock("b", date_of(1), false, 200, false, file, id, "T "), 0);
    ASSERT_EQ(worker->read_lock("a", first, "T "), 0);
    EXPECT_EQ(refused(worker->write_lock("c", date_of(1), false, 200, false, file, id, "T ")),
              "T invalid lock use by child\r\n");
    // A worker that ends mid-way: its read lock goes, its unfinished copy is not kept.
    worker.reset();
    EXPECT_EQ(state(), "a:4 | - | - | 4");
    // One that outlives the server reaches nothing of what is gone.
    auto late = link();
    share->close();
    EXPECT_EQ(refused(late->read_lock("a", first, "T ")), "T the server has ended\r\n");
    EXPECT_EQ(refused(late->make_room(10, id, "T ")), "T the server has ended\r\n");
}

TEST_F(DirectLinkTest, ACopyInMemoryIsOfferedOnlyForItsFileAndGoesWithIt) {
    store("a", "old");
    auto worker = link();
    CacheLookup lookup;
    ASSERT_EQ(worker->read_lock("a", lookup, "T "), 0);
    EXPECT_EQ(lookup.copy, nullptr);
    auto copy = std::make_shared<const Str>("the file of a");
    CacheLookup other = lookup;
    other.id = lookup.id + 1; // not the lock this worker holds
    worker->keep_copy(other, copy);
    EXPECT_EQ(share->hot_files().count(), 0u);
    worker->keep_copy(lookup, copy);
    ASSERT_EQ(worker->release_read_lock(lookup.id, "T "), 0);
    ASSERT_EQ(worker->read_lock("a", lookup, "T "), 0);
    EXPECT_EQ(lookup.copy, copy);
    ASSERT_EQ(worker->release_read_lock(lookup.id, "T "), 0);
    // A new version replaces the file: its id may come back for another document.
    store("a", "new version");
    EXPECT_EQ(share->hot_files().count(), 0u);
    ASSERT_EQ(worker->read_lock("a", lookup, "T "), 0);
    EXPECT_EQ(lookup.copy, nullptr);
    EXPECT_EQ(lookup.bytes, 11u);
}

TEST(HotFiles, KeepsTheMostRecentlyUsedCopiesWithinItsRoomAndNoLargeOnes) {
    HotFiles files;
    auto copy_of = [](uint32_t size) { return std::make_shared<const Str>(Str(size)); };
    const uint32_t fitting = uint32_t(HotFiles::TOTAL_LIMIT / HotFiles::FILE_LIMIT);
    for (uint32_t id = 1; id <= fitting; id++) files.keep(id, "f" + Str::from_ulong(id), copy_of(HotFiles::FILE_LIMIT));
    EXPECT_EQ(files.bytes(), HotFiles::TOTAL_LIMIT);
    EXPECT_NE(files.find(1, "f1"), nullptr); // now the most recently used
    EXPECT_EQ(files.find(2, "elsewhere"), nullptr);
    files.keep(fitting + 1, "new", copy_of(100));
    EXPECT_NE(files.find(1, "f1"), nullptr);
    EXPECT_EQ(files.find(2, "f2"), nullptr);
    EXPECT_EQ(files.count(), size_t(fitting));
    files.keep(fitting + 2, "large", copy_of(HotFiles::FILE_LIMIT + 1));
    EXPECT_EQ(files.find(fitting + 2, "large"), nullptr);
    files.forget(1);
    files.forget(1);
    EXPECT_EQ(files.find(1, "f1"), nullptr);
    EXPECT_EQ(files.bytes(), uint64_t(fitting - 2) * HotFiles::FILE_LIMIT + 100);
}

TEST(ConnectionState, EitherTheHeadOrTheDropComesFirstNeverBoth) {
    const struct {
        const char* name;
        const char* steps; // h: take_head, d: drop, w: await_head; upper case: expected to succeed
    } cases[] = {
        {"a drop before the head ends the request", "Dh"},
        {"a head before the drop keeps the place", "Hd"},
        {"a second head in the same phase is no change", "HH"},
        {"after the answer the place may be given away again", "HwD"},
        {"a dropped connection takes no head after its answer either", "Dwh"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ConnectionState state;
        for (const char* step = c.steps; *step; step++) {
            bool expected = std::isupper(static_cast<unsigned char>(*step));
            switch (std::tolower(static_cast<unsigned char>(*step))) {
            case 'h': EXPECT_EQ(state.take_head(), expected); break;
            case 'd': EXPECT_EQ(state.drop(), expected); break;
            case 'w': state.await_head(); break;
            }
        }
    }
    // Raced from two threads: exactly one of them wins, every time.
    for (int round = 0; round < 2000; round++) {
        ConnectionState state;
        std::atomic<int> go{0}, winners{0};
        std::thread dropper([&] {
            while (go == 0) {}
            winners += state.drop();
        });
        go = 1;
        winners += state.take_head();
        dropper.join();
        ASSERT_EQ(winners, 1) << round;
    }
}

} // namespace
