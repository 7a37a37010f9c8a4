// Intercepted HTTPS: with `sslcache` on, a browser's CONNECT to a host of
// `sslhosts` is answered by the proxy itself. It speaks TLS with the browser
// as that host, with a certificate of the installation's local authority,
// and serves the request inside like an absolute https:// request: from the
// cache, from the origin (verified as always), or with the offline page.
#include "proxy/server/UrlGet.h"

#include "foundation/Fail.h"
#include "proxy/admin/AdminRequest.h"
#include "proxy/options/HostList.h"
#include "proxy/options/PortList.h"
#include "proxy/server/WorkerPages.h"
#include "tls/Interceptor.h"

#include <poll.h>
#include <sys/socket.h>

namespace {

constexpr int32_t BAD_REQUEST_STATUS = 400;
constexpr int32_t HTTPS_PORT = 443;
// Every TLS connection begins with a handshake record.
constexpr char TLS_HANDSHAKE_RECORD = 0x16;

Str origin_of(const URLRequest& request) {
    return "https://" + request.host + (request.port == HTTPS_PORT ? Str() : ":" + Str::from_long(request.port));
}

} // namespace

bool UrlGet::intercepts() const {
    return options_.sslcache && request_.host != ADMIN_HOST && port_listed(options_.sslports, request_.port) &&
           host_listed(options_.sslhosts, request_.host);
}

void UrlGet::intercept() {
    const char* context = "UrlGet::intercept ";
    std::shared_ptr<Interceptor> interceptor = Interceptor::of(options_.ca_directory);
    std::unique_ptr<TlsSession> session =
        interceptor ? interceptor->session_for(request_.host, client_->handle(), request_.body) : nullptr;
    if (!session) {
        // Printed whatever `debug` says: only the user can mend the CA's files.
        Str why = taken_report();
        fail_new(context, why);
        fail_print();
        refuse_tunnel(BAD_GATEWAY_STATUS, "Quaylo cannot answer HTTPS for " + origin_of(request_) + ": " + why);
        return;
    }
    Failure result = send_all(*client_, ESTABLISHED, sizeof ESTABLISHED - 1, context, Failure::CLIENT);
    if (result == Failure::NONE && !client_speaks_tls(context)) {
        set_worker_page(answer_,
                        tunnel_refused_page("Quaylo answers " + origin_of(request_) +
                                            " itself: this connection must speak TLS (HTTPS), not plain HTTP."),
                        BAD_REQUEST_STATUS);
        send_and_release();
        return;
    }
    if (result == Failure::NONE && !session->handshake(request_.host, timeout_ms())) {
        // A browser that does not trust the authority ends up here.
        fail_chain(context, "no secure connection with the client");
        result = Failure::CLIENT;
    }
    if (result != Failure::NONE) {
        if (result == Failure::INTERNAL)
            fail_print();
        else
            print_if_debug();
        return;
    }
    client_tls_ = std::move(session);
    inner_origin_ = origin_of(request_);
    reset_exchange(); // the CONNECT is done with: the request inside comes next
    if (receive_request(request_) != Failure::NONE) {
        fail_chain(context, "unable to receive request from client");
        print_if_debug();
        return;
    }
    if (request_.invalid || request_.method == "CONNECT")
        answer_invalid_request();
    else
        decide();
    client_tls_->close();
}

bool UrlGet::client_speaks_tls(const char* context) {
    if (!request_.body.empty()) return request_.body[0] == TLS_HANDSHAKE_RECORD;
    // Nothing in time, or the end: the handshake meets it and says so.
    if (wait_for(*client_, POLLIN, timeout_ms(), context, context) != 0) {
        fail_take();
        return true;
    }
    char first = 0;
    return ::recv(client_->handle(), &first, 1, MSG_PEEK | MSG_DONTWAIT) != 1 || first == TLS_HANDSHAKE_RECORD;
}
