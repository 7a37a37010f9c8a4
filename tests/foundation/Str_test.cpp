// Str, and ArgList, the list of Str.
#include "foundation/ArgList.h"
#include "foundation/Fail.h"
#include "foundation/Str.h"
#include "tests/foundation/Expect.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
// Huge allocations fail with a null pointer instead of aborting, so the
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

Str str(const std::string& s) { return Str(s.data(), uint32_t(s.size())); }

// Capacity 0 means the shared empty buffer.
void expect_state(const Str& s, const std::string& bytes, uint32_t capacity) {
    EXPECT_EQ(to_std(s), bytes);
    EXPECT_EQ(s.capacity(), capacity);
    EXPECT_EQ(s.c_str()[s.length()], '\0');
    if (capacity == 0) { EXPECT_EQ(s.c_str(), shared_empty()); }
}

int32_t fast_find(const Str& text, const Str& pattern, uint32_t start = 0) {
    signed char table[256];
    Str::make_skip_table(pattern, table);
    return text.find_fast_nocase(pattern, table, start);
}

struct Made {
    const char* name;
    Str value;
    std::string bytes;
    uint32_t capacity;
};
#define MADE(expr, bytes, capacity) {#expr, expr, bytes, capacity}

TEST(Str, MadeStringsHaveTheirBytesAndCapacity) {
    const std::string x40(40, 'x'), a32(32, 'a');
    Str ab("ab"), source("abcdef"), empty31("");
    // Appends: exact size when the count is at least the length, else one doubling.
    Str appended("ab"), doubled(x40.c_str(), 40), exact("abc", 3), self("abc"), part("abcd", 4), zero("x");
    appended += Str(x40.c_str());
    doubled += "0123456789";
    exact += exact;
    self += self;
    part.append(part.c_str() + 1, 2);
    zero.append("\0y", 2);
    Made cases[] = {
        MADE(Str(), "", 0), MADE(Str("hello"), "hello", 31), MADE(Str(""), "", 31), MADE(Str(a32.c_str()), a32, 62),
        MADE(Str("a\0b\0c", 5), std::string("a\0b\0c", 5), 5), MADE(Str("xyz", 0), "", 0),
        MADE(Str(source), "abcdef", 6), MADE(Str(empty31), "", 0), MADE(Str(0u), "", 0),
        MADE(Str::from_ulong(5, 3), "  5", 3), MADE(Str::from_ulong(12345, 3), "12345", 5),
        MADE(Str::from_ulong(7, 4, true), "  -7", 4), MADE(Str::from_long(INT32_MIN), "-2147483648", 11),
        MADE(Str::from_long(-42, 5), "  -42", 5), MADE(Str::from_hex(0x1a5, 2), "a5", 2),
        MADE(Str::from_hex(0, 0), "0", 1), MADE(Str::from_hex(0x1a5, 5), "001a5", 5),
        MADE(Str::from_hex(0xABCDEF12u, 12), "abcdef12", 8), MADE(Str::from_double(2.5, 6), "   2.5", 6),
        MADE(Str::from_double(1.0 / 3.0), "0.333333333333333", 17), MADE(ab + Str("cde"), "abcde", 5),
        MADE(ab + 'z', "abz", 3), MADE("xy" + ab, "xyab", 4), MADE(ab + "!", "ab!", 3), MADE(Str() + Str(), "", 0),
        MADE(std::move(appended), "ab" + x40, 42), MADE(std::move(doubled), x40 + "0123456789", 80),
        MADE(std::move(exact), "abcabc", 6), MADE(std::move(self), "abcabc", 31),
        MADE(std::move(part), "abcdbc", 8), MADE(std::move(zero), std::string("x\0y", 3), 31),
        MADE(Str("hello").substr(1, 3), "el", 2), MADE(Str("hello").substr(2, 100), "llo", 3),
        MADE(Str("hello").substr(3, 3), "", 0), MADE(Str("hello").substr(5, 9), "", 0),
        MADE(Str("a\0b", 3).substr(0, 3), std::string("a\0b", 3), 3),
    };
    for (const Made& c : cases) {
        SCOPED_TRACE(c.name);
        expect_state(c.value, c.bytes, c.capacity);
        EXPECT_EQ(c.value.status(), 0);
    }
    Str sized(10u), large(200000u);
    large.fill('a');
    large += Str(70000u); // 64 KiB or more: exact size though shorter than the string
    expect_all({SAME(sized.length(), 10), SAME(sized.capacity(), 10), SAME(sized.c_str()[0], 0),
           SAME(sized.c_str()[10], 0), SAME(large.length(), 270000), SAME(large.capacity(), 270000)});
}

