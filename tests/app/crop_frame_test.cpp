// The crop frame: the head line with its rotation question, and the resize grips driven by mouse events.
#include "window_fixture.h"

#include "geometry/head_line.h"
#include "sheet/sheet_compose.h"

namespace vellicam::test {
namespace {

class CropFrame : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        // 1128 pixels: half the view's scale or less, so the smallest frame stays well below the lines drawn.
        Open(WritePhoto("photo.jpg", 1128, 900));
        ASSERT_TRUE(ui().frameImage->isVisible());
    }
    void DrawHeadLine(QPoint top, QPoint chin)
    {
        ui().headLineButton->click();
        window->headLinePressed(At(top.x(), top.y()));
        window->headLineMoved(At(chin.x(), chin.y()));
        window->headLineReleased(At(chin.x(), chin.y()));
        Settle();
    }
};

TEST_F(CropFrame, HeadMarkingShowsTheOverlayAndDisablesTheOtherTools)
{
    ui().headLineButton->click();
    EXPECT_TRUE(ui().headLineButton->isChecked());
    EXPECT_TRUE(ui().headLineOverlay->isVisible());
    EXPECT_FALSE(ui().frameImage->isVisible());
    EXPECT_EQ(ui().frameGrips->control(), nullptr);
    EXPECT_TRUE(ui().headLineButton->isEnabled());
    EXPECT_FALSE(ui().turnLeftButton->isEnabled());
    EXPECT_EQ(ui().statusBar->panel(0), "頭頂部と顎をドラッグして結びます");

    window->headLineMoved(At(33, 44));
    EXPECT_EQ(ui().statusBar->panel(1), "(33,44)");

    // Released by hand: the frame comes back unchanged.
    const QRect frame = Frame();
    ui().headLineButton->click();
    EXPECT_FALSE(ui().headLineOverlay->isVisible());
    EXPECT_TRUE(ui().frameImage->isVisible());
    EXPECT_EQ(Frame(), frame);
    EXPECT_EQ(ui().frameGrips->control(), ui().frameImage);
    EXPECT_TRUE(ui().turnLeftButton->isEnabled());
}

TEST_F(CropFrame, AChinLeftOfTheHeadTopProposesATurnThatYesApplies)
{
    dialogs.answers.push_back(true);
    ui().headLineButton->click();
    window->headLinePressed(At(200, 100));
    window->headLineMoved(At(190, 200));
    EXPECT_EQ(window->session().headLineProposal(), 50);
    EXPECT_EQ(AnglePanel(), "R*10=50");
    EXPECT_EQ(ui().statusBar->panel(1), "(200,100)-(190,200)");
    EXPECT_EQ(ui().headLineOverlay->picture().Pixel(200, 100), kRed);
    window->headLineReleased(At(190, 200));
    Settle();

    ASSERT_EQ(dialogs.questions.size(), 1u);
    EXPECT_EQ(dialogs.questions[0].text, "角度が5.000000度あります。回転させますか？");
    EXPECT_EQ(dialogs.questions[0].title, "Vellicam");
    EXPECT_EQ(window->session().angle(), -50);
    EXPECT_EQ(ui().angleBox->text(), "-5");
    EXPECT_FALSE(window->isBusy());
    EXPECT_FALSE(ui().headLineButton->isChecked());
    EXPECT_TRUE(ui().frameImage->isVisible());
    EXPECT_EQ(ui().frameGrips->control(), ui().frameImage);
    // The line is gone from the overlay.
    EXPECT_NE(ui().headLineOverlay->picture().Pixel(200, 100), kRed);
}

TEST_F(CropFrame, AChinRightOfTheHeadTopAsksWithMinusSixAndNoKeepsTheAngle)
{
    DrawHeadLine({ 200, 100 }, { 210, 200 });
    ASSERT_EQ(dialogs.questions.size(), 1u);
    EXPECT_EQ(dialogs.questions[0].text, "角度が-6.000000度あります。回転させますか？");
    EXPECT_EQ(window->session().angle(), 0);
    EXPECT_EQ(ui().angleBox->text(), "0");
    EXPECT_TRUE(ui().frameImage->isVisible());
    EXPECT_TRUE(ui().makeSheetButton->isEnabled());
}

