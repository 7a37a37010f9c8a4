#include "GraphWindowFixture.h"

#include "viewer/gui/CommandIds.h"
#include "viewer/gui/GuiTexts.h"
#include "viewer/gui/ToolBox.h"
#include "viewer/gui/VantlowStatusBar.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QShortcut>
#include <QToolBar>

namespace {

struct Item {
    QString text;
    int id;  // 0 for a separator
    bool operator==(const Item&) const = default;
};

std::vector<Item> Items(QMenu* menu) {
    std::vector<Item> items;
    for (QAction* action : menu->actions())
        items.push_back(action->isSeparator() ? Item{QString(), 0} : Item{action->text(), action->data().toInt()});
    return items;
}

void PrintTo(const Item& item, std::ostream* out) {
    *out << item.text.toStdString() << " (" << item.id << ")";
}

}  // namespace

// The main window on its own, and with graph windows (from the fixture).
using MainWindowTest = GraphWindowTest;

TEST_F(MainWindowTest, MenusHaveTheirTextsIdsAndMnemonicsInOrder) {
    std::vector<Item> bar;
    for (QAction* action : main->menuBar()->actions()) bar.push_back({action->text(), action->data().toInt()});
    EXPECT_EQ(bar, (std::vector<Item>{{"&File", 101}, {"&Layout", 100}, {"&Options", 138}, {"&Window", 102},
                                       {"&Help", 120}}));
    EXPECT_EQ(Items(main->Menu(cmd::kMenuFile)),
              (std::vector<Item>{{"&Open a new Net location", 103}, {"&Add another Net location", 130},
                                 {"&Close", 158}, {"", 0}, {"Open &Graph File...", 1}, {"Sa&ve Graph File...", 13},
                                 {"", 0}, {"&Exit", 107}}));
    EXPECT_EQ(Items(main->Menu(cmd::kMenuLayout)),
              (std::vector<Item>{{"&Start Optimization", 110}, {"St&op Optimization", 111}, {"", 0},
                                 {"&Rearrange", 90}}));
    EXPECT_EQ(Items(main->Menu(cmd::kMenuOptions)),
              (std::vector<Item>{{"&Overview", 139}, {"&Page Index", 155}, {"&Contents Docking", 156}, {"", 0},
                                 {"&Internet connection...", 266}, {"&Browser...", 278}, {"&Proxy...", 280}}));
    // The window list follows the four arrangement items when the menu opens.
    std::vector<Item> window = Items(main->Menu(cmd::kMenuWindow));
    window.resize(4);
    EXPECT_EQ(window, (std::vector<Item>{{"&Cascade", 114}, {"&Tile", 115}, {"Arrange &horizontal", 116},
                                         {"Arrange &vertical", 117}}));
    EXPECT_EQ(Items(main->Menu(cmd::kMenuHelp)),
              (std::vector<Item>{{"&Contents", 262}, {"&Symbols", 263}, {"&How to use Help", 267}, {"", 0},
                                 {"&WWW online help", 281}, {"", 0}, {"&About Vantlow...", 121}}));
    EXPECT_EQ(main->windowTitle(), "Vantlow");
}

TEST_F(MainWindowTest, ToolBoxCarriesEightCommandsWithTheMenusHelpTextsAndTenAccelerators) {
    std::vector<int> ids;
    for (QAction* action : main->Tools().Bar()->actions()) {
        ids.push_back(action->data().toInt());
        EXPECT_EQ(action, main->Action(action->data().toInt()));
        EXPECT_FALSE(action->statusTip().isEmpty());
        EXPECT_FALSE(action->icon().isNull());
    }
    EXPECT_EQ(ids, (std::vector<int>{103, 130, 139, 155, 110, 111, 90, 262}));
    ASSERT_EQ(main->Tools().Shortcuts().size(), 10u);
    for (size_t i = 0; i < 10; i++)
        EXPECT_EQ(main->Tools().Shortcuts()[i]->objectName(), QString("accelerator%1").arg(i + 1));
    // An accelerator gives its command.
    window->StartAnimation();
    emit main->Tools().Shortcuts()[5]->activated();  // Shift+F5: stop optimization
    EXPECT_FALSE(window->Animating());
}

