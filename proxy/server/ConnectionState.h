// ConnectionState: what the server's loop and a worker thread of this
// process both see of one browser connection, without a message between
// them: whether its request head is in, since when it has waited for one,
// and whether it was taken beyond maxcon. The loop may drop a connection
// only while it waits for a head, and a worker may start on a request only
// while its connection was not dropped: one atomic step decides which of
// the two came first.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

class ConnectionState {
public:
    using Clock = std::chrono::steady_clock;

    ConnectionState() : waiting_since_(Clock::now().time_since_epoch().count()) {}
    ConnectionState(const ConnectionState&) = delete;
    ConnectionState& operator=(const ConnectionState&) = delete;

    // The worker has a whole request head: false when the server dropped
    // the connection first.
    bool take_head() {
        int32_t expected = AWAITING_HEAD;
        return phase_.compare_exchange_strong(expected, HEAD_IN) || expected == HEAD_IN;
    }
    // The answer is out and the next request is awaited from now on.
    void await_head() {
        waiting_since_.store(Clock::now().time_since_epoch().count());
        int32_t expected = HEAD_IN;
        phase_.compare_exchange_strong(expected, AWAITING_HEAD);
    }
    // The server gives the connection's place away: false when its head
    // came meanwhile.
    bool drop() {
        int32_t expected = AWAITING_HEAD;
        return phase_.compare_exchange_strong(expected, DROPPED);
    }

    bool head_in() const { return phase_.load() == HEAD_IN; }
    Clock::time_point waiting_since() const {
        return Clock::time_point(Clock::duration(waiting_since_.load()));
    }

    // Taken beyond maxcon: a request for elsewhere waits for a slot, which
    // only the server's loop can give (see CommandServer::head_complete).
    bool reserve() const { return reserve_.load(); }
    void set_reserve(bool reserve) { reserve_.store(reserve); }

private:
    enum Phase : int32_t { AWAITING_HEAD, HEAD_IN, DROPPED };

    std::atomic<int32_t> phase_{AWAITING_HEAD};
    std::atomic<Clock::rep> waiting_since_;
    std::atomic<bool> reserve_{false};
};
