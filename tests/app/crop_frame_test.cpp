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
        ASSERT_TRUE(form1->Image3->isVisible());
    }
    void DrawHeadLine(QPoint top, QPoint chin)
    {
        form1->SpeedButton1->click();
        form1->Image2MouseDown(At(top.x(), top.y()));
        form1->Image2MouseMove(At(chin.x(), chin.y()));
        form1->Image2MouseUp(At(chin.x(), chin.y()));
    }
};

TEST_F(CropFrame, HeadMarkingShowsTheOverlayAndDisablesTheOtherTools)
{
    form1->SpeedButton1->click();
    EXPECT_TRUE(form1->SpeedButton1->isChecked());
    EXPECT_TRUE(form1->Image2->isVisible());
    EXPECT_FALSE(form1->Image3->isVisible());
    EXPECT_EQ(form1->ResizeFrame->Control(), nullptr);
    EXPECT_TRUE(form1->SpeedButton1->isEnabled());
    EXPECT_FALSE(form1->BitBtn4->isEnabled());
    EXPECT_EQ(form1->StatusBar1->Panel(0), "頭頂部と顎をドラッグして結びます");

    form1->Image2MouseMove(At(33, 44));
    EXPECT_EQ(form1->StatusBar1->Panel(1), "(33,44)");

    // Released by hand: the frame comes back unchanged.
    const QRect frame = Frame();
    form1->SpeedButton1->click();
    EXPECT_FALSE(form1->Image2->isVisible());
    EXPECT_TRUE(form1->Image3->isVisible());
    EXPECT_EQ(Frame(), frame);
    EXPECT_EQ(form1->ResizeFrame->Control(), form1->Image3);
    EXPECT_TRUE(form1->BitBtn4->isEnabled());
}

TEST_F(CropFrame, AChinLeftOfTheHeadTopProposesATurnThatYesApplies)
{
    dialogs.answers.push_back(true);
    form1->SpeedButton1->click();
    form1->Image2MouseDown(At(200, 100));
    form1->Image2MouseMove(At(190, 200));
    EXPECT_EQ(form1->RotationProposal, 50);
    EXPECT_EQ(form1->StatusBar1->Panel(2), "R*10=50");
    EXPECT_EQ(form1->StatusBar1->Panel(1), "(200,100)-(190,200)");
    EXPECT_EQ(form1->FrameRect, (Rect { 200, 100, 190, 200 }));
    EXPECT_EQ(form1->Image2->Picture().Pixel(200, 100), kRed);
    form1->Image2MouseUp(At(190, 200));

    ASSERT_EQ(dialogs.questions.size(), 1u);
    EXPECT_EQ(dialogs.questions[0].text, "角度が5.000000度あります。回転させますか？");
    EXPECT_EQ(dialogs.questions[0].title, "Vellicam");
    EXPECT_EQ(form1->RotationAngle, -50);
    EXPECT_EQ(form1->Edit4->text(), "-5");
    EXPECT_FALSE(form1->Busy);
    EXPECT_FALSE(form1->SpeedButton1->isChecked());
    EXPECT_TRUE(form1->Image3->isVisible());
    EXPECT_EQ(form1->ResizeFrame->Control(), form1->Image3);
    // The line is gone from the overlay.
    EXPECT_NE(form1->Image2->Picture().Pixel(200, 100), kRed);
}

TEST_F(CropFrame, AChinRightOfTheHeadTopAsksWithMinusSixAndNoKeepsTheAngle)
{
    DrawHeadLine({ 200, 100 }, { 210, 200 });
    ASSERT_EQ(dialogs.questions.size(), 1u);
    EXPECT_EQ(dialogs.questions[0].text, "角度が-6.000000度あります。回転させますか？");
    EXPECT_EQ(form1->RotationAngle, 0);
    EXPECT_EQ(form1->Edit4->text(), "0");
    EXPECT_TRUE(form1->Image3->isVisible());
    EXPECT_TRUE(form1->BitBtn3->isEnabled());
}

TEST_F(CropFrame, TheLineSetsTheFrameFromItsVerticalExtent)
{
    DrawHeadLine({ 200, 100 }, { 204, 419 });
    // Face 319 of the cell's 496 rows: 496 high, 59 rows of it above the head top, centred on the line.
    EXPECT_EQ(Frame(), QRect(13, 41, 378, 496));
    EXPECT_EQ(form1->FrameRect, (Rect { 0, 0, 378, 496 }));
    // Any tilt with the chin to the right asks at least a whole degree; the answer here is No.
    ASSERT_EQ(dialogs.questions.size(), 1u);
    EXPECT_EQ(dialogs.questions[0].text, "角度が-1.000000度あります。回転させますか？");
    EXPECT_EQ(form1->RotationAngle, 0);
    EXPECT_FALSE(form1->SpeedButton1->isChecked());
    EXPECT_TRUE(form1->Image2->isVisible()) << "the empty overlay stays until the button is used again";
    EXPECT_TRUE(form1->BitBtn4->isEnabled());
}

TEST_F(CropFrame, AClickWithoutMoveGivesTheSmallestFrameAtTheClick)
{
    form1->SpeedButton1->click();
    form1->Image2MouseDown(At(150, 120));
    form1->Image2MouseUp(At(150, 120));
    const ViewFrameLimits limits = ViewLimits();
    const int h = limits.minHeight + 1;
    int w = 378 * h / 496;
    if (w < limits.minWidth + 1)
        w = limits.minWidth + 1;
    EXPECT_EQ(Frame(), QRect(150 - w / 2, 120, w, h));
    EXPECT_TRUE(dialogs.questions.empty());
}