TEST_F(MainWindowTest, MenuStateWithoutAnyWindow) {
    window->CloseWindow();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    emit main->Menu(cmd::kMenuLayout)->aboutToShow();
    for (int id : {110, 111, 90, 158, 130, 114, 115, 116, 117, 139, 155, 13})
        EXPECT_FALSE(main->Action(id)->isEnabled()) << id;
    EXPECT_FALSE(main->Action(139)->isChecked());
    EXPECT_FALSE(main->Action(155)->isChecked());
    EXPECT_TRUE(main->Action(156)->isChecked());
    for (int id : {103, 107, 1, 278, 280, 121}) EXPECT_TRUE(main->Action(id)->isEnabled()) << id;
}

TEST_F(MainWindowTest, MenuStateWithAnIdleWindow) {
    emit main->Menu(cmd::kMenuFile)->aboutToShow();
    for (int id : {110, 90, 158, 130, 114, 115, 116, 117, 139, 155, 13})
        EXPECT_TRUE(main->Action(id)->isEnabled()) << id;
    EXPECT_FALSE(main->Action(111)->isEnabled());
    EXPECT_FALSE(main->Action(139)->isChecked());
    EXPECT_FALSE(main->Action(155)->isChecked());
}

TEST_F(MainWindowTest, MenuStateWhileTheWindowAnimates) {
    main->Command(cmd::kStartOptimization);
    ASSERT_TRUE(window->Animating());
    emit main->Menu(cmd::kMenuLayout)->aboutToShow();
    EXPECT_TRUE(main->Action(111)->isEnabled());
    for (int id : {110, 90, 158, 130}) EXPECT_FALSE(main->Action(id)->isEnabled()) << id;
    EXPECT_TRUE(main->Action(114)->isEnabled());
    // Refused commands do nothing while animating.
    main->Command(cmd::kClose);
    QApplication::processEvents();
    EXPECT_EQ(main->GraphWindows().size(), 1);
    main->Command(cmd::kStopOptimization);
    EXPECT_FALSE(window->Animating());
    EXPECT_TRUE(main->Action(110)->isEnabled());
}

TEST_F(MainWindowTest, ShownPanesAreCheckedAndHiddenOnesGiveTheirRoomBack) {
    int canvasWidth = window->Canvas()->width();
    main->Command(cmd::kOverview);
    main->Command(cmd::kPageIndex);
    QApplication::processEvents();
    emit main->Menu(cmd::kMenuOptions)->aboutToShow();
    EXPECT_TRUE(window->OverviewShown());
    EXPECT_TRUE(window->PageIndexShown());
    EXPECT_TRUE(main->Action(139)->isChecked());
    EXPECT_TRUE(main->Action(155)->isChecked());
    EXPECT_LT(window->Canvas()->width(), canvasWidth);

    main->Command(cmd::kOverview);
    main->Command(cmd::kPageIndex);
    QApplication::processEvents();
    emit main->Menu(cmd::kMenuOptions)->aboutToShow();
    EXPECT_FALSE(main->Action(139)->isChecked());
    EXPECT_FALSE(main->Action(155)->isChecked());
    EXPECT_EQ(window->Canvas()->width(), canvasWidth);
}

TEST_F(MainWindowTest, ContentsDockingFloatsAndDocksTheToolBox) {
    ASSERT_TRUE(main->Tools().Docked());
    main->Command(cmd::kContentsDocking);
    emit main->Menu(cmd::kMenuOptions)->aboutToShow();
    EXPECT_FALSE(main->Tools().Docked());
    EXPECT_FALSE(main->Action(156)->isChecked());
    EXPECT_TRUE(main->Tools().FloatingWindow()->isVisible());
    EXPECT_EQ(main->Tools().Bar()->parentWidget(), main->Tools().FloatingWindow());

    main->Command(cmd::kContentsDocking);
    emit main->Menu(cmd::kMenuOptions)->aboutToShow();
    EXPECT_TRUE(main->Tools().Docked());
    EXPECT_TRUE(main->Action(156)->isChecked());
    EXPECT_FALSE(main->Tools().FloatingWindow()->isVisible());
    EXPECT_EQ(main->toolBarArea(main->Tools().Bar()), Qt::TopToolBarArea);
}

