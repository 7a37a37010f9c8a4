// Cache: the proxy's database of cached documents.
//
// Every document is one CacheEntry with its cache file (CacheEntry.h). The
// database keeps three lists of entries:
//   current  the current version of every document, least recently used first
//   waiting  complete newer versions that wait until no one reads the current one
//   writing  versions being written under a write lock
// and indexes every entry by id and by URL. The lists own the entries; the
// indexes and the slots only point at them. A URL node has three slots
// (current, waiting, writing); any may be empty, the node exists while one
// is filled. Read and write locks are counters and slots, never blocking:
// only the server's loop thread calls a Cache, one command at a time.
//
// The database file cachedb (cachedir + "/cachedb"), binary, little-endian:
//   uint32   magic 0x43444203
//   uint32   number of entries in the current list
//            then each entry, least recently used first, in the stream
//            form of CacheEntry (Str url, GMTdate date, uint32 id,
//            uint32 bytes, bool headeronly, int32 errorcode)
//   uint32   seed        (the last id handed out)
//   uint32   totalbytes  (what the complete versions take on disk)
//   uint32   accesses    (read-lock requests since creation or rebuild)
//   uint32   number of users
//            then each UserInfo: uint32 inetaddr, GMTdate lastconnect (32 bytes)
//   uint32   extension magic 0x43444278
//   uint32   number of entries, then for each: uint32 id, uint32 owner
//            (0: shared, else the client address it is private to),
//            uint32 disk (bytes its file and record take)
// Readers that stop after the users read the file as before; a file without
// the extension (or with a bad one) has its owners read from the marks in
// the cache files and its sizes measured on disk.
// The file exists only while the server is stopped: a successful load
// deletes it and the end of the Cache writes it anew, so a crash leads to a
// rebuild from the cache files (recovery) at the next start.
//
// The options are the server's option objects, read at each use, so a
// changed limit or directory applies from the next operation on.
#pragma once

#include "foundation/Option.h"
#include "foundation/Str.h"
#include "http/GMTdate.h"
#include "proxy/cache/CacheEntry.h"
#include "proxy/cache/LookupTable.h"

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <vector>

class ObjectDrain;
class ObjectSource;
class Stat;

// The file in the cache directory whose lock keeps a second server out
// (DirectoryLock); it is no cache file.
inline constexpr char CACHE_LOCK_FILE[] = "harbord.lock";

// Orders strings as Str::compare does (bytes as signed values, a prefix
// first), comparing eight bytes at a time where they are equal.
struct StrOrder {
    bool operator()(const Str& a, const Str& b) const { return str_order(a, b) < 0; }
    static int str_order(const Str& a, const Str& b);
};

// The three versions of one URL.
struct UrlNode {
    CacheEntry* current = nullptr;
    CacheEntry* waiting = nullptr;
    CacheEntry* writing = nullptr;
};

// A client host that used the proxy.
struct UserInfo {
    uint32_t inetaddr = 0; // IPv4 address as the socket layer delivers it
    GMTdate lastconnect;
};

using UrlIndex = std::map<Str, UrlNode, StrOrder>;
using IdIndex = std::map<uint32_t, CacheEntry*>;
using UserTree = std::map<uint32_t, UserInfo>;
// URL prefixes chosen for an import or export ("http://" + host, or a
// directory's URL).
using UrlSelection = std::set<Str, StrOrder>;

// The tag of a URL in the hashed look-up.
uint32_t url_tag(const Str& url);

class Cache {
public:
    static constexpr uint32_t MAGIC = 0x43444203;
    static constexpr uint32_t EXTENSION_MAGIC = 0x43444278;
    // Users not seen for longer than this are forgotten.
    static constexpr double USER_EXPIRY_SECONDS = 86400;

    // Keeps references to the options (they must outlive the Cache), sets
    // seed 1 and loads the database; with recover, a missing or bad cachedb
    // is rebuilt from the cache files. On failure failed() stays true and
    // "Cache: " "unable to initialize database" is pending. A read_only cache
    // (an import's source) leaves its cachedb in place and never writes it.
    Cache(OptionPath& cachedir, OptionInt& cachesize, OptionInt& entrysize, OptionInt& cachefiles,
          OptionChoice& language, OptionFlag& debug, OptionPath& exportdir, OptionPath& importdir,
          bool recover, bool read_only = false);
    // close(); a failure is printed.
    ~Cache();
    Cache(const Cache&) = delete;
    Cache& operator=(const Cache&) = delete;

