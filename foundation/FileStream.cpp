#include "foundation/FileStream.h"

#include "foundation/Fail.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

// Files are created with mode 0666; the process's umask takes away the rest.
constexpr mode_t FILE_MODE = 0666;

int open_file(const Str& path, int flags, int access) {
    int fd;
    do {
        fd = ::open(path.c_str(), (flags & ~O_ACCMODE) | access | O_CLOEXEC, FILE_MODE);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

void close_file(int fd) {
    // Not retried on EINTR: on Linux the descriptor is gone either way.
    ::close(fd);
}

} // namespace

IFileStream::IFileStream(const Str& path, int flags) {
    fd_ = open_file(path, flags, O_RDONLY);
    owns_ = fd_ >= 0;
    if (fd_ < 0) {
        open_failed_ = true;
        fail_new("IFileStream: unable to open file ", path);
    }
}

IFileStream::IFileStream(int fd, bool owns) : fd_(fd), owns_(owns) {}

IFileStream::~IFileStream() {
    if (owns_ && fd_ >= 0) close_file(fd_);
}

int32_t IFileStream::eread(void* buffer, int32_t count) {
    char* out = static_cast<char*>(buffer);
    int32_t done = 0;
    while (done < count) {
        ssize_t got = ::read(fd_, out + done, size_t(count - done));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        done += int32_t(got);
    }
    if (done < count && !read_error_) {
        read_error_ = 1;
        fail_new("IFileStream::eread ", "read-error");
    }
    return done;
}

OFileStream::OFileStream(const Str& path, int flags) {
    fd_ = open_file(path, flags, O_WRONLY);
    owns_ = fd_ >= 0;
    if (fd_ < 0) {
        open_failed_ = true;
        fail_new("OFileStream: unable to open file ", path);
    }
}

OFileStream::OFileStream(int fd, bool owns) : fd_(fd), owns_(owns) {}

OFileStream::~OFileStream() {
    if (owns_ && fd_ >= 0) close_file(fd_);
}

int32_t OFileStream::ewrite(const void* buffer, int32_t count) {
    const char* in = static_cast<const char*>(buffer);
    int32_t done = 0;
    while (done < count) {
        ssize_t put = ::write(fd_, in + done, size_t(count - done));
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) break;
        done += int32_t(put);
    }
    if (done < count && !write_error_) {
        write_error_ = 1;
        fail_new("OFileStream::ewrite ", "write-error");
    }
    return done;
}

// The standard streams live until the process ends (reports are written at
// exit), so they are never destroyed.
IFileStream& std_in() {
    static IFileStream* stream = new IFileStream(0, false);
    return *stream;
}

OFileStream& std_out() {
    static OFileStream* stream = new OFileStream(1, false);
    return *stream;
}

OFileStream& std_err() {
    static OFileStream* stream = new OFileStream(2, false);
    return *stream;
}
