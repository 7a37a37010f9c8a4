// Options and option sets: what each kind accepts, the command line, the two
// listings and the setup file.
#include "foundation/ArgList.h"
#include "foundation/Fail.h"
#include "foundation/OptionSet.h"
#include "testsupport/StderrCapture.h"
#include "testsupport/TempDir.h"
#include "tests/foundation/Expect.h"
#include "tests/foundation/MemoryStream.h"

#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using Words = std::vector<std::string>;

int reject_blank(const Str& candidate) { return candidate.find(' ') >= 0; }

ArgList args(const Words& words) {
    std::vector<const char*> v;
    for (const std::string& w : words) v.push_back(w.c_str());
    return ArgList(int(v.size()), v.data());
}

std::string setup_bytes(const std::vector<std::pair<std::string, std::string>>& pairs) {
    std::string out = "UTES";
    for (const auto& pair : pairs) out += framed(pair.first) + framed(pair.second);
    return out;
}

TEST(Option, EachKindStoresWhatItAcceptsAndNamesWhatItRejects) {
    TempDir dir;
    const std::string file = dir.file("plain"), none = dir.file("none");
    write_file(file, "x");
    ::chmod(file.c_str(), 0644);
    OptionInt port("port", "", 8080, 1, 65535, true), updtime("updtime", "", 36000, 0, 360000, true);
    OptionInt remip("remip", "", 0, INT32_MIN, INT32_MAX, false);
    OptionStr host("proxyhost", "", "origin", reject_blank, true), user("user", "", "me", nullptr, true);
    OptionPath cache("cachedir", "", "./cache", 4 | 8 | 16 | 32, true), setup("setup", "", "old", 1, true);
    OptionPath regular("setup", "", "old", 2, true), program("program", "", "old", 2 | 32, true);
    OptionFlag flag("debug", "", 0, true);
    OptionChoice language("language", "", 0, "english deutsch dutch", true);
    OptionSwitch help("help", "", false);
    auto range = [](const char* value) {
        return std::string("OptionInt::from_Str value ") + value +
               " is out of range;\n valid are integers from 1 to 65535\n\r\n";
    };
    auto path = [](const std::string& p, const char* problem) {
        return "OptionPath::from_Str '" + p + "' is not " + problem + "\r\n";
    };
    auto flag_word = [](const char* word) {
        return std::string("OptionFlag::from_Str '") + word + "' is invalid for boolean option,\n"
               "                      valid: true false on off yes no 1 0\r\n";
    };
    auto choice = [](const char* word) {
        return std::string("OptionChoice::from_Str '") + word + "' is an invalid choice,\n"
               "                      valid: english deutsch dutch\r\n";
    };
    // The result, the value afterwards and the report.
    auto apply = [](Option& option, const std::string& text) {
        int32_t result = option.from_Str(text.c_str());
        return std::to_string(result) + " " + to_std(option.to_Str()) + " " + taken();
    };
    fail_take();
    expect_all({
        SAME(apply(port, "99999"), "-1 8080 " + range("99999")), SAME(apply(port, "many"), "-1 8080 " + range("0")),
        SAME(apply(port, "1"), "0 1 "), SAME(apply(port, "65535"), "0 65535 "), SAME(apply(updtime, "many"), "0 0 "),
        SAME(apply(remip, "-2147483648"), "0 -2147483648 "),
        SAME(apply(host, "two words"), "-1 origin OptionStr::from_Str invalid value for option\r\n"),
        SAME(apply(host, "other"), "0 other "), SAME(apply(user, ""), "0  "),
        SAME(apply(cache, dir.path() + "/"), "0 " + dir.path() + " "), SAME(apply(cache, "/"), "0 / "),
        SAME(apply(cache, none + "/"), "0 " + none + " "),
        SAME(apply(cache, file), "-1 " + none + " " + path(file, "a directory")),
        SAME(apply(setup, none), "-1 old OptionPath::from_Str file '" + none + "' doesn't exist\r\n"),
        SAME(apply(regular, dir.path()), "-1 old " + path(dir.path(), "a regular file")),
        SAME(apply(regular, file), "0 " + file + " "),
        SAME(apply(program, file), "-1 old " + path(file, "executable")),
        SAME(apply(flag, "yes"), "0 1 "), SAME(apply(flag, "OFF"), "0 0 "), SAME(apply(flag, "On"), "0 1 "),
        SAME(apply(flag, "false"), "0 0 "), SAME(apply(flag, "TRUE"), "0 1 "), SAME(apply(flag, "no"), "0 0 "),
        SAME(apply(flag, "1"), "0 1 "), SAME(apply(flag, "0"), "0 0 "), SAME(apply(flag, "2"), "-1 0 " + flag_word("2")),
        SAME(apply(flag, "maybe"), "-1 0 " + flag_word("maybe")),
        SAME(apply(language, "Deutsch"), "-1 english " + choice("Deutsch")),
        SAME(apply(language, "deutsch"), "0 deutsch "), SAME(apply(language, "dutch"), "0 dutch "),
        SAME(apply(language, "dutchx"), "-1 dutch " + choice("dutchx")),
        SAME(apply(language, "english deutsch"), "-1 dutch " + choice("english deutsch")),
        SAME(apply(help, "whatever"), "0  "),
    });
    ::chmod(file.c_str(), 0755);
    EXPECT_EQ(program.from_Str(Str(file.c_str())), 0);
    EXPECT_EQ(to_std(OptionPath("a", "", "", 1 | 2 | 8, true).describe()), "existant readable file ");
    EXPECT_EQ(to_std(OptionPath("a", "", "", 4 | 32, true).describe()), "executable directory path");
}

