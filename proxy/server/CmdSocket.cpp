#include "proxy/server/CmdSocket.h"

#include "foundation/Fail.h"
#include "foundation/InterNetServer.h"

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <ctime>
#include <mutex>
#include <poll.h>
#include <pthread.h>
#include <semaphore.h>
#include <sys/socket.h>
#include <vector>

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
// before the process does. The count is atomic: the lock and the condition
// only serve the wait at the end.
std::mutex workers_lock;
std::condition_variable workers_changed;
std::atomic<int32_t> workers_running{0};

void worker_returned() {
    if (workers_running.fetch_sub(1) == 1) {
        // Taken once, the lock orders this with a waiter between its test and its wait.
        { std::lock_guard<std::mutex> guard(workers_lock); }
        workers_changed.notify_all();
    }
}

struct WorkerStart {
    CmdSocket::Entry entry;
    ArgList arguments;
};

// A thread that has run its worker waits a while for the next one: creating
// and ending a thread per connection costs more than serving a small cached
// document. Each thread still runs one worker at a time. An idle thread
// waits on a semaphore of its own; the one idle last is woken first, its
// stack and caches still warm. The lock is held only to push or pop.
constexpr int IDLE_LIMIT_SECONDS = 30;

struct IdleThread {
    IdleThread() { sem_init(&ready, 0, 0); }
    ~IdleThread() { sem_destroy(&ready); }
    sem_t ready;
    WorkerStart* start = nullptr;
};

struct ThreadPool {
    std::mutex lock;
    std::vector<IdleThread*> idle;
};

// Never destroyed: idle threads are still listed in it while the process ends.
ThreadPool& pool() {
    static ThreadPool* threads = new ThreadPool;
    return *threads;
}

// Waits for the semaphore, EINTR aside; false when the deadline passed.
bool wait_ready(sem_t& ready, const timespec* deadline) {
    for (;;) {
        int result = deadline ? sem_clockwait(&ready, CLOCK_MONOTONIC, deadline) : sem_wait(&ready);
        if (result == 0) return true;
        if (errno != EINTR) return false;
    }
}

// The next worker for an idle thread; null when none came within the limit.
WorkerStart* next_start() {
    // Lives as long as its thread, which leaves the list before it ends.
    thread_local IdleThread self;
    ThreadPool& threads = pool();
    self.start = nullptr;
    {
        std::lock_guard<std::mutex> guard(threads.lock);
        threads.idle.push_back(&self);
    }
    timespec deadline{};
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_sec += IDLE_LIMIT_SECONDS;
    if (wait_ready(self.ready, &deadline)) return self.start;
    {
        std::lock_guard<std::mutex> guard(threads.lock);
        auto listed = std::find(threads.idle.begin(), threads.idle.end(), &self);
        if (listed != threads.idle.end()) {
            threads.idle.erase(listed);
            return nullptr;
        }
    }
    // Taken by the server just now: its worker is on the way.
    wait_ready(self.ready, nullptr);
    return self.start;
}

void* run_worker(void* data) {
    auto* start = static_cast<WorkerStart*>(data);
    while (start) {
        start->entry(start->arguments);
        delete start;
        worker_returned();
        // A report the worker left is printed when its thread ends, as ever.
        if (fail_pending()) break;
        start = next_start();
    }
    return nullptr;
}

// Hands start to an idle worker thread, or starts a new one: detached, with
// a roomy stack. The stop signals stay blocked there, so that they reach the
// server's loop thread and never interrupt a worker's system call. 0, or an
// error number.
int start_worker(WorkerStart* start) {
    workers_running++;
    ThreadPool& threads = pool();
    IdleThread* idle = nullptr;
    {
        std::lock_guard<std::mutex> guard(threads.lock);
        if (!threads.idle.empty()) {
            idle = threads.idle.back();
            threads.idle.pop_back();
        }
    }
    if (idle) {
        idle->start = start;
        sem_post(&idle->ready);
        return 0;
    }
    pthread_attr_t attributes;
    int result = pthread_attr_init(&attributes);
    if (result == 0) {
        result = pthread_attr_setstacksize(&attributes, CmdSocket::WORKER_STACK_BYTES);
        if (result == 0) result = pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
        if (result == 0) {
            sigset_t stop_signals, previous;
            sigemptyset(&stop_signals);
            sigaddset(&stop_signals, SIGINT);
            sigaddset(&stop_signals, SIGTERM);
            sigaddset(&stop_signals, SIGHUP);
            pthread_sigmask(SIG_BLOCK, &stop_signals, &previous);
            pthread_t thread;
            result = pthread_create(&thread, &attributes, run_worker, start);
            pthread_sigmask(SIG_SETMASK, &previous, nullptr);
        }
        pthread_attr_destroy(&attributes);
    }
    if (result != 0) worker_returned();
    return result;
}

} // namespace

CmdSocket::CmdSocket(const Str& name, const ArgList& arguments, Entry entry, int32_t reserved,
                     uint16_t internal_port, int accept_timeout_seconds)
    : port_(internal_port) {
    (void)reserved;
    if (!start(name, arguments, entry, accept_timeout_seconds)) return;
    if (wait_for_worker() < 0) return;
}

