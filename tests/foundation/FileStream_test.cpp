#include "foundation/FileStream.h"

#include "foundation/Fail.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

class FileStreamTest : public ::testing::Test {
protected:
    void SetUp() override {
        fail_take();
        char pattern[] = "/tmp/filestream_test_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        fail_take();
        std::filesystem::remove_all(dir_);
    }
    Str path(const char* name) const { return Str((dir_ + "/" + name).c_str()); }

    static void write_file(const Str& p, const std::string& bytes) {
        OFileStream out(p, O_CREAT | O_TRUNC);
        ASSERT_FALSE(out.open_failed());
        ASSERT_EQ(out.ewrite(bytes.data(), int32_t(bytes.size())), int32_t(bytes.size()));
    }

    std::string dir_;
};

TEST_F(FileStreamTest, WrittenBytesReadBackIdentically) {
    std::string bytes("head\0\r\n\xff tail", 13);
    write_file(path("data"), bytes);

    IFileStream in(path("data"));
    ASSERT_FALSE(in.open_failed());
    std::string back(bytes.size(), '?');
    EXPECT_EQ(in.eread(back.data(), int32_t(back.size())), int32_t(bytes.size()));
    EXPECT_EQ(back, bytes);
    EXPECT_EQ(in.read_error(), 0);
    EXPECT_STREQ(fail_take(), "");
}

TEST_F(FileStreamTest, OpeningMissingFileReportsThePath) {
    Str missing = path("missing");
    IFileStream in(missing);
    EXPECT_TRUE(in.open_failed());
    EXPECT_EQ(std::string(fail_take()), "IFileStream: unable to open file " + std::string(missing.c_str()) + "\r\n");
}

TEST_F(FileStreamTest, OpeningForWriteInMissingDirectoryReportsThePath) {
    Str target = path("no/such/file");
    OFileStream out(target, O_CREAT | O_TRUNC);
    EXPECT_TRUE(out.open_failed());
    EXPECT_EQ(std::string(fail_take()), "OFileStream: unable to open file " + std::string(target.c_str()) + "\r\n");
}

TEST_F(FileStreamTest, ReadingPastTheEndReportsReadErrorOnce) {
    write_file(path("short"), "abc");
    IFileStream in(path("short"));
    char buffer[8];
    EXPECT_EQ(in.eread(buffer, 8), 3);
    EXPECT_EQ(std::string(buffer, 3), "abc");
    EXPECT_NE(in.read_error(), 0);
    EXPECT_EQ(std::string(fail_take()), "IFileStream::eread read-error\r\n");

    // The flag is sticky: a further short read adds no report.
    EXPECT_EQ(in.eread(buffer, 8), 0);
    EXPECT_NE(in.read_error(), 0);
    EXPECT_STREQ(fail_take(), "");
}

TEST_F(FileStreamTest, WritingToAFullDeviceReportsWriteErrorOnce) {
    OFileStream out(Str("/dev/full"));
    ASSERT_FALSE(out.open_failed());
    EXPECT_LT(out.ewrite("abc", 3), 3);
    EXPECT_NE(out.write_error(), 0);
    EXPECT_EQ(std::string(fail_take()), "OFileStream::ewrite write-error\r\n");

    EXPECT_LT(out.ewrite("abc", 3), 3);
    EXPECT_STREQ(fail_take(), "");
}

TEST_F(FileStreamTest, AccessModeInCallerFlagsIsIgnored) {
    // Write-only although the caller asked for read-only, and the other way round.
    OFileStream out(path("mode"), O_RDONLY | O_CREAT | O_TRUNC);
    ASSERT_FALSE(out.open_failed());
    EXPECT_EQ(out.ewrite("xyz", 3), 3);
    EXPECT_EQ(fcntl(out.fd(), F_GETFL) & O_ACCMODE, O_WRONLY);

    IFileStream in(path("mode"), O_WRONLY);
    ASSERT_FALSE(in.open_failed());
    EXPECT_EQ(fcntl(in.fd(), F_GETFL) & O_ACCMODE, O_RDONLY);
    char buffer[3];
    EXPECT_EQ(in.eread(buffer, 3), 3);
    EXPECT_EQ(std::string(buffer, 3), "xyz");
}

TEST_F(FileStreamTest, NewFilesGetMode0666LessTheUmask) {
    mode_t saved = umask(027);
    { OFileStream out(path("masked"), O_CREAT | O_TRUNC); }
    umask(0);
    { OFileStream out(path("open"), O_CREAT | O_TRUNC); }
    umask(saved);

    struct stat info;
    ASSERT_EQ(stat(path("masked").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    ASSERT_EQ(stat(path("open").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0666u);
}

TEST_F(FileStreamTest, TruncateFlagEmptiesAnExistingFile) {
    write_file(path("t"), "long old contents");
    { OFileStream out(path("t"), O_CREAT | O_TRUNC); out.ewrite("new", 3); }
    EXPECT_EQ(std::filesystem::file_size(dir_ + "/t"), 3u);
}

TEST_F(FileStreamTest, OwnedDescriptorIsClosedAndUnownedIsNot) {
    int fd_owned = open(path("a").c_str(), O_CREAT | O_WRONLY, 0600);
    int fd_borrowed = open(path("b").c_str(), O_CREAT | O_WRONLY, 0600);
    ASSERT_GE(fd_owned, 0);
    ASSERT_GE(fd_borrowed, 0);
    { OFileStream owned(fd_owned, true); }
    { OFileStream borrowed(fd_borrowed, false); }
    EXPECT_EQ(fcntl(fd_owned, F_GETFD), -1);
    EXPECT_NE(fcntl(fd_borrowed, F_GETFD), -1);
    close(fd_borrowed);
}

TEST_F(FileStreamTest, ReadWaitsForAllRequestedBytesFromAPipe) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    std::thread writer([fd = fds[1]] {
        // Separate writes arrive as separate pieces at the reader.
        ASSERT_EQ(write(fd, "first-", 6), 6);
        usleep(20000);
        ASSERT_EQ(write(fd, "second", 6), 6);
        close(fd);
    });
    IFileStream in(fds[0], true);
    char buffer[12];
    EXPECT_EQ(in.eread(buffer, 12), 12);
    writer.join();
    EXPECT_EQ(std::string(buffer, 12), "first-second");
    EXPECT_EQ(in.read_error(), 0);
}

TEST_F(FileStreamTest, StandardStreamsAreUnownedSingletonsOnDescriptors012) {
    EXPECT_EQ(std_in().fd(), 0);
    EXPECT_EQ(std_out().fd(), 1);
    EXPECT_EQ(std_err().fd(), 2);
    EXPECT_EQ(&std_err(), &std_err());
    EXPECT_FALSE(std_out().open_failed());
}

} // namespace
