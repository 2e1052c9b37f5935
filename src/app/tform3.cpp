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
    content_ = new QWidget;
    content_->resize(544, 712);
    ScrollBox1->setWidget(content_);
    Image1 = new TImage(content_);
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

bool TForm3::ShowPreview(const Bitmap& preview)
{
    // The scroll range follows the image, so a narrower sheet leaves no empty strip to scroll over.
    Image1->resize(preview.Width(), preview.Height());
    content_->resize(Image1->size());
    Bitmap& picture = Image1->Picture();
    const bool sized = picture.Resize(preview.Width(), preview.Height());
    if (sized)
        Draw(preview, picture, 0, 0);
    else
        picture.Clear();
    Image1->SetTransparent(false);
    Image1->PictureChanged();
    return sized;
}

} // namespace vellicam
