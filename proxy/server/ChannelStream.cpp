#include "proxy/server/ChannelStream.h"

#include "foundation/Fail.h"

#include <cerrno>
#include <cstring>
#include <sys/socket.h>

int32_t ChannelReader::eread(void* buffer, int32_t count) {
    char* out = static_cast<char*>(buffer);
    int32_t done = 0;
    while (done < count) {
        if (buffered_ == 0 && (read_error_ || !refill())) {
            read_error_ = 1;
            break;
        }
        int32_t take = count - done < buffered_ ? count - done : buffered_;
        std::memcpy(out + done, buffer_ + position_, size_t(take));
        position_ += take;
        buffered_ -= take;
        done += take;
    }
    return done;
}

bool ChannelReader::refill() {
    position_ = 0;
    buffered_ = 0;
    // Waits without limit: every question is answered, and a peer that goes
    // away closes the channel (0 bytes).
    ssize_t n;
    do
        n = ::recv(handle_, buffer_, BUFFER_SIZE, 0);
    while (n < 0 && errno == EINTR);
    if (n <= 0) {
        // A closed peer leaves no error number: its reason code is 0.
        int error = n < 0 ? errno : 0;
        fail_new("ChannelReader::refill ", "read-error Reason code:" + Str::from_long(error));
        return false;
    }
    buffered_ = int32_t(n);
    return true;
}

bool ChannelReader::next_code(int32_t& code) const {
    if (buffered_ < 4) return false;
    // Codes travel as 4-byte little-endian values.
    const auto* bytes = reinterpret_cast<const unsigned char*>(buffer_ + position_);
    code = int32_t(uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 |
                   uint32_t(bytes[3]) << 24);
    return true;
}

int32_t MessageBuffer::ewrite(const void* buffer, int32_t count) {
    if (count <= 0) return 0;
    if (bytes.append(static_cast<const char*>(buffer), uint32_t(count)) < 0) {
        write_error_ = 1;
        return 0;
    }
    return count;
}
