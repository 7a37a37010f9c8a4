#include "foundation/InterNetServer.h"

#include "foundation/Fail.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <sys/socket.h>

namespace {

Str with_reason(const char* message, int code) {
    return Str(message) + " Reason code:" + Str::from_long(code);
}

} // namespace

uint32_t loopback_address() {
    return htonl(INADDR_LOOPBACK);
}

InterNetServer::InterNetServer(uint16_t port, uint32_t address, int backlog)
    : address_(address) {
    if (failed()) return;
    // A restarted server must not fail on connections still in TIME_WAIT.
    int on = 1;
    ::setsockopt(handle_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);

    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    local.sin_addr.s_addr = address;
    if (::bind(handle_, reinterpret_cast<const sockaddr*>(&local), sizeof local) < 0) {
        fail_new("InterNetServer: ", with_reason("unable to bind socket", errno));
        fail_construction();
        return;
    }
    if (::listen(handle_, backlog) < 0) {
        fail_new("InterNetServer: ", with_reason("unable to listen to socket", errno));
        fail_construction();
        return;
    }
    socklen_t size = sizeof local;
    if (::getsockname(handle_, reinterpret_cast<sockaddr*>(&local), &size) == 0)
        port_ = local.sin_port;
    else
        port_ = htons(port);
}

uint16_t InterNetServer::port() const {
    return ntohs(port_);
}

std::unique_ptr<Socket> InterNetServer::accept_connection(uint32_t* peer) {
    sockaddr_in remote{};
    socklen_t size = sizeof remote;
    int handle;
    do
        handle = ::accept4(handle_, reinterpret_cast<sockaddr*>(&remote), &size, SOCK_CLOEXEC);
    while (handle < 0 && errno == EINTR);
    if (handle < 0) {
        fail_new("InterNetServer::accept_connection ",
                 with_reason("unable to accept from socket", errno));
        return nullptr;
    }
    if (peer) *peer = remote.sin_addr.s_addr;
    return std::make_unique<Socket>(handle, false);
}
