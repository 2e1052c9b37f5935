// The main window: its controls, the working state of the photo being made into a sheet, and the handlers of its
// buttons, zoom box, view and frame. The photo view, the batch work, the settings dialog and the preview window
// are classes of their own; the window's member definitions are spread over main_window_*.cpp by topic.
#pragma once

#include "background_work.h"
#include "check_list.h"
#include "dialog_service.h"
#include "geometry/view_geometry.h"
#include "image/bitmap.h"
#include "mouse_args.h"
#include "plain_background_preview.h"
#include "recognition/frame_proposal.h"
#include "scope_guards.h"
#include "session/batch_run.h"
#include "session/photo_session.h"
#include "session/work_mode.h"
#include "settings_dialog.h"
#include "sheet/sheet_layout.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRect>
#include <QStringList>
#include <QToolButton>
#include <QUrl>
#include <QWidget>

#include <memory>
#include <optional>
#include <thread>
#include <utility>

namespace vellicam {

struct CropRect;
class BatchController;
class BatchRun;
class ImageWidget;
class PhotoView;
class ResizeControl;
class SettingsStore;
class SheetPreviewWindow;
class StatusPanels;

class WindowPrompts;

// The zoom the zoom box's text asks for: its items and typed percentages ("150%", "150") from
// kSmallestZoomPercent to kLargestZoomPercent; anything else is 100.
inline constexpr int kSmallestZoomPercent = 25;
inline constexpr int kLargestZoomPercent = 400;
[[nodiscard]] int ZoomPercentOfText(const QString& text);

class MainWindow : public QWidget {
    Q_OBJECT
private:
    // The window's controls, top left to bottom right, with the photo view's parts; each carries its member's name
    // as its object name.
    struct Controls {
        QPushButton* newButton = nullptr; // 新規作成
        QPushButton* choosePhotoButton = nullptr; // 写真選択
        QPushButton* recogniseButton = nullptr; // 顔自動認識
        QPushButton* makeSheetButton = nullptr; // シート作成
        QPushButton* settingsButton = nullptr; // 設定
        QPushButton* skipButton = nullptr; // スキップ
        QPushButton* abortButton = nullptr; // 中断
        QLabel* zoomLabel = nullptr;
        QComboBox* zoomBox = nullptr;
        QLabel* angleLabel = nullptr;
        QLineEdit* angleBox = nullptr;
        QToolButton* quitButton = nullptr; // 終了
        QLabel* outputFolderLabel = nullptr;
        QLineEdit* outputFolderEdit = nullptr;
        ImageWidget* backgroundSwatch = nullptr;
        QCheckBox* keepFrameBox = nullptr; // 選択範囲/回転を保持する
        QCheckBox* openFolderBox = nullptr; // シート保存時にフォルダを開く
        QCheckBox* sharpenBox = nullptr; // シャープ処理を行う
        QCheckBox* continuousBox = nullptr; // 自動連続処理を行う
        QCheckBox* pickBackgroundBox = nullptr; // 背景色を指定
        QToolButton* headLineButton = nullptr; // 頭部サイズ指定
        QPushButton* turnLeftButton = nullptr; // 左９０度回転
        QPushButton* turnLeftTenthButton = nullptr; // 左0.1度回転
        QPushButton* turnRightTenthButton = nullptr; // 右0.1度回転
        QPushButton* turnRightButton = nullptr; // 右９０度回転
        QPushButton* resetTurnButton = nullptr; // 回転リセット
        PhotoView* photoView = nullptr;
        ImageWidget* photoImage = nullptr; // the photo fitted into the view's square
        ImageWidget* headLineOverlay = nullptr; // where the head line is drawn
        ImageWidget* frameImage = nullptr; // the crop frame
        ResizeControl* frameGrips = nullptr;
        StatusPanels* statusBar = nullptr;
        CheckList* checkList = nullptr; // the photo's checks, beside the view
    };