TEST(Str, GrowsByDoublingThen64KiBStepsAndReusesBuffersThatFit) {
    Str s("x");
    std::vector<uint32_t> seen{s.capacity()};
    for (; s.length() < 400000; s += 'y')
        if (s.capacity() != seen.back()) seen.push_back(s.capacity());
    ASSERT_EQ(seen[0], 31u);
    for (size_t i = 1; i < seen.size(); ++i) // the rule, written out independently
        EXPECT_EQ(seen[i], seen[i - 1] < 65536 ? seen[i - 1] * 2 : seen[i - 1] + 65536) << i;
    EXPECT_GT(seen.back(), 65536u);
    Str empty, abc("abc");
    expect_all({SAME(empty.expand(), 0), SAME(empty.capacity(), 31), SAME(abc.expand(), 0), SAME(abc.capacity(), 62),
           SAME(abc.init(10), 0), SAME(abc.length(), 10), SAME(abc.capacity(), 62), // fits: kept
           SAME(abc.init(70), 0), SAME(abc.capacity(), 70), SAME(abc.c_str()[70], 0)}); // exactly that size

    struct Case {
        uint32_t size; // of the target before
        Str source;
        bool move, keeps_own;
        uint32_t capacity;
    } cases[] = {
        {100, Str("abc"), false, true, 100}, {20000, Str("abc"), false, false, 3},
        {2, Str(std::string(50, 'z').c_str()), false, false, 50}, {20000, Str(), false, false, 0},
        {100, Str(), false, true, 100}, {16384, Str(), false, false, 0}, {16383, Str(), false, true, 16383},
        {31, Str("moving"), true, true, 31}, {0, Str("ab") + Str("cd"), true, false, 4},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.size << " <- " << c.source.c_str() << " " << c.move);
        Str target(c.size);
        const char* own = target.c_str();
        const char* theirs = c.source.c_str();
        std::string expected = to_std(c.source);
        if (c.move)
            target = std::move(c.source);
        else
            target = c.source;
        expect_state(target, expected, c.capacity);
        if (c.keeps_own) { EXPECT_EQ(target.c_str(), own); } // a freed buffer's address may come back
        if (c.move) { expect_state(c.source, "", 0); }
        if (c.move && !c.keeps_own) { EXPECT_EQ(target.c_str(), theirs); } // taken over
    }
    s = "second";
    s = static_cast<const Str&>(s);
    s = s.c_str() + 3; // text inside the string's own buffer
    EXPECT_STREQ(s.c_str(), "ond");
}

TEST(Str, AnswersComparisonsSearchesAndNumbers) {
    Str s("harbord"), abc("abcabc"), text("the cat sat on the mat"), mixed("Hello WORLD \xC4rger");
    uint64_t wrapped = 0;
    for (const char* p = "98765432109876543210"; *p; ++p) wrapped = (wrapped * 10 + uint64_t(*p - '0')) % (1ull << 32);
                // True is all ones; bytes compare as signed 8-bit values.
    expect_all({SAME(Str("abc") == Str("abc"), -1), SAME(Str("abc") == Str("abd"), 0), SAME(Str("abc") == Str("ab"), 0),
                SAME(Str("abc") != Str("ab"), -1), SAME(Str("abc") == "abc", -1), SAME(Str("abc") == "abcd", 0),
                SAME(Str("abc") != "ab", -1), SAME(Str("a\0b", 3) == "a", 0), SAME(Str().compare(Str("a")), -1),
                SAME(Str("ab").compare(Str("a")), 1), SAME(Str("abc").compare(Str("abc")), 0),
                SAME(Str("\x80").compare(Str("a")), -1), SAME(Str("a") > Str("\x80"), -1), SAME(Str("b") < Str("a"), 0),
                SAME(s.begins_with(Str("har")), -1), SAME(s.begins_with("bor"), 0), SAME(s.begins_with("harbord!"), 0),
                SAME(s.begins_with(Str("harbord!")), 0), SAME(s.ends_with(Str("bord")), -1),
                SAME(s.ends_with(Str("har")), 0), SAME(s.ends_with(Str("xharbord")), 0), SAME(abc.find('b', 2), 4),
                SAME(abc.find('x'), -1), SAME(abc.find('a', 100), -1), SAME(Str("abca").rfind('a'), 3),
                SAME(Str("abca").rfind('c', 1), 2), SAME(Str("abca").rfind('a', 4), -1),
                SAME(Str("abca").rfind('x'), -1), SAME(text.find(Str("the"), 1), 15), SAME(text.find(Str("mats")), -1),
                SAME(text.find(Str()), 0), SAME(text.find(Str("t"), 100), -1),
                SAME(Str("x\0y\0z", 5).find(Str("y\0z", 3)), 2), SAME(mixed.find_nocase(Str("WoRlD")), 6),
                SAME(mixed.find_nocase(Str("\xE4RGER")), 12), SAME(mixed.find_nocase(Str("hello"), 1), -1),
                SAME(mixed.find_nocase(Str()), 0),
                // A match at the very end compares the terminator as the next byte.
                SAME(fast_find(Str("the END"), Str("end")), 4), SAME(fast_find(Str("en"), Str("end")), -1),
                SAME(fast_find(Str("xxxxxend"), Str("end"), 6), -1), SAME(fast_find(Str("abc"), Str()), 0),
                SAME(Str("0x1F").to_ulong(), 31), SAME(Str("0xff").to_ulong(), 255), SAME(Str("0b1012").to_ulong(), 5),
                SAME(Str("0x").to_ulong(), 0), SAME(Str("0x1G").to_ulong(), 1), SAME(Str("0X1F").to_ulong(), 0),
                SAME(Str("12ab").to_ulong(), 12), SAME(Str("+5").to_ulong(), 0),
                SAME(Str("0x1FFFFFFFF").to_ulong(), 0xFFFFFFFFu), SAME(Str("98765432109876543210").to_ulong(), wrapped),
                SAME(Str("-0x10").to_long(), -16), SAME(Str("--5").to_long(), 0),
                SAME(Str("-2147483648").to_long(), INT32_MIN), SAME(Str("4294967295").to_long(), -1),
                SAME(Str("  \"a b\" c ").count_words(), 2), SAME(Str("a b\tc").count_words(), 3),
                SAME(Str(" \t ").count_words(), 0)});
}

