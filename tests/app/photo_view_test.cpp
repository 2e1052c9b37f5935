// Opening a photo into the view, zooming, "新規作成", the window's resize with a photo, and failed opens.
#include "window_fixture.h"

#include "sheet/sheet_compose.h"

#include <QScrollBar>

namespace vellicam::test {
namespace {

using PhotoView = WindowTest;

// The frame a fresh photo starts with, worked out from the view's size: the smallest frame, centred. A side whose
// truncated view length would be cut out of the photo short of the 378 × 496 cell is one pixel longer.
QRect MinimumFrameOn(const TForm1& form)
{
    const auto side = [&form](int cell) {
        const int length = cell * form.ViewSide / form.ImageSide;
        CropRect back;
        EXPECT_EQ(CropRectFromFrame(0, 0, length, length, 0, 0, form.ImageSide, form.ViewSide, back), kCropOk);
        return back.width < cell ? length + 1 : length;
    };
    const int w = side(378), h = side(496);
    return { (form.Image1->width() - w) / 2, (form.Image1->height() - h) / 2, w, h };
}

TEST_F(PhotoView, WarnsAboutLowResolutionUpTo640By480Only)
{
    // Recognition on load would add its own message about the faceless test photo.
    form1->Form2->CheckBox4->setChecked(false);
    Open(WritePhoto("small.jpg", 640, 480));
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].title, "Vellicam");
    EXPECT_EQ(dialogs.messages[0].icon, MessageIcon::Information);
    EXPECT_EQ(dialogs.messages[0].text,
        "画像解像度が低いので作成画像が荒れる可能性があります。\n\n横ピクセル数:640 縦ピクセル数: 480");
    EXPECT_EQ(form1->OriginalBitmap.Width(), 640);

    Open(WritePhoto("larger.jpg", 641, 480));
    EXPECT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(form1->OriginalBitmap.Width(), 641);
    EXPECT_EQ(dialogs.openTitles.back(), "写真画像の選択");
}

TEST_F(PhotoView, ShowsTheOpenedPhotoCentredInTheSquareWithTheSmallestFrameInTheMiddle)
{
    const QString path = WritePhoto("landscape.jpg", 900, 600, { 250, 250, 250 });
    Open(path);
    EXPECT_EQ(form1->CurrentPhotoPath, path);
    EXPECT_EQ(form1->PhotoFolder, QString::fromStdString(scratch.Path().string()) + '/');
    EXPECT_EQ(form1->StatusBar1->Panel(1), path);

    // The square: 900 × 900, black bands of 150 rows above and below the photo.
    ASSERT_EQ(form1->SquareBitmap.Width(), 900);
    ASSERT_EQ(form1->SquareBitmap.Height(), 900);
    EXPECT_EQ(form1->SquareBitmap.Pixel(450, 149), kBlack);
    EXPECT_GT(form1->SquareBitmap.Pixel(450, 150).r, 240);
    EXPECT_GT(form1->SquareBitmap.Pixel(450, 749).r, 240);
    EXPECT_EQ(form1->SquareBitmap.Pixel(450, 750), kBlack);

    // The view: the panel's smaller side, the photo fitted across it.
    const QSize area = form1->ScrollBox1->maximumViewportSize();
    const int side = std::min(area.width(), area.height());
    EXPECT_EQ(form1->ViewSide, side);
    EXPECT_EQ(form1->Image1->size(), QSize(side, side));
    EXPECT_EQ(form1->ImageSide, 900);
    EXPECT_EQ(form1->FittedBitmap.Width(), side);
    EXPECT_EQ(form1->FittedBitmap.Height(), 600 * side / 900);
    EXPECT_TRUE(form1->Image1->isVisible());

    EXPECT_TRUE(form1->Image3->isVisible());
    EXPECT_EQ(Frame(), MinimumFrameOn(*form1));
    EXPECT_EQ(form1->ResizeFrame->Control(), form1->Image3);
    EXPECT_EQ(form1->FrameRect, (Rect { 0, 0, Frame().width(), Frame().height() }));
    // Red outline, see-through inside and at the bottom-left corner.
    const Bitmap& outline = form1->Image3->Picture();
    EXPECT_EQ(outline.Pixel(0, 0), kRed);
    EXPECT_EQ(outline.Pixel(outline.Width() - 1, outline.Height() - 1), kRed);
    EXPECT_EQ(outline.Pixel(0, outline.Height() - 1), kBlue);
    EXPECT_EQ(outline.Pixel(5, 5), kBlue);
    EXPECT_TRUE(form1->Image3->Transparent());

    for (QWidget* on : std::initializer_list<QWidget*> { form1->BitBtn1, form1->BitBtn2, form1->BitBtn3, form1->BitBtn4,
             form1->BitBtn8, form1->BitBtn9, form1->ComboBox1, form1->SpeedButton1 })
        EXPECT_TRUE(on->isEnabled());
    EXPECT_FALSE(form1->CheckBox4->isVisible());
    EXPECT_FALSE(form1->Busy);
}

