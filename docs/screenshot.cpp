// The picture of the main window in the README:
//   vantlow_gui_helper --screenshot URL OUT.png
// crawls URL (no proxy) into a graph window and saves a picture of the main
// window (docs/make-screenshot.sh runs it).
#include "viewer/gui/GraphWindow.h"
#include "viewer/gui/IniFile.h"
#include "viewer/gui/MainWindow.h"
#include "viewer/gui/UserPrompts.h"
#include "viewer/gui/VantlowApp.h"
#include "viewer/gui/VantlowStatusBar.h"
#include "viewer/graph/NodeSizes.h"
#include "viewer/loader/Crawler.h"

#include <QApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QSplitter>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

class QuietProgress : public LoadProgress {
public:
    void SetLine(int, const std::string&) override {}
    void AddMessage(const std::string&) override {}
    void ItemsLeft(int) override {}
    void End() override {}
    bool StopRequested() const override { return false; }
};

int Screenshot(int argc, char** argv) {
    QApplication app(argc, argv);
    QFont font("MS Sans Serif");
    font.setPointSize(10);
    QApplication::setFont(font);
    DialogPrompts prompts;
    IniFile config;
    MainWindow main(prompts, config);
    main.resize(1280, 800);
    main.show();
    GraphWindow* window = main.OpenGraphWindow(argv[2]);
    LoadSettings settings;
    settings.startUrl = argv[2];
    settings.levels = 3;
    settings.loadPictures = true;
    settings.answerTimeout = std::chrono::milliseconds(10000);
    QuietProgress progress;
    window->GetCrawler().RunLoadJob(settings, progress, ProxyAddress{});
    FitNodeSizes(window->Graph(), window->Painter().Measure());
    window->parentWidget()->showMaximized();
    window->ShowOverview(true);
    window->ShowPageIndex(true);
    window->Splitter()->setSizes({200, 760, 300});
    window->Rearrange();
    window->ShowStartNode();
    QApplication::processEvents();
    if (const GraphNode* root = window->Graph().RootNode()) main.ShowStatus(QString::fromStdString(root->info));
    main.UpdateMenuState();
    QApplication::processEvents();
    return main.grab().save(argv[3]) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && !std::strcmp(argv[1], "--screenshot")) return Screenshot(argc, argv);
    std::fprintf(stderr, "usage: vantlow_gui_helper --screenshot URL OUT.png\n");
    return 2;
}
