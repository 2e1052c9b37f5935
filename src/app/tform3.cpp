#include "tform3.h"

#include "tform1.h"

namespace vellicam {

TForm3::TForm3(QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint)
{
    setWindowTitle(QStringLiteral("プレビュー"));
    setFont(GothicFont());
    setFixedSize(566, 719);

    ScrollBox1 = new QScrollArea(this);
    ScrollBox1->setGeometry(8, 0, 545, 705);
    auto* content = new QWidget;
    content->resize(544, 712);
    ScrollBox1->setWidget(content);
    Image1 = new TImage(content);
    Image1->setGeometry(0, 0, 544, 712);
    ClearPreview();
}

void TForm3::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    FormShow();
}

void TForm3::FormShow()
{
    Image1->move(0, 0);
}

void TForm3::ClearPreview()
{
    Bitmap& picture = Image1->Picture();
    if (picture.Width() != Image1->width() || picture.Height() != Image1->height())
        (void)picture.Resize(Image1->width(), Image1->height());
    Fill(picture, kWhite);
    Image1->SetTransparent(false);
    Image1->PictureChanged();
}

} // namespace vellicam
