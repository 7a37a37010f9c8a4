#include "foundation/BufStream.h"

#include "foundation/Fail.h"

#include <algorithm>
#include <cstring>
#include <new>

BufReadable::BufReadable(Readable& source, int32_t size) : source_(source) {
    if (size >= 0) buffer_ = new (std::nothrow) char[size_t(size) + 1];
    if (!buffer_) {
        alloc_failed_ = true;
        fail_new("BufReadable: ", "unable to allocate read-buffer");
        return;
    }
    size_ = size;
}

BufReadable::~BufReadable() { delete[] buffer_; }

int32_t BufReadable::eread(void* buffer, int32_t count) {
    if (count <= 0) return 0;
    if (alloc_failed_) {
        read_error_ = 1;
        return 0;
    }
    char* out = static_cast<char*>(buffer);

    int32_t delivered = std::min(count, buffered_);
    std::memcpy(out, buffer_ + position_, size_t(delivered));
    position_ += delivered;
    buffered_ -= delivered;
    if (delivered == count) return count;
    // A failed stream stays failed until its flag is cleared. Going back to a
    // source that has hit its end would only raise a new report there, which
    // would push the pending one out as an untreated malfunction.
    if (read_error_) return delivered;

    int32_t wanted = count - delivered;
    if (wanted >= size_) {
        // Large requests bypass the buffer.
        delivered += source_.eread(out + delivered, wanted);
        if (source_.read_error()) read_error_ = source_.read_error();
        return delivered;
    }

    // A short refill is the normal end of a file: the source's report and
    // flag are dropped; only a request that stays unsatisfied is a failure.
    bool source_was_clear = source_.read_error() == 0;
    int32_t got = source_.eread(buffer_, size_);
    if (got < size_) {
        if (source_was_clear && source_.read_error()) fail_take();
        source_.set_read_error(0);
    }
    buffered_ = std::max(got, 0);
    position_ = 0;

    int32_t more = std::min(wanted, buffered_);
    std::memcpy(out + delivered, buffer_, size_t(more));
    position_ += more;
    buffered_ -= more;
    delivered += more;
    if (delivered < count) {
        fail_new("BufReadable::eread ", "short file");
        read_error_ = 1;
    }
    return delivered;
}

BufWriteable::BufWriteable(Writeable& target, int32_t size) : target_(target) {
    if (size >= 0) buffer_ = new (std::nothrow) char[size_t(size) + 1];
    if (!buffer_) {
        alloc_failed_ = true;
        fail_new("BufWriteable: ", "unable to allocate write-buffer");
        return;
    }
    size_ = size;
}

BufWriteable::~BufWriteable() {
    if (flush() != 0) {
        fail_chain("~BufWriteable: ", "unable to flush buffer before destruction");
        fail_print();
    }
    delete[] buffer_;
}

int32_t BufWriteable::ewrite(const void* buffer, int32_t count) {
    if (count <= 0) return 0;
    if (alloc_failed_) {
        write_error_ = 1;
        return 0;
    }
    if (count > size_ - used_ && flush() != 0) {
        fail_chain("BufWriteable::ewrite ", "write failed");
        return 0;
    }
    if (count > size_) {
        int32_t written = target_.ewrite(buffer, count);
        // Object drains look at this stream's flag, so a failed bypass shows here too.
        if (target_.write_error()) write_error_ = target_.write_error();
        return written;
    }
    std::memcpy(buffer_ + used_, buffer, size_t(count));
    used_ += count;
    return count;
}

int BufWriteable::flush() {
    if (used_ == 0) return 0;
    int32_t pending = used_;
    int32_t written = target_.ewrite(buffer_, pending);
    used_ = 0;
    if (written < pending) {
        write_error_ = 1;
        fail_chain("BufWriteable::flush ", "error while flushing buffer");
        return -1;
    }
    return 0;
}
