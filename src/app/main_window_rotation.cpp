// The main window's rotation buttons and the rebuild of the turned working square.
#include "main_window.h"

#include "image_widget.h"
#include "main_window_texts.h"
#include "photo_view.h"
#include "resample/reduce.h"
#include "resample/rotate.h"
#include "resample/sharpen.h"
#include "status_panels.h"

#include <new>

namespace vellicam {

namespace texts = main_window_texts;

bool MainWindow::refuseLargeRotation()
{
    if (std::max(work_.original.Width(), work_.original.Height()) <= kMaxPlaneSide)
        return false;
    // The turn would leave a white square in place of the photo: keep the photo as it is instead.
    dialogs_.Message(work_.appTitle, texts::kTooLargeToTurn, MessageIcon::None);
    return true;
}

void MainWindow::rotateBy(int step, bool reset)
{
    if (work_.busy)
        return;
    setBusy(true);
    ScopeExit done([this] { setBusy(false); });
    if (refuseLargeRotation())
        return;
    work_.rotationAngle = reset ? 0 : StepRotationAngle(work_.rotationAngle, step);
    applyRotation(work_.rotationAngle);
    ui_.angleBox->setText(QString::fromStdString(RotationAngleText(work_.rotationAngle)));
    reportMemory();
}

void MainWindow::turnLeft()
{
    rotateBy(-900, false);
}

void MainWindow::turnRight()
{
    rotateBy(900, false);
}

void MainWindow::turnLeftTenth()
{
    rotateBy(-1, false);
}

void MainWindow::turnRightTenth()
{
    rotateBy(1, false);
}

void MainWindow::resetTurn()
{
    rotateBy(0, true);
}

void MainWindow::applyRotation(int angle)
{
    if (refuseLargeRotation())
        return;
    ui_.photoView->detachGrips();
    ui_.frameImage->hide();
    PumpEvents();
    {
        OverrideCursor hourglass(Qt::WaitCursor);
        {
            WorkScope work(*this);
            EventPump pump;
            if (BuildRotatedSquare(work_.original, angle, work_.rotated, pump.AsProgress()) == -2) {
                showOutOfMemory();
                return;
            }
        }
        try {
            work_.square = work_.rotated;
        } catch (const std::bad_alloc&) {
            showOutOfMemory();
            return;
        }
        Fill(ui_.photoImage->picture(), Rgb { 128, 128, 128 });
        ui_.photoImage->pictureChanged();
        if (ui_.sharpenBox->isChecked()) {
            // Only the view is sharpened; the square keeps the plain turn for the crop and recognition.
            WorkScope work(*this);
            EventPump pump;
            SharpenBitmap(work_.rotated, pump.AsProgress());
        }
        (void)showFitted(work_.rotated);
    }
    ui_.statusBar->setPanel(kAnglePanel, QString::fromStdString(RotationStatusText(angle)));
    ui_.frameImage->show();
    PumpEvents();
    attachFrame();
}

} // namespace vellicam
