#include "foundation/ObjectStream.h"

#include "foundation/ArgList.h"
#include "foundation/BufStream.h"
#include "foundation/Fail.h"
#include "foundation/FileStream.h"
#include "foundation/Str.h"

#include "testsupport/StderrCapture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// Collects everything written; fails after limit bytes like a full disk.
class MemorySink : public Writeable {
public:
    explicit MemorySink(size_t limit = SIZE_MAX) : limit_(limit) {}
    int32_t ewrite(const void* buffer, int32_t count) override {
        int32_t n = int32_t(std::min<size_t>(size_t(count), limit_ - data.size()));
        data.append(static_cast<const char*>(buffer), size_t(n));
        if (n < count && !write_error_) {
            write_error_ = 1;
            fail_new("MemorySink::ewrite ", "write-error");
        }
        return n;
    }
    std::string data;

private:
    size_t limit_;
};

// Serves a byte string, records the requests, and calls back on each read.
class MemorySource : public Readable {
public:
    explicit MemorySource(std::string bytes) : bytes_(std::move(bytes)) {}
    int32_t eread(void* buffer, int32_t count) override {
        requests.push_back(count);
        if (on_read) on_read();
        int32_t n = int32_t(std::min<size_t>(size_t(count), bytes_.size() - position_));
        std::memcpy(buffer, bytes_.data() + position_, size_t(n));
        position_ += size_t(n);
        if (n < count && !read_error_) {
            read_error_ = 1;
            fail_new("MemorySource::eread ", "read-error");
        }
        return n;
    }
    std::vector<int32_t> requests;
    std::function<void()> on_read;

private:
    std::string bytes_;
    size_t position_ = 0;
};

std::string bytes_of(std::initializer_list<int> values) {
    std::string s;
    for (int v : values) s += char(v);
    return s;
}

std::string le32(uint32_t v) { return bytes_of({int(v & 0xFF), int((v >> 8) & 0xFF), int((v >> 16) & 0xFF), int(v >> 24)}); }

std::string str_of(const Str& s) { return std::string(s.data(), s.length()); }

// A record type written and read by the record convention.
struct Sample {
    uint32_t id = 0;
    Str name;
    int16_t delta = 0;
};

ObjectDrain& operator<<(ObjectDrain& d, const Sample& s) {
    int status;
    d.open(status);
    if (status == 0) {
        d << ">id = " << s.id << "\n";
        d << ">name = " << s.name << "\n";
        d << ">delta = " << s.delta << "\n";
        if (d.error()) fail_chain("ObjectDrain << Sample ", "unable to write instance");
    }
    d.close();
    return d;
}

ObjectSource& operator>>(ObjectSource& src, Sample& s) {
    int status;
    src.open(status);
    src >> s.id >> s.name >> s.delta;
    if (src.error()) fail_chain("ObjectSource >> Sample ", "unable to read instance");
    src.close();
    return src;
}

class ObjectStreamTest : public ::testing::Test {
protected:
    void SetUp() override {
        fail_take();
        char pattern[] = "/tmp/objectstream_test_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        fail_take();
        std::filesystem::remove_all(dir_);
    }
    Str path(const char* name) const { return Str((dir_ + "/" + name).c_str()); }

    std::string file_bytes(const char* name) const {
        IFileStream in(path(name));
        std::string out;
        char buffer[4096];
        for (;;) {
            int32_t n = in.eread(buffer, sizeof buffer);
            out.append(buffer, size_t(n));
            if (n < int32_t(sizeof buffer)) break;
        }
        fail_take();
        return out;
    }

    void write_file(const char* name, const std::string& bytes) const {
        OFileStream out(path(name), O_CREAT | O_TRUNC);
        ASSERT_EQ(out.ewrite(bytes.data(), int32_t(bytes.size())), int32_t(bytes.size()));
    }

    std::string dir_;
};

// ---- binary form ----

TEST_F(ObjectStreamTest, EmptyStrIsFourZeroBytes) {
    MemorySink sink;
    BinaryDrain d(sink);
    d << Str();
    EXPECT_EQ(sink.data, std::string(4, '\0'));
}

