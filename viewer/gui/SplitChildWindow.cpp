#include "viewer/gui/SplitChildWindow.h"

#include "viewer/gui/OverviewPane.h"
#include "viewer/gui/ScrollCanvas.h"

#include <QListWidget>
#include <QSplitter>
#include <QVBoxLayout>

SplitChildWindow::SplitChildWindow(ScrollCanvas* canvas, QWidget* parent) : QWidget(parent), canvas_(canvas) {
    splitter_ = new QSplitter(Qt::Horizontal, this);
    overview_ = new OverviewPane(canvas_, splitter_);
    pageIndex_ = new QListWidget(splitter_);
    pageIndex_->setUniformItemSizes(true);
    splitter_->addWidget(overview_);
    splitter_->addWidget(canvas_);
    splitter_->addWidget(pageIndex_);
    splitter_->setStretchFactor(0, 0);
    splitter_->setStretchFactor(1, 1);
    splitter_->setStretchFactor(2, 0);
    splitter_->setChildrenCollapsible(false);
    overview_->hide();
    pageIndex_->hide();

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(splitter_);
}

void SplitChildWindow::ShowPane(QWidget* pane, bool show, int width) {
    if (show == !pane->isHidden()) return;
    if (!show) {
        pane->hide();  // the splitter gives the room to the canvas
        return;
    }
    QList<int> sizes = splitter_->sizes();
    int index = splitter_->indexOf(pane);
    int canvasIndex = splitter_->indexOf(canvas_);
    int give = std::min(width, std::max(0, sizes[canvasIndex] - 80));
    pane->show();
    sizes[index] = give;
    sizes[canvasIndex] -= give;
    splitter_->setSizes(sizes);
}

void SplitChildWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    KeepCanvasUsable();
}

void SplitChildWindow::KeepCanvasUsable() {
    QList<int> sizes = splitter_->sizes();
    const int canvasIndex = splitter_->indexOf(canvas_);
    int total = 0;
    for (int size : sizes) total += size;
    const int panes = total - sizes[canvasIndex];
    const int room = total / 2;  // what the panes may have together
    if (panes <= room || panes <= 0) return;
    for (int i = 0; i < sizes.size(); i++)
        if (i != canvasIndex) sizes[i] = sizes[i] * room / panes;
    int given = 0;
    for (int i = 0; i < sizes.size(); i++) given += i == canvasIndex ? 0 : sizes[i];
    sizes[canvasIndex] = total - given;
    splitter_->setSizes(sizes);
}

void SplitChildWindow::ShowOverview(bool show) {
    ShowPane(overview_, show, 180);
}

bool SplitChildWindow::OverviewShown() const {
    return !overview_->isHidden();
}

void SplitChildWindow::ShowPageIndex(bool show) {
    ShowPane(pageIndex_, show, 220);
}

bool SplitChildWindow::PageIndexShown() const {
    return !pageIndex_->isHidden();
}
