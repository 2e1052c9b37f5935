// The desktop program: the main window, then the preview window, then the settings dialog, and the event loop.
// A photo named on the command line is opened as if chosen with "写真選択".
#include "dialog_service.h"
#include "tform1.h"
#include "tform2.h"
#include "tform3.h"

#include <QApplication>
#include <QTimer>

#include <exception>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    vellicam::QtDialogService dialogs;
    try {
        vellicam::TForm1 form1(dialogs);
        dialogs.SetParent(&form1);
        // The settings dialog comes last: nothing while the main window is made may use it.
        vellicam::TForm3 form3(&form1);
        form1.Form3 = &form3;
        vellicam::TForm2 form2(form1, &form1);
        form1.Form2 = &form2;

        form1.show();
        const QStringList args = QApplication::arguments();
        if (args.size() > 1) {
            const QString photo = args.at(1);
            QTimer::singleShot(0, &form1, [&form1, photo] { form1.SelectPhoto(photo); });
        }
        return QApplication::exec();
    } catch (const std::exception& e) {
        // The windows are gone by now: the box stands alone.
        dialogs.SetParent(nullptr);
        dialogs.Message(QStringLiteral("Vellicam"), QString::fromLocal8Bit(e.what()), vellicam::MessageIcon::None);
        return 1;
    }
}
