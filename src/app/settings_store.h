// Keeps the settings between runs in an INI file: the photo size, the paper, the plain background, the sheet's
// format, the last photo folder and "設定を記憶する" always; the settings dialog's other options only while
// "設定を記憶する" is on. A value that cannot be read leaves its default and marks the file damaged.
#pragma once

#include "session/settings.h"

#include <QString>

namespace vellicam {

class SettingsStore {
public:
    // The program's own file: vellicam/vellicam.ini in the user's configuration folder (XDG_CONFIG_HOME, else
    // ~/.config). Tests give a file of their own instead.
    [[nodiscard]] static QString StandardPath();

    explicit SettingsStore(QString path);
    [[nodiscard]] const QString& path() const { return path_; }

    struct Loaded {
        bool damaged = false; // something in the file could not be read: its default stands
        QString photoFolder; // the folder the open dialog last started in; empty when none is kept or it is gone
    };
    // Sets the fields of `settings` the file keeps; each field the file does not have, or has unreadable or out
    // of range, stays as it was given. A missing file is no damage.
    [[nodiscard]] Loaded load(Settings& settings) const;
    // Writes what is kept of `settings` with `photoFolder` over the whole file (the dialog's options only with
    // settings.rememberSettings); false when the file could not be written.
    bool save(const Settings& settings, const QString& photoFolder) const;

private:
    QString path_;
};

} // namespace vellicam
