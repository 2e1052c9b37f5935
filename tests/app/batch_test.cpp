// Batch work on the main window: dropped files and folders, the output folder box as a drop target, skipping,
// continuous runs with their lock, abort and end, and photos that fail to open or are done already.
#include "window_fixture.h"

#include <chrono>
#include <thread>

#include "session/session_texts.h"
#include "sheet/output_path.h"
#include "sheet/recognition_log.h"

#include <QDropEvent>
#include <QMimeData>
#include <QTimer>

#include <cstdlib>
#include <filesystem>
#include <functional>

namespace vellicam::test {
namespace {

namespace fs = std::filesystem;

const QString kSaved = QStringLiteral("保存しました。");
const QString kAborted = QStringLiteral("中断しました。");
const QString kAllDone
    = QStringLiteral("このフォルダ内の画像は全て処理済みです。\n上書きする場合には[設定]画面の「同名のファイル"
                     "は上書きしない」のチェックを外して下さい。");

class Batch : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        UseStandInProgram();
    }

    static QString In(const QString& folder, const char* name) { return folder + '/' + name; }
    // Where the sheet of a photo lands when the output folder box is empty.
    static QString SheetOf(const QString& photo)
    {
        const QString folder = photo.left(photo.lastIndexOf('/') + 1);
        return QString::fromStdString(OutputPath("", folder.toStdString(), photo.toStdString()));
    }
    static bool Exists(const QString& path) { return fs::exists(path.toStdString()); }

    // Drags the paths over the window and drops them at `at`; false when the window refused the drag.
    bool Drop(const QStringList& paths, QPoint at = { 400, 400 })
    {
        QList<QUrl> urls;
        for (const QString& p : paths)
            urls << QUrl::fromLocalFile(p);
        return DropUrls(urls, at);
    }
    bool DropUrls(const QList<QUrl>& urls, QPoint at = { 400, 400 })
    {
        QMimeData mime;
        mime.setUrls(urls);
        QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window.get(), &enter);
        if (!enter.isAccepted())
            return false;
        QDropEvent drop(QPointF(at), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window.get(), &drop);
        Settle();
        return true;
    }

    [[nodiscard]] int Count(const QString& text) const
    {
        return static_cast<int>(std::count_if(dialogs.messages.begin(), dialogs.messages.end(),
            [&](const RecordingDialogs::Box& box) { return box.text == text; }));
    }
    [[nodiscard]] std::string Log(const QString& folder) const
    {
        const fs::path path = fs::path(folder.toStdString()) / kRecognitionLogName;
        return fs::exists(path) ? ReadFile(path) : std::string();
    }
    // Continuous mode with recognition on load; the run starts at the sheet button.
    void RunContinuously()
    {
        settingsUi().recogniseOnOpenBox->setChecked(true);
        ui().continuousBox->setChecked(true);
        ui().makeSheetButton->click();
        Settle();
        QApplication::processEvents();
    }
    [[nodiscard]] QString Status0() const { return ui().statusBar->panel(0); }
    // From now on the stand-in detector finds a face in every photo (the folder's 600 × 800 photos), or none.
    void FaceInEveryPhoto(bool faces = true)
    {
        std::string script;
        for (int call = 0; call < 400 && faces; ++call)
            script += "0 200 250 400 450\n";
        const fs::path path = scratch.Path() / "script.txt";
        WriteFile(path, script);
        ::setenv("VELLICAM_STANDIN_SCRIPT", path.c_str(), 1);
    }
};

