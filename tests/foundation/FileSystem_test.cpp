#include "foundation/FileSystem.h"

#include "foundation/Fail.h"
#include "testsupport/TempDir.h"
#include "tests/foundation/Expect.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using Paths = std::vector<std::string>;


TEST(Stat, FollowsTheFileAsItComesAndGoes) {
    TempDir dir;
    Str file(dir.file("later").c_str());
    const std::string missing = "Stat: unable to stat non-existing file '" + dir.file("later") + "'\r\n";
    struct timespec times[2] = {{1000000000, 0}, {1111111111, 0}};
    fail_take();
    Stat s(file), folder(Str(dir.path().c_str()));
    expect_all({SAME(s.failed(), true), SAME(taken(), missing),
                SAME(write_file(file.c_str(), std::string(1234, 'a')), true),
                SAME(utimensat(AT_FDCWD, file.c_str(), times, 0), 0), SAME(s.query(file), 0), SAME(s.failed(), false),
                SAME(s.size(), 1234), SAME(s.is_regular(), true), SAME(s.is_directory(), false),
                SAME(s.modified(), 1111111111), SAME(s.accessed(), 1000000000), SAME(folder.is_directory(), true),
                SAME(folder.is_regular(), false), SAME(std::filesystem::remove(file.c_str()), true),
                SAME(s.query(file), -1), SAME(s.failed(), true), SAME(s.size(), 0), SAME(taken(), missing)});
}

class DirTreeTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Whole-path order differs from a per-directory order: '-' sorts before '/'.
        for (const char* name : {"a", "a/deep", "empty"}) std::filesystem::create_directory(at(name));
        for (const char* name : {"b", "a/x", "a/deep/z", "a-b", "A"}) write_file(at(name), "x");
        fail_take();
    }
    std::string at(const std::string& name) const { return dir.file(name); }
    Paths scan(const std::string& root, bool recursive, int status = 0) {
        DirTree tree(Str(root.c_str()), recursive);
        EXPECT_EQ(tree.status(), status);
        Paths out;
        for (const DirTree::Entry& e : tree) {
            out.push_back(std::string(e.path.data(), e.path.length()));
            EXPECT_EQ(e.stat.is_directory(), std::filesystem::is_directory(out.back()));
        }
        return out;
    }
    TempDir dir;
};

TEST_F(DirTreeTest, ListsEntriesSortedByWholePathWithoutEnteringLinks) {
    ASSERT_EQ(symlink(dir.path().c_str(), at("a/deep/up").c_str()), 0); // listed, not entered
    expect_all({SAME(scan(dir.path(), true), Paths({at("A"), at("a"), at("a-b"), at("a/deep"), at("a/deep/up"),
                                                      at("a/deep/z"), at("a/x"), at("b"), at("empty")})),
                SAME(scan(dir.path(), false), Paths({at("A"), at("a"), at("a-b"), at("b"), at("empty")})),
                SAME(scan(at("a/"), false), Paths({at("a/deep"), at("a/x")})), // no double separator
                SAME(scan(at("a/x"), true), Paths({at("a/x")})),               // a file is the one entry
                SAME(scan(at("empty"), true).size(), 0), SAME(taken(), "")});
}

TEST_F(DirTreeTest, FailuresEndTheScanWithAChainedReport) {
    const std::string failed = "DirTree: unable to construct directory-tree, reason:\r\n DirTree::recurse_add_dir ";
    scan(at("gone"), true, 1);
    EXPECT_EQ(taken(), "DirTree: unable to stat '" + at("gone") + "', reason:\r\n"
                       " Stat: unable to stat non-existing file '" + at("gone") + "'\r\n");
    // With every descriptor in use opendir must fail, even for root.
    struct rlimit saved, low;
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
    low = saved;
    low.rlim_cur = std::min<rlim_t>(256, saved.rlim_max);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
    std::vector<int> taken_fds;
    for (int fd; (fd = dup(0)) >= 0;) taken_fds.push_back(fd);
    DirTree starved(Str(dir.path().c_str()), true);
    for (int fd : taken_fds) close(fd);
    setrlimit(RLIMIT_NOFILE, &saved);
    EXPECT_EQ(starved.status(), 1);
    EXPECT_EQ(starved.size(), 0u);
    EXPECT_EQ(taken(), failed + "unable to open directory '" + dir.path() + "'\r\n");
    // A dangling link is listed by the directory but has no status.
    ASSERT_EQ(symlink(at("nowhere").c_str(), at("a/dangling").c_str()), 0);
    scan(dir.path(), true, 1);
    EXPECT_EQ(taken(), failed + "unable to stat '" + at("a/dangling") + "', reason:\r\n"
                       " Stat: unable to stat non-existing file '" + at("a/dangling") + "'\r\n");
}

TEST(PathHelpers, SplitPathsAtTheLastSeparator) {
    TempDir dir;
    char saved[PATH_MAX], here[PATH_MAX];
    ASSERT_NE(getcwd(saved, sizeof saved), nullptr);
    ASSERT_EQ(chdir(dir.path().c_str()), 0);
    ASSERT_NE(getcwd(here, sizeof here), nullptr); // the temporary folder may lie behind a link
    const std::string cwd = here;
    expect_all({SAME(dir_part("a/b/c.txt"), "a/b"), SAME(dir_part("file"), "."), SAME(dir_part(""), "."),
                SAME(dir_part("a/b/"), "a/b"), SAME(dir_part("./prog"), "."), SAME(dir_part("../prog"), ".."),
                SAME(dir_part("/home/u/./prog"), "/home/u"), SAME(dir_part("a/././prog"), "a"),
                SAME(dir_part("a/b/."), "a/b"), SAME(dir_part("a/.x/f"), "a/.x"), SAME(dir_part("/vmlinuz"), "/"),
                SAME(dir_part("/./x"), "/"), SAME(dir_part("C:\\dir\\.\\f", '\\'), "C:\\dir"),
                SAME(dir_part("a/b", '\\'), "."), SAME(file_part("a/b/c.txt"), "c.txt"),
                SAME(file_part("c.txt"), "c.txt"), SAME(file_part("a/b/"), ""),
                SAME(strip_extension("a/b.tar.gz"), "a/b.tar"), SAME(strip_extension("noext"), "noext"),
                SAME(strip_extension("name."), "name"), SAME(strip_extension("dir.d/file"), "dir.d/file"),
                SAME(strip_extension("./file.gra"), "./file"), SAME(abs_dir("/usr/bin/ls"), "/usr/bin"),
                SAME(abs_dir("/ls"), "/"), SAME(abs_dir("prog"), cwd), SAME(abs_dir("./prog"), cwd),
                SAME(abs_dir("sub/prog"), cwd + "/sub"), SAME(abs_dir(""), cwd), SAME(abs_dir("C:x/y"), cwd + "/C:x"),
                SAME(chdir("/"), 0), SAME(abs_dir("etc/x"), "/etc"), SAME(chdir(saved), 0)});
}

} // namespace
