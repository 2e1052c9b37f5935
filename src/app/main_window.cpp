// The main window's making: its controls, its size rules and layout, and the handlers that belong to no topic.
#include "main_window.h"

#include "batch_controller.h"
#include "image_widget.h"
#include "main_window_texts.h"
#include "memory_report.h"
#include "photo_view.h"
#include "recognition/face_detector.h"
#include "resize_control.h"
#include "sheet/sheet_compose.h"
#include "sheet_preview_window.h"
#include "status_panels.h"
#include "window_prompts.h"
#include "window_style.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QScreen>
#include <QStyle>

namespace vellicam {

namespace texts = main_window_texts;

namespace {

constexpr int kMinWindowWidth = 1024;
constexpr int kMinWindowHeight = 755;
constexpr int kViewTop = 124;

QPushButton* addButton(
    QWidget* parent, const QString& caption, QStyle::StandardPixmap glyph, int left, int top, int width, int height)
{
    auto* button = new QPushButton(caption, parent);
    if (glyph != QStyle::SP_CustomBase) {
        button->setIcon(parent->style()->standardIcon(glyph));
        button->setIconSize(QSize(20, 20));
    }
    button->setGeometry(left, top, width, height);
    return button;
}

QCheckBox* addCheckBox(QWidget* parent, const QString& caption, int left, int top, int width, int height)
{
    auto* box = new QCheckBox(caption, parent);
    box->setGeometry(left, top, width, height);
    return box;
}

} // namespace

MainWindow::MainWindow(DialogService& dialogs, QWidget* parent)
    : QWidget(parent)
    , dialogs_(dialogs)
    , batch_(std::make_unique<BatchController>(*this))
    , worker_(std::make_unique<BackgroundWork>())
{
    createControls();
    initialise();
}

MainWindow::~MainWindow()
{
    // A job under way finishes first (its questions unanswered); the action it held ends without touching the
    // window that is going.
    tearingDown_ = true;
    worker_.reset();
    // The query's answer is posted to the window; the join comes before the window's end drops it unread.
    if (detectorQuery_.joinable())
        detectorQuery_.join();
}

void MainWindow::setSettingsDialog(SettingsDialog* dialog)
{
    settingsDialog_ = dialog;
    if (!dialog)
        return;
    connect(dialog, &SettingsDialog::sheetSizeChanged, this, &MainWindow::applySheetSize);
    if (!work_.detectorText.isEmpty())
        dialog->showDetectorKind(work_.detectorText);
}

void MainWindow::queryDetector()
{
    if (detectorQuery_.joinable())
        return; // asked once per window
    const std::string folder = work_.programFolder.toStdString();
    detectorQuery_ = std::thread([this, folder] {
        const QString text = QString::fromStdString(DetectorReportText(QueryDetector(folder)));
        QMetaObject::invokeMethod(
            this, [this, text] { detectorKnown(text); }, Qt::QueuedConnection);
    });
}

void MainWindow::detectorKnown(const QString& text)
{
    work_.detectorText = text;
    if (settingsDialog_)
        settingsDialog_->showDetectorKind(text);
}

void MainWindow::showSheetSizeTitle()
{
    setWindowTitle(texts::kWindowTitle + QStringLiteral(" - ") + QString::fromStdString(session_.layoutStatusText()));
}

void MainWindow::applySheetSize()
{
    const Settings s = settings();
    if (session_.hasSheetSize(s)) {
        work_.sheetSizePending = false;
        return;
    }
    // An action under way reads the layout and the frame: they change once it is over.
    if (mode_ == WorkMode::Working || mode_ == WorkMode::Continuous) {
        work_.sheetSizePending = true;
        return;
    }
    work_.sheetSizePending = false;
    (void)session_.setSheetSize(s);
    showSheetSizeTitle();
    if (!session_.hasPhoto() || !session_.hasFrame() || session_.imageSide() == 0)
        return;
    // The frame had the old size's aspect: it is made anew around the face it was set on (by recognition or a head
    // line), so the face sits at the new size's margins; without one the new minimum frame is centred.
    const bool attached = !ui_.headLineButton->isChecked() && ui_.frameImage->isVisible();
    ui_.photoView->detachGrips();
    session_.remakeFrame();
    ui_.photoView->setFrameBounds(session_.frame());
    drawFrameOutline();
    if (attached)
        attachFrame();
    ui_.statusBar->setPanel(kAnglePanel, QString::fromStdString(session_.framePanelText()));
    refreshChecks();
}

Settings MainWindow::settings() const
{
    Settings s = settingsDialog_ ? settingsDialog_->settings() : Settings {};
    s.sharpen = ui_.sharpenBox->isChecked();
    s.keepFrame = ui_.keepFrameBox->isChecked();
    s.openFolderAfterSheet = ui_.openFolderBox->isChecked();
    s.continuous = ui_.continuousBox->isChecked();
    s.outputFolder = ui_.outputFolderEdit->text().toStdString();
    s.usePickedColour = ui_.pickBackgroundBox->isChecked();
    const Bitmap& swatch = ui_.backgroundSwatch->picture();
    s.pickedColour = swatch.Empty() ? kWhite : swatch.Pixel(0, 0);
    return s;
}

void MainWindow::setProgramFolder(const QString& folder)
{
    work_.programFolder = folder;
    const std::string photoFolder = session_.photoFolder();
    session_ = PhotoSession(folder.toStdString());
    session_.setPhotoFolder(photoFolder);
    (void)session_.setSheetSize(settings());
}

void MainWindow::say(const std::string& text)
{
    WindowPrompts(dialogs_, work_.appTitle).message(text);
}

void MainWindow::createControls()
{
    setFont(gothicFont());
    resize(1024, 724);

    ui_.newButton = addButton(this, texts::kNewCaption, QStyle::SP_FileIcon, 0, 0, 89, 41);
    ui_.choosePhotoButton = addButton(this, texts::kChoosePhotoCaption, QStyle::SP_DialogOpenButton, 88, 0, 89, 41);
    ui_.recogniseButton = addButton(this, texts::kRecogniseCaption, QStyle::SP_CustomBase, 176, 0, 89, 41);
    ui_.makeSheetButton = addButton(this, texts::kMakeSheetCaption, QStyle::SP_CustomBase, 264, 0, 89, 41);
    ui_.makeSheetButton->setEnabled(false);
    ui_.settingsButton = addButton(this, texts::kSettingsCaption, QStyle::SP_CustomBase, 352, 0, 89, 41);
    ui_.skipButton = addButton(this, texts::kSkipCaption, QStyle::SP_CustomBase, 440, 0, 65, 41);
    ui_.skipButton->hide();
    ui_.abortButton = addButton(this, texts::kAbortCaption, QStyle::SP_CustomBase, 504, 0, 65, 41);
    ui_.abortButton->hide();

    ui_.zoomLabel = addLabel(this, texts::kZoomLabel, 592, 8);
    ui_.zoomBox = new QComboBox(this);
    ui_.zoomBox->setEditable(true);
    ui_.zoomBox->setInsertPolicy(QComboBox::NoInsert);
    ui_.zoomBox->addItems({ "100%", "120%", "150%", "200%" });
    ui_.zoomBox->setCurrentIndex(0);
    ui_.zoomBox->setAttribute(Qt::WA_InputMethodEnabled, false);
    ui_.zoomBox->setGeometry(640, 4, 89, 20);
    ui_.zoomBox->setEnabled(false);

    ui_.angleLabel = addLabel(this, texts::kAngleLabel, 736, 8);
    ui_.angleBox = new QLineEdit(QStringLiteral("0"), this);
    ui_.angleBox->setReadOnly(true);
    ui_.angleBox->setAttribute(Qt::WA_InputMethodEnabled, false);
    ui_.angleBox->setGeometry(784, 4, 65, 20);

    ui_.quitButton = new QToolButton(this);
    ui_.quitButton->setText(texts::kQuitCaption);
    ui_.quitButton->setIcon(style()->standardIcon(QStyle::SP_DialogCloseButton));
    ui_.quitButton->setIconSize(QSize(24, 24));
    ui_.quitButton->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    ui_.quitButton->setGeometry(899, 0, 107, 65);

    ui_.outputFolderLabel = addLabel(this, texts::kOutputFolderLabel, 8, 56);
    ui_.outputFolderEdit = new QLineEdit(this);
    ui_.outputFolderEdit->setToolTip(texts::kOutputFolderTip);
    ui_.outputFolderEdit->setGeometry(96, 48, 393, 20);
    ui_.outputFolderEdit->setMouseTracking(true);
    ui_.outputFolderEdit->installEventFilter(this);

    ui_.backgroundSwatch = new ImageWidget(this);
    ui_.backgroundSwatch->setGeometry(496, 48, 25, 25);
    (void)ui_.backgroundSwatch->picture().Resize(25, 25);
    Fill(ui_.backgroundSwatch->picture(), kWhite);
    ui_.backgroundSwatch->pictureChanged();

    ui_.keepFrameBox = addCheckBox(this, texts::kKeepFrameCaption, 578, 32, 175, 17);
    ui_.openFolderBox = addCheckBox(this, texts::kOpenFolderCaption, 578, 48, 169, 17);
    ui_.sharpenBox = addCheckBox(this, texts::kSharpenCaption, 578, 62, 129, 17);
    ui_.sharpenBox->setChecked(true);
    ui_.continuousBox = addCheckBox(this, texts::kContinuousCaption, 762, 32, 127, 17);
    ui_.continuousBox->hide();
    ui_.pickBackgroundBox = addCheckBox(this, texts::kPickBackgroundCaption, 762, 48, 113, 17);
    ui_.pickBackgroundBox->setEnabled(false);

    ui_.headLineButton = new QToolButton(this);
    ui_.headLineButton->setText(texts::kHeadLineCaption);
    ui_.headLineButton->setCheckable(true);
    ui_.headLineButton->setGeometry(8, 80, 129, 41);
    ui_.turnLeftButton = addButton(this, texts::kTurnLeftCaption, QStyle::SP_ArrowBack, 136, 80, 129, 41);
    ui_.turnLeftTenthButton = addButton(this, texts::kTurnLeftTenthCaption, QStyle::SP_ArrowLeft, 264, 80, 129, 41);
    ui_.turnRightTenthButton = addButton(this, texts::kTurnRightTenthCaption, QStyle::SP_ArrowRight, 392, 80, 129, 41);
    ui_.turnRightButton = addButton(this, texts::kTurnRightCaption, QStyle::SP_ArrowForward, 520, 80, 129, 41);
    ui_.resetTurnButton = addButton(this, texts::kResetTurnCaption, QStyle::SP_BrowserReload, 648, 80, 129, 41);

    ui_.photoView = new PhotoView(this);
    ui_.photoView->setGeometry(8, kViewTop, 809, 533);
    ui_.photoImage = ui_.photoView->photoImage();
    ui_.headLineOverlay = ui_.photoView->headLineOverlay();
    ui_.frameImage = ui_.photoView->frameImage();
    ui_.frameGrips = ui_.photoView->frameGrips();

    ui_.checkList = new CheckList(this);
    ui_.statusBar = new StatusPanels(this);
    ui_.statusBar->setGeometry(
        0, height() - ui_.statusBar->sizeHint().height(), width(), ui_.statusBar->sizeHint().height());

    setMouseTracking(true);

    connect(ui_.newButton, &QPushButton::clicked, this, &MainWindow::startNew);
    connect(ui_.choosePhotoButton, &QPushButton::clicked, this, &MainWindow::choosePhoto);
    connect(ui_.recogniseButton, &QPushButton::clicked, this, &MainWindow::recogniseFace);
    connect(ui_.makeSheetButton, &QPushButton::clicked, this, &MainWindow::makeSheet);
    connect(ui_.settingsButton, &QPushButton::clicked, this, &MainWindow::showSettings);
    connect(ui_.skipButton, &QPushButton::clicked, this, &MainWindow::skipPhoto);
    connect(ui_.abortButton, &QPushButton::clicked, this, &MainWindow::requestAbort);
    connect(ui_.quitButton, &QToolButton::clicked, this, &QWidget::close);
    connect(ui_.turnLeftButton, &QPushButton::clicked, this, &MainWindow::turnLeft);
    connect(ui_.turnRightButton, &QPushButton::clicked, this, &MainWindow::turnRight);
    connect(ui_.turnLeftTenthButton, &QPushButton::clicked, this, &MainWindow::turnLeftTenth);
    connect(ui_.turnRightTenthButton, &QPushButton::clicked, this, &MainWindow::turnRightTenth);
    connect(ui_.resetTurnButton, &QPushButton::clicked, this, &MainWindow::resetTurn);
    connect(ui_.headLineButton, &QToolButton::clicked, this, &MainWindow::headLineToggled);
    // A choice from the list applies at once; a typed percentage when Enter is pressed or the box loses the focus,
    // not at each keystroke (typing "400" would zoom to 4 % and 40 % on the way).
    connect(ui_.zoomBox, &QComboBox::currentIndexChanged, this, &MainWindow::zoomChanged);
    connect(ui_.zoomBox->lineEdit(), &QLineEdit::editingFinished, this, &MainWindow::zoomChanged);
    connect(ui_.keepFrameBox, &QCheckBox::toggled, this, &MainWindow::keepFrameToggled);
    connect(ui_.pickBackgroundBox, &QCheckBox::toggled, this, &MainWindow::pickBackgroundToggled);

    connect(ui_.photoImage, &ImageWidget::pressed, this, &MainWindow::photoPressed);
    // The head line's overlay stays over the photo after a line is drawn; a press meant to pick the background
    // colour lands on it then.
    connect(ui_.headLineOverlay, &ImageWidget::pressed, this, [this](const MouseArgs& a) {
        if (mode_ == WorkMode::PickingColour)
            photoPressed(a);
        else
            headLinePressed(a);
    });
    connect(ui_.headLineOverlay, &ImageWidget::moved, this, &MainWindow::headLineMoved);
    connect(ui_.headLineOverlay, &ImageWidget::released, this, &MainWindow::headLineReleased);
    connect(ui_.photoView, &PhotoView::pointerMoved, this,
        [this](int x, int y) { trackPointer(x + ui_.photoView->x(), y + ui_.photoView->y()); });

    // A drag on the grips redraws the outline at each step; the mark of a held button is the window's.
    connect(ui_.frameGrips, &ResizeControl::pressed, this, [this] { work_.mouseHeld = true; });
    connect(ui_.frameGrips, &ResizeControl::moved, this, [this] {
        if (work_.mouseHeld)
            drawFrameOutline();
    });
    connect(ui_.frameGrips, &ResizeControl::released, this, [this] { work_.mouseHeld = false; });
    // Keeps the red outline at the size the frame has just been given, also after the drag's last step.
    connect(ui_.frameGrips, &ResizeControl::controlChanged, this, [this] {
        // The frame is the session's: nothing moves it while an action works on it.
        if (isWorking())
            return;
        session_.setFrame(ui_.photoView->frameBounds());
        showFrameChecks();
        const ImageWidget* frame = ui_.frameImage;
        if (frame->picture().Width() != frame->width() || frame->picture().Height() != frame->height())
            drawFrameOutline();
    });
}

void MainWindow::initialise()
{
    acceptFileDrops();
    work_.starting = true;
    work_.zoomPercent = 100;
    setWindowTitle(texts::kWindowTitle);
    // The boxes the window raises carry the program's name alone; the title names the size in use too.
    work_.appTitle = windowTitle();

    work_.zoomPercent = 100;
    work_.previousZoomPercent = 100;
    ui_.photoImage->move(0, 0);
    ui_.headLineOverlay->move(0, 0);
    work_.mouseHeld = false;
    work_.headTop = {};
    setBusy(false);

    QString programFolder = QCoreApplication::applicationDirPath();
    if (!programFolder.endsWith('/'))
        programFolder += '/';
    setProgramFolder(programFolder);
    // The open dialog and the sheets start in the user's own folder rather than beside the program.
    session_.setPhotoFolder(QDir::homePath().toStdString());
    session_.setView(ui_.photoImage->height(), ui_.photoImage->width(), ui_.photoImage->height());
    showSheetSizeTitle();

    // Centred on the screen, at the size it keeps while starting.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(kMinWindowWidth / 2, kMinWindowHeight / 2));
    }
    applySizeRule();
}

void MainWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!shown_) {
        shown_ = true;
        firstShown();
    }
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    // The main window's end is the program's end: the other windows go with it.
    if (settingsDialog_)
        settingsDialog_->close();
    if (preview_)
        preview_->close();
    QWidget::closeEvent(event);
}

void MainWindow::firstShown()
{
    ui_.photoView->detachGrips();

    setToolsEnabled(false);
    ui_.newButton->setEnabled(true);
    ui_.choosePhotoButton->setEnabled(true);

    // The face detector looks for its data files in the current folder.
    QString folder = work_.programFolder;
    if (folder.size() > 1 && folder.endsWith('/'))
        folder.chop(1);
    QDir::setCurrent(folder);
    work_.starting = false;
    applySizeRule();
    queryDetector();
}

void MainWindow::applySizeRule()
{
    if (work_.starting) {
        setFixedSize(kMinWindowWidth, kMinWindowHeight);
    } else if (mode_ != WorkMode::Idle) {
        setFixedSize(size());
    } else {
        setMinimumSize(kMinWindowWidth, kMinWindowHeight);
        setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    }
}

void MainWindow::setMode(WorkMode mode)
{
    mode_ = mode;
    applySizeRule();
    if (mode_ != WorkMode::Idle)
        return;
    // What waited for the action to end: a new sheet size, the window's new size.
    if (work_.sheetSizePending)
        applySheetSize();
    if (resizePending_)
        layOutForSize();
}