TEST_F(MainWindowTest, AddAnotherNetLocationIsOfferedOnlyWhereTheWindowCanExpand) {
    int added = 0;
    main->jobs.addNetLocation = [&](GraphWindow*) { added++; };
    main->Command(cmd::kAddNetLocation);
    EXPECT_EQ(added, 1);
    window->SetCanExpand(false);
    emit main->Menu(cmd::kMenuFile)->aboutToShow();
    EXPECT_FALSE(main->Action(130)->isEnabled());
    main->Command(cmd::kAddNetLocation);
    EXPECT_EQ(added, 1);
}

TEST_F(MainWindowTest, CommandsWithoutTheirDialogsSaySoInTheStatusBar) {
    main->Command(cmd::kOpenNetLocation);
    EXPECT_EQ(main->StatusText(), gui_text::kCommandNotAvailable);
    int opened = 0;
    main->jobs.openNetLocation = [&] { opened++; };
    main->Command(cmd::kOpenNetLocation);
    EXPECT_EQ(opened, 1);
    main->Command(cmd::kAbout);
    EXPECT_EQ(prompts.abouts, 1);
}

TEST_F(MainWindowTest, OpenAndSaveGraphFilesFromTheMainMenu) {
    std::string path = dir.File("site.gra");
    WriteWholeFile(path, "n 1 home http://site.test/ p 10 10 s 70 30\n"
                         "n 2 about http://site.test/about.html p 200 10\n"
                         "e 1 2 b 100 150 \n");
    prompts.fileName = QString::fromStdString(path);
    main->Command(cmd::kLoadGraph);
    EXPECT_EQ(prompts.lastTitle, gui_text::kOpenGraphTitle);
    EXPECT_EQ(prompts.lastFilters, QStringList({"Graph files (*.gra)", "All Files (*.*)"}));
    ASSERT_EQ(main->GraphWindows().size(), 2);
    GraphWindow* opened = main->ActiveGraphWindow();
    ASSERT_NE(opened, window);
    EXPECT_EQ(opened->windowTitle(), "site.gra");
    ASSERT_EQ(opened->Graph().Nodes().size(), 2u);
    ASSERT_EQ(opened->Graph().Edges().size(), 1u);

    std::string copy = dir.File("copy.gra");
    prompts.fileName = QString::fromStdString(copy);
    main->Command(cmd::kSaveGraph);
    EXPECT_EQ(prompts.lastTitle, gui_text::kSaveGraphTitle);
    std::string text = ReadWholeFile(copy);
    EXPECT_NE(text.find("n 1 home http://site.test/ p 10 10"), std::string::npos) << text;
    EXPECT_NE(text.find("e 1 2 b 100 150 \n"), std::string::npos) << text;
}

TEST_F(MainWindowTest, AGraphFileThatCannotBeReadOpensNoWindow) {
    prompts.fileName = QString::fromStdString(dir.File("missing.gra"));
    main->Command(cmd::kLoadGraph);
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(main->GraphWindows().size(), 1);
    EXPECT_TRUE(main->StatusText().startsWith(gui_text::kGraphFileUnreadable));
}

TEST_F(MainWindowTest, ExitAsksAboutDependentsAndStaysOpenOnNo) {
    GraphNode* a = AddNode(1, 100, 100);
    window->ShowInNewWindow(a);
    prompts.answers = {false};
    main->Command(cmd::kExit);
    EXPECT_TRUE(main->isVisible());
    EXPECT_EQ(main->GraphWindows().size(), 2);
    EXPECT_EQ(prompts.asked.size(), 1);
}

