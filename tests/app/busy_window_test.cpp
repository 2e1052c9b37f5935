// The window while its long work runs on the background worker: every control and a drop during each action reach
// nothing (the photo, its angle and its frame stay whole, no dialog opens), the action then ends as it would have,
// and an action whose job fails ends with a box and a usable window.
#include "window_fixture.h"

#include "sheet/output_path.h"

#include <QDragEnterEvent>
#include <QMimeData>

#include <atomic>
#include <future>
#include <stdexcept>

namespace vellicam::test {
namespace {

namespace fs = std::filesystem;

class BusyWindow : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        UseStandInProgram();
        first = WritePhoto("first.jpg", 600, 800);
        second = WritePhoto("second.jpg", 800, 600, { 40, 90, 160 });
        Open(first);
        dialogs.messages.clear();
    }

    // Holds the next job at its start, before it touches the session, until Release().
    void HoldNextJob()
    {
        release_ = std::promise<void>();
        hold_ = true;
        gate_.emplace([this, released = release_.get_future().share()] {
            if (hold_.exchange(false))
                released.wait();
        });
    }
    void Release()
    {
        release_.set_value();
        Settle();
        gate_.reset();
    }

    struct Snapshot {
        QString photo;
        int angle = 0;
        QRect frame;
        ControlBounds sessionFrame;
        bool batch = false;
        std::size_t dialogsOpened = 0;
        bool operator==(const Snapshot&) const = default;
    };
    [[nodiscard]] Snapshot Take() const
    {
        return { window->photoPath(), window->session().angle(), Frame(), window->session().frame(),
            window->batch().isActive(), dialogs.openTitles.size() };
    }

    // Every control of the window and a dropped folder, while a job is held at its start.
    void PokeEverything(const std::string& during)
    {
        ASSERT_TRUE(window->isWorking()) << during;
        const Snapshot before = Take();
        dialogs.pictures.push_back(second);
        for (QAbstractButton* button : std::initializer_list<QAbstractButton*> { ui().newButton, ui().choosePhotoButton,
                 ui().recogniseButton, ui().makeSheetButton, ui().skipButton, ui().turnLeftButton, ui().turnRightButton,
                 ui().turnLeftTenthButton, ui().turnRightTenthButton, ui().resetTurnButton, ui().headLineButton,
                 ui().pickBackgroundBox }) {
            const bool wasEnabled = button->isEnabled();
            button->setEnabled(true); // a click that reached the handler all the same
            button->click();
            button->setEnabled(wasEnabled);
            EXPECT_EQ(Take(), before) << during << ": " << button->text().toStdString();
        }
        ui().pickBackgroundBox->setChecked(false);
        ui().headLineButton->setChecked(false);
        QLineEdit* zoom = ui().zoomBox->lineEdit();
        zoom->clear();
        QTest::keyClicks(zoom, "200");
        QTest::keyClick(zoom, Qt::Key_Return);
        ui().zoomBox->setCurrentIndex(3);
        EXPECT_EQ(window->zoomPercent(), 100) << during;
        EXPECT_EQ(Take(), before) << during;

        QMimeData mime;
        mime.setUrls({ QUrl::fromLocalFile(QString::fromStdString(scratch.Path().string())) });
        QDragEnterEvent enter(QPoint(400, 400), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window.get(), &enter);
        EXPECT_FALSE(enter.isAccepted()) << during;

        const QSize size = window->size();
        window->resize(size + QSize(80, 60));
        EXPECT_EQ(window->size(), size) << during;
        EXPECT_EQ(Take(), before) << during;
        EXPECT_TRUE(window->isWorking()) << during;
        dialogs.pictures.clear();
    }

    void ExpectUsable(const std::string& after)
    {
        EXPECT_EQ(window->mode(), WorkMode::Idle) << after;
        EXPECT_TRUE(ui().newButton->isEnabled()) << after;
        EXPECT_TRUE(ui().choosePhotoButton->isEnabled()) << after;
        EXPECT_TRUE(ui().turnLeftButton->isEnabled()) << after;
        EXPECT_TRUE(ui().frameImage->isVisible()) << after;
        EXPECT_EQ(ui().frameGrips->control(), ui().frameImage) << after;
    }

    QString first;
    QString second;

private:
    std::atomic<bool> hold_ { false };
    std::promise<void> release_;
    std::optional<JobGate> gate_;
};

