#include "batch_controller.h"

#include "image/folder_scan.h"
#include "main_window.h"
#include "main_window_texts.h"
#include "photo_view.h"
#include "sheet/output_path.h"
#include "sheet/recognition_log.h"
#include "status_panels.h"
#include "window_prompts.h"

#include <QFileInfo>

#include <algorithm>
#include <optional>

namespace vellicam {

namespace texts = main_window_texts;

namespace {

// A folder path with exactly the one trailing separator the output folder rule expects.
QString WithSeparator(const QString& folder)
{
    return folder.endsWith('/') ? folder : folder + '/';
}

} // namespace

QStringList LocalPaths(const QList<QUrl>& urls)
{
    QStringList paths;
    for (const QUrl& url : urls) {
        if (!url.isLocalFile())
            continue;
        const QString path = url.toLocalFile();
        if (!path.isEmpty())
            paths << path;
    }
    return paths;
}

BatchController::BatchController(MainWindow& window)
    : QObject(&window)
    , window_(window)
{
}

void BatchController::end()
{
    const MainWindow::Controls& ui = window_.controls();
    run_.clear();
    ui.skipButton->hide();
    ui.continuousBox->hide();
    ui.continuousBox->setChecked(false);
    ui.keepFrameBox->hide();
    ui.keepFrameBox->setChecked(false);
    abortRequested_ = false;
}

void BatchController::handleDrop(const QList<QUrl>& urls, const QPoint& position)
{
    if (!window_.mayStart(UserAction::OpenPhoto))
        return;
    const QStringList items = LocalPaths(urls);
    if (items.isEmpty())
        return;
    const MainWindow::Controls& ui = window_.controls();

    if (!IsDroppedJpegName(items.last().toStdString())) {
        if (!window_.rect().contains(position))
            return;
        const QString& first = items.first();
        const QLineEdit* box = ui.outputFolderEdit;
        if (box->isVisible() && position.x() >= box->x() && position.x() <= box->x() + box->width()
            && position.y() >= box->y() && position.y() <= box->y() + box->height()) {
            const QString folder = EndsWithSeparator(first.toStdString()) == 1 ? first : first + '/';
            if (QFileInfo(folder).isDir())
                ui.outputFolderEdit->setText(folder);
            else
                ui.outputFolderEdit->setText(WithSeparator(QFileInfo(first).absolutePath()));
            return;
        }
    }
    openItems(items);
}

void BatchController::openItems(const QStringList& items)
{
    if (items.isEmpty() || !window_.mayStart(UserAction::OpenPhoto))
        return;
    const MainWindow::Controls& ui = window_.controls();
    PhotoSession& session = window_.session();
    const QString& last = items.last();

    if (IsDroppedJpegName(last.toStdString())) {
        ui.photoView->detachGrips();
        window_.resetWorkspace();
        session.setPhotoFolder(QFileInfo(last).absolutePath().toStdString());
        // The number of dropped items; only the last of them opens.
        ui.statusBar->setPanel(kGuidancePanel, texts::kDroppedJpegs.arg(items.size()));

        ui.keepFrameBox->hide();
        // Working while the photo opens, so that a second drop arriving while the window repaints cannot reset the
        // bitmaps being filled. Recognition starts an action of its own.
        std::optional<MainWindow::ActionScope> opening(std::in_place, window_);
        if (window_.openPhoto(last, true) == 0) {
            opening.reset();
            if (window_.settingsDialog() && window_.settings().recogniseOnOpen)
                (void)window_.recogniseFace();
        } else {
            // As after a failed choice in the open dialog: say why and let another photo be chosen.
            ui.statusBar->setPanel(kGuidancePanel, window_.workState().lastLoadFailure);
            ui.choosePhotoButton->setEnabled(true);
        }
        return;
    }

    const QString& first = items.first();
    const FolderScan scan = ScanDroppedFolder(first.toStdString());
    counts_ = { scan.SubfolderCount, scan.FileCount, scan.JpegCount };

    ui.photoView->detachGrips();
    window_.resetWorkspace();

    if (counts_.jpegCount > 0) {
        // The folder's own photos decide where their sheets and the log go when no output folder is given,
        // not whichever photo happened to be opened before the drop.
        session.setPhotoFolder(first.toStdString());
        run_.start(scan.files);
        std::optional<MainWindow::ActionScope> opening(std::in_place, window_);
        if (openBatchPhoto(true)) {
            opening.reset();
            if (window_.settingsDialog() && window_.settings().recogniseOnOpen
                && window_.recogniseFace() != kRecognised)
                run_.countUnrecognised();
            if (counts_.jpegCount > 1) {
                ui.skipButton->show();
                ui.continuousBox->show();
                ui.keepFrameBox->show();
            }
        } else {
            const Settings settings = window_.settings();
            const bool allDone = window_.settingsDialog() && run_.allDone(session, settings);
            run_.clear();
            // Photos that would not open are in the log; the message is for a folder finished earlier.
            if (allDone)
                window_.dialogs().Message(window_.appTitle(), texts::kAllDone, MessageIcon::Information);
        }
    }
    ui.statusBar->setPanel(
        kGuidancePanel, texts::kFolderCounts.arg(counts_.subfolderCount).arg(counts_.fileCount).arg(counts_.jpegCount));
}

bool BatchController::openBatchPhoto(bool resetFrame)
{
    return window_.openBatchPhoto(run_, resetFrame, continuousRunning_);
}

void BatchController::runContinuous()
{
    const MainWindow::Controls& ui = window_.controls();
    ui.abortButton->show();
    continuousRunning_ = true;
    stoppedAtPhoto_ = false;
    // Nobody answers the question of a frame that takes in more than its photo: the log says it.
    window_.session().setOutsideLogged(true);
    ScopeExit hide([this, &ui] {
        ui.abortButton->hide();
        continuousRunning_ = false;
        window_.session().setOutsideLogged(false);
    });
    for (;;) {
        showProgress();
        PumpEvents();
        (void)window_.makeSheetOfPhoto();
        if (stoppedAtPhoto_) {
            // The photo recognition could not read is open, idle, with its frame and tools, for the user.
            window_.setMode(WorkMode::Idle);
            break;
        }
        // A sheet leaves the window idle at its end; the run holds it in continuous mode to the last photo, so that
        // only the run's own ways out ("中断" and the check box) stay open between photos.
        window_.setMode(WorkMode::Continuous);
        if (!ui.continuousBox->isChecked())
            break;
        if (abortRequested_) {
            window_.dialogs().Message(window_.appTitle(), texts::kAborted, MessageIcon::None);
            break;
        }
        if (run_.atEnd())
            break;
    }
    showProgress();
    if (stoppedAtPhoto_)
        window_.controls().statusBar->setPanel(
            kGuidancePanel, texts::kRunStoppedAtPhoto.arg(QFileInfo(window_.photoPath()).fileName()));
}

void BatchController::showProgress()
{
    const int done = std::min(run_.index(), run_.size());
    window_.controls().statusBar->setPanel(kGuidancePanel, texts::kContinuousProgress.arg(done).arg(run_.size()));
}

void BatchController::countSheet(int sheetResult)
{
    if (!run_.active())
        return;
    switch (sheetResult) {
    case SheetOutcome::Saved:
        run_.countSaved();
        break;
    case SheetOutcome::Abandoned:
        // Given up at the enlargement question, or passed over unattended: no sheet, and no fault either.
        run_.countSkipped();
        break;
    default:
        run_.countFailed();
        break;
    }
}

void BatchController::stepToNext()
{
    run_.step();
    if (!run_.atEnd() && !window_.controls().keepFrameBox->isChecked()) {
        window_.session().setAngle(0);
        window_.controls().angleBox->setText(QStringLiteral("0"));
    }
}

// The step to the photo at the index shared by a finished sheet and the skip button: it opens that photo (passing
// over photos done or unreadable) with the frame kept when "選択範囲/回転を保持する" asks, and recognises it when
// recognition on opening is on. A photo whose recognition was skipped silently gets no sheet: it counts as skipped
// and the next one opens; when it was the last, its frame comes back as after any failed recognition. False when
// the end of the list was reached instead.
bool BatchController::openAndRecogniseNext()
{
    bool skippedSilently = false;
    for (;;) {
        if (continuousRunning_)
            showProgress();
        if (run_.atEnd() || !openBatchPhoto(!window_.controls().keepFrameBox->isChecked())) {
            // The photo left open is the one skipped: it can still be framed and made by hand.
            if (skippedSilently)
                window_.showFrameAgain();
            return false;
        }
        if (!window_.settingsDialog() || !window_.settings().recogniseOnOpen)
            return true;
        window_.setBusy(false);
        const int recognised = window_.recogniseFace(continuousRunning_);
        if (recognised != kRecognised)
            run_.countUnrecognised();
        if (recognised != kRecognitionSkippedSilently) {
            // Its box has named the photo; a sheet cut from a frame that is not around a face is no ID photo.
            stoppedAtPhoto_ = continuousRunning_ && recognised != kRecognised;
            return true;
        }
        if (abortRequested_) {
            // "中断" during a row of such photos: the run stops at this one, left to be framed by hand.
            window_.showFrameAgain();
            return true;
        }
        skippedSilently = true;
        run_.countSkipped();
        stepToNext();
    }
}

void BatchController::sayBatchEnded()
{
    const std::string log = window_.session().logPath(window_.settings());
    window_.dialogs().Message(window_.appTitle(), QString::fromStdString(run_.endMessage(log)), MessageIcon::None);
}

void BatchController::advance()
{
    run_.step();
    if (!window_.controls().keepFrameBox->isChecked()) {
        window_.session().setAngle(0);
        window_.controls().angleBox->setText(QStringLiteral("0"));
    }
    if (!openAndRecogniseNext())
        sayBatchEnded();
}

void BatchController::skip()
{
    const auto skipping = window_.begin(UserAction::Skip);
    if (!skipping)
        return;
    if (!run_.active())
        return;

    run_.countSkipped();
    stepToNext();
    if (openAndRecogniseNext())
        return;
    window_.controls().makeSheetButton->setEnabled(false);
    window_.controls().skipButton->hide();
    sayBatchEnded();
}

} // namespace vellicam
