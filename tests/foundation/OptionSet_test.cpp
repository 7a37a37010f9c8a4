// Option sets: lookup, the command line, the two listings and the setup file.
#include "foundation/ArgList.h"
#include "foundation/Fail.h"
#include "foundation/OptionSet.h"

#include "testsupport/StderrCapture.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

std::string str(const Str& s) { return std::string(s.data(), s.length()); }

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_file(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// The binary Str form: 32-bit little-endian length, then the bytes.
std::string framed(const std::string& text) {
    std::string out;
    uint32_t n = uint32_t(text.size());
    for (int i = 0; i < 4; i++) out += char((n >> (8 * i)) & 0xFF);
    return out + text;
}

std::string setup_bytes(const std::vector<std::pair<std::string, std::string>>& pairs) {
    std::string out = "UTES";
    for (const auto& pair : pairs) out += framed(pair.first) + framed(pair.second);
    return out;
}

// Splits a setup file into its tag and pairs; fails the test on bad framing.
std::vector<std::pair<std::string, std::string>> parse_setup(const std::string& bytes,
                                                             std::string& tag) {
    std::vector<std::pair<std::string, std::string>> pairs;
    tag = bytes.substr(0, 4);
    size_t at = 4;
    auto next = [&](std::string& out) {
        if (at + 4 > bytes.size()) return false;
        uint32_t n = 0;
        for (int i = 0; i < 4; i++) n |= uint32_t(uint8_t(bytes[at + i])) << (8 * i);
        at += 4;
        if (at + n > bytes.size()) return false;
        out = bytes.substr(at, n);
        at += n;
        return true;
    };
    while (at < bytes.size()) {
        std::string name, value;
        EXPECT_TRUE(next(name) && next(value)) << "bad framing at " << at;
        if (::testing::Test::HasFailure()) break;
        pairs.emplace_back(name, value);
    }
    return pairs;
}

ArgList args(std::initializer_list<const char*> words) {
    std::vector<const char*> v(words);
    return ArgList(int(v.size()), v.data());
}

std::vector<std::string> words_of(const ArgList& list) {
    std::vector<std::string> out;
    for (ArgList::Node* n = list.first(); n; n = n->next) out.push_back(str(n->value));
    return out;
}

// A small set with every kind; "zone" is kept out of the setup file.
class OptionSetTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/optionset_test_XXXXXX";
        dir = ::mkdtemp(pattern);
        ASSERT_EQ(set.insert(port), 0);
        ASSERT_EQ(set.insert(debug), 0);
        ASSERT_EQ(set.insert(language), 0);
        ASSERT_EQ(set.insert(host), 0);
        ASSERT_EQ(set.insert(cachedir), 0);
        ASSERT_EQ(set.insert(quiet), 0);
        ASSERT_EQ(set.insert(zone), 0);
        setup = dir + "/test.cfg";
        ASSERT_EQ(::getcwd(cwd, sizeof cwd), cwd);
    }
    void TearDown() override {
        ASSERT_EQ(::chdir(cwd), 0);
        set.set_modified(false);
        EXPECT_FALSE(fail_pending()) << fail_take();
        std::filesystem::remove_all(dir);
    }

    std::string dir;
    std::string setup;
    char cwd[4096];
    OptionInt port{"port", "number of port to listen to", 8080, 1, 65535, true};
    OptionFlag debug{"debug", "if enabled, a lot of information is emitted", 0, true};
    OptionChoice language{"language", "user-interface language", 0, "english deutsch dutch", true};
    OptionStr host{"proxyhost", "remote-proxy server", "", nullptr, true};
    OptionPath cachedir{"cachedir", "where to store cached URLs", "./cache", 4 | 8 | 16 | 32, true};
    OptionSwitch quiet{"quiet", "say nothing", false};
    OptionInt zone{"zone", "not saved", 3, 0, 10, false};
    OptionSet set;
};

// ------------------------------------------------------------------- lookup

TEST_F(OptionSetTest, DuplicateInsertFailsAndKeepsTheFirst) {
    OptionInt other("port", "another", 1, 0, 9, true);
    EXPECT_EQ(set.insert(other), -1);
    EXPECT_EQ(std::string(fail_take()), "OptionSet::insert duplicate option 'port'\r\n");
    EXPECT_EQ(set.find("port"), &port);
    EXPECT_EQ(set.count(), 7u);
}

