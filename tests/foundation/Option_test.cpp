// The six option kinds: what each accepts, what it stores, and the exact
// text of each rejection.
#include "foundation/Fail.h"
#include "foundation/Option.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::string taken() { return fail_take(); }

std::string str(const Str& s) { return std::string(s.data(), s.length()); }

class TempDir {
public:
    TempDir() {
        char pattern[] = "/tmp/option_test_XXXXXX";
        path_ = ::mkdtemp(pattern);
    }
    ~TempDir() { std::filesystem::remove_all(path_); }
    const std::string& path() const { return path_; }
    std::string file(const char* name, mode_t mode) const {
        std::string p = path_ + "/" + name;
        std::ofstream(p) << "x";
        ::chmod(p.c_str(), mode);
        return p;
    }

private:
    std::string path_;
};

// ------------------------------------------------------------------ integer

TEST(OptionInt, OutOfRangeIsRejectedWithTheRangeInTheMessage) {
    OptionInt port("port", "number of port to listen to", 8080, 1, 65535, true);
    EXPECT_EQ(port.from_Str("99999"), -1);
    EXPECT_EQ(port.value(), 8080);
    EXPECT_EQ(taken(), "OptionInt::from_Str value 99999 is out of range;\n"
                       " valid are integers from 1 to 65535\n\r\n");
}

TEST(OptionInt, NonNumericTextIsReadAsZero) {
    OptionInt port("port", "", 8080, 1, 65535, true);
    EXPECT_EQ(port.from_Str("many"), -1);
    EXPECT_EQ(taken(), "OptionInt::from_Str value 0 is out of range;\n"
                       " valid are integers from 1 to 65535\n\r\n");

    OptionInt updtime("updtime", "", 36000, 0, 360000, true);
    EXPECT_EQ(updtime.from_Str("many"), 0);
    EXPECT_EQ(updtime.value(), 0);
    EXPECT_FALSE(fail_pending());
}

TEST(OptionInt, AcceptsBothLimitsAndNegativeNumbers) {
    OptionInt remip("remip", "", 0, -2147483647 - 1, 2147483647, false);
    EXPECT_EQ(remip.from_Str("-2147483648"), 0);
    EXPECT_EQ(str(remip.to_Str()), "-2147483648");
    OptionInt maxcon("maxcon", "", 16, 1, 100, true);
    EXPECT_EQ(maxcon.from_Str("1"), 0);
    EXPECT_EQ(maxcon.value(), 1);
    EXPECT_EQ(maxcon.from_Str("100"), 0);
    EXPECT_EQ(str(maxcon.to_Str()), "100");
    EXPECT_EQ(maxcon.from_Str("101"), -1);
    fail_take();
    EXPECT_EQ(maxcon.value(), 100);
}

TEST(OptionInt, DescribesItsRange) {
    OptionInt timeout("timeout", "", 60, 1, 3600, true);
    EXPECT_EQ(str(timeout.describe()), "1 to 3600");
    EXPECT_EQ(timeout.kind(), 1);
}

// ------------------------------------------------------------------- string

int reject_blank(const Str& candidate) { return candidate.find(' ') >= 0; }

TEST(OptionStr, ValidatorRejectionKeepsTheValue) {
    OptionStr host("proxyhost", "", "origin", reject_blank, true);
    EXPECT_EQ(host.from_Str("two words"), -1);
    EXPECT_EQ(str(host.value()), "origin");
    EXPECT_EQ(taken(), "OptionStr::from_Str invalid value for option\r\n");
    EXPECT_EQ(host.from_Str("other"), 0);
    EXPECT_EQ(str(host.to_Str()), "other");
}

TEST(OptionStr, WithoutValidatorStoresAnythingIncludingEmpty) {
    OptionStr user("socksuser", "", "me", nullptr, true);
    EXPECT_EQ(user.from_Str(""), 0);
    EXPECT_EQ(str(user.to_Str()), "");
    EXPECT_EQ(str(user.describe()), "any string");
    EXPECT_EQ(user.kind(), 3);
}

// --------------------------------------------------------------------- path

TEST(OptionPath, TrailingSlashIsDroppedButALoneSlashIsKept) {
    TempDir dir;
    OptionPath cache("cachedir", "", "./cache", 4 | 8 | 16 | 32, true);
    EXPECT_EQ(cache.from_Str(Str((dir.path() + "/").c_str())), 0);
    EXPECT_EQ(str(cache.value()), dir.path());
    EXPECT_EQ(cache.from_Str("/"), 0);
    EXPECT_EQ(str(cache.value()), "/");
}

