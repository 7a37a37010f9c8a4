#include "proxy/server/ChannelShelf.h"

#include "foundation/Fail.h"

#include <cerrno>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

std::mutex shelf_lock;

// Never destroyed: workers may still let go of channels while the process ends.
std::vector<ChannelPair>& shelf() {
    static auto* pairs = new std::vector<ChannelPair>;
    return *pairs;
}

// Nothing waits to be read at this end (nor has the other end gone).
bool quiet(int end) {
    char byte;
    ssize_t n = ::recv(end, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
}

void close_pair(const ChannelPair& pair) {
    ::close(pair.server_end);
    ::close(pair.worker_end);
}

} // namespace

void ChannelLoan::let_go(bool clean) {
    bool last = false;
    {
        std::lock_guard<std::mutex> guard(lock_);
        clean_ = clean_ && clean;
        last = --users_ == 0;
    }
    if (!last) return;
    if (clean_)
        ChannelShelf::put_back(pair_);
    else
        close_pair(pair_);
}

bool ChannelShelf::take(ChannelPair& pair) {
    {
        std::lock_guard<std::mutex> guard(shelf_lock);
        if (!shelf().empty()) {
            pair = shelf().back();
            shelf().pop_back();
            return true;
        }
    }
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) < 0) {
        fail_new("CmdSocket: ", "unable to create channel Reason code:" + Str::from_long(errno));
        return false;
    }
    pair = ChannelPair{ends[0], ends[1]};
    return true;
}

void ChannelShelf::put_back(const ChannelPair& pair) {
    if (quiet(pair.server_end) && quiet(pair.worker_end)) {
        std::lock_guard<std::mutex> guard(shelf_lock);
        if (shelf().size() < LIMIT) {
            shelf().push_back(pair);
            return;
        }
    }
    close_pair(pair);
}

size_t ChannelShelf::held() {
    std::lock_guard<std::mutex> guard(shelf_lock);
    return shelf().size();
}