// Root passes every read and write test on a writable file system, so the
// refusals are checked in a child that runs as an ordinary user.
std::string check_as_unprivileged(const std::string& path) {
    int fds[2];
    if (::pipe(fds) != 0) return "no pipe";
    pid_t child = ::fork();
    if (child == 0) {
        ::close(fds[0]);
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(3);
        OptionPath option("dir", "", "old", 4 | 8 | 16 | 32, true);
        int32_t result = option.from_Str(path.c_str());
        std::string text = std::to_string(result) + " " + fail_take();
        ::_exit(::write(fds[1], text.data(), text.size()) < 0 ? 4 : 0);
    }
    ::close(fds[1]);
    std::string message;
    char buffer[1024];
    for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;) message.append(buffer, size_t(n));
    ::close(fds[0]);
    ::waitpid(child, nullptr, 0);
    return message;
}

TEST(Option, PathAccessIsCheckedForTheRealUser) {
    TempDir dir;
    ::chmod(dir.path().c_str(), 0755);
    for (auto [name, mode, result] : {std::tuple{"locked", 0555, "is not writable"},
                                      {"hidden", 0311, "is not readable"}, {"open", 0777, ""}}) {
        std::string path = dir.file(name);
        ::mkdir(path.c_str(), mode);
        ::chmod(path.c_str(), mode); // past the umask
        EXPECT_EQ(check_as_unprivileged(path),
                  *result ? "-1 OptionPath::from_Str '" + path + "' " + result + "\r\n" : "0 ");
    }
}

// A set with every kind; "zone" is kept out of the setup file.
struct Options {
    Options() {
        for (Option* o : std::initializer_list<Option*>{&port, &debug, &language, &host, &cachedir, &quiet, &zone})
            EXPECT_EQ(set.insert(*o), 0);
        set.set_modified(false);
    }
    std::string values() const {
        return std::to_string(port.value()) + " " + std::to_string(debug.value()) + " " +
               to_std(language.to_Str()) + std::to_string(language.index()) + " " + to_std(host.value()) + " " +
               std::to_string(quiet.given()) + " " + to_std(zone.to_Str());
    }
    OptionInt port{"port", "number of port to listen to", 8080, 1, 65535, true};
    OptionFlag debug{"debug", "if enabled, a lot of information is emitted", 0, true};
    OptionChoice language{"language", "user-interface language", 0, "english deutsch dutch", true};
    OptionStr host{"proxyhost", "remote-proxy server", "", nullptr, true};
    OptionPath cachedir{"cachedir", "where to store cached URLs", "./cache", 4 | 8 | 16 | 32, true};
    OptionSwitch quiet{"quiet", "say nothing", false};
    OptionInt zone{"zone", "not saved", 3, 0, 10, false};
    OptionSet set;
};

