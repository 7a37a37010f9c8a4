// Helpers shared by the cache tests: a temporary cache directory, the option
// objects a Cache reads, writing cache files and crafted cachedb files, and
// capturing standard error.
#pragma once

#include "foundation/Fail.h"
#include "foundation/FileStream.h"
#include "foundation/ObjectStream.h"
#include "foundation/Option.h"
#include "http/GMTdate.h"
#include "http/URLAnswer.h"
#include "proxy/cache/Cache.h"

#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace cachetest {

namespace fs = std::filesystem;

// A fresh directory below the system's temporary directory, removed at the end.
class TempDir {
public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "cachetest-XXXXXX").string();
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back('\0');
        char* made = ::mkdtemp(buffer.data());
        path_ = made ? made : "";
    }
    ~TempDir() {
        std::error_code ignored;
        if (!path_.empty()) fs::remove_all(path_, ignored);
    }
    const std::string& path() const { return path_; }
    std::string sub(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// The options a Cache reads, with the server's defaults.
struct CacheOptions {
    explicit CacheOptions(const std::string& dir)
        : cachedir("cachedir", "", Str(dir.c_str()), 0, false),
          cachesize("cachesize", "", 4096, 8, 2000000, false),
          entrysize("entrysize", "", 500, 2, 2000000, false),
          cachefiles("cachefiles", "", 10000, 2, 2000000, false),
          language("language", "", 0, "english deutsch dutch", false),
          debug("debug", "", 0, false), exportdir("exportdir", "", "./export", 0, false),
          importdir("importdir", "", "./import", 0, false) {}

    OptionPath cachedir;
    OptionInt cachesize;
    OptionInt entrysize;
    OptionInt cachefiles;
    OptionChoice language;
    OptionFlag debug;
    OptionPath exportdir;
    OptionPath importdir;
};

inline void set_option(Option& option, const char* text) {
    if (option.from_Str(text) != 0) std::abort();
}

inline std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void write_file(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
}

inline bool exists(const std::string& path) { return fs::exists(path); }

inline std::string str(const Str& s) { return std::string(s.data(), s.length()); }

// The bytes of a cache file: binary answer head, URL, body.
inline std::string cache_file_bytes(const std::string& url, const std::string& body,
                                    uint32_t content_length = 0, int32_t errorcode = 200) {
    std::string path = (fs::temp_directory_path() / "cachetest-file-XXXXXX").string();
    std::vector<char> name(path.begin(), path.end());
    name.push_back('\0');
    int fd = ::mkstemp(name.data());
    {
        OFileStream out(fd, true);
        BinaryDrain drain(out);
        URLAnswer answer;
        answer.version = "HTTP/1.0";
        answer.errorcode = errorcode;
        answer.reason = " OK";
        answer.content_type = "text/html";
        answer.content_length = content_length;
        answer.invalid = 0;
        drain << answer << Str(url.data(), uint32_t(url.size()));
        drain.write_bytes(body.data(), uint32_t(body.size()));
    }
    std::string bytes = read_file(name.data());
    ::unlink(name.data());
    return bytes;
}

inline void write_cache_file(const std::string& path, const std::string& url,
                             const std::string& body, uint32_t content_length = 0) {
    write_file(path, cache_file_bytes(url, body, content_length));
}

// Little-endian pieces for crafting cachedb files by hand.
inline void put32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; i++) out.push_back(char((v >> (8 * i)) & 0xFF));
}
inline void put_str(std::string& out, const std::string& s) {
    put32(out, uint32_t(s.size()));
    out += s;
}
inline void put_date(std::string& out, const GMTdate& d) {
    for (int32_t v : {d.year, d.month, d.day, d.weekday, d.hour, d.minute, d.second})
        put32(out, uint32_t(v));
    put32(out, d.fail ? 1 : 0);
}
inline void put_entry(std::string& out, const std::string& url, const GMTdate& date, uint32_t id,
                      uint32_t bytes, bool headeronly = false, int32_t errorcode = 200) {
    put_str(out, url);
    put_date(out, date);
    put32(out, id);
    put32(out, bytes);
    put32(out, headeronly ? 1 : 0);
    put32(out, uint32_t(errorcode));
}

inline GMTdate date_of(int64_t seconds_since_1970) {
    GMTdate d;
    d.set_from_time(seconds_since_1970);
    return d;
}

