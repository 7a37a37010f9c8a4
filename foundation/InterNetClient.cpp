#include "foundation/InterNetClient.h"

#include "foundation/Fail.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>

namespace {

// A connect refused for lack of buffers is retried after pauses of 200 ms,
// 300 ms, ... up to 1,100 ms (6.5 s in all).
constexpr int NOBUFS_FIRST_PAUSE_MS = 200;
constexpr int NOBUFS_PAUSE_STEP_MS = 100;
constexpr int NOBUFS_LAST_PAUSE_MS = 1100;

constexpr uint8_t SOCKS4_VERSION = 4;
constexpr uint8_t SOCKS4_CONNECT = 1;
constexpr uint8_t SOCKS4_GRANTED = 90;
constexpr int SOCKS4_MESSAGE_SIZE = 8;

// A connect interrupted by a signal goes on in the background; wait for its end.
int finish_interrupted_connect(int handle) {
    pollfd watch{handle, POLLOUT, 0};
    int ready;
    do
        ready = ::poll(&watch, 1, -1);
    while (ready < 0 && errno == EINTR);
    if (ready < 0) return errno;
    int code = 0;
    socklen_t size = sizeof code;
    if (::getsockopt(handle, SOL_SOCKET, SO_ERROR, &code, &size) < 0) return errno;
    return code;
}

} // namespace

InterNetClient::InterNetClient(const Str& host, uint16_t port, bool blocking,
                               const Str& socks_host, uint16_t socks_port,
                               const Str& socks_user) {
    bool socks = !socks_host.empty();
    if (socks && !blocking) {
        fail_new("InterNetClient: ", "combining Socks host with non-blocking mode is not allowed");
        fail_construction();
        return;
    }
    if (failed()) return;
    if (!blocking && to_non_blocking() < 0) {
        fail_chain("InterNetClient: ", "unable to enable non-blocking mode");
        fail_construction();
        return;
    }
    if (!connect_to(socks ? socks_host : host, socks ? socks_port : port)) {
        fail_construction();
        return;
    }
    if (socks && !socks4_connect(host, port, socks_user)) fail_construction();
}

uint16_t InterNetClient::port() const {
    return ntohs(port_);
}

bool InterNetClient::connect_to(const Str& host, uint16_t port) {
    address_ = Socket::hostname_to_ip(host);
    port_ = htons(port);
    if (address_ == 0) {
        // Address 0 would reach this very machine: never connect there instead.
        fail_chain("InterNetClient: ", Str("unable to connect to '") + host +
                                           "'. Reason code:" + Str::from_long(EADDRNOTAVAIL));
        return false;
    }
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_port = port_;
    target.sin_addr.s_addr = address_;

    int pause_ms = NOBUFS_FIRST_PAUSE_MS;
    for (;;) {
        if (::connect(handle_, reinterpret_cast<const sockaddr*>(&target), sizeof target) == 0)
            return true;
        int code = errno;
        if (code == EINTR) {
            if (!blocking()) return true;
            code = finish_interrupted_connect(handle_);
            if (code == 0) return true;
        }
        // In progress: the owner waits for the socket to become writeable.
        if (code == EINPROGRESS) return true;
        if (code == ENOBUFS && pause_ms <= NOBUFS_LAST_PAUSE_MS) {
            std::this_thread::sleep_for(std::chrono::milliseconds(pause_ms));
            pause_ms += NOBUFS_PAUSE_STEP_MS;
            continue;
        }
        fail_new("InterNetClient: ", Str("unable to connect to '") + host +
                                         "'. Reason code:" + Str::from_long(code));
        return false;
    }
}

// Asks the SOCKS server, already connected, to connect on to host and port.
bool InterNetClient::socks4_connect(const Str& host, uint16_t port, const Str& user) {
    uint32_t real_address = Socket::hostname_to_ip(host);
    if (real_address == 0) {
        fail_chain("InterNetClient: ", "unable to get real host address");
        return false;
    }
    Str user_id = user;
    if (user_id.empty()) {
        const char* name = std::getenv("USER");
        if (name) user_id = name;
    }

    unsigned char request[SOCKS4_MESSAGE_SIZE];
    uint16_t real_port = htons(port);
    request[0] = SOCKS4_VERSION;
    request[1] = SOCKS4_CONNECT;
    std::memcpy(request + 2, &real_port, 2);
    std::memcpy(request + 4, &real_address, 4);
    // The user id goes out with its terminating zero byte.
    if (ewrite(request, SOCKS4_MESSAGE_SIZE) != SOCKS4_MESSAGE_SIZE ||
        ewrite(user_id.c_str(), int32_t(user_id.length() + 1)) != int32_t(user_id.length() + 1)) {
        fail_chain("InterNetClient: ", "unable to send SOCKS4 request");
        return false;
    }

    unsigned char answer[SOCKS4_MESSAGE_SIZE];
    if (eread(answer, SOCKS4_MESSAGE_SIZE) != SOCKS4_MESSAGE_SIZE) {
        fail_chain("InterNetClient: ", "got no answer to SOCKS4 request");
        return false;
    }
    if (answer[0] != 0 && answer[0] != SOCKS4_VERSION) {
        fail_new("InterNetClient: ", "got invalid answer to SOCKS4 request");
        return false;
    }
    if (answer[1] != SOCKS4_GRANTED) {
        fail_new("InterNetClient: ", "SOCKS4 connect request was denied");
        return false;
    }
    return true;
}
