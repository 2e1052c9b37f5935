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
        Settle();
        EXPECT_EQ(window->session().angle(), step.angle);
        EXPECT_EQ(ui().angleBox->text(), step.box);
        EXPECT_EQ(AnglePanel(), step.status);
        EXPECT_FALSE(window->isBusy());
    }
    ui().turnRightButton->click();
    Settle();
    EXPECT_EQ(ui().angleBox->text(), "90");
    ui().turnLeftTenthButton->click();
    Settle();
    EXPECT_EQ(ui().angleBox->text(), "89.9");
    ui().resetTurnButton->click();
    Settle();
    EXPECT_EQ(window->session().angle(), 0);
    EXPECT_EQ(ui().angleBox->text(), "0");
}

TEST_F(Rotation, RightStepsWrapAfterAFullTurn)
{
    // The wrap itself is the engine's (RotationAngle tests); here the window's box and status follow it.
    Open(WritePhoto("small.jpg", 160, 120));
    ui().turnRightTenthButton->click();
    Settle();
    EXPECT_EQ(ui().angleBox->text(), "0.1");
    window->session().setAngle(3598);
    ui().turnRightTenthButton->click();
    Settle();
    EXPECT_EQ(window->session().angle(), 3599);
    EXPECT_EQ(ui().angleBox->text(), "359.9");
    EXPECT_EQ(AnglePanel(), "回転角 359.900000");
    ui().turnRightTenthButton->click();
    Settle();
    EXPECT_EQ(window->session().angle(), 0);
    EXPECT_EQ(ui().angleBox->text(), "0");
    EXPECT_EQ(AnglePanel(), "回転角 0.000000");
}

TEST_F(Rotation, TurnsTheWorkingSquareAndKeepsTheFrameWhereItWas)
{
    // Upright photo, its top half white and its bottom half black.
    Bitmap photo = SolidBitmap(30, 40, kBlack);
    FillRect(photo, { 0, 0, 30, 20 }, kWhite);
    const std::string path = scratch / "upright.jpg";
    ASSERT_TRUE(SaveJpeg(path, photo, { 100, 0 }).ok);
    Open(QString::fromStdString(path));
    MoveFrame(11, 12);

    ui().turnRightButton->click();

    Settle();
    ASSERT_EQ(window->session().square().Width(), 40);
    ASSERT_EQ(window->session().shownImage().Width(), 40);
    // After a right quarter turn the former top lies on the right, bands of 5 rows above and below.
    EXPECT_GT(window->session().square().Pixel(35, 20).r, 200);
    EXPECT_LT(window->session().square().Pixel(4, 20).r, 50);
    EXPECT_EQ(window->session().square().Pixel(20, 1), kBlack);
    EXPECT_EQ(window->session().imageSide(), 40);
    EXPECT_EQ(Frame().topLeft(), QPoint(11, 12));
    EXPECT_EQ(ui().frameGrips->control(), ui().frameImage);
    EXPECT_TRUE(ui().frameImage->isVisible());
}

TEST_F(Rotation, DoesNothingWhileBusy)
{
    Open(WritePhoto("small.jpg", 160, 120));
    window->setMode(WorkMode::Working);
    ui().turnRightButton->click();
    Settle();
    ui().resetTurnButton->click();
    Settle();
    EXPECT_EQ(window->session().angle(), 0);
    EXPECT_EQ(ui().angleBox->text(), "0");
    EXPECT_TRUE(window->isBusy());
}

// The refusal of a photo too large to turn is the session's (TurningStepsTheAngleAndRefusesAPhotoTooLargeToTurn);
// the window shows its message with the program's title and keeps the angle box.
TEST_F(Rotation, RefusesAPhotoLongerThan9600PixelsAndLeavesEverythingAsItWas)
{
    const std::string wide = scratch / "wide.jpg";
    std::filesystem::copy_file(DataDir() / "bad" / "wide-9601x20.jpg", wide);
    settingsUi().recogniseOnOpenBox->setChecked(false);
    Open(QString::fromStdString(wide));
    ASSERT_EQ(window->session().photoWidth(), 9601);
    dialogs.messages.clear();

    ui().turnRightTenthButton->click();

    Settle();
    EXPECT_EQ(window->session().angle(), 0);
    EXPECT_EQ(ui().angleBox->text(), "0");
    EXPECT_FALSE(window->isBusy());
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, "回転できる画像の最大サイズは9600ピクセルです。");
    EXPECT_EQ(dialogs.messages[0].title, "Vellicam");
}

} // namespace
} // namespace vellicam::test
