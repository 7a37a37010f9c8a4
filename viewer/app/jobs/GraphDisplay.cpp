#include "viewer/app/jobs/GraphDisplay.h"

#include "viewer/app/jobs/JobTexts.h"

#include "viewer/graph/NodeSizes.h"
#include "viewer/gui/GraphWindow.h"

#include <QApplication>
#include <QMdiArea>
#include <QMdiSubWindow>

void PrepareGraphDisplay(GraphWindow& window, const std::function<void(const QString&)>& status,
                         const std::function<QString()>& statusText) {
    // A message already there (a dial-up failure, say) comes back afterwards.
    QString before = statusText();
    status(job_text::kCalculatingDisplay);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    FitNodeSizes(window.Graph(), window.Painter().Measure());
    window.Rearrange();
    window.ShowStartNode();
    window.RefreshPageIndex();
    QApplication::restoreOverrideCursor();
    window.Canvas()->DrawArea()->update();
    if (statusText() == job_text::kCalculatingDisplay) status(before);
}

void BringGraphWindowForward(GraphWindow& window) {
    auto* frame = qobject_cast<QMdiSubWindow*>(window.parentWidget());
    if (frame) {
        QMdiArea* area = frame->mdiArea();
        // Behind a maximized window the new one would stay hidden: it takes its
        // place. The area may have handed the maximized state to it already.
        QMdiSubWindow* current = area ? area->currentSubWindow() : nullptr;
        if (frame->isMaximized() || (current && current != frame && current->isMaximized()))
            frame->showMaximized();
        else
            frame->showNormal();
        frame->raise();
        if (area) area->setActiveSubWindow(frame);
    } else {
        window.show();
        window.raise();
    }
    // The end-of-load window had the focus: the main window comes forward too.
    window.window()->raise();
    window.window()->activateWindow();
    window.setFocus();
    window.ShowStartNode();
}