void MainWindow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    // The size check of every accepted resize: the report, then the status bar along the bottom.
    reportMemory();
    const int barHeight = ui_.statusBar->sizeHint().height();
    ui_.statusBar->setGeometry(0, height() - barHeight, width(), barHeight);
    layOutForSize();
    refreshChecks();
}

void MainWindow::layOutForSize()
{
    if (width() < kMinWindowWidth || height() < kMinWindowHeight)
        return;
    // A resize delivered while an action works would rebuild the bitmaps under it: it is noted, and the window is
    // laid out again for the size it has once the action is over.
    if (inResize_ || !mayStart(UserAction::Resize)) {
        resizePending_ = true;
        return;
    }
    inResize_ = true;
    ScopeExit leave([this] { inResize_ = false; });
    do {
        resizePending_ = false;
        layOutOnce();
    } while (resizePending_ && width() >= kMinWindowWidth && height() >= kMinWindowHeight);
}

void MainWindow::layOutOnce()
{
    ui_.quitButton->move(width() - 120, ui_.quitButton->y());
    ui_.photoView->resize(width() - 24, height() - ui_.photoView->y() - 65);
    ui_.photoImage->move(0, 0);

    // The session keeps the user's frame over its part of the photo on the new view; only a new photo puts back
    // the centred one.
    showPhotoAgain();

    const int barHeight = ui_.statusBar->sizeHint().height();
    ui_.statusBar->setGeometry(0, height() - barHeight, width(), barHeight);
    update();

    // Without a photo (after "新規作成" or a failed open) there is nothing to frame.
    if (work_.starting || session_.imageSide() == 0 || work_.previousZoomPercent == 0 || !session_.hasPhoto())
        return;
    ui_.photoView->detachGrips();
    ui_.frameImage->show();
    ui_.makeSheetButton->setEnabled(true);
    if (!session_.hasFrame())
        session_.centreMinimumFrame();
    ui_.photoView->setFrameBounds(session_.frame());
    drawFrameOutline();
    attachFrame();
    ui_.frameGrips->setShowHint(false);
    ui_.photoView->fitContent();
    showFrameChecks();
}

