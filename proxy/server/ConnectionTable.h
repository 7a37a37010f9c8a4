// The server's connection records: one per accepted browser connection,
// from the accept until its worker has sent Finished. The table owns the
// records; a record owns its command channel and its client socket, so
// deleting it closes both connections.
#pragma once

#include "foundation/Socket.h"
#include "proxy/server/CmdSocket.h"
#include "proxy/server/ConnectionState.h"

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>

struct Connection {
    int32_t id = 0;
    std::unique_ptr<CmdSocket> channel;
    std::unique_ptr<Socket> client;
    uint32_t client_address = 0; // as the socket layer delivers it
    uint32_t read_lock = 0;  // id of the cache read lock the worker holds, 0 = none
    uint32_t write_lock = 0; // id of the cache write lock the worker holds, 0 = none
    // Whether the request head is in, since when a head has been awaited,
    // and whether the connection was accepted beyond maxcon, for the admin
    // pages (a request for elsewhere then waits, parked with its
    // HeadComplete unanswered, until a slot is free). Until its head is in,
    // the connection may be dropped for a new one when all slots are taken.
    // Shared with a worker thread of this process.
    std::shared_ptr<ConnectionState> state = std::make_shared<ConnectionState>();
    bool parked = false;
    // Told to abort: its record goes when the channel ends.
    bool dropped = false;
    // The worker sent something invalid: nothing it sends counts any more,
    // and the record waits only for the worker to close its end.
    bool ended = false;

    // Closes the channel first, so the worker sees the end before its client
    // does; a worker asleep in a receive from its client is woken.
    ~Connection();
};

class ConnectionTable {
public:
    // A process-wide counter: 0 for the first connection, then one more each.
    static int32_t next_id();

    ConnectionTable() = default;
    ConnectionTable(const ConnectionTable&) = delete;
    ConnectionTable& operator=(const ConnectionTable&) = delete;

    void add(std::unique_ptr<Connection> record);
    // Deletes the record; an unknown id does nothing.
    void remove(int32_t id);
    void clear();

    Connection* find(int32_t id) const;
    // Records in id order; null at the end.
    Connection* first() const;
    Connection* next(const Connection& record) const;
    int32_t count() const { return int32_t(records_.size()); }

private:
    std::map<int32_t, std::unique_ptr<Connection>> records_;
};
