#include "tform1.h"

#include "memory_report.h"
#include "tform2.h"
#include "tform3.h"
#include "geometry/view_geometry.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QMouseEvent>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>

namespace vellicam {

namespace {

constexpr int kMinWindowWidth = 1024;
constexpr int kMinWindowHeight = 755;
constexpr int kScrollBoxTop = 124;

QPushButton* AddButton(
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

QCheckBox* AddCheckBox(QWidget* parent, const QString& caption, int left, int top, int width, int height)
{
    auto* box = new QCheckBox(caption, parent);
    box->setGeometry(left, top, width, height);
    return box;
}

} // namespace

QLabel* AddLabel(QWidget* parent, const QString& caption, int left, int top)
{
    auto* label = new QLabel(caption, parent);
    label->adjustSize();
    label->move(left, top);
    return label;
}

QFont GothicFont()
{
    QFont font;
    font.setFamilies({ QStringLiteral("IPAPGothic"), QStringLiteral("IPA Pゴシック"),
        QStringLiteral("Noto Sans CJK JP"), QStringLiteral("sans-serif") });
    font.setPixelSize(12);
    return font;
}

TStatusBar::TStatusBar(QWidget* parent)
    : QStatusBar(parent)
{
    setSizeGripEnabled(false);
    const int widths[4] = { 300, 300, 200, 50 };
    for (std::size_t i = 0; i < panels_.size(); ++i) {
        auto* label = new QLabel(this);
        label->setFixedWidth(widths[i]);
        label->setFrameShape(QFrame::Panel);
        label->setFrameShadow(QFrame::Sunken);
        addWidget(label);
        panels_[i] = label;
    }
}

void TStatusBar::SetPanel(int index, const QString& text)
{
    panels_.at(static_cast<std::size_t>(index))->setText(text);
}

QString TStatusBar::Panel(int index) const
{
    return panels_.at(static_cast<std::size_t>(index))->text();
}

TForm1::WorkScope::WorkScope(TForm1& form)
    : form_(form)
{
    if (form_.workDepth_++ == 0)
        form_.ApplySizeRule();
}

TForm1::WorkScope::~WorkScope()
{
    if (--form_.workDepth_ == 0)
        form_.ApplySizeRule();
}

TForm1::TForm1(DialogService& dialogs, QWidget* parent)
    : QWidget(parent)
    , Dialogs(dialogs)
{
    CreateControls();
    ResizeFrame = new TResizeControl(ScrollContent);
    ResizeFrame->OnMouseDown = [this](QWidget*, const MouseArgs& a) { ResizeFrameMouseDown(a); };
    ResizeFrame->OnMouseMove = [this](QWidget*, const MouseArgs& a) { ResizeFrameMouseMove(a); };
    ResizeFrame->OnMouseUp = [this](QWidget*, const MouseArgs& a) { ResizeFrameMouseUp(a); };
    // Keeps the red outline at the size the frame has just been given, also after the drag's last step.
    ResizeFrame->OnMoved = [this] {
        if (Image3->Picture().Width() != Image3->width() || Image3->Picture().Height() != Image3->height())
            DrawFrameOutline();
    };
    FormCreate();
}

TForm1::~TForm1() = default;

void TForm1::CreateControls()
{
    setFont(GothicFont());
    resize(1024, 724);

    BitBtn1 = AddButton(this, QStringLiteral("新規作成"), QStyle::SP_FileIcon, 0, 0, 89, 41);
    BitBtn2 = AddButton(this, QStringLiteral("写真選択"), QStyle::SP_DialogOpenButton, 88, 0, 89, 41);
    BitBtn9 = AddButton(this, QStringLiteral("顔自動認識"), QStyle::SP_CustomBase, 176, 0, 89, 41);
    BitBtn3 = AddButton(this, QStringLiteral("シート作成"), QStyle::SP_CustomBase, 264, 0, 89, 41);
    BitBtn3->setEnabled(false);
    BitBtn16 = AddButton(this, QStringLiteral("設定"), QStyle::SP_CustomBase, 352, 0, 89, 41);
    BitBtn10 = AddButton(this, QStringLiteral("スキップ"), QStyle::SP_CustomBase, 440, 0, 65, 41);
    BitBtn10->hide();
    BitBtn11 = AddButton(this, QStringLiteral("中断"), QStyle::SP_CustomBase, 504, 0, 65, 41);
    BitBtn11->hide();

    Label1 = AddLabel(this, QStringLiteral("拡大率"), 592, 8);
    ComboBox1 = new QComboBox(this);
    ComboBox1->setEditable(true);
    ComboBox1->setInsertPolicy(QComboBox::NoInsert);
    ComboBox1->addItems({ "100%", "120%", "150%", "200%" });
    ComboBox1->setCurrentIndex(0);
    ComboBox1->setAttribute(Qt::WA_InputMethodEnabled, false);
    ComboBox1->setGeometry(640, 4, 89, 20);
    ComboBox1->setEnabled(false);

    Label3 = AddLabel(this, QStringLiteral("回転角"), 736, 8);
    Edit4 = new QLineEdit(QStringLiteral("0"), this);
    Edit4->setReadOnly(true);
    Edit4->setAttribute(Qt::WA_InputMethodEnabled, false);
    Edit4->setGeometry(784, 4, 65, 20);

    BitBtn14 = new QToolButton(this);
    BitBtn14->setText(QStringLiteral("終了(&C)"));
    BitBtn14->setIcon(style()->standardIcon(QStyle::SP_DialogCloseButton));
    BitBtn14->setIconSize(QSize(24, 24));
    BitBtn14->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    BitBtn14->setGeometry(899, 0, 107, 65);

    Label2 = AddLabel(this, QStringLiteral("保存先フォルダ"), 8, 56);
    Edit3 = new QLineEdit(this);
    Edit3->setToolTip(QStringLiteral("ここへ保存先フォルダをドラッグ＆ドロップします。"));
    Edit3->setGeometry(96, 48, 393, 20);
    Edit3->setMouseTracking(true);
    Edit3->installEventFilter(this);

    Image4 = new TImage(this);
    Image4->setGeometry(496, 48, 25, 25);
    (void)Image4->Picture().Resize(25, 25);
    Fill(Image4->Picture(), kWhite);
    Image4->PictureChanged();

    CheckBox4 = AddCheckBox(this, QStringLiteral("選択範囲/回転を保持する"), 578, 32, 175, 17);
    CheckBox2 = AddCheckBox(this, QStringLiteral("シート保存時にフォルダを開く"), 578, 48, 169, 17);
    CheckBox1 = AddCheckBox(this, QStringLiteral("シャープ処理を行う"), 578, 62, 129, 17);
    CheckBox1->setChecked(true);
    CheckBox3 = AddCheckBox(this, QStringLiteral("自動連続処理を行う"), 762, 32, 127, 17);
    CheckBox3->hide();
    CheckBox5 = AddCheckBox(this, QStringLiteral("背景色を指定"), 762, 48, 113, 17);
    CheckBox5->setEnabled(false);

    SpeedButton1 = new QToolButton(this);
    SpeedButton1->setText(QStringLiteral("頭部サイズ指定"));
    SpeedButton1->setCheckable(true);
    SpeedButton1->setGeometry(8, 80, 129, 41);
    BitBtn4 = AddButton(this, QStringLiteral("左９０度回転"), QStyle::SP_ArrowBack, 136, 80, 129, 41);
    BitBtn6 = AddButton(this, QStringLiteral("左0.1度回転"), QStyle::SP_ArrowLeft, 264, 80, 129, 41);
    BitBtn7 = AddButton(this, QStringLiteral("右0.1度回転"), QStyle::SP_ArrowRight, 392, 80, 129, 41);
    BitBtn5 = AddButton(this, QStringLiteral("右９０度回転"), QStyle::SP_ArrowForward, 520, 80, 129, 41);
    BitBtn8 = AddButton(this, QStringLiteral("回転リセット"), QStyle::SP_BrowserReload, 648, 80, 129, 41);

    ScrollBox1 = new QScrollArea(this);
    ScrollBox1->setGeometry(8, kScrollBoxTop, 809, 533);
    ScrollBox1->setWidgetResizable(false);
    ScrollContent = new QWidget;
    ScrollContent->resize(780, 520);
    ScrollContent->setMouseTracking(true);
    ScrollContent->installEventFilter(this);
    ScrollBox1->setWidget(ScrollContent);

    Image1 = new TImage(ScrollContent);
    Image1->setGeometry(0, 0, 780, 520);
    Image2 = new TImage(ScrollContent);
    Image2->setGeometry(0, 0, 1200, 1200);
    Image2->setMouseTracking(true);
    Image2->hide();
    Image3 = new TImage(ScrollContent);
    Image3->setCursor(Qt::SizeAllCursor);
    Image3->hide();

    StatusBar1 = new TStatusBar(this);
    StatusBar1->setGeometry(0, height() - StatusBar1->sizeHint().height(), width(), StatusBar1->sizeHint().height());

    setMouseTracking(true);

    connect(BitBtn1, &QPushButton::clicked, this, [this] { BitBtn1Click(); });
    connect(BitBtn2, &QPushButton::clicked, this, [this] { BitBtn2Click(); });
    connect(BitBtn9, &QPushButton::clicked, this, [this] { BitBtn9Click(); });
    connect(BitBtn3, &QPushButton::clicked, this, [this] { BitBtn3Click(); });
    connect(BitBtn16, &QPushButton::clicked, this, [this] { BitBtn16Click(); });
    connect(BitBtn10, &QPushButton::clicked, this, [this] { BitBtn10Click(); });
    connect(BitBtn11, &QPushButton::clicked, this, [this] { BitBtn11Click(); });
    connect(BitBtn14, &QToolButton::clicked, this, [this] { BitBtn14Click(); });
    connect(BitBtn4, &QPushButton::clicked, this, [this] { BitBtn4Click(); });
    connect(BitBtn5, &QPushButton::clicked, this, [this] { BitBtn5Click(); });
    connect(BitBtn6, &QPushButton::clicked, this, [this] { BitBtn6Click(); });
    connect(BitBtn7, &QPushButton::clicked, this, [this] { BitBtn7Click(); });
    connect(BitBtn8, &QPushButton::clicked, this, [this] { BitBtn8Click(); });
    connect(SpeedButton1, &QToolButton::clicked, this, [this] { SpeedButton1Click(); });
    // Typing and choosing both change the box's text; programmatic changes block the signal.
    connect(ComboBox1, &QComboBox::editTextChanged, this, [this] { ComboBox1Change(); });
    connect(CheckBox4, &QCheckBox::toggled, this, [this] { CheckBox4Click(); });
    connect(CheckBox5, &QCheckBox::toggled, this, [this] { CheckBox5Click(); });

    Image1->OnMouseDown = [this](QWidget*, const MouseArgs& a) { Image1MouseDown(a); };
    // The head line's overlay stays over the photo after a line is drawn; a press meant to pick the background
    // colour lands on it then.
    Image2->OnMouseDown = [this](QWidget*, const MouseArgs& a) {
        if (PickingBackground)
            Image1MouseDown(a);
        else
            Image2MouseDown(a);
    };
    Image2->OnMouseMove = [this](QWidget*, const MouseArgs& a) { Image2MouseMove(a); };
    Image2->OnMouseUp = [this](QWidget*, const MouseArgs& a) { Image2MouseUp(a); };
    Image3->OnMouseDown = [this](QWidget*, const MouseArgs& a) { Image3MouseDown(a); };
    Image3->OnMouseMove = [this](QWidget*, const MouseArgs& a) { Image3MouseMove(a); };
    Image3->OnMouseUp = [this](QWidget*, const MouseArgs& a) { Image3MouseUp(a); };
}

void TForm1::FormCreate()
{
    AcceptFileDrops();
    Starting = true;
    ZoomPercent = 100;
    setWindowTitle(QStringLiteral("Vellicam"));
    AppTitle = windowTitle();

    for (Bitmap* b :
        { &PhotoBitmap, &SheetBitmap, &CellBitmap, &RotatedBitmap, &SquareBitmap, &OriginalBitmap, &FittedBitmap }) {
        if (!b->Resize(10, 10)) {
            ShowOutOfMemory();
            for (Bitmap* c : { &PhotoBitmap, &SheetBitmap, &CellBitmap, &RotatedBitmap, &SquareBitmap, &OriginalBitmap,
                     &FittedBitmap })
                c->Clear();
            return;
        }
    }

    ZoomPercent = 100;
    PreviousZoomPercent = 100;
    ViewSide = Image1->height();
    Image1->move(0, 0);
    Image2->move(0, 0);
    MouseHeld = false;
    HeadTop = {};
    SetBusy(false);
    CurrentPhotoPath.clear();

    ExeFolder = QCoreApplication::applicationDirPath();
    if (!ExeFolder.endsWith('/'))
        ExeFolder += '/';
    // The open dialog and the sheets start in the user's own folder rather than beside the program.
    PhotoFolder = QDir::homePath();
    if (!PhotoFolder.endsWith('/'))
        PhotoFolder += '/';

    SheetLayout = DefaultSheetLayout();
    HeadMarginPercent = 30;
    ChinMarginPercent = 7;
    BatchFiles.clear();

    // Centred on the screen, at the size it keeps while starting.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(kMinWindowWidth / 2, kMinWindowHeight / 2));
    }
    ApplySizeRule();
}

void TForm1::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!shown_) {
        shown_ = true;
        FormShow();
    }
}

