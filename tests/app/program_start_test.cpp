// The program's start: its command line read against the current folder, the answers given without a window, and
// Qt's own Japanese texts.
#include "program_start.h"

#include "test_support.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTranslator>

#include <filesystem>
#include <gtest/gtest.h>

namespace vellicam::test {
namespace {

namespace fs = std::filesystem;

TEST(CommandLine, PathsResolveAgainstTheCurrentFolderAndTheLastOneOpens)
{
    ScratchDir dir;
    fs::create_directories(dir.Path() / "photos" / "batch");
    WriteFile(dir.Path() / "photos" / "p.jpg", "x");
    WriteFile(dir.Path() / "photos" / "q.jpg", "x");
    const QString here = QString::fromStdString(dir.Path().string());
    const QString elsewhere = QString::fromStdString((dir.Path() / "photos" / "batch").string());

    struct Case {
        QStringList arguments;
        QString currentFolder;
        StartRequest::Kind kind;
        QString path;
    };
    const Case cases[] = {
        { {}, here, StartRequest::Window, {} },
        { { "photos/p.jpg" }, here, StartRequest::OpenPhoto, here + "/photos/p.jpg" },
        { { "../p.jpg" }, elsewhere, StartRequest::OpenPhoto, here + "/photos/p.jpg" },
        { { here + "/photos/p.jpg" }, elsewhere, StartRequest::OpenPhoto, here + "/photos/p.jpg" },
        // A photo that is not there opens all the same, to say so in the window.
        { { "photos/gone.jpg" }, here, StartRequest::OpenPhoto, here + "/photos/gone.jpg" },
        // Several photos (a desktop entry's %F): the last opens, as with a drop.
        { { "photos/p.jpg", "photos/q.jpg" }, here, StartRequest::OpenPhoto, here + "/photos/q.jpg" },
        { { "photos/batch" }, here, StartRequest::OpenFolder, elsewhere },
        { { "photos/batch/" }, here, StartRequest::OpenFolder, elsewhere },
        { { "." }, elsewhere, StartRequest::OpenFolder, elsewhere },
        // A file named like an option, after the end of the options.
        { { "--", "photos/p.jpg" }, here, StartRequest::OpenPhoto, here + "/photos/p.jpg" },
    };
    for (const Case& c : cases) {
        const StartRequest request
            = ReadCommandLine(QStringList { "/opt/bin/vellicam" } + c.arguments, c.currentFolder);
        EXPECT_EQ(request.kind, c.kind) << c.arguments.join(' ').toStdString();
        EXPECT_EQ(request.path, c.path) << c.arguments.join(' ').toStdString();
    }

    // --help and --version answer; an unknown option is refused, never taken for a file.
    const StartRequest help = ReadCommandLine({ "/opt/bin/vellicam", "--help" }, here);
    EXPECT_EQ(help.kind, StartRequest::Answer);
    EXPECT_TRUE(help.text.startsWith("Usage: vellicam [options]")) << help.text.toStdString();
    EXPECT_TRUE(help.text.contains("--version"));
    const StartRequest version = ReadCommandLine({ "vellicam", "photos/p.jpg", "--version" }, here);
    EXPECT_EQ(version.kind, StartRequest::Answer);
    EXPECT_TRUE(version.text.contains(QRegularExpression("^vellicam \\d+\\.\\d+\\.\\d+\\n$")))
        << version.text.toStdString();
    const StartRequest unknown = ReadCommandLine({ "vellicam", "--frobnicate" }, here);
    EXPECT_EQ(unknown.kind, StartRequest::Refuse);
    EXPECT_TRUE(unknown.text.contains("frobnicate"));

    // The program itself answers on standard output and leaves without a window, even with no display at all.
    const QString program = QString::fromStdString((fs::path(VELLICAM_BUILD_DIR) / "bin" / "vellicam").string());
    if (!fs::exists(program.toStdString()))
        GTEST_SKIP() << "the program is not built";
    for (const QString& option : { QStringLiteral("--version"), QStringLiteral("--help") }) {
        QProcess run;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        env.insert("QT_QPA_PLATFORM", "xcb");
        run.setProcessEnvironment(env);
        run.start(program, { option });
        ASSERT_TRUE(run.waitForFinished(30000)) << option.toStdString();
        EXPECT_EQ(run.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(run.exitCode(), 0) << option.toStdString();
        const QString out = QString::fromLocal8Bit(run.readAllStandardOutput());
        EXPECT_TRUE(out.contains("vellicam")) << option.toStdString();
    }
}

TEST(QtTranslations, QtsOwnDialogTextsSpeakJapanese)
{
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (!fs::exists((folder + "/qtbase_ja.qm").toStdString()))
        GTEST_SKIP() << "qt6-translations-l10n is not installed";
    QTranslator translator;
    ASSERT_TRUE(InstallQtJapanese(*QApplication::instance(), translator));
    // The standard buttons and the file dialog's words.
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), "キャンセル");
    EXPECT_NE(QCoreApplication::translate("QFileDialog", "File &name:"), "File &name:");
    QCoreApplication::removeTranslator(&translator);
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), "Cancel");
}

} // namespace
} // namespace vellicam::test
