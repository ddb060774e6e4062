#include "document/ui/trk_shape.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <QStringList>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>

using namespace vtl::document::ui;

namespace {

class TrkShapeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_parent = std::make_unique<QWidget>();
        m_parent->resize(400, 300);
        m_image = new QWidget(m_parent.get());
        m_image->setGeometry(20, 20, 300, 200);
        m_shape = new TTrkShape(m_parent.get());
        m_shape->setGeometry(100, 100, 50, 40);
        m_parent->show();
        QObject::connect(m_shape, &TTrkShape::Selected_, [this] { m_log << "selected"; });
        QObject::connect(m_shape, &TTrkShape::MoveEnd, [this] { m_log << "moveend"; });
        QObject::connect(m_shape, &TTrkShape::ReSizeEnd, [this] { m_log << "resizeend"; });
        QObject::connect(m_shape, &TTrkShape::DblClickEnd, [this] { m_log << "dblclickend"; });
        QObject::connect(m_shape, &TTrkShape::MouseMoveEx, [this](int x, int y, int w, int h) {
            m_log << QStringLiteral("ex %1 %2 %3 %4").arg(x).arg(y).arg(w).arg(h);
        });
    }

    // The pointer is given in the parent's coordinates, as a real pointer stays put on screen
    // while the shape moves under it.
    static void Send(TTrkShape* shape, QEvent::Type type, QPoint at, bool held)
    {
        const QPointF local = at - shape->pos();
        const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
        const Qt::MouseButtons buttons = held ? Qt::LeftButton : Qt::NoButton;
        QMouseEvent event(type, local, shape->mapToGlobal(local), button, buttons, Qt::NoModifier);
        QCoreApplication::sendEvent(shape, &event);
    }
    void Hover(QPoint at) { Send(m_shape, QEvent::MouseMove, at, false); }
    void Press(QPoint at) { Send(m_shape, QEvent::MouseButtonPress, at, true); }
    void Drag(QPoint at) { Send(m_shape, QEvent::MouseMove, at, true); }
    void Release(QPoint at) { Send(m_shape, QEvent::MouseButtonRelease, at, false); }

    std::unique_ptr<QWidget> m_parent;
    QWidget* m_image = nullptr;
    TTrkShape* m_shape = nullptr;
    QStringList m_log;
};

TEST_F(TrkShapeTest, TrkShapeDefaults)
{
    TTrkShape shape;
    EXPECT_EQ(shape.size(), QSize(65, 65));
    EXPECT_EQ(shape.Shape(), TTrkShapeType::sktFrame);
    EXPECT_FALSE(shape.Selected());
    EXPECT_TRUE(shape.SelectView());
    EXPECT_EQ(shape.DragMode(), TTrkShape::TDragMode::Idle);
}

TEST_F(TrkShapeTest, TrkShapeHitZonesInTableOrder)
{
    m_shape->SetSelected(true);
    EXPECT_EQ(m_shape->cursor().shape(), Qt::PointingHandCursor);
    struct Case {
        QPoint local;
        Qt::CursorShape cursor;
        int zone;
    };
    // 50 x 40: cx = 25, cy = 20.
    const Case cases[] = {
        { { 0, 0 }, Qt::SizeFDiagCursor, 7 },
        { { 2, 38 }, Qt::SizeBDiagCursor, 1 },
        { { 1, 22 }, Qt::SizeHorCursor, 4 },
        { { 48, 2 }, Qt::SizeBDiagCursor, 9 },
        { { 49, 39 }, Qt::SizeFDiagCursor, 3 },
        { { 48, 18 }, Qt::SizeHorCursor, 6 },
        { { 23, 1 }, Qt::SizeVerCursor, 8 },
        { { 27, 38 }, Qt::SizeVerCursor, 2 },
        // Just outside the grips: the body, and the zone stays what it was.
        { { 1, 17 }, Qt::PointingHandCursor, 2 },
        { { 22, 0 }, Qt::PointingHandCursor, 2 },
        { { 25, 20 }, Qt::PointingHandCursor, 2 },
    };
    for (const Case& c : cases) {
        Hover(m_shape->pos() + c.local);
        EXPECT_EQ(m_shape->cursor().shape(), c.cursor) << c.local.x() << "," << c.local.y();
        EXPECT_EQ(m_shape->Zone(), c.zone) << c.local.x() << "," << c.local.y();
    }

    // A shape that is not selected ignores the pointer.
    TTrkShape other(m_parent.get());
    other.setGeometry(200, 100, 50, 40);
    Send(&other, QEvent::MouseMove, QPoint(200, 100), false);
    EXPECT_EQ(other.cursor().shape(), Qt::ArrowCursor);
    EXPECT_EQ(other.Zone(), 0);
}

