// The main window's side of the print sheet: "シート作成", the session's sheet with its questions, the preview, and
// opening the output folder.
#include "main_window.h"

#include "batch_controller.h"
#include "main_window_texts.h"
#include "photo_view.h"
#include "sheet/output_path.h"
#include "sheet_preview_window.h"
#include "status_panels.h"
#include "window_prompts.h"

namespace vellicam {

namespace texts = main_window_texts;

void MainWindow::makeSheet()
{
    const auto making = begin(UserAction::MakeSheet);
    if (!making)
        return;
    batch_->clearAbort();

    WindowPrompts prompts(dialogs_, work_.appTitle);
    session_.startSheetAction(settings(), prompts);

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
        session_.setAngle(0);
        ui_.angleBox->setText(QStringLiteral("0"));
    }

    reportMemory();
    const int made = composeAndSaveSheet();
    if (batch_->isActive())
        batch_->countSheet(made);
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
    const Settings settings = this->settings();
    // Nobody is there to answer in an unattended batch: a photo that would need a question gets no sheet.
    const bool unattended
        = batch_->isActive() && ui_.continuousBox->isChecked() && settingsDialog_ && settings.skipUnrecognised;
    WindowPrompts prompts(dialogs_, work_.appTitle);
    SheetOutcome made;
    {
        WorkScope work(*this);
        EventPump pump;
        made = session_.makeSheet(
            settings, unattended, prompts, preview_ ? preview_->previewHeight() : kPreviewHeight, pump.AsProgress());
    }
    if (made.result != SheetOutcome::Saved)
        return made.result;

    // The sheet is on disk already; a preview that cannot be had only leaves the preview empty.
    if (preview_) {
        if (!made.hasPreview)
            preview_->clearPreview();
        else if (!preview_->showPreview(session_.preview())) {
            showOutOfMemory();
            preview_->clearPreview();
        }
    }
    ui_.statusBar->setPanel(kGuidancePanel, QString::fromStdString(made.status));
    if (!batch_->isActive())
        dialogs_.Message(work_.appTitle, texts::kSaved, MessageIcon::None);
    return made.result;
}

void MainWindow::openOutputFolder()
{
    if (!ui_.openFolderBox->isChecked())
        return;
    const std::string folder = OpenFolderTarget(ui_.outputFolderEdit->text().toStdString(), session_.photoFolder());
    if (folder.empty())
        return;
    // Whether the desktop could open it is not the sheet's concern: the sheet is saved or its failure was told.
    (void)dialogs_.OpenUrl(QUrl::fromLocalFile(QString::fromStdString(folder)));
}

} // namespace vellicam
