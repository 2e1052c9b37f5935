// The main window's photo: loading it into the working bitmaps, showing it fitted and zoomed, "新規作成",
// "写真選択" and the workspace reset.
#include "main_window.h"

#include "batch_controller.h"
#include "geometry/view_geometry.h"
#include "image/photo.h"
#include "image_widget.h"
#include "main_window_texts.h"
#include "photo_view.h"
#include "resample/reduce.h"
#include "resize_control.h"
#include "sheet_preview_window.h"
#include "status_panels.h"

#include <QFileInfo>

namespace vellicam {

namespace texts = main_window_texts;

int MainWindow::zoomItemIndex() const
{
    return ui_.zoomBox->findText(ui_.zoomBox->currentText(), Qt::MatchExactly);
}

int MainWindow::loadPhoto(const QString& path)
{
    work_.lastLoadFailure.clear();
    if (path.isEmpty())
        return 1;
    // The photo as loaded lives in the original alone: every display reads it from there, and the cut only
    // receives the sheet's part. A large photo is therefore held once, not twice, and opening it copies nothing.
    if (path == work_.photoPath)
        return 0; // the same photo again (zoom, resize): from memory, without reading the file
    if (!QFileInfo(path).isFile()) {
        work_.lastLoadFailure = texts::kFileNotFound + path;
        return -1;
    }
    (void)work_.cut.Resize(1, 1);
    work_.photoPath.clear();

    std::string reason;
    int loaded = 0;
    Bitmap decoded;
    {
        WorkScope work(*this);
        EventPump pump;
        loaded = LoadPhotoFile(path.toStdString(), decoded, &reason, pump.AsProgress());
    }
    if (loaded != 0) {
        work_.lastLoadFailure = QString::fromStdString(reason);
        return loaded < 0 ? loaded : -2;
    }
    work_.photoPath = path;
    PumpEvents();

    if (IsLowResolution(decoded.Width(), decoded.Height()))
        dialogs_.Message(work_.appTitle,
            QString::fromStdString(LowResolutionMessage(decoded.Width(), decoded.Height())),
            MessageIcon::Information);

    if (SquareTooLarge(decoded.Width(), decoded.Height())) {
        work_.lastLoadFailure = texts::kPhotoTooLarge.arg(decoded.Width()).arg(decoded.Height());
        work_.photoPath.clear();
        return -2;
    }
    work_.original = std::move(decoded);
    if (!BuildSquareBitmap(work_.original, work_.square)) {
        showOutOfMemory();
        work_.lastLoadFailure = texts::kOutOfMemory;
        work_.photoPath.clear();
        return -2;
    }
    return 0;
}

int MainWindow::showFitted(const Bitmap& image)
{
    // The view's area without scroll bars, so the square does not depend on whether the last zoom needed them.
    const QSize area = ui_.photoView->maximumViewportSize();
    int side = std::min(area.width(), area.height());
    if (zoomItemIndex() > 0)
        side = side * work_.zoomPercent / 100;
    ui_.photoImage->resize(side, side);
    work_.viewSide = side;

    Bitmap& view = ui_.photoImage->picture();
    if (!view.Resize(side, side)) {
        showOutOfMemory();
        return -1;
    }

    const int w = image.Width();
    const int h = image.Height();
    const Size fitted = FittedSize(w, h, side, side);
    work_.imageSide = std::max(w, h);

    int reduced = kReductionSizeBelowOne;
    {
        WorkScope work(*this);
        EventPump pump;
        if (fitted.width == w && fitted.height == h) {
            work_.fitted = image;
            reduced = kReduced;
        } else {
            std::string message;
            reduced = ReduceHighQuality(image, fitted.height, fitted.width, work_.fitted, &message, pump.AsProgress());
            work_.reductionMessage = QString::fromStdString(message);
        }
    }
    if (reduced != kReduced) {
        // The reduction declines an enlargement (and a few odd sizes): a plain stretch shows those.
        if (work_.fitted.Resize(fitted.width, fitted.height))
            StretchDraw(image, work_.fitted);
    }
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
    (void)showFitted(work_.original);
    if (work_.rotationAngle != 0)
        applyRotation(work_.rotationAngle);
    ui_.statusBar->setPanel(kPathPanel, path);
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

    for (Bitmap* b : { &work_.cut, &work_.sheet, &work_.rotated, &work_.square, &work_.original, &work_.fitted })
        (void)b->Resize(10, 10);

    ui_.photoView->detachGrips();
    ui_.photoImage->hide();
    ui_.frameImage->hide();
    // Head marking ends with the photo: an overlay left up would hide the next photo.
    ui_.headLineButton->setChecked(false);
    ui_.photoView->hideHeadLineOverlay();
    work_.rotationAngle = 0;
    ui_.angleBox->setText(QStringLiteral("0"));
    work_.rotationProposal = 0;
    setToolsEnabled(false);
    ui_.makeSheetButton->setEnabled(false);
    ui_.makeSheetButton->setText(texts::kMakeSheetCaption);
    reportMemory();

    batch_->end();
    ui_.pickBackgroundBox->setEnabled(false);
    work_.pickingBackground = false;
    setBusy(false);
    ui_.photoView->fitContent();
}

void MainWindow::startNew()
{
    ui_.photoView->detachGrips();
    work_.photoPath.clear();
    resetWorkspace();
    ui_.newButton->setEnabled(true);
    ui_.choosePhotoButton->setEnabled(true);
    ui_.statusBar->setPanel(kPathPanel, QString());
    setBusy(false);
}

void MainWindow::choosePhoto()
{
    const QString path = dialogs_.OpenPicture(texts::kOpenDialogTitle, work_.photoFolder);
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
    work_.photoFolder = info.absolutePath();
    if (!work_.photoFolder.endsWith('/'))
        work_.photoFolder += '/';
    if (work_.busy)
        return;

    setBusy(true);
    ScopeExit done([this] { setBusy(false); });
    work_.photoPath.clear();
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
    if (work_.busy)
        return;
    setBusy(true);
    ScopeExit done([this] { setBusy(false); });

    static constexpr int kZoomOfItem[] = { 100, 120, 150, 200 };
    const int item = zoomItemIndex();
    work_.previousZoomPercent = work_.zoomPercent;
    work_.zoomPercent = item >= 0 && item < 4 ? kZoomOfItem[item] : 100;

    const ControlBounds before = ui_.photoView->frameBounds();
    ui_.photoView->detachGrips();
    ui_.frameImage->hide();
    ui_.photoImage->setToolTip(QString());
    PumpEvents();

    (void)openPhoto(work_.photoPath, false);
    ui_.photoView->repaint();
    PumpEvents();

    // The view's widgets sit at content positions already, so the scroll positions do not enter.
    ControlBounds after = before;
    (void)RescaleFrameForZoom(before, 0, 0, 0, 0, work_.previousZoomPercent, work_.zoomPercent, after);
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
}

} // namespace vellicam
