#include "foundation/FileSystem.h"

#include "foundation/Fail.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

std::string str_of(const Str& s) { return std::string(s.data(), s.length()); }

class FileSystemTest : public ::testing::Test {
protected:
    void SetUp() override {
        fail_take();
        char pattern[] = "/tmp/filesystem_test_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root_ = pattern;
    }
    void TearDown() override {
        fail_take();
        std::filesystem::remove_all(root_);
    }
    std::string at(const std::string& name) const { return root_ + "/" + name; }
    void make_file(const std::string& name, const std::string& contents = "x") const {
        std::ofstream(at(name), std::ios::binary) << contents;
    }
    void make_dir(const std::string& name) const { std::filesystem::create_directory(at(name)); }

    static std::vector<std::string> paths(const DirTree& tree) {
        std::vector<std::string> out;
        for (const DirTree::Entry& e : tree) out.push_back(str_of(e.path));
        return out;
    }

    std::string root_;
};

// ---- Stat ----

TEST_F(FileSystemTest, StatOfAMissingFileFailsWithAReport) {
    Stat s(Str(at("missing").c_str()));
    EXPECT_TRUE(s.failed());
    EXPECT_EQ(std::string(fail_take()), "Stat: unable to stat non-existing file '" + at("missing") + "'\r\n");
}

TEST_F(FileSystemTest, StatOfARegularFileGivesSizeKindAndTime) {
    make_file("f", std::string(1234, 'a'));
    struct timespec times[2] = {{1000000000, 0}, {1111111111, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, at("f").c_str(), times, 0), 0);

    Stat s(Str(at("f").c_str()));
    EXPECT_FALSE(s.failed());
    EXPECT_EQ(s.size(), 1234);
    EXPECT_TRUE(s.is_regular());
    EXPECT_FALSE(s.is_directory());
    EXPECT_EQ(s.modified(), 1111111111);
    EXPECT_EQ(s.accessed(), 1000000000);
    EXPECT_STREQ(fail_take(), "");
}

TEST_F(FileSystemTest, StatOfADirectory) {
    Stat s(Str(root_.c_str()));
    EXPECT_FALSE(s.failed());
    EXPECT_TRUE(s.is_directory());
    EXPECT_FALSE(s.is_regular());
}

TEST_F(FileSystemTest, QueryAgainFollowsTheFile) {
    Str file(at("later").c_str());
    Stat s(file);
    EXPECT_TRUE(s.failed());
    fail_take();

    make_file("later", "12345");
    EXPECT_EQ(s.query(file), 0);
    EXPECT_FALSE(s.failed());
    EXPECT_EQ(s.size(), 5);

    std::filesystem::remove(at("later"));
    EXPECT_EQ(s.query(file), -1);
    EXPECT_TRUE(s.failed());
    EXPECT_EQ(s.size(), 0);
    EXPECT_EQ(std::string(fail_take()), "Stat: unable to stat non-existing file '" + at("later") + "'\r\n");
}

// ---- DirTree ----

class DirTreeTest : public FileSystemTest {
protected:
    void SetUp() override {
        FileSystemTest::SetUp();
        // Names chosen so that the byte order of whole paths differs from a
        // per-directory order: '-' sorts before '/'.
        make_file("b");
        make_dir("a");
        make_file("a/x");
        make_dir("a/deep");
        make_file("a/deep/z");
        make_file("a-b");
        make_file("A");
    }
};

TEST_F(DirTreeTest, NonRecursiveScanListsTheRootsEntriesSorted) {
    DirTree tree(Str(root_.c_str()), false);
    EXPECT_EQ(tree.status(), 0);
    EXPECT_EQ(paths(tree), (std::vector<std::string>{at("A"), at("a"), at("a-b"), at("b")}));
    EXPECT_STREQ(fail_take(), "");
}

TEST_F(DirTreeTest, RecursiveScanSortsByWholePath) {
    DirTree tree(Str(root_.c_str()), true);
    EXPECT_EQ(tree.status(), 0);
    EXPECT_EQ(paths(tree), (std::vector<std::string>{at("A"), at("a"), at("a-b"), at("a/deep"),
                                                      at("a/deep/z"), at("a/x"), at("b")}));
    for (const DirTree::Entry& e : tree) {
        bool dir = str_of(e.path) == at("a") || str_of(e.path) == at("a/deep");
        EXPECT_EQ(e.stat.is_directory(), dir) << str_of(e.path);
        EXPECT_FALSE(e.stat.failed());
    }
}

