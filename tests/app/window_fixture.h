// The real main window with its preview window (its settings dialog made when a test first asks for it), a
// recorder in place of the boxes, and test photos.
#pragma once

#include "batch_controller.h"
#include "check_list.h"
#include "dialog_service.h"
#include "geometry/view_geometry.h"
#include "image/image_io.h"
#include "image_widget.h"
#include "main_window.h"
#include "main_window_texts.h"
#include "photo_view.h"
#include "resize_control.h"
#include "settings_dialog.h"
#include "sheet_preview_window.h"
#include "status_panels.h"
#include "test_support.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <deque>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <vector>

namespace vellicam::test {

// Answers questions from a queue (No when it runs dry) and records every box.
class RecordingDialogs : public DialogService {
public:
    struct Box {
        QString title;
        QString text;
        MessageIcon icon = MessageIcon::None;
    };
    std::vector<Box> messages;
    std::vector<Box> questions;
    std::deque<bool> answers;
    std::deque<QString> pictures; // what the open dialog returns, in turn; cancelled when empty
    std::vector<QString> openTitles;
    std::vector<QString> openFolders;
    std::vector<QUrl> opened;

    void Message(const QString& title, const QString& text, MessageIcon icon) override
    {
        messages.push_back({ title, text, icon });
    }
    bool Ask(const QString& title, const QString& text) override
    {
        questions.push_back({ title, text, MessageIcon::None });
        if (answers.empty())
            return false;
        const bool answer = answers.front();
        answers.pop_front();
        return answer;
    }
    QString OpenPicture(const QString& title, const QString& folder) override
    {
        openTitles.push_back(title);
        openFolders.push_back(folder);
        if (pictures.empty())
            return {};
        QString path = pictures.front();
        pictures.pop_front();
        return path;
    }
    bool OpenUrl(const QUrl& url) override
    {
        opened.push_back(url);
        return true;
    }