TEST_F(CropFrame, AnUnchangedProposalIsAskedAgainForAnUprightLine)
{
    DrawHeadLine({ 200, 100 }, { 210, 200 });
    ASSERT_EQ(dialogs.questions.size(), 1u);
    DrawHeadLine({ 200, 100 }, { 200, 300 });
    EXPECT_EQ(form1->StatusBar1->Panel(2), "-90.000000");
    EXPECT_EQ(dialogs.questions.size(), 2u);
}

TEST_F(CropFrame, TheFirstClickMakesTheSmallestFrameOnePixelLargerInPlace)
{
    const QRect before = Frame();
    const ViewFrameLimits limits = ViewLimits();
    ASSERT_EQ(before.width(), limits.minWidth);
    Drag(form1->Image3, { 5, 5 }, { 5, 5 });
    EXPECT_EQ(Frame(), QRect(before.topLeft(), QSize(limits.minWidth + 1, limits.minHeight + 1)));
    EXPECT_FALSE(form1->MouseHeld);
    // The outline follows the frame's new size.
    EXPECT_EQ(form1->Image3->Picture().Width(), limits.minWidth + 1);
    EXPECT_EQ(form1->FrameRect.right, limits.minWidth + 1);
}

TEST_F(CropFrame, DraggingTheFrameMovesItWithinTheView)
{
    Drag(form1->Image3, { 5, 5 }, { 5, 5 });
    const QRect start = Frame();
    Drag(form1->Image3, { 10, 10 }, { 30, 25 });
    EXPECT_EQ(Frame(), start.translated(20, 15));
    EXPECT_TRUE(form1->ResizeFrame->Grip(4)->isVisible());

    Drag(form1->Image3, { 10, 10 }, { 5000, 5000 });
    EXPECT_EQ(Frame().right() + 1, form1->Image1->width());
    EXPECT_EQ(Frame().bottom() + 1, form1->Image1->height());
    Drag(form1->Image3, { 10, 10 }, { -5000, -5000 });
    EXPECT_EQ(Frame().topLeft(), QPoint(0, 0));
    EXPECT_EQ(Frame().size(), start.size());
}

TEST_F(CropFrame, TheCornerGripResizesKeepingTheAspectWithinTheLimits)
{
    const ViewFrameLimits limits = ViewLimits();
    const QRect start = Frame();
    TResizeGrip* bottomRight = form1->ResizeFrame->Grip(4);
    Drag(bottomRight, { 3, 3 }, { 3 + 40, 3 + 7 });
    const QRect grown = Frame();
    EXPECT_EQ(grown.topLeft(), start.topLeft());
    EXPECT_EQ(grown.width(), start.width() + 40);
    // The height follows the width in the proportions the frame had when it was attached.
    EXPECT_EQ(grown.height(), grown.width() * start.height() / start.width());
    EXPECT_EQ(form1->Image3->Picture().Width(), grown.width());
    // The grip went along with the corner.
    EXPECT_EQ(bottomRight->geometry().topLeft(), QPoint(grown.x() + grown.width() - 1, grown.y() + grown.height() - 1));

    // Far past the maximum and the view: held to the largest frame, placed from 0.
    Drag(bottomRight, { 3, 3 }, { 3 + 5000, 3 + 5000 });
    EXPECT_LE(Frame().width(), limits.maxWidth);
    EXPECT_LE(Frame().height(), limits.maxHeight);

    // The top-left grip dragged inwards past the minimum: the size stops just above the minimum.
    TResizeGrip* topLeft = form1->ResizeFrame->Grip(0);
    Drag(topLeft, { 3, 3 }, { 3 + 5000, 3 + 5000 });
    EXPECT_EQ(Frame().width(), limits.minWidth + 1);
    EXPECT_EQ(Frame().height(), limits.minHeight + 1);
}

TEST_F(CropFrame, AnEdgeGripMovesTheFrameWithoutResizingIt)
{
    Drag(form1->Image3, { 5, 5 }, { 5, 5 });
    const QRect start = Frame();
    Drag(form1->ResizeFrame->Grip(1), { 3, 3 }, { 13, 8 });
    EXPECT_EQ(Frame(), start.translated(10, 5));
}

TEST_F(CropFrame, OnlyTheLeftButtonStartsADragButAnyReleaseEndsIt)
{
    Drag(form1->Image3, { 5, 5 }, { 5, 5 });
    const QRect start = Frame();
    Send(form1->Image3, QEvent::MouseButtonPress, Qt::RightButton, Qt::RightButton, { 5, 5 });
    Send(form1->Image3, QEvent::MouseMove, Qt::NoButton, Qt::RightButton, { 25, 25 });
    EXPECT_EQ(Frame(), start);
    EXPECT_FALSE(form1->ResizeFrame->Dragging());

    Send(form1->Image3, QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, { 5, 5 });
    EXPECT_TRUE(form1->ResizeFrame->Dragging());
    EXPECT_FALSE(form1->ResizeFrame->Grip(0)->isVisible()) << "grips hide while the frame itself is dragged";
    Send(form1->Image3, QEvent::MouseButtonRelease, Qt::RightButton, Qt::LeftButton, { 5, 5 });
    EXPECT_FALSE(form1->ResizeFrame->Dragging());
    EXPECT_TRUE(form1->ResizeFrame->Grip(0)->isVisible());
}

TEST_F(CropFrame, TheFrameIsCutOutOfTheSquareAtItsScale)
{
    form1->Image3->setGeometry(-4, 10, 100, 130);
    CropRect crop;
    ASSERT_EQ(form1->CropRectangle(crop), kCropOk);
    const int s = form1->SquareBitmap.Width();
    const int v = form1->Image1->width();
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
