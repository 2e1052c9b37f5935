// The main window's start-up state, its size rules, the settings dialog and the preview window.
#include "memory_report.h"
#include "window_fixture.h"

#include <QFile>

namespace vellicam::test {
namespace {

using Window = WindowTest;

TEST_F(Window, StartsWithOnlyTheFileButtonsSettingsAndQuitUsable)
{
    EXPECT_EQ(form1->windowTitle(), "Vellicam");
    EXPECT_EQ(form1->AppTitle, "Vellicam");
    EXPECT_FALSE(form1->Starting);
    EXPECT_FALSE(form1->Busy);
    EXPECT_TRUE(form1->CurrentPhotoPath.isEmpty());
    EXPECT_TRUE(form1->ExeFolder.endsWith('/'));
    EXPECT_TRUE(form1->PhotoFolder.endsWith('/'));

    for (QWidget* on : std::initializer_list<QWidget*> { form1->BitBtn1, form1->BitBtn2, form1->BitBtn16,
             form1->BitBtn14, form1->Edit3, form1->CheckBox1, form1->CheckBox2, form1->CheckBox4 }) {
        EXPECT_TRUE(on->isEnabled()) << on->metaObject()->className();
        EXPECT_TRUE(on->isVisible());
    }
    for (QWidget* off :
        std::initializer_list<QWidget*> { form1->BitBtn3, form1->BitBtn4, form1->BitBtn5, form1->BitBtn6,
            form1->BitBtn7, form1->BitBtn8, form1->BitBtn9, form1->ComboBox1, form1->CheckBox5, form1->SpeedButton1 })
        EXPECT_FALSE(off->isEnabled());
    for (QWidget* hidden : std::initializer_list<QWidget*> {
             form1->BitBtn10, form1->BitBtn11, form1->CheckBox3, form1->Image2, form1->Image3 })
        EXPECT_FALSE(hidden->isVisible());

    EXPECT_EQ(form1->BitBtn1->text(), "新規作成");
    EXPECT_EQ(form1->BitBtn2->text(), "写真選択");
    EXPECT_EQ(form1->BitBtn3->text(), "シート作成");
    EXPECT_EQ(form1->BitBtn14->text(), "終了(&C)");
    EXPECT_EQ(form1->SpeedButton1->text(), "頭部サイズ指定");
    EXPECT_EQ(form1->BitBtn4->text(), "左９０度回転");
    EXPECT_EQ(form1->BitBtn7->text(), "右0.1度回転");
    EXPECT_EQ(form1->Edit4->text(), "0");
    EXPECT_TRUE(form1->Edit4->isReadOnly());
    EXPECT_EQ(form1->ComboBox1->currentText(), "100%");
    EXPECT_EQ(form1->ComboBox1->count(), 4);
    EXPECT_TRUE(form1->CheckBox1->isChecked());
    EXPECT_FALSE(form1->CheckBox2->isChecked());
    EXPECT_EQ(form1->Edit3->toolTip(), "ここへ保存先フォルダをドラッグ＆ドロップします。");
    EXPECT_EQ(form1->BitBtn2->geometry(), QRect(88, 0, 89, 41));
    EXPECT_EQ(form1->SpeedButton1->geometry(), QRect(8, 80, 129, 41));
    EXPECT_EQ(form1->Image4->geometry(), QRect(496, 48, 25, 25));
    EXPECT_EQ(form1->Image4->Picture().Pixel(12, 12), kWhite);

    EXPECT_EQ(form1->FrameMinWidth, 378);
    EXPECT_EQ(form1->FrameMinHeight, 496);
    EXPECT_EQ(form1->FrameMaxWidth, 1890);
    EXPECT_EQ(form1->FrameMaxHeight, 2480);
    EXPECT_EQ(form1->FrameAspectWidth, 378);
    EXPECT_EQ(form1->FrameAspectHeight, 496);
    EXPECT_EQ(form1->PhotoBitmap.Width(), 10);
    EXPECT_EQ(form1->FittedBitmap.Height(), 10);
}

TEST_F(Window, LaysOutItsControlsAndStatusPanelsAtTheMinimumSize)
{
    EXPECT_EQ(form1->size(), QSize(1024, 755));
    // The quit button keeps 120 pixels from the right, the view fills the width less 24 and the height less
    // its top and 65.
    EXPECT_EQ(form1->BitBtn14->x(), 1024 - 120);
    EXPECT_EQ(form1->ScrollBox1->geometry(), QRect(8, 124, 1000, 755 - 124 - 65));
    EXPECT_EQ(form1->StatusBar1->geometry().bottom(), 754);
    form1->StatusBar1->SetPanel(3, "x");
    EXPECT_EQ(form1->StatusBar1->Panel(3), "x");
}

TEST_F(Window, NeverShrinksBelowTheMinimumAndHoldsItsSizeWhileBusy)
{
    form1->resize(800, 600);
    QApplication::processEvents();
    EXPECT_EQ(form1->size(), QSize(1024, 755));

    form1->resize(1100, 800);
    QApplication::processEvents();
    EXPECT_EQ(form1->size(), QSize(1100, 800));

    form1->SetBusy(true);
    form1->resize(1200, 900);
    QApplication::processEvents();
    EXPECT_EQ(form1->size(), QSize(1100, 800));
    form1->SetBusy(false);
    form1->resize(1200, 900);
    QApplication::processEvents();
    EXPECT_EQ(form1->size(), QSize(1200, 900));
}

TEST(WindowStarting, HoldsExactly1024By755UntilShown)
{
    RecordingDialogs dialogs;
    TForm1 form1(dialogs);
    EXPECT_TRUE(form1.Starting);
    form1.resize(1300, 1000);
    EXPECT_EQ(form1.size(), QSize(1024, 755));
    form1.resize(900, 700);
    EXPECT_EQ(form1.size(), QSize(1024, 755));
}

TEST_F(Window, SwitchingTheToolsOffLeavesNewAsItIs)
{
    form1->BitBtn1->setEnabled(false);
    form1->SetToolsEnabled(false);
    EXPECT_FALSE(form1->BitBtn1->isEnabled());
    form1->SetToolsEnabled(true);
    EXPECT_TRUE(form1->BitBtn1->isEnabled());
    form1->SetToolsEnabled(false);
    EXPECT_TRUE(form1->BitBtn1->isEnabled());
    EXPECT_FALSE(form1->BitBtn2->isEnabled());
    // Outside the group.
    EXPECT_TRUE(form1->BitBtn16->isEnabled());
    EXPECT_TRUE(form1->CheckBox1->isEnabled());
}

TEST_F(Window, ReportsMemoryIntoTheSettingsMemoOnEveryResize)
{
    form1->Form2->Memo1->clear();
    form1->resize(1050, 760);
    QApplication::processEvents();
    const QStringList lines = form1->Form2->Memo1->toPlainText().split('\n');
    ASSERT_EQ(lines.size(), 11);
    EXPECT_TRUE(lines[0].startsWith("プロセスID　　　："));
    EXPECT_TRUE(lines[4].startsWith("現在ワーキングセット："));
    EXPECT_TRUE(lines[4].endsWith("バイト"));
}

TEST_F(Window, AbortButtonOnlyRaisesTheFlagAndQuitClosesTheWindow)
{
    form1->BitBtn11Click();
    EXPECT_TRUE(form1->AbortRequested);
    form1->BitBtn14->click();
    EXPECT_FALSE(form1->isVisible());
}

TEST_F(Window, KeepingTheSelectionSwitchesOffRecognitionOnLoad)
{
    TForm2& settings = *form1->Form2;
    ASSERT_TRUE(settings.CheckBox4->isChecked());
    form1->CheckBox4->click();
    EXPECT_TRUE(form1->CheckBox4->isChecked());
    EXPECT_FALSE(settings.CheckBox4->isChecked());
    form1->CheckBox4->click();
    EXPECT_FALSE(form1->CheckBox4->isChecked());
    EXPECT_FALSE(settings.CheckBox4->isChecked());
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST(SettingsDialog, StartsWithTheDesignedDefaults)
{
    RecordingDialogs dialogs;
    TForm1 form1(dialogs);
    TForm2 settings(form1);
    EXPECT_EQ(settings.windowTitle(), "設定");
    EXPECT_TRUE(settings.CheckBox4->isChecked());
    EXPECT_FALSE(settings.CheckBox9->isChecked());
    for (QCheckBox* on : { settings.CheckBox7, settings.CheckBox11, settings.CheckBox12, settings.CheckBox14,
             settings.CheckBox3, settings.CheckBox1, settings.CheckBox2, settings.CheckBox5 })
        EXPECT_TRUE(on->isChecked()) << on->text().toStdString();
    for (QCheckBox* off : { settings.CheckBox8, settings.CheckBox6 }) {
        EXPECT_FALSE(off->isChecked());
        EXPECT_TRUE(off->isEnabled());
    }
    struct Expected {
        QSlider* slider;
        int minimum, maximum, value, top, tick;
    };
    for (const Expected& e :
        { Expected { settings.TrackBar4, 0, 100, 90, 112, 10 }, Expected { settings.TrackBar3, 50, 100, 80, 168, 5 },
            Expected { settings.TrackBar1, 0, 100, 50, 224, 5 }, Expected { settings.TrackBar2, 1, 10, 3, 272, 5 },
            Expected { settings.TrackBar6, 100, 1000, 200, 320, 100 } }) {
        EXPECT_EQ(e.slider->minimum(), e.minimum);
        EXPECT_EQ(e.slider->maximum(), e.maximum);
        EXPECT_EQ(e.slider->value(), e.value);
        EXPECT_EQ(e.slider->geometry(), QRect(309, e.top, 169, e.slider->height()));
        EXPECT_EQ(e.slider->tickInterval(), e.tick);
    }
    EXPECT_EQ(settings.TrackBar4->pageStep(), 10);
    EXPECT_EQ(settings.Memo1->geometry(), QRect(8, 376, 481, 177));
    EXPECT_TRUE(settings.Memo1->isReadOnly());
    EXPECT_EQ(settings.BitBtn11->text(), "閉じる");
    EXPECT_TRUE(dialogs.messages.empty()) << "no cascade test at start-up";
}

TEST(SettingsDialog, RecognitionOnLoadNeedsTheFaceCascadeBesideTheProgram)
{
    RecordingDialogs dialogs;
    TForm1 form1(dialogs);
    form1.AppTitle = "Vellicam";
    TForm2 settings(form1);
    ScratchDir folder;
    form1.ExeFolder = QString::fromStdString(folder.Path().string()) + '/';

    settings.CheckBox4->setChecked(false);
    EXPECT_TRUE(dialogs.messages.empty());
    settings.CheckBox4->setChecked(true);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, "顔認識用のXMLデータが見つかりません。");
    EXPECT_EQ(dialogs.messages[0].title, "Vellicam");
    EXPECT_FALSE(settings.CheckBox4->isChecked());
    EXPECT_EQ(dialogs.messages.size(), 1u) << "unchecking again asks nothing";

    WriteFile(folder.Path() / "haarcascade_frontalface_default.xml", "<opencv_storage/>");
    settings.CheckBox4->setChecked(true);
    EXPECT_TRUE(settings.CheckBox4->isChecked());
    EXPECT_EQ(dialogs.messages.size(), 1u);
}

TEST(PreviewWindow, HasItsCaptionScrollBoxAndWhiteImage)
{
    TForm3 preview;
    EXPECT_EQ(preview.windowTitle(), "プレビュー");
    EXPECT_EQ(preview.size(), QSize(566, 719));
    EXPECT_EQ(preview.ScrollBox1->geometry(), QRect(8, 0, 545, 705));
    EXPECT_EQ(preview.Image1->size(), QSize(544, 712));
    EXPECT_EQ(preview.Image1->Picture().Pixel(543, 711), kWhite);
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