TEST_F(Batch, DroppedJpegOpensOnlyWithItsThreeSpellingsAndOnlyTheLastItem)
{
    const QString folder = Folder("photos", { "a.jpg", "b.jpeg", "c.jPg", "d.Jpg" });
    settingsUi().recogniseOnOpenBox->setChecked(false);

    ASSERT_TRUE(Drop({ folder, In(folder, "d.Jpg") }));
    EXPECT_EQ(window->photoPath(), In(folder, "d.Jpg"));
    EXPECT_EQ(window->photoFolder(), folder + '/');
    EXPECT_EQ(Status0(), "JPEGファイル 2");
    EXPECT_FALSE(window->batch().isActive());
    EXPECT_FALSE(window->isBusy());
    EXPECT_TRUE(ui().makeSheetButton->isEnabled());
    EXPECT_FALSE(ui().keepFrameBox->isVisible());

    // Other spellings are taken for a folder: the scan of a file lists nothing.
    for (const char* name : { "b.jpeg", "c.jPg" }) {
        ui().newButton->click();
        Settle();
        ASSERT_TRUE(Drop({ In(folder, name) }));
        EXPECT_TRUE(window->photoPath().isEmpty()) << name;
        EXPECT_EQ(Status0(), "サブフォルダ数 0  全ファイル数 0   JPEGファイル数 0") << name;
        EXPECT_FALSE(window->batch().isActive());
    }
    // A photo first and a folder last: the photo is scanned as the folder, so nothing starts.
    ASSERT_TRUE(Drop({ In(folder, "a.jpg"), folder }));
    EXPECT_TRUE(window->photoPath().isEmpty());
    EXPECT_FALSE(window->batch().isActive());
    EXPECT_EQ(window->batch().counts().jpegCount, 0);

    // Only local files are taken.
    EXPECT_FALSE(DropUrls({ QUrl("https://example.com/a.jpg") }));
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(Batch, DroppedJpegIsRecognisedWhenAskedAndAFailedOpenSaysWhy)
{
    const QString folder = Folder("photos", { "a.jpg" });
    ASSERT_TRUE(Drop({ In(folder, "a.jpg") }));
    // The stand-in finds no face: recognition ran and said so.
    EXPECT_EQ(Count(QStringLiteral("自動顔認識処理では認識出来ませんでした。")), 1);
    EXPECT_NE(Log(folder).find("(非検出):  " + In(folder, "a.jpg").toStdString()), std::string::npos);

    dialogs.messages.clear();
    WriteFile(In(folder, "broken.jpg").toStdString(), "not a photo");
    ASSERT_TRUE(Drop({ In(folder, "broken.jpg") }));
    EXPECT_TRUE(window->photoPath().isEmpty());
    // One box, the open's: no recognition of a photo that did not open.
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_TRUE(dialogs.messages[0].text.startsWith("写真を開けませんでした。\n" + In(folder, "broken.jpg") + "\n"))
        << dialogs.messages[0].text.toStdString();
    EXPECT_EQ(Status0(), QStringLiteral("写真を開けませんでした。"));
    EXPECT_TRUE(ui().choosePhotoButton->isEnabled());
    EXPECT_FALSE(window->isBusy());
}

TEST_F(Batch, FolderScanCountsOneLevelAndStartsWithItsFirstPhoto)
{
    const QString folder = Folder("photos", { "A.JPG", "b.Jpg", "c.jPg", "d.jpeg" });
    Folder("photos/sub", { "e.jpg" });
    settingsUi().recogniseOnOpenBox->setChecked(false);

    ASSERT_TRUE(Drop({ folder }));
    EXPECT_EQ(window->batch().counts().subfolderCount, 1);
    EXPECT_EQ(window->batch().counts().fileCount, 4);
    EXPECT_EQ(window->batch().counts().jpegCount, 3);
    EXPECT_EQ(Status0(), "サブフォルダ数 1  全ファイル数 4   JPEGファイル数 3");
    EXPECT_EQ(BatchFiles(), QStringList({ In(folder, "A.JPG"), In(folder, "b.Jpg"), In(folder, "c.jPg") }));
    EXPECT_TRUE(window->batch().isActive());
    EXPECT_EQ(window->batch().run().index(), 0);
    EXPECT_EQ(window->photoPath(), In(folder, "A.JPG"));
    // The sheets and the log of a dropped folder go beside its photos when no output folder is given.
    EXPECT_EQ(window->photoFolder(), folder + '/');
    for (QWidget* shown : std::initializer_list<QWidget*> { ui().skipButton, ui().continuousBox, ui().keepFrameBox })
        EXPECT_TRUE(shown->isVisible());
    EXPECT_FALSE(ui().abortButton->isVisible());
    EXPECT_FALSE(window->isBusy());

    // A folder with one photo starts a batch without the skip button and the two boxes.
    const QString single = Folder("single", { "only.jpg" });
    ASSERT_TRUE(Drop({ single }));
    EXPECT_TRUE(window->batch().isActive());
    EXPECT_EQ(window->photoPath(), In(single, "only.jpg"));
    for (QWidget* hidden : std::initializer_list<QWidget*> { ui().skipButton, ui().continuousBox, ui().keepFrameBox })
        EXPECT_FALSE(hidden->isVisible());

    // A JPEG drop ends the batch.
    ASSERT_TRUE(Drop({ In(folder, "b.Jpg") }));
    EXPECT_FALSE(window->batch().isActive());
    EXPECT_FALSE(ui().skipButton->isVisible());
}

TEST_F(Batch, AFolderOrPhotosNamedAtStartAreWorkedAsADropOfThem)
{
    const QString folder = Folder("photos", { "a.jpg", "b.jpg" });
    settingsUi().recogniseOnOpenBox->setChecked(false);

    // The folder: a batch from its first photo, with the batch's controls.
    window->openItems({ folder });
    Settle();
    EXPECT_TRUE(window->batch().isActive());
    EXPECT_EQ(window->photoPath(), In(folder, "a.jpg"));
    EXPECT_EQ(window->photoFolder(), folder + '/');
    EXPECT_TRUE(ui().skipButton->isVisible());
    EXPECT_EQ(Status0(), "サブフォルダ数 0  全ファイル数 2   JPEGファイル数 2");

    // Several photos: the last opens, and no batch.
    window->openItems({ In(folder, "a.jpg"), In(folder, "b.jpg") });
    Settle();
    EXPECT_FALSE(window->batch().isActive());
    EXPECT_EQ(window->photoPath(), In(folder, "b.jpg"));
    EXPECT_EQ(Status0(), "JPEGファイル 2");

    // Nothing while another action runs.
    window->setBusy(true);
    window->openItems({ folder });
    Settle();
    EXPECT_FALSE(window->batch().isActive());
    window->setBusy(false);
}

TEST_F(Batch, DropOnTheOutputBoxSetsTheFolderAndNothingElse)
{
    const QString folder = Folder("out", { "x.jpg" });
    const QRect box = ui().outputFolderEdit->geometry();
    // Text boxes leave drops to the window, which decides what a drop on the output box means.
    EXPECT_FALSE(ui().outputFolderEdit->acceptDrops());

    ASSERT_TRUE(Drop({ folder }, box.center()));
    EXPECT_EQ(ui().outputFolderEdit->text(), folder + '/');
    EXPECT_FALSE(window->batch().isActive());
    EXPECT_TRUE(BatchFiles().isEmpty());
    EXPECT_TRUE(window->photoPath().isEmpty());

    // A trailing separator is not doubled; a file gives its folder; the far edges still count as the box.
    ASSERT_TRUE(Drop({ folder + '/' }, box.topLeft()));
    EXPECT_EQ(ui().outputFolderEdit->text(), folder + '/');
    ui().outputFolderEdit->clear();
    ASSERT_TRUE(Drop({ In(folder, "notes.txt") }, QPoint(box.x() + box.width(), box.y() + box.height())));
    EXPECT_EQ(ui().outputFolderEdit->text(), folder + '/');

    // One pixel below the box is the window: a batch of that folder.
    settingsUi().recogniseOnOpenBox->setChecked(false);
    ASSERT_TRUE(Drop({ folder }, QPoint(box.x(), box.y() + box.height() + 1)));
    EXPECT_TRUE(window->batch().isActive());

    // A drop point outside the window does nothing.
    ui().newButton->click();
    Settle();
    window->handleDrop({ QUrl::fromLocalFile(folder) }, QPoint(-5, 10));
    Settle();
    EXPECT_FALSE(window->batch().isActive());
}

TEST_F(Batch, PhotosAlreadyDonePassedOverWhenAskedAndAFinishedFolderSaysSo)
{
    const QString folder = Folder("photos", { "a.jpg", "b.jpg", "c.jpg" });
    WriteEarlierSheet(SheetOf(In(folder, "a.jpg")).toStdString());
    settingsUi().recogniseOnOpenBox->setChecked(false);

    // Without the setting the first photo opens all the same.
    ASSERT_TRUE(Drop({ folder }));
    EXPECT_EQ(window->photoPath(), In(folder, "a.jpg"));

    settingsUi().keepExistingBox->setChecked(true);
    ASSERT_TRUE(Drop({ folder }));
    EXPECT_EQ(window->batch().run().index(), 1);
    EXPECT_EQ(window->photoPath(), In(folder, "b.jpg"));
    EXPECT_TRUE(window->batch().isActive());

    for (const char* name : { "b.jpg", "c.jpg" })
        WriteEarlierSheet(SheetOf(In(folder, name)).toStdString());
    ASSERT_TRUE(Drop({ folder }));
    EXPECT_FALSE(window->batch().isActive());
    EXPECT_EQ(window->batch().run().index(), 0);
    EXPECT_TRUE(window->photoPath().isEmpty());
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, kAllDone);
    EXPECT_EQ(dialogs.messages[0].title, "Vellicam");
    EXPECT_EQ(dialogs.messages[0].icon, MessageIcon::Information);
    EXPECT_EQ(Status0(), "サブフォルダ数 0  全ファイル数 6   JPEGファイル数 3");
    EXPECT_FALSE(window->isBusy());
}

