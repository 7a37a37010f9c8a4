#include "viewer/gui/MainWindow.h"

#include "viewer/gui/BrowserLaunch.h"
#include "viewer/gui/CommandIds.h"
#include "viewer/gui/GraphWindow.h"
#include "viewer/gui/GuiTexts.h"
#include "viewer/gui/HelpWindow.h"
#include "viewer/gui/IniFile.h"
#include "viewer/gui/ToolBox.h"
#include "viewer/gui/UserPrompts.h"
#include "viewer/gui/VantlowStatusBar.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>

#include <array>

namespace {

bool Blank(const std::string& text) {
    return text.find_first_not_of(" \t") == std::string::npos;
}

// The frame's accelerator of a command, "" when it has none.
QString AcceleratorOf(int command) {
    for (const Accelerator& accelerator : FrameAccelerators())
        if (accelerator.command == command) return accelerator.key;
    return QString();
}

// A subwindow's system menu binds keys of its own (Ctrl+W among them),
// which makes the frame's accelerators ambiguous: the frame's keys win.
void ReleaseFrameKeys(const QMdiArea& area) {
    for (QMdiSubWindow* sub : area.subWindowList()) {
        if (!sub->systemMenu()) continue;
        for (QAction* action : sub->systemMenu()->actions()) {
            QList<QKeySequence> keys = action->shortcuts();
            for (const Accelerator& accelerator : FrameAccelerators()) keys.removeAll(QKeySequence(accelerator.key));
            if (keys.size() != action->shortcuts().size()) action->setShortcuts(keys);
        }
    }
}

}  // namespace

MainWindow::MainWindow(UserPrompts& prompts, IniFile& config, QWidget* parent)
    : QMainWindow(parent), prompts_(prompts), config_(config), helpDirectory_(DefaultHelpDirectory()) {
    setWindowTitle(gui_text::kProgramName);
    setWindowIcon(WindowIcon());
    mdi_ = new QMdiArea(this);
    mdi_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    mdi_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(mdi_);
    status_ = new VantlowStatusBar(this);
    setStatusBar(status_);
    BuildMenus();
    toolBox_ = std::make_unique<ToolBox>(
        *this, [this](int id) { return Action(id); }, [this](int id) { Command(id); });
    connect(mdi_, &QMdiArea::subWindowActivated, this, [this] {
        ReleaseFrameKeys(*mdi_);
        UpdateMenuState();
    });
    UpdateMenuState();
}

MainWindow::~MainWindow() {
    // Graph windows go before the icons and prompts they use.
    for (QMdiSubWindow* sub : mdi_->subWindowList()) delete sub;
    toolBox_.reset();
}

QMenu* MainWindow::AddMenu(const char* text, int id) {
    QMenu* menu = menuBar()->addMenu(text);
    menu->menuAction()->setData(id);
    menus_[id] = menu;
    connect(menu, &QMenu::aboutToShow, this, &MainWindow::UpdateMenuState);
    return menu;
}

QAction* MainWindow::AddItem(QMenu* menu, const char* text, int id, const char* help, bool checkable) {
    // The accelerator shows beside the item; the frame's shortcut handles it.
    QString accelerator = AcceleratorOf(id);
    QAction* action = menu->addAction(accelerator.isEmpty() ? QString(text) : QString(text) + '\t' + accelerator);
    action->setData(id);
    action->setStatusTip(help);
    action->setToolTip(QString(text).remove('&'));
    action->setCheckable(checkable);
    action->setIcon(ToolIcon(id));
    action->setIconVisibleInMenu(false);
    connect(action, &QAction::triggered, this, [this, id] { Command(id); });
    actions_[id] = action;
    return action;
}