    bool failed() const { return failed_; }

    // Discards waiting and writing versions (their files are deleted), then
    // stores the database, evicting least recently used entries when the
    // disk is too full for it. Once only; a Cache whose construction failed,
    // or a read_only one, writes nothing. 0, or -1 with a report pending.
    int32_t close();
    // Reads cachedb and deletes it. 0, or -1 with a report pending. A bad or
    // missing file leads to recovery() when recover is set.
    int32_t load(bool recover);
    // Writes cachedb. Refused while versions are waiting or being written.
    // 0, or -1 with a report pending.
    int32_t store();
    // Rebuilds the database from the files in the directory of cachedb_path
    // (creating the directory when it is missing), printing progress and
    // counts to standard error. Unfinished files are deleted and counted
    // as invalid. 0, or -1 with a report pending.
    int32_t recovery(const Str& cachedb_path);

    // Locks. A URL that is not cached for client (not at all, or private to
    // another one) leaves every output as it was.
    void get_read_lock(const Str& url, uint32_t client, GMTdate& date, Str& file_name,
                       uint32_t& id, uint32_t& bytes, bool& headeronly, int32_t& errorcode);
    void release_read_lock(uint32_t id);
    // id 0 and an empty file_name: the document is not to be stored. owner:
    // SHARED, or the client the document is private to. The writer writes
    // the unfinished_path of file_name and renames it when it is complete.
    void get_write_lock(const Str& url, const GMTdate& date, bool headeronly, int32_t errorcode,
                        uint32_t owner, Str& file_name, uint32_t& id);
    // bytes: body bytes stored in the renamed file, 0 when storing did not
    // complete.
    void release_write_lock(uint32_t id, uint32_t bytes);
    // Evicts least recently used entries not in use until they freed
    // `wanted` bytes of disk or none is left; the bytes freed.
    uint64_t make_room(uint64_t wanted);

    void update_cache_date(uint32_t id, const GMTdate& date);
    // Records a client host as seen now. 0, or -1 with a report pending.
    int32_t register_user(uint32_t address);
    // The cache directory with a trailing "/" and, in URL order, the id of
    // each URL's waiting version, else of its current one, where client may
    // see it. 0 or -1.
    int32_t get_all_ids(Str& directory, std::vector<uint32_t>& ids, uint32_t client) const;

    // Deletes the entry's cache file (and an unfinished one); a file that is
    // already gone counts as removed.
    void remove_entry_file(const CacheEntry& entry);
    // Called with the entry's id whenever its file is removed (empty: no one
    // is told).
    void when_file_removed(std::function<void(uint32_t id)> removed) {
        file_removed_ = std::move(removed);
    }
    // cachedir + "/" + id.
    Str file_name(uint32_t id) const;
    // Evicts least recently used entries while the current list is longer
    // than cachefiles or what the entries take on disk exceeds cachesize KiB. Entries in use (a
    // reader, or a waiting or writing version) are skipped, never waited for.
    void check_size();

    // Copies into this cache the current versions of source whose URL begins
    // with one of the selected prefixes; with only_newer a document whose
    // copy here is not older is kept. 0, or -1 with a report pending (the
    // documents copied before the failure stay).
    int32_t import(Cache& source, const UrlSelection& selection, bool only_newer);

    // Read access (admin pages, tests).
    const EntryList& current() const { return current_; }
    const EntryList& waiting() const { return waiting_; }
    const EntryList& writing() const { return writing_; }
    const UrlIndex& urls() const { return urls_; }
    const IdIndex& ids() const { return ids_; }
    const UserTree& users() const { return users_; }
    uint32_t seed() const { return seed_; }
    uint32_t totalbytes() const { return totalbytes_; }
    uint32_t accesses() const { return accesses_; }
    bool modified() const { return modified_; }
    // Null when unknown.
    const CacheEntry* find_id(uint32_t id) const;
    const UrlNode* find_url(const Str& url) const;
    // cachedir + "/cachedb".
    Str cachedb_path() const;

private:
    friend ObjectDrain& operator<<(ObjectDrain& d, const Cache& cache);
    friend ObjectSource& operator>>(ObjectSource& s, Cache& cache);

