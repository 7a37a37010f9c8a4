// Relais: the proxy server. Constructing it runs the whole server life:
// options (command line over the setup file beside the program), the admin
// addresses, the listening socket, the cache, then the loop that accepts
// browser connections, starts one worker per connection and serves the
// workers' commands, until a stop signal arrives.
//
// The loop is single-threaded and owns the options, the connection table and
// the cache; workers reach them only through their command channels. Those
// are socket pairs: the server listens on no internal port (`iport` is still
// read and saved, and workers refuse to fetch from it as from `port`).
#pragma once

#include "foundation/ArgList.h"
#include "foundation/InterNetServer.h"
#include "foundation/Str.h"
#include "proxy/admin/AdminRequest.h"
#include "proxy/server/CmdSocket.h"
#include "proxy/server/CommandServer.h"
#include "proxy/server/ConnectionTable.h"
#include "proxy/options/RelaisOptions.h"

#include <cstdint>
#include <memory>
#include <vector>

class Cache;

class Relais {
public:
    // Longest single wait of the loop, so that a stop is noticed in time.
    static constexpr int WAIT_MILLISECONDS = 1000;
    // How long the end of the server waits for its workers to return.
    static constexpr int WORKER_END_MILLISECONDS = 5000;

    // program_name: directory + "/" + program file name without extension;
    // the setup file is program_name + ".cfg". entry is started for every
    // worker with the worker's argument list.
    Relais(const Str& program_name, ArgList& arguments, CmdSocket::Entry entry);
    // Closes every connection, lets the workers end, closes the cache.
    ~Relais();
    Relais(const Relais&) = delete;
    Relais& operator=(const Relais&) = delete;

    // 1 while running or after a failure (a report is pending), 0 after a
    // normal end or after "-help"/"-show".
    int32_t status() const { return status_; }

    // Sets the stop flag as the stop signals do; the loop ends within a second.
    static void request_stop();
    static bool stop_requested();

private:
    int32_t start_up(ArgList& arguments);
    void resolve_admins();
    void install_stop_handlers();
    void restore_stop_handlers();
    int32_t main_loop();
    void accept_connections();
    // false when the accept failed (reported and printed).
    bool accept_connection();

    Str program_name_;
    CmdSocket::Entry entry_;
    int32_t status_ = 1;

    RelaisOptions options_;
    std::vector<uint32_t> admin_addresses_;
    std::unique_ptr<InterNetServer> listener_;
    std::unique_ptr<Cache> cache_;
    std::unique_ptr<AdminRequest> admin_;
    std::unique_ptr<CommandServer> commands_;
    ConnectionTable connections_;
};