TEST_F(ObjectStreamTest, StrIsLengthThenBytesAndKeepsAnEmbeddedZero) {
    Str value("ab\0cd", 5);
    MemorySink sink;
    BinaryDrain d(sink);
    d << value;
    EXPECT_EQ(sink.data, le32(5) + std::string("ab\0cd", 5));

    MemorySource source(sink.data);
    BinarySource s(source);
    Str back("old contents");
    s >> back;
    EXPECT_EQ(s.error(), 0);
    EXPECT_EQ(back.length(), 5u);
    EXPECT_EQ(str_of(back), str_of(value));
    EXPECT_EQ(back.status(), 0);
}

TEST_F(ObjectStreamTest, ScalarsAreWrittenLittleEndian) {
    MemorySink sink;
    BinaryDrain d(sink);
    d << true << false << uint32_t(0x01020304) << int32_t(-2) << uint16_t(0xA1B2) << int16_t(-3)
      << uint8_t(0xFE) << 'Q' << 1.0 << 1.0f;
    std::string expected = bytes_of({1, 0, 0, 0, 0, 0, 0, 0, 4, 3, 2, 1, 0xFE, 0xFF, 0xFF, 0xFF,
                                     0xB2, 0xA1, 0xFD, 0xFF, 0xFE, 'Q',
                                     0, 0, 0, 0, 0, 0, 0xF0, 0x3F, 0, 0, 0x80, 0x3F});
    EXPECT_EQ(sink.data, expected);
}

TEST_F(ObjectStreamTest, EveryScalarTypeRoundTripsThroughAFile) {
    {
        OFileStream raw(path("scalars"), O_CREAT | O_TRUNC);
        BufWriteable buffered(raw, 64);
        BinaryDrain d(buffered);
        d << true << false << -1.0 / 3.0 << DBL_MAX << 0.1f << -FLT_MIN << uint32_t(UINT32_MAX)
          << int32_t(INT32_MIN) << uint16_t(UINT16_MAX) << int16_t(INT16_MIN) << uint8_t(255)
          << char(-128) << Str("tail");
        EXPECT_EQ(d.error(), 0);
    }
    EXPECT_EQ(file_bytes("scalars").size(), 4u + 4 + 8 + 8 + 4 + 4 + 4 + 4 + 2 + 2 + 1 + 1 + 4 + 4);

    IFileStream raw(path("scalars"));
    BufReadable buffered(raw, 64);
    BinarySource s(buffered);
    bool t = false, f = true;
    double third = 0, big = 0;
    float tenth = 0, tiny = 0;
    uint32_t u32 = 0;
    int32_t i32 = 0;
    uint16_t u16 = 0;
    int16_t i16 = 0;
    uint8_t u8 = 0;
    char c = 0;
    Str tail;
    s >> t >> f >> third >> big >> tenth >> tiny >> u32 >> i32 >> u16 >> i16 >> u8 >> c >> tail;
    EXPECT_EQ(s.error(), 0);
    EXPECT_TRUE(t);
    EXPECT_FALSE(f);
    EXPECT_EQ(third, -1.0 / 3.0);
    EXPECT_EQ(big, DBL_MAX);
    EXPECT_EQ(tenth, 0.1f);
    EXPECT_EQ(tiny, -FLT_MIN);
    EXPECT_EQ(u32, UINT32_MAX);
    EXPECT_EQ(i32, INT32_MIN);
    EXPECT_EQ(u16, UINT16_MAX);
    EXPECT_EQ(i16, INT16_MIN);
    EXPECT_EQ(u8, 255);
    EXPECT_EQ(c, char(-128));
    EXPECT_EQ(str_of(tail), "tail");
    EXPECT_STREQ(fail_take(), "");
}

TEST_F(ObjectStreamTest, NonZeroBoolReadsAsTrue) {
    MemorySource source(le32(0x100));
    BinarySource s(source);
    bool b = false;
    s >> b;
    EXPECT_TRUE(b);
}

template <class T> std::vector<T> sample_array(size_t n) {
    std::vector<T> v(n);
    for (size_t i = 0; i < n; i++) v[i] = T(double(i) * 37.25 - 900.0);
    return v;
}

