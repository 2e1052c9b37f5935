// The main window's photo: loading it into the working bitmaps, showing it fitted and zoomed, "新規作成",
// "写真選択" and the workspace reset.
#include "main_window.h"

#include "batch_controller.h"
#include "geometry/view_geometry.h"
#include "image/photo.h"
#include "image_widget.h"
#include "main_window_texts.h"
#include "photo_view.h"
#include "resample/rotate.h"
#include "resize_control.h"
#include "sheet/sheet_compose.h"
#include "sheet_preview_window.h"
#include "status_panels.h"
#include "window_prompts.h"

#include <QFileInfo>

namespace vellicam {

namespace texts = main_window_texts;

int ZoomPercentOfText(const QString& text)
{
    QString number = text.trimmed();
    if (number.endsWith(QChar('%')) || number.endsWith(QChar(0xFF05)))
        number.chop(1);
    bool ok = false;
    const int percent = number.trimmed().toInt(&ok, 10);
    return ok && percent >= kSmallestZoomPercent && percent <= kLargestZoomPercent ? percent : 100;
}

int MainWindow::loadPhoto(const QString& path)
{
    work_.lastLoadFailure.clear();
    if (path.isEmpty())
        return 1;
    // The same photo again (zoom, resize) comes from memory, without reading the file.
    if (path.toStdString() == session_.photoPath())
        return 0;
    OpenOutcome opened;
    {
        WorkScope work(*this);
        EventPump pump;
        opened = session_.open(path.toStdString(), ui_.sharpenBox->isChecked(), pump.AsProgress());
    }
    PumpEvents();
    if (!opened.lowResolution.empty())
        dialogs_.Message(work_.appTitle, QString::fromStdString(opened.lowResolution), MessageIcon::Information);
    if (opened.opened())
        return 0;
    if (opened.result == OpenOutcome::OutOfMemory)
        showOutOfMemory();
    // The photo before, if any, stays the session's: a batch keeps showing it when the next photo fails.
    work_.lastLoadFailure = QString::fromStdString(opened.failure);
    return opened.result == OpenOutcome::NotFound ? -1 : -2;
}

bool MainWindow::openBatchPhoto(BatchRun& run, bool resetFrame, bool unattended)
{
    WindowPrompts prompts(dialogs_, work_.appTitle);
    bool opened = false;
    {
        WorkScope work(*this);
        EventPump pump;
        opened = run.openCurrent(session_, settings(), unattended, prompts, pump.AsProgress());
    }
    PumpEvents();
    // The session holds the photo now: the open below only shows it.
    return opened && openPhoto(photoPath(), resetFrame) == 0;
}

void MainWindow::syncView()
{
    session_.setView(ui_.photoImage->width(), ui_.photoImage->width(), ui_.photoImage->height());
}

int MainWindow::showFitted()
{
    // The view's area without scroll bars, so the square does not depend on whether the last zoom needed them.
    const QSize area = ui_.photoView->maximumViewportSize();
    int side = std::min(area.width(), area.height());
    if (work_.zoomPercent != 100)
        side = side * work_.zoomPercent / 100;
    ui_.photoImage->resize(side, side);
    syncView();

    Bitmap& view = ui_.photoImage->picture();
    if (!view.Resize(side, side)) {
        showOutOfMemory();
        return -1;
    }

    int fitted = 0;
    {
        WorkScope work(*this);
        EventPump pump;
        std::string message;
        fitted = session_.fitShownImage(side, work_.fitted, &message, pump.AsProgress());
        work_.reductionMessage = QString::fromStdString(message);
    }
    if (fitted == 0)
        Draw(work_.fitted, view, (side - work_.fitted.Width()) / 2, (side - work_.fitted.Height()) / 2);
    ui_.photoImage->pictureChanged();
    // The head line's overlay covers the photo exactly, see-through where no line is.
    ui_.headLineOverlay->setGeometry(ui_.photoImage->geometry());
    if (ui_.headLineOverlay->picture().Resize(side, side)) {
        ui_.photoView->clearHeadLine();
        ui_.headLineOverlay->pictureChanged();
    }
    ui_.photoView->fitContent();
    reportMemory();
    return 0;
}

int MainWindow::openPhoto(const QString& path, bool resetFrame)
{
    if (loadPhoto(path) != 0)
        return -1;
    ui_.photoView->scrollToOrigin();
    ui_.photoView->repaint();
    PumpEvents();
    (void)showFitted();
    if (session_.angle() != 0)
        ui_.statusBar->setPanel(kAnglePanel, QString::fromStdString(RotationStatusText(session_.angle())));
    // The photo's name; its folder (a path of this machine) only in the panel's tip.
    ui_.statusBar->setPanel(kPathPanel, QFileInfo(path).fileName(), path);
    placeFrame(resetFrame);
    return 0;
}

void MainWindow::resetWorkspace()
{
    ui_.photoView->scrollToOrigin();
    ui_.photoView->repaint();
    PumpEvents();
    ui_.photoImage->move(0, 0);
    ui_.headLineOverlay->move(0, 0);

    Bitmap& view = ui_.photoImage->picture();
    if (view.Width() != ui_.photoImage->width() || view.Height() != ui_.photoImage->height())
        (void)view.Resize(ui_.photoImage->width(), ui_.photoImage->height());
    Fill(view, kBlack);
    ui_.photoImage->pictureChanged();
    Fill(ui_.backgroundSwatch->picture(), kWhite);
    ui_.backgroundSwatch->pictureChanged();

    {
        const QSignalBlocker block(ui_.zoomBox);
        ui_.zoomBox->setCurrentIndex(0);
        ui_.zoomBox->setEditText(ui_.zoomBox->itemText(0));
    }
    work_.zoomPercent = 100;
    work_.previousZoomPercent = 100;
    if (preview_)
        preview_->clearPreview();

    session_.close();
    work_.fitted.Clear();

    ui_.photoView->detachGrips();
    ui_.photoImage->hide();
    ui_.frameImage->hide();
    // Head marking ends with the photo: an overlay left up would hide the next photo.
    ui_.headLineButton->setChecked(false);
    ui_.photoView->hideHeadLineOverlay();
    ui_.angleBox->setText(QStringLiteral("0"));
    setToolsEnabled(false);
    ui_.makeSheetButton->setEnabled(false);
    ui_.makeSheetButton->setText(texts::kMakeSheetCaption);
    reportMemory();

    batch_->end();
    ui_.pickBackgroundBox->setEnabled(false);
    setMode(WorkMode::Idle);
    ui_.photoView->fitContent();
}

void MainWindow::startNew()
{
    ui_.photoView->detachGrips();
    resetWorkspace();
    ui_.newButton->setEnabled(true);
    ui_.choosePhotoButton->setEnabled(true);
    ui_.statusBar->setPanel(kPathPanel, QString());
    setBusy(false);
}

void MainWindow::choosePhoto()
{
    const QString path = dialogs_.OpenPicture(texts::kOpenDialogTitle, photoFolder());
    if (path.isEmpty()) {
        // A cancelled dialog leaves any running action's guard alone.
        reportMemory();
        return;
    }
    selectPhoto(path);
}

void MainWindow::selectPhoto(const QString& path)
{
    const QFileInfo info(path);
    session_.setPhotoFolder(info.absolutePath().toStdString());
    const auto opening = begin(UserAction::OpenPhoto);
    if (!opening)
        return;
    resetWorkspace();
    ui_.keepFrameBox->hide();
    const QString full = info.absoluteFilePath();
    if (openPhoto(full, !ui_.keepFrameBox->isChecked()) == 0) {
        ui_.statusBar->setPanel(kGuidancePanel, QString());
        if (settingsDialog_ && settings().recogniseOnOpen)
            (void)recogniseFace();
    } else {
        // Say why, and let the user choose another photo straight away.
        ui_.statusBar->setPanel(kGuidancePanel, work_.lastLoadFailure);
        ui_.choosePhotoButton->setEnabled(true);
    }
    reportMemory();
}

void MainWindow::zoomChanged()
{
    const auto zooming = begin(UserAction::Zoom);
    if (!zooming)
        return;

    work_.previousZoomPercent = work_.zoomPercent;
    work_.zoomPercent = ZoomPercentOfText(ui_.zoomBox->currentText());

    ui_.photoView->detachGrips();
    ui_.frameImage->hide();
    ui_.photoImage->setToolTip(QString());
    PumpEvents();

    // The frame stays over the same part of the photo, kept in the square's pixels so that zooms there and back
    // do not wear it down.
    CropRect kept;
    const bool keepFrame = session_.hasFrame() && session_.frameInImage(kept) == kCropOk;
    (void)openPhoto(photoPath(), false);
    ui_.photoView->repaint();
    PumpEvents();

    if (keepFrame)
        session_.setFrameInImage(kept);
    else
        session_.rescaleFrameForZoom(work_.previousZoomPercent, work_.zoomPercent);
    const ControlBounds after = session_.frame();
    ui_.photoView->setFrameBounds(after);
    ui_.frameImage->show();
    ui_.frameImage->repaint();
    PumpEvents();

    if (!ui_.frameImage->picture().Resize(std::max(after.width, 1), std::max(after.height, 1))) {
        showOutOfMemory();
        setToolsEnabled(true);
        return;
    }
    // The outline after a zoom stops one row short of the frame's bottom.
    drawFrameOutline(1);
    attachFrame();
    ui_.frameImage->show();
    showFrameChecks();
}

} // namespace vellicam
