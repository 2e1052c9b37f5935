// The rotation buttons of the main window and the rebuild of the turned working square.
#include "tform1.h"

#include "resample/reduce.h"
#include "resample/rotate.h"
#include "resample/sharpen.h"

#include <new>

namespace vellicam {

namespace {

const QString kTooLargeToTurn = QStringLiteral("回転できる画像の最大サイズは9600ピクセルです。");

} // namespace

bool TForm1::RefuseLargeRotation()
{
    if (std::max(OriginalBitmap.Width(), OriginalBitmap.Height()) <= kMaxPlaneSide)
        return false;
    // The turn would leave a white square in place of the photo: keep the photo as it is instead.
    Dialogs.Message(AppTitle, kTooLargeToTurn, MessageIcon::None);
    return true;
}

void TForm1::RotateBy(int step, bool reset)
{
    if (Busy)
        return;
    SetBusy(true);
    ScopeExit done([this] { SetBusy(false); });
    if (RefuseLargeRotation())
        return;
    RotationAngle = reset ? 0 : StepRotationAngle(RotationAngle, step);
    ApplyRotation(RotationAngle);
    Edit4->setText(QString::fromStdString(RotationAngleText(RotationAngle)));
    ReportMemory();
}

void TForm1::BitBtn4Click()
{
    RotateBy(-900, false);
}

void TForm1::BitBtn5Click()
{
    RotateBy(900, false);
}

void TForm1::BitBtn6Click()
{
    RotateBy(-1, false);
}

void TForm1::BitBtn7Click()
{
    RotateBy(1, false);
}

void TForm1::BitBtn8Click()
{
    RotateBy(0, true);
}

void TForm1::ApplyRotation(int angle)
{
    if (RefuseLargeRotation())
        return;
    ResizeFrame->SetControl(nullptr);
    Image3->hide();
    PumpEvents();
    {
        OverrideCursor hourglass(Qt::WaitCursor);
        {
            WorkScope work(*this);
            EventPump pump;
            if (BuildRotatedSquare(OriginalBitmap, angle, RotatedBitmap, pump.AsProgress()) == -2) {
                ShowOutOfMemory();
                return;
            }
        }
        try {
            SquareBitmap = RotatedBitmap;
        } catch (const std::bad_alloc&) {
            ShowOutOfMemory();
            return;
        }
        Fill(Image1->Picture(), Rgb { 128, 128, 128 });
        Image1->PictureChanged();
        if (CheckBox1->isChecked()) {
            // Only the view is sharpened; the square keeps the plain turn for the crop and recognition.
            WorkScope work(*this);
            EventPump pump;
            SharpenBitmap(RotatedBitmap, pump.AsProgress());
        }
        (void)ShowFitted(RotatedBitmap);
    }
    StatusBar1->SetPanel(2, QString::fromStdString(RotationStatusText(angle)));
    Image3->show();
    PumpEvents();
    AttachFrame();
}

} // namespace vellicam
