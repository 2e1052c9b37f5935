// The main window's photo: loading it into the working bitmaps, showing it fitted and zoomed, "新規作成",
// "写真選択" and the workspace reset.
#include "main_window.h"

#include "batch_controller.h"
#include "geometry/view_geometry.h"
#include "image/photo.h"
#include "image_widget.h"
#include "main_window_texts.h"
#include "photo_view.h"
#include "recognition/recognition_rules.h"
#include "resample/rotate.h"
#include "resize_control.h"
#include "sheet/sheet_compose.h"
#include "sheet_logged_prompts.h"
#include "sheet_preview_window.h"
#include "status_panels.h"
#include "window_prompts.h"

#include <memory>

#include <QFileInfo>
#include <QSignalBlocker>

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

int MainWindow::viewSquareSide() const
{
    // The view's area without scroll bars, so the square does not depend on whether the last zoom needed them.
    const QSize area = ui_.photoView->maximumViewportSize();
    int side = std::min(area.width(), area.height());
    if (work_.zoomPercent != 100)
        side = side * work_.zoomPercent / 100;
    return side;
}

MainWindow::Fitted MainWindow::fitForView(int side) const
{
    Fitted fitted;
    fitted.side = side;
    fitted.result = session_.fitShownImage(side, fitted.image, &fitted.reductionMessage);
    return fitted;
}

int MainWindow::showFittedImage(Fitted fitted)
{
    const int side = fitted.side;
    ui_.photoImage->resize(side, side);
    syncView();

    Bitmap& view = ui_.photoImage->picture();
    if (!view.Resize(side, side)) {
        showOutOfMemory();
        return -1;
    }
    work_.reductionMessage = QString::fromStdString(fitted.reductionMessage);
    work_.fitted = std::move(fitted.image);
    plainPreviewShown_ = QRect(); // drawn over with the photo
    if (fitted.result == 0)
        Draw(work_.fitted, view, (side - work_.fitted.Width()) / 2, (side - work_.fitted.Height()) / 2);
    showFaceOutlines(true); // a turn or a zoom keeps the faces a click can frame in sight
    // The head line's overlay covers the photo exactly, see-through where no line is.
    ui_.headLineOverlay->setGeometry(ui_.photoImage->geometry());
    if (ui_.headLineOverlay->picture().Resize(side, side)) {
        ui_.photoView->clearHeadLine();
        ui_.headLineOverlay->pictureChanged();
    }
    ui_.photoView->fitContent();
    ui_.photoView->showEmptyHint(false);
    reportMemory();
    return 0;
}

int MainWindow::showFitted()
{
    return showFittedImage(fitForView(viewSquareSide()));
}

bool MainWindow::showOpened(const QString& path, bool resetFrame, const OpenOutcome& opened, Fitted fitted)
{
    work_.lastLoadFailure.clear();
    if (!opened.lowResolution.empty())
        dialogs_.Message(work_.appTitle, QString::fromStdString(opened.lowResolution), MessageIcon::Information);
    if (!opened.opened()) {
        // The user chose this photo: a box says why it did not open, with its path and the reason, and the status
        // bar keeps the message's first line (the whole in its tip). Nothing said of the photo before stays beside
        // it.
        if (opened.result == OpenOutcome::OutOfMemory)
            showOutOfMemory();
        else
            dialogs_.Message(work_.appTitle, QString::fromStdString(opened.failure), MessageIcon::None);
        work_.lastLoadFailure = texts::FromSession(kTextPhotoNotOpened);
        ui_.statusBar->setPanel(kGuidancePanel, work_.lastLoadFailure, QString::fromStdString(opened.failure));
        ui_.statusBar->setPanel(kPathPanel, QString());
        ui_.statusBar->setPanel(kAnglePanel, QString());
        return false;
    }
    ui_.photoView->scrollToOrigin();
    (void)showFittedImage(std::move(fitted));
    if (session_.angle() != 0)
        ui_.statusBar->setPanel(kAnglePanel, QString::fromStdString(RotationStatusText(session_.angle())));
    // The photo's name; its folder (a path of this machine) only in the panel's tip.
    ui_.statusBar->setPanel(kPathPanel, QFileInfo(path).fileName(), path);
    placeFrame(resetFrame);
    return true;
}

