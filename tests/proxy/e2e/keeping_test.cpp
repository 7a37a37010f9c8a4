// What harbord keeps, and for whom: a download cut by a crash is never
// served as whole, a full or read-only cache disk never cuts what clients
// get, a cache of an earlier release is read as before, and an answer
// private to one client is never served to another.
#include "testsupport/HarbordFixture.h"
#include "testsupport/OriginServer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace e2e;

namespace {

const std::string SECOND = "127.0.0.2"; // another client; 127.0.0.1 is the first
const std::string NOT_CACHED = "is not cached";

bool has(const std::string& text, const std::string& piece) {
    return text.find(piece) != std::string::npos;
}

int count_of(const std::string& text, const std::string& piece) {
    int count = 0;
    for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1))
        count++;
    return count;
}

// A tmpfs of `kib` KiB mounted over dir while it lives, when this process
// may mount one (root); mounted() tells.
class SmallDisk {
public:
    SmallDisk(const std::string& dir, int kib) : dir_(dir) {
        mounted_ = ::geteuid() == 0 &&
                   run_command({"mount", "-t", "tmpfs", "-o", "size=" + std::to_string(kib) + "k",
                                "tmpfs", dir})
                           .status == 0;
    }
    ~SmallDisk() {
        if (mounted_) run_command({"umount", "-l", dir_});
    }
    bool mounted() const { return mounted_; }

private:
    std::string dir_;
    bool mounted_ = false;
};

// dir turned read-only while it lives: for root (whom permissions do not
// stop) a read-only bind mount over it, which files already open for
// writing do not keep busy; for anyone else its permissions.
class ReadOnly {
public:
    explicit ReadOnly(const std::string& dir) : dir_(dir), root_(::geteuid() == 0) {
        if (!root_) {
            done_ = ::chmod(dir.c_str(), 0555) == 0;
            return;
        }
        done_ = run_command({"mount", "--bind", dir, dir}).status == 0;
        done_ = done_ && run_command({"mount", "-o", "remount,ro,bind", dir}).status == 0;
    }
    ~ReadOnly() {
        if (!root_)
            ::chmod(dir_.c_str(), 0755);
        else
            run_command({"umount", "-l", dir_});
    }
    bool done() const { return done_; }

private:
    std::string dir_;
    bool root_;
    bool done_ = false;
};

TEST(E2eKeeping, ADownloadCutByAKillIsNeverServedAsComplete) {
    OriginServer origin;
    ASSERT_TRUE(origin.listening());
    std::string whole = OriginServer::pattern(400000);
    OriginServer::Answer stalled = OriginServer::document(whole, "text/plain");
    stalled.send_content_length = false;
    stalled.dribble_bytes = 131072; // then a minute's pause
    stalled.dribble_ms = 60000;
    origin.set("/long", stalled);
    std::string url = origin.url("/long");

    Harbord proxy;
    ASSERT_TRUE(proxy.running()) << proxy.log();
    std::thread client([&] { proxy.get(url); });
    bool begun = eventually([&] { return unfinished_bytes(proxy.cachedir()) >= 65536; });
    proxy.kill9();
    client.join();
    ASSERT_TRUE(begun) << "the download never reached its unfinished file";

    ASSERT_TRUE(proxy.start({"-offline", "1"})) << proxy.log();
    EXPECT_TRUE(has(proxy.log(), "invalid files found:  1\n")) << proxy.log();
    HttpResult offline = proxy.get(url);
    EXPECT_TRUE(has(offline.body, NOT_CACHED)) << offline.head;
    ASSERT_EQ(proxy.stop(), 0) << proxy.log();

    OriginServer::Answer steady = OriginServer::document(whole, "text/plain");
    steady.send_content_length = false;
    origin.set("/long", steady);
    ASSERT_TRUE(proxy.start({"-offline", "0"})) << proxy.log();
    EXPECT_TRUE(proxy.get(url).body == whole);
    EXPECT_EQ(origin.request_count("/long"), 2u);
    EXPECT_TRUE(eventually([&] { return proxy.stored(url, 0).body == whole; }));
}

