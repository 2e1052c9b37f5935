// The sheet action of the main window: where the sheet goes, what it holds, the questions, a failed save, the
// preview, the log separator and the folder opened afterwards.
#include "window_fixture.h"

#include "session/session_texts.h"
#include "sheet/output_path.h"
#include "sheet/recognition_log.h"
#include "sheet/sheet_compose.h"

#include <QRegularExpression>

#include <cstdlib>
#include <filesystem>
#include <unistd.h>

namespace vellicam::test {
namespace {

namespace fs = std::filesystem;

const QString kSaved = QStringLiteral("保存しました。");
const QString kEnlargement = QStringLiteral(
    "選択範囲が出力先サイズより小さいので拡大されます。\n画質が悪くなる可能性があります。\n中断しますか？");

// The sheet's image rectangles with the built-in layout, cells 1 to 4.
constexpr Rect kCells[4]
    = { { 112, 118, 490, 614 }, { 561, 118, 939, 614 }, { 112, 687, 490, 1183 }, { 561, 687, 939, 1183 } };

// The JFIF header's density: dots per inch when its unit byte says so, else 0.
int JpegDpi(const std::string& bytes)
{
    if (bytes.size() < 18 || bytes.compare(6, 5, std::string("JFIF\0", 5)) != 0 || bytes[13] != 1)
        return 0;
    return (static_cast<unsigned char>(bytes[14]) << 8) | static_cast<unsigned char>(bytes[15]);
}

int Luma(Rgb c)
{
    return (c.r * 299 + c.g * 587 + c.b * 114) / 1000;
}

int ColourDistance(Rgb a, Rgb b)
{
    return std::max({ std::abs(a.r - b.r), std::abs(a.g - b.g), std::abs(a.b - b.b) });
}

// The darkest pixel of a rectangle.
int DarkestIn(const Bitmap& image, Rect area)
{
    int darkest = 255;
    for (int y = area.top; y < area.bottom; ++y)
        for (int x = area.left; x < area.right; ++x)
            darkest = std::min(darkest, Luma(image.Pixel(x, y)));
    return darkest;
}

// A smooth photo with a few shapes, so that a cell put in the wrong place or made from the wrong region shows.
Bitmap PatternPhoto(int width, int height)
{
    Bitmap photo;
    EXPECT_TRUE(photo.Resize(width, height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int dx = x - width / 2;
            const int dy = y - height / 2;
            const bool disk = dx * dx + dy * dy < (height / 5) * (height / 5);
            const Rgb c { static_cast<std::uint8_t>(x * 200 / width + 30),
                static_cast<std::uint8_t>(y * 200 / height + 20), static_cast<std::uint8_t>(disk ? 30 : 160) };
            photo.SetPixel(x, y, c);
        }
    return photo;
}

class Sheet : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        // Each test places its own frame; recognition would move it and log its failures on the test patterns.
        settingsUi().recogniseOnOpenBox->setChecked(false);
    }
    // Opens a photo and forgets the boxes that opening showed.
    void OpenPhoto(const QString& path)
    {
        Open(path);
        ASSERT_EQ(window->photoPath(), path);
        ASSERT_TRUE(ui().frameImage->isVisible());
        dialogs.messages.clear();
        dialogs.questions.clear();
    }
    // Opens a photo of one colour as the only photo of a dropped folder; a batch's sheet takes its photo's name, in
    // the folder "sheets".
    void OpenAsBatch(const std::string& name, int width, int height)
    {
        fs::create_directories(scratch.Path() / "batch");
        (void)WritePhoto("batch/" + name, width, height);
        window->openItems({ QString::fromStdString((scratch.Path() / "batch").string()) });
        Settle();
        ASSERT_TRUE(window->batch().isActive());
        ASSERT_TRUE(ui().frameImage->isVisible());
        fs::create_directories(scratch.Path() / "sheets");
        ui().outputFolderEdit->setText(QString::fromStdString((scratch.Path() / "sheets").string()) + "/");
        dialogs.messages.clear();
        dialogs.questions.clear();
    }
    QString WritePattern(const std::string& name, int width, int height)
    {
        const std::string path = scratch / name;
        EXPECT_TRUE(SaveJpeg(path, PatternPhoto(width, height), { 95, 0 }).ok);
        return QString::fromStdString(path);
    }
    // Puts the frame where it cuts the square's region starting at (left, top) of about width × height, and
    // returns the cut the window will make.
    CropRect FrameOnSquare(int left, int top, int width, int height)
    {
        const int side = window->session().square().Width();
        const int view = ui().photoImage->width();
        SetFrame(left * view / side, top * view / side, width * view / side, height * view / side);
        CropRect crop;
        EXPECT_EQ(window->cropRectangle(crop), kCropOk);
        return crop;
    }
    // The smallest frame in view pixels whose cut is exactly width × height, at (left, top) of the view.
    void FrameCutting(int width, int height, int left = 10, int top = 10)
    {
        const int side = window->session().square().Width();
        const int view = ui().photoImage->width();
        int w = 1;
        int h = 1;
        CropRect crop;
        while (w < 4 * view && (CropRectFromFrame(0, 0, w, 1, 0, 0, side, view, crop) != kCropOk || crop.width < width))
            ++w;
        while (
            h < 4 * view && (CropRectFromFrame(0, 0, 1, h, 0, 0, side, view, crop) != kCropOk || crop.height < height))
            ++h;
        SetFrame(left, top, w, h);
        ASSERT_EQ(window->cropRectangle(crop), kCropOk);
        ASSERT_EQ(crop.width, width);
        ASSERT_EQ(crop.height, height);
    }
    void MakeSheet()
    {
        ui().makeSheetButton->click();
        Settle();
        QApplication::processEvents();
    }
    static Bitmap LoadSheet(const std::string& path)
    {
        Bitmap sheet;
        EXPECT_TRUE(LoadJpeg(path, sheet).ok) << path;
        return sheet;
    }
    // The window is ready for the next action: nothing running, the tools and the sheet button on.
    void ExpectUsable() const
    {
        EXPECT_FALSE(window->isBusy());
        EXPECT_TRUE(ui().choosePhotoButton->isEnabled());
        EXPECT_TRUE(ui().turnLeftButton->isEnabled());
        EXPECT_TRUE(ui().makeSheetButton->isEnabled());
    }
};

TEST_F(Sheet, WithoutAnOutputFolderTheSheetLandsBesideThePhotoUnderItsOwnName)
{
    const QString photo = WritePattern("portrait.jpg", 1600, 1200);
    OpenPhoto(photo);
    (void)FrameOnSquare(500, 300, 600, 790);
    MakeSheet();

    const std::string expected = scratch / "portrait_sheet.jpeg";
    ASSERT_TRUE(fs::exists(expected));
    const std::string bytes = ReadFile(expected);
    EXPECT_EQ(JpegDpi(bytes), 300);
    const Bitmap sheet = LoadSheet(expected);
    EXPECT_EQ(sheet.Width(), 1051);
    EXPECT_EQ(sheet.Height(), 1500);
    // The photo itself is never replaced by its sheet.
    Bitmap original;
    EXPECT_TRUE(LoadJpeg(photo.toStdString(), original).ok);
    EXPECT_EQ(original.Width(), 1600);

    EXPECT_TRUE(dialogs.questions.empty());
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, kSaved);
    EXPECT_EQ(dialogs.messages[0].title, window->appTitle());
    EXPECT_EQ(ui().statusBar->panel(0), "保存しました。:" + QString::fromStdString(expected));