TEST(Str, FastSearchSkipsByTheTableAndAgreesWithFindNocase) {
    std::string longer;
    for (int i = 0; i < 200; ++i) longer += char(i == 0 ? '#' : 'a' + i % 26); // '#' only far from the end
    for (const std::string& pattern : {std::string("abcab"), longer}) {
        signed char table[256];
        Str::make_skip_table(str(pattern), table);
        for (int c = 0; c < 256; ++c) { // distance from the end of the last occurrence, at most 127
            size_t last = pattern.rfind(char(c));
            size_t want = last == std::string::npos ? pattern.size() + 1 : pattern.size() - last;
            EXPECT_EQ(table[c], std::min<size_t>(want, 127)) << pattern << " " << c;
        }
    }
    // Against find_nocase on random texts: case pairs, Windows-1252 letters and a zero byte
    // give many partial matches; every tenth pattern is longer than the skip cap.
    const std::string alphabet("aAbBc \xC4\xE4\x8A\x9A\0z", 12);
    uint32_t state = 12345;
    auto next = [&] { return size_t(((state = state * 214013u + 2531011u) >> 16) & 0x7FFF); };
    int matches = 0;
    for (int round = 0; round < 3000; ++round) {
        std::string text(next() % 60, ' '), pattern(2 + next() % (round % 10 == 0 ? 140 : 5), ' ');
        for (std::string* t : {&text, &pattern})
            for (char& c : *t) c = alphabet[next() % 12];
        if (text.size() >= pattern.size() && next() % 2)
            pattern = text.substr(next() % (text.size() - pattern.size() + 1), pattern.size());
        Str t = str(text), p = str(pattern);
        p.to_lower();
        uint32_t start = uint32_t(next() % 4);
        int32_t expected = t.find_nocase(p, start);
        ASSERT_EQ(fast_find(t, p, start), expected) << "round " << round << " start " << start;
        matches += expected >= 0;
    }
    EXPECT_GT(matches, 300); // the comparison exercised real matches
}

TEST(Str, EditsInPlaceWithTheWindows1252CaseMapping) {
    Str upper("abz{\xE4\x9A@"), all(256u);
    upper.to_upper();
    EXPECT_EQ(to_std(upper), "ABZ{\xE4\x9A@");
    for (int c = 0; c < 256; ++c) all.buffer()[c] = char(c);
    all.to_lower();
    for (int c = 0; c < 256; ++c) {
        int lower = c == 0x9F ? 0xFF : c == 0x8A || c == 0x8C || c == 0x8E ? c + 0x10 : c;
        if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) lower = c + 0x20;
        EXPECT_EQ(uint8_t(all[uint32_t(c)]), lower) << c;
        EXPECT_EQ(Str::lower(uint8_t(c)), lower) << c;
    }
    Str empty, own("abc"); // editing never writes the shared empty buffer
    empty.fill('x');
    empty.to_upper();
    empty.set_length(0);
    own.fill('-');
    expect_all({SAME(empty.init(0), 0), SAME(empty.cut_word(), ""), SAME(empty.cut_line(), ""),
                SAME(empty.c_str() == shared_empty(), true), SAME(own, "---"),
                SAME((own.set_length(0), own.capacity()), 31), SAME(own, ""),
                SAME(own.c_str()[0], 0)}); // an emptied string keeps its own buffer
}

