// Cache persistence: loading and storing cachedb, and rebuilding the
// database from the cache files when cachedb is missing or bad.
#include "proxy/cache/Cache.h"
#include "proxy/cache/CacheTexts.h"

#include "foundation/BufStream.h"
#include "foundation/Fail.h"
#include "foundation/FileStream.h"
#include "foundation/FileSystem.h"
#include "foundation/ObjectStream.h"
#include "http/URLAnswer.h"

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

template <class T>
bool read_field(ObjectSource& s, T& value) {
    s >> value;
    return !s.error();
}

// Console output of the recovery goes to standard error.
void console(const Str& text) { std_err().ewrite(text.data(), int32_t(text.length())); }

// Creates a missing directory and its missing parents. 0 or -1 (no report:
// the directory scan that follows reports the failure).
int make_directories(const Str& dir) {
    if (dir.empty()) return -1;
    for (uint32_t i = 1; i <= dir.length(); i++) {
        if (i < dir.length() && dir[i] != '/') continue;
        Str part = dir.substr(0, i);
        if (::mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) return -1;
    }
    return 0;
}

} // namespace

// --- load and store ------------------------------------------------------------

int32_t Cache::load(bool recover) {
    Str path = cachedb_path();
    clear_all();
    seed_ = 1;
    totalbytes_ = 0;
    accesses_ = 0;
    bool loaded = false;
    bool extended = false;
    {
        IFileStream file(path);
        if (!file.open_failed()) {
            BufReadable buffered(file);
            BinarySource source(buffered);
            source >> *this;
            loaded = !source.error();
            extended = loaded && read_extension(source);
            loaded = loaded && build_indexes(false) == 0;
        }
    }
    if (!loaded) {
        // A missing or bad database is an expected case, not a malfunction.
        if (fail_pending()) fail_take();
        clear_all();
        if (!recover) {
            fail_new("Cache::load ", "unable to read '" + path + "'");
            return -1;
        }
        return recovery(path);
    }

    if (!extended) measure_entries();
    // The stored sum is only a copy of what the entries say.
    totalbytes_ = 0;
    for (const CacheEntry& entry : current_) totalbytes_ += entry.disk;
    // cachedb exists only while the server is stopped.
    if (!read_only_ && ::unlink(path.c_str()) != 0) {
        fail_new("Cache::load ", "unable to remove file '" + path + "'");
        fail_print();
    }
    modified_ = false;
    return 0;
}

int32_t Cache::store() {
    Str path = cachedb_path();
    // Checked before the file is touched, so a refused store leaves no
    // truncated database behind.
    if (!waiting_.empty() || !writing_.empty()) {
        fail_new("ObjectDrain << Cache ", "internal inconsistency (entries)");
        fail_chain("Cache::store ", "unable to write cache data-base to '" + path + "'");
        return -1;
    }
    OFileStream file(path, O_CREAT | O_TRUNC);
    if (file.open_failed()) {
        fail_chain("Cache::store ", "unable to create cache data-base");
        return -1;
    }
    bool failed = false;
    {
        BufWriteable buffered(file);
        BinaryDrain drain(buffered);
        drain << *this;
        failed = drain.error() || buffered.flush() != 0;
    }
    if (failed || file.write_error()) {
        fail_chain("Cache::store ", "unable to write cache data-base to '" + path + "'");
        ::unlink(path.c_str());
        return -1;
    }
    modified_ = false;
    return 0;
}

int32_t Cache::store_with_room() {
    // A full disk costs the least recently used documents, not the index
    // of all the others.
    for (int attempt = 0;; attempt++) {
        if (store() == 0) return 0;
        uint64_t needed = 64;
        for (const CacheEntry& entry : current_) needed += entry.record_bytes();
        needed += users_.size() * 36;
        int64_t free = free_space(cachedir_.value());
        if (attempt >= 8 || free < 0 || uint64_t(free) >= needed) return -1;
        Str report = fail_take();
        if (make_room(needed - uint64_t(free)) == 0) {
            fail_new("", report.substr(0, report.length() >= 2 ? report.length() - 2 : 0));
            return -1;
        }
    }
}

bool Cache::read_extension(ObjectSource& source) {
    uint32_t magic = 0;
    uint32_t count = 0;
    source >> magic;
    if (!source.error() && magic == EXTENSION_MAGIC) source >> count;
    bool sound = !source.error() && magic == EXTENSION_MAGIC && count == current_.count();
    for (CacheEntry* entry = current_.first(); sound && entry; entry = entry->next()) {
        uint32_t id = 0;
        source >> id >> entry->owner >> entry->disk;
        sound = !source.error() && id == entry->id;
    }
    if (fail_pending()) fail_take();
    return sound;
}

void Cache::measure_entries() {
    for (CacheEntry& entry : current_) {
        measure(entry);
        URLAnswer head;
        entry.owner = read_cache_head(file_name(entry.id), head) ? owner_from_mark(head.unknown)
                                                                 : SHARED;
    }
}

