#include "proxy/server/UrlGet.h"

#include "foundation/Fail.h"
#include "foundation/MemoryReadable.h"
#include "foundation/ObjectStream.h"
#include "http/HeadRules.h"
#include "proxy/admin/SearchResults.h"
#include "proxy/cache/CacheEntry.h"
#include "proxy/server/AdminOrigin.h"
#include "proxy/server/ChannelStream.h"
#include "proxy/server/Command.h"
#include "proxy/server/HotFiles.h"
#include "proxy/server/WorkerPages.h"
#include "proxy/server/WorkerPool.h"

#include <atomic>
#include <fcntl.h>
#include <netinet/in.h>
#include <new>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

const char START[] = "UrlGet: ";
const char INVALID_REQUEST[] = "UrlGet:  ";
const char MAIN[] = "UrlGet::main ";
constexpr int32_t NOT_MODIFIED = 304;
// A fetch from the proxy's own ports is refused, not attempted.
constexpr int32_t OWN_PORT_STATUS = 403;

bool is_error_status(int32_t status) {
    return status >= 400 && status <= 599;
}

// Copies failing one after another (a full or read-only disk) are logged
// once, until a copy is kept again.
std::atomic<bool> copies_failing{false};

void log_dropped_copy(const Str& why) {
    if (copies_failing.exchange(true)) return;
    fail_new(MAIN, "cache copy dropped, documents are relayed without one: " + why);
    fail_print();
}

} // namespace

int urlget_main(const Str& program_name, ArgList& args) {
    (void)program_name;
    UrlGet worker;
    worker.serve(args);
    return 0;
}

void UrlGet::print_if_debug() const {
    if (options_.debug)
        fail_print();
    else
        fail_take();
}

UrlGet::UrlGet()
    : icsocket_("icsocket", "socket descriptor of internal communication", 0, 1, 2147483647,
                false),
      icshared_("icshared", "1: the channel stays open after Finished", 0, 0, 1, false),
      socket_("socket", "socket descriptor of client connection", 0, 1, 2147483647, false),
      remip_("remip", "IP-address of remote client", 0, INT32_MIN, INT32_MAX, false) {}

UrlGet::~UrlGet() {
    reading_.close();
    writing_.copy.reset(); // whatever is unfinished is not kept
    drop_server();
    if (channel_ && channel_->connected() && channel_->finished(START) != 0)
        print_if_debug();
    // The handle belongs to the server, which closes it after Finished.
    client_.reset();
}

void UrlGet::serve(ArgList& args) {
    if (!start(args)) return;
    do
        serve_request();
    while (next_request());
}

void UrlGet::serve_request() {
    if (!early_lookup_ && receive_request(request_) != Failure::NONE) {
        fail_chain(START, "unable to receive request from client");
        print_if_debug();
        return;
    }
    if (!head_told_ && !tell_head_complete(request_)) return;
    if (request_.invalid) {
        answer_invalid_request();
        return;
    }
    if (request_.method == "CONNECT") {
        tunnel();
        return;
    }
    if (request_.host == ADMIN_HOST) {
        if (create_answer_to_special_request(request_) != Failure::NONE) {
            fail_chain(START, "unable to reply special request");
            fail_print();
            return;
        }
        send_and_release();
        return;
    }
    decide();
}

bool UrlGet::parse_start_options(ArgList& args) {
    if (start_options_.insert(icsocket_) < 0 || start_options_.insert(icshared_) < 0 ||
        start_options_.insert(socket_) < 0 ||
        start_options_.insert(remip_) < 0) {
        fail_print();
        return false;
    }
    if (start_options_.parse_cmdline(args, Str(), false) != 0) {
        if (fail_pending()) fail_print();
        return false;
    }
    const char* missing = nullptr;
    if (icsocket_.value() == 0)
        missing = "no socket for internal communication specified";
    else if (socket_.value() == 0)
        missing = "no client socket specified";
    else if (remip_.value() == 0)
        missing = "client-ip address not specified";
    if (missing) {
        fail_new(START, missing);
        fail_print();
        return false;
    }
    return true;
}

bool UrlGet::start(ArgList& args) {
    if (!parse_start_options(args)) {
        // The server learns the end from its channel.
        if (icsocket_.value() > 0 && icshared_.value() == 1)
            ::shutdown(int(icsocket_.value()), SHUT_RDWR); // the lender closes it
        else if (icsocket_.value() > 0)
            ::close(int(icsocket_.value()));
        return false;
    }
    channel_ = std::make_unique<ParentChannel>(int(icsocket_.value()), icshared_.value() == 1);
    client_address_ = uint32_t(remip_.value());
    // A thread of the server's own process reaches the cache directly.
    const WorkerStart* started = WorkerPool::current();
    if (started && started->shares.server)
        channel_->go_direct(std::make_unique<DirectLink>(started->shares, client_address_));
    // The request, usually there already, leaves with the first command,
    // so that the server finds both at once.
    client_ = std::make_unique<Socket>(socket_.value(), true);
    Str client_failure = prepare_client();
    if (!client_failure.empty()) {
        fail_new("", client_failure);
        fail_print();
        return false;
    }
    return announce_request();
}

