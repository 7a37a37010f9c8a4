// CommandServer: the server's handling of the commands its workers send
// over their channels (codes and fields in Command.h). The server's loop
// calls serve() when a record's channel is readable; one call reads and
// answers exactly one command, so a request and its answer are never
// interleaved with another message on the same channel.
#pragma once

#include "proxy/server/ConnectionTable.h"

#include <cstdint>

class AdminRequest;
class Cache;
class RelaisOptions;
class ServerShare;

class CommandServer {
public:
    // share: told of the options after each admin request (which may have
    // changed them); may be null.
    CommandServer(RelaisOptions& options, Cache& cache, AdminRequest& admin,
                  ServerShare* share = nullptr)
        : options_(options), cache_(cache), admin_(admin), share_(share) {}

    // Reads and serves one command of record. Finished deletes the record
    // from table. Anything invalid from the worker (an unknown code, a
    // record that cannot be read or is too long) ends its channel only: see
    // end_channel. 0 = go on (failures are printed); -1 = the server itself
    // failed and must end, with a report pending.
    int32_t serve(Connection& record, ConnectionTable& table);

    // A parked connection got its slot: its HeadComplete is answered.
    void resume(Connection& record);
    // Tells the worker to abort (it has no complete head, so it holds no
    // lock); the record is deleted when its channel ends. False when the
    // head came just now: the connection stays.
    bool drop(Connection& record);

private:
    // The handlers: 0 served, 1 the record could not be read (report
    // pending), -1 the server failed.
    void finished(Connection& record, ConnectionTable& table);
    void keep_waiting(Connection& record);
    int32_t head_complete(Connection& record);
    int32_t read_lock(Connection& record);
    int32_t release_read_lock(Connection& record);
    int32_t write_lock(Connection& record);
    int32_t release_write_lock(Connection& record);
    int32_t special_request(Connection& record);
    int32_t get_options(Connection& record);
    int32_t make_room(Connection& record);
    int32_t update_cache_date(Connection& record);
    void release_locks(Connection& record);
    // Prints the pending report, releases the worker's locks and closes its
    // browser connection; the record stays (ended) until the worker has
    // closed its end, as the worker may still use the client's handle.
    void end_channel(Connection& record, ConnectionTable& table);
    // Sends one whole answer; a failure is reported with failure_text and printed.
    void send(Connection& record, const Str& message, const char* failure_text);
    // Sends the answers held back and message (may be empty) in one piece.
    void send_held(Connection& record, const Str& message, const char* failure_text);
    // Commands the server answers.
    static bool is_question(int32_t code);

    RelaisOptions& options_;
    Cache& cache_;
    AdminRequest& admin_;
    ServerShare* share_;
};