TEST_F(ObjectStreamTest, EveryArrayTypeRoundTripsThroughAFile) {
    // More elements than one conversion piece, so the pieces must join up.
    const size_t n = 3000;
    auto d64 = sample_array<double>(n);
    auto f32 = sample_array<float>(n);
    auto u32 = sample_array<uint32_t>(n);
    auto i32 = sample_array<int32_t>(n);
    auto u16 = sample_array<uint16_t>(n);
    auto i16 = sample_array<int16_t>(n);
    auto u8 = sample_array<uint8_t>(n);
    auto c8 = sample_array<char>(n);
    {
        OFileStream raw(path("arrays"), O_CREAT | O_TRUNC);
        BufWriteable buffered(raw);
        BinaryDrain d(buffered);
        EXPECT_EQ(d.write_array(d64.data(), n), 0);
        EXPECT_EQ(d.write_array(f32.data(), n), 0);
        EXPECT_EQ(d.write_array(u32.data(), n), 0);
        EXPECT_EQ(d.write_array(i32.data(), n), 0);
        EXPECT_EQ(d.write_array(u16.data(), n), 0);
        EXPECT_EQ(d.write_array(i16.data(), n), 0);
        EXPECT_EQ(d.write_array(u8.data(), n), 0);
        EXPECT_EQ(d.write_array(c8.data(), n), 0);
    }
    EXPECT_EQ(file_bytes("arrays").size(), n * (8 + 4 + 4 + 4 + 2 + 2 + 1 + 1));

    IFileStream raw(path("arrays"));
    BufReadable buffered(raw);
    BinarySource s(buffered);
    std::vector<double> rd64(n);
    std::vector<float> rf32(n);
    std::vector<uint32_t> ru32(n);
    std::vector<int32_t> ri32(n);
    std::vector<uint16_t> ru16(n);
    std::vector<int16_t> ri16(n);
    std::vector<uint8_t> ru8(n);
    std::vector<char> rc8(n);
    EXPECT_EQ(s.read_array(rd64.data(), n), 0);
    EXPECT_EQ(s.read_array(rf32.data(), n), 0);
    EXPECT_EQ(s.read_array(ru32.data(), n), 0);
    EXPECT_EQ(s.read_array(ri32.data(), n), 0);
    EXPECT_EQ(s.read_array(ru16.data(), n), 0);
    EXPECT_EQ(s.read_array(ri16.data(), n), 0);
    EXPECT_EQ(s.read_array(ru8.data(), n), 0);
    EXPECT_EQ(s.read_array(rc8.data(), n), 0);
    EXPECT_EQ(rd64, d64);
    EXPECT_EQ(rf32, f32);
    EXPECT_EQ(ru32, u32);
    EXPECT_EQ(ri32, i32);
    EXPECT_EQ(ru16, u16);
    EXPECT_EQ(ri16, i16);
    EXPECT_EQ(ru8, u8);
    EXPECT_EQ(rc8, c8);
    EXPECT_EQ(s.error(), 0);
}

TEST_F(ObjectStreamTest, ArrayReadReportsFewerBytes) {
    MemorySource source(bytes_of({1, 0, 2, 0, 3}));
    BinarySource s(source);
    uint16_t v[4] = {9, 9, 9, 9};
    EXPECT_NE(s.read_array(v, 4), 0);
    EXPECT_EQ(v[0], 1);
    EXPECT_EQ(v[1], 2);
    EXPECT_NE(s.error(), 0);
}

TEST_F(ObjectStreamTest, ArrayWriteReportsWhenTheTargetFails) {
    MemorySink sink(6);
    BinaryDrain d(sink);
    int32_t v[3] = {1, 2, 3};
    EXPECT_NE(d.write_array(v, 3), 0);
    EXPECT_NE(d.error(), 0);
    EXPECT_EQ(std::string(fail_take()), "MemorySink::ewrite write-error\r\n");
}

