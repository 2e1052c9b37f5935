// The main window's side of the print sheet: "シート作成", the cut from the frame, composing and saving the sheet,
// the preview, and opening the output folder.
#include "tform1.h"

#include "sheet/output_path.h"
#include "sheet/recognition_log.h"
#include "sheet/sheet_compose.h"
#include "tform2.h"
#include "tform3.h"

namespace vellicam {

namespace {

const QString kEnlargementQuestion = QStringLiteral(
    "選択範囲が出力先サイズより小さいので拡大されます。\n画質が悪くなる可能性があります。\n中断しますか？");
const QString kReductionFailedQuestion = QStringLiteral("縮小に失敗しました。中断しますか？");
const QString kSavedText = QStringLiteral("保存しました。");
const QString kSavedStatus = QStringLiteral("保存しました。:");

// ComposeSheet's results. The sheet action itself does not look at them; the batch goes on whatever they are.
enum ComposeResult : int {
    kComposeSaved = 0,
    kComposeAbandoned = -1, // at a question, or silently in an unattended batch; nothing written
    kComposeNotDrawn = -2, // the sheet could not be drawn (no photo, no memory); nothing written
    kComposeSaveFailed = -4, // the save's message has been shown; no preview
};

} // namespace

void TForm1::BitBtn3Click()
{
    if (Busy)
        return;
    SetBusy(true);
    ScopeExit done([this] { SetBusy(false); });
    AbortRequested = false;

    // The separator marks where this run's recognition failures begin; it never starts a log by itself.
    const std::string logPath = RecognitionLogPath(Edit3->text().toStdString(), PhotoFolder.toStdString());
    const LogWriteOutcome logged = WriteLogSeparator(logPath, LogTimestampNow());
    if (!logged.message.empty())
        Dialogs.Message(AppTitle, QString::fromStdString(logged.message), MessageIcon::None);

    if (BatchMode && CheckBox3->isChecked() && Form2 && Form2->CheckBox4->isChecked())
        RunContinuous();
    else
        CreateSheet();

    // Also after an abandoned or failed sheet: the user asked to see the folder after every sheet action.
    OpenOutputFolder();
    SetBusy(false);
}

int TForm1::CreateSheet()
{
    ScopeExit done([this] { SetBusy(false); });
    if (Form3)
        Form3->show();
    SetToolsEnabled(false);

    if (Edit4->text().isEmpty() || !CheckBox4->isChecked()) {
        // Only the angle for the next photo: the square already carries the turn made on this one.
        RotationAngle = 0;
        Edit4->setText(QStringLiteral("0"));
    }

    CropRect crop;
    int cut = CropRectangle(crop);
    if (cut == kCropOk)
        cut = CutPhoto(SquareBitmap, crop, PhotoBitmap);
    if (cut == kCropOutOfMemory)
        ShowOutOfMemory();

    ReportMemory();
    // A frame that gives no cut leaves PhotoBitmap holding something else: no sheet is better than a wrong one.
    if (cut == kCropOk)
        (void)ComposeSheet();
    SetToolsEnabled(true);
    ReportMemory();

    if (BatchMode)
        AdvanceBatch();

    BitBtn3->setEnabled(true);
    BitBtn3->setFocus();
    SetBusy(false);
    return 0;
}

int TForm1::ComposeSheet()
{
    const bool unattended = BatchMode && CheckBox3->isChecked() && Form2 && Form2->CheckBox9->isChecked();

    if (NeedsEnlargement(PhotoBitmap, SheetLayout)) {
        // Nobody is there to answer in an unattended batch: such a photo is passed over without a sheet.
        if (unattended)
            return kComposeAbandoned;
        if (Dialogs.Ask(AppTitle, kEnlargementQuestion))
            return kComposeAbandoned;
    }

    SheetOptions options;
    options.centreMarks = Form2 && Form2->CheckBox1->isChecked();
    options.cornerMarks = Form2 && Form2->CheckBox2->isChecked();
    options.scale = Form2 && Form2->CheckBox5->isChecked();
    options.sharpen = CheckBox1->isChecked();

    SheetReport report;
    int composed = kSheetOk;
    {
        WorkScope work(*this);
        EventPump pump;
        composed = vellicam::ComposeSheet(PhotoBitmap, SheetLayout, options, SheetBitmap, &report, pump.AsProgress());
    }
    if (composed == kSheetOutOfMemory)
        ShowOutOfMemory();
    if (composed != kSheetOk)
        return kComposeNotDrawn;

    // A refused reduction (an odd aspect, a size beyond the planes) leaves a stretched, blockier cell.
    if (report.ReductionRefused() && !unattended && Dialogs.Ask(AppTitle, kReductionFailedQuestion))
        return kComposeAbandoned;

    const QString path = QString::fromStdString(
        OutputPath(Edit3->text().toStdString(), PhotoFolder.toStdString(), CurrentPhotoPath.toStdString()));
    const int quality = Form2 ? Form2->TrackBar4->value() : 90;
    const SaveSheetOutcome saved = SaveSheetJpeg(path.toStdString(), SheetBitmap, quality, SheetLayout.Resolution);
    if (saved.code != kSheetSaved) {
        Dialogs.Message(AppTitle, QString::fromStdString(saved.message), MessageIcon::None);
        return kComposeSaveFailed;
    }

    const int previewHeight = Form3 ? Form3->Image1->height() : kPreviewHeight;
    int previewed = 0;
    {
        WorkScope work(*this);
        EventPump pump;
        previewed = MakePreview(SheetBitmap, SheetBitmap, previewHeight, pump.AsProgress());
    }
    // The sheet is on disk already; a preview that cannot be had only leaves the preview empty.
    if (previewed == kSheetOk && Form3 && !Form3->ShowPreview(SheetBitmap))
        previewed = kSheetOutOfMemory;
    if (previewed == kSheetOutOfMemory)
        ShowOutOfMemory();
    if (previewed != kSheetOk && Form3)
        Form3->ClearPreview();

    StatusBar1->SetPanel(0, kSavedStatus + path);
    if (!BatchMode)
        Dialogs.Message(AppTitle, kSavedText, MessageIcon::None);
    return kComposeSaved;
}

void TForm1::OpenOutputFolder()
{
    if (!CheckBox2->isChecked())
        return;
    const std::string folder = OpenFolderTarget(Edit3->text().toStdString(), PhotoFolder.toStdString());
    if (folder.empty())
        return;
    // Whether the desktop could open it is not the sheet's concern: the sheet is saved or its failure was told.
    (void)Dialogs.OpenUrl(QUrl::fromLocalFile(QString::fromStdString(folder)));
}

} // namespace vellicam
