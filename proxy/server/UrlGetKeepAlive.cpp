// Keep-alive: a client that asks for it (HTTP/1.0 with "Connection:
// keep-alive" or "Proxy-Connection: keep-alive", HTTP/1.1 unless it says
// "close") keeps its connection after an answer whose end it can tell
// without a close: a body of announced length, or none at all. The worker
// then waits up to `timeout` seconds for the next request on it. Requests a
// client sends before its answer came (pipelined) are answered in order.
// A request with a body, a tunnel (intercepted ones too), an invalid
// request, an answer of unknown length or one cut short ends the connection
// as before.
#include "proxy/server/UrlGet.h"

#include "foundation/Fail.h"
#include "http/HeadRules.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

namespace {

const char KEEP_ALIVE_LINE[] = "Connection: keep-alive\r\n";

bool no_body_status(int32_t status) {
    return status == 304 || status == 204 || (status >= 100 && status < 200);
}

bool says(const Str& lines, const char* token) {
    return lists_element(lines, "connection", token) || lists_element(lines, "proxy-connection", token);
}

} // namespace

bool UrlGet::client_keeps_alive() const {
    if (client_tls_ || request_.invalid || request_.method == "CONNECT" || request_.method == "POST" ||
        request_.content_length != 0 || says(request_.unknown, "close"))
        return false;
    Str version = request_.version;
    version.to_upper();
    return says(request_.unknown, "keep-alive") || version == "HTTP/1.1";
}

void UrlGet::decide_keep_alive() {
    keep_alive_ = false;
    if (!client_keeps_alive() || has_header(answer_.unknown, "transfer-encoding")) return;
    if (request_.method == "HEAD" || no_body_status(answer_.errorcode))
        keep_alive_ = true;
    else if (answer_.content_length != 0)
        keep_alive_ = source_ != Source::HELD || answer_.body.length() == answer_.content_length;
    if (keep_alive_) answer_.unknown += KEEP_ALIVE_LINE;
}

bool UrlGet::next_request() {
    const char* context = "UrlGet::next_request ";
    // An origin's body must have come whole: the client counts on its length.
    bool whole = source_ != Source::ORIGIN || relay_complete_ || request_.method == "HEAD" ||
                 no_body_status(answer_.errorcode);
    if (!keep_alive_ || !answered_ || !whole) return false;
    Str pipelined = request_head_.rest();
    if (channel_->keep_waiting(context) != 0) {
        fail_print();
        return false;
    }
    reset_exchange();
    if (!pipelined.empty()) request_head_.feed(pipelined.data(), pipelined.length());
    if (request_head_.state() == HeadAssembler::NEED_MORE) {
        // A client that is silent for `timeout` seconds, or closes, ends it quietly.
        int32_t n = await_next_bytes(context);
        if (n <= 0) {
            fail_take();
            return false;
        }
        request_head_.feed(buffer_.get(), uint32_t(n));
    }
    early_lookup_ = take_early_request();
    return announce_request();
}

int32_t UrlGet::await_next_bytes(const char* context) {
    // Most of a kept connection's life is this wait: a worker of this
    // process sleeps in the receive itself, one system call per request
    // instead of a wait and a receive.
    if (channel_->direct())
        return client_->receive_waiting(buffer_.get(), TRANSFER_BUFFER_SIZE, timeout_ms());
    if (wait_for(*client_, POLLIN, timeout_ms(), context, context) != 0) return -1;
    return client_->nbread(buffer_.get(), TRANSFER_BUFFER_SIZE);
}

void UrlGet::reset_exchange() {
    drop_server();
    reading_.close();
    writing_.copy.reset();
    writing_.id = 0;
    request_head_ = HeadAssembler(HeadAssembler::REQUEST, HeadAssembler::REQUEST_HEAD_LIMIT);
    early_failure_ = Str();
    early_lookup_ = head_told_ = false;
    head_deadline_ms_ = 0;
    request_ = URLRequest();
    answer_ = URLAnswer();
    lookup_ = CacheLookup();
    source_ = Source::HELD;
    passed_on_ = refused_ = false;
    failure_ = Failure::NONE;
    keep_alive_ = answered_ = relay_complete_ = whole_for_head_ = storing_only_ = false;
}
