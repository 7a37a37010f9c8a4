#include "GuiTestSupport.h"

#include "viewer/gui/CommandIds.h"
#include "viewer/gui/GuiTexts.h"
#include "viewer/gui/HelpWindow.h"
#include "viewer/gui/ToolBox.h"

#include <QApplication>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QShortcut>
#include <QTextBlock>
#include <QToolBar>

#include <filesystem>
#include <set>


using MainWindowTest = GraphWindowTest;

TEST_F(MainWindowTest, MenusAndTheToolBoxCarryTheirCommandsInOrder) {
    const std::pair<int, const char*> menus[] = {
        {0, "&File 101|&Layout 100|&Options 138|&Window 102|&Help 120"},
        {101, "&Open a new Net location\tCtrl+N 103|&Add another Net location 130|&Close\tCtrl+W 158|-|"
              "Open &Graph File...\tCtrl+O 1|Sa&ve Graph File...\tCtrl+S 13|-|&Exit 107"},
        {100, "&Start Optimization\tF5 110|St&op Optimization\tShift+F5 111|-|&Rearrange\tCtrl+R 90"},
        {138, "&Overview\tF2 139|&Page Index\tF3 155|&Contents Docking 156|-|&Internet connection... 266|"
              "&Browser... 278|P&roxy... 280"},
        {102, "&Cascade 114|&Tile 115|Arrange &horizontal 116|Arrange &vertical 117|Arrange &Icons 118"},
        {120, "&Contents\tF1 262|&Symbols 263|&How to use Help 267|-|&WWW online help 281|-|&About Vantlow... 121"},
        {-1, "103|130|139|155|110|111|90|262"},  // the tool box
    };
    for (auto [id, items] : menus) {
        QStringList shown;
        for (QAction* action : id < 0 ? main->Tools().Bar()->actions() : id ? main->Menu(id)->actions() : main->menuBar()->actions())
            shown << (action->isSeparator() ? "-" : (id < 0 ? "" : action->text() + " ") + action->data().toString());
        EXPECT_EQ(shown.mid(0, QString(items).count('|') + 1).join('|'), items);
    }
    for (QAction* action : main->Tools().Bar()->actions())  // the menu item's own action, help text and all
        EXPECT_FALSE(action->statusTip().isEmpty() || action->icon().isNull() || action != main->Action(action->data().toInt()));
    ASSERT_EQ(main->Tools().Shortcuts().size(), 10u);
    window->StartAnimation();
    emit main->Tools().Shortcuts()[5]->activated();  // Shift+F5: stop optimization
    EXPECT_FALSE(window->Animating());
}

// Every menu's access letters differ; each accelerator has one binding in
// the frame (subwindows give theirs up), and Ctrl+W closes the active window.
TEST_F(MainWindowTest, AccessLettersAreUniqueAndEveryAcceleratorIsTheFramesOnly) {
    window->ShowInNewWindow(*AddNode(1, 0, 0));
    for (QAction* top : main->menuBar()->actions()) {
        emit top->menu()->aboutToShow();
        QString letters;
        for (QAction* item : top->menu()->actions()) {
            qsizetype mark = item->text().indexOf('&');
            if (mark >= 0) letters += item->text().at(mark + 1).toLower();
        }
        for (QChar letter : letters) EXPECT_EQ(letters.count(letter), 1) << letters.toStdString();
    }
    for (const Accelerator& accelerator : FrameAccelerators()) {
        int bindings = 0;
        for (QAction* action : main->findChildren<QAction*>())
            bindings += action->shortcuts().contains(QKeySequence(accelerator.key));
        for (QShortcut* shortcut : main->findChildren<QShortcut*>())
            bindings += shortcut->key() == QKeySequence(accelerator.key);
        EXPECT_EQ(bindings, 1) << accelerator.key;
    }
    prompts.answers = {true};
    int before = main->GraphWindows().size();
    emit main->Tools().Shortcuts()[3]->activated();  // Ctrl+W
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_LT(main->GraphWindows().size(), before);
}

// Windows of one site are told apart by their titles; Arrange lines the
// minimized ones up along the bottom, left to right.
TEST_F(MainWindowTest, TitlesOfOneSiteDifferAndArrangeLinesUpTheIcons) {
    QStringList titles;
    for (int i = 0; i < 3; i++) titles << main->OpenGraphWindow("http://site.test/")->windowTitle();
    EXPECT_EQ(titles.join('|'), "http://site.test/|http://site.test/ (2)|http://site.test/ (3)");
    QList<QMdiSubWindow*> icons;
    for (GraphWindow* graph : main->GraphWindows().mid(1, 2)) {
        icons << qobject_cast<QMdiSubWindow*>(graph->parentWidget());
        icons.back()->showMinimized();
        icons.back()->move(50, 60);
    }
    main->Command(cmd::kArrange);
    int bottom = icons[0]->parentWidget()->height();
    EXPECT_EQ(icons[0]->geometry(), QRect(QPoint(0, bottom - icons[0]->height()), icons[0]->size()));
    EXPECT_EQ(icons[1]->pos(), QPoint(icons[0]->width(), bottom - icons[1]->height()));
}

