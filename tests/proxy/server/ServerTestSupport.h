// Test helpers for the server side of the command channel: temporary
// folders, free loopback ports, captured standard error, and fake workers
// that connect back to the server's internal port like real ones and hand
// their end of the channel to the test.
#pragma once

#include "testsupport/StderrCapture.h"

#include "foundation/ArgList.h"
#include "foundation/InterNetClient.h"
#include "foundation/InterNetServer.h"
#include "foundation/ObjectStream.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <string>
#include <unistd.h>
#include <vector>

namespace server_test {

namespace fs = std::filesystem;

// Bounded waits: long enough for a loaded machine, never part of a check.
constexpr auto WAIT_LIMIT = std::chrono::seconds(30);

class TempDir {
public:
    TempDir() {
        char pattern[] = "/tmp/harbord_server_XXXXXX";
        if (::mkdtemp(pattern)) path = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        if (!path.empty()) fs::remove_all(path, ignored);
    }
    fs::path path;
};

// A port nothing listens on right now (bound once, then released).
inline uint16_t free_port() {
    InterNetServer probe(0, loopback_address());
    return probe.failed() ? 0 : probe.port();
}

inline std::vector<std::string> words(const ArgList& list) {
    std::vector<std::string> out;
    for (ArgList::Node* node = list.first(); node; node = node->next)
        out.emplace_back(node->value.data(), node->value.length());
    return out;
}

inline std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

using CaptureStderr = StderrCapture;

// One started fake worker: the arguments it was given and its end of the
// channel (null when it did not connect).
struct FakeWorker {
    std::vector<std::string> arguments;
    std::unique_ptr<InterNetClient> channel;

    // The value following name in the arguments, "" when absent.
    std::string argument(const std::string& name) const {
        for (size_t i = 0; i + 1 < arguments.size(); i++)
            if (arguments[i] == name) return arguments[i + 1];
        return "";
    }
};

// Workers started by the entries below, in start order.
class WorkerQueue {
public:
    static WorkerQueue& instance() {
        static WorkerQueue queue;
        return queue;
    }
    void push(std::unique_ptr<FakeWorker> worker) {
        std::lock_guard<std::mutex> guard(lock_);
        workers_.push_back(std::move(worker));
        changed_.notify_all();
    }
    // The next started worker; null when none came within the wait limit.
    std::unique_ptr<FakeWorker> next() {
        std::unique_lock<std::mutex> guard(lock_);
        if (!changed_.wait_for(guard, WAIT_LIMIT, [this] { return !workers_.empty(); }))
            return nullptr;
        auto worker = std::move(workers_.front());
        workers_.pop_front();
        return worker;
    }
    size_t waiting() {
        std::lock_guard<std::mutex> guard(lock_);
        return workers_.size();
    }
    void clear() {
        std::lock_guard<std::mutex> guard(lock_);
        workers_.clear();
    }

private:
    std::mutex lock_;
    std::condition_variable changed_;
    std::deque<std::unique_ptr<FakeWorker>> workers_;
};

// A program entry that connects to "-icport" as a worker does and hands the
// connection to the test instead of serving a request.
inline int connecting_entry(ArgList& arguments) {
    auto worker = std::make_unique<FakeWorker>();
    worker->arguments = words(arguments);
    uint16_t port = uint16_t(std::stoul("0" + worker->argument("-icport")));
    worker->channel = std::make_unique<InterNetClient>("127.0.0.1", port);
    if (worker->channel->failed()) worker->channel.reset();
    WorkerQueue::instance().push(std::move(worker));
    return 0;
}

// A program entry that never connects back.
inline int silent_entry(ArgList& arguments) {
    auto worker = std::make_unique<FakeWorker>();
    worker->arguments = words(arguments);
    WorkerQueue::instance().push(std::move(worker));
    return 0;
}

} // namespace server_test