// Reads little-endian values from a byte string.
class Parser {
public:
    explicit Parser(const std::string& bytes) : bytes_(bytes) {}
    uint32_t u32() {
        uint32_t v = 0;
        for (int i = 0; i < 4; i++) v |= uint32_t(uint8_t(at(pos_ + i))) << (8 * i);
        pos_ += 4;
        return v;
    }
    std::string str() {
        uint32_t n = u32();
        std::string s = bytes_.substr(pos_, n);
        pos_ += n;
        return s;
    }
    GMTdate date() {
        GMTdate d;
        d.year = int32_t(u32());
        d.month = int32_t(u32());
        d.day = int32_t(u32());
        d.weekday = int32_t(u32());
        d.hour = int32_t(u32());
        d.minute = int32_t(u32());
        d.second = int32_t(u32());
        d.fail = int32_t(u32());
        return d;
    }
    size_t position() const { return pos_; }
    bool at_end() const { return pos_ == bytes_.size(); }

private:
    char at(size_t i) const { return i < bytes_.size() ? bytes_[i] : 0; }
    const std::string& bytes_;
    size_t pos_ = 0;
};

// Reads from memory and fails like a file at its end.
class MemoryReadable : public Readable {
public:
    explicit MemoryReadable(const std::string& bytes) : bytes_(bytes) {}
    int32_t eread(void* buffer, int32_t count) override {
        size_t n = count < 0 ? 0 : size_t(count);
        if (n > bytes_.size() - at_) n = bytes_.size() - at_;
        if (n > 0) std::memcpy(buffer, bytes_.data() + at_, n);
        at_ += n;
        if (int32_t(n) < count && !read_error_) {
            read_error_ = 1;
            fail_new("MemoryReadable::eread ", "read-error");
        }
        return int32_t(n);
    }

private:
    std::string bytes_;
    size_t at_ = 0;
};

// Collects what a drain writes.
class MemoryWriteable : public Writeable {
public:
    int32_t ewrite(const void* buffer, int32_t count) override {
        text.append(static_cast<const char*>(buffer), size_t(count));
        return count;
    }
    std::string text;
};

// Redirects standard error (descriptor 2) into a file while it lives.
class StderrCapture {
public:
    StderrCapture() {
        std::string pattern = (fs::temp_directory_path() / "cachetest-err-XXXXXX").string();
        name_.assign(pattern.begin(), pattern.end());
        name_.push_back('\0');
        int fd = ::mkstemp(name_.data());
        saved_ = ::dup(2);
        ::dup2(fd, 2);
        ::close(fd);
    }
    ~StderrCapture() { finish(); }
    // Restores standard error and returns what was written.
    std::string finish() {
        if (saved_ >= 0) {
            ::dup2(saved_, 2);
            ::close(saved_);
            saved_ = -1;
            text_ = read_file(name_.data());
            ::unlink(name_.data());
        }
        return text_;
    }

private:
    std::vector<char> name_;
    int saved_ = -1;
    std::string text_;
};

inline size_t count_of(const std::string& text, const std::string& piece) {
    size_t n = 0;
    for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) n++;
    return n;
}

// Opens a Cache on the options' directory, quietly.
inline std::unique_ptr<Cache> open_cache(CacheOptions& o, bool recover = true) {
    StderrCapture quiet;
    return std::make_unique<Cache>(o.cachedir, o.cachesize, o.entrysize, o.cachefiles, o.language,
                                   o.debug, o.exportdir, o.importdir, recover);
}

// Stores a document as the request worker does: write lock, file, release.
// Returns the id (0 when the cache refused to store it).
inline uint32_t store_document(Cache& cache, const std::string& url, const std::string& body,
                               const GMTdate& date = date_of(800000000), bool headeronly = false,
                               int32_t errorcode = 200) {
    Str file;
    uint32_t id = 0;
    cache.get_write_lock(Str(url.data(), uint32_t(url.size())), date, headeronly, errorcode, file,
                         id);
    if (id == 0) return 0;
    write_cache_file(str(file), url, body);
    cache.release_write_lock(id, uint32_t(body.size()));
    return id;
}

struct ReadLock {
    GMTdate date;
    Str file;
    uint32_t id = 0;
    uint32_t bytes = 0;
    bool headeronly = false;
    int32_t errorcode = 500;
};

inline ReadLock read_lock(Cache& cache, const std::string& url) {
    ReadLock r;
    cache.get_read_lock(Str(url.data(), uint32_t(url.size())), r.date, r.file, r.id, r.bytes,
                        r.headeronly, r.errorcode);
    return r;
}

inline std::vector<uint32_t> current_ids(const Cache& cache) {
    std::vector<uint32_t> ids;
    for (const CacheEntry& e : cache.current()) ids.push_back(e.id);
    return ids;
}

} // namespace cachetest
