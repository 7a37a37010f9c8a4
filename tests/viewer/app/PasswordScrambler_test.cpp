#include "viewer/app/dialup/PasswordScrambler.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string AllByteValues() {
    std::string bytes;
    for (int i = 0; i < 256; i++) bytes += static_cast<char>(i);
    return bytes;
}

bool IsLowerHex(const std::string& text) {
    for (char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    return true;
}

TEST(PasswordScrambler, WorkBufferHoldsBetween32And39Bytes) {
    PasswordScrambler scrambler;
    EXPECT_GE(scrambler.WorkLength(), 32u);
    EXPECT_LE(scrambler.WorkLength(), 39u);
}

TEST(PasswordScrambler, UnscramblingGivesEveryPasswordBack) {
    for (const std::string& password :
         {std::string("a"), std::string("secret"), std::string("Qv7#pL2!mZ9&kT4*"), std::string(" blanks "),
          std::string(1000, 'x'), AllByteValues(), std::string("\0\0\x01", 3)}) {
        std::string scrambled = PasswordScrambler::Scramble(password);
        EXPECT_EQ(scrambled.size(), password.size());
        EXPECT_EQ(PasswordScrambler::Unscramble(scrambled), password);
        EXPECT_EQ(UnscramblePasswordHex(ScramblePasswordHex(password)), password);
    }
}

TEST(PasswordScrambler, SamePasswordGivesSameHexTextEachTime) {
    std::string first = ScramblePasswordHex("dial-up password");
    std::string second = ScramblePasswordHex("dial-up password");
    EXPECT_EQ(first, second);
    EXPECT_EQ(first.size(), 2 * std::string("dial-up password").size());
    EXPECT_TRUE(IsLowerHex(first)) << first;
}

TEST(PasswordScrambler, StoredTextDoesNotShowThePassword) {
    std::string password = "aaaaaaaaaaaaaaaa";
    std::string scrambled = PasswordScrambler::Scramble(password);
    EXPECT_NE(scrambled, password);
    // The same letter does not give the same byte over and over.
    size_t repeats = 0;
    for (size_t i = 1; i < scrambled.size(); i++) repeats += scrambled[i] == scrambled[i - 1];
    EXPECT_LT(repeats, scrambled.size() - 1);
    EXPECT_NE(ScramblePasswordHex("secret1"), ScramblePasswordHex("secret2"));
}

TEST(PasswordScrambler, EachByteDependsOnlyOnTheBytesBeforeIt) {
    std::string ab = PasswordScrambler::Scramble("ab");
    std::string ac = PasswordScrambler::Scramble("ac");
    EXPECT_EQ(ab[0], ac[0]);
    EXPECT_NE(ab[1], ac[1]);
}

TEST(PasswordScrambler, EmptyPasswordIsStoredAsEmptyValueAndReadsBackEmpty) {
    EXPECT_EQ(ScramblePasswordHex(""), "");
    EXPECT_EQ(UnscramblePasswordHex(""), "");
    EXPECT_EQ(UnscramblePasswordHex("   "), "");
}

TEST(PasswordScrambler, BlanksAroundTheStoredValueAreIgnored) {
    std::string stored = ScramblePasswordHex("pw");
    EXPECT_EQ(UnscramblePasswordHex("  " + stored + "\t "), "pw");
}

TEST(PasswordScrambler, UpperCaseHexDigitsAreRead) {
    std::string stored = ScramblePasswordHex("Upper");
    std::string upper;
    for (char c : stored) upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(UnscramblePasswordHex(upper), "Upper");
}

TEST(PasswordScrambler, StoredValueThatIsNotHexGivesEmptyPassword) {
    std::string stored = ScramblePasswordHex("secret");
    EXPECT_EQ(UnscramblePasswordHex("zz"), "");
    EXPECT_EQ(UnscramblePasswordHex(stored.substr(1)), "");           // half a byte
    EXPECT_EQ(UnscramblePasswordHex("0x" + stored), "");               // not two digits a byte
    EXPECT_EQ(UnscramblePasswordHex(stored.substr(0, 4) + " " + stored.substr(4)), "");
    EXPECT_EQ(UnscramblePasswordHex(stored.substr(0, 6) + "g1"), "");
    EXPECT_EQ(UnscramblePasswordHex("secret"), "");
}

}  // namespace
