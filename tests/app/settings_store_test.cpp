// The settings kept between runs: what comes back from the file, what a damaged file gives, and a window started
// over the file another window wrote.
#include "settings_store.h"
#include "window_fixture.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace vellicam::test {
namespace {

// Every option of the dialog away from its default.
void ChangeDialogOptions(Settings& s)
{
    s.recogniseOnOpen = false;
    s.skipUnrecognised = true;
    s.correctHeadTop = false;
    s.oversizeIsError = false;
    s.upperHalfOnly = false;
    s.detectChin = false;
    s.showResults = false;
    s.saveFaceImage = true;
    s.straightenAutomatically = true;
    s.centreMarks = false;
    s.cornerMarks = false;
    s.scale = false;
    s.keepExisting = true;
    s.jpegQuality = 0;
    s.backgroundRatio = 100;
    s.colourTolerance = 7;
    s.precision = 10;
    s.minFaceSize = 1000;
}

TEST(SettingsStore, KeepsTheSizesFormatBackgroundAndFolderAndTheDialogsOptionsOnlyWhenAsked)
{
    QTemporaryDir scratch;
    ASSERT_TRUE(scratch.isValid());
    const QString folder = scratch.filePath(QStringLiteral("写真, 2024"));
    ASSERT_TRUE(QDir().mkpath(folder));
    struct Case {
        const char* what;
        std::function<void(Settings&)> change;
        bool kept; // the change comes back; otherwise the defaults do
    };
    const Case cases[] = {
        { "photo size", [](Settings& s) { s.photoSize = "passport"; }, true },
        { "paper", [](Settings& s) { s.paper = "2L"; }, true },
        { "sheet format", [](Settings& s) { s.sheetFormat = SheetFormat::Pdf; }, true },
        { "plain light blue", [](Settings& s) { s.plainBackground = true, s.backgroundColour = kBackgroundLightBlue; },
            true },
        { "plain light grey", [](Settings& s) { s.plainBackground = true, s.backgroundColour = kBackgroundLightGrey; },
            true },
        { "plain picked", [](Settings& s) { s.plainBackground = true, s.plainBackgroundPicked = true; }, true },
        { "remember on", [](Settings& s) { s.rememberSettings = true; }, true },
        { "dialog's options remembered",
            [](Settings& s) {
                s.rememberSettings = true;
                ChangeDialogOptions(s);
            },
            true },
        { "dialog's options not remembered", [](Settings& s) { ChangeDialogOptions(s); }, false },
        { "window's own options",
            [](Settings& s) {
                s.sharpen = false;
                s.keepFrame = true;
                s.outputFolder = "/tmp";
                s.usePickedColour = true;
            },
            false },
    };
    for (const Case& c : cases) {
        SettingsStore store(scratch.filePath(QStringLiteral("config/vellicam.ini")));
        // A run before that remembered everything: nothing of it may outlast this one's choices.
        Settings before;
        before.rememberSettings = true;
        ChangeDialogOptions(before);
        ASSERT_TRUE(store.save(before, QString()));

        Settings written;
        c.change(written);
        ASSERT_TRUE(store.save(written, folder)) << c.what;
        Settings read;
        const SettingsStore::Loaded loaded = store.load(read);
        EXPECT_FALSE(loaded.damaged) << c.what;
        EXPECT_EQ(loaded.photoFolder, folder) << c.what;
        EXPECT_EQ(read, c.kept ? written : Settings {}) << c.what;
    }
}

TEST(SettingsStore, ADamagedFileGivesTheDefaultsForWhatCannotBeReadAndSaysSo)
{
    QTemporaryDir scratch;
    ASSERT_TRUE(scratch.isValid());
    struct Case {
        const char* what;
        QByteArray file;
        bool damaged;
        std::function<void(Settings&)> expected; // over the defaults
    };
    const auto none = [](Settings&) {};
    const Case cases[] = {
        { "garbage bytes", QByteArray("\x00\xff\xfe\x01[[[\n==\x80\x81garbage\n", 19), true, none },
        { "empty file", QByteArray(), false, none },
        { "a photo size that does not exist", "[sheet]\nphotoSize=nosuchsize\npaper=2L\n", true,
            [](Settings& s) { s.paper = "2L"; } },
        { "a paper that does not exist", "[sheet]\npaper=A0\nformat=pdf\n", true,
            [](Settings& s) { s.sheetFormat = SheetFormat::Pdf; } },
        { "a quality of 500",
            "[General]\nrememberSettings=true\n[dialog]\njpegQuality=500\nprecision=7\nminFaceSize=99\n", true,
            [](Settings& s) { s.rememberSettings = true, s.precision = 7; } },
        { "a number that is no number", "[General]\nrememberSettings=true\n[dialog]\ncolourTolerance=fifty\n", true,
            [](Settings& s) { s.rememberSettings = true; } },
        { "a colour that is not a colour", "[sheet]\nplainBackground=notacolour\nformat=jpeg\n", true, none },
        { "a colour the list does not offer", "[sheet]\nplainBackground=123456\n", true, none },
        { "a flag that is neither true nor false", "[General]\nrememberSettings=maybe\n", true, none },
        { "a list where a size belongs", "[sheet]\nphotoSize=passport, resume\n", true, none },
        { "dialog options while not remembered", "[General]\nrememberSettings=false\n[dialog]\nprecision=7\n", false,
            none },
        { "a photo folder that has gone", "[General]\nphotoFolder=/no/such/folder\n", false, none },
    };
    for (const Case& c : cases) {
        // A file of its own for each: Qt keeps a file it has read in memory while its size and time look the same.
        const QString path = scratch.filePath(QString::fromLatin1(c.what) + QStringLiteral(".ini"));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(c.file);
        file.close();
        Settings read;
        const SettingsStore::Loaded loaded = SettingsStore(path).load(read);
        Settings expected;
        c.expected(expected);
        EXPECT_EQ(loaded.damaged, c.damaged) << c.what;
        EXPECT_EQ(read, expected) << c.what;
        EXPECT_TRUE(loaded.photoFolder.isEmpty()) << c.what;
    }
}

TEST(KeptSettings, AChoiceInOneWindowIsWhereTheNextWindowStarts)
{
    QTemporaryDir scratch;
    ASSERT_TRUE(scratch.isValid());
    SettingsStore store(scratch.filePath(QStringLiteral("vellicam.ini")));
    RecordingDialogs dialogs;
    MainWindow unkept(dialogs);
    const QString defaultTitle = unkept.windowTitle();
    const auto choose = [](QComboBox* list, const char* id) { list->setCurrentIndex(list->findData(id)); };
    {
        MainWindow first(dialogs);
        first.keepSettingsIn(&store);
        const SettingsDialog::Controls& ui = first.settingsDialog().controls();
        choose(ui.photoSizeList, "passport");
        ui.precisionSlider->setValue(7);
        // A photo chosen there, even one that does not open, is where the open dialog starts next time.
        first.selectPhoto(scratch.filePath(QStringLiteral("gone.jpg")));
        Settle(first);
    }
    {
        MainWindow next(dialogs);
        next.keepSettingsIn(&store);
        EXPECT_EQ(next.settingsDialog().controls().photoSizeList->currentData().toString(), "passport");
        EXPECT_NE(next.windowTitle(), defaultTitle) << "the title names the size in use";
        EXPECT_TRUE(next.session().hasSheetSize(next.settings()));
        EXPECT_EQ(next.settingsDialog().controls().precisionSlider->value(), 3) << "not remembered yet";
        ControlsOf(next).choosePhotoButton->click();
        ASSERT_FALSE(dialogs.openFolders.empty());
        EXPECT_EQ(QDir::cleanPath(dialogs.openFolders.back()), scratch.path());
        next.settingsDialog().controls().rememberBox->click();
        next.settingsDialog().controls().precisionSlider->setValue(7);
    }
    MainWindow last(dialogs);
    last.keepSettingsIn(&store);
    EXPECT_TRUE(last.settingsDialog().controls().rememberBox->isChecked());
    EXPECT_EQ(last.settingsDialog().controls().precisionSlider->value(), 7);
    EXPECT_TRUE(ControlsOf(last).statusBar->panel(kGuidancePanel).isEmpty());

    // A file spoilt since: the defaults, and the status bar says why.
    QFile file(store.path());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("\x01\x02 not settings \xff");
    file.close();
    MainWindow spoilt(dialogs);
    spoilt.keepSettingsIn(&store);
    EXPECT_EQ(spoilt.settings(), unkept.settings());
    EXPECT_EQ(spoilt.windowTitle(), defaultTitle);
    EXPECT_EQ(ControlsOf(spoilt).statusBar->panel(kGuidancePanel), main_window_texts::kSettingsUnreadable);
}

} // namespace
} // namespace vellicam::test
