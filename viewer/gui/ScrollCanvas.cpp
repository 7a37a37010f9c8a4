#include "viewer/gui/ScrollCanvas.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

// The drawing area: paints through the canvas's transform and hands mouse
// events on in canvas units.
class CanvasArea : public QWidget {
public:
    explicit CanvasArea(ScrollCanvas* canvas) : QWidget(canvas), canvas_(canvas) {
        setMouseTracking(true);
        setAttribute(Qt::WA_OpaquePaintEvent);
        setFocusPolicy(Qt::ClickFocus);
        setMinimumSize(40, 40);
    }

protected:
    void paintEvent(QPaintEvent* event) override {
        canvas_->BeforePaint();
        QPainter painter(this);
        painter.fillRect(event->rect(), ScrollCanvas::BackgroundColour());
        QTransform transform = canvas_->CanvasTransform();
        painter.setTransform(transform);
        QRect area = transform.inverted().mapRect(QRectF(event->rect())).toAlignedRect().adjusted(-1, -1, 1, 1);
        canvas_->PaintContent(painter, area);
    }
    void mousePressEvent(QMouseEvent* event) override {
        canvas_->CanvasMousePress(event, canvas_->ToCanvas(event->position()));
    }
    void mouseMoveEvent(QMouseEvent* event) override {
        canvas_->CanvasMouseMove(event, canvas_->ToCanvas(event->position()));
    }
    void mouseReleaseEvent(QMouseEvent* event) override {
        canvas_->CanvasMouseRelease(event, canvas_->ToCanvas(event->position()));
    }
    void mouseDoubleClickEvent(QMouseEvent* event) override {
        canvas_->CanvasMouseDoubleClick(event, canvas_->ToCanvas(event->position()));
    }
    void resizeEvent(QResizeEvent*) override { canvas_->UpdateScrollRanges(); }
    void wheelEvent(QWheelEvent* event) override {
        int steps = event->angleDelta().y() / 120;
        if (steps == 0) return;
        if (event->modifiers() & Qt::ControlModifier)
            canvas_->SetZoom(canvas_->Zoom() + steps * ScrollCanvas::kZoomStep);
        else
            canvas_->VerticalBar()->setValue(canvas_->VerticalBar()->value() - steps * 3 * 20);
        event->accept();
    }

private:
    ScrollCanvas* canvas_;
};

ScrollCanvas::ScrollCanvas(QWidget* parent) : QWidget(parent) {
    area_ = new CanvasArea(this);
    horizontal_ = new QScrollBar(Qt::Horizontal, this);
    vertical_ = new QScrollBar(Qt::Vertical, this);
    zoomBar_ = new QScrollBar(Qt::Horizontal, this);
    zoomBar_->setRange(kMinZoom, kMaxZoom);
    zoomBar_->setSingleStep(kZoomStep);
    zoomBar_->setPageStep(5 * kZoomStep);
    zoomBar_->setValue(zoom_);
    zoomBar_->setFixedWidth(110);
    zoomBar_->setToolTip("Zoom");
    zoomLabel_ = new QLabel("100 %", this);
    zoomLabel_->setFixedWidth(zoomLabel_->fontMetrics().horizontalAdvance("400 %") + 6);
    zoomLabel_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    horizontal_->setSingleStep(20);
    vertical_->setSingleStep(20);

    auto* bottom = new QHBoxLayout;
    bottom->setContentsMargins(0, 0, 0, 0);
    bottom->setSpacing(2);
    bottom->addWidget(zoomLabel_);
    bottom->addWidget(zoomBar_);
    bottom->addWidget(horizontal_, 1);
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setSpacing(0);
    grid->addWidget(area_, 0, 0);
    grid->addWidget(vertical_, 0, 1);
    grid->addLayout(bottom, 1, 0);

    connect(horizontal_, &QScrollBar::valueChanged, this, &ScrollCanvas::HorizontalMoved);
    connect(vertical_, &QScrollBar::valueChanged, this, &ScrollCanvas::VerticalMoved);
    connect(zoomBar_, &QScrollBar::valueChanged, this, &ScrollCanvas::SetZoom);
    UpdateScrollRanges();
}

ScrollCanvas::~ScrollCanvas() = default;

QColor ScrollCanvas::BackgroundColour() {
    // Dark enough that white links (not followed) stay visible on it.
    return QColor(0xDE, 0xDC, 0xD4);
}

QWidget* ScrollCanvas::DrawArea() const {
    return area_;
}

void ScrollCanvas::SetExtent(const QRect& extent) {
    extent_ = extent;
    UpdateScrollRanges();
    area_->update();
    emit ViewChanged();
}