TEST_F(OptionSetTest, FindReportsAnUnknownName) {
    EXPECT_EQ(set.find("Port"), nullptr);
    EXPECT_EQ(std::string(fail_take()), "OptionSet::find unknown option 'Port'\r\n");
    EXPECT_EQ(set.find("language"), &language);
}

TEST_F(OptionSetTest, SetToTheCurrentTextLeavesModifiedAlone) {
    set.set_modified(false);
    EXPECT_EQ(set.set("port", "8080"), 0);
    EXPECT_FALSE(set.modified());
    EXPECT_EQ(set.set("port", "81"), 0);
    EXPECT_TRUE(set.modified());
    EXPECT_EQ(port.value(), 81);
}

TEST_F(OptionSetTest, SetChainsTheRejectionAndKeepsTheValue) {
    set.set_modified(false);
    EXPECT_EQ(set.set("port", "0"), -1);
    EXPECT_EQ(std::string(fail_take()),
              "OptionSet::set cannot set option 'port', reason:\r\n"
              " OptionInt::from_Str value 0 is out of range;\n valid are integers from 1 to 65535\n\r\n");
    EXPECT_EQ(port.value(), 8080);
    EXPECT_FALSE(set.modified());
    EXPECT_EQ(set.set("nosuch", "1"), -1);
    EXPECT_EQ(std::string(fail_take()), "OptionSet::set unknown option 'nosuch'\r\n");
}

// -------------------------------------------------------------------- parse

TEST_F(OptionSetTest, ConsumeKeepsUnknownWordsAndTheirValuesInOrder) {
    ArgList list = args({"-x", "1", "-port", "81", "plain", "-quiet", "-y", "2", "-debug", "on"});
    EXPECT_EQ(set.parse(list, true, false), 0);
    EXPECT_EQ(words_of(list), (std::vector<std::string>{"-x", "1", "plain", "-y", "2"}));
    EXPECT_EQ(port.value(), 81);
    EXPECT_EQ(debug.value(), 1);
    EXPECT_EQ(quiet.given(), 1);
}

TEST_F(OptionSetTest, WithoutConsumeTheFirstUnknownWordEndsTheParse) {
    ArgList list = args({"-port", "81", "-nosuch", "1", "-debug", "on"});
    EXPECT_EQ(set.parse(list, false, false), -1);
    EXPECT_EQ(std::string(fail_take()),
              "OptionSet::parse unknown option '-nosuch', reason:\r\n"
              " OptionSet::find unknown option 'nosuch'\r\n");
    EXPECT_EQ(port.value(), 81);
    EXPECT_EQ(debug.value(), 0);
    EXPECT_EQ(list.count(), 6u);
}

TEST_F(OptionSetTest, AWordWithoutDashNamesNoOption) {
    ArgList list = args({"port", "81"});
    EXPECT_EQ(set.parse(list, false, false), -1);
    EXPECT_EQ(std::string(fail_take()), "OptionSet::parse unknown option 'port'\r\n");
    EXPECT_EQ(port.value(), 8080);
}

TEST_F(OptionSetTest, BareNamesAreLookedUpAsTheyStand) {
    ArgList list = args({"port", "82", "language", "dutch", "quiet"});
    EXPECT_EQ(set.parse(list, false, true), 0);
    EXPECT_EQ(port.value(), 82);
    EXPECT_EQ(language.index(), 2u);
    EXPECT_EQ(quiet.given(), 1);
    EXPECT_EQ(list.count(), 5u);
}

TEST_F(OptionSetTest, OptionNameAsLastWordMissesItsParameter) {
    ArgList list = args({"-debug", "yes", "-port"});
    EXPECT_EQ(set.parse(list, true, false), -1);
    EXPECT_EQ(std::string(fail_take()),
              "OptionSet::parse missing parameter for option '-port'\r\n");
    EXPECT_EQ(debug.value(), 1);
}

TEST_F(OptionSetTest, ALaterOccurrenceOverridesAnEarlierOne) {
    ArgList list = args({"-port", "81", "-port", "82"});
    EXPECT_EQ(set.parse(list, true, false), 0);
    EXPECT_EQ(port.value(), 82);
    EXPECT_EQ(list.count(), 0u);
}

