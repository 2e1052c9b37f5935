// Opening a photo in the real main window until its fitted view is shown, beside decoding the same file alone.
#ifdef VELLICAM_BENCH_WINDOW

#include "bench_pairs.h"

#include "image/bitmap.h"
#include "image/image_io.h"
#include "main_window.h"
#include "recognition/face_detector.h"
#include "settings_dialog.h"
#include "sheet_preview_window.h"

#include <QApplication>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cstdio>
#include <functional>
#include <memory>

namespace {

using namespace vellicam;

// Answers nothing and shows nothing: the low-resolution box never comes up for a photo this large.
class SilentDialogs final : public DialogService {
public:
    void Message(const QString&, const QString&, MessageIcon) override { }
    bool Ask(const QString&, const QString&) override { return false; }
    QString OpenPicture(const QString&, const QString&) override { return {}; }
    bool OpenUrl(const QUrl&) override { return true; }
    PrintOutcome PrintSheet(const QImage&, const PaperSize&, const std::function<bool(const PaperRect&)>&) override
    {
        return PrintOutcome::Cancelled;
    }
};

struct WindowBench {
    std::unique_ptr<QApplication> app;
    SilentDialogs dialogs;
    std::unique_ptr<MainWindow> window;
    std::string photo;
    Bitmap decoded;
};

WindowBench& State()
{
    static WindowBench state;
    return state;
}

void MakeWindow(bool recognise)
{
    WindowBench& s = State();
    if (!s.app) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "vellicam_bench";
        static char* argv[] = { name, nullptr };
        s.app = std::make_unique<QApplication>(argc, argv);
        // The offscreen platform's notes about size hints would drown the table.
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
            if (type != QtDebugMsg && type != QtInfoMsg && !text.contains(QLatin1String("propagateSizeHints")))
                std::fprintf(stderr, "%s\n", qPrintable(text));
        });
    }
    s.window = std::make_unique<MainWindow>(s.dialogs);
    s.window->setPreviewWindow(new SheetPreviewWindow(s.window.get()));
    Settings settings = s.window->settingsDialog().settings();
    settings.recogniseOnOpen = recognise;
    s.window->setDialogSettings(settings);
    s.window->show();
    QApplication::processEvents();
}

void Setup()
{
    MakeWindow(false); // no recognition after the open
    WindowBench& s = State();

    // A real photo enlarged to 6000 × 4000, saved as an ordinary camera JPEG.
    s.photo = "/tmp/vellicam-bench-open-6000x4000.jpg";
    cv::Mat source = cv::imread(VELLICAM_SOURCE_DIR "/tests/data/photos/group_three_people_1280x900.jpg");
    cv::Mat large;
    cv::resize(source, large, cv::Size(6000, 4000), 0, 0, cv::INTER_CUBIC);
    cv::imwrite(s.photo, large, { cv::IMWRITE_JPEG_QUALITY, 90 });
}

void Teardown()
{
    WindowBench& s = State();
    s.window.reset();
    // The application object is left to the end of the process: destroying it among the other statics at exit
    // would pull the platform out from under Qt's own clean-up.
    (void)s.app.release();
    s.decoded.Clear();
    std::remove(s.photo.c_str());
}

// What a new photo selection does before it opens the file: the workspace is emptied.
void ResetWindow()
{
    WindowBench& s = State();
    s.window->session().close(); // read the file again
    s.window->resetWorkspace();
}

void OpenInWindow()
{
    WindowBench& s = State();
    // Opened on the window's worker and shown when its result comes back: the bench waits for the window's idle.
    s.window->selectPhoto(QString::fromStdString(s.photo));
    // Waiting for each event, not polling: a polling loop would take a core the open and the recognition use.
    while (s.window->isBusy())
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    if (!s.window->session().hasPhoto())
        std::fprintf(stderr, "open failed\n");
}

void DecodeOnly()
{
    WindowBench& s = State();
    if (!LoadJpeg(s.photo, s.decoded))
        std::fprintf(stderr, "decode failed\n");
}

const bench::Register kOpen { { "open 6000x4000 photo in the window until shown", "LoadJpeg alone", 1.5, Setup,
    OpenInWindow, DecodeOnly, Teardown, ResetWindow } };

// A development-set portrait enlarged to 4000 × 3000, opened with recognition on until its frame is shown: what a
// user waits for between choosing a photo and making its sheet.
void SetupRecognising()
{
    MakeWindow(true);
    WindowBench& s = State();
    s.photo = "/tmp/vellicam-bench-recognise-4000x3000.jpg";
    // Enlarged to 3000 rows, its sides repeated out to 4000 columns: the face keeps its shape, in the middle.
    const cv::Mat source = cv::imread(VELLICAM_SOURCE_DIR "/tests/data/devset/p05_beard.jpg");
    cv::Mat tall, large;
    cv::resize(source, tall, cv::Size(source.cols * 3000 / source.rows, 3000), 0, 0, cv::INTER_CUBIC);
    const int side = (4000 - tall.cols) / 2;
    cv::copyMakeBorder(tall, large, 0, 0, side, 4000 - tall.cols - side, cv::BORDER_REPLICATE);
    cv::imwrite(s.photo, large, { cv::IMWRITE_JPEG_QUALITY, 92 });
    (void)QueryDetector(QCoreApplication::applicationDirPath().toStdString()); // read, as the window does at start
}

void OpenAndRecognise()
{
    OpenInWindow();
    if (!State().window->session().hasFrame())
        std::fprintf(stderr, "no frame proposed\n");
}

const bench::Register kOpenRecognising { { "open 4000x3000 portrait in the window, recognised until framed",
    "LoadJpeg alone", 3.0, SetupRecognising, OpenAndRecognise, DecodeOnly, Teardown, ResetWindow } };

} // namespace

#endif