TEST_F(Batch, SkipMovesOnWithoutASheetAndEndsAtTheLastPhoto)
{
    const QString folder = Folder("photos", { "a.jpg", "b.jpg", "c.jpg" });
    settingsUi().recogniseOnOpenBox->setChecked(false);
    ASSERT_TRUE(Drop({ folder }));

    // Refused while another action runs.
    window->setBusy(true);
    ui().skipButton->click();
    Settle();
    EXPECT_EQ(window->batch().run().index(), 0);
    window->setBusy(false);

    ui().skipButton->click();

    Settle();
    EXPECT_EQ(window->batch().run().index(), 1);
    EXPECT_EQ(window->photoPath(), In(folder, "b.jpg"));
    EXPECT_TRUE(ui().makeSheetButton->isEnabled());
    EXPECT_TRUE(ui().skipButton->isVisible());

    ui().skipButton->click();

    Settle();
    EXPECT_EQ(window->photoPath(), In(folder, "c.jpg"));
    ui().skipButton->click();
    Settle();
    EXPECT_EQ(window->batch().run().index(), 3);
    EXPECT_EQ(window->photoPath(), In(folder, "c.jpg")) << "no photo opens at the end";
    EXPECT_FALSE(ui().makeSheetButton->isEnabled());
    EXPECT_FALSE(ui().skipButton->isVisible());
    EXPECT_TRUE(window->batch().isActive());
    EXPECT_FALSE(window->isBusy());
    for (const char* name : { "a.jpg", "b.jpg", "c.jpg" })
        EXPECT_FALSE(Exists(SheetOf(In(folder, name))));
    // The batch ends with what its photos came to.
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, "0枚保存しました。スキップ 3、失敗 0");
    EXPECT_TRUE(Log(folder).empty()) << "a skip logs nothing";

    // When every remaining photo is done, a skip ends the batch the same way and opens none of them again.
    settingsUi().keepExistingBox->setChecked(true);
    ASSERT_TRUE(Drop({ folder }));
    for (const char* name : { "b.jpg", "c.jpg" })
        WriteEarlierSheet(SheetOf(In(folder, name)).toStdString());
    dialogs.messages.clear();
    ui().skipButton->click();
    Settle();
    EXPECT_EQ(window->batch().run().index(), 3);
    EXPECT_EQ(window->photoPath(), In(folder, "a.jpg"));
    EXPECT_FALSE(ui().makeSheetButton->isEnabled());
    EXPECT_FALSE(ui().skipButton->isVisible());
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, "0枚保存しました。スキップ 3、失敗 0");
}