// The next start shows the main window where and as large as it was left,
// maximized or not, and new graph windows with the panes chosen last.
TEST_F(MainWindowTest, PlaceMaximizedStateAndPanesAreKeptForTheNextStart) {
    main->Command(cmd::kOverview);
    main->setGeometry(40, 50, 900, 700);
    prompts.answers = {true, true};
    ASSERT_TRUE(main->close());
    MainWindow next(prompts, config);
    next.ShowAsBefore();
    EXPECT_TRUE(!next.isMaximized() && next.geometry().size() == QSize(900, 700));
    EXPECT_TRUE(next.OpenGraphWindow("x")->OverviewShown());
    next.showMaximized();
    prompts.answers = {true, true};
    ASSERT_TRUE(next.close());
    MainWindow last(prompts, config);
    last.ShowAsBefore();
    EXPECT_TRUE(last.isMaximized() && last.normalGeometry().size() == QSize(900, 700));
}

TEST_F(MainWindowTest, MenuStateFollowsTheActiveGraphWindow) {
    const std::pair<const char*, std::function<void()>> states[] = {  // enabled: 110 111 90 158 130 114 139 13
        {"10111111", [] {}},
        {"01000111", [&] { main->Command(cmd::kStartOptimization), main->Command(cmd::kClose); }},  // refused
        {"10110111", [&] { main->Command(cmd::kStopOptimization), window->ShowInNewWindow(*AddNode(1, 0, 0)); }},
        {"00000000", [&] { prompts.answers = {true}, window->CloseWindow(); }},
    };
    for (const auto& [enabled, enter] : states) {
        enter();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        emit main->Menu(cmd::kMenuLayout)->aboutToShow();
        std::string shown;
        for (int id : {110, 111, 90, 158, 130, 114, 139, 13}) shown += main->Action(id)->isEnabled() ? '1' : '0';
        EXPECT_EQ(shown, enabled);
    }
}

TEST_F(MainWindowTest, PanesAndTheToolBoxDockingAreCheckedWhileShown) {
    int canvasWidth = window->Canvas()->width();
    for (bool shown : {true, false}) {
        for (int id : {cmd::kOverview, cmd::kPageIndex, cmd::kContentsDocking}) main->Command(id);
        QApplication::processEvents();
        emit main->Menu(cmd::kMenuOptions)->aboutToShow();
        EXPECT_EQ(window->OverviewShown() && window->PageIndexShown() && window->Canvas()->width() < canvasWidth, shown);
        EXPECT_EQ(main->Action(139)->isChecked() && main->Action(155)->isChecked(), shown);
        EXPECT_EQ(!main->Action(156)->isChecked() && main->Tools().Bar()->parentWidget() == main->Tools().FloatingWindow() &&
                      main->Tools().FloatingWindow()->isVisible(), shown);
    }
}

TEST_F(MainWindowTest, GraphFilesOpenInANewWindowTheActiveOneIsSavedAndExitAsksAboutDependents) {
    write_file(dir.file("site.gra"), "n 1 home http://site.test/ p 10 10 s 70 30\nn 2 about http://site.test/a p 200 10\n"
                                     "e 1 2 b 100 150 \n");
    auto command = [&](int id, const char* name) {
        prompts.fileName = QString::fromStdString(dir.file(name));
        main->Command(id);
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    };
    command(cmd::kLoadGraph, "missing.gra");
    command(cmd::kLoadGraph, "site.gra");
    EXPECT_EQ(prompts.lastFilters, QStringList({"Graph files (*.gra)", "All Files (*.*)"}));
    ASSERT_EQ(main->GraphWindows().size(), 2);  // none for the file that could not be read
    EXPECT_EQ(main->ActiveGraphWindow()->windowTitle(), "site.gra");
    command(cmd::kSaveGraph, "copy.gra");
    EXPECT_EQ(prompts.lastTitle, gui_text::kSaveGraphTitle);
    std::string text = read_file(dir.file("copy.gra"));
    EXPECT_EQ(text.substr(0, text.find(" s ")), "n 1 home http://site.test/ p 10 10");
    EXPECT_NE(text.find("\ne 1 2 b 100 150 \n"), std::string::npos) << text;

    window->ShowInNewWindow(*AddNode(1, 100, 100));
    main->Command(cmd::kExit);  // the unsaved graphs are named; no keeps every window open
    prompts.answers = {true};   // yes to them, no to closing the dependent window
    main->Command(cmd::kExit);
    EXPECT_TRUE(main->isVisible() && main->GraphWindows().size() == 3);
    // The file just opened is no unsaved graph.
    const QString unsaved = QString(gui_text::kQuitUnsaved).arg(window->windowTitle() + ", http://site.test/n1.html");
    EXPECT_EQ(prompts.asked.join('|'), QStringList({unsaved, unsaved, gui_text::kCloseDependents}).join('|'));
}