TEST(Str, CutsWordsAndLinesOffTheFront) {
    struct Case {
        const char* text;
        bool line; // cut_line, else cut_word
        std::vector<std::string> pieces; // the cuts in turn, then what is left
    } cases[] = {
        {"  \"a b\" c", false, {"a b", "c", ""}}, {"\"abc def", false, {"\"abc def", ""}},
        {"ab\" cd", false, {"ab\" cd", ""}}, {"   ", false, {"", ""}},
        {"\t\r\nfirst\nsecond", false, {"first", "\nsecond"}}, // any control byte separates
        {"\xE4pfel \xF6l", false, {"\xE4pfel", " \xF6l"}},    // high bytes do not
        {"abc\r\ndef", true, {"abc", "def"}}, {"a\r\r\nb\nc", true, {"a\r", "b", "c"}},
        {"a\rb\n", true, {"a\rb", ""}}, {"\n", true, {"", ""}}, {"abc", true, {"abc", ""}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Str s(c.text);
        for (size_t i = 0; i + 1 < c.pieces.size(); ++i)
            EXPECT_EQ(to_std(c.line ? s.cut_line() : s.cut_word()), c.pieces[i]);
        EXPECT_EQ(to_std(s), c.pieces.back());
        EXPECT_EQ(s.c_str()[s.length()], '\0');
    }
    Str zero("a\0b", 3);
    EXPECT_EQ(to_std(zero.cut_line()), std::string("a\0b", 3));
}

#if defined(__SANITIZE_ADDRESS__)
TEST(Str, FailedAllocationLeavesAnEmptyUsableStringAndAReport) {
    fail_take();
    Str sized(0xF0000000u), kept("keep");
    expect_all({SAME(sized.status(), -1), SAME(sized.c_str() == shared_empty(), true),
                SAME(fail_take(), "Str: unable to construct string\r\n"), SAME((sized += "ok", sized), "ok"),
                SAME(kept.init(0xF0000000u), -1), SAME(kept.status(), -1), SAME(kept.c_str() == shared_empty(), true),
                SAME(fail_take(), "Str::init unable to allocate memory\r\n")});
}
#endif

// The values, after checking that the links agree both ways.
std::vector<std::string> values_of(const ArgList& list) {
    std::vector<std::string> forward, backward;
    const ArgList::Node* previous = nullptr;
    for (const ArgList::Node* node = list.first(); node; previous = node, node = node->next) {
        EXPECT_EQ(node->prev, previous);
        forward.push_back(to_std(node->value));
    }
    for (const ArgList::Node* node = list.last(); node; node = node->prev)
        backward.insert(backward.begin(), to_std(node->value));
    EXPECT_EQ(list.last(), previous);
    EXPECT_EQ(forward.size(), list.count());
    EXPECT_EQ(backward, forward);
    return forward;
}

TEST(ArgList, CopiesAreDeepAndRemovalsKeepTheLinksConsistent) {
    using Values = std::vector<std::string>;
    const char* argv[] = {"a", "b", "c", "d", ""};
    ArgList list(5, argv), none(0, argv), appended;
    Str value("one");
    appended.append(value);
    appended.append(Str("a\0b", 3));
    value = "changed";
    ArgList copy(list), assigned(none);
    assigned = appended;
    assigned = static_cast<const ArgList&>(assigned);
    appended = ArgList();
    list.remove(list.first()->next->next);
    list.remove(list.first());
    list.remove(list.last());
    expect_all({SAME(list.status() + none.status() + copy.status() + assigned.status() + appended.status(), 0),
                SAME(values_of(assigned), Values({"one", std::string("a\0b", 3)})), SAME(values_of(none), Values()),
                SAME(values_of(appended), Values()), SAME(values_of(list), Values({"b", "d"})),
                SAME(values_of(copy), Values({"a", "b", "c", "d", ""})),
                SAME(copy.first()->value.c_str() != argv[0], true),
                SAME((list.remove(list.first()), list.remove(list.first()), values_of(list)), Values()),
                SAME((list.append(Str("again")), values_of(list)), Values({"again"})),
                SAME((copy.clear(), values_of(copy)), Values())});
}

} // namespace
