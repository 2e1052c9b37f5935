// The main window's side of the print sheet: "シート作成", the cut from the frame, composing and saving the sheet,
// the preview, and opening the output folder.
#include "main_window.h"

#include "batch_controller.h"
#include "main_window_texts.h"
#include "photo_view.h"
#include "sheet/output_path.h"
#include "sheet/recognition_log.h"
#include "sheet/sheet_compose.h"
#include "sheet_preview_window.h"
#include "status_panels.h"

namespace vellicam {

namespace texts = main_window_texts;

namespace {

// composeAndSaveSheet's results. The sheet action itself does not look at them; the batch goes on whatever they
// are.
enum ComposeResult : int {
    kComposeSaved = 0,
    kComposeAbandoned = -1, // at a question, or silently in an unattended batch; nothing written
    kComposeNotDrawn = -2, // the sheet could not be drawn (no photo, no memory); nothing written
    kComposeSaveFailed = -4, // the save's message has been shown; no preview
};

} // namespace

void MainWindow::makeSheet()
{
    if (work_.busy)
        return;
    setBusy(true);
    ScopeExit done([this] { setBusy(false); });
    batch_->clearAbort();

    // The separator marks where this run's recognition failures begin; it never starts a log by itself.
    const std::string logPath
        = RecognitionLogPath(ui_.outputFolderEdit->text().toStdString(), work_.photoFolder.toStdString());
    const LogWriteOutcome logged = WriteLogSeparator(logPath, LogTimestampNow());
    if (!logged.message.empty())
        dialogs_.Message(work_.appTitle, QString::fromStdString(logged.message), MessageIcon::None);

    if (batch_->isActive() && ui_.continuousBox->isChecked() && settingsDialog_ && settings().recogniseOnOpen)
        batch_->runContinuous();
    else
        makeSheetOfPhoto();

    // Also after an abandoned or failed sheet: the user asked to see the folder after every sheet action.
    openOutputFolder();
    setBusy(false);
}

int MainWindow::makeSheetOfPhoto()
{
    ScopeExit done([this] { setBusy(false); });
    if (preview_)
        preview_->show();
    setToolsEnabled(false);

    if (ui_.angleBox->text().isEmpty() || !ui_.keepFrameBox->isChecked()) {
        // Only the angle for the next photo: the square already carries the turn made on this one.
        work_.rotationAngle = 0;
        ui_.angleBox->setText(QStringLiteral("0"));
    }

    CropRect crop;
    int cut = cropRectangle(crop);
    if (cut == kCropOk)
        cut = CutPhoto(work_.square, crop, work_.cut);
    if (cut == kCropOutOfMemory)
        showOutOfMemory();

    reportMemory();
    // A frame that gives no cut leaves the cut holding something else: no sheet is better than a wrong one.
    if (cut == kCropOk)
        (void)composeAndSaveSheet();
    setToolsEnabled(true);
    reportMemory();

    if (batch_->isActive())
        batch_->advance();

    ui_.makeSheetButton->setEnabled(true);
    ui_.makeSheetButton->setFocus();
    setBusy(false);
    return 0;
}

int MainWindow::composeAndSaveSheet()
{
    const DialogSettings settings = this->settings();
    const bool unattended
        = batch_->isActive() && ui_.continuousBox->isChecked() && settingsDialog_ && settings.skipUnrecognised;

    if (NeedsEnlargement(work_.cut, work_.sheetLayout)) {
        // Nobody is there to answer in an unattended batch: such a photo is passed over without a sheet.
        if (unattended)
            return kComposeAbandoned;
        if (dialogs_.Ask(work_.appTitle, texts::kEnlargementQuestion))
            return kComposeAbandoned;
    }

    SheetOptions options;
    options.centreMarks = settingsDialog_ && settings.centreMarks;
    options.cornerMarks = settingsDialog_ && settings.cornerMarks;
    options.scale = settingsDialog_ && settings.scale;
    options.sharpen = ui_.sharpenBox->isChecked();

    SheetReport report;
    int composed = kSheetOk;
    {
        WorkScope work(*this);
        EventPump pump;
        composed = ComposeSheet(work_.cut, work_.sheetLayout, options, work_.sheet, &report, pump.AsProgress());
    }
    if (composed == kSheetOutOfMemory)
        showOutOfMemory();
    if (composed != kSheetOk)
        return kComposeNotDrawn;

    // A refused reduction (an odd aspect, a size beyond the planes) leaves a stretched, blockier cell.
    if (report.ReductionRefused() && !unattended && dialogs_.Ask(work_.appTitle, texts::kReductionFailedQuestion))
        return kComposeAbandoned;

    const QString path = QString::fromStdString(OutputPath(ui_.outputFolderEdit->text().toStdString(),
        work_.photoFolder.toStdString(), work_.photoPath.toStdString()));
    const int quality = settingsDialog_ ? settings.jpegQuality : 90;
    const SaveSheetOutcome saved
        = SaveSheetJpeg(path.toStdString(), work_.sheet, quality, work_.sheetLayout.Resolution);
    if (saved.code != kSheetSaved) {
        dialogs_.Message(work_.appTitle, QString::fromStdString(saved.message), MessageIcon::None);
        return kComposeSaveFailed;
    }

    const int previewHeight = preview_ ? preview_->previewHeight() : kPreviewHeight;
    int previewed = 0;
    {
        WorkScope work(*this);
        EventPump pump;
        previewed = MakePreview(work_.sheet, work_.sheet, previewHeight, pump.AsProgress());
    }
    // The sheet is on disk already; a preview that cannot be had only leaves the preview empty.
    if (previewed == kSheetOk && preview_ && !preview_->showPreview(work_.sheet))
        previewed = kSheetOutOfMemory;
    if (previewed == kSheetOutOfMemory)
        showOutOfMemory();
    if (previewed != kSheetOk && preview_)
        preview_->clearPreview();

    ui_.statusBar->setPanel(kGuidancePanel, texts::kSavedStatus + path);
    if (!batch_->isActive())
        dialogs_.Message(work_.appTitle, texts::kSaved, MessageIcon::None);
    return kComposeSaved;
}

void MainWindow::openOutputFolder()
{
    if (!ui_.openFolderBox->isChecked())
        return;
    const std::string folder
        = OpenFolderTarget(ui_.outputFolderEdit->text().toStdString(), work_.photoFolder.toStdString());
    if (folder.empty())
        return;
    // Whether the desktop could open it is not the sheet's concern: the sheet is saved or its failure was told.
    (void)dialogs_.OpenUrl(QUrl::fromLocalFile(QString::fromStdString(folder)));
}

} // namespace vellicam