TEST_F(ObjectStreamTest, RawBytesAreUnframed) {
    MemorySink sink;
    BinaryDrain d(sink);
    EXPECT_EQ(d.write_bytes("a\0b", 3), 0);
    EXPECT_EQ(sink.data, std::string("a\0b", 3));

    MemorySource source(sink.data);
    BinarySource s(source);
    char back[5] = {};
    EXPECT_EQ(s.read_bytes(back, 5), 3);
    EXPECT_EQ(std::string(back, 3), std::string("a\0b", 3));
    EXPECT_NE(s.error(), 0);
}

TEST_F(ObjectStreamTest, ArgListIsCountThenEachStr) {
    const char* words[] = {"alpha", "", "gamma"};
    ArgList list(3, words);
    MemorySink sink;
    BinaryDrain d(sink);
    d << list;
    EXPECT_EQ(sink.data, le32(3) + le32(5) + "alpha" + le32(0) + le32(5) + "gamma");

    MemorySource source(sink.data);
    BinarySource s(source);
    const char* old[] = {"stale"};
    ArgList back(1, old);
    s >> back;
    EXPECT_EQ(s.error(), 0);
    ASSERT_EQ(back.count(), 3u);
    std::vector<std::string> got;
    for (ArgList::Node* n = back.first(); n; n = n->next) got.push_back(str_of(n->value));
    EXPECT_EQ(got, (std::vector<std::string>{"alpha", "", "gamma"}));
}

TEST_F(ObjectStreamTest, EmptyArgListIsACountOfZero) {
    MemorySink sink;
    BinaryDrain d(sink);
    d << ArgList();
    EXPECT_EQ(sink.data, le32(0));
}

// ---- failures while reading and writing records ----

TEST_F(ObjectStreamTest, RecordEndingInsideAFieldReportsShortFileOnceThenTheRecord) {
    MemorySink sink;
    BinaryDrain d(sink);
    Sample out{7, Str("seven"), -3};
    d << out;
    write_file("record", sink.data.substr(0, sink.data.size() - 1)); // half of delta

    IFileStream raw(path("record"));
    BufReadable buffered(raw, 64);
    BinarySource s(buffered);
    Sample in;
    s >> in;
    EXPECT_NE(s.error(), 0);
    EXPECT_EQ(std::string(fail_take()),
              "ObjectSource >> Sample unable to read instance, reason:\r\n"
              " BufReadable::eread short file\r\n");
    EXPECT_EQ(in.id, 7u);
    EXPECT_EQ(str_of(in.name), "seven");
}

TEST_F(ObjectStreamTest, RecordEndingInsideAStrChainsBothReadersAndPrintsNothing) {
    MemorySink sink;
    BinaryDrain d(sink);
    d << Sample{7, Str("seven"), -3};
    write_file("record", sink.data.substr(0, 4 + 4 + 2)); // id, length, "se"

    StderrCapture capture;
    {
        IFileStream raw(path("record"));
        BufReadable buffered(raw, 64);
        BinarySource s(buffered);
        Sample in;
        s >> in;
        EXPECT_NE(s.error(), 0);
        EXPECT_NE(in.name.status(), 0);
    }
    EXPECT_EQ(std::string(fail_take()),
              "ObjectSource >> Sample unable to read instance, reason:\r\n"
              " ObjectSource >> Str unable to read instance, reason:\r\n"
              " BufReadable::eread short file\r\n");
    EXPECT_EQ(capture.text(), "");
}

TEST_F(ObjectStreamTest, UnbufferedFileReportsReadError) {
    write_file("short", le32(10) + "abc");
    IFileStream raw(path("short"));
    BinarySource s(raw);
    Str v;
    s >> v;
    EXPECT_NE(s.error(), 0);
    EXPECT_EQ(v.status(), 1);
    EXPECT_EQ(std::string(fail_take()),
              "ObjectSource >> Str unable to read instance, reason:\r\n"
              " IFileStream::eread read-error\r\n");
}

