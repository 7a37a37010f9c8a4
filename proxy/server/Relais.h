// Relais: the proxy server. Constructing it runs the whole server life:
// options (command line over the setup file beside the program), the admin
// addresses, the listening socket, the cache, then the loop that accepts
// browser connections, starts one worker per connection and serves the
// workers' commands, until a stop signal arrives.
//
// The loop is single-threaded and owns the options, the connection table and
// the cache. Workers are threads of this process: they look up and lock
// documents in the cache themselves, under the cache's lock (ServerShare),
// and reach everything else through their command channels. Those are
// socket pairs: the server listens on no internal port (`iport` is still
// read and saved, and workers refuse to fetch from it as from `port`).
#pragma once

#include "foundation/AddressRanges.h"
#include "foundation/ArgList.h"
#include "foundation/DirectoryLock.h"
#include "foundation/InterNetServer.h"
#include "foundation/Str.h"
#include "proxy/admin/AdminRequest.h"
#include "proxy/server/CmdSocket.h"
#include "proxy/server/CommandServer.h"
#include "proxy/server/ConnectionTable.h"
#include "proxy/options/RelaisOptions.h"
#include "proxy/server/HarbordPlaces.h"

#include <cstdint>
#include <memory>
#include <vector>

class Cache;
class ServerShare;

class Relais {
public:
    // Longest single wait of the loop, so that a stop is noticed in time.
    static constexpr int WAIT_MILLISECONDS = 1000;
    // How long the end of the server waits for its workers to return.
    static constexpr int WORKER_END_MILLISECONDS = 5000;
    // Connections beyond maxcon taken for requests to the admin pages, so
    // that those stay reachable while every slot waits on a stalled origin.
    static constexpr int32_t ADMIN_RESERVE = 2;
    // With every place taken, a connection whose request head is not
    // complete after this long is dropped for a new one.
    static constexpr int DROP_AFTER_MILLISECONDS = 2000;

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
    void use_installed_defaults(const HarbordPlaces& places);
    // false when another process works in the cache directory (report pending).
    bool lock_cache_directory();
    void resolve_admins();
    void install_stop_handlers();
    void restore_stop_handlers();
    int32_t main_loop();
    // Closes every connection and waits for the workers to end.
    void end_workers();
    void accept_connections();
    // false when the accept failed (reported and printed).
    bool accept_connection();
    // Records of accepted browsers, wherever they are, by kind.
    struct Places {
        int32_t regular = 0; // counted against maxcon
        int32_t reserve = 0; // beyond maxcon, head not yet known to be for elsewhere
        int32_t parked = 0;  // beyond maxcon, waiting for a slot
    };
    Places places() const;
    // The longest-waiting connection without a complete request head (one
    // counted against maxcon, if regular_only); wait_ms shrinks to the
    // milliseconds until it may be dropped (0: now).
    Connection* oldest_without_head(int& wait_ms, bool regular_only = false) const;
    // Whether a new browser can be taken now; wait_ms shrinks to the time
    // until a connection may be dropped for it.
    bool room_for_new(int& wait_ms) const;
    // Makes the place for a browser just accepted: reserve tells its kind.
    void take_place(Connection& record);
    // Gives free slots to reserve connections, resuming the parked ones;
    // wait_ms shrinks to the time until a slot may be freed for them.
    void fill_free_slots(int& wait_ms);

    Str program_name_;
    CmdSocket::Entry entry_;
    int32_t status_ = 1;

    RelaisOptions options_;
    std::vector<uint32_t> admin_addresses_;
    // The networks of `clients`, read once at start-up.
    AddressRanges clients_;
    std::unique_ptr<InterNetServer> listener_;
    // Held from before the cache is read until after it is written back.
    DirectoryLock cache_lock_;
    std::unique_ptr<Cache> cache_;
    std::unique_ptr<AdminRequest> admin_;
    std::shared_ptr<ServerShare> share_;
    std::unique_ptr<CommandServer> commands_;
    ConnectionTable connections_;
};