// Builds the indexes from sorted runs, so every insertion lands at the end
// of its tree instead of descending through it: loading 100,000 entries
// would otherwise be dominated by cache misses in the trees.
int32_t Cache::build_indexes(bool keep_newest) {
    clear_indexes();
    std::vector<CacheEntry*> order;
    order.reserve(current_.count());
    for (CacheEntry& entry : current_) order.push_back(&entry);
    StrOrder url_order;
    std::stable_sort(order.begin(), order.end(),
                     [&url_order](const CacheEntry* a, const CacheEntry* b) {
                         return url_order(a->url, b->url);
                     });

    for (size_t i = 0; i < order.size();) {
        size_t end = i + 1;
        while (end < order.size() && order[end]->url == order[i]->url) end++;
        if (end - i > 1) {
            // Two files of one URL: a crash left an old version behind. The
            // newest stays (of equal dates, the later one in the list).
            if (!keep_newest) return -1;
            size_t keep = i;
            for (size_t k = i + 1; k < end; k++) {
                const GMTdate& candidate = order[k]->date;
                const GMTdate& kept = order[keep]->date;
                bool older = candidate.le(kept) && !kept.le(candidate);
                if (!older) keep = k;
            }
            for (size_t k = i; k < end; k++)
                if (k != keep) {
                    discard_duplicate(*order[k]);
                    order[k] = nullptr;
                }
        }
        i = end;
    }
    order.erase(std::remove(order.begin(), order.end(), nullptr), order.end());

    url_lookup_.reserve(order.size());
    for (CacheEntry* entry : order) {
        auto it = urls_.emplace_hint(urls_.end(), entry->url, UrlNode());
        it->second.current = entry;
        entry->node = &it->second;
        url_lookup_.insert(url_tag(entry->url), &*it);
    }

    std::sort(order.begin(), order.end(),
              [](const CacheEntry* a, const CacheEntry* b) { return a->id < b->id; });
    id_lookup_.reserve(order.size());
    for (size_t i = 0; i < order.size(); i++) {
        CacheEntry* entry = order[i];
        if (entry->id == 0 || (i > 0 && order[i - 1]->id == entry->id)) return -1;
        ids_.emplace_hint(ids_.end(), entry->id, entry);
        id_lookup_.insert(entry->id, entry);
    }
    return 0;
}

void Cache::discard_duplicate(CacheEntry& entry) {
    remove_entry_file(entry);
    totalbytes_ = totalbytes_ >= entry.disk ? totalbytes_ - entry.disk : 0;
    current_.remove(entry);
}

// --- recovery ------------------------------------------------------------------

int32_t Cache::recovery(const Str& cachedb_path) {
    const CacheTexts& texts = cache_texts(language());
    console(texts.no_database);
    ::unlink(cachedb_path.c_str());

    clear_all();
    seed_ = uint32_t(::time(nullptr));
    totalbytes_ = 0;
    accesses_ = 0;

    Str dir = dir_part(cachedb_path);
    struct stat dir_status;
    if (::stat(dir.c_str(), &dir_status) != 0 && errno == ENOENT) make_directories(dir);
    DirTree tree(dir, false);
    if (tree.status() != 0) {
        fail_chain("Cache::recovery ", "unable to scan cache directory '" + dir + "'");
        return -1;
    }

    uint32_t to_go = uint32_t(tree.size());
    uint32_t invalid = 0;
    for (const DirTree::Entry& file : tree) {
        to_go--;
        console(Str::from_ulong(to_go) + texts.to_go);
        if (file_part(file.path) == CACHE_LOCK_FILE) continue;
        uint32_t id = 0;
        bool taken = false;
        // Cut off while it was written: never a document.
        if (is_unfinished_name(file_part(file.path))) ::unlink(file.path.c_str());
        if (file.stat.is_regular() && parse_cache_file_name(file_part(file.path), id)) {
            taken = recover_file(file.path, id, file.stat);
            if (!taken && fail_pending()) {
                if (debug_.value())
                    fail_print();
                else
                    fail_take();
            }
        }
        if (!taken) {
            invalid++;
            console(texts.not_valid_open + file.path + texts.not_valid_close);
        }
    }

    build_indexes(true);
    console(texts.recovered + Str::from_ulong(current_.count()) + "\n");
    console(texts.invalid + Str::from_ulong(invalid) + "\n");
    modified_ = true;
    return 0;
}

bool Cache::recover_file(const Str& path, uint32_t id, const Stat& status) {
    IFileStream file(path);
    if (file.open_failed()) return false;
    BufReadable buffered(file);
    std::unique_ptr<CacheEntry> entry = new_cache_entry();
    if (!entry || entry->init_from_cfile(buffered) != 0) return false;
    entry->id = id;
    entry->date.set_from_time(status.modified());
    entry->set_disk(status.footprint());
    totalbytes_ += entry->disk;
    current_.push_back(std::move(entry));
    return true;
}