TEST(OptionSet, LooksUpAndSetsOptionsByName) {
    Options o;
    OptionInt other("port", "another", 1, 0, 9, true);
    fail_take();
    expect_all({SAME(o.set.insert(other), -1), SAME(taken(), "OptionSet::insert duplicate option 'port'\r\n"),
                SAME(o.set.count(), 7),
                SAME(o.set.find("port") == &o.port, true), SAME(o.set.find("Port") == nullptr, true),
                SAME(taken(), "OptionSet::find unknown option 'Port'\r\n"),
                SAME(o.set.set("port", "8080"), 0), SAME(o.set.modified(), false), // the current text changes nothing
                SAME(o.set.set("port", "0"), -1), SAME(o.set.modified(), false),
                SAME(taken(), "OptionSet::set cannot set option 'port', reason:\r\n OptionInt::from_Str value 0 is "
                              "out of range;\n valid are integers from 1 to 65535\n\r\n"),
                SAME(o.set.set("nosuch", "1"), -1), SAME(taken(), "OptionSet::set unknown option 'nosuch'\r\n"),
                SAME(o.set.set("port", "81"), 0), SAME(o.set.modified(), true),
                SAME(o.values(), "81 0 english0  0 3")});
}

TEST(OptionSet, ListsOptionsInNameOrderWithTextsFromByte31) {
    Options o;
    OptionInt longer("entrysize", "cache only small files", 500, 2, 2000000, true);
    ASSERT_EQ(o.set.insert(longer), 0);
    const std::string header = "option    valid parameter      description\n"
                               "-----------------------------------------------\n";
    const std::string entries = "-cachedir readable writeable executable directory path where to store cached URLs\n"
                                "-debug    true false 1 0       if enabled, a lot of information is emitted\n"
                                "-entrysize 2 to 2000000         cache only small files\n"
                                "-language english deutsch dutch user-interface language\n"
                                "-port     1 to 65535           number of port to listen to\n"
                                "-proxyhost any string           remote-proxy server\n"
                                "-quiet                         say nothing\n"
                                "-zone     0 to 10              not saved\n";
    EXPECT_EQ(to_std(o.set.help("")), header + entries);
    EXPECT_EQ(to_std(o.set.help("Cmdline")), header + entries);
    EXPECT_EQ(to_std(o.set.help("cmdline")), header +
                                             "-help                          display this text\n"
                                             "-cwd      path                 change working directory to path\n"
                                             "-setup    file path            use the specified setup-file\n"
                                             "-show                          show current setup\n" + entries);
    ASSERT_EQ(o.set.set("language", "deutsch"), 0);
    EXPECT_EQ(to_std(o.set.show()), "option    current setting\n-----------------------------------------------\n"
                                 "-cachedir ./cache\n-debug    0\n-entrysize 500\n-language deutsch\n"
                                 "-port     8080\n-proxyhost \n-zone     3\n");
    o.set.set_modified(false);
}

TEST(OptionSet, SetupFileHoldsTheSavedOptionsInNameOrderAndIsWrittenWhenModified) {
    TempDir dir;
    const std::string setup = dir.file("test.cfg"), unchanged = dir.file("unchanged.cfg");
    fail_take();
    {
        Options o, kept;
        expect_all({SAME(o.set.set("proxyhost", "far.example"), 0), SAME(o.set.save(setup.c_str()), 0),
                    SAME(o.set.modified(), true), SAME(o.set.file(), setup), SAME(o.set.save(""), 0),
                    SAME(read_file(setup), setup_bytes({{"cachedir", "./cache"}, {"debug", "0"}, {"language", "english"},
                                                        {"port", "8080"}, {"proxyhost", "far.example"}})),
                    SAME(o.set.save((dir.path() + "/no/such.cfg").c_str()), -1),
                    SAME(taken().rfind("OptionSet::save cannot write options to file, reason:\r\n ", 0), 0),
                    SAME(o.set.save(setup.c_str()) + ::unlink(setup.c_str()), 0), SAME(o.set.set("port", "4"), 0),
                    SAME(kept.set.save(unchanged.c_str()) + ::unlink(unchanged.c_str()), 0)});
        kept.set.set_modified(false);
    } // the modified set is saved again at the end, the other is not
    EXPECT_EQ(read_file(setup), setup_bytes({{"cachedir", "./cache"}, {"debug", "0"}, {"language", "english"},
                                             {"port", "4"}, {"proxyhost", "far.example"}}));
    EXPECT_FALSE(std::filesystem::exists(unchanged));
}