TEST_F(DirTreeTest, RootWithTrailingSeparatorGetsNoDoubleSeparator) {
    DirTree tree(Str((root_ + "/a/").c_str()), false);
    EXPECT_EQ(tree.status(), 0);
    EXPECT_EQ(paths(tree), (std::vector<std::string>{at("a/deep"), at("a/x")}));
}

TEST_F(DirTreeTest, FileRootIsTheSingleEntry) {
    DirTree tree(Str(at("a/x").c_str()), true);
    EXPECT_EQ(tree.status(), 0);
    ASSERT_EQ(tree.size(), 1u);
    EXPECT_EQ(str_of(tree.entries()[0].path), at("a/x"));
    EXPECT_TRUE(tree.entries()[0].stat.is_regular());
}

TEST_F(DirTreeTest, EmptyDirectoryHasNoEntries) {
    make_dir("empty");
    DirTree tree(Str(at("empty").c_str()), true);
    EXPECT_EQ(tree.status(), 0);
    EXPECT_EQ(tree.size(), 0u);
}

TEST_F(DirTreeTest, MissingRootFailsWithAChainedReport) {
    DirTree tree(Str(at("gone").c_str()), true);
    EXPECT_EQ(tree.status(), 1);
    EXPECT_EQ(std::string(fail_take()), "DirTree: unable to stat '" + at("gone") + "', reason:\r\n"
                                        " Stat: unable to stat non-existing file '" + at("gone") + "'\r\n");
}

TEST_F(DirTreeTest, EntryThatCannotBeStattedEndsTheScan) {
    // A dangling link is listed by the directory but has no status.
    ASSERT_EQ(symlink(at("nowhere").c_str(), at("a/dangling").c_str()), 0);
    DirTree tree(Str(root_.c_str()), true);
    EXPECT_EQ(tree.status(), 1);
    EXPECT_EQ(std::string(fail_take()),
              "DirTree: unable to construct directory-tree, reason:\r\n"
              " DirTree::recurse_add_dir unable to stat '" + at("a/dangling") + "', reason:\r\n"
              " Stat: unable to stat non-existing file '" + at("a/dangling") + "'\r\n");
}

TEST_F(DirTreeTest, DirectoryThatCannotBeOpenedEndsTheScan) {
    // Permissions do not stop root, so this needs an unprivileged user.
    if (geteuid() == 0) GTEST_SKIP() << "running as root: a mode-000 directory stays readable";
    make_dir("locked");
    ASSERT_EQ(chmod(at("locked").c_str(), 0), 0);
    DirTree tree(Str(root_.c_str()), true);
    chmod(at("locked").c_str(), 0700);
    EXPECT_EQ(tree.status(), 1);
    EXPECT_EQ(std::string(fail_take()),
              "DirTree: unable to construct directory-tree, reason:\r\n"
              " DirTree::recurse_add_dir unable to open directory '" + at("locked") + "'\r\n");
}

TEST_F(DirTreeTest, DirectoryThatCannotBeOpenedForLackOfDescriptorsEndsTheScan) {
    // Works for root too: with every descriptor in use, opendir must fail.
    struct rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
    struct rlimit low = saved;
    low.rlim_cur = std::min<rlim_t>(256, saved.rlim_max);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
    std::vector<int> taken;
    for (int fd; (fd = dup(0)) >= 0;) taken.push_back(fd);

    DirTree tree(Str(root_.c_str()), true);

    for (int fd : taken) close(fd);
    setrlimit(RLIMIT_NOFILE, &saved);
    EXPECT_EQ(tree.status(), 1);
    EXPECT_EQ(std::string(fail_take()),
              "DirTree: unable to construct directory-tree, reason:\r\n"
              " DirTree::recurse_add_dir unable to open directory '" + root_ + "'\r\n");
}

TEST_F(DirTreeTest, LinkToAnAncestorIsListedButNotEntered) {
    ASSERT_EQ(symlink(root_.c_str(), at("a/deep/up").c_str()), 0);
    DirTree tree(Str(root_.c_str()), true);
    EXPECT_EQ(tree.status(), 0);
    EXPECT_EQ(paths(tree), (std::vector<std::string>{at("A"), at("a"), at("a-b"), at("a/deep"),
                                                      at("a/deep/up"), at("a/deep/z"), at("a/x"), at("b")}));
}

// ---- path helpers ----

