#include "foundation/FileSystem.h"

#include "foundation/Fail.h"
#include "testsupport/TempDir.h"

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

std::string str_of(const Str& s) { return std::string(s.data(), s.length()); }

TEST(Stat, FollowsTheFileAsItComesAndGoes) {
    TempDir dir;
    Str file(dir.file("later").c_str());
    const std::string missing = "Stat: unable to stat non-existing file '" + dir.file("later") + "'\r\n";
    fail_take();
    Stat s(file);
    EXPECT_TRUE(s.failed());
    EXPECT_EQ(fail_take(), missing);

    write_file(dir.file("later"), std::string(1234, 'a'));
    struct timespec times[2] = {{1000000000, 0}, {1111111111, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
    EXPECT_EQ(s.query(file), 0);
    EXPECT_FALSE(s.failed());
    EXPECT_EQ(s.size(), 1234);
    EXPECT_TRUE(s.is_regular() && !s.is_directory());
    EXPECT_EQ(s.modified(), 1111111111);
    EXPECT_EQ(s.accessed(), 1000000000);
    Stat folder(Str(dir.path().c_str()));
    EXPECT_TRUE(folder.is_directory() && !folder.is_regular());

    std::filesystem::remove(dir.file("later"));
    EXPECT_EQ(s.query(file), -1);
    EXPECT_TRUE(s.failed());
    EXPECT_EQ(s.size(), 0);
    EXPECT_EQ(fail_take(), missing);
}

class DirTreeTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Whole-path order differs from a per-directory order: '-' sorts before '/'.
        for (const char* name : {"a", "a/deep"}) std::filesystem::create_directory(at(name));
        for (const char* name : {"b", "a/x", "a/deep/z", "a-b", "A"}) write_file(at(name), "x");
        fail_take();
    }
    std::string at(const std::string& name) const { return dir.file(name); }
    Paths scan(const std::string& root, bool recursive, int status = 0) {
        DirTree tree(Str(root.c_str()), recursive);
        EXPECT_EQ(tree.status(), status);
        Paths out;
        for (const DirTree::Entry& e : tree) {
            out.push_back(str_of(e.path));
            EXPECT_EQ(e.stat.is_directory(), std::filesystem::is_directory(out.back()));
            EXPECT_FALSE(e.stat.failed());
        }
        return out;
    }
    TempDir dir;
};

TEST_F(DirTreeTest, ListsEntriesSortedByWholePath) {
    std::filesystem::create_directory(at("empty"));
    const Paths all = {at("A"), at("a"), at("a-b"), at("a/deep"), at("a/deep/z"), at("a/x"), at("b"), at("empty")};
    EXPECT_EQ(scan(dir.path(), true), all);
    EXPECT_EQ(scan(dir.path(), false), (Paths{at("A"), at("a"), at("a-b"), at("b"), at("empty")}));
    EXPECT_EQ(scan(at("a/"), false), (Paths{at("a/deep"), at("a/x")})); // no double separator
    EXPECT_EQ(scan(at("a/x"), true), Paths{at("a/x")});                 // a file is the one entry
    EXPECT_EQ(scan(at("empty"), true), Paths{});
    EXPECT_STREQ(fail_take(), "");
}

TEST_F(DirTreeTest, LinkToADirectoryIsListedButNotEntered) {
    ASSERT_EQ(symlink(dir.path().c_str(), at("a/deep/up").c_str()), 0);
    EXPECT_EQ(scan(dir.path(), true), (Paths{at("A"), at("a"), at("a-b"), at("a/deep"),
                                             at("a/deep/up"), at("a/deep/z"), at("a/x"), at("b")}));
}

