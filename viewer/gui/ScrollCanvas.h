// A zoomable, scrollable drawing area. The document lives in canvas units
// (pixels at 100 %); the canvas shows the part of it that starts at the
// origin, scaled by the zoom value. Subclasses draw in canvas units and get
// their mouse events in canvas units; the canvas knows nothing of what it
// shows.
#pragma once

#include <QRect>
#include <QTransform>
#include <QWidget>

class QLabel;
class QMouseEvent;
class QPainter;
class QScrollBar;
class CanvasArea;

class ScrollCanvas : public QWidget {
    Q_OBJECT
public:
    static constexpr int kMinZoom = 10;
    static constexpr int kMaxZoom = 400;
    static constexpr int kZoomStep = 10;

    explicit ScrollCanvas(QWidget* parent = nullptr);
    ~ScrollCanvas() override;

    // The document's extent; the scroll ranges follow it.
    void SetExtent(const QRect& extent);
    QRect Extent() const { return extent_; }

    int Zoom() const { return zoom_; }
    // Clamped to [kMinZoom, kMaxZoom]; the point in the middle of the view
    // stays there (ScrollToPoint).
    void SetZoom(int percent);

    // The canvas point shown at the top-left corner of the drawing area.
    QPoint Origin() const { return origin_; }
    void SetOrigin(QPoint origin);
    // Sets the origin so that the point is shown (centred where the extent
    // allows it; an extent smaller than the view is centred itself); both
    // thumbs follow.
    void ScrollToPoint(QPoint point);
    // The part of the document that is visible, in canvas units.
    QRect ViewRect() const;

    QTransform CanvasTransform() const;
    QPoint ToCanvas(QPointF areaPosition) const;
    QPoint FromCanvas(QPoint canvasPoint) const;

    QWidget* DrawArea() const;
    QScrollBar* HorizontalBar() const { return horizontal_; }
    QScrollBar* VerticalBar() const { return vertical_; }
    QScrollBar* ZoomBar() const { return zoomBar_; }

    // Draws the document part in area (canvas units) with a painter already
    // set to canvas units; the overview pane draws through it as well.
    virtual void PaintContent(QPainter& painter, const QRect& area);

    // The background of every canvas.
    static QColor BackgroundColour();

signals:
    void ViewChanged();

protected:
    // Mouse events of the drawing area, with the pointer in canvas units.
    virtual void CanvasMousePress(QMouseEvent* event, QPoint position);
    virtual void CanvasMouseMove(QMouseEvent* event, QPoint position);
    virtual void CanvasMouseRelease(QMouseEvent* event, QPoint position);
    virtual void CanvasMouseDoubleClick(QMouseEvent* event, QPoint position);
    // Called before every repaint of the drawing area.
    virtual void BeforePaint() {}

private:
    friend class CanvasArea;

    void UpdateScrollRanges();
    void HorizontalMoved(int value);
    void VerticalMoved(int value);
    QSize VisibleSize() const;

    CanvasArea* area_;
    QScrollBar* horizontal_;
    QScrollBar* vertical_;
    QScrollBar* zoomBar_;
    QLabel* zoomLabel_;
    QRect extent_;
    QPoint origin_;
    int zoom_ = 100;
    bool settingBars_ = false;
};
