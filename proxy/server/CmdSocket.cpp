#include "proxy/server/CmdSocket.h"

#include "foundation/Fail.h"
#include "foundation/InterNetServer.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <mutex>
#include <poll.h>
#include <pthread.h>

namespace {

Str with_reason(const char* message, int code) {
    return Str(message) + " Reason code:" + Str::from_long(code);
}

// The one internal listener of the process. Only a changed internal port
// replaces it; the worker is always told the port it listens on.
std::mutex listener_lock;
InterNetServer* listener = nullptr;

InterNetServer* internal_listener(uint16_t port) {
    std::lock_guard<std::mutex> guard(listener_lock);
    if (listener && listener->port() == port) return listener;
    delete listener;
    listener = nullptr;
    // Workers run on this machine: nothing else may reach the channel port.
    auto* made = new InterNetServer(port, loopback_address());
    if (made->failed()) {
        delete made;
        return nullptr;
    }
    listener = made;
    return listener;
}

bool is_loopback(uint32_t address) {
    return (ntohl(address) >> 24) == 127;
}

// Bookkeeping of the worker threads, so that the server can let them end
// before the process does.
std::mutex workers_lock;
std::condition_variable workers_changed;
int32_t workers_running = 0;

struct WorkerStart {
    CmdSocket::Entry entry;
    ArgList arguments;
};

void* run_worker(void* data) {
    auto* start = static_cast<WorkerStart*>(data);
    start->entry(start->arguments);
    delete start;
    std::lock_guard<std::mutex> guard(workers_lock);
    workers_running--;
    workers_changed.notify_all();
    return nullptr;
}

// Starts entry on a detached thread with a roomy stack. The stop signals
// stay blocked there, so that they reach the server's loop thread and never
// interrupt a worker's system call. 0, or an error number.
int start_worker(WorkerStart* start) {
    pthread_attr_t attributes;
    int result = pthread_attr_init(&attributes);
    if (result != 0) return result;
    result = pthread_attr_setstacksize(&attributes, CmdSocket::WORKER_STACK_BYTES);
    if (result == 0) result = pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    if (result == 0) {
        sigset_t stop_signals, previous;
        sigemptyset(&stop_signals);
        sigaddset(&stop_signals, SIGINT);
        sigaddset(&stop_signals, SIGTERM);
        sigaddset(&stop_signals, SIGHUP);
        pthread_sigmask(SIG_BLOCK, &stop_signals, &previous);
        {
            std::lock_guard<std::mutex> guard(workers_lock);
            workers_running++;
        }
        pthread_t thread;
        result = pthread_create(&thread, &attributes, run_worker, start);
        if (result != 0) {
            std::lock_guard<std::mutex> guard(workers_lock);
            workers_running--;
            workers_changed.notify_all();
        }
        pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    }
    pthread_attr_destroy(&attributes);
    return result;
}

} // namespace

CmdSocket::CmdSocket(const Str& name, const ArgList& arguments, Entry entry, int32_t reserved,
                     uint16_t internal_port, int accept_timeout_seconds) {
    auto* start = new WorkerStart{entry, arguments};
    start->arguments.append("-icport");
    start->arguments.append(Str::from_ulong(internal_port));
    if (start->arguments.status() != 0) {
        delete start;
        fail_chain("CmdSocket: ", "unable to build argument list");
        return;
    }

    if (!internal_listener(internal_port)) {
        delete start;
        fail_chain("CmdSocket: ", "unable to create server for internal communication");
        return;
    }

    int error = start_worker(start);
    if (error != 0) {
        delete start;
        fail_new("CmdSocket: ", with_reason("pthread_create() failed", error));
        fail_chain("CmdSocket: ", Str("unable to create new process '") + name + "'");
        return;
    }
    worker_started_ = true;

    if (wait_for_worker(accept_timeout_seconds) < 0) return;

    if (connection_->delay_off() < 0) {
        fail_chain("CmdSocket: ", "could not switch delay off");
        connection_.reset();
        return;
    }
    status_ = 0;
}

// Waits for the listener to become readable and accepts the worker's
// connection. Anything that is not from a loopback address is dropped and
// the wait goes on for the rest of the time.
int32_t CmdSocket::wait_for_worker(int timeout_seconds) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(timeout_seconds);
    std::lock_guard<std::mutex> guard(listener_lock);
    if (!listener) {
        fail_chain("CmdSocket: ", "unable to create server for internal communication");
        return -1;
    }
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            fail_chain("CmdSocket: ", "unable to accept from child: timeout");
            return -1;
        }
        pollfd wait{listener->handle(), POLLIN, 0};
        // A stop signal interrupts the wait too: the server is ending anyway.
        int ready = ::poll(&wait, 1, int(left.count()));
        if (ready < 0) {
            fail_new("CmdSocket: ", with_reason("poll() failed", errno));
            fail_chain("CmdSocket: ", "unable to accept from child.");
            return -1;
        }
        if (ready == 0) continue;

        uint32_t peer = 0;
        std::unique_ptr<Socket> accepted = listener->accept_connection(&peer);
        if (!accepted) {
            fail_chain("CmdSocket: ", "could not get connection to child");
            return -1;
        }
        if (is_loopback(peer)) {
            connection_ = std::move(accepted);
            return 0;
        }
    }
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
    // Each transfer is judged on its own; this stream keeps the sticky flag.
    connection_->set_read_error(0);
    int32_t n = connection_->eread(buffer, count);
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

int32_t CmdSocket::running_workers() {
    std::lock_guard<std::mutex> guard(workers_lock);
    return workers_running;
}

bool CmdSocket::wait_for_workers(int timeout_ms) {
    std::unique_lock<std::mutex> guard(workers_lock);
    return workers_changed.wait_for(guard, std::chrono::milliseconds(timeout_ms),
                                    [] { return workers_running == 0; });
}