TEST_F(ObjectStreamTest, StrStatusIsOneWhileReadingAndZeroAfter) {
    Str target;
    std::vector<int32_t> seen;
    MemorySource source(le32(3) + "xyz");
    source.on_read = [&] { seen.push_back(target.status()); };
    BinarySource s(source);
    s >> target;
    ASSERT_FALSE(seen.empty());
    for (int32_t st : seen) EXPECT_EQ(st, 1);
    EXPECT_EQ(target.status(), 0);
    EXPECT_EQ(str_of(target), "xyz");
}

TEST_F(ObjectStreamTest, WritingAStrToAFailingTargetChainsTheWriteReport) {
    MemorySink sink(6);
    BinaryDrain d(sink);
    d << Str("longer than six");
    EXPECT_NE(d.error(), 0);
    EXPECT_EQ(std::string(fail_take()),
              "ObjectDrain << Str unable to write instance, reason:\r\n"
              " MemorySink::ewrite write-error\r\n");
}

TEST_F(ObjectStreamTest, WritingAnArgListToAFailingTargetStopsAndChains) {
    const char* words[] = {"one", "two", "three"};
    ArgList list(3, words);
    MemorySink sink(10);
    BinaryDrain d(sink);
    d << list;
    EXPECT_NE(d.error(), 0);
    EXPECT_EQ(std::string(fail_take()),
              "ObjectDrain << ArgList unable to write instance, reason:\r\n"
              " ObjectDrain << Str unable to write instance, reason:\r\n"
              " MemorySink::ewrite write-error\r\n");
}

// ---- hostile input ----

TEST_F(ObjectStreamTest, HugeStrLengthOnATinyStreamFailsWithoutAHugeBuffer) {
    MemorySource source(le32(0xFFFFFFFF) + "012345");
    BinarySource s(source);
    Str v;
    s >> v;
    EXPECT_NE(s.error(), 0);
    EXPECT_EQ(v.status(), 1);
    EXPECT_EQ(str_of(v), "012345");
    // The read asked for one modest piece, not four gigabytes.
    ASSERT_EQ(source.requests.size(), 2u);
    EXPECT_LE(source.requests[1], 1 << 20);
    EXPECT_LE(v.capacity(), uint32_t(1 << 20));
    EXPECT_EQ(std::string(fail_take()),
              "ObjectSource >> Str unable to read instance, reason:\r\n"
              " MemorySource::eread read-error\r\n");
}

TEST_F(ObjectStreamTest, LongStrArrivesInGrowingPieces) {
    std::string body(3 * (1 << 20) + 123, 'x');
    for (size_t i = 0; i < body.size(); i += 4099) body[i] = char(i);
    MemorySource source(le32(uint32_t(body.size())) + body);
    BinarySource s(source);
    Str v;
    s >> v;
    EXPECT_EQ(s.error(), 0);
    EXPECT_EQ(v.status(), 0);
    EXPECT_EQ(str_of(v), body);
    EXPECT_GT(source.requests.size(), 2u);
}

TEST_F(ObjectStreamTest, HugeListCountStopsAtTheFirstFailedElement) {
    MemorySource source(le32(0xFFFFFFFF) + le32(1) + "a" + le32(2));
    BinarySource s(source);
    ArgList list;
    s >> list;
    EXPECT_NE(s.error(), 0);
    EXPECT_EQ(list.count(), 1u);
    EXPECT_LE(source.requests.size(), 6u);
    EXPECT_EQ(std::string(fail_take()),
              "ObjectSource >> ArgList unable to read instance, reason:\r\n"
              " ObjectSource >> Str unable to read instance, reason:\r\n"
              " MemorySource::eread read-error\r\n");
}

TEST_F(ObjectStreamTest, EveryTruncationOfAValidEncodingFailsWithAReport) {
    const char* words[] = {"first", "", "third\0x", "fourth line"};
    ArgList list(4, words);
    MemorySink sink;
    BinaryDrain d(sink);
    d << Str("head") << list;
    const std::string full = sink.data;

    for (size_t cut = 0; cut < full.size(); cut++) {
        MemorySource source(full.substr(0, cut));
        BufReadable buffered(source, 8);
        BinarySource s(buffered);
        Str head;
        ArgList back;
        s >> head >> back;
        EXPECT_NE(s.error(), 0) << "cut at " << cut;
        EXPECT_NE(std::string(fail_take()).find("unable to read instance"), std::string::npos) << "cut at " << cut;
    }
    MemorySource source(full);
    BinarySource s(source);
    Str head;
    ArgList back;
    s >> head >> back;
    EXPECT_EQ(s.error(), 0);
    EXPECT_EQ(back.count(), 4u);
    EXPECT_STREQ(fail_take(), "");
}

