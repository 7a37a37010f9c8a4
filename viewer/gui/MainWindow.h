// The main window: the MDI area holding the graph windows, the menu bar, the
// tool box and the status bar. Every command, from a menu, the tool box or
// an accelerator, goes through Command(id); the menu state follows the
// active graph window each time a menu opens.
#pragma once

#include "viewer/gui/GraphWindowHost.h"
#include "viewer/gui/Icons.h"

#include <QMainWindow>

#include <functional>
#include <map>
#include <memory>

class GraphWindow;
class HelpWindow;
class IniFile;
class QAction;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class ToolBox;
class UserPrompts;
class VantlowStatusBar;

// The load-job commands; the dialogs that carry them plug in here. A command
// without a handler says so in the status bar.
struct JobCommands {
    std::function<void()> openNetLocation;                                // 103
    std::function<void(GraphWindow*)> addNetLocation;                     // 130
    std::function<void(GraphWindow*, const std::string&)> expandUrl;      // "Expand URL..."
    std::function<void()> configureInternet;                              // 266
};

class MainWindow : public QMainWindow, public GraphWindowHost {
    Q_OBJECT
public:
    MainWindow(UserPrompts& prompts, IniFile& config, QWidget* parent = nullptr);
    ~MainWindow() override;

    JobCommands jobs;

    QAction* Action(int id) const;
    QMenu* Menu(int id) const;
    QMdiArea* MdiArea() const { return mdi_; }
    ToolBox& Tools() const { return *toolBox_; }
    VantlowStatusBar* Status() const { return status_; }
    IniFile& Config() { return config_; }

    // The current MDI child if it is a graph window.
    GraphWindow* ActiveGraphWindow() const;
    QList<GraphWindow*> GraphWindows() const;

    void Command(int id);
    void UpdateMenuState();

    // Shows the window where, as large as, and maximized as it was left,
    // with the tool box docked or not (from vantlow.ini).
    void ShowAsBefore();

    // Command 1: a graph file into a new graph window; null when it could not be read.
    GraphWindow* OpenGraphFile(const QString& path);
    // Command 13 on the active graph window.
    bool SaveActiveGraph(const QString& path);

    // Commands 262, 263 and 267: a page of the help in the help window; a
    // missing help file is named in a message instead.
    void ShowHelp(const QString& page);
    // Where the help pages are read from (tests point it elsewhere).
    void SetHelpDirectory(const QString& directory);
    HelpWindow* Help() const { return help_; }

    // GraphWindowHost
    UserPrompts& Prompts() override { return prompts_; }
    const NodeIcons& Icons() const override { return icons_; }
    void ShowStatus(const QString& text) override;
    QString StatusText() const override;
    bool StartBrowser(QWidget* parent, const std::string& url) override;
    GraphWindow* OpenGraphWindow(const QString& title) override;
    void ExpandUrl(GraphWindow* window, const std::string& url) override;
    void GraphWindowChanged(GraphWindow* window) override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildMenus();
    QMenu* AddMenu(const char* text, int id);
    QAction* AddItem(QMenu* menu, const char* text, int id, const char* help, bool checkable = false);
    void ArrangeInRows(bool horizontal);
    void SavePlacement();
    // Lines the minimized windows up along the bottom, wrapping upward.
    void ArrangeIcons();
    // title, or title with " (2)", " (3)", ... when a window shows it already.
    QString DistinctTitle(const QString& title) const;
    void FillWindowList();
    bool GraphWindowCommand(int id);

    UserPrompts& prompts_;
    IniFile& config_;
    NodeIcons icons_;
    QMdiArea* mdi_;
    VantlowStatusBar* status_;
    std::unique_ptr<ToolBox> toolBox_;
    std::map<int, QAction*> actions_;
    std::map<int, QMenu*> menus_;
    QList<QAction*> windowListActions_;
    QString helpDirectory_;
    HelpWindow* help_ = nullptr;
};
