// The worker's traffic with its two peers: receiving the request, talking to
// the origin server, sending the answer. Every wait is a poll on the peer and
// the command channel together, so that the server's abort is heard at once.
#include "proxy/server/UrlGet.h"

#include "foundation/Fail.h"
#include "foundation/ObjectStream.h"
#include "http/HeadRules.h"
#include "foundation/LocalAddresses.h"
#include "proxy/admin/AdminRequest.h"
#include "proxy/server/ViaPseudonym.h"
#include "proxy/server/OwnPorts.h"

#include <cerrno>
#include <ctime>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

namespace {

// Only the announced length counts: a line end some clients send after the
// body is not part of it.
bool body_too_long(const URLRequest& request) {
    uint32_t counted = request.body.length() < request.content_length ? request.body.length()
                                                                      : request.content_length;
    return counted > UrlGet::REQUEST_BODY_LIMIT;
}

// A request that names this proxy in its Via has been here before.
void refuse_loop(URLRequest& request) {
    if (!request.invalid && via_names(request.unknown, via_pseudonym()))
        request.refuse(HeadFault::LOOP);
}

int64_t now_ms() {
    timespec t{};
    ::clock_gettime(CLOCK_MONOTONIC, &t);
    return int64_t(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

} // namespace

int UrlGet::timeout_ms() const {
    return options_.timeout * 1000;
}

bool UrlGet::await(Socket& peer, short events, Failure blame, const char* context, const char* wait_context,
                   int wait_ms) {
    int waited = wait_for(peer, events, wait_ms < 0 ? timeout_ms() : wait_ms, context,
                          wait_context ? wait_context : context);
    if (waited == 0) return true;
    if (waited > 0) fail_new(context, timeout_text(blame));
    fail(waited < 0 ? Failure::INTERNAL : blame);
    return false;
}

const char* UrlGet::timeout_text(Failure blame) {
    return blame == Failure::CLIENT ? "connection to client timed out" : "connection to server timed out";
}

int UrlGet::wait_for(Socket& socket, short events, int timeout, const char* context,
                     const char* wait_context) {
    bool watch_channel = channel_ && channel_->connected();
    if (watch_channel && channel_->pending()) {
        channel_->check(context);
        return -1;
    }
    pollfd fds[2] = {{socket.handle(), events, 0},
                     {watch_channel ? channel_->handle() : -1, POLLIN, 0}};
    int64_t deadline = now_ms() + timeout;
    int result;
    for (;;) {
        int64_t left = deadline - now_ms();
        result = ::poll(fds, watch_channel ? 2 : 1, left > 0 ? int(left) : 0);
        if (result >= 0 || errno != EINTR) break;
    }
    if (result < 0) {
        fail_new(wait_context, "select failed");
        return -1;
    }
    if (result == 0) return 1;
    if (watch_channel && fds[1].revents != 0) {
        channel_->check(context);
        return -1;
    }
    return 0;
}

int32_t UrlGet::read_some(Socket& peer, Failure blame, int32_t want, const char* context,
                          const char* error_message, const char* wait_context, int wait_ms) {
    if (TlsSession* tls = tls_on(peer))
        return read_secured(*tls, peer, blame, want, context, error_message, wait_context, wait_ms);
    if (!await(peer, POLLIN, blame, context, wait_context, wait_ms)) return -1;
    int32_t n = peer.nbread(buffer_.get(), want);
    if (n < 0) {
        fail_chain(context, error_message);
        fail(blame);
    }
    return n;
}

UrlGet::Failure UrlGet::send_all(Socket& socket, const char* bytes, uint32_t count,
                                 const char* context, Failure blame, bool more) {
    if (TlsSession* tls = tls_on(socket)) return send_secured(*tls, socket, bytes, count, context, blame);
    uint32_t sent = 0;
    while (sent < count) {
        uint32_t piece = count - sent;
        if (piece > 0x40000000u) piece = 0x40000000u;
        int32_t n = socket.nbwrite(bytes + sent, int32_t(piece), more);
        if (n < 0) return blame;
        if (n > 0) {
            sent += uint32_t(n);
            continue;
        }
        // A peer that takes nothing for `timeout` seconds is given up.
        int waited = wait_for(socket, POLLOUT, timeout_ms(), context, context);
        if (waited < 0) return Failure::INTERNAL;
        if (waited > 0) {
            fail_new(context, timeout_text(blame));
            return blame;
        }
    }
    return Failure::NONE;
}

Str UrlGet::taken_report() {
    Str report = fail_take();
    // Without its line end, so that raising it again gives the same text.
    return report.substr(0, report.length() >= 2 ? report.length() - 2 : 0);
}

bool UrlGet::read_early_request() {
    int32_t n = client_->nbread(buffer_.get(), TRANSFER_BUFFER_SIZE);
    if (n < 0) {
        // Raised again where the request is received, after the options.
        early_failure_ = taken_report();
        return false;
    }
    // Nothing yet, or closed: the wait in receive_request tells which.
    if (n > 0) request_head_.feed(buffer_.get(), uint32_t(n));
    return take_early_request();
}

bool UrlGet::take_early_request() {
    if (request_head_.state() != HeadAssembler::COMPLETE) return false;
    URLRequest request;
    request.from_Str(request_head_.head());
    refuse_loop(request);
    if (request.invalid || request.method == "POST" || request.method == "CONNECT" ||
        request.host == ADMIN_HOST)
        return false;
    request.body = request_head_.rest();
    if (request.body.length() > request.content_length)
        request.body = request.body.substr(0, request.content_length);
    request_ = std::move(request);
    return true;
}

UrlGet::Failure UrlGet::receive_request(URLRequest& request) {
    const char* context = "UrlGet::receive_request ";
    if (!early_failure_.empty()) {
        fail_new("", early_failure_);
        fail_chain(context, "error while receiving request from client");
        return fail(Failure::CLIENT);
    }
    // Bytes read before the options came are the first ones. The whole head
    // is due within `timeout` seconds, however slowly its bytes trickle in.
    bool closed = false;
    if (head_deadline_ms_ == 0) head_deadline_ms_ = now_ms() + timeout_ms();
    while (request_head_.state() == HeadAssembler::NEED_MORE) {
        int64_t left = head_deadline_ms_ - now_ms();
        int32_t n =
            read_some(*client_, Failure::CLIENT, TRANSFER_BUFFER_SIZE, context,
                      "error while receiving request from client", "UrlGet::receive_request",
                      left > 0 ? int(left) : 0);
        if (n < 0) return failure_;
        if (n == 0) {
            closed = true;
            break;
        }
        request_head_.feed(buffer_.get(), uint32_t(n));
    }
    if (request_head_.state() == HeadAssembler::TOO_LONG) {
        // Answered with 414 or 431; the log keeps the limit's text.
        bool long_line = request_head_.first_line_length() > HeadAssembler::REQUEST_LINE_LIMIT;
        request.refuse(long_line ? HeadFault::REQUEST_LINE_TOO_LONG : HeadFault::HEAD_TOO_LARGE);
        request.errormsg = limit_text("request from client", HeadAssembler::REQUEST_HEAD_LIMIT);
        return Failure::NONE;
    }
    // A client that closed early leaves what arrived as its head.
    request.from_Str(inner_origin_.empty() ? request_head_.head()
                                           : absolute_request_head(request_head_.head(), inner_origin_));
    refuse_loop(request);
    request.body = request_head_.rest();
    if (!request.invalid && request.method == "POST" && request.content_length != 0) {
        Failure result = receive_body(request, closed);
        if (result != Failure::NONE) return result;
    }
    // After a CONNECT the rest is the tunnel's first bytes.
    if (request.method != "CONNECT" && request.body.length() > request.content_length)
        request.body = request.body.substr(0, request.content_length);
    return Failure::NONE;
}

UrlGet::Failure UrlGet::receive_body(URLRequest& request, bool closed) {
    const char* context = "UrlGet::receive_request ";
    // The body may have come whole with the head; the client closing the
    // connection ends it.
    while (!closed && !body_too_long(request) && request.body.length() < request.content_length) {
        int32_t n =
            read_some(*client_, Failure::CLIENT, TRANSFER_BUFFER_SIZE, context,
                      "error while receiving request from client", "UrlGet::receive_request");
        if (n < 0) return failure_;
        if (n == 0) break;
        if (request.body.append(buffer_.get(), uint32_t(n)) < 0) return fail(Failure::INTERNAL);
    }
    if (body_too_long(request)) {
        fail_new(context, limit_text("request-body from client", REQUEST_BODY_LIMIT));
        return fail(Failure::CLIENT);
    }
    return Failure::NONE;
}

UrlGet::Failure UrlGet::connect_to_server(const Str& host, int32_t port, const char* context) {
    if (port < 1 || port > 65535) {
        fail_new(context, "invalid port " + Str::from_long(port));
        fail_chain(context, "connection to server failed");
        return Failure::ORIGIN;
    }
    bool socks = !options_.sockshost.empty();
    // Without SOCKS the connect runs in the background, so that an origin
    // that never answers is given up after `timeout` seconds like any other.
    server_ = std::make_unique<InterNetClient>(host, uint16_t(port), socks, options_.sockshost,
                                               uint16_t(options_.socksport), options_.socksuser);
    if (server_->failed()) {
        fail_chain(context, "connection to server failed");
        return Failure::ORIGIN;
    }
    if (socks) {
        if (server_->to_non_blocking() < 0) {
            fail_chain(context, "connection to server failed");
            return Failure::ORIGIN;
        }
        return Failure::NONE;
    }
    int waited = wait_for(*server_, POLLOUT, timeout_ms(), context, context);
    if (waited < 0) return Failure::INTERNAL;
    int code = ETIMEDOUT;
    if (waited == 0) {
        socklen_t length = sizeof code;
        if (::getsockopt(server_->handle(), SOL_SOCKET, SO_ERROR, &code, &length) < 0) code = errno;
    }
    if (code != 0) {
        // The report a blocking connect would have given.
        fail_new("InterNetClient: ",
                 "unable to connect to '" + host + "'. Reason code:" + Str::from_long(code));
        fail_chain(context, "connection to server failed");
        return Failure::ORIGIN;
    }
    return Failure::NONE;
}

bool UrlGet::guards_loopback() const {
    return options_.sockshost.empty() && !is_loopback_address(client_address_);
}

UrlGet::Failure UrlGet::refuse_loopback(const URLRequest& request, const char* context) {
    drop_server();
    fail_new(context, "'" + request.host + "' is this machine's loopback, refused for client " +
                          dotted_address(client_address_));
    return Failure::FORBIDDEN;
}

UrlGet::Failure UrlGet::contact_server(URLRequest& request) {
    const char* context = "UrlGet::contact_server ";
    contact_time_.set_now();
    URLRequest copy(request);
    // Ask only for a newer version than the cached one, unless the client
    // itself holds a later one. A reload, an error entry or an authorized
    // request always fetches the whole document.
    if (!request.no_cache && lookup_.cached() &&
        !(lookup_.errorcode >= 400 && lookup_.errorcode <= 599) && request.authorization.empty()) {
        bool client_later =
            request.if_modified_since.specified() && lookup_.date.le(request.if_modified_since);
        if (!client_later) copy.if_modified_since = lookup_.date;
    } else {
        copy.if_modified_since = GMTdate();
    }

    whole_for_head_ = request.method == "HEAD" && !lookup_.cached() && request.authorization.empty();
    if (whole_for_head_) copy.method = "GET";
    copy.unknown = with_via(without_hop_by_hop(copy.unknown, true), via_pseudonym());
    bool via_proxy = !options_.proxyhost.empty();
    // An https request goes to the origin itself, through the remote proxy's tunnel.
    bool secure = request.scheme == "https";
    Str text = via_proxy && !secure ? copy.to_proxy_Str() : copy.to_server_Str();
    // A remote proxy resolves the host itself: its loopback is not ours.
    Str host = request.host;
    int32_t own = via_proxy ? 0 : check_own_ports(host, request.port, options_, context);
    if (own != 0) {
        refused_ = own > 0;
        return fail(Failure::ORIGIN);
    }
    // Checked before the connect, so that a closed port looks like an open
    // one, and on the address connected, so that a name resolving
    // differently the second time changes nothing.
    bool guarded = !via_proxy && guards_loopback();
    if (guarded) {
        uint32_t origin = Socket::hostname_to_ip(host);
        if (origin == 0) fail_take(); // the connect reports it
        if (is_loopback_address(origin)) return fail(refuse_loopback(request, context));
    }
    Failure result = via_proxy ? connect_to_server(options_.proxyhost, options_.proxyport, context)
                               : connect_to_server(host, request.port, context);
    if (result == Failure::NONE && guarded && is_loopback_address(server_->address()))
        result = refuse_loopback(request, context);
    if (result == Failure::NONE && secure) result = secure_origin(request, via_proxy, context);
    if (result != Failure::NONE) return fail(result);
    if (text.length() < 1300 && server_->delay_off() < 0) print_if_debug();

    result = send_all(*server_, text.data(), text.length(), context, Failure::ORIGIN);
    if (result == Failure::INTERNAL) return fail(Failure::INTERNAL);
    if (result != Failure::NONE) {
        fail_chain(context, "unable to send request to server");
        return fail(Failure::ORIGIN);
    }
    result = read_answer_head(context);
    // Anything else keeps only its head, as for a HEAD; its body is never read.
    if (whole_for_head_ && !page_worth_keeping()) whole_for_head_ = false;
    return result;
}

bool UrlGet::page_worth_keeping() const {
    Str type = answer_.content_type;
    type.to_lower();
    return answer_.errorcode == 200 && type.find("html") >= 0 && answer_.content_length != 0 &&
           answer_.content_length <= WHOLE_FOR_HEAD_LIMIT &&
           !has_header(answer_.unknown, "transfer-encoding");
}

void UrlGet::store_whole_for_head() {
    const char* context = "UrlGet::store_whole_for_head ";
    if (writing_.id == 0) { // nothing is stored (another worker writes it): the body is not wanted
        answer_.body = Str();
        drop_server();
        return;
    }
    storing_only_ = true;
    store(answer_.body.data(), answer_.body.length());
    // A page cut short is not kept; the head is still the client's answer.
    if (relay_body(context) != Failure::NONE) print_if_debug();
    storing_only_ = false;
    failure_ = Failure::NONE;
    if (writing_.id != 0) {
        uint32_t id = writing_.id;
        if (channel_->release_write_lock(id, finish_cache_write(), context) != 0) print_if_debug();
    }
    answer_.body = Str();
    drop_server();
}

UrlGet::Failure UrlGet::read_answer_head(const char* context) {
    HeadAssembler head(HeadAssembler::ANSWER, HeadAssembler::ANSWER_HEAD_LIMIT);
    while (head.state() == HeadAssembler::NEED_MORE) {
        int32_t n = read_some(*server_, Failure::ORIGIN, TRANSFER_BUFFER_SIZE, context,
                              "error while receiving answer from server");
        if (n < 0) return failure_;
        if (n == 0) break; // the server closed: what arrived is the head
        head.feed(buffer_.get(), uint32_t(n));
    }
    if (head.state() == HeadAssembler::TOO_LONG) {
        fail_new(context,
                 limit_text("answer-header from server", HeadAssembler::ANSWER_HEAD_LIMIT));
        return fail(Failure::ORIGIN);
    }
    answer_ = URLAnswer();
    answer_.from_Str(head.head());
    if (answer_.invalid) {
        fail_chain(context, "unable to parse response from server");
        return fail(Failure::ORIGIN);
    }
    if (answer_.fault != HeadFault::NONE) {
        // Neither passed on nor stored: the error page names the fault.
        Str refused = Str("answer from server refused: ") + fault_text(answer_.fault);
        if (options_.debug) diag_drain() << Str(context) + refused + "\n";
        fail_new(context, refused);
        return fail(Failure::ORIGIN);
    }
    answer_.unknown = without_hop_by_hop(answer_.unknown, false);
    if (head.state() == HeadAssembler::COMPLETE) answer_.body = head.rest();
    // Bytes beyond the announced length are not part of this document.
    if (answer_.content_length != 0 && answer_.body.length() > answer_.content_length)
        answer_.body = answer_.body.substr(0, answer_.content_length);
    return Failure::NONE;
}

void UrlGet::store(const char* bytes, uint32_t count) {
    if (writing_.copy && !writing_.copy->append(bytes, count)) drop_cache_copy();
}

UrlGet::Failure UrlGet::deliver(const char* bytes, uint32_t count, const char* context,
                                const char* client_message) {
    if (storing_only_) {
        store(bytes, count);
        return Failure::NONE;
    }
    Failure result = send_all(*client_, bytes, count, context, Failure::CLIENT);
    if (result == Failure::INTERNAL) return fail(Failure::INTERNAL);
    if (result != Failure::NONE) {
        fail_chain(context, client_message);
        return fail(Failure::CLIENT);
    }
    store(bytes, count);
    return Failure::NONE;
}

UrlGet::Failure UrlGet::send_answer_to_client(URLRequest& request) {
    const char* context = "UrlGet::send_answer_to_client ";
    // Nothing went to the client before. A cached answer's pieces leave as
    // whole segments (see more_follows); any other answer leaves without
    // delay, small pieces too.
    if (source_ != Source::CACHE && client_->delay_off() < 0) fail_take();
    // An answer passed on names this proxy; older cache files may still
    // hold hop-by-hop lines. The proxy's own pages are not passed on.
    if (source_ != Source::HELD || passed_on_)
        answer_.unknown = with_via(without_hop_by_hop(answer_.unknown, false), via_pseudonym());
    decide_keep_alive();
    Str head = answer_.to_Str();
    bool head_only = (request.method == "HEAD") != 0;
    // A small body, or the first block of a cached one, leaves together
    // with the head, in one piece.
    bool together = !head_only && !answer_.body.empty() &&
                    answer_.body.length() <= uint32_t(TRANSFER_BUFFER_SIZE);
    if (together) head += answer_.body;
    if (!head_only && from_cache() && answer_.body.empty()) {
        Failure result = read_cache_block(head, context);
        if (result != Failure::NONE) return result;
    }
    bool more = more_follows(!head_only && from_cache() && reading_.sent < lookup_.bytes);
    Failure result = send_all(*client_, head.data(), head.length(), context, Failure::CLIENT, more);
    if (result == Failure::INTERNAL) return fail(Failure::INTERNAL);
    if (result != Failure::NONE) {
        fail_chain(context, together ? "unable to send answer-body to client"
                                     : "unable to send answer-header to client");
        return fail(Failure::CLIENT);
    }
    if (head_only) return Failure::NONE;
    if (together) {
        store(answer_.body.data(), answer_.body.length());
    } else if (!answer_.body.empty()) {
        result = deliver(answer_.body.data(), answer_.body.length(), context,
                         "unable to send answer-body to client");
    }
    if (result != Failure::NONE) return result;
    if (source_ == Source::ORIGIN) return relay_body(context);
    if (from_cache()) return send_from_cache(context);
    return Failure::NONE;
}

UrlGet::Failure UrlGet::relay_body(const char* context) {
    uint32_t announced = answer_.content_length;
    uint32_t relayed = answer_.body.length();
    for (;;) {
        if (announced != 0 && relayed >= announced) {
            relay_complete_ = true;
            return Failure::NONE;
        }
        int32_t want = TRANSFER_BUFFER_SIZE;
        if (announced != 0 && announced - relayed < uint32_t(want))
            want = int32_t(announced - relayed);
        int32_t n = read_some(*server_, Failure::ORIGIN, want, context,
                              "error while receiving document from server");
        if (n < 0) return failure_;
        if (n == 0) return Failure::NONE; // the server closed: the document is complete
        Failure result =
            deliver(buffer_.get(), uint32_t(n), context, "error while sending data to client");
        if (result != Failure::NONE) return result;
        relayed += uint32_t(n);
    }
}

UrlGet::Failure UrlGet::read_cache_block(Str& into, const char* context) {
    uint32_t rest = lookup_.bytes - reading_.sent;
    int32_t want = rest < uint32_t(TRANSFER_BUFFER_SIZE) ? int32_t(rest) : TRANSFER_BUFFER_SIZE;
    if (want == 0) return Failure::NONE;
    if (reading_.source->eread(buffer_.get(), want) < want) {
        fail_chain(context, "unable to read data from cache-file");
        return fail(Failure::INTERNAL);
    }
    if (into.append(buffer_.get(), uint32_t(want)) < 0) return fail(Failure::INTERNAL);
    reading_.sent += uint32_t(want);
    return Failure::NONE;
}

// Only an unchanged copy goes out in whole segments: its last piece waits
// for the end of the connection when that follows, and leaves with it.
bool UrlGet::more_follows(bool body_left) const {
    return source_ == Source::CACHE && (body_left || !keep_alive_);
}

UrlGet::Failure UrlGet::send_from_cache(const char* context) {
    char* buffer = buffer_.get();
    while (reading_.sent < lookup_.bytes) {
        // The server may want this worker to stop.
        if (channel_ && channel_->connected()) {
            pollfd fd{channel_->handle(), POLLIN, 0};
            if (channel_->pending() || ::poll(&fd, 1, 0) > 0) {
                channel_->check(context);
                return fail(Failure::INTERNAL);
            }
        }
        uint32_t rest = lookup_.bytes - reading_.sent;
        int32_t want = rest < uint32_t(TRANSFER_BUFFER_SIZE) ? int32_t(rest) : TRANSFER_BUFFER_SIZE;
        if (reading_.source->eread(buffer, want) < want) {
            fail_chain(context, "unable to read data from cache-file");
            return fail(Failure::INTERNAL);
        }
        bool more = more_follows(reading_.sent + uint32_t(want) < lookup_.bytes);
        Failure result = send_all(*client_, buffer, uint32_t(want), context, Failure::CLIENT, more);
        if (result == Failure::INTERNAL) return fail(Failure::INTERNAL);
        if (result != Failure::NONE) {
            fail_chain(context, "error while sending data to client");
            return fail(Failure::CLIENT);
        }
        reading_.sent += uint32_t(want);
    }
    return Failure::NONE;
}