TEST_F(ObjectStreamTest, RandomBytesNeverCrashTheStrAndListReaders) {
    std::mt19937 random(20240601);
    for (int round = 0; round < 400; round++) {
        size_t n = random() % 64;
        std::string bytes(n, 0);
        for (char& c : bytes) c = char(random());
        // Small lengths are likelier to parse: force some of them.
        if (n >= 4 && round % 3 == 0) bytes[2] = bytes[3] = 0;
        MemorySource source(bytes);
        BinarySource s(source);
        Str v;
        ArgList list;
        uint32_t tail = 0;
        s >> v >> list >> tail;
        std::string report = fail_take();
        if (s.error()) EXPECT_NE(report.find("unable to read instance"), std::string::npos);
        else EXPECT_EQ(report, "");
        EXPECT_LE(v.length(), n);
        EXPECT_LE(list.count(), n / 4);
    }
}

// ---- text form ----

TEST_F(ObjectStreamTest, TextBlocksIndentOneBlankPerLevel) {
    MemorySink sink;
    TextDrain d(sink);
    int status = -1;
    d.open(status);
    EXPECT_EQ(status, 0);
    d.open(status);
    EXPECT_EQ(d.level(), 2);
    d.close();
    d.close();
    EXPECT_EQ(d.level(), 0);
    EXPECT_EQ(sink.data, "{\n {\n }\n}\n");
}

TEST_F(ObjectStreamTest, IndentedLabelDropsTheMarkerAndPlainLabelIsNotIndented) {
    MemorySink sink;
    TextDrain d(sink);
    int status;
    d.open(status);
    d.open(status);
    sink.data.clear();
    d << ">seed = ";
    EXPECT_EQ(sink.data, "  seed = ");
    sink.data.clear();
    d << "plain";
    EXPECT_EQ(sink.data, "plain");
}

TEST_F(ObjectStreamTest, RecordInTextFormShowsLabelledFields) {
    MemorySink sink;
    TextDrain d(sink);
    d << Sample{7, Str("seven"), -3};
    EXPECT_EQ(sink.data, "{\n id = 7\n name = seven\n delta = -3\n}\n");
}

TEST_F(ObjectStreamTest, TextScalars) {
    MemorySink sink;
    TextDrain d(sink);
    d << true << "|" << false << "|" << uint32_t(UINT32_MAX) << "|" << int32_t(INT32_MIN) << "|"
      << uint16_t(65535) << "|" << int16_t(-7) << "|" << uint8_t(200) << "|" << 'A' << "|" << Str("as is");
    EXPECT_EQ(sink.data, "true|false|4294967295|-2147483648|65535|-7|200|A|as is");
}

TEST_F(ObjectStreamTest, DoublesUseFifteenSignificantDigits) {
    MemorySink sink;
    TextDrain d(sink);
    d << 0.1 << "|" << 1.0 / 3.0 << "|" << 1e20 << "|" << -2.5e-7 << "|" << 100.0 << "|" << 0.1f;
    EXPECT_EQ(sink.data, "0.1|0.333333333333333|1e+20|-2.5e-07|100|0.100000001490116");
}

TEST_F(ObjectStreamTest, NumbersArePaddedToTheFieldWidth) {
    MemorySink sink;
    TextDrain d(sink);
    d.set_field_width(6);
    d << int32_t(-42) << "|" << 2.5 << "|" << uint32_t(1234567);
    EXPECT_EQ(sink.data, "   -42|   2.5|1234567");
}