void MainWindow::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint p = event->position().toPoint();
    trackPointer(p.x(), p.y());
    QWidget::mouseMoveEvent(event);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseMove && watched == ui_.outputFolderEdit) {
        const QPoint p = static_cast<QMouseEvent*>(event)->position().toPoint();
        trackPointer(p.x() + ui_.outputFolderEdit->x(), p.y() + ui_.outputFolderEdit->y());
    }
    return QWidget::eventFilter(watched, event);
}

void MainWindow::trackPointer(int x, int y)
{
    work_.mouseX = x;
    work_.mouseY = y;
}

void MainWindow::reportMemory()
{
    if (settingsDialog_) {
        MemoryCounters counters;
        if (ReadMemoryCounters(counters))
            settingsDialog_->showMemoryReport(MemoryReportLines(counters).join('\n'));
    }
    if (preview_)
        preview_->update();
}

void MainWindow::setToolsEnabled(bool on)
{
    for (QWidget* w : std::initializer_list<QWidget*> { ui_.choosePhotoButton, ui_.makeSheetButton, ui_.turnLeftButton,
             ui_.turnRightButton, ui_.turnLeftTenthButton, ui_.turnRightTenthButton, ui_.resetTurnButton,
             ui_.recogniseButton, ui_.zoomBox, ui_.pickBackgroundBox, ui_.headLineButton })
        w->setEnabled(on);
    // "新規作成" is only ever switched on here; switching off leaves it as it is.
    if (on)
        ui_.newButton->setEnabled(true);
}

