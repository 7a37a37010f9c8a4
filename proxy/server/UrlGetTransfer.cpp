// The worker's traffic with its two peers: receiving the request, talking to
// the origin server, sending the answer. Every wait is a poll on the peer and
// the command channel together, so that the server's abort is heard at once.
#include "proxy/server/UrlGet.h"

#include "foundation/Fail.h"
#include "proxy/admin/AdminRequest.h"

#include <cerrno>
#include <ctime>
#include <poll.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

namespace {

const char CRLFCRLF[] = "\r\n\r\n";
const char LFLF[] = "\n\n";
const char LFCRLF[] = "\n\r\n";

struct HeadEnd {
    const char* pattern;
    uint32_t length;
};

// In order of preference: the first kind found anywhere wins.
const HeadEnd REQUEST_ENDS[] = {{CRLFCRLF, 4}, {LFLF, 2}};
const HeadEnd ANSWER_ENDS[] = {{CRLFCRLF, 4}, {LFLF, 2}, {LFCRLF, 3}};

int32_t find_pattern(const Str& text, const HeadEnd& end, uint32_t from) {
    return text.find(Str(end.pattern, end.length), from);
}

// Where the head ends and the body begins. Only text from `from` on is new,
// so a dribbling peer does not make every search run over the whole head.
template <size_t N>
bool find_head_end(const Str& text, uint32_t from, const HeadEnd (&ends)[N], uint32_t& head_length,
                   uint32_t& body_start) {
    uint32_t start = from > 3 ? from - 3 : 0;
    bool any = false;
    for (const HeadEnd& end : ends)
        if (find_pattern(text, end, start) >= 0) any = true;
    if (!any) return false;
    for (const HeadEnd& end : ends) {
        int32_t at = find_pattern(text, end, 0);
        if (at >= 0) {
            head_length = uint32_t(at);
            body_start = uint32_t(at) + end.length;
            return true;
        }
    }
    return false;
}

// Only the announced length counts: a line end some clients send after the
// body is not part of it.
bool body_too_long(const URLRequest& request) {
    uint32_t counted = request.body.length() < request.content_length ? request.body.length()
                                                                      : request.content_length;
    return counted > UrlGet::REQUEST_BODY_LIMIT;
}

int64_t now_ms() {
    timespec t{};
    ::clock_gettime(CLOCK_MONOTONIC, &t);
    return int64_t(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

} // namespace

int UrlGet::timeout_ms() const { return options_.timeout * 1000; }

int UrlGet::wait_for(Socket& socket, short events, int timeout, const char* context,
                     const char* wait_context) {
    bool watch_channel = channel_ && channel_->connected();
    if (watch_channel && channel_->pending()) {
        channel_->check(context);
        return -1;
    }
    pollfd fds[2] = {{socket.handle(), events, 0}, {watch_channel ? channel_->handle() : -1, POLLIN, 0}};
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

int UrlGet::send_all(Socket& socket, const char* bytes, uint32_t count, const char* context,
                     const char* timeout_message, Failure peer_kind) {
    uint32_t sent = 0;
    while (sent < count) {
        uint32_t piece = count - sent;
        if (piece > 0x40000000u) piece = 0x40000000u;
        int32_t n = socket.nbwrite(bytes + sent, int32_t(piece));
        if (n < 0) return peer_kind;
        if (n > 0) {
            sent += uint32_t(n);
            continue;
        }
        // A peer that takes nothing for `timeout` seconds is given up.
        int waited = wait_for(socket, POLLOUT, timeout_ms(), context, context);
        if (waited < 0) return INTERNAL;
        if (waited > 0) {
            fail_new(context, timeout_message);
            return peer_kind;
        }
    }
    return NONE;
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
    if (n == 0) return false; // nothing yet, or closed: the wait tells which
    early_bytes_ = n;
    Str text(buffer_.get(), uint32_t(n));
    uint32_t head_length = 0;
    uint32_t body_start = 0;
    if (!find_head_end(text, 0, REQUEST_ENDS, head_length, body_start) ||
        body_start > REQUEST_HEAD_LIMIT)
        return false;
    URLRequest request;
    request.from_Str(text.substr(0, body_start));
    if (request.invalid || request.method == "POST" || request.host == ADMIN_HOST) return false;
    request.body = text.substr(body_start, text.length());
    if (request.body.length() > request.content_length)
        request.body = request.body.substr(0, request.content_length);
    request_ = std::move(request);
    early_bytes_ = 0;
    request_received_ = true;
    return true;
}

int UrlGet::receive_request(URLRequest& request) {
    const char* context = "UrlGet::receive_request ";
    const char* wait_context = "UrlGet::receive_request";
    char* buffer = buffer_.get();
    Str text;
    uint32_t head_length = 0;
    uint32_t body_start = 0;
    bool head_found = false;
    bool closed = false;
    if (!early_failure_.empty()) {
        fail_new("", early_failure_);
        fail_chain(context, "error while receiving request from client");
        return fail(CLIENT);
    }
    while (!head_found) {
        // Bytes read before the options came are the first ones.
        int32_t n = early_bytes_;
        early_bytes_ = 0;
        if (n == 0) {
            int waited = wait_for(*client_, POLLIN, timeout_ms(), context, wait_context);
            if (waited < 0) return fail(INTERNAL);
            if (waited > 0) {
                fail_new(context, "connection to client timed out");
                return fail(CLIENT);
            }
            n = client_->nbread(buffer, TRANSFER_BUFFER_SIZE);
        }
        if (n < 0) {
            fail_chain(context, "error while receiving request from client");
            return fail(CLIENT);
        }
        if (n == 0) {
            closed = true;
            break;
        }
        uint32_t before = text.length();
        if (text.append(buffer, uint32_t(n)) < 0) return fail(INTERNAL);
        head_found = find_head_end(text, before, REQUEST_ENDS, head_length, body_start);
        // The limit is the head's, empty line included. Body bytes that came
        // along with it do not count: how a client's bytes happen to arrive
        // must not decide whether its form is accepted.
        if ((head_found && body_start > REQUEST_HEAD_LIMIT) ||
            (!head_found && text.length() > REQUEST_HEAD_LIMIT)) {
            fail_new(context, "request from client exceeds limit (8192 byte)");
            return fail(CLIENT);
        }
    }

    if (head_found) {
        request.from_Str(text.substr(0, body_start));
        request.body = text.substr(body_start, text.length());
    } else {
        request.from_Str(text);
    }

    if (!request.invalid && request.method == "POST" && request.content_length != 0) {
        while (!closed && request.body.length() < request.content_length) {
            int waited = wait_for(*client_, POLLIN, timeout_ms(), context, wait_context);
            if (waited < 0) return fail(INTERNAL);
            if (waited > 0) {
                fail_new(context, "connection to client timed out");
                return fail(CLIENT);
            }
            int32_t n = client_->nbread(buffer, TRANSFER_BUFFER_SIZE);
            if (n < 0) {
                fail_chain(context, "error while receiving request from client");
                return fail(CLIENT);
            }
            if (n == 0) break;
            if (request.body.append(buffer, uint32_t(n)) < 0) return fail(INTERNAL);
            if (body_too_long(request)) {
                fail_new(context, "request-body from client exceeds limit (32768 byte)");
                return fail(CLIENT);
            }
        }
        // The body may have come whole with the head.
        if (body_too_long(request)) {
            fail_new(context, "request-body from client exceeds limit (32768 byte)");
            return fail(CLIENT);
        }
    }
    if (request.body.length() > request.content_length)
        request.body = request.body.substr(0, request.content_length);
    return NONE;
}

int UrlGet::connect_to_server(const Str& host, int32_t port, const char* context) {
    if (port < 1 || port > 65535) {
        fail_new(context, "invalid port " + Str::from_long(port));
        fail_chain(context, "connection to server failed");
        return ORIGIN;
    }
    bool socks = !options_.sockshost.empty();
    // Without SOCKS the connect runs in the background, so that an origin
    // that never answers is given up after `timeout` seconds like any other.
    server_ = std::make_unique<InterNetClient>(host, uint16_t(port), socks, options_.sockshost,
                                               uint16_t(options_.socksport), options_.socksuser);
    if (server_->failed()) {
        fail_chain(context, "connection to server failed");
        return ORIGIN;
    }
    if (socks) {
        if (server_->to_non_blocking() < 0) {
            fail_chain(context, "connection to server failed");
            return ORIGIN;
        }
        return NONE;
    }
    int waited = wait_for(*server_, POLLOUT, timeout_ms(), context, context);
    if (waited < 0) return INTERNAL;
    int code = ETIMEDOUT;
    if (waited == 0) {
        socklen_t length = sizeof code;
        if (::getsockopt(server_->handle(), SOL_SOCKET, SO_ERROR, &code, &length) < 0) code = errno;
    }
    if (code != 0) {
        fail_new("InterNetClient: ", "unable to connect to '" + host +
                                        "'. Reason code:" + Str::from_long(code));
        fail_chain(context, "connection to server failed");
        return ORIGIN;
    }
    return NONE;
}

int UrlGet::contact_server(URLRequest& request) {
    const char* context = "UrlGet::contact_server ";
    contact_time_.set_now();
    URLRequest copy(request);
    // Ask only for a newer version than the cached one, unless the client
    // itself holds a later one. A reload, an error entry or an authorized
    // request always fetches the whole document.
    if (!request.no_cache && lookup_.cached() && !(lookup_.errorcode >= 400 && lookup_.errorcode <= 599) &&
        request.authorization.empty()) {
        bool client_later =
            request.if_modified_since.specified() && lookup_.date.le(request.if_modified_since);
        if (!client_later) copy.if_modified_since = lookup_.date;
    } else {
        copy.if_modified_since = GMTdate();
    }

    bool via_proxy = !options_.proxyhost.empty();
    Str text = via_proxy ? copy.to_proxy_Str() : copy.to_server_Str();
    int result = via_proxy ? connect_to_server(options_.proxyhost, options_.proxyport, context)
                           : connect_to_server(request.host, request.port, context);
    if (result != NONE) return fail(result);
    if (text.length() < 1300 && server_->delay_off() < 0) {
        if (options_.debug)
            fail_print();
        else
            fail_take();
    }

    result = send_all(*server_, text.data(), text.length(), context,
                      "connection to server timed out", ORIGIN);
    if (result == INTERNAL) return fail(INTERNAL);
    if (result != NONE) {
        fail_chain(context, "unable to send request to server");
        return fail(ORIGIN);
    }
    return read_answer_head(context);
}

int UrlGet::read_answer_head(const char* context) {
    char* buffer = buffer_.get();
    Str text;
    uint32_t head_length = 0;
    uint32_t body_start = 0;
    bool head_found = false;
    for (;;) {
        int waited = wait_for(*server_, POLLIN, timeout_ms(), context, context);
        if (waited < 0) return fail(INTERNAL);
        if (waited > 0) {
            fail_new(context, "connection to server timed out");
            return fail(ORIGIN);
        }
        int32_t n = server_->nbread(buffer, TRANSFER_BUFFER_SIZE);
        if (n < 0) {
            fail_chain(context, "error while receiving answer from server");
            return fail(ORIGIN);
        }
        if (n == 0) break; // the server closed: what arrived is the head
        uint32_t before = text.length();
        if (text.append(buffer, uint32_t(n)) < 0) return fail(INTERNAL);
        head_found = find_head_end(text, before, ANSWER_ENDS, head_length, body_start);
        // A head that ends beyond the limit is refused like one that never ends.
        if ((head_found && head_length > ANSWER_HEAD_LIMIT) ||
            (!head_found && text.length() > ANSWER_HEAD_LIMIT)) {
            fail_new(context, "answer-header from server exceeds limit (8192 byte)");
            return fail(ORIGIN);
        }
        if (head_found) break;
    }

    answer_ = URLAnswer();
    answer_.from_Str(head_found ? text.substr(0, body_start) : text);
    if (answer_.invalid) {
        fail_chain(context, "unable to parse response from server");
        return fail(ORIGIN);
    }
    if (head_found) answer_.body = text.substr(body_start, text.length());
    // Bytes beyond the announced length are not part of this document.
    if (answer_.content_length != 0 && answer_.body.length() > answer_.content_length)
        answer_.body = answer_.body.substr(0, answer_.content_length);
    return NONE;
}

int UrlGet::store(const char* bytes, uint32_t count, const char* context) {
    if (!storing_) return NONE;
    if (out_buffer_->ewrite(bytes, int32_t(count)) < int32_t(count)) {
        fail_chain(context, "unable to store data to cache-file");
        return fail(INTERNAL);
    }
    bytes_done_ += count;
    return NONE;
}

int UrlGet::deliver(const char* bytes, uint32_t count, const char* context,
                    const char* client_message) {
    int result = send_all(*client_, bytes, count, context, "connection to client timed out", CLIENT);
    if (result == INTERNAL) return fail(INTERNAL);
    if (result != NONE) {
        fail_chain(context, client_message);
        return fail(CLIENT);
    }
    return store(bytes, count, context);
}

int UrlGet::send_answer_to_client(URLRequest& request) {
    const char* context = "UrlGet::send_answer_to_client ";
    // Nothing went to the client before. An answer that ends early is held
    // back in part until its end, so that its last bytes and the end leave
    // in one segment; any other leaves without delay, small pieces too.
    if (ends_early()) {
        int on = 1;
        ::setsockopt(client_->handle(), IPPROTO_TCP, TCP_CORK, &on, sizeof on);
    } else if (client_->delay_off() < 0) {
        fail_take();
    }
    Str head = answer_.to_Str();
    bool head_only = (request.method == "HEAD") != 0;
    // A small body, or the first block of a cached one, leaves together
    // with the head, in one piece.
    bool together = !head_only && !answer_.body.empty() &&
                    answer_.body.length() <= uint32_t(TRANSFER_BUFFER_SIZE);
    if (together) head += answer_.body;
    if (!head_only && from_cache_ && answer_.body.empty()) {
        int result = read_cache_block(head, context);
        if (result != NONE) return result;
    }
    int result = send_all(*client_, head.data(), head.length(), context,
                          "connection to client timed out", CLIENT);
    if (result == INTERNAL) return fail(INTERNAL);
    if (result != NONE) {
        fail_chain(context, together ? "unable to send answer-body to client"
                                     : "unable to send answer-header to client");
        return fail(CLIENT);
    }
    if (head_only) return NONE;
    if (together) {
        result = store(answer_.body.data(), answer_.body.length(), context);
    } else if (!answer_.body.empty()) {
        result = deliver(answer_.body.data(), answer_.body.length(), context,
                         "unable to send answer-body to client");
    }
    if (result != NONE) return result;
    if (relaying_) return relay_body(context);
    if (from_cache_) return send_from_cache(context);
    return NONE;
}

int UrlGet::relay_body(const char* context) {
    char* buffer = buffer_.get();
    uint32_t announced = answer_.content_length;
    uint32_t relayed = answer_.body.length();
    for (;;) {
        if (announced != 0 && relayed >= announced) return NONE;
        int waited = wait_for(*server_, POLLIN, timeout_ms(), context, context);
        if (waited < 0) return fail(INTERNAL);
        if (waited > 0) {
            fail_new(context, "connection to server timed out");
            return fail(ORIGIN);
        }
        int32_t want = TRANSFER_BUFFER_SIZE;
        if (announced != 0 && announced - relayed < uint32_t(want)) want = int32_t(announced - relayed);
        int32_t n = server_->nbread(buffer, want);
        if (n < 0) {
            fail_chain(context, "error while receiving document from server");
            return fail(ORIGIN);
        }
        if (n == 0) return NONE; // the server closed: the document is complete
        int result = deliver(buffer, uint32_t(n), context, "error while sending data to client");
        if (result != NONE) return result;
        relayed += uint32_t(n);
    }
}

int UrlGet::read_cache_block(Str& into, const char* context) {
    uint32_t rest = lookup_.bytes - bytes_done_;
    int32_t want = rest < uint32_t(TRANSFER_BUFFER_SIZE) ? int32_t(rest) : TRANSFER_BUFFER_SIZE;
    if (want == 0) return NONE;
    if (in_buffer_->eread(buffer_.get(), want) < want) {
        fail_chain(context, "unable to read data from cache-file");
        return fail(INTERNAL);
    }
    if (into.append(buffer_.get(), uint32_t(want)) < 0) return fail(INTERNAL);
    bytes_done_ += uint32_t(want);
    return NONE;
}

int UrlGet::send_from_cache(const char* context) {
    char* buffer = buffer_.get();
    while (bytes_done_ < lookup_.bytes) {
        // The server may want this worker to stop.
        if (channel_ && channel_->connected()) {
            pollfd fd{channel_->handle(), POLLIN, 0};
            if (channel_->pending() || ::poll(&fd, 1, 0) > 0) {
                channel_->check(context);
                return fail(INTERNAL);
            }
        }
        uint32_t rest = lookup_.bytes - bytes_done_;
        int32_t want = rest < uint32_t(TRANSFER_BUFFER_SIZE) ? int32_t(rest) : TRANSFER_BUFFER_SIZE;
        if (in_buffer_->eread(buffer, want) < want) {
            fail_chain(context, "unable to read data from cache-file");
            return fail(INTERNAL);
        }
        int result = send_all(*client_, buffer, uint32_t(want), context,
                              "connection to client timed out", CLIENT);
        if (result == INTERNAL) return fail(INTERNAL);
        if (result != NONE) {
            fail_chain(context, "error while sending data to client");
            return fail(CLIENT);
        }
        bytes_done_ += uint32_t(want);
    }
    return NONE;
}
