// An MDI child that hosts a scroll canvas with two optional side panes, the
// overview on the left and the page index on the right, each beside the
// canvas behind a splitter. Hiding a pane gives its room back to the canvas.
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

private:
    void ShowPane(QWidget* pane, bool show, int width);

    ScrollCanvas* canvas_;
    QSplitter* splitter_;
    OverviewPane* overview_;
    QListWidget* pageIndex_;
};