CmdSocket::CmdSocket(const Str& name, const ArgList& arguments, Entry entry, int32_t reserved,
                     uint16_t internal_port, Defer, int accept_timeout_seconds)
    : port_(internal_port) {
    (void)reserved;
    start(name, arguments, entry, accept_timeout_seconds);
}

bool CmdSocket::start(const Str& name, const ArgList& arguments, Entry entry,
                      int accept_timeout_seconds) {
    auto* start = new WorkerStart{entry, arguments};
    start->arguments.append("-icport");
    start->arguments.append(Str::from_ulong(port_));
    if (start->arguments.status() != 0) {
        delete start;
        fail_chain("CmdSocket: ", "unable to build argument list");
        return false;
    }

    if (!internal_listener(port_)) {
        delete start;
        fail_chain("CmdSocket: ", "unable to create server for internal communication");
        return false;
    }

    // The limit counts from the start of the worker, as the wait did.
    deadline_ = Clock::now() + std::chrono::seconds(accept_timeout_seconds);
    int error = start_worker(start);
    if (error != 0) {
        delete start;
        fail_new("CmdSocket: ", with_reason("pthread_create() failed", error));
        fail_chain("CmdSocket: ", Str("unable to create new process '") + name + "'");
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
    std::lock_guard<std::mutex> guard(listener_lock);
    return listener && listener->port() == port_ ? listener->handle() : -1;
}

// Waits for the listener to become readable and accepts the worker's
// connection. Anything that is not from a loopback address is dropped and
// the wait goes on for the rest of the time. The listener stays locked, so
// that two waits never take each other's connection.
int32_t CmdSocket::wait_for_worker() {
    std::lock_guard<std::mutex> guard(listener_lock);
    for (;;) {
        int left = milliseconds_left();
        if (left <= 0 || !listener || listener->port() != port_) return take_locked(false);
        pollfd wait{listener->handle(), POLLIN, 0};
        // A stop signal interrupts the wait too: the server is ending anyway.
        int ready = ::poll(&wait, 1, left);
        if (ready < 0) {
            fail_new("CmdSocket: ", with_reason("poll() failed", errno));
            fail_chain("CmdSocket: ", "unable to accept from child.");
            return -1;
        }
        int32_t result = take_locked(ready > 0);
        if (result <= 0) return result;
    }
}

int32_t CmdSocket::take_worker(bool readable) {
    std::lock_guard<std::mutex> guard(listener_lock);
    return take_locked(readable);
}

int32_t CmdSocket::take_locked(bool readable) {
    if (!listener || listener->port() != port_) {
        fail_chain("CmdSocket: ", "unable to create server for internal communication");
        return -1;
    }
    if (readable) {
        uint32_t peer = 0;
        std::unique_ptr<Socket> accepted = listener->accept_connection(&peer);
        if (!accepted) {
            fail_chain("CmdSocket: ", "could not get connection to child");
            return -1;
        }
        if (is_loopback(peer)) {
            connection_ = std::move(accepted);
            if (connection_->delay_off() < 0) {
                fail_chain("CmdSocket: ", "could not switch delay off");
                connection_.reset();
                return -1;
            }
            status_ = 0;
            return 0;
        }
    }
    if (milliseconds_left() <= 0) {
        fail_chain("CmdSocket: ", "unable to accept from child: timeout");
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

// Waits for at least one byte (the socket blocks) and takes all that came.
bool CmdSocket::refill() {
    position_ = 0;
    ssize_t n;
    do
        n = ::recv(connection_->handle(), buffer_, READ_BUFFER_SIZE, 0);
    while (n < 0 && errno == EINTR);
    if (n <= 0) {
        // A closed peer leaves no error number: its reason code is 0.
        fail_new("Socket::eread ", with_reason("read-error", n < 0 ? errno : 0));
        return false;
    }
    buffered_ = int32_t(n);
    return true;
}

int32_t CmdSocket::eread(void* buffer, int32_t count) {
    if (!connection_) {
        if (!read_error_) {
            read_error_ = 1;
            fail_new("CmdSocket::eread ", "not connected");
        }
        return 0;
    }
    // Every failed receive is reported; this stream keeps the sticky flag.
    char* out = static_cast<char*>(buffer);
    int32_t done = 0;
    while (done < count) {
        if (buffered_ == 0 && !refill()) {
            read_error_ = 1;
            break;
        }
        int32_t take = count - done < buffered_ ? count - done : buffered_;
        std::memcpy(out + done, buffer_ + position_, size_t(take));
        position_ += take;
        buffered_ -= take;
        done += take;
    }
    return done;
}

bool CmdSocket::next_code(int32_t& code) const {
    if (buffered_ < 4) return false;
    // Codes travel as 4-byte little-endian values.
    const auto* bytes = reinterpret_cast<const unsigned char*>(buffer_ + position_);
    code = int32_t(uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 |
                   uint32_t(bytes[3]) << 24);
    return true;
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
    return workers_running;
}

bool CmdSocket::wait_for_workers(int timeout_ms) {
    std::unique_lock<std::mutex> guard(workers_lock);
    return workers_changed.wait_for(guard, std::chrono::milliseconds(timeout_ms),
                                    [] { return workers_running == 0; });
}