    // The preview: the sheet reduced to the window's height, shown from the top-left.
    EXPECT_TRUE(preview().isVisible());
    EXPECT_EQ(preview().image()->size(), QSize(498, 712));
    EXPECT_EQ(preview().image()->pos(), QPoint(0, 0));
    EXPECT_EQ(preview().image()->picture().Width(), 498);
    EXPECT_EQ(preview().image()->picture().Height(), 712);
    EXPECT_EQ(window->session().preview().Width(), 498);
    EXPECT_FALSE(preview().image()->isTransparent());
    // The preview's cell 1 holds the photo, its margin is white.
    EXPECT_EQ(preview().image()->picture().Pixel(5, 5), kWhite);
    EXPECT_NE(preview().image()->picture().Pixel(150, 170), kWhite);

    ExpectUsable();
    EXPECT_EQ(window->focusWidget(), ui().makeSheetButton);
}

TEST_F(Sheet, AnOutputFolderTakesThePhotosOwnNameAndIsCreatedWhenMissing)
{
    OpenPhoto(WritePattern("IMG_0001.JPG", 1600, 1200));
    (void)FrameOnSquare(500, 300, 600, 790);
    ui().outputFolderEdit->setText(QString::fromStdString(scratch / "out/deeper/"));
    MakeSheet();

    const std::string expected = scratch / "out/deeper/IMG_0001.JPG";
    ASSERT_TRUE(fs::exists(expected));
    EXPECT_EQ(JpegDpi(ReadFile(expected)), 300);
    EXPECT_EQ(LoadSheet(expected).Width(), 1051);
    EXPECT_FALSE(fs::exists(scratch / "IMG_0001_sheet.jpeg"));

    // An existing sheet of that name is replaced without a question.
    dialogs.messages.clear();
    MakeSheet();
    EXPECT_TRUE(dialogs.questions.empty());
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, kSaved);
}

