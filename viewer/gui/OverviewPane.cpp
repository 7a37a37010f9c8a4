#include "viewer/gui/OverviewPane.h"

#include "viewer/gui/ScrollCanvas.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

namespace {
constexpr int kMargin = 4;
}

OverviewPane::OverviewPane(ScrollCanvas* canvas, QWidget* parent) : QWidget(parent), canvas_(canvas) {
    setMinimumSize(60, 60);
    connect(canvas_, &ScrollCanvas::ViewChanged, this, qOverload<>(&QWidget::update));
}

QTransform OverviewPane::DocumentTransform() const {
    QRect extent = canvas_->Extent();
    QTransform transform;
    if (extent.isEmpty()) return transform;
    double scaleX = std::max(1, width() - 2 * kMargin) / double(extent.width());
    double scaleY = std::max(1, height() - 2 * kMargin) / double(extent.height());
    double scale = std::min(scaleX, scaleY);
    transform.translate(kMargin, kMargin);
    transform.scale(scale, scale);
    transform.translate(-extent.left(), -extent.top());
    return transform;
}

void OverviewPane::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    QRect extent = canvas_->Extent();
    if (extent.isEmpty()) return;
    painter.setTransform(DocumentTransform());
    painter.fillRect(extent, ScrollCanvas::BackgroundColour());
    painter.save();
    painter.setClipRect(extent);
    canvas_->PaintContent(painter, extent);
    painter.restore();
    // Inverting keeps the rectangle visible on any drawing below it.
    painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    painter.fillRect(canvas_->ViewRect().intersected(extent), Qt::white);
}

void OverviewPane::MoveViewTo(QPointF panePosition) {
    QRect extent = canvas_->Extent();
    if (extent.isEmpty()) return;
    QPointF centre = DocumentTransform().inverted().map(panePosition);
    QSize view = canvas_->ViewRect().size();
    int left = static_cast<int>(centre.x()) - view.width() / 2;
    int top = static_cast<int>(centre.y()) - view.height() / 2;
    // Clamp so the rectangle stays inside; one larger than the extent sits at its start.
    left = std::max(extent.left(), std::min(left, extent.right() + 1 - view.width()));
    top = std::max(extent.top(), std::min(top, extent.bottom() + 1 - view.height()));
    canvas_->SetOrigin(QPoint(left, top));
}

void OverviewPane::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) MoveViewTo(event->position());
}

void OverviewPane::mouseMoveEvent(QMouseEvent* event) {
    if (event->buttons() & Qt::LeftButton) MoveViewTo(event->position());
}
