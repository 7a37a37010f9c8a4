// WorkerPool: the threads that run request workers. A thread that has run
// its worker waits a while for the next one: creating and ending a thread
// per connection costs more than serving a small cached document. Each
// thread still runs one worker at a time, with the argument list a started
// program would have.
#pragma once

#include "foundation/ArgList.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

// The program entry as a worker thread calls it: the whole argument list,
// beginning with the program's file name.
using WorkerEntry = int (*)(ArgList& arguments);

class ConnectionState;
class ServerShare;

// What the server shares with a worker thread of its own (see DirectLink);
// empty for a worker that reaches the server through its channel only.
struct WorkerShares {
    std::shared_ptr<ServerShare> server;
    std::shared_ptr<ConnectionState> connection;
};

// One worker to run: the entry and its arguments, and what to do once the
// entry has returned (on the worker's thread; may be empty).
struct WorkerStart {
    WorkerEntry entry;
    ArgList arguments;
    std::function<void()> returned = {};
    WorkerShares shares = {};
};

class WorkerPool {
public:
    // Name resolution alone can need far more than a small thread stack.
    static constexpr size_t STACK_BYTES = 1024 * 1024;
    // How long a thread waits for its next worker before it ends.
    static constexpr int IDLE_LIMIT_SECONDS = 30;

    // Runs start on an idle thread, or on a new one; the thread owns start
    // once it runs it. false when no thread could be started (report pending).
    static bool start(std::unique_ptr<WorkerStart> start);
    // On a worker's thread, while its entry runs: what it was started with;
    // null elsewhere.
    static const WorkerStart* current();
    // Workers started whose entry has not returned yet.
    static int32_t running();
    // Waits at most timeout_ms for every worker to return; true when none runs.
    static bool wait_until_none_runs(int timeout_ms);
};
