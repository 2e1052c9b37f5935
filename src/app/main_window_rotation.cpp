// The main window's rotation buttons and the rebuild of the turned working square.
#include "main_window.h"

#include "image_widget.h"
#include "main_window_texts.h"
#include "photo_view.h"
#include "resample/rotate.h"
#include "status_panels.h"

#include <new>

namespace vellicam {

namespace texts = main_window_texts;

bool MainWindow::refuseLargeRotation()
{
    if (!session_.tooLargeToTurn())
        return false;
    // The turn would leave a white square in place of the photo: keep the photo as it is instead.
    dialogs_.Message(work_.appTitle, texts::kTooLargeToTurn, MessageIcon::None);
    return true;
}

void MainWindow::rotateBy(int step, bool reset)
{
    const auto turning = begin(UserAction::Rotate);
    if (!turning)
        return;
    if (refuseLargeRotation())
        return;
    prepareRotation();
    RotateOutcome turned;
    {
        OverrideCursor hourglass(Qt::WaitCursor);
        WorkScope work(*this);
        EventPump pump;
        turned = session_.rotateBy(step, reset, ui_.sharpenBox->isChecked(), pump.AsProgress());
    }
    showRotation(turned);
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

void MainWindow::prepareRotation()
{
    ui_.photoView->detachGrips();
    ui_.frameImage->hide();
    PumpEvents();
}

void MainWindow::showRotation(const RotateOutcome& turned)
{
    if (!turned.turned) {
        say(turned.refusal);
    } else {
        Fill(ui_.photoImage->picture(), Rgb { 128, 128, 128 });
        ui_.photoImage->pictureChanged();
        (void)showFitted();
        ui_.statusBar->setPanel(kAnglePanel, QString::fromStdString(turned.status));
        refreshChecks();
    }
    ui_.angleBox->setText(QString::fromStdString(RotationAngleText(session_.angle())));
    ui_.frameImage->show();
    PumpEvents();
    attachFrame();
}

} // namespace vellicam