TEST_F(OptionSetTest, RejectedValueNamesTheWordAsGiven) {
    ArgList list = args({"-language", "Deutsch"});
    EXPECT_EQ(set.parse(list, false, false), -1);
    EXPECT_EQ(std::string(fail_take()),
              "OptionSet::parse_cmdline cannot set option '-language', reason:\r\n"
              " OptionSet::set cannot set option 'language', reason:\r\n"
              " OptionChoice::from_Str 'Deutsch' is an invalid choice,\n"
              "                      valid: english deutsch dutch\r\n");
    EXPECT_EQ(language.index(), 0u);
}

// ----------------------------------------------------------------- listings

TEST_F(OptionSetTest, HelpListingIsByteExact) {
    OptionInt longer("entrysize", "cache only small files", 500, 2, 2000000, true);
    ASSERT_EQ(set.insert(longer), 0);
    EXPECT_EQ(str(set.help("")),
              "option    valid parameter      description\n"
              "-----------------------------------------------\n"
              "-cachedir readable writeable executable directory path where to store cached URLs\n"
              "-debug    true false 1 0       if enabled, a lot of information is emitted\n"
              "-entrysize 2 to 2000000         cache only small files\n"
              "-language english deutsch dutch user-interface language\n"
              "-port     1 to 65535           number of port to listen to\n"
              "-proxyhost any string           remote-proxy server\n"
              "-quiet                         say nothing\n"
              "-zone     0 to 10              not saved\n");
}

TEST_F(OptionSetTest, HelpForTheCommandLineAddsTheMetaOptions) {
    std::string header = "option    valid parameter      description\n"
                         "-----------------------------------------------\n";
    std::string meta = "-help                          display this text\n"
                       "-cwd      path                 change working directory to path\n"
                       "-setup    file path            use the specified setup-file\n"
                       "-show                          show current setup\n";
    std::string plain = str(set.help(""));
    ASSERT_EQ(plain.substr(0, header.size()), header);
    EXPECT_EQ(str(set.help("cmdline")), header + meta + plain.substr(header.size()));
    EXPECT_EQ(str(set.help("Cmdline")), plain);
}

TEST_F(OptionSetTest, HelpTextsStartAtByte31WhenTheColumnsFit) {
    std::string text = str(set.help("cmdline"));
    size_t start = 0;
    int lines = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        std::string line = text.substr(start, end - start);
        start = end + 1;
        // Header lines, and entries whose columns overflow, are pushed right.
        if (lines++ < 2 || line.rfind("-cachedir", 0) == 0 || line.rfind("-language", 0) == 0 ||
            line.rfind("-proxyhost", 0) == 0)
            continue;
        EXPECT_EQ(line[30], ' ') << line;
        EXPECT_NE(line[31], ' ') << line;
    }
    EXPECT_EQ(lines, 2 + 4 + 7);
}

TEST_F(OptionSetTest, ShowListsCurrentValuesWithoutSwitches) {
    ASSERT_EQ(set.set("language", "deutsch"), 0);
    EXPECT_EQ(str(set.show()), "option    current setting\n"
                               "-----------------------------------------------\n"
                               "-cachedir ./cache\n"
                               "-debug    0\n"
                               "-language deutsch\n"
                               "-port     8080\n"
                               "-proxyhost \n"
                               "-zone     3\n");
}

// --------------------------------------------------------------- setup file

TEST_F(OptionSetTest, SaveWritesTheTagAndSavedPairsInNameOrder) {
    ASSERT_EQ(set.set("proxyhost", "far.example"), 0);
    ASSERT_EQ(set.save(setup.c_str()), 0);
    EXPECT_TRUE(set.modified());
    EXPECT_EQ(str(set.file()), setup);
    std::string tag;
    auto pairs = parse_setup(read_file(setup), tag);
    EXPECT_EQ(tag, "UTES");
    EXPECT_EQ(pairs, (std::vector<std::pair<std::string, std::string>>{
                         {"cachedir", "./cache"},
                         {"debug", "0"},
                         {"language", "english"},
                         {"port", "8080"},
                         {"proxyhost", "far.example"}}));
}

