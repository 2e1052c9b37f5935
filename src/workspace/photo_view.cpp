// The photo view of the main window: loading a photo into the working bitmaps, showing it fitted and zoomed,
// "新規作成", "写真選択" and the workspace reset.
#include "tform1.h"

#include "image/photo.h"
#include "resample/reduce.h"
#include "tform2.h"
#include "tform3.h"
#include "geometry/view_geometry.h"

#include <QFileInfo>
#include <QScrollBar>

#include <new>

namespace vellicam {

int TForm1::ScrollX() const
{
    return ScrollBox1->horizontalScrollBar()->value();
}

int TForm1::ScrollY() const
{
    return ScrollBox1->verticalScrollBar()->value();
}

void TForm1::ScrollToOrigin()
{
    ScrollBox1->horizontalScrollBar()->setValue(0);
    ScrollBox1->verticalScrollBar()->setValue(0);
}

void TForm1::FitScrollContent()
{
    // The panel scrolls over whatever is shown on it, from its origin on.
    QRect shown(0, 0, 1, 1);
    for (const QWidget* w : std::initializer_list<const QWidget*> { Image1, Image2, Image3, ResizeFrame }) {
        if (w->isVisibleTo(ScrollContent))
            shown |= w->geometry();
    }
    ScrollContent->resize(std::max(1, shown.right() + 1), std::max(1, shown.bottom() + 1));
}

int TForm1::ZoomItemIndex() const
{
    return ComboBox1->findText(ComboBox1->currentText(), Qt::MatchExactly);
}

int TForm1::LoadPhoto(const QString& path)
{
    LastLoadFailure.clear();
    if (path.isEmpty())
        return 1;
    // The photo as loaded lives in OriginalBitmap alone: every display reads it from there, and PhotoBitmap only
    // receives the sheet's cut. A large photo is therefore held once, not twice, and opening it copies nothing.
    if (path == CurrentPhotoPath)
        return 0; // the same photo again (zoom, resize): from memory, without reading the file
    if (!QFileInfo(path).isFile()) {
        LastLoadFailure = QStringLiteral("ファイルが見つかりません: ") + path;
        return -1;
    }
    (void)PhotoBitmap.Resize(1, 1);
    CurrentPhotoPath.clear();

    std::string reason;
    int loaded = 0;
    Bitmap decoded;
    {
        WorkScope work(*this);
        EventPump pump;
        loaded = LoadPhotoFile(path.toStdString(), decoded, &reason, pump.AsProgress());
    }
    if (loaded != 0) {
        LastLoadFailure = QString::fromStdString(reason);
        return loaded < 0 ? loaded : -2;
    }
    CurrentPhotoPath = path;
    PumpEvents();

    if (IsLowResolution(decoded.Width(), decoded.Height()))
        Dialogs.Message(AppTitle, QString::fromStdString(LowResolutionMessage(decoded.Width(), decoded.Height())),
            MessageIcon::Information);

    if (SquareTooLarge(decoded.Width(), decoded.Height())) {
        LastLoadFailure = QStringLiteral("写真が大きすぎて扱えません（%1 × %2 ピクセル）")
                              .arg(decoded.Width())
                              .arg(decoded.Height());
        CurrentPhotoPath.clear();
        return -2;
    }
    OriginalBitmap = std::move(decoded);
    if (!BuildSquareBitmap(OriginalBitmap, SquareBitmap)) {
        ShowOutOfMemory();
        LastLoadFailure = kOutOfMemoryText;
        CurrentPhotoPath.clear();
        return -2;
    }
    return 0;
}

int TForm1::ShowFitted(const Bitmap& image)
{
    // The panel's area without scroll bars, so the square does not depend on whether the last zoom needed them.
    const QSize area = ScrollBox1->maximumViewportSize();
    int side = std::min(area.width(), area.height());
    if (ZoomItemIndex() > 0)
        side = side * ZoomPercent / 100;
    Image1->resize(side, side);
    ViewSide = side;

    Bitmap& view = Image1->Picture();
    if (!view.Resize(side, side)) {
        ShowOutOfMemory();
        return -1;
    }
    Image2->Picture() = view;
    Image2->PictureChanged();

    const int w = image.Width();
    const int h = image.Height();
    const Size fitted = FittedSize(w, h, side, side);
    ImageSide = std::max(w, h);

    int reduced = kReductionSizeBelowOne;
    {
        WorkScope work(*this);
        EventPump pump;
        if (fitted.width == w && fitted.height == h) {
            FittedBitmap = image;
            reduced = kReduced;
        } else {
            std::string message;
            reduced = ReduceHighQuality(image, fitted.height, fitted.width, FittedBitmap, &message, pump.AsProgress());
            ReductionMessage = QString::fromStdString(message);
        }
    }
    if (reduced != kReduced) {
        // The reduction declines an enlargement (and a few odd sizes): a plain stretch shows those.
        if (FittedBitmap.Resize(fitted.width, fitted.height))
            StretchDraw(image, FittedBitmap);
    }
    Draw(FittedBitmap, view, (side - FittedBitmap.Width()) / 2, (side - FittedBitmap.Height()) / 2);
    Image1->PictureChanged();
    Image2->setGeometry(Image1->geometry());
    FitScrollContent();
    ReportMemory();
    return 0;
}

int TForm1::OpenPhoto(const QString& path, bool resetFrame)
{
    if (LoadPhoto(path) != 0)
        return -1;
    ScrollToOrigin();
    ScrollBox1->repaint();
    PumpEvents();
    (void)ShowFitted(OriginalBitmap);
    if (RotationAngle != 0)
        ApplyRotation(RotationAngle);
    StatusBar1->SetPanel(1, path);
    PlaceFrame(resetFrame);
    return 0;
}

void TForm1::ResetWorkspace()
{
    ScrollToOrigin();
    ScrollBox1->repaint();
    PumpEvents();
    Image1->move(0, 0);
    Image2->move(0, 0);

    Bitmap& view = Image1->Picture();
    if (view.Width() != Image1->width() || view.Height() != Image1->height())
        (void)view.Resize(Image1->width(), Image1->height());
    Fill(view, kBlack);
    Image1->PictureChanged();
    Fill(Image4->Picture(), kWhite);
    Image4->PictureChanged();

    {
        const QSignalBlocker block(ComboBox1);
        ComboBox1->setCurrentIndex(0);
        ComboBox1->setEditText(ComboBox1->itemText(0));
    }
    ZoomPercent = 100;
    PreviousZoomPercent = 100;
    if (Form3)
        Form3->ClearPreview();

    for (Bitmap* b :
        { &PhotoBitmap, &SheetBitmap, &CellBitmap, &RotatedBitmap, &SquareBitmap, &OriginalBitmap, &FittedBitmap })
        (void)b->Resize(10, 10);

    ResizeFrame->SetControl(nullptr);
    Image1->hide();
    Image3->hide();
    RotationAngle = 0;
    Edit4->setText(QStringLiteral("0"));
    RotationProposal = 0;
    SetToolsEnabled(false);
    BitBtn3->setEnabled(false);
    BitBtn3->setText(QStringLiteral("シート作成"));
    ReportMemory();

    BatchMode = false;
    BatchIndex = 0;
    BitBtn10->hide();
    CheckBox3->hide();
    CheckBox3->setChecked(false);
    CheckBox4->hide();
    CheckBox4->setChecked(false);
    CheckBox5->setEnabled(false);
    AbortRequested = false;
    PickingBackground = false;
    SetBusy(false);
    FitScrollContent();
}

void TForm1::BitBtn1Click()
{
    ResizeFrame->SetControl(nullptr);
    CurrentPhotoPath.clear();
    ResetWorkspace();
    BitBtn1->setEnabled(true);
    BitBtn2->setEnabled(true);
    StatusBar1->SetPanel(1, QString());
    SetBusy(false);
}

void TForm1::BitBtn2Click()
{
    const QString path = Dialogs.OpenPicture(QStringLiteral("写真画像の選択"), PhotoFolder);
    if (path.isEmpty()) {
        // A cancelled dialog leaves any running action's guard alone.
        ReportMemory();
        return;
    }
    SelectPhoto(path);
}

void TForm1::SelectPhoto(const QString& path)
{
    const QFileInfo info(path);
    PhotoFolder = info.absolutePath();
    if (!PhotoFolder.endsWith('/'))
        PhotoFolder += '/';
    if (Busy)
        return;

    SetBusy(true);
    ScopeExit done([this] { SetBusy(false); });
    CurrentPhotoPath.clear();
    ResetWorkspace();
    CheckBox4->hide();
    const QString full = info.absoluteFilePath();
    if (OpenPhoto(full, !CheckBox4->isChecked()) == 0) {
        StatusBar1->SetPanel(0, QString());
        if (Form2 && Form2->CheckBox4->isChecked())
            BitBtn9Click();
    } else {
        // Say why, and let the user choose another photo straight away.
        StatusBar1->SetPanel(0, LastLoadFailure);
        BitBtn2->setEnabled(true);
    }
    ReportMemory();
}

void TForm1::ComboBox1Change()
{
    if (Busy)
        return;
    SetBusy(true);
    ScopeExit done([this] { SetBusy(false); });

    static constexpr int kZoomOfItem[] = { 100, 120, 150, 200 };
    const int item = ZoomItemIndex();
    PreviousZoomPercent = ZoomPercent;
    ZoomPercent = item >= 0 && item < 4 ? kZoomOfItem[item] : 100;

    const ControlBounds before { Image3->x(), Image3->y(), Image3->width(), Image3->height() };
    ResizeFrame->SetControl(nullptr);
    Image3->hide();
    Image1->setToolTip(QString());
    PumpEvents();

    (void)OpenPhoto(CurrentPhotoPath, false);
    ScrollBox1->repaint();
    PumpEvents();

    // The view's controls sit at content positions already, so the scroll positions do not enter.
    ControlBounds after = before;
    (void)RescaleFrameForZoom(before, 0, 0, 0, 0, PreviousZoomPercent, ZoomPercent, after);
    Image3->setGeometry(after.left, after.top, after.width, after.height);
    Image3->show();
    Image3->repaint();
    PumpEvents();

    if (!Image3->Picture().Resize(std::max(after.width, 1), std::max(after.height, 1))) {
        ShowOutOfMemory();
        SetToolsEnabled(true);
        return;
    }
    // The outline after a zoom stops one row short of the frame's bottom.
    DrawFrameOutline(1);
    AttachFrame();
    Image3->show();
}

} // namespace vellicam