TEST(OptionPath, MissingPathIsAcceptedUnlessItMustExist) {
    TempDir dir;
    std::string missing = dir.path() + "/none/";
    OptionPath loose("cachedir", "", "./cache", 4, true);
    EXPECT_EQ(loose.from_Str(missing.c_str()), 0);
    EXPECT_EQ(str(loose.value()), dir.path() + "/none");

    OptionPath strict("setup", "", "old", 1, true);
    EXPECT_EQ(strict.from_Str(missing.c_str()), -1);
    EXPECT_EQ(str(strict.value()), "old");
    EXPECT_EQ(taken(), "OptionPath::from_Str file '" + dir.path() + "/none' doesn't exist\r\n");
}

TEST(OptionPath, KindChecksNameTheFailingTest) {
    TempDir dir;
    std::string file = dir.file("plain", 0644);
    OptionPath wants_dir("cachedir", "", "old", 4, true);
    EXPECT_EQ(wants_dir.from_Str(file.c_str()), -1);
    EXPECT_EQ(taken(), "OptionPath::from_Str '" + file + "' is not a directory\r\n");
    EXPECT_EQ(str(wants_dir.value()), "old");

    OptionPath wants_file("setup", "", "old", 2, true);
    EXPECT_EQ(wants_file.from_Str(dir.path().c_str()), -1);
    EXPECT_EQ(taken(), "OptionPath::from_Str '" + dir.path() + "' is not a regular file\r\n");
    EXPECT_EQ(wants_file.from_Str(file.c_str()), 0);
}

TEST(OptionPath, FileWithoutExecuteBitIsNotExecutable) {
    TempDir dir;
    std::string file = dir.file("data", 0644);
    OptionPath program("program", "", "old", 2 | 32, true);
    EXPECT_EQ(program.from_Str(file.c_str()), -1);
    EXPECT_EQ(taken(), "OptionPath::from_Str '" + file + "' is not executable\r\n");
    ::chmod(file.c_str(), 0755);
    EXPECT_EQ(program.from_Str(file.c_str()), 0);
}

