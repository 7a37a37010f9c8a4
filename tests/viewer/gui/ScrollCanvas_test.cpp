#include "GuiTestSupport.h"

#include "viewer/gui/OverviewPane.h"
#include "viewer/gui/ScrollCanvas.h"
#include "viewer/gui/SplitChildWindow.h"

#include <QApplication>
#include <QListWidget>
#include <QScrollBar>

#include <gtest/gtest.h>

class ScrollCanvasTest : public ::testing::Test {
protected:
    void SetUp() override {
        child = std::make_unique<SplitChildWindow>(new ScrollCanvas);
        child->resize(700, 500);
        child->show();
        QApplication::processEvents();
        canvas = child->Canvas();
    }
    std::unique_ptr<SplitChildWindow> child;
    ScrollCanvas* canvas = nullptr;
};

TEST_F(ScrollCanvasTest, ZoomStaysWithinItsLimitsAndScalesTheView) {
    EXPECT_EQ(canvas->Zoom(), 100);
    QSize at100 = canvas->ViewRect().size();
    canvas->SetZoom(200);
    EXPECT_EQ(canvas->ZoomBar()->value(), 200);
    EXPECT_EQ(canvas->ViewRect().width(), at100.width() / 2);
    canvas->SetZoom(100000);
    EXPECT_EQ(canvas->Zoom(), ScrollCanvas::kMaxZoom);
    canvas->SetZoom(-5);
    EXPECT_EQ(canvas->Zoom(), ScrollCanvas::kMinZoom);
    EXPECT_EQ(canvas->ViewRect().width(), at100.width() * 100 / ScrollCanvas::kMinZoom);
    // Moving the zoom bar zooms.
    canvas->ZoomBar()->setValue(50);
    EXPECT_EQ(canvas->Zoom(), 50);
    EXPECT_EQ(canvas->ToCanvas(QPointF(10, 10)), QPoint(20, 20));
}

TEST_F(ScrollCanvasTest, ScrollRangesFollowTheExtentAndTheThumbsMoveTheOrigin) {
    EXPECT_EQ(canvas->HorizontalBar()->maximum(), 0);
    canvas->SetExtent(QRect(-100, -50, 3000, 2000));
    QSize view = canvas->ViewRect().size();
    EXPECT_EQ(canvas->HorizontalBar()->minimum(), -100);
    EXPECT_EQ(canvas->HorizontalBar()->maximum(), -100 + 3000 - view.width());
    EXPECT_EQ(canvas->VerticalBar()->maximum(), -50 + 2000 - view.height());
    canvas->HorizontalBar()->setValue(400);
    canvas->VerticalBar()->setValue(300);
    EXPECT_EQ(canvas->Origin(), QPoint(400, 300));
    EXPECT_EQ(canvas->ToCanvas(QPointF(0, 0)), QPoint(400, 300));
    // A smaller extent keeps the thumb where it is.
    canvas->SetExtent(QRect(0, 0, 200, 200));
    EXPECT_EQ(canvas->Origin(), QPoint(400, 300));
    EXPECT_EQ(canvas->HorizontalBar()->value(), 400);
}

TEST_F(ScrollCanvasTest, ScrollToPointShowsThePoint) {
    canvas->SetExtent(QRect(0, 0, 5000, 5000));
    canvas->ScrollToPoint(QPoint(2500, 3000));
    EXPECT_TRUE(canvas->ViewRect().contains(QPoint(2500, 3000)));
    EXPECT_EQ(canvas->HorizontalBar()->value(), canvas->Origin().x());
    EXPECT_EQ(canvas->VerticalBar()->value(), canvas->Origin().y());
    canvas->ScrollToPoint(QPoint(4990, 10));
    EXPECT_TRUE(canvas->ViewRect().contains(QPoint(4990, 10)));
    EXPECT_LE(canvas->ViewRect().right(), 4999);
    EXPECT_GE(canvas->ViewRect().top(), 0);
}

TEST_F(ScrollCanvasTest, DraggingInTheOverviewScrollsTheCanvasWithinTheExtent) {
    child->ShowOverview(true);
    QApplication::processEvents();
    ASSERT_TRUE(child->OverviewShown());
    canvas->SetExtent(QRect(0, 0, 4000, 4000));
    OverviewPane* overview = child->Overview();
    QTransform toPane = overview->DocumentTransform();
    QPoint middle = toPane.map(QPointF(2000, 2000)).toPoint();
    Press(overview, middle);
    QRect view = canvas->ViewRect();
    EXPECT_NEAR(view.center().x(), 2000, 30);
    EXPECT_NEAR(view.center().y(), 2000, 30);

    // Dragged beyond the corner: the rectangle stops at the extent's edge.
    MoveWithButton(overview, toPane.map(QPointF(3990, 3990)).toPoint() + QPoint(50, 50));
    view = canvas->ViewRect();
    EXPECT_EQ(view.right(), 3999);
    EXPECT_EQ(view.bottom(), 3999);
    Release(overview, middle);

    // The view rectangle is drawn inverted in the pane.
    QImage picture = overview->grab().toImage();
    QPoint inside = toPane.map(QPointF(view.center())).toPoint();
    QPoint outside = toPane.map(QPointF(500, 500)).toPoint();
    EXPECT_NE(picture.pixelColor(inside), picture.pixelColor(outside));
}

TEST_F(ScrollCanvasTest, PanesShowAndHideBesideTheCanvas) {
    EXPECT_FALSE(child->OverviewShown());
    EXPECT_FALSE(child->PageIndexShown());
    int full = canvas->width();
    child->ShowPageIndex(true);
    QApplication::processEvents();
    EXPECT_TRUE(child->PageIndexShown());
    EXPECT_LT(canvas->width(), full);
    EXPECT_GT(child->PageIndex()->x(), canvas->x());
    child->ShowPageIndex(false);
    QApplication::processEvents();
    EXPECT_EQ(canvas->width(), full);
}