TEST_F(OptionSetTest, LoadAppliesTheFileAndClearsModified) {
    write_file(setup, setup_bytes({{"debug", "1"}, {"port", "9000"}, {"language", "dutch"}}));
    StderrCapture err;
    EXPECT_EQ(set.load(setup.c_str()), 0);
    EXPECT_EQ(err.text(), "");
    EXPECT_EQ(port.value(), 9000);
    EXPECT_EQ(debug.value(), 1);
    EXPECT_EQ(language.index(), 2u);
    EXPECT_FALSE(set.modified());
    EXPECT_EQ(str(set.file()), setup);
}

TEST_F(OptionSetTest, SavedFileLoadsBackIntoAFreshSet) {
    ASSERT_EQ(set.set("port", "1234"), 0);
    ASSERT_EQ(set.set("proxyhost", "a b"), 0);
    ASSERT_EQ(set.save(setup.c_str()), 0);
    OptionInt port2("port", "", 1, 1, 65535, true);
    OptionStr host2("proxyhost", "", "", nullptr, true);
    OptionSet other;
    other.insert(port2);
    other.insert(host2);
    StderrCapture err;
    EXPECT_EQ(other.load(setup.c_str()), 0);
    // The file holds three pairs the smaller set does not know.
    EXPECT_NE(err.text().find("unknown option 'cachedir' (ignored)"), std::string::npos);
    EXPECT_EQ(port2.value(), 1234);
    EXPECT_EQ(str(host2.value()), "a b");
    EXPECT_TRUE(other.modified());
    other.set_modified(false);
}

TEST_F(OptionSetTest, BadTagChangesNothingAndKeepsModified) {
    write_file(setup, "SETU" + framed("port") + framed("9000"));
    set.set_modified(false);
    StderrCapture err;
    EXPECT_EQ(set.load(setup.c_str()), -1);
    EXPECT_EQ(err.text(), "MALFUNCTION:\nObjectSource >> OptionSet invalid setup-file, "
                          "default values will be used\r\n\n");
    EXPECT_EQ(port.value(), 8080);
    EXPECT_TRUE(set.modified());
}

TEST_F(OptionSetTest, FileTooShortForTheTagIsInvalid) {
    write_file(setup, "UT");
    StderrCapture err;
    EXPECT_EQ(set.load(setup.c_str()), -1);
    std::string text = err.text();
    EXPECT_EQ(text.rfind("MALFUNCTION:\nObjectSource >> OptionSet invalid setup-file, "
                         "default values will be used, reason:\r\n ",
                         0),
              0u)
        << text;
    EXPECT_EQ(text.find("untreated"), std::string::npos) << text;
    EXPECT_TRUE(set.modified());
}

TEST_F(OptionSetTest, MissingFileKeepsDefaultsAndSaysSo) {
    StderrCapture err;
    EXPECT_EQ(set.load((dir + "/none.cfg").c_str()), -1);
    std::string text = err.text();
    EXPECT_EQ(text.rfind("MALFUNCTION:\nOptionSet::load cannot open option-file, default values "
                         "will be used, reason:\r\n ",
                         0),
              0u)
        << text;
    EXPECT_NE(text.find(dir + "/none.cfg"), std::string::npos);
    EXPECT_TRUE(set.modified());
    EXPECT_EQ(str(set.file()), dir + "/none.cfg");
}

TEST_F(OptionSetTest, UnknownPairIsReportedOthersAppliedAndDroppedOnSave) {
    write_file(setup, setup_bytes({{"debug", "1"}, {"colour", "red"}, {"port", "9000"}}));
    set.set_modified(false);
    {
        StderrCapture err;
        EXPECT_EQ(set.load(setup.c_str()), 0);
        EXPECT_EQ(err.text(), "MALFUNCTION:\nObjectSource >> OptionSet unknown option 'colour' "
                              "(ignored)\r\n\n");
    }
    EXPECT_EQ(debug.value(), 1);
    EXPECT_EQ(port.value(), 9000);
    EXPECT_TRUE(set.modified());

    ASSERT_EQ(set.save(set.file()), 0);
    std::string tag;
    auto pairs = parse_setup(read_file(setup), tag);
    for (const auto& pair : pairs) EXPECT_NE(pair.first, "colour");
    EXPECT_EQ(pairs.size(), 5u);
}