TEST_F(MainWindowTest, TheBrowserGetsTheUrlAsOneArgumentAndIsAskedForOnce) {
    std::string record = dir.file("args.txt"), script = dir.file("record browser.sh");
    WriteRecorder(script, record);
    EXPECT_FALSE(main->StartBrowser(main.get(), "http://site.test/"));  // nothing entered in the dialog
    prompts.browserCommandToEnter = "\"" + script + "\" --new-window";
    std::string url = "http://site.test/a b/\"q\";touch " + dir.file("pwned") + ";$(id)`id`|x&y";  // no shell sees it
    ASSERT_TRUE(main->StartBrowser(main.get(), url));
    EXPECT_EQ(prompts.informed, QStringList(2, gui_text::kConfigureBrowser));
    EXPECT_EQ(WaitForRecord(record), "--new-window\n" + url + "\nEND\n");
    EXPECT_FALSE(std::filesystem::exists(dir.file("pwned")));
    EXPECT_NE(read_file(config.Path()).find("[General]\nBrowser=\""), std::string::npos);
    main->Command(cmd::kBrowser);
    EXPECT_EQ(prompts.browserDialogs, 3);
    config.Write("General", "Browser", dir.file("nowhere/browser") + " --flag");
    main->Command(cmd::kOnlineHelp);
    EXPECT_EQ(main->StatusText(), gui_text::kBrowserNotStarted);
    main->Command(cmd::kInternetConnection);  // a command whose dialog is not there says so
    EXPECT_EQ(main->StatusText(), gui_text::kCommandNotAvailable);
}

// F1 opens the help shipped beside the program at its contents; the symbols
// page shows the icon of every node kind; a missing page is named in a
// message, never an empty window.
TEST_F(MainWindowTest, HelpOpensOnF1WithASymbolsPageForEveryKindAndNamesAMissingFile) {
    emit main->Tools().Shortcuts()[9]->activated();  // F1
    ASSERT_NE(main->Help(), nullptr);
    EXPECT_TRUE(main->Help()->isVisible());
    EXPECT_TRUE(main->Help()->Browser()->source().path().endsWith("/vantlow-help/contents.htm"));
    EXPECT_GT(main->Help()->Browser()->toPlainText().size(), 1000);

    main->Command(cmd::kHelpSymbols);
    QTextDocument* page = main->Help()->Browser()->document();
    std::set<int> shown;
    for (QTextBlock block = page->begin(); block.isValid(); block = block.next())
        for (auto fragment = block.begin(); !fragment.atEnd(); ++fragment)
            if (fragment.fragment().charFormat().isImageFormat()) {
                QUrl name(fragment.fragment().charFormat().toImageFormat().name());
                QVariant image = page->resource(QTextDocument::ImageResource, name);
                if (name.scheme() == "kind" && image.canConvert<QImage>()) shown.insert(name.path().toInt());
            }
    for (int code = 0; code < NodeIcons::kKinds; code++) {
        NodeKind kind;
        EXPECT_EQ(shown.count(code), NodeKindFromCode(code, kind) ? 1u : 0u) << "kind " << code;
    }
    EXPECT_TRUE(main->Help()->Browser()->toPlainText().contains("light red"));

    main->Command(cmd::kHelpOnHelp);
    EXPECT_TRUE(main->Help()->Browser()->toPlainText().contains("Back"));
    EXPECT_TRUE(main->Help()->Browser()->isBackwardAvailable());
    EXPECT_TRUE(prompts.informed.isEmpty());

    main->Help()->close();
    main->SetHelpDirectory(QString::fromStdString(dir.file("no-help")));
    main->Command(cmd::kHelpContents);
    ASSERT_EQ(prompts.informed.size(), 1);
    EXPECT_TRUE(prompts.informed[0].contains(QString::fromStdString(dir.file("no-help/contents.htm"))));
    EXPECT_FALSE(main->Help()->isVisible());
}
