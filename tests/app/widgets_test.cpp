// The small pieces under the window: the see-through image, the free line, the cursor guard, the check list.
#include "check_list.h"
#include "image_widget.h"
#include "line_draw.h"
#include "qt_bitmap.h"
#include "scope_guards.h"
#include "test_support.h"

#include <QApplication>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

namespace vellicam::test {
namespace {

// What the user sees of the check list: nothing while no check is known, a red line for a failed check only.
TEST(CheckListWidget, AFailedCheckIsShownInRedAndUnknownOnesHideTheList)
{
    const auto redPixels = [](CheckList& list) {
        const QImage shot = list.grab().toImage();
        int red = 0;
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < shot.width(); ++x) {
                const QColor c = shot.pixelColor(x, y);
                red += c.red() > 150 && c.green() < 80 && c.blue() < 80;
            }
        return red;
    };
    CheckList list;
    list.resize(300, 120);
    PhotoCheck tilt { "tilt", CheckState::Passed, true, 1.0, "±5.0°以内", "傾き 1.0°（±5.0°以内） ✓" };
    PhotoCheck eyes { "eyes", CheckState::Unknown, false, 0, "両目", "目 不明" };
    list.setChecks({ eyes });
    EXPECT_FALSE(list.isVisibleTo(nullptr));
    list.setChecks({ tilt, eyes });
    EXPECT_TRUE(list.isVisibleTo(nullptr));
    ASSERT_EQ(list.count(), 2);
    EXPECT_EQ(list.item(0)->text().toStdString(), tilt.text);
    EXPECT_EQ(redPixels(list), 0);
    tilt.state = CheckState::Failed;
    list.setChecks({ tilt, eyes });
    EXPECT_GT(redPixels(list), 20);
}

TEST(KeyedImage, TheBottomLeftColourIsSeeThroughOnlyWhenTransparent)
{
    ImageWidget image;
    ASSERT_TRUE(image.picture().Resize(4, 3));
    Fill(image.picture(), kBlue);
    image.picture().SetPixel(1, 1, kRed);
    image.pictureChanged();
    EXPECT_EQ(qAlpha(image.shownImage().pixel(0, 0)), 255);

    image.setTransparent(true);
    EXPECT_EQ(qAlpha(image.shownImage().pixel(0, 0)), 0);
    EXPECT_EQ(image.shownImage().pixel(1, 1), qRgb(255, 0, 0));
    // The key follows whatever colour the bottom-left pixel has.
    image.picture().SetPixel(0, 2, kRed);
    image.pictureChanged();
    EXPECT_EQ(qAlpha(image.shownImage().pixel(1, 1)), 0);
    EXPECT_EQ(qAlpha(image.shownImage().pixel(2, 2)), 255);
}

TEST(QtBitmap, RoundTripsOddWidthsRowByRow)
{
    const Bitmap original = RandomBitmap(7, 5, 11);
    const QImage image = ToQImage(original);
    ASSERT_EQ(image.size(), QSize(7, 5));
    EXPECT_EQ(image.pixel(6, 4), qRgb(original.Pixel(6, 4).r, original.Pixel(6, 4).g, original.Pixel(6, 4).b));
    Bitmap back;
    ASSERT_TRUE(FromQImage(image, back));
    EXPECT_TRUE(SameImage(back, original));
}

TEST(LineDraw, DrawsUpToButNotIncludingTheEndPointInEveryDirection)
{
    Bitmap b = SolidBitmap(9, 9, kBlue);
    DrawAnyLine(b, 1, 1, 7, 4, kRed);
    EXPECT_EQ(b.Pixel(1, 1), kRed);
    EXPECT_EQ(b.Pixel(7, 4), kBlue);
    int drawn = 0;
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 9; ++x)
            drawn += b.Pixel(x, y) == kRed;
    EXPECT_EQ(drawn, 6);

    Bitmap c = SolidBitmap(9, 9, kBlue);
    DrawAnyLine(c, 8, 8, 0, 0, kRed);
    EXPECT_EQ(c.Pixel(8, 8), kRed);
    EXPECT_EQ(c.Pixel(1, 1), kRed);
    EXPECT_EQ(c.Pixel(0, 0), kBlue);

    // Clipped, not refused, when the mouse leaves the overlay.
    Bitmap d = SolidBitmap(4, 4, kBlue);
    DrawAnyLine(d, -3, 1, 10, 1, kRed);
    EXPECT_EQ(d.Pixel(0, 1), kRed);
    EXPECT_EQ(d.Pixel(3, 1), kRed);
}

TEST(OverrideCursor, RestoresTheCursorOnEveryWayOut)
{
    ASSERT_EQ(QApplication::overrideCursor(), nullptr);
    try {
        OverrideCursor wait(Qt::WaitCursor);
        ASSERT_NE(QApplication::overrideCursor(), nullptr);
        throw std::runtime_error("out");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

} // namespace
} // namespace vellicam::test
