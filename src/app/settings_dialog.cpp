#include "settings_dialog.h"

#include "sheet/photo_size.h"
#include "window_style.h"

#include <QLabel>
#include <QSignalBlocker>
#include <QStyle>

#include <algorithm>
#include <span>

namespace vellicam {

namespace {

// Every caption and message of the dialog.
namespace texts {
const QString kTitle = QStringLiteral("設定");
const QString kRecogniseOnOpen = QStringLiteral("画像読込時に自動認識を行う");
const QString kSkipUnrecognised = QStringLiteral("自動認識出来ないのをスキップ");
const QString kCorrectHeadTop = QStringLiteral("背景色で頭頂位置を補正する");
const QString kOversizeIsError = QStringLiteral("画像の90％以上の場合は認識エラーとする");
const QString kUpperHalfOnly = QStringLiteral("画像の上半分のみを対象に検出する");
const QString kDetectChin = QStringLiteral("顎も検出する");
const QString kShowResults = QStringLiteral("顔認識結果を表示する");
const QString kStraighten = QStringLiteral("傾きを自動で補正する");
// "背景を無地にする": off, or the plain colour the sheet's photos get outside the person.
const QString kPlainBackgroundChoices[] = { QStringLiteral("背景: 写真のまま"), QStringLiteral("背景を無地にする: 白"),
    QStringLiteral("背景を無地にする: 薄い青"), QStringLiteral("背景を無地にする: 薄いグレー"),
    QStringLiteral("背景を無地にする: 背景色を指定の色") };
const QString kPhotoSize = QStringLiteral("写真サイズ");
const QString kPaper = QStringLiteral("用紙");
const QString kCentreMarks = QStringLiteral("センタートンボ出力");
const QString kCornerMarks = QStringLiteral("コーナートンボ出力");
const QString kScale = QStringLiteral("目盛の出力");
const QString kKeepExisting = QStringLiteral("同名のファイルは上書きしない");
const QString kSaveFaceImage = QStringLiteral("認識結果画像を保存");
const QString kRemember = QStringLiteral("設定を記憶する");
const QString kJpegQuality = QStringLiteral("Jpeg画質");
const QString kSheetFormat = QStringLiteral("シートの形式");
const QString kBackgroundRatio = QStringLiteral("頭頂部の背景色比率");
const QString kBackgroundRatioSecondLine = QStringLiteral("しきい値");
const QString kColourTolerance = QStringLiteral("背景色とする色範囲(±）");
const QString kPrecision = QStringLiteral("自動検出精度");
const QString kMinFaceSize = QStringLiteral("顔最小サイズ(pix)");
const QString kClose = QStringLiteral("閉じる");
} // namespace texts

QCheckBox* addCheckBox(QWidget* parent, const QString& caption, int left, int top, bool checked)
{
    auto* box = new QCheckBox(caption, parent);
    box->setChecked(checked);
    box->adjustSize();
    box->move(left, top);
    return box;
}

constexpr int kSliderLeft = 309;
constexpr int kSliderWidth = 169;
constexpr int kSliderHeight = 26;

// A horizontal slider with ticks below and its scale labels under its left end, middle and right end.
QSlider* addSlider(
    QWidget* parent, int top, int minimum, int maximum, int value, int pageStep, int tick, const QStringList& scale)
{
    auto* slider = new QSlider(Qt::Horizontal, parent);
    slider->setGeometry(kSliderLeft, top, kSliderWidth, kSliderHeight);
    slider->setRange(minimum, maximum);
    slider->setValue(value);
    slider->setPageStep(pageStep);
    slider->setSingleStep(1);
    slider->setTickPosition(QSlider::TicksBelow);
    slider->setTickInterval(tick);
    const int labelTop = top + kSliderHeight;
    for (int i = 0; i < scale.size(); ++i) {
        QLabel* label = addLabel(parent, scale[i], 0, labelTop);
        int anchor = kSliderLeft + 6; // the groove starts a little inside the slider
        if (scale.size() == 3 && i == 1)
            anchor = kSliderLeft + kSliderWidth / 2 - label->width() / 2;
        else if (i == scale.size() - 1 && i > 0)
            anchor = kSliderLeft + kSliderWidth - 6 - label->width();
        label->move(anchor, labelTop);
    }
    return slider;
}

// A drop-down list of `entries` (each with its id and what the user reads), the entry of `current` chosen.
template <typename Entry>
QComboBox* addList(QWidget* parent, std::span<const Entry> entries, const std::string& current,
    QString (*caption)(const Entry&), int left, int top, int width)
{
    auto* list = new QComboBox(parent);
    for (const Entry& entry : entries)
        list->addItem(caption(entry), QString::fromUtf8(entry.id));
    list->setCurrentIndex(std::max(0, list->findData(QString::fromStdString(current))));
    list->setGeometry(left, top, width, 22);
    return list;
}

QString PhotoSizeCaption(const PhotoSize& size)
{
    return QString::fromUtf8(size.name) + QLatin1Char(' ') + QString::fromStdString(SizeText(size));
}

QString PaperCaption(const PaperSize& paper)
{
    return QString::fromUtf8(paper.name);
}

} // namespace

SettingsDialog::SettingsDialog(const Settings& value, QWidget* parent)
    : QDialog(parent)
    , settings_(value)
{
    setWindowTitle(texts::kTitle);
    setFont(gothicFont());
    setFixedSize(572, 573);

    const Settings& s = settings_;
    ui_.recogniseOnOpenBox = addCheckBox(this, texts::kRecogniseOnOpen, 8, 48, s.recogniseOnOpen);
    ui_.skipUnrecognisedBox = addCheckBox(this, texts::kSkipUnrecognised, 240, 48, s.skipUnrecognised);
    ui_.correctHeadTopBox = addCheckBox(this, texts::kCorrectHeadTop, 8, 72, s.correctHeadTop);
    ui_.oversizeIsErrorBox = addCheckBox(this, texts::kOversizeIsError, 8, 96, s.oversizeIsError);
    ui_.upperHalfOnlyBox = addCheckBox(this, texts::kUpperHalfOnly, 8, 120, s.upperHalfOnly);
    ui_.detectChinBox = addCheckBox(this, texts::kDetectChin, 8, 144, s.detectChin);
    ui_.showResultsBox = addCheckBox(this, texts::kShowResults, 8, 168, s.showResults);
    ui_.straightenBox = addCheckBox(this, texts::kStraighten, 8, 192, s.straightenAutomatically);
    ui_.centreMarksBox = addCheckBox(this, texts::kCentreMarks, 8, 224, s.centreMarks);
    ui_.cornerMarksBox = addCheckBox(this, texts::kCornerMarks, 8, 248, s.cornerMarks);
    ui_.scaleBox = addCheckBox(this, texts::kScale, 8, 272, s.scale);
    ui_.keepExistingBox = addCheckBox(this, texts::kKeepExisting, 8, 304, s.keepExisting);
    ui_.saveFaceImageBox = addCheckBox(this, texts::kSaveFaceImage, 8, 352, s.saveFaceImage);
    // Beside the last option, under the sliders' scales.
    ui_.rememberBox
        = addCheckBox(this, texts::kRemember, ui_.saveFaceImageBox->geometry().right() + 24, 352, s.rememberSettings);

    addLabel(this, texts::kJpegQuality, 258, 120);
    ui_.jpegQualitySlider = addSlider(this, 112, 0, 100, s.jpegQuality, 10, 10, { "0", "50", "100" });
    addLabel(this, texts::kBackgroundRatio, 200, 168);
    addLabel(this, texts::kBackgroundRatioSecondLine, 264, 184);
    ui_.backgroundRatioSlider = addSlider(this, 168, 50, 100, s.backgroundRatio, 1, 5, { "50%", "75%", "100%" });
    addLabel(this, texts::kColourTolerance, 176, 232);
    ui_.colourToleranceSlider = addSlider(this, 224, 0, 100, s.colourTolerance, 1, 5, { "0", "50", "100" });
    addLabel(this, texts::kPrecision, 224, 280);
    ui_.precisionSlider = addSlider(this, 272, 1, 10, s.precision, 1, 5, { "1", "5", "10" });
    addLabel(this, texts::kMinFaceSize, 208, 328);
    ui_.minFaceSizeSlider = addSlider(this, 320, 100, 1000, s.minFaceSize, 1, 100, { "100", "1000" });

    // The sheet's sizes along the top, left of the close button.
    QLabel* photoSizeLabel = addLabel(this, texts::kPhotoSize, 8, 15);
    ui_.photoSizeList = addList(
        this, PhotoSizes(), s.photoSize, &PhotoSizeCaption, photoSizeLabel->x() + photoSizeLabel->width() + 6, 11, 212);
    const int paperLeft = ui_.photoSizeList->geometry().right() + 13;
    QLabel* paperLabel = addLabel(this, texts::kPaper, paperLeft, 15);
    ui_.paperList = addList(this, PaperSizes(), s.paper, &PaperCaption, paperLeft + paperLabel->width() + 6, 11, 90);

    ui_.closeButton = new QToolButton(this);
    ui_.closeButton->setText(texts::kClose);
    ui_.closeButton->setIcon(style()->standardIcon(QStyle::SP_DialogOkButton));
    ui_.closeButton->setIconSize(QSize(24, 24));
    ui_.closeButton->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    ui_.closeButton->setGeometry(454, 0, 107, 65);
    connect(ui_.closeButton, &QToolButton::clicked, this, &QDialog::accept);

    ui_.memoryReport = new QPlainTextEdit(this);
    ui_.memoryReport->setReadOnly(true);
    ui_.memoryReport->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    ui_.memoryReport->setLineWrapMode(QPlainTextEdit::NoWrap);
    QFont memoFont;
    memoFont.setFamilies({ QStringLiteral("IPAGothic"), QStringLiteral("IPAゴシック"), QStringLiteral("monospace") });
    memoFont.setStyleHint(QFont::Monospace);
    memoFont.setPixelSize(12);
    ui_.memoryReport->setFont(memoFont);
    ui_.memoryReport->setGeometry(8, 376, 481, 177);

    ui_.plainBackgroundList = new QComboBox(this);
    for (const QString& choice : texts::kPlainBackgroundChoices)
        ui_.plainBackgroundList->addItem(choice);
    ui_.plainBackgroundList->setGeometry(8, 326, 190, 22);
    static constexpr Rgb kColours[] = { kBackgroundWhite, kBackgroundLightBlue, kBackgroundLightGrey };
    connect(ui_.plainBackgroundList, &QComboBox::currentIndexChanged, this, [this](int index) {
        settings_.plainBackground = index > 0;
        settings_.plainBackgroundPicked = index == 4;
        if (index > 0 && index < 4)
            settings_.backgroundColour = kColours[index - 1];
        emit settingsChanged(settings_);
    });
    showField_.push_back([this] {
        int index = 0;
        for (int i = 0; settings_.plainBackground && i < 3; ++i)
            if (settings_.backgroundColour == kColours[i])
                index = settings_.plainBackgroundPicked ? 4 : i + 1;
        if (settings_.plainBackground && settings_.plainBackgroundPicked)
            index = 4;
        const QSignalBlocker quiet(ui_.plainBackgroundList);
        ui_.plainBackgroundList->setCurrentIndex(index);
    });

    // The sheet's file, above the JPEG quality it is encoded at either way.
    QLabel* formatLabel = addLabel(this, texts::kSheetFormat, 300, 80);
    ui_.sheetFormatList = new QComboBox(this);
    ui_.sheetFormatList->setObjectName(QStringLiteral("sheetFormatList"));
    ui_.sheetFormatList->addItem(QStringLiteral("JPEG"));
    ui_.sheetFormatList->addItem(QStringLiteral("PDF"));
    ui_.sheetFormatList->setGeometry(formatLabel->geometry().right() + 7, 76, 90, 22);
    ui_.sheetFormatList->setCurrentIndex(s.sheetFormat == SheetFormat::Pdf ? 1 : 0);
    connect(ui_.sheetFormatList, &QComboBox::currentIndexChanged, this, [this](int index) {
        settings_.sheetFormat = index == 1 ? SheetFormat::Pdf : SheetFormat::Jpeg;
        emit settingsChanged(settings_);
    });
    showField_.push_back([this] {
        const QSignalBlocker quiet(ui_.sheetFormatList);
        ui_.sheetFormatList->setCurrentIndex(settings_.sheetFormat == SheetFormat::Pdf ? 1 : 0);
    });

    // The face detector, then the person model and the learned face detector, a line each (showDetectorKind).
    ui_.detectorLabel = new QLabel(this);
    ui_.detectorLabel->setGeometry(8, 560, 556, 32);
    ui_.detectorLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    // Each control writes its field of the settings value as it changes and says so.
    const auto bind = [this](QCheckBox* box, bool Settings::*field) {
        connect(box, &QCheckBox::toggled, this, [this, field](bool on) {
            settings_.*field = on;
            emit settingsChanged(settings_);
        });
        showField_.push_back([this, box, field] {
            const QSignalBlocker quiet(box);
            box->setChecked(settings_.*field);
        });
    };
    bind(ui_.recogniseOnOpenBox, &Settings::recogniseOnOpen);
    bind(ui_.skipUnrecognisedBox, &Settings::skipUnrecognised);
    bind(ui_.correctHeadTopBox, &Settings::correctHeadTop);
    bind(ui_.oversizeIsErrorBox, &Settings::oversizeIsError);
    bind(ui_.upperHalfOnlyBox, &Settings::upperHalfOnly);
    bind(ui_.detectChinBox, &Settings::detectChin);
    bind(ui_.showResultsBox, &Settings::showResults);
    bind(ui_.straightenBox, &Settings::straightenAutomatically);
    bind(ui_.centreMarksBox, &Settings::centreMarks);
    bind(ui_.cornerMarksBox, &Settings::cornerMarks);
    bind(ui_.scaleBox, &Settings::scale);
    bind(ui_.keepExistingBox, &Settings::keepExisting);
    bind(ui_.saveFaceImageBox, &Settings::saveFaceImage);
    bind(ui_.rememberBox, &Settings::rememberSettings);
    const auto bindSlider = [this](QSlider* slider, int Settings::*field) {
        connect(slider, &QSlider::valueChanged, this, [this, field](int value) {
            settings_.*field = value;
            emit settingsChanged(settings_);
        });
        showField_.push_back([this, slider, field] {
            const QSignalBlocker quiet(slider);
            slider->setValue(settings_.*field);
        });
    };
    bindSlider(ui_.jpegQualitySlider, &Settings::jpegQuality);
    bindSlider(ui_.backgroundRatioSlider, &Settings::backgroundRatio);
    bindSlider(ui_.colourToleranceSlider, &Settings::colourTolerance);
    bindSlider(ui_.precisionSlider, &Settings::precision);
    bindSlider(ui_.minFaceSizeSlider, &Settings::minFaceSize);
    const auto bindList = [this](QComboBox* list, std::string Settings::*field) {
        connect(list, &QComboBox::currentIndexChanged, this, [this, list, field] {
            settings_.*field = list->currentData().toString().toStdString();
            emit settingsChanged(settings_);
            emit sheetSizeChanged();
        });
        showField_.push_back([this, list, field] {
            const QSignalBlocker quiet(list);
            list->setCurrentIndex(std::max(0, list->findData(QString::fromStdString(settings_.*field))));
        });
    };
    bindList(ui_.photoSizeList, &Settings::photoSize);
    bindList(ui_.paperList, &Settings::paper);
}

void SettingsDialog::setSettings(const Settings& value)
{
    settings_ = value;
    for (const auto& show : showField_)
        show();
}

void SettingsDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    fitHeight();
}

void SettingsDialog::fitHeight()
{
    // The dialog ends just below the memory report and the detector's line under it.
    setFixedHeight(ui_.detectorLabel->geometry().bottom() + 1 + 13);
}

void SettingsDialog::showMemoryReport(const QString& text)
{
    ui_.memoryReport->clear();
    ui_.memoryReport->setPlainText(text);
}

void SettingsDialog::showDetectorKind(const QString& text)
{
    ui_.detectorLabel->setText(text);
    // As many lines as the library reports, none of them cut: the dialog grows with the label.
    QRect area = ui_.detectorLabel->geometry();
    area.setHeight(std::max(32, ui_.detectorLabel->sizeHint().height()));
    ui_.detectorLabel->setGeometry(area);
    fitHeight();
}

} // namespace vellicam
