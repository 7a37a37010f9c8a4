#include "foundation/FileStream.h"

#include "foundation/Fail.h"
#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

Str path_in(const TempDir& dir, const char* name) { return Str(dir.file(name).c_str()); }

TEST(FileStream, BytesWrittenReadBackAndShortTransfersReportOnce) {
    TempDir dir;
    fail_take();
    std::string bytes("head\0\r\n\xff tail", 13);
    {
        OFileStream out(path_in(dir, "data"), O_RDONLY | O_CREAT | O_TRUNC); // mode is ignored
        ASSERT_FALSE(out.open_failed());
        EXPECT_EQ(fcntl(out.fd(), F_GETFL) & O_ACCMODE, O_WRONLY);
        EXPECT_EQ(out.ewrite(bytes.data(), 13), 13);
    }
    IFileStream in(path_in(dir, "data"), O_WRONLY);
    ASSERT_FALSE(in.open_failed());
    EXPECT_EQ(fcntl(in.fd(), F_GETFL) & O_ACCMODE, O_RDONLY);
    std::string back(20, '?');
    EXPECT_EQ(in.eread(back.data(), 20), 13);
    EXPECT_EQ(back.substr(0, 13), bytes);
    EXPECT_STREQ(fail_take(), "IFileStream::eread read-error\r\n");
    EXPECT_EQ(in.eread(back.data(), 8), 0); // the flag is sticky: no second report
    EXPECT_NE(in.read_error(), 0);

    OFileStream full(Str("/dev/full"));
    EXPECT_EQ(full.ewrite("abc", 3), 0);
    EXPECT_EQ(full.ewrite("abc", 3), 0);
    EXPECT_NE(full.write_error(), 0);
    EXPECT_STREQ(fail_take(), "OFileStream::ewrite write-error\r\n");
    { OFileStream truncating(path_in(dir, "data"), O_CREAT | O_TRUNC); }
    EXPECT_EQ(read_file(dir.file("data")), "");
}

TEST(FileStream, FailedOpenNamesThePath) {
    TempDir dir;
    fail_take();
    IFileStream in(path_in(dir, "missing"));
    EXPECT_TRUE(in.open_failed());
    EXPECT_EQ(fail_take(), "IFileStream: unable to open file " + dir.file("missing") + "\r\n");
    OFileStream out(path_in(dir, "no/such/file"), O_CREAT);
    EXPECT_TRUE(out.open_failed());
    EXPECT_EQ(fail_take(), "OFileStream: unable to open file " + dir.file("no/such/file") + "\r\n");
}

TEST(FileStream, NewFilesGetMode0666LessTheUmask) {
    TempDir dir;
    mode_t saved = umask(027);
    { OFileStream out(path_in(dir, "masked"), O_CREAT); }
    umask(0);
    { OFileStream out(path_in(dir, "open"), O_CREAT); }
    umask(saved);
    struct stat masked, open;
    ASSERT_EQ(stat(dir.file("masked").c_str(), &masked) + stat(dir.file("open").c_str(), &open), 0);
    EXPECT_EQ(masked.st_mode & 0777, 0640u);
    EXPECT_EQ(open.st_mode & 0777, 0666u);
}

TEST(FileStream, OnlyOwnedDescriptorsAreClosed) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    { OFileStream borrowed(fds[1], false); }
    { IFileStream owned(fds[0], true); }
    EXPECT_NE(fcntl(fds[1], F_GETFD), -1);
    EXPECT_EQ(fcntl(fds[0], F_GETFD), -1);
    close(fds[1]);
    // The standard streams borrow descriptors 0, 1 and 2.
    EXPECT_EQ(std_in().fd(), 0);
    EXPECT_EQ(std_out().fd(), 1);
    EXPECT_EQ(std_err().fd(), 2);
}

TEST(FileStream, ReadWaitsForAllRequestedBytesFromAPipe) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    ASSERT_EQ(write(fds[1], "first-", 6), 6);
    IFileStream in(fds[0], true);
    char buffer[12];
    int32_t got = 0;
    std::thread reader([&] { got = in.eread(buffer, 12); });
    // The second piece goes in only after the reader has taken the first.
    for (int queued = 6; queued > 0; std::this_thread::yield()) ioctl(fds[0], FIONREAD, &queued);
    ASSERT_EQ(write(fds[1], "second", 6), 6);
    reader.join();
    close(fds[1]);
    EXPECT_EQ(got, 12);
    EXPECT_EQ(std::string(buffer, 12), "first-second");
    EXPECT_EQ(in.read_error(), 0);
}

} // namespace