TEST_F(DirTreeTest, FailuresEndTheScanWithAChainedReport) {
    EXPECT_EQ(scan(at("gone"), true, 1), Paths{});
    EXPECT_EQ(fail_take(), "DirTree: unable to stat '" + at("gone") + "', reason:\r\n"
                           " Stat: unable to stat non-existing file '" + at("gone") + "'\r\n");

    // With every descriptor in use opendir must fail, even for root.
    struct rlimit saved, low;
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
    low = saved;
    low.rlim_cur = std::min<rlim_t>(256, saved.rlim_max);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
    std::vector<int> taken;
    for (int fd; (fd = dup(0)) >= 0;) taken.push_back(fd);
    DirTree starved(Str(dir.path().c_str()), true);
    for (int fd : taken) close(fd);
    setrlimit(RLIMIT_NOFILE, &saved);
    EXPECT_EQ(starved.status(), 1);
    EXPECT_EQ(fail_take(), "DirTree: unable to construct directory-tree, reason:\r\n"
                           " DirTree::recurse_add_dir unable to open directory '" + dir.path() + "'\r\n");

    // A dangling link is listed by the directory but has no status.
    ASSERT_EQ(symlink(at("nowhere").c_str(), at("a/dangling").c_str()), 0);
    scan(dir.path(), true, 1);
    EXPECT_EQ(fail_take(), "DirTree: unable to construct directory-tree, reason:\r\n"
                           " DirTree::recurse_add_dir unable to stat '" + at("a/dangling") + "', reason:\r\n"
                           " Stat: unable to stat non-existing file '" + at("a/dangling") + "'\r\n");
}

TEST(PathHelpers, SplitPathsAtTheLastSeparator) {
    struct Case {
        Str (*split)(const Str&, char);
        const char* path;
        char separator;
        const char* result;
    } cases[] = {
        {dir_part, "a/b/c.txt", '/', "a/b"}, {dir_part, "file", '/', "."}, {dir_part, "", '/', "."},
        {dir_part, "a/b/", '/', "a/b"}, {dir_part, "./prog", '/', "."}, {dir_part, "../prog", '/', ".."},
        {dir_part, "/home/u/./prog", '/', "/home/u"}, {dir_part, "a/././prog", '/', "a"},
        {dir_part, "a/b/.", '/', "a/b"}, {dir_part, "a/.x/f", '/', "a/.x"}, {dir_part, "/vmlinuz", '/', "/"},
        {dir_part, "/./x", '/', "/"}, {dir_part, "C:\\dir\\.\\f", '\\', "C:\\dir"},
        {dir_part, "a/b", '\\', "."}, {file_part, "a/b/c.txt", '/', "c.txt"},
        {file_part, "c.txt", '/', "c.txt"}, {file_part, "a/b/", '/', ""}, {file_part, "/x", '/', "x"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(str_of(c.split(Str(c.path), c.separator)), c.result) << c.path << " " << c.separator;
    for (auto [path, result] : {std::pair{"a/b.tar.gz", "a/b.tar"}, {"noext", "noext"}, {"name.", "name"},
                                {"dir.d/file", "dir.d/file"}, {"./file", "./file"}, {"./file.gra", "./file"}})
        EXPECT_EQ(str_of(strip_extension(Str(path))), result) << path;
}

TEST(PathHelpers, AbsDirTakesRelativePathsFromTheWorkingDirectory) {
    TempDir dir;
    char saved[PATH_MAX], here[PATH_MAX];
    ASSERT_NE(getcwd(saved, sizeof saved), nullptr);
    ASSERT_EQ(chdir(dir.path().c_str()), 0);
    ASSERT_NE(getcwd(here, sizeof here), nullptr); // the temporary folder may lie behind a link
    const std::string cwd = here;
    for (auto [path, result] : {std::pair{"/usr/bin/ls", "/usr/bin"}, {"/ls", "/"}, {"prog", ""},
                                {"./prog", ""}, {"sub/prog", "/sub"}, {"", ""}, {"C:x/y", "/C:x"}})
        EXPECT_EQ(str_of(abs_dir(Str(path))), path[0] == '/' ? result : cwd + result) << path;
    ASSERT_EQ(chdir("/"), 0);
    EXPECT_EQ(str_of(abs_dir(Str("etc/x"))), "/etc");
    ASSERT_EQ(chdir(saved), 0);
}

} // namespace