TEST_F(BusyWindow, NothingStartsDuringEachActionAndEachActionEndsAsItWould)
{
    // Opening a photo (recognition follows on the worker and finds no face).
    HoldNextJob();
    dialogs.pictures.push_back(second);
    ui().choosePhotoButton->click();
    PokeEverything("opening");
    Release();
    EXPECT_EQ(window->photoPath(), second);
    ExpectUsable("opening");

    // Recognition.
    dialogs.messages.clear();
    HoldNextJob();
    ui().recogniseButton->click();
    PokeEverything("recognising");
    Release();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, QStringLiteral("自動顔認識処理では認識出来ませんでした。"));
    ExpectUsable("recognising");

    // A turn: the turn buttons clicked meanwhile add to it, and "回転リセット", clicked last, wins.
    HoldNextJob();
    ui().turnRightButton->click();
    PokeEverything("turning");
    Release();
    EXPECT_EQ(window->session().angle(), 0);
    EXPECT_EQ(ui().angleBox->text(), "0");
    ExpectUsable("turning");

    // The sheet.
    HoldNextJob();
    ui().makeSheetButton->click();
    PokeEverything("making the sheet");
    Release();
    EXPECT_TRUE(fs::exists(OutputPath("", window->photoFolder().toStdString(), second.toStdString())));
    ExpectUsable("making the sheet");
}

TEST_F(BusyWindow, QuickTenthClicksDuringATurnAllCount)
{
    HoldNextJob();
    ui().turnRightTenthButton->click();
    for (int click = 0; click < 3; ++click)
        ui().turnRightTenthButton->click();
    ui().turnLeftTenthButton->click();
    EXPECT_EQ(window->session().angle(), 0);
    Release();
    EXPECT_EQ(window->session().angle(), 3);
    EXPECT_EQ(ui().angleBox->text(), "0.3");
    ExpectUsable("turning");
}

TEST_F(BusyWindow, ANewSessionWaitsForRecognitionAndLeavesNoFrameOverAnEmptyView)
{
    HoldNextJob();
    ui().recogniseButton->click();
    ui().newButton->click();
    EXPECT_EQ(window->photoPath(), first);
    Release();
    ui().newButton->click();
    EXPECT_TRUE(window->photoPath().isEmpty());
    EXPECT_FALSE(ui().frameImage->isVisible());
    EXPECT_FALSE(ui().turnLeftButton->isEnabled());
    EXPECT_FALSE(ui().makeSheetButton->isEnabled());
}

TEST_F(BusyWindow, AJobThatFailsEndsItsActionWithABoxAndAUsableWindow)
{
    struct Case {
        const char* action;
        std::function<void()> start;
    };
    // Opening empties the view before the photo is read: a photo that fails leaves an empty window to start from.
    const std::vector<Case> cases {
        { "recognising", [this] { ui().recogniseButton->click(); } },
        { "turning", [this] { ui().turnLeftTenthButton->click(); } },
        { "making the sheet", [this] { ui().makeSheetButton->click(); } },
        { "opening",
            [this] {
                dialogs.pictures.push_back(second);
                ui().choosePhotoButton->click();
            } },
    };
    for (const Case& c : cases) {
        const bool opening = std::string(c.action) == "opening";
        const QString photo = window->photoPath();
        const int angle = window->session().angle();
        dialogs.messages.clear();
        {
            std::atomic<bool> thrown { false };
            const JobGate fault([&thrown] {
                if (!thrown.exchange(true))
                    throw std::runtime_error("disk on fire");
            });
            c.start();
            Settle();
        }
        ASSERT_EQ(dialogs.messages.size(), 1u) << c.action;
        EXPECT_EQ(dialogs.messages[0].text, QStringLiteral("処理を続けられませんでした。\ndisk on fire")) << c.action;
        EXPECT_EQ(window->mode(), WorkMode::Idle) << c.action;
        if (opening) {
            EXPECT_TRUE(window->photoPath().isEmpty());
            EXPECT_TRUE(ui().choosePhotoButton->isEnabled());
            EXPECT_FALSE(ui().frameImage->isVisible());
            continue;
        }
        EXPECT_EQ(window->photoPath(), photo) << c.action;
        EXPECT_EQ(window->session().angle(), angle) << c.action;
        ExpectUsable(c.action);
    }
    // And the window works on: a photo opens and turns.
    Open(first);
    ui().turnRightButton->click();
    Settle();
    EXPECT_EQ(window->session().angle(), 900);
}

} // namespace
} // namespace vellicam::test
