#include "viewer/gui/ToolBox.h"

#include "viewer/gui/CommandIds.h"
#include "viewer/gui/GuiTexts.h"

#include <QAction>
#include <QMainWindow>
#include <QShortcut>
#include <QToolBar>
#include <QVBoxLayout>

const std::vector<Accelerator>& FrameAccelerators() {
    static const std::vector<Accelerator> accelerators = {
        {1, "Ctrl+O", cmd::kLoadGraph},
        {2, "Ctrl+S", cmd::kSaveGraph},
        {3, "Ctrl+N", cmd::kOpenNetLocation},
        {4, "Ctrl+W", cmd::kClose},
        {5, "F5", cmd::kStartOptimization},
        {6, "Shift+F5", cmd::kStopOptimization},
        {7, "Ctrl+R", cmd::kRearrange},
        {8, "F2", cmd::kOverview},
        {9, "F3", cmd::kPageIndex},
        {10, "F1", cmd::kHelpContents},
    };
    return accelerators;
}

const std::vector<int>& ToolBox::Commands() {
    static const std::vector<int> commands = {cmd::kOpenNetLocation,    cmd::kAddNetLocation, cmd::kOverview,
                                              cmd::kPageIndex,          cmd::kStartOptimization,
                                              cmd::kStopOptimization,   cmd::kRearrange,      cmd::kHelpContents};
    return commands;
}

ToolBox::ToolBox(QMainWindow& frame, const std::function<QAction*(int)>& actionOf,
                 const std::function<void(int)>& dispatch)
    : QObject(&frame), frame_(frame) {
    bar_ = new QToolBar(gui_text::kToolBoxTitle, &frame);
    bar_->setObjectName("ToolBox");
    bar_->setMovable(true);
    bar_->setFloatable(true);
    for (int id : Commands()) bar_->addAction(actionOf(id));
    frame.addToolBar(Qt::TopToolBarArea, bar_);

    floating_ = new QWidget(&frame, Qt::Tool);
    floating_->setWindowTitle(gui_text::kToolBoxTitle);
    auto* layout = new QVBoxLayout(floating_);
    layout->setContentsMargins(2, 2, 2, 2);

    for (const Accelerator& accelerator : FrameAccelerators()) {
        auto* shortcut = new QShortcut(QKeySequence(accelerator.key), &frame);
        shortcut->setObjectName(QString("accelerator%1").arg(accelerator.id));
        int command = accelerator.command;
        connect(shortcut, &QShortcut::activated, this, [dispatch, command] { dispatch(command); });
        shortcuts_.push_back(shortcut);
    }
}

ToolBox::~ToolBox() = default;

bool ToolBox::Docked() const {
    return bar_->parentWidget() == &frame_ && !bar_->isFloating();
}

void ToolBox::SetDocked(bool docked) {
    if (docked == Docked()) return;
    if (docked) {
        floating_->hide();
        floating_->layout()->removeWidget(bar_);
        bar_->setParent(&frame_);
        bar_->setOrientation(Qt::Horizontal);
        frame_.addToolBar(Qt::TopToolBarArea, bar_);
        bar_->show();
    } else {
        frame_.removeToolBar(bar_);
        bar_->setParent(floating_);
        bar_->setOrientation(Qt::Horizontal);
        floating_->layout()->addWidget(bar_);
        bar_->show();
        floating_->adjustSize();
        floating_->move(frame_.mapToGlobal(QPoint(40, 80)));
        floating_->show();
    }
}