TEST_F(TrkShapeTest, TrkShapeNarrowShapeMiddleGripOnlyAtCentre)
{
    m_shape->setGeometry(100, 100, 6, 40);
    m_shape->SetSelected(true);
    const Qt::CursorShape expected[] = { Qt::SizeFDiagCursor, Qt::SizeFDiagCursor,
        Qt::SizeFDiagCursor, Qt::SizeVerCursor, Qt::SizeBDiagCursor, Qt::SizeBDiagCursor };
    for (int x = 0; x < 6; ++x) {
        Hover(QPoint(100 + x, 100));
        EXPECT_EQ(m_shape->cursor().shape(), expected[x]) << "x = " << x;
    }

    // The top-middle grip moves the top edge only.
    Hover(QPoint(103, 101));
    Press(QPoint(103, 101));
    Drag(QPoint(110, 91));
    EXPECT_EQ(m_shape->geometry(), QRect(100, 90, 6, 50));
    Release(QPoint(110, 91));
    EXPECT_EQ(m_log, QStringList({ "ex 100 90 6 50", "resizeend" }));
}

TEST_F(TrkShapeTest, TrkShapePressAndReleaseWithoutMovingEndsAMove)
{
    Press(QPoint(120, 120));
    EXPECT_TRUE(m_shape->Selected());
    EXPECT_EQ(m_shape->DragMode(), TTrkShape::TDragMode::Move);
    Release(QPoint(120, 120));
    EXPECT_EQ(m_shape->geometry(), QRect(100, 100, 50, 40));
    EXPECT_EQ(m_shape->DragMode(), TTrkShape::TDragMode::Idle);
    EXPECT_EQ(m_log, QStringList({ "selected", "moveend" }));

    // A second press on the now selected shape does not report the selection again.
    m_log.clear();
    Press(QPoint(120, 120));
    Release(QPoint(120, 120));
    EXPECT_EQ(m_log, QStringList({ "moveend" }));
}

TEST_F(TrkShapeTest, TrkShapeMoveStaysInsideFixedImage)
{
    m_shape->SetFixedImage(m_image);
    Press(QPoint(120, 120));
    Drag(QPoint(130, 125));
    EXPECT_EQ(m_shape->geometry(), QRect(110, 105, 50, 40));
    Drag(QPoint(10, 125)); // the left would be -10: stops at the image's left edge
    EXPECT_EQ(m_shape->geometry(), QRect(20, 105, 50, 40));
    Drag(QPoint(390, 290)); // past the right and bottom edges
    EXPECT_EQ(m_shape->geometry(), QRect(270, 180, 50, 40));
    Drag(QPoint(0, 0));
    EXPECT_EQ(m_shape->geometry(), QRect(20, 20, 50, 40));
    Release(QPoint(0, 0));
    EXPECT_EQ(m_log,
        QStringList({ "selected", "ex 110 105 50 40", "ex 20 105 50 40", "ex 270 180 50 40",
            "ex 20 20 50 40", "moveend" }));
}

TEST_F(TrkShapeTest, TrkShapeLeftGripPastRightEdgeBecomesRightGrip)
{
    m_shape->SetSelected(true);
    Hover(QPoint(101, 120));
    ASSERT_EQ(m_shape->Zone(), 4);
    Press(QPoint(101, 120));
    ASSERT_EQ(m_shape->DragMode(), TTrkShape::TDragMode::Resize);
    Drag(QPoint(111, 125));
    EXPECT_EQ(m_shape->geometry(), QRect(110, 100, 40, 40));
    // 30 pixels past the right edge at 150: the rectangle mirrored about that edge.
    Drag(QPoint(181, 125));
    EXPECT_EQ(m_shape->geometry(), QRect(150, 100, 30, 40));
    EXPECT_EQ(m_shape->Zone(), 6);
    // From here the right edge follows the pointer, keeping the left where the right was.
    Drag(QPoint(191, 125));
    EXPECT_EQ(m_shape->geometry(), QRect(150, 100, 40, 40));
    Drag(QPoint(171, 125));
    EXPECT_EQ(m_shape->geometry(), QRect(150, 100, 20, 40));
    Release(QPoint(171, 125));
    EXPECT_EQ(m_log.last(), "resizeend");
}