bool UrlGet::announce_request() {
    // A plain request's cache lookup leaves together with GetOptions: the
    // server answers both in order, and the worker saves a round trip.
    const Str* lookup_url = early_lookup_ ? &request_.uri : nullptr;
    // A head that came whole is told at once, with no extra round trip.
    bool local = false;
    if (request_head_.state() == HeadAssembler::COMPLETE) {
        URLRequest early;
        if (!early_lookup_) early.from_Str(request_head_.head());
        local = !early_lookup_ && (early.invalid || early.host == ADMIN_HOST);
        head_told_ = true;
    }
    if (channel_->get_options(options_, START, lookup_url, head_told_ ? &local : nullptr) != 0) {
        fail_print();
        return false;
    }
    return true;
}

bool UrlGet::tell_head_complete(const URLRequest& request) {
    head_told_ = true;
    bool local = request.invalid || request.host == ADMIN_HOST;
    if (channel_->get_options(options_, START, nullptr, &local) == 0) return true;
    fail_print();
    return false;
}

Str UrlGet::prepare_client() {
    buffer_.reset(new (std::nothrow) char[TRANSFER_BUFFER_SIZE]);
    if (!buffer_) return Str(START) + "unable to allocate transfer buffer";
    // Every wait on the client is a poll, so the socket stays non-blocking.
    if (client_->to_non_blocking() < 0) return taken_report();
    early_lookup_ = read_early_request();
    return Str();
}

void UrlGet::answer_invalid_request() {
    fail_chain(INVALID_REQUEST, "received invalid request from client");
    print_if_debug();
    if (request_.fault != HeadFault::NONE) {
        set_worker_page(answer_, refusal_page(request_.fault, uint32_t(options_.language)),
                        request_.errorcode);
    } else {
        answer_.make_error(request_);
        answer_.version = "http/1.0";
    }
    if (options_.debug)
        diag_drain() << Str("\n-----------------------------------------------\n"
                            "client's invalid request:\n")
                     << request_;
    send_and_release();
}

void UrlGet::decide() {
    if (request_.method != "POST" && lookup_cache(request_) != Failure::NONE) {
        fail_chain(START, "unable to lookup cache");
        fail_print();
        // An answer that was never filled in would only confuse the client.
        return;
    }
    GMTdate now;
    now.set_now();
    if (!lookup_.cached() && options_.offline) {
        set_worker_page(answer_, offline_page(request_.uri, uint32_t(options_.language)));
        send_and_release();
        return;
    }
    Source source = Source::CACHE;
    if (!options_.offline && !fresh(now)) {
        if (!fetch()) return;
        if (update_cache_date(now) != Failure::NONE) {
            fail_chain(START, "unable to update cache-date");
            fail_print();
            return;
        }
        source = Source::RENEWED;
    }
    if (open_cache_answer(source)) send_and_release();
}

// A copy younger than `updtime` is sent without asking the origin, unless
// the client wants a fresh one or the copy is an error answer. Credentials
// are checked by the origin every time: their copy serves offline reading.
bool UrlGet::fresh(const GMTdate& now) const {
    if (!lookup_.cached() || request_.no_cache || is_error_status(lookup_.errorcode) ||
        !request_.authorization.empty())
        return false;
    int64_t age = int64_t(now.diff(lookup_.date));
    return int64_t(options_.updtime) > age;
}

bool UrlGet::fetch() {
    bool cached = lookup_.cached();
    Failure result = contact_server(request_);
    if (result == Failure::INTERNAL) {
        fail_print();
        return false;
    }
    if (result == Failure::FORBIDDEN) {
        print_if_debug();
        set_worker_page(answer_, loopback_refused_page(request_.uri, uint32_t(options_.language)),
                        REFUSAL_STATUS);
        send_and_release();
        return false;
    }
    if (result != Failure::NONE) {
        answer_error_page(result);
        if (refused_) {
            answer_.errorcode = OWN_PORT_STATUS;
            answer_.reason = "Forbidden";
        }
        send_and_release();
        return false;
    }
    if (answer_.errorcode != NOT_MODIFIED) {
        source_ = Source::ORIGIN;
        if (cached && channel_->release_read_lock(lookup_.id, START) != 0) {
            fail_print();
            return false;
        }
        if (try_write_init(request_) != Failure::NONE) {
            fail_chain(START, "unable to try cache-writing");
            fail_print();
            return false;
        }
        if (whole_for_head_) store_whole_for_head();
        send_and_release();
        return false;
    }
    drop_server();
    if (!cached) {
        // The client asked with its own condition: the 304 is its answer.
        answer_.body = Str();
        passed_on_ = true;
        send_and_release();
        return false;
    }
    return true;
}