TEST_F(Batch, KeepBoxCarriesFrameAndAngleToTheNextPhoto)
{
    const QString folder = Folder("photos", { "a.jpg", "b.jpg", "c.jpg" });
    settingsUi().recogniseOnOpenBox->setChecked(false);
    ASSERT_TRUE(Drop({ folder }));
    const QRect centred = Frame();

    ui().keepFrameBox->setChecked(true);
    ui().turnRightTenthButton->click(); // 0.1 degree to the right
    Settle();
    ASSERT_EQ(window->session().angle(), 1);
    const QRect moved(centred.x() + 30, centred.y() + 10, centred.width(), centred.height());
    SetFrame(moved);

    ui().skipButton->click();

    Settle();
    EXPECT_EQ(window->photoPath(), In(folder, "b.jpg"));
    EXPECT_EQ(window->session().angle(), 1);
    EXPECT_EQ(Frame(), moved);

    ui().keepFrameBox->setChecked(false);
    ui().skipButton->click();
    Settle();
    EXPECT_EQ(window->photoPath(), In(folder, "c.jpg"));
    EXPECT_EQ(window->session().angle(), 0);
    EXPECT_EQ(ui().angleBox->text(), "0");
    EXPECT_EQ(Frame(), centred);
}

TEST_F(Batch, ContinuousRunMakesEverySheetAndSaysSavedOnce)
{
    FaceInEveryPhoto();
    const QString folder = Folder("photos", { "a.jpg", "b.jpg", "c.jpg" });
    ASSERT_TRUE(Drop({ folder }));
    dialogs.messages.clear();

    // Every guarded action stays refused for the whole run, also between photos. Each job waits a moment at its
    // start, so that the window surely gets to try while the run works.
    const JobGate slowly([] { std::this_thread::sleep_for(std::chrono::milliseconds(50)); });
    int skipsTried = 0;
    bool skipTaken = false;
    WhileRunning poke([&] {
        if (!ui().abortButton->isVisible())
            return;
        // The run's place moves on the worker meanwhile; only a skip taken counts a photo skipped here.
        const int before = window->batch().run().skipped();
        ui().skipButton->click();
        ++skipsTried;
        skipTaken = skipTaken || window->batch().run().skipped() != before;
    });
    RunContinuously();

    for (const char* name : { "a.jpg", "b.jpg", "c.jpg" })
        EXPECT_TRUE(Exists(SheetOf(In(folder, name)))) << name;
    EXPECT_EQ(Count(kSaved), 1);
    EXPECT_EQ(Count(kAborted), 0);
    EXPECT_GT(skipsTried, 0);
    EXPECT_FALSE(skipTaken);
    EXPECT_FALSE(ui().abortButton->isVisible());
    EXPECT_FALSE(window->isBusy());
    EXPECT_TRUE(window->batch().isActive());
    EXPECT_EQ(window->batch().run().index(), 3);
    EXPECT_EQ(window->photoPath(), In(folder, "c.jpg"));
}

