// ServerShare: what the server shares with the worker threads of its own
// process, so that a request served from the cache needs no message to the
// server's loop: the cache under one lock, copies of its small files, and
// the options as they are now.
// The loop holds the lock whenever it works on the cache (every command it
// serves, every browser it accepts); a worker holds it for one lock
// operation at a time, never while it waits on a socket.
#pragma once

#include "proxy/server/HotFiles.h"
#include "proxy/server/WorkerOptions.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

class Cache;

class ServerShare {
public:
    ServerShare(Cache& cache, WorkerOptions options);

    ServerShare(const ServerShare&) = delete;
    ServerShare& operator=(const ServerShare&) = delete;
    ~ServerShare() { close(); }

    // The server ends: from now on no worker reaches the cache (a worker
    // that outlives the server's wait for it must not touch what is gone).
    void close();

    // Null once closed; used under cache_lock().
    Cache* cache() { return cache_; }
    std::mutex& cache_lock() { return cache_lock_; }
    // Guarded by cache_lock() as well.
    HotFiles& hot_files() { return hot_files_; }

    // The options changed (or may have): workers see these from their next
    // request on.
    void publish(WorkerOptions options);
    // Copies the options into o unless the copy seen last (generation) is
    // still current.
    void options(WorkerOptions& o, uint64_t& generation) const;

private:
    Cache* cache_;
    std::mutex cache_lock_;
    HotFiles hot_files_;
    mutable std::mutex options_lock_;
    std::shared_ptr<const WorkerOptions> options_;
    std::atomic<uint64_t> generation_{1};
};
