// The load job without a window, and its hold on the proxy: the start of
// the harbord beside vantlow and the probe.
#include "viewer/loader/HeadlessLoad.h"

#include "tests/viewer/loader/LoaderTestSupport.h"
#include "testsupport/HarbordFixture.h"
#include "viewer/loader/ProxyControl.h"

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <sys/stat.h>

namespace {

using Args = std::vector<const char*>;

// The outcome; for Run also the settings in short, for Error the reason must be given.
std::string Parse(const Args& args) {
    HeadlessOptions o;
    std::string error;
    ParseOutcome outcome = ParseLoadArguments(static_cast<int>(args.size()), args.data(), o, error);
    if (outcome != ParseOutcome::Run) return outcome == ParseOutcome::Help ? "help" : error.empty() ? "" : "error";
    const LoadSettings& s = o.settings;
    using std::to_string;
    return s.StartUrlText() + " L" + to_string(s.EffectiveLevels()) + " O" + to_string(s.EffectiveOtherLevels()) + " " +
           (s.followOtherComputers ? "f" : "") + (s.leaveStartDirectory ? "" : "s") + (s.loadPictures ? "p" : "") +
           (s.goOnline ? "" : "x") + (o.direct ? "d" : "") + (o.listNodes ? "l" : "") + " " + o.proxy.host + ":" +
           to_string(o.proxy.port) + " t" + to_string(s.answerTimeout.count() / 1000) + " > " + o.output;
}



// A stand-in for the proxy program that tells how it was started.
std::string WriteProbeProgram(const TempDir& dir) {
    std::filesystem::create_directories(dir.file("bin"));
    std::string path = dir.file("bin/harbord");
    write_file(path, "#!/bin/sh\n"
                     "echo \"args:$*\"\n"
                     "echo \"cwd:$(pwd)\"\n"
                     "echo \"stdin:$(readlink /proc/$$/fd/0)\"\n"
                     "set -- $(cat /proc/$$/stat)\n"
                     "echo \"pid:$1 ppid:$4 session:$6\"\n"
                     // Read by the shell itself: while it forks a command, the shell
                     // blocks every signal for a moment, which a child could catch.
                     "while read -r line; do case $line in SigBlk*) echo \"$line\";; esac; done < /proc/$$/status\n"
                     "touch started.done\n");
    ::chmod(path.c_str(), 0755);
    return path;
}

std::string Field(const std::string& text, const std::string& label) {
    size_t at = text.find(label);
    if (at == std::string::npos) return "";
    at += label.size();
    return text.substr(at, text.find_first_of(" \n", at) - at);
}

}  // namespace

TEST(LoadArguments, OptionsSetTheirSettingsAndWrongOnesAreRefusedWithAReason) {
    EXPECT_EQ(Parse({"--load", "example.org/", "--output", "g"}), "http://example.org/ L1 O0  127.0.0.1:8080 t120 > g");
    EXPECT_EQ(Parse({"--load", "http://h/", "--output", "o.gra", "--unlimited-levels", "--other-levels", "3",
                     "--pictures", "--follow-other-hosts", "--stay-in-directory", "--offline", "--proxy",
                     "localhost:9090", "--timeout", "7", "--list"}),
              "http://h/ L2147483647 O3 fspxl localhost:9090 t7 > o.gra");
    EXPECT_EQ(Parse({"--levels", "0", "--load", "h", "--output", "o", "--direct"}),
              "http://h L0 O0 d 127.0.0.1:8080 t120 > o");
    EXPECT_EQ(Parse({"--help"}) + Parse({"--load", "h", "--help"}), "helphelp");
    EXPECT_EQ(Parse({"--load", "h"}) + Parse({"--output", "o"}), "errorerror");
    for (Args wrong : std::vector<Args>{{"--levels", "2", "--unlimited-levels"}, {"--levels", "-1"}, {"--levels", "x"},
                                        {"--levels"}, {"--proxy", "nohost"}, {"--proxy", "h:0"}, {"--proxy", "h:70000"},
                                        {"--direct", "--offline"}, {"--timeout", "0"}, {"--bogus"}}) {
        wrong.insert(wrong.begin(), {"--load", "h", "--output", "o"});
        EXPECT_EQ(Parse(wrong), "error") << wrong[4];
    }
}