TEST_F(Batch, ContinuousRunPassesOverPhotosDone)
{
    FaceInEveryPhoto();
    const QString folder = Folder("photos", { "a.jpg", "b.jpg", "c.jpg" });
    const QString doneSheet = SheetOf(In(folder, "b.jpg"));
    const std::string earlier = WriteEarlierSheet(doneSheet.toStdString());
    settingsUi().keepExistingBox->setChecked(true);
    ASSERT_TRUE(Drop({ folder }));
    RunContinuously();

    EXPECT_TRUE(Exists(SheetOf(In(folder, "a.jpg"))));
    EXPECT_TRUE(Exists(SheetOf(In(folder, "c.jpg"))));
    EXPECT_TRUE(ReadFile(doneSheet.toStdString()) == earlier);
    EXPECT_EQ(Count(kSaved), 0);
    EXPECT_EQ(Count("2枚保存しました。スキップ 1、失敗 0"), 1);
    EXPECT_EQ(window->batch().run().index(), 3);
}

TEST_F(Batch, AbortDuringTheSecondSheetStopsWithTheThirdPhotoOpen)
{
    FaceInEveryPhoto();
    const QString folder = Folder("photos", { "a.jpg", "b.jpg", "c.jpg" });
    ASSERT_TRUE(Drop({ folder }));
    dialogs.messages.clear();

    const QString second = SheetOf(In(folder, "b.jpg"));
    WhileRunning poke([&] {
        // The second sheet is on disk and its action has not returned yet.
        if (ui().abortButton->isVisible() && !window->batch().abortRequested() && Exists(second))
            ui().abortButton->click();
    });
    RunContinuously();

    EXPECT_TRUE(Exists(SheetOf(In(folder, "a.jpg"))));
    EXPECT_TRUE(Exists(second));
    EXPECT_FALSE(Exists(SheetOf(In(folder, "c.jpg"))));
    EXPECT_EQ(window->photoPath(), In(folder, "c.jpg"));
    EXPECT_EQ(window->batch().run().index(), 2);
    EXPECT_EQ(Count(kAborted), 1);
    EXPECT_EQ(Count(kSaved), 0);
    EXPECT_FALSE(ui().abortButton->isVisible());
    EXPECT_FALSE(window->isBusy());
    // The photo left open can be finished by hand.
    EXPECT_TRUE(ui().makeSheetButton->isEnabled());
}

