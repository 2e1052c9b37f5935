// Opening a photo into the view, zooming, "新規作成", the window's resize with a photo, and failed opens.
#include "window_fixture.h"

#include "sheet/sheet_compose.h"

#include <QScrollBar>
#include <QTimer>

namespace vellicam::test {
namespace {

using PhotoView = WindowTest;

// The frame a fresh photo starts with, worked out from the view's size: the smallest frame, centred. A side whose
// truncated view length would be cut out of the photo short of the 378 × 496 cell is one pixel longer.
QRect MinimumFrameOn(const MainWindow& form)
{
    const int viewSide = form.session().viewSide();
    const int imageSide = form.session().imageSide();
    const auto side = [&](int cell) {
        const int length = cell * viewSide / imageSide;
        CropRect back;
        EXPECT_EQ(CropRectFromFrame(0, 0, length, length, 0, 0, imageSide, viewSide, back), kCropOk);
        return back.width < cell ? length + 1 : length;
    };
    const int w = side(378), h = side(496);
    const ImageWidget* photo = ControlsOf(form).photoImage;
    return { (photo->width() - w) / 2, (photo->height() - h) / 2, w, h };
}

TEST_F(PhotoView, WarnsAboutLowResolutionUpTo640By480Only)
{
    // Recognition on load would add its own message about the faceless test photo.
    settingsUi().recogniseOnOpenBox->setChecked(false);
    Open(WritePhoto("small.jpg", 640, 480));
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].title, "Vellicam");
    EXPECT_EQ(dialogs.messages[0].icon, MessageIcon::Information);
    EXPECT_EQ(dialogs.messages[0].text,
        "画像解像度が低いので作成画像が荒れる可能性があります。\n\n横ピクセル数:640 縦ピクセル数: 480");
    EXPECT_EQ(window->session().photoWidth(), 640);

    Open(WritePhoto("larger.jpg", 641, 480));
    EXPECT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(window->session().photoWidth(), 641);
    EXPECT_EQ(dialogs.openTitles.back(), "写真画像の選択");
}

TEST_F(PhotoView, ShowsTheOpenedPhotoCentredInTheSquareWithTheSmallestFrameInTheMiddle)
{
    const QString path = WritePhoto("landscape.jpg", 900, 600, { 250, 250, 250 });
    Open(path);
    EXPECT_EQ(window->photoPath(), path);
    EXPECT_EQ(window->photoFolder(), QString::fromStdString(scratch.Path().string()) + '/');
    // The status bar names the photo; its folder, a path of this machine, is only in the panel's tip.
    EXPECT_EQ(ui().statusBar->panel(1), "landscape.jpg");
    EXPECT_EQ(ui().statusBar->panelTip(1), path);

    // The square: 900 × 900, black bands of 150 rows above and below the photo.
    ASSERT_EQ(window->session().square().Width(), 900);
    ASSERT_EQ(window->session().square().Height(), 900);
    EXPECT_EQ(window->session().square().Pixel(450, 149), kBlack);
    EXPECT_GT(window->session().square().Pixel(450, 150).r, 240);
    EXPECT_GT(window->session().square().Pixel(450, 749).r, 240);
    EXPECT_EQ(window->session().square().Pixel(450, 750), kBlack);

    // The view: the panel's smaller side, the photo fitted across it.
    const QSize area = ui().photoView->maximumViewportSize();
    const int side = std::min(area.width(), area.height());
    EXPECT_EQ(window->session().viewSide(), side);
    EXPECT_EQ(ui().photoImage->size(), QSize(side, side));
    EXPECT_EQ(window->session().imageSide(), 900);
    // The photo fitted across the view's width, black above and below it.
    const Bitmap& shown = ui().photoImage->picture();
    EXPECT_EQ(shown.Pixel(side / 2, 0), kBlack);
    EXPECT_NE(shown.Pixel(side / 2, side / 2), kBlack);
    EXPECT_EQ(shown.Pixel(side / 2, side - 1), kBlack);
    EXPECT_TRUE(ui().photoImage->isVisible());

    EXPECT_TRUE(ui().frameImage->isVisible());
    EXPECT_EQ(Frame(), MinimumFrameOn(*window));
    EXPECT_EQ(ui().frameGrips->control(), ui().frameImage);
    EXPECT_EQ(RedOutline(ui().frameImage->picture()), QRect(QPoint(0, 0), Frame().size()));
    // Red outline, see-through inside and at the bottom-left corner.
    const Bitmap& outline = ui().frameImage->picture();
    EXPECT_EQ(outline.Pixel(0, 0), kRed);
    EXPECT_EQ(outline.Pixel(outline.Width() - 1, outline.Height() - 1), kRed);
    EXPECT_EQ(outline.Pixel(0, outline.Height() - 1), kBlue);
    EXPECT_EQ(outline.Pixel(5, 5), kBlue);
    EXPECT_TRUE(ui().frameImage->isTransparent());

    for (QWidget* on : std::initializer_list<QWidget*> { ui().newButton, ui().choosePhotoButton, ui().makeSheetButton,
             ui().turnLeftButton, ui().resetTurnButton, ui().recogniseButton, ui().zoomBox, ui().headLineButton })
        EXPECT_TRUE(on->isEnabled());
    EXPECT_FALSE(ui().keepFrameBox->isVisible());
    EXPECT_FALSE(window->isBusy());
}