    // What the window keeps beside the session: its view's zoom and the state of its mouse work.
    struct WorkState {
        QString programFolder; // with its trailing separator
        QString appTitle;
        int zoomPercent = 100;
        int previousZoomPercent = 100;
        int mouseX = 0;
        int mouseY = 0;
        bool starting = true;
        Rect lastOutline; // the outline last drawn on the frame
        QString reductionMessage;
        QString lastLoadFailure; // why the last open failed, for the status bar
        Bitmap fitted; // the shown image reduced to the view
        bool mouseHeld = false;
        QPoint headTop; // where the head line being drawn starts
        QString detectorText; // which face detector the program folder's library uses, once the query answered
        bool sheetSizePending = false; // the photo size or paper changed while an action ran: rebuilt after it
    };

public:
    explicit MainWindow(DialogService& dialogs, QWidget* parent = nullptr);
    ~MainWindow() override;

    // The preview window; the program makes it after the window.
    void setPreviewWindow(SheetPreviewWindow* preview);
    [[nodiscard]] SheetPreviewWindow* previewWindow() const { return preview_; }
    // The settings dialog over the window's settings, made the first time it is asked for; its size lists rebuild
    // the sheet's layout.
    [[nodiscard]] SettingsDialog& settingsDialog();

    // The zoom the view shows the photo at, in percent.
    [[nodiscard]] int zoomPercent() const { return work_.zoomPercent; }
    // The batch in hand and its place in it.
    [[nodiscard]] const BatchController& batch() const { return *batch_; }
    [[nodiscard]] DialogService& dialogs() const { return dialogs_; }
    [[nodiscard]] PhotoSession& session() { return session_; }
    [[nodiscard]] const PhotoSession& session() const { return session_; }
    [[nodiscard]] QString programFolder() const { return work_.programFolder; }
    // Where the detector library and its cascades are; set before a photo is opened (the session starts anew).
    void setProgramFolder(const QString& folder);
    // The folder the open dialog starts in and sheets go to when no output folder is given.
    [[nodiscard]] QString photoFolder() const { return QString::fromStdString(session_.photoFolder()); }
    [[nodiscard]] QString photoPath() const { return QString::fromStdString(session_.photoPath()); }
    [[nodiscard]] QString appTitle() const { return work_.appTitle; }
    // The settings as they are now: those the dialog edits (every default until one is changed) with the window's
    // own options, output folder and picked colour.
    [[nodiscard]] Settings settings() const;
    // Keeps the settings in `store` from now on (none: nothing is kept, as in the tests): reads what it holds
    // (the sizes, the sheet's format, the plain background, the photo folder, and the dialog's options when they are
    // remembered) and writes them there whenever they change and when the window closes. A file that could not be
    // read all the same is said in the status bar. `store` outlives the window.
    void keepSettingsIn(SettingsStore* store);
    // Takes the settings the dialog edited. Recognition on opening stays off, with a box, while the face cascade
    // is missing.
    void setDialogSettings(const Settings& value);

    // --- Shared operations ---
    void reportMemory();
    void setToolsEnabled(bool on);
    void showOutOfMemory();
    // What the window is doing: the one rule of what may start now. While it is not idle the window keeps its size.
    [[nodiscard]] WorkMode mode() const { return mode_; }
    void setMode(WorkMode mode);
    [[nodiscard]] bool mayStart(UserAction action) const { return MayStart(mode_, action); }
    [[nodiscard]] bool isBusy() const { return mode_ != WorkMode::Idle; }
    // Working or idle.
    void setBusy(bool busy) { setMode(busy ? WorkMode::Working : WorkMode::Idle); }
    // True while a job runs on the background worker.
    [[nodiscard]] bool isWorking() const { return worker_->running(); }
    // The background worker: its `finished` says when a job's result has been shown.
    [[nodiscard]] BackgroundWork& worker() { return *worker_; }

    // An action under way, from its start on the GUI thread through every job it runs on the worker to its last
    // result: the window works (or runs a batch) until the last holder lets go, and is idle after it, however the
    // action ends. Jobs hold it only in their GUI-thread continuations.
    class ActionScope {
    public:
        ActionScope(MainWindow& window, WorkMode mode)
            : window_(window)
        {
            window_.setMode(mode);
        }
        ~ActionScope()
        {
            if (!window_.tearingDown_)
                window_.setMode(WorkMode::Idle);
        }
        ActionScope(const ActionScope&) = delete;
        ActionScope& operator=(const ActionScope&) = delete;
        // A sheet action that turns into a continuous run, and back.
        void switchTo(WorkMode mode) { window_.setMode(mode); }