    // The print dialog: the printer's printable area it offers (the whole paper when unset), or no printer at all;
    // what reached a printer.
    struct Print {
        QImage sheet;
        std::string paper;
    };
    std::vector<Print> printed;
    std::optional<PaperRect> printableArea;
    bool noPrinter = false;
    PrintOutcome PrintSheet(
        const QImage& sheet, const PaperSize& paper, const std::function<bool(const PaperRect&)>& acceptArea) override
    {
        if (noPrinter)
            return PrintOutcome::NoPrinter;
        if (!acceptArea(printableArea.value_or(PaperRect { 0, 0, paper.width / 10.0, paper.height / 10.0 })))
            return PrintOutcome::Cancelled;
        printed.push_back({ sheet, paper.id });
        return PrintOutcome::Printed;
    }
};

// Calls `poke` every time the window lets events run, until the object goes.
class WhileRunning {
public:
    explicit WhileRunning(std::function<void()> poke)
    {
        QObject::connect(&timer_, &QTimer::timeout, std::move(poke));
        timer_.start(0);
    }

private:
    QTimer timer_;
};

// Lets the window's events run until no job works any more: the last job of the action under way has handed over
// its result, and a continuation that started no new job ended the action. Fails the test after a minute.
inline void Settle(MainWindow& window)
{
    QElapsedTimer waited;
    waited.start();
    while (window.isWorking()) {
        if (waited.elapsed() > 60000) {
            ADD_FAILURE() << "the window's action did not end within a minute";
            return;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QCoreApplication::sendPostedEvents();
    }
    QCoreApplication::processEvents();
}

// Runs `gate` on the background worker before each job while it lives: a test holds a job at its start, or changes
// what the job will find, with the photo the job works on already open.
class JobGate {
public:
    explicit JobGate(std::function<void()> gate) { BackgroundWork::setJobGate(std::move(gate)); }
    ~JobGate() { BackgroundWork::setJobGate({}); }
    JobGate(const JobGate&) = delete;
    JobGate& operator=(const JobGate&) = delete;
};

// What the helpers below give for an action the mode rule did not let start.
inline constexpr int kNotStarted = 1;

// The stand-in detector library built for the tests (it finds what a test scripts, by default nothing).
inline std::filesystem::path StandInDetector(const std::string& variant = "full")
{
    return std::filesystem::path(VELLICAM_BUILD_DIR) / "standin" / variant / "libfacedetect.so";
}

// The window's controls, found by their names as a tester would find them.
struct WindowControls {
    QPushButton* newButton = nullptr;
    QPushButton* choosePhotoButton = nullptr;
    QPushButton* recogniseButton = nullptr;
    QPushButton* makeSheetButton = nullptr;
    QPushButton* settingsButton = nullptr;
    QPushButton* skipButton = nullptr;
    QPushButton* abortButton = nullptr;
    QLabel* zoomLabel = nullptr;
    QComboBox* zoomBox = nullptr;
    QLabel* angleLabel = nullptr;
    QLineEdit* angleBox = nullptr;
    QToolButton* quitButton = nullptr;
    QLabel* outputFolderLabel = nullptr;
    QLineEdit* outputFolderEdit = nullptr;
    ImageWidget* backgroundSwatch = nullptr;
    QCheckBox* keepFrameBox = nullptr;
    QCheckBox* openFolderBox = nullptr;
    QCheckBox* sharpenBox = nullptr;
    QCheckBox* continuousBox = nullptr;
    QCheckBox* pickBackgroundBox = nullptr;
    QToolButton* headLineButton = nullptr;
    QPushButton* turnLeftButton = nullptr;
    QPushButton* turnLeftTenthButton = nullptr;
    QPushButton* turnRightTenthButton = nullptr;
    QPushButton* turnRightButton = nullptr;
    QPushButton* resetTurnButton = nullptr;
    PhotoView* photoView = nullptr;
    ImageWidget* photoImage = nullptr;
    ImageWidget* headLineOverlay = nullptr;
    ImageWidget* frameImage = nullptr;
    ResizeControl* frameGrips = nullptr;
    StatusPanels* statusBar = nullptr;
    CheckList* checkList = nullptr;
};

inline WindowControls ControlsOf(const MainWindow& window)
{
    WindowControls ui;
    const auto find = [&window]<typename W>(W*& control, const char* name) {
        control = window.findChild<W*>(QLatin1String(name));
        EXPECT_NE(control, nullptr) << "no control named " << name;
    };
    find(ui.newButton, "newButton");
    find(ui.choosePhotoButton, "choosePhotoButton");
    find(ui.recogniseButton, "recogniseButton");
    find(ui.makeSheetButton, "makeSheetButton");
    find(ui.settingsButton, "settingsButton");
    find(ui.skipButton, "skipButton");
    find(ui.abortButton, "abortButton");
    find(ui.zoomLabel, "zoomLabel");
    find(ui.zoomBox, "zoomBox");
    find(ui.angleLabel, "angleLabel");
    find(ui.angleBox, "angleBox");
    find(ui.quitButton, "quitButton");
    find(ui.outputFolderLabel, "outputFolderLabel");
    find(ui.outputFolderEdit, "outputFolderEdit");
    find(ui.backgroundSwatch, "backgroundSwatch");
    find(ui.keepFrameBox, "keepFrameBox");
    find(ui.openFolderBox, "openFolderBox");
    find(ui.sharpenBox, "sharpenBox");
    find(ui.continuousBox, "continuousBox");
    find(ui.pickBackgroundBox, "pickBackgroundBox");
    find(ui.headLineButton, "headLineButton");
    find(ui.turnLeftButton, "turnLeftButton");
    find(ui.turnLeftTenthButton, "turnLeftTenthButton");
    find(ui.turnRightTenthButton, "turnRightTenthButton");
    find(ui.turnRightButton, "turnRightButton");
    find(ui.resetTurnButton, "resetTurnButton");
    find(ui.photoView, "photoView");
    find(ui.photoImage, "photoImage");
    find(ui.headLineOverlay, "headLineOverlay");
    find(ui.frameImage, "frameImage");
    find(ui.frameGrips, "frameGrips");
    find(ui.statusBar, "statusBar");
    find(ui.checkList, "checkList");
    return ui;
}

// The bounds of the red outline drawn on `picture` (empty when there is none).
inline QRect RedOutline(const Bitmap& picture)
{
    QRect bounds;
    for (int y = 0; y < picture.Height(); ++y)
        for (int x = 0; x < picture.Width(); ++x)
            if (picture.Pixel(x, y) == kRed)
                bounds |= QRect(x, y, 1, 1);
    return bounds;
}

class WindowTest : public testing::Test {
protected:
    void SetUp() override
    {
        window = std::make_unique<MainWindow>(dialogs);
        window->setPreviewWindow(new SheetPreviewWindow(window.get()));
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        QApplication::processEvents();
    }
    void TearDown() override { window.reset(); }

    // The window's controls, the batch, and the window's companions.
    [[nodiscard]] WindowControls ui() const { return ControlsOf(*window); }
    [[nodiscard]] QStringList BatchFiles() const
    {
        QStringList files;
        for (const std::string& photo : window->batch().run().photos())
            files << QString::fromStdString(photo);
        return files;
    }
    // A program folder holding the stand-in detector (it finds no face unless a test scripts one) and its
    // cascades, made the window's.
    void UseStandInProgram()
    {
        const std::filesystem::path program = scratch.Path() / "program";
        std::filesystem::create_directories(program);
        const std::filesystem::path standin = StandInDetector();
        if (std::filesystem::exists(standin))
            std::filesystem::copy_file(standin, program / "libfacedetect.so");
        WriteFile(program / "haarcascade_frontalface_default.xml", "<opencv_storage/>");
        WriteFile(program / "ago.xml", "<opencv_storage/>");
        window->setProgramFolder(QString::fromStdString(program.string() + "/"));
        ::unsetenv("VELLICAM_STANDIN_SCRIPT");
        ::unsetenv("VELLICAM_STANDIN_LOG");
    }
    // The angle panel's own text, without the short form of the photo's checks that closes it.
    [[nodiscard]] QString AnglePanel() const
    {
        const QString panel = ui().statusBar->panel(2);
        const qsizetype checks = panel.indexOf(QStringLiteral("規格 "));
        return checks < 0 ? panel : panel.left(checks).trimmed();
    }
    // Types `text` into the zoom box and presses Enter.
    void TypeZoom(const QString& text)
    {
        QLineEdit* edit = ui().zoomBox->lineEdit();
        edit->clear();
        edit->insert(text);
        QTest::keyClick(edit, Qt::Key_Return);
        Settle();
    }
    // Puts the frame somewhere else on the view, as a drag of the frame would.
    void SetFrame(int left, int top, int width, int height) { window->setFrame({ left, top, width, height }); }
    void SetFrame(const QRect& frame) { SetFrame(frame.x(), frame.y(), frame.width(), frame.height()); }
    void MoveFrame(int left, int top) { SetFrame(left, top, Frame().width(), Frame().height()); }
    [[nodiscard]] const SettingsDialog::Controls& settingsUi() const { return window->settingsDialog().controls(); }
    [[nodiscard]] SheetPreviewWindow& preview() const { return *window->previewWindow(); }

    // A JPEG of one colour in the scratch folder.
    QString WritePhoto(const std::string& name, int width, int height, Rgb colour = { 200, 120, 60 })
    {
        const std::string path = scratch / name;
        EXPECT_TRUE(SaveJpeg(path, SolidBitmap(width, height, colour), { 95, 0 }).ok);
        return QString::fromStdString(path);
    }
    // A folder under the scratch folder holding one portrait per name, each large enough for a sheet without
    // questions and each of its own colour.
    QString Folder(const std::string& name, const std::vector<std::string>& photos)
    {
        const std::filesystem::path folder = scratch.Path() / name;
        std::filesystem::create_directories(folder);
        Rgb colour { 40, 90, 160 };
        for (const std::string& photo : photos) {
            EXPECT_TRUE(SaveJpeg((folder / photo).string(), SolidBitmap(600, 800, colour), { 90, 0 }).ok);
            colour.g = static_cast<std::uint8_t>(colour.g + 40);
        }
        return QString::fromStdString(folder.string());
    }
    void Settle() { test::Settle(*window); }
    // Chooses `path` in the open dialog and waits until it is open (and recognised, when that is on).
    void Open(const QString& path)
    {
        dialogs.pictures.push_back(path);
        ui().choosePhotoButton->click();
        Settle();
    }
    // "顔自動認識", waited for: the run's result.
    int Recognise()
    {
        int result = kNotStarted;
        if (const MainWindow::Busy busy = window->begin(UserAction::Recognise))
            window->recognise(busy, false, [&result](int recognised) { result = recognised; });
        Settle();
        return result;
    }
    // The sheet of the open photo as "シート作成" makes it outside a continuous run, waited for: its result.
    int MakeSheetOfPhoto()
    {
        int result = kNotStarted;
        if (const MainWindow::Busy busy = window->begin(UserAction::MakeSheet))
            window->makeSheetOfPhoto(busy, [&result](int made) { result = made; });
        Settle();
        return result;
    }
    // The frame's bounds on the view.
    [[nodiscard]] QRect Frame() const { return ui().frameImage->geometry(); }
    [[nodiscard]] ViewFrameLimits ViewLimits() const
    {
        return FrameLimitsInView(window->frameLimits(), window->session().viewSide(), window->session().imageSide());
    }

    static void Send(QWidget* target, QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons buttons, QPoint at)
    {
        QMouseEvent event(type, QPointF(at), QPointF(target->mapToGlobal(at)), button, buttons, Qt::NoModifier);
        QApplication::sendEvent(target, &event);
    }
    // A left-button drag that grabs `target` at `from` and lets go `to - from` further on the screen. Each event
    // gets the point in the target's coordinates as they are when it arrives, as a grabbed mouse would.
    static void Drag(QWidget* target, QPoint from, QPoint to)
    {
        const QPoint grabbed = target->mapToGlobal(from);
        const QPoint released = grabbed + (to - from);
        Send(target, QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, from);
        Send(target, QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, target->mapFromGlobal(released));
        Send(target, QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton, target->mapFromGlobal(released));
    }

    static MouseArgs At(int x, int y, Qt::MouseButton button = Qt::LeftButton)
    {
        MouseArgs args;
        args.button = button;
        args.buttons = button;
        args.x = x;
        args.y = y;
        return args;
    }

    RecordingDialogs dialogs;
    ScratchDir scratch;
    std::unique_ptr<MainWindow> window;
};

} // namespace vellicam::test
