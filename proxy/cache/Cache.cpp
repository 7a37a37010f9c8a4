#include "proxy/cache/Cache.h"

#include "foundation/BufStream.h"
#include "foundation/Fail.h"
#include "foundation/FileStream.h"
#include "foundation/FileSystem.h"
#include "foundation/ObjectStream.h"

#include <cerrno>
#include <cstring>
#include <functional>
#include <string_view>
#include <unistd.h>

namespace {

const char CACHEDB_NAME[] = "cachedb";

// A limit given in KiB, as bytes; a negative option value allows nothing.
uint64_t kib_limit(const OptionInt& option) {
    return option.value() > 0 ? uint64_t(option.value()) * 1024 : 0;
}

uint64_t count_limit(const OptionInt& option) {
    return option.value() > 0 ? uint64_t(option.value()) : 0;
}

void print_report(const char* context, const Str& message) {
    fail_new(context, message);
    fail_print();
}

} // namespace

Cache::Cache(OptionPath& cachedir, OptionInt& cachesize, OptionInt& entrysize,
             OptionInt& cachefiles, OptionChoice& language, OptionFlag& debug,
             OptionPath& exportdir, OptionPath& importdir, bool recover, bool read_only)
    : cachedir_(cachedir), cachesize_(cachesize), entrysize_(entrysize), cachefiles_(cachefiles),
      language_(language), debug_(debug), exportdir_(exportdir), importdir_(importdir),
      read_only_(read_only) {
    seed_ = 1;
    if (load(recover) != 0) {
        fail_chain("Cache: ", "unable to initialize database");
        return;
    }
    random_state_ = seed_;
    failed_ = false;
}

Cache::~Cache() {
    if (close() != 0) fail_print();
    clear_all();
}

int32_t Cache::close() {
    if (failed_ || read_only_ || closed_) return 0;
    closed_ = true;
    discard_unfinished();
    return store_with_room();
}

// --- look-ups ----------------------------------------------------------------

int StrOrder::str_order(const Str& a, const Str& b) {
    uint32_t n = a.length() < b.length() ? a.length() : b.length();
    const char* x = a.data();
    const char* y = b.data();
    uint32_t i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t u, v;
        std::memcpy(&u, x + i, 8);
        std::memcpy(&v, y + i, 8);
        if (u != v) break;
    }
    for (; i < n; i++)
        if (x[i] != y[i]) return static_cast<signed char>(x[i]) < static_cast<signed char>(y[i]) ? -1 : 1;
    return a.length() == b.length() ? 0 : (a.length() < b.length() ? -1 : 1);
}

uint32_t url_tag(const Str& url) {
    size_t h = std::hash<std::string_view>()(std::string_view(url.data(), url.length()));
    return uint32_t(h ^ (uint64_t(h) >> 32));
}

CacheEntry* Cache::lookup(uint32_t id) const {
    return id_lookup_.find(id, [](const CacheEntry*) { return true; });
}

UrlNode* Cache::lookup(const Str& url) const {
    UrlIndex::value_type* node =
        url_lookup_.find(url_tag(url), [&url](const UrlIndex::value_type* n) { return n->first == url; });
    return node ? &node->second : nullptr;
}

bool Cache::add_id(CacheEntry& entry) {
    if (lookup(entry.id)) return false;
    id_lookup_.insert(entry.id, &entry);
    ids_.emplace(entry.id, &entry);
    return true;
}

void Cache::erase_id(uint32_t id) {
    id_lookup_.erase(id, [](const CacheEntry*) { return true; });
    ids_.erase(id);
}

UrlNode& Cache::add_url(const Str& url, bool& inserted) {
    if (UrlNode* known = lookup(url)) {
        inserted = false;
        return *known;
    }
    auto it = urls_.try_emplace(url).first;
    url_lookup_.insert(url_tag(url), &*it);
    inserted = true;
    return it->second;
}

void Cache::erase_url(const Str& url) {
    url_lookup_.erase(url_tag(url), [&url](const UrlIndex::value_type* n) { return n->first == url; });
    urls_.erase(url);
}

