// What the program is asked to do when it starts: its command line (a photo, a folder, several photos, or only
// its help or version), and Qt's own Japanese texts for the dialogs and buttons Qt words itself.
#pragma once

#include <QString>
#include <QStringList>

class QCoreApplication;
class QTranslator;

namespace vellicam {

struct StartRequest {
    enum Kind {
        Window, // the window with nothing open
        OpenPhoto, // the window with `path` open as "写真選択" would open it
        OpenFolder, // the window working the folder `path` as a drop of it would
        Answer, // `text` on standard output and exit 0, without a window
        Refuse, // `text` on standard error and exit 2, without a window
    };
    Kind kind = Window;
    QString path; // absolute
    QString text;
};

// Reads `arguments` (the program's name first): --help and --version answer; the last path named, resolved
// against `currentFolder`, opens (a folder is worked as a dropped folder, a file as a chosen photo, the others are
// passed over as a drop of several photos passes them over).
[[nodiscard]] StartRequest ReadCommandLine(const QStringList& arguments, const QString& currentFolder);

// Installs Qt's own Japanese translations (the file dialog, the standard buttons) into `app`; false when they are
// not installed (the package qt6-translations-l10n).
bool InstallQtJapanese(QCoreApplication& app, QTranslator& translator);

} // namespace vellicam