TEST_F(Sheet, FourEqualCellsWithTheMarksAndScaleTheSettingsAskFor)
{
    settingsUi().jpegQualitySlider->setValue(100);
    OpenPhoto(WritePattern("portrait.jpg", 1600, 1200));
    (void)FrameOnSquare(500, 300, 600, 790);
    ui().outputFolderEdit->setText(QString::fromStdString(scratch / "on/"));
    MakeSheet();
    const Bitmap sheet = LoadSheet(scratch / "on/portrait.jpg");
    ASSERT_EQ(sheet.Width(), 1051);

    // Every cell is the same image, up to what the encoder does differently at each cell's block alignment.
    for (int k = 1; k < 4; ++k) {
        long long total = 0;
        int worst = 0;
        for (int y = 0; y < 496; ++y)
            for (int x = 0; x < 378; ++x) {
                const int d = ColourDistance(sheet.Pixel(kCells[0].left + x, kCells[0].top + y),
                    sheet.Pixel(kCells[k].left + x, kCells[k].top + y));
                total += d;
                worst = std::max(worst, d);
            }
        EXPECT_LT(total / (378 * 496), 2) << "cell " << k + 1;
        EXPECT_LT(worst, 40) << "cell " << k + 1;
    }
    // The photo's dark disk lies in the middle of the cut, so in the middle of each cell.
    for (const Rect& cell : kCells)
        EXPECT_LT(sheet.Pixel((cell.left + cell.right) / 2, (cell.top + cell.bottom) / 2).b, 80);

    // Corner marks of cells 1 and 3, the centre line beside cell 1, the scale's first tick and its base line.
    EXPECT_LT(DarkestIn(sheet, { 70, 129, 105, 132 }), 100);
    EXPECT_LT(DarkestIn(sheet, { 123, 75, 126, 110 }), 100);
    EXPECT_LT(DarkestIn(sheet, { 70, 698, 105, 701 }), 100);
    EXPECT_LT(DarkestIn(sheet, { 78, 365, 108, 368 }), 100);
    EXPECT_LT(DarkestIn(sheet, { 229, 1442, 232, 1450 }), 100);
    EXPECT_LT(DarkestIn(sheet, { 300, 1451, 700, 1454 }), 100);

    // All three off: white wherever no image lies (a few pixels of codec ringing allowed at the images' edges).
    settingsUi().centreMarksBox->setChecked(false);
    settingsUi().cornerMarksBox->setChecked(false);
    settingsUi().scaleBox->setChecked(false);
    ui().outputFolderEdit->setText(QString::fromStdString(scratch / "off/"));
    MakeSheet();
    const Bitmap plain = LoadSheet(scratch / "off/portrait.jpg");
    ASSERT_EQ(plain.Height(), 1500);
    int darkest = 255;
    for (int y = 0; y < plain.Height(); ++y)
        for (int x = 0; x < plain.Width(); ++x) {
            bool nearCell = false;
            for (const Rect& c : kCells)
                nearCell = nearCell || (x >= c.left - 8 && x < c.right + 8 && y >= c.top - 8 && y < c.bottom + 8);
            if (!nearCell)
                darkest = std::min(darkest, Luma(plain.Pixel(x, y)));
        }
    EXPECT_GT(darkest, 240);
    EXPECT_EQ(ColourDistance(plain.Pixel(1000, 1445), kWhite), 0);
}

