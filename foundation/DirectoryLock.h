// DirectoryLock: one process at a time works in a directory. The lock is a
// flock(2) on a file inside it, which holds the holder's process id as text
// so that a second process can say who is in the way. The kernel drops the
// lock when the holder ends, however it ends, so a crash never blocks the
// next start; the file itself may stay.
#pragma once

#include "foundation/Str.h"

#include <cstdint>

class DirectoryLock {
public:
    enum Result { TAKEN = 0, HELD = 1, FAILED = -1 };

    DirectoryLock() = default;
    ~DirectoryLock();
    DirectoryLock(const DirectoryLock&) = delete;
    DirectoryLock& operator=(const DirectoryLock&) = delete;

    // Locks file_name in directory (made with its parents when missing).
    // HELD: another process holds it, holder() names it; FAILED: a report
    // is pending.
    Result take(const Str& directory, const char* file_name);
    // The process id read from the file of a lock held elsewhere; 0 when
    // the file did not name one (yet).
    long holder() const { return holder_; }

private:
    int fd_ = -1;
    long holder_ = 0;
};
