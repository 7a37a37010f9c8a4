#include "viewer/loader/HeadlessLoad.h"

#include "tests/viewer/loader/LoaderTestSupport.h"
#include "testsupport/OriginServer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sys/stat.h>

namespace {

ParseOutcome Parse(std::vector<const char*> args, HeadlessOptions& options, std::string& error) {
    return ParseLoadArguments(static_cast<int>(args.size()), args.data(), options, error);
}

// Captures what a run writes to a stream.
class Captured {
public:
    Captured() : file_(std::tmpfile()) {}
    ~Captured() { std::fclose(file_); }
    std::FILE* File() { return file_; }
    std::string Text() {
        std::fflush(file_);
        std::rewind(file_);
        std::string text;
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, file_)) > 0) text.append(buffer, n);
        return text;
    }

private:
    std::FILE* file_;
};

}  // namespace

TEST(LoadArguments, DefaultsAreThoseOfAFreshJob) {
    HeadlessOptions options;
    std::string error;
    ASSERT_EQ(Parse({"--load", "example.org/", "--output", "g.gra"}, options, error), ParseOutcome::Run) << error;
    const LoadSettings& s = options.settings;
    EXPECT_EQ(s.startUrl, "example.org/");
    EXPECT_EQ(s.StartUrlText(), "http://example.org/");
    EXPECT_TRUE(s.limitLevels);
    EXPECT_EQ(s.levels, 1);
    EXPECT_FALSE(s.limitOtherComputers);
    EXPECT_EQ(s.EffectiveOtherLevels(), 0);
    EXPECT_FALSE(s.followOtherComputers);
    EXPECT_TRUE(s.leaveStartDirectory);
    EXPECT_FALSE(s.loadPictures);
    EXPECT_TRUE(s.goOnline);
    EXPECT_EQ(options.output, "g.gra");
    EXPECT_EQ(options.proxy.host, "127.0.0.1");
    EXPECT_EQ(options.proxy.port, 8080);
    EXPECT_FALSE(options.direct);
}

TEST(LoadArguments, EveryOptionSetsItsSetting) {
    HeadlessOptions options;
    std::string error;
    ASSERT_EQ(Parse({"--load", "http://h/", "--output", "o.gra", "--unlimited-levels", "--other-levels", "3",
                     "--follow-other-hosts", "--stay-in-directory", "--pictures", "--offline", "--proxy",
                     "localhost:9090", "--timeout", "7", "--list"},
                    options, error),
              ParseOutcome::Run)
        << error;
    const LoadSettings& s = options.settings;
    EXPECT_FALSE(s.limitLevels);
    EXPECT_EQ(s.EffectiveLevels(), 2147483647);
    EXPECT_TRUE(s.limitOtherComputers);
    EXPECT_EQ(s.EffectiveOtherLevels(), 3);
    EXPECT_TRUE(s.followOtherComputers);
    EXPECT_FALSE(s.leaveStartDirectory);
    EXPECT_TRUE(s.loadPictures);
    EXPECT_FALSE(s.goOnline);
    EXPECT_EQ(options.proxy.host, "localhost");
    EXPECT_EQ(options.proxy.port, 9090);
    EXPECT_EQ(s.answerTimeout, std::chrono::seconds(7));
    EXPECT_TRUE(options.listNodes);
}

TEST(LoadArguments, LevelsAreCounted) {
    HeadlessOptions options;
    std::string error;
    ASSERT_EQ(Parse({"--levels", "0", "--load", "h", "--output", "o"}, options, error), ParseOutcome::Run);
    EXPECT_EQ(options.settings.EffectiveLevels(), 0);
}

TEST(LoadArguments, WrongArgumentsAreRefusedWithAReason) {
    const std::vector<std::vector<const char*>> wrong = {
        {"--load", "h"},
        {"--output", "o"},
        {"--load", "h", "--output", "o", "--levels", "2", "--unlimited-levels"},
        {"--load", "h", "--output", "o", "--levels", "-1"},
        {"--load", "h", "--output", "o", "--levels", "x"},
        {"--load", "h", "--output", "o", "--levels"},
        {"--load", "h", "--output", "o", "--proxy", "nohost"},
        {"--load", "h", "--output", "o", "--proxy", "h:0"},
        {"--load", "h", "--output", "o", "--proxy", "h:70000"},
        {"--load", "h", "--output", "o", "--direct", "--offline"},
        {"--load", "h", "--output", "o", "--timeout", "0"},
        {"--load", "h", "--output", "o", "--bogus"},
    };
    for (const auto& args : wrong) {
        HeadlessOptions options;
        std::string error;
        EXPECT_EQ(Parse(args, options, error), ParseOutcome::Error) << args.back();
        EXPECT_FALSE(error.empty());
    }
}