TEST_F(PhotoView, PlacesAPortraitPhotoAcrossTheSquare)
{
    Open(WritePhoto("portrait.jpg", 300, 400, { 250, 250, 250 }));
    ASSERT_EQ(window->session().square().Width(), 400);
    EXPECT_EQ(window->session().square().Pixel(49, 200), kBlack);
    EXPECT_GT(window->session().square().Pixel(50, 200).g, 240);
    EXPECT_GT(window->session().square().Pixel(349, 200).g, 240);
    EXPECT_EQ(window->session().square().Pixel(350, 200), kBlack);
}

TEST_F(PhotoView, ZoomDoublesTheViewAndKeepsTheFrameOverTheSamePartOfThePhoto)
{
    Open(WritePhoto("zoom.jpg", 1200, 900));
    const int side = window->session().viewSide();
    // Move the frame off the centre first, so the test sees where it goes.
    MoveFrame(40, 60);
    const QRect before = Frame();

    ui().zoomBox->setCurrentIndex(3);
    QApplication::processEvents();
    EXPECT_EQ(window->zoomPercent(), 200);
    EXPECT_EQ(window->session().viewSide(), 2 * side);
    EXPECT_EQ(ui().photoImage->size(), QSize(2 * side, 2 * side));
    // Kept in the square's pixels: within a view pixel of twice the place and size.
    const auto expectNear = [this](QRect expected) {
        EXPECT_NEAR(Frame().x(), expected.x(), 1);
        EXPECT_NEAR(Frame().y(), expected.y(), 1);
        EXPECT_NEAR(Frame().width(), expected.width(), 1);
        EXPECT_NEAR(Frame().height(), expected.height(), 1);
    };
    expectNear(QRect(80, 120, 2 * before.width(), 2 * before.height()));
    EXPECT_EQ(ui().frameGrips->control(), ui().frameImage);
    EXPECT_EQ(ui().photoView->horizontalScrollBar()->value(), 0);
    EXPECT_EQ(ui().photoView->verticalScrollBar()->value(), 0);
    EXPECT_FALSE(window->isBusy());
    // After a zoom the outline stops one row short of the frame's bottom.
    const Bitmap& outline = ui().frameImage->picture();
    EXPECT_EQ(outline.Pixel(10, outline.Height() - 2), kRed);
    EXPECT_EQ(outline.Pixel(10, outline.Height() - 1), kBlue);

    ui().zoomBox->setCurrentIndex(1);
    QApplication::processEvents();
    EXPECT_EQ(window->zoomPercent(), 120);
    expectNear(QRect(40 * 120 / 100, 60 * 120 / 100, before.width() * 120 / 100, before.height() * 120 / 100));

    // Typed text is no item: back to 100 %.
    TypeZoom("3");
    EXPECT_EQ(window->zoomPercent(), 100);
    EXPECT_EQ(window->session().viewSide(), side);
}

