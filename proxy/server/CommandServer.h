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

class CommandServer {
public:
    CommandServer(RelaisOptions& options, Cache& cache, AdminRequest& admin)
        : options_(options), cache_(cache), admin_(admin) {}

    // Reads and serves one command of record. Finished deletes the record
    // from table. 0 = go on (failures of single commands are printed);
    // -1 = the server must end, with a report pending.
    int32_t serve(Connection& record, ConnectionTable& table);

    // A parked connection got its slot: its HeadComplete is answered.
    void resume(Connection& record);
    // Tells the worker to abort (it has no complete head, so it holds no
    // lock); the record is deleted when its channel ends.
    void drop(Connection& record);

private:
    void finished(Connection& record, ConnectionTable& table);
    void head_complete(Connection& record);
    void read_lock(Connection& record);
    void release_read_lock(Connection& record);
    void write_lock(Connection& record);
    void release_write_lock(Connection& record);
    int32_t special_request(Connection& record);
    void get_options(Connection& record);
    void update_cache_date(Connection& record);
    // Sends one whole answer; a failure is reported with failure_text and printed.
    void send(Connection& record, const Str& message, const char* failure_text);
    // Sends the answers held back and message (may be empty) in one piece.
    void send_held(Connection& record, const Str& message, const char* failure_text);
    // Commands the server answers.
    static bool is_question(int32_t code);

    RelaisOptions& options_;
    Cache& cache_;
    AdminRequest& admin_;
};