void UrlGet::answer_error_page(Failure kind) {
    Str details;
    if (kind == Failure::ORIGIN)
        details = fail_take();
    else
        print_if_debug();
    bool copy = lookup_.cached();
    set_worker_page(answer_, error_page(request_.uri, copy,
                                        kind == Failure::ORIGIN ? details.c_str() : nullptr,
                                        uint32_t(options_.language)));
    if (copy) {
        // The page offers the copy; this worker does not read it.
        if (channel_->release_read_lock(lookup_.id, START) != 0) fail_print();
        lookup_.date = GMTdate();
    }
}

bool UrlGet::open_cache_file() {
    std::shared_ptr<const Str> copy = lookup_.copy;
    if (!copy && channel_->direct()) copy = copy_small_file();
    if (copy) {
        reading_.source = std::make_unique<MemoryReadable>(copy->data(), copy->length());
        reading_.copy = std::move(copy);
        return true;
    }
    reading_.file = std::make_unique<IFileStream>(lookup_.file);
    if (reading_.file->open_failed()) {
        fail_chain(MAIN, "unable to open cache-file for reading");
        fail_print();
        return false;
    }
    reading_.source = std::make_unique<BufReadable>(*reading_.file, TRANSFER_BUFFER_SIZE);
    return true;
}

std::shared_ptr<const Str> UrlGet::copy_small_file() {
    if (lookup_.bytes > HotFiles::FILE_LIMIT) return nullptr;
    IFileStream file(lookup_.file);
    struct stat status {};
    if (file.open_failed() || ::fstat(file.fd(), &status) != 0 ||
        uint64_t(status.st_size) > HotFiles::FILE_LIMIT) {
        fail_take(); // the file is opened again, and a failure reported there
        return nullptr;
    }
    auto size = int32_t(status.st_size);
    static_assert(HotFiles::FILE_LIMIT <= uint32_t(TRANSFER_BUFFER_SIZE));
    if (file.eread(buffer_.get(), size) != size) {
        fail_take();
        return nullptr;
    }
    auto copy = std::make_shared<const Str>(buffer_.get(), uint32_t(size));
    channel_->keep_copy(lookup_, copy);
    return copy;
}

bool UrlGet::open_cache_answer(Source source) {
    if (!open_cache_file()) return false;
    BinarySource stream(*reading_.source);
    URLAnswer stored;
    Str url;
    stream >> stored;
    if (!stream.error()) stream >> url;
    if (stream.error() || stored.invalid) {
        fail_chain(MAIN, "unable to read cache-file '" + lookup_.file + "'");
        fail_print();
        return false;
    }
    if (url != request_.uri) {
        fail_new(MAIN, "cache inconsistent, file '" + lookup_.file + "' damaged");
        fail_print();
        return false;
    }
    answer_ = std::move(stored);
    // Older files may still hold a cookie; the private mark is the cache's own.
    answer_.unknown = without_header(without_cookies(answer_.unknown), PRIVATE_MARK_KEY);
    answer_.content_length = lookup_.bytes;
    source_ = source;
    return true;
}

UrlGet::Failure UrlGet::lookup_cache(URLRequest& request) {
    const char* context = "UrlGet::lookup_cache ";
    int asked = early_lookup_ ? channel_->read_lock_answer(lookup_, context)
                              : channel_->read_lock(request.uri, lookup_, context);
    early_lookup_ = false;
    if (asked != 0) return fail(Failure::INTERNAL);
    if (lookup_.cached() && lookup_.headeronly && request.method == "GET") {
        // Only the head is stored: fetch the whole document.
        lookup_.date = GMTdate();
        if (lookup_.id != 0 && channel_->release_read_lock(lookup_.id, context, true) != 0)
            return fail(Failure::INTERNAL);
    }
    return Failure::NONE;
}

UrlGet::Failure UrlGet::update_cache_date(const GMTdate& date) {
    if (channel_->update_cache_date(lookup_.id, date, "UrlGet::update_cache_date ") != 0)
        return fail(Failure::INTERNAL);
    return Failure::NONE;
}

