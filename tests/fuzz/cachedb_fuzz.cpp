// Fuzz target: arbitrary bytes as the cachedb of a cache opened without
// recovery. Loading must either fail cleanly or give consistent indexes.
#include "foundation/Fail.h"
#include "foundation/Option.h"
#include "proxy/cache/Cache.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

std::string& directory() {
    static std::string dir;
    if (dir.empty()) {
        char pattern[] = "/tmp/cachedb-fuzz-XXXXXX";
        if (!::mkdtemp(pattern)) std::abort();
        dir = pattern;
        std::atexit([] {
            ::unlink((directory() + "/cachedb").c_str());
            ::rmdir(directory().c_str());
        });
    }
    return dir;
}

void check(const Cache& cache) {
    uint32_t sum = 0;
    for (const CacheEntry& e : cache.current()) {
        if (e.id == 0 || cache.find_id(e.id) != &e) std::abort();
        const UrlNode* node = cache.find_url(e.url);
        if (!node || node->current != &e) std::abort();
        sum += e.disk;
    }
    if (cache.ids().size() != cache.current().count() ||
        cache.urls().size() != cache.current().count() || cache.totalbytes() != sum ||
        !cache.waiting().empty() || !cache.writing().empty())
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& dir = directory();
    std::string path = dir + "/cachedb";
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) std::abort();
    if (size > 0) std::fwrite(data, 1, size, file);
    std::fclose(file);

    OptionPath cachedir("cachedir", "", Str(dir.c_str()), 0, false);
    OptionInt cachesize("cachesize", "", 4096, 8, 2000000, false);
    OptionInt entrysize("entrysize", "", 500, 2, 2000000, false);
    OptionInt cachefiles("cachefiles", "", 10000, 2, 2000000, false);
    OptionChoice language("language", "", 0, "english deutsch dutch", false);
    OptionFlag debug("debug", "", 0, false);
    OptionPath exportdir("exportdir", "", "./export", 0, false);
    OptionPath importdir("importdir", "", "./import", 0, false);
    {
        Cache cache(cachedir, cachesize, entrysize, cachefiles, language, debug, exportdir,
                    importdir, false);
        if (!cache.failed()) check(cache);
    }
    ::unlink(path.c_str());
    fail_take();
    return 0;
}