void TForm1::closeEvent(QCloseEvent* event)
{
    // The main window's end is the program's end: the other windows go with it.
    if (Form2)
        Form2->close();
    if (Form3)
        Form3->close();
    QWidget::closeEvent(event);
}

void TForm1::FormShow()
{
    ResizeFrame->SetControl(nullptr);
    const FrameLimits limits = FrameLimitsOf(SheetLayout);
    FrameMinWidth = limits.FrameMinWidth;
    FrameMinHeight = limits.FrameMinHeight;
    FrameMaxWidth = limits.FrameMaxWidth;
    FrameMaxHeight = limits.FrameMaxHeight;
    FrameAspectWidth = limits.FrameAspectWidth;
    FrameAspectHeight = limits.FrameAspectHeight;

    SetToolsEnabled(false);
    BitBtn1->setEnabled(true);
    BitBtn2->setEnabled(true);

    // The face detector looks for its data files in the current folder.
    QString folder = ExeFolder;
    if (folder.size() > 1 && folder.endsWith('/'))
        folder.chop(1);
    QDir::setCurrent(folder);
    Starting = false;
    ApplySizeRule();
}

void TForm1::ApplySizeRule()
{
    if (Starting) {
        setFixedSize(kMinWindowWidth, kMinWindowHeight);
    } else if (Busy || workDepth_ > 0) {
        setFixedSize(size());
    } else {
        setMinimumSize(kMinWindowWidth, kMinWindowHeight);
        setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    }
}

