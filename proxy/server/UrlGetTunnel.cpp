// CONNECT: the tunnel a browser asks for to reach an HTTPS site. The worker
// connects to host:port (directly, through SOCKS, or with a CONNECT of its
// own through the remote proxy), says so, and then passes bytes both ways
// without looking at them until either side closes or `timeout` seconds
// pass without a byte. Only the ports of `sslports` are reached, so that the
// proxy cannot be turned on other services, and never its own ports.
#include "proxy/server/UrlGet.h"

#include "foundation/Fail.h"
#include "foundation/LocalAddresses.h"
#include "proxy/options/PortList.h"
#include "proxy/server/OwnPorts.h"
#include "proxy/server/WorkerPages.h"

#include <cerrno>
#include <poll.h>

namespace {

constexpr int32_t FORBIDDEN_STATUS = 403;
constexpr int32_t OFFLINE_STATUS = 503;

Str target(const URLRequest& request) {
    return request.host + ":" + Str::from_long(request.port);
}

} // namespace

void UrlGet::tunnel() {
    const char* context = "UrlGet::tunnel ";
    // A kept connection may have left the client's socket blocking (see
    // await_next_bytes); TLS with the client needs it non-blocking again.
    if (client_->to_non_blocking() < 0) print_if_debug();
    if (intercepts()) {
        intercept();
        return;
    }
    if (options_.offline) {
        refuse_tunnel(OFFLINE_STATUS, "Quaylo is offline: " + target(request_) + " cannot be reached.");
        return;
    }
    if (!port_listed(options_.sslports, request_.port)) {
        refuse_tunnel(FORBIDDEN_STATUS, "Quaylo tunnels only to the ports of its option sslports (" +
                                             options_.sslports + "), not to port " +
                                             Str::from_long(request_.port) + ".");
        return;
    }
    Str backlog; // what the remote proxy sent after its answer
    Failure result = open_tunnel(backlog, context);
    if (result == Failure::INTERNAL) {
        fail_print();
        return;
    }
    if (result != Failure::NONE) {
        Str why = taken_report();
        refuse_tunnel(result == Failure::FORBIDDEN || refused_ ? FORBIDDEN_STATUS : BAD_GATEWAY_STATUS,
                      target(request_) + " cannot be reached: " + why);
        return;
    }
    // What the client sent after its CONNECT goes first.
    Str opening = Str(ESTABLISHED) + backlog;
    result = send_all(*client_, opening.data(), opening.length(), context, Failure::CLIENT);
    if (result == Failure::NONE)
        result = send_all(*server_, request_.body.data(), request_.body.length(), context, Failure::ORIGIN);
    if (result == Failure::NONE) result = relay_tunnel(context);
    if (result == Failure::INTERNAL)
        fail_print();
    else if (fail_pending())
        fail_take();
    drop_server();
}

void UrlGet::refuse_tunnel(int32_t status, const Str& why) {
    if (options_.debug) {
        fail_new("UrlGet::tunnel ", "refused: " + why);
        fail_print();
    }
    set_worker_page(answer_, tunnel_refused_page(why), status);
    send_and_release();
}

UrlGet::Failure UrlGet::open_tunnel(Str& backlog, const char* context) {
    if (!options_.proxyhost.empty()) return connect_through_proxy(backlog, context);
    Str host = request_.host;
    int32_t own = check_own_ports(host, request_.port, options_, context);
    if (own != 0) {
        refused_ = own > 0;
        return Failure::ORIGIN;
    }
    bool guarded = guards_loopback();
    if (guarded) {
        uint32_t origin = Socket::hostname_to_ip(host);
        if (origin == 0) fail_take(); // the connect reports it
        if (is_loopback_address(origin)) return refuse_loopback(request_, context);
    }
    Failure result = connect_to_server(host, request_.port, context);
    if (result == Failure::NONE && guarded && is_loopback_address(server_->address()))
        result = refuse_loopback(request_, context);
    return result;
}

UrlGet::Failure UrlGet::connect_through_proxy(Str& backlog, const char* context) {
    Failure result = connect_to_server(options_.proxyhost, options_.proxyport, context);
    return result == Failure::NONE ? ask_remote_tunnel(request_, backlog, context) : result;
}

// The remote proxy is asked for a tunnel of its own; anything but a 2xx
// answer fails this one.
UrlGet::Failure UrlGet::ask_remote_tunnel(const URLRequest& request, Str& backlog, const char* context) {
    Str ask = "CONNECT " + target(request) + " HTTP/1.0\r\nHost: " + target(request) + "\r\n\r\n";
    Failure result = send_all(*server_, ask.data(), ask.length(), context, Failure::ORIGIN);
    if (result != Failure::NONE) return result;
    HeadAssembler head(HeadAssembler::ANSWER, HeadAssembler::ANSWER_HEAD_LIMIT);
    while (head.state() == HeadAssembler::NEED_MORE) {
        int32_t n = read_some(*server_, Failure::ORIGIN, TRANSFER_BUFFER_SIZE, context,
                              "error while receiving answer from remote proxy");
        if (n < 0) return failure_;
        if (n == 0) break;
        head.feed(buffer_.get(), uint32_t(n));
    }
    Str line = head.head().cut_line();
    Str status_line = line;
    line.cut_word();
    Str status = line.cut_word();
    if (head.state() != HeadAssembler::COMPLETE || status.length() != 3 || status[0] != '2') {
        fail_new(context, "the remote proxy refused the tunnel: " + status_line);
        return Failure::ORIGIN;
    }
    backlog = head.rest();
    return Failure::NONE;
}

UrlGet::Failure UrlGet::relay_tunnel(const char* context) {
    const bool watch_channel = channel_ && channel_->connected();
    for (;;) {
        pollfd fds[3] = {{client_->handle(), POLLIN, 0},
                         {server_->handle(), POLLIN, 0},
                         {watch_channel ? channel_->handle() : -1, POLLIN, 0}};
        int ready = ::poll(fds, 3, timeout_ms());
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) {
            fail_new(context, "select failed");
            return Failure::INTERNAL;
        }
        if (ready == 0) {
            fail_new(context, "tunnel closed after `timeout` seconds without data");
            return Failure::CLIENT;
        }
        if (fds[2].revents != 0) {
            channel_->check(context);
            return Failure::INTERNAL;
        }
        for (int side = 0; side < 2; side++) {
            if (fds[side].revents == 0) continue;
            Failure result = pass_on(side == 0, context);
            if (result != Failure::NONE) return result;
        }
    }
}

// One read from a side and all of it to the other. A side that closed ends
// the tunnel: it is reported as CLIENT or ORIGIN with nothing pending, and
// the caller's loop stops on any result but NONE.
UrlGet::Failure UrlGet::pass_on(bool from_client, const char* context) {
    Socket& from = from_client ? *client_ : *server_;
    Socket& to = from_client ? *server_ : *client_;
    Failure blame = from_client ? Failure::CLIENT : Failure::ORIGIN;
    int32_t n = from.nbread(buffer_.get(), TRANSFER_BUFFER_SIZE);
    if (n < 0) {
        fail_chain(context, from_client ? "error while receiving from client" : "error while receiving from server");
        return blame;
    }
    if (n == 0) return blame; // closed (poll said readable)
    return send_all(to, buffer_.get(), uint32_t(n), context, from_client ? Failure::ORIGIN : Failure::CLIENT);
}
