// The cache database at server scale: load plus store of a cachedb with
// 100,000 entries, recovery of a directory of 100,000 small cache files, and
// read-lock/release pairs over 100,000 entries.
// Targets (2 cores): load + store under 0.5 s, recovery under 10 s, more than
// 1,000,000 lock pairs per second.
//
// The working directory is CACHE_BENCH_DIR, else a fresh one below the
// system's temporary directory; it is removed at the end. The recovery's
// console lines go to /dev/null while it is timed. The cache files are
// written once, so recovery runs with the files in the page cache.
//
//   cmake -S . -B build/h-cache-rel -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_BENCH=ON
//   cmake --build build/h-cache-rel --target cache_bench
//   build/h-cache-rel/bin/cache_bench
// Random look-ups over 100,000 entries are bound by memory latency and TLB
// misses; GLIBC_TUNABLES=glibc.malloc.hugetlb=1 (huge pages for the heap)
// shows how much of the time that is.
#include "foundation/Fail.h"
#include "foundation/FileStream.h"
#include "foundation/ObjectStream.h"
#include "foundation/Option.h"
#include "http/URLAnswer.h"
#include "proxy/cache/Cache.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr uint32_t ENTRIES = 100000;

std::string make_dir(const char* name) {
    const char* base = std::getenv("CACHE_BENCH_DIR");
    fs::path root = base ? fs::path(base) : fs::temp_directory_path();
    std::string pattern = (root / (std::string(name) + "-XXXXXX")).string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!::mkdtemp(buffer.data())) std::abort();
    return buffer.data();
}

std::string url_of(uint32_t i) {
    return "http://www.site" + std::to_string(i % 97) + ".example/section" +
           std::to_string(i % 13) + "/document" + std::to_string(i) + ".html";
}

struct Options {
    explicit Options(const std::string& dir)
        : cachedir("cachedir", "", Str(dir.c_str()), 0, false),
          cachesize("cachesize", "", 2000000, 8, 2000000, false),
          entrysize("entrysize", "", 500, 2, 2000000, false),
          cachefiles("cachefiles", "", 2000000, 2, 2000000, false),
          language("language", "", 0, "english deutsch dutch", false),
          debug("debug", "", 0, false), exportdir("exportdir", "", "./export", 0, false),
          importdir("importdir", "", "./import", 0, false) {}

    std::unique_ptr<Cache> open(bool recover) {
        return std::make_unique<Cache>(cachedir, cachesize, entrysize, cachefiles, language, debug,
                                       exportdir, importdir, recover);
    }

    OptionPath cachedir;
    OptionInt cachesize;
    OptionInt entrysize;
    OptionInt cachefiles;
    OptionChoice language;
    OptionFlag debug;
    OptionPath exportdir;
    OptionPath importdir;
};

// A cachedb of n entries, written by a Cache itself: n head-only write locks
// (no files needed), released, then stored.
void write_cachedb(Options& options, uint32_t n) {
    auto cache = options.open(false);
    fail_take();
    for (uint32_t i = 0; i < n; i++) {
        std::string url = url_of(i);
        GMTdate date;
        date.set_from_time(800000000 + i);
        Str file;
        uint32_t id = 0;
        cache->get_write_lock(Str(url.data(), uint32_t(url.size())), date, true, 200, SHARED, file,
                             id);
        cache->release_write_lock(id, 0);
    }
}

// Quiet standard error while it lives.
class Silence {
public:
    Silence() : saved_(::dup(2)) {
        int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 2);
        ::close(null);
    }
    ~Silence() {
        ::dup2(saved_, 2);
        ::close(saved_);
    }

private:
    int saved_;
};

void BM_LoadPlusStore(benchmark::State& state) {
    std::string dir = make_dir("cache-bench-db");
    Options options(dir);
    {
        Silence quiet;
        // A fresh directory: the first cache is created by recovery.
        auto empty = options.open(true);
    }
    write_cachedb(options, ENTRIES);
    for (auto _ : state) {
        // Loading deletes cachedb; the end of the cache writes it anew.
        auto cache = options.open(false);
        if (cache->failed() || cache->current().count() != ENTRIES) {
            state.SkipWithError("cachedb did not load");
            break;
        }
        cache.reset();
    }
    state.counters["entries"] = ENTRIES;
    state.counters["cachedb_bytes"] = double(fs::file_size(dir + "/cachedb"));
    fs::remove_all(dir);
}
BENCHMARK(BM_LoadPlusStore)->Unit(benchmark::kMillisecond)->Iterations(10);

void write_cache_files(const std::string& dir, uint32_t n) {
    for (uint32_t i = 1; i <= n; i++) {
        std::string path = dir + "/" + std::to_string(i);
        OFileStream file(Str(path.c_str()), O_CREAT | O_TRUNC);
        BinaryDrain drain(file);
        URLAnswer answer;
        answer.version = "HTTP/1.0";
        answer.errorcode = 200;
        answer.reason = " OK";
        answer.content_type = "text/html";
        answer.content_length = 200;
        answer.invalid = 0;
        std::string url = url_of(i);
        std::string body(200, 'x');
        drain << answer << Str(url.data(), uint32_t(url.size()));
        drain.write_bytes(body.data(), uint32_t(body.size()));
    }
}

void BM_Recovery(benchmark::State& state) {
    std::string dir = make_dir("cache-bench-files");
    write_cache_files(dir, ENTRIES);
    Options options(dir);
    for (auto _ : state) {
        std::unique_ptr<Cache> cache;
        {
            Silence quiet;
            cache = options.open(true);
        }
        if (cache->failed() || cache->current().count() != ENTRIES) {
            state.SkipWithError("recovery did not take every file");
            break;
        }
        state.PauseTiming();
        cache.reset();
        ::unlink((dir + "/cachedb").c_str());
        state.ResumeTiming();
    }
    state.counters["files"] = ENTRIES;
    fs::remove_all(dir);
}
BENCHMARK(BM_Recovery)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_ReadLockPairs(benchmark::State& state) {
    std::string dir = make_dir("cache-bench-locks");
    Options options(dir);
    {
        Silence quiet;
        auto empty = options.open(true);
    }
    const uint32_t entries = uint32_t(state.range(0));
    write_cachedb(options, entries);
    auto cache = options.open(false);
    uint32_t pick = 1;
    GMTdate date;
    Str file;
    Str url;
    for (auto _ : state) {
        // The URL arrives fresh in a buffer, as it does from the command channel.
        pick = pick * 214013u + 2531011u;
        std::string text = url_of((pick >> 8) % entries);
        url.init(uint32_t(text.size()));
        std::memcpy(url.buffer(), text.data(), text.size());
        uint32_t id = 0, bytes = 0;
        bool headeronly = false;
        int32_t errorcode = 500;
        cache->get_read_lock(url, 1, date, file, id, bytes, headeronly, errorcode);
        if (id == 0) {
            state.SkipWithError("document not found");
            break;
        }
        cache->release_read_lock(id);
    }
    state.SetItemsProcessed(state.iterations());
    cache.reset();
    fs::remove_all(dir);
}
// 100,000 entries is the target; 1,000 (all in cache memory) shows the cost
// of the work itself, apart from memory latency.
BENCHMARK(BM_ReadLockPairs)->Unit(benchmark::kNanosecond)->Iterations(1000000)->Arg(100000)->Arg(1000);

} // namespace

BENCHMARK_MAIN();
