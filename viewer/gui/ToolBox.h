// The tool box of the main window: the commands 103, 130, 139, 155, 110,
// 111, 90 and 262 as buttons, sharing the menu's actions (so their help
// texts and states are the menu's). It is docked at the top of the main
// window or floats in a small window of its own. The frame's ten keyboard
// accelerators are installed with it.
#pragma once

#include <QObject>

#include <functional>
#include <vector>

class QAction;
class QKeySequence;
class QMainWindow;
class QShortcut;
class QToolBar;
class QWidget;

// An accelerator: its id (1 to 10), its key, the command it gives.
struct Accelerator {
    int id;
    const char* key;
    int command;
};
const std::vector<Accelerator>& FrameAccelerators();

class ToolBox : public QObject {
    Q_OBJECT
public:
    // The tool box commands, in their order.
    static const std::vector<int>& Commands();

    ToolBox(QMainWindow& frame, const std::function<QAction*(int)>& actionOf,
            const std::function<void(int)>& dispatch);
    ~ToolBox() override;

    QToolBar* Bar() const { return bar_; }
    QWidget* FloatingWindow() const { return floating_; }
    // Docked in the main window (also when the user dragged it to float: not docked).
    bool Docked() const;
    void SetDocked(bool docked);
    const std::vector<QShortcut*>& Shortcuts() const { return shortcuts_; }

private:
    QMainWindow& frame_;
    QToolBar* bar_;
    QWidget* floating_;
    std::vector<QShortcut*> shortcuts_;
};