void Cache::clear_indexes() {
    id_lookup_.clear();
    url_lookup_.clear();
    ids_.clear();
    urls_.clear();
}

const CacheEntry* Cache::find_id(uint32_t id) const { return lookup(id); }

const UrlNode* Cache::find_url(const Str& url) const { return lookup(url); }

Str Cache::file_name(uint32_t id) const { return cache_file_path(cachedir_.value(), id); }

Str Cache::cachedb_path() const {
    Str path = cachedir_.value();
    path += '/';
    path += CACHEDB_NAME;
    return path;
}

uint32_t Cache::language() const { return language_.index(); }

// --- ids ---------------------------------------------------------------------

uint32_t Cache::next_random() {
    random_state_ = random_state_ * 214013u + 2531011u;
    return (random_state_ >> 16) & 0x7FFF;
}

uint32_t Cache::new_id() {
    // 15 low bits and 8 bits from 16 up: bit 15 stays clear, ids stay below
    // 2^24. The bound only matters when nearly all 2^23 ids are taken.
    for (uint32_t attempt = 0; attempt < (1u << 25); attempt++) {
        uint32_t r1 = next_random();
        uint32_t r2 = next_random();
        uint32_t id = (r1 & 0x7FFF) | ((r2 & 0x1FE) << 15);
        if (id != 0 && !lookup(id)) {
            seed_ = id;
            return id;
        }
    }
    return 0;
}

// --- versions ----------------------------------------------------------------

CacheEntry* Cache::add_writing(const Str& url, const GMTdate& date, bool headeronly,
                               int32_t errorcode, uint32_t bytes, int32_t readers) {
    uint32_t id = new_id();
    if (id == 0) {
        fail_new("Cache::add_writing ", "no free id left");
        return nullptr;
    }
    std::unique_ptr<CacheEntry> made = new_cache_entry();
    if (!made) {
        fail_new("Cache::add_writing ", "unable to allocate entry");
        return nullptr;
    }
    CacheEntry& entry = writing_.push_back(std::move(made));
    entry.url = url;
    entry.date = date;
    entry.id = id;
    entry.bytes = bytes;
    entry.headeronly = headeronly;
    entry.errorcode = errorcode;
    entry.readers = readers;
    bool inserted = false;
    UrlNode& node = add_url(url, inserted);
    node.writing = &entry;
    entry.node = &node;
    add_id(entry);
    modified_ = true;
    return &entry;
}

void Cache::clear_slot(CacheEntry& entry) {
    UrlNode& node = *entry.node;
    if (node.current == &entry) node.current = nullptr;
    if (node.waiting == &entry) node.waiting = nullptr;
    if (node.writing == &entry) node.writing = nullptr;
}

void Cache::erase_node_if_empty(CacheEntry& entry) {
    UrlNode& node = *entry.node;
    if (!node.current && !node.waiting && !node.writing) erase_url(entry.url);
    entry.node = nullptr;
}

void Cache::delete_entry(CacheEntry& entry) {
    clear_slot(entry);
    erase_node_if_empty(entry);
    erase_id(entry.id);
    remove_entry_file(entry);
    // Versions still being written are not measured yet: their disk is 0.
    totalbytes_ = totalbytes_ >= entry.disk ? totalbytes_ - entry.disk : 0;
    modified_ = true;
    // Taken out of its list, the entry is deleted with its owner here.
    entry.list_->remove(entry);
}

void Cache::move_to_slot(CacheEntry& entry, EntryList& list, CacheEntry* UrlNode::*slot) {
    clear_slot(entry);
    entry.node->*slot = &entry;
    list.push_back(entry.list_->remove(entry));
}

