#include "foundation/Str.h"

#include "foundation/Fail.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#define STR_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define STR_TEST_ASAN 1
#endif
#endif

#ifdef STR_TEST_ASAN
// Let huge allocations fail with a null pointer instead of aborting, so the
// allocation-failure paths can be driven without touching gigabytes.
extern "C" const char* __asan_default_options() {
    return "allocator_may_return_null=1:max_allocation_size_mb=1024";
}
#endif

namespace {

const char* shared_empty() {
    static const Str empty;
    return empty.c_str();
}

std::string bytes_of(const Str& s) { return std::string(s.data(), s.length()); }

// The growth rule, written out independently of the code under test.
uint32_t grown(uint32_t capacity) {
    if (capacity == 0) return 31;
    return capacity < 65536 ? capacity * 2 : capacity + 65536;
}

// Deterministic generator with the classic formula.
struct Lcg {
    uint32_t state;
    int next() {
        state = state * 214013u + 2531011u;
        return int((state >> 16) & 0x7FFF);
    }
};

unsigned char lower_by_rule(unsigned char c) {
    if (c >= 'A' && c <= 'Z') return static_cast<unsigned char>(c + 0x20);
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<unsigned char>(c + 0x20);
    if (c == 0x8A || c == 0x8C || c == 0x8E) return static_cast<unsigned char>(c + 0x10);
    if (c == 0x9F) return 0xFF;
    return c;
}

void expect_shared_empty(const Str& s) {
    EXPECT_EQ(s.length(), 0u);
    EXPECT_EQ(s.capacity(), 0u);
    EXPECT_EQ(s.c_str(), shared_empty());
    EXPECT_EQ(s.c_str()[0], '\0');
}

// ---- construction -----------------------------------------------------------

TEST(StrConstruction, DefaultIsEmptyOnTheSharedBuffer) {
    Str s;
    expect_shared_empty(s);
    EXPECT_EQ(s.status(), 0);
}

TEST(StrConstruction, FromTextStartsWithCapacity31AndGrowsByTheExpandSequence) {
    Str short_text("hello");
    EXPECT_EQ(short_text.capacity(), 31u);
    EXPECT_EQ(short_text.length(), 5u);
    EXPECT_STREQ(short_text.c_str(), "hello");
    EXPECT_EQ(Str("").capacity(), 31u);
    EXPECT_EQ(Str(std::string(31, 'a').c_str()).capacity(), 31u);
    EXPECT_EQ(Str(std::string(32, 'a').c_str()).capacity(), 62u);

    for (uint32_t n : {100u, 5000u, 70000u, 200000u}) {
        std::string text(n, 'q');
        uint32_t expected = 31;
        while (expected < n) expected = grown(expected);
        Str s(text.c_str());
        EXPECT_EQ(s.capacity(), expected) << n;
        EXPECT_EQ(bytes_of(s), text);
    }
}

TEST(StrConstruction, FromBytesIsAnExactCopyKeepingZeroBytes) {
    const char bytes[] = {'a', '\0', 'b', '\0', 'c'};
    Str s(bytes, 5);
    EXPECT_EQ(s.length(), 5u);
    EXPECT_EQ(s.capacity(), 5u);
    EXPECT_EQ(std::memcmp(s.data(), bytes, 5), 0);
    EXPECT_EQ(s.c_str()[5], '\0');
    expect_shared_empty(Str("xyz", 0));
}

TEST(StrConstruction, CopyHasCapacityOfTheSourceLength) {
    Str source("abcdef");
    Str copy(source);
    EXPECT_EQ(copy.capacity(), 6u);
    EXPECT_EQ(bytes_of(copy), "abcdef");
    EXPECT_NE(copy.c_str(), source.c_str());
    Str empty_with_buffer("");
    expect_shared_empty(Str(empty_with_buffer));
}

TEST(StrConstruction, WithSizeHasThatLengthAndZeroFirstByte) {
    Str s(10u);
    EXPECT_EQ(s.length(), 10u);
    EXPECT_EQ(s.capacity(), 10u);
    EXPECT_EQ(s.c_str()[0], '\0');
    EXPECT_EQ(s.c_str()[10], '\0');
    expect_shared_empty(Str(0u));
}

TEST(StrConstruction, MoveLeavesTheDefaultEmptyString) {
    Str source("moving");
    const char* buffer = source.c_str();
    Str target(std::move(source));
    EXPECT_EQ(target.c_str(), buffer);
    EXPECT_STREQ(target.c_str(), "moving");
    expect_shared_empty(source);

}

TEST(StrAssignment, MoveLeavesTheSameBufferStateAsCopying) {
    Str small("x"); // capacity 31: "moving" is copied into it
    const char* own = small.c_str();
    Str source("moving");
    small = std::move(source);
    EXPECT_EQ(small.c_str(), own);
    EXPECT_STREQ(small.c_str(), "moving");
    expect_shared_empty(source);

    Str exact = Str("ab") + Str("cd"); // exactly sized: taken over
    const char* buffer = exact.c_str();
    Str empty;
    empty = std::move(exact);
    EXPECT_EQ(empty.c_str(), buffer);
    EXPECT_EQ(empty.capacity(), 4u);
    expect_shared_empty(exact);

    Str large(20000u);
    large = Str("abc"); // too much waste: reallocated exactly
    EXPECT_EQ(large.capacity(), 3u);
}

// ---- number formatting ------------------------------------------------------

TEST(StrFormatting, FromUlongPadsWithBlanksAndNeverCuts) {
    EXPECT_EQ(Str::from_ulong(5, 3), "  5");
    EXPECT_EQ(Str::from_ulong(12345, 3), "12345");
    EXPECT_EQ(Str::from_ulong(0), "0");
    EXPECT_EQ(Str::from_ulong(4294967295u), "4294967295");
    EXPECT_EQ(Str::from_ulong(7, 0, true), "-7");
    EXPECT_EQ(Str::from_ulong(7, 4, true), "  -7");
}

TEST(StrFormatting, FromLongSetsTheSignForNegativeValues) {
    EXPECT_EQ(Str::from_long(-42, 5), "  -42");
    EXPECT_EQ(Str::from_long(42), "42");
    EXPECT_EQ(Str::from_long(INT32_MIN), "-2147483648");
    EXPECT_EQ(Str::from_long(INT32_MAX), "2147483647");
}

TEST(StrFormatting, FromHexKeepsExactlyWidthDigitsCappedAtEight) {
    EXPECT_EQ(Str::from_hex(0x1a5, 2), "a5");
    EXPECT_EQ(Str::from_hex(0, 0), "0");
    EXPECT_EQ(Str::from_hex(0x1a5, 5), "001a5");
    EXPECT_EQ(Str::from_hex(0xdeadbeef, 0), "deadbeef");
    EXPECT_EQ(Str::from_hex(0xABCDEF12u, 12), "abcdef12");
    EXPECT_EQ(Str::from_hex(0x1F, 0), "1f");
}

TEST(StrFormatting, FromDoubleUsesFifteenSignificantDigitsAndBlankPadding) {
    for (double value : {0.1, 1.0 / 3.0, -2.5e-7, 123456789012345678.0, 0.0}) {
        char expected[64];
        std::snprintf(expected, sizeof expected, "%1.*g", 15, value);
        EXPECT_EQ(Str::from_double(value), expected);
    }
    EXPECT_EQ(Str::from_double(2.5, 6), "   2.5");
}

// ---- growth, init and assignment ----------------------------------------------

TEST(StrGrowth, AppendingCharactersFollowsDoublingThenSixtyFourKibSteps) {
    Str s("x");
    std::vector<uint32_t> seen{s.capacity()};
    while (s.length() < 400000) {
        s += 'y';
        if (s.capacity() != seen.back()) seen.push_back(s.capacity());
    }
    ASSERT_GT(seen.size(), 3u);
    EXPECT_EQ(seen[0], 31u);
    EXPECT_EQ(seen[1], 62u);
    EXPECT_EQ(seen[2], 124u);
    for (size_t i = 1; i < seen.size(); ++i) EXPECT_EQ(seen[i], grown(seen[i - 1])) << i;
    EXPECT_GT(seen.back(), 65536u);
    EXPECT_EQ(s.status(), 0);
}

TEST(StrGrowth, ExpandOfAnEmptyStringGives31AndKeepsContents) {
    Str s;
    EXPECT_EQ(s.expand(), 0);
    EXPECT_EQ(s.capacity(), 31u);
    EXPECT_EQ(s.length(), 0u);
    Str t("abc");
    EXPECT_EQ(t.expand(), 0);
    EXPECT_EQ(t.capacity(), 62u);
    EXPECT_STREQ(t.c_str(), "abc");
}

TEST(StrInit, FitsInPlaceOrReallocatesExactly) {
    Str s("abc");
    EXPECT_EQ(s.init(10), 0);
    EXPECT_EQ(s.length(), 10u);
    EXPECT_EQ(s.capacity(), 31u);
    EXPECT_EQ(s.c_str()[10], '\0');
    EXPECT_EQ(s.init(40), 0);
    EXPECT_EQ(s.length(), 40u);
    EXPECT_EQ(s.capacity(), 40u);
    EXPECT_EQ(s.c_str()[40], '\0');
    Str empty;
    EXPECT_EQ(empty.init(0), 0);
    expect_shared_empty(empty);
}

TEST(StrAssignment, EmptySourceReleasesLargeBuffersAndKeepsSmallOnes) {
    Str large(20000u);
    large = Str();
    expect_shared_empty(large);

    Str small(100u);
    const char* buffer = small.c_str();
    small = Str();
    EXPECT_EQ(small.capacity(), 100u);
    EXPECT_EQ(small.length(), 0u);
    EXPECT_EQ(small.c_str(), buffer);
    EXPECT_EQ(small.c_str()[0], '\0');

    Str at_limit(16384u);
    at_limit = Str();
    expect_shared_empty(at_limit);
    Str below_limit(16383u);
    below_limit = Str();
    EXPECT_EQ(below_limit.capacity(), 16383u);
}

TEST(StrAssignment, CopiesInPlaceOnlyWhileTheWasteStaysBelow16KiB) {
    Str s(100u);
    const char* buffer = s.c_str();
    s = Str("abc");
    EXPECT_EQ(s.c_str(), buffer);
    EXPECT_EQ(s.capacity(), 100u);
    EXPECT_STREQ(s.c_str(), "abc");

    Str big(20000u);
    big = Str("abc");
    EXPECT_EQ(big.capacity(), 3u);
    EXPECT_STREQ(big.c_str(), "abc");

    Str tight("ab");
    std::string longer(50, 'z');
    tight = Str(longer.c_str());
    EXPECT_EQ(tight.capacity(), 50u);
    EXPECT_EQ(bytes_of(tight), longer);
}

TEST(StrAssignment, TextAndSelfAssignmentKeepTheValue) {
    Str s("first");
    s = "second";
    EXPECT_STREQ(s.c_str(), "second");
    const Str& same = s;
    s = same;
    EXPECT_STREQ(s.c_str(), "second");
    s = s.c_str() + 3; // text inside the string's own buffer
    EXPECT_STREQ(s.c_str(), "ond");
    EXPECT_EQ(s.status(), 0);
}

TEST(StrAppend, SmallAppendDoublesOnceLargeAppendAllocatesExactly) {
    Str s("ab");
    std::string forty(40, 'x');
    s += Str(forty.c_str());
    EXPECT_EQ(s.length(), 42u);
    EXPECT_EQ(s.capacity(), 42u); // count >= length: exact size
    s += "0123456789";
    EXPECT_EQ(s.length(), 52u);
    EXPECT_EQ(s.capacity(), 84u); // smaller than the length: one doubling
    s += "";
    EXPECT_EQ(s.length(), 52u);
    EXPECT_EQ(bytes_of(s), "ab" + forty + "0123456789");

    Str same(10u);
    std::memcpy(same.buffer(), "abcdef", 6);
    same.set_length(6);
    same += "ghijkl"; // as long as the string itself: exact size, no doubling
    EXPECT_EQ(same.capacity(), 12u);
    EXPECT_STREQ(same.c_str(), "abcdefghijkl");

    Str large(200000u);
    large.fill('a');
    large += Str(70000u); // 64 KiB or more: exact size even though shorter than the string
    EXPECT_EQ(large.status(), 0);
    EXPECT_EQ(large.length(), 270000u);
    EXPECT_EQ(large.capacity(), 270000u);
}

TEST(StrAppend, AppendingToItselfAndZeroBytesWork) {
    Str s("abc");
    s += s;
    EXPECT_STREQ(s.c_str(), "abcabc");
    Str exact("abc", 3); // no room: a new buffer of exactly six bytes
    exact += exact;
    EXPECT_STREQ(exact.c_str(), "abcabc");
    Str doubling("abcd", 4); // part of itself, shorter than itself: one doubling
    EXPECT_EQ(doubling.append(doubling.c_str() + 1, 2), 0);
    EXPECT_STREQ(doubling.c_str(), "abcdbc");
    EXPECT_EQ(doubling.capacity(), 8u);
    Str z("x");
    EXPECT_EQ(z.append("\0y", 2), 0);
    EXPECT_EQ(bytes_of(z), std::string("x\0y", 3));
}

TEST(StrConcatenation, ResultHasExactlyTheSummedCapacity) {
    Str ab("ab");
    Str joined = ab + Str("cde");
    EXPECT_EQ(bytes_of(joined), "abcde");
    EXPECT_EQ(joined.capacity(), 5u);
    Str with_char = ab + 'z';
    EXPECT_EQ(bytes_of(with_char), "abz");
    EXPECT_EQ(with_char.capacity(), 3u);
    Str text_first = "xy" + ab;
    EXPECT_EQ(bytes_of(text_first), "xyab");
    EXPECT_EQ(text_first.capacity(), 4u);
    Str text_last = ab + "!";
    EXPECT_EQ(bytes_of(text_last), "ab!");
    expect_shared_empty(Str() + Str());
}

TEST(StrFill, OverwritesTheLengthOnly) {
    Str s("abc");
    s.fill('-');
    EXPECT_STREQ(s.c_str(), "---");
    EXPECT_EQ(s.length(), 3u);
    Str empty;
    empty.fill('x');
    expect_shared_empty(empty);
}

// ---- comparison -------------------------------------------------------------

TEST(StrComparison, EqualityNeedsSameLengthAndBytes) {
    EXPECT_EQ(Str("abc") == Str("abc"), -1);
    EXPECT_EQ(Str("abc") == Str("abd"), 0);
    EXPECT_EQ(Str("abc") == Str("ab"), 0);
    EXPECT_EQ(Str("abc") != Str("ab"), -1);
    EXPECT_EQ(Str("abc") == "abc", -1);
    EXPECT_EQ(Str("abc") == "abcd", 0);
    EXPECT_EQ(Str("abc") == "ab", 0);
    EXPECT_EQ(Str("abc") != "ab", -1);
    EXPECT_EQ(Str() == "", -1);
    EXPECT_EQ(Str("a\0b", 3) == "a", 0);
}

TEST(StrComparison, CompareSortsEmptyFirstPrefixFirstAndBytesSigned) {
    EXPECT_EQ(Str().compare(Str("a")), -1);
    EXPECT_EQ(Str("a").compare(Str()), 1);
    EXPECT_EQ(Str().compare(Str()), 0);
    EXPECT_EQ(Str("ab").compare(Str("a")), 1);
    EXPECT_EQ(Str("a").compare(Str("ab")), -1);
    EXPECT_EQ(Str("abc").compare(Str("abc")), 0);
    EXPECT_EQ(Str("abd").compare(Str("abc")), 1);
    // 0x80 is negative as a signed byte, so it sorts before 'a'.
    EXPECT_EQ(Str("\x80").compare(Str("a")), -1);
    EXPECT_EQ(Str("a") > Str("\x80"), -1);
    EXPECT_EQ(Str("\x80") > Str("a"), 0);
    EXPECT_EQ(Str("a") < Str("b"), -1);
}

TEST(StrComparison, BeginsAndEndsWith) {
    Str s("harbord");
    EXPECT_EQ(s.begins_with(Str("har")), -1);
    EXPECT_EQ(s.begins_with("har"), -1);
    EXPECT_EQ(s.begins_with("bor"), 0);
    EXPECT_EQ(s.begins_with(Str()), -1);
    EXPECT_EQ(s.begins_with(""), -1);
    EXPECT_EQ(Str().begins_with(""), -1);
    EXPECT_EQ(s.begins_with("harbord!"), 0);
    EXPECT_EQ(s.ends_with(Str("bord")), -1);
    EXPECT_EQ(s.ends_with(Str("har")), 0);
    EXPECT_EQ(s.ends_with(Str()), -1);
    EXPECT_EQ(s.ends_with(Str("xharbord")), 0);
}

// ---- search -----------------------------------------------------------------

TEST(StrSearch, FindCharFromStart) {
    Str s("abcabc");
    EXPECT_EQ(s.find('b'), 1);
    EXPECT_EQ(s.find('b', 2), 4);
    EXPECT_EQ(s.find('x'), -1);
    EXPECT_EQ(s.find('a', 6), -1);
    EXPECT_EQ(s.find('a', 100), -1);
    EXPECT_EQ(Str("a\0b", 3).find('\0'), 1);
}

TEST(StrSearch, RfindCharSkipsTheLastNBytes) {
    Str s("abca");
    EXPECT_EQ(s.rfind('a'), 3);
    EXPECT_EQ(s.rfind('a', 1), 0);
    EXPECT_EQ(s.rfind('c', 1), 2);
    EXPECT_EQ(s.rfind('a', 3), 0);
    EXPECT_EQ(s.rfind('a', 4), -1);
    EXPECT_EQ(s.rfind('x'), -1);
    EXPECT_EQ(Str().rfind('a'), -1);
}

TEST(StrSearch, FindPattern) {
    Str s("the cat sat on the mat");
    EXPECT_EQ(s.find(Str("the")), 0);
    EXPECT_EQ(s.find(Str("the"), 1), 15);
    EXPECT_EQ(s.find(Str("mat")), 19);
    EXPECT_EQ(s.find(Str("mats")), -1);
    EXPECT_EQ(s.find(Str("dog")), -1);
    EXPECT_EQ(s.find(Str()), 0);
    EXPECT_EQ(s.find(Str("t"), 100), -1);
    EXPECT_EQ(Str("x\0y\0z", 5).find(Str("y\0z", 3)), 2);
}

TEST(StrSearch, FindNocaseComparesThroughTheLowerCaseMapping) {
    Str s("Hello WORLD \xC4rger");
    EXPECT_EQ(s.find_nocase(Str("world")), 6);
    EXPECT_EQ(s.find_nocase(Str("WoRlD")), 6);
    EXPECT_EQ(s.find_nocase(Str("\xE4RGER")), 12);
    EXPECT_EQ(s.find_nocase(Str("hello"), 1), -1);
    EXPECT_EQ(s.find_nocase(Str()), 0);
}

TEST(StrSkipTable, EntriesAreDistancesFromTheEndOfTheRightmostOccurrence) {
    signed char table[256];
    Str::make_skip_table(Str("abcab"), table);
    EXPECT_EQ(table[int('b')], 1);
    EXPECT_EQ(table[int('a')], 2);
    EXPECT_EQ(table[int('c')], 3);
    for (int c = 0; c < 256; ++c)
        if (c != 'a' && c != 'b' && c != 'c') {
            EXPECT_EQ(table[c], 6) << c;
        }
}

TEST(StrSkipTable, LongPatternEntriesAreCappedAt127) {
    std::string pattern;
    for (int i = 0; i < 200; ++i) pattern += char('a' + i % 26);
    pattern[0] = '#'; // occurs only far from the end
    signed char table[256];
    Str::make_skip_table(Str(pattern.c_str()), table);
    for (int c = 0; c < 256; ++c) {
        EXPECT_GE(table[c], 1) << c;
        EXPECT_LE(table[c], 127) << c;
    }
    EXPECT_EQ(table[int('#')], 127);
    EXPECT_EQ(table[int('~')], 127);
    EXPECT_EQ(table[static_cast<unsigned char>(pattern[199])], 1);
}

TEST(StrFastSearch, MatchAtTheVeryEndUsesTheTerminatorAsNextByte) {
    Str pattern("end");
    signed char table[256];
    Str::make_skip_table(pattern, table);
    EXPECT_EQ(Str("the END").find_fast_nocase(pattern, table), 4);
    EXPECT_EQ(Str("en").find_fast_nocase(pattern, table), -1);
    EXPECT_EQ(Str("xxxxxend").find_fast_nocase(pattern, table, 6), -1);
    EXPECT_EQ(Str("abc").find_fast_nocase(Str(), table), 0);
    EXPECT_EQ(Str("abC").find_fast_nocase(Str("c"), table), 2);
}

TEST(StrFastSearch, AgreesWithFindNocaseOnRandomTexts) {
    // A small alphabet with case pairs, Windows-1252 letters and a zero byte
    // gives many partial matches.
    const char alphabet[] = {'a', 'A', 'b', 'B', 'c', ' ', '\xC4', '\xE4', '\x8A', '\x9A', '\0', 'z'};
    Lcg rng{12345};
    int matches = 0;
    for (int round = 0; round < 3000; ++round) {
        std::string text(size_t(rng.next() % 60), ' ');
        for (char& c : text) c = alphabet[rng.next() % int(sizeof alphabet)];
        std::string pattern;
        size_t m = size_t(2 + rng.next() % (round % 10 == 0 ? 140 : 5));
        if (text.size() >= m && rng.next() % 2) {
            pattern = text.substr(size_t(rng.next()) % (text.size() - m + 1), m);
        } else {
            pattern.resize(m);
            for (char& c : pattern) c = alphabet[rng.next() % int(sizeof alphabet)];
        }
        Str t(text.data(), uint32_t(text.size()));
        Str p(pattern.data(), uint32_t(pattern.size()));
        p.to_lower();
        signed char table[256];
        Str::make_skip_table(p, table);
        uint32_t start = uint32_t(rng.next() % 4);
        int32_t expected = t.find_nocase(p, start);
        ASSERT_EQ(t.find_fast_nocase(p, table, start), expected)
            << "round " << round << " start " << start;
        if (expected >= 0) ++matches;
    }
    EXPECT_GT(matches, 300); // the comparison exercised real matches
}

TEST(StrSubstr, TakesFromUpToEndClippedToLength) {
    Str s("hello");
    EXPECT_EQ(s.substr(1, 3), "el");
    EXPECT_EQ(s.substr(2, 100), "llo");
    EXPECT_EQ(s.substr(0, 5), "hello");
    EXPECT_EQ(s.substr(3, 3), "");
    EXPECT_EQ(s.substr(4, 2), "");
    EXPECT_EQ(s.substr(5, 9), "");
    EXPECT_EQ(s.substr(1, 3).capacity(), 2u);
    EXPECT_EQ(bytes_of(Str("a\0b", 3).substr(0, 3)), std::string("a\0b", 3));
}

// ---- case and numbers ---------------------------------------------------------

TEST(StrCase, ToUpperChangesOnlyAsciiLetters) {
    Str s("abz{\xE4\x9A@");
    s.to_upper();
    EXPECT_EQ(bytes_of(s), "ABZ{\xE4\x9A@");
}

TEST(StrCase, ToLowerUsesTheWindows1252Mapping) {
    EXPECT_EQ(Str::lower(0xC4), 0xE4);
    EXPECT_EQ(Str::lower(0xD7), 0xD7);
    EXPECT_EQ(Str::lower(0xDE), 0xFE);
    EXPECT_EQ(Str::lower(0xDF), 0xDF);
    EXPECT_EQ(Str::lower(0x9F), 0xFF);
    EXPECT_EQ(Str::lower(0x8A), 0x9A);
    EXPECT_EQ(Str::lower('Q'), 'q');
    EXPECT_EQ(Str::lower('q'), 'q');

    std::string all(256, '\0');
    for (int c = 0; c < 256; ++c) all[size_t(c)] = char(c);
    Str s(all.data(), 256);
    s.to_lower();
    ASSERT_EQ(s.length(), 256u);
    for (int c = 0; c < 256; ++c)
        EXPECT_EQ(static_cast<unsigned char>(s[uint32_t(c)]), lower_by_rule(static_cast<unsigned char>(c))) << c;
}

TEST(StrNumbers, ToUlongReadsHexBinaryAndDecimal) {
    EXPECT_EQ(Str("0x1F").to_ulong(), 31u);
    EXPECT_EQ(Str("0xff").to_ulong(), 255u);
    EXPECT_EQ(Str("0b101").to_ulong(), 5u);
    EXPECT_EQ(Str("0x").to_ulong(), 0u);
    EXPECT_EQ(Str("0b").to_ulong(), 0u);
    EXPECT_EQ(Str("12ab").to_ulong(), 12u);
    EXPECT_EQ(Str("0x1G").to_ulong(), 1u);
    EXPECT_EQ(Str("0b1012").to_ulong(), 5u);
    EXPECT_EQ(Str("0X1F").to_ulong(), 0u);
    EXPECT_EQ(Str("").to_ulong(), 0u);
    EXPECT_EQ(Str("abc").to_ulong(), 0u);
    EXPECT_EQ(Str(" 5").to_ulong(), 0u);
    EXPECT_EQ(Str("+5").to_ulong(), 0u);
}

TEST(StrNumbers, ToUlongWrapsModulo2To32) {
    EXPECT_EQ(Str("4294967295").to_ulong(), 4294967295u);
    EXPECT_EQ(Str("4294967296").to_ulong(), 0u);
    EXPECT_EQ(Str("4294967297").to_ulong(), 1u);
    EXPECT_EQ(Str("0x1FFFFFFFF").to_ulong(), 0xFFFFFFFFu);
    const char digits[] = "98765432109876543210";
    uint64_t expected = 0;
    for (const char* p = digits; *p; ++p) expected = (expected * 10 + uint64_t(*p - '0')) % 0x100000000ull;
    EXPECT_EQ(Str(digits).to_ulong(), uint32_t(expected));
}

TEST(StrNumbers, ToLongNegatesAfterALeadingMinus) {
    EXPECT_EQ(Str("-5").to_long(), -5);
    EXPECT_EQ(Str("5").to_long(), 5);
    EXPECT_EQ(Str("-0x10").to_long(), -16);
    EXPECT_EQ(Str("-").to_long(), 0);
    EXPECT_EQ(Str("--5").to_long(), 0);
    EXPECT_EQ(Str("-2147483648").to_long(), INT32_MIN);
    EXPECT_EQ(Str("4294967295").to_long(), -1);
}

// ---- words and lines ----------------------------------------------------------

TEST(StrWords, CountWordsKeepsQuotedStretchesTogether) {
    EXPECT_EQ(Str("a b\tc").count_words(), 3u);
    EXPECT_EQ(Str("  \"a b\" c ").count_words(), 2u);
    EXPECT_EQ(Str("one").count_words(), 1u);
    EXPECT_EQ(Str("").count_words(), 0u);
    EXPECT_EQ(Str(" \t ").count_words(), 0u);
}

TEST(StrWords, CutWordDropsEnclosingQuotesAndKeepsTheSeparator) {
    Str s("  \"a b\" c");
    Str word = s.cut_word();
    EXPECT_EQ(word, "a b");
    EXPECT_EQ(s, " c");
    EXPECT_EQ(s.cut_word(), "c");
    EXPECT_EQ(s, "");
    EXPECT_EQ(s.cut_word(), "");
}

TEST(StrWords, CutWordWithOnlyALeadingQuoteKeepsIt) {
    Str s("\"abc def");
    EXPECT_EQ(s.cut_word(), "\"abc def");
    EXPECT_EQ(s, "");
    Str single("\" x");
    EXPECT_EQ(single.cut_word(), "\" x");
    Str trailing("ab\" cd");
    EXPECT_EQ(trailing.cut_word(), "ab\" cd");
}

TEST(StrWords, CutWordSeparatesOnAnyControlByteButNotOnHighBytes) {
    Str s("\t\r\nfirst\nsecond");
    EXPECT_EQ(s.cut_word(), "first");
    EXPECT_EQ(s, "\nsecond");
    Str high("\xE4pfel \xF6l");
    EXPECT_EQ(high.cut_word(), "\xE4pfel");
    EXPECT_EQ(high, " \xF6l");
    Str blanks("   ");
    EXPECT_EQ(blanks.cut_word(), "");
    EXPECT_EQ(blanks.length(), 0u);
}

TEST(StrLines, CutLineDropsOneCarriageReturnBeforeTheLineFeed) {
    Str s("abc\r\ndef");
    EXPECT_EQ(s.cut_line(), "abc");
    EXPECT_EQ(s, "def");
    Str two("a\r\r\nb\nc");
    EXPECT_EQ(two.cut_line(), "a\r");
    EXPECT_EQ(two.cut_line(), "b");
    EXPECT_EQ(two, "c");
    Str inner("a\rb\n");
    EXPECT_EQ(inner.cut_line(), "a\rb");
    EXPECT_EQ(inner, "");
    Str bare("\n");
    EXPECT_EQ(bare.cut_line(), "");
    EXPECT_EQ(bare, "");
}

TEST(StrLines, CutLineWithoutLineFeedTakesEverything) {
    Str s("abc");
    EXPECT_EQ(s.cut_line(), "abc");
    EXPECT_EQ(s.length(), 0u);
    EXPECT_EQ(s.c_str()[0], '\0');
    Str zero("a\0b", 3);
    EXPECT_EQ(bytes_of(zero.cut_line()), std::string("a\0b", 3));
}

// ---- the shared empty buffer --------------------------------------------------

TEST(StrEmptyBuffer, EditingAnEmptyStringNeverWritesTheSharedBuffer) {
    Str s;
    s.fill('x');
    s.to_upper();
    s.to_lower();
    EXPECT_EQ(s.init(0), 0);
    s.set_length(0);
    EXPECT_EQ(s.cut_word(), "");
    EXPECT_EQ(s.cut_line(), "");
    s += "";
    s = "";
    expect_shared_empty(s);
    EXPECT_EQ(Str().c_str()[0], '\0');
}

TEST(StrEmptyBuffer, EmptiedStringKeepsItsOwnBuffer) {
    Str s("abc");
    s.set_length(0);
    EXPECT_EQ(s.capacity(), 31u);
    EXPECT_NE(s.c_str(), shared_empty());
    EXPECT_EQ(s.c_str()[0], '\0');
}

// ---- allocation failure ---------------------------------------------------------

#ifdef STR_TEST_ASAN
constexpr uint32_t HUGE_SIZE = 0xF0000000u;

TEST(StrAllocationFailure, SizedConstructionLeavesAnEmptyFailedString) {
    fail_take();
    Str s(HUGE_SIZE);
    EXPECT_EQ(s.status(), -1);
    expect_shared_empty(s);
    EXPECT_STREQ(fail_take(), "Str: unable to construct string\r\n");
    s.fill('x'); // still usable
    s += "ok";
    EXPECT_EQ(s, "ok");
}

TEST(StrAllocationFailure, InitLeavesAnEmptyFailedString) {
    fail_take();
    Str s("keep");
    EXPECT_EQ(s.init(HUGE_SIZE), -1);
    EXPECT_EQ(s.status(), -1);
    expect_shared_empty(s);
    EXPECT_STREQ(fail_take(), "Str::init unable to allocate memory\r\n");
}
#else
TEST(StrAllocationFailure, NeedsAddressSanitizerToForceFailures) {
    GTEST_SKIP() << "allocation failures are forced only in sanitizer builds";
}
#endif

} // namespace