// Root passes every read and write test on a writable file system, so the
// refusals are checked in a child that runs as an ordinary user.
int check_as_unprivileged(const std::string& path, uint32_t checks, std::string& message) {
    int pipe_fds[2];
    if (::pipe(pipe_fds) != 0) return -2;
    pid_t child = ::fork();
    if (child == 0) {
        ::close(pipe_fds[0]);
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(3);
        OptionPath option("dir", "", "old", checks, true);
        int result = option.from_Str(path.c_str());
        std::string text = fail_take();
        if (::write(pipe_fds[1], text.data(), text.size()) < 0) ::_exit(4);
        ::_exit(result == 0 ? 0 : 1);
    }
    ::close(pipe_fds[1]);
    char buffer[1024];
    ssize_t n;
    while ((n = ::read(pipe_fds[0], buffer, sizeof buffer)) > 0) message.append(buffer, size_t(n));
    ::close(pipe_fds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(OptionPath, ReadOnlyDirectoryIsNotWritable) {
    TempDir dir;
    ::chmod(dir.path().c_str(), 0755);
    std::string locked = dir.path() + "/locked";
    ::mkdir(locked.c_str(), 0555);
    ::chmod(locked.c_str(), 0555);
    std::string message;
    EXPECT_EQ(check_as_unprivileged(locked, 4 | 8 | 16 | 32, message), 1);
    EXPECT_EQ(message, "OptionPath::from_Str '" + locked + "' is not writable\r\n");
}

TEST(OptionPath, UnreadableDirectoryIsNotReadable) {
    TempDir dir;
    ::chmod(dir.path().c_str(), 0755);
    std::string hidden = dir.path() + "/hidden";
    ::mkdir(hidden.c_str(), 0311);
    ::chmod(hidden.c_str(), 0311);
    std::string message;
    EXPECT_EQ(check_as_unprivileged(hidden, 4 | 8 | 16 | 32, message), 1);
    EXPECT_EQ(message, "OptionPath::from_Str '" + hidden + "' is not readable\r\n");
    std::string open = dir.path() + "/open";
    ::mkdir(open.c_str(), 0777);
    ::chmod(open.c_str(), 0777); // past the umask
    message.clear();
    EXPECT_EQ(check_as_unprivileged(open, 4 | 8 | 16 | 32, message), 0);
    EXPECT_EQ(message, "");
}

TEST(OptionPath, DescriptionListsTheChecksInFixedOrder) {
    EXPECT_EQ(str(OptionPath("a", "", "", 4 | 8 | 16 | 32, true).describe()),
              "readable writeable executable directory path");
    EXPECT_EQ(str(OptionPath("a", "", "", 4 | 32, true).describe()), "executable directory path");
    EXPECT_EQ(str(OptionPath("a", "", "", 0, true).describe()), "path");
    EXPECT_EQ(str(OptionPath("a", "", "", 1 | 2 | 8, true).describe()), "existant readable file ");
    EXPECT_EQ(OptionPath("a", "", "", 0, true).kind(), 4);
}

// --------------------------------------------------------------------- flag

TEST(OptionFlag, TrueWordsInAnyCaseSetIt) {
    for (const char* word : {"yes", "On", "TRUE", "1"}) {
        OptionFlag flag("debug", "", 0, true);
        EXPECT_EQ(flag.from_Str(word), 0) << word;
        EXPECT_EQ(flag.value(), 1) << word;
        EXPECT_EQ(str(flag.to_Str()), "1");
    }
}

TEST(OptionFlag, FalseWordsInAnyCaseClearIt) {
    for (const char* word : {"no", "OFF", "false", "0"}) {
        OptionFlag flag("debug", "", 1, true);
        EXPECT_EQ(flag.from_Str(word), 0) << word;
        EXPECT_EQ(flag.value(), 0) << word;
        EXPECT_EQ(str(flag.to_Str()), "0");
    }
}

TEST(OptionFlag, OtherWordsAreRejectedAndTheFlagKeepsItsValue) {
    OptionFlag flag("offline", "", 1, true);
    EXPECT_EQ(flag.from_Str("maybe"), -1);
    EXPECT_EQ(flag.value(), 1);
    EXPECT_EQ(taken(), "OptionFlag::from_Str 'maybe' is invalid for boolean option,\n"
                       "                      valid: true false on off yes no 1 0\r\n");
    EXPECT_EQ(flag.from_Str("2"), -1);
    fail_take();
    EXPECT_EQ(str(flag.describe()), "true false 1 0");
    EXPECT_EQ(flag.kind(), 5);
}

// ------------------------------------------------------------------- choice

TEST(OptionChoice, MatchIsCaseSensitive) {
    OptionChoice language("language", "", 0, "english deutsch dutch", true);
    EXPECT_EQ(language.from_Str("Deutsch"), -1);
    EXPECT_EQ(language.index(), 0u);
    EXPECT_EQ(taken(), "OptionChoice::from_Str 'Deutsch' is an invalid choice,\n"
                       "                      valid: english deutsch dutch\r\n");
    EXPECT_EQ(language.from_Str("deutsch"), 0);
    EXPECT_EQ(language.index(), 1u);
    EXPECT_EQ(str(language.to_Str()), "deutsch");
    EXPECT_EQ(language.from_Str("dutch"), 0);
    EXPECT_EQ(language.index(), 2u);
    EXPECT_EQ(str(language.to_Str()), "dutch");
}

TEST(OptionChoice, PartialAndEmptyWordsAreNotChoices) {
    OptionChoice language("language", "", 2, "english deutsch dutch", true);
    for (const char* word : {"", "dut", "english deutsch", "dutchx"}) {
        EXPECT_EQ(language.from_Str(word), -1) << word;
        fail_take();
    }
    EXPECT_EQ(language.index(), 2u);
    EXPECT_EQ(str(language.describe()), "english deutsch dutch");
    EXPECT_EQ(language.kind(), 6);
}

// ------------------------------------------------------------------- switch

TEST(OptionSwitch, AcceptsAnythingAndChangesNothing) {
    OptionSwitch help("help", "", false);
    EXPECT_EQ(help.from_Str("whatever"), 0);
    EXPECT_EQ(help.given(), 0);
    EXPECT_EQ(str(help.to_Str()), "");
    EXPECT_EQ(str(help.describe()), "");
    help.set_given(1);
    EXPECT_EQ(help.given(), 1);
    EXPECT_EQ(help.kind(), 7);
    EXPECT_FALSE(help.saved());
}

} // namespace
