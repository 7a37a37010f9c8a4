#include "viewer/loader/HeadlessLoad.h"

#include "tests/viewer/loader/LoaderTestSupport.h"

#include <cstdio>
#include <filesystem>

namespace {

using Args = std::vector<const char*>;

// The outcome; for Run also the settings in short, for Error the reason must be given.
std::string Parse(const Args& args) {
    HeadlessOptions o;
    std::string error;
    ParseOutcome outcome = ParseLoadArguments(static_cast<int>(args.size()), args.data(), o, error);
    if (outcome != ParseOutcome::Run) return outcome == ParseOutcome::Help ? "help" : error.empty() ? "" : "error";
    const LoadSettings& s = o.settings;
    return s.StartUrlText() + " L" + std::to_string(s.EffectiveLevels()) + " O" + std::to_string(s.EffectiveOtherLevels()) +
           " " + (s.followOtherComputers ? "f" : "") + (s.leaveStartDirectory ? "" : "s") + (s.loadPictures ? "p" : "") +
           (s.goOnline ? "" : "x") + (o.direct ? "d" : "") + (o.listNodes ? "l" : "") + " " + o.proxy.host + ":" +
           std::to_string(o.proxy.port) + " t" + std::to_string(s.answerTimeout.count() / 1000) + " > " + o.output;
}

}  // namespace

TEST(LoadArguments, OptionsSetTheirSettingsAndWrongOnesAreRefusedWithAReason) {
    EXPECT_EQ(Parse({"--load", "example.org/", "--output", "g.gra"}), "http://example.org/ L1 O0  127.0.0.1:8080 t120 > g.gra");
    EXPECT_EQ(Parse({"--load", "http://h/", "--output", "o.gra", "--unlimited-levels", "--other-levels", "3",
                     "--follow-other-hosts", "--stay-in-directory", "--pictures", "--offline", "--proxy", "localhost:9090",
                     "--timeout", "7", "--list"}),
              "http://h/ L2147483647 O3 fspxl localhost:9090 t7 > o.gra");
    EXPECT_EQ(Parse({"--levels", "0", "--load", "h", "--output", "o", "--direct"}), "http://h L0 O0 d 127.0.0.1:8080 t120 > o");
    EXPECT_EQ(Parse({"--help"}) + Parse({"--load", "h", "--help"}), "helphelp");
    EXPECT_EQ(Parse({"--load", "h"}) + Parse({"--output", "o"}), "errorerror");
    for (Args wrong : std::vector<Args>{{"--levels", "2", "--unlimited-levels"}, {"--levels", "-1"}, {"--levels", "x"},
                                        {"--levels"}, {"--proxy", "nohost"}, {"--proxy", "h:0"}, {"--proxy", "h:70000"},
                                        {"--direct", "--offline"}, {"--timeout", "0"}, {"--bogus"}}) {
        wrong.insert(wrong.begin(), {"--load", "h", "--output", "o"});
        EXPECT_EQ(Parse(wrong), "error") << wrong[4];
    }
}

TEST(HeadlessRun, ProblemsAStopOrNoGraphFileGiveExitStatusOne) {
    OriginServer origin;
    origin.set("/", OriginServer::document("x"));
    const std::string closed = "http://127.0.0.1:" + std::to_string(ClosedPort()) + "/";
    struct Case {
        std::string start;
        bool stop;
        std::string output, says;  // output relative to the test's directory unless absolute
    } cases[] = {
        {closed, false, "site.gra", "Problem: " + closed + ": UrlLoadJob::Start Unable to contact"},
        {closed, true, "site.gra", "Loading was stopped on request.\n"},
        {origin.url("/"), false, "/nonexistent-directory/site.gra", "Unable to write the graph file /nonexistent-directory/site.gra"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        HeadlessOptions options;
        options.settings.startUrl = c.start;
        options.output = c.output[0] == '/' ? c.output : dir.file(c.output);
        options.direct = true;
        std::atomic<bool> stop{c.stop};
        std::FILE *err = std::fopen(dir.file("err").c_str(), "w"), *out = std::fopen(dir.file("out").c_str(), "w");
        EXPECT_EQ(RunHeadlessLoad(options, stop, err, out), kExitProblems) << c.says;
        std::fclose(err);
        std::fclose(out);
        EXPECT_NE(read_file(dir.file("err")).find(c.says), std::string::npos) << read_file(dir.file("err"));
        EXPECT_EQ(std::filesystem::exists(options.output), c.output[0] != '/') << c.says;
    }
}
