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
        frame->showNormal();
        if (QMdiArea* area = frame->mdiArea()) area->setActiveSubWindow(frame);
    } else {
        window.show();
        window.raise();
        window.activateWindow();
    }
    window.ShowStartNode();
}
