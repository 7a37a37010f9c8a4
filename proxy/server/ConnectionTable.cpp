#include "proxy/server/ConnectionTable.h"

#include <atomic>

Connection::~Connection() {
    // A worker still asleep in a receive from its client wakes (the server
    // is ending), as one waiting on its channel does when that closes.
    if (client) client->stop_receiving();
    channel.reset();
    client.reset();
}

int32_t ConnectionTable::next_id() {
    static std::atomic<int32_t> counter{0};
    return counter++;
}

void ConnectionTable::add(std::unique_ptr<Connection> record) {
    int32_t id = record->id;
    records_[id] = std::move(record);
}

void ConnectionTable::remove(int32_t id) {
    records_.erase(id);
}

void ConnectionTable::clear() {
    records_.clear();
}

Connection* ConnectionTable::find(int32_t id) const {
    auto found = records_.find(id);
    return found == records_.end() ? nullptr : found->second.get();
}

Connection* ConnectionTable::first() const {
    return records_.empty() ? nullptr : records_.begin()->second.get();
}

Connection* ConnectionTable::next(const Connection& record) const {
    auto after = records_.upper_bound(record.id);
    return after == records_.end() ? nullptr : after->second.get();
}
