// The main window's making: its controls, its size rules and layout, and the handlers that belong to no topic.
#include "main_window.h"

#include "batch_controller.h"
#include "image_widget.h"
#include "main_window_texts.h"
#include "memory_report.h"
#include "photo_view.h"
#include "recognition/detector_files.h"
#include "resample/rotate.h"
#include "recognition/face_detector.h"
#include "resize_control.h"
#include "settings_store.h"
#include "sheet/sheet_compose.h"
#include "sheet_preview_window.h"
#include "sheet_printing.h"
#include "status_panels.h"
#include "window_prompts.h"
#include "window_style.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QMimeData>
#include <QMouseEvent>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>

namespace vellicam {

namespace texts = main_window_texts;

namespace {

constexpr int kMinWindowWidth = 1024;
constexpr int kMinWindowHeight = 755;

// The window's designed measures at its default size; the layouts give a control more when its caption needs it.
constexpr QSize kFileButtonSize(89, 41);
constexpr QSize kBatchButtonSize(65, 41);
constexpr QSize kTurnButtonSize(129, 41);
constexpr QSize kQuitButtonSize(107, 65);
constexpr int kSwatchSide = 25;
constexpr int kInset = 8; // the left edge of every row but the buttons', which start at the window's edge
constexpr int kRightInset = 13;
constexpr int kViewRightInset = 16;
constexpr int kToolRowsHeight = 80; // the button row and the output-folder row, down to the head-line row
constexpr int kViewTop = 124;
constexpr int kBelowView = 65; // from the view's bottom to the window's, the status bar included

// A control of at least its designed size that asks for more when its caption needs it (another face or scale).
// An explicit minimum size would let a layout squeeze it below its caption's width.
template <typename Control> class AtLeast : public Control {
public:
    AtLeast(QSize designed, QWidget* parent)
        : Control(parent)
        , designed_(designed)
    {
    }
    [[nodiscard]] QSize sizeHint() const override { return Control::sizeHint().expandedTo(designed_); }
    [[nodiscard]] QSize minimumSizeHint() const override { return sizeHint(); }

private:
    QSize designed_;
};

// The angle box: wide enough for the widest angle it shows, however large the face.
class AngleBox : public QLineEdit {
public:
    using QLineEdit::QLineEdit;
    [[nodiscard]] QSize sizeHint() const override
    {
        const int text = fontMetrics().horizontalAdvance(QStringLiteral("-000.0"));
        return { std::max(65, text + 16), QLineEdit::sizeHint().height() };
    }
    [[nodiscard]] QSize minimumSizeHint() const override { return sizeHint(); }
};

QPushButton* addButton(QWidget* parent, const QString& caption, QStyle::StandardPixmap glyph, QSize designed)
{
    auto* button = new AtLeast<QPushButton>(designed, parent);
    button->setText(caption);
    if (glyph != QStyle::SP_CustomBase) {
        button->setIcon(parent->style()->standardIcon(glyph));
        button->setIconSize(QSize(20, 20));
    }
    button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    return button;
}

QHBoxLayout* row(int left, int top, int right, int spacing)
{
    auto* layout = new QHBoxLayout;
    layout->setContentsMargins(left, top, right, 0);
    layout->setSpacing(spacing);
    return layout;
}

} // namespace

MainWindow::MainWindow(DialogService& dialogs, QWidget* parent)
    : QWidget(parent)
    , dialogs_(dialogs)
    , batch_(std::make_unique<BatchController>(*this))
    , worker_(std::make_unique<BackgroundWork>())
{
    createControls();
    connectBatch();
    plainPreview_ = new PlainBackgroundPreview(this);
    connect(plainPreview_, &PlainBackgroundPreview::ready, this, &MainWindow::showPlainBackground);
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

SettingsDialog& MainWindow::settingsDialog()
{
    if (settingsDialog_)
        return *settingsDialog_;
    settingsDialog_ = new SettingsDialog(settings_, this);
    connect(settingsDialog_, &SettingsDialog::settingsChanged, this, &MainWindow::setDialogSettings);
    connect(settingsDialog_, &SettingsDialog::sheetSizeChanged, this, &MainWindow::applySheetSize);
    connect(this, &MainWindow::dialogSettingsChanged, settingsDialog_, &SettingsDialog::setSettings);
    connect(this, &MainWindow::memoryReported, settingsDialog_, &SettingsDialog::showMemoryReport);
    connect(this, &MainWindow::detectorNamed, settingsDialog_, &SettingsDialog::showDetectorKind);
    settingsDialog_->showDetectorKind(work_.detectorText);
    reportMemory();
    return *settingsDialog_;
}

void MainWindow::setDialogSettings(const Settings& value)
{
    const bool recognitionAsked = value.recogniseOnOpen && !settings_.recogniseOnOpen;
    const bool backgroundChanged = value.plainBackground != settings_.plainBackground
        || value.plainBackgroundPicked != settings_.plainBackgroundPicked
        || value.backgroundColour != settings_.backgroundColour;
    settings_ = value;
    saveSettings();
    // The background check judges the background the sheet will have; refreshing it shows the plain preview too.
    if (backgroundChanged)
        refreshChecks();
    if (!recognitionAsked)
        return;
    QString folder = work_.programFolder;
    if (folder.size() > 1 && folder.endsWith('/'))
        folder.chop(1);
    QDir::setCurrent(folder);
    // Where recognition will look: beside the program, or in the installed tree.
    const DetectorFiles files = FindDetectorFiles(folder.toStdString());
    if (!QFileInfo(QString::fromStdString(files.faceCascade)).isFile()) {
        dialogs_.Message(work_.appTitle, texts::kCascadeMissing, MessageIcon::None);
        switchOffRecognitionOnOpen();
    }
}

void MainWindow::switchOffRecognitionOnOpen()
{
    settings_.recogniseOnOpen = false;
    saveSettings();
    emit dialogSettingsChanged(settings_);
}

void MainWindow::keepSettingsIn(SettingsStore* store)
{
    store_ = store;
    kept_ = {};
    if (!store_)
        return;
    // The dialog's options start from their defaults whatever the window had: the file says what is kept.
    Settings loaded;
    const SettingsStore::Loaded read = store_->load(loaded);
    settings_ = loaded;
    if (!read.photoFolder.isEmpty())
        session_.setPhotoFolder(read.photoFolder.toStdString());
    kept_ = { settings_, photoFolder(), !read.damaged };
    emit dialogSettingsChanged(settings_);
    applySheetSize();
    previewPlainBackground();
    if (read.damaged)
        ui_.statusBar->setPanel(kGuidancePanel, texts::kSettingsUnreadable);
}

void MainWindow::saveSettings()
{
    if (!store_)
        return;
    const QString folder = photoFolder();
    if (kept_.written && kept_.settings == settings_ && kept_.photoFolder == folder)
        return;
    if (!store_->save(settings_, folder)) {
        ui_.statusBar->setPanel(kGuidancePanel, texts::kSettingsUnwritable);
        return;
    }
    kept_ = { settings_, folder, true };
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
    emit detectorNamed(text);
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
    Settings s = settings_;
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

void MainWindow::nameControls()
{
    // Named for what each is: tests and accessibility tools find a control by its name.
    const std::pair<QWidget*, const char*> named[] = {
        { ui_.newButton, "newButton" },
        { ui_.choosePhotoButton, "choosePhotoButton" },
        { ui_.recogniseButton, "recogniseButton" },
        { ui_.makeSheetButton, "makeSheetButton" },
        { ui_.settingsButton, "settingsButton" },
        { ui_.skipButton, "skipButton" },
        { ui_.abortButton, "abortButton" },
        { ui_.zoomLabel, "zoomLabel" },
        { ui_.zoomBox, "zoomBox" },
        { ui_.angleLabel, "angleLabel" },
        { ui_.angleBox, "angleBox" },
        { ui_.quitButton, "quitButton" },
        { ui_.outputFolderLabel, "outputFolderLabel" },
        { ui_.outputFolderEdit, "outputFolderEdit" },
        { ui_.backgroundSwatch, "backgroundSwatch" },
        { ui_.keepFrameBox, "keepFrameBox" },
        { ui_.openFolderBox, "openFolderBox" },
        { ui_.sharpenBox, "sharpenBox" },
        { ui_.continuousBox, "continuousBox" },
        { ui_.pickBackgroundBox, "pickBackgroundBox" },
        { ui_.headLineButton, "headLineButton" },
        { ui_.turnLeftButton, "turnLeftButton" },
        { ui_.turnLeftTenthButton, "turnLeftTenthButton" },
        { ui_.turnRightTenthButton, "turnRightTenthButton" },
        { ui_.turnRightButton, "turnRightButton" },
        { ui_.resetTurnButton, "resetTurnButton" },
        { ui_.photoView, "photoView" },
        { ui_.photoImage, "photoImage" },
        { ui_.headLineOverlay, "headLineOverlay" },
        { ui_.frameImage, "frameImage" },
        { ui_.frameGrips, "frameGrips" },
        { ui_.statusBar, "statusBar" },
        { ui_.checkList, "checkList" },
    };
    for (const auto& [control, name] : named)
        control->setObjectName(QLatin1String(name));
}

void MainWindow::createControls()
{
    setFont(gothicFont());
    resize(kMinWindowWidth, kMinWindowHeight);

    ui_.newButton = addButton(this, texts::kNewCaption, QStyle::SP_FileIcon, kFileButtonSize);
    ui_.choosePhotoButton = addButton(this, texts::kChoosePhotoCaption, QStyle::SP_DialogOpenButton, kFileButtonSize);
    ui_.recogniseButton = addButton(this, texts::kRecogniseCaption, QStyle::SP_CustomBase, kFileButtonSize);
    ui_.makeSheetButton = addButton(this, texts::kMakeSheetCaption, QStyle::SP_CustomBase, kFileButtonSize);
    ui_.makeSheetButton->setEnabled(false);
    printButton_ = MakePrintButton(this);
    ui_.settingsButton = addButton(this, texts::kSettingsCaption, QStyle::SP_CustomBase, kFileButtonSize);
    ui_.skipButton = addButton(this, texts::kSkipCaption, QStyle::SP_CustomBase, kBatchButtonSize);
    ui_.abortButton = addButton(this, texts::kAbortCaption, QStyle::SP_CustomBase, kBatchButtonSize);
    // The batch's buttons keep their room while hidden, so the zoom box does not move when a batch starts.
    for (QPushButton* batchButton : { ui_.skipButton, ui_.abortButton }) {
        QSizePolicy policy = batchButton->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        batchButton->setSizePolicy(policy);
        batchButton->hide();
    }

    ui_.zoomLabel = new QLabel(texts::kZoomLabel, this);
    ui_.zoomBox = new AtLeast<QComboBox>(QSize(89, 0), this);
    ui_.zoomBox->setEditable(true);
    ui_.zoomBox->setInsertPolicy(QComboBox::NoInsert);
    ui_.zoomBox->addItems({ "100%", "120%", "150%", "200%" });
    ui_.zoomBox->setCurrentIndex(0);
    ui_.zoomBox->setAttribute(Qt::WA_InputMethodEnabled, false);
    ui_.zoomBox->setEnabled(false);

    ui_.angleLabel = new QLabel(texts::kAngleLabel, this);
    ui_.angleBox = new AngleBox(QStringLiteral("0"), this);
    ui_.angleBox->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    ui_.angleBox->setReadOnly(true);
    ui_.angleBox->setAttribute(Qt::WA_InputMethodEnabled, false);

    ui_.quitButton = new AtLeast<QToolButton>(kQuitButtonSize, this);
    ui_.quitButton->setText(texts::kQuitCaption);
    ui_.quitButton->setIcon(style()->standardIcon(QStyle::SP_DialogCloseButton));
    ui_.quitButton->setIconSize(QSize(24, 24));
    ui_.quitButton->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);

    ui_.outputFolderLabel = new QLabel(texts::kOutputFolderLabel, this);
    ui_.outputFolderEdit = new QLineEdit(this);
    ui_.outputFolderEdit->setToolTip(texts::kOutputFolderTip);
    ui_.outputFolderEdit->setMinimumWidth(393);
    ui_.outputFolderEdit->setMouseTracking(true);
    ui_.outputFolderEdit->installEventFilter(this);

    ui_.backgroundSwatch = new ImageWidget(this);
    ui_.backgroundSwatch->setFixedSize(kSwatchSide, kSwatchSide);
    (void)ui_.backgroundSwatch->picture().Resize(kSwatchSide, kSwatchSide);
    Fill(ui_.backgroundSwatch->picture(), kWhite);
    ui_.backgroundSwatch->pictureChanged();

    ui_.keepFrameBox = new QCheckBox(texts::kKeepFrameCaption, this);
    ui_.openFolderBox = new QCheckBox(texts::kOpenFolderCaption, this);
    ui_.sharpenBox = new QCheckBox(texts::kSharpenCaption, this);
    ui_.sharpenBox->setChecked(true);
    ui_.continuousBox = new QCheckBox(texts::kContinuousCaption, this);
    ui_.continuousBox->hide();
    ui_.pickBackgroundBox = new QCheckBox(texts::kPickBackgroundCaption, this);
    ui_.pickBackgroundBox->setEnabled(false);

    ui_.headLineButton = new AtLeast<QToolButton>(kTurnButtonSize, this);
    ui_.headLineButton->setText(texts::kHeadLineCaption);
    ui_.headLineButton->setCheckable(true);
    ui_.turnLeftButton = addButton(this, texts::kTurnLeftCaption, QStyle::SP_ArrowBack, kTurnButtonSize);
    ui_.turnLeftTenthButton = addButton(this, texts::kTurnLeftTenthCaption, QStyle::SP_ArrowLeft, kTurnButtonSize);
    ui_.turnRightTenthButton = addButton(this, texts::kTurnRightTenthCaption, QStyle::SP_ArrowRight, kTurnButtonSize);
    ui_.turnRightButton = addButton(this, texts::kTurnRightCaption, QStyle::SP_ArrowForward, kTurnButtonSize);
    ui_.resetTurnButton = addButton(this, texts::kResetTurnCaption, QStyle::SP_BrowserReload, kTurnButtonSize);

    ui_.photoView = new PhotoView(this);
    ui_.photoView->setEmptyHint(texts::kEmptyViewHint);
    ui_.photoImage = ui_.photoView->photoImage();
    ui_.headLineOverlay = ui_.photoView->headLineOverlay();
    ui_.frameImage = ui_.photoView->frameImage();
    ui_.frameGrips = ui_.photoView->frameGrips();

    // The check list lies over the view's right edge, placed by refreshChecks, outside the layout.
    ui_.checkList = new CheckList(this);
    ui_.statusBar = new StatusPanels(this);
    nameControls();
    layOutControls();

    setMouseTracking(true);

    // Taking back a change of the frame or the turn: shortcuts anywhere in the window, and the view's context menu.
    undoAction_ = new QAction(texts::kUndoCaption, this);
    undoAction_->setObjectName(QStringLiteral("undoAction"));
    undoAction_->setShortcut(QKeySequence::Undo);
    redoAction_ = new QAction(texts::kRedoCaption, this);
    redoAction_->setObjectName(QStringLiteral("redoAction"));
    redoAction_->setShortcuts({ QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y) });
    for (QAction* action : { undoAction_, redoAction_ }) {
        action->setEnabled(false);
        addAction(action);
        ui_.photoView->addAction(action);
    }
    ui_.photoView->setContextMenuPolicy(Qt::ActionsContextMenu);
    connect(undoAction_, &QAction::triggered, this, &MainWindow::undoEdit);
    connect(redoAction_, &QAction::triggered, this, &MainWindow::redoEdit);

    connect(ui_.newButton, &QPushButton::clicked, this, &MainWindow::startNew);
    connect(ui_.choosePhotoButton, &QPushButton::clicked, this, &MainWindow::choosePhoto);
    connect(ui_.recogniseButton, &QPushButton::clicked, this, &MainWindow::recogniseFace);
    connect(ui_.makeSheetButton, &QPushButton::clicked, this, &MainWindow::makeSheet);
    connect(printButton_, &QPushButton::clicked, this, &MainWindow::printLastSheet);
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
    connect(ui_.frameGrips, &ResizeControl::pressed, this, [this] {
        work_.mouseHeld = true;
        if (!isWorking() && session_.hasPhoto())
            session_.rememberEdit();
    });
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
        // A frame shown again where it is keeps its own square pixels, not their view rounding.
        if (!(session_.hasFrame() && ui_.photoView->frameBounds() == session_.frame()))
            session_.setFrame(ui_.photoView->frameBounds());
        showFrameChecks();
        const ImageWidget* frame = ui_.frameImage;
        if (frame->picture().Width() != frame->width() || frame->picture().Height() != frame->height())
            drawFrameOutline();
    });
}