TEST(OptionSet, LoadingAppliesEveryGoodPairAndReportsTheBadOnes) {
    TempDir dir;
    const std::string setup = dir.file("test.cfg"), valid = setup_bytes({{"debug", "1"}, {"port", "9000"}});
    const std::string invalid =
        "MALFUNCTION:\nObjectSource >> OptionSet invalid setup-file, default values will be used";
    // The result, the values, whether the set counts as modified, and what was printed.
    auto load = [&](const std::string& bytes) {
        if (!bytes.empty()) write_file(setup, bytes);
        Options o;
        StderrCapture err;
        int32_t result = o.set.load(setup.c_str());
        std::string out = std::to_string(result) + " " + o.values() + " " + std::to_string(o.set.modified()) + " ";
        EXPECT_EQ(to_std(o.set.file()), setup);
        EXPECT_FALSE(fail_pending());
        o.set.set_modified(false);
        return out + err.text();
    };
    expect_all({
        SAME(load(""), "-1 8080 0 english0  0 3 1 no setup file '" + setup + "' yet: default values are used\n"),
        SAME(load(setup_bytes({{"debug", "1"}, {"port", "9000"}, {"language", "dutch"}})), "0 9000 1 dutch2  0 3 0 "),
        SAME(load("SETU" + framed("port") + framed("9000")), "-1 8080 0 english0  0 3 1 " + invalid + "\r\n\n"),
        SAME(load("UT"),
             "-1 8080 0 english0  0 3 1 " + invalid + ", reason:\r\n BufReadable::eread short file\r\n\n"),
        SAME(load(setup_bytes({{"debug", "1"}, {"colour", "red"}, {"port", "9000"}})),
             "0 9000 1 english0  0 3 1 MALFUNCTION:\nObjectSource >> OptionSet unknown option 'colour' "
             "(ignored)\r\n\n"),
        SAME(load(setup_bytes({{"zone", "7"}, {"port", "9000"}})), "0 9000 0 english0  0 3 0 "), // not saved: ignored
        SAME(load(setup_bytes({{"debug", "sometimes"}, {"port", "9000"}})),
             "0 9000 0 english0  0 3 1 MALFUNCTION:\nObjectSource >> OptionSet cannot set option 'debug' (ignored), "
             "reason:\r\n OptionFlag::from_Str 'sometimes' is invalid for boolean option,\n                      "
             "valid: true false on off yes no 1 0\r\n\n"),
        SAME(load(valid.substr(0, valid.size() - 2)), "0 8080 1 english0  0 3 0 "), // the cut last pair is dropped
    });
}