// --- record operators ----------------------------------------------------------

ObjectDrain& operator<<(ObjectDrain& d, const UserInfo& user) {
    int status = 0;
    d.open(status);
    if (status == 0) {
        d << ">UserInfo:\n";
        d << ">inetaddr = " << user.inetaddr << "\n";
        d << ">lastconnect = " << user.lastconnect << "\n";
        if (d.error()) fail_chain("ObjectDrain << UserInfo ", "unable to write instance");
    }
    d.close();
    return d;
}

ObjectSource& operator>>(ObjectSource& s, UserInfo& user) {
    int status = 0;
    s.open(status);
    if (status == 0) {
        if (!read_field(s, user.inetaddr) || !read_field(s, user.lastconnect))
            fail_chain("ObjectSource >> UserInfo ", "unable to read instance");
    }
    s.close();
    return s;
}

namespace {

void write_entries(ObjectDrain& d, const EntryList& list) {
    if (d.form() == ObjectDrain::BINARY) {
        d << list.count();
        for (const CacheEntry& entry : list) {
            if (d.error()) break;
            d << entry;
        }
        return;
    }
    d << "\n";
    int status = 0;
    d.open(status);
    if (status == 0) {
        d << ">List with " << list.count() << " elements:\n";
        for (const CacheEntry& entry : list) d << entry;
    }
    d.close();
}

void write_users(ObjectDrain& d, const UserTree& users) {
    uint32_t count = uint32_t(users.size());
    if (d.form() == ObjectDrain::BINARY) {
        d << count;
        for (const auto& [address, user] : users) {
            if (d.error()) break;
            d << user;
        }
        return;
    }
    d << "\n";
    int status = 0;
    d.open(status);
    if (status == 0) {
        d << ">AVLDLTree of size " << count << "\n";
        for (const auto& [address, user] : users) d << user;
    }
    d.close();
}

void write_extension(ObjectDrain& d, const EntryList& list) {
    if (d.form() == ObjectDrain::BINARY) d << Cache::EXTENSION_MAGIC;
    d << list.count() << "\n";
    for (const CacheEntry& entry : list) {
        if (d.error()) break;
        d << ">id = " << entry.id << " >owner = " << entry.owner << " >disk = " << entry.disk
          << "\n";
    }
}

} // namespace

ObjectDrain& operator<<(ObjectDrain& d, const Cache& cache) {
    int status = 0;
    d.open(status);
    if (status == 0) {
        if (!cache.waiting_.empty() || !cache.writing_.empty()) {
            fail_new("ObjectDrain << Cache ", "internal inconsistency (entries)");
            d.set_error();
        } else {
            d << ">Cache:\n";
            if (d.form() == ObjectDrain::BINARY) d << Cache::MAGIC;
            d << ">old_entries = ";
            write_entries(d, cache.current_);
            d << ">seed = " << cache.seed_ << "\n";
            d << ">totalbytes = " << cache.totalbytes_ << "\n";
            d << ">accesses = " << cache.accesses_ << "\n";
            d << ">users = ";
            write_users(d, cache.users_);
            d << ">extension = ";
            write_extension(d, cache.current_);
        }
        if (d.error()) fail_chain("ObjectDrain << Cache ", "unable to write instance");
    }
    d.close();
    return d;
}

ObjectSource& operator>>(ObjectSource& s, Cache& cache) {
    int status = 0;
    s.open(status);
    if (status == 0) {
        uint32_t magic = 0;
        if (read_field(s, magic) && magic != Cache::MAGIC) {
            fail_new("ObjectSource >> Cache ", "invalid data for Cache instance");
            s.set_error();
        }
        // Counts are never trusted for allocation: records are read one by
        // one and a lying count ends at the end of the file.
        uint32_t count = 0;
        if (!s.error()) read_field(s, count);
        for (uint32_t i = 0; i < count && !s.error(); i++) {
            std::unique_ptr<CacheEntry> entry = new_cache_entry();
            if (!entry) {
                fail_new("ObjectSource >> Cache ", "unable to allocate entry");
                s.set_error();
                break;
            }
            s >> *entry;
            if (s.error()) break;
            cache.current_.push_back(std::move(entry));
        }
        if (!s.error()) s >> cache.seed_ >> cache.totalbytes_ >> cache.accesses_;
        uint32_t users = 0;
        if (!s.error()) read_field(s, users);
        for (uint32_t i = 0; i < users && !s.error(); i++) {
            UserInfo user;
            user.lastconnect.set_now();
            s >> user;
            if (!s.error()) cache.users_[user.inetaddr] = user;
        }
        if (s.error()) fail_chain("ObjectSource >> Cache ", "unable to read instance");
    }
    s.close();
    return s;
}
