#include "foundation/BufStream.h"

#include "foundation/FileStream.h"
#include "testsupport/StderrCapture.h"
#include "testsupport/TempDir.h"
#include "tests/foundation/MemoryStream.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <string>
#include <vector>

namespace {

using Counts = std::vector<int32_t>;

std::string pattern_bytes(size_t n) {
    std::string s(n, 0);
    for (size_t i = 0; i < n; i++) s[i] = char(i * 7 + i / 251);
    return s;
}

TEST(BufReadable, RefillsWholeBuffersAndReportsOnlyAnUnsatisfiedRead) {
    fail_take();
    const std::string bytes = pattern_bytes(300);
    MemoryReadable source(bytes);
    BufReadable in(source, 32);
    std::string back(300, 0);
    ASSERT_EQ(in.eread(back.data(), 5), 5);
    ASSERT_EQ(in.eread(back.data() + 5, 100), 100); // 27 buffered, 73 straight from the source
    for (size_t at = 105; at < 300; at += 5) ASSERT_EQ(in.eread(back.data() + at, 5), 5);
    EXPECT_EQ(back, bytes);
    EXPECT_EQ(source.requests, (Counts{32, 73, 32, 32, 32, 32, 32, 32, 32}));
    EXPECT_STREQ(fail_take(), ""); // the short last refill is the normal end
    EXPECT_EQ(in.read_error(), 0);

    char c;
    EXPECT_EQ(in.eread(&c, 1), 0);
    EXPECT_STREQ(fail_take(), "BufReadable::eread short file\r\n");
    // A failed stream leaves its source alone, so a pending report survives.
    fail_new("Caller::work ", "pending");
    StderrCapture capture;
    EXPECT_EQ(in.eread(&c, 1) + in.eread(back.data(), 40), 0);
    EXPECT_EQ(capture.text(), "");
    EXPECT_EQ(source.requests.size(), 10u);
    EXPECT_STREQ(fail_take(), "Caller::work pending\r\n");
    in.set_read_error(0);
    EXPECT_EQ(in.eread(&c, 1), 0);
    EXPECT_EQ(source.requests.size(), 11u);
    EXPECT_STREQ(fail_take(), "BufReadable::eread short file\r\n");

    MemoryReadable short_source(pattern_bytes(50));
    BufReadable bypass(short_source, 16);
    EXPECT_EQ(bypass.eread(back.data(), 80), 50); // the source's own flag and report
    EXPECT_NE(bypass.read_error(), 0);
    EXPECT_STREQ(fail_take(), "MemoryReadable::eread read-error\r\n");
}

TEST(BufReadable, ReadingExactlyToTheEndOfAFileIsNoFailure) {
    TempDir dir;
    Str file(dir.file("exact").c_str());
    const std::string bytes = pattern_bytes(1000);
    {
        OFileStream raw(file, O_CREAT | O_TRUNC);
        BufWriteable out(raw, 128);
        for (size_t i = 0; i < bytes.size(); i += 10) ASSERT_EQ(out.ewrite(bytes.data() + i, 10), 10);
    }
    fail_take();
    IFileStream raw(file);
    BufReadable in(raw, 128);
    std::string back(bytes.size(), 0);
    for (size_t i = 0; i < back.size(); i += 8) ASSERT_EQ(in.eread(back.data() + i, 8), 8);
    EXPECT_EQ(back, bytes);
    EXPECT_EQ(in.read_error(), 0);
    EXPECT_STREQ(fail_take(), "");
    EXPECT_EQ(in.eread(back.data(), 1), 0);
    EXPECT_STREQ(fail_take(), "BufReadable::eread short file\r\n");
}

TEST(BufWriteable, CollectsUntilFullAndWritesLargePiecesDirectly) {
    fail_take();
    MemoryWriteable sink;
    {
        BufWriteable out(sink, 16);
        EXPECT_EQ(out.ewrite("0123456789", 10) + out.ewrite("abcdef", 6), 16);
        EXPECT_EQ(sink.calls, Counts{});
        EXPECT_EQ(out.ewrite("XY", 2), 2);
        EXPECT_EQ(sink.calls, Counts{16});
        EXPECT_EQ(out.flush() + out.flush(), 0); // the second has nothing to write
        EXPECT_EQ(out.ewrite("abc", 3), 3);
        EXPECT_EQ(out.ewrite(pattern_bytes(40).data(), 40), 40);
        EXPECT_EQ(out.ewrite("kept", 4), 4);
        EXPECT_EQ(sink.calls, (Counts{16, 2, 3, 40}));
    }
    EXPECT_EQ(sink.calls, (Counts{16, 2, 3, 40, 4})); // flushed at destruction
    EXPECT_EQ(sink.bytes, "0123456789abcdefXYabc" + pattern_bytes(40) + "kept");
    EXPECT_STREQ(fail_take(), "");
}

TEST(BufWriteable, FailingTargetIsReportedAtTheFlushThatMeetsIt) {
    fail_take();
    MemoryWriteable sink(10);
    BufWriteable out(sink, 16);
    EXPECT_EQ(out.ewrite(pattern_bytes(16).data(), 16), 16);
    EXPECT_EQ(out.write_error(), 0);
    EXPECT_EQ(out.ewrite("z", 1), 0);
    EXPECT_NE(out.write_error(), 0);
    EXPECT_STREQ(fail_take(), "BufWriteable::ewrite write failed, reason:\r\n"
                              " BufWriteable::flush error while flushing buffer, reason:\r\n"
                              " MemoryWriteable::ewrite write-error\r\n");

    OFileStream full(Str("/dev/full"));
    BufWriteable to_full(full, 64);
    EXPECT_EQ(to_full.ewrite("data", 4), 4);
    EXPECT_EQ(to_full.flush(), -1);
    EXPECT_NE(to_full.write_error(), 0);
    EXPECT_STREQ(fail_take(), "BufWriteable::flush error while flushing buffer, reason:\r\n"
                              " OFileStream::ewrite write-error\r\n");

    MemoryWriteable tiny(2);
    StderrCapture capture;
    { BufWriteable doomed(tiny, 64); doomed.ewrite("four", 4); }
    EXPECT_EQ(capture.text(), "MALFUNCTION:\n"
                              "~BufWriteable: unable to flush buffer before destruction, reason:\r\n"
                              " BufWriteable::flush error while flushing buffer, reason:\r\n"
                              " MemoryWriteable::ewrite write-error\r\n\n");
}

TEST(BufStream, BuffersThatCannotBeAllocatedFailEveryTransfer) {
    fail_take();
    MemoryReadable source("abc");
    BufReadable in(source, -1); // no buffer of that size exists
    EXPECT_STREQ(fail_take(), "BufReadable: unable to allocate read-buffer\r\n");
    char c;
    EXPECT_EQ(in.eread(&c, 1), 0);
    EXPECT_NE(in.read_error(), 0);
    MemoryWriteable sink;
    {
        BufWriteable out(sink, -1);
        EXPECT_STREQ(fail_take(), "BufWriteable: unable to allocate write-buffer\r\n");
        EXPECT_EQ(out.ewrite("abc", 3), 0);
        EXPECT_NE(out.write_error(), 0);
    }
    EXPECT_EQ(sink.bytes, "");
}

} // namespace
