// The settings dialog's photo size and paper lists as the window follows them: the session's layout, the title, the
// frame made anew (around the face it was set on) and the sheet; a change during an action; the face-height check after
// a head line; the straightening box; and the detector named once the start-up query answers.
#include "recognition/face_detector.h"
#include "session/session_texts.h"
#include "sheet/photo_size.h"
#include "window_fixture.h"

#include <filesystem>

namespace vellicam::test {
namespace {

namespace fs = std::filesystem;

class SheetSize : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        settingsUi().recogniseOnOpenBox->setChecked(false);
    }
    void Choose(QComboBox* list, const char* id)
    {
        const int index = list->findData(QString::fromUtf8(id));
        ASSERT_GE(index, 0) << id;
        list->setCurrentIndex(index);
    }
    void ShowPhoto()
    {
        Open(WritePhoto("portrait.jpg", 2400, 3200));
        ASSERT_TRUE(ui().frameImage->isVisible());
        dialogs.messages.clear();
    }
};

TEST_F(SheetSize, TheListsStartAtTheDefaultAndNameEveryEntry)
{
    EXPECT_EQ(settingsUi().photoSizeList->count(), static_cast<int>(PhotoSizes().size()));
    EXPECT_EQ(settingsUi().paperList->count(), static_cast<int>(PaperSizes().size()));
    EXPECT_EQ(settingsUi().photoSizeList->currentData().toString(), "resume");
    EXPECT_EQ(settingsUi().paperList->currentData().toString(), "L");
    EXPECT_TRUE(settingsUi().photoSizeList->findText(QStringLiteral("パスポート 35 × 45mm")) >= 0);
    EXPECT_EQ(window->windowTitle(),
        QStringLiteral("Vellicam - ") + QString::fromStdString(window->session().layoutStatusText()));
    EXPECT_EQ(window->appTitle(), "Vellicam") << "the boxes keep the program's name alone";
}

TEST_F(SheetSize, ChosenSizesReachTheLayoutTheTitleTheFrameAndTheSheet)
{
    ShowPhoto();
    Choose(settingsUi().photoSizeList, "passport");
    Choose(settingsUi().paperList, "2L");
    EXPECT_EQ(window->settings().photoSize, "passport");
    EXPECT_EQ(window->settings().paper, "2L");

    SheetLayout expected;
    ASSERT_EQ(BuildSheetLayout("passport", "2L", expected), kLayoutBuilt);
    const SheetLayout& layout = window->session().layout();
    EXPECT_EQ(layout.CellCount, expected.CellCount);
    EXPECT_EQ(layout.Cells, expected.Cells);
    EXPECT_TRUE(window->windowTitle().endsWith(
        QString::fromStdString(LayoutStatusText(*FindPhotoSize("passport"), *FindPaperSize("2L"), expected))));

    // The frame is the new size's minimum, with its aspect, attached to the grips.
    const QRect frame = Frame();
    EXPECT_EQ(QRect(window->session().frame().left, window->session().frame().top, window->session().frame().width,
                  window->session().frame().height),
        frame);
    EXPECT_NEAR(static_cast<double>(frame.width()) / frame.height(),
        static_cast<double>(expected.Cells[0].ImageWidth) / expected.Cells[0].ImageHeight, 0.02);
    EXPECT_EQ(ui().frameGrips->control(), ui().frameImage);

    ui().makeSheetButton->click();

    Settle();
    QApplication::processEvents();
    const std::string path = scratch / "portrait_sheet_passport_2L.jpeg";
    ASSERT_TRUE(fs::exists(path));
    Bitmap sheet;
    ASSERT_TRUE(LoadJpeg(path, sheet).ok);
    EXPECT_EQ(sheet.Width(), expected.SheetWidth);
    EXPECT_EQ(sheet.Height(), expected.SheetHeight);

    // Back to the default: the built-in layout again.
    Choose(settingsUi().photoSizeList, "resume");
    Choose(settingsUi().paperList, "L");
    EXPECT_EQ(window->session().layout().Cells, DefaultSheetLayout().Cells);
}

TEST_F(SheetSize, ASizeChosenDuringAnActionIsTakenWhenItEnds)
{
    ShowPhoto();
    const ControlBounds before = window->session().frame();
    window->setBusy(true);
    Choose(settingsUi().photoSizeList, "licence");
    EXPECT_STREQ(window->session().photoSize().id, "resume");
    EXPECT_EQ(window->session().frame(), before);
    window->setBusy(false);
    EXPECT_STREQ(window->session().photoSize().id, "licence");
    EXPECT_NE(window->session().frame(), before);
}

