#include "proxy/server/Relais.h"

#include "foundation/Fail.h"
#include "foundation/FileSystem.h"
#include "foundation/ObjectStream.h"
#include "foundation/Socket.h"
#include "proxy/admin/AdminToken.h"
#include "proxy/cache/Cache.h"
#include "proxy/options/ProxySelf.h"
#include "proxy/server/ClientRefusal.h"
#include "proxy/server/ServerShare.h"
#include "proxy/server/ServerTexts.h"

#include <cerrno>
#include <csignal>
#include <mutex>
#include <poll.h>
#include <unistd.h>

namespace {

constexpr const char* REPORTER = "Relais: ";
constexpr const char* CHANNEL_NAME = "debug";
// A browser or load job opens many connections at once; a short listening
// queue drops the surplus and each dropped connect waits a second or more
// before it tries again. Browsers beyond maxcon wait in this queue too.
constexpr int PROXY_LISTEN_BACKLOG = 128;
const char* const TERMINAL_TITLE = "\033]0;Quaylo\007";

// Written by the signal handlers, read once per loop round.
volatile std::sig_atomic_t stop_flag = 0;

void on_stop_signal(int) {
    stop_flag = -1;
}

// The signals that end the server: Ctrl-C, kill, and the terminal going away.
const int STOP_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int STOP_SIGNAL_COUNT = sizeof STOP_SIGNALS / sizeof STOP_SIGNALS[0];
struct sigaction previous_actions[STOP_SIGNAL_COUNT];

void print(const Str& text) {
    diag_drain() << text;
}

void print_line(const char* text) {
    diag_drain() << Str(text) << Str("\n");
}

} // namespace

void Relais::request_stop() {
    stop_flag = 1;
}

bool Relais::stop_requested() {
    return stop_flag != 0;
}

Relais::Relais(const Str& program_name, ArgList& arguments, CmdSocket::Entry entry)
    : program_name_(program_name), entry_(entry) {
    // A server started again in the same process starts unstopped.
    stop_flag = 0;
    if (start_up(arguments) != 0) return;

    // The handlers are in place before "ready" is shown, so a stop right
    // after it already ends the server properly.
    install_stop_handlers();
    print_line(server_text(ServerText::READY, options_.language.index()));
    int32_t result = main_loop();
    restore_stop_handlers();
    if (result < 0) return; // status stays 1, the report is pending

    print(Str(server_text(ServerText::SHUTDOWN, options_.language.index())) + "\n");
    end_workers();
    share_->close();
    // A stop that loses the index must not look like a clean one.
    if (cache_->close() != 0) {
        fail_chain(REPORTER, "the cache index could not be written: the cache files will be "
                             "read again at the next start");
        return;
    }
    status_ = 0;
}

void Relais::end_workers() {
    // The channels close first, so every worker sees the end and returns.
    connections_.clear();
    if (!WorkerPool::wait_until_none_runs(WORKER_END_MILLISECONDS)) {
        fail_new("~Relais: ", "workers still running at the end of the server");
        fail_print();
    }
}

Relais::~Relais() {
    end_workers();
    if (share_) share_->close();
    commands_.reset();
    admin_.reset();
    share_.reset();
    cache_.reset();
}

// An installed proxy keeps its directories under the user's cache directory;
// the setup file and the command line still override them.
void Relais::use_installed_defaults(const HarbordPlaces& places) {
    for (const char* name : {"cache", "export", "import"})
        if (options_.set.set(Str(name) + "dir", places.data_root + "/" + name) != 0) fail_print();
}

