#include "foundation/Socket.h"

#include "foundation/Fail.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace {

Str with_reason(const char* message, long code) {
    return Str(message) + " Reason code:" + Str::from_long(int32_t(code));
}

// A send never raises SIGPIPE: a closed peer is a write error like any other.
constexpr int SEND_FLAGS = MSG_NOSIGNAL;

// Parses exactly "a.b.c.d" with decimal numbers from 0 to 255. Anything else,
// including a number above 255 or trailing text, is left to the name lookup.
bool parse_dotted_quad(const char* text, uint32_t& address) {
    uint32_t result = 0;
    for (int part = 0; part < 4; part++) {
        if (part > 0 && *text++ != '.') return false;
        if (*text < '0' || *text > '9') return false;
        uint32_t value = 0;
        while (*text >= '0' && *text <= '9') {
            value = value * 10 + uint32_t(*text++ - '0');
            if (value > 255) return false;
        }
        result = result << 8 | value;
    }
    if (*text != 0) return false;
    address = htonl(result);
    return true;
}

} // namespace

Socket::Socket() {
    handle_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (handle_ < 0) {
        fail_new("Socket: ", with_reason("unable to create socket", errno));
        return;
    }
    failed_ = false;
}

Socket::Socket(int handle, bool attached) : handle_(handle), attached_(attached), failed_(false) {
    // Take the handle's real mode, so that a handle that arrives non-blocking
    // is still switched for the blocking operations.
    int flags = ::fcntl(handle_, F_GETFL);
    if (flags >= 0 && (flags & O_NONBLOCK)) blocking_ = false;
}

Socket::~Socket() {
    if (!failed_ && !attached_ && handle_ >= 0) ::close(handle_);
}

void Socket::fail_construction() {
    if (!failed_ && !attached_ && handle_ >= 0) ::close(handle_);
    handle_ = -1;
    failed_ = true;
}

// Both switches report under Socket::nbread, whoever calls them.
int Socket::to_blocking() {
    if (blocking_) return 0;
    blocking_ = true;
    int flags = ::fcntl(handle_, F_GETFL);
    if (flags < 0 || ::fcntl(handle_, F_SETFL, flags & ~O_NONBLOCK) < 0) {
        int code = errno;
        if (!read_error_) read_error_ = 1;
        fail_new("Socket::nbread ", with_reason("unable to switch to blocking mode", code));
        return -1;
    }
    return 0;
}

int Socket::to_non_blocking() {
    if (!blocking_) return 0;
    blocking_ = false;
    int flags = ::fcntl(handle_, F_GETFL);
    if (flags < 0 || ::fcntl(handle_, F_SETFL, flags | O_NONBLOCK) < 0) {
        int code = errno;
        if (!read_error_) read_error_ = 1;
        fail_new("Socket::nbread ", with_reason("unable to switch to non-blocking mode", code));
        return -1;
    }
    return 0;
}

int32_t Socket::ewrite(const void* buffer, int32_t count) {
    bool switched = false;
    if (!blocking_) {
        if (to_blocking() < 0) {
            fail_chain("Socket::ewrite ", "unable to switch to blocking mode");
            return 0;
        }
        switched = true;
    }
    const char* bytes = static_cast<const char*>(buffer);
    int32_t sent = 0;
    while (sent < count) {
        ssize_t n = ::send(handle_, bytes + sent, size_t(count - sent), SEND_FLAGS);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (!write_error_) {
                write_error_ = 1;
                fail_new("Socket::ewrite ", "write-error");
            }
            break;
        }
        sent += int32_t(n);
    }
    if (switched && to_non_blocking() < 0) {
        fail_chain("Socket::ewrite ", "unable to switch back to non-blocking mode");
        return 0;
    }
    return sent;
}