void TForm1::SetBusy(bool busy)
{
    Busy = busy;
    ApplySizeRule();
}

void TForm1::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    // The size check of every accepted resize: the report, then the status bar along the bottom.
    ReportMemory();
    const int barHeight = StatusBar1->sizeHint().height();
    StatusBar1->setGeometry(0, height() - barHeight, width(), barHeight);
    FormResize();
}

void TForm1::FormResize()
{
    if (width() < kMinWindowWidth || height() < kMinWindowHeight)
        return;
    // A resize delivered while the photo is being re-shown would rebuild the bitmaps under it.
    if (inResize_)
        return;
    inResize_ = true;
    ScopeExit leave([this] { inResize_ = false; });

    BitBtn14->move(width() - 120, BitBtn14->y());
    ScrollBox1->resize(width() - 24, height() - ScrollBox1->y() - 65);
    Image1->move(0, 0);

    if (!CurrentPhotoPath.isEmpty())
        (void)OpenPhoto(CurrentPhotoPath, false);

    const int barHeight = StatusBar1->sizeHint().height();
    StatusBar1->setGeometry(0, height() - barHeight, width(), barHeight);
    update();

    // Without a photo (after "新規作成" or a failed open) there is nothing to frame.
    if (Starting || ImageSide == 0 || PreviousZoomPercent == 0 || CurrentPhotoPath.isEmpty())
        return;
    ResizeFrame->SetControl(nullptr);
    Image3->show();
    BitBtn3->setEnabled(true);
    const FrameLimits limits { FrameMinWidth, FrameMinHeight, FrameMaxWidth, FrameMaxHeight, FrameAspectWidth,
        FrameAspectHeight };
    const ControlBounds frame = CentredMinimumFrame(limits, ViewSide, ImageSide, Image1->width(), Image1->height());
    Image3->setGeometry(frame.left, frame.top, frame.width, frame.height);
    DrawFrameOutline();
    AttachFrame();
    ResizeFrame->SetShowHint(false);
    FitScrollContent();
}

