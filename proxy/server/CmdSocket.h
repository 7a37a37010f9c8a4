// CmdSocket: the server's end of the command channel to one request worker
// (the message codes are in Command.h). Constructing it starts the worker
// thread with the program entry and a synthetic argument list, then waits
// for the worker to connect back to the internal port on 127.0.0.1.
//
// The internal listening socket is one per process, made on first use and
// kept until the program ends.
#pragma once

#include "foundation/ArgList.h"
#include "foundation/ByteStream.h"
#include "foundation/Socket.h"
#include "foundation/Str.h"

#include <cstdint>
#include <memory>

class CmdSocket : public Readable, public Writeable {
public:
    // The program entry as a worker thread calls it: the whole argument list,
    // beginning with the program's file name.
    using Entry = int (*)(ArgList& arguments);

    static constexpr int ACCEPT_TIMEOUT_SECONDS = 60;
    // Name resolution alone can need far more than a small thread stack.
    static constexpr size_t WORKER_STACK_BYTES = 1024 * 1024;

    // Appends "-icport" and internal_port to a copy of arguments, runs entry
    // on a new thread with that copy and accepts the worker's connection.
    // name appears only in the failure text; reserved is 0. connected()
    // tells the result; on failure a report is pending.
    CmdSocket(const Str& name, const ArgList& arguments, Entry entry, int32_t reserved,
              uint16_t internal_port, int accept_timeout_seconds = ACCEPT_TIMEOUT_SECONDS);
    // Shuts the connection down in both directions, so the worker notices.
    ~CmdSocket() override;
    CmdSocket(const CmdSocket&) = delete;
    CmdSocket& operator=(const CmdSocket&) = delete;

    int32_t eread(void* buffer, int32_t count) override;
    int32_t ewrite(const void* buffer, int32_t count) override;

    // 1 until the worker has connected and the connection is set up, then 0.
    int32_t status() const { return status_; }
    bool connected() const { return status_ == 0; }
    // The worker thread was started; it may run on even when connecting failed.
    bool worker_started() const { return worker_started_; }
    // The connection's handle for the server's wait; -1 while not connected.
    int handle() const;

    // Worker threads started and not yet returned, in this process.
    static int32_t running_workers();
    // Waits at most timeout_ms for every worker thread to return; true when none runs.
    static bool wait_for_workers(int timeout_ms);

private:
    int32_t wait_for_worker(int timeout_seconds);

    std::unique_ptr<Socket> connection_;
    int32_t status_ = 1;
    bool worker_started_ = false;
};