    private:
        MainWindow& window_;
    };
    using Busy = std::shared_ptr<ActionScope>;
    // Starts `action` when the mode rule lets it start now; null when it may not.
    [[nodiscard]] Busy begin(UserAction action)
    {
        if (!mayStart(action))
            return nullptr;
        return std::make_shared<ActionScope>(*this, WorkMode::Working);
    }
    // Runs `job` on the background worker for the action `busy` holds and hands its result to `done` on the GUI
    // thread; a job that throws ends the action with a box and the window usable.
    template <typename R> void runJob(Busy busy, std::function<R()> job, std::function<void(R)> done)
    {
        const bool started = worker_->start<R>(
            std::move(job), [busy, done = std::move(done)](R result) { done(std::move(result)); },
            [this, busy](const QString& why) { jobFailed(why); });
        if (!started)
            jobFailed(QStringLiteral("busy"));
    }
    // The folder sheets go to: the output folder box, or the photo's folder when it is empty.
    [[nodiscard]] QString outputFolder() const;

    // Photo loading and display
    // Opens `path` on the worker for `busy`, shows it with its frame (centred anew with `resetFrame`) and calls
    // `then` with whether it opened; a photo that does not open leaves the one before and says why in the status
    // bar.
    void openPhoto(Busy busy, const QString& path, bool resetFrame, std::function<void(bool)> then);
    // Shows the open photo again at the view's present size and zoom, its frame kept over the same part of it.
    void showPhotoAgain();
    // Shows the session's image fitted into the view's square (now, on the GUI thread).
    int showFitted();
    void resetWorkspace();
    // One step of a batch on the worker, as the batch itself steps it: the sheet of the photo in hand (with
    // `sheetFirst`), then the next photo opened (passing over photos done, photos that do not open and photos
    // recognition skips silently) and recognised; then shown with its frame. `continuous` (a continuous run)
    // names the photo in its boxes and logs a rough photo's warning. `then` gets what opening came to.
    struct BatchStepShown {
        bool sheetMade = false;
        SheetOutcome sheet;
        bool stepped = false; // the next photo was looked for (none after the last)
        PhotoStep step;
    };
    void runBatchStep(
        Busy busy, BatchRun& run, bool sheetFirst, bool continuous, std::function<void(const BatchStepShown&)> then);

    // Rotation
    void rotateBy(int step, bool reset);
    // Says so and returns true when the photo is too large to turn.
    bool refuseLargeRotation();
    // Takes the frame off the view before a turn; shows the session's turn after it: the view, the angle box and
    // status, the frame.
    void prepareRotation();

    // The framed photo's checks in the list beside the view, their short form as its tip; then the plain
    // background's preview.
    void refreshChecks();
    // With "背景を無地にする" on, the view inside the frame shows the background made plain, once the preview's
    // thread has made it; otherwise (and meanwhile) the photo as it is.
    void previewPlainBackground();
    void showPlainBackground(int generation, const Bitmap& picture, bool made);

    // Crop frame and head line
    // Sets the session's frame and shows it there.
    void setFrame(const ControlBounds& frame);
    void drawFrameOutline(int shortenBottom = 0);
    void attachFrame();
    void placeFrame(bool recentre);
    // Shows the session's frame again with its grips and the tools, as after a failed recognition.
    void showFrameAgain();
    // After any change of the frame (a drag, a grip, a zoom, a resize): how high the face will print and whether
    // the frame takes in more than the photo, in the angle panel, when either was said of this frame.
    void showFrameChecks();
    void frameFromLine(int ex, int ey);
    // The frame the released head line from `top` to `end` sets, after any turn it proposed.
    void frameAfterLine(QPoint top, QPoint end);
    // The frame in square pixels; the engine's crop result code.
    [[nodiscard]] int cropRectangle(CropRect& crop) const { return session_.frameInImage(crop); }
    [[nodiscard]] const FrameLimits& frameLimits() const { return session_.limits(); }
    [[nodiscard]] ViewMapping pictureMapping() const;
    // Puts a message of the session's to the user: the box, with the out-of-memory caption for that message.
    void say(const std::string& text);

