#include "GuiTestSupport.h"

#include "viewer/gui/OverviewPane.h"
#include "viewer/gui/ScrollCanvas.h"
#include "viewer/gui/SplitChildWindow.h"

#include <QApplication>
#include <QScrollBar>

TEST(ScrollCanvas, ZoomScrollRangesAndScrollingToAPoint) {
    SplitChildWindow child(new ScrollCanvas);
    child.resize(700, 500);
    child.show();
    QApplication::processEvents();
    ScrollCanvas* canvas = child.Canvas();
    QSize at100 = canvas->ViewRect().size();
    const std::pair<int, int> zooms[] = {{200, 200}, {100000, ScrollCanvas::kMaxZoom}, {-5, ScrollCanvas::kMinZoom}};
    for (auto [asked, zoom] : zooms) {
        canvas->SetZoom(asked);
        EXPECT_EQ(canvas->ZoomBar()->value(), zoom);
        EXPECT_EQ(canvas->ViewRect().width(), at100.width() * 100 / zoom);
    }
    canvas->ZoomBar()->setValue(50);  // moving the zoom bar zooms
    EXPECT_EQ(canvas->ToCanvas(QPointF(10, 10)), QPoint(20, 20));
    canvas->SetZoom(100);

    canvas->SetExtent(QRect(-100, -50, 3000, 2000));
    EXPECT_EQ(canvas->HorizontalBar()->minimum(), -100);
    EXPECT_EQ(canvas->HorizontalBar()->maximum(), -100 + 3000 - at100.width());
    EXPECT_EQ(canvas->VerticalBar()->maximum(), -50 + 2000 - at100.height());
    canvas->HorizontalBar()->setValue(400);
    canvas->VerticalBar()->setValue(300);
    EXPECT_EQ(canvas->ToCanvas(QPointF(0, 0)), QPoint(400, 300));
    canvas->SetExtent(QRect(0, 0, 200, 200));  // a smaller extent keeps the thumbs where they are
    EXPECT_EQ(canvas->HorizontalBar()->value(), 400);
    canvas->SetExtent(QRect(0, 0, 5000, 5000));
    for (QPoint point : {QPoint(2500, 3000), QPoint(4990, 10)}) {
        canvas->ScrollToPoint(point);
        EXPECT_TRUE(canvas->ViewRect().contains(point));
        EXPECT_TRUE(QRect(0, 0, 5000, 5000).contains(canvas->ViewRect()));
        EXPECT_EQ(canvas->VerticalBar()->value(), canvas->Origin().y());
    }

    // Dragging in the overview moves the view, never beyond the extent.
    child.ShowOverview(true);
    QApplication::processEvents();
    OverviewPane* overview = child.Overview();
    QTransform toPane = overview->DocumentTransform();
    QTest::mousePress(overview, Qt::LeftButton, {}, toPane.map(QPointF(2000, 2000)).toPoint());
    EXPECT_NEAR(canvas->ViewRect().center().x(), 2000, 30);
    QTest::mouseMove(overview, toPane.map(QPointF(4990, 4990)).toPoint() + QPoint(50, 50));
    QTest::mouseRelease(overview, Qt::LeftButton, {}, toPane.map(QPointF(4990, 4990)).toPoint());
    QRect view = canvas->ViewRect();
    EXPECT_EQ(view.bottomRight(), QPoint(4999, 4999));
    QImage picture = overview->grab().toImage();  // the view rectangle is drawn inverted
    EXPECT_NE(picture.pixelColor(toPane.map(QPointF(view.center())).toPoint()),
              picture.pixelColor(toPane.map(QPointF(500, 500)).toPoint()));
}
