// DirectLink: a worker thread's way to the cache and the options of the
// server in its own process (ServerShare), instead of a message and its
// answer over the command channel for each step. Each call does what the
// server does for the matching command (CommandServer), under the cache's
// lock, with the same rule: a worker holds at most one read and one write
// lock and gives back only its own. Whatever is still held when the link
// ends is released (a write lock with 0 bytes), as the server releases a
// worker's locks when it hears Finished.
//
// The channel stays for what only the server's loop can do: the admin
// pages, waiting for a slot beyond maxcon, Finished and the abort.
//
// All int results as ParentChannel's: 0 success, 1 failure with a report
// pending under the caller's context (a misused lock, or a server that has
// ended while the worker still ran).
#pragma once

#include "foundation/Str.h"
#include "http/GMTdate.h"
#include "proxy/server/WorkerOptions.h"
#include "proxy/server/WorkerPool.h"

#include <cstdint>
#include <memory>

struct CacheLookup;

class DirectLink {
public:
    // client_address: the address the server accepted the connection from.
    DirectLink(WorkerShares shares, uint32_t client_address);
    ~DirectLink();
    DirectLink(const DirectLink&) = delete;
    DirectLink& operator=(const DirectLink&) = delete;

    // A request for elsewhere on a connection beyond maxcon must wait for
    // the server's loop to give it a slot (HeadComplete over the channel).
    bool must_wait_for_slot(bool local) const;
    // The request head is in: false when the server dropped the connection
    // just before.
    bool take_head();
    // The answer went out whole: locks still held go, and the connection
    // waits for its next request head.
    void await_head();
    void options(WorkerOptions& o);

    int read_lock(const Str& url, CacheLookup& lookup, const char* context);
    int release_read_lock(uint32_t id, const char* context);
    // Offers the copy of the file of the read lock held (see HotFiles).
    void keep_copy(const CacheLookup& lookup, std::shared_ptr<const Str> copy);
    int write_lock(const Str& url, const GMTdate& date, bool headeronly, int32_t errorcode,
                   bool kept_private, Str& file, uint32_t& id, const char* context);
    int release_write_lock(uint32_t id, uint32_t bytes, const char* context);
    int make_room(uint32_t wanted, uint32_t& freed, const char* context);
    int update_cache_date(uint32_t id, const GMTdate& date, const char* context);

private:
    void release_all();
    // Runs step on the cache under its lock; 1 with a report when the
    // server has ended (its cache is gone), else 0.
    template <class Step>
    int in_cache(const char* context, Step step);
    static int lock_misused(const char* context);

    WorkerShares shares_;
    uint32_t client_address_;
    uint64_t options_seen_ = 0;
    uint32_t read_lock_ = 0;  // 0 = none held
    uint32_t write_lock_ = 0; // 0 = none held
};
