// Idle connections to the proxy, kept open after complete answers so that a
// job's next requests need not connect again. Direct connections to origin
// servers never come here: they end with their one answer.
//
// The proxy may close an idle connection at any moment; one that has closed
// or has sent stray bytes is dropped when taken, and a request that still
// meets a closed one is retried by the load job.
#pragma once

#include <cstddef>
#include <deque>
#include <memory>

class InterNetClient;

class ProxyConnectionPool {
public:
    static constexpr size_t kMaxIdle = 12;

    ProxyConnectionPool();
    ~ProxyConnectionPool();
    ProxyConnectionPool(const ProxyConnectionPool&) = delete;
    ProxyConnectionPool& operator=(const ProxyConnectionPool&) = delete;

    // Keeps the connection; the one idle longest is closed when kMaxIdle are kept.
    void Put(std::unique_ptr<InterNetClient> connection);
    // The connection idle the shortest time that still looks usable, or null.
    std::unique_ptr<InterNetClient> Take();
    void CloseAll();
    size_t IdleCount() const { return idle_.size(); }

private:
    std::deque<std::unique_ptr<InterNetClient>> idle_;  // the one idle longest first
};
