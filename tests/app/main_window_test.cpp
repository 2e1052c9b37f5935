// The main window's start-up state, its size rules, the settings dialog and the preview window.
#include "memory_report.h"
#include "recognition/detector_files.h"
#include "window_fixture.h"

#include <QFile>

namespace vellicam::test {
namespace {

using Window = WindowTest;

TEST_F(Window, StartsWithOnlyTheFileButtonsSettingsAndQuitUsable)
{
    EXPECT_EQ(window->windowTitle(), "Vellicam - 履歴書・一般 30 × 40mm・L判 4枚");
    EXPECT_EQ(work().appTitle, "Vellicam");
    EXPECT_FALSE(work().starting);
    EXPECT_FALSE(window->isBusy());
    EXPECT_TRUE(window->photoPath().isEmpty());
    EXPECT_TRUE(work().programFolder.endsWith('/'));
    EXPECT_TRUE(window->photoFolder().endsWith('/'));

    for (QWidget* on : std::initializer_list<QWidget*> { ui().newButton, ui().choosePhotoButton, ui().settingsButton,
             ui().quitButton, ui().outputFolderEdit, ui().sharpenBox, ui().openFolderBox, ui().keepFrameBox }) {
        EXPECT_TRUE(on->isEnabled()) << on->metaObject()->className();
        EXPECT_TRUE(on->isVisible());
    }
    for (QWidget* off : std::initializer_list<QWidget*> { ui().makeSheetButton, ui().turnLeftButton,
             ui().turnRightButton, ui().turnLeftTenthButton, ui().turnRightTenthButton, ui().resetTurnButton,
             ui().recogniseButton, ui().zoomBox, ui().pickBackgroundBox, ui().headLineButton })
        EXPECT_FALSE(off->isEnabled());
    for (QWidget* hidden : std::initializer_list<QWidget*> {
             ui().skipButton, ui().abortButton, ui().continuousBox, ui().headLineOverlay, ui().frameImage })
        EXPECT_FALSE(hidden->isVisible());

    EXPECT_EQ(ui().newButton->text(), "新規作成");
    EXPECT_EQ(ui().choosePhotoButton->text(), "写真選択");
    EXPECT_EQ(ui().makeSheetButton->text(), "シート作成");
    EXPECT_EQ(ui().quitButton->text(), "終了(&C)");
    EXPECT_EQ(ui().headLineButton->text(), "頭部サイズ指定");
    EXPECT_EQ(ui().turnLeftButton->text(), "左９０度回転");
    EXPECT_EQ(ui().turnRightTenthButton->text(), "右0.1度回転");
    EXPECT_EQ(ui().angleBox->text(), "0");
    EXPECT_TRUE(ui().angleBox->isReadOnly());
    EXPECT_EQ(ui().zoomBox->currentText(), "100%");
    EXPECT_EQ(ui().zoomBox->count(), 4);
    EXPECT_TRUE(ui().sharpenBox->isChecked());
    EXPECT_FALSE(ui().openFolderBox->isChecked());
    EXPECT_EQ(ui().outputFolderEdit->toolTip(), "ここへ保存先フォルダをドラッグ＆ドロップします。");
    EXPECT_EQ(ui().choosePhotoButton->geometry(), QRect(88, 0, 89, 41));
    EXPECT_EQ(ui().headLineButton->geometry(), QRect(8, 80, 129, 41));
    EXPECT_EQ(ui().backgroundSwatch->geometry(), QRect(496, 48, 25, 25));
    EXPECT_EQ(ui().backgroundSwatch->picture().Pixel(12, 12), kWhite);

    EXPECT_EQ(window->frameLimits().FrameMinWidth, 378);
    EXPECT_EQ(window->frameLimits().FrameMinHeight, 496);
    EXPECT_EQ(window->frameLimits().FrameMaxWidth, 1890);
    EXPECT_EQ(window->frameLimits().FrameMaxHeight, 2480);
    EXPECT_EQ(window->frameLimits().FrameAspectWidth, 378);
    EXPECT_EQ(window->frameLimits().FrameAspectHeight, 496);
    EXPECT_FALSE(window->session().hasPhoto());
}

TEST_F(Window, LaysOutItsControlsAndStatusPanelsAtTheMinimumSize)
{
    EXPECT_EQ(window->size(), QSize(1024, 755));
    // The quit button keeps 120 pixels from the right, the view fills the width less 24 and the height less
    // its top and 65.
    EXPECT_EQ(ui().quitButton->x(), 1024 - 120);
    EXPECT_EQ(ui().photoView->geometry(), QRect(8, 124, 1000, 755 - 124 - 65));
    EXPECT_EQ(ui().statusBar->geometry().bottom(), 754);
    ui().statusBar->setPanel(3, "x");
    EXPECT_EQ(ui().statusBar->panel(3), "x");
}

TEST_F(Window, NeverShrinksBelowTheMinimumAndHoldsItsSizeWhileBusy)
{
    window->resize(800, 600);
    QApplication::processEvents();
    EXPECT_EQ(window->size(), QSize(1024, 755));

    window->resize(1100, 800);
    QApplication::processEvents();
    EXPECT_EQ(window->size(), QSize(1100, 800));

    window->setBusy(true);
    window->resize(1200, 900);
    QApplication::processEvents();
    EXPECT_EQ(window->size(), QSize(1100, 800));
    window->setBusy(false);
    window->resize(1200, 900);
    QApplication::processEvents();
    EXPECT_EQ(window->size(), QSize(1200, 900));
}

TEST(WindowStarting, HoldsExactly1024By755UntilShown)
{
    RecordingDialogs dialogs;
    MainWindow window(dialogs);
    EXPECT_TRUE(window.workState().starting);
    window.resize(1300, 1000);
    EXPECT_EQ(window.size(), QSize(1024, 755));
    window.resize(900, 700);
    EXPECT_EQ(window.size(), QSize(1024, 755));
}

TEST_F(Window, SwitchingTheToolsOffLeavesNewAsItIs)
{
    ui().newButton->setEnabled(false);
    window->setToolsEnabled(false);
    EXPECT_FALSE(ui().newButton->isEnabled());
    window->setToolsEnabled(true);
    EXPECT_TRUE(ui().newButton->isEnabled());
    window->setToolsEnabled(false);
    EXPECT_TRUE(ui().newButton->isEnabled());
    EXPECT_FALSE(ui().choosePhotoButton->isEnabled());
    // Outside the group.
    EXPECT_TRUE(ui().settingsButton->isEnabled());
    EXPECT_TRUE(ui().sharpenBox->isEnabled());
}

TEST_F(Window, ReportsMemoryIntoTheSettingsMemoOnEveryResize)
{
    settingsUi().memoryReport->clear();
    window->resize(1050, 760);
    QApplication::processEvents();
    const QStringList lines = settingsUi().memoryReport->toPlainText().split('\n');
    ASSERT_EQ(lines.size(), 11);
    EXPECT_TRUE(lines[0].startsWith("プロセスID　　　："));
    EXPECT_TRUE(lines[4].startsWith("現在ワーキングセット："));
    EXPECT_TRUE(lines[4].endsWith("バイト"));
}

TEST_F(Window, AbortButtonOnlyRaisesTheFlagAndQuitClosesTheWindow)
{
    window->requestAbort();
    EXPECT_TRUE(window->batch().abortRequested());
    ui().quitButton->click();
    EXPECT_FALSE(window->isVisible());
}

TEST_F(Window, KeepingTheSelectionSwitchesOffRecognitionOnLoad)
{
    SettingsDialog& settings = *window->settingsDialog();
    ASSERT_TRUE(settings.controls().recogniseOnOpenBox->isChecked());
    ui().keepFrameBox->click();
    EXPECT_TRUE(ui().keepFrameBox->isChecked());
    EXPECT_FALSE(settings.controls().recogniseOnOpenBox->isChecked());
    ui().keepFrameBox->click();
    EXPECT_FALSE(ui().keepFrameBox->isChecked());
    EXPECT_FALSE(settings.controls().recogniseOnOpenBox->isChecked());
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(Window, AnActionHoldsTheWindowWorkingUntilItEndsHoweverItEnds)
{
    ASSERT_EQ(window->mode(), WorkMode::Idle);
    try {
        const auto turning = window->begin(UserAction::Rotate);
        ASSERT_TRUE(turning);
        EXPECT_EQ(window->mode(), WorkMode::Working);
        EXPECT_FALSE(window->begin(UserAction::Zoom)) << "nothing else starts meanwhile";
        throw std::runtime_error("the action fails");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(window->mode(), WorkMode::Idle);
    // A continuous run leaves only its own ways out open.
    window->setMode(WorkMode::Continuous);
    EXPECT_FALSE(window->begin(UserAction::MakeSheet));
    EXPECT_TRUE(window->mayStart(UserAction::Abort));
    window->setMode(WorkMode::Idle);
}

TEST(SettingsDialog, StartsWithTheDesignedDefaults)
{
    RecordingDialogs dialogs;
    MainWindow window(dialogs);
    SettingsDialog settings(window);
    EXPECT_EQ(settings.windowTitle(), "設定");
    EXPECT_TRUE(settings.controls().recogniseOnOpenBox->isChecked());
    EXPECT_FALSE(settings.controls().skipUnrecognisedBox->isChecked());
    for (QCheckBox* on :
        { settings.controls().correctHeadTopBox, settings.controls().oversizeIsErrorBox,
            settings.controls().upperHalfOnlyBox, settings.controls().detectChinBox, settings.controls().showResultsBox,
            settings.controls().centreMarksBox, settings.controls().cornerMarksBox, settings.controls().scaleBox })
        EXPECT_TRUE(on->isChecked()) << on->text().toStdString();
    for (QCheckBox* off : { settings.controls().keepExistingBox, settings.controls().saveFaceImageBox,
             settings.controls().straightenBox }) {
        EXPECT_FALSE(off->isChecked());
        EXPECT_TRUE(off->isEnabled());
    }
    struct Expected {
        QSlider* slider;
        int minimum, maximum, value, top, tick;
    };
    for (const Expected& e : { Expected { settings.controls().jpegQualitySlider, 0, 100, 90, 112, 10 },
             Expected { settings.controls().backgroundRatioSlider, 50, 100, 80, 168, 5 },
             Expected { settings.controls().colourToleranceSlider, 0, 100, 50, 224, 5 },
             Expected { settings.controls().precisionSlider, 1, 10, 3, 272, 5 },
             Expected { settings.controls().minFaceSizeSlider, 100, 1000, 200, 320, 100 } }) {
        EXPECT_EQ(e.slider->minimum(), e.minimum);
        EXPECT_EQ(e.slider->maximum(), e.maximum);
        EXPECT_EQ(e.slider->value(), e.value);
        EXPECT_EQ(e.slider->geometry(), QRect(309, e.top, 169, e.slider->height()));
        EXPECT_EQ(e.slider->tickInterval(), e.tick);
    }
    EXPECT_EQ(settings.controls().jpegQualitySlider->pageStep(), 10);
    EXPECT_EQ(settings.controls().memoryReport->geometry(), QRect(8, 376, 481, 177));
    EXPECT_TRUE(settings.controls().memoryReport->isReadOnly());
    EXPECT_EQ(settings.controls().closeButton->text(), "閉じる");
    EXPECT_TRUE(dialogs.messages.empty()) << "no cascade test at start-up";
}

TEST(SettingsDialog, RecognitionOnLoadNeedsTheFaceCascadeBesideTheProgram)
{
    RecordingDialogs dialogs;
    MainWindow window(dialogs);
    SettingsDialog settings(window);
    ScratchDir folder;
    window.setProgramFolder(QString::fromStdString(folder.Path().string()) + '/');

    settings.controls().recogniseOnOpenBox->setChecked(false);
    EXPECT_TRUE(dialogs.messages.empty());
    settings.controls().recogniseOnOpenBox->setChecked(true);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, "顔認識用のXMLデータが見つかりません。");
    EXPECT_EQ(dialogs.messages[0].title, "Vellicam");
    EXPECT_FALSE(settings.controls().recogniseOnOpenBox->isChecked());
    EXPECT_EQ(dialogs.messages.size(), 1u) << "unchecking again asks nothing";

    WriteFile(folder.Path() / "haarcascade_frontalface_default.xml", "<opencv_storage/>");
    settings.controls().recogniseOnOpenBox->setChecked(true);
    EXPECT_TRUE(settings.controls().recogniseOnOpenBox->isChecked());
    EXPECT_EQ(dialogs.messages.size(), 1u);

    // An installed program finds it where it is installed (share/vellicam), as recognition does.
    const std::string bin = folder / "prefix/bin";
    std::filesystem::create_directories(bin);
    const std::string data = FindDetectorFiles(bin).dataFolders.back();
    std::filesystem::create_directories(data);
    WriteFile(std::filesystem::path(data) / "haarcascade_frontalface_default.xml", "<opencv_storage/>");
    window.setProgramFolder(QString::fromStdString(bin) + '/');
    settings.controls().recogniseOnOpenBox->setChecked(false);
    settings.controls().recogniseOnOpenBox->setChecked(true);
    EXPECT_TRUE(settings.controls().recogniseOnOpenBox->isChecked());
    EXPECT_EQ(dialogs.messages.size(), 1u);
}

TEST(PreviewWindow, HasItsCaptionScrollBoxAndWhiteImage)
{
    SheetPreviewWindow preview;
    EXPECT_EQ(preview.windowTitle(), "プレビュー");
    EXPECT_EQ(preview.size(), QSize(566, 719));
    EXPECT_EQ(preview.scrollBox()->geometry(), QRect(8, 0, 545, 705));
    EXPECT_EQ(preview.image()->size(), QSize(544, 712));
    EXPECT_EQ(preview.image()->picture().Pixel(543, 711), kWhite);
}

TEST(MemoryReport, ReadsTheKernelFiguresAndKeepsTheReportLayout)
{
    ScratchDir folder;
    WriteFile(folder.Path() / "status",
        "Name:\tvellicam\nVmPeak:\t  300 kB\nVmSize:\t  200 kB\nVmHWM:\t   2048 kB\nVmRSS:\t   1024 kB\n"
        "VmPTE:\t     64 kB\nVmSwap:\t      0 kB\n");
    WriteFile(folder.Path() / "stat", "123 (a (b) c) S 1 1 1 0 -1 4194304 70 0 5 0 1 1\n");
    MemoryCounters counters;
    ASSERT_TRUE(ReadMemoryCounters(
        counters, QString::fromStdString(folder / "status"), QString::fromStdString(folder / "stat")));
    EXPECT_EQ(counters.pageFaults, 75u);
    EXPECT_EQ(counters.peakWorkingSet, 2048u * 1024u);
    EXPECT_EQ(counters.workingSet, 1024u * 1024u);
    EXPECT_EQ(counters.peakPagedPool, 300u * 1024u);
    EXPECT_EQ(counters.nonPagedPool, 64u * 1024u);

    const QStringList lines = MemoryReportLines(counters);
    ASSERT_EQ(lines.size(), 11);
    EXPECT_EQ(lines[2], "ページフォールト数　：        75個");
    EXPECT_EQ(lines[3], "最大ワーキングセット：   2097152バイト");
    EXPECT_EQ(lines[10], "現在ページングファイル：         0バイト");

    MemoryCounters untouched;
    untouched.pageFaults = 9;
    EXPECT_FALSE(ReadMemoryCounters(
        untouched, QString::fromStdString(folder / "missing"), QString::fromStdString(folder / "stat")));
    WriteFile(folder.Path() / "short", "Name:\tx\nVmRSS:\t1 kB\n");
    EXPECT_FALSE(ReadMemoryCounters(
        untouched, QString::fromStdString(folder / "short"), QString::fromStdString(folder / "stat")));
    EXPECT_EQ(untouched.pageFaults, 9u);
}

} // namespace
} // namespace vellicam::test
