#include "GuiTestSupport.h"

#include "viewer/gui/GraphWindow.h"
#include "viewer/gui/MainWindow.h"
#include "viewer/gui/ToolBox.h"
#include "viewer/gui/VantlowApp.h"

#include <QApplication>
#include <QProcess>
#include <QToolBar>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <atomic>
#include <cstdlib>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

// Points the per-user configuration at a temporary directory for one test.
class ConfigHome {
public:
    ConfigHome() {
        const char* saved = std::getenv("XDG_CONFIG_HOME");
        had_ = saved != nullptr;
        if (had_) saved_ = saved;
        setenv("XDG_CONFIG_HOME", dir_.Path().c_str(), 1);
    }
    ~ConfigHome() {
        if (had_)
            setenv("XDG_CONFIG_HOME", saved_.c_str(), 1);
        else
            unsetenv("XDG_CONFIG_HOME");
    }
    std::string Ini() const { return dir_.File("vantlow/vantlow.ini"); }
    TempDir& Dir() { return dir_; }

private:
    TempDir dir_;
    bool had_ = false;
    std::string saved_;
};

// A one-shot HTTP server on loopback: records the request head, answers 200.
class FakeProxy {
public:
    FakeProxy() {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        int yes = 1;
        ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(fd_, 4);
        socklen_t length = sizeof address;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
    }
    ~FakeProxy() {
        if (thread_.joinable()) thread_.join();
        ::close(fd_);
    }
    void ServeOnce() {
        thread_ = std::thread([this] {
            int client = ::accept(fd_, nullptr, nullptr);
            if (client < 0) return;
            char buffer[4096];
            std::string head;
            while (head.find("\r\n\r\n") == std::string::npos) {
                ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
                if (n <= 0) break;
                head.append(buffer, static_cast<size_t>(n));
            }
            request_ = head;
            const char answer[] = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nContent-Length: 2\r\n\r\nok";
            ::send(client, answer, sizeof answer - 1, MSG_NOSIGNAL);
            ::close(client);
        });
    }
    std::string Request() {
        if (thread_.joinable()) thread_.join();
        return request_;
    }
    uint16_t Port() const { return static_cast<uint16_t>(port_); }

private:
    int fd_ = -1;
    int port_ = 0;
    std::thread thread_;
    std::string request_;
};

}  // namespace

TEST(VantlowAppTest, ParsesTheProxyAndGraphFilesAndRefusesABadProxy) {
    char program[] = "vantlow", proxy[] = "--proxy", address[] = "localhost:3128", file[] = "site.gra";
    char* argv[] = {program, proxy, address, file, nullptr};
    StartOptions options;
    std::string error;
    ASSERT_TRUE(ParseGuiArguments(4, argv, options, error));
    EXPECT_EQ(options.proxy.host, "localhost");
    EXPECT_EQ(options.proxy.port, 3128);
    EXPECT_EQ(options.graphFiles, QStringList{"site.gra"});

    for (const char* bad : {"localhost", "localhost:0", "localhost:99999", ":80", "host:8x"}) {
        std::string text(bad);
        char* badArgv[] = {program, proxy, text.data(), nullptr};
        StartOptions ignored;
        EXPECT_FALSE(ParseGuiArguments(3, badArgv, ignored, error)) << bad;
        EXPECT_EQ(error, "--proxy needs HOST:PORT");
    }
    char* missing[] = {program, proxy, nullptr};
    StartOptions ignored;
    EXPECT_FALSE(ParseGuiArguments(2, missing, ignored, error));
}

