// What harbord keeps, and for whom: a full or read-only cache disk never
// cuts what clients get, a cache of an earlier release is read as before,
// and an answer private to one client is never served to another. (A
// download cut by a crash: caching_test.)
#include "testsupport/HarbordFixture.h"
#include "testsupport/OriginServer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <string>
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

// A mount over dir while it lives, made by root only: the mount command
// and its arguments before dir.
class MountOver {
public:
    MountOver(std::vector<std::string> mount, const std::string& dir) : dir_(dir) {
        mount.push_back(dir);
        made_ = ::geteuid() == 0 && run_command(mount).status == 0;
    }
    ~MountOver() {
        if (made_) run_command({"umount", "-l", dir_});
    }
    bool made() const { return made_; }

private:
    std::string dir_;
    bool made_ = false;
};

// Documents larger together than the small disk under the cache: the least
// recently used ones make room, every client gets every one whole, and the
// stop leaves a sound index. Then the disk turns read-only under the running
// harbord: the copy is served, the rest still relayed whole, and the stop
// that cannot write the index says so and fails.
TEST(E2eKeeping, AFullOrReadOnlyCacheDiskNeverCutsWhatClientsGet) {
    OriginServer origin;
    Harbord proxy;
    ASSERT_EQ(proxy.stop(), 0) << proxy.log();
    MountOver disk({"mount", "-t", "tmpfs", "-o", "size=1200k", "tmpfs"}, proxy.cachedir());
    if (!disk.made()) GTEST_SKIP() << "mounting a small tmpfs needs root";
    ASSERT_TRUE(proxy.start()) << proxy.log();
    constexpr int DOCUMENTS = 8, CLIENTS = 3;
    std::vector<std::string> bodies;
    for (int i = 0; i < DOCUMENTS + 3; i++) {
        bodies.push_back(OriginServer::pattern(400000 + size_t(i)));
        OriginServer::Answer answer = OriginServer::document(bodies.back(), "text/plain");
        answer.send_content_length = i % 2 == 0;
        origin.set("/" + std::to_string(i), answer);
    }
    auto whole = [&](int i) {
        return proxy.get(origin.url("/" + std::to_string(i))).body == bodies[size_t(i)];
    };
    std::atomic<int> cut{0};
    std::vector<std::thread> clients;
    for (int c = 0; c < CLIENTS; c++)
        clients.emplace_back([&, c] {
            for (int round = 0; round < 2 * DOCUMENTS; round++)
                cut += !whole((round * (c + 1) + c) % DOCUMENTS);
        });
    for (std::thread& client : clients) client.join();
    EXPECT_EQ(cut.load(), 0);
    EXPECT_FALSE(proxy.cache_files().empty()) << "eviction made no room: " << proxy.log();
    ASSERT_EQ(proxy.stop(), 0) << proxy.log();
    EXPECT_EQ(check_cachedb(proxy.cachedir()), "");

    ASSERT_TRUE(proxy.start()) << proxy.log();
    size_t earlier = proxy.log().size();
    CacheFile kept = proxy.cache_files().front();
    // A read-only bind mount: files open for writing do not keep it busy.
    MountOver view({"mount", "--bind", proxy.cachedir()}, proxy.cachedir());
    ASSERT_TRUE(view.made());
    ASSERT_EQ(run_command({"mount", "-o", "remount,ro,bind", proxy.cachedir()}).status, 0);
    size_t asked = origin.request_count();
    EXPECT_TRUE(proxy.get(kept.url).body == kept.body);
    EXPECT_EQ(origin.request_count(), asked);
    for (int i = DOCUMENTS; i < DOCUMENTS + 3; i++) EXPECT_TRUE(whole(i)) << i;
    std::string log = proxy.log().substr(earlier);
    EXPECT_TRUE(has(log, "cache copy dropped") && !has(log, "unable to remove") &&
                log.find("cache copy dropped") == log.rfind("cache copy dropped"))
        << log;
    EXPECT_NE(proxy.stop(), 0) << proxy.log();
    EXPECT_TRUE(has(proxy.log(), "the cache index could not be written")) << proxy.log();
}

