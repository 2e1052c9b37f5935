// The desktop program: its command line (answered without a window for --help and --version), Qt's Japanese
// texts, the main window with the settings kept from the last run (which makes its settings dialog when first asked
// for), then the preview window, and the event loop. A photo named on the command line opens as if chosen with
// "写真選択"; a folder is worked as if dropped on the window.
#include "batch_controller.h"
#include "dialog_service.h"
#include "main_window.h"
#include "program_start.h"
#include "settings_store.h"
#include "sheet_preview_window.h"

#include <QApplication>
#include <QDir>
#include <QTimer>
#include <QTranslator>

#include <cstdio>
#include <exception>

int main(int argc, char** argv)
{
    // Read before any window system is touched: the answers need no display.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const vellicam::StartRequest request = vellicam::ReadCommandLine(arguments, QDir::currentPath());
    if (request.kind == vellicam::StartRequest::Answer || request.kind == vellicam::StartRequest::Refuse) {
        const QByteArray text = request.text.toLocal8Bit();
        std::FILE* out = request.kind == vellicam::StartRequest::Answer ? stdout : stderr;
        std::fwrite(text.constData(), 1, static_cast<std::size_t>(text.size()), out);
        return request.kind == vellicam::StartRequest::Answer ? 0 : 2;
    }

    QApplication app(argc, argv);
    QTranslator qtJapanese;
    (void)vellicam::InstallQtJapanese(app, qtJapanese);
    vellicam::QtDialogService dialogs;
    try {
        // The settings kept from the last run, in the user's configuration folder.
        vellicam::SettingsStore store(vellicam::SettingsStore::StandardPath());
        vellicam::MainWindow window(dialogs);
        window.keepSettingsIn(&store);
        dialogs.SetParent(&window);
        vellicam::SheetPreviewWindow preview(&window);
        window.setPreviewWindow(&preview);

        window.show();
        if (request.kind == vellicam::StartRequest::OpenPhoto) {
            const QString photo = request.path;
            QTimer::singleShot(0, &window, [&window, photo] { window.selectPhoto(photo); });
        } else if (request.kind == vellicam::StartRequest::OpenFolder) {
            const QString folder = request.path;
            QTimer::singleShot(0, &window, [&window, folder] { window.openItems({ folder }); });
        }
        return QApplication::exec();
    } catch (const std::exception& e) {
        // The windows are gone by now: the box stands alone.
        dialogs.SetParent(nullptr);
        dialogs.Message(QStringLiteral("Vellicam"), QString::fromLocal8Bit(e.what()), vellicam::MessageIcon::None);
        return 1;
    }
}
