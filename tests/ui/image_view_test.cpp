#include "ui/image_view.h"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace pokopen {
namespace {

// A click is a release inside the view of the button pressed inside it; the measure editor
// acts on clicks and double-clicks of its grid.
TEST(ImageViewTest, ClickIsAReleaseInsideOfTheButtonPressedInside) {
    ImageView view(100, 50);
    view.show();
    QSignalSpy clicks(&view, &ImageView::clicked);
    QSignalSpy doubleClicks(&view, &ImageView::mouseDoubleClicked);

    QTest::mouseClick(&view, Qt::RightButton, {}, QPoint(10, 20));
    ASSERT_EQ(clicks.count(), 1);
    EXPECT_EQ(clicks.at(0).at(0).value<Qt::MouseButton>(), Qt::RightButton);
    EXPECT_EQ(clicks.at(0).at(1).toInt(), 10);
    EXPECT_EQ(clicks.at(0).at(2).toInt(), 20);

    // Dragged out before the release: no click.
    QTest::mousePress(&view, Qt::LeftButton, {}, QPoint(10, 20));
    QTest::mouseRelease(&view, Qt::LeftButton, {}, QPoint(120, 20));
    EXPECT_EQ(clicks.count(), 1);

    // A double-click reaches a widget as press, release, press, double-click, release: the first
    // pair is a click, the release that ends the double-click is not another one.
    const QPoint at(30, 5);
    QTest::mousePress(&view, Qt::LeftButton, {}, at);
    QTest::mouseRelease(&view, Qt::LeftButton, {}, at);
    QTest::mousePress(&view, Qt::LeftButton, {}, at);
    QTest::mouseDClick(&view, Qt::LeftButton, {}, at);
    QTest::mouseRelease(&view, Qt::LeftButton, {}, at);
    EXPECT_EQ(doubleClicks.count(), 1);
    EXPECT_EQ(clicks.count(), 2);
}

} // namespace
} // namespace pokopen
