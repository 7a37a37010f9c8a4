#include "proxy/server/CmdSocket.h"

#include "foundation/Fail.h"

#include <cerrno>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const char REPORTER[] = "CmdSocket: ";

} // namespace

CmdSocket::CmdSocket(const Str& name, const ArgList& arguments, Entry entry,
                     WorkerShares shares) {
    ChannelPair pair;
    if (!ChannelShelf::take(pair)) return;
    auto loan = std::make_shared<ChannelLoan>(pair);
    auto start = std::make_unique<WorkerStart>(WorkerStart{entry, arguments, {}, std::move(shares)});
    start->arguments.append("-icsocket");
    start->arguments.append(Str::from_ulong(uint32_t(pair.worker_end)));
    start->arguments.append("-icshared");
    start->arguments.append("1");
    start->returned = [loan] { loan->let_go(true); };
    if (start->arguments.status() != 0) {
        loan->abandon();
        fail_chain(REPORTER, "unable to build argument list");
        return;
    }
    if (!WorkerPool::start(std::move(start))) {
        loan->abandon();
        fail_chain(REPORTER, Str("unable to create new process '") + name + "'");
        return;
    }
    // The loan closes the handle, or shelves it.
    connection_ = std::make_unique<Socket>(pair.server_end, true);
    loan_ = std::move(loan);
    reader_.attach(connection_->handle());
}

CmdSocket::CmdSocket(int handle) : connection_(std::make_unique<Socket>(handle, false)) {
    reader_.attach(handle);
}

CmdSocket::~CmdSocket() {
    if (connection_ && !clean_) connection_->shutdown();
    if (loan_) loan_->let_go(clean_);
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
    if (count < 0 || uint32_t(count) > RECORD_LIMIT - record_bytes_) {
        read_error_ = 1;
        fail_new("CmdSocket::eread ", "record too long");
        return 0;
    }
    int32_t n = reader_.eread(buffer, count);
    record_bytes_ += uint32_t(n);
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

void CmdSocket::close_for_writing() {
    if (connection_) ::shutdown(connection_->handle(), SHUT_WR);
    held_ = Str();
    held_failures_.clear();
}

bool CmdSocket::discard() {
    reader_.drop();
    if (!connection_) return true;
    char bytes[4096];
    // A few receives at a time: a worker that keeps writing is met again
    // in the next round of the server's loop.
    for (int round = 0; round < 16; round++) {
        ssize_t n = ::recv(connection_->handle(), bytes, sizeof bytes, MSG_DONTWAIT);
        if (n > 0 || (n < 0 && errno == EINTR)) continue;
        return !(n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK));
    }
    return false;
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