TEST_F(SheetSize, AHeadLinesFrameShowsTheFaceHeightInTheAnglePanel)
{
    ShowPhoto();
    Choose(settingsUi().photoSizeList, "passport");
    ui().headLineButton->click();
    window->headLinePressed(At(200, 100));
    window->headLineMoved(At(200, 300));
    window->headLineReleased(At(200, 300));
    Settle();
    ASSERT_TRUE(window->session().knowsFace());
    const QString text = QString::fromStdString(window->session().faceHeightText());
    EXPECT_TRUE(text.startsWith(QStringLiteral("顔の高さ "))) << text.toStdString();
    EXPECT_TRUE(text.endsWith(QStringLiteral("✓"))) << "the line's frame is made to the rule";
    EXPECT_TRUE(AnglePanel().endsWith(QStringLiteral("　") + text)) << "after the line's angle";

    // A new size makes the frame anew around the same face, to its own rule.
    Choose(settingsUi().photoSizeList, "us");
    ASSERT_TRUE(window->session().knowsFace());
    const QString remade = QString::fromStdString(window->session().faceHeightText());
    EXPECT_TRUE(remade.endsWith(QStringLiteral("✓"))) << remade.toStdString();
    EXPECT_EQ(AnglePanel(), remade);
    EXPECT_NEAR(static_cast<double>(Frame().width()) / Frame().height(), 1.0, 0.02) << "2 × 2 in";
}

TEST_F(SheetSize, TheStraighteningBoxIsOffAndReachesTheSettings)
{
    EXPECT_FALSE(settingsUi().straightenBox->isChecked());
    EXPECT_FALSE(window->settings().straightenAutomatically);
    settingsUi().straightenBox->setChecked(true);
    EXPECT_TRUE(window->settings().straightenAutomatically);
}

TEST_F(SheetSize, ThePlainBackgroundListIsOffAndReachesTheSettings)
{
    QComboBox* list = settingsUi().plainBackgroundList;
    EXPECT_EQ(list->currentIndex(), 0);
    EXPECT_FALSE(window->settings().plainBackground);
    struct Case {
        int index;
        bool picked;
        Rgb colour;
    };
    for (const Case& c : { Case { 2, false, kBackgroundLightBlue }, Case { 3, false, kBackgroundLightGrey },
             Case { 1, false, kBackgroundWhite }, Case { 4, true, kBackgroundWhite } }) {
        list->setCurrentIndex(c.index);
        const Settings s = window->settings();
        EXPECT_TRUE(s.plainBackground) << c.index;
        EXPECT_EQ(s.plainBackgroundPicked, c.picked) << c.index;
        EXPECT_EQ(s.backgroundColour, c.colour) << c.index;
    }
    list->setCurrentIndex(0);
    EXPECT_FALSE(window->settings().plainBackground);
}

TEST_F(SheetSize, TheDetectorInUseIsNamedOnceTheQueryAnswers)
{
    // The query runs on its own thread from the first show; the window stays responsive meanwhile.
    const QLabel* label = settingsUi().detectorLabel; // the dialog made before the answer
    QTRY_VERIFY_WITH_TIMEOUT(!label->text().isEmpty(), 30000);
    const QString text = label->text();
    // The detector on the first line; a library that loads says on a second whether it has a person mask.
    const QString detector = text.section(QLatin1Char('\n'), 0, 0);
    bool known = false;
    for (const DetectorKind kind : { DetectorKind::Verified, DetectorKind::CascadeOnly, DetectorKind::Unavailable })
        known = known || detector == QString::fromStdString(DetectorKindText(kind));
    EXPECT_TRUE(text == detector || text.section(QLatin1Char('\n'), 1).startsWith(QStringLiteral("人物マスク: ")))
        << text.toStdString();
    EXPECT_TRUE(known) << text.toStdString();
    // Every line is shown whole: the label is as tall as its text and the dialog ends below it.
    EXPECT_GE(label->height(), label->sizeHint().height()) << text.toStdString();
    EXPECT_GT(label->window()->height(), label->geometry().bottom()) << text.toStdString();

    // A dialog made after the answer shows it too.
    MainWindow late(dialogs);
    QSignalSpy named(&late, &MainWindow::detectorNamed);
    late.queryDetector();
    QTRY_VERIFY_WITH_TIMEOUT(!named.isEmpty(), 30000);
    EXPECT_EQ(late.settingsDialog().controls().detectorLabel->text(), named.first().first().toString());
}

} // namespace
} // namespace vellicam::test
