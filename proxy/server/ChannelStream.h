// The byte-level pieces both ends of a command channel share: a buffered
// reader and a buffer that collects one message (records of Command.h).
#pragma once

#include "foundation/ByteStream.h"
#include "foundation/Str.h"

#include <cstdint>

// Reads a channel through a buffer: one receive takes what the peer sent,
// often two records at once, rather than one receive per field.
class ChannelReader : public Readable {
public:
    // handle: the channel's connected socket, not owned; -1 for none yet.
    explicit ChannelReader(int handle = -1) : handle_(handle) {}
    ChannelReader(const ChannelReader&) = delete;
    ChannelReader& operator=(const ChannelReader&) = delete;

    void attach(int handle) { handle_ = handle; }

    // Blocks until count bytes have arrived. A failed receive or the peer's
    // end sets the read error, reported the first time; from then on every
    // read fails at once.
    int32_t eread(void* buffer, int32_t count) override;

    // Bytes from the peer wait in the buffer: a read needs no receive.
    bool pending() const { return buffered_ > 0; }
    // The code of the next record when the buffer holds it already.
    bool next_code(int32_t& code) const;
    // Forgets the bytes buffered.
    void drop() { position_ = buffered_ = 0; }

private:
    static constexpr int32_t BUFFER_SIZE = 4096;

    // Waits for at least one byte and takes all that came.
    bool refill();

    int handle_;
    char buffer_[BUFFER_SIZE];
    int32_t position_ = 0;
    int32_t buffered_ = 0;
};

// Collects one message, so that it leaves in a single send.
class MessageBuffer : public Writeable {
public:
    int32_t ewrite(const void* buffer, int32_t count) override;
    Str bytes;
};
