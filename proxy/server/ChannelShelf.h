// ChannelShelf: command channels kept from one browser connection to the
// next. Workers are threads of this process, so making a channel (a socket
// pair) and closing it again for every connection is pure cost: a channel
// whose worker said Finished, and whose ends are both quiet once the server
// and the worker thread have let go of it, waits on the shelf for the next
// connection. A channel that ended any other way is closed.
#pragma once

#include <cstddef>
#include <mutex>

struct ChannelPair {
    int server_end = -1;
    int worker_end = -1;
};

// A channel lent to its two users, the server's CmdSocket and the worker's
// thread. The last of them to let go shelves it (when both ended cleanly)
// or closes it.
class ChannelLoan {
public:
    explicit ChannelLoan(ChannelPair pair) : pair_(pair) {}
    ChannelLoan(const ChannelLoan&) = delete;
    ChannelLoan& operator=(const ChannelLoan&) = delete;

    const ChannelPair& pair() const { return pair_; }
    void let_go(bool clean);
    // Neither user took it up: closed at once.
    void abandon() {
        let_go(false);
        let_go(false);
    }

private:
    std::mutex lock_;
    int users_ = 2;
    bool clean_ = true;
    ChannelPair pair_;
};

namespace ChannelShelf {

// Channels kept at most; more idle ones are closed.
constexpr size_t LIMIT = 128;

// A channel from the shelf, else a new one; false with a report pending.
bool take(ChannelPair& pair);
// Kept when both ends are quiet and there is room, else closed.
void put_back(const ChannelPair& pair);
// Channels on the shelf now.
size_t held();

} // namespace ChannelShelf