TEST_F(PhotoView, ZoomAndSelectionDoNothingWhileBusy)
{
    const QString first = WritePhoto("first.jpg", 700, 700);
    Open(first);
    window->setMode(WorkMode::Working);
    ui().zoomBox->setCurrentIndex(2);
    QApplication::processEvents();
    EXPECT_EQ(window->zoomPercent(), 100);

    ScratchDir other;
    const std::string second = other / "second.jpg";
    ASSERT_TRUE(SaveJpeg(second, SolidBitmap(700, 700, kWhite)).ok);
    // "写真選択" does not even open its dialog while an action runs.
    dialogs.openTitles.clear();
    Open(QString::fromStdString(second));
    EXPECT_TRUE(dialogs.openTitles.empty());
    EXPECT_EQ(window->photoPath(), first);
    EXPECT_TRUE(window->isBusy());
}

TEST_F(PhotoView, NewEmptiesTheViewAndAResizeAfterwardsBringsNoFrameBack)
{
    Open(WritePhoto("photo.jpg", 800, 700));
    ui().newButton->click();
    Settle();
    EXPECT_TRUE(window->photoPath().isEmpty());
    EXPECT_FALSE(ui().photoImage->isVisible());
    EXPECT_FALSE(ui().frameImage->isVisible());
    EXPECT_EQ(ui().frameGrips->control(), nullptr);
    EXPECT_TRUE(ui().newButton->isEnabled());
    EXPECT_TRUE(ui().choosePhotoButton->isEnabled());
    for (QWidget* off : std::initializer_list<QWidget*> {
             ui().makeSheetButton, ui().turnLeftButton, ui().recogniseButton, ui().zoomBox, ui().headLineButton })
        EXPECT_FALSE(off->isEnabled());
    EXPECT_FALSE(window->session().hasPhoto());
    EXPECT_EQ(ui().angleBox->text(), "0");

    window->resize(1100, 820);
    QApplication::processEvents();
    EXPECT_FALSE(ui().frameImage->isVisible());
    EXPECT_FALSE(ui().makeSheetButton->isEnabled());
    EXPECT_FALSE(window->session().hasPhoto());
}

TEST_F(PhotoView, AResizeKeepsTheUsersFrameOnItsPartOfThePhotoAndTheSheetCutsThatPart)
{
    Open(WritePhoto("photo.jpg", 3000, 2400));
    ui().turnRightTenthButton->click();
    Settle();
    const int side = window->session().viewSide();
    SetFrame(30, 40, Frame().width() + 20, Frame().height() + 26);
    CropRect before;
    ASSERT_EQ(window->session().frameInImage(before), kCropOk);
    // One view pixel in square pixels, on the smallest view of the test.
    const int viewPixel = window->session().square().Width() / side + 1;
    const auto expectSamePart = [&](const char* when) {
        CropRect now;
        ASSERT_EQ(window->session().frameInImage(now), kCropOk) << when;
        EXPECT_NEAR(now.source.left, before.source.left, viewPixel) << when;
        EXPECT_NEAR(now.source.top, before.source.top, viewPixel) << when;
        EXPECT_GE(now.width, before.width) << when;
        EXPECT_GE(now.height, before.height) << when;
        EXPECT_LE(now.width, before.width + 2 * viewPixel) << when;
        // What the user sees: the frame on the view is the session's, with its grips.
        const ControlBounds& f = window->session().frame();
        EXPECT_EQ(Frame(), QRect(f.left, f.top, f.width, f.height)) << when;
        EXPECT_EQ(ui().frameGrips->control(), ui().frameImage) << when;
    };

    window->resize(1200, 900);
    QApplication::processEvents();
    EXPECT_GT(window->session().viewSide(), side);
    EXPECT_EQ(window->session().angle(), 1);
    EXPECT_EQ(ui().photoImage->width(), window->session().viewSide());
    EXPECT_NE(Frame(), MinimumFrameOn(*window));
    expectSamePart("larger");
    EXPECT_TRUE(ui().makeSheetButton->isEnabled());

    // A zoom, then a resize back and forth: still the same part, and the sheet cuts exactly that part.
    ui().zoomBox->setCurrentIndex(2);
    QApplication::processEvents();
    expectSamePart("zoomed");
    window->resize(1400, 1000);
    QApplication::processEvents();
    window->resize(1030, 760);
    QApplication::processEvents();
    expectSamePart("zoomed and resized");
    CropRect cutFrom;
    ASSERT_EQ(window->session().frameInImage(cutFrom), kCropOk);
    ui().makeSheetButton->click();
    Settle();
    EXPECT_EQ(window->session().cutSize().width, cutFrom.width);
    EXPECT_EQ(window->session().cutSize().height, cutFrom.height);

    // Only a new photo puts the centred smallest frame back.
    Open(WritePhoto("next.jpg", 3000, 2400));
    EXPECT_EQ(Frame(), MinimumFrameOn(*window));
}