void MainWindow::jobFailed(const QString& why)
{
    batch_->stopRunning();
    turn_ = {};
    dialogs_.Message(work_.appTitle, texts::kWorkFailed.arg(why), MessageIcon::None);
    if (session_.hasPhoto()) {
        ui_.photoImage->show();
        showFrameAgain();
        ui_.makeSheetButton->setEnabled(true);
    } else {
        setToolsEnabled(false);
        ui_.newButton->setEnabled(true);
        ui_.choosePhotoButton->setEnabled(true);
    }
}

void MainWindow::showOutOfMemory()
{
    dialogs_.Message(texts::kOutOfMemoryCaption, texts::kOutOfMemory, MessageIcon::None);
}

QString MainWindow::outputFolder() const
{
    return ui_.outputFolderEdit->text().isEmpty() ? photoFolder() : ui_.outputFolderEdit->text();
}

void MainWindow::keepFrameToggled()
{
    if (ui_.keepFrameBox->isChecked() && settingsDialog_)
        settingsDialog_->setRecogniseOnOpen(false);
}

void MainWindow::showSettings()
{
    if (!settingsDialog_)
        return;
    // Over the main window, wherever that is, rather than wherever the screen's middle is.
    settingsDialog_->fitHeight();
    const QRect dialog = settingsDialog_->frameGeometry();
    settingsDialog_->move(frameGeometry().center() - QPoint(dialog.width() / 2, dialog.height() / 2));
    (void)settingsDialog_->exec();
}

