#include "batch_controller.h"

#include "image/folder_scan.h"
#include "main_window.h"
#include "main_window_texts.h"
#include "photo_view.h"
#include "sheet/output_path.h"
#include "sheet/recognition_log.h"
#include "status_panels.h"

#include <QFileInfo>

#include <algorithm>

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

bool BatchController::isDone(const QString& photo) const
{
    return IsPhotoDone(window_.controls().outputFolderEdit->text().toStdString(),
        window_.workState().photoFolder.toStdString(), photo.toStdString());
}

// A photo of the batch that did not open goes into the error log, so that an unattended run can say afterwards
// which photos it passed over and why.
void BatchController::logLoadFailure(const QString& photo)
{
    const MainWindow::WorkState& work = window_.workState();
    const std::string line = LogTimestampNow() + texts::kLoadErrorLabel + photo.toStdString() + "  ("
        + work.lastLoadFailure.toStdString() + ")";
    const std::string path = RecognitionLogPath(
        window_.controls().outputFolderEdit->text().toStdString(), work.photoFolder.toStdString());
    const LogWriteOutcome logged = WriteRecognitionLog(path, line);
    if (!logged.message.empty())
        window_.dialogs().Message(window_.appTitle(), QString::fromStdString(logged.message), MessageIcon::None);
}

void BatchController::end()
{
    const MainWindow::Controls& ui = window_.controls();
    state_.active = false;
    state_.index = 0;
    ui.skipButton->hide();
    ui.continuousBox->hide();
    ui.continuousBox->setChecked(false);
    ui.keepFrameBox->hide();
    ui.keepFrameBox->setChecked(false);
    state_.abortRequested = false;
}

void BatchController::handleDrop(const QList<QUrl>& urls, const QPoint& position)
{
    if (window_.isBusy())
        return;
    const QStringList items = LocalPaths(urls);
    if (items.isEmpty())
        return;
    const MainWindow::Controls& ui = window_.controls();
    MainWindow::WorkState& work = window_.workState();
    const QString& last = items.last();

    if (IsDroppedJpegName(last.toStdString())) {
        ui.photoView->detachGrips();
        work.photoPath.clear();
        window_.resetWorkspace();
        work.photoFolder = WithSeparator(QFileInfo(last).absolutePath());
        // The number of dropped items; only the last of them opens.
        ui.statusBar->setPanel(kGuidancePanel, texts::kDroppedJpegs.arg(items.size()));

        window_.setBusy(true);
        ScopeExit done([this] { window_.setBusy(false); });
        window_.resetWorkspace();
        ui.keepFrameBox->hide();
        // The reset cleared the busy mark; held again while the photo opens, so that a second drop arriving while
        // the window repaints cannot reset the bitmaps being filled. Recognition takes the mark itself.
        window_.setBusy(true);
        if (window_.openPhoto(last, true) == 0) {
            window_.setBusy(false);
            if (window_.settingsDialog() && window_.settings().recogniseOnOpen)
                (void)window_.recogniseFace();
        } else {
            // As after a failed choice in the open dialog: say why and let another photo be chosen.
            ui.statusBar->setPanel(kGuidancePanel, work.lastLoadFailure);
            ui.choosePhotoButton->setEnabled(true);
        }
        return;
    }

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

    const FolderScan scan = ScanDroppedFolder(first.toStdString());
    state_.files.clear();
    for (const std::string& file : scan.files)
        state_.files << QString::fromStdString(file);
    state_.subfolderCount = scan.SubfolderCount;
    state_.fileCount = scan.FileCount;
    state_.jpegCount = scan.JpegCount;

    ui.photoView->detachGrips();
    work.photoPath.clear();
    window_.resetWorkspace();

    if (state_.jpegCount > 0) {
        window_.setBusy(true);
        ScopeExit done([this] { window_.setBusy(false); });
        window_.resetWorkspace();
        // The folder's own photos decide where their sheets and the log go when no output folder is given,
        // not whichever photo happened to be opened before the drop.
        work.photoFolder = WithSeparator(first);
        state_.active = true;
        window_.setBusy(true);
        if (openBatchPhoto(true)) {
            window_.setBusy(false);
            if (window_.settingsDialog() && window_.settings().recogniseOnOpen)
                (void)window_.recogniseFace();
            if (state_.jpegCount > 1) {
                ui.skipButton->show();
                ui.continuousBox->show();
                ui.keepFrameBox->show();
            }
        } else {
            const bool allDone = std::all_of(
                state_.files.cbegin(), state_.files.cend(), [this](const QString& p) { return isDone(p); });
            state_.active = false;
            state_.index = 0;
            // Photos that would not open are in the log; the message is for a folder finished earlier.
            if (window_.settings().keepExistingSheets && window_.settingsDialog() && allDone)
                window_.dialogs().Message(window_.appTitle(), texts::kAllDone, MessageIcon::Information);
        }
    }
    ui.statusBar->setPanel(
        kGuidancePanel, texts::kFolderCounts.arg(state_.subfolderCount).arg(state_.fileCount).arg(state_.jpegCount));
}