UrlGet::Failure UrlGet::try_write_init(URLRequest& request) {
    const char* context = "UrlGet::try_write_init ";
    // Answers to forms are never kept.
    if (request.method == "POST") return Failure::NONE;
    bool kept_private =
        is_private_exchange(request.unknown, !request.authorization.empty(), answer_.unknown);
    Str file;
    uint32_t id = 0;
    bool headeronly = request.method == "HEAD" && !whole_for_head_;
    if (channel_->write_lock(request.uri, contact_time_, headeronly, answer_.errorcode,
                             kept_private, file, id, context) != 0)
        return fail(Failure::INTERNAL);
    if (id == 0) return Failure::NONE;
    writing_.id = id;
    writing_.copy =
        std::make_unique<CacheFileWriter>([this](uint64_t wanted) { return ask_for_room(wanted); });
    if (!writing_.copy->begin(file, stored_head(request, kept_private))) drop_cache_copy();
    return Failure::NONE;
}

Str UrlGet::stored_head(const URLRequest& request, bool kept_private) const {
    URLAnswer stored = answer_;
    stored.body = Str();
    // A cookie set for one client is never handed to another from the cache.
    stored.unknown = with_private_mark(without_cookies(answer_.unknown),
                                       kept_private ? client_address_ : SHARED);
    MessageBuffer head;
    BinaryDrain drain(head);
    drain << stored << request.uri;
    return head.bytes;
}

uint64_t UrlGet::ask_for_room(uint64_t wanted) {
    uint32_t freed = 0;
    uint32_t asked = wanted > UINT32_MAX ? UINT32_MAX : uint32_t(wanted);
    if (channel_->make_room(asked, freed, "UrlGet::store ") != 0) {
        print_if_debug();
        return 0;
    }
    return freed;
}

void UrlGet::drop_cache_copy() {
    log_dropped_copy(writing_.copy->failure());
    writing_.copy.reset();
    uint32_t id = writing_.id;
    writing_.id = 0;
    // The lock goes now: nothing more is written under it.
    if (channel_->release_write_lock(id, 0, START) != 0) print_if_debug();
}

UrlGet::Failure UrlGet::create_answer_to_special_request(URLRequest& request) {
    const char* context = "UrlGet::create_answer_to_special_request ";
    SpecialAnswer special;
    if (channel_->special_request(request.path, admin_arguments(request, options_.debug),
                                  client_address_, special, context))
        return fail(Failure::INTERNAL);
    Str head;
    Str body;
    if (special.code == CMD_SPECIAL_ANSWER_PAGE) {
        head = std::move(special.head);
        body = std::move(special.body);
    } else if (make_search_results(special.directory, special.ids, request.args,
                                   uint32_t(options_.language), head, body) != 0) {
        fail_chain(context, "generation of search-result failed");
        return fail(Failure::INTERNAL);
    }
    answer_ = URLAnswer();
    answer_.from_Str(head);
    answer_.body = std::move(body);
    // Announced, so that a client may keep its connection.
    if (answer_.content_length == 0) answer_.content_length = answer_.body.length();
    answer_.date.set_now();
    return Failure::NONE;
}

void UrlGet::send_and_release() {
    if (send_answer_to_client(request_) == Failure::NONE) {
        answered_ = release_after_success();
    } else {
        fail_chain(MAIN, "unable to send answer to client");
        print_if_debug();
        // Nothing stored counts: the server releases the write lock with 0
        // bytes when it hears Finished.
        writing_.copy.reset();
    }
    drop_server();
}

bool UrlGet::release_after_success() {
    int result = 0;
    if (writing_.id != 0) {
        uint32_t id = writing_.id;
        uint32_t stored = finish_cache_write();
        result = channel_->release_write_lock(id, stored, START, true);
    }
    if (result == 0 && from_cache()) {
        // An unchanged copy leaves the server only a read lock to release,
        // which nothing it keeps depends on: the browser sees the end of its
        // answer at once, not only once the server has heard Finished and
        // closes the handle (which stays the server's).
        if (source_ == Source::CACHE) end_of_answer();
        reading_.close();
        result = channel_->release_read_lock(lookup_.id, START, true);
    }
    if (result != 0) fail_print();
    return result == 0;
}

// The last piece of a cached answer waits for the end of the connection
// (see more_follows), unless the connection is kept.
void UrlGet::end_of_answer() {
    if (keep_alive_) return;
    if (client_tls_) client_tls_->close();
    ::shutdown(client_->handle(), SHUT_WR);
}

uint32_t UrlGet::finish_cache_write() {
    std::unique_ptr<CacheFileWriter> copy = std::move(writing_.copy);
    writing_.id = 0;
    if (!copy || !copy->writing()) return 0;
    uint32_t stored = copy->body_bytes();
    // A document cut short must not count as cached: its copy goes with it.
    bool head_only = request_.method == "HEAD" && !whole_for_head_;
    if (!head_only && (stored == 0 ||
                       (answer_.content_length != 0 && stored < answer_.content_length)))
        return 0;
    if (!copy->commit()) {
        log_dropped_copy(copy->failure());
        return 0;
    }
    copies_failing = false;
    return stored;
}