void MainWindow::BuildMenus() {
    using namespace gui_text;
    QMenu* file = AddMenu(kMenuFile, cmd::kMenuFile);
    AddItem(file, kOpenNetLocation, cmd::kOpenNetLocation, "Load a web site and show it as a graph");
    AddItem(file, kAddNetLocation, cmd::kAddNetLocation, "Load another web site into the active graph");
    AddItem(file, kClose, cmd::kClose, "Close the active graph window");
    file->addSeparator();
    AddItem(file, kOpenGraphFile, cmd::kLoadGraph, "Open a graph file in a new window");
    AddItem(file, kSaveGraphFile, cmd::kSaveGraph, "Save the active graph to a graph file");
    file->addSeparator();
    AddItem(file, kExit, cmd::kExit, "Quit Vantlow");

    QMenu* layout = AddMenu(kMenuLayout, cmd::kMenuLayout);
    AddItem(layout, kStartOptimization, cmd::kStartOptimization, "Let the graph arrange itself step by step");
    AddItem(layout, kStopOptimization, cmd::kStopOptimization, "Stop the step by step arrangement");
    layout->addSeparator();
    AddItem(layout, kRearrange, cmd::kRearrange, "Lay the graph out anew");

    QMenu* options = AddMenu(kMenuOptions, cmd::kMenuOptions);
    AddItem(options, kOverview, cmd::kOverview, "Show or hide the overview of the whole graph", true);
    AddItem(options, kPageIndex, cmd::kPageIndex, "Show or hide the list of all pages", true);
    AddItem(options, kContentsDocking, cmd::kContentsDocking, "Dock or float the tool box", true);
    options->addSeparator();
    AddItem(options, kInternetConnection, cmd::kInternetConnection, "Configure the dial-up connection");
    AddItem(options, kBrowser, cmd::kBrowser, "Choose the browser that shows the pages");
    AddItem(options, kProxy, cmd::kProxyPages, "Open the offline proxy's own pages in the browser");

    QMenu* window = AddMenu(kMenuWindow, cmd::kMenuWindow);
    AddItem(window, kCascade, cmd::kCascade, "Arrange the windows overlapping");
    AddItem(window, kTile, cmd::kTile, "Arrange the windows side by side");
    AddItem(window, kArrangeHorizontal, cmd::kArrangeHorizontal, "Arrange the windows one above the other");
    AddItem(window, kArrangeVertical, cmd::kArrangeVertical, "Arrange the windows next to each other");
    AddItem(window, kArrangeIcons, cmd::kArrange, "Line the minimized windows up at the bottom");
    connect(window, &QMenu::aboutToShow, this, &MainWindow::FillWindowList);

    QMenu* help = AddMenu(kMenuHelp, cmd::kMenuHelp);
    AddItem(help, kHelpContents, cmd::kHelpContents, "Show the help contents");
    AddItem(help, kHelpSymbols, cmd::kHelpSymbols, "Explain the symbols of the graph");
    AddItem(help, kHelpOnHelp, cmd::kHelpOnHelp, "How to use the help");
    help->addSeparator();
    AddItem(help, kOnlineHelp, cmd::kOnlineHelp, "Open the online help in the browser");
    help->addSeparator();
    AddItem(help, kAbout, cmd::kAbout, "Product name and version");
}

QAction* MainWindow::Action(int id) const {
    auto found = actions_.find(id);
    return found == actions_.end() ? nullptr : found->second;
}

QMenu* MainWindow::Menu(int id) const {
    auto found = menus_.find(id);
    return found == menus_.end() ? nullptr : found->second;
}

GraphWindow* MainWindow::ActiveGraphWindow() const {
    QMdiSubWindow* sub = mdi_->currentSubWindow();
    return sub ? qobject_cast<GraphWindow*>(sub->widget()) : nullptr;
}

QList<GraphWindow*> MainWindow::GraphWindows() const {
    QList<GraphWindow*> windows;
    for (QMdiSubWindow* sub : mdi_->subWindowList())
        if (auto* window = qobject_cast<GraphWindow*>(sub->widget())) windows.append(window);
    return windows;
}