// The start-up sequence up to the main loop: 0 to run, 1 when the server is
// not to run (status tells whether that is a failure).
int32_t Relais::start_up(ArgList& arguments) {
    // Words left over are no option of ours: a typing error is reported
    // rather than silently ignored.
    HarbordPlaces places = harbord_places(program_name_);
    if (places.setup_file.empty() || !make_places(places)) {
        fail_chain(REPORTER, "no place for the setup file and the cache");
        return 1;
    }
    if (places.installed) use_installed_defaults(places);
    int32_t parsed = options_.set.parse_cmdline(arguments, places.setup_file, false);
    if (parsed < 0) {
        print(Str("\nsyntax information:\n") + options_.set.help("cmdline"));
        return 1;
    }
    if (parsed > 0) { // "-help" or "-show" handled
        status_ = 0;
        return 1;
    }
    // Refused before the save, and not saved at the end either: a wrong
    // command line is not kept.
    if (remote_proxy_is_self(options_)) {
        fail_new(REPORTER, remote_proxy_text(options_) +
                               "is this proxy itself: change -proxyhost or -proxyport");
        options_.set.set_modified(false);
        return 1;
    }
    // The option accepts valid lists only.
    if (clients_.parse(options_.clients.value()) != 0) return 1;
    // Command-line values stay in force on later starts.
    if (options_.set.save(options_.set.file()) < 0) fail_print();

    resolve_admins();
    if (::isatty(2)) print(TERMINAL_TITLE);

    listener_ = std::make_unique<InterNetServer>(uint16_t(options_.port.value()), 0,
                                                 PROXY_LISTEN_BACKLOG);
    if (listener_->failed()) {
        fail_chain(REPORTER, "unable to setup server");
        return 1;
    }
    // A browser that gives up between the wait and the accept must not
    // leave the loop hanging in accept.
    if (listener_->to_non_blocking() < 0) fail_print();

    if (!lock_cache_directory()) return 1;
    uint32_t language = options_.language.index();
    print_line(server_text(ServerText::READING_CACHE, language));
    cache_ = std::make_unique<Cache>(options_.cachedir, options_.cachesize, options_.entrysize,
                                     options_.cachefiles, options_.language, options_.debug,
                                     options_.exportdir, options_.importdir, true);
    if (cache_->failed()) {
        fail_chain(REPORTER, "unable to initialize cache");
        return 1;
    }

    AdminSite site{options_, *cache_, admin_addresses_, program_name_,
                   [this] { return connections_.count(); },
                   load_admin_token(places.token_file), places.help_root,
                   dir_part(options_.set.file(), '/')};
    if (site.token.empty()) {
        fail_chain(REPORTER, "no admin token");
        return 1;
    }
    admin_ = std::make_unique<AdminRequest>(site);
    share_ = std::make_shared<ServerShare>(
        *cache_, worker_options(options_, authority_directory(admin_->site())));
    commands_ = std::make_unique<CommandServer>(options_, *cache_, *admin_, share_.get());
    return 0;
}

// Two servers on one cache would hand out the same ids and overwrite each
// other's files and cachedb.
bool Relais::lock_cache_directory() {
    Str directory = options_.cachedir.value();
    DirectoryLock::Result taken = cache_lock_.take(directory, CACHE_LOCK_FILE);
    if (taken == DirectoryLock::TAKEN) return true;
    if (taken == DirectoryLock::HELD) {
        Str holder = cache_lock_.holder() > 0
                         ? "process " + Str::from_ulong(uint32_t(cache_lock_.holder()))
                         : Str("another process");
        fail_new(REPORTER, "cache directory '" + directory + "' is in use by " + holder);
    }
    fail_chain(REPORTER, "unable to initialize cache");
    return false;
}

// One address per word of `admins`, in order; a word that cannot be
// resolved stays 0, so it matches no client.
void Relais::resolve_admins() {
    Str words = options_.admins.value();
    uint32_t count = words.count_words();
    admin_addresses_.assign(count, 0);
    for (uint32_t i = 0; i < count; i++) {
        Str host = words.cut_word();
        admin_addresses_[i] = Socket::hostname_to_ip(host);
        if (admin_addresses_[i] == 0) fail_print();
    }
}

// A signal that was ignored when the server started stays ignored.
void Relais::install_stop_handlers() {
    for (int i = 0; i < STOP_SIGNAL_COUNT; i++) {
        struct sigaction action {};
        action.sa_handler = on_stop_signal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = 0; // no restart: the wait returns at once
        sigaction(STOP_SIGNALS[i], &action, &previous_actions[i]);
        if (previous_actions[i].sa_handler == SIG_IGN)
            sigaction(STOP_SIGNALS[i], &previous_actions[i], nullptr);
    }
}

void Relais::restore_stop_handlers() {
    for (int i = 0; i < STOP_SIGNAL_COUNT; i++)
        sigaction(STOP_SIGNALS[i], &previous_actions[i], nullptr);
}

// Runs until the stop flag is set: 0. A failed wait or a failure of the
// server's own ends it: -1 with a report pending.
int32_t Relais::main_loop() {
    std::vector<pollfd> waits;
    std::vector<int32_t> ids;
    for (;;) {
        if (stop_requested()) return 0;

        // The listening socket only below maxcon: further browsers wait in
        // the listening queue until a worker ends.
        waits.clear();
        ids.clear();
        int timeout = WAIT_MILLISECONDS;
        fill_free_slots(timeout);
        bool accepting = room_for_new(timeout);
        if (accepting) waits.push_back({listener_->handle(), POLLIN, 0});
        for (Connection* record = connections_.first(); record;
             record = connections_.next(*record)) {
            if (record->parked) continue; // nothing is read until it has a slot
            waits.push_back({record->channel->handle(), POLLIN, 0});
            ids.push_back(record->id);
            // A command already read ahead is served without waiting.
            if (record->channel->pending()) timeout = 0;
        }

        int ready = ::poll(waits.data(), waits.size(), timeout);
        if (ready < 0) {
            if (stop_requested()) return 0;
            if (errno == EINTR) continue;
            fail_new(REPORTER, "select failed");
            return -1;
        }
        // Worker threads look up and lock documents themselves meanwhile.
        std::lock_guard<std::mutex> cache_guard(share_->cache_lock());

        size_t at = 0;
        if (accepting) {
            if (waits[at].revents != 0) accept_connections();
            at++;
        }
        // Noted ids, not links: serving a command may delete its record.
        for (size_t i = 0; i < ids.size(); i++, at++) {
            Connection* record = connections_.find(ids[i]);
            if (!record || (waits[at].revents == 0 && !record->channel->pending())) continue;
            if (commands_->serve(*record, connections_) < 0) return -1;
        }
    }
}

