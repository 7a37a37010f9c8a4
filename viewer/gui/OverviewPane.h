// The overview pane: the canvas's whole document scaled into the pane, with
// the visible part shown as an inverted rectangle. Pressing or dragging in
// the pane moves that rectangle (kept inside the document) and scrolls the
// canvas with it.
#pragma once

#include <QWidget>

class ScrollCanvas;

class OverviewPane : public QWidget {
    Q_OBJECT
public:
    explicit OverviewPane(ScrollCanvas* canvas, QWidget* parent = nullptr);

    // Where the document is drawn: pane position = canvas point x scale + offset.
    QTransform DocumentTransform() const;
    // Centres the view rectangle on the pane position.
    void MoveViewTo(QPointF panePosition);

    QSize sizeHint() const override { return QSize(180, 180); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    ScrollCanvas* canvas_;
};
