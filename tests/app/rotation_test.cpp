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
        ui().turnLeftButton->click();
        EXPECT_EQ(work().rotationAngle, step.angle);
        EXPECT_EQ(ui().angleBox->text(), step.box);
        EXPECT_EQ(ui().statusBar->panel(2), step.status);
        EXPECT_FALSE(work().busy);
    }
    ui().turnRightButton->click();
    EXPECT_EQ(ui().angleBox->text(), "90");
    ui().turnLeftTenthButton->click();
    EXPECT_EQ(ui().angleBox->text(), "89.9");
    ui().resetTurnButton->click();
    EXPECT_EQ(work().rotationAngle, 0);
    EXPECT_EQ(ui().angleBox->text(), "0");
}

TEST_F(Rotation, RightStepsWrapAfterAFullTurn)
{
    // The wrap itself is the engine's (RotationAngle tests); here the window's box and status follow it.
    Open(WritePhoto("small.jpg", 160, 120));
    ui().turnRightTenthButton->click();
    EXPECT_EQ(ui().angleBox->text(), "0.1");
    work().rotationAngle = 3598;
    ui().turnRightTenthButton->click();
    EXPECT_EQ(work().rotationAngle, 3599);
    EXPECT_EQ(ui().angleBox->text(), "359.9");
    EXPECT_EQ(ui().statusBar->panel(2), "回転角 359.900000");
    ui().turnRightTenthButton->click();
    EXPECT_EQ(work().rotationAngle, 0);
    EXPECT_EQ(ui().angleBox->text(), "0");
    EXPECT_EQ(ui().statusBar->panel(2), "回転角 0.000000");
}

TEST_F(Rotation, TurnsTheWorkingSquareAndKeepsTheFrameWhereItWas)
{
    // Upright photo, its top half white and its bottom half black.
    Bitmap photo = SolidBitmap(30, 40, kBlack);
    FillRect(photo, { 0, 0, 30, 20 }, kWhite);
    const std::string path = scratch / "upright.jpg";
    ASSERT_TRUE(SaveJpeg(path, photo, { 100, 0 }).ok);
    Open(QString::fromStdString(path));
    ui().frameImage->move(11, 12);

    ui().turnRightButton->click();
    ASSERT_EQ(work().square.Width(), 40);
    ASSERT_EQ(work().rotated.Width(), 40);
    // After a right quarter turn the former top lies on the right, bands of 5 rows above and below.
    EXPECT_GT(work().square.Pixel(35, 20).r, 200);
    EXPECT_LT(work().square.Pixel(4, 20).r, 50);
    EXPECT_EQ(work().square.Pixel(20, 1), kBlack);
    EXPECT_EQ(work().imageSide, 40);
    EXPECT_EQ(Frame().topLeft(), QPoint(11, 12));
    EXPECT_EQ(ui().frameGrips->control(), ui().frameImage);
    EXPECT_TRUE(ui().frameImage->isVisible());
}

TEST_F(Rotation, DoesNothingWhileBusy)
{
    Open(WritePhoto("small.jpg", 160, 120));
    work().busy = true;
    ui().turnRightButton->click();
    ui().resetTurnButton->click();
    EXPECT_EQ(work().rotationAngle, 0);
    EXPECT_EQ(ui().angleBox->text(), "0");
    EXPECT_TRUE(work().busy);
}

TEST_F(Rotation, RefusesAPhotoLongerThan9600PixelsAndLeavesEverythingAsItWas)
{
    Open(WritePhoto("small.jpg", 160, 120));
    ui().turnRightTenthButton->click();
    dialogs.messages.clear();
    // A photo this long only needs its original for the test: the square and the view stay small.
    ASSERT_TRUE(work().original.Resize(9601, 2));
    const Bitmap square = work().square;

    for (QPushButton* button : { ui().turnLeftButton, ui().turnRightButton, ui().turnLeftTenthButton, ui().turnRightTenthButton, ui().resetTurnButton }) {
        button->click();
        EXPECT_EQ(work().rotationAngle, 1);
        EXPECT_EQ(ui().angleBox->text(), "0.1");
        EXPECT_TRUE(work().square.SameAs(square));
        EXPECT_FALSE(work().busy);
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
    MainWindow window(dialogs);
    window.show();
    ASSERT_TRUE(window.workState().original.Resize(9601, 1));
    EXPECT_THROW(window.turnRight(), std::runtime_error);
    EXPECT_FALSE(window.workState().busy);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(window.workState().rotationAngle, 0);
}

} // namespace
} // namespace vellicam::test
