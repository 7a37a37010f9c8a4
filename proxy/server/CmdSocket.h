// CmdSocket: the server's end of the command channel to one request worker
// (the message codes are in Command.h). Constructing it takes a channel, a
// connected pair of local sockets that no other program can reach, from the
// ChannelShelf, and starts the worker (WorkerPool) with the program entry
// and a synthetic argument list that lends the worker its end ("-icsocket"
// and the handle, "-icshared 1"). The server's end is connected at once:
// there is nothing to accept. A channel whose worker said Finished goes back
// on the shelf; any other is shut down, so that the worker notices.
#pragma once

#include "foundation/ArgList.h"
#include "foundation/ByteStream.h"
#include "foundation/Socket.h"
#include "foundation/Str.h"
#include "proxy/server/ChannelShelf.h"
#include "proxy/server/ChannelStream.h"
#include "proxy/server/WorkerPool.h"

#include <cstdint>
#include <memory>
#include <vector>

class CmdSocket : public Readable, public Writeable {
public:
    using Entry = WorkerEntry;

    // Far above the largest record a worker sends (an admin request of at
    // most an 8 KB head and a 32 KB body): anything longer is broken.
    static constexpr uint32_t RECORD_LIMIT = 1u << 20;

    // Appends "-icsocket" and the worker's end of a new channel to a copy of
    // arguments and runs entry on a worker thread with that copy (and
    // shares, see DirectLink). name appears only in the failure text.
    // connected() tells the result; on failure a report is pending and no
    // worker runs.
    CmdSocket(const Str& name, const ArgList& arguments, Entry entry, WorkerShares shares = {});
    // Takes handle, a connected channel end, as the server's end.
    explicit CmdSocket(int handle);
    // The worker said Finished and was neither dropped nor cut off: its
    // channel may serve the next connection.
    void finished_cleanly() { clean_ = true; }
    // Shuts the connection down in both directions, so the worker notices.
    ~CmdSocket() override;
    CmdSocket(const CmdSocket&) = delete;
    CmdSocket& operator=(const CmdSocket&) = delete;

    // eread fails (read error, report pending) once the record begun last
    // would grow beyond RECORD_LIMIT.
    int32_t eread(void* buffer, int32_t count) override;
    int32_t ewrite(const void* buffer, int32_t count) override;
    // The next bytes read start a new record.
    void begin_record() { record_bytes_ = 0; }

    bool connected() const { return connection_ != nullptr; }
    // The connection's handle for the server's wait; -1 while not connected.
    int handle() const;
    // Bytes from the worker wait in the read buffer: the next command can
    // be read without waiting for the handle.
    bool pending() const { return reader_.pending(); }
    // The code of the next command when the read buffer holds it already.
    bool next_code(int32_t& code) const { return reader_.next_code(code); }

    // Stops talking to a worker that sent something invalid: the worker's
    // reads find the end, while its last words can still arrive.
    void close_for_writing();
    // Throws away whatever the worker sent, without waiting; true once the
    // worker has closed its end (or the channel failed).
    bool discard();

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

private:
    std::unique_ptr<Socket> connection_;
    std::shared_ptr<ChannelLoan> loan_; // null for a channel taken by handle
    bool clean_ = false;
    ChannelReader reader_;
    uint32_t record_bytes_ = 0;
    Str held_;
    std::vector<const char*> held_failures_;
    std::vector<const char*> failures_;
};
