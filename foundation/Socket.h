// Socket: a connected TCP/IPv4 stream socket, shaped as a byte stream so that
// object streams run over it. Reads and writes keep separate sticky error
// flags. eread/ewrite block, switching the socket's mode only for their own
// duration; nbread/nbwrite never block, in either mode. So the socket stays
// in the mode its owner chose.
//
// Addresses are 32-bit IPv4 values in network byte order; 0 means "no address".
#pragma once

#include "foundation/ByteStream.h"
#include "foundation/Str.h"

#include <cstdint>

class Socket : public Readable, public Writeable {
public:
    // Creates a blocking stream socket; failed() tells whether that worked.
    Socket();
    // Wraps an existing connected handle. An attached handle belongs to
    // someone else and is not closed on destruction.
    Socket(int handle, bool attached);
    ~Socket() override;
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    // Blocking: all bytes unless the peer closes or an error occurs.
    int32_t eread(void* buffer, int32_t count) override;
    int32_t ewrite(const void* buffer, int32_t count) override;
    // One receive: the bytes received, 0 when nothing is there (also when the
    // peer has closed), -1 on error.
    int32_t nbread(void* buffer, int32_t count);
    // One send: the bytes sent, 0 when the send would block, -1 on error.
    // more: further bytes follow at once (or the end of the connection), so
    // these may wait to leave in one segment with them.
    int32_t nbwrite(const void* buffer, int32_t count, bool more = false);
    // One receive that waits up to timeout_ms, asleep in the receive itself
    // rather than in a wait before it (the socket becomes blocking and stays
    // so): the bytes received, 0 when the peer closed or the connection was
    // shut down, -1 on error or when the time passed. No report: an idle
    // peer is no failure.
    int32_t receive_waiting(void* buffer, int32_t count, int timeout_ms);

    // Switches the Nagle delay off; 0 or -1.
    int delay_off();
    // Shuts the connection down in both directions; 0 or -1 (no report).
    int shutdown();
    // Ends the receiving side only: a receive asleep on the socket, in
    // another thread too, returns at once. 0 or -1 (no report).
    int stop_receiving();
    // The socket's own mode; 0, or -1 with a report and the read error flag set.
    int to_blocking();
    int to_non_blocking();

    int handle() const { return handle_; }
    bool failed() const { return failed_; }
    bool attached() const { return attached_; }
    bool blocking() const { return blocking_; }

    // A dotted quad is taken as it is; anything else is looked up. 0 on failure.
    static uint32_t hostname_to_ip(const Str& host);

protected:
    // Marks construction as failed and releases the handle, so that a failed
    // client does not keep a descriptor open.
    void fail_construction();

    int handle_ = -1;
    bool blocking_ = true;
    int receive_timeout_ms_ = -1; // as last set for receive_waiting
    bool attached_ = false;
    bool failed_ = true;
};
