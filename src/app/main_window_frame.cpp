// The main window's crop frame: its outline, its grips, its placement after a photo is shown, and the head line
// that draws a frame anew and may propose a turn.
#include "main_window.h"

#include "geometry/head_line.h"
#include "image_widget.h"
#include "main_window_texts.h"
#include "photo_view.h"
#include "resample/rotate.h"
#include "resize_control.h"
#include "sheet/sheet_compose.h"
#include "status_panels.h"

#include <QSignalBlocker>

#include <memory>

namespace vellicam {

namespace texts = main_window_texts;

void MainWindow::drawFrameOutline(int shortenBottom)
{
    switch (ui_.photoView->drawFrameOutline(shortenBottom)) {
    case PhotoView::Outline::Drawn:
        work_.lastOutline = { 0, 0, ui_.frameImage->width(), ui_.frameImage->height() };
        break;
    case PhotoView::Outline::OutOfMemory:
        showOutOfMemory();
        break;
    case PhotoView::Outline::Empty:
        break;
    }
}

void MainWindow::setFrame(const ControlBounds& frame)
{
    session_.setFrame(frame);
    ui_.photoView->setFrameBounds(frame);
}

void MainWindow::attachFrame()
{
    ui_.photoView->attachGrips(session_.viewLimits());
}

ViewMapping MainWindow::pictureMapping() const
{
    // Image pixels on the view's own picture: the widgets lie at content places, so no scroll position enters.
    return { session_.viewSide(), session_.imageSide(), 0, 0, ui_.photoImage->width(), ui_.photoImage->height() };
}

void MainWindow::placeFrame(bool recentre)
{
    ui_.photoImage->show();
    ui_.photoView->detachGrips();
    ui_.frameImage->show();
    ui_.makeSheetButton->setEnabled(true);

    if (recentre || !session_.hasFrame())
        session_.centreMinimumFrame();
    // The session's frame on the view as it is now: a kept frame shows over the same part of the new photo.
    const ControlBounds& frame = session_.frame();
    ui_.photoView->setFrameBounds(frame);
    if (!ui_.frameImage->picture().Resize(std::max(frame.width, 1), std::max(frame.height, 1))) {
        showOutOfMemory();
        return;
    }
    drawFrameOutline();
    ui_.frameImage->show();
    attachFrame();
    ui_.frameGrips->setShowHint(false);
    setToolsEnabled(true);
}

void MainWindow::showFrameChecks()
{
    // The face stays where it was found: its printed height follows the frame's size and place on the view.
    if (session_.knowsFace() || session_.proposedOutside())
        ui_.statusBar->setPanel(kAnglePanel, QString::fromStdString(session_.framePanelText()));
    refreshChecks();
}

void MainWindow::showSessionFrame()
{
    if (!session_.hasPhoto())
        return;
    placeFrame(false);
    showFrameChecks();
}

void MainWindow::updateUndoActions()
{
    if (!undoAction_)
        return;
    undoAction_->setEnabled(session_.hasPhoto() && session_.canUndo());
    redoAction_->setEnabled(session_.hasPhoto() && session_.canRedo());
}

void MainWindow::showFrameAgain()
{
    if (!session_.hasPhoto())
        return;
    if (!session_.hasFrame())
        session_.centreMinimumFrame();
    setFrame(session_.frame());
    drawFrameOutline();
    ui_.frameImage->show();
    attachFrame();
    setToolsEnabled(true);
}

void MainWindow::headLineToggled()
{
    if (!mayStart(UserAction::HeadLine)) {
        // The button keeps showing what the view does.
        const QSignalBlocker block(ui_.headLineButton);
        ui_.headLineButton->setChecked(!ui_.headLineButton->isChecked());
        return;
    }
    if (ui_.headLineButton->isChecked()) {
        ui_.photoView->detachGrips();
        ui_.headLineOverlay->setToolTip(texts::kHeadLineGuide);
        ui_.photoView->showHeadLineOverlay();
        ui_.frameImage->hide();
        ui_.photoImage->setToolTip(QString());
        setToolsEnabled(false);
        ui_.headLineButton->setEnabled(true);
        ui_.statusBar->setPanel(kGuidancePanel, texts::kHeadLineGuide);
    } else {
        setToolsEnabled(true);
        ui_.photoView->hideHeadLineOverlay();
        ui_.frameImage->show();
        ui_.makeSheetButton->setEnabled(true);
        ui_.frameGrips->setControl(ui_.frameImage);
    }
}

void MainWindow::headLinePressed(const MouseArgs& args)
{
    if (!mayStart(UserAction::HeadLine))
        return;
    work_.mouseHeld = true;
    if (ui_.headLineButton->isChecked()) {
        session_.rememberEdit();
        lineCursor_.emplace(Qt::SizeAllCursor);
        work_.headTop = QPoint(args.x, args.y);
    }
}

void MainWindow::headLineMoved(const MouseArgs& args)
{
    if (!ui_.headLineButton->isChecked() || !mayStart(UserAction::HeadLine))
        return;
    if (!work_.mouseHeld) {
        ui_.statusBar->setPanel(kPathPanel, QString::asprintf("(%d,%d)", args.x, args.y));
        return;
    }
    const QPoint top = work_.headTop;
    work_.lastOutline = { top.x(), top.y(), args.x, args.y };
    ui_.photoView->drawHeadLine(top, QPoint(args.x, args.y));

    const HeadLineOutcome line = session_.followHeadLine(top.x(), top.y(), args.x, args.y);
    ui_.statusBar->setPanel(kAnglePanel, QString::fromStdString(line.angleStatus));
    ui_.statusBar->setPanel(kPathPanel, QString::fromStdString(line.pointsStatus));
}

void MainWindow::headLineReleased(const MouseArgs& args)
{
    if (!mayStart(UserAction::HeadLine))
        return;
    work_.mouseHeld = false;
    lineCursor_.reset();
    if (ui_.headLineButton->isChecked())
        frameFromLine(args.x, args.y);
    ui_.makeSheetButton->setEnabled(true);
}

void MainWindow::frameFromLine(int ex, int ey)
{
    work_.mouseHeld = false;
    lineCursor_.reset();
    ui_.photoView->clearHeadLine();
    ui_.headLineOverlay->pictureChanged();

    // The line as released proposes the turn, whatever the drag passed through.
    const QPoint top = work_.headTop;
    (void)session_.releaseHeadLine(top.x(), top.y(), ex, ey);
    if (session_.headLineProposal() == 0
        || !dialogs_.Ask(work_.appTitle, QString::fromStdString(RotationQuestionText(session_.headLineProposal())))
        || refuseLargeRotation()) {
        frameAfterLine(top, QPoint(ex, ey));
        return;
    }
    const auto turning = begin(UserAction::Rotate);
    if (!turning)
        return;
    prepareRotation();
    const bool sharpen = ui_.sharpenBox->isChecked();
    const int side = viewSquareSide();
    auto fitted = std::make_shared<Fitted>();
    runJob<RotateOutcome>(
        turning,
        [this, sharpen, side, fitted] {
            RotateOutcome turned = session_.acceptHeadLineProposal(sharpen);
            if (turned.turned)
                *fitted = fitForView(side);
            return turned;
        },
        [this, top, end = QPoint(ex, ey), fitted](RotateOutcome turned) {
            showRotation(turned, std::move(*fitted));
            reportMemory();
            frameAfterLine(top, end);
        });
}

void MainWindow::frameAfterLine(QPoint top, QPoint end)
{
    if (!session_.frameFromHeadLine(top.x(), top.y(), end.x(), end.y())) {
        setToolsEnabled(true);
        return;
    }
    // The released line's angle stays first in the angle panel, with how high the face will print beside it.
    if (const std::string checks = session_.framePanelText(); !checks.empty()) {
        const bool dragged = top != end;
        const std::string angle
            = dragged ? HeadLineStatusText(EvaluateHeadLine(top.x(), top.y(), end.x(), end.y())) : "";
        ui_.statusBar->setPanel(kAnglePanel, QString::fromStdString(PanelText({ angle, checks })));
    }
    refreshChecks();
    const ControlBounds& frame = session_.frame();
    ui_.photoView->setFrameBounds(frame);
    if (!ui_.frameImage->picture().Resize(frame.width, frame.height)) {
        showOutOfMemory();
        setToolsEnabled(true);
        return;
    }
    drawFrameOutline();
    ui_.frameImage->setTransparent(true);
    ui_.frameImage->show();
    attachFrame();
    setToolsEnabled(true);
    // Leaves head marking without running the button's own handler; the empty overlay stays until the button is
    // pressed and released again.
    ui_.headLineButton->setChecked(false);
}

void MainWindow::refreshChecks()
{
    if (!ui_.checkList)
        return;
    const std::vector<PhotoCheck> checks
        = session_.hasPhoto() ? session_.photoChecks(nullptr, settings().plainBackground) : std::vector<PhotoCheck> {};
    // Beside the view where the window leaves room, else over the view's right edge.
    const QRect view = ui_.photoView->geometry();
    const int room = width() - view.right() - 16;
    const int listWidth = room >= 160 ? room : 260;
    const int left = room >= 160 ? view.right() + 8 : view.right() - listWidth;
    ui_.checkList->setGeometry(left, view.top(), listWidth, std::min(view.height(), 9 * 20));
    ui_.checkList->setChecks(checks);

    // The short form closes the angle panel ("規格 ✓", "規格 ✗ 傾き・背景") after whatever the panel says, and heads
    // the list's tip.
    const QString summary = QString::fromStdString(ChecksSummaryText(checks));
    ui_.checkList->setToolTip(summary);
    QString panel = ui_.statusBar->panel(kAnglePanel);
    const qsizetype earlier = panel.indexOf(QStringLiteral("規格 "));
    if (earlier >= 0)
        panel = panel.left(earlier).trimmed();
    const std::string joined = PanelText({ panel.toStdString(), summary.toStdString() });
    ui_.statusBar->setPanel(kAnglePanel, QString::fromStdString(joined));
    updateUndoActions();
    previewPlainBackground();
}

void MainWindow::previewPlainBackground()
{
    // The view under the last plain preview shows the photo again until the new one comes.
    ++plainPreviewGeneration_;
    Bitmap& view = ui_.photoImage->picture();
    if (!plainPreviewShown_.isEmpty()) {
        const QPoint fittedAt((view.Width() - work_.fitted.Width()) / 2, (view.Height() - work_.fitted.Height()) / 2);
        const QRect shown = plainPreviewShown_ & QRect(fittedAt, QSize(work_.fitted.Width(), work_.fitted.Height()));
        if (!shown.isEmpty() && !work_.fitted.Empty())
            CopyRect(work_.fitted,
                { shown.left() - fittedAt.x(), shown.top() - fittedAt.y(), shown.right() + 1 - fittedAt.x(),
                    shown.bottom() + 1 - fittedAt.y() },
                view, shown.left(), shown.top());
        plainPreviewShown_ = QRect();
        ui_.photoImage->pictureChanged();
    }
    const Settings settings = this->settings();
    if (!settings.plainBackground || !session_.hasPhoto() || !ui_.frameImage->isVisible())
        return;
    const ControlBounds frame = ui_.photoView->frameBounds();
    const QRect area = QRect(frame.left - ui_.photoImage->x(), frame.top - ui_.photoImage->y(), frame.width,
                           frame.height)
        & QRect(0, 0, view.Width(), view.Height());
    if (area.width() < 8 || area.height() < 8)
        return;
    PlainBackgroundPreview::Request request;
    request.generation = plainPreviewGeneration_;
    if (!request.picture.Resize(area.width(), area.height()))
        return;
    CopyRect(view, { area.left(), area.top(), area.right() + 1, area.bottom() + 1 }, request.picture, 0, 0);
    request.programFolder = work_.programFolder.toStdString();
    request.colour = settings.plainBackgroundPicked ? settings.pickedColour : settings.backgroundColour;
    plainPreviewArea_ = area;
    plainPreview_->request(std::move(request));
}

void MainWindow::showPlainBackground(int generation, const Bitmap& picture, bool made)
{
    // A frame moved, a photo turned or closed since the request: its picture belongs to no view.
    if (generation != plainPreviewGeneration_ || !made || !session_.hasPhoto())
        return;
    Bitmap& view = ui_.photoImage->picture();
    if (plainPreviewArea_.right() >= view.Width() || plainPreviewArea_.bottom() >= view.Height())
        return;
    Draw(picture, view, plainPreviewArea_.left(), plainPreviewArea_.top());
    plainPreviewShown_ = plainPreviewArea_;
    ui_.photoImage->pictureChanged();
}

} // namespace vellicam