void ScrollCanvas::SetZoom(int percent) {
    percent = std::clamp(percent, kMinZoom, kMaxZoom);
    if (zoomBar_->value() != percent) {
        zoomBar_->setValue(percent);  // comes back here through valueChanged
        return;
    }
    if (percent == zoom_) return;
    // What was in the middle stays there.
    QSize before = VisibleSize();
    QPoint centre = origin_ + QPoint(before.width() / 2, before.height() / 2);
    zoom_ = percent;
    zoomLabel_->setText(QString("%1 %").arg(zoom_));
    ScrollToPoint(centre);
}

QSize ScrollCanvas::VisibleSize() const {
    // At least one unit, so ranges stay sane for a collapsed area.
    return QSize(std::max(1, area_->width() * 100 / zoom_), std::max(1, area_->height() * 100 / zoom_));
}

QRect ScrollCanvas::ViewRect() const {
    return QRect(origin_, VisibleSize());
}

QTransform ScrollCanvas::CanvasTransform() const {
    double scale = zoom_ / 100.0;
    QTransform transform;
    transform.scale(scale, scale);
    transform.translate(-origin_.x(), -origin_.y());
    return transform;
}

QPoint ScrollCanvas::ToCanvas(QPointF areaPosition) const {
    QPointF point = CanvasTransform().inverted().map(areaPosition);
    return QPoint(static_cast<int>(std::floor(point.x())), static_cast<int>(std::floor(point.y())));
}

QPoint ScrollCanvas::FromCanvas(QPoint canvasPoint) const {
    return CanvasTransform().map(QPointF(canvasPoint)).toPoint();
}

void ScrollCanvas::SetOrigin(QPoint origin) {
    if (origin == origin_) return;
    origin_ = origin;
    UpdateScrollRanges();
    area_->update();
    emit ViewChanged();
}

void ScrollCanvas::ScrollToPoint(QPoint point) {
    QSize visible = VisibleSize();
    QPoint origin(point.x() - visible.width() / 2, point.y() - visible.height() / 2);
    if (!extent_.isEmpty()) {
        // Keep the view inside the extent where the extent is large enough.
        int maxX = std::max(extent_.left(), extent_.right() + 1 - visible.width());
        int maxY = std::max(extent_.top(), extent_.bottom() + 1 - visible.height());
        // ...but the point itself always stays in view.
        maxX = std::max(maxX, point.x() - visible.width() + 1);
        maxY = std::max(maxY, point.y() - visible.height() + 1);
        origin.setX(std::clamp(origin.x(), std::min(extent_.left(), point.x()), maxX));
        origin.setY(std::clamp(origin.y(), std::min(extent_.top(), point.y()), maxY));
        // An extent smaller than the view is shown whole, in the middle.
        if (visible.width() > extent_.width() && extent_.contains(point.x(), extent_.top()))
            origin.setX(extent_.center().x() - visible.width() / 2);
        if (visible.height() > extent_.height() && extent_.contains(extent_.left(), point.y()))
            origin.setY(extent_.center().y() - visible.height() / 2);
    }
    origin_ = origin;
    UpdateScrollRanges();
    area_->update();
    emit ViewChanged();
}

// The range covers the extent less one visible page, and always the current
// origin, so that a shrinking extent never makes the view jump.
void ScrollCanvas::UpdateScrollRanges() {
    QSize visible = VisibleSize();
    int minX = origin_.x(), maxX = origin_.x(), minY = origin_.y(), maxY = origin_.y();
    if (!extent_.isEmpty()) {
        minX = std::min(minX, extent_.left());
        maxX = std::max(maxX, std::max(extent_.left(), extent_.right() + 1 - visible.width()));
        minY = std::min(minY, extent_.top());
        maxY = std::max(maxY, std::max(extent_.top(), extent_.bottom() + 1 - visible.height()));
    }
    settingBars_ = true;
    horizontal_->setRange(minX, maxX);
    horizontal_->setPageStep(visible.width());
    horizontal_->setValue(origin_.x());
    vertical_->setRange(minY, maxY);
    vertical_->setPageStep(visible.height());
    vertical_->setValue(origin_.y());
    settingBars_ = false;
}

void ScrollCanvas::HorizontalMoved(int value) {
    if (settingBars_ || value == origin_.x()) return;
    origin_.setX(value);
    area_->update();
    emit ViewChanged();
}

void ScrollCanvas::VerticalMoved(int value) {
    if (settingBars_ || value == origin_.y()) return;
    origin_.setY(value);
    area_->update();
    emit ViewChanged();
}

void ScrollCanvas::PaintContent(QPainter&, const QRect&) {}
void ScrollCanvas::CanvasMousePress(QMouseEvent*, QPoint) {}
void ScrollCanvas::CanvasMouseMove(QMouseEvent*, QPoint) {}
void ScrollCanvas::CanvasMouseRelease(QMouseEvent*, QPoint) {}
void ScrollCanvas::CanvasMouseDoubleClick(QMouseEvent* event, QPoint position) {
    CanvasMousePress(event, position);
}