void Cache::promote(UrlNode& node) {
    if (node.waiting) {
        CacheEntry* waiting = node.waiting;
        if (!node.current) {
            move_to_slot(*waiting, current_, &UrlNode::current);
        } else if (node.current->readers == 0) {
            delete_entry(*node.current);
            move_to_slot(*waiting, current_, &UrlNode::current);
        }
    }
    if (node.writing && node.writing->readers == 0) {
        CacheEntry* written = node.writing;
        if (!node.current) {
            move_to_slot(*written, current_, &UrlNode::current);
        } else if (node.current->readers == 0) {
            delete_entry(*node.current);
            move_to_slot(*written, current_, &UrlNode::current);
        } else if (!node.waiting) {
            move_to_slot(*written, waiting_, &UrlNode::waiting);
        } else if (node.waiting->readers == 0) {
            delete_entry(*node.waiting);
            move_to_slot(*written, waiting_, &UrlNode::waiting);
        }
        // A read waiting version stays; the complete one waits in the
        // writing slot for the next release on this URL.
    }
    modified_ = true;
}

bool Cache::in_use(const CacheEntry& entry) const {
    return entry.readers != 0 || entry.node->waiting || entry.node->writing;
}

// --- locks -------------------------------------------------------------------

void Cache::get_read_lock(const Str& url, uint32_t client, GMTdate& date, Str& file_name,
                          uint32_t& id, uint32_t& bytes, bool& headeronly, int32_t& errorcode) {
    accesses_++;
    modified_ = true;
    UrlNode* found = lookup(url);
    if (!found) return;
    UrlNode& node = *found;
    CacheEntry* entry = nullptr;
    // A newer copy that waits for the readers of the old one serves new readers.
    if (node.waiting) {
        entry = node.waiting;
        waiting_.move_to_back(*entry);
    } else if (node.current) {
        entry = node.current;
        current_.move_to_back(*entry);
    } else {
        return;
    }
    if (!entry->visible_to(client)) return;
    date = entry->date;
    file_name = this->file_name(entry->id);
    id = entry->id;
    bytes = entry->bytes;
    headeronly = entry->headeronly;
    errorcode = entry->errorcode;
    entry->readers++;
}

void Cache::release_read_lock(uint32_t id) {
    CacheEntry* entry = lookup(id);
    // A version being written holds no read lock: its mark is the writer's.
    if (!entry || entry->list_ == &writing_) {
        print_report("Cache::release_read_lock ",
                     "tried to release invalid read-lock '" + Str::from_ulong(id) + "'");
        return;
    }
    if (--entry->readers < 0) {
        entry->readers = 0;
        print_report("Cache::release_read_lock ", "access-count under run");
        return;
    }
    promote(*entry->node);
}

void Cache::get_write_lock(const Str& url, const GMTdate& date, bool headeronly,
                           int32_t errorcode, uint32_t owner, Str& file_name, uint32_t& id) {
    id = 0;
    file_name = Str();
    if (const UrlNode* known = lookup(url)) {
        const UrlNode& node = *known;
        if (node.writing) return;
        // A full copy is never replaced by a head-only one.
        if (headeronly && ((node.current && !node.current->headeronly) ||
                           (node.waiting && !node.waiting->headeronly)))
            return;
    }
    CacheEntry* entry = add_writing(url, date, headeronly, errorcode, 0, 1);
    if (!entry) {
        fail_chain("Cache::get_write_lock ", "unable to create entry");
        fail_print();
        return;
    }
    entry->owner = owner;
    id = entry->id;
    file_name = this->file_name(id);
}

void Cache::release_write_lock(uint32_t id, uint32_t bytes) {
    CacheEntry* entry = lookup(id);
    // Only a version still being written can be released, and only once.
    if (!entry || entry->list_ != &writing_ || entry->readers != 1) {
        print_report("Cache::release_write_lock ", "tried to release invalid write-lock");
        return;
    }
    if ((!entry->headeronly && bytes == 0) || uint64_t(bytes) > kib_limit(entrysize_)) {
        delete_entry(*entry);
    } else {
        entry->bytes = bytes;
        measure(*entry);
        entry->readers = 0;
        totalbytes_ += entry->disk;
        promote(*entry->node);
    }
    check_size();
    modified_ = true;
}

// --- limits, dates, users ------------------------------------------------------