TEST_F(Batch, UnrecognisedPhotosOfAnUnattendedRunAreLoggedAndSkippedAndTheLastKeepsAFrame)
{
    const QString folder = Folder("photos", { "a.jpg", "b.jpg", "c.jpg" });
    settingsUi().skipUnrecognisedBox->setChecked(true);
    ASSERT_TRUE(Drop({ folder }));
    // The drop's own recognition is not part of an unattended run yet: it says so, and its photo keeps the frame
    // it had, from which the run makes its sheet.
    EXPECT_EQ(Count(QStringLiteral("自動顔認識処理では認識出来ませんでした。")), 1);
    dialogs.messages.clear();

    RunContinuously();
    const std::string log = Log(folder);
    for (const char* name : { "a.jpg", "b.jpg", "c.jpg" })
        EXPECT_NE(log.find("(非検出):  " + In(folder, name).toStdString()), std::string::npos) << name;
    // The photos skipped silently get no sheet cut from a frame left over from the photo before.
    EXPECT_TRUE(Exists(SheetOf(In(folder, "a.jpg"))));
    EXPECT_FALSE(Exists(SheetOf(In(folder, "b.jpg"))));
    EXPECT_FALSE(Exists(SheetOf(In(folder, "c.jpg"))));
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text.toStdString(),
        "1枚保存しました。スキップ 2、失敗 0\n自動認識出来なかった写真 3枚\n記録: "
            + (fs::path(folder.toStdString()) / kRecognitionLogName).string());
    EXPECT_EQ(window->batch().run().index(), 3);
    EXPECT_FALSE(window->isBusy());

    // The last photo is shown with its frame, grips and tools, ready to be framed by hand: the red outline is on
    // the screen.
    EXPECT_EQ(window->photoPath(), In(folder, "c.jpg"));
    EXPECT_TRUE(ui().frameImage->isVisible());
    EXPECT_EQ(ui().frameGrips->control(), ui().frameImage);
    EXPECT_TRUE(ui().makeSheetButton->isEnabled());
    EXPECT_TRUE(ui().turnLeftButton->isEnabled());
    const QRect frame = Frame();
    const QImage shown = ui().photoView->viewport()->grab().toImage();
    // Between the grips, which sit on the corners and the middles of the sides.
    EXPECT_EQ(shown.pixelColor(frame.x() + frame.width() / 4, frame.y()), QColor(Qt::red));
    EXPECT_EQ(shown.pixelColor(frame.right(), frame.y() + frame.height() / 4), QColor(Qt::red));
    EXPECT_NE(shown.pixelColor(frame.center()), QColor(Qt::red));
}

