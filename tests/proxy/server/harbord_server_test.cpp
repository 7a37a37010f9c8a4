// The harbord binary's server life, run as a real process from a copy in a
// temporary folder (its setup file and its ./cache land there): start-up
// texts, the stop signals, the cache database across a stop and a start,
// and the exit codes.
#include "tests/proxy/server/ServerTestSupport.h"

#include <gtest/gtest.h>

#include "foundation/InterNetClient.h"

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>

namespace {

using namespace server_test;

class HarbordProcess {
public:
    // Starts program in folder with words; ignored signals stay ignored in it.
    HarbordProcess(const fs::path& program, const fs::path& folder,
                   const std::vector<std::string>& words, std::vector<int> ignored = {}) {
        int pipe_fds[2];
        if (::pipe(pipe_fds) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(pipe_fds[0]);
            int null = ::open("/dev/null", O_RDWR);
            if (null < 0 || ::dup2(null, 0) < 0 || ::dup2(null, 1) < 0 ||
                ::dup2(pipe_fds[1], 2) < 0 || ::chdir(folder.c_str()) != 0)
                ::_exit(126);
            for (int signal : ignored) ::signal(signal, SIG_IGN);
            std::vector<std::string> copies = words;
            std::string name = program.string();
            std::vector<char*> argv{name.data()};
            for (std::string& word : copies) argv.push_back(word.data());
            argv.push_back(nullptr);
            ::execv(name.c_str(), argv.data());
            ::_exit(127);
        }
        ::close(pipe_fds[1]);
        err_fd_ = pipe_fds[0];
    }
    ~HarbordProcess() {
        if (pid_ > 0 && code_ == NOT_ENDED) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (err_fd_ >= 0) ::close(err_fd_);
    }

    // Reads standard error until it holds text; false when the process ended
    // or the wait limit passed first.
    bool wait_for(const std::string& text) {
        auto deadline = std::chrono::steady_clock::now() + WAIT_LIMIT;
        while (err_.find(text) == std::string::npos) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0 || !read_some(int(left.count()))) return false;
        }
        return true;
    }

    void signal(int number) { ::kill(pid_, number); }

    // Exit code after the process ended (all of standard error read), -1
    // when it died by a signal.
    int wait_exit() {
        while (read_some(-1)) {
        }
        int status = 0;
        ::waitpid(pid_, &status, 0);
        code_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return code_;
    }

    bool running() { return ::waitpid(pid_, nullptr, WNOHANG) == 0; }
    const std::string& err() const { return err_; }

private:
    static constexpr int NOT_ENDED = -2;

    bool read_some(int timeout_ms) {
        pollfd wait{err_fd_, POLLIN, 0};
        if (::poll(&wait, 1, timeout_ms) <= 0) return false;
        char buffer[4096];
        ssize_t n = ::read(err_fd_, buffer, sizeof buffer);
        if (n <= 0) return false;
        err_.append(buffer, size_t(n));
        return true;
    }

    pid_t pid_ = -1;
    int err_fd_ = -1;
    int code_ = NOT_ENDED;
    std::string err_;
};

// Sends a raw proxy request over loopback and reads the answer to its end;
// "" when nothing could be sent.
std::string proxy_request(uint16_t port, const std::string& request) {
    InterNetClient client("127.0.0.1", port);
    if (client.failed()) return "";
    if (client.ewrite(request.data(), int32_t(request.size())) != int32_t(request.size()))
        return "";
    std::string answer;
    auto deadline = std::chrono::steady_clock::now() + WAIT_LIMIT;
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd wait{client.handle(), POLLIN, 0};
        if (left.count() <= 0 || ::poll(&wait, 1, int(left.count())) <= 0) break;
        char buffer[4096];
        ssize_t n = ::recv(client.handle(), buffer, sizeof buffer, 0);
        if (n <= 0) break;
        answer.append(buffer, size_t(n));
    }
    return answer;
}

std::string admin_get(uint16_t port, const std::string& path) {
    return proxy_request(port, "GET http://quaylo" + path + " HTTP/1.0\r\n\r\n");
}

const std::string READY = "ready.\nPress Ctrl-C to end the Quaylo\n";
const std::string SHUTDOWN = "shutting down server...\n\n";
const std::string REBUILD = "No valid database found in cache directory,\nwill create new one.\n";

class HarbordServer : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(dir.path.empty());
        program = dir.path / "harbord";
        fs::copy_file(HARBORD_PATH, program);
        port = free_port();
        iport = free_port();
        ASSERT_TRUE(port != 0 && iport != 0 && port != iport);
    }

    std::vector<std::string> ports() {
        return {"-port", std::to_string(port), "-iport", std::to_string(iport)};
    }

    bool ends_with(const std::string& text, const std::string& tail) {
        return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
    }

    TempDir dir;
    fs::path program;
    uint16_t port = 0;
    uint16_t iport = 0;
};

TEST_F(HarbordServer, SigtermEndsTheServerWithTheShutdownTextAndLeavesCachedb) {
    HarbordProcess harbord(program, dir.path, ports());
    ASSERT_TRUE(harbord.wait_for(READY)) << harbord.err();
    EXPECT_NE(harbord.err().find("reading cache-database...\n"), std::string::npos);
    EXPECT_NE(harbord.err().find(REBUILD), std::string::npos) << harbord.err();
    EXPECT_FALSE(fs::exists(dir.path / "cache" / "cachedb"));

    harbord.signal(SIGTERM);
    EXPECT_EQ(harbord.wait_exit(), 0) << harbord.err();
    EXPECT_TRUE(ends_with(harbord.err(), SHUTDOWN)) << harbord.err();
    EXPECT_TRUE(fs::exists(dir.path / "cache" / "cachedb"));
    EXPECT_TRUE(fs::exists(dir.path / "harbord.cfg"));
}