    // Recognition: finds the face on the worker, places the proposed frame, or logs and reports the failure, then
    // calls `then` with the run's result. `namePhoto` names the photo in its messages (a continuous run, which
    // moves from photo to photo by itself).
    // `faceIndex` frames that confirmed face of the last recognition's list instead of the one recognition chooses.
    void recognise(Busy busy, bool namePhoto, std::function<void(int)> then, int faceIndex = -1);
    // Outlines every confirmed face but the framed one on the view, or (false) paints the photo back over them.
    void showFaceOutlines(bool shown);
    // "顔自動認識".
    void recogniseFace();
    // Asks the program folder's detector library, on a thread of its own, which detector it uses (the first ask
    // loads its models, a second or more); the settings dialog shows the answer when it comes.
    void queryDetector();

    // The sheet's size: rebuilds the layout for the settings' photo size and paper (now when the window is idle,
    // else once the action under way ends), names it in the title and makes the frame anew with the new aspect.
    void applySheetSize();

    // The print sheet: the cut, the sheet composed and saved on the worker, the preview, the batch's next photo;
    // `then` gets the SheetOutcome result.
    void makeSheetOfPhoto(Busy busy, std::function<void(int)> then);
    void openOutputFolder();

    // Dropped files and folders (the batch controller's work).
    void handleDrop(const QList<QUrl>& urls, const QPoint& position);
    // What a drop of `items` on the view does; also the folder named on the command line.
    void openItems(const QStringList& items);
    // "自動連続処理を行う" is checked.
    [[nodiscard]] bool continuousChosen() const;

signals:
    // The settings the dialog edits changed from the window's side (recognition on opening switched off).
    void dialogSettingsChanged(const vellicam::Settings& value);
    // The process memory report, at every resize and shown photo.
    void memoryReported(const QString& text);
    // Which face detector the program folder's library uses, once known.
    void detectorNamed(const QString& text);

public slots:
    void startNew(); // 新規作成
    void choosePhoto(); // 写真選択
    // Opens `path` as "写真選択" would after its dialog: also the start-up photo of the command line.
    void selectPhoto(const QString& path);
    void makeSheet(); // シート作成
    void showSettings(); // 設定
    void skipPhoto(); // スキップ
    void requestAbort(); // 中断
    // Ctrl+Z and Ctrl+Shift+Z, and the view's context menu: the frame and turn as before the last change, and again.
    void undoEdit();
    void redoEdit();
    void turnLeft();
    void turnRight();
    void turnLeftTenth();
    void turnRightTenth();
    void resetTurn();
    void zoomChanged();
    void headLineToggled();
    void keepFrameToggled();
    void pickBackgroundToggled();
    // The view's mouse: a press on the photo picks the background colour when asked; the head line is drawn by
    // a drag on the overlay.
    void photoPressed(const vellicam::MouseArgs& args);
    void headLinePressed(const vellicam::MouseArgs& args);
    void headLineMoved(const vellicam::MouseArgs& args);
    void headLineReleased(const vellicam::MouseArgs& args);

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void initialise();
    void createControls();
    // The batch's signals reach the controls they speak of.
    void connectBatch();
    // A photo did not open: why, in the status bar, and "写真選択" ready for another.
    void showOpenFailure();
    void nameControls();
    // Puts the controls into the window's layouts: the designed arrangement, grown where a caption needs room.
    void layOutControls();
    // The designed 1024 × 755, or more when the layouts need it.
    [[nodiscard]] QSize minimumWindowSize() const;
    // The title: the program's name and the size in use.
    void showSheetSizeTitle();
    void detectorKnown(const QString& text);
    // Recognition on opening off: the face cascade is missing, or the frame is kept from photo to photo.
    void switchOffRecognitionOnOpen();
    void firstShown();
    void applySizeRule();
    // Lays the window out for its size and shows the photo again at the view's new size.
    void layOutForSize();
    void layOutOnce();
    // Writes the kept settings when they differ from what was written last; a failure is said in the status bar.
    void saveSettings();
    // A job threw: the box, and the window usable again.
    void jobFailed(const QString& why);
    // The fitted image the worker made for a side × side view, shown now.
    struct Fitted {
        int side = 0;
        int result = -1;
        Bitmap image;
        std::string reductionMessage;
    };
    [[nodiscard]] int viewSquareSide() const;
    [[nodiscard]] Fitted fitForView(int side) const;
    int showFittedImage(Fitted fitted);
    void showRotation(const RotateOutcome& turned, Fitted fitted);
    // Takes the frame and turn one change back (or forward again): the turn on the worker when it differs.
    void stepHistory(bool back);
    // The session's frame shown as it is, with its grips, checks and preview.
    void showSessionFrame();
    void updateUndoActions();
    // Turns the photo on the worker with `turn`, shows the turned photo, then calls `then` on the GUI thread.
    void runTurn(const Busy& busy, std::function<RotateOutcome(PhotoSession&, bool sharpen)> turn,
        std::function<void(const RotateOutcome&)> then);
    // Turns by `step` (upright first with `reset`) on the worker, then by what the clicks meanwhile added.
    void turnOnWorker(const Busy& busy, int step, bool reset);
    // The recognition hooks of a job: status texts posted to the angle panel, the pauses slept on the worker.
    [[nodiscard]] RecognitionHooks workerRecognitionHooks() const;
    // Draws a proposed frame on the GUI thread while the job waits.
    [[nodiscard]] std::function<int(const ProposedFramePlacement&)> drawProposalOnGui(bool showResults);
    // The blue 2 × 2 marks where the head-top scans sampled the background, from `first` on.
    void markSamples(const std::vector<SamplePoint>& samples, std::size_t first);
    // Draws the proposed frame with the recognition's result outlines and attaches the grips; the session keeps
    // the frame once this has drawn it.
    int drawProposal(const ProposedFramePlacement& placement, bool showResults);
    // Shows what the worker's recognition run came to; returns its result.
    int showRecognition(
        const RecognitionReport& report, bool showResults, bool hadFrame, const ControlBounds& before, Fitted fitted);
    // Shows what the worker opened: the photo, its panels and frame; false when it did not open.
    bool showOpened(const QString& path, bool resetFrame, const OpenOutcome& opened, Fitted fitted);
    // Shows a saved sheet: its preview, the status, and the box outside a batch.
    void showSheet(const SheetOutcome& made);
    // "印刷": the last sheet made, through the dialog service.
    void printLastSheet();
    // The view's square and image size, told to the session.
    void syncView();
    void trackPointer(int x, int y);
    // Makes the window the target of dropped files and folders; its text boxes leave drops to it.
    void acceptFileDrops();