TEST(PathHelpers, DirPartIsTheTextBeforeTheLastSeparator) {
    EXPECT_EQ(str_of(dir_part(Str("a/b/c.txt"))), "a/b");
    EXPECT_EQ(str_of(dir_part(Str("file"))), ".");
    EXPECT_EQ(str_of(dir_part(Str(""))), ".");
    EXPECT_EQ(str_of(dir_part(Str("a/b/"))), "a/b");
    EXPECT_EQ(str_of(dir_part(Str("./prog"))), ".");
    EXPECT_EQ(str_of(dir_part(Str("../prog"))), "..");
}

TEST(PathHelpers, DirPartDropsTrailingDotComponents) {
    EXPECT_EQ(str_of(dir_part(Str("/home/u/./prog"))), "/home/u");
    EXPECT_EQ(str_of(dir_part(Str("a/././prog"))), "a");
    EXPECT_EQ(str_of(dir_part(Str("a/b/."))), "a/b");
    EXPECT_EQ(str_of(dir_part(Str("a/.x/f"))), "a/.x");
}

TEST(PathHelpers, DirPartOfAFileInTheRootIsTheRoot) {
    EXPECT_EQ(str_of(dir_part(Str("/vmlinuz"))), "/");
    EXPECT_EQ(str_of(dir_part(Str("/./x"))), "/");
}

TEST(PathHelpers, DirPartTakesAnySeparator) {
    EXPECT_EQ(str_of(dir_part(Str("C:\\dir\\.\\f"), '\\')), "C:\\dir");
    EXPECT_EQ(str_of(dir_part(Str("a/b"), '\\')), ".");
}

TEST(PathHelpers, FilePartIsTheTextAfterTheLastSeparator) {
    EXPECT_EQ(str_of(file_part(Str("a/b/c.txt"))), "c.txt");
    EXPECT_EQ(str_of(file_part(Str("c.txt"))), "c.txt");
    EXPECT_EQ(str_of(file_part(Str("a/b/"))), "");
    EXPECT_EQ(str_of(file_part(Str("/x"))), "x");
    EXPECT_EQ(str_of(file_part(Str(""))), "");
}

TEST(PathHelpers, StripExtensionCutsAtTheLastDotOfTheFileName) {
    EXPECT_EQ(str_of(strip_extension(Str("a/b.tar.gz"))), "a/b.tar");
    EXPECT_EQ(str_of(strip_extension(Str("noext"))), "noext");
    EXPECT_EQ(str_of(strip_extension(Str("name."))), "name");
    EXPECT_EQ(str_of(strip_extension(Str("dir.d/file"))), "dir.d/file");
    EXPECT_EQ(str_of(strip_extension(Str("./file"))), "./file");
    EXPECT_EQ(str_of(strip_extension(Str("./file.gra"))), "./file");
}

class AbsDirTest : public FileSystemTest {
protected:
    void SetUp() override {
        FileSystemTest::SetUp();
        char cwd[PATH_MAX];
        ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
        saved_cwd_ = cwd;
        ASSERT_EQ(chdir(root_.c_str()), 0);
        // The temporary directory may lie behind a link: compare with what the system reports.
        ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
        here_ = cwd;
    }
    void TearDown() override {
        ASSERT_EQ(chdir(saved_cwd_.c_str()), 0);
        FileSystemTest::TearDown();
    }
    std::string saved_cwd_;
    std::string here_;
};

TEST_F(AbsDirTest, AbsolutePathKeepsItsDirectory) {
    EXPECT_EQ(str_of(abs_dir(Str("/usr/bin/ls"))), "/usr/bin");
    EXPECT_EQ(str_of(abs_dir(Str("/ls"))), "/");
}

TEST_F(AbsDirTest, RelativePathIsTakenFromTheWorkingDirectory) {
    EXPECT_EQ(str_of(abs_dir(Str("prog"))), here_);
    EXPECT_EQ(str_of(abs_dir(Str("./prog"))), here_);
    EXPECT_EQ(str_of(abs_dir(Str("sub/prog"))), here_ + "/sub");
    EXPECT_EQ(str_of(abs_dir(Str(""))), here_);
}

TEST_F(AbsDirTest, ShortRelativePathsAreRelativeToo) {
    // No drive letters here: "C:" is an ordinary relative name.
    EXPECT_EQ(str_of(abs_dir(Str("C:x/y"))), here_ + "/C:x");
    EXPECT_EQ(str_of(abs_dir(Str("a"))), here_);
}

} // namespace
