// The main window's side of the print sheet: "シート作成", the session's sheet with its questions, the preview, and
// opening the output folder.
#include "main_window.h"

#include "batch_controller.h"
#include "main_window_texts.h"
#include "photo_view.h"
#include "sheet/output_path.h"
#include "sheet/recognition_log.h"
#include "sheet_preview_window.h"
#include "status_panels.h"
#include "window_prompts.h"

#include <string>
#include <vector>

namespace vellicam {

namespace texts = main_window_texts;

namespace {

// The error log in place of boxes for the sheet of an unattended run: nobody is there to read them. What the
// system said (details) follows the message on its line.
class LoggedPrompts final : public Prompts {
public:
    void message(const std::string& text) override { messages_.push_back(text); }
    bool ask(const std::string& /*question*/) override { return false; }
    void detail(const std::string& text) override { details_.push_back(text); }

    // Writes what was said about `photo`, one line per message, to the session's error log.
    void writeTo(const PhotoSession& session, const Settings& settings, Prompts& fallback) const
    {
        for (std::size_t i = 0; i < messages_.size(); ++i) {
            std::string reason = messages_[i];
            if (i + 1 == messages_.size() && !details_.empty())
                reason += " (" + details_.back() + ")";
            session.writeLog(settings, SheetErrorLine(LogTimestampNow(), session.photoPath(), reason), fallback);
        }
    }

private:
    std::vector<std::string> messages_;
    std::vector<std::string> details_;
};

} // namespace

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

    const Settings settings = this->settings();
    // Nobody is there to answer in an unattended batch: a photo that would need a question gets no sheet, and what
    // went wrong goes to the error log.
    const bool unattended = batch_->isActive() && ui_.continuousBox->isChecked() && settings.skipUnrecognised;
    const int previewHeight = preview_ ? preview_->previewHeight() : kPreviewHeight;
    runJob<SheetOutcome>(
        busy,
        [this, settings, unattended, previewHeight] {
            WindowPrompts shown(dialogs_, work_.appTitle);
            WorkerPrompts prompts(*worker_, shown);
            if (!unattended)
                return session_.makeSheet(settings, false, prompts, previewHeight);
            LoggedPrompts logged;
            SheetOutcome made = session_.makeSheet(settings, true, logged, previewHeight);
            logged.writeTo(session_, settings, prompts);
            return made;
        },
        [this, busy, then = std::move(then)](SheetOutcome made) {
            showSheet(made);
            if (batch_->isActive())
                batch_->countSheet(made.result);
            setToolsEnabled(true);
            reportMemory();
            const auto finish = [this, result = made.result, then] {
                ui_.makeSheetButton->setEnabled(true);
                ui_.makeSheetButton->setFocus();
                if (then)
                    then(result);
            };
            if (batch_->isActive())
                batch_->advance(busy, finish);
            else
                finish();
        });
}

void MainWindow::showSheet(const SheetOutcome& made)
{
    if (made.result != SheetOutcome::Saved)
        return;
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
