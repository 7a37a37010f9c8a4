// The full-text search of the admin pages over a cache of 10,000 text
// documents (about 200 MB), and `grep -ril` over the same cache files in the
// same run. Target: the search is at least as fast as grep.
//
// The cache is written once into a temporary folder and removed at the end;
// every measured run reads it from the page cache, the search and grep alike.
//
//   cmake -S . -B build/rel -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_BENCH=ON
//   cmake --build build/rel --target admin_bench
//   build/rel/bin/admin_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include "foundation/FileStream.h"
#include "foundation/ObjectStream.h"
#include "http/URLAnswer.h"
#include "proxy/admin/AdminPage.h"
#include "proxy/admin/SearchResults.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

constexpr uint32_t DOCUMENTS = 10000;
constexpr size_t BODY_BYTES = 20000;
// In every 100th document only; in every 7th; near the start of almost all.
const char RARE[] = "quaylonium";
const char SOMETIMES[] = "harbourmaster";
const char COMMON[] = "ship";

uint32_t next_random(uint32_t& state) {
    state = state * 214013 + 2531011;
    return (state >> 16) & 0x7FFF;
}

class Corpus {
public:
    Corpus() {
        char pattern[] = "/tmp/admin-bench-XXXXXX";
        directory_ = ::mkdtemp(pattern);
        std::vector<std::string> words = vocabulary();
        uint32_t state = 2024;
        for (uint32_t id = 1; id <= DOCUMENTS; id++) {
            std::string body = "<html><body><p>The " + std::string(id % 50 ? COMMON : "boat") + " ";
            while (body.size() < BODY_BYTES) {
                body += words[next_random(state) % words.size()];
                body += (next_random(state) % 12 == 0) ? ".\n" : " ";
            }
            if (id % 100 == 0) body.insert(body.size() / 2, std::string(" Quaylonium "));
            if (id % 7 == 0) body.insert(body.size() * 3 / 4, std::string(" HarbourMaster "));
            body += "</p></body></html>\n";
            write_document(id, "http://site" + std::to_string(id % 40) + ".example/doc" +
                                   std::to_string(id) + ".html",
                           body);
            bytes_ += body.size();
            ids_.push_back(id);
        }
    }
    ~Corpus() {
        std::error_code ignored;
        std::filesystem::remove_all(directory_, ignored);
    }
    const std::string& directory() const { return directory_; }
    const std::vector<uint32_t>& ids() const { return ids_; }
    size_t bytes() const { return bytes_; }

private:
    static std::vector<std::string> vocabulary() {
        std::vector<std::string> words;
        uint32_t state = 7;
        for (int i = 0; i < 3000; i++) {
            std::string word;
            int length = 2 + int(next_random(state) % 9);
            for (int k = 0; k < length; k++) word += char('a' + next_random(state) % 26);
            if (i % 10 == 0) word[0] = char(word[0] - 'a' + 'A');
            words.push_back(word);
        }
        return words;
    }
    void write_document(uint32_t id, const std::string& url, const std::string& body) {
        URLAnswer answer;
        answer.version = "HTTP/1.0";
        answer.errorcode = 200;
        answer.reason = " OK";
        answer.content_type = "text/html";
        answer.content_length = uint32_t(body.size());
        answer.invalid = 0;
        OFileStream out(Str((directory_ + "/" + std::to_string(id)).c_str()), O_CREAT | O_TRUNC);
        BinaryDrain drain(out);
        drain << answer << Str(url.c_str());
        drain.write_bytes(body.data(), uint32_t(body.size()));
    }

    std::string directory_;
    std::vector<uint32_t> ids_;
    size_t bytes_ = 0;
};

Corpus& corpus() {
    static Corpus instance;
    return instance;
}

// User and system time used so far, in milliseconds, by this process or by
// its ended children: the machine may be busy, the CPU time still compares.
double cpu_ms(int who) {
    struct rusage usage;
    ::getrusage(who, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

size_t count_lines(const Str& text, const char* end) {
    size_t n = 0;
    std::string s(text.data(), text.length());
    for (size_t at = s.find(end); at != std::string::npos; at = s.find(end, at + 1)) n++;
    return n;
}

void BM_AdminSearch(benchmark::State& state, const char* phrase) {
    Corpus& data = corpus();
    Str directory((data.directory() + "/").c_str());
    size_t found = 0;
    double start = cpu_ms(RUSAGE_SELF);
    for (auto _ : state) {
        AdminPage page(0);
        search_matches(page, directory, data.ids(), phrase);
        found = count_lines(page.content(), "</A><BR>\n");
        benchmark::DoNotOptimize(page.content().data());
    }
    state.counters["documents_found"] = double(found);
    state.counters["cpu_ms"] = (cpu_ms(RUSAGE_SELF) - start) / double(state.iterations());
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(data.bytes()));
}

// grep's own count of matching files, written to a pipe.
size_t grep_files(const std::vector<std::string>& argv_text, bool count) {
    std::vector<char*> argv;
    for (const std::string& a : argv_text) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    int pipe_ends[2];
    if (::pipe(pipe_ends) != 0) return 0;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipe_ends[1], 1);
    posix_spawn_file_actions_addclose(&actions, pipe_ends[0]);
    pid_t pid = 0;
    int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipe_ends[1]);
    size_t lines = 0;
    char buffer[65536];
    ssize_t n;
    while ((n = ::read(pipe_ends[0], buffer, sizeof buffer)) > 0)
        for (ssize_t i = 0; count && i < n; i++) lines += buffer[i] == '\n';
    ::close(pipe_ends[0]);
    if (spawned == 0) ::waitpid(pid, nullptr, 0);
    return lines;
}

void BM_GrepRil(benchmark::State& state, const char* word, bool c_locale) {
    Corpus& data = corpus();
    std::vector<std::string> argv = {"grep", "-ril", word, data.directory()};
    if (c_locale) argv.insert(argv.begin(), {"env", "LC_ALL=C"});
    size_t found = 0;
    double start = cpu_ms(RUSAGE_CHILDREN);
    for (auto _ : state) found = grep_files(argv, true);
    state.counters["documents_found"] = double(found);
    state.counters["cpu_ms"] = (cpu_ms(RUSAGE_CHILDREN) - start) / double(state.iterations());
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(data.bytes()));
}

BENCHMARK_CAPTURE(BM_AdminSearch, rare, RARE)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_GrepRil, rare, RARE, false)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_GrepRil, rare_c_locale, RARE, true)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_AdminSearch, common, COMMON)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_GrepRil, common, COMMON, false)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_AdminSearch, two_pieces, "harbourmaster,quaylonium")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_AdminSearch, sometimes, SOMETIMES)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_GrepRil, sometimes, SOMETIMES, false)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace

BENCHMARK_MAIN();
