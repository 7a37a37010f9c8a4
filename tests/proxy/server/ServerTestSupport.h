// Fake workers for the server side of the command channel: a program entry
// that takes its end of the channel ("-icsocket") like a real worker and
// hands it (and what its thread looked like) to the test.
#pragma once

#include "testsupport/StderrCapture.h"
#include "testsupport/TempDir.h"

#include "foundation/ArgList.h"
#include "foundation/InterNetClient.h"
#include "foundation/Socket.h"
#include "foundation/InterNetServer.h"
#include "foundation/ObjectStream.h"
#include "proxy/server/ChannelStream.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <deque>
#include <memory>
#include <mutex>
#include <pthread.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace server_test {

// A port nothing listens on right now (bound once, then released).
inline uint16_t free_port() { return InterNetServer(0, loopback_address()).port(); }

// A started fake worker: its arguments, its thread, and its end of the channel.
struct FakeWorker {
    std::vector<std::string> arguments;
    pid_t thread = ::gettid();
    size_t stack_bytes = 0;
    bool blocks_stop_signals = false;
    std::unique_ptr<Socket> channel;

    // Ends its part of the channel as a worker does: the server sees the end
    // although the lent handle stays open.
    void end() {
        channel->shutdown();
        channel.reset();
    }
};

// Workers started by the entries below, in start order.
inline std::mutex queue_lock;
inline std::condition_variable queue_changed;
inline std::deque<std::unique_ptr<FakeWorker>> started;

// The next started worker; null when none came within 30 seconds.
inline std::unique_ptr<FakeWorker> next_worker() {
    std::unique_lock<std::mutex> guard(queue_lock);
    if (!queue_changed.wait_for(guard, std::chrono::seconds(30), [] { return !started.empty(); }))
        return nullptr;
    auto worker = std::move(started.front());
    started.pop_front();
    return worker;
}

inline int connecting_entry(ArgList& arguments) {
    auto worker = std::make_unique<FakeWorker>();
    for (ArgList::Node* node = arguments.first(); node; node = node->next)
        worker->arguments.emplace_back(node->value.data(), node->value.length());
    pthread_attr_t attributes;
    pthread_getattr_np(pthread_self(), &attributes);
    pthread_attr_getstacksize(&attributes, &worker->stack_bytes);
    pthread_attr_destroy(&attributes);
    sigset_t mask;
    pthread_sigmask(SIG_SETMASK, nullptr, &mask);
    worker->blocks_stop_signals =
        sigismember(&mask, SIGINT) && sigismember(&mask, SIGTERM) && sigismember(&mask, SIGHUP);
    // The channel is lent for as long as a real worker runs; the fake, which
    // lives on after its entry returned, talks through its own handle of it.
    auto icsocket = std::find(worker->arguments.begin(), worker->arguments.end(), "-icsocket");
    worker->channel = std::make_unique<Socket>(::dup(std::stoi(*(icsocket + 1))), false);
    // A test that reads more than the server sent fails instead of hanging.
    timeval limit{30, 0};
    ::setsockopt(worker->channel->handle(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    std::lock_guard<std::mutex> guard(queue_lock);
    started.push_back(std::move(worker));
    queue_changed.notify_all();
    return 0;
}

// Fields as they travel on the command channel.
template <typename... Fields> std::string encoded(const Fields&... fields) {
    MessageBuffer message;
    BinaryDrain drain(message);
    ((drain << fields), ...);
    return std::string(message.bytes.data(), message.bytes.length());
}

} // namespace server_test
