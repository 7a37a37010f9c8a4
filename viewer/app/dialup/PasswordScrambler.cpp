#include "viewer/app/dialup/PasswordScrambler.h"

#include <algorithm>
#include <array>

namespace {

// The program key and the seed byte live here and nowhere else: scrambling
// and unscrambling must use the same values. The seed is also the increment
// added to a key byte after each use while the work buffer is built.
constexpr std::array<uint8_t, 24> kProgramKey = {
    0x5a, 0x81, 0x3c, 0xe7, 0x19, 0xb2, 0x44, 0xd0,
    'Q', 'v', '7', '#', 'p', 'L', '2', '!', 'm', 'Z', '9', '&', 'k', 'T', '4', '*'};
constexpr uint8_t kSeed = 0xA7;

uint8_t RotateRight(uint8_t value, unsigned bits) {
    bits &= 7;
    return static_cast<uint8_t>((value >> bits) | (value << ((8 - bits) & 7)));
}

uint8_t RotateLeft(uint8_t value, unsigned bits) {
    bits &= 7;
    return static_cast<uint8_t>((value << bits) | (value >> ((8 - bits) & 7)));
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

PasswordScrambler::PasswordScrambler() {
    std::array<uint8_t, kProgramKey.size()> key = kProgramKey;
    const size_t n = key.size();

    uint8_t s = kSeed;
    for (uint8_t b : key) s = RotateRight(static_cast<uint8_t>(s + b), 1);

    size_t m = (s & 15u) + n;
    if (m < 40) m += 40;
    m /= 2;

    work_.resize(m);
    size_t next = 0;
    auto take = [&key, &next, n]() {
        uint8_t b = key[next];
        key[next] = static_cast<uint8_t>(b + kSeed);
        next = (next + 1) % n;
        return b;
    };
    for (size_t i = 0; i < m; i++) {
        uint8_t b1 = take();
        s = static_cast<uint8_t>(s + 1 + b1);
        uint8_t b2 = take();
        s = RotateLeft(s, (b2 & 7u) + 1);
        work_[i] = static_cast<uint8_t>(((b1 << 4) & 0xF0) | (s & 15));
    }
    // The key copy does not outlive the build.
    std::fill(key.begin(), key.end(), ' ');

    position_ = m - 1;
    accumulator_ = work_[0];
}

PasswordScrambler::~PasswordScrambler() {
    std::fill(work_.begin(), work_.end(), 0);
}

uint8_t PasswordScrambler::ScrambleByte(uint8_t x) {
    const size_t m = work_.size();
    uint8_t c = work_[position_] ^ x;
    work_[position_] = static_cast<uint8_t>(c + 1);
    size_t s = (accumulator_ & 15u) + 1;
    accumulator_ = static_cast<uint8_t>(accumulator_ + c);
    size_t q = (position_ + m - s) % m;
    uint8_t d = work_[q] ^ c;
    work_[q] = static_cast<uint8_t>(d + 1);
    position_ = (q + m - ((d & 15u) + 1)) % m;
    return d;
}

uint8_t PasswordScrambler::UnscrambleByte(uint8_t y) {
    const size_t m = work_.size();
    size_t s = (accumulator_ & 15u) + 1;
    size_t q = (position_ + m - s) % m;
    uint8_t t = work_[q];
    work_[q] = static_cast<uint8_t>(y + 1);
    uint8_t c = y ^ t;
    accumulator_ = static_cast<uint8_t>(accumulator_ + c);
    uint8_t u = work_[position_];
    work_[position_] = static_cast<uint8_t>(c + 1);
    position_ = (q + m - ((y & 15u) + 1)) % m;
    return c ^ u;
}

std::string PasswordScrambler::Scramble(const std::string& bytes) {
    PasswordScrambler state;
    std::string out(bytes.size(), '\0');
    for (size_t i = 0; i < bytes.size(); i++)
        out[i] = static_cast<char>(state.ScrambleByte(static_cast<uint8_t>(bytes[i])));
    return out;
}

std::string PasswordScrambler::Unscramble(const std::string& bytes) {
    PasswordScrambler state;
    std::string out(bytes.size(), '\0');
    for (size_t i = 0; i < bytes.size(); i++)
        out[i] = static_cast<char>(state.UnscrambleByte(static_cast<uint8_t>(bytes[i])));
    return out;
}

std::string ScramblePasswordHex(const std::string& password) {
    static const char kDigits[] = "0123456789abcdef";
    std::string scrambled = PasswordScrambler::Scramble(password);
    std::string hex;
    hex.reserve(scrambled.size() * 2);
    for (char c : scrambled) {
        uint8_t b = static_cast<uint8_t>(c);
        hex += kDigits[b >> 4];
        hex += kDigits[b & 15];
    }
    return hex;
}

std::string UnscramblePasswordHex(const std::string& stored) {
    size_t begin = stored.find_first_not_of(" \t\r\n");
    if (begin == std::string::npos) return std::string();
    size_t end = stored.find_last_not_of(" \t\r\n");
    std::string hex = stored.substr(begin, end - begin + 1);
    // Half a byte or a stray character means the value was not written by
    // us: no password rather than a wrong one.
    if (hex.size() % 2 != 0) return std::string();
    std::string bytes;
    bytes.reserve(hex.size() / 2);
    for (size_t i = 0; i < hex.size(); i += 2) {
        int high = HexDigit(hex[i]);
        int low = HexDigit(hex[i + 1]);
        if (high < 0 || low < 0) return std::string();
        bytes += static_cast<char>(high * 16 + low);
    }
    return PasswordScrambler::Unscramble(bytes);
}