void MainWindow::UpdateMenuState() {
    GraphWindow* graph = ActiveGraphWindow();
    bool idle = graph && !graph->Animating();
    bool anyChild = mdi_->currentSubWindow() != nullptr;
    Action(cmd::kStopOptimization)->setEnabled(graph && graph->Animating());
    Action(cmd::kStartOptimization)->setEnabled(idle);
    Action(cmd::kRearrange)->setEnabled(idle);
    Action(cmd::kClose)->setEnabled(idle);
    Action(cmd::kAddNetLocation)->setEnabled(idle && graph->CanExpand());
    Action(cmd::kSaveGraph)->setEnabled(graph != nullptr);
    for (int id : {cmd::kCascade, cmd::kTile, cmd::kArrangeHorizontal, cmd::kArrangeVertical, cmd::kArrange})
        Action(id)->setEnabled(anyChild);
    Action(cmd::kOverview)->setEnabled(graph != nullptr);
    Action(cmd::kOverview)->setChecked(graph && graph->OverviewShown());
    Action(cmd::kPageIndex)->setEnabled(graph != nullptr);
    Action(cmd::kPageIndex)->setChecked(graph && graph->PageIndexShown());
    Action(cmd::kContentsDocking)->setChecked(toolBox_ && toolBox_->Docked());
}

void MainWindow::FillWindowList() {
    QMenu* menu = Menu(cmd::kMenuWindow);
    for (QAction* action : windowListActions_) {
        menu->removeAction(action);
        delete action;
    }
    windowListActions_.clear();
    QList<QMdiSubWindow*> subs = mdi_->subWindowList();
    if (subs.isEmpty()) return;
    windowListActions_.append(menu->addSeparator());
    int number = 1;
    for (QMdiSubWindow* sub : subs) {
        QString title = sub->windowTitle();
        title.replace('&', "&&");
        QAction* action = menu->addAction(QString("&%1 %2").arg(number++).arg(title));
        action->setCheckable(true);
        action->setChecked(sub == mdi_->currentSubWindow());
        connect(action, &QAction::triggered, this, [this, sub] { mdi_->setActiveSubWindow(sub); });
        windowListActions_.append(action);
    }
}

void MainWindow::ArrangeInRows(bool horizontal) {
    QList<QMdiSubWindow*> subs;
    for (QMdiSubWindow* sub : mdi_->subWindowList())
        if (!sub->isMinimized() && sub->isVisible()) subs.append(sub);
    if (subs.isEmpty()) return;
    QRect area = mdi_->viewport()->rect();
    int count = static_cast<int>(subs.size());
    for (int i = 0; i < count; i++) {
        subs[i]->showNormal();
        if (horizontal) {
            int height = area.height() / count;
            subs[i]->setGeometry(0, i * height, area.width(), height);
        } else {
            int width = area.width() / count;
            subs[i]->setGeometry(i * width, 0, width, area.height());
        }
    }
}

void MainWindow::ShowAsBefore() {
    QStringList place = QString::fromStdString(config_.Read(ini::kWindow, ini::kPlacement)).split(' ');
    std::array<int, 4> numbers{};
    bool valid = place.size() == 4;
    for (int i = 0; valid && i < 4; i++) numbers[i] = place[i].toInt(&valid);
    // A size too small to use is no size to come back to.
    if (valid && numbers[2] >= 200 && numbers[3] >= 150)
        setGeometry(numbers[0], numbers[1], numbers[2], numbers[3]);
    if (config_.Read(ini::kWindow, ini::kMaximized) == "1")
        showMaximized();
    else
        show();
    if (config_.Read(ini::kWindow, ini::kToolBoxDocked) == "0") toolBox_->SetDocked(false);
}

void MainWindow::SavePlacement() {
    QRect normal = isMaximized() ? normalGeometry() : geometry();
    config_.Write(ini::kWindow, ini::kPlacement,
                  QString("%1 %2 %3 %4").arg(normal.x()).arg(normal.y()).arg(normal.width()).arg(normal.height())
                      .toStdString());
    config_.Write(ini::kWindow, ini::kMaximized, isMaximized() ? "1" : "0");
    config_.Write(ini::kWindow, ini::kToolBoxDocked, toolBox_->Docked() ? "1" : "0");
}

void MainWindow::ArrangeIcons() {
    QRect area = mdi_->viewport()->rect();
    int x = 0;
    int bottom = area.height();
    for (QMdiSubWindow* sub : mdi_->subWindowList()) {
        if (!sub->isMinimized()) continue;
        QSize size = sub->size();
        if (x > 0 && x + size.width() > area.width()) {
            x = 0;
            bottom -= size.height();
        }
        sub->move(x, bottom - size.height());
        x += size.width();
    }
}