TEST_F(Sheet, AFramePastTheRightEdgeIsCutThereAndStretchedToItsFullSize)
{
    // Landscape, so the square is the photo's width: columns from 1400 on are green, the rest blue-grey.
    Bitmap photo = SolidBitmap(1600, 1200, { 60, 90, 180 });
    FillRect(photo, { 1400, 0, 1600, 1200 }, { 40, 200, 60 });
    const std::string path = scratch / "edge.jpg";
    ASSERT_TRUE(SaveJpeg(path, photo, { 95, 0 }).ok);
    OpenPhoto(QString::fromStdString(path));
    settingsUi().jpegQualitySlider->setValue(100);

    const CropRect crop = FrameOnSquare(1300, 400, 400, 526);
    ASSERT_EQ(crop.source.right, 1600);
    ASSERT_GT(crop.width, crop.source.Width()) << "the frame must reach past the edge";
    MakeSheet();
    EXPECT_TRUE(dialogs.questions.empty());
    EXPECT_EQ(window->session().cutSize().width, crop.width);
    EXPECT_EQ(window->session().cutSize().height, crop.height);

    const Bitmap sheet = LoadSheet(scratch / "edge_sheet.jpeg");
    ASSERT_EQ(sheet.Width(), 1051);
    // Where the green begins in the cell when the cut part fills the whole width.
    const int boundary = (1400 - crop.source.left) * 378 / crop.source.Width();
    for (const Rect& cell : kCells) {
        const int y = cell.top + 250;
        EXPECT_LT(ColourDistance(sheet.Pixel(cell.left + boundary - 20, y), { 60, 90, 180 }), 24);
        EXPECT_LT(ColourDistance(sheet.Pixel(cell.left + boundary + 20, y), { 40, 200, 60 }), 24);
        EXPECT_LT(ColourDistance(sheet.Pixel(cell.right - 4, y), { 40, 200, 60 }), 24);
    }
}

TEST_F(Sheet, ASmallCutAsksAndYesAbandonsWithNothingWritten)
{
    OpenPhoto(WritePhoto("small.jpg", 480, 400, { 200, 120, 60 }));
    FrameCutting(300, 400);
    dialogs.answers.push_back(true);
    MakeSheet();

    ASSERT_EQ(dialogs.questions.size(), 1u);
    EXPECT_EQ(dialogs.questions[0].text, kEnlargement);
    EXPECT_EQ(dialogs.questions[0].title, window->appTitle());
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_FALSE(fs::exists(scratch / "small_sheet.jpeg"));
    EXPECT_EQ(preview().image()->picture().Pixel(150, 170), kWhite) << "no preview of an abandoned sheet";
    ExpectUsable();
}

