// Scrambles the dial-up password before it is written to "vantlow.ini", so
// that it is not readable at a glance. This is obfuscation, not encryption:
// the key is part of the program.
//
// A keyed byte-stream scrambler: a work buffer K of m bytes (32 to 39) is
// built from the program key, then every byte is mixed with K, a position p
// and an accumulator a that all change with each byte. A fresh state is made
// for every value, so the same password always gives the same bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class PasswordScrambler {
public:
    PasswordScrambler();
    ~PasswordScrambler();
    PasswordScrambler(const PasswordScrambler&) = delete;
    PasswordScrambler& operator=(const PasswordScrambler&) = delete;

    uint8_t ScrambleByte(uint8_t x);
    uint8_t UnscrambleByte(uint8_t y);

    // Length of the work buffer built from the key.
    size_t WorkLength() const { return work_.size(); }

    // Both with a fresh state.
    static std::string Scramble(const std::string& bytes);
    static std::string Unscramble(const std::string& bytes);

private:
    std::vector<uint8_t> work_;  // K
    size_t position_ = 0;        // p
    uint8_t accumulator_ = 0;    // a
};

// The stored form: two lower-case hex digits per scrambled byte; an empty
// password is an empty text.
std::string ScramblePasswordHex(const std::string& password);
// Blanks at both ends are ignored. An empty or unreadable text (odd length,
// anything but hex digits) gives an empty password.
std::string UnscramblePasswordHex(const std::string& stored);
