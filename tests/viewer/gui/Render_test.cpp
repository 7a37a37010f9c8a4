#include "GuiTestSupport.h"

#include "viewer/gui/GraphPainter.h"
#include "viewer/gui/ScrollCanvas.h"

#include <QImage>
#include <QProcess>

#include <filesystem>
#include <sstream>

namespace {

// Exit code and standard error of the program's --render.
std::pair<int, QString> Render(QStringList arguments) {
    QProcess process;
    process.start(RENDER_PROGRAM, QStringList{"--render"} + arguments);
    process.waitForFinished(120000);
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardError())};
}

}  // namespace

TEST(Render, APictureOfA200NodeGraphShowsNodesLabelsAndEdges) {
    // A grid of 200 pages linked to their neighbours; the first row's links bent.
    std::ostringstream site;
    for (int i = 1; i <= 200; i++)
        site << "n " << i << " page" << i << " http://site.test/p" << i << ".html p " << (i - 1) % 20 * 130 << " "
             << (i - 1) / 20 * 90 << " s 70 30\n";
    for (int i = 1; i <= 200; i++) {
        if (i % 20 != 0) site << "e " << i << " " << i + 1 << " \n";
        if (i + 20 <= 200) site << "e " << i << " " << i + 20 << (i <= 20 ? " b " + std::to_string((i - 1) * 130 + 100) + " 50" : "") << " \n";
    }
    TempDir dir("viewer-gui");
    write_file(dir.file("site.gra"), site.str());
    std::filesystem::create_directories(ARTEFACT_DIR);
    QString picture = ARTEFACT_DIR "/site200.png";
    std::filesystem::remove(picture.toStdString());
    auto [code, errors] = Render({QString::fromStdString(dir.file("site.gra")), picture, "--width", "1600", "--height", "1000"});
    ASSERT_EQ(code, 0) << errors.toStdString();
    QImage image(picture);
    ASSERT_EQ(image.size(), QSize(1600, 1000));
    long background = 0, white = 0, black = 0, other = 0;
    for (int y = 0; y < image.height(); y++)
        for (int x = 0; x < image.width(); x++) {
            QColor c = image.pixelColor(x, y);
            (c == ScrollCanvas::BackgroundColour() ? background : c == palette::kWhite ? white : c.lightness() < 60 ? black : other)++;
        }
    long all = 1600L * 1000;
    // Node fills, outlines and lines, label text and icons all leave their marks.
    EXPECT_GT(white, all / 40);
    EXPECT_GT(black, all / 100);
    EXPECT_GT(other, all / 200);
    EXPECT_GT(background, all / 4);
}

TEST(Render, SizesAndBadInput) {
    TempDir dir("viewer-gui");
    QString ok = QString::fromStdString(dir.file("ok.gra")), out = QString::fromStdString(dir.file("out.png"));
    write_file(dir.file("ok.gra"), "n 1 a http://a.test/ p 0 0\nn 2 b http://a.test/b p 300 100\ne 1 2 \n");
    write_file(dir.file("garbage.gra"), std::string("\x7f" "ELF\x02\x01\x01\n\x00\x00 zz\n", 13));
    const std::tuple<QStringList, int, const char*> cases[] = {
        {{QString::fromStdString(dir.file("missing.gra")), out}, 1, "could not be read"},
        {{QString::fromStdString(dir.file("garbage.gra")), out}, 1, "holds no graph"},
        {{ok, out, "--width", "0"}, 2, ""},
        {{ok, out, "--height", "x"}, 2, ""},
        {{ok}, 2, ""},
        {{ok, QString::fromStdString(dir.file("no/dir/x.png"))}, 1, "could not be written"},
    };
    for (const auto& [arguments, exitCode, message] : cases) {
        auto [code, errors] = Render(arguments);
        EXPECT_EQ(code, exitCode) << arguments.join(' ').toStdString();
        EXPECT_TRUE(errors.contains(message)) << errors.toStdString();
        EXPECT_FALSE(std::filesystem::exists(out.toStdString()));
    }
    // Without a size the picture takes the graph's size plus margins; the link's middle is drawn.
    ASSERT_EQ(Render({ok, out}).first, 0);
    QImage image(out);
    EXPECT_TRUE(image.width() > 300 && image.width() < 500 && image.height() > 100);
    bool line = false;
    for (int dy = -2; dy <= 2; dy++)
        for (int dx = -2; dx <= 2; dx++) line = line || image.pixelColor(205 + dx, 85 + dy).lightness() < 60;
    EXPECT_TRUE(line);
    EXPECT_EQ(image.pixelColor(5, 5), ScrollCanvas::BackgroundColour());
}
