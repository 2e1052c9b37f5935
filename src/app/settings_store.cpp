#include "settings_store.h"

#include "sheet/photo_size.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <utility>

namespace vellicam {

namespace {

// The dialog's options kept while "設定を記憶する" is on, each with its key; the ranges are the sliders'.
struct Flag {
    const char* key;
    bool Settings::*field;
};
constexpr Flag kDialogFlags[] = {
    { "dialog/recogniseOnOpen", &Settings::recogniseOnOpen },
    { "dialog/skipUnrecognised", &Settings::skipUnrecognised },
    { "dialog/correctHeadTop", &Settings::correctHeadTop },
    { "dialog/oversizeIsError", &Settings::oversizeIsError },
    { "dialog/upperHalfOnly", &Settings::upperHalfOnly },
    { "dialog/detectChin", &Settings::detectChin },
    { "dialog/showResults", &Settings::showResults },
    { "dialog/saveFaceImage", &Settings::saveFaceImage },
    { "dialog/straightenAutomatically", &Settings::straightenAutomatically },
    { "dialog/centreMarks", &Settings::centreMarks },
    { "dialog/cornerMarks", &Settings::cornerMarks },
    { "dialog/scale", &Settings::scale },
    { "dialog/keepExisting", &Settings::keepExisting },
};
struct Number {
    const char* key;
    int Settings::*field;
    int minimum;
    int maximum;
};
constexpr Number kDialogNumbers[] = {
    { "dialog/jpegQuality", &Settings::jpegQuality, 0, 100 },
    { "dialog/backgroundRatio", &Settings::backgroundRatio, 50, 100 },
    { "dialog/colourTolerance", &Settings::colourTolerance, 0, 100 },
    { "dialog/precision", &Settings::precision, 1, 10 },
    { "dialog/minFaceSize", &Settings::minFaceSize, 100, 1000 },
};

const QString kPhotoSizeKey = QStringLiteral("sheet/photoSize");
const QString kPaperKey = QStringLiteral("sheet/paper");
const QString kFormatKey = QStringLiteral("sheet/format");
// "off", "picked" (the colour picked on the view) or the colour as six hexadecimal digits.
const QString kPlainBackgroundKey = QStringLiteral("sheet/plainBackground");
const QString kPhotoFolderKey = QStringLiteral("photoFolder");
const QString kRememberKey = QStringLiteral("rememberSettings");

// The plain colours the dialog's list offers; another colour could not be shown there.
constexpr Rgb kListColours[] = { kBackgroundWhite, kBackgroundLightBlue, kBackgroundLightGrey };

QString ColourText(Rgb colour)
{
    char text[7];
    std::snprintf(text, sizeof text, "%02x%02x%02x", colour.r, colour.g, colour.b);
    return QString::fromLatin1(text);
}

// Reads the file's values as texts, noting anything that is not one.
class Reader {
public:
    explicit Reader(const QSettings& file)
        : file_(file)
    {
    }
    bool damaged = false;
    bool any = false; // a key of the program's was found

    // The key's text; false (damaged when it is there) when it has none. Qt hands back the value itself rather
    // than its text while the file it wrote is still cached in the process: a flag or a number is taken as its text.
    bool text(const QString& key, QString& value)
    {
        if (!file_.contains(key))
            return false;
        any = true;
        const QVariant read = file_.value(key);
        const int type = read.typeId();
        if (type != QMetaType::QString && type != QMetaType::Bool && type != QMetaType::Int)
            return fail();
        value = read.toString();
        return true;
    }
    void flag(const QString& key, bool& field)
    {
        QString value;
        if (!text(key, value))
            return;
        if (value == QLatin1String("true"))
            field = true;
        else if (value == QLatin1String("false"))
            field = false;
        else
            fail();
    }
    void number(const QString& key, int& field, int minimum, int maximum)
    {
        QString value;
        if (!text(key, value))
            return;
        bool ok = false;
        const int read = value.toInt(&ok);
        if (ok && read >= minimum && read <= maximum)
            field = read;
        else
            fail();
    }
    // A text that `accept` takes, else damage.
    template <typename Accept> void choice(const QString& key, Accept accept)
    {
        QString value;
        if (text(key, value) && !accept(value))
            fail();
    }

private:
    bool fail()
    {
        damaged = true;
        return false;
    }
    const QSettings& file_;
};

} // namespace

QString SettingsStore::StandardPath()
{
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("vellicam"), QStringLiteral("vellicam"))
        .fileName();
}

