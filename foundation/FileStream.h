// File streams on operating-system descriptors, and the three standard streams.
#pragma once

#include "foundation/ByteStream.h"
#include "foundation/Str.h"

class IFileStream : public Readable {
public:
    // flags: extra open(2) flags; the access mode is always read-only.
    IFileStream(const Str& path, int flags = 0);
    IFileStream(int fd, bool owns); // wraps an open descriptor
    ~IFileStream() override;
    int32_t eread(void* buffer, int32_t count) override;
    bool open_failed() const { return open_failed_; }
    int fd() const { return fd_; }

private:
    int fd_ = -1;
    bool owns_ = false;
    bool open_failed_ = false;
};

class OFileStream : public Writeable {
public:
    // flags: extra open(2) flags (O_CREAT, O_TRUNC, ...); the access mode is write-only.
    OFileStream(const Str& path, int flags = 0);
    OFileStream(int fd, bool owns);
    ~OFileStream() override;
    int32_t ewrite(const void* buffer, int32_t count) override;
    bool open_failed() const { return open_failed_; }
    int fd() const { return fd_; }

private:
    int fd_ = -1;
    bool owns_ = false;
    bool open_failed_ = false;
};

// Process-wide, never closed.
IFileStream& std_in();
OFileStream& std_out();
OFileStream& std_err();