    // The ordered indexes serve listings; the hashed ones the look-ups of
    // every lock. These keep both in step.
    CacheEntry* lookup(uint32_t id) const;
    UrlNode* lookup(const Str& url) const;
    bool add_id(CacheEntry& entry); // false when the id is taken
    void erase_id(uint32_t id);
    UrlNode& add_url(const Str& url, bool& inserted);
    void erase_url(const Str& url);
    void clear_indexes();
    // A fresh id: non-zero, bit 15 clear, below 2^24, not in use; 0 when
    // every possible id is taken.
    uint32_t new_id();
    uint32_t next_random();
    // Creates an entry in the node's writing slot (a new node when none).
    CacheEntry* add_writing(const Str& url, const GMTdate& date, bool headeronly,
                            int32_t errorcode, uint32_t bytes, int32_t readers);
    void promote(UrlNode& node);
    // Removes a version from every index and list, deletes its file and
    // subtracts its bytes (0 while it is being written). The node goes with
    // its last version.
    void delete_entry(CacheEntry& entry);
    void move_to_slot(CacheEntry& entry, EntryList& list, CacheEntry* UrlNode::*slot);
    void clear_slot(CacheEntry& entry);
    void erase_node_if_empty(CacheEntry& entry);
    void clear_all();
    // Indexes the current list. A duplicate id or URL fails, unless
    // keep_newest: then the older copies of a URL are deleted.
    int32_t build_indexes(bool keep_newest);
    void discard_duplicate(CacheEntry& entry);
    // Reads the extension after the users into the loaded entries; false
    // (report dropped) when it is missing or bad.
    bool read_extension(ObjectSource& source);
    // Owners from the cache files' marks and sizes from the disk, for a
    // cachedb without a sound extension.
    void measure_entries();
    // Sets entry.disk from its file; false (an estimate set) when the file
    // cannot be seen.
    bool measure(CacheEntry& entry) const;
    int32_t store_with_room();
    // Takes one cache file into the current list; false with a report
    // pending when it is not a valid cache file.
    bool recover_file(const Str& path, uint32_t id, const Stat& status);
    void discard_unfinished();
    bool in_use(const CacheEntry& entry) const;
    uint32_t language() const;
    int32_t copy_file(const Cache& source, const CacheEntry& from, const CacheEntry& to);

    OptionPath& cachedir_;
    OptionInt& cachesize_;
    OptionInt& entrysize_;
    OptionInt& cachefiles_;
    OptionChoice& language_;
    OptionFlag& debug_;
    OptionPath& exportdir_;
    OptionPath& importdir_;

    EntryList current_;
    EntryList waiting_;
    EntryList writing_;
    IdIndex ids_;
    UrlIndex urls_;
    // Tagged by id, and by a hash of the URL pointing at the node of urls_.
    LookupTable<CacheEntry> id_lookup_;
    LookupTable<UrlIndex::value_type> url_lookup_;
    UserTree users_;
    uint32_t seed_ = 1;
    uint32_t totalbytes_ = 0;
    uint32_t accesses_ = 0;
    uint32_t random_state_ = 1;
    bool modified_ = false;
    bool failed_ = true;
    bool read_only_ = false;
    bool closed_ = false;
    std::function<void(uint32_t id)> file_removed_;
};

// The cachedb record. Writing is refused with "internal inconsistency
// (entries)" while versions are waiting or being written. Reading appends
// to the current list and stops at the first bad entry.
ObjectDrain& operator<<(ObjectDrain& d, const Cache& cache);
ObjectSource& operator>>(ObjectSource& s, Cache& cache);
ObjectDrain& operator<<(ObjectDrain& d, const UserInfo& user);
ObjectSource& operator>>(ObjectSource& s, UserInfo& user);

// A second cache on the export or import directory, for Cache::import. It
// shares the proxy's language, debug, exportdir and importdir options and has
// its own cachesize, cachefiles and entrysize of 2147483647, so that no limit
// of practical size applies. Export opens it with recover (an empty or plain
// directory of cache files is rebuilt), import without (the directory must
// hold a valid cachedb) and read_only. Closing it writes its cachedb unless
// it is read_only.
class ExchangeCache {
public:
    ExchangeCache(OptionPath& directory, OptionChoice& language, OptionFlag& debug,
                  OptionPath& exportdir, OptionPath& importdir, bool recover,
                  bool read_only = false);
    Cache& cache() { return cache_; }
    bool failed() const { return cache_.failed(); }

private:
    OptionInt cachesize_;
    OptionInt cachefiles_;
    OptionInt entrysize_;
    Cache cache_;
};