TEST_F(CropFrame, TheLineSetsTheFrameFromItsVerticalExtent)
{
    DrawHeadLine({ 200, 100 }, { 204, 419 });
    // Face 319 of the cell's 496 rows: 496 high, 59 rows of it above the head top, centred on the line.
    EXPECT_EQ(Frame(), QRect(13, 41, 378, 496));
    EXPECT_EQ(RedOutline(ui().frameImage->picture()), QRect(0, 0, 378, 496));
    // Any tilt with the chin to the right asks at least a whole degree; the answer here is No.
    ASSERT_EQ(dialogs.questions.size(), 1u);
    EXPECT_EQ(dialogs.questions[0].text, "角度が-1.000000度あります。回転させますか？");
    EXPECT_EQ(window->session().angle(), 0);
    EXPECT_FALSE(ui().headLineButton->isChecked());
    EXPECT_TRUE(ui().headLineOverlay->isVisible()) << "the empty overlay stays until the button is used again";
    EXPECT_TRUE(ui().turnLeftButton->isEnabled());
}

TEST_F(CropFrame, AClickWithoutMoveGivesTheSmallestFrameAtTheClick)
{
    ui().headLineButton->click();
    window->headLinePressed(At(150, 120));
    window->headLineReleased(At(150, 120));
    Settle();
    const ViewFrameLimits limits = ViewLimits();
    const int h = limits.minHeight + 1;
    int w = 378 * h / 496;
    if (w < limits.minWidth + 1)
        w = limits.minWidth + 1;
    EXPECT_EQ(Frame(), QRect(150 - w / 2, 120, w, h));
    EXPECT_TRUE(dialogs.questions.empty());
}

TEST_F(CropFrame, AnUprightLineAfterATiltedOneAsksNothing)
{
    DrawHeadLine({ 200, 100 }, { 210, 200 });
    ASSERT_EQ(dialogs.questions.size(), 1u);
    DrawHeadLine({ 200, 100 }, { 200, 300 });
    // The line's angle, then how high the face will print.
    EXPECT_EQ(AnglePanel(),
        QStringLiteral("-90.000000　") + QString::fromStdString(window->session().faceHeightText()));
    EXPECT_EQ(dialogs.questions.size(), 1u);
}

TEST_F(CropFrame, TheFirstClickMakesTheSmallestFrameOnePixelLargerInPlace)
{
    const QRect before = Frame();
    const ViewFrameLimits limits = ViewLimits();
    ASSERT_EQ(before.width(), limits.minWidth);
    Drag(ui().frameImage, { 5, 5 }, { 5, 5 });
    EXPECT_EQ(Frame(), QRect(before.topLeft(), QSize(limits.minWidth + 1, limits.minHeight + 1)));
    // The outline follows the frame's new size.
    EXPECT_EQ(ui().frameImage->picture().Width(), limits.minWidth + 1);
    EXPECT_EQ(RedOutline(ui().frameImage->picture()).width(), limits.minWidth + 1);
}

TEST_F(CropFrame, DraggingTheFrameMovesItWithinTheView)
{
    Drag(ui().frameImage, { 5, 5 }, { 5, 5 });
    const QRect start = Frame();
    Drag(ui().frameImage, { 10, 10 }, { 30, 25 });
    EXPECT_EQ(Frame(), start.translated(20, 15));
    EXPECT_TRUE(ui().frameGrips->grip(4)->isVisible());

    Drag(ui().frameImage, { 10, 10 }, { 5000, 5000 });
    EXPECT_EQ(Frame().right() + 1, ui().photoImage->width());
    EXPECT_EQ(Frame().bottom() + 1, ui().photoImage->height());
    Drag(ui().frameImage, { 10, 10 }, { -5000, -5000 });
    EXPECT_EQ(Frame().topLeft(), QPoint(0, 0));
    EXPECT_EQ(Frame().size(), start.size());
}