TEST(LoadArguments, HelpDescribesEveryOption) {
    HeadlessOptions options;
    std::string error;
    EXPECT_EQ(Parse({"--help"}, options, error), ParseOutcome::Help);
    EXPECT_EQ(Parse({"--load", "h", "--help"}, options, error), ParseOutcome::Help);
    Captured out;
    PrintLoadUsage(out.File());
    std::string usage = out.Text();
    for (const char* option : {"--load", "--output", "--levels", "--unlimited-levels", "--other-levels",
                               "--follow-other-hosts", "--stay-in-directory", "--pictures", "--offline",
                               "--proxy", "--direct"})
        EXPECT_NE(usage.find(option), std::string::npos) << option;
}

TEST(HeadlessRun, DirectRunWritesTheGraphAndSummary) {
    OriginServer origin;
    origin.set("/", OriginServer::document("<title>Home</title><a href=a.html>a</a><a href=gone.html>g</a>"));
    origin.set("/a.html", OriginServer::document("<a href=/>home</a>"));
    LoaderTempDir dir;
    HeadlessOptions options;
    options.settings.startUrl = origin.url("/");
    options.output = dir.File("site.gra");
    options.direct = true;
    options.listNodes = true;
    std::atomic<bool> stop{false};
    Captured err, out;
    EXPECT_EQ(RunHeadlessLoad(options, stop, err.File(), out.File()), kExitDone);

    std::string graph = ReadFileText(options.output);
    EXPECT_NE(graph.find("n 1 / " + origin.url("/") + " p "), std::string::npos) << graph;
    EXPECT_NE(graph.find("e 1 2 \n"), std::string::npos) << graph;
    std::string log = err.Text();
    EXPECT_NE(log.find("Checking " + origin.url("/") + " ...\n"), std::string::npos) << log;
    EXPECT_NE(log.find("Loading " + origin.url("/a.html") + " ...\n"), std::string::npos) << log;
    EXPECT_NE(log.find("Documents loaded: 2, HTML pages: 2, nodes: 3, edges: 2, problems: 0\n"), std::string::npos)
        << log;
    std::string list = out.Text();
    EXPECT_NE(list.find("14 1 " + origin.url("/") + "\n"), std::string::npos) << list;
    EXPECT_NE(list.find("14 0 " + origin.url("/a.html") + "\n"), std::string::npos) << list;
    EXPECT_NE(list.find("10 0 " + origin.url("/gone.html") + "\n"), std::string::npos) << list;
}

TEST(HeadlessRun, ProblemsGiveExitStatusOne) {
    LoaderTempDir dir;
    HeadlessOptions options;
    options.settings.startUrl = "http://127.0.0.1:" + std::to_string(UnusedPort()) + "/";
    options.output = dir.File("site.gra");
    options.direct = true;
    std::atomic<bool> stop{false};
    Captured err, out;
    EXPECT_EQ(RunHeadlessLoad(options, stop, err.File(), out.File()), kExitProblems);
    std::string log = err.Text();
    EXPECT_NE(log.find("Problem: " + options.settings.startUrl + ": UrlLoadJob::Start Unable to contact"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("problems: 1\n"), std::string::npos) << log;
    EXPECT_NE(ReadFileText(options.output).find("n 1 "), std::string::npos);
}

TEST(HeadlessRun, StoppedRunStillWritesItsGraph) {
    LoaderTempDir dir;
    HeadlessOptions options;
    options.settings.startUrl = "http://127.0.0.1:1/";
    options.output = dir.File("site.gra");
    options.direct = true;
    std::atomic<bool> stop{true};
    Captured err, out;
    EXPECT_EQ(RunHeadlessLoad(options, stop, err.File(), out.File()), kExitProblems);
    EXPECT_NE(err.Text().find("Loading was stopped on request.\n"), std::string::npos);
    struct stat info {};
    EXPECT_EQ(::stat(options.output.c_str(), &info), 0);
}

TEST(HeadlessRun, UnwritableGraphFileIsAProblem) {
    OriginServer origin;
    origin.set("/", OriginServer::document("x"));
    HeadlessOptions options;
    options.settings.startUrl = origin.url("/");
    options.output = "/nonexistent-directory/site.gra";
    options.direct = true;
    std::atomic<bool> stop{false};
    Captured err, out;
    EXPECT_EQ(RunHeadlessLoad(options, stop, err.File(), out.File()), kExitProblems);
    EXPECT_NE(err.Text().find("Unable to write the graph file /nonexistent-directory/site.gra"), std::string::npos);
}