void MainWindow::layOutControls()
{
    // The button row with the output folder's row under it, the zoom and angle boxes with the window's check boxes
    // under them, and 終了 at the top right; the rows keep their designed height unless a caption needs more.
    QHBoxLayout* buttons = row(0, 0, 0, 0);
    for (QWidget* w : std::initializer_list<QWidget*> { ui_.newButton, ui_.choosePhotoButton, ui_.recogniseButton,
             ui_.makeSheetButton, ui_.settingsButton, ui_.skipButton, ui_.abortButton })
        buttons->addWidget(w);

    QHBoxLayout* folder = row(kInset, 7, 0, 6);
    folder->addWidget(ui_.outputFolderLabel);
    folder->addWidget(ui_.outputFolderEdit, 1);
    folder->addWidget(ui_.backgroundSwatch, 0, Qt::AlignTop);

    QHBoxLayout* boxes = row(0, 0, 0, 6);
    boxes->addWidget(ui_.zoomLabel);
    boxes->addWidget(ui_.zoomBox);
    boxes->addSpacing(4);
    boxes->addWidget(ui_.angleLabel);
    boxes->addWidget(ui_.angleBox);
    boxes->addStretch(1);
    auto* options = new QGridLayout;
    options->setContentsMargins(0, 0, 0, 0);
    options->setHorizontalSpacing(9);
    options->setVerticalSpacing(0);
    options->addWidget(ui_.keepFrameBox, 0, 0);
    options->addWidget(ui_.openFolderBox, 1, 0);
    options->addWidget(ui_.sharpenBox, 2, 0);
    options->addWidget(ui_.continuousBox, 0, 1);
    options->addWidget(ui_.pickBackgroundBox, 1, 1);
    options->setColumnStretch(2, 1);
    auto* viewOptions = new QVBoxLayout;
    viewOptions->setContentsMargins(0, 0, 0, 0);
    viewOptions->setSpacing(0);
    viewOptions->addLayout(boxes);
    viewOptions->addLayout(options);
    viewOptions->addStretch(1);

    auto* tools = new QGridLayout;
    tools->setContentsMargins(0, 0, kRightInset, 0);
    tools->setHorizontalSpacing(3);
    tools->setVerticalSpacing(0);
    tools->addLayout(buttons, 0, 0, Qt::AlignLeft | Qt::AlignTop);
    tools->addLayout(folder, 1, 0, Qt::AlignTop);
    tools->addLayout(viewOptions, 0, 1, 2, 1);
    tools->addWidget(ui_.quitButton, 0, 3, 2, 1, Qt::AlignRight | Qt::AlignTop);
    tools->setColumnStretch(2, 1);
    tools->setRowMinimumHeight(0, kFileButtonSize.height());
    tools->setRowMinimumHeight(1, kToolRowsHeight - kFileButtonSize.height());

    QHBoxLayout* turns = row(kInset, 0, 0, 0);
    for (QWidget* w : std::initializer_list<QWidget*> { ui_.headLineButton, ui_.turnLeftButton, ui_.turnLeftTenthButton,
             ui_.turnRightTenthButton, ui_.turnRightButton, ui_.resetTurnButton })
        turns->addWidget(w);
    turns->addStretch(1);
    // "印刷" at the row's right end, under the window's options: the button row above has no room left within the
    // window's designed width.
    turns->addWidget(printButton_);
    turns->addSpacing(kViewRightInset);

    // The view takes whatever the rows above and the status bar leave.
    QHBoxLayout* view = row(kInset, 0, kViewRightInset, 0);
    view->addWidget(ui_.photoView);

    auto* window = new QVBoxLayout(this);
    window->setContentsMargins(0, 0, 0, 0);
    window->setSpacing(0);
    window->addLayout(tools);
    window->addLayout(turns);
    window->addSpacing(kViewTop - kToolRowsHeight - kTurnButtonSize.height());
    window->addLayout(view, 1);
    window->addSpacing(std::max(0, kBelowView - ui_.statusBar->sizeHint().height()));
    window->addWidget(ui_.statusBar);
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
    ui_.photoView->showEmptyHint(true);

    // Centred on the screen, at the size it keeps while starting.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        const QSize size = minimumWindowSize();
        move(area.center() - QPoint(size.width() / 2, size.height() / 2));
    }
    applySizeRule();
}

