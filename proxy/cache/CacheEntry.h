// CacheEntry: one cached document, and the cache file that holds it.
//
// Cache file: cachedir + "/" + id in decimal without leading zeros (the id
// 1234 is the file "1234" directly inside the cache directory; "0012" or
// "12.tmp" are not cache files). Binary, little-endian, no padding:
//   URLAnswer  the answer head in its binary form, beginning with the magic
//              number 0x55414D01 (see http/URLAnswer.h)
//   Str        the URL as the client sent it (uint32 length + bytes)
//   bytes      the body: every remaining byte up to the end of the file,
//              unframed. A head-only answer ends right after the URL.
// The file is self-describing, so the database can be rebuilt from the
// directory alone (Cache::recovery). A document private to one client
// carries the header line "X-Quaylo-Private: <dotted address>" in its head.
// While it is written, the file has the name of its id plus ".part"
// ("1234.part"); only a complete document is renamed to its id, so a crash
// never leaves a cut document under a cache file's name.
//
// Stream form (one record of cachedb, see Cache.h), binary:
//   Str     url
//   GMTdate date        (32 bytes)
//   uint32  id          (never 0 in a stored record)
//   uint32  bytes       (body length)
//   bool    headeronly  (4 bytes, 1 or 0)
//   int32   errorcode   (status code of the stored answer)
#pragma once

#include "foundation/Str.h"
#include "http/GMTdate.h"

#include <cstdint>
#include <memory>

class EntryList;
class ObjectDrain;
class ObjectSource;
class Readable;
class URLAnswer;
struct UrlNode;

// The owner of an entry that every client may read.
inline constexpr uint32_t SHARED = 0;
// The owner of a private entry whose mark could not be read: no client.
inline constexpr uint32_t NO_CLIENT = 0xFFFFFFFF;
// The header line that marks a cache file private, as a lower-case name.
inline constexpr char PRIVATE_MARK[] = "X-Quaylo-Private";
inline constexpr char PRIVATE_MARK_KEY[] = "x-quaylo-private";

class CacheEntry {
public:
    Str url;
    GMTdate date;            // stored or last confirmed fresh (UTC)
    uint32_t id = 0;         // number of the cache file; 0 = no file yet
    uint32_t bytes = 0;      // length of the stored body
    bool headeronly = false; // the file holds an answer head but no body
    int32_t errorcode = 0;
    // Not in the record (an extension of cachedb keeps them, see Cache.h):
    uint32_t owner = SHARED; // the client address a private entry belongs to
    uint32_t disk = 0;       // bytes the file and its record take on disk

    bool visible_to(uint32_t client) const { return owner == SHARED || owner == client; }
    // The bytes of this entry's record in cachedb, extension included.
    uint32_t record_bytes() const;
    // disk from what the file takes, and the record.
    void set_disk(int64_t file_footprint);

    // Fills url, errorcode, bytes, headeronly and owner from the content of
    // a cache file (id and date are the caller's). Reads to the end of the
    // stream. 0, or -1 with a report pending ("got invalid data from file",
    // "short file").
    int32_t init_from_cfile(Readable& file);

    // Database bookkeeping, not part of the stream form. A version being
    // written carries one reader as the writer's mark until it is released.
    int32_t readers = 0;
    UrlNode* node = nullptr;

private:
    friend class EntryList;
    friend class Cache;
    EntryList* list_ = nullptr;
    CacheEntry* prev_ = nullptr;
    std::unique_ptr<CacheEntry> next_; // owns the rest of its list

public:
    CacheEntry* next() const { return next_.get(); }
    CacheEntry* prev() const { return prev_; }
    const EntryList* list() const { return list_; }
};

// A new entry with every field at its start value; null when no memory is
// left (the caller reports it).
std::unique_ptr<CacheEntry> new_cache_entry();

// An intrusive doubly linked list of entries: constant-time append, removal
// and move to the most recently used end. The list owns its entries (each
// one owns its successor); the indexes of the Cache only point at them.
class EntryList {
public:
    EntryList() = default;
    ~EntryList() { clear(); }
    EntryList(const EntryList&) = delete;
    EntryList& operator=(const EntryList&) = delete;

    CacheEntry* first() const { return first_.get(); }
    CacheEntry* last() const { return last_; }
    uint32_t count() const { return count_; }
    bool empty() const { return count_ == 0; }

    // Takes an entry that is in no list; the reference stays valid.
    CacheEntry& push_back(std::unique_ptr<CacheEntry> entry);
    // Takes an entry of this list out and hands its ownership back.
    std::unique_ptr<CacheEntry> remove(CacheEntry& entry);
    void move_to_back(CacheEntry& entry);
    // Deletes every entry, last first, so that no chain of owners unwinds
    // recursively.
    void clear();

    class Iterator {
    public:
        explicit Iterator(CacheEntry* e) : e_(e) {}
        CacheEntry& operator*() const { return *e_; }
        CacheEntry* operator->() const { return e_; }
        Iterator& operator++() { e_ = e_->next(); return *this; }
        bool operator!=(const Iterator& o) const { return e_ != o.e_; }
        bool operator==(const Iterator& o) const { return e_ == o.e_; }

    private:
        CacheEntry* e_;
    };
    Iterator begin() const { return Iterator(first_.get()); }
    Iterator end() const { return Iterator(nullptr); }

private:
    std::unique_ptr<CacheEntry> first_;
    CacheEntry* last_ = nullptr;
    uint32_t count_ = 0;
};

// The cache file of an id inside dir: dir + "/" + decimal id.
Str cache_file_path(const Str& dir, uint32_t id);
// The name a cache file has while it is written.
Str unfinished_path(const Str& cache_file);
bool is_unfinished_name(const Str& name);

// The answer head at the start of a cache file; false (report dropped)
// when the file cannot be opened or its head cannot be read.
bool read_cache_head(const Str& path, URLAnswer& answer);

// The owner a head's lines name: SHARED without a mark, NO_CLIENT for a
// mark that is not one dotted IPv4 address (or several marks that differ).
uint32_t owner_from_mark(const Str& answer_lines);
// The lines with the mark of owner (none for SHARED) instead of any other.
Str with_private_mark(const Str& answer_lines, uint32_t owner);
// True when name is the canonical decimal form of a non-zero 32-bit id (no
// leading zeros, no sign, nothing else); the id is stored in id.
bool parse_cache_file_name(const Str& name, uint32_t& id);

// Record operators. Writing a record with id 0 prints
// "internal inconsistency (id)" but still writes the fields.
ObjectDrain& operator<<(ObjectDrain& d, const CacheEntry& entry);
ObjectSource& operator>>(ObjectSource& s, CacheEntry& entry);
