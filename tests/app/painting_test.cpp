// What the window paints: the photo under the head-line tool, the next photo after "新規作成", the empty view's hint,
// and the layout after a resize that arrives while the photo is being shown again. Each test grabs widgets and reads
// pixels.
#include "window_fixture.h"

namespace vellicam::test {
namespace {

using Painting = WindowTest;

// A solid photo survives JPEG within a few levels.
bool Near(QRgb pixel, Rgb colour)
{
    return std::abs(qRed(pixel) - colour.r) <= 6 && std::abs(qGreen(pixel) - colour.g) <= 6
        && std::abs(qBlue(pixel) - colour.b) <= 6;
}

// The view as the user sees it, scrolled to its origin.
QImage GrabView(const MainWindow& window)
{
    QApplication::processEvents();
    return ControlsOf(window).photoView->viewport()->grab().toImage();
}

const Rgb kTeal { 30, 160, 150 };
const Rgb kOrange { 230, 140, 40 };

TEST_F(Painting, HeadMarkingShowsThePhotoUnderTheOverlay)
{
    settingsUi().recogniseOnOpenBox->setChecked(false);
    Open(WritePhoto("teal.jpg", 800, 800, kTeal));
    // A point of the photo away from the frame, which sits in the middle.
    const QPoint probe(10, 10);
    ASSERT_TRUE(Near(GrabView(*window).pixel(probe), kTeal));

    ui().headLineButton->click();
    ASSERT_TRUE(ui().headLineOverlay->isVisible());
    EXPECT_TRUE(Near(GrabView(*window).pixel(probe), kTeal)) << "the overlay covers the photo";

    // The line drawn on it is red, and the photo shows around it.
    window->headLinePressed(At(100, 40));
    window->headLineMoved(At(100, 200));
    const QImage marked = GrabView(*window);
    EXPECT_EQ(marked.pixel(100, 100), qRgb(255, 0, 0));
    EXPECT_TRUE(Near(marked.pixel(probe), kTeal));
}

TEST_F(Painting, TheFrameIsARedOutlineWithBlackGripsAtItsCornersAndThePhotoInside)
{
    settingsUi().recogniseOnOpenBox->setChecked(false);
    Open(WritePhoto("teal.jpg", 800, 800, kTeal));
    SetFrame(100, 80, 200, 260);
    window->attachFrame();
    window->drawFrameOutline();
    const QImage shown = GrabView(*window);
    // The outline's top row and right column; the bottom-left corner pixel carries the see-through colour.
    EXPECT_EQ(shown.pixel(150, 80), qRgb(255, 0, 0));
    EXPECT_EQ(shown.pixel(299, 200), qRgb(255, 0, 0));
    EXPECT_TRUE(Near(shown.pixel(150, 200), kTeal)) << "the frame's inside shows the photo";
    EXPECT_TRUE(Near(shown.pixel(60, 200), kTeal));
    // Each corner grip is black inside a white border.
    for (int i : { 0, 2, 4, 6 }) {
        const QRect grip = ui().frameGrips->grip(i)->geometry();
        EXPECT_EQ(shown.pixel(grip.center()), qRgb(0, 0, 0)) << i;
        EXPECT_EQ(shown.pixel(grip.topLeft()), qRgb(255, 255, 255)) << i;
    }
}

TEST_F(Painting, ThePreviewShowsTheSheetItsCellsOnWhite)
{
    settingsUi().recogniseOnOpenBox->setChecked(false);
    Open(WritePhoto("teal.jpg", 1600, 1600, kTeal));
    ui().makeSheetButton->click();
    Settle();
    QApplication::processEvents();
    ASSERT_TRUE(preview().isVisible());
    const QImage shown = preview().scrollBox()->viewport()->grab().toImage();
    EXPECT_EQ(shown.pixel(3, 3), qRgb(255, 255, 255));
    // The first cell holds the photo's colour.
    int teal = 0;
    for (int y = 0; y < shown.height(); y += 4)
        for (int x = 0; x < shown.width(); x += 4)
            teal += Near(shown.pixel(x, y), kTeal);
    EXPECT_GT(teal, 100);
}

TEST_F(Painting, AfterNewTheNextPhotoShowsEvenWithHeadMarkingLeftOn)
{
    settingsUi().recogniseOnOpenBox->setChecked(false);
    Open(WritePhoto("teal.jpg", 800, 800, kTeal));
    // A line leaves the empty overlay up; head marking left switched on keeps it up as well.
    ui().headLineButton->click();
    window->headLinePressed(At(200, 100));
    window->headLineMoved(At(200, 300));
    window->headLineReleased(At(200, 300));
    Settle();
    ui().headLineButton->click();
    ASSERT_TRUE(ui().headLineButton->isChecked());

    ui().newButton->click();

    Settle();
    EXPECT_FALSE(ui().headLineOverlay->isVisible());
    EXPECT_FALSE(ui().headLineButton->isChecked());
    Open(WritePhoto("orange.jpg", 800, 800, kOrange));
    const QImage shown = GrabView(*window);
    EXPECT_TRUE(Near(shown.pixel(10, 10), kOrange));
    EXPECT_TRUE(Near(shown.pixel(ui().photoImage->width() - 10, ui().photoImage->height() - 10), kOrange));
}

// Dark pixels on the view's middle rows to the right of the photo's square, where nothing but the empty view's hint
// draws.
int HintInk(const MainWindow& window)
{
    const QImage shown = GrabView(window);
    const int side = std::min(shown.width(), shown.height());
    int ink = 0;
    for (int y = shown.height() / 2 - 12; y <= shown.height() / 2 + 12; ++y)
        for (int x = side + 2; x < shown.width(); ++x)
            ink += qGray(shown.pixel(x, y)) < 128;
    return ink;
}

TEST_F(Painting, TheEmptyViewAsksForAPhotoUntilOneIsShown)
{
    settingsUi().recogniseOnOpenBox->setChecked(false);
    const int blank = 20; // fewer dark pixels than the hint's line of text leaves there
    EXPECT_GT(HintInk(*window), blank) << "at start";
    Open(WritePhoto("teal.jpg", 800, 800, kTeal));
    ASSERT_TRUE(window->session().hasPhoto());
    EXPECT_EQ(HintInk(*window), 0) << "with a photo";
    ui().newButton->click();
    Settle();
    EXPECT_GT(HintInk(*window), blank) << "after 新規作成";
    Open(WritePhoto("teal.jpg", 800, 800, kTeal));
    EXPECT_EQ(HintInk(*window), 0);
    WriteFile(scratch.Path() / "broken.jpg", "no JPEG");
    Open(QString::fromStdString(scratch / "broken.jpg"));
    EXPECT_GT(HintInk(*window), blank) << "after a failed open";
}

TEST_F(Painting, AResizeDuringTheReshowEndsLaidOutForTheFinalSize)
{
    settingsUi().recogniseOnOpenBox->setChecked(false);
    Open(WritePhoto("teal.jpg", 800, 800, kTeal));
    // The second resize arrives at the first chance the re-show for the first size gives events to run.
    const QRect before = ui().photoView->geometry();
    bool resizedAgain = false;
    const WhileRunning poke([&] {
        if (!resizedAgain && ui().photoView->width() == before.width() + 1100 - 1024) {
            resizedAgain = true;
            window->resize(1200, 900);
        }
    });
    window->resize(1100, 800);
    for (int i = 0; i < 5; ++i)
        QApplication::processEvents();
    ASSERT_TRUE(resizedAgain);
    ASSERT_EQ(window->size(), QSize(1200, 900));

    EXPECT_EQ(ui().photoView->geometry(), before.adjusted(0, 0, 1200 - 1024, 900 - 755));
    const QSize area = ui().photoView->maximumViewportSize();
    EXPECT_EQ(window->session().viewSide(), std::min(area.width(), area.height()));
    EXPECT_EQ(ui().statusBar->geometry().bottom(), 899);

    // The photo fills the view's square down to its bottom row, which lies below the old layout's view.
    const QImage grabbed = window->grab().toImage();
    const QPoint nearBottom = before.topLeft() + QPoint(2 + 20, 2 + window->session().viewSide() - 5);
    ASSERT_GT(nearBottom.y(), before.bottom() + 800 - 755);
    EXPECT_TRUE(Near(grabbed.pixel(nearBottom), kTeal));
}

} // namespace
} // namespace vellicam::test