SettingsStore::SettingsStore(QString path)
    : path_(std::move(path))
{
}

SettingsStore::Loaded SettingsStore::load(Settings& settings) const
{
    Loaded loaded;
    const QFileInfo info(path_);
    if (!info.exists())
        return loaded;
    const QSettings file(path_, QSettings::IniFormat);
    Reader read(file);
    read.choice(kPhotoSizeKey, [&settings](const QString& id) {
        if (!FindPhotoSize(id.toStdString()))
            return false;
        settings.photoSize = id.toStdString();
        return true;
    });
    read.choice(kPaperKey, [&settings](const QString& id) {
        if (!FindPaperSize(id.toStdString()))
            return false;
        settings.paper = id.toStdString();
        return true;
    });
    read.choice(kFormatKey, [&settings](const QString& format) {
        if (format != QLatin1String("jpeg") && format != QLatin1String("pdf"))
            return false;
        settings.sheetFormat = format == QLatin1String("pdf") ? SheetFormat::Pdf : SheetFormat::Jpeg;
        return true;
    });
    read.choice(kPlainBackgroundKey, [&settings](const QString& choice) {
        if (choice == QLatin1String("off") || choice == QLatin1String("picked")) {
            settings.plainBackground = choice != QLatin1String("off");
            settings.plainBackgroundPicked = settings.plainBackground;
            return true;
        }
        Rgb colour;
        if (!ParseBackgroundColour(choice.toStdString(), colour)
            || std::find(std::begin(kListColours), std::end(kListColours), colour) == std::end(kListColours))
            return false;
        settings.plainBackground = true;
        settings.plainBackgroundPicked = false;
        settings.backgroundColour = colour;
        return true;
    });
    QString folder;
    // A folder that has gone since is no damage: the open dialog starts where it always did.
    if (read.text(kPhotoFolderKey, folder) && QFileInfo(folder).isDir())
        loaded.photoFolder = QDir::cleanPath(folder);
    bool remember = settings.rememberSettings;
    read.flag(kRememberKey, remember);
    settings.rememberSettings = remember;
    if (remember) {
        for (const Flag& flag : kDialogFlags)
            read.flag(QLatin1String(flag.key), settings.*flag.field);
        for (const Number& number : kDialogNumbers)
            read.number(QLatin1String(number.key), settings.*number.field, number.minimum, number.maximum);
    }
    // A file the program wrote has its keys; one with none of them, or one Qt could not parse, is not its own.
    loaded.damaged = read.damaged || file.status() != QSettings::NoError || (!read.any && info.size() > 0);
    return loaded;
}

bool SettingsStore::save(const Settings& settings, const QString& photoFolder) const
{
    const QFileInfo info(path_);
    if (!QDir().mkpath(info.absolutePath()))
        return false;
    QSettings file(path_, QSettings::IniFormat);
    // The whole file anew: nothing damaged, and no dialog option once they are no longer remembered.
    file.clear();
    file.setValue(kPhotoSizeKey, QString::fromStdString(settings.photoSize));
    file.setValue(kPaperKey, QString::fromStdString(settings.paper));
    file.setValue(
        kFormatKey, settings.sheetFormat == SheetFormat::Pdf ? QStringLiteral("pdf") : QStringLiteral("jpeg"));
    QString plain = QStringLiteral("off");
    if (settings.plainBackground)
        plain = settings.plainBackgroundPicked ? QStringLiteral("picked") : ColourText(settings.backgroundColour);
    file.setValue(kPlainBackgroundKey, plain);
    if (!photoFolder.isEmpty())
        file.setValue(kPhotoFolderKey, photoFolder);
    file.setValue(kRememberKey, settings.rememberSettings);
    if (settings.rememberSettings) {
        for (const Flag& flag : kDialogFlags)
            file.setValue(QLatin1String(flag.key), settings.*flag.field);
        for (const Number& number : kDialogNumbers)
            file.setValue(QLatin1String(number.key), settings.*number.field);
    }
    file.sync();
    return file.status() == QSettings::NoError;
}

} // namespace vellicam