// A cache written by the release before private entries existed is read
// from its index, and rebuilt from its files, and served as it was.
TEST(E2eKeeping, ACacheOfTheEarlierReleaseIsServedAsBefore) {
    namespace fs = std::filesystem;
    const fs::path data = KEEPING_DATA_DIR;
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

// Pages that greet whoever asks: the body names the request's cookie and
// counts the visits, so a copy served to the wrong client shows.
TEST(E2eKeeping, APrivateAnswerIsServedFromTheCacheToItsOwnClientOnly) {
    struct Case {
        const char* path;
        std::vector<std::string> asked_with; // the first client's header lines
        std::string answer_header;
        bool kept_private;
    } cases[] = {
        {"/cookie", {"Cookie: session=FIRST-SECRET"}, "", true},
        {"/login", {}, "Set-Cookie: id=FIRST-SECRET\r\nSet-Cookie:theme=dark", true},
        {"/private", {}, "Cache-Control: PRIVATE , max-age=60", true},
        {"/field", {}, "cache-control: private=\"Set-Cookie\"", true},
        {"/nostore", {}, "Cache-Control:  max-age=0,  No-Store ", true},
        {"/shared", {}, "Cache-Control: max-age=60, x-unknown", false},
    };
    std::atomic<int> visits{0};
    OriginServer origin;
    origin.set_handler([&](const OriginServer::Request& request, OriginServer::Answer& answer) {
        answer = OriginServer::document("<P>secret page, visit " + std::to_string(++visits) +
                                        ", cookie [" + request.header("Cookie") + "]</P>");
        for (const Case& c : cases)
            if (request.path == c.path && !c.answer_header.empty())
                answer.headers = {c.answer_header};
        return true;
    });
    Harbord proxy;
    ASSERT_TRUE(proxy.running()) << proxy.log();
    auto first = [&](const Case& c) { return proxy.get(origin.url(c.path), c.asked_with); };
    std::vector<std::string> bodies;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        bodies.push_back(first(c).body);
        ASSERT_TRUE(eventually([&] { return proxy.stored(origin.url(c.path), 0).valid; }));
        // The owner reads its copy again, without the cookies it set.
        HttpResult again = first(c);
        EXPECT_TRUE(again.body == bodies.back() && again.header("Set-Cookie").empty() &&
                    again.header("X-Quaylo-Private").empty())
            << again.head;
    }
    EXPECT_EQ(visits.load(), 6);

    // Offline, the second client gets the offline page, the first its copy;
    // search and inventory list a private page for its own client only.
    ASSERT_TRUE(proxy.set_offline(true));
    std::string mine = proxy.get("http://quaylo/search?phrase=secret").body;
    std::string theirs = proxy.get_from(SECOND, "http://quaylo/search?phrase=secret").body;
    std::string listed = proxy.get_from(SECOND, "http://quaylo/inventory.txt").body;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        std::string url = origin.url(c.path);
        EXPECT_EQ(has(proxy.get_from(SECOND, url).body, NOT_CACHED), c.kept_private);
        EXPECT_EQ(first(c).body, bodies[size_t(&c - cases)]);
        EXPECT_TRUE(has(mine, url)) << mine;
        EXPECT_EQ(has(theirs, url), !c.kept_private) << theirs;
        EXPECT_EQ(has(listed, url), !c.kept_private) << listed;
    }

    // Online, the second client's request goes to the origin: it is never
    // handed the first one's page.
    ASSERT_TRUE(proxy.set_offline(false));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        int before = visits;
        std::string second = proxy.get_from(SECOND, origin.url(c.path)).body;
        EXPECT_EQ(visits - before, c.kept_private ? 1 : 0);
        EXPECT_EQ(second == bodies[size_t(&c - cases)], !c.kept_private);
    }
    // A client's own Cache-Control: no-cache asks the origin again.
    int before = visits;
    proxy.get(origin.url("/shared"), {"Cache-Control: no-cache"});
    EXPECT_EQ(visits - before, 1);
}

} // namespace