// Documents larger together than the disk under the cache: the least
// recently used ones make room, and every client gets every one whole.
TEST(E2eKeeping, AFullCacheDiskNeverCutsWhatClientsGet) {
    OriginServer origin;
    ASSERT_TRUE(origin.listening());
    Harbord proxy;
    ASSERT_EQ(proxy.stop(), 0) << proxy.log();
    SmallDisk disk(proxy.cachedir(), 1200);
    if (!disk.mounted()) GTEST_SKIP() << "mounting a small tmpfs needs root";
    ASSERT_TRUE(proxy.start()) << proxy.log();

    constexpr int DOCUMENTS = 8, CLIENTS = 3;
    std::vector<std::string> bodies;
    for (int i = 0; i < DOCUMENTS; i++) {
        bodies.push_back(OriginServer::pattern(400000 + size_t(i)));
        OriginServer::Answer answer = OriginServer::document(bodies.back(), "text/plain");
        answer.send_content_length = i % 2 == 0;
        origin.set("/" + std::to_string(i), answer);
    }
    std::atomic<int> cut{0};
    std::vector<std::thread> clients;
    for (int c = 0; c < CLIENTS; c++)
        clients.emplace_back([&, c] {
            for (int round = 0; round < 2 * DOCUMENTS; round++) {
                int i = (round * (c + 1) + c) % DOCUMENTS;
                if (proxy.get(origin.url("/" + std::to_string(i))).body != bodies[size_t(i)]) cut++;
            }
        });
    for (std::thread& client : clients) client.join();
    EXPECT_EQ(cut.load(), 0);
    EXPECT_FALSE(proxy.cache_files().empty()) << "eviction made no room: " << proxy.log();
    EXPECT_EQ(proxy.stop(), 0) << proxy.log();
    EXPECT_EQ(check_cachedb(proxy.cachedir()), "");
}

// A cache directory that turns read-only while harbord runs: what is cached
// is served, what is not is relayed whole, and the stop that cannot write
// the index says so and fails.
TEST(E2eKeeping, AReadOnlyCacheDirectoryStillRelaysWholeAndTheStopFails) {
    OriginServer origin;
    ASSERT_TRUE(origin.listening());
    Harbord proxy;
    ASSERT_TRUE(proxy.running()) << proxy.log();
    std::string kept = OriginServer::pattern(200000);
    origin.set("/kept", OriginServer::document(kept, "text/plain"));
    ASSERT_TRUE(proxy.get(origin.url("/kept")).body == kept);
    ASSERT_TRUE(eventually([&] { return proxy.stored(origin.url("/kept"), 0).body == kept; }));

    ReadOnly read_only(proxy.cachedir());
    if (!read_only.done()) GTEST_SKIP() << "the cache directory could not be made read-only";
    for (int i = 0; i < 3; i++) {
        std::string body = OriginServer::pattern(300000 + size_t(i));
        OriginServer::Answer answer = OriginServer::document(body, "text/plain");
        answer.send_content_length = i != 1;
        origin.set("/new" + std::to_string(i), answer);
        EXPECT_TRUE(proxy.get(origin.url("/new" + std::to_string(i))).body == body) << i;
    }
    EXPECT_TRUE(proxy.get(origin.url("/kept")).body == kept);
    EXPECT_EQ(origin.request_count("/kept"), 1u);
    EXPECT_EQ(count_of(proxy.log(), "cache copy dropped"), 1) << proxy.log();

    EXPECT_NE(proxy.stop(), 0) << proxy.log();
    EXPECT_TRUE(has(proxy.log(), "the cache index could not be written")) << proxy.log();
}

// A cache written by the release before private entries existed is read
// from its index, and rebuilt from its files, and served as it was.
TEST(E2eKeeping, ACacheOfTheEarlierReleaseIsServedAsBefore) {
    namespace fs = std::filesystem;
    const fs::path data = fs::path(__FILE__).parent_path() / "data";
    Harbord proxy;
    ASSERT_EQ(proxy.stop(), 0) << proxy.log();
    for (bool with_index : {true, false}) {
        SCOPED_TRACE(with_index ? "from its index" : "rebuilt from its files");
        fs::remove_all(proxy.cachedir());
        fs::copy(data / "cache-before-privacy", proxy.cachedir());
        if (!with_index) fs::remove(proxy.cachedir() + "/cachedb");
        ASSERT_TRUE(proxy.start({"-offline", "1"})) << proxy.log();
        for (const char* name : {"a.html", "b.txt"}) {
            HttpResult served = proxy.get(std::string("http://127.0.0.1:18431/") + name);
            EXPECT_EQ(served.status, 200) << name;
            EXPECT_TRUE(served.body == read_text_file(data / "site-before-privacy" / name)) << name;
            // Every client may read it: nothing in it was private.
            EXPECT_EQ(proxy.get_from(SECOND, std::string("http://127.0.0.1:18431/") + name).body,
                      served.body);
        }
        ASSERT_EQ(proxy.stop(), 0) << proxy.log();
        EXPECT_EQ(check_cachedb(proxy.cachedir()), "");
    }
}

