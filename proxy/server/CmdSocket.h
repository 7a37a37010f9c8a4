// CmdSocket: the server's end of the command channel to one request worker
// (the message codes are in Command.h). Constructing it starts the worker
// (WorkerPool) with the program entry and a synthetic argument list, then
// waits for the worker to connect back to the internal port on 127.0.0.1.
//
// The server's loop starts a worker without waiting (DEFER) and takes the
// connection when the internal listener becomes readable, so that it goes on
// serving the other workers meanwhile; the limit and the failure texts are
// those of the waiting constructor.
//
// The internal listener is one per process, made on first use and kept
// until the program ends; only a changed internal port replaces it.
#pragma once

#include "foundation/ArgList.h"
#include "foundation/ByteStream.h"
#include "foundation/Socket.h"
#include "foundation/Str.h"
#include "proxy/server/ChannelStream.h"
#include "proxy/server/WorkerPool.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

class CmdSocket : public Readable, public Writeable {
public:
    using Entry = WorkerEntry;

    static constexpr int ACCEPT_TIMEOUT_SECONDS = 60;

    enum Defer { DEFER };

    // Appends "-icport" and internal_port to a copy of arguments, runs entry
    // on a worker thread with that copy and accepts the worker's connection.
    // name appears only in the failure text; reserved is 0. connected()
    // tells the result; on failure a report is pending.
    CmdSocket(const Str& name, const ArgList& arguments, Entry entry, int32_t reserved,
              uint16_t internal_port, int accept_timeout_seconds = ACCEPT_TIMEOUT_SECONDS);
    // The same without waiting: unless worker_started() is false (report
    // pending), the caller watches listener_handle() and calls take_worker().
    CmdSocket(const Str& name, const ArgList& arguments, Entry entry, int32_t reserved,
              uint16_t internal_port, Defer, int accept_timeout_seconds = ACCEPT_TIMEOUT_SECONDS);
    // Shuts the connection down in both directions, so the worker notices.
    ~CmdSocket() override;
    CmdSocket(const CmdSocket&) = delete;
    CmdSocket& operator=(const CmdSocket&) = delete;

    int32_t eread(void* buffer, int32_t count) override;
    int32_t ewrite(const void* buffer, int32_t count) override;

    // 1 until the worker has connected and the connection is set up, then 0.
    int32_t status() const { return status_; }
    bool connected() const { return status_ == 0; }
    // The worker was started; it may run on even when connecting failed.
    bool worker_started() const { return worker_started_; }
    // The connection's handle for the server's wait; -1 while not connected.
    int handle() const;
    // Bytes from the worker wait in the read buffer: the next command can
    // be read without waiting for the handle.
    bool pending() const { return reader_.pending(); }
    // The code of the next command when the read buffer holds it already.
    bool next_code(int32_t& code) const { return reader_.next_code(code); }

    // Answers kept back (held) leave in one piece with the next one sent,
    // so that a worker that asked two questions at once is woken once.
    // failure_text is reported if the piece cannot be sent.
    void hold(const Str& message, const char* failure_text);
    bool holding() const { return !held_.empty(); }
    // Sends the held answers and then message (which may be empty) in one
    // piece; false when that failed. failures() then lists the failure texts
    // of the held answers, in order.
    bool send_with_held(const Str& message);
    const std::vector<const char*>& failures() const { return failures_; }

    // While a deferred start waits: the internal listener to watch, and the
    // milliseconds left of the accept limit.
    int listener_handle() const;
    int milliseconds_left() const;
    // readable: the listener showed a connection. 0 connected; 1 still
    // waiting (nothing yet, or a connection not from a loopback address was
    // dropped); -1 failed with a report pending (also when the time is up).
    int32_t take_worker(bool readable);

private:
    using Clock = std::chrono::steady_clock;

    bool start(const Str& name, const ArgList& arguments, Entry entry, int accept_timeout_seconds);
    int32_t wait_for_worker();
    // take_worker with the internal listener locked.
    int32_t take_locked(bool readable);

    std::unique_ptr<Socket> connection_;
    ChannelReader reader_;
    int32_t status_ = 1;
    bool worker_started_ = false;
    uint16_t port_ = 0;
    Clock::time_point deadline_;
    Str held_;
    std::vector<const char*> held_failures_;
    std::vector<const char*> failures_;
};
