// Any bytes as what a worker sends on its channel, served by the command
// server against a real cache in a temporary folder until the channel ends.
// The server must never fail itself or hang, the record must go once the
// bytes end, and no lock the channel took may stay behind.
#include "foundation/Fail.h"
#include "proxy/admin/AdminRequest.h"
#include "proxy/cache/Cache.h"
#include "proxy/options/RelaisOptions.h"
#include "proxy/server/CommandServer.h"

#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <sys/socket.h>
#include <thread>

#define CHECK(condition) ((condition) ? (void)0 : __builtin_trap())

namespace {

// Nobody is an admin (no admin addresses): no request changes options or
// writes outside the cache folder.
struct Site {
    std::string dir;
    RelaisOptions options;
    std::unique_ptr<Cache> cache;
    std::vector<uint32_t> admins;
    std::unique_ptr<AdminRequest> admin;
    std::unique_ptr<CommandServer> server;

    Site() {
        char pattern[] = "/tmp/command-server-fuzz-XXXXXX";
        if (!::mkdtemp(pattern)) std::abort();
        dir = pattern;
        std::atexit([] { std::filesystem::remove_all(site().dir); });
        // A small cache keeps the pages that list it small.
        if (options.set.set("cachedir", (dir + "/cache").c_str()) != 0 ||
            options.set.set("cachefiles", "100") != 0)
            std::abort();
        cache = std::make_unique<Cache>(options.cachedir, options.cachesize, options.entrysize,
                                        options.cachefiles, options.language, options.debug,
                                        options.exportdir, options.importdir, true);
        if (cache->failed()) std::abort();
        admin = std::make_unique<AdminRequest>(
            AdminSite{options, *cache, admins, Str((dir + "/harbord").c_str()), {}, Str()});
        server = std::make_unique<CommandServer>(options, *cache, *admin);
    }
    static Site& site() {
        static Site* made = new Site;
        return *made;
    }
};

// Takes the server's answers on the worker's end of each channel until the
// server ends it, on a thread of its own: the server may send more than the
// channel holds at once (answers held back leave together).
class AnswerTaker {
public:
    AnswerTaker() : thread_([this] { run(); }) { thread_.detach(); }
    // Starts taking from fd at once; finish() waits for the end.
    void start(int fd) {
        std::lock_guard<std::mutex> guard(lock_);
        fd_ = fd;
        changed_.notify_all();
    }
    void finish() {
        std::unique_lock<std::mutex> guard(lock_);
        changed_.wait(guard, [this] { return fd_ < 0; });
    }

private:
    void run() {
        char sink[65536];
        for (;;) {
            int fd;
            {
                std::unique_lock<std::mutex> guard(lock_);
                changed_.wait(guard, [this] { return fd_ >= 0; });
                fd = fd_;
            }
            while (::recv(fd, sink, sizeof sink, 0) > 0) {
            }
            std::lock_guard<std::mutex> guard(lock_);
            fd_ = -1;
            changed_.notify_all();
        }
    }

    std::mutex lock_;
    std::condition_variable changed_;
    int fd_ = -1;
    std::thread thread_;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 65536) return 0; // more than the channel holds at once
    Site& site = Site::site();
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) std::abort();
    ConnectionTable table;
    auto record = std::make_unique<Connection>();
    int32_t id = record->id = ConnectionTable::next_id();
    record->channel = std::make_unique<CmdSocket>(ends[0]);
    table.add(std::move(record));

    // The bytes and their end are all there before the server reads: no
    // read waits.
    size_t sent = 0;
    while (sent < size) {
        ssize_t n = ::send(ends[1], data + sent, size - sent, MSG_NOSIGNAL);
        if (n <= 0) std::abort();
        sent += size_t(n);
    }
    ::shutdown(ends[1], SHUT_WR);
    static AnswerTaker* taker = new AnswerTaker;
    taker->start(ends[1]);
    while (Connection* served = table.find(id))
        CHECK(site.server->serve(*served, table) == 0);
    taker->finish();
    ::close(ends[1]);
    fail_take();

    CHECK(site.cache->writing().empty() && site.cache->waiting().empty());
    for (const CacheEntry& entry : site.cache->current())
        CHECK(entry.readers == 0);
    return 0;
}
