#include "foundation/DirectoryLock.h"

#include "foundation/Fail.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char REPORTER[] = "DirectoryLock: ";

void make_directories(const Str& dir) {
    for (uint32_t i = 1; i <= dir.length(); i++) {
        if (i < dir.length() && dir[i] != '/') continue;
        ::mkdir(dir.substr(0, i).c_str(), 0777);
    }
}

long read_pid(int fd) {
    char text[32] = {};
    ssize_t n = ::pread(fd, text, sizeof text - 1, 0);
    if (n <= 0) return 0;
    char* end = nullptr;
    long pid = std::strtol(text, &end, 10);
    return end != text && pid > 0 ? pid : 0;
}

} // namespace

DirectoryLock::~DirectoryLock() {
    if (fd_ >= 0) ::close(fd_);
}

DirectoryLock::Result DirectoryLock::take(const Str& directory, const char* file_name) {
    if (!directory.empty()) make_directories(directory);
    Str path = directory;
    path += '/';
    path += file_name;
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        fail_new(REPORTER, "unable to open lock file '" + path + "': " + std::strerror(errno));
        return FAILED;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        int error = errno;
        holder_ = read_pid(fd);
        ::close(fd);
        if (error == EWOULDBLOCK) return HELD;
        fail_new(REPORTER, "unable to lock '" + path + "': " + std::strerror(error));
        return FAILED;
    }
    // The previous holder's number may still be there.
    Str pid = Str::from_ulong(uint32_t(::getpid()));
    pid += '\n';
    if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, pid.data(), pid.length(), 0) != ssize_t(pid.length())) {
        fail_new(REPORTER, "unable to write lock file '" + path + "': " + std::strerror(errno));
        ::close(fd);
        return FAILED;
    }
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
    return TAKEN;
}
