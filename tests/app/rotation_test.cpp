// The five rotation buttons: the stored angle, the angle box and the status text, the working square, and the
// refusal of a photo too large to turn.
#include "window_fixture.h"

namespace vellicam::test {
namespace {

using Rotation = WindowTest;

TEST_F(Rotation, FourLeftQuarterTurnsComeBackToZero)
{
    Open(WritePhoto("small.jpg", 160, 120));
    const struct {
        int angle;
        const char* box;
        const char* status;
    } expected[] = {
        { -900, "-90", "回転角 270.000000" },
        { -1800, "-180", "回転角 180.000000" },
        { -2700, "-270", "回転角 90.000000" },
        { 0, "0", "回転角 0.000000" },
    };
    for (const auto& step : expected) {
        form1->BitBtn4->click();
        EXPECT_EQ(form1->RotationAngle, step.angle);
        EXPECT_EQ(form1->Edit4->text(), step.box);
        EXPECT_EQ(form1->StatusBar1->Panel(2), step.status);
        EXPECT_FALSE(form1->Busy);
    }
    form1->BitBtn5->click();
    EXPECT_EQ(form1->Edit4->text(), "90");
    form1->BitBtn6->click();
    EXPECT_EQ(form1->Edit4->text(), "89.9");
    form1->BitBtn8->click();
    EXPECT_EQ(form1->RotationAngle, 0);
    EXPECT_EQ(form1->Edit4->text(), "0");
}

TEST_F(Rotation, RightStepsWrapAfterAFullTurn)
{
    Open(WritePhoto("small.jpg", 160, 120));
    form1->BitBtn7->click();
    EXPECT_EQ(form1->Edit4->text(), "0.1");
    // Hidden, the window skips its repaints between the steps.
    form1->hide();
    for (int i = 1; i < 3599; ++i)
        form1->BitBtn7Click();
    EXPECT_EQ(form1->RotationAngle, 3599);
    EXPECT_EQ(form1->Edit4->text(), "359.9");
    form1->BitBtn7Click();
    EXPECT_EQ(form1->RotationAngle, 0);
    EXPECT_EQ(form1->Edit4->text(), "0");
}

TEST_F(Rotation, TurnsTheWorkingSquareAndKeepsTheFrameWhereItWas)
{
    // Upright photo, its top half white and its bottom half black.
    Bitmap photo = SolidBitmap(30, 40, kBlack);
    FillRect(photo, { 0, 0, 30, 20 }, kWhite);
    const std::string path = scratch / "upright.jpg";
    ASSERT_TRUE(SaveJpeg(path, photo, { 100, 0 }).ok);
    Open(QString::fromStdString(path));
    form1->Image3->move(11, 12);

    form1->BitBtn5->click();
    ASSERT_EQ(form1->SquareBitmap.Width(), 40);
    ASSERT_EQ(form1->RotatedBitmap.Width(), 40);
    // After a right quarter turn the former top lies on the right, bands of 5 rows above and below.
    EXPECT_GT(form1->SquareBitmap.Pixel(35, 20).r, 200);
    EXPECT_LT(form1->SquareBitmap.Pixel(4, 20).r, 50);
    EXPECT_EQ(form1->SquareBitmap.Pixel(20, 1), kBlack);
    EXPECT_EQ(form1->ImageSide, 40);
    EXPECT_EQ(Frame().topLeft(), QPoint(11, 12));
    EXPECT_EQ(form1->ResizeFrame->Control(), form1->Image3);
    EXPECT_TRUE(form1->Image3->isVisible());
}

TEST_F(Rotation, DoesNothingWhileBusy)
{
    Open(WritePhoto("small.jpg", 160, 120));
    form1->Busy = true;
    form1->BitBtn5->click();
    form1->BitBtn8->click();
    EXPECT_EQ(form1->RotationAngle, 0);
    EXPECT_EQ(form1->Edit4->text(), "0");
    EXPECT_TRUE(form1->Busy);
}

TEST_F(Rotation, RefusesAPhotoLongerThan9600PixelsAndLeavesEverythingAsItWas)
{
    Open(WritePhoto("small.jpg", 160, 120));
    form1->BitBtn7->click();
    dialogs.messages.clear();
    // A photo this long only needs its original for the test: the square and the view stay small.
    ASSERT_TRUE(form1->OriginalBitmap.Resize(9601, 2));
    const Bitmap square = form1->SquareBitmap;

    for (QPushButton* button : { form1->BitBtn4, form1->BitBtn5, form1->BitBtn6, form1->BitBtn7, form1->BitBtn8 }) {
        button->click();
        EXPECT_EQ(form1->RotationAngle, 1);
        EXPECT_EQ(form1->Edit4->text(), "0.1");
        EXPECT_TRUE(form1->SquareBitmap.SameAs(square));
        EXPECT_FALSE(form1->Busy);
    }
    ASSERT_EQ(dialogs.messages.size(), 5u);
    EXPECT_EQ(dialogs.messages[0].text, "回転できる画像の最大サイズは9600ピクセルです。");
    EXPECT_EQ(dialogs.messages[0].title, "Vellicam");
}

// Stands for any failure inside a turn: the box that refuses it throws.
class ThrowingDialogs : public RecordingDialogs {
public:
    void Message(const QString&, const QString&, MessageIcon) override { throw std::runtime_error("box failed"); }
};

TEST(RotationFailure, ClearsBusyAndTheCursorWhenATurnEndsByAnException)
{
    ThrowingDialogs dialogs;
    TForm1 form1(dialogs);
    form1.show();
    ASSERT_TRUE(form1.OriginalBitmap.Resize(9601, 1));
    EXPECT_THROW(form1.BitBtn5Click(), std::runtime_error);
    EXPECT_FALSE(form1.Busy);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(form1.RotationAngle, 0);
}

} // namespace
} // namespace vellicam::test