    DialogService& dialogs_;
    Settings settings_; // the dialog's part; the window's own options are read from its controls
    SettingsDialog* settingsDialog_ = nullptr; // made on first use, a child of the window
    SheetPreviewWindow* preview_ = nullptr;
    SettingsStore* store_ = nullptr;
    // What was last written to the store, or read from it.
    struct Kept {
        Settings settings;
        QString photoFolder;
        bool written = false;
    };
    Kept kept_;
    Controls ui_;
    QPushButton* printButton_ = nullptr; // 印刷, at the rotation row's right end
    WorkState work_;
    PhotoSession session_;
    WorkMode mode_ = WorkMode::Idle;
    std::unique_ptr<BatchController> batch_;
    std::unique_ptr<BackgroundWork> worker_;
    QAction* undoAction_ = nullptr;
    QAction* redoAction_ = nullptr;
    PlainBackgroundPreview* plainPreview_ = nullptr;
    int plainPreviewGeneration_ = 0;
    QRect plainPreviewArea_; // where the picture asked for lies on the view
    QRect plainPreviewShown_; // where a plain preview is shown on the view now
    // A turn being made, and what the turn buttons added to it since.
    struct TurnClicks {
        bool running = false;
        int pendingStep = 0;
        bool pendingReset = false;
    };
    TurnClicks turn_;
    bool tearingDown_ = false;
    bool shown_ = false;
    bool inResize_ = false;
    bool resizePending_ = false;
    // The four-way cursor shown while a head line is dragged.
    std::optional<OverrideCursor> lineCursor_;
    // The hand cursor while the next press on the view picks the background colour.
    std::optional<OverrideCursor> pickCursor_;
    // The detector query; joined when the window goes.
    std::thread detectorQuery_;
};

} // namespace vellicam
