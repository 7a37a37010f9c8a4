// An MDI child that hosts a scroll canvas with two optional side panes, the
// overview on the left and the page index on the right, each beside the
// canvas behind a splitter. Hiding a pane gives its room back to the canvas;
// the panes never take more than half the width.
#pragma once

#include <QWidget>

class OverviewPane;
class QListWidget;
class QSplitter;
class ScrollCanvas;

class SplitChildWindow : public QWidget {
    Q_OBJECT
public:
    // Takes the canvas over.
    SplitChildWindow(ScrollCanvas* canvas, QWidget* parent = nullptr);

    ScrollCanvas* Canvas() const { return canvas_; }
    OverviewPane* Overview() const { return overview_; }
    QListWidget* PageIndex() const { return pageIndex_; }
    QSplitter* Splitter() const { return splitter_; }

    void ShowOverview(bool show);
    bool OverviewShown() const;
    void ShowPageIndex(bool show);
    bool PageIndexShown() const;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void ShowPane(QWidget* pane, bool show, int width);
    // The splitter gives every change of width to the canvas; in a narrow
    // window (tiled, say) the panes give up room until the canvas has half.
    void KeepCanvasUsable();

    ScrollCanvas* canvas_;
    QSplitter* splitter_;
    OverviewPane* overview_;
    QListWidget* pageIndex_;
};
