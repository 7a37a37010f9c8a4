// A cache as the server keeps one, for the tests of the cache and of the
// admin pages: the server's options with the cache, export and import
// folders inside a fresh temporary folder, a Cache opened on them, and
// documents stored the way the request worker stores them.
#pragma once

#include "foundation/Fail.h"
#include "foundation/FileStream.h"
#include "foundation/ObjectStream.h"
#include "http/URLAnswer.h"
#include "proxy/cache/Cache.h"
#include "proxy/options/RelaisOptions.h"
#include "testsupport/StderrCapture.h"
#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <string>

inline std::string text(const Str& s) {
    return std::string(s.data(), s.length());
}

// A report as fail_print shows it on standard error.
inline std::string malfunction(const std::string& report) {
    return "MALFUNCTION:\n" + report + "\r\n\n";
}

inline GMTdate date_of(int64_t seconds_since_1970) {
    GMTdate date;
    date.set_from_time(seconds_since_1970);
    return date;
}

// A document as the request worker stores it.
struct Document {
    std::string url;
    std::string body;
    int64_t date = 800000000; // seconds since 1970
    bool headeronly = false;
    int32_t status = 200;
    std::string type = "text/html";
    std::string reason = " OK";
    uint32_t content_length = 0; // as announced by the origin; 0 = none
    uint32_t owner = SHARED;     // the client it is private to
};

// A cache file: the binary answer head, the URL, the body (none when head-only).
inline void write_cache_file(const std::string& path, const Document& doc) {
    OFileStream out(Str(path.c_str()), O_CREAT | O_TRUNC);
    BinaryDrain drain(out);
    URLAnswer answer;
    answer.version = "HTTP/1.0";
    answer.errorcode = doc.status;
    answer.reason = doc.reason.c_str();
    answer.content_type = doc.type.c_str();
    answer.content_length = doc.content_length;
    answer.unknown = with_private_mark(Str(), doc.owner);
    answer.invalid = 0;
    drain << answer << Str(doc.url.data(), uint32_t(doc.url.size()));
    if (!doc.headeronly) drain.write_bytes(doc.body.data(), uint32_t(doc.body.size()));
}

// Write lock, file, release, as a worker stores a download. The id, or 0
// when the cache refused the write lock.
inline uint32_t store_document(Cache& cache, const Document& doc) {
    Str file;
    uint32_t id = 0;
    cache.get_write_lock(Str(doc.url.c_str()), date_of(doc.date), doc.headeronly, doc.status,
                         doc.owner, file, id);
    if (id == 0) return 0;
    write_cache_file(text(file), doc);
    cache.release_write_lock(id, doc.headeronly ? 0 : uint32_t(doc.body.size()));
    return id;
}

// The cache in one line: the current, waiting and writing versions ("-" for
// none; each URL ":" bytes, "r" and the readers while read, "!" when its file
// is missing), then the body bytes of the complete versions (with "disk!"
// when totalbytes is not what they take on disk) and, when the folder holds
// more or fewer files than there are entries, "files" and their number;
// " | " between them.
inline std::string cache_state(const Cache& cache, const std::string& folder) {
    std::string out;
    uint64_t bodies = 0, disk = 0;
    for (const EntryList* list : {&cache.current(), &cache.waiting(), &cache.writing()}) {
        std::string versions;
        for (const CacheEntry& e : *list) {
            bool complete = list != &cache.writing() || e.readers == 0;
            bodies += complete ? e.bytes : 0;
            disk += complete ? e.disk : 0;
            versions += (versions.empty() ? "" : " ") + text(e.url) + ":" + std::to_string(e.bytes);
            if (e.readers) versions += "r" + std::to_string(e.readers);
            if (!std::filesystem::exists(text(cache.file_name(e.id)))) versions += "!";
        }
        out += (versions.empty() ? "-" : versions) + " | ";
    }
    out += std::to_string(bodies) + (disk == cache.totalbytes() ? "" : " disk!");
    size_t files = 0;
    std::error_code missing;
    for (const auto& f : std::filesystem::directory_iterator(folder, missing))
        files += f.path().filename() != "cachedb";
    if (files != cache.ids().size()) out += " | files " + std::to_string(files);
    return out;
}

// What a read lock hands out; errorcode 500 shows an answer left as it was.
struct CacheLock {
    GMTdate date;
    Str file;
    uint32_t id = 0, bytes = 0;
    bool headeronly = false;
    int32_t errorcode = 500;
};
inline CacheLock read_lock(Cache& cache, const std::string& url, uint32_t client = 1) {
    CacheLock r;
    cache.get_read_lock(url.c_str(), client, r.date, r.file, r.id, r.bytes, r.headeronly, r.errorcode);
    return r;
}

class CacheFixture : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"cachedir", "exportdir", "importdir"})
            ASSERT_EQ(options.set.set(name, dir.file(name).c_str()), 0) << fail_take();
        open();
        ASSERT_FALSE(cache->failed()) << fail_take();
    }
    void TearDown() override {
        close();
        if (fail_pending()) fail_take();
    }

    // Opens the cache on the options, as the server does; what it printed.
    std::string open(bool recover = true) {
        StderrCapture printed;
        cache = std::make_unique<Cache>(options.cachedir, options.cachesize, options.entrysize,
                                        options.cachefiles, options.language, options.debug,
                                        options.exportdir, options.importdir, recover);
        return printed.text();
    }
    // Ends the cache (it writes cachedb); what it printed.
    std::string close() {
        StderrCapture printed;
        cache.reset();
        return printed.text();
    }

    CacheLock read(const std::string& url) { return read_lock(*cache, url); }
    uint32_t store(const Document& doc) { return store_document(*cache, doc); }
    uint32_t store(const std::string& url, const std::string& body) { return store({url, body}); }
    std::string state() const { return cache_state(*cache, cachedir()); }
    std::string cachedir() const { return dir.file("cachedir"); }
    std::string file(uint32_t id) const { return cachedir() + "/" + std::to_string(id); }

    TempDir dir;
    RelaisOptions options;
    std::unique_ptr<Cache> cache;
};