TEST_F(OptionSetTest, PairOfAnUnsavedOptionIsIgnoredSilently) {
    write_file(setup, setup_bytes({{"zone", "7"}, {"port", "9000"}}));
    StderrCapture err;
    EXPECT_EQ(set.load(setup.c_str()), 0);
    EXPECT_EQ(err.text(), "");
    EXPECT_EQ(zone.value(), 3);
    EXPECT_EQ(port.value(), 9000);
    EXPECT_FALSE(set.modified());
}

TEST_F(OptionSetTest, RejectedValueIsReportedAndTheOptionKeepsItsValue) {
    write_file(setup, setup_bytes({{"debug", "sometimes"}, {"port", "9000"}}));
    StderrCapture err;
    EXPECT_EQ(set.load(setup.c_str()), 0);
    EXPECT_EQ(err.text(), "MALFUNCTION:\nObjectSource >> OptionSet cannot set option 'debug' "
                          "(ignored), reason:\r\n OptionFlag::from_Str 'sometimes' is invalid for "
                          "boolean option,\n                      valid: true false on off yes "
                          "no 1 0\r\n\n");
    EXPECT_EQ(debug.value(), 0);
    EXPECT_EQ(port.value(), 9000);
    EXPECT_TRUE(set.modified());
}

TEST_F(OptionSetTest, TruncatedLastPairIsDroppedQuietly) {
    std::string bytes = setup_bytes({{"debug", "1"}, {"port", "9000"}});
    write_file(setup, bytes.substr(0, bytes.size() - 2));
    StderrCapture err;
    EXPECT_EQ(set.load(setup.c_str()), 0);
    EXPECT_EQ(err.text(), "");
    EXPECT_EQ(debug.value(), 1);
    EXPECT_EQ(port.value(), 8080);
    EXPECT_FALSE(set.modified());
}

TEST_F(OptionSetTest, SaveIntoAMissingDirectoryFails) {
    EXPECT_EQ(set.save((dir + "/no/such.cfg").c_str()), -1);
    std::string text = fail_take();
    EXPECT_EQ(text.rfind("OptionSet::save cannot write options to file, reason:\r\n ", 0), 0u)
        << text;
    EXPECT_EQ(set.save(""), 0);
    EXPECT_FALSE(fail_pending());
}

TEST_F(OptionSetTest, DestructionSavesOnlyWhenModified) {
    std::string first = dir + "/first.cfg";
    std::string second = dir + "/second.cfg";
    {
        OptionInt value("value", "", 1, 0, 9, true);
        OptionSet changed;
        changed.insert(value);
        ASSERT_EQ(changed.save(first.c_str()), 0);
        ::unlink(first.c_str());
        ASSERT_EQ(changed.set("value", "4"), 0);
    }
    EXPECT_EQ(read_file(first), setup_bytes({{"value", "4"}}));
    {
        OptionInt value("value", "", 1, 0, 9, true);
        OptionSet unchanged;
        unchanged.insert(value);
        ASSERT_EQ(unchanged.save(second.c_str()), 0);
        unchanged.set_modified(false);
        ::unlink(second.c_str());
    }
    EXPECT_FALSE(std::filesystem::exists(second));
}

// Truncations of a valid file and seeded random bytes: the reader never
// crashes, never leaves a report behind and never stores an invalid value.
TEST_F(OptionSetTest, DamagedSetupFilesNeverBreakTheReader) {
    std::string valid = setup_bytes(
        {{"debug", "1"}, {"language", "deutsch"}, {"port", "9000"}, {"proxyhost", "h"}});
    uint32_t state = 12345;
    auto next = [&]() {
        state = state * 214013 + 2531011;
        return (state >> 16) & 0x7FFF;
    };
    std::vector<std::string> inputs;
    for (size_t n = 0; n <= valid.size(); n++) inputs.push_back(valid.substr(0, n));
    for (int round = 0; round < 200; round++) {
        std::string bytes = round % 2 ? "UTES" : "";
        size_t length = next() % 64;
        for (size_t i = 0; i < length; i++) bytes += char(next() & 0xFF);
        // Sometimes a plausible frame, so that names and values do get read.
        if (round % 3 == 0) bytes += framed("port") + framed(std::to_string(next()));
        inputs.push_back(bytes);
    }
    StderrCapture err;
    for (const std::string& bytes : inputs) {
        write_file(setup, bytes);
        set.load(setup.c_str());
        EXPECT_FALSE(fail_pending());
        EXPECT_GE(port.value(), 1);
        EXPECT_LE(port.value(), 65535);
        EXPECT_LE(language.index(), 2u);
        EXPECT_TRUE(debug.value() == 0 || debug.value() == 1);
    }
    std::string text = err.text();
    EXPECT_EQ(text.find("untreated"), std::string::npos);
    // The full valid file was among the inputs and applied every pair.
    write_file(setup, valid);
    EXPECT_EQ(set.load(setup.c_str()), 0);
    EXPECT_EQ(port.value(), 9000);
    EXPECT_EQ(str(language.to_Str()), "deutsch");
}