void MainWindow::openPhoto(Busy busy, const QString& path, bool resetFrame, std::function<void(bool)> then)
{
    const bool sharpen = ui_.sharpenBox->isChecked();
    const int side = viewSquareSide();
    const std::string file = path.toStdString();
    auto fitted = std::make_shared<Fitted>();
    runJob<OpenOutcome>(
        busy,
        [this, file, sharpen, side, fitted] {
            // The view's picture is made as the photo decodes; fitForView finds it made.
            OpenOutcome opened = session_.open(file, sharpen, {}, side);
            if (opened.opened())
                *fitted = fitForView(side);
            return opened;
        },
        [this, path, resetFrame, fitted, then = std::move(then)](OpenOutcome opened) {
            const bool shown = showOpened(path, resetFrame, opened, std::move(*fitted));
            if (then)
                then(shown);
        });
}

void MainWindow::runBatchStep(
    Busy busy, BatchRun& run, bool sheetFirst, bool continuous, std::function<void(const BatchStepShown&)> then)
{
    const Settings settings = this->settings();
    const int side = viewSquareSide();
    const bool showResults = settings.showResults;
    // Nobody is there to answer in an unattended batch: a photo that would need a question gets no sheet, and what
    // went wrong goes to the error log.
    const bool unattended = ui_.continuousBox->isChecked() && settings.skipUnrecognised;
    const int previewHeight = preview_ ? preview_->previewHeight() : kPreviewHeight;

    PhotoStepOptions options;
    options.recognise = settings.recogniseOnOpen;
    options.unattended = continuous;
    options.silentSkip = SilentSkip(true, ui_.continuousBox->isChecked(), settings.skipUnrecognised);
    options.hooks = workerRecognitionHooks();
    options.drawFrame = drawProposalOnGui(showResults);
    options.stopRequested = [batch = batch_.get()] { return batch->abortRequested(); };
    options.viewSide = side;
    struct Shown {
        BatchStepShown result;
        bool photoOpened = false;
        bool hadFrame = false;
        ControlBounds frameBefore;
        Fitted fitted;
    };
    auto shown = std::make_shared<Shown>();
    options.opened = [this, &run, continuous, shown, side, resetFrame = !settings.keepFrame](PhotoSession& session) {
        if (continuous)
            worker_->post([this, index = run.index(), size = run.size()] { batch_->showProgress(index, size); });
        // The frame the photo starts from, on the view it will be shown on: centred anew, or kept from the photo
        // before.
        session.setView(side, side, side);
        if (resetFrame || !session.hasFrame())
            session.centreMinimumFrame();
        shown->photoOpened = true;
        shown->hadFrame = session.hasFrame();
        shown->frameBefore = session.frame();
    };

    runJob<int>(
        busy,
        [this, &run, settings, sheetFirst, unattended, continuous, previewHeight, side, options, shown] {
            WindowPrompts boxes(dialogs_, work_.appTitle);
            WorkerPrompts prompts(*worker_, boxes);
            BatchStepShown& result = shown->result;
            if (sheetFirst) {
                result.sheetMade = true;
                if (unattended) {
                    LoggedPrompts logged;
                    result.sheet = run.makeSheet(session_, settings, true, logged, previewHeight);
                    logged.writeTo(session_, settings, prompts);
                } else {
                    result.sheet = run.makeSheet(session_, settings, false, prompts, previewHeight);
                }
                if (run.atEnd())
                    return 0;
            }
            // A run that moves from photo to photo by itself names the photo in recognition's boxes.
            if (continuous)
                prompts.nameSubjectBy(
                    [this] { return QFileInfo(QString::fromStdString(session_.photoPath())).fileName(); });
            result.stepped = true;
            result.step = run.openNext(session_, settings, prompts, options);
            if (shown->photoOpened)
                shown->fitted = fitForView(side);
            return 0;
        },
        [this, shown, showResults, then = std::move(then)](int) {
            const BatchStepShown& result = shown->result;
            if (result.sheetMade)
                showSheet(result.sheet);
            if (shown->photoOpened) {
                ui_.photoView->scrollToOrigin();
                (void)showFittedImage(std::move(shown->fitted));
                const QString path = QString::fromStdString(session_.photoPath());
                ui_.statusBar->setPanel(kPathPanel, QFileInfo(path).fileName(), path);
                if (session_.angle() != 0)
                    ui_.statusBar->setPanel(kAnglePanel, QString::fromStdString(RotationStatusText(session_.angle())));
                const PhotoStep& step = result.step;
                if (step.recognised && step.recognition.framePlaced) {
                    // The proposal is drawn on the view already, with its outlines.
                    ui_.photoImage->show();
                    ui_.makeSheetButton->setEnabled(true);
                } else {
                    placeFrame(false);
                }
                if (step.recognised)
                    (void)showRecognition(step.recognition, showResults, shown->hadFrame, shown->frameBefore, {});
            }
            ui_.angleBox->setText(QString::fromStdString(RotationAngleText(session_.angle())));
            if (then)
                then(result);
        });
}

