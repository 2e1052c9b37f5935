#include "tform2.h"

#include "tform1.h"

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QStyle>

namespace vellicam {

namespace {

QCheckBox* AddCheckBox(QWidget* parent, const QString& caption, int left, int top, bool checked)
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
QSlider* AddSlider(
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
        QLabel* label = AddLabel(parent, scale[i], 0, labelTop);
        int anchor = kSliderLeft + 6; // the groove starts a little inside the slider
        if (scale.size() == 3 && i == 1)
            anchor = kSliderLeft + kSliderWidth / 2 - label->width() / 2;
        else if (i == scale.size() - 1 && i > 0)
            anchor = kSliderLeft + kSliderWidth - 6 - label->width();
        label->move(anchor, labelTop);
    }
    return slider;
}

} // namespace

TForm2::TForm2(TForm1& form1, QWidget* parent)
    : QDialog(parent)
    , form1_(form1)
{
    setWindowTitle(QStringLiteral("設定"));
    setFont(GothicFont());
    setFixedSize(572, 573);

    CheckBox4 = AddCheckBox(this, QStringLiteral("画像読込時に自動認識を行う"), 8, 48, true);
    CheckBox9 = AddCheckBox(this, QStringLiteral("自動認識出来ないのをスキップ"), 240, 48, false);
    CheckBox7 = AddCheckBox(this, QStringLiteral("背景色で頭頂位置を補正する"), 8, 72, true);
    CheckBox11 = AddCheckBox(this, QStringLiteral("画像の90％以上の場合は認識エラーとする"), 8, 96, true);
    CheckBox12 = AddCheckBox(this, QStringLiteral("画像の上半分のみを対象に検出する"), 8, 120, true);
    CheckBox14 = AddCheckBox(this, QStringLiteral("顎も検出する"), 8, 144, true);
    CheckBox3 = AddCheckBox(this, QStringLiteral("顔認識結果を表示する"), 8, 168, true);
    CheckBox1 = AddCheckBox(this, QStringLiteral("センタートンボ出力"), 8, 224, true);
    CheckBox2 = AddCheckBox(this, QStringLiteral("コーナートンボ出力"), 8, 248, true);
    CheckBox5 = AddCheckBox(this, QStringLiteral("目盛の出力"), 8, 272, true);
    CheckBox8 = AddCheckBox(this, QStringLiteral("同名のファイルは上書きしない"), 8, 304, false);
    CheckBox6 = AddCheckBox(this, QStringLiteral("認識結果画像を保存"), 8, 352, false);

    AddLabel(this, QStringLiteral("Jpeg画質"), 258, 120);
    TrackBar4 = AddSlider(this, 112, 0, 100, 90, 10, 10, { "0", "50", "100" });
    AddLabel(this, QStringLiteral("頭頂部の背景色比率"), 200, 168);
    AddLabel(this, QStringLiteral("しきい値"), 264, 184);
    TrackBar3 = AddSlider(this, 168, 50, 100, 80, 1, 5, { "50%", "75%", "100%" });
    AddLabel(this, QStringLiteral("背景色とする色範囲(±）"), 176, 232);
    TrackBar1 = AddSlider(this, 224, 0, 100, 50, 1, 5, { "0", "50", "100" });
    AddLabel(this, QStringLiteral("自動検出精度"), 224, 280);
    TrackBar2 = AddSlider(this, 272, 1, 10, 3, 1, 5, { "1", "5", "10" });
    AddLabel(this, QStringLiteral("顔最小サイズ(pix)"), 208, 328);
    TrackBar6 = AddSlider(this, 320, 100, 1000, 200, 1, 100, { "100", "1000" });

    BitBtn11 = new QToolButton(this);
    BitBtn11->setText(QStringLiteral("閉じる"));
    BitBtn11->setIcon(style()->standardIcon(QStyle::SP_DialogOkButton));
    BitBtn11->setIconSize(QSize(24, 24));
    BitBtn11->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    BitBtn11->setGeometry(454, 0, 107, 65);
    connect(BitBtn11, &QToolButton::clicked, this, [this] { BitBtn11Click(); });

    Memo1 = new QPlainTextEdit(this);
    Memo1->setReadOnly(true);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    QFont memoFont;
    memoFont.setFamilies({ QStringLiteral("IPAGothic"), QStringLiteral("IPAゴシック"), QStringLiteral("monospace") });
    memoFont.setStyleHint(QFont::Monospace);
    memoFont.setPixelSize(12);
    Memo1->setFont(memoFont);
    Memo1->setGeometry(8, 376, 481, 177);

    // Connected last: the option starts checked without looking for the cascade file.
    connect(CheckBox4, &QCheckBox::toggled, this, [this] { CheckBox4Click(); });
}

void TForm2::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    FormShow();
}

void TForm2::FormShow()
{
    // The dialog ends just below the memo.
    setFixedHeight(Memo1->geometry().bottom() + 1 + 13);
}

void TForm2::BitBtn11Click()
{
    accept();
}

void TForm2::CheckBox4Click()
{
    if (!CheckBox4->isChecked())
        return;
    QString folder = form1_.ExeFolder;
    if (folder.size() > 1 && folder.endsWith('/'))
        folder.chop(1);
    QDir::setCurrent(folder);
    if (!QFileInfo::exists(folder + QStringLiteral("/haarcascade_frontalface_default.xml"))) {
        form1_.Dialogs.Message(
            form1_.AppTitle, QStringLiteral("顔認識用のXMLデータが見つかりません。"), MessageIcon::None);
        CheckBox4->setChecked(false);
    }
}

} // namespace vellicam