// ------------------------------------------------------------- command line

TEST_F(OptionSetTest, CommandLineOverridesTheSetupFile) {
    write_file(setup, setup_bytes({{"port", "9000"}, {"debug", "1"}}));
    ArgList list = args({"-setup", setup.c_str(), "-port", "81"});
    StderrCapture err;
    EXPECT_EQ(set.parse_cmdline(list, "", false), 0);
    EXPECT_EQ(err.text(), "");
    EXPECT_EQ(port.value(), 81);
    EXPECT_EQ(debug.value(), 1);
    EXPECT_EQ(str(set.file()), setup);
}

TEST_F(OptionSetTest, HelpAndShowTogetherPrintShowFirst) {
    write_file(setup, setup_bytes({{"port", "9000"}}));
    ArgList list = args({"-help", "-show"});
    StderrCapture err;
    EXPECT_EQ(set.parse_cmdline(list, setup.c_str(), true), 1);
    EXPECT_EQ(err.text(), str(set.show()) + str(set.help("cmdline")));
    EXPECT_EQ(list.count(), 0u);
}

TEST_F(OptionSetTest, ShowDoesNotApplyTheOtherOptions) {
    write_file(setup, setup_bytes({{"port", "9000"}}));
    ArgList list = args({"-port", "81", "-show"});
    StderrCapture err;
    EXPECT_EQ(set.parse_cmdline(list, setup.c_str(), true), 1);
    std::string text = err.text();
    EXPECT_NE(text.find("-port     9000\n"), std::string::npos) << text;
    EXPECT_EQ(port.value(), 9000);
    EXPECT_EQ(words_of(list), (std::vector<std::string>{"-port", "81"}));
}

TEST_F(OptionSetTest, CwdChangesDirectoryBeforeARelativeSetupFileIsRead) {
    write_file(dir + "/relative.cfg", setup_bytes({{"port", "9001"}}));
    ArgList list = args({"-setup", "relative.cfg", "-cwd", dir.c_str()});
    EXPECT_EQ(set.parse_cmdline(list, "", true), 0);
    EXPECT_EQ(port.value(), 9001);
    char now[4096];
    ASSERT_EQ(::getcwd(now, sizeof now), now);
    EXPECT_EQ(std::filesystem::canonical(now), std::filesystem::canonical(dir));
}

TEST_F(OptionSetTest, CwdToAMissingDirectoryFails) {
    std::string missing = dir + "/gone";
    ArgList list = args({"-cwd", missing.c_str()});
    EXPECT_EQ(set.parse_cmdline(list, "", true), -1);
    EXPECT_EQ(std::string(fail_take()), "OptionSet::parse_cmdline unable to change working "
                                        "directory to '" +
                                            missing + "'\r\n");
}

TEST_F(OptionSetTest, CwdToAFileIsRejectedByItsChecks) {
    write_file(setup, "x");
    ArgList list = args({"-cwd", setup.c_str()});
    EXPECT_EQ(set.parse_cmdline(list, "", true), -1);
    std::string text = fail_take();
    EXPECT_NE(text.find("'" + setup + "' is not a directory"), std::string::npos) << text;
}

TEST_F(OptionSetTest, CommandLineWithoutConsumeFailsOnAnUnknownWord) {
    ArgList list = args({"-port", "81", "stray"});
    EXPECT_EQ(set.parse_cmdline(list, "", false), -1);
    EXPECT_EQ(std::string(fail_take()), "OptionSet::parse unknown option 'stray'\r\n");
    EXPECT_EQ(port.value(), 81);
}

} // namespace