// Ctrl+Z takes back a drag, a head line and a turn in turn, Ctrl+Shift+Z does them again, and the view's context
// menu offers both; a new photo has nothing to take back.
TEST_F(CropFrame, UndoAndRedoTakeBackMovesHeadLinesAndTurns)
{
    QAction* undo = window->findChild<QAction*>("undoAction");
    QAction* redo = window->findChild<QAction*>("redoAction");
    ASSERT_TRUE(undo && redo);
    EXPECT_TRUE(ui().photoView->actions().contains(undo));
    EXPECT_TRUE(ui().photoView->actions().contains(redo));
    EXPECT_FALSE(undo->isEnabled());
    const auto press = [this](QKeyCombination keys) {
        QTest::keyClick(window.get(), keys.key(), keys.keyboardModifiers());
        Settle();
    };

    const QRect start = Frame();
    Drag(ui().frameImage, { 10, 10 }, { 40, 25 });
    const QRect moved = Frame();
    ASSERT_NE(moved, start);
    DrawHeadLine({ 200, 100 }, { 200, 300 });
    const QRect lined = Frame();
    ASSERT_NE(lined, moved);
    ui().turnRightTenthButton->click();
    Settle();
    ASSERT_EQ(window->session().angle(), 1);
    EXPECT_TRUE(undo->isEnabled());

    press(Qt::CTRL | Qt::Key_Z);
    EXPECT_EQ(window->session().angle(), 0);
    EXPECT_EQ(ui().angleBox->text(), "0");
    EXPECT_EQ(Frame(), lined);
    press(Qt::CTRL | Qt::Key_Z);
    EXPECT_EQ(Frame(), moved);
    press(Qt::CTRL | Qt::Key_Z);
    EXPECT_EQ(Frame(), start);
    EXPECT_EQ(ui().frameGrips->control(), ui().frameImage) << "the frame keeps its grips";
    EXPECT_FALSE(undo->isEnabled());

    press(Qt::CTRL | Qt::SHIFT | Qt::Key_Z);
    EXPECT_EQ(Frame(), moved);
    redo->trigger(); // as the context menu would
    Settle();
    EXPECT_EQ(Frame(), lined);
    press(Qt::CTRL | Qt::SHIFT | Qt::Key_Z);
    EXPECT_EQ(window->session().angle(), 1);
    EXPECT_FALSE(redo->isEnabled());

    Open(WritePhoto("next.jpg", 1128, 900));
    EXPECT_FALSE(undo->isEnabled());
    EXPECT_FALSE(redo->isEnabled());
}

TEST_F(CropFrame, TheCornerGripResizesKeepingTheAspectWithinTheLimits)
{
    const ViewFrameLimits limits = ViewLimits();
    const QRect start = Frame();
    ResizeGrip* bottomRight = ui().frameGrips->grip(4);
    Drag(bottomRight, { 3, 3 }, { 3 + 40, 3 + 7 });
    const QRect grown = Frame();
    EXPECT_EQ(grown.topLeft(), start.topLeft());
    EXPECT_EQ(grown.width(), start.width() + 40);
    // The height follows the width in the proportions the frame had when it was attached.
    EXPECT_EQ(grown.height(), grown.width() * start.height() / start.width());
    EXPECT_EQ(ui().frameImage->picture().Width(), grown.width());
    // The grip went along with the corner.
    EXPECT_EQ(bottomRight->geometry().topLeft(), QPoint(grown.x() + grown.width() - 1, grown.y() + grown.height() - 1));

    // Far past the maximum and the view: held to the largest frame, placed from 0.
    Drag(bottomRight, { 3, 3 }, { 3 + 5000, 3 + 5000 });
    EXPECT_LE(Frame().width(), limits.maxWidth);
    EXPECT_LE(Frame().height(), limits.maxHeight);

    // The top-left grip dragged inwards past the minimum: the size stops just above the minimum.
    ResizeGrip* topLeft = ui().frameGrips->grip(0);
    Drag(topLeft, { 3, 3 }, { 3 + 5000, 3 + 5000 });
    EXPECT_EQ(Frame().width(), limits.minWidth + 1);
    EXPECT_EQ(Frame().height(), limits.minHeight + 1);
}

