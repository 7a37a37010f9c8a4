#include "proxy/server/CmdSocket.h"

#include "foundation/Fail.h"
#include "foundation/InterNetServer.h"

#include <arpa/inet.h>
#include <cerrno>
#include <mutex>
#include <poll.h>

namespace {

const char REPORTER[] = "CmdSocket: ";

// The process's one listener on the internal port. Workers run on this
// machine: nothing else may reach the channel port, so it listens on
// 127.0.0.1 only. Whoever uses it holds lock.
class InternalListener {
public:
    std::mutex lock;

    // The listener on port, made on first use; a changed port replaces it,
    // so the worker is always told the port it listens on. Null when it
    // cannot listen (report pending).
    InterNetServer* open(uint16_t port) {
        if (InterNetServer* same = on(port)) return same;
        server_.reset();
        auto made = std::make_unique<InterNetServer>(port, loopback_address());
        if (made->failed()) return nullptr;
        server_ = std::move(made);
        return server_.get();
    }
    // The listener when it listens on port, else null.
    InterNetServer* on(uint16_t port) const {
        return server_ && server_->port() == port ? server_.get() : nullptr;
    }

private:
    std::unique_ptr<InterNetServer> server_;
};

InternalListener& internal_listener() {
    static InternalListener listener;
    return listener;
}

bool is_loopback(uint32_t address) {
    return (ntohl(address) >> 24) == 127;
}

} // namespace

CmdSocket::CmdSocket(const Str& name, const ArgList& arguments, Entry entry, int32_t reserved,
                     uint16_t internal_port, int accept_timeout_seconds)
    : port_(internal_port) {
    (void)reserved;
    if (start(name, arguments, entry, accept_timeout_seconds)) wait_for_worker();
}

CmdSocket::CmdSocket(const Str& name, const ArgList& arguments, Entry entry, int32_t reserved,
                     uint16_t internal_port, Defer, int accept_timeout_seconds)
    : port_(internal_port) {
    (void)reserved;
    start(name, arguments, entry, accept_timeout_seconds);
}

bool CmdSocket::start(const Str& name, const ArgList& arguments, Entry entry,
                      int accept_timeout_seconds) {
    auto start = std::make_unique<WorkerStart>(WorkerStart{entry, arguments});
    start->arguments.append("-icport");
    start->arguments.append(Str::from_ulong(port_));
    if (start->arguments.status() != 0) {
        fail_chain(REPORTER, "unable to build argument list");
        return false;
    }
    {
        InternalListener& listener = internal_listener();
        std::lock_guard<std::mutex> guard(listener.lock);
        if (!listener.open(port_)) {
            fail_chain(REPORTER, "unable to create server for internal communication");
            return false;
        }
    }
    // The limit counts from the start of the worker.
    deadline_ = Clock::now() + std::chrono::seconds(accept_timeout_seconds);
    if (!WorkerPool::start(std::move(start))) {
        fail_chain(REPORTER, Str("unable to create new process '") + name + "'");
        return false;
    }
    worker_started_ = true;
    return true;
}

int CmdSocket::milliseconds_left() const {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - Clock::now());
    return left.count() < 0 ? 0 : int(left.count());
}

int CmdSocket::listener_handle() const {
    InternalListener& listener = internal_listener();
    std::lock_guard<std::mutex> guard(listener.lock);
    InterNetServer* server = listener.on(port_);
    return server ? server->handle() : -1;
}

// Waits for the listener to become readable and accepts the worker's
// connection. Anything that is not from a loopback address is dropped and
// the wait goes on for the rest of the time. The listener stays locked, so
// that two waits never take each other's connection.
int32_t CmdSocket::wait_for_worker() {
    InternalListener& listener = internal_listener();
    std::lock_guard<std::mutex> guard(listener.lock);
    for (;;) {
        int left = milliseconds_left();
        InterNetServer* server = listener.on(port_);
        if (left <= 0 || !server) return take_locked(false);
        pollfd wait{server->handle(), POLLIN, 0};
        // A stop signal interrupts the wait too: the server is ending anyway.
        int ready = ::poll(&wait, 1, left);
        if (ready < 0) {
            fail_new("CmdSocket::wait_for_worker ",
                     "poll() failed Reason code:" + Str::from_long(errno));
            fail_chain(REPORTER, "unable to accept from child.");
            return -1;
        }
        int32_t result = take_locked(ready > 0);
        if (result <= 0) return result;
    }
}

int32_t CmdSocket::take_worker(bool readable) {
    std::lock_guard<std::mutex> guard(internal_listener().lock);
    return take_locked(readable);
}

int32_t CmdSocket::take_locked(bool readable) {
    InterNetServer* server = internal_listener().on(port_);
    if (!server) {
        fail_chain(REPORTER, "unable to create server for internal communication");
        return -1;
    }
    if (readable) {
        uint32_t peer = 0;
        std::unique_ptr<Socket> accepted = server->accept_connection(&peer);
        if (!accepted) {
            fail_chain(REPORTER, "could not get connection to child");
            return -1;
        }
        if (is_loopback(peer)) {
            if (accepted->delay_off() < 0) {
                fail_chain(REPORTER, "could not switch delay off");
                return -1;
            }
            connection_ = std::move(accepted);
            reader_.attach(connection_->handle());
            status_ = 0;
            return 0;
        }
    }
    if (milliseconds_left() <= 0) {
        fail_chain(REPORTER, "unable to accept from child: timeout");
        return -1;
    }
    return 1;
}

CmdSocket::~CmdSocket() {
    if (connection_) connection_->shutdown();
}

int CmdSocket::handle() const {
    return connection_ ? connection_->handle() : -1;
}

int32_t CmdSocket::eread(void* buffer, int32_t count) {
    if (!connection_) {
        if (!read_error_) {
            read_error_ = 1;
            fail_new("CmdSocket::eread ", "not connected");
        }
        return 0;
    }
    int32_t n = reader_.eread(buffer, count);
    if (n < count) read_error_ = 1;
    return n;
}

int32_t CmdSocket::ewrite(const void* buffer, int32_t count) {
    if (!connection_) {
        if (!write_error_) {
            write_error_ = 1;
            fail_new("CmdSocket::ewrite ", "not connected");
        }
        return 0;
    }
    connection_->set_write_error(0);
    int32_t n = connection_->ewrite(buffer, count);
    if (n < count) write_error_ = 1;
    return n;
}

void CmdSocket::hold(const Str& message, const char* failure_text) {
    held_ += message;
    held_failures_.push_back(failure_text);
}

bool CmdSocket::send_with_held(const Str& message) {
    failures_.swap(held_failures_);
    held_failures_.clear();
    Str joined;
    const Str* out = &message;
    if (!held_.empty()) {
        joined = std::move(held_);
        held_ = Str();
        joined += message;
        out = &joined;
    }
    set_write_error(0);
    ewrite(out->data(), int32_t(out->length()));
    return write_error() == 0;
}
