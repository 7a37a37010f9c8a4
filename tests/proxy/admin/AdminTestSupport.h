// Helpers shared by the admin page tests: a temporary folder, the server's
// options and a real Cache in it, documents stored the way a worker stores
// them, and standard error kept off the test output.
#pragma once

#include "foundation/Fail.h"
#include "foundation/FileStream.h"
#include "foundation/ObjectStream.h"
#include "http/URLAnswer.h"
#include "proxy/admin/AdminPage.h"
#include "proxy/cache/Cache.h"
#include "proxy/options/RelaisOptions.h"
#include "testsupport/StderrCapture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace admintest {

namespace fs = std::filesystem;

inline std::string text(const Str& s) { return std::string(s.data(), s.length()); }

inline ArgList list(std::initializer_list<const char*> items) {
    ArgList out;
    for (const char* item : items) out.append(item);
    return out;
}

inline std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void write_file(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

inline size_t count_of(const std::string& haystack, const std::string& needle) {
    size_t n = 0;
    for (size_t at = haystack.find(needle); at != std::string::npos;
         at = haystack.find(needle, at + 1))
        n++;
    return n;
}

class TempDir {
public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "admintest-XXXXXX").string();
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back('\0');
        char* made = ::mkdtemp(buffer.data());
        path = made ? made : "";
    }
    ~TempDir() {
        std::error_code ignored;
        if (!path.empty()) fs::remove_all(path, ignored);
    }
    std::string sub(const std::string& name) const { return path + "/" + name; }
    std::string path;
};

// Recovery prints its progress to standard error; tests keep it off their output.
using QuietStderr = StderrCapture;

// A document as the worker stores it: the answer head, the URL, the body.
struct Document {
    std::string url;
    std::string content_type = "text/html";
    std::string body;
    int status = 200;
    std::string reason = " OK";
    bool headeronly = false;
};

// Stores a document through a write lock, as a worker does. The id, or 0.
inline uint32_t store(Cache& cache, const Document& doc) {
    GMTdate date;
    date.set_now();
    Str file;
    uint32_t id = 0;
    cache.get_write_lock(doc.url.c_str(), date, doc.headeronly, doc.status, file, id);
    if (id == 0) return 0;
    URLAnswer answer;
    answer.version = "HTTP/1.0";
    answer.errorcode = doc.status;
    answer.reason = doc.reason.c_str();
    answer.content_type = doc.content_type.c_str();
    answer.content_length = uint32_t(doc.body.size());
    answer.date = date;
    answer.invalid = 0;
    {
        OFileStream out(file, O_CREAT | O_TRUNC);
        BinaryDrain drain(out);
        drain << answer << Str(doc.url.c_str());
        if (!doc.headeronly) drain.write_bytes(doc.body.data(), uint32_t(doc.body.size()));
    }
    cache.release_write_lock(id, doc.headeronly ? 0 : uint32_t(doc.body.size()));
    return id;
}

// The server's options with the cache in a temporary folder, and the cache.
class AdminFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(dir.path.empty());
        ASSERT_EQ(options.set.set("cachedir", dir.sub("cache").c_str()), 0) << fail_take();
        ASSERT_EQ(options.set.set("exportdir", dir.sub("export").c_str()), 0) << fail_take();
        ASSERT_EQ(options.set.set("importdir", dir.sub("import").c_str()), 0) << fail_take();
        open_cache();
    }
    void TearDown() override {
        close_cache();
        if (fail_pending()) fail_take();
    }
    void open_cache() {
        QuietStderr quiet;
        cache = std::make_unique<Cache>(options.cachedir, options.cachesize, options.entrysize,
                                        options.cachefiles, options.language, options.debug,
                                        options.exportdir, options.importdir, true);
        ASSERT_FALSE(cache->failed()) << fail_take();
    }
    void close_cache() {
        QuietStderr quiet;
        cache.reset();
    }
    uint32_t add(const std::string& url, const std::string& body,
                 const std::string& type = "text/html") {
        Document doc;
        doc.url = url;
        doc.body = body;
        doc.content_type = type;
        return store(*cache, doc);
    }

    TempDir dir;
    RelaisOptions options;
    std::unique_ptr<Cache> cache;
};

} // namespace admintest