int32_t Socket::eread(void* buffer, int32_t count) {
    bool switched = false;
    if (!blocking_) {
        if (to_blocking() < 0) {
            fail_chain("Socket::eread ", "unable to switch to blocking mode");
            return 0;
        }
        switched = true;
    }
    char* bytes = static_cast<char*>(buffer);
    int32_t received = 0;
    while (received < count) {
        ssize_t n = ::recv(handle_, bytes + received, size_t(count - received), 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            // A closed peer leaves no error number: its reason code is 0.
            int code = n < 0 ? errno : 0;
            if (!read_error_) {
                read_error_ = 1;
                fail_new("Socket::eread ", with_reason("read-error", code));
            }
            break;
        }
        received += int32_t(n);
    }
    if (switched && to_non_blocking() < 0) {
        fail_chain("Socket::eread ", "unable to switch back to non-blocking mode");
        return 0;
    }
    return received;
}

int32_t Socket::nbread(void* buffer, int32_t count) {
    ssize_t n;
    do
        n = ::recv(handle_, buffer, size_t(count > 0 ? count : 0), MSG_DONTWAIT);
    while (n < 0 && errno == EINTR);
    int code = errno;
    if (n >= 0) return int32_t(n);
    if (code == EWOULDBLOCK || code == EAGAIN) return 0;
    if (!read_error_) {
        read_error_ = 1;
        fail_new("Socket::nbread ", Str("error while reading from socket") + Str::from_long(code));
    }
    return -1;
}

int32_t Socket::receive_waiting(void* buffer, int32_t count, int timeout_ms) {
    if (to_blocking() < 0) {
        fail_take();
        return -1;
    }
    if (timeout_ms < 1) timeout_ms = 1; // 0 would wait for ever
    if (timeout_ms != receive_timeout_ms_) {
        timeval limit{timeout_ms / 1000, (timeout_ms % 1000) * 1000};
        if (::setsockopt(handle_, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit) != 0) return -1;
        receive_timeout_ms_ = timeout_ms;
    }
    ssize_t n;
    do
        n = ::recv(handle_, buffer, size_t(count > 0 ? count : 0), 0);
    while (n < 0 && errno == EINTR);
    return n < 0 ? -1 : int32_t(n);
}

int32_t Socket::nbwrite(const void* buffer, int32_t count, bool more) {
    ssize_t n;
    do
        n = ::send(handle_, buffer, size_t(count > 0 ? count : 0),
                   SEND_FLAGS | MSG_DONTWAIT | (more ? MSG_MORE : 0));
    while (n < 0 && errno == EINTR);
    int code = errno;
    if (n >= 0) return int32_t(n);
    if (code == EWOULDBLOCK || code == EAGAIN) return 0;
    if (!write_error_) {
        write_error_ = 1;
        fail_new("Socket::nbwrite ",
                 Str("error while writing to socket, errno = ") + Str::from_long(code));
    }
    return -1;
}

int Socket::delay_off() {
    int32_t on = -1; // all ones
    if (::setsockopt(handle_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) < 0) {
        fail_new("Socket::delay_off ", with_reason("setsockopt() failed", errno));
        return -1;
    }
    return 0;
}

int Socket::shutdown() {
    return ::shutdown(handle_, SHUT_RDWR) < 0 ? -1 : 0;
}

int Socket::stop_receiving() {
    return ::shutdown(handle_, SHUT_RD) < 0 ? -1 : 0;
}

uint32_t Socket::hostname_to_ip(const Str& host) {
    uint32_t address = 0;
    if (parse_dotted_quad(host.c_str(), address)) return address;

    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    int result = ::getaddrinfo(host.c_str(), nullptr, &hints, &found);
    if (result == 0 && found) {
        address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
        ::freeaddrinfo(found);
        if (address != 0) return address;
        result = EAI_NONAME;
    }
    long code = result == EAI_SYSTEM ? errno : result;
    fail_new("Socket::hostname_to_ip ",
             with_reason((Str("unable to get address for '") + host + "'").c_str(), code));
    return 0;
}