TEST_F(PhotoView, TypedZoomTextAppliesItsPercentageAndTheSettingsOpenOverTheWindow)
{
    Open(WritePhoto("zoom.jpg", 1200, 900));
    const int side = window->session().viewSide();
    struct Case {
        const char* text;
        int percent;
    };
    for (const Case& c : { Case { "150%", 150 }, Case { "150", 150 }, Case { " 120 % ", 120 }, Case { "25%", 25 },
             Case { "400", 400 }, Case { "300％", 300 }, Case { "401%", 100 }, Case { "24", 100 }, Case { "abc", 100 },
             Case { "1.5", 100 }, Case { "%", 100 }, Case { "", 100 }, Case { "200%", 200 } }) {
        TypeZoom(QString::fromUtf8(c.text));
        EXPECT_EQ(window->zoomPercent(), c.percent) << c.text;
        EXPECT_EQ(window->session().viewSide(), side * c.percent / 100) << c.text;
        EXPECT_EQ(ui().photoImage->width(), side * c.percent / 100) << c.text;
    }
    // Nothing applies while the user types ("400" passes through 4 and 40); Enter or leaving the box applies it.
    QLineEdit* edit = ui().zoomBox->lineEdit();
    edit->clear();
    QTest::keyClicks(edit, "400");
    QApplication::processEvents();
    EXPECT_EQ(window->zoomPercent(), 200);
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(window->zoomPercent(), 400);
    EXPECT_EQ(window->session().viewSide(), side * 400 / 100);
    edit->clear();
    QTest::keyClicks(edit, "120");
    ui().outputFolderEdit->setFocus();
    edit->setFocus();
    emit edit->editingFinished(); // what losing the focus does, without an active window to move it
    EXPECT_EQ(window->zoomPercent(), 120);

    // The settings dialog opens centred over the main window, wherever that is.
    window->move(40, 30);
    QApplication::processEvents();
    QPoint dialogCentre;
    QTimer::singleShot(0, window.get(), [&] {
        dialogCentre = window->settingsDialog().frameGeometry().center();
        window->settingsDialog().reject();
    });
    ui().settingsButton->click();
    const QPoint windowCentre = window->frameGeometry().center();
    EXPECT_NEAR(dialogCentre.x(), windowCentre.x(), 2);
    EXPECT_NEAR(dialogCentre.y(), windowCentre.y(), 2);
}

TEST_F(PhotoView, AFailedOpenSaysWhyAndLeavesThePhotoButtonUsable)
{
    WriteFile(scratch.Path() / "broken.jpg", "this is no JPEG at all");
    Open(QString::fromStdString(scratch / "broken.jpg"));
    EXPECT_TRUE(window->photoPath().isEmpty());
    EXPECT_FALSE(ui().statusBar->panel(0).isEmpty());
    EXPECT_TRUE(ui().choosePhotoButton->isEnabled());
    EXPECT_FALSE(ui().frameImage->isVisible());
    EXPECT_FALSE(ui().turnLeftButton->isEnabled());
    EXPECT_FALSE(window->isBusy());
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_TRUE(dialogs.messages[0].text.contains("broken.jpg"));

    const QString missing = QString::fromStdString(scratch / "gone.jpg");
    Open(missing);
    EXPECT_TRUE(ui().statusBar->panelTip(0).contains("gone.jpg"));

    // A good photo after the failures opens normally.
    Open(WritePhoto("good.jpg", 700, 500));
    EXPECT_FALSE(window->photoPath().isEmpty());
    EXPECT_TRUE(ui().statusBar->panel(0).isEmpty());
}

TEST_F(PhotoView, ACancelledDialogChangesNothing)
{
    ui().choosePhotoButton->click();
    Settle();
    EXPECT_EQ(dialogs.openTitles.size(), 1u);
    EXPECT_EQ(dialogs.openFolders.back(), window->photoFolder());
    EXPECT_TRUE(window->photoPath().isEmpty());
    EXPECT_TRUE(ui().choosePhotoButton->isEnabled());
}

} // namespace
} // namespace vellicam::test