TEST_F(Sheet, ASmallCutAnsweredNoIsStretchedToTheCells)
{
    OpenPhoto(WritePhoto("small.jpg", 400, 480, { 200, 120, 60 }));
    // Clear of the square's black bands at the sides, so the cut is the photo's colour only.
    FrameCutting(300, 400, 60, 10);
    dialogs.answers.push_back(false);
    MakeSheet();

    ASSERT_EQ(dialogs.questions.size(), 1u);
    EXPECT_EQ(window->session().cutSize().width, 300);
    EXPECT_EQ(window->session().cutSize().height, 400);
    const Bitmap sheet = LoadSheet(scratch / "small_sheet.jpeg");
    ASSERT_EQ(sheet.Width(), 1051);
    for (const Rect& cell : kCells) {
        EXPECT_LT(ColourDistance(sheet.Pixel(cell.left + 3, cell.top + 3), { 200, 120, 60 }), 24);
        EXPECT_LT(ColourDistance(sheet.Pixel(cell.right - 3, cell.bottom - 3), { 200, 120, 60 }), 24);
    }
}

TEST_F(Sheet, AnOutputFolderWithoutItsSlashIsStillTheFolder)
{
    OpenPhoto(WritePattern("portrait.jpg", 1600, 1200));
    (void)FrameOnSquare(500, 300, 600, 790);
    ui().outputFolderEdit->setText(QString::fromStdString(scratch / "out"));
    ui().openFolderBox->setChecked(true);
    MakeSheet();

    EXPECT_TRUE(fs::exists(scratch / "out/portrait.jpg"));
    EXPECT_FALSE(fs::exists(scratch / "outportrait.jpg"));
    ASSERT_EQ(dialogs.opened.size(), 1u);
    EXPECT_EQ(dialogs.opened[0], QUrl::fromLocalFile(QString::fromStdString(scratch / "out/")));
}

TEST_F(Sheet, AnUnwritableTargetSaysSoLeavesNoFileAndTheWindowUsable)
{
    WriteFile(scratch.Path() / "plain.txt", "not a folder");
    OpenPhoto(WritePattern("portrait.jpg", 1600, 1200));
    (void)FrameOnSquare(500, 300, 600, 790);
    const std::string folder = scratch / "plain.txt/out";
    ui().outputFolderEdit->setText(QString::fromStdString(folder + "/"));
    ui().openFolderBox->setChecked(true);
    MakeSheet();

    ASSERT_EQ(dialogs.messages.size(), 1u);
    const QString cannotCreate = QStringLiteral("保存先フォルダを作成出来ません。");
    EXPECT_EQ(dialogs.messages[0].text,
        cannotCreate + QString::fromStdString("\n" + folder + "\n途中にフォルダではないものがあります"));
    EXPECT_EQ(dialogs.messages[0].title, window->appTitle());
    EXPECT_EQ(ReadFile(scratch.Path() / "plain.txt"), "not a folder");
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(scratch.Path()))
        names.push_back(entry.path().filename().string());
    EXPECT_EQ(names.size(), 2u) << "only the photo and the plain file: " << testing::PrintToString(names);
    EXPECT_NE(ui().statusBar->panel(0).left(7), QStringLiteral("保存しました。"));
    EXPECT_EQ(preview().image()->picture().Pixel(150, 170), kWhite) << "no preview of an unsaved sheet";
    // The folder is opened after a failed save too.
    ASSERT_EQ(dialogs.opened.size(), 1u);
    EXPECT_EQ(dialogs.opened[0], QUrl::fromLocalFile(QString::fromStdString(folder + "/")));
    ExpectUsable();

    // The next attempt, into a good folder, works.
    dialogs.messages.clear();
    ui().outputFolderEdit->setText(QString::fromStdString(scratch / "good/"));
    MakeSheet();
    EXPECT_TRUE(fs::exists(scratch / "good/portrait.jpg"));
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, kSaved);
    EXPECT_EQ(ui().statusBar->panel(0).left(7), QStringLiteral("保存しました。"));

    // A failed save after it leaves no word of the earlier sheet's save in the status bar: its own short form
    // stands there, the whole message in the tip.
    dialogs.messages.clear();
    ui().outputFolderEdit->setText(QString::fromStdString(folder + "/"));
    MakeSheet();
    EXPECT_EQ(ui().statusBar->panel(0), cannotCreate);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(ui().statusBar->panelTip(0), dialogs.messages[0].text);
}