TEST(HeadlessRun, ProblemsOrNoGraphFileGiveExitStatusOne) {  // a stop: VantlowLoad_e2e_test
    OriginServer origin;
    origin.set("/", OriginServer::document("x"));
    const std::string closed = "http://127.0.0.1:" + std::to_string(ClosedPort()) + "/";
    struct Case {
        std::string start, output, says;  // output relative to the test's directory unless absolute
    } cases[] = {
        {closed, "site.gra", "Problem: " + closed + ": UrlLoadJob::Start Unable to contact"},
        {origin.url("/"), "/no-such-directory/g.gra", "Unable to write the graph file /no-such-directory/g.gra"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        HeadlessOptions options;
        options.settings.startUrl = c.start;
        options.output = c.output[0] == '/' ? c.output : dir.file(c.output);
        options.direct = true;
        std::atomic<bool> stop{false};
        std::FILE* err = std::fopen(dir.file("err").c_str(), "w");
        EXPECT_EQ(RunHeadlessLoad(options, stop, err, err), kExitProblems) << c.says;
        std::fclose(err);
        EXPECT_NE(read_file(dir.file("err")).find(c.says), std::string::npos) << read_file(dir.file("err"));
        EXPECT_EQ(std::filesystem::exists(options.output), c.output[0] != '/') << c.says;
    }
}


TEST(ProxyStart, ProgramRunsDetachedInItsDirectoryWithOutputAppendedToTheLog) {
    TempDir dir;
    const std::string program = WriteProbeProgram(dir), log = dir.file("state/vantlow/harbord.log");
    auto started = [&] { return std::filesystem::exists(dir.file("bin/started.done")); };

    // Signals this program blocks must not stay blocked in the proxy.
    sigset_t block, old;
    sigemptyset(&block);
    sigaddset(&block, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &block, &old);
    bool ok = StartProxyProgram(program, {"-port", "18080"}, log);
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    ASSERT_TRUE(ok && e2e::eventually(started, 30000));
    std::string output = read_file(log);
    EXPECT_NE(output.find("args:-port 18080\ncwd:" + dir.file("bin") + "\nstdin:/dev/null\n"), std::string::npos)
        << output;
    EXPECT_NE(output.find("SigBlk:\t0000000000000000"), std::string::npos) << output;
    // Its own session, and not a child of this process.
    EXPECT_EQ(Field(output, "pid:"), Field(output, "session:")) << output;
    EXPECT_NE(Field(output, "ppid:"), std::to_string(::getpid())) << output;

    // A second start appends to the same log.
    std::filesystem::remove(dir.file("bin/started.done"));
    ASSERT_TRUE(StartProxyProgram(program, {}, log) && e2e::eventually(started, 30000));
    std::string again = read_file(log);
    EXPECT_EQ(again.substr(0, output.size()), output);
    EXPECT_NE(again.find("args:\n", output.size()), std::string::npos) << again;

    // Missing or not executable: not started.
    write_file(dir.file("plain"), "not a program");
    EXPECT_FALSE(StartProxyProgram(dir.file("harbord"), {}, log) || StartProxyProgram(dir.file("plain"), {}, log));
}

TEST(ProxyProbe, ARunningOrRemoteProxyIsLeftAloneAndTheLogGoesToTheStateDirectory) {
    OriginServer proxy;
    std::vector<std::string> status;
    auto sink = [&](const std::string& text) { status.push_back(text); };
    EXPECT_EQ(ProxyProbe({"127.0.0.1", proxy.port()}, sink), ProbeResult::Running);
    EXPECT_TRUE(e2e::eventually([&] { return proxy.connection_count() == 1; }));
    EXPECT_EQ(ProxyProbe({"proxy.example.org", 8080}, sink), ProbeResult::NotLocal);  // and nothing said
    EXPECT_EQ(status, (std::vector<std::string>{loader_text::kCheckingProxy, ""}));
    ::setenv("HOME", "/home/someone", 1), ::unsetenv("XDG_STATE_HOME");  // each test runs in a process of its own
    EXPECT_EQ(ProxyLogPath(), "/home/someone/.local/state/vantlow/harbord.log");
}