TEST_F(Batch, AContinuousRunStopsAtAPhotoWithoutAFaceUntilTheSheetButtonGoesOn)
{
    const QString folder = Folder("photos", { "a.jpg", "b.jpg", "c.jpg", "d.jpg" });
    FaceInEveryPhoto();
    ASSERT_TRUE(Drop({ folder }));
    dialogs.messages.clear();

    // b has no face: its box names it, and the run stops there, as "中断" would stop it, without a sheet of it.
    // Each job of the run makes the sheet of the photo in hand and opens the next: the one that starts on a.jpg finds
    // no face in b.jpg.
    const JobGate noFaceInB([&] { FaceInEveryPhoto(!window->session().photoPath().ends_with("a.jpg")); });
    RunContinuously();
    EXPECT_TRUE(Exists(SheetOf(In(folder, "a.jpg"))));
    EXPECT_FALSE(Exists(SheetOf(In(folder, "b.jpg"))));
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_TRUE(
        dialogs.messages[0].text.startsWith(QStringLiteral("写真「b.jpg」\n自動顔認識処理では認識出来ませんでした。")))
        << dialogs.messages[0].text.toStdString();
    EXPECT_EQ(window->photoPath(), In(folder, "b.jpg"));
    EXPECT_EQ(window->batch().run().index(), 1);
    EXPECT_FALSE(ui().abortButton->isVisible());
    EXPECT_FALSE(window->isBusy());
    EXPECT_TRUE(ui().frameImage->isVisible());
    EXPECT_EQ(ui().frameGrips->control(), ui().frameImage);
    EXPECT_TRUE(ui().skipButton->isEnabled());
    EXPECT_TRUE(Status0().contains("b.jpg")) << Status0().toStdString();

    // Framed by hand, "シート作成" makes b's sheet and the run goes on through the rest.
    MoveFrame(Frame().x() + 5, Frame().y());
    dialogs.messages.clear();
    ui().makeSheetButton->click();
    Settle();
    QApplication::processEvents();
    for (const char* name : { "b.jpg", "c.jpg", "d.jpg" })
        EXPECT_TRUE(Exists(SheetOf(In(folder, name)))) << name;
    ASSERT_EQ(dialogs.messages.size(), 1u);
    const std::string log = (fs::path(folder.toStdString()) / kRecognitionLogName).string();
    EXPECT_EQ(dialogs.messages[0].text.toStdString(), "保存しました。\n自動認識出来なかった写真 1枚\n記録: " + log);
    EXPECT_NE(Log(folder).find("(非検出):  " + In(folder, "b.jpg").toStdString()), std::string::npos);
}

TEST_F(Batch, TheEndOfABatchCountsSheetsSavedSkippedAndFailed)
{
    FaceInEveryPhoto();
    const QString folder = Folder("photos", { "a.jpg", "b.jpg", "c.jpg", "d.jpg" });
    WriteEarlierSheet(SheetOf(In(folder, "b.jpg")).toStdString());
    settingsUi().keepExistingBox->setChecked(true);
    ASSERT_TRUE(Drop({ folder }));
    WriteFile(In(folder, "c.jpg").toStdString(), "not a photo");
    dialogs.messages.clear();

    // A sheet, a photo done already, a photo that does not open, a sheet.
    RunContinuously();
    EXPECT_EQ(Count(kSaved), 0);
    EXPECT_EQ(Count("2枚保存しました。スキップ 1、失敗 1"), 1);

    // By hand: a skipped photo and a sheet that cannot be written (the output folder is a file).
    const QString second = Folder("second", { "e.jpg", "f.jpg", "g.jpg" });
    settingsUi().keepExistingBox->setChecked(false);
    settingsUi().recogniseOnOpenBox->setChecked(false);
    ASSERT_TRUE(Drop({ second }));
    dialogs.messages.clear();
    ui().skipButton->click();
    Settle();
    ui().outputFolderEdit->setText(In(second, "f.jpg") + '/');
    ui().makeSheetButton->click();
    Settle();
    ui().outputFolderEdit->clear();
    ui().makeSheetButton->click();
    Settle();
    EXPECT_EQ(Count("1枚保存しました。スキップ 1、失敗 1"), 1);
    EXPECT_TRUE(Exists(SheetOf(In(second, "g.jpg"))));

    // Every photo with a sheet: the plain word.
    dialogs.messages.clear();
    ASSERT_TRUE(Drop({ second }));
    ui().makeSheetButton->click();
    Settle();
    ui().makeSheetButton->click();
    Settle();
    ui().makeSheetButton->click();
    Settle();
    EXPECT_EQ(dialogs.messages.back().text, kSaved);
    EXPECT_EQ(Count(kSaved), 1);
}

