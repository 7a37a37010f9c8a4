#include "foundation/BufStream.h"

#include "foundation/Fail.h"
#include "foundation/FileStream.h"

#include "testsupport/StderrCapture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// A source over a byte string that records every request and reports a short
// read the way a file does.
class MemorySource : public Readable {
public:
    explicit MemorySource(std::string bytes) : bytes_(std::move(bytes)) {}
    int32_t eread(void* buffer, int32_t count) override {
        requests.push_back(count);
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

private:
    std::string bytes_;
    size_t position_ = 0;
};

// A target that accepts limit bytes and then fails like a full disk.
class LimitedSink : public Writeable {
public:
    explicit LimitedSink(size_t limit) : limit_(limit) {}
    int32_t ewrite(const void* buffer, int32_t count) override {
        calls.push_back(count);
        int32_t n = int32_t(std::min<size_t>(size_t(count), limit_ - data.size()));
        data.append(static_cast<const char*>(buffer), size_t(n));
        if (n < count && !write_error_) {
            write_error_ = 1;
            fail_new("LimitedSink::ewrite ", "write-error");
        }
        return n;
    }
    std::string data;
    std::vector<int32_t> calls;

private:
    size_t limit_;
};

std::string pattern_bytes(size_t n) {
    std::string s(n, 0);
    for (size_t i = 0; i < n; i++) s[i] = char(i * 7 + i / 251);
    return s;
}

class BufStreamTest : public ::testing::Test {
protected:
    void SetUp() override { fail_take(); }
    void TearDown() override { fail_take(); }
};

TEST_F(BufStreamTest, SmallReadsAreServedFromBufferSizedRefills) {
    std::string bytes = pattern_bytes(100);
    MemorySource source(bytes);
    BufReadable in(source, 32);
    std::string back;
    char piece[5];
    for (int i = 0; i < 20; i++) {
        ASSERT_EQ(in.eread(piece, 5), 5);
        back.append(piece, 5);
    }
    EXPECT_EQ(back, bytes);
    EXPECT_EQ(in.read_error(), 0);
    // Every request to the source was a whole buffer.
    for (int32_t r : source.requests) EXPECT_EQ(r, 32);
    EXPECT_EQ(source.requests.size(), 4u);
    // The refill at the end of the data is normal: no report survives.
    EXPECT_STREQ(fail_take(), "");
}

TEST_F(BufStreamTest, LargeReadsBypassTheBuffer) {
    std::string bytes = pattern_bytes(300);
    MemorySource source(bytes);
    BufReadable in(source, 64);
    char head[10];
    ASSERT_EQ(in.eread(head, 10), 10);
    ASSERT_EQ(source.requests, std::vector<int32_t>{64});

    // 54 bytes are buffered; the remaining 146 are asked from the source at once.
    std::vector<char> big(200);
    ASSERT_EQ(in.eread(big.data(), 200), 200);
    EXPECT_EQ(source.requests, (std::vector<int32_t>{64, 146}));
    EXPECT_EQ(std::string(head, 10) + std::string(big.data(), 200), bytes.substr(0, 210));
}

TEST_F(BufStreamTest, BypassReadThatFallsShortCarriesTheSourceFlagAndReport) {
    MemorySource source(pattern_bytes(50));
    BufReadable in(source, 16);
    std::vector<char> big(80);
    EXPECT_EQ(in.eread(big.data(), 80), 50);
    EXPECT_NE(in.read_error(), 0);
    EXPECT_EQ(std::string(fail_take()), "MemorySource::eread read-error\r\n");
}

TEST_F(BufStreamTest, ReadEndingInsideTheDataReportsShortFileOnce) {
    MemorySource source("abcdef");
    BufReadable in(source, 64);
    char buffer[4];
    ASSERT_EQ(in.eread(buffer, 4), 4);
    EXPECT_EQ(in.eread(buffer, 4), 2);
    EXPECT_EQ(std::string(buffer, 2), "ef");
    EXPECT_NE(in.read_error(), 0);
    // The source's own report of the short refill was dropped.
    EXPECT_EQ(std::string(fail_take()), "BufReadable::eread short file\r\n");
    EXPECT_EQ(source.read_error(), 0);

    EXPECT_EQ(in.eread(buffer, 4), 0);
    EXPECT_NE(in.read_error(), 0);
    EXPECT_STREQ(fail_take(), "");
}

TEST_F(BufStreamTest, FailedStreamDoesNotGoBackToTheSourceUntilCleared) {
    MemorySource source("abc");
    BufReadable in(source, 16);
    char buffer[8];
    EXPECT_EQ(in.eread(buffer, 8), 3);
    fail_take();
    size_t asked = source.requests.size();

    // A pending report must survive further reads of the failed stream.
    fail_new("Caller::work ", "pending");
    StderrCapture capture;
    EXPECT_EQ(in.eread(buffer, 4), 0);
    EXPECT_EQ(in.eread(buffer, 40), 0);
    EXPECT_EQ(capture.text(), "");
    EXPECT_EQ(source.requests.size(), asked);
    EXPECT_EQ(std::string(fail_take()), "Caller::work pending\r\n");

    in.set_read_error(0);
    EXPECT_EQ(in.eread(buffer, 4), 0);
    EXPECT_GT(source.requests.size(), asked);
    EXPECT_EQ(std::string(fail_take()), "BufReadable::eread short file\r\n");
}

TEST_F(BufStreamTest, ReadingExactlyToTheEndOfAFileIsNoFailure) {
    char pattern[] = "/tmp/bufstream_test_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    std::string dir = pattern;
    Str file((dir + "/exact").c_str());
    std::string bytes = pattern_bytes(1000);
    {
        OFileStream raw(file, O_CREAT | O_TRUNC);
        BufWriteable out(raw, 128);
        for (size_t i = 0; i < bytes.size(); i += 10) ASSERT_EQ(out.ewrite(bytes.data() + i, 10), 10);
    }
    IFileStream raw(file);
    BufReadable in(raw, 128);
    std::string back(bytes.size(), 0);
    for (size_t i = 0; i < back.size(); i += 8) ASSERT_EQ(in.eread(back.data() + i, 8), 8);
    EXPECT_EQ(back, bytes);
    EXPECT_EQ(in.read_error(), 0);
    EXPECT_STREQ(fail_take(), "");

    char extra;
    EXPECT_EQ(in.eread(&extra, 1), 0);
    EXPECT_EQ(std::string(fail_take()), "BufReadable::eread short file\r\n");
    std::filesystem::remove_all(dir);
}

TEST_F(BufStreamTest, WritesAreCollectedUntilTheBufferIsFull) {
    LimitedSink sink(1000);
    BufWriteable out(sink, 16);
    EXPECT_EQ(out.ewrite("0123456789", 10), 10);
    EXPECT_EQ(out.ewrite("abcdef", 6), 6);
    EXPECT_TRUE(sink.calls.empty());
    EXPECT_EQ(out.ewrite("XY", 2), 2);
    EXPECT_EQ(sink.calls, std::vector<int32_t>{16});
    EXPECT_EQ(out.flush(), 0);
    EXPECT_EQ(sink.data, "0123456789abcdefXY");
    EXPECT_EQ(out.flush(), 0); // nothing buffered
    EXPECT_EQ(sink.calls.size(), 2u);
}

TEST_F(BufStreamTest, WriteLargerThanTheBufferGoesDirectlyAfterTheBufferedBytes) {
    LimitedSink sink(1000);
    BufWriteable out(sink, 16);
    ASSERT_EQ(out.ewrite("abc", 3), 3);
    std::string big = pattern_bytes(40);
    EXPECT_EQ(out.ewrite(big.data(), 40), 40);
    EXPECT_EQ(sink.calls, (std::vector<int32_t>{3, 40}));
    EXPECT_EQ(sink.data, "abc" + big);
}

TEST_F(BufStreamTest, DestructionFlushesTheBuffer) {
    LimitedSink sink(1000);
    {
        BufWriteable out(sink, 64);
        out.ewrite("kept", 4);
        EXPECT_EQ(sink.data, "");
    }
    EXPECT_EQ(sink.data, "kept");
    EXPECT_STREQ(fail_take(), "");
}

TEST_F(BufStreamTest, FailingTargetIsReportedAtTheNextFlushNotWhenFilling) {
    LimitedSink sink(10);
    BufWriteable out(sink, 16);
    std::string bytes = pattern_bytes(16);
    EXPECT_EQ(out.ewrite(bytes.data(), 16), 16);
    EXPECT_EQ(out.write_error(), 0);
    EXPECT_STREQ(fail_take(), "");

    EXPECT_EQ(out.ewrite("z", 1), 0);
    EXPECT_NE(out.write_error(), 0);
    EXPECT_EQ(std::string(fail_take()),
              "BufWriteable::ewrite write failed, reason:\r\n"
              " BufWriteable::flush error while flushing buffer, reason:\r\n"
              " LimitedSink::ewrite write-error\r\n");
}

TEST_F(BufStreamTest, FlushToAFullDeviceChainsTheFileReport) {
    OFileStream full(Str("/dev/full"));
    ASSERT_FALSE(full.open_failed());
    BufWriteable out(full, 64);
    EXPECT_EQ(out.ewrite("data", 4), 4);
    EXPECT_EQ(out.write_error(), 0);
    EXPECT_EQ(out.flush(), -1);
    EXPECT_NE(out.write_error(), 0);
    EXPECT_EQ(std::string(fail_take()),
              "BufWriteable::flush error while flushing buffer, reason:\r\n"
              " OFileStream::ewrite write-error\r\n");
}

TEST_F(BufStreamTest, FailedFlushAtDestructionIsPrinted) {
    LimitedSink sink(2);
    StderrCapture capture;
    {
        BufWriteable out(sink, 64);
        out.ewrite("four", 4);
    }
    EXPECT_EQ(capture.text(),
              "MALFUNCTION:\n"
              "~BufWriteable: unable to flush buffer before destruction, reason:\r\n"
              " BufWriteable::flush error while flushing buffer, reason:\r\n"
              " LimitedSink::ewrite write-error\r\n"
              "\n");
    EXPECT_STREQ(fail_take(), "");
}

TEST_F(BufStreamTest, BuffersThatCannotBeAllocatedReportAndFailEveryTransfer) {
    MemorySource source("abc");
    BufReadable in(source, -1); // no buffer of that size exists
    EXPECT_EQ(std::string(fail_take()), "BufReadable: unable to allocate read-buffer\r\n");
    char c;
    EXPECT_EQ(in.eread(&c, 1), 0);
    EXPECT_NE(in.read_error(), 0);

    LimitedSink sink(100);
    {
        BufWriteable out(sink, -1);
        EXPECT_EQ(std::string(fail_take()), "BufWriteable: unable to allocate write-buffer\r\n");
        EXPECT_EQ(out.ewrite("abc", 3), 0);
        EXPECT_NE(out.write_error(), 0);
    }
    EXPECT_EQ(sink.data, "");
}

} // namespace