void TForm1::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint p = event->position().toPoint();
    FormMouseMove(p.x(), p.y());
    QWidget::mouseMoveEvent(event);
}

bool TForm1::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseMove) {
        const QPoint p = static_cast<QMouseEvent*>(event)->position().toPoint();
        if (watched == ScrollContent) {
            // The panel's own coordinates: the content point less the scroll position.
            ScrollBox1MouseMove(p.x() - ScrollX(), p.y() - ScrollY());
        } else if (watched == Edit3) {
            Edit3MouseMove(p.x(), p.y());
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TForm1::FormMouseMove(int x, int y)
{
    MouseX = x;
    MouseY = y;
}

void TForm1::ScrollBox1MouseMove(int x, int y)
{
    MouseX = x + ScrollBox1->x();
    MouseY = y + ScrollBox1->y();
}

void TForm1::Edit3MouseMove(int x, int y)
{
    MouseX = x + Edit3->x();
    MouseY = y + Edit3->y();
}

void TForm1::ReportMemory()
{
    if (Form2) {
        MemoryCounters counters;
        if (ReadMemoryCounters(counters)) {
            Form2->Memo1->clear();
            Form2->Memo1->setPlainText(MemoryReportLines(counters).join('\n'));
        }
    }
    if (Form3)
        Form3->update();
    PumpEvents();
}

void TForm1::SetToolsEnabled(bool on)
{
    for (QWidget* w : std::initializer_list<QWidget*> { BitBtn2, BitBtn3, BitBtn4, BitBtn5, BitBtn6, BitBtn7, BitBtn8,
             BitBtn9, ComboBox1, CheckBox5, SpeedButton1 })
        w->setEnabled(on);
    // "新規作成" is only ever switched on here; switching off leaves it as it is.
    if (on)
        BitBtn1->setEnabled(true);
}

void TForm1::ShowOutOfMemory()
{
    Dialogs.Message(kOutOfMemoryCaption, kOutOfMemoryText, MessageIcon::None);
}

QString TForm1::OutputFolder() const
{
    return Edit3->text().isEmpty() ? PhotoFolder : Edit3->text();
}

void TForm1::CheckBox4Click()
{
    if (CheckBox4->isChecked() && Form2)
        Form2->CheckBox4->setChecked(false);
}

void TForm1::BitBtn11Click()
{
    AbortRequested = true;
}

void TForm1::BitBtn14Click()
{
    close();
}

void TForm1::BitBtn16Click()
{
    if (Form2)
        (void)Form2->exec();
}

} // namespace vellicam
