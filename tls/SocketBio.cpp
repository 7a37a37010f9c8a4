#include "tls/SocketBio.h"

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <openssl/bio.h>
#include <sys/socket.h>

namespace {

SocketBioState& state_of(BIO* bio) {
    return *static_cast<SocketBioState*>(BIO_get_data(bio));
}

bool try_again(int code) {
    return code == EAGAIN || code == EWOULDBLOCK || code == EINTR;
}

int socket_read(BIO* bio, char* into, int want) {
    BIO_clear_retry_flags(bio);
    SocketBioState& state = state_of(bio);
    if (!state.received.empty() && want > 0) {
        size_t n = std::min(state.received.size(), size_t(want));
        state.received.copy(into, n);
        state.received.erase(0, n);
        return int(n);
    }
    ssize_t n = ::recv(state.fd, into, size_t(want > 0 ? want : 0), MSG_DONTWAIT);
    if (n > 0) return int(n);
    if (n == 0) {
        state.eof = true;
        return 0;
    }
    if (try_again(errno))
        BIO_set_retry_read(bio);
    else
        state.error = errno;
    return -1;
}

int socket_write(BIO* bio, const char* bytes, int count) {
    BIO_clear_retry_flags(bio);
    SocketBioState& state = state_of(bio);
    ssize_t n = ::send(state.fd, bytes, size_t(count > 0 ? count : 0), MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n >= 0) return int(n);
    if (try_again(errno))
        BIO_set_retry_write(bio);
    else
        state.error = errno;
    return -1;
}

// Sends go straight to the socket: there is nothing to flush. The end of
// the stream lets OpenSSL tell a closed peer from a failed receive.
long socket_ctrl(BIO* bio, int command, long, void*) {
    if (command == BIO_CTRL_FLUSH) return 1;
    return command == BIO_CTRL_EOF && state_of(bio).eof ? 1 : 0;
}

int socket_create(BIO* bio) {
    BIO_set_init(bio, 1);
    return 1;
}

// Made once and kept for the life of the process, as OpenSSL's own are.
BIO_METHOD* socket_method() {
    static BIO_METHOD* method = nullptr;
    static std::once_flag made;
    std::call_once(made, [] {
        method = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "project socket");
        if (!method) return;
        BIO_meth_set_read(method, socket_read);
        BIO_meth_set_write(method, socket_write);
        BIO_meth_set_ctrl(method, socket_ctrl);
        BIO_meth_set_create(method, socket_create);
    });
    return method;
}

} // namespace

BIO* socket_bio_new(SocketBioState* state) {
    BIO_METHOD* method = socket_method();
    BIO* bio = method ? BIO_new(method) : nullptr;
    if (bio) BIO_set_data(bio, state);
    return bio;
}