bool MainWindow::event(QEvent* event)
{
    const bool handled = QWidget::event(event);
    // The layouts have taken in a change of the captions' sizes (another font or scale): the size rule follows.
    if (event->type() == QEvent::LayoutRequest)
        applySizeRule();
    return handled;
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
    saveSettings();
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

QSize MainWindow::minimumWindowSize() const
{
    // Larger when the captions of another font or scale need more than the designed size.
    const QSize designed(kMinWindowWidth, kMinWindowHeight);
    return layout() ? designed.expandedTo(layout()->minimumSize()) : designed;
}

void MainWindow::applySizeRule()
{
    if (work_.starting) {
        setFixedSize(minimumWindowSize());
    } else if (mode_ != WorkMode::Idle) {
        setFixedSize(size());
    } else {
        setMinimumSize(minimumWindowSize());
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
    layOutForSize();
    refreshChecks();
}

void MainWindow::layOutForSize()
{
    const QSize minimum = minimumWindowSize();
    if (width() < minimum.width() || height() < minimum.height())
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
    } while (resizePending_ && width() >= minimum.width() && height() >= minimum.height());
}

void MainWindow::layOutOnce()
{
    // The layout has given the view its new size by now; the photo is fitted to it anew. The session keeps the
    // user's frame over its part of the photo on the new view; only a new photo puts back the centred one.
    ui_.photoImage->move(0, 0);
    showPhotoAgain();
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
    MemoryCounters counters;
    if (ReadMemoryCounters(counters))
        emit memoryReported(MemoryReportLines(counters).join('\n'));
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
    if (ui_.keepFrameBox->isChecked())
        switchOffRecognitionOnOpen();
}

void MainWindow::showSettings()
{
    SettingsDialog& dialog = settingsDialog();
    // Over the main window, wherever that is, rather than wherever the screen's middle is.
    dialog.fitHeight();
    const QRect frame = dialog.frameGeometry();
    dialog.move(frameGeometry().center() - QPoint(frame.width() / 2, frame.height() / 2));
    (void)dialog.exec();
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
    const QLineEdit* box = ui_.outputFolderEdit;
    const bool onOutputFolder = box->isVisible() && position.x() >= box->x() && position.x() <= box->x() + box->width()
        && position.y() >= box->y() && position.y() <= box->y() + box->height();
    batch_->handleDrop(urls, rect().contains(position), onOutputFolder);
}

void MainWindow::openItems(const QStringList& items)
{
    batch_->openItems(items);
}

bool MainWindow::continuousChosen() const
{
    return ui_.continuousBox->isChecked();
}

void MainWindow::showOpenFailure()
{
    // Told already, in its box and the status bar: the user may choose another photo straight away.
    ui_.choosePhotoButton->setEnabled(true);
}

void MainWindow::connectBatch()
{
    BatchController* batch = batch_.get();
    connect(batch, &BatchController::guidanceChanged, this,
        [this](const QString& text) { ui_.statusBar->setPanel(kGuidancePanel, text); });
    connect(batch, &BatchController::batchControlsShown, this, [this](bool shown) {
        ui_.skipButton->setVisible(shown);
        ui_.continuousBox->setVisible(shown);
        ui_.keepFrameBox->setVisible(shown);
        if (!shown) {
            ui_.continuousBox->setChecked(false);
            ui_.keepFrameBox->setChecked(false);
        }
    });
    connect(batch, &BatchController::skipShown, ui_.skipButton, &QWidget::setVisible);
    connect(batch, &BatchController::abortShown, ui_.abortButton, &QWidget::setVisible);
    connect(batch, &BatchController::sheetAvailable, this, [this](bool available) {
        ui_.makeSheetButton->setEnabled(available);
        if (available)
            ui_.makeSheetButton->setFocus();
    });
    connect(batch, &BatchController::angleChanged, this,
        [this] { ui_.angleBox->setText(QString::fromStdString(RotationAngleText(session_.angle()))); });
    connect(batch, &BatchController::photoNotOpened, this, &MainWindow::showOpenFailure);
    connect(batch, &BatchController::outputFolderDropped, ui_.outputFolderEdit, &QLineEdit::setText);
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
