// Buffered byte streams. The cache database is read and written through
// 64 KiB buffers; requests larger than the buffer bypass it.
#pragma once

#include "foundation/ByteStream.h"

constexpr int32_t STREAM_BUFFER_SIZE = 65536;

class BufReadable : public Readable {
public:
    BufReadable(Readable& source, int32_t size = STREAM_BUFFER_SIZE);
    ~BufReadable() override;
    int32_t eread(void* buffer, int32_t count) override;

private:
    Readable& source_;
    char* buffer_ = nullptr;
    int32_t size_ = 0;
    int32_t buffered_ = 0; // bytes not yet consumed
    int32_t position_ = 0;
    bool alloc_failed_ = false;
};

class BufWriteable : public Writeable {
public:
    BufWriteable(Writeable& target, int32_t size = STREAM_BUFFER_SIZE);
    // Flushes; a failure is chained and printed.
    ~BufWriteable() override;
    int32_t ewrite(const void* buffer, int32_t count) override;
    int flush(); // 0 or -1

private:
    Writeable& target_;
    char* buffer_ = nullptr;
    int32_t size_ = 0;
    int32_t used_ = 0;
    bool alloc_failed_ = false;
};
