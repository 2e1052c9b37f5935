#include "batch_controller.h"

#include "image/folder_scan.h"
#include "main_window.h"
#include "main_window_texts.h"
#include "sheet/output_path.h"
#include "sheet/recognition_log.h"
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
    run_.clear();
    finished_ = false;
    emit batchControlsShown(false);
    abortRequested_ = false;
}

void BatchController::stopRunning()
{
    emit abortShown(false);
    continuousRunning_ = false;
    window_.session().setOutsideLogged(false);
}

void BatchController::handleDrop(const QList<QUrl>& urls, bool inWindow, bool onOutputFolder)
{
    if (!window_.mayStart(UserAction::OpenPhoto))
        return;
    const QStringList items = LocalPaths(urls);
    if (items.isEmpty())
        return;

    if (!IsDroppedJpegName(items.last().toStdString())) {
        if (!inWindow)
            return;
        if (onOutputFolder) {
            const QString& first = items.first();
            const QString folder = EndsWithSeparator(first.toStdString()) == 1 ? first : first + '/';
            emit outputFolderDropped(
                QFileInfo(folder).isDir() ? folder : WithSeparator(QFileInfo(first).absolutePath()));
            return;
        }
    }
    openItems(items);
}

void BatchController::openItems(const QStringList& items)
{
    if (items.isEmpty())
        return;
    const auto opening = window_.begin(UserAction::OpenPhoto);
    if (!opening)
        return;
    PhotoSession& session = window_.session();
    const QString& last = items.last();

    if (IsDroppedJpegName(last.toStdString())) {
        window_.resetWorkspace();
        session.setPhotoFolder(QFileInfo(last).absolutePath().toStdString());
        // The number of dropped items; only the last of them opens.
        emit guidanceChanged(texts::kDroppedJpegs.arg(items.size()));
        window_.openPhoto(opening, QFileInfo(last).absoluteFilePath(), true, [this, opening](bool opened) {
            if (!opened) {
                // As after a failed choice in the open dialog: say why and let another photo be chosen.
                emit photoNotOpened();
                return;
            }
            if (window_.settings().recogniseOnOpen)
                window_.recognise(opening, false, {});
        });
        return;
    }

    const QString& first = items.first();
    const FolderScan scan = ScanDroppedFolder(first.toStdString());
    counts_ = { scan.SubfolderCount, scan.FileCount, scan.JpegCount };

    window_.resetWorkspace();
    const QString folderCounts
        = texts::kFolderCounts.arg(counts_.subfolderCount).arg(counts_.fileCount).arg(counts_.jpegCount);
    emit guidanceChanged(folderCounts);
    if (counts_.jpegCount == 0)
        return;

    // The folder's own photos decide where their sheets and the log go when no output folder is given, not
    // whichever photo happened to be opened before the drop.
    session.setPhotoFolder(first.toStdString());
    run_.start(scan.files);
    window_.runBatchStep(opening, run_, false, false, [this, folderCounts](const MainWindow::BatchStepShown& shown) {
        emit guidanceChanged(folderCounts);
        if (shown.step.result == PhotoStep::RanOut && shown.step.passedOver == 0) {
            const bool allDone = run_.allDone(window_.session(), window_.settings());
            run_.clear();
            // Photos that would not open are in the log; the message is for a folder finished earlier.
            if (allDone)
                window_.dialogs().Message(window_.appTitle(), texts::kAllDone, MessageIcon::Information);
            return;
        }
        if (counts_.jpegCount > 1)
            emit batchControlsShown(true);
    });
}

void BatchController::runContinuous(const Busy& busy, std::function<void(int)> then)
{
    emit abortShown(true);
    continuousRunning_ = true;
    stoppedAtPhoto_ = false;
    // Only the run's own ways out ("中断" and the check box) stay open until its last photo.
    busy->switchTo(WorkMode::Continuous);
    // Nobody answers the question of a frame that takes in more than its photo: the log says it.
    window_.session().setOutsideLogged(true);
    continueRun(busy, std::move(then));
}

void BatchController::continueRun(const Busy& busy, std::function<void(int)> then)
{
    showProgress();
    sheetAndNext(busy, [this, busy, then = std::move(then)](int result) {
        const bool wanted = !stoppedAtPhoto_ && window_.continuousChosen();
        if (wanted && !abortRequested_ && !run_.atEnd()) {
            continueRun(busy, then);
            return;
        }
        emit abortShown(false);
        continuousRunning_ = false;
        window_.session().setOutsideLogged(false);
        if (wanted && abortRequested_)
            window_.dialogs().Message(window_.appTitle(), texts::kAborted, MessageIcon::None);
        showProgress();
        // The photo recognition could not read is open, with its frame and tools, for the user.
        if (stoppedAtPhoto_)
            emit guidanceChanged(texts::kRunStoppedAtPhoto.arg(QFileInfo(window_.photoPath()).fileName()));
        busy->switchTo(WorkMode::Working);
        if (then)
            then(result);
    });
}

void BatchController::showProgress()
{
    showProgress(run_.index(), run_.size());
}

void BatchController::showProgress(int index, int size)
{
    const int done = std::min(index, size);
    emit guidanceChanged(texts::kContinuousProgress.arg(done).arg(size));
}

void BatchController::afterStep(const MainWindow::BatchStepShown& shown, const std::function<void(bool)>& then)
{
    if (!shown.stepped) {
        then(false); // the sheet of the last photo
        return;
    }
    const PhotoStep& step = shown.step;
    switch (step.result) {
    case PhotoStep::Framed:
        // Its box has named the photo; a sheet cut from a frame that is not around a face is no ID photo.
        stoppedAtPhoto_
            = continuousRunning_ && step.recognised && step.recognition.outcome.result != kRecognised;
        then(true);
        return;
    case PhotoStep::Stopped:
        // "中断" during a row of photos passed over silently: the run stops at this one, left to be framed by hand.
        window_.showFrameAgain();
        then(true);
        return;
    case PhotoStep::RanOut:
        // The photo left open is the last one passed over: it can still be framed and made by hand.
        if (step.passedOver > 0)
            window_.showFrameAgain();
        then(false);
        return;
    }
}

void BatchController::sheetAndNext(const Busy& busy, std::function<void(int)> then)
{
    window_.runBatchStep(busy, run_, true, continuousRunning_,
        [this, then = std::move(then)](const MainWindow::BatchStepShown& shown) {
            window_.setToolsEnabled(true);
            window_.reportMemory();
            afterStep(shown, [this, result = shown.sheet.result, then](bool more) {
                if (!more)
                    sayBatchEnded();
                emit sheetAvailable(true);
                if (then)
                    then(result);
            });
        });
}

void BatchController::sayBatchEnded()
{
    const std::string log = window_.session().logPath(window_.settings());
    window_.dialogs().Message(window_.appTitle(), QString::fromStdString(run_.endMessage(log)), MessageIcon::None);
    // The batch is over: "スキップ" has nothing left to pass over.
    finished_ = true;
    emit skipShown(false);
}

void BatchController::skip()
{
    const auto skipping = window_.begin(UserAction::Skip);
    if (!skipping || !run_.active() || finished_)
        return;

    run_.countSkipped();
    run_.stepToNext(window_.session(), window_.settings().keepFrame);
    emit angleChanged();
    window_.runBatchStep(skipping, run_, false, false, [this](const MainWindow::BatchStepShown& shown) {
        afterStep(shown, [this](bool more) {
            if (more)
                return;
            emit sheetAvailable(false);
            sayBatchEnded();
        });
    });
}

} // namespace vellicam
