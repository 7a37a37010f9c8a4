#include "proxy/server/CacheFileWriter.h"

#include "proxy/cache/CacheEntry.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int ROOM_ROUNDS = 16;

bool out_of_space(int error) { return error == ENOSPC || error == EDQUOT; }

Str reason(const char* what, const Str& path, int error) {
    return Str(what) + " '" + path + "': " + std::strerror(error);
}

} // namespace

bool CacheFileWriter::begin(const Str& cache_file, const Str& head) {
    abandon();
    failure_ = Str();
    body_ = 0;
    final_path_ = cache_file;
    unfinished_ = unfinished_path(cache_file);
    // A leftover of an earlier run under this name is no document.
    ::unlink(unfinished_.c_str());
    fd_ = ::open(unfinished_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd_ < 0) return drop(reason("unable to create", unfinished_, errno));
    pending_ = head;
    return true;
}

bool CacheFileWriter::append(const char* bytes, uint32_t count) {
    if (fd_ < 0) return false;
    if (pending_.length() + count > BUFFER_SIZE && !flush()) return false;
    if (count >= BUFFER_SIZE) {
        if (!write_all(bytes, count)) return false;
    } else if (pending_.append(bytes, count) < 0) {
        return drop("out of memory");
    }
    body_ += count;
    return true;
}

bool CacheFileWriter::commit() {
    if (fd_ < 0 || !flush()) return false;
    int closed = ::close(fd_);
    int error = errno;
    fd_ = -1;
    if (closed != 0) {
        ::unlink(unfinished_.c_str());
        return drop(reason("unable to close", unfinished_, error));
    }
    if (::rename(unfinished_.c_str(), final_path_.c_str()) != 0) {
        error = errno;
        ::unlink(unfinished_.c_str());
        return drop(reason("unable to rename", unfinished_, error));
    }
    return true;
}

void CacheFileWriter::abandon() {
    if (fd_ < 0) return;
    ::close(fd_);
    fd_ = -1;
    ::unlink(unfinished_.c_str());
    pending_ = Str();
}

bool CacheFileWriter::flush() {
    if (pending_.empty()) return true;
    bool written = write_all(pending_.data(), pending_.length());
    pending_ = Str();
    return written;
}

bool CacheFileWriter::write_all(const char* bytes, uint32_t count) {
    int rounds = 0;
    while (count > 0) {
        ssize_t n = ::write(fd_, bytes, count);
        if (n > 0) {
            bytes += n;
            count -= uint32_t(n);
            continue;
        }
        int error = n < 0 ? errno : ENOSPC;
        if (n < 0 && error == EINTR) continue;
        if (!out_of_space(error) || rounds++ >= ROOM_ROUNDS)
            return drop(reason("unable to write", unfinished_, error));
        uint64_t wanted = count < ROOM_STEP ? ROOM_STEP : count;
        if (make_room_(wanted) == 0)
            return drop(reason("no room left for", unfinished_, error));
    }
    return true;
}

bool CacheFileWriter::drop(const Str& why) {
    if (failure_.empty()) failure_ = why;
    abandon();
    return false;
}