void MainWindow::syncView()
{
    session_.setView(ui_.photoImage->width(), ui_.photoImage->width(), ui_.photoImage->height());
}

void MainWindow::showPhotoAgain()
{
    if (!session_.hasPhoto())
        return;
    ui_.photoView->scrollToOrigin();
    (void)showFitted();
}

void MainWindow::resetWorkspace()
{
    ui_.photoView->scrollToOrigin();
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
    ui_.photoView->fitContent();
    ui_.photoView->showEmptyHint(true);
}

void MainWindow::startNew()
{
    const auto starting = begin(UserAction::NewSession);
    if (!starting)
        return;
    ui_.photoView->detachGrips();
    resetWorkspace();
    ui_.newButton->setEnabled(true);
    ui_.choosePhotoButton->setEnabled(true);
    ui_.statusBar->setPanel(kPathPanel, QString());
}

void MainWindow::choosePhoto()
{
    if (!mayStart(UserAction::OpenPhoto))
        return;
    const QString path = dialogs_.OpenPicture(texts::kOpenDialogTitle, photoFolder());
    if (path.isEmpty()) {
        reportMemory();
        return;
    }
    selectPhoto(path);
}

void MainWindow::selectPhoto(const QString& path)
{
    const auto opening = begin(UserAction::OpenPhoto);
    if (!opening)
        return;
    const QFileInfo info(path);
    session_.setPhotoFolder(info.absolutePath().toStdString());
    saveSettings();
    resetWorkspace();
    ui_.keepFrameBox->hide();
    openPhoto(opening, info.absoluteFilePath(), !ui_.keepFrameBox->isChecked(), [this, opening](bool opened) {
        if (!opened) {
            showOpenFailure();
            return;
        }
        ui_.statusBar->setPanel(kGuidancePanel, QString());
        if (settings().recogniseOnOpen)
            recognise(opening, false, {});
    });
}

void MainWindow::zoomChanged()
{
    const auto zooming = begin(UserAction::Zoom);
    if (!zooming || !session_.hasPhoto()) {
        // The box keeps naming the zoom the view shows.
        const QSignalBlocker block(ui_.zoomBox);
        ui_.zoomBox->setEditText(QStringLiteral("%1%").arg(work_.zoomPercent));
        return;
    }

    work_.previousZoomPercent = work_.zoomPercent;
    work_.zoomPercent = ZoomPercentOfText(ui_.zoomBox->currentText());
    if (work_.zoomPercent == work_.previousZoomPercent)
        return;

    ui_.photoView->detachGrips();
    ui_.photoImage->setToolTip(QString());

    // The session keeps the frame over the same part of the photo on the new view.
    showPhotoAgain();
    const ControlBounds after = session_.frame();
    ui_.photoView->setFrameBounds(after);
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
