#include "proxy/server/DirectLink.h"

#include "foundation/Fail.h"
#include "proxy/cache/Cache.h"
#include "proxy/cache/CacheEntry.h"
#include "proxy/server/ConnectionState.h"
#include "proxy/server/ParentChannel.h"
#include "proxy/server/ServerShare.h"

#include <mutex>

DirectLink::DirectLink(WorkerShares shares, uint32_t client_address)
    : shares_(std::move(shares)), client_address_(client_address) {}

DirectLink::~DirectLink() {
    release_all();
}

void DirectLink::release_all() {
    if (read_lock_ == 0 && write_lock_ == 0) return;
    std::lock_guard<std::mutex> guard(shares_.server->cache_lock());
    Cache& cache = shares_.server->cache();
    if (read_lock_ != 0) cache.release_read_lock(read_lock_);
    if (write_lock_ != 0) cache.release_write_lock(write_lock_, 0);
    read_lock_ = write_lock_ = 0;
}

int DirectLink::lock_misused(const char* context) {
    fail_new(context, "invalid lock use by child");
    return 1;
}

bool DirectLink::must_wait_for_slot(bool local) const {
    return !local && shares_.connection->reserve();
}

bool DirectLink::take_head() {
    return shares_.connection->take_head();
}

void DirectLink::await_head() {
    release_all();
    shares_.connection->await_head();
}

void DirectLink::options(WorkerOptions& o) {
    shares_.server->options(o, options_seen_);
}

int DirectLink::read_lock(const Str& url, CacheLookup& lookup, const char* context) {
    if (read_lock_ != 0) return lock_misused(context);
    lookup = CacheLookup();
    std::lock_guard<std::mutex> guard(shares_.server->cache_lock());
    shares_.server->cache().get_read_lock(url, client_address_, lookup.date, lookup.file,
                                          lookup.id, lookup.bytes, lookup.headeronly,
                                          lookup.errorcode);
    read_lock_ = lookup.id;
    if (lookup.id != 0) lookup.copy = shares_.server->hot_files().find(lookup.id, lookup.file);
    return 0;
}

void DirectLink::keep_copy(const CacheLookup& lookup, std::shared_ptr<const Str> copy) {
    if (lookup.id == 0 || lookup.id != read_lock_) return;
    std::lock_guard<std::mutex> guard(shares_.server->cache_lock());
    // A file removed meanwhile is not kept: its id may come back for another.
    if (!shares_.server->cache().find_id(lookup.id)) return;
    shares_.server->hot_files().keep(lookup.id, lookup.file, std::move(copy));
}

int DirectLink::release_read_lock(uint32_t id, const char* context) {
    if (id == 0 || id != read_lock_) return lock_misused(context);
    read_lock_ = 0;
    std::lock_guard<std::mutex> guard(shares_.server->cache_lock());
    shares_.server->cache().release_read_lock(id);
    return 0;
}

int DirectLink::write_lock(const Str& url, const GMTdate& date, bool headeronly,
                           int32_t errorcode, bool kept_private, Str& file, uint32_t& id,
                           const char* context) {
    if (write_lock_ != 0) return lock_misused(context);
    uint32_t owner = kept_private ? client_address_ : SHARED;
    std::lock_guard<std::mutex> guard(shares_.server->cache_lock());
    shares_.server->cache().get_write_lock(url, date, headeronly, errorcode, owner, file, id);
    write_lock_ = id;
    return 0;
}

int DirectLink::release_write_lock(uint32_t id, uint32_t bytes, const char* context) {
    if (id == 0 || id != write_lock_) return lock_misused(context);
    write_lock_ = 0;
    std::lock_guard<std::mutex> guard(shares_.server->cache_lock());
    shares_.server->cache().release_write_lock(id, bytes);
    return 0;
}

int DirectLink::make_room(uint32_t wanted, uint32_t& freed) {
    std::lock_guard<std::mutex> guard(shares_.server->cache_lock());
    uint64_t made = shares_.server->cache().make_room(wanted);
    freed = made > UINT32_MAX ? UINT32_MAX : uint32_t(made);
    return 0;
}

int DirectLink::update_cache_date(uint32_t id, const GMTdate& date, const char* context) {
    if (id == 0 || id != read_lock_) return lock_misused(context);
    std::lock_guard<std::mutex> guard(shares_.server->cache_lock());
    shares_.server->cache().update_cache_date(id, date);
    return 0;
}