// What the user reads when a photo does not open or a sheet cannot be written: a box naming the file and the reason
// in words, and a status bar that keeps no word of the photo or the sheet before.
TEST_F(Sheet, APhotoThatDoesNotOpenAndASheetThatCannotBeWrittenAreToldInBoxesNamingTheirPaths)
{
    const QString photo = WritePattern("portrait.jpg", 1600, 1200);
    OpenPhoto(photo);
    (void)FrameOnSquare(500, 300, 600, 790);
    MakeSheet();
    ASSERT_TRUE(ui().statusBar->panel(0).startsWith(QStringLiteral("保存しました。")));
    ASSERT_EQ(ui().statusBar->panel(1), QStringLiteral("portrait.jpg"));

    dialogs.messages.clear();
    const QString missing = QString::fromStdString(scratch / "gone.jpg");
    Open(missing);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, "写真を開けませんでした。\n" + missing + "\nファイルが見つかりません");
    EXPECT_EQ(ui().statusBar->panel(0), QStringLiteral("写真を開けませんでした。"));
    EXPECT_TRUE(ui().statusBar->panel(1).isEmpty()) << "the photo before is no longer open";
    EXPECT_FALSE(window->isBusy());
    EXPECT_TRUE(ui().choosePhotoButton->isEnabled());

    if (::geteuid() == 0)
        GTEST_SKIP() << "permissions do not stop root; a folder below a file stands in (AnUnwritableTarget...)";
    OpenPhoto(photo);
    (void)FrameOnSquare(500, 300, 600, 790);
    const fs::path shut = scratch.Path() / "shut";
    fs::create_directories(shut);
    fs::permissions(shut, fs::perms::owner_read | fs::perms::owner_exec);
    ui().outputFolderEdit->setText(QString::fromStdString(shut.string() + "/"));
    MakeSheet();
    fs::permissions(shut, fs::perms::owner_all);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text,
        QString::fromStdString("シートを保存できませんでした。\n" + (shut / "portrait.jpg").string()
            + "\nアクセスが拒否されました"));
    EXPECT_EQ(ui().statusBar->panel(0), QStringLiteral("シートを保存できませんでした。"));
    ExpectUsable();
}

TEST_F(Sheet, TheFolderIsOpenedOnlyWhenAsked)
{
    OpenPhoto(WritePattern("portrait.jpg", 1600, 1200));
    (void)FrameOnSquare(500, 300, 600, 790);
    MakeSheet();
    EXPECT_TRUE(dialogs.opened.empty());
    // With the box empty, the photo's folder is opened.
    ui().openFolderBox->setChecked(true);
    MakeSheet();
    ASSERT_EQ(dialogs.opened.size(), 1u);
    EXPECT_EQ(dialogs.opened[0], QUrl::fromLocalFile(window->photoFolder()));
}

