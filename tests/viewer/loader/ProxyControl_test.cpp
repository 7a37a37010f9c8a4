#include "viewer/loader/ProxyControl.h"

#include "tests/viewer/loader/LoaderTestSupport.h"
#include "testsupport/OriginServer.h"
#include "viewer/loader/LoaderTexts.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <sys/stat.h>
#include <thread>

namespace {

// Waits (bounded) for a file that another process writes.
bool AwaitFile(const std::string& path) {
    for (int i = 0; i < 200; i++) {
        struct stat info {};
        if (::stat(path.c_str(), &info) == 0) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    return false;
}

// A stand-in for the proxy program that tells how it was started.
std::string WriteProbeProgram(const LoaderTempDir& dir) {
    std::string path = dir.File("bin/harbord");
    std::filesystem::create_directories(dir.File("bin"));
    std::ofstream script(path);
    script << "#!/bin/sh\n"
              "echo \"args:$*\"\n"
              "echo \"cwd:$(pwd)\"\n"
              "echo \"stdin:$(readlink /proc/$$/fd/0)\"\n"
              "set -- $(cat /proc/$$/stat)\n"
              "echo \"pid:$1 ppid:$4 session:$6\"\n"
              // Read by the shell itself: while it forks a command, the shell
              // blocks every signal for a moment, which a child could catch.
              "while read -r line; do case $line in SigBlk*) echo \"$line\";; esac; done < /proc/$$/status\n"
              "echo started >> started\n"
              "mv started started.done\n";
    script.close();
    ::chmod(path.c_str(), 0755);
    return path;
}

std::string Field(const std::string& text, const std::string& label) {
    size_t at = text.find(label);
    if (at == std::string::npos) return std::string();
    at += label.size();
    size_t end = text.find_first_of(" \n", at);
    return text.substr(at, end - at);
}

struct StatusLog {
    std::vector<std::string> texts;
    std::function<void(const std::string&)> Sink() {
        return [this](const std::string& text) { texts.push_back(text); };
    }
};

}  // namespace

TEST(ProxyStart, ProgramRunsDetachedInItsDirectoryWithOutputAppendedToTheLog) {
    LoaderTempDir dir;
    std::string program = WriteProbeProgram(dir);
    std::string log = dir.File("state/vantlow/harbord.log");

    // Signals this program blocks must not stay blocked in the proxy.
    sigset_t block, old;
    sigemptyset(&block);
    sigaddset(&block, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &block, &old);
    bool started = StartProxyProgram(program, {"-port", "18080"}, log);
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    ASSERT_TRUE(started);
    ASSERT_TRUE(AwaitFile(dir.File("bin/started.done")));

    std::string output = ReadFileText(log);
    EXPECT_NE(output.find("args:-port 18080\n"), std::string::npos) << output;
    EXPECT_NE(output.find("cwd:" + dir.File("bin") + "\n"), std::string::npos) << output;
    EXPECT_NE(output.find("stdin:/dev/null\n"), std::string::npos) << output;
    EXPECT_NE(output.find("SigBlk:\t0000000000000000"), std::string::npos) << output;
    // Its own session, and not a child of this process.
    EXPECT_EQ(Field(output, "pid:"), Field(output, "session:")) << output;
    EXPECT_NE(Field(output, "ppid:"), std::to_string(::getpid())) << output;

    // A second start appends to the same log.
    std::filesystem::remove(dir.File("bin/started.done"));
    ASSERT_TRUE(StartProxyProgram(program, {}, log));
    ASSERT_TRUE(AwaitFile(dir.File("bin/started.done")));
    std::string again = ReadFileText(log);
    EXPECT_EQ(again.substr(0, output.size()), output);
    EXPECT_NE(again.find("args:\n", output.size()), std::string::npos) << again;
}

TEST(ProxyStart, MissingOrNonExecutableProgramIsNotStarted) {
    LoaderTempDir dir;
    EXPECT_FALSE(StartProxyProgram(dir.File("harbord"), {}, dir.File("log/harbord.log")));
    std::ofstream(dir.File("plain")) << "not a program";
    EXPECT_FALSE(StartProxyProgram(dir.File("plain"), {}, dir.File("log/harbord.log")));
}

TEST(ProxyStart, LogLivesInTheStateDirectory) {
    const char* savedState = std::getenv("XDG_STATE_HOME");
    const char* savedHome = std::getenv("HOME");
    std::string state = savedState ? savedState : "";
    std::string home = savedHome ? savedHome : "";
    ::setenv("XDG_STATE_HOME", "/var/state-here", 1);
    EXPECT_EQ(ProxyLogPath(), "/var/state-here/vantlow/harbord.log");
    ::unsetenv("XDG_STATE_HOME");
    ::setenv("HOME", "/home/someone", 1);
    EXPECT_EQ(ProxyLogPath(), "/home/someone/.local/state/vantlow/harbord.log");
    if (savedState) ::setenv("XDG_STATE_HOME", state.c_str(), 1);
    if (savedHome) ::setenv("HOME", home.c_str(), 1);
    else ::unsetenv("HOME");
}

TEST(ProxyStart, ProgramIsLookedForBesideTheRunningExecutable) {
    std::string path = ProxyProgramPath();
    std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    EXPECT_EQ(path, self.substr(0, self.rfind('/')) + "/harbord");
}

TEST(ProxyProbe, RunningProxyIsLeftAlone) {
    OriginServer proxy;
    StatusLog status;
    EXPECT_EQ(ProxyProbe({"127.0.0.1", proxy.port()}, status.Sink()), ProbeResult::Running);
    EXPECT_EQ(status.texts, (std::vector<std::string>{loader_text::kCheckingProxy, ""}));
    // The probe's connection reached the proxy (accepted on the server's own thread).
    for (int i = 0; i < 200 && proxy.connection_count() == 0; i++)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(proxy.connection_count(), 1u);
}

TEST(ProxyProbe, ProxyOnAnotherComputerIsNotProbed) {
    StatusLog status;
    EXPECT_EQ(ProxyProbe({"proxy.example.org", 8080}, status.Sink()), ProbeResult::NotLocal);
    EXPECT_TRUE(status.texts.empty());
    EXPECT_FALSE(fail_pending());
}

TEST(ProxyMode, SwitchAsksTheAdminPageThroughTheProxy) {
    OriginServer proxy;
    proxy.set("/options", OriginServer::document("<html>Options were changed</html>"));
    ProxyAddress address{"127.0.0.1", proxy.port()};
    EXPECT_EQ(SwitchProxyMode(address, true), 1) << TakeReport();
    EXPECT_EQ(SwitchProxyMode(address, false), 1) << TakeReport();
    auto log = proxy.requests();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].method, "GET");
    EXPECT_EQ(log[0].target, "http://quaylo/options?offline=1");
    EXPECT_EQ(log[1].target, "http://quaylo/options?offline=0");
}

TEST(ProxyMode, SwitchWithoutProxyFailsWithAReport) {
    EXPECT_EQ(SwitchProxyMode({"127.0.0.1", UnusedPort()}, true), 0);
    std::string report = TakeReport();
    EXPECT_NE(report.find(loader_text::kContactFailed), std::string::npos) << report;
}
