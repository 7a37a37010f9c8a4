#include "http/UrlCoding.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

std::string s(const Str& text) { return std::string(text.data(), text.length()); }
Str str(const std::string& text) { return Str(text.data(), static_cast<uint32_t>(text.size())); }
std::string decode(const std::string& text) { return s(url_decode(str(text))); }
std::string encode(const std::string& text) { return s(url_encode(str(text))); }

} // namespace

TEST(UrlDecode, PlusIsBlankAndPercentPairsAreBytes) {
    EXPECT_EQ(decode("a+b"), "a b");
    EXPECT_EQ(decode("%41%42"), "AB");
    EXPECT_EQ(decode("%2f%2F"), "//");
    EXPECT_EQ(decode("%2B+"), "+ "); // a decoded "+" stays a plus
    EXPECT_EQ(decode("plain-text_1.2"), "plain-text_1.2");
    EXPECT_EQ(decode(""), "");
}

TEST(UrlDecode, PercentTooCloseToTheEndIsDropped) {
    EXPECT_EQ(decode("a%2Fb%2"), "a/b2");
    EXPECT_EQ(decode("%"), "");
    EXPECT_EQ(decode("x%"), "x");
    EXPECT_EQ(decode("%4"), "4");
}

TEST(UrlDecode, NonHexCharacterEndsTheNumberEarly) {
    EXPECT_EQ(decode("%4g"), std::string(1, '\x04'));
    EXPECT_EQ(decode("%4gz"), std::string("\x04z"));
    EXPECT_EQ(decode("%g4"), std::string(1, '\0'));
    EXPECT_EQ(decode("%%41"), std::string("\0" "1", 2));
    EXPECT_EQ(decode("%ff"), std::string(1, '\xff'));
}

TEST(UrlEncode, KeepsTheSafeSetAndEncodesTheRestInLowerCaseHex) {
    EXPECT_EQ(encode("a b"), "a+b");
    EXPECT_EQ(encode("_,.-0123456789"), "_,.-0123456789");
    EXPECT_EQ(encode("AZaz[\\]^`{|}~"), "AZaz[\\]^`{|}~");
    EXPECT_EQ(encode("/:?=&+%"), "%2f%3a%3f%3d%26%2b%25");
    EXPECT_EQ(encode(std::string("\0\x7f\xff", 3)), "%00%7f%ff");
    EXPECT_EQ(encode("@"), "%40"); // just below "A"
}

TEST(UrlCoding, EveryByteSurvivesEncodeThenDecode) {
    std::string all;
    for (int c = 0; c < 256; c++) all += static_cast<char>(c);
    EXPECT_EQ(decode(encode(all)), all);

    std::mt19937 random(4242);
    for (int i = 0; i < 2000; i++) {
        std::string text;
        for (int k = random() % 64; k > 0; k--) text += static_cast<char>(random() % 256);
        ASSERT_EQ(decode(encode(text)), text);
    }
}