TEST_F(Sheet, TheLogSeparatorIsAppendedOnlyToALogThatExists)
{
    OpenPhoto(WritePattern("portrait.jpg", 1600, 1200));
    (void)FrameOnSquare(500, 300, 600, 790);
    ui().outputFolderEdit->setText(QString::fromStdString(scratch / "out/"));
    const fs::path log = scratch.Path() / "out" / kRecognitionLogName;
    MakeSheet();
    EXPECT_FALSE(fs::exists(log));

    WriteFile(log, "an earlier failure\n");
    MakeSheet();
    const QStringList lines = QString::fromStdString(ReadFile(log)).split('\n');
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[0], "an earlier failure");
    const QRegularExpression separator(
        QStringLiteral("^-{32}\\( \\d{4}/\\d{2}/\\d{2} \\d{1,2}:\\d{2}:\\d{2} \\)-{32}$"));
    EXPECT_TRUE(separator.match(lines[1]).hasMatch()) << lines[1].toStdString();
    EXPECT_EQ(lines[2], "");
}

TEST_F(Sheet, TheAngleIsResetForTheNextPhotoUnlessKept)
{
    OpenPhoto(WritePattern("portrait.jpg", 1600, 1200));
    (void)FrameOnSquare(500, 300, 600, 790);
    window->session().setAngle(25);
    ui().angleBox->setText("2.5");
    MakeSheet();
    EXPECT_EQ(window->session().angle(), 0);
    EXPECT_EQ(ui().angleBox->text(), "0");

    ui().keepFrameBox->setChecked(true);
    window->session().setAngle(25);
    ui().angleBox->setText("2.5");
    MakeSheet();
    EXPECT_EQ(window->session().angle(), 25);
    EXPECT_EQ(ui().angleBox->text(), "2.5");

    // An empty angle box is reset whatever the box says.
    ui().angleBox->clear();
    MakeSheet();
    EXPECT_EQ(window->session().angle(), 0);
    EXPECT_EQ(ui().angleBox->text(), "0");
}

TEST_F(Sheet, ABusyWindowIgnoresTheButton)
{
    OpenPhoto(WritePattern("portrait.jpg", 1600, 1200));
    (void)FrameOnSquare(500, 300, 600, 790);
    window->setBusy(true);
    window->makeSheet();
    EXPECT_FALSE(fs::exists(scratch / "portrait_sheet.jpeg"));
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_TRUE(window->isBusy());
    window->setBusy(false);
}

TEST_F(Sheet, AnUnattendedBatchPassesOverASmallCutWithoutAsking)
{
    OpenAsBatch("small.jpg", 480, 400);
    FrameCutting(300, 400);
    ui().continuousBox->setChecked(true);
    settingsUi().skipUnrecognisedBox->setChecked(true);
    // The run (of this photo alone) ends with its counts, the only box.
    EXPECT_EQ(MakeSheetOfPhoto(), -1);
    EXPECT_TRUE(dialogs.questions.empty());
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, "0枚保存しました。スキップ 1、失敗 0");
    dialogs.messages.clear();
    EXPECT_FALSE(fs::exists(scratch / "sheets/small.jpg"));

    // Attended (the skip setting off), the question comes back; in a batch no "saved" box follows.
    settingsUi().skipUnrecognisedBox->setChecked(false);
    dialogs.answers.push_back(false);
    EXPECT_EQ(MakeSheetOfPhoto(), 0);
    EXPECT_EQ(dialogs.questions.size(), 1u);
    for (const auto& box : dialogs.messages)
        EXPECT_NE(box.text, kSaved);
    EXPECT_TRUE(fs::exists(scratch / "sheets/small.jpg"));
}

