#include "foundation/ObjectStream.h"

#include "foundation/ArgList.h"
#include "foundation/BufStream.h"
#include "testsupport/StderrCapture.h"
#include "tests/foundation/Expect.h"
#include "tests/foundation/MemoryStream.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <tuple>
#include <vector>

namespace {

TEST(BinaryForm, FieldsAreLittleEndianWithoutTagsOrSeparators) {
    fail_take();
    const char* words[] = {"alpha", "", "gamma"};
    using Scalars = std::tuple<bool, bool, uint32_t, int32_t, uint16_t, int16_t, uint8_t, char, double, float>;
    const Scalars scalars{true, false, 0x01020304, -2, 0xA1B2, -3, 0xFE, 'Q', 1.0, 1.0f};
    Scalars back;
    MemoryWriteable sink;
    BinaryDrain d(sink);
    std::apply([&](auto... v) { (d << ... << v); }, scalars);
    d << Str("ab\0cd", 5) << Str() << ArgList(3, words) << ArgList();
    EXPECT_EQ(d.write_bytes("a\0b", 3), 0);
    EXPECT_EQ(sink.bytes, std::string("\1\0\0\0\0\0\0\0\4\3\2\1\xFE\xFF\xFF\xFF\xB2\xA1\xFD\xFF\xFEQ"
                                      "\0\0\0\0\0\0\xF0\x3F\0\0\x80\x3F", 34) +
                              framed(std::string("ab\0cd", 5)) + framed("") + le32(3) + framed("alpha") +
                              framed("") + framed("gamma") + le32(0) + std::string("a\0b", 3));
    MemoryReadable source(sink.bytes + le32(0x100));
    BinarySource s(source);
    std::apply([&](auto&... v) { (s >> ... >> v); }, back);
    EXPECT_EQ(back, scalars);
    Str text("old contents"), empty("x");
    const char* old[] = {"stale"};
    ArgList list(1, old), none(1, old);
    char raw[3];
    bool wide = false;
    s >> text >> empty >> list >> none;
    expect_all({SAME(text, std::string("ab\0cd", 5)), SAME(text.status(), 0), SAME(empty, ""), SAME(empty.status(), 0),
                SAME(words_of(list), std::vector<std::string>({"alpha", "", "gamma"})), SAME(none.count(), 0),
                SAME(s.read_bytes(raw, 3), 3), SAME(std::string(raw, 3), std::string("a\0b", 3)),
                SAME((s >> wide, wide), true), // any non-zero value is true
                SAME(s.read_bytes(raw, 1), 0), SAME(taken(), "MemoryReadable::eread read-error\r\n")});
}

TEST(BinaryForm, ArraysOfEveryTypeRoundTripInPieces) {
    // More elements than one conversion piece, so the pieces must join up.
    auto round_trip = [](auto sample) {
        using T = decltype(sample);
        std::vector<T> out(3000), in(3000);
        for (size_t i = 0; i < out.size(); i++) out[i] = T(double(i) * 37.25 - 900.0);
        MemoryWriteable sink;
        BinaryDrain d(sink);
        EXPECT_EQ(d.write_array(out.data(), 3000), 0);
        EXPECT_EQ(sink.bytes.size(), 3000 * sizeof(T));
        MemoryReadable source(sink.bytes);
        BinarySource s(source);
        EXPECT_EQ(s.read_array(in.data(), 3000), 0);
        EXPECT_EQ(in, out) << sizeof(T);
    };
    std::apply([&](auto... t) { (round_trip(t), ...); },
               std::tuple<double, float, uint32_t, int32_t, uint16_t, int16_t, uint8_t, char>{});
    fail_take();
    MemoryReadable short_source(std::string("\1\0\2\0\3", 5));
    MemoryWriteable sink(6);
    BinarySource s(short_source);
    BinaryDrain d(sink);
    uint16_t v[4] = {9, 9, 9, 9};
    int32_t w[3] = {1, 2, 3};
    expect_all({SAME(s.read_array(v, 4), 1), SAME(std::vector<uint16_t>(v, v + 4), std::vector<uint16_t>({1, 2, 3, 0})),
                SAME(s.error(), 1), SAME(taken(), "MemoryReadable::eread read-error\r\n"), SAME(d.write_array(w, 3), 1),
                SAME(d.error(), 1), SAME(taken(), "MemoryWriteable::ewrite write-error\r\n")});
}

TEST(BinarySource, DamagedInputFailsWithAChainedReportAndBoundedMemory) {
    fail_take();
    // Inside a buffered element: the whole chain, and nothing printed on the way.
    const std::string str_failed = " ObjectSource >> Str unable to read instance, reason:\r\n";
    const std::string list_failed = "ObjectSource >> ArgList unable to read instance, reason:\r\n" + str_failed;
    StderrCapture capture;
    MemoryReadable source(le32(2) + framed("one") + le32(5) + "tw");
    BufReadable buffered(source, 64);
    BinarySource s(buffered);
    ArgList list;
    s >> list;
    expect_all({SAME(taken(), list_failed + " BufReadable::eread short file\r\n"), SAME(capture.text(), ""),
                SAME(words_of(list), std::vector<std::string>({"one"}))});
    // A bogus length or count reads one modest piece and stops at the end of the data.
    MemoryReadable huge(le32(0xFFFFFFFF) + "012345"), many(le32(0xFFFFFFFF) + framed("a") + le32(2));
    BinarySource from_huge(huge), from_many(many);
    Str v;
    std::vector<int32_t> status_while_reading;
    huge.on_read = [&] { status_while_reading.push_back(v.status()); };
    from_huge >> v;
    expect_all({SAME(v.status(), 1), SAME(status_while_reading, std::vector<int32_t>({1, 1})), SAME(v, "012345"),
                SAME(huge.requests, std::vector<int32_t>({4, 1 << 20})), SAME(v.capacity() <= 1u << 20, true),
                SAME(taken(), str_failed.substr(1) + " MemoryReadable::eread read-error\r\n")});
    from_many >> list;
    expect_all({SAME(words_of(list), std::vector<std::string>({"a"})),
                SAME(many.requests, std::vector<int32_t>({4, 4, 1, 4, 2})),
                SAME(taken(), list_failed + " MemoryReadable::eread read-error\r\n")});
    std::string body(3 * (1 << 20) + 123, 'x'); // a real long Str arrives in growing pieces
    for (size_t i = 0; i < body.size(); i += 4099) body[i] = char(i);
    MemoryReadable long_source(framed(body));
    BinarySource from_long(long_source);
    from_long >> v;
    expect_all({SAME(from_long.error(), 0), SAME(v.status(), 0), SAME(v.length(), body.size()),
                SAME(long_source.requests.size(), 4)});
    EXPECT_TRUE(std::string(v.data(), v.length()) == body);
}

TEST(BinaryDrain, FailingTargetChainsTheWriteReport) {
    fail_take();
    const char* words[] = {"one", "two", "three"};
    const std::string str_failed = "ObjectDrain << Str unable to write instance, reason:\r\n"
                                   " MemoryWriteable::ewrite write-error\r\n";
    MemoryWriteable short_str(6), short_list(10);
    BinaryDrain to_str(short_str), to_list(short_list);
    to_str << Str("longer than six");
    EXPECT_EQ(taken(), str_failed);
    to_list << ArgList(3, words);
    expect_all({SAME(to_str.error(), 1), SAME(short_list.calls, std::vector<int32_t>({4, 4, 3})), // stops there
                SAME(taken(), "ObjectDrain << ArgList unable to write instance, reason:\r\n " + str_failed)});
}

TEST(TextDrain, WritesIndentedReadableText) {
    fail_take();
    const char* words[] = {"alpha", "be ta"};
    int32_t ints[40];
    for (int i = 0; i < 40; i++) ints[i] = i;
    double doubles[4] = {1.5, -2, 1e100, 0.25};
    uint8_t bytes[6] = {0, 1, 2, 3, 4, 255};
    char chars[3] = {'A', char(-1), 0};
    int16_t shorts[2] = {-1, 2};
    uint16_t ushort = 7;
    uint32_t ulong = 8;
    float one = 1;
    MemoryWriteable sink;
    TextDrain d(sink);
    d << true << "|" << false << "|" << UINT32_MAX << "|" << INT32_MIN << "|" << uint16_t(65535) << "|"
      << int16_t(-7) << "|" << uint8_t(200) << "|" << 'A' << "|" << Str("as is") << "|" << 0.1 << "|"
      << 1.0 / 3.0 << "|" << 1e20 << "|" << -2.5e-7 << "|" << 100.0 << "|" << 0.1f << "|";
    d.set_field_width(6);
    d << int32_t(-42) << "|" << 2.5 << "|" << 1234567u << "\n";
    EXPECT_EQ(d.write_array(ints, 40), 0); // three lines of four, then an ellipsis
    int status = -1;
    d.open(status);
    d.open(status);
    d << ">seed = ";
    d.write_array(doubles, 4); // (60 - 2 - 1) / 19 = 3 per line
    d << int32_t(5);           // the field width is back to 0
    d.close();
    d.close();
    d.set_line_width(9); // (9 - 0 - 1) / 4 = 2 per line
    d.set_max_lines(2);
    d.write_array(bytes, 6);
    d.write_array(bytes, 3); // the settings held for one array
    d.set_max_lines(0);
    d.write_array(&one, 1);
    d.write_array(chars, 3);
    d.write_array(shorts, 2);
    d.write_array(&ushort, 1);
    d.write_array(&ulong, 0);
    d.write_array(&ulong, 1);
    d << ArgList(2, words);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(d.level(), 0);
    EXPECT_EQ(sink.bytes,
              "true|false|4294967295|-2147483648|65535|-7|200|A|as is|0.1|0.333333333333333|1e+20|-2.5e-07|100|"
              "0.100000001490116|   -42|   2.5|1234567\n"
              "[           0           1           2           3\n            4           5           6           7\n"
              "            8           9          10          11\n  ... ]\n"
              "{\n {\n  seed =   [                 1.5                  -2              1e+100\n"
              "                   0.25 ]\n5 }\n}\n"
              "[   0   1\n    2   3\n  ... ]\n[   0   1   2 ]\n[ ]\n[   65   -1    0 ]\n[     -1      2 ]\n"
              "[     7 ]\n[ ]\n[          8 ]\n"
              "{\n ArgList:\n {\n  List with 2 elements:\n  'alpha'\n  'be ta'\n }\n}\n");
    MemoryWriteable full(20);
    TextDrain to_full(full);
    EXPECT_NE(to_full.write_array(ints, 30), 0); // stops when the target fails
    EXPECT_EQ(full.bytes.size(), 20u);
    EXPECT_EQ(taken(), "MemoryWriteable::ewrite write-error\r\n");
}

TEST(TextDrain, DiagnosticDrainIsOneDrainOnStandardError) {
    TextDrain* seen = nullptr;
    std::thread([&] { seen = &diag_drain(); }).join();
    EXPECT_EQ(seen, &diag_drain());
    StderrCapture capture;
    diag_drain() << ">count = " << int32_t(3) << "\n";
    EXPECT_EQ(capture.text(), "count = 3\n");
}

} // namespace
