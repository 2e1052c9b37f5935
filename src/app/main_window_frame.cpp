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

void MainWindow::attachFrame()
{
    ui_.photoView->attachGrips(FrameLimitsInView(work_.frameLimits, work_.viewSide, work_.imageSide));
}

ViewMapping MainWindow::pictureMapping() const
{
    // Image pixels on the view's own picture: the widgets lie at content places, so no scroll position enters.
    return { work_.viewSide, work_.imageSide, 0, 0, ui_.photoImage->width(), ui_.photoImage->height() };
}

void MainWindow::placeFrame(bool recentre)
{
    ui_.photoImage->show();
    ui_.photoView->detachGrips();
    ui_.frameImage->show();
    ui_.makeSheetButton->setEnabled(true);

    int w = ui_.frameImage->width();
    int h = ui_.frameImage->height();
    if (recentre) {
        const ControlBounds frame = CentredMinimumFrame(work_.frameLimits, work_.viewSide, work_.imageSide,
            ui_.photoImage->width(), ui_.photoImage->height());
        ui_.photoView->setFrameBounds(frame);
        w = frame.width;
        h = frame.height;
    } else if (work_.previousZoomPercent > 0) {
        w = w * work_.zoomPercent / work_.previousZoomPercent;
        h = h * work_.zoomPercent / work_.previousZoomPercent;
    }
    if (!ui_.frameImage->picture().Resize(std::max(w, 1), std::max(h, 1))) {
        showOutOfMemory();
        return;
    }
    ui_.frameImage->repaint();
    PumpEvents();
    drawFrameOutline();
    ui_.frameImage->show();
    attachFrame();
    ui_.frameGrips->setShowHint(false);
    setToolsEnabled(true);
}

int MainWindow::cropRectangle(CropRect& crop) const
{
    // The widgets' places are content positions already: no scroll position to add.
    const ControlBounds frame = ui_.photoView->frameBounds();
    return CropRectFromFrame(frame.left, frame.top, frame.width, frame.height, 0, 0, work_.square.Width(),
        ui_.photoImage->width(), crop);
}

void MainWindow::headLineToggled()
{
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
    work_.mouseHeld = true;
    if (ui_.headLineButton->isChecked()) {
        lineCursor_.emplace(Qt::SizeAllCursor);
        work_.headTop = QPoint(args.x, args.y);
    }
}

void MainWindow::headLineMoved(const MouseArgs& args)
{
    if (!ui_.headLineButton->isChecked())
        return;
    if (!work_.mouseHeld) {
        ui_.statusBar->setPanel(kPathPanel, QString::asprintf("(%d,%d)", args.x, args.y));
        return;
    }
    const QPoint top = work_.headTop;
    work_.lastOutline = { top.x(), top.y(), args.x, args.y };
    ui_.photoView->drawHeadLine(top, QPoint(args.x, args.y));

    const HeadLineAngle line = EvaluateHeadLine(top.x(), top.y(), args.x, args.y);
    if (!line.vertical)
        work_.rotationProposal = line.rotationProposal;
    ui_.statusBar->setPanel(kAnglePanel, QString::fromStdString(HeadLineStatusText(line)));
    ui_.statusBar->setPanel(kPathPanel, QString::fromStdString(LinePointsText(top.x(), top.y(), args.x, args.y)));
}

void MainWindow::headLineReleased(const MouseArgs& args)
{
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

    if (work_.rotationProposal != 0
        && dialogs_.Ask(work_.appTitle, QString::fromStdString(RotationQuestionText(work_.rotationProposal)))) {
        if (work_.busy)
            return;
        setBusy(true);
        ScopeExit done([this] { setBusy(false); });
        if (!refuseLargeRotation()) {
            work_.rotationAngle = AngleAfterProposal(work_.rotationAngle, work_.rotationProposal);
            ui_.angleBox->setText(QString::fromStdString(RotationAngleText(work_.rotationAngle)));
            applyRotation(work_.rotationAngle);
            reportMemory();
        }
    }

    const ViewFrameLimits view = FrameLimitsInView(work_.frameLimits, work_.viewSide, work_.imageSide);
    const SheetCell& cell = work_.sheetLayout.Cells[0];
    HeadLineFrameInput in;
    in.sx = work_.headTop.x();
    in.sy = work_.headTop.y();
    in.ex = ex;
    in.ey = ey;
    in.cellImageHeight = cell.ImageHeight;
    in.headTopMargin = cell.HeadTopMargin;
    in.chinMargin = cell.ChinMargin;
    in.minWidth = view.minWidth;
    in.minHeight = view.minHeight;
    in.aspectWidth = work_.frameLimits.FrameAspectWidth;
    in.aspectHeight = work_.frameLimits.FrameAspectHeight;
    ControlBounds frame;
    if (FrameFromLine(in, frame) != kHeadLineFramePlaced) {
        setToolsEnabled(true);
        return;
    }
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

} // namespace vellicam
