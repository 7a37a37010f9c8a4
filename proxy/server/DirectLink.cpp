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

template <class Step>
int DirectLink::in_cache(const char* context, Step step) {
    std::lock_guard<std::mutex> guard(shares_.server->cache_lock());
    Cache* cache = shares_.server->cache();
    if (!cache) {
        fail_new(context, "the server has ended");
        return 1;
    }
    step(*cache);
    return 0;
}

void DirectLink::release_all() {
    if (read_lock_ == 0 && write_lock_ == 0) return;
    in_cache("DirectLink ", [this](Cache& cache) {
        if (read_lock_ != 0) cache.release_read_lock(read_lock_);
        if (write_lock_ != 0) cache.release_write_lock(write_lock_, 0);
    });
    if (fail_pending()) fail_take(); // an ended server released everything
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
    return in_cache(context, [&](Cache& cache) {
        cache.get_read_lock(url, client_address_, lookup.date, lookup.file, lookup.id, lookup.bytes,
                            lookup.headeronly, lookup.errorcode);
        read_lock_ = lookup.id;
        if (lookup.id != 0) lookup.copy = shares_.server->hot_files().find(lookup.id, lookup.file);
    });
}

void DirectLink::keep_copy(const CacheLookup& lookup, std::shared_ptr<const Str> copy) {
    if (lookup.id == 0 || lookup.id != read_lock_) return;
    in_cache("DirectLink::keep_copy ", [&](Cache& cache) {
        // A file removed meanwhile is not kept: its id may come back for another.
        if (cache.find_id(lookup.id))
            shares_.server->hot_files().keep(lookup.id, lookup.file, std::move(copy));
    });
    if (fail_pending()) fail_take(); // nothing is kept for an ended server
}

int DirectLink::release_read_lock(uint32_t id, const char* context) {
    if (id == 0 || id != read_lock_) return lock_misused(context);
    read_lock_ = 0;
    return in_cache(context, [id](Cache& cache) { cache.release_read_lock(id); });
}

int DirectLink::write_lock(const Str& url, const GMTdate& date, bool headeronly,
                           int32_t errorcode, bool kept_private, Str& file, uint32_t& id,
                           const char* context) {
    if (write_lock_ != 0) return lock_misused(context);
    uint32_t owner = kept_private ? client_address_ : SHARED;
    return in_cache(context, [&](Cache& cache) {
        cache.get_write_lock(url, date, headeronly, errorcode, owner, file, id);
        write_lock_ = id;
    });
}

int DirectLink::release_write_lock(uint32_t id, uint32_t bytes, const char* context) {
    if (id == 0 || id != write_lock_) return lock_misused(context);
    write_lock_ = 0;
    return in_cache(context, [id, bytes](Cache& cache) { cache.release_write_lock(id, bytes); });
}

int DirectLink::make_room(uint32_t wanted, uint32_t& freed, const char* context) {
    freed = 0;
    return in_cache(context, [&](Cache& cache) {
        uint64_t made = cache.make_room(wanted);
        freed = made > UINT32_MAX ? UINT32_MAX : uint32_t(made);
    });
}

int DirectLink::update_cache_date(uint32_t id, const GMTdate& date, const char* context) {
    if (id == 0 || id != read_lock_) return lock_misused(context);
    return in_cache(context, [id, &date](Cache& cache) { cache.update_cache_date(id, date); });
}
