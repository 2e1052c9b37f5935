// The main window's side of face recognition: the "顔自動認識" button, the recognition run with its messages,
// log lines and proposed frame, and the manual pick of the background colour.
#include "tform1.h"

#include "recognition/private_folder.h"
#include "recognition/recognition_run.h"
#include "tform2.h"

#include <QEventLoop>
#include <QTimer>

#include <new>

namespace vellicam {

namespace {

const QString kPickPrompt = QStringLiteral("画面をクリックしてください");
const QString kPickGuide = QStringLiteral("画像上（赤枠以外）で背景色を指定する位置でクリックしてください");

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

// The settings of one run, read from the controls as they are now.
RecognitionSettings SettingsNow(const TForm1& form)
{
    RecognitionSettings s;
    if (const TForm2* f2 = form.Form2) {
        s.minFaceSize = f2->TrackBar6->value();
        s.precision = f2->TrackBar2->value();
        s.jpegQuality = f2->TrackBar4->value();
        s.upperHalfOnly = f2->CheckBox12->isChecked();
        s.detectChin = f2->CheckBox14->isChecked();
        s.saveFaceImage = f2->CheckBox6->isChecked();
        s.oversizeIsError = f2->CheckBox11->isChecked();
        s.correctHeadTop = f2->CheckBox7->isChecked();
        s.tolerance = f2->TrackBar1->value();
        s.ratio = f2->TrackBar3->value();
        s.silentSkip = SilentSkip(form.BatchMode, form.CheckBox3->isChecked(), f2->CheckBox9->isChecked());
    }
    s.usePickedColour = form.CheckBox5->isChecked();
    const Bitmap& swatch = form.Image4->Picture();
    s.pickedColour = swatch.Empty() ? kWhite : swatch.Pixel(0, 0);
    s.outputFolderText = form.Edit3->text().toStdString();
    s.photoFolder = form.PhotoFolder.toStdString();
    s.currentPhotoPath = form.CurrentPhotoPath.toStdString();
    return s;
}

bool ShowResults(const TForm1& form)
{
    return !form.Form2 || form.Form2->CheckBox3->isChecked();
}

// Image pixels on the view's own picture: the controls lie at content places, so no scroll position enters.
ViewMapping PictureMapping(const TForm1& form)
{
    return { form.ViewSide, form.ImageSide, 0, 0, form.Image1->width(), form.Image1->height() };
}

// The blue 2 × 2 marks where the head-top scans sampled the background, from `first` on. A picked colour is not
// sampled, so it leaves no marks.
void MarkSamples(TForm1& form, const std::vector<SamplePoint>& samples, std::size_t first)
{
    if (first >= samples.size())
        return;
    Bitmap& view = form.Image1->Picture();
    const ViewMapping mapping = PictureMapping(form);
    for (std::size_t i = first; i < samples.size(); ++i) {
        const ViewPoint p = ImageToView(samples[i].x, samples[i].y, mapping);
        FillRect(view, { p.x, p.y, p.x + 2, p.y + 2 }, kBlue);
    }
    form.Image1->PictureChanged();
}

// Puts the proposed frame on the view with the recognition's result outlines, and attaches the grips.
int PlaceProposal(TForm1& form, const RecognitionOutcome& outcome, bool showResults)
{
    ProposedFramePlacement placement;
    const ChinDetection* chin = outcome.chinAccepted ? &outcome.chin : nullptr;
    // A refusal means a proposal too far out to be placed at all; like a picture that cannot be had, the frame
    // that was on screen comes back.
    if (PlaceProposedFrame(outcome.proposal, outcome.face, chin, form.Limits(), PictureMapping(form), placement)
        != kPlaced)
        return kRecognitionOutOfMemory;

    form.StatusBar1->SetPanel(2, Text(ProposalStatusText(placement.beforeFit)));
    PumpEvents();

    const ControlBounds& f = placement.frame;
    form.Image3->setGeometry(f.left, f.top, f.width, f.height);
    Bitmap& picture = form.Image3->Picture();
    if (f.width < 1 || f.height < 1 || !picture.Resize(f.width, f.height))
        return kRecognitionOutOfMemory;
    Fill(picture, kBlack);
    form.DrawFrameOutline();
    if (showResults) {
        for (const ResultOutline& outline : placement.outlines) {
            form.FrameRect = outline.rect;
            DrawRectOutline(picture, outline.rect, outline.colour);
        }
        // An outline may have run over the corner that carries the see-through colour.
        picture.SetPixel(0, picture.Height() - 1, kBlue);
        form.Image3->SetTransparent(true);
        form.Image3->PictureChanged();
    }
    form.AttachFrame();
    form.Image3->show();
    return kRecognised;
}

} // namespace

void TForm1::BitBtn9Click()
{
    (void)RecogniseFace();
}

int TForm1::RecogniseFace()
{
    if (Busy)
        return kRecognised;
    SetBusy(true);
    ResizeFrame->SetControl(nullptr);
    Image3->hide();
    Image1->setToolTip(QString());
    SetToolsEnabled(false);

    // The frame that was on screen comes back unchanged on every failure but the silent skip.
    const auto restore = [this](int result) {
        SetBusy(false);
        SetToolsEnabled(true);
        Image3->show();
        ResizeFrame->SetControl(Image3);
        return result;
    };

    const bool showResults = ShowResults(*this);
    const RecognitionSettings settings = SettingsNow(*this);
    std::size_t marked = 0;
    RecognitionHooks hooks;
    hooks.pump = [] { PumpEvents(); };
    hooks.status = [this](std::string_view text) { StatusBar1->SetPanel(2, Text(text)); };
    // The run asks for 500 ms before the first detection and 50 ms before a face image is saved.
    hooks.pause = [this](int milliseconds) { WaitRepainting(milliseconds * RecognitionPauseMs / 500); };
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
            Dialogs.Message(AppTitle, Text(kMessageTempNotSaved), MessageIcon::None);
            return restore(kRecognitionTempNotSaved);
        }
        outcome = RecognitionRun(
            SquareBitmap, ExeFolder.toStdString(), runFolder.Path(), settings, SheetLayout, ImageSide, hooks);
    } catch (const std::bad_alloc&) {
        ShowOutOfMemory();
        return restore(kRecognitionOutOfMemory);
    }
    if (showResults)
        MarkSamples(*this, outcome.samples, marked);

    // The log line goes first, so that a photo the user gives up on at the message is listed all the same.
    if (const std::string line = RecognitionLogLine(outcome, LogTimestampNow(), CurrentPhotoPath.toStdString());
        !line.empty()) {
        const LogWriteOutcome written
            = WriteRecognitionLog(RecognitionLogPath(Edit3->text().toStdString(), PhotoFolder.toStdString()), line);
        if (!written.message.empty())
            Dialogs.Message(AppTitle, QString::fromStdString(written.message), MessageIcon::None);
    }

    switch (outcome.result) {
    case kRecognised:
        SetBusy(false);
        SetToolsEnabled(true);
        return kRecognised;
    case kRecognitionSkippedSilently:
        // The batch driver takes it from here: Busy, the tools and the frame are its business.
        return outcome.result;
    case kRecognitionOutOfMemory:
        ShowOutOfMemory();
        return restore(outcome.result);
    case kRecognitionCascadeMissing:
        Dialogs.Message(AppTitle, QString::fromStdString(outcome.message), MessageIcon::None);
        if (Form2)
            Form2->CheckBox4->setChecked(false);
        (void)Dialogs.OpenUrl(QUrl::fromLocalFile(QString::fromStdString(outcome.noticePath)));
        return restore(outcome.result);
    default:
        // The loader's or the writer's own words are for whoever runs the program from a terminal.
        if (!outcome.reason.empty())
            qWarning("recognition: %s", outcome.reason.c_str());
        if (!outcome.message.empty())
            Dialogs.Message(AppTitle, QString::fromStdString(outcome.message), MessageIcon::None);
        return restore(outcome.result);
    }
}

void TForm1::CheckBox5Click()
{
    if (!CheckBox5->isChecked()) {
        PickingBackground = false;
        PickCursor.reset();
        SetBusy(false);
        return;
    }
    // Checked while another action runs: the box stays checked, and later scans use whatever the swatch holds.
    if (Busy)
        return;
    SetBusy(true);
    PickCursor.emplace(Qt::PointingHandCursor);
    PickingBackground = true;
    StatusBar1->SetPanel(3, kPickPrompt);
    Dialogs.Message(AppTitle, kPickGuide, MessageIcon::None);
}

void TForm1::Image1MouseDown(const MouseArgs& args)
{
    if (!PickingBackground)
        return;
    // The colour as shown: the reduced photo on the view, not the full-size pixel.
    const Bitmap& view = Image1->Picture();
    if (args.x >= 0 && args.y >= 0 && args.x < view.Width() && args.y < view.Height()) {
        Fill(Image4->Picture(), view.Pixel(args.x, args.y));
        Image4->PictureChanged();
    }
    PickingBackground = false;
    SetBusy(false);
    PickCursor.reset();
}

} // namespace vellicam
