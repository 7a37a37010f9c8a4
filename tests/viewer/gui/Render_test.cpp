#include "GuiTestSupport.h"

#include "viewer/gui/GraphPainter.h"
#include "viewer/gui/ScrollCanvas.h"

#include <QImage>
#include <QProcess>

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

namespace {

struct RenderRun {
    int exitCode;
    QString errors;
};

RenderRun Render(const QStringList& arguments) {
    QProcess process;
    process.start(RENDER_PROGRAM, QStringList{"--render"} + arguments);
    process.waitForFinished(120000);
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardError())};
}

// A site of 200 pages in a grid, each linked to its neighbours; the first
// row's links are bent.
std::string SiteOf200() {
    std::ostringstream text;
    for (int i = 1; i <= 200; i++)
        text << "n " << i << " page" << i << " http://site.test/p" << i << ".html p " << (i - 1) % 20 * 130 << " "
             << (i - 1) / 20 * 90 << " s 70 30\n";
    for (int i = 1; i <= 200; i++) {
        if (i % 20 != 0) text << "e " << i << " " << i + 1 << " \n";
        if (i + 20 <= 200 && i > 20) text << "e " << i << " " << i + 20 << " \n";
        if (i <= 20) text << "e " << i << " " << i + 20 << " b " << (i - 1) * 130 + 100 << " 50 \n";
    }
    return text.str();
}

}  // namespace

TEST(RenderTest, APictureOfA200NodeGraphShowsNodesLabelsAndEdges) {
    TempDir dir;
    std::string graph = dir.File("site.gra");
    WriteWholeFile(graph, SiteOf200());
    std::filesystem::create_directories(ARTEFACT_DIR);
    std::string picture = std::string(ARTEFACT_DIR) + "/site200.png";
    std::filesystem::remove(picture);
    RenderRun run = Render({QString::fromStdString(graph), QString::fromStdString(picture), "--width", "1600", "--height",
                      "1000"});
    ASSERT_EQ(run.exitCode, 0) << run.errors.toStdString();
    QImage image(QString::fromStdString(picture));
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), QSize(1600, 1000));

    long background = 0, white = 0, black = 0, other = 0;
    for (int y = 0; y < image.height(); y++)
        for (int x = 0; x < image.width(); x++) {
            QColor c = image.pixelColor(x, y);
            if (c == ScrollCanvas::BackgroundColour())
                background++;
            else if (c == palette::kWhite)
                white++;
            else if (c.lightness() < 60)
                black++;
            else
                other++;
        }
    long all = long(image.width()) * image.height();
    // Node fills, outlines and lines, label text and icons all leave their marks.
    EXPECT_GT(white, all / 40);
    EXPECT_GT(black, all / 100);
    EXPECT_GT(other, all / 200);
    EXPECT_GT(background, all / 4);

}

TEST(RenderTest, WithoutASizeThePictureTakesTheGraphsSize) {
    TempDir dir;
    WriteWholeFile(dir.File("small.gra"), "n 1 a http://a.test/ p 0 0\nn 2 b http://a.test/b p 300 100\ne 1 2 \n");
    ASSERT_EQ(Render({QString::fromStdString(dir.File("small.gra")), QString::fromStdString(dir.File("out.png"))})
                  .exitCode,
              0);
    QImage image(QString::fromStdString(dir.File("out.png")));
    EXPECT_GT(image.width(), 300);
    EXPECT_LT(image.width(), 500);
    EXPECT_GT(image.height(), 100);
    // The link's middle, (185, 65) in the graph, 20 pixels of margin in.
    bool line = false;
    for (int dy = -2; dy <= 2; dy++)
        for (int dx = -2; dx <= 2; dx++)
            if (image.pixelColor(205 + dx, 85 + dy).lightness() < 60) line = true;
    EXPECT_TRUE(line);
    EXPECT_EQ(image.pixelColor(5, 5), ScrollCanvas::BackgroundColour());
}

TEST(RenderTest, BadInputGivesAClearMessageAndNoPicture) {
    TempDir dir;
    std::string out = dir.File("out.png");
    RenderRun missing = Render({QString::fromStdString(dir.File("missing.gra")), QString::fromStdString(out)});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(missing.errors.contains("could not be read")) << missing.errors.toStdString();

    WriteWholeFile(dir.File("garbage.gra"), std::string("\x7f" "ELF\x02\x01\x01\n\x00\x00 zz\n", 13));
    RenderRun garbage = Render({QString::fromStdString(dir.File("garbage.gra")), QString::fromStdString(out)});
    EXPECT_EQ(garbage.exitCode, 1);
    EXPECT_TRUE(garbage.errors.contains("holds no graph")) << garbage.errors.toStdString();
    EXPECT_FALSE(std::filesystem::exists(out));

    WriteWholeFile(dir.File("ok.gra"), "n 1 a http://a.test/\n");
    EXPECT_EQ(Render({QString::fromStdString(dir.File("ok.gra")), QString::fromStdString(out), "--width", "0"}).exitCode, 2);
    EXPECT_EQ(Render({QString::fromStdString(dir.File("ok.gra")), QString::fromStdString(out), "--height", "x"}).exitCode, 2);
    EXPECT_EQ(Render({QString::fromStdString(dir.File("ok.gra"))}).exitCode, 2);
    RenderRun unwritable = Render({QString::fromStdString(dir.File("ok.gra")), QString::fromStdString(dir.File("no/dir/x.png"))});
    EXPECT_EQ(unwritable.exitCode, 1);
    EXPECT_TRUE(unwritable.errors.contains("could not be written"));
}