void Cache::check_size() {
    // An entry in use is neither deleted nor waited for: the pass goes on
    // with the next least recently used one.
    CacheEntry* entry = current_.first();
    while (entry && (current_.count() > count_limit(cachefiles_) ||
                     uint64_t(totalbytes_) > kib_limit(cachesize_))) {
        CacheEntry* next = entry->next();
        if (!in_use(*entry)) {
            if (!lookup(entry->id)) {
                print_report("Cache::check_size ", "tried to delete entry with invalid id");
                return;
            }
            delete_entry(*entry);
        }
        entry = next;
    }
}

uint64_t Cache::make_room(uint64_t wanted) {
    uint64_t freed = 0;
    CacheEntry* entry = current_.first();
    while (entry && freed < wanted) {
        CacheEntry* next = entry->next();
        if (!in_use(*entry)) {
            freed += entry->disk;
            delete_entry(*entry);
        }
        entry = next;
    }
    return freed;
}

bool Cache::measure(CacheEntry& entry) const {
    Stat file(file_name(entry.id));
    bool found = !file.failed();
    if (!found) fail_take();
    // A file that cannot be seen counts as its body in whole pages.
    constexpr int64_t PAGE = 4096;
    entry.set_disk(found ? file.footprint() : (int64_t(entry.bytes) + PAGE) / PAGE * PAGE);
    return found;
}

void Cache::update_cache_date(uint32_t id, const GMTdate& date) {
    CacheEntry* entry = lookup(id);
    if (!entry) {
        print_report("Cache::update_cache_date ", "tried to update invalid cache-entry");
        return;
    }
    if (date.specified())
        entry->date = date;
    else
        entry->date.fail = 1;
    modified_ = true;
}

int32_t Cache::register_user(uint32_t address) {
    GMTdate now;
    now.set_now();
    modified_ = true;
    auto known = users_.find(address);
    if (known != users_.end()) {
        known->second.lastconnect = now;
        return 0;
    }
    for (auto it = users_.begin(); it != users_.end();) {
        const GMTdate& last = it->second.lastconnect;
        if (!last.specified() || now.diff(last) > USER_EXPIRY_SECONDS)
            it = users_.erase(it);
        else
            ++it;
    }
    UserInfo& user = users_[address];
    user.inetaddr = address;
    user.lastconnect = now;
    return 0;
}

int32_t Cache::get_all_ids(Str& directory, std::vector<uint32_t>& ids, uint32_t client) const {
    directory = cachedir_.value();
    directory += '/';
    ids.clear();
    try {
        ids.reserve(urls_.size());
    } catch (const std::bad_alloc&) {
        fail_new("Cache::get_all_ids ", "unable to allocate array");
        return -1;
    }
    for (const auto& [url, node] : urls_) {
        const CacheEntry* entry = node.waiting ? node.waiting : node.current;
        if (entry && !entry->visible_to(client)) continue;
        ids.push_back(entry ? entry->id : 0);
    }
    return 0;
}

void Cache::remove_entry_file(const CacheEntry& entry) {
    modified_ = true;
    if (file_removed_) file_removed_(entry.id);
    Str path = file_name(entry.id);
    // A file already gone counts as removed. Other failures do not pass by
    // waiting (an open file can be unlinked here), so they are reported at
    // once instead of stalling the server loop.
    Str unfinished = unfinished_path(path);
    ::unlink(unfinished.c_str()); // a writer that was stopped may leave one
    for (int attempt = 0; attempt < 20; attempt++) {
        if (::unlink(path.c_str()) == 0 || errno == ENOENT) return;
        if (errno != EINTR) break;
    }
    // A read-only file system refuses even to unlink what is not there.
    if (::access(path.c_str(), F_OK) != 0 && errno == ENOENT) return;
    print_report("Cache::remove_entry_file ", "unable to remove file '" + path + "'");
}

// --- lifecycle ---------------------------------------------------------------

void Cache::discard_unfinished() {
    while (CacheEntry* entry = waiting_.first()) delete_entry(*entry);
    while (CacheEntry* entry = writing_.first()) delete_entry(*entry);
}

void Cache::clear_all() {
    clear_indexes();
    current_.clear();
    waiting_.clear();
    writing_.clear();
    users_.clear();
}
