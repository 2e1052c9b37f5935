// The main window's start-up state, its size rules, the settings dialog and the preview window.
#include "memory_report.h"
#include "recognition/detector_files.h"
#include "window_fixture.h"

#include <QFile>
#include <QLayout>
#include <QSignalSpy>

namespace vellicam::test {
namespace {

using Window = WindowTest;

TEST_F(Window, StartsWithOnlyTheFileButtonsSettingsAndQuitUsable)
{
    EXPECT_EQ(window->windowTitle(), "Vellicam - 履歴書・一般 30 × 40mm・L判 4枚");
    EXPECT_EQ(window->appTitle(), "Vellicam");
    EXPECT_FALSE(window->isBusy());
    EXPECT_TRUE(window->photoPath().isEmpty());
    EXPECT_TRUE(window->programFolder().endsWith('/'));
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
    EXPECT_EQ(ui().backgroundSwatch->picture().Pixel(12, 12), kWhite);

    EXPECT_EQ(window->frameLimits().FrameMinWidth, 378);
    EXPECT_EQ(window->frameLimits().FrameMinHeight, 496);
    EXPECT_EQ(window->frameLimits().FrameMaxWidth, 1890);
    EXPECT_EQ(window->frameLimits().FrameMaxHeight, 2480);
    EXPECT_EQ(window->frameLimits().FrameAspectWidth, 378);
    EXPECT_EQ(window->frameLimits().FrameAspectHeight, 496);
    EXPECT_FALSE(window->session().hasPhoto());
}

// What the user sees of the layout at the window's size and font: no visible control over another (the check list
// lies over the view's edge on purpose), every caption whole, the view taking all the room between the rows of
// controls and the status bar, which runs along the bottom.
void ExpectLaidOut(const MainWindow& window)
{
    // A larger minimum size reaches the window through the window system's events.
    for (int i = 0; i < 3; ++i)
        QApplication::processEvents();
    const WindowControls ui = ControlsOf(window);
    std::vector<QWidget*> shown;
    for (QWidget* w : window.findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (w->isVisible() && !w->isWindow() && w != ui.checkList)
            shown.push_back(w);
    ASSERT_GE(shown.size(), 20u);
    QRect controls; // every control but the view and the status bar
    for (std::size_t i = 0; i < shown.size(); ++i) {
        const QWidget* w = shown[i];
        for (std::size_t j = i + 1; j < shown.size(); ++j)
            EXPECT_FALSE(w->geometry().intersects(shown[j]->geometry()))
                << w->metaObject()->className() << " over " << shown[j]->metaObject()->className();
        if (qobject_cast<const QAbstractButton*>(w) || qobject_cast<const QLabel*>(w)) {
            const QSize needed = w->minimumSizeHint();
            EXPECT_TRUE(w->width() >= needed.width() && w->height() >= needed.height())
                << w->metaObject()->className() << " cuts its caption " << w->property("text").toString().toStdString();
        }
        EXPECT_TRUE(window.rect().contains(w->geometry())) << w->metaObject()->className();
        if (w != ui.photoView && w != ui.statusBar)
            controls |= w->geometry();
    }
    const QRect view = ui.photoView->geometry();
    const QRect bar = ui.statusBar->geometry();
    EXPECT_EQ(bar.bottom(), window.height() - 1);
    EXPECT_EQ(bar.width(), window.width());
    EXPECT_LE(view.top() - controls.bottom(), 8) << "the view starts under the controls";
    EXPECT_LE(bar.top() - view.bottom(), 65) << "the view reaches down to the status bar";
    EXPECT_GE(view.right(), window.width() - 20) << "the view reaches across the window";
}

TEST_F(Window, LaysItsControlsOutWholeInAnyFontAndGivesTheViewEveryResize)
{
    EXPECT_EQ(window->size(), QSize(1024, 755)) << "the designed size fits the program's face";
    ExpectLaidOut(*window);
    // The arrangement: the buttons left to right along the top, 終了 at the top right, the turn buttons under them.
    EXPECT_LT(ui().newButton->x(), ui().choosePhotoButton->x());
    EXPECT_LT(ui().settingsButton->geometry().right(), ui().zoomBox->x());
    EXPECT_LT(ui().zoomBox->x(), ui().angleBox->x());
    EXPECT_EQ(ui().quitButton->y(), 0);
    EXPECT_GT(ui().quitButton->x(), ui().angleBox->geometry().right());
    EXPECT_GT(ui().turnLeftButton->y(), ui().outputFolderEdit->geometry().bottom());
    EXPECT_GT(ui().photoView->y(), ui().turnLeftButton->geometry().bottom());

    // The batch's buttons take room kept for them: nothing else moves when they show.
    const QRect zoom = ui().zoomBox->geometry();
    ui().skipButton->show();
    ui().abortButton->show();
    ExpectLaidOut(*window);
    EXPECT_EQ(ui().zoomBox->geometry(), zoom);
    ui().skipButton->hide();
    ui().abortButton->hide();

    // Every pixel the window grows by goes to the view.
    const QSize view = ui().photoView->size();
    window->resize(1300, 900);
    ExpectLaidOut(*window);
    EXPECT_EQ(ui().photoView->size(), view + QSize(276, 145));

    // Larger captions (another face, or a larger one) make the controls and, when needed, the window larger.
    for (const int pixels : { 16, 22 }) {
        SCOPED_TRACE(pixels);
        QFont font = window->font();
        font.setFamilies({ QStringLiteral("DejaVu Sans") });
        font.setPixelSize(pixels);
        window->setFont(font);
        QApplication::processEvents();
        ExpectLaidOut(*window);
        EXPECT_GE(window->width(), window->minimumWidth());
    }
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
    SettingsDialog& settings = window->settingsDialog();
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

// Each control, used as a user would, changes its own setting and no other; the dialog starts at the defaults.
TEST(SettingsDialog, EveryControlEditsItsOwnSettingAndNoOther)
{
    using Ui = SettingsDialog::Controls;
    const auto toggle = [](QCheckBox* Ui::*box) { return [box](const Ui& ui) { (ui.*box)->click(); }; };
    const auto slideToEnd = [](QSlider* Ui::*slider) {
        return [slider](const Ui& ui) { QTest::keyClick(ui.*slider, Qt::Key_End); };
    };
    const auto choose = [](QComboBox* Ui::*list, const char* id) {
        return [list, id](const Ui& ui) { (ui.*list)->setCurrentIndex((ui.*list)->findData(QString::fromLatin1(id))); };
    };
    struct Case {
        const char* what;
        std::function<void(const Ui&)> use;
        std::function<void(Settings&)> expected;
    };
    const Case cases[] = {
        { "recognise on open", toggle(&Ui::recogniseOnOpenBox), [](Settings& s) { s.recogniseOnOpen = false; } },
        { "skip unrecognised", toggle(&Ui::skipUnrecognisedBox), [](Settings& s) { s.skipUnrecognised = true; } },
        { "correct head top", toggle(&Ui::correctHeadTopBox), [](Settings& s) { s.correctHeadTop = false; } },
        { "oversize is error", toggle(&Ui::oversizeIsErrorBox), [](Settings& s) { s.oversizeIsError = false; } },
        { "upper half only", toggle(&Ui::upperHalfOnlyBox), [](Settings& s) { s.upperHalfOnly = false; } },
        { "detect chin", toggle(&Ui::detectChinBox), [](Settings& s) { s.detectChin = false; } },
        { "show results", toggle(&Ui::showResultsBox), [](Settings& s) { s.showResults = false; } },
        { "straighten", toggle(&Ui::straightenBox), [](Settings& s) { s.straightenAutomatically = true; } },
        { "centre marks", toggle(&Ui::centreMarksBox), [](Settings& s) { s.centreMarks = false; } },
        { "corner marks", toggle(&Ui::cornerMarksBox), [](Settings& s) { s.cornerMarks = false; } },
        { "scale", toggle(&Ui::scaleBox), [](Settings& s) { s.scale = false; } },
        { "keep existing", toggle(&Ui::keepExistingBox), [](Settings& s) { s.keepExisting = true; } },
        { "save face image", toggle(&Ui::saveFaceImageBox), [](Settings& s) { s.saveFaceImage = true; } },
        { "remember settings", toggle(&Ui::rememberBox), [](Settings& s) { s.rememberSettings = true; } },
        { "jpeg quality", slideToEnd(&Ui::jpegQualitySlider), [](Settings& s) { s.jpegQuality = 100; } },
        { "background ratio", slideToEnd(&Ui::backgroundRatioSlider), [](Settings& s) { s.backgroundRatio = 100; } },
        { "colour tolerance", slideToEnd(&Ui::colourToleranceSlider), [](Settings& s) { s.colourTolerance = 100; } },
        { "precision", slideToEnd(&Ui::precisionSlider), [](Settings& s) { s.precision = 10; } },
        { "min face size", slideToEnd(&Ui::minFaceSizeSlider), [](Settings& s) { s.minFaceSize = 1000; } },
        { "photo size", choose(&Ui::photoSizeList, "passport"), [](Settings& s) { s.photoSize = "passport"; } },
        { "paper", choose(&Ui::paperList, "2L"), [](Settings& s) { s.paper = "2L"; } },
    };
    for (const Case& c : cases) {
        SettingsDialog dialog;
        ASSERT_EQ(dialog.settings(), Settings {});
        c.use(dialog.controls());
        Settings expected;
        c.expected(expected);
        EXPECT_EQ(dialog.settings(), expected) << c.what;
    }
}

TEST(SettingsDialog, ShowsTheValueItIsGivenAndSignalsEveryEditButNotAValueShown)
{
    Settings given;
    given.detectChin = false;
    given.precision = 7;
    given.paper = "2L";
    SettingsDialog settings(given);
    const SettingsDialog::Controls& ui = settings.controls();
    EXPECT_FALSE(ui.detectChinBox->isChecked());
    EXPECT_EQ(ui.precisionSlider->value(), 7);
    EXPECT_EQ(ui.paperList->currentData().toString(), "2L");

    QSignalSpy changed(&settings, &SettingsDialog::settingsChanged);
    QSignalSpy resized(&settings, &SettingsDialog::sheetSizeChanged);
    settings.setSettings(Settings {});
    EXPECT_TRUE(ui.detectChinBox->isChecked());
    EXPECT_EQ(ui.paperList->currentData().toString(), "L");
    EXPECT_EQ(changed.count(), 0);
    EXPECT_EQ(resized.count(), 0);

    ui.straightenBox->setChecked(true);
    ui.jpegQualitySlider->setValue(75);
    ui.photoSizeList->setCurrentIndex(ui.photoSizeList->findData("passport"));
    ASSERT_EQ(changed.count(), 3);
    EXPECT_EQ(resized.count(), 1) << "only the size lists change the sheet";
    const Settings last = changed.last().at(0).value<Settings>();
    EXPECT_TRUE(last.straightenAutomatically);
    EXPECT_EQ(last.jpegQuality, 75);
    EXPECT_EQ(last.photoSize, "passport");
    EXPECT_EQ(last, settings.settings());
}

TEST(WindowSettings, ExistWithoutTheDialogWhichShowsThemWhenMade)
{
    RecordingDialogs dialogs;
    MainWindow window(dialogs);
    EXPECT_TRUE(window.settings().recogniseOnOpen);
    ControlsOf(window).keepFrameBox->click();
    EXPECT_FALSE(window.settings().recogniseOnOpen) << "keeping the frame switches recognition off, dialog or not";
    EXPECT_FALSE(window.settingsDialog().controls().recogniseOnOpenBox->isChecked());

    // An edit in the dialog reaches the window's value; the window's own options stay its controls'.
    window.settingsDialog().controls().minFaceSizeSlider->setValue(400);
    EXPECT_EQ(window.settings().minFaceSize, 400);
    EXPECT_TRUE(window.settings().keepFrame);
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST(SettingsDialog, RecognitionOnLoadNeedsTheFaceCascadeBesideTheProgram)
{
    RecordingDialogs dialogs;
    MainWindow window(dialogs);
    SettingsDialog& settings = window.settingsDialog();
    ScratchDir folder;
    window.setProgramFolder(QString::fromStdString(folder.Path().string()) + '/');

    settings.controls().recogniseOnOpenBox->setChecked(false);
    EXPECT_TRUE(dialogs.messages.empty());
    settings.controls().recogniseOnOpenBox->setChecked(true);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, "顔認識用のXMLデータが見つかりません。");
    EXPECT_EQ(dialogs.messages[0].title, "Vellicam");
    EXPECT_FALSE(settings.controls().recogniseOnOpenBox->isChecked());
    EXPECT_FALSE(window.settings().recogniseOnOpen);
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
    EXPECT_EQ(preview.size(), QSize(566, 766));
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