// Origin pages that greet whoever asks: the body names the request's
// cookie and counts the visits, so a copy served to the wrong client shows.
void personal_pages(OriginServer& origin, std::atomic<int>& visits) {
    origin.set_handler([&visits](const OriginServer::Request& request,
                                 OriginServer::Answer& answer) {
        int visit = ++visits;
        answer = OriginServer::document("<P>secret page, visit " + std::to_string(visit) +
                                        ", cookie [" + request.header("Cookie") + "]</P>");
        std::string path = request.path;
        if (path == "/login")
            answer.headers = {"Set-Cookie: id=SECRET-" + std::to_string(visit) + "; Path=/",
                              "Set-Cookie: theme=dark"};
        if (path == "/private") answer.headers = {"Cache-Control: PRIVATE , max-age=60"};
        if (path == "/field") answer.headers = {"cache-control: private=\"Set-Cookie\""};
        if (path == "/nostore") answer.headers = {"Cache-Control:  max-age=0,  No-Store "};
        if (path == "/shared") answer.headers = {"Cache-Control: max-age=60, x-unknown"};
        return true;
    });
}

TEST(E2eKeeping, APrivateAnswerIsServedFromTheCacheToItsOwnClientOnly) {
    OriginServer origin;
    ASSERT_TRUE(origin.listening());
    std::atomic<int> visits{0};
    personal_pages(origin, visits);
    Harbord proxy;
    ASSERT_TRUE(proxy.running()) << proxy.log();
    struct Case {
        const char* path;
        std::vector<std::string> headers; // of the first client's requests
        bool kept_private;
    } cases[] = {
        {"/cookie", {"Cookie: session=FIRST-SECRET"}, true},
        {"/login", {}, true},
        {"/private", {}, true},
        {"/field", {}, true},
        {"/nostore", {}, true},
        {"/shared", {}, false},
    };
    std::vector<std::string> first_bodies;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        std::string url = origin.url(c.path);
        HttpResult fetched = proxy.get(url, c.headers);
        ASSERT_EQ(fetched.status, 200) << proxy.log();
        ASSERT_TRUE(eventually([&] { return proxy.stored(url, 0).valid; }));
        // The owner reads its copy again, without the cookies it set.
        HttpResult again = proxy.get(url, c.headers);
        EXPECT_EQ(again.body, fetched.body);
        EXPECT_EQ(again.header("Set-Cookie"), "");
        EXPECT_EQ(again.header("X-Quaylo-Private"), "");
        EXPECT_EQ(proxy.stored(url).body, fetched.body);
        first_bodies.push_back(fetched.body);
    }
    EXPECT_EQ(visits.load(), 6);

    // Offline, the second client gets the offline page; the first its copies.
    ASSERT_TRUE(proxy.set_offline(true));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        std::string url = origin.url(c.path);
        HttpResult second = proxy.get_from(SECOND, url);
        EXPECT_EQ(has(second.body, NOT_CACHED), c.kept_private) << second.body;
        EXPECT_EQ(proxy.get(url, c.headers).body, first_bodies[size_t(&c - cases)]);
    }
    // Search and inventory list the private pages for their own client only.
    std::string mine = proxy.get("http://quaylo/search?phrase=secret").body;
    std::string theirs = proxy.get_from(SECOND, "http://quaylo/search?phrase=secret").body;
    std::string listed = proxy.get_from(SECOND, "http://quaylo/inventory.txt").body;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_TRUE(has(mine, origin.url(c.path))) << mine;
        EXPECT_EQ(has(theirs, origin.url(c.path)), !c.kept_private) << theirs;
        EXPECT_EQ(has(listed, origin.url(c.path)), !c.kept_private) << listed;
    }

    // Online, the second client is asked for at the origin, never handed
    // the first one's page.
    ASSERT_TRUE(proxy.set_offline(false));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        int before = visits;
        std::string second = proxy.get_from(SECOND, origin.url(c.path)).body;
        EXPECT_EQ(visits - before, c.kept_private ? 1 : 0);
        EXPECT_FALSE(has(second, "FIRST-SECRET")) << second;
        EXPECT_EQ(second == first_bodies[size_t(&c - cases)], !c.kept_private);
    }
    // A client's own Cache-Control: no-cache asks the origin again.
    int before = visits;
    proxy.get(origin.url("/shared"), {"Cache-Control: no-cache"});
    EXPECT_EQ(visits - before, 1);
}

} // namespace