TEST(VantlowAppTest, StartUpShowsTheTitledMainWindowAndReadsTheUsersConfiguration) {
    ConfigHome home;
    WriteWholeFile(home.Dir().File("site.gra"), "n 1 home http://site.test/ p 10 10\n");
    std::filesystem::create_directories(home.Dir().File("vantlow"));
    WriteWholeFile(home.Ini(), "[General]\nBrowser=my-browser --flag\n");
    ScriptedPrompts prompts;
    StartOptions options;
    options.proxy = ProxyAddress{"192.0.2.1", 8080};  // not this computer: not probed
    options.graphFiles << QString::fromStdString(home.Dir().File("site.gra"));
    VantlowSession session(options, &prompts);
    EXPECT_EQ(session.ProxyState(), ProbeResult::NotLocal);
    EXPECT_EQ(session.Window().windowTitle(), "Vantlow");
    EXPECT_TRUE(session.Window().isVisible());
    EXPECT_EQ(session.Config().Path(), home.Ini());
    EXPECT_EQ(session.Config().Read("General", "Browser"), "my-browser --flag");
    ASSERT_EQ(session.Window().GraphWindows().size(), 1);
    EXPECT_EQ(session.Window().GraphWindows()[0]->Graph().Nodes().size(), 1u);
    EXPECT_TRUE(session.Window().Tools().Docked());
    EXPECT_FALSE(session.Window().Tools().Bar()->actions().isEmpty());
}

TEST(VantlowAppTest, StartUpFindsARunningProxyAndClearsTheStatusBar) {
    ConfigHome home;
    FakeProxy proxy;
    ScriptedPrompts prompts;
    StartOptions options;
    options.proxy = ProxyAddress{"127.0.0.1", proxy.Port()};
    VantlowSession session(options, &prompts);
    EXPECT_EQ(session.ProxyState(), ProbeResult::Running);
    EXPECT_TRUE(session.Window().StatusText().isEmpty());
}

TEST(VantlowAppTest, TheApplicationFontIsMsSansSerifTenPoints) {
    QFont before = QApplication::font();
    ApplyApplicationFont();
    EXPECT_EQ(QApplication::font().family(), "MS Sans Serif");
    EXPECT_EQ(QApplication::font().pointSize(), 10);
    QApplication::setFont(before);
}

TEST(ProxyModeTest, SwitchingAsksTheProxysOptionsPage) {
    FakeProxy proxy;
    proxy.ServeOnce();
    std::string status = "untouched";
    EXPECT_TRUE(SwitchProxyOffline(ProxyAddress{"127.0.0.1", proxy.Port()}, true,
                                   [&](const std::string& text) { status = text; }));
    EXPECT_EQ(proxy.Request().rfind("GET http://quaylo/options?offline=1 HTTP/1.0\r\n", 0), 0u) << proxy.Request();
    EXPECT_EQ(status, "untouched");

    FakeProxy online;
    online.ServeOnce();
    EXPECT_TRUE(SwitchProxyOffline(ProxyAddress{"127.0.0.1", online.Port()}, false, [](const std::string&) {}));
    EXPECT_EQ(online.Request().rfind("GET http://quaylo/options?offline=0 HTTP/1.0\r\n", 0), 0u) << online.Request();
}

TEST(ProxyModeTest, AProxyThatRefusesLeavesAMessage) {
    uint16_t port;
    {
        FakeProxy closed;
        port = closed.Port();
    }
    std::string status;
    EXPECT_FALSE(SwitchProxyOffline(ProxyAddress{"127.0.0.1", port}, true,
                                    [&](const std::string& text) { status = text; }));
    EXPECT_FALSE(status.empty());
}

TEST(VantlowAppTest, WithoutADisplayTheProgramSaysSoInsteadOfCrashing) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("DISPLAY");
    environment.remove("WAYLAND_DISPLAY");
    environment.remove("QT_QPA_PLATFORM");
    process.setProcessEnvironment(environment);
    process.start(RENDER_PROGRAM, QStringList());
    ASSERT_TRUE(process.waitForFinished(60000));
    if (QString(RENDER_PROGRAM).endsWith("vantlow_gui_helper")) GTEST_SKIP() << "vantlow is not part of this build";
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 2);
    EXPECT_TRUE(QString::fromUtf8(process.readAllStandardError()).contains("no display")) << process.exitCode();
}