TEST_F(Batch, AContinuousRunShowsItsProgressAndLogsRoughPhotosInsteadOfAsking)
{
    const QString folder = Folder("photos", { "a.jpg", "c.jpg" });
    ASSERT_TRUE(SaveJpeg(In(folder, "b.jpg").toStdString(), SolidBitmap(640, 480, { 90, 90, 90 }), { 90, 0 }).ok);
    settingsUi().skipUnrecognisedBox->setChecked(true);
    ASSERT_TRUE(Drop({ folder }));
    dialogs.messages.clear();

    QStringList progress;
    WhileRunning poke([&] {
        const QString status = Status0();
        if (status.startsWith(QStringLiteral("自動連続処理")) && (progress.isEmpty() || progress.back() != status))
            progress << status;
    });
    RunContinuously();
    // The run's progress is posted from the worker as each photo opens: whichever the window caught came in order.
    ASSERT_FALSE(progress.isEmpty());
    EXPECT_EQ(progress.first(), "自動連続処理 0 / 3");
    for (qsizetype i = 1; i < progress.size(); ++i)
        EXPECT_LT(progress[i - 1], progress[i]);
    EXPECT_EQ(Status0(), "自動連続処理 3 / 3");

    // The rough photo raised no box: its warning is in the log, with its size.
    for (const RecordingDialogs::Box& box : dialogs.messages)
        EXPECT_FALSE(box.text.contains(QStringLiteral("画像解像度が低い"))) << box.text.toStdString();
    EXPECT_NE(
        Log(folder).find("  低解像度:  " + In(folder, "b.jpg").toStdString() + "  (640 x 480)"), std::string::npos);

    // Opened by hand, the same photo still warns with a box.
    settingsUi().recogniseOnOpenBox->setChecked(false);
    dialogs.messages.clear();
    ASSERT_TRUE(Drop({ In(folder, "b.jpg") }));
    EXPECT_EQ(Count("画像解像度が低いので作成画像が荒れる可能性があります。\n\n横ピクセル数:640 縦ピクセル数: 480"), 1);
}

TEST_F(Batch, PhotosThatDoNotOpenAreLoggedAndGetNoSheet)
{
    FaceInEveryPhoto();
    const QString folder = Folder("photos", { "a.jpg", "b.jpg", "c.jpg", "d.jpg", "e.jpg" });
    ASSERT_TRUE(Drop({ folder }));
    // Gone since the scan, and garbage under a photo's name; the last one fails too.
    fs::remove(In(folder, "b.jpg").toStdString());
    WriteFile(In(folder, "c.jpg").toStdString(), "not a photo");
    fs::remove(In(folder, "e.jpg").toStdString());
    dialogs.messages.clear();

    RunContinuously();
    EXPECT_TRUE(Exists(SheetOf(In(folder, "a.jpg"))));
    EXPECT_TRUE(Exists(SheetOf(In(folder, "d.jpg"))));
    for (const char* name : { "b.jpg", "c.jpg", "e.jpg" })
        EXPECT_FALSE(Exists(SheetOf(In(folder, name)))) << name;
    const std::string log = Log(folder);
    for (const char* name : { "b.jpg", "c.jpg", "e.jpg" })
        EXPECT_NE(log.find("  画像読込エラー:  " + In(folder, name).toStdString() + "  ("), std::string::npos) << name;
    EXPECT_EQ(log.find("(非検出):  " + In(folder, "c.jpg").toStdString()), std::string::npos)
        << "no recognition of a photo that did not open";
    EXPECT_EQ(Count(kSaved), 0);
    EXPECT_EQ(Count("2枚保存しました。スキップ 0、失敗 3"), 1);
    EXPECT_EQ(window->batch().run().index(), 5);

    // The last photo that opened stays the open one: another sheet action remakes its sheet, under its name.
    EXPECT_EQ(window->photoPath(), In(folder, "d.jpg"));
    fs::remove(SheetOf(In(folder, "d.jpg")).toStdString());
    ui().continuousBox->setChecked(false);
    ui().makeSheetButton->click();
    Settle();
    EXPECT_TRUE(Exists(SheetOf(In(folder, "d.jpg"))));
    EXPECT_FALSE(Exists(SheetOf(In(folder, "e.jpg"))));
}

} // namespace
} // namespace vellicam::test
