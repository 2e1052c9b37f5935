// The main window's side of the print sheet: "シート作成", the session's sheet with its questions, the preview,
// "印刷" and opening the output folder.
#include "main_window.h"

#include "batch_controller.h"
#include "main_window_texts.h"
#include "photo_view.h"
#include "sheet/output_path.h"
#include "sheet/recognition_log.h"
#include "sheet_preview_window.h"
#include "sheet_printing.h"
#include "status_panels.h"
#include "sheet_logged_prompts.h"
#include "window_prompts.h"

#include <string>
#include <vector>

namespace vellicam {

namespace texts = main_window_texts;

void MainWindow::makeSheet()
{
    const auto making = begin(UserAction::MakeSheet);
    if (!making || !session_.hasPhoto())
        return;
    batch_->clearAbort();

    WindowPrompts prompts(dialogs_, work_.appTitle);
    const Settings settings = this->settings();
    session_.startSheetAction(settings, prompts);

    // Also after an abandoned or failed sheet: the user asked to see the folder after every sheet action.
    const auto openFolder = [this](int /*result*/) { openOutputFolder(); };
    if (batch_->isActive() && ui_.continuousBox->isChecked() && settings.recogniseOnOpen)
        batch_->runContinuous(making, openFolder);
    else
        makeSheetOfPhoto(making, openFolder);
}

void MainWindow::makeSheetOfPhoto(Busy busy, std::function<void(int)> then)
{
    if (preview_)
        preview_->show();
    setToolsEnabled(false);

    if (ui_.angleBox->text().isEmpty() || !ui_.keepFrameBox->isChecked()) {
        // Only the angle for the next photo: the square already carries the turn made on this one.
        session_.setAngle(0);
        ui_.angleBox->setText(QStringLiteral("0"));
    }
    reportMemory();

    if (batch_->isActive()) {
        batch_->sheetAndNext(busy, std::move(then));
        return;
    }
    // What the status bar said of an earlier sheet is no longer true of this one.
    ui_.statusBar->setPanel(kGuidancePanel, QString());
    const Settings settings = this->settings();
    const int previewHeight = preview_ ? preview_->previewHeight() : kPreviewHeight;
    runJob<SheetOutcome>(
        busy,
        [this, settings, previewHeight] {
            WindowPrompts shown(dialogs_, work_.appTitle);
            WorkerPrompts prompts(*worker_, shown);
            return session_.makeSheet(settings, false, prompts, previewHeight);
        },
        [this, then = std::move(then)](SheetOutcome made) {
            showSheet(made);
            setToolsEnabled(true);
            reportMemory();
            ui_.makeSheetButton->setEnabled(true);
            ui_.makeSheetButton->setFocus();
            if (then)
                then(made.result);
        });
}

void MainWindow::setPreviewWindow(SheetPreviewWindow* preview)
{
    preview_ = preview;
    if (!preview_)
        return;
    connect(preview_, &SheetPreviewWindow::printRequested, this, &MainWindow::printLastSheet);
    preview_->setPrintable(session_.lastSheet().sheet != nullptr);
}

void MainWindow::printLastSheet()
{
    // Not while an action runs: the sheet being made would become the last one half-way.
    const auto printing = begin(UserAction::PrintSheet);
    if (!printing)
        return;
    PrintSavedSheet(dialogs_, work_.appTitle, session_.lastSheet());
}

void MainWindow::showSheet(const SheetOutcome& made)
{
    // The failure's box came from the session; the panel keeps its first line, the whole in its tip.
    if (made.result == SheetOutcome::SaveFailed)
        ui_.statusBar->setPanel(
            kGuidancePanel, QString::fromStdString(made.status), QString::fromStdString(made.failure));
    if (made.result != SheetOutcome::Saved)
        return;
    const bool printable = session_.lastSheet().sheet != nullptr;
    printButton_->setEnabled(printable);
    if (preview_)
        preview_->setPrintable(printable);
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
