// The main window's side of face recognition: the "顔自動認識" button, the recognition run with its messages,
// log lines and proposed frame, and the manual pick of the background colour.
#include "main_window.h"

#include "batch_controller.h"
#include "image_widget.h"
#include "main_window_texts.h"
#include "photo_view.h"
#include "recognition/private_folder.h"
#include "recognition/recognition_run.h"
#include "resize_control.h"
#include "sheet/recognition_log.h"
#include "status_panels.h"

#include <QEventLoop>
#include <QTimer>

#include <new>

namespace vellicam {

namespace texts = main_window_texts;

namespace {

QString Text(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The waits keep repainting, but hold the user's input back for the next pump point: a click on "新規作成" in
// the middle would reset the working image the run is reading.
void WaitRepainting(int milliseconds)
{
    if (milliseconds <= 0)
        return;
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

// The settings of one run, as they are now.
RecognitionSettings SettingsNow(const MainWindow& window, bool batchActive)
{
    const MainWindow::Controls& ui = window.controls();
    const MainWindow::WorkState& work = window.workState();
    RecognitionSettings s;
    if (window.settingsDialog()) {
        const DialogSettings settings = window.settings();
        s.minFaceSize = settings.minFaceSize;
        s.precision = settings.precision;
        s.jpegQuality = settings.jpegQuality;
        s.upperHalfOnly = settings.upperHalfOnly;
        s.detectChin = settings.detectChin;
        s.saveFaceImage = settings.saveFaceImage;
        s.oversizeIsError = settings.oversizeIsError;
        s.correctHeadTop = settings.correctHeadTop;
        s.tolerance = settings.backgroundTolerance;
        s.ratio = settings.headTopRatio;
        s.silentSkip = SilentSkip(batchActive, ui.continuousBox->isChecked(), settings.skipUnrecognised);
    }
    s.usePickedColour = ui.pickBackgroundBox->isChecked();
    const Bitmap& swatch = ui.backgroundSwatch->picture();
    s.pickedColour = swatch.Empty() ? kWhite : swatch.Pixel(0, 0);
    s.outputFolderText = ui.outputFolderEdit->text().toStdString();
    s.photoFolder = work.photoFolder.toStdString();
    s.currentPhotoPath = work.photoPath.toStdString();
    return s;
}

bool ShowResults(const MainWindow& window)
{
    return !window.settingsDialog() || window.settings().showResults;
}

// The blue 2 × 2 marks where the head-top scans sampled the background, from `first` on. A picked colour is not
// sampled, so it leaves no marks.
void MarkSamples(MainWindow& window, const std::vector<SamplePoint>& samples, std::size_t first)
{
    if (first >= samples.size())
        return;
    ImageWidget* photo = window.controls().photoImage;
    Bitmap& view = photo->picture();
    const ViewMapping mapping = window.pictureMapping();
    for (std::size_t i = first; i < samples.size(); ++i) {
        const ViewPoint p = ImageToView(samples[i].x, samples[i].y, mapping);
        FillRect(view, { p.x, p.y, p.x + 2, p.y + 2 }, kBlue);
    }
    photo->pictureChanged();
}

// Puts the proposed frame on the view with the recognition's result outlines, and attaches the grips.
int PlaceProposal(MainWindow& window, const RecognitionOutcome& outcome, bool showResults)
{
    const MainWindow::Controls& ui = window.controls();
    ProposedFramePlacement placement;
    const ChinDetection* chin = outcome.chinAccepted ? &outcome.chin : nullptr;
    // A refusal means a proposal too far out to be placed at all; like a picture that cannot be had, the frame
    // that was on screen comes back.
    if (PlaceProposedFrame(
            outcome.proposal, outcome.face, chin, window.frameLimits(), window.pictureMapping(), placement)
        != kPlaced)
        return kRecognitionOutOfMemory;

    ui.statusBar->setPanel(kAnglePanel, Text(ProposalStatusText(placement.beforeFit)));
    PumpEvents();

    const ControlBounds& f = placement.frame;
    ui.photoView->setFrameBounds(f);
    Bitmap& picture = ui.frameImage->picture();
    if (f.width < 1 || f.height < 1 || !picture.Resize(f.width, f.height))
        return kRecognitionOutOfMemory;
    Fill(picture, kBlack);
    window.drawFrameOutline();
    if (showResults) {
        for (const ResultOutline& outline : placement.outlines) {
            window.workState().lastOutline = outline.rect;
            DrawRectOutline(picture, outline.rect, outline.colour);
        }
        // An outline may have run over the corner that carries the see-through colour.
        picture.SetPixel(0, picture.Height() - 1, kBlue);
        ui.frameImage->setTransparent(true);
        ui.frameImage->pictureChanged();
    }
    window.attachFrame();
    ui.frameImage->show();
    return kRecognised;
}

} // namespace

int MainWindow::recogniseFace()
{
    if (work_.busy)
        return kRecognised;
    setBusy(true);
    ui_.photoView->detachGrips();
    ui_.frameImage->hide();
    ui_.photoImage->setToolTip(QString());
    setToolsEnabled(false);

    // The frame that was on screen comes back unchanged on every failure but the silent skip.
    const auto restore = [this](int result) {
        setBusy(false);
        setToolsEnabled(true);
        ui_.frameImage->show();
        ui_.frameGrips->setControl(ui_.frameImage);
        return result;
    };

    const bool showResults = ShowResults(*this);
    const RecognitionSettings settings = SettingsNow(*this, batch_->isActive());
    std::size_t marked = 0;
    RecognitionHooks hooks;
    hooks.pump = [] { PumpEvents(); };
    hooks.status = [this](std::string_view text) { ui_.statusBar->setPanel(kAnglePanel, Text(text)); };
    // The run asks for 500 ms before the first detection and 50 ms before a face image is saved.
    hooks.pause = [this](int milliseconds) { WaitRepainting(milliseconds * work_.recognitionPauseMs / 500); };
    hooks.placeFrame = [&](const RecognitionOutcome& outcome) {
        if (showResults) {
            MarkSamples(*this, outcome.samples, marked);
            marked = outcome.samples.size();
        }
        return PlaceProposal(*this, outcome, showResults);
    };

    RecognitionOutcome outcome;
    try {
        const std::string workFolder = RecognitionWorkFolder();
        std::string reason;
        const bool ready = EnsurePrivateFolder(workFolder, &reason) == kPrivateFolderReady;
        const RunFolder runFolder(ready ? workFolder : std::string());
        if (runFolder.Path().empty()) {
            qWarning("recognition work folder %s: %s", workFolder.c_str(), ready ? "no run folder" : reason.c_str());
            dialogs_.Message(work_.appTitle, Text(kMessageTempNotSaved), MessageIcon::None);
            return restore(kRecognitionTempNotSaved);
        }
        outcome = RecognitionRun(
            work_.square, work_.programFolder.toStdString(), runFolder.Path(), settings, work_.sheetLayout, work_.imageSide,
            hooks);
    } catch (const std::bad_alloc&) {
        showOutOfMemory();
        return restore(kRecognitionOutOfMemory);
    }
    if (showResults)
        MarkSamples(*this, outcome.samples, marked);

    // The log line goes first, so that a photo the user gives up on at the message is listed all the same.
    if (const std::string line = RecognitionLogLine(outcome, LogTimestampNow(), work_.photoPath.toStdString());
        !line.empty()) {
        const LogWriteOutcome written
            = WriteRecognitionLog(RecognitionLogPath(ui_.outputFolderEdit->text().toStdString(), work_.photoFolder.toStdString()), line);
        if (!written.message.empty())
            dialogs_.Message(work_.appTitle, QString::fromStdString(written.message), MessageIcon::None);
    }

    switch (outcome.result) {
    case kRecognised:
        setBusy(false);
        setToolsEnabled(true);
        return kRecognised;
    case kRecognitionSkippedSilently:
        // The batch controller takes it from here: the busy mark, the tools and the frame are its business.
        return outcome.result;
    case kRecognitionOutOfMemory:
        showOutOfMemory();
        return restore(outcome.result);
    case kRecognitionCascadeMissing:
        dialogs_.Message(work_.appTitle, QString::fromStdString(outcome.message), MessageIcon::None);
        if (settingsDialog_)
            settingsDialog_->setRecogniseOnOpen(false);
        (void)dialogs_.OpenUrl(QUrl::fromLocalFile(QString::fromStdString(outcome.noticePath)));
        return restore(outcome.result);
    default:
        // The loader's or the writer's own words are for whoever runs the program from a terminal.
        if (!outcome.reason.empty())
            qWarning("recognition: %s", outcome.reason.c_str());
        if (!outcome.message.empty())
            dialogs_.Message(work_.appTitle, QString::fromStdString(outcome.message), MessageIcon::None);
        return restore(outcome.result);
    }
}

void MainWindow::pickBackgroundToggled()
{
    if (!ui_.pickBackgroundBox->isChecked()) {
        work_.pickingBackground = false;
        pickCursor_.reset();
        setBusy(false);
        return;
    }
    // Checked while another action runs: the box stays checked, and later scans use whatever the swatch holds.
    if (work_.busy)
        return;
    setBusy(true);
    pickCursor_.emplace(Qt::PointingHandCursor);
    work_.pickingBackground = true;
    ui_.statusBar->setPanel(kPromptPanel, texts::kPickPrompt);
    dialogs_.Message(work_.appTitle, texts::kPickGuide, MessageIcon::None);
}

void MainWindow::photoPressed(const MouseArgs& args)
{
    if (!work_.pickingBackground)
        return;
    // The colour as shown: the reduced photo on the view, not the full-size pixel.
    const Bitmap& view = ui_.photoImage->picture();
    if (args.x >= 0 && args.y >= 0 && args.x < view.Width() && args.y < view.Height()) {
        Fill(ui_.backgroundSwatch->picture(), view.Pixel(args.x, args.y));
        ui_.backgroundSwatch->pictureChanged();
    }
    work_.pickingBackground = false;
    setBusy(false);
    pickCursor_.reset();
}

} // namespace vellicam
