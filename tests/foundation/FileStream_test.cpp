// File streams and the buffered streams over them.
#include "foundation/BufStream.h"
#include "foundation/FileStream.h"
#include "testsupport/StderrCapture.h"
#include "testsupport/TempDir.h"
#include "tests/foundation/Expect.h"
#include "tests/foundation/MemoryStream.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Counts = std::vector<int32_t>;

int access_mode(int fd) { return fcntl(fd, F_GETFL) & O_ACCMODE; }

std::string pattern_bytes(size_t n) {
    std::string s(n, 0);
    for (size_t i = 0; i < n; i++) s[i] = char(i * 7 + i / 251);
    return s;
}

TEST(FileStream, ReadsBackWhatWasWrittenAndReportsShortTransfersOnce) {
    TempDir dir;
    Str data(dir.file("data").c_str()), missing(dir.file("missing").c_str()), nowhere(dir.file("no/file").c_str());
    std::string bytes("head\0\r\n\xff tail", 13), back(20, '?');
    fail_take();
    mode_t saved = umask(027);
    {
        OFileStream out(data, O_RDONLY | O_CREAT | O_TRUNC); // the access mode asked for is ignored
        expect_all({SAME(out.open_failed(), false), SAME(access_mode(out.fd()), O_WRONLY),
                    SAME(out.ewrite(bytes.data(), 13), 13)});
    }
    umask(saved);
    struct stat info;
    ASSERT_EQ(stat(data.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u); // 0666 less the umask
    IFileStream in(data, O_WRONLY);
    OFileStream full(Str("/dev/full"));
    expect_all({SAME(access_mode(in.fd()), O_RDONLY), SAME(in.eread(back.data(), 20), 13),
                SAME(back.substr(0, 13), bytes), SAME(taken(), "IFileStream::eread read-error\r\n"),
                SAME(in.eread(back.data(), 8), 0), // sticky
                SAME(in.read_error(), 1), SAME(full.ewrite("abc", 3), 0), SAME(full.ewrite("abc", 3), 0),
                SAME(full.write_error(), 1), SAME(taken(), "OFileStream::ewrite write-error\r\n")});
    { OFileStream truncating(data, O_CREAT | O_TRUNC); }
    EXPECT_EQ(read_file(dir.file("data")), "");
    IFileStream absent(missing);
    EXPECT_EQ(taken(), "IFileStream: unable to open file " + dir.file("missing") + "\r\n");
    OFileStream unopened(nowhere, O_CREAT);
    EXPECT_EQ(taken(), "OFileStream: unable to open file " + dir.file("no/file") + "\r\n");
    EXPECT_TRUE(absent.open_failed() && unopened.open_failed());
}

TEST(FileStream, ReadsFromPipesUntilAllBytesArrivedAndClosesOnlyOwnedDescriptors) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    ASSERT_EQ(write(fds[1], "first-", 6), 6);
    char buffer[12];
    {
        IFileStream in(fds[0], true);
        OFileStream borrowed(fds[1], false);
        std::thread reader([&] { EXPECT_EQ(in.eread(buffer, 12), 12); });
        // The second piece goes in only after the reader has taken the first.
        for (int queued = 6; queued > 0; std::this_thread::yield()) ioctl(fds[0], FIONREAD, &queued);
        ASSERT_EQ(borrowed.ewrite("second", 6), 6);
        reader.join();
        EXPECT_EQ(in.read_error(), 0);
    }
    expect_all({SAME(std::string(buffer, 12), "first-second"), SAME(fcntl(fds[0], F_GETFD), -1),
                SAME(fcntl(fds[1], F_GETFD) != -1, true), SAME(std_in().fd(), 0), SAME(std_out().fd(), 1),
                SAME(std_err().fd(), 2)}); // the standard streams borrow 0, 1 and 2
    close(fds[1]);
    ASSERT_EQ(pipe(fds), 0);
    { OFileStream owned(fds[1], true), borrowed(fds[0], false); } // the other way round
    EXPECT_EQ(fcntl(fds[1], F_GETFD), -1);
    EXPECT_NE(fcntl(fds[0], F_GETFD), -1);
    close(fds[0]);
}