bool BatchController::openBatchPhoto(bool resetFrame)
{
    MainWindow::WorkState& work = window_.workState();
    const bool skipDone = window_.settingsDialog() && window_.settings().keepExistingSheets;
    const QString previous = work.photoPath;
    for (; state_.index < state_.files.size(); ++state_.index) {
        const QString& photo = state_.files.at(state_.index);
        if (skipDone && isDone(photo))
            continue;
        if (window_.openPhoto(photo, resetFrame) == 0)
            return true;
        logLoadFailure(photo);
        // The view still shows the photo before; it stays the open photo, so that a later sheet action cuts it
        // under its own name and never under the name of the photo that failed.
        if (work.photoPath.isEmpty())
            work.photoPath = previous;
    }
    return false;
}

void BatchController::runContinuous()
{
    const MainWindow::Controls& ui = window_.controls();
    ui.abortButton->show();
    ScopeExit hide([&ui] { ui.abortButton->hide(); });
    for (;;) {
        PumpEvents();
        (void)window_.makeSheetOfPhoto();
        // A sheet clears the busy mark at its end; the run holds it to the last photo, so that the skip button and
        // every other guarded action stay refused between photos. "中断" and the check box are not guarded.
        window_.setBusy(true);
        if (!ui.continuousBox->isChecked())
            break;
        if (state_.abortRequested) {
            window_.dialogs().Message(window_.appTitle(), texts::kAborted, MessageIcon::None);
            break;
        }
        if (state_.index >= state_.files.size())
            break;
    }
}

// The step to the photo at the index shared by a finished sheet and the skip button: it opens that photo (passing
// over photos done or unreadable) with the frame kept when "選択範囲/回転を保持する" asks, and recognises it when
// recognition on opening is on. False when the end of the list was reached instead.
bool BatchController::openAndRecogniseNext()
{
    if (state_.index >= state_.files.size() || !openBatchPhoto(!window_.controls().keepFrameBox->isChecked()))
        return false;
    if (window_.settingsDialog() && window_.settings().recogniseOnOpen) {
        window_.setBusy(false);
        (void)window_.recogniseFace();
    }
    return true;
}

void BatchController::advance()
{
    ++state_.index;
    if (!window_.controls().keepFrameBox->isChecked()) {
        window_.workState().rotationAngle = 0;
        window_.controls().angleBox->setText(QStringLiteral("0"));
    }
    if (!openAndRecogniseNext())
        window_.dialogs().Message(window_.appTitle(), texts::kSaved, MessageIcon::None);
}

void BatchController::skip()
{
    if (window_.isBusy())
        return;
    window_.setBusy(true);
    ScopeExit done([this] { window_.setBusy(false); });
    if (!state_.active)
        return;

    ++state_.index;
    if (state_.index < state_.files.size() && !window_.controls().keepFrameBox->isChecked()) {
        window_.workState().rotationAngle = 0;
        window_.controls().angleBox->setText(QStringLiteral("0"));
    }
    if (openAndRecogniseNext())
        return;
    window_.controls().makeSheetButton->setEnabled(false);
    window_.controls().skipButton->hide();
}

} // namespace vellicam