QString MainWindow::DistinctTitle(const QString& title) const {
    QStringList shown;
    for (QMdiSubWindow* sub : mdi_->subWindowList()) shown << sub->widget()->windowTitle();
    QString distinct = title;
    for (int n = 2; shown.contains(distinct); n++) distinct = QString("%1 (%2)").arg(title).arg(n);
    return distinct;
}

// Commands that act on the active graph window; false for any other id.
bool MainWindow::GraphWindowCommand(int id) {
    GraphWindow* graph = ActiveGraphWindow();
    switch (id) {
    case cmd::kAddNetLocation:
        if (graph && !graph->Animating() && graph->CanExpand()) {
            if (jobs.addNetLocation)
                jobs.addNetLocation(graph);
            else
                ShowStatus(gui_text::kCommandNotAvailable);
        }
        return true;
    case cmd::kStartOptimization:
        if (graph) graph->StartAnimation();
        return true;
    case cmd::kStopOptimization:
        if (graph) graph->StopAnimation();
        return true;
    case cmd::kRearrange:
        if (graph) graph->Rearrange();
        return true;
    case cmd::kClose:
        if (graph && !graph->Animating()) graph->CloseWindow();
        return true;
    // The panes chosen last are the ones the next graph window shows.
    case cmd::kOverview:
        if (graph) graph->ShowOverview(!graph->OverviewShown());
        if (graph) config_.Write(ini::kWindow, ini::kOverviewPane, graph->OverviewShown() ? "1" : "0");
        return true;
    case cmd::kPageIndex:
        if (graph) graph->ShowPageIndex(!graph->PageIndexShown());
        if (graph) config_.Write(ini::kWindow, ini::kPageIndexPane, graph->PageIndexShown() ? "1" : "0");
        return true;
    case cmd::kSaveGraph:
        if (graph) {
            QString path = prompts_.SaveFileName(this, gui_text::kSaveGraphTitle,
                                                 {gui_text::kGraphFilesFilter, gui_text::kAllFilesFilter});
            if (!path.isEmpty()) SaveActiveGraph(path);
        }
        return true;
    default: return false;
    }
}

void MainWindow::Command(int id) {
    if (GraphWindowCommand(id)) {
        UpdateMenuState();
        return;
    }
    switch (id) {
    case cmd::kOpenNetLocation:
        if (jobs.openNetLocation)
            jobs.openNetLocation();
        else
            ShowStatus(gui_text::kCommandNotAvailable);
        break;
    case cmd::kExit:
        if (close()) QApplication::quit();
        break;
    case cmd::kCascade: mdi_->cascadeSubWindows(); break;
    case cmd::kTile: mdi_->tileSubWindows(); break;
    case cmd::kArrangeHorizontal: ArrangeInRows(true); break;
    case cmd::kArrangeVertical: ArrangeInRows(false); break;
    case cmd::kArrange: ArrangeIcons(); break;
    case cmd::kContentsDocking: toolBox_->SetDocked(!toolBox_->Docked()); break;
    case cmd::kInternetConnection:
        if (jobs.configureInternet)
            jobs.configureInternet();
        else
            ShowStatus(gui_text::kCommandNotAvailable);
        break;
    case cmd::kBrowser: prompts_.EditBrowser(this, config_); break;
    case cmd::kProxyPages:
        if (!StartBrowser(this, gui_text::kProxyPagesUrl)) ShowStatus(gui_text::kBrowserNotStarted);
        break;
    case cmd::kOnlineHelp:
        if (!StartBrowser(this, gui_text::kOnlineHelpUrl)) ShowStatus(gui_text::kBrowserNotStarted);
        break;
    case cmd::kHelpContents: ShowHelp(help_page::kContents); break;
    case cmd::kHelpSymbols: ShowHelp(help_page::kSymbols); break;
    case cmd::kHelpOnHelp: ShowHelp(help_page::kHowToUse); break;
    case cmd::kAbout: prompts_.About(this); break;
    case cmd::kLoadGraph: {
        QString path = prompts_.OpenFileName(this, gui_text::kOpenGraphTitle,
                                             {gui_text::kGraphFilesFilter, gui_text::kAllFilesFilter});
        if (!path.isEmpty()) OpenGraphFile(path);
        break;
    }
    default: break;
    }
    UpdateMenuState();
}