TEST_F(HarbordServer, TheNextStartLoadsCachedbAndDeletesIt) {
    {
        HarbordProcess first(program, dir.path, ports());
        ASSERT_TRUE(first.wait_for(READY)) << first.err();
        first.signal(SIGINT);
        ASSERT_EQ(first.wait_exit(), 0) << first.err();
    }
    ASSERT_TRUE(fs::exists(dir.path / "cache" / "cachedb"));

    // No arguments: the ports come from the setup file written by the first start.
    HarbordProcess second(program, dir.path, {});
    ASSERT_TRUE(second.wait_for(READY)) << second.err();
    EXPECT_EQ(second.err().find(REBUILD), std::string::npos) << second.err();
    EXPECT_FALSE(fs::exists(dir.path / "cache" / "cachedb"));
    second.signal(SIGINT);
    EXPECT_EQ(second.wait_exit(), 0) << second.err();
    EXPECT_TRUE(ends_with(second.err(), SHUTDOWN)) << second.err();
    EXPECT_TRUE(fs::exists(dir.path / "cache" / "cachedb"));
}

TEST_F(HarbordServer, TheTerminalGoingAwayStopsTheServerToo) {
    HarbordProcess harbord(program, dir.path, ports());
    ASSERT_TRUE(harbord.wait_for(READY)) << harbord.err();
    harbord.signal(SIGHUP);
    EXPECT_EQ(harbord.wait_exit(), 0) << harbord.err();
    EXPECT_TRUE(fs::exists(dir.path / "cache" / "cachedb"));
}

TEST_F(HarbordServer, ASignalIgnoredAtTheStartStaysIgnored) {
    HarbordProcess harbord(program, dir.path, ports(), {SIGTERM});
    ASSERT_TRUE(harbord.wait_for(READY)) << harbord.err();
    harbord.signal(SIGTERM);
    // The server still accepts and answers after the signal.
    std::string answer = admin_get(port, "/after-sigterm");
    EXPECT_NE(answer.find("Invalid path specified: '/after-sigterm'"), std::string::npos)
        << answer;
    EXPECT_TRUE(harbord.running());
    harbord.signal(SIGINT);
    EXPECT_EQ(harbord.wait_exit(), 0) << harbord.err();
    EXPECT_TRUE(ends_with(harbord.err(), SHUTDOWN));
}

TEST_F(HarbordServer, DutchConsoleTexts) {
    std::vector<std::string> words = ports();
    words.insert(words.end(), {"-language", "dutch"});
    HarbordProcess harbord(program, dir.path, words);
    ASSERT_TRUE(harbord.wait_for("klaar.\nGebruik Ctrl-C om de Quaylo af te sluiten\n"))
        << harbord.err();
    EXPECT_NE(harbord.err().find("Bezig met lezen cache-database...\n"), std::string::npos);
    harbord.signal(SIGTERM);
    EXPECT_EQ(harbord.wait_exit(), 0);
    EXPECT_TRUE(ends_with(harbord.err(), "De server wordt afgesloten...\n\n")) << harbord.err();
}

TEST_F(HarbordServer, ATakenProxyPortExits20BeforeTheCacheIsRead) {
    InterNetServer taken(port);
    ASSERT_FALSE(taken.failed());
    HarbordProcess harbord(program, dir.path, ports());
    EXPECT_EQ(harbord.wait_exit(), 20);
    const std::string& err = harbord.err();
    EXPECT_NE(err.find("MALFUNCTION:\nRelais: unable to setup server, reason:\r\n "
                       "InterNetServer: unable to bind socket Reason code:98\r\n\n"),
              std::string::npos)
        << err;
    EXPECT_EQ(err.find("reading cache-database"), std::string::npos) << err;
    EXPECT_FALSE(fs::exists(dir.path / "cache"));
}

TEST_F(HarbordServer, AdminPagesAreServedThroughTheWorker) {
    HarbordProcess harbord(program, dir.path, ports());
    ASSERT_TRUE(harbord.wait_for(READY)) << harbord.err();
    std::string answer = admin_get(port, "/foo");
    EXPECT_EQ(answer.rfind("HTTP/1.0 200", 0), 0u) << answer;
    EXPECT_NE(answer.find("Invalid path specified: '/foo'"), std::string::npos) << answer;
    harbord.signal(SIGTERM);
    EXPECT_EQ(harbord.wait_exit(), 0) << harbord.err();
}

// The windowed program's mode switch: the value is in force at once and is
// kept in the setup file for the next start.
TEST_F(HarbordServer, TheOfflineSwitchFromAnAdminAddressIsAppliedAndKept) {
    {
        HarbordProcess harbord(program, dir.path, ports());
        ASSERT_TRUE(harbord.wait_for(READY)) << harbord.err();
        std::string answer = admin_get(port, "/options?offline=1");
        EXPECT_NE(answer.find("Options were changed"), std::string::npos) << answer;
        harbord.signal(SIGTERM);
        ASSERT_EQ(harbord.wait_exit(), 0) << harbord.err();
    }
    HarbordProcess show(program, dir.path, {"-show"});
    EXPECT_EQ(show.wait_exit(), 0);
    EXPECT_NE(show.err().find("-offline  1\n"), std::string::npos) << show.err();
}

} // namespace
