#include "testsupport/Socks4Server.h"

#include "testsupport/Loopback.h"

#include <cstring>
#include <fcntl.h>

namespace {

constexpr size_t MAX_USER_ID = 1024;
constexpr size_t RELAY_CHUNK = 16384;

bool is_loopback(uint32_t address) {
    return (ntohl(address) >> 24) == 127;
}

int connect_to(uint32_t address, uint16_t port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_port = port;
    target.sin_addr.s_addr = address;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&target), sizeof target) < 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

Socks4Server::Socks4Server(uint8_t reply_code, uint8_t reply_version, int answer_bytes)
    : reply_code_(reply_code), reply_version_(reply_version), answer_bytes_(answer_bytes) {
    if (answer_bytes_ < 0 || answer_bytes_ > ANSWER_SIZE) answer_bytes_ = ANSWER_SIZE;
    if (::pipe2(wake_, O_CLOEXEC) < 0 || (listener_ = listen_on_loopback(port_, 4)) < 0) return;
    thread_ = std::thread([this] { run(); });
}

Socks4Server::~Socks4Server() {
    if (thread_.joinable()) {
        char stop = 1;
        while (::write(wake_[1], &stop, 1) < 0 && errno == EINTR) {
        }
        thread_.join();
    }
    for (int fd : {listener_, wake_[0], wake_[1]})
        if (fd >= 0) ::close(fd);
}

std::string Socks4Server::received() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return received_;
}

void Socks4Server::record(const char* bytes, size_t count) {
    std::lock_guard<std::mutex> guard(mutex_);
    received_.append(bytes, count);
}

void Socks4Server::run() {
    while (readable_unless_woken(listener_, wake_[0], -1)) {
        int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) continue;
        serve(client);
        ::close(client);
    }
}

void Socks4Server::serve(int client) {
    uint16_t port = 0;
    uint32_t address = 0;
    if (!read_request(client, port, address)) return;

    uint8_t code = reply_code_;
    int upstream = -1;
    if (code == GRANTED) {
        // Tests never leave this machine.
        if (is_loopback(address)) upstream = connect_to(address, port);
        if (upstream < 0) code = REJECTED;
    }
    char answer[ANSWER_SIZE] = {char(reply_version_), char(code)};
    std::memcpy(answer + 2, &port, 2);
    std::memcpy(answer + 4, &address, 4);
    if (send_all(client, answer, size_t(answer_bytes_)) && upstream >= 0 &&
        answer_bytes_ == ANSWER_SIZE)
        relay(client, upstream);
    if (upstream >= 0) ::close(upstream);
}

// Reads the 8-byte request and the zero-terminated user id.
bool Socks4Server::read_request(int client, uint16_t& port, uint32_t& address) {
    std::string request;
    char c = 1;
    while (request.size() <= ANSWER_SIZE || (c != 0 && request.size() <= ANSWER_SIZE + MAX_USER_ID)) {
        if (!readable_unless_woken(client, wake_[0], -1) || ::recv(client, &c, 1, 0) != 1) return false;
        record(&c, 1);
        request += c;
    }
    std::memcpy(&port, request.data() + 2, 2);
    std::memcpy(&address, request.data() + 4, 4);
    return true;
}

// Copies bytes both ways until either side closes or the server stops.
void Socks4Server::relay(int client, int upstream) {
    char buffer[RELAY_CHUNK];
    pollfd watch[3] = {{client, POLLIN, 0}, {upstream, POLLIN, 0}, {wake_[0], POLLIN, 0}};
    for (;;) {
        int ready = ::poll(watch, 3, -1);
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0 || watch[2].revents) return;
        for (int side = 0; side < 2; side++) {
            if (!watch[side].revents) continue;
            ssize_t n = ::recv(watch[side].fd, buffer, sizeof buffer, 0);
            if (n <= 0 || !send_all(watch[1 - side].fd, buffer, size_t(n))) return;
        }
    }
}