TEST_F(MainWindowTest, TheStatusBarShowsTextDateAndTime) {
    main->ShowStatus("two\r\nlines");
    EXPECT_EQ(main->Status()->Text(), "two   lines");
    EXPECT_FALSE(main->Status()->DateText().isEmpty());
    EXPECT_FALSE(main->Status()->TimeText().isEmpty());
    EXPECT_TRUE(main->Status()->TimeText().contains(':'));
}

// ---- the browser ------------------------------------------------------------------

class BrowserTest : public GraphWindowTest {
protected:
    // A browser that writes each of its arguments on a line, then END.
    std::string MakeRecorder() {
        std::string script = dir.File("record browser.sh");
        WriteScript(script, "for a in \"$@\"; do printf '%s\\n' \"$a\" >> '" + record + "'; done\necho END >> '" +
                                record + "'\n");
        return script;
    }
    std::string record = dir.File("args.txt");
};

TEST_F(BrowserTest, TheUrlIsOneArgumentWhateverItHolds) {
    std::string script = MakeRecorder();
    config.Write("General", "Browser", "\"" + script + "\" --new-window");
    std::string url = "http://site.test/a b/\"quoted\";touch " + dir.File("pwned") + ";$(id)`id`|x&y";
    ASSERT_TRUE(main->StartBrowser(main.get(), url));
    EXPECT_EQ(WaitForFile(record), "--new-window\n" + url + "\nEND\n");
    EXPECT_FALSE(std::filesystem::exists(dir.File("pwned")));
    EXPECT_TRUE(prompts.informed.isEmpty());
}

TEST_F(BrowserTest, AnEmptyBrowserKeyLeadsThroughTheInformationBoxToTheDialog) {
    std::string script = MakeRecorder();
    prompts.browserCommandToEnter = "\"" + script + "\"";
    ASSERT_TRUE(main->StartBrowser(main.get(), "http://site.test/"));
    ASSERT_EQ(prompts.informed.size(), 1);
    EXPECT_EQ(prompts.informed[0], gui_text::kConfigureBrowser);
    EXPECT_EQ(prompts.browserDialogs, 1);
    EXPECT_EQ(WaitForFile(record), "http://site.test/\nEND\n");
    // Configured now: no more questions.
    std::filesystem::remove(record);
    ASSERT_TRUE(main->StartBrowser(main.get(), "http://site.test/2"));
    EXPECT_EQ(prompts.browserDialogs, 1);
    EXPECT_EQ(WaitForFile(record), "http://site.test/2\nEND\n");
    EXPECT_NE(ReadWholeFile(config.Path()).find("[General]\nBrowser=\""), std::string::npos);
}

TEST_F(BrowserTest, AKeyStillEmptyAfterTheDialogStartsNothing) {
    EXPECT_FALSE(main->StartBrowser(main.get(), "http://site.test/"));
    EXPECT_EQ(prompts.informed.size(), 1);
    EXPECT_EQ(prompts.browserDialogs, 1);
}

TEST_F(BrowserTest, ABrowserThatDoesNotExistFails) {
    config.Write("General", "Browser", dir.File("nowhere/browser") + " --flag");
    EXPECT_FALSE(main->StartBrowser(main.get(), "http://site.test/"));
    EXPECT_TRUE(prompts.informed.isEmpty());
}

TEST_F(BrowserTest, TheProxyCommandOpensTheProxysOwnPages) {
    std::string script = MakeRecorder();
    config.Write("General", "Browser", "\"" + script + "\"");
    main->Command(cmd::kProxyPages);
    EXPECT_EQ(WaitForFile(record), "http://quaylo/\nEND\n");
}

TEST_F(BrowserTest, TheBrowserCommandOpensTheDialog) {
    main->Command(cmd::kBrowser);
    EXPECT_EQ(prompts.browserDialogs, 1);
    EXPECT_TRUE(prompts.informed.isEmpty());
}