TEST_F(PhotoView, PlacesAPortraitPhotoAcrossTheSquare)
{
    Open(WritePhoto("portrait.jpg", 300, 400, { 250, 250, 250 }));
    ASSERT_EQ(form1->SquareBitmap.Width(), 400);
    EXPECT_EQ(form1->SquareBitmap.Pixel(49, 200), kBlack);
    EXPECT_GT(form1->SquareBitmap.Pixel(50, 200).g, 240);
    EXPECT_GT(form1->SquareBitmap.Pixel(349, 200).g, 240);
    EXPECT_EQ(form1->SquareBitmap.Pixel(350, 200), kBlack);
}

TEST_F(PhotoView, ZoomDoublesTheViewAndKeepsTheFrameOverTheSamePartOfThePhoto)
{
    Open(WritePhoto("zoom.jpg", 1200, 900));
    const int side = form1->ViewSide;
    // Move the frame off the centre first, so the test sees where it goes.
    form1->Image3->move(40, 60);
    const QRect before = Frame();

    form1->ComboBox1->setCurrentIndex(3);
    QApplication::processEvents();
    EXPECT_EQ(form1->ZoomPercent, 200);
    EXPECT_EQ(form1->PreviousZoomPercent, 100);
    EXPECT_EQ(form1->ViewSide, 2 * side);
    EXPECT_EQ(form1->Image1->size(), QSize(2 * side, 2 * side));
    EXPECT_EQ(Frame(), QRect(80, 120, 2 * before.width(), 2 * before.height()));
    EXPECT_EQ(form1->ResizeFrame->Control(), form1->Image3);
    EXPECT_EQ(form1->ScrollBox1->horizontalScrollBar()->value(), 0);
    EXPECT_EQ(form1->ScrollBox1->verticalScrollBar()->value(), 0);
    EXPECT_FALSE(form1->Busy);
    // After a zoom the outline stops one row short of the frame's bottom.
    const Bitmap& outline = form1->Image3->Picture();
    EXPECT_EQ(outline.Pixel(10, outline.Height() - 2), kRed);
    EXPECT_EQ(outline.Pixel(10, outline.Height() - 1), kBlue);

    form1->ComboBox1->setCurrentIndex(1);
    QApplication::processEvents();
    EXPECT_EQ(form1->ZoomPercent, 120);
    EXPECT_EQ(Frame(),
        QRect(80 * 120 / 200, 120 * 120 / 200, 2 * before.width() * 120 / 200, 2 * before.height() * 120 / 200));

    // Typed text is no item: back to 100 %.
    form1->ComboBox1->setEditText("3");
    QApplication::processEvents();
    EXPECT_EQ(form1->ZoomPercent, 100);
    EXPECT_EQ(form1->ViewSide, side);
}

TEST_F(PhotoView, ZoomAndSelectionDoNothingWhileBusyButTheFolderIsRemembered)
{
    const QString first = WritePhoto("first.jpg", 700, 700);
    Open(first);
    form1->Busy = true;
    form1->ComboBox1->setCurrentIndex(2);
    QApplication::processEvents();
    EXPECT_EQ(form1->ZoomPercent, 100);

    ScratchDir other;
    const std::string second = other / "second.jpg";
    ASSERT_TRUE(SaveJpeg(second, SolidBitmap(700, 700, kWhite)).ok);
    Open(QString::fromStdString(second));
    EXPECT_EQ(form1->CurrentPhotoPath, first);
    EXPECT_EQ(form1->PhotoFolder, QString::fromStdString(other.Path().string()) + '/');
    EXPECT_TRUE(form1->Busy);
}