TEST_F(CropFrame, AnEdgeGripMovesTheFrameWithoutResizingIt)
{
    Drag(ui().frameImage, { 5, 5 }, { 5, 5 });
    const QRect start = Frame();
    Drag(ui().frameGrips->grip(1), { 3, 3 }, { 13, 8 });
    EXPECT_EQ(Frame(), start.translated(10, 5));
}

TEST_F(CropFrame, OnlyTheLeftButtonStartsADragButAnyReleaseEndsIt)
{
    Drag(ui().frameImage, { 5, 5 }, { 5, 5 });
    const QRect start = Frame();
    Send(ui().frameImage, QEvent::MouseButtonPress, Qt::RightButton, Qt::RightButton, { 5, 5 });
    Send(ui().frameImage, QEvent::MouseMove, Qt::NoButton, Qt::RightButton, { 25, 25 });
    EXPECT_EQ(Frame(), start);
    EXPECT_FALSE(ui().frameGrips->isDragging());

    Send(ui().frameImage, QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, { 5, 5 });
    EXPECT_TRUE(ui().frameGrips->isDragging());
    EXPECT_FALSE(ui().frameGrips->grip(0)->isVisible()) << "grips hide while the frame itself is dragged";
    Send(ui().frameImage, QEvent::MouseButtonRelease, Qt::RightButton, Qt::LeftButton, { 5, 5 });
    EXPECT_FALSE(ui().frameGrips->isDragging());
    EXPECT_TRUE(ui().frameGrips->grip(0)->isVisible());
}

TEST_F(CropFrame, AHeadLinesFrameTallerThanThePhotoIsWarnedOfAndAskedAboutOnceAtTheSheet)
{
    // 496 rows of frame on a landscape photo shown well under 496 rows high: no place on the photo holds it.
    DrawHeadLine({ 200, 100 }, { 200, 419 });
    ASSERT_GT(Frame().height(), 900 * window->session().viewSide() / 1128);
    EXPECT_TRUE(AnglePanel().contains(QStringLiteral("写真の外側が含まれます")))
        << AnglePanel().toStdString();
    dialogs.questions.clear();
    ui().makeSheetButton->click();
    Settle();
    ASSERT_EQ(dialogs.questions.size(), 1u);
    EXPECT_EQ(dialogs.questions[0].text, main_window_texts::FromSession(kTextFrameOutsideQuestion));
    EXPECT_EQ(dialogs.messages.back().text, main_window_texts::kSaved) << "No: saved as it is";

    // Made small enough by its grip to lie on the photo, the warning goes.
    Drag(ui().frameGrips->grip(4), { 3, 3 }, { 3 - 200, 3 - 200 });
    MoveFrame(40, 120);
    Drag(ui().frameImage, { 5, 5 }, { 5, 5 });
    EXPECT_FALSE(AnglePanel().contains(QStringLiteral("写真の外側")))
        << AnglePanel().toStdString();
}

TEST_F(CropFrame, TheFrameIsCutOutOfTheSquareAtItsScale)
{
    SetFrame(-4, 10, 100, 130);
    CropRect crop;
    ASSERT_EQ(window->cropRectangle(crop), kCropOk);
    const int s = window->session().square().Width();
    const int v = ui().photoImage->width();
    auto scaled = [&](int value) {
        const int q = value * s * 10 / v;
        return q / 10 + (q % 10 >= 5 ? 1 : 0);
    };
    EXPECT_EQ(crop.source.left, 0);
    EXPECT_EQ(crop.source.top, scaled(10));
    EXPECT_EQ(crop.width, scaled(100));
    EXPECT_EQ(crop.height, scaled(130));
}

} // namespace
} // namespace vellicam::test