TEST_F(Sheet, ARefusedReductionAsksWhetherToGoOn)
{
    OpenPhoto(WritePhoto("wide.jpg", 2400, 900));
    // Far wider than a cell: the reduction refuses the aspect, and the cells would be squeezed.
    (void)FrameOnSquare(200, 100, 2000, 700);
    dialogs.answers.push_back(true);
    EXPECT_EQ(MakeSheetOfPhoto(), -1);
    ASSERT_EQ(dialogs.questions.size(), 1u);
    EXPECT_EQ(dialogs.questions[0].text, "縮小に失敗しました。中断しますか？");
    EXPECT_FALSE(fs::exists(scratch / "wide_sheet.jpeg"));

    dialogs.answers.push_back(false);
    EXPECT_EQ(MakeSheetOfPhoto(), 0);
    EXPECT_TRUE(fs::exists(scratch / "wide_sheet.jpeg"));

    // Nobody is asked in an unattended batch: the squeezed sheet is saved.
    OpenAsBatch("wide.jpg", 2400, 900);
    (void)FrameOnSquare(200, 100, 2000, 700);
    ui().continuousBox->setChecked(true);
    settingsUi().skipUnrecognisedBox->setChecked(true);
    EXPECT_EQ(MakeSheetOfPhoto(), 0);
    EXPECT_TRUE(dialogs.questions.empty());
    EXPECT_TRUE(fs::exists(scratch / "sheets/wide.jpg"));
}

// A real portrait through the window, framed from the top of the hair to below the chin. The sheet is kept in the
// build folder as sheet-example.jpeg, to be looked at.
TEST_F(Sheet, ARealPortraitGivesFourFramedPhotos)
{
    const fs::path source = DataDir() / "photos" / "portrait_dark_background_868.jpg";
    const std::string path = scratch / "portrait.jpg";
    fs::copy_file(source, path);
    OpenPhoto(QString::fromStdString(path));
    // The hair begins at row 45 and the chin lies near row 545; the face is centred near column 440.
    const CropRect crop = FrameOnSquare(146, 0, 592, 777);
    EXPECT_GE(crop.width, 378);
    MakeSheet();
    EXPECT_TRUE(dialogs.questions.empty());
    const std::string sheetPath = scratch / "portrait_sheet.jpeg";
    const Bitmap sheet = LoadSheet(sheetPath);
    ASSERT_EQ(sheet.Width(), 1051);
    fs::copy_file(sheetPath, fs::path(VELLICAM_BUILD_DIR) / "sheet-example.jpeg", fs::copy_options::overwrite_existing);
    // The white shirt fills the bottom of each cell, the dark background its top corners.
    for (const Rect& cell : kCells) {
        EXPECT_GT(Luma(sheet.Pixel(cell.left + 30, cell.bottom - 10)), 180);
        EXPECT_LT(Luma(sheet.Pixel(cell.left + 10, cell.top + 20)), 80);
    }
}

// "背景を無地にする" shows on the view inside the frame before any sheet is made, and goes when it is switched off.
TEST_F(Sheet, ThePlainBackgroundShowsInsideTheFrameBeforeTheSheet)
{
    const fs::path source = DataDir() / "photos" / "portrait_dark_background_868.jpg";
    const std::string path = scratch / "portrait.jpg";
    fs::copy_file(source, path);
    OpenPhoto(QString::fromStdString(path));
    (void)FrameOnSquare(146, 0, 592, 777);
    const QPoint frameCorner = ui().frameImage->pos() - ui().photoImage->pos() + QPoint(6, 6);
    const QPoint outside = frameCorner - QPoint(12, -20);
    const Bitmap& view = ui().photoImage->picture();
    const Rgb before = view.Pixel(frameCorner.x(), frameCorner.y());
    ASSERT_LT(Luma(before), 80) << "the dark background";

    settingsUi().plainBackgroundList->setCurrentIndex(1); // 白
    QTRY_VERIFY_WITH_TIMEOUT(Luma(ui().photoImage->picture().Pixel(frameCorner.x(), frameCorner.y())) > 200, 20000);
    EXPECT_LT(Luma(view.Pixel(outside.x(), outside.y())), 80) << "outside the frame the photo is as it is";
    EXPECT_FALSE(fs::exists(scratch / "portrait_sheet.jpeg"));

    settingsUi().plainBackgroundList->setCurrentIndex(0);
    EXPECT_EQ(ui().photoImage->picture().Pixel(frameCorner.x(), frameCorner.y()), before);
}

} // namespace
} // namespace vellicam::test
