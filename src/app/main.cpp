// The desktop program: the main window, then the preview window, then the settings dialog, and the event loop.
// A photo named on the command line is opened as if chosen with "写真選択".
#include "dialog_service.h"
#include "main_window.h"
#include "settings_dialog.h"
#include "sheet_preview_window.h"

#include <QApplication>
#include <QTimer>

#include <exception>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    vellicam::QtDialogService dialogs;
    try {
        vellicam::MainWindow window(dialogs);
        dialogs.SetParent(&window);
        // The settings dialog comes last: nothing while the main window is made may use it.
        vellicam::SheetPreviewWindow preview(&window);
        window.setPreviewWindow(&preview);
        vellicam::SettingsDialog settings(window, &window);
        window.setSettingsDialog(&settings);

        window.show();
        const QStringList args = QApplication::arguments();
        if (args.size() > 1) {
            const QString photo = args.at(1);
            QTimer::singleShot(0, &window, [&window, photo] { window.selectPhoto(photo); });
        }
        return QApplication::exec();
    } catch (const std::exception& e) {
        // The windows are gone by now: the box stands alone.
        dialogs.SetParent(nullptr);
        dialogs.Message(QStringLiteral("Vellicam"), QString::fromLocal8Bit(e.what()), vellicam::MessageIcon::None);
        return 1;
    }
}