void MainWindow::SetHelpDirectory(const QString& directory) {
    helpDirectory_ = directory;
    if (help_) help_->SetDirectory(directory);
}

void MainWindow::ShowHelp(const QString& page) {
    if (help_ == nullptr) help_ = new HelpWindow(icons_, helpDirectory_, this);
    if (!help_->ShowPage(page)) {
        prompts_.Inform(this, help_->MissingText(page));
        return;
    }
    help_->show();
    help_->raise();
    help_->activateWindow();
}

GraphWindow* MainWindow::OpenGraphFile(const QString& path) {
    GraphWindow* window = OpenGraphWindow(QFileInfo(path).fileName());
    if (!window->LoadGraph(path)) {
        QString reason = StatusText();
        window->CloseWindow();
        ShowStatus(reason);
        return nullptr;
    }
    window->ShowStartNode();
    return window;
}

bool MainWindow::SaveActiveGraph(const QString& path) {
    GraphWindow* graph = ActiveGraphWindow();
    return graph && graph->SaveGraph(path);
}

void MainWindow::ShowStatus(const QString& text) {
    status_->SetText(text);
}

QString MainWindow::StatusText() const {
    return status_->Text();
}

bool MainWindow::StartBrowser(QWidget* parent, const std::string& url) {
    std::string command = config_.Read(ini::kGeneral, ini::kBrowser);
    if (Blank(command)) {
        prompts_.Inform(parent, gui_text::kConfigureBrowser);
        prompts_.EditBrowser(parent, config_);
        command = config_.Read(ini::kGeneral, ini::kBrowser);
    }
    if (Blank(command)) return false;
    return LaunchBrowserCommand(command, url);
}

GraphWindow* MainWindow::OpenGraphWindow(const QString& title) {
    auto* window = new GraphWindow(*this, DistinctTitle(title));
    QMdiSubWindow* sub = mdi_->addSubWindow(window);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    sub->setWindowIcon(window->windowIcon());
    sub->resize(std::max(320, mdi_->width() * 3 / 4), std::max(240, mdi_->height() * 3 / 4));
    window->show();
    window->ShowOverview(config_.Read(ini::kWindow, ini::kOverviewPane) == "1");
    window->ShowPageIndex(config_.Read(ini::kWindow, ini::kPageIndexPane) == "1");
    mdi_->setActiveSubWindow(sub);
    UpdateMenuState();
    return window;
}

void MainWindow::ExpandUrl(GraphWindow* window, const std::string& url) {
    if (jobs.expandUrl)
        jobs.expandUrl(window, url);
    else
        ShowStatus(gui_text::kCommandNotAvailable);
}

void MainWindow::GraphWindowChanged(GraphWindow*) {
    UpdateMenuState();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // Other children first (a waiting scheduled job asks before it is dropped).
    for (QMdiSubWindow* sub : mdi_->subWindowList())
        if (!qobject_cast<GraphWindow*>(sub->widget()) && !sub->close()) {
            event->ignore();
            return;
        }
    QStringList unsaved;
    for (GraphWindow* window : GraphWindows())
        if (window->Unsaved()) unsaved << window->windowTitle();
    if (!unsaved.isEmpty() &&
        !prompts_.AskYesNo(this, QString(gui_text::kQuitUnsaved).arg(unsaved.join(", ")))) {
        event->ignore();
        return;
    }
    // Owners first: their query covers their dependents.
    for (GraphWindow* window : GraphWindows())
        if (!window->OwnerWindow() && !window->CloseWindow()) {
            event->ignore();
            return;
        }
    for (GraphWindow* window : GraphWindows())
        if (window->isVisible() && !window->CloseWindow()) {
            event->ignore();
            return;
        }
    SavePlacement();
    toolBox_->FloatingWindow()->hide();
    event->accept();
}
