// "印刷" in the main window and the preview window: off before a sheet, then the last sheet made reaches the print
// dialog with its paper; a printer that cannot print all of it is asked about; no printer is said.
#include "image/image_io.h"
#include "qt_bitmap.h"
#include "sheet/sheet_pdf.h"
#include "window_fixture.h"

namespace vellicam::test {
namespace {

class Printing : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        settingsUi().recogniseOnOpenBox->setChecked(false);
    }
    // The main window's own button (the preview window, a child of it, holds the other).
    [[nodiscard]] QPushButton* MainPrint() const
    {
        return window->findChild<QPushButton*>(QStringLiteral("printButton"), Qt::FindDirectChildrenOnly);
    }
    [[nodiscard]] QPushButton* PreviewPrint() const
    {
        return preview().findChild<QPushButton*>(QStringLiteral("printButton"));
    }
    void MakeSheet(const std::string& name, Rgb colour)
    {
        Open(WritePhoto(name, 900, 1200, colour));
        ASSERT_EQ(MakeSheetOfPhoto(), SheetOutcome::Saved);
        dialogs.messages.clear();
    }
};

TEST_F(Printing, BothButtonsPrintTheLastSheetMadeOnItsPaper)
{
    ASSERT_TRUE(MainPrint() && PreviewPrint());
    for (QPushButton* button : { MainPrint(), PreviewPrint() }) {
        EXPECT_FALSE(button->isEnabled());
        button->click();
    }
    EXPECT_TRUE(dialogs.printed.empty());

    const int paper = settingsUi().paperList->findData(QStringLiteral("2L"));
    settingsUi().paperList->setCurrentIndex(paper);
    MakeSheet("first.jpg", { 200, 40, 40 });
    // The photo after it has no sheet yet: "印刷" still prints the last sheet made, the first photo's.
    Open(WritePhoto("second.jpg", 900, 1200, { 40, 40, 200 }));
    const std::shared_ptr<const Bitmap> sheet = window->session().lastSheet().sheet;
    ASSERT_TRUE(sheet);
    for (QPushButton* button : { MainPrint(), PreviewPrint() }) {
        ASSERT_TRUE(button->isEnabled());
        button->click();
    }
    ASSERT_EQ(dialogs.printed.size(), 2u);
    for (const RecordingDialogs::Print& print : dialogs.printed) {
        EXPECT_EQ(print.paper, "2L");
        EXPECT_EQ(print.sheet.size(), QSize(1500, 2102));
        EXPECT_EQ(print.sheet.dotsPerMeterX(), 11811) << "300 dpi";
        Bitmap printed;
        ASSERT_TRUE(FromQImage(print.sheet, printed));
        EXPECT_TRUE(SameImage(printed, *sheet, "printed"));
        // A cell of the first photo's colour, not the open one's.
        const SheetCell& first = window->session().layout().Cells[0];
        const Rgb cell = printed.Pixel(first.CentreX, first.CentreY);
        EXPECT_GT(cell.r, cell.b);
    }
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(Printing, APrinterThatCannotPrintTheWholeSheetIsAskedAboutAndNoPrinterIsSaid)
{
    MakeSheet("photo.jpg", { 120, 160, 90 });
    // 3 mm margins on the L sheet of 88.98 × 127 mm: 5.8 mm lost at the right, the most.
    dialogs.printableArea = PaperRect { 3.2, 3, 80, 120 };
    dialogs.answers = { false, true };
    MainPrint()->click();
    ASSERT_EQ(dialogs.questions.size(), 1u);
    EXPECT_TRUE(dialogs.questions[0].text.contains(QStringLiteral("最大 5.8mm")))
        << dialogs.questions[0].text.toStdString();
    EXPECT_TRUE(dialogs.printed.empty()) << "answered no";
    MainPrint()->click();
    EXPECT_EQ(dialogs.printed.size(), 1u) << "answered yes";

    dialogs.printableArea.reset();
    PreviewPrint()->click();
    EXPECT_EQ(dialogs.questions.size(), 2u) << "a borderless printer is not asked about";
    EXPECT_EQ(dialogs.printed.size(), 2u);

    dialogs.noPrinter = true;
    MainPrint()->click();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_TRUE(dialogs.messages[0].text.startsWith(QStringLiteral("プリンターが見つかりません。")));
    EXPECT_EQ(dialogs.printed.size(), 2u);
}

} // namespace
} // namespace vellicam::test

namespace vellicam::test {
namespace {

// "シートの形式" set to PDF: the sheet action saves the photo's sheet as a PDF of ours, beside the photo and in a
// batch's output folder alike.
TEST_F(Printing, ThePdfSheetFormatReachesTheSheetActionAndTheBatch)
{
    QComboBox* format = window->settingsDialog().findChild<QComboBox*>(QStringLiteral("sheetFormatList"));
    ASSERT_TRUE(format);
    EXPECT_EQ(format->currentText(), "JPEG");
    format->setCurrentIndex(format->findText(QStringLiteral("PDF")));
    EXPECT_EQ(window->settings().sheetFormat, SheetFormat::Pdf);

    MakeSheet("photo.jpg", { 90, 90, 90 });
    EXPECT_TRUE(IsMarkedSheetPdf(scratch / "photo_sheet.pdf"));
    EXPECT_FALSE(std::filesystem::exists(scratch / "photo_sheet.jpeg"));

    const QString folder = Folder("batch", { "a.jpg", "b.jpg" });
    window->openItems({ folder });
    Settle();
    ui().makeSheetButton->click();
    Settle();
    EXPECT_TRUE(IsMarkedSheetPdf(folder.toStdString() + "/a_sheet.pdf"));
}

} // namespace
} // namespace vellicam::test
