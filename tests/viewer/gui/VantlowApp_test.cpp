#include "GuiTestSupport.h"

#include "testsupport/OriginServer.h"
#include "viewer/gui/ToolBox.h"
#include "viewer/gui/VantlowApp.h"

#include <QApplication>
#include <QProcess>

#include <cstdlib>
#include <filesystem>

namespace {

// A loopback port on which nothing listens.
uint16_t FreePort() {
    OriginServer gone;
    return gone.port();
}

// Output of `program ARGUMENTS` with the environment changed as given ("" removes a variable).
QString RunProgram(const QString& program, const QStringList& arguments, const std::map<QString, QString>& environment) {
    QProcess process;
    QProcessEnvironment changed = QProcessEnvironment::systemEnvironment();
    for (const auto& [name, value] : environment) value.isEmpty() ? changed.remove(name) : changed.insert(name, value);
    process.setProcessEnvironment(changed);
    process.start(program, arguments);
    process.waitForFinished(60000);
    return QString("%1:").arg(process.exitCode()) + process.readAllStandardOutput() + process.readAllStandardError();
}

}  // namespace

TEST(VantlowApp, ArgumentsGiveTheProxyAndTheGraphFiles) {
    std::string program = "vantlow";
    const std::pair<std::vector<std::string>, const char*> cases[] = {
        {{"--proxy", "localhost:3128", "site.gra"}, "localhost 3128 site.gra"}, {{"-style", "a.gra"}, "127.0.0.1 8080 a.gra"},
        {{"--proxy", "localhost"}, ""}, {{"--proxy", "localhost:0"}, ""}, {{"--proxy", "localhost:99999"}, ""},
        {{"--proxy", ":80"}, ""}, {{"--proxy", "host:8x"}, ""}, {{"--proxy"}, ""},
    };
    for (auto [words, parsed] : cases) {
        std::vector<char*> argv{program.data()};
        for (std::string& word : words) argv.push_back(word.data());
        StartOptions options;
        std::string error;
        bool ok = ParseGuiArguments(int(argv.size()), argv.data(), options, error);
        EXPECT_EQ(ok ? options.proxy.host + " " + std::to_string(options.proxy.port) + " " +
                           options.graphFiles.join(' ').toStdString()
                     : error,
                  *parsed ? parsed : "--proxy needs HOST:PORT")
            << words.back();
    }
}

TEST(VantlowApp, StartUpReadsTheUsersConfigurationOpensTheFilesAndChecksTheProxy) {
    TempDir home("viewer-gui");
    std::string saved = std::getenv("XDG_CONFIG_HOME") ? std::getenv("XDG_CONFIG_HOME") : "";
    setenv("XDG_CONFIG_HOME", home.path().c_str(), 1);
    write_file(home.file("site.gra"), "n 1 home http://site.test/ p 10 10\n");
    std::filesystem::create_directories(home.file("vantlow"));
    write_file(home.file("vantlow/vantlow.ini"), "[General]\nBrowser=my-browser --flag\n");
    ScriptedPrompts prompts;
    StartOptions options;
    options.proxy = ProxyAddress{"192.0.2.1", 8080};  // not this computer: not probed
    options.graphFiles << QString::fromStdString(home.file("site.gra"));
    {
        VantlowSession session(options, &prompts);
        EXPECT_EQ(session.ProxyState(), ProbeResult::NotLocal);
        EXPECT_TRUE(session.Window().isVisible());
        EXPECT_EQ(session.Config().Read("General", "Browser"), "my-browser --flag");
        ASSERT_EQ(session.Window().GraphWindows().size(), 1);
        EXPECT_EQ(session.Window().GraphWindows()[0]->Graph().Nodes().size(), 1u);
        EXPECT_TRUE(session.Window().Tools().Docked());
    }
    OriginServer proxy;
    options = StartOptions();
    options.proxy = ProxyAddress{"127.0.0.1", proxy.port()};
    VantlowSession session(options, &prompts);
    EXPECT_EQ(session.ProxyState(), ProbeResult::Running);
    EXPECT_TRUE(session.Window().StatusText().isEmpty());
    saved.empty() ? unsetenv("XDG_CONFIG_HOME") : setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    QFont before = QApplication::font();
    ApplyApplicationFont();
    EXPECT_EQ(QApplication::font().family() + QString::number(QApplication::font().pointSize()), "MS Sans Serif10");
    QApplication::setFont(before);
}

TEST(VantlowApp, TheProxyCheckStartsTheProxyBesideTheProgramOnlyWhenNothingListens) {
    OriginServer running;
    const std::tuple<bool, uint16_t, const char*> cases[] = {
        {true, FreePort(), "status: \nresult: started\n"},
        {true, running.port(), "status: \nresult: running\n"},
        {false, FreePort(), "status: Offline proxy could not be started\nresult: not started\n"},
    };
    for (auto [standIn, port, output] : cases) {
        // The helper program copied into a folder of its own, so that the
        // `harbord` it looks for is the one put beside it.
        TempDir dir("viewer-gui");
        std::filesystem::copy_file(GUI_HELPER, dir.file("vantlow"));
        if (standIn) WriteRecorder(dir.file("harbord"), dir.file("started"));
        QString shown = RunProgram(QString::fromStdString(dir.file("vantlow")), {"--probe", QString::number(port)},
                            {{"XDG_STATE_HOME", QString::fromStdString(dir.file("state"))}});
        EXPECT_EQ(shown.toStdString(), std::string("0:status: Checking if offline proxy is running...\n") + output);
        if (standIn && port != running.port())
            EXPECT_EQ(WaitForRecord(dir.file("started")), "-port\n" + std::to_string(port) + "\nEND\n");
    }
}

TEST(VantlowApp, TheProxyModeSwitchAsksTheOptionsPageAndReportsAFailure) {
    OriginServer proxy;
    proxy.set("/options", OriginServer::document("<html>Options were changed</html>"));
    std::string status = "untouched";
    auto keep = [&](const std::string& text) { status = text; };
    EXPECT_TRUE(SwitchProxyOffline(ProxyAddress{"127.0.0.1", proxy.port()}, true, keep));
    ASSERT_EQ(proxy.request_count(), 1u);
    EXPECT_EQ(proxy.requests()[0].target, "http://quaylo/options?offline=1");
    EXPECT_EQ(status, "untouched");
    EXPECT_FALSE(SwitchProxyOffline(ProxyAddress{"127.0.0.1", FreePort()}, false, keep));
    EXPECT_NE(status, "untouched");
    EXPECT_FALSE(status.empty());
}

TEST(VantlowApp, WithoutADisplayTheProgramSaysSoInsteadOfCrashing) {
    if (QString(RENDER_PROGRAM).endsWith("vantlow_gui_helper")) GTEST_SKIP() << "vantlow is not part of this build";
    QString shown = RunProgram(RENDER_PROGRAM, {}, {{"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}, {"QT_QPA_PLATFORM", ""}});
    EXPECT_TRUE(shown.startsWith("2:") && shown.contains("no display")) << shown.toStdString();
}
