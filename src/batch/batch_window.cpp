// The main window's side of batch work: files and folders dropped on the window, the folder's photos worked
// through one by one, skipping and aborting.
#include "tform1.h"

#include "image/folder_scan.h"
#include "sheet/output_path.h"
#include "sheet/recognition_log.h"
#include "tform2.h"

#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QLineEdit>
#include <QMimeData>

#include <algorithm>

namespace vellicam {

namespace {

const QString kAllDoneText
    = QStringLiteral("このフォルダ内の画像は全て処理済みです。\n上書きする場合には[設定]画面の「同名のファイル"
                     "は上書きしない」のチェックを外して下さい。");
const QString kSavedText = QStringLiteral("保存しました。");
const QString kAbortedText = QStringLiteral("中断しました。");
// The error log's label for a photo of the batch that could not be opened, in the style of recognition's labels.
constexpr const char* kLoadErrorLabel = "  画像読込エラー:  ";

// The local paths a drag carries, in drop order; items that are not local files are left out.
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

// A folder path with exactly the one trailing separator the output folder rule expects.
QString WithSeparator(const QString& folder)
{
    return folder.endsWith('/') ? folder : folder + '/';
}

bool AutoRecognition(const TForm1& form)
{
    return form.Form2 && form.Form2->CheckBox4->isChecked();
}

bool SkipDone(const TForm1& form)
{
    return form.Form2 && form.Form2->CheckBox8->isChecked();
}

bool IsDone(const TForm1& form, const QString& photo)
{
    return IsPhotoDone(form.Edit3->text().toStdString(), form.PhotoFolder.toStdString(), photo.toStdString());
}

// A photo of the batch that did not open goes into the error log, so that an unattended run can say afterwards
// which photos it passed over and why.
void LogLoadFailure(TForm1& form, const QString& photo)
{
    const std::string line
        = LogTimestampNow() + kLoadErrorLabel + photo.toStdString() + "  (" + form.LastLoadFailure.toStdString() + ")";
    const std::string path = RecognitionLogPath(form.Edit3->text().toStdString(), form.PhotoFolder.toStdString());
    const LogWriteOutcome logged = WriteRecognitionLog(path, line);
    if (!logged.message.empty())
        form.Dialogs.Message(form.AppTitle, QString::fromStdString(logged.message), MessageIcon::None);
}

} // namespace

void TForm1::AcceptFileDrops()
{
    setAcceptDrops(true);
    // A text box would take a dropped path as text to insert (or refuse it, read-only); the window decides what
    // a drop on the output folder box means.
    for (QLineEdit* edit : findChildren<QLineEdit*>())
        edit->setAcceptDrops(false);
}

void TForm1::dragEnterEvent(QDragEnterEvent* event)
{
    // Refused while an action runs: a drop resets the working bitmaps that action is reading.
    if (!Busy && event->mimeData()->hasUrls() && !LocalPaths(event->mimeData()->urls()).isEmpty())
        event->acceptProposedAction();
    else
        event->ignore();
}

void TForm1::dragMoveEvent(QDragMoveEvent* event)
{
    if (!Busy && event->mimeData()->hasUrls())
        event->acceptProposedAction();
    else
        event->ignore();
}

void TForm1::dropEvent(QDropEvent* event)
{
    if (!event->mimeData()->hasUrls()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    activateWindow();
    raise();
    HandleDrop(event->mimeData()->urls(), event->position().toPoint());
}

void TForm1::HandleDrop(const QList<QUrl>& urls, const QPoint& position)
{
    if (Busy)
        return;
    const QStringList items = LocalPaths(urls);
    if (items.isEmpty())
        return;
    const QString& last = items.last();

    if (IsDroppedJpegName(last.toStdString())) {
        ResizeFrame->SetControl(nullptr);
        CurrentPhotoPath.clear();
        ResetWorkspace();
        PhotoFolder = WithSeparator(QFileInfo(last).absolutePath());
        // The number of dropped items; only the last of them opens.
        StatusBar1->SetPanel(0, QStringLiteral("JPEGファイル %1").arg(items.size()));

        SetBusy(true);
        ScopeExit done([this] { SetBusy(false); });
        ResetWorkspace();
        CheckBox4->hide();
        // The reset cleared Busy; held again while the photo opens, so that a second drop arriving while the
        // window repaints cannot reset the bitmaps being filled. Recognition takes Busy itself.
        SetBusy(true);
        if (OpenPhoto(last, true) == 0) {
            SetBusy(false);
            if (AutoRecognition(*this))
                BitBtn9Click();
        } else {
            // As after a failed choice in the open dialog: say why and let another photo be chosen.
            StatusBar1->SetPanel(0, LastLoadFailure);
            BitBtn2->setEnabled(true);
        }
        return;
    }

    if (!rect().contains(position))
        return;

    const QString& first = items.first();
    if (Edit3->isVisible() && position.x() >= Edit3->x() && position.x() <= Edit3->x() + Edit3->width()
        && position.y() >= Edit3->y() && position.y() <= Edit3->y() + Edit3->height()) {
        const QString folder = EndsWithSeparator(first.toStdString()) == 1 ? first : first + '/';
        if (QFileInfo(folder).isDir())
            Edit3->setText(folder);
        else
            Edit3->setText(WithSeparator(QFileInfo(first).absolutePath()));
        return;
    }

    const FolderScan scan = ScanDroppedFolder(first.toStdString());
    BatchFiles.clear();
    for (const std::string& file : scan.files)
        BatchFiles << QString::fromStdString(file);
    SubfolderCount = scan.SubfolderCount;
    FileCount = scan.FileCount;
    JpegCount = scan.JpegCount;

    ResizeFrame->SetControl(nullptr);
    CurrentPhotoPath.clear();
    ResetWorkspace();

    if (JpegCount > 0) {
        SetBusy(true);
        ScopeExit done([this] { SetBusy(false); });
        ResetWorkspace();
        // The folder's own photos decide where their sheets and the log go when no output folder is given,
        // not whichever photo happened to be opened before the drop.
        PhotoFolder = WithSeparator(first);
        BatchMode = true;
        SetBusy(true);
        if (OpenBatchPhoto(true)) {
            SetBusy(false);
            if (AutoRecognition(*this))
                BitBtn9Click();
            if (JpegCount > 1) {
                BitBtn10->show();
                CheckBox3->show();
                CheckBox4->show();
            }
        } else {
            const bool allDone = std::all_of(
                BatchFiles.cbegin(), BatchFiles.cend(), [this](const QString& p) { return IsDone(*this, p); });
            BatchMode = false;
            BatchIndex = 0;
            // Photos that would not open are in the log; the message is for a folder finished earlier.
            if (SkipDone(*this) && allDone)
                Dialogs.Message(AppTitle, kAllDoneText, MessageIcon::Information);
        }
    }
    StatusBar1->SetPanel(0,
        QStringLiteral("サブフォルダ数 %1  全ファイル数 %2   JPEGファイル数 %3")
            .arg(SubfolderCount)
            .arg(FileCount)
            .arg(JpegCount));
}

bool TForm1::OpenBatchPhoto(bool resetFrame)
{
    const QString previous = CurrentPhotoPath;
    for (; BatchIndex < BatchFiles.size(); ++BatchIndex) {
        const QString& photo = BatchFiles.at(BatchIndex);
        if (SkipDone(*this) && IsDone(*this, photo))
            continue;
        if (OpenPhoto(photo, resetFrame) == 0)
            return true;
        LogLoadFailure(*this, photo);
        // The view still shows the photo before; it stays the open photo, so that a later sheet action cuts it
        // under its own name and never under the name of the photo that failed.
        if (CurrentPhotoPath.isEmpty())
            CurrentPhotoPath = previous;
    }
    return false;
}

void TForm1::RunContinuous()
{
    BitBtn11->show();
    ScopeExit hide([this] { BitBtn11->hide(); });
    for (;;) {
        PumpEvents();
        (void)CreateSheet();
        // CreateSheet clears Busy at its end; the run holds it to the last photo, so that the skip button and
        // every other guarded action stay refused between photos. "中断" and the check box are not guarded.
        SetBusy(true);
        if (!CheckBox3->isChecked())
            break;
        if (AbortRequested) {
            Dialogs.Message(AppTitle, kAbortedText, MessageIcon::None);
            break;
        }
        if (BatchIndex >= BatchFiles.size())
            break;
    }
}

// The step to the photo at BatchIndex shared by a finished sheet and the skip button: it opens that photo (passing
// over photos done or unreadable) with the frame kept when "選択範囲/回転を保持する" asks, and recognises it when
// recognition on opening is on. False when the end of the list was reached instead.
static bool OpenAndRecogniseNext(TForm1& form)
{
    if (form.BatchIndex >= form.BatchFiles.size() || !form.OpenBatchPhoto(!form.CheckBox4->isChecked()))
        return false;
    if (AutoRecognition(form)) {
        form.SetBusy(false);
        (void)form.RecogniseFace();
    }
    return true;
}

void TForm1::AdvanceBatch()
{
    ++BatchIndex;
    if (!CheckBox4->isChecked()) {
        RotationAngle = 0;
        Edit4->setText(QStringLiteral("0"));
    }
    if (!OpenAndRecogniseNext(*this))
        Dialogs.Message(AppTitle, kSavedText, MessageIcon::None);
}

void TForm1::BitBtn10Click()
{
    if (Busy)
        return;
    SetBusy(true);
    ScopeExit done([this] { SetBusy(false); });
    if (!BatchMode)
        return;

    ++BatchIndex;
    if (BatchIndex < BatchFiles.size() && !CheckBox4->isChecked()) {
        RotationAngle = 0;
        Edit4->setText(QStringLiteral("0"));
    }
    if (OpenAndRecogniseNext(*this))
        return;
    BitBtn3->setEnabled(false);
    BitBtn10->hide();
}

} // namespace vellicam