TEST(OptionSet, CommandLineTakesMetaOptionsThenTheSetupFileThenTheRest) {
    TempDir dir;
    const std::string setup = dir.file("test.cfg"), missing = dir.file("gone");
    write_file(setup, setup_bytes({{"port", "9000"}, {"debug", "1"}}));
    write_file(dir.file("relative.cfg"), setup_bytes({{"port", "9001"}}));
    char cwd[PATH_MAX], now[PATH_MAX];
    ASSERT_EQ(::getcwd(cwd, sizeof cwd), cwd);
    Options listing;
    listing.set.load(setup.c_str());
    const std::string show = to_std(listing.set.show()), help = to_std(listing.set.help("cmdline"));
    listing.set.set_modified(false);
    enum Kind { PARSE, BARE, CMDLINE };
    // The result, the words left, the values afterwards, the report and what was printed.
    auto run = [&](Kind kind, const Words& words, bool consume) {
        Options o;
        ArgList list = args(words);
        StderrCapture err;
        fail_take();
        int32_t result = kind == CMDLINE ? o.set.parse_cmdline(list, setup.c_str(), consume)
                                         : o.set.parse(list, consume, kind == BARE);
        std::string left;
        for (const std::string& word : words_of(list)) left += word + " ";
        o.set.set_modified(false);
        return std::to_string(result) + " [" + left + "] " + o.values() + " " + taken() + err.text();
    };
    expect_all({
        SAME(run(PARSE, {"-x", "1", "-port", "81", "plain", "-quiet", "-y", "2", "-debug", "on"}, true),
             "0 [-x 1 plain -y 2 ] 81 1 english0  1 3 "),
        SAME(run(PARSE, {"-port", "81", "-nosuch", "1", "-debug", "on"}, false),
             "-1 [-port 81 -nosuch 1 -debug on ] 81 0 english0  0 3 OptionSet::parse unknown option '-nosuch', "
             "reason:\r\n OptionSet::find unknown option 'nosuch'\r\n"),
        SAME(run(PARSE, {"port", "81"}, false),
             "-1 [port 81 ] 8080 0 english0  0 3 OptionSet::parse unknown option 'port'\r\n"),
        SAME(run(BARE, {"port", "82", "language", "dutch", "quiet"}, false),
             "0 [port 82 language dutch quiet ] 82 0 dutch2  1 3 "),
        SAME(run(PARSE, {"-debug", "yes", "-port"}, true),
             "-1 [] 8080 1 english0  0 3 OptionSet::parse missing parameter for option '-port'\r\n"),
        SAME(run(PARSE, {"-port", "81", "-port", "82"}, true), "0 [] 82 0 english0  0 3 "),
        SAME(run(PARSE, {"-language", "Deutsch"}, false),
             "-1 [-language Deutsch ] 8080 0 english0  0 3 OptionSet::parse_cmdline cannot set option '-language', "
             "reason:\r\n OptionSet::set cannot set option 'language', reason:\r\n OptionChoice::from_Str 'Deutsch' "
             "is an invalid choice,\n                      valid: english deutsch dutch\r\n"),
        SAME(run(CMDLINE, {"-setup", setup, "-port", "81"}, false), "0 [-port 81 ] 81 1 english0  0 3 "),
        SAME(run(CMDLINE, {"-help", "-show"}, true), "1 [] 9000 1 english0  0 3 " + show + help), // the default file
        SAME(run(CMDLINE, {"-port", "81", "-show"}, true), "1 [-port 81 ] 9000 1 english0  0 3 " + show),
        SAME(run(CMDLINE, {"-setup", "relative.cfg", "-cwd", dir.path()}, true), "0 [] 9001 0 english0  0 3 "),
        SAME(run(CMDLINE, {"-cwd", missing}, true),
             "-1 [] 8080 0 english0  0 3 OptionSet::parse_cmdline unable to change working directory to '" +
                 missing + "'\r\n"),
        SAME(run(CMDLINE, {"-cwd", setup}, true),
             "-1 [" + setup + " ] 8080 0 english0  0 3 OptionSet::parse_cmdline cannot set option '-cwd', "
             "reason:\r\n OptionSet::set cannot set option 'cwd', reason:\r\n OptionPath::from_Str '" + setup +
                 "' is not a directory\r\n"),
        SAME(run(CMDLINE, {"-port", "81", "stray"}, false),
             "-1 [-port 81 stray ] 81 1 english0  0 3 OptionSet::parse unknown option 'stray'\r\n"),
    });
    ASSERT_EQ(::getcwd(now, sizeof now), now);
    EXPECT_EQ(std::filesystem::canonical(now), std::filesystem::canonical(dir.path()));
    ASSERT_EQ(::chdir(cwd), 0);
}

} // namespace