TEST(BufReadable, RefillsWholeBuffersAndReportsOnlyAnUnsatisfiedRead) {
    fail_take();
    const std::string bytes = pattern_bytes(300);
    MemoryReadable source(bytes), short_source(pattern_bytes(50));
    BufReadable in(source, 32), bypass(short_source, 16);
    std::string back(300, 0);
    char c;
    ASSERT_EQ(in.eread(back.data(), 5), 5);
    ASSERT_EQ(in.eread(back.data() + 5, 100), 100); // 27 buffered, 73 straight from the source
    for (size_t at = 105; at < 300; at += 5) ASSERT_EQ(in.eread(back.data() + at, 5), 5);
    expect_all({SAME(back, bytes), SAME(taken(), ""), SAME(in.read_error(), 0), // a short last refill is the end
                SAME(source.requests, Counts({32, 73, 32, 32, 32, 32, 32, 32, 32})),
                SAME(in.eread(&c, 1), 0), SAME(taken(), "BufReadable::eread short file\r\n")});
    // A failed stream leaves its source alone, so a pending report survives.
    fail_new("Caller::work ", "pending");
    StderrCapture capture;
    expect_all({SAME(in.eread(&c, 1), 0), SAME(in.eread(back.data(), 40), 0), SAME(capture.text(), ""),
                SAME(source.requests.size(), 10), SAME(taken(), "Caller::work pending\r\n")});
    in.set_read_error(0);
    expect_all({SAME(in.eread(&c, 1), 0), SAME(source.requests.size(), 11),
                SAME(taken(), "BufReadable::eread short file\r\n"), SAME(bypass.eread(back.data(), 80), 50),
                SAME(bypass.read_error(), 1), // the source's flag and report
                SAME(taken(), "MemoryReadable::eread read-error\r\n")});
}

TEST(BufWriteable, CollectsUntilFullWritesLargePiecesDirectlyAndReportsFailedFlushes) {
    fail_take();
    const std::string forty = pattern_bytes(40);
    MemoryWriteable sink, limited(10), tiny(2);
    {
        BufWriteable out(sink, 16);
        expect_all({SAME(out.ewrite("0123456789", 10), 10), SAME(out.ewrite("abcdef", 6), 6),
                    SAME(sink.calls.size(), 0), SAME(out.ewrite("XY", 2), 2), SAME(sink.calls, Counts({16})),
                    SAME(out.flush(), 0), SAME(out.flush(), 0), SAME(out.ewrite("abc", 3), 3),
                    SAME(out.ewrite(forty.data(), 40), 40), SAME(out.ewrite("kept", 4), 4),
                    SAME(sink.calls, Counts({16, 2, 3, 40}))});
    }
    EXPECT_EQ(sink.calls, (Counts{16, 2, 3, 40, 4})); // flushed at destruction
    EXPECT_EQ(sink.bytes, "0123456789abcdefXYabc" + forty + "kept");
    BufWriteable out(limited, 16);
    const std::string flush_failed = " BufWriteable::flush error while flushing buffer, reason:\r\n"
                                     " MemoryWriteable::ewrite write-error\r\n";
    expect_all({SAME(out.ewrite(forty.data(), 16), 16), SAME(out.write_error(), 0), SAME(taken(), ""),
                SAME(out.ewrite("z", 1), 0), SAME(out.write_error(), 1),
                SAME(taken(), "BufWriteable::ewrite write failed, reason:\r\n" + flush_failed)});
    StderrCapture capture;
    {
        BufWriteable doomed(tiny, 64);
        doomed.ewrite("four", 4);
    }
    EXPECT_EQ(capture.text(),
              "MALFUNCTION:\n~BufWriteable: unable to flush buffer before destruction, reason:\r\n" + flush_failed + "\n");
}

TEST(BufStream, BuffersThatCannotBeAllocatedFailEveryTransfer) {
    fail_take();
    MemoryReadable source("abc");
    MemoryWriteable sink;
    char c;
    BufReadable in(source, -1); // no buffer of that size exists
    EXPECT_EQ(taken(), "BufReadable: unable to allocate read-buffer\r\n");
    {
        BufWriteable out(sink, -1);
        expect_all({SAME(taken(), "BufWriteable: unable to allocate write-buffer\r\n"), SAME(out.ewrite("abc", 3), 0),
                    SAME(out.write_error(), 1), SAME(in.eread(&c, 1), 0), SAME(in.read_error(), 1)});
    }
    EXPECT_EQ(sink.bytes, "");
}

} // namespace