void MainWindow::skipPhoto()
{
    batch_->skip();
}

void MainWindow::requestAbort()
{
    batch_->requestAbort();
}

void MainWindow::handleDrop(const QList<QUrl>& urls, const QPoint& position)
{
    batch_->handleDrop(urls, position);
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event)
{
    // Refused while an action runs: a drop resets the working bitmaps that action is reading.
    if (mayStart(UserAction::OpenPhoto) && event->mimeData()->hasUrls()
        && !LocalPaths(event->mimeData()->urls()).isEmpty())
        event->acceptProposedAction();
    else
        event->ignore();
}

void MainWindow::dragMoveEvent(QDragMoveEvent* event)
{
    if (mayStart(UserAction::OpenPhoto) && event->mimeData()->hasUrls())
        event->acceptProposedAction();
    else
        event->ignore();
}

void MainWindow::dropEvent(QDropEvent* event)
{
    if (!event->mimeData()->hasUrls()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    activateWindow();
    raise();
    handleDrop(event->mimeData()->urls(), event->position().toPoint());
}

void MainWindow::acceptFileDrops()
{
    setAcceptDrops(true);
    // A text box would take a dropped path as text to insert (or refuse it, read-only); the window decides what
    // a drop on the output folder box means.
    for (QLineEdit* edit : findChildren<QLineEdit*>())
        edit->setAcceptDrops(false);
}

} // namespace vellicam