TEST_F(PhotoView, NewEmptiesTheViewAndAResizeAfterwardsBringsNoFrameBack)
{
    Open(WritePhoto("photo.jpg", 800, 700));
    form1->BitBtn1->click();
    EXPECT_TRUE(form1->CurrentPhotoPath.isEmpty());
    EXPECT_FALSE(form1->Image1->isVisible());
    EXPECT_FALSE(form1->Image3->isVisible());
    EXPECT_EQ(form1->ResizeFrame->Control(), nullptr);
    EXPECT_TRUE(form1->BitBtn1->isEnabled());
    EXPECT_TRUE(form1->BitBtn2->isEnabled());
    for (QWidget* off : std::initializer_list<QWidget*> {
             form1->BitBtn3, form1->BitBtn4, form1->BitBtn9, form1->ComboBox1, form1->SpeedButton1 })
        EXPECT_FALSE(off->isEnabled());
    EXPECT_EQ(form1->OriginalBitmap.Width(), 10);
    EXPECT_EQ(form1->Edit4->text(), "0");

    form1->resize(1100, 820);
    QApplication::processEvents();
    EXPECT_FALSE(form1->Image3->isVisible());
    EXPECT_FALSE(form1->BitBtn3->isEnabled());
    EXPECT_EQ(form1->OriginalBitmap.Width(), 10);
}

TEST_F(PhotoView, AResizeReshowsThePhotoTurnedAndRecentresTheSmallestFrame)
{
    Open(WritePhoto("photo.jpg", 1000, 800));
    form1->BitBtn7->click();
    form1->Image3->move(3, 4);
    const int side = form1->ViewSide;

    form1->resize(1200, 900);
    QApplication::processEvents();
    EXPECT_GT(form1->ViewSide, side);
    EXPECT_EQ(form1->RotationAngle, 1);
    EXPECT_EQ(form1->Image1->width(), form1->ViewSide);
    EXPECT_EQ(Frame(), MinimumFrameOn(*form1));
    EXPECT_EQ(form1->ResizeFrame->Control(), form1->Image3);
    EXPECT_TRUE(form1->BitBtn3->isEnabled());
}

TEST_F(PhotoView, AFailedOpenSaysWhyAndLeavesThePhotoButtonUsable)
{
    WriteFile(scratch.Path() / "broken.jpg", "this is no JPEG at all");
    Open(QString::fromStdString(scratch / "broken.jpg"));
    EXPECT_TRUE(form1->CurrentPhotoPath.isEmpty());
    EXPECT_FALSE(form1->StatusBar1->Panel(0).isEmpty());
    EXPECT_TRUE(form1->BitBtn2->isEnabled());
    EXPECT_FALSE(form1->Image3->isVisible());
    EXPECT_FALSE(form1->BitBtn4->isEnabled());
    EXPECT_FALSE(form1->Busy);
    EXPECT_TRUE(dialogs.messages.empty());

    const QString missing = QString::fromStdString(scratch / "gone.jpg");
    Open(missing);
    EXPECT_TRUE(form1->StatusBar1->Panel(0).contains("gone.jpg"));

    // A good photo after the failures opens normally.
    Open(WritePhoto("good.jpg", 700, 500));
    EXPECT_FALSE(form1->CurrentPhotoPath.isEmpty());
    EXPECT_TRUE(form1->StatusBar1->Panel(0).isEmpty());
}

TEST_F(PhotoView, ACancelledDialogChangesNothing)
{
    form1->BitBtn2->click();
    EXPECT_EQ(dialogs.openTitles.size(), 1u);
    EXPECT_EQ(dialogs.openFolders.back(), form1->PhotoFolder);
    EXPECT_TRUE(form1->CurrentPhotoPath.isEmpty());
    EXPECT_TRUE(form1->BitBtn2->isEnabled());
}

} // namespace
} // namespace vellicam::test
