// What the test servers and clients share: a listening socket on 127.0.0.1,
// sending everything, waiting for bytes unless a stop is signalled, and
// finding a header line in a head.
#pragma once

#include <arpa/inet.h>
#include <cerrno>
#include <cstdint>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

// A socket listening on 127.0.0.1 at a free port, which goes to port; -1 on failure.
inline int listen_on_loopback(uint16_t& port, int backlog = 128) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0), on = 1;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof local;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (fd < 0 || ::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) < 0 ||
        ::listen(fd, backlog) < 0 || ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &size) < 0) {
        if (fd >= 0) ::close(fd);
        return -1;
    }
    port = ntohs(local.sin_port);
    return fd;
}

// Sends all count bytes; false when the peer is gone.
inline bool send_all(int fd, const char* bytes, size_t count) {
    while (count > 0) {
        ssize_t n = ::send(fd, bytes, count, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes += n;
        count -= size_t(n);
    }
    return true;
}

// Waits at most timeout_ms (-1: no limit) for fd to become readable; false
// when the time ran out or wake became readable first.
inline bool readable_unless_woken(int fd, int wake, int timeout_ms) {
    pollfd fds[2] = {{fd, POLLIN, 0}, {wake, POLLIN, 0}};
    int n;
    while ((n = ::poll(fds, 2, timeout_ms)) < 0 && errno == EINTR) {
    }
    return n > 0 && fds[1].revents == 0 && fds[0].revents != 0;
}

// The value of the first header line called name (compared without case)
// after the first line of head, without the blanks around it; "" if absent.
inline std::string header_value(const std::string& head, const std::string& name) {
    for (size_t at = head.find('\n'); at != std::string::npos; at = head.find('\n', at)) {
        if (::strncasecmp(head.c_str() + ++at, name.c_str(), name.size()) != 0 ||
            head.compare(at + name.size(), 1, ":") != 0)
            continue;
        size_t end = head.find('\n', at), from = head.find_first_not_of(" \t", at + name.size() + 1);
        size_t to = head.find_last_not_of(" \t\r", end == std::string::npos ? end : end - 1);
        return from == std::string::npos || from > to ? "" : head.substr(from, to - from + 1);
    }
    return "";
}
