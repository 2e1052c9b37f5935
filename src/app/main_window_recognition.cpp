// The main window's side of face recognition: the "顔自動認識" button, the recognition run with its messages,
// log lines and proposed frame, and the manual pick of the background colour.
#include "main_window.h"

#include "batch_controller.h"
#include "image_widget.h"
#include "main_window_texts.h"
#include "photo_view.h"
#include "recognition/recognition_run.h"
#include "resample/rotate.h"
#include "resize_control.h"
#include "sheet/recognition_log.h"
#include "status_panels.h"
#include "window_prompts.h"

#include <QFileInfo>

#include <memory>

namespace vellicam {

namespace texts = main_window_texts;

namespace {

QString Text(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The outline of a face a click can frame instead: thin, and cyan, apart from the frame's red, the result outlines
// and the sample marks.
constexpr Rgb kFaceOutlineColour { 0, 255, 255 };

bool ShowResults(const MainWindow& window)
{
    return window.settings().showResults;
}

} // namespace

// The blue 2 × 2 marks where the head-top scans sampled the background, from `first` on. A picked colour is not
// sampled, so it leaves no marks.
void MainWindow::markSamples(const std::vector<SamplePoint>& samples, std::size_t first)
{
    if (first >= samples.size())
        return;
    ImageWidget* photo = ui_.photoImage;
    Bitmap& view = photo->picture();
    const ViewMapping mapping = pictureMapping();
    for (std::size_t i = first; i < samples.size(); ++i) {
        const ViewPoint p = ImageToView(samples[i].x, samples[i].y, mapping);
        FillRect(view, { p.x, p.y, p.x + 2, p.y + 2 }, kBlue);
    }
    photo->pictureChanged();
}

// Draws the proposed frame on the view with the recognition's result outlines and attaches the grips; the
// session keeps the frame once this has drawn it.
int MainWindow::drawProposal(const ProposedFramePlacement& placement, bool showResults)
{
    const ControlBounds& f = placement.frame;
    ui_.photoView->setFrameBounds(f);
    Bitmap& picture = ui_.frameImage->picture();
    if (!picture.Resize(f.width, f.height))
        return kRecognitionOutOfMemory;
    Fill(picture, kBlack);
    drawFrameOutline();
    if (showResults) {
        for (const ResultOutline& outline : placement.outlines) {
            work_.lastOutline = outline.rect;
            DrawRectOutline(picture, outline.rect, outline.colour);
        }
        // An outline may have run over the corner that carries the see-through colour.
        picture.SetPixel(0, picture.Height() - 1, kBlue);
        ui_.frameImage->setTransparent(true);
        ui_.frameImage->pictureChanged();
    }
    attachFrame();
    ui_.frameImage->show();
    return 0;
}

void MainWindow::recogniseFace()
{
    const auto recognising = begin(UserAction::Recognise);
    if (!recognising || !session_.hasPhoto())
        return;
    recognise(recognising, false, {});
}

// The thin outlines of the faces that can be framed instead by a click, drawn into the view's picture like the
// sample marks; taking them away paints the fitted photo back over them.
void MainWindow::showFaceOutlines(bool shown)
{
    Bitmap& view = ui_.photoImage->picture();
    const QPoint fittedAt((view.Width() - work_.fitted.Width()) / 2, (view.Height() - work_.fitted.Height()) / 2);
    for (const PhotoSession::FaceOutline& o : session_.otherFaceOutlines(pictureMapping())) {
        if (shown) {
            DrawRectOutline(view, o.rect, kFaceOutlineColour);
            continue;
        }
        const QRect area = QRect(QPoint(o.rect.left, o.rect.top), QPoint(o.rect.right - 1, o.rect.bottom - 1))
            & QRect(fittedAt, QSize(work_.fitted.Width(), work_.fitted.Height()));
        if (!area.isEmpty())
            CopyRect(work_.fitted,
                { area.left() - fittedAt.x(), area.top() - fittedAt.y(), area.right() + 1 - fittedAt.x(),
                    area.bottom() + 1 - fittedAt.y() },
                view, area.left(), area.top());
    }
    ui_.photoImage->pictureChanged();
}

void MainWindow::recognise(Busy busy, bool namePhoto, std::function<void(int)> then, int faceIndex)
{
    showFaceOutlines(false);
    session_.rememberEdit();
    ui_.photoView->detachGrips();
    ui_.frameImage->hide();
    ui_.photoImage->setToolTip(QString());
    setToolsEnabled(false);

    const bool showResults = ShowResults(*this);
    const Settings settings = this->settings();
    const bool silentSkip = SilentSkip(batch_->isActive(), ui_.continuousBox->isChecked(), settings.skipUnrecognised);
    const QString subject = namePhoto ? QFileInfo(photoPath()).fileName() : QString();
    const int side = viewSquareSide();
    const bool hadFrame = session_.hasFrame();
    const ControlBounds before = session_.frame();
    auto fitted = std::make_shared<Fitted>();

    runJob<RecognitionReport>(
        busy,
        [this, settings, silentSkip, subject, side, showResults, fitted, faceIndex, hooks = workerRecognitionHooks(),
            drawFrame = drawProposalOnGui(showResults)] {
            WindowPrompts shown(dialogs_, work_.appTitle);
            if (!subject.isEmpty())
                shown.nameSubject(subject);
            WorkerPrompts prompts(*worker_, shown);
            RecognitionReport report
                = session_.recogniseFace(faceIndex, settings, silentSkip, prompts, hooks, drawFrame);
            if (report.turned)
                *fitted = fitForView(side);
            return report;
        },
        [this, busy, showResults, hadFrame, before, fitted, then = std::move(then)](RecognitionReport report) {
            const int result = showRecognition(report, showResults, hadFrame, before, std::move(*fitted));
            if (then)
                then(result);
        });
}

RecognitionHooks MainWindow::workerRecognitionHooks() const
{
    RecognitionHooks hooks;
    BackgroundWork* worker = worker_.get();
    StatusPanels* panels = ui_.statusBar;
    hooks.status = [worker, panels](std::string_view text) {
        worker->post([panels, text = Text(text)] { panels->setPanel(kAnglePanel, text); });
    };
    // The run's pauses (before the first detection, before a face image is saved) are for a program that
    // recognises on the thread that paints its window; this window keeps painting while the worker recognises, so
    // it does not wait: a photo's frame comes half a second sooner.
    return hooks;
}

std::function<int(const ProposedFramePlacement&)> MainWindow::drawProposalOnGui(bool showResults)
{
    return [this, showResults](const ProposedFramePlacement& placement) {
        int drawn = kRecognitionOutOfMemory;
        (void)worker_->callOnGuiThread([&] { drawn = drawProposal(placement, showResults); });
        return drawn;
    };
}

int MainWindow::showRecognition(
    const RecognitionReport& report, bool showResults, bool hadFrame, const ControlBounds& before, Fitted fitted)
{
    if (report.turned) {
        // The session levelled the photo before proposing the frame: the view shows the turned photo (a batch step
        // has shown it already).
        if (fitted.side > 0)
            (void)showFittedImage(std::move(fitted));
        ui_.angleBox->setText(QString::fromStdString(RotationAngleText(session_.angle())));
    } else if (!report.turn.refusal.empty()) {
        say(report.turn.refusal);
    }
    if (showResults)
        markSamples(report.outcome.samples, 0);
    showFaceOutlines(true);
    // The run's last word stays first in the angle panel.
    ui_.statusBar->setPanel(
        kAnglePanel, Text(RecognitionPanelText(ui_.statusBar->panel(kAnglePanel).toStdString(), report)));
    refreshChecks();

    switch (report.outcome.result) {
    case kRecognised:
        setToolsEnabled(true);
        return kRecognised;
    case kRecognitionSkippedSilently:
        // The batch controller takes it from here: the tools and the frame are its business.
        return report.outcome.result;
    case kRecognitionCascadeMissing:
        switchOffRecognitionOnOpen();
        break;
    default:
        break;
    }
    // The frame that was on screen comes back unchanged on every failure but the silent skip.
    if (!report.framePlaced && hadFrame)
        setFrame(before);
    setToolsEnabled(true);
    ui_.frameImage->show();
    ui_.frameGrips->setControl(ui_.frameImage);
    return report.outcome.result;
}

void MainWindow::pickBackgroundToggled()
{
    if (!ui_.pickBackgroundBox->isChecked()) {
        // Only a pick waiting for its click ends here; whatever else runs goes on.
        if (mode_ == WorkMode::PickingColour) {
            pickCursor_.reset();
            setMode(WorkMode::Idle);
        }
        return;
    }
    // Checked while another action runs: the box stays checked, and later scans use whatever the swatch holds.
    if (!mayStart(UserAction::PickColour))
        return;
    setMode(WorkMode::PickingColour);
    pickCursor_.emplace(Qt::PointingHandCursor);
    ui_.statusBar->setPanel(kPromptPanel, texts::kPickPrompt);
    dialogs_.Message(work_.appTitle, texts::kPickGuide, MessageIcon::None);
}

void MainWindow::photoPressed(const MouseArgs& args)
{
    if (mode_ != WorkMode::PickingColour) {
        // A press inside another face's outline frames that face: recognition again, for it.
        if (ui_.headLineButton->isChecked() || args.button != Qt::LeftButton)
            return;
        const int face = session_.otherFaceAt(pictureMapping(), args.x, args.y);
        if (face < 0)
            return;
        const auto recognising = begin(UserAction::Recognise);
        if (recognising && session_.hasPhoto())
            recognise(recognising, false, {}, face);
        return;
    }
    // The colour as shown: the reduced photo on the view, not the full-size pixel.
    const Bitmap& view = ui_.photoImage->picture();
    if (args.x >= 0 && args.y >= 0 && args.x < view.Width() && args.y < view.Height()) {
        Fill(ui_.backgroundSwatch->picture(), view.Pixel(args.x, args.y));
        ui_.backgroundSwatch->pictureChanged();
    }
    setMode(WorkMode::Idle);
    pickCursor_.reset();
    // The plain background of the picked colour follows the pick.
    if (const Settings now = settings(); now.plainBackground && now.plainBackgroundPicked)
        previewPlainBackground();
}

} // namespace vellicam