TEST_F(ObjectStreamTest, FortyIntsShowFourPerLineOnThreeLinesThenAnEllipsis) {
    std::vector<int32_t> v(40);
    for (int i = 0; i < 40; i++) v[size_t(i)] = i;
    MemorySink sink;
    TextDrain d(sink);
    EXPECT_EQ(d.write_array(v.data(), 40), 0);
    EXPECT_EQ(sink.data,
              "[           0           1           2           3\n"
              "            4           5           6           7\n"
              "            8           9          10          11\n"
              "  ... ]\n");
}

TEST_F(ObjectStreamTest, ArrayLayoutFollowsTheIndentationAndResetsItsSettings) {
    MemorySink sink;
    TextDrain d(sink);
    int status;
    d.open(status);
    d.open(status);
    sink.data.clear();
    double v[4] = {1.5, -2, 1e100, 0.25};
    // (60 - 2 - 1) / 19 = 3 per line; floats and doubles get a leading blank.
    d.write_array(v, 4);
    auto blanks = [](size_t n) { return std::string(n, ' '); };
    EXPECT_EQ(sink.data, "  [" + blanks(1 + 16) + "1.5" + blanks(1 + 17) + "-2" + blanks(1 + 13) + "1e+100\n" +
                             blanks(2 + 1) + blanks(1 + 15) + "0.25 ]\n");
    sink.data.clear();
    d << int32_t(5);
    EXPECT_EQ(sink.data, "5"); // field width back to 0
}

TEST_F(ObjectStreamTest, ArraySettingsApplyToOneArray) {
    MemorySink sink;
    TextDrain d(sink);
    uint8_t bytes[6] = {0, 1, 2, 3, 4, 255};
    d.set_line_width(9);  // (9 - 0 - 1) / 4 = 2 per line
    d.set_max_lines(2);
    d.write_array(bytes, 6);
    d.write_array(bytes, 3);
    EXPECT_EQ(sink.data,
              "[   0   1\n"
              "    2   3\n"
              "  ... ]\n"
              "[   0   1   2 ]\n");
}

TEST_F(ObjectStreamTest, ArrayWithZeroLinesShowsNoElements) {
    MemorySink sink;
    TextDrain d(sink);
    int16_t v[2] = {1, 2};
    d.set_max_lines(0);
    d.write_array(v, 2);
    d.write_array(v, 0);
    EXPECT_EQ(sink.data, "[ ]\n[ ]\n");
}

TEST_F(ObjectStreamTest, CharArrayShowsSignedNumbers) {
    MemorySink sink;
    TextDrain d(sink);
    char v[3] = {'A', char(-1), 0};
    d.write_array(v, 3);
    EXPECT_EQ(sink.data, "[   65   -1    0 ]\n");
}

TEST_F(ObjectStreamTest, ArrayStopsWhenTheTargetFails) {
    MemorySink sink(20);
    TextDrain d(sink);
    uint32_t v[30] = {};
    EXPECT_NE(d.write_array(v, 30), 0);
    EXPECT_EQ(sink.data.size(), 20u);
    EXPECT_EQ(std::string(fail_take()), "MemorySink::ewrite write-error\r\n");
}

TEST_F(ObjectStreamTest, ArgListTextShowsCountAndQuotedElements) {
    const char* words[] = {"alpha", "be ta"};
    MemorySink sink;
    TextDrain d(sink);
    d << ArgList(2, words);
    EXPECT_EQ(sink.data,
              "{\n"
              " ArgList:\n"
              " {\n"
              "  List with 2 elements:\n"
              "  'alpha'\n"
              "  'be ta'\n"
              " }\n"
              "}\n");
}

TEST_F(ObjectStreamTest, DiagnosticDrainIsOneTextDrainOnStandardError) {
    std::vector<TextDrain*> seen(4);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < seen.size(); i++) threads.emplace_back([&seen, i] { seen[i] = &diag_drain(); });
    for (auto& t : threads) t.join();
    for (TextDrain* p : seen) EXPECT_EQ(p, &diag_drain());
    EXPECT_EQ(diag_drain().form(), ObjectDrain::TEXT);

    StderrCapture capture;
    diag_drain() << ">count = " << int32_t(3) << "\n";
    EXPECT_EQ(capture.text(), "count = 3\n");
}

} // namespace