TEST_F(TrkShapeTest, TrkShapeGripCrossingsBackAndVertical)
{
    m_shape->SetSelected(true);
    // Bottom-middle grip dragged above the top edge becomes the top-middle grip.
    Hover(QPoint(125, 138));
    Press(QPoint(125, 138));
    Drag(QPoint(125, 80));
    EXPECT_EQ(m_shape->geometry(), QRect(100, 82, 50, 18));
    EXPECT_EQ(m_shape->Zone(), 8);
    Drag(QPoint(125, 70));
    EXPECT_EQ(m_shape->geometry(), QRect(100, 70, 50, 30));
    // And back down past the old bottom: a bottom grip again, following the pointer.
    Drag(QPoint(125, 110));
    EXPECT_EQ(m_shape->geometry(), QRect(100, 100, 50, 10));
    EXPECT_EQ(m_shape->Zone(), 2);
    Drag(QPoint(125, 130));
    EXPECT_EQ(m_shape->geometry(), QRect(100, 100, 50, 30));
    Release(QPoint(125, 130));

    // Right grip dragged left past the left edge becomes the left grip.
    Hover(QPoint(148, 115));
    ASSERT_EQ(m_shape->Zone(), 6);
    Press(QPoint(148, 115));
    Drag(QPoint(80, 115));
    EXPECT_EQ(m_shape->geometry(), QRect(82, 100, 18, 30));
    EXPECT_EQ(m_shape->Zone(), 4);
    Drag(QPoint(70, 115));
    EXPECT_EQ(m_shape->geometry(), QRect(70, 100, 30, 30));
    Release(QPoint(70, 115));
}

TEST_F(TrkShapeTest, TrkShapeResizeIsCutAtFixedImage)
{
    m_shape->SetFixedImage(m_image);
    m_shape->SetSelected(true);
    Hover(QPoint(149, 139)); // bottom-right corner
    Press(QPoint(149, 139));
    Drag(QPoint(390, 290));
    EXPECT_EQ(m_shape->geometry(), QRect(100, 100, 220, 120));
    Release(QPoint(390, 290));

    Hover(QPoint(100, 100)); // top-left corner: the opposite edges stay put
    Press(QPoint(100, 100));
    Drag(QPoint(0, 5));
    EXPECT_EQ(m_shape->geometry(), QRect(20, 20, 300, 200));
    Release(QPoint(0, 5));
}

QImage Grab(QWidget* widget) { return widget->grab().toImage(); }

TEST_F(TrkShapeTest, TrkShapeSelectViewFalseHidesGripsButKeepsThem)
{
    m_shape->setGeometry(100, 100, 40, 40);
    m_shape->SetPen({ Qt::red, 1, Qt::SolidLine, TTrkPenMode::pmCopy });
    m_shape->SetSelected(true);
    const QRgb red = qRgb(255, 0, 0);

    QImage image = Grab(m_shape);
    EXPECT_EQ(image.pixel(0, 0), red); // the frame
    EXPECT_EQ(image.pixel(39, 20), red);
    EXPECT_EQ(image.pixel(2, 2), red); // inside the top-left grip
    EXPECT_EQ(image.pixel(20, 37), red); // inside the bottom-middle grip
    EXPECT_NE(image.pixel(20, 20), red);

    m_shape->SetSelectView(false);
    image = Grab(m_shape);
    EXPECT_EQ(image.pixel(0, 0), red);
    EXPECT_NE(image.pixel(2, 2), red);
    EXPECT_NE(image.pixel(20, 37), red);
    EXPECT_NE(image.pixel(37, 37), red);

    Hover(QPoint(101, 101));
    EXPECT_EQ(m_shape->cursor().shape(), Qt::SizeFDiagCursor);
    Press(QPoint(101, 101));
    EXPECT_EQ(m_shape->DragMode(), TTrkShape::TDragMode::Resize);
    Drag(QPoint(91, 96));
    EXPECT_EQ(m_shape->geometry(), QRect(90, 95, 50, 45));
    Release(QPoint(91, 96));
    EXPECT_EQ(m_log.last(), "resizeend");
}