Relais::Places Relais::places() const {
    Places places;
    auto count = [&places](const Connection& record) {
        if (record.dropped) return;
        if (!record.state->reserve())
            places.regular++;
        else if (record.parked)
            places.parked++;
        else
            places.reserve++;
    };
    for (Connection* record = connections_.first(); record; record = connections_.next(*record))
        count(*record);
    return places;
}

Connection* Relais::oldest_without_head(int& wait_ms, bool regular_only) const {
    // Records are in id order, which is the order of arrival.
    for (Connection* record = connections_.first(); record; record = connections_.next(*record)) {
        if (record->dropped || record->state->head_in() ||
            (regular_only && record->state->reserve()))
            continue;
        auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(
                          std::chrono::steady_clock::now() - record->state->waiting_since())
                          .count();
        int left = waited >= DROP_AFTER_MILLISECONDS ? 0 : DROP_AFTER_MILLISECONDS - int(waited);
        if (left < wait_ms) wait_ms = left;
        return record;
    }
    return nullptr;
}

// A new browser gets a free slot; else the slot of the longest-waiting
// connection that has not sent its request head in time; else, while there
// is one, a reserve place (its request waits for a slot unless it is for
// the admin pages). Otherwise it waits in the listening queue.
bool Relais::room_for_new(int& wait_ms) const {
    int32_t maxcon = options_.maxcon.value();
    Places taken = places();
    if (taken.regular < maxcon) return true;
    int left = WAIT_MILLISECONDS;
    if (oldest_without_head(left) && left == 0) return true;
    if (taken.reserve < ADMIN_RESERVE && taken.parked < maxcon) return true;
    if (left < wait_ms) wait_ms = left;
    return false;
}

void Relais::take_place(Connection& record) {
    if (places().regular < options_.maxcon.value()) return;
    int left = WAIT_MILLISECONDS;
    Connection* oldest = oldest_without_head(left);
    // A head that came just now keeps its place.
    if (oldest && left == 0 && commands_->drop(*oldest)) {
        record.state->set_reserve(oldest->state->reserve());
        return;
    }
    record.state->set_reserve(true);
}

// A parked request waits like a new browser: it too takes the slot of a
// connection that has not sent its head in time.
void Relais::fill_free_slots(int& wait_ms) {
    Places taken = places();
    int32_t free = options_.maxcon.value() - taken.regular;
    while (free <= 0 && taken.parked > 0) {
        int left = WAIT_MILLISECONDS;
        Connection* oldest = oldest_without_head(left, true);
        if (!oldest || left > 0) {
            if (oldest && left < wait_ms) wait_ms = left;
            break;
        }
        if (!commands_->drop(*oldest)) continue; // its head came just now
        free++;
    }
    for (Connection* record = connections_.first(); record && free > 0;
         record = connections_.next(*record)) {
        if (record->dropped || !record->state->reserve()) continue;
        record->state->set_reserve(false);
        free--;
        if (record->parked) commands_->resume(*record);
    }
}

// The listening queue holds only a few browsers; one that finds it full
// must retry its connect a second or more later. So every browser waiting
// there is taken at once, as long as there is room.
void Relais::accept_connections() {
    for (;;) {
        if (!accept_connection()) return;
        int wait_ms = 0;
        if (!room_for_new(wait_ms)) return;
        pollfd wait{listener_->handle(), POLLIN, 0};
        if (::poll(&wait, 1, 0) <= 0) return;
    }
}

bool Relais::accept_connection() {
    uint32_t peer = 0;
    std::unique_ptr<Socket> client = listener_->accept_connection(&peer);
    if (!client) {
        fail_chain(REPORTER, "failed to get connection (non-fatal)");
        fail_print();
        return false;
    }
    if (!clients_.contains(peer)) {
        refuse_client(*client, peer, options_.language.index(), options_.debug.value());
        return true;
    }
    if (cache_->register_user(peer) < 0) fail_print();

    auto record = std::make_unique<Connection>();
    record->id = ConnectionTable::next_id();
    record->client = std::move(client);
    record->client_address = peer;
    take_place(*record);

    ArgList arguments;
    arguments.append(file_part(program_name_));
    arguments.append("-urlget");
    arguments.append("-socket");
    arguments.append(Str::from_ulong(uint32_t(record->client->handle())));
    arguments.append("-remip");
    arguments.append(Str::from_ulong(peer));
    record->channel = std::make_unique<CmdSocket>(CHANNEL_NAME, arguments, entry_,
                                                  WorkerShares{share_, record->state});
    if (record->channel->connected()) {
        connections_.add(std::move(record));
    } else {
        // No worker runs: deleting the record closes the browser connection.
        fail_chain(REPORTER, "unable to start child process");
        fail_print();
    }
    return true;
}
