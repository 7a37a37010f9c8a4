#include "GuiTestSupport.h"

#include "testsupport/OriginServer.h"
#include "viewer/gui/GraphPainter.h"
#include "viewer/gui/ToolBox.h"
#include "viewer/gui/VantlowApp.h"

#include <QProcess>

#include <filesystem>
#include <map>
#include <sstream>

namespace {

// "exit code:" and the output of a program run with the environment changed ("" removes a variable);
// Qt's own warnings left out.
QString RunProgram(const QString& program, const QStringList& arguments, const std::map<QString, QString>& changes = {}) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const auto& [name, value] : changes) value.isEmpty() ? environment.remove(name) : environment.insert(name, value);
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    process.waitForFinished(120000);
    QStringList errors = QString(process.readAllStandardError()).split('\n').filter(QRegularExpression("^(?!QStandardPaths)"));
    return QString("%1:").arg(process.exitCode()) + process.readAllStandardOutput() + errors.join('\n');
}

}  // namespace

TEST(VantlowApp, APictureOfA200NodeGraphShowsNodesLabelsAndEdges) {
    std::ostringstream site;  // a grid of pages linked to their neighbours; the first row's links bent
    for (int i = 1; i <= 200; i++)
        site << "n " << i << " page" << i << " http://site.test/p" << i << ".html p " << (i - 1) % 20 * 130 << " "
             << (i - 1) / 20 * 90 << " s 70 30\n";
    for (int i = 1; i <= 200; i++) {
        if (i % 20 != 0) site << "e " << i << " " << i + 1 << " \n";
        if (i + 20 <= 200) site << "e " << i << " " << i + 20 << (i <= 20 ? " b " + std::to_string(i * 130 - 30) + " 50" : "") << " \n";
    }
    TempDir dir("viewer-gui");
    write_file(dir.file("site.gra"), site.str());
    std::filesystem::create_directories(ARTEFACT_DIR);
    QString picture = ARTEFACT_DIR "/site200.png";
    std::filesystem::remove(picture.toStdString());
    QString run = RunProgram(RENDER_PROGRAM, {"--render", QString::fromStdString(dir.file("site.gra")), picture, "--width", "1600", "--height", "1000"});
    ASSERT_EQ(run, "0:");
    QImage image(picture);
    ASSERT_EQ(image.size(), QSize(1600, 1000));
    long count[4] = {};  // background, white, dark, other
    for (int y = 0; y < image.height(); y++)
        for (int x = 0; x < image.width(); x++) {
            QColor c = image.pixelColor(x, y);
            count[c == ScrollCanvas::BackgroundColour() ? 0 : c == palette::kWhite ? 1 : c.lightness() < 60 ? 2 : 3]++;
        }
    // Node fills, outlines and lines, label text and icons all leave their marks.
    long all = 1600L * 1000;
    EXPECT_TRUE(count[0] > all / 4 && count[1] > all / 40 && count[2] > all / 100 && count[3] > all / 200);
}

TEST(VantlowApp, PicturesTakeTheGraphsSizeAndBadInputGivesAClearMessage) {
    TempDir dir("viewer-gui");
    QString ok = QString::fromStdString(dir.file("ok.gra")), out = QString::fromStdString(dir.file("out.png"));
    write_file(dir.file("ok.gra"), "n 1 a http://a.test/ p 0 0\nn 2 b http://a.test/b p 300 100\ne 1 2 \n");
    write_file(dir.file("garbage.gra"), std::string("\x7f" "ELF\x02\x01\x01\n\x00\x00 zz\n", 13));
    QString render = "--render";
    const std::pair<QStringList, const char*> cases[] = {  // without a display: pictures need none
        {{render, QString::fromStdString(dir.file("missing.gra")), out}, "1:vantlow: The graph file could not be read"},
        {{render, QString::fromStdString(dir.file("garbage.gra")), out}, "1:vantlow: The graph file holds no graph"},
        {{render, ok, out, "--width", "0"}, "2:vantlow: --width needs a number from 16 to 8192"},
        {{render, ok, out, "-q"}, "2:"},
        {{render, ok, QString::fromStdString(dir.file("no/dir/x.png"))}, "1:vantlow: The picture could not be written"},
        {{"-style", "a.gra"}, "2:vantlow: no display"},  // the windows need one
        {{"--proxy", "localhost:0"}, "2:vantlow: --proxy needs HOST:PORT"}, {{"--proxy"}, "2:vantlow: --proxy needs HOST:PORT"},
    };
    std::map<QString, QString> noDisplay{{"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}, {"QT_QPA_PLATFORM", ""}};
    for (const auto& [arguments, output] : cases) {
        EXPECT_TRUE(RunProgram(RENDER_PROGRAM, arguments, noDisplay).startsWith(output)) << output;
        EXPECT_FALSE(std::filesystem::exists(out.toStdString()));
    }
    ASSERT_EQ(RunProgram(RENDER_PROGRAM, {"--render", ok, out}), "0:");
    QImage image(out);  // the graph and a margin; the link's middle, (185, 65), 20 pixels in
    EXPECT_TRUE(image.width() > 300 && image.width() < 500 && image.height() > 100);
    int dark = 0;
    for (int y = 83; y <= 87; y++)
        for (int x = 203; x <= 207; x++) dark += image.pixelColor(x, y).lightness() < 60;
    EXPECT_GT(dark, 0);
    EXPECT_EQ(image.pixelColor(5, 5), ScrollCanvas::BackgroundColour());
}

TEST(VantlowApp, StartUpReadsTheUsersConfigurationOpensTheFilesAndChecksTheProxy) {
    TempDir home("viewer-gui");
    std::string saved = std::getenv("XDG_CONFIG_HOME") ? std::getenv("XDG_CONFIG_HOME") : "";
    setenv("XDG_CONFIG_HOME", home.path().c_str(), 1);
    write_file(home.file("site.gra"), "n 1 home http://site.test/ p 10 10\n");
    std::filesystem::create_directories(home.file("vantlow"));
    write_file(home.file("vantlow/vantlow.ini"), "[General]\nBrowser=my-browser --flag\n");
    ScriptedPrompts prompts;
    OriginServer proxy;
    for (ProxyAddress address : {ProxyAddress{"192.0.2.1", 8080}, ProxyAddress{"127.0.0.1", proxy.port()}}) {
        StartOptions options;
        options.proxy = address;  // the first is not this computer: not probed
        options.graphFiles << QString::fromStdString(home.file("site.gra"));
        VantlowSession session(options, &prompts);
        EXPECT_EQ(session.ProxyState(), address.port == 8080 ? ProbeResult::NotLocal : ProbeResult::Running);
        EXPECT_TRUE(session.Window().isVisible() && session.Window().Tools().Docked() &&
                    session.Window().windowTitle() == "Vantlow");
        EXPECT_TRUE(session.Window().StatusText().isEmpty());
        EXPECT_EQ(session.Config().Read("General", "Browser"), "my-browser --flag");
        ASSERT_EQ(session.Window().GraphWindows().size(), 1);
        EXPECT_EQ(session.Window().GraphWindows()[0]->Graph().Nodes().size(), 1u);
    }
    saved.empty() ? unsetenv("XDG_CONFIG_HOME") : setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
}