TEST_F(TrkShapeTest, TrkShapeNotPenInvertsThePictureBelow)
{
    m_parent->setAutoFillBackground(true);
    QPalette palette = m_parent->palette();
    palette.setColor(QPalette::Window, Qt::white);
    m_parent->setPalette(palette);
    m_shape->SetPen({ Qt::red, 1, Qt::DotLine, TTrkPenMode::pmNot });

    const QImage image = Grab(m_parent.get());
    int black = 0;
    int white = 0;
    for (int x = 100; x < 150; ++x) {
        const QRgb pixel = image.pixel(x, 100);
        black += pixel == qRgb(0, 0, 0);
        white += pixel == qRgb(255, 255, 255);
    }
    // Dots invert white to black; the gaps show the white below; the pen colour never shows.
    EXPECT_GT(black, 10);
    EXPECT_GT(white, 10);
    EXPECT_EQ(black + white, 50);
    EXPECT_EQ(image.pixel(125, 120), qRgb(255, 255, 255)); // a frame is not filled
}

TEST_F(TrkShapeTest, TrkShapeDoubleClickEndsAfterTheMove)
{
    m_shape->SetSelected(true);
    Press(QPoint(120, 120));
    Release(QPoint(120, 120));
    Send(m_shape, QEvent::MouseButtonDblClick, QPoint(120, 120), true);
    Release(QPoint(120, 120));
    EXPECT_EQ(m_log, QStringList({ "moveend", "moveend", "dblclickend" }));
}

TEST_F(TrkShapeTest, TrkShapeManagerKeepsOneSelected)
{
    TTrkShapeManager manager;
    auto* a = new TTrkShape(m_parent.get());
    auto* b = new TTrkShape(m_parent.get());
    a->setGeometry(0, 0, 30, 30);
    b->setGeometry(200, 0, 30, 30);
    a->SetManager(&manager);
    b->SetManager(&manager);
    m_shape->SetManager(&manager);
    manager.Add(a); // already listed
    EXPECT_EQ(manager.Count(), 3);

    // A shape that draws no grips is left selected.
    m_shape->SetSelectView(false);
    m_shape->SetSelected(true);
    a->SetSelected(true);
    EXPECT_TRUE(m_shape->Selected());

    int selectedB = 0;
    QObject::connect(b, &TTrkShape::Selected_, [&] { ++selectedB; });
    Send(b, QEvent::MouseButtonPress, QPoint(215, 15), true);
    Send(b, QEvent::MouseButtonRelease, QPoint(215, 15), false);
    EXPECT_EQ(selectedB, 1);
    EXPECT_TRUE(b->Selected());
    EXPECT_FALSE(a->Selected());
    EXPECT_EQ(a->cursor().shape(), Qt::ArrowCursor);
    EXPECT_TRUE(m_shape->Selected());

    // Setting Selected deselects the others as well.
    a->SetSelected(true);
    EXPECT_FALSE(b->Selected());

    TTrkShapeManager other;
    a->SetManager(&other);
    EXPECT_EQ(manager.Count(), 2);
    EXPECT_EQ(other.Count(), 1);
    manager.Remove(a); // not listed there any more
    EXPECT_EQ(manager.Count(), 2);
    delete b;
    EXPECT_EQ(manager.Count(), 1);
}

TEST_F(TrkShapeTest, TrkShapeInsideItsFixedImageUsesTheImageBounds)
{
    // The document puts the shape on the image itself, so its bounds are display coordinates.
    auto* shape = new TTrkShape(m_image);
    shape->setGeometry(10, 10, 50, 40);
    shape->SetFixedImage(m_image);
    shape->SetSelected(true);
    Send(shape, QEvent::MouseButtonPress, QPoint(30, 30), true);
    Send(shape, QEvent::MouseMove, QPoint(0, 500), true);
    EXPECT_EQ(shape->geometry(), QRect(0, 160, 50, 40));
}

} // namespace
