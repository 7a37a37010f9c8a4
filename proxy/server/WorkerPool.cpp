#include "proxy/server/WorkerPool.h"

#include "foundation/Fail.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <ctime>
#include <mutex>
#include <pthread.h>
#include <semaphore.h>
#include <vector>

namespace {

// The count is atomic: the lock and the condition only serve the wait at
// the end of the server.
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

// An idle thread waits on a semaphore of its own; the one idle last is woken
// first, its stack and caches still warm. The lock is held only to push or pop.
struct IdleThread {
    IdleThread() { sem_init(&ready, 0, 0); }
    ~IdleThread() { sem_destroy(&ready); }
    sem_t ready;
    std::unique_ptr<WorkerStart> start;
};

struct Threads {
    std::mutex lock;
    std::vector<IdleThread*> idle;
};

// Never destroyed: idle threads are still listed in it while the process ends.
Threads& threads() {
    static Threads* all = new Threads;
    return *all;
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
std::unique_ptr<WorkerStart> next_start() {
    // Lives as long as its thread, which leaves the list before it ends.
    thread_local IdleThread self;
    Threads& all = threads();
    {
        std::lock_guard<std::mutex> guard(all.lock);
        all.idle.push_back(&self);
    }
    timespec deadline{};
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_sec += WorkerPool::IDLE_LIMIT_SECONDS;
    // The worker was handed over under the lock: taken under it too, so
    // that its fields are seen as written (a semaphore alone does not say so
    // to every checker).
    auto taken = [&all] {
        std::lock_guard<std::mutex> guard(all.lock);
        return std::move(self.start);
    };
    if (wait_ready(self.ready, &deadline)) return taken();
    {
        std::lock_guard<std::mutex> guard(all.lock);
        auto listed = std::find(all.idle.begin(), all.idle.end(), &self);
        if (listed != all.idle.end()) {
            all.idle.erase(listed);
            return nullptr;
        }
    }
    // Taken by the server just now: its worker is on the way.
    wait_ready(self.ready, nullptr);
    return taken();
}

thread_local const WorkerStart* running_start = nullptr;

void* run_workers(void* data) {
    std::unique_ptr<WorkerStart> start(static_cast<WorkerStart*>(data));
    while (start) {
        running_start = start.get();
        start->entry(start->arguments);
        running_start = nullptr;
        if (start->returned) start->returned();
        start.reset();
        worker_returned();
        // A report the worker left is printed when its thread ends, as ever.
        if (fail_pending()) break;
        start = next_start();
    }
    return nullptr;
}

// An idle thread, start handed to it; null (start left) when none waits.
IdleThread* take_idle_thread(std::unique_ptr<WorkerStart>& start) {
    Threads& all = threads();
    std::lock_guard<std::mutex> guard(all.lock);
    if (all.idle.empty()) return nullptr;
    IdleThread* idle = all.idle.back();
    all.idle.pop_back();
    idle->start = std::move(start);
    return idle;
}

// A detached thread with a roomy stack. The stop signals stay blocked there,
// so that they reach the server's loop thread and never interrupt a
// worker's system call. 0, or an error number.
int create_thread(WorkerStart* start) {
    pthread_attr_t attributes;
    int result = pthread_attr_init(&attributes);
    if (result != 0) return result;
    result = pthread_attr_setstacksize(&attributes, WorkerPool::STACK_BYTES);
    if (result == 0) result = pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    if (result == 0) {
        sigset_t stop_signals, previous;
        sigemptyset(&stop_signals);
        sigaddset(&stop_signals, SIGINT);
        sigaddset(&stop_signals, SIGTERM);
        sigaddset(&stop_signals, SIGHUP);
        pthread_sigmask(SIG_BLOCK, &stop_signals, &previous);
        pthread_t thread;
        result = pthread_create(&thread, &attributes, run_workers, start);
        pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    }
    pthread_attr_destroy(&attributes);
    return result;
}

} // namespace

bool WorkerPool::start(std::unique_ptr<WorkerStart> start) {
    workers_running++;
    if (IdleThread* idle = take_idle_thread(start)) {
        sem_post(&idle->ready);
        return true;
    }
    int error = create_thread(start.get());
    if (error != 0) {
        worker_returned();
        fail_new("WorkerPool::start ",
                 "pthread_create() failed Reason code:" + Str::from_long(error));
        return false;
    }
    // The new thread owns it now.
    start.release();
    return true;
}

const WorkerStart* WorkerPool::current() {
    return running_start;
}

int32_t WorkerPool::running() {
    return workers_running;
}

bool WorkerPool::wait_until_none_runs(int timeout_ms) {
    std::unique_lock<std::mutex> guard(workers_lock);
    return workers_changed.wait_for(guard, std::chrono::milliseconds(timeout_ms),
                                    [] { return workers_running == 0; });
}
