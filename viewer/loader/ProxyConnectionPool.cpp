#include "viewer/loader/ProxyConnectionPool.h"

#include "foundation/InterNetClient.h"

#include <poll.h>

namespace {

// An idle connection has nothing to read: anything there is the proxy's
// close, a reset, or bytes that belong to no request.
bool StillUsable(const InterNetClient& connection) {
    pollfd probe{connection.handle(), POLLIN, 0};
    return ::poll(&probe, 1, 0) == 0;
}

}  // namespace

ProxyConnectionPool::ProxyConnectionPool() = default;
ProxyConnectionPool::~ProxyConnectionPool() = default;

void ProxyConnectionPool::Put(std::unique_ptr<InterNetClient> connection) {
    if (idle_.size() >= kMaxIdle) idle_.pop_front();
    idle_.push_back(std::move(connection));
}

std::unique_ptr<InterNetClient> ProxyConnectionPool::Take() {
    while (!idle_.empty()) {
        std::unique_ptr<InterNetClient> connection = std::move(idle_.back());
        idle_.pop_back();
        if (StillUsable(*connection)) return connection;
    }
    return nullptr;
}

void ProxyConnectionPool::CloseAll() {
    idle_.clear();
}
