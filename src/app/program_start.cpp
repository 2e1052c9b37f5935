#include "program_start.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#ifndef VELLICAM_VERSION
#define VELLICAM_VERSION "0"
#endif

namespace vellicam {

StartRequest ReadCommandLine(const QStringList& arguments, const QString& currentFolder)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Vellicam: ID photographs from portrait snapshots, composed into print sheets."));
    const QCommandLineOption help(
        { QStringLiteral("h"), QStringLiteral("help") }, QStringLiteral("Show this help and exit."));
    const QCommandLineOption version(
        { QStringLiteral("v"), QStringLiteral("version") }, QStringLiteral("Show the version and exit."));
    parser.addOption(help);
    parser.addOption(version);
    parser.addPositionalArgument(QStringLiteral("PHOTO|FOLDER"),
        QStringLiteral("A JPEG photo to open, or a folder whose photos are worked one after another "
                       "(as if dropped on the window). Of several, the last opens."),
        QStringLiteral("[PHOTO...|FOLDER]"));

    StartRequest request;
    const QString name = QStringLiteral("vellicam");
    if (!parser.parse(arguments)) {
        request.kind = StartRequest::Refuse;
        request.text = name + QStringLiteral(": ") + parser.errorText() + QStringLiteral("\n")
            + QStringLiteral("Try 'vellicam --help'.\n");
        return request;
    }
    if (parser.isSet(help)) {
        request.kind = StartRequest::Answer;
        // The usage line names the program as it is installed, not as this run was started.
        QString text = parser.helpText();
        const QString usage = QStringLiteral("Usage: ");
        if (const qsizetype start = text.indexOf(usage); start >= 0) {
            const qsizetype end = text.indexOf(QChar(' '), start + usage.size());
            if (end > start)
                text.replace(start + usage.size(), end - start - usage.size(), name);
        }
        request.text = text;
        return request;
    }
    if (parser.isSet(version)) {
        request.kind = StartRequest::Answer;
        request.text = name + QStringLiteral(" ") + QStringLiteral(VELLICAM_VERSION) + QStringLiteral("\n");
        return request;
    }
    const QStringList paths = parser.positionalArguments();
    if (paths.isEmpty())
        return request;
    const QFileInfo last(QDir(currentFolder), paths.last());
    request.path = QDir::cleanPath(last.absoluteFilePath());
    request.kind = last.isDir() ? StartRequest::OpenFolder : StartRequest::OpenPhoto;
    return request;
}

bool InstallQtJapanese(QCoreApplication& app, QTranslator& translator)
{
    if (!translator.load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"), QStringLiteral("_"),
            QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        return false;
    return app.installTranslator(&translator);
}

} // namespace vellicam
