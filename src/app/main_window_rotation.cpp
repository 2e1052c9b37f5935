// The main window's rotation buttons and the rebuild of the turned working square.
#include "main_window.h"

#include "image_widget.h"
#include "main_window_texts.h"
#include "photo_view.h"
#include "resample/rotate.h"
#include "status_panels.h"

#include <functional>
#include <memory>
#include <optional>
#include <utility>

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
    if (turn_.running) {
        // A click while a turn is being made adds to it; the angle it comes to is turned when the work catches up.
        if (reset) {
            turn_.pendingReset = true;
            turn_.pendingStep = 0;
        } else {
            turn_.pendingStep += step;
        }
        return;
    }
    const auto turning = begin(UserAction::Rotate);
    if (!turning || !session_.hasPhoto())
        return;
    session_.rememberEdit();
    turnOnWorker(turning, step, reset);
}

void MainWindow::turnOnWorker(const Busy& busy, int step, bool reset)
{
    if (refuseLargeRotation()) {
        turn_ = {};
        return;
    }
    turn_.running = true;
    runTurn(
        busy,
        [step, reset](PhotoSession& session, bool sharpen) { return session.rotateBy(step, reset, sharpen); },
        [this, busy](const RotateOutcome& turned) {
            const TurnClicks pending = std::exchange(turn_, {});
            if (turned.turned && (pending.pendingStep != 0 || pending.pendingReset)) {
                turnOnWorker(busy, pending.pendingStep, pending.pendingReset);
                return;
            }
            reportMemory();
        });
}

void MainWindow::runTurn(const Busy& busy, std::function<RotateOutcome(PhotoSession&, bool)> turn,
    std::function<void(const RotateOutcome&)> then)
{
    prepareRotation();
    const bool sharpen = ui_.sharpenBox->isChecked();
    const int side = viewSquareSide();
    auto fitted = std::make_shared<Fitted>();
    auto cursor = std::make_shared<OverrideCursor>(Qt::WaitCursor);
    runJob<RotateOutcome>(
        busy,
        [this, turn = std::move(turn), sharpen, side, fitted] {
            RotateOutcome turned = turn(session_, sharpen);
            if (turned.turned)
                *fitted = fitForView(side);
            return turned;
        },
        [this, fitted, cursor, then = std::move(then)](RotateOutcome turned) {
            showRotation(turned, std::move(*fitted));
            then(turned);
        });
}

void MainWindow::undoEdit()
{
    stepHistory(true);
}

void MainWindow::redoEdit()
{
    stepHistory(false);
}

void MainWindow::stepHistory(bool back)
{
    if (turn_.running || (back ? !session_.canUndo() : !session_.canRedo()))
        return;
    const auto stepping = begin(UserAction::Rotate);
    if (!stepping || !session_.hasPhoto())
        return;
    const std::optional<FrameAndTurn> state = back ? session_.takeUndo() : session_.takeRedo();
    if (!state)
        return;
    if (state->angle == session_.angle()) {
        session_.restoreFrame(*state);
        showSessionFrame();
        return;
    }
    runTurn(
        stepping,
        [angle = state->angle](PhotoSession& session, bool sharpen) { return session.rotateTo(angle, sharpen); },
        [this, state = *state](const RotateOutcome& turned) {
            if (turned.turned)
                session_.restoreFrame(state);
            showSessionFrame();
        });
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
}

void MainWindow::showRotation(const RotateOutcome& turned, Fitted fitted)
{
    if (!turned.turned) {
        say(turned.refusal);
    } else {
        Fill(ui_.photoImage->picture(), Rgb { 128, 128, 128 });
        (void)showFittedImage(std::move(fitted));
        ui_.statusBar->setPanel(kAnglePanel, QString::fromStdString(turned.status));
        refreshChecks();
    }
    ui_.angleBox->setText(QString::fromStdString(RotationAngleText(session_.angle())));
    ui_.frameImage->show();
    attachFrame();
}

} // namespace vellicam
