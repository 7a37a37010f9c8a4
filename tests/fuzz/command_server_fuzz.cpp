// Any bytes as what a worker sends on its channel, served by the command
// server against a real cache in a temporary folder until the channel ends.
// The server must never fail itself or hang, the record must go once the
// bytes end, and no lock the channel took may stay behind.
#include "foundation/Fail.h"
#include "proxy/admin/AdminRequest.h"
#include "proxy/cache/Cache.h"
#include "proxy/options/RelaisOptions.h"
#include "proxy/server/CommandServer.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/socket.h>

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
        if (options.set.set("cachedir", (dir + "/cache").c_str()) != 0) std::abort();
        cache = std::make_unique<Cache>(options.cachedir, options.cachesize, options.entrysize,
                                        options.cachefiles, options.language, options.debug,
                                        options.exportdir, options.importdir, true);
        if (cache->failed()) std::abort();
        admin = std::make_unique<AdminRequest>(
            AdminSite{options, *cache, admins, Str((dir + "/harbord").c_str()), {}});
        server = std::make_unique<CommandServer>(options, *cache, *admin);
    }
    static Site& site() {
        static Site* made = new Site;
        return *made;
    }
};

// Takes what the server answered so far.
void take_answers(int fd) {
    char sink[65536];
    while (::recv(fd, sink, sizeof sink, MSG_DONTWAIT) > 0) {
    }
}

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
    // read waits. One answer at a time fits into the channel.
    size_t sent = 0;
    while (sent < size) {
        ssize_t n = ::send(ends[1], data + sent, size - sent, MSG_NOSIGNAL);
        if (n <= 0) std::abort();
        sent += size_t(n);
    }
    ::shutdown(ends[1], SHUT_WR);
    while (Connection* served = table.find(id)) {
        CHECK(site.server->serve(*served, table) == 0);
        take_answers(ends[1]);
    }
    ::close(ends[1]);
    fail_take();

    CHECK(site.cache->writing().empty() && site.cache->waiting().empty());
    for (const CacheEntry& entry : site.cache->current())
        CHECK(entry.readers == 0);
    return 0;
}
